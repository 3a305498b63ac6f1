#include <QTest>
#include <QPainter>

#include "framework/QtCanvas.h"
#include "tests/designer/DesignerFixture.h"

namespace rpt::test {
namespace {

class ProxyImageTest : public DesignerTest {
 protected:
  void SetUp() override {
    DesignerTest::SetUp();
    Data = TComponent::Create<TTestData>(Root);
    Data->SetName("Data1");
    Data->SetDesignPosition(300, 100);
    Images = TComponent::Create<TImageList>(Host);
    QImage red(16, 16, QImage::Format_ARGB32);
    red.fill(Qt::red);
    {
      QPainter p(&red);
      p.setCompositionMode(QPainter::CompositionMode_Source);
      p.fillRect(0, 0, 4, 4, Qt::transparent);
    }
    Images->Add(red);
    Designer->SetNonvisualComponentImages(Images);
    Designer->SetShowNonvisualComponents(true);
    Designer->OnGetImageIndex = [this](TObject*, TComponentClass cls, int32_t& index) {
      Asked.push_back(index);
      AskedClass = cls;
      index = Chosen;
    };
    Designer->SetActive(true);
    Proxy = Engine()->ControlOf(Data);
  }
  // The proxy painted through the paint message path onto a picture of its own.
  QImage Render() const {
    QImage image(28, 28, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QPainter p(&image);
    TQtCanvas canvas(&p);
    PaintControl(Proxy, &canvas);
    return image;
  }
  // Every opaque pixel of the default image shows at (2, 2).
  bool ShowsDefaultImage(const QImage& shown) {
    const QImage def = Engine()->DefaultProxyImage().toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < def.height(); ++y)
      for (int x = 0; x < def.width(); ++x)
        if (qAlpha(def.pixel(x, y)) == 255 && shown.pixel(x + 2, y + 2) != def.pixel(x, y)) return false;
    return true;
  }
  TTestData* Data = nullptr;
  TImageList* Images = nullptr;
  TControl* Proxy = nullptr;
  std::vector<int32_t> Asked;
  TComponentClass AskedClass = nullptr;
  int32_t Chosen = 0;
};

TEST_F(ProxyImageTest, TheChosenImageIsDrawnTransparentlyAndAnyOtherIndexGivesTheDefault) {
  ASSERT_NE(Proxy, nullptr);
  const QColor face = ToQColor(ColorToRGB(clBtnFace));
  QImage shown = Render();
  EXPECT_EQ(Asked, std::vector<int32_t>{-1});
  EXPECT_EQ(AskedClass, &TTestData::StaticClass());
  EXPECT_EQ(shown.pixelColor(2 + 8, 2 + 8), QColor(Qt::red));
  EXPECT_EQ(shown.pixelColor(2 + 1, 2 + 1), face);  // the image's transparent corner
  EXPECT_FALSE(ShowsDefaultImage(shown));
  for (int32_t index : {1, -1}) {
    Chosen = index;
    shown = Render();
    EXPECT_TRUE(ShowsDefaultImage(shown)) << index;
    EXPECT_NE(shown.pixelColor(2 + 8, 2 + 8), QColor(Qt::red));
  }
  // Without a list the host is not asked.
  Designer->SetNonvisualComponentImages(nullptr);
  Asked.clear();
  Chosen = 0;
  EXPECT_TRUE(ShowsDefaultImage(Render()));
  EXPECT_TRUE(Asked.empty());
}

TEST_F(ProxyImageTest, ListChangesRepaintProxiesUntilTheListIsReplacedOrGone) {
  QWidget* peer = PeerWidget(Proxy);
  ASSERT_NE(peer, nullptr);
  QApplication::processEvents();
  TPaintCounter paints(peer);
  Images->Add(Images->Image(0));
  QApplication::processEvents();
  EXPECT_GT(paints.Count, 0);

  // A list the designer no longer uses repaints nothing.
  TImageList* other = TComponent::Create<TImageList>(Host);
  Designer->SetNonvisualComponentImages(other);
  // Let the repaint of that switch (and anything else pending) land before counting.
  QTest::qWait(50);
  paints.Count = 0;
  Images->Clear();
  QApplication::processEvents();
  EXPECT_EQ(paints.Count, 0);

  // The list in use goes: the designer forgets it and proxies fall back to the default.
  other->Free();
  EXPECT_EQ(Designer->NonvisualComponentImages(), nullptr);
  EXPECT_EQ(Engine()->Images(), nullptr);
  EXPECT_TRUE(ShowsDefaultImage(Render()));
  // The engine goes before the first list: later changes reach nobody.
  Designer->SetNonvisualComponentImages(Images);
  Designer->SetActive(false);
  QImage blue(16, 16, QImage::Format_ARGB32);
  blue.fill(Qt::blue);
  Images->Add(blue);
  EXPECT_EQ(Designer->NonvisualComponentImages(), Images);
}

}  // namespace
}  // namespace rpt::test
