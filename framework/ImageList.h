#pragma once
// Image lists: pictures of one size, kept in order and drawn by index onto any canvas
// with their transparent parts left out. Watchers follow a list through change links.
#include <QImage>
#include <functional>
#include <vector>

#include "framework/Controls.h"

namespace rpt {

class TImageList;
class TStream;

// One watcher's tie to a list: OnChange runs after every change of the list. A link
// unregisters itself when it goes; a list that goes first leaves its links unbound.
class TChangeLink {
 public:
  TChangeLink() = default;
  ~TChangeLink();
  TChangeLink(const TChangeLink&) = delete;
  TChangeLink& operator=(const TChangeLink&) = delete;

  TImageList* Sender() const { return FSender; }
  std::function<void(TImageList*)> OnChange;

 private:
  friend class TImageList;
  TImageList* FSender = nullptr;
};

class TImageList : public TComponent {
  RPT_CLASS(TImageList, TComponent)
  TImageList() = default;
  ~TImageList() override;

  // Size of every image; changing either empties the list.
  int32_t Width() const { return FWidth; }
  void SetWidth(int32_t value);
  int32_t Height() const { return FHeight; }
  void SetHeight(int32_t value);

  int Count() const { return static_cast<int>(FImages.size()); }
  // Adds an image and returns the index of the first one added. An image Width high
  // and a whole multiple of Width wide is a strip of images, added one by one; any
  // other size is scaled into one image, keeping its proportions. Its alpha channel
  // says what is transparent.
  int Add(const QImage& image);
  // As Add, with the pixels of maskColor transparent.
  int AddMasked(const QImage& image, TColor maskColor);
  void Replace(int index, const QImage& image);
  void Delete(int index);
  void Clear();
  // A copy of one image (ARGB32 premultiplied).
  QImage Image(int index) const;
  // Draws one image with its top left at (x, y), leaving out its transparent pixels.
  // An index outside the list draws nothing.
  void Draw(TCanvas* canvas, int32_t x, int32_t y, int index) const;

  void RegisterChanges(TChangeLink* link);
  void UnRegisterChanges(TChangeLink* link);

  TNotifyEvent OnChange;

  // The images travel in the component stream as one strip picture ("Bitmap").
  void DefineProperties(TFiler& filer) override;

 protected:
  // After every change: the links in registration order, then OnChange.
  virtual void Change();
  void Destroy() override;

 private:
  void CheckIndex(int index) const;
  std::vector<QImage> Split(const QImage& image) const;
  void ReadImages(TStream& stream);
  void WriteImages(TStream& stream) const;
  int32_t FWidth = 16;
  int32_t FHeight = 16;
  std::vector<QImage> FImages;
  std::vector<TChangeLink*> FLinks;
};

}  // namespace rpt
