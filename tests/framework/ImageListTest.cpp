#include <gtest/gtest.h>

#include <QPainter>

#include "framework/ImageList.h"
#include "framework/MetafileCanvas.h"
#include "framework/MetafilePlayer.h"
#include "objects/Exceptions.h"
#include "objects/Filer.h"

namespace rpt {
namespace {

QImage Filled(int w, int h, QColor color) {
  QImage image(w, h, QImage::Format_ARGB32);
  image.fill(color);
  return image;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const Exception& e) {
    return e.what();
  }
  return "(no error)";
}

TEST(ImageListTest, StripsSplitOtherSizesScaleMaskColoursVanish) {
  TOwnedPtr<TImageList> list(TComponent::Create<TImageList>(nullptr));
  QImage strip = Filled(48, 16, Qt::red);
  QPainter(&strip).fillRect(16, 0, 16, 16, Qt::green);
  EXPECT_EQ(list->Add(strip), 0);
  ASSERT_EQ(list->Count(), 3);
  EXPECT_EQ(list->Image(1).pixelColor(8, 8), QColor(Qt::green));
  // Proportions kept, centred on a transparent cell.
  EXPECT_EQ(list->Add(Filled(10, 20, Qt::yellow)), 3);
  EXPECT_EQ(list->Image(3).pixelColor(8, 8), QColor(Qt::yellow));
  EXPECT_EQ(list->Image(3).pixelColor(1, 8).alpha(), 0);
  QImage masked = Filled(16, 16, Qt::white);
  QPainter(&masked).fillRect(4, 4, 8, 8, Qt::black);
  EXPECT_EQ(list->AddMasked(masked, clWhite), 4);
  EXPECT_EQ(list->Image(4).pixelColor(0, 0).alpha(), 0);
  EXPECT_EQ(list->Image(4).pixelColor(6, 6), QColor(Qt::black));
  EXPECT_EQ(ErrorOf([&] { list->Image(5); }), "List index out of bounds (5)");
  EXPECT_EQ(ErrorOf([&] { list->Add(QImage()); }), "Invalid image");
  EXPECT_EQ(ErrorOf([&] { list->SetWidth(0); }), "Invalid image size");
  list->SetHeight(24);  // the images no longer fit
  EXPECT_EQ(list->Count(), 0);
}

TEST(ImageListTest, ImagesTravelInTheComponentStreamAndDamagedDataIsRefused) {
  TOwnedPtr<TImageList> list(TComponent::Create<TImageList>(nullptr));
  list->SetWidth(8);
  list->Add(Filled(8, 16, Qt::blue));
  list->AddMasked(Filled(8, 16, Qt::white), clWhite);
  TMemoryStream stream;
  SaveComponent(stream, list.get());
  TOwnedPtr<TImageList> copy(TComponent::Create<TImageList>(nullptr));
  stream.SetPosition(0);
  LoadComponent(stream, copy.get());
  ASSERT_EQ(copy->Count(), 2);
  EXPECT_EQ(copy->Width(), 8);
  EXPECT_EQ(copy->Image(0).pixelColor(4, 4), QColor(Qt::blue));
  EXPECT_EQ(copy->Image(1).pixelColor(4, 4).alpha(), 0);

  std::string bytes = stream.Data();
  bytes[bytes.find("PNG") + 1] = 'X';
  TMemoryStream damaged(bytes);
  TOwnedPtr<TImageList> other(TComponent::Create<TImageList>(nullptr));
  EXPECT_EQ(ErrorOf([&] { LoadComponent(damaged, other.get()); }),
            "Error reading TImageList.Bitmap: Invalid image data");
  EXPECT_EQ(other->Count(), 0);
}

TEST(ImageListTest, DrawsOntoRecordedCanvasesAndTellsLinksUntilEitherGoes) {
  auto* list = TComponent::Create<TImageList>(nullptr);
  std::vector<std::string> heard;
  list->OnChange = [&](TObject*) { heard.push_back("event"); };
  TChangeLink first, second;
  first.OnChange = [&](TImageList* sender) { heard.push_back(sender == list ? "first" : "?"); };
  second.OnChange = [&](TImageList*) { heard.push_back("second"); };
  list->RegisterChanges(&first);
  {
    TChangeLink gone;
    gone.OnChange = [&](TImageList*) { heard.push_back("gone"); };
    list->RegisterChanges(&gone);
  }
  list->RegisterChanges(&second);
  QImage half = Filled(16, 16, Qt::red);
  {
    QPainter p(&half);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(0, 0, 8, 16, Qt::transparent);
  }
  list->Add(half);
  EXPECT_EQ(heard, (std::vector<std::string>{"first", "second", "event"}));

  // A canvas without a painter gets the opaque pixels only.
  TMetafile page(32, 32);
  {
    TMetafileCanvas canvas(page);
    list->Draw(&canvas, 5, 5, 0);
    list->Draw(&canvas, 0, 0, 1);  // out of range: nothing
  }
  QImage played = Filled(32, 32, Qt::white);
  {
    QPainter p(&played);
    PlayMetafile(page, p, QRectF(0, 0, 32, 32));
  }
  EXPECT_EQ(played.pixelColor(5 + 12, 5 + 8), QColor(Qt::red));
  EXPECT_EQ(played.pixelColor(5 + 3, 5 + 8), QColor(Qt::white));
  EXPECT_EQ(played.pixelColor(1, 1), QColor(Qt::white));

  list->Free();
  EXPECT_EQ(first.Sender(), nullptr);
  EXPECT_EQ(second.Sender(), nullptr);
}

}  // namespace
}  // namespace rpt
