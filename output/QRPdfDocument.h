#pragma once
// A PDF document as a paint device: QPainter draws on it as on any device, and it writes
// vector pages straight to a file (see TPdfWriter). Text arrives as glyph runs shaped by
// the toolkit's text layout (see TGlyphRunSink) and is written with its characters, so it
// can be searched and copied; fonts are embedded as subsets, pictures compressed
// losslessly and written once however many pages show them. Pages are written as they
// end, so memory stays flat however long the document: each page's drawing is recorded
// as it is painted and written at its end (or by the document's own thread, see
// WriteOnOwnThread).
#include <QDateTime>
#include <QPaintDevice>
#include <QSizeF>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace rpt {

class TPdfPaintEngine;

class TPdfDocument : public QPaintDevice {
 public:
  // Device units per inch by default: fine enough that a one-unit cosmetic pen is a hairline.
  static constexpr int kResolution = 1200;

  // Writes to fileName, created (or emptied) at once; pageMM is the first page's size,
  // dpi the device units per inch. Fails with EFCreateError when the file cannot be made.
  TPdfDocument(const std::string& fileName, const QSizeF& pageMM, int dpi = kResolution);
  ~TPdfDocument() override;

  // The document information; call before the first page ends.
  void SetInfo(const std::string& title, const std::string& creator, const QDateTime& created);
  // The size of the page being drawn; only before anything is drawn on it.
  void SetPageSize(const QSizeF& pageMM);
  // Ends the page and starts the next (the painter stays active).
  void NewPage();
  // From here on each page ended is written on a thread of the document's own while the
  // next is drawn, a few pages behind at most; the file is the same. For a caller that
  // draws many pages; call before the first page ends.
  void WriteOnOwnThread();
  // A write has failed already (Finish tells how): what follows need not be drawn.
  bool Failed() const;
  // Ends the document and closes the file; false (with Error()) when a write failed.
  // Ends an active painter's work first. Idempotent.
  bool Finish();
  std::string Error() const;

  // Texts in scripts that no installed font shows, one line per font and script, in the
  // order met: 'No installed font shows Devanagari text ("आदेश"): install fonts-noto-core'.
  const std::vector<std::string>& MissingFontMessages() const;

  int Width() const;   // device units of the page being drawn
  int Height() const;

  QPaintEngine* paintEngine() const override;

 protected:
  int metric(PaintDeviceMetric metric) const override;

 private:
  std::unique_ptr<TPdfPaintEngine> FEngine;
};

}  // namespace rpt
