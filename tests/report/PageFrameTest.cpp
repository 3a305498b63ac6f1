// The report page (paper table, orientation, margins in any unit, the "Values" stream
// property) and the frame (published defaults, side thickness on any device).
#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>
#include <memory>

#include "framework/QtCanvas.h"
#include "objects/Filer.h"
#include "objects/StreamText.h"
#include "report/QRUnits.h"

namespace rpt {

// A component that publishes a page and a frame, as a report does.
class TPageHolder : public TComponent {
  RPT_CLASS(TPageHolder, TComponent)
  TPageHolder() : FPage(std::make_unique<TQRPage>()), FFrame(std::make_unique<TQRFrame>()) {}
  TQRPage* Page() const { return FPage.get(); }
  void SetPage(TQRPage* page) { FPage->AssignFrom(page); }
  TQRFrame* Frame() const { return FFrame.get(); }
  void SetFrame(TQRFrame* frame) { FFrame->AssignFrom(frame); }

 private:
  std::unique_ptr<TQRPage> FPage;
  std::unique_ptr<TQRFrame> FFrame;
};

RPT_BEGIN_CLASS(TPageHolder, TComponent)
  c.Property("Frame", &TPageHolder::Frame, &TPageHolder::SetFrame);
  c.Property("Page", &TPageHolder::Page, &TPageHolder::SetPage);
RPT_END_CLASS

namespace {

// A report stand-in: a control sized to the paper, counting layout requests.
class THost : public TQRUnitHost {
 public:
  TControl Control;
  int Layouts = 0;
  TControl* HostControl() override { return &Control; }
  void LayoutBands() override { ++Layouts; }
};

class PageTest : public ::testing::Test {
 protected:
  void SetUp() override { SetUseInchDefaults(false); }
  void TearDown() override { SetUseInchDefaults(false); }
};

TEST_F(PageTest, InitialPageFollowsTheMeasurementSystem) {
  TQRPage metric;
  EXPECT_EQ(metric.Units(), MM);
  EXPECT_EQ(metric.PaperSize(), TQRPaperSize::A4);
  EXPECT_DOUBLE_EQ(static_cast<double>(metric.NativeValue(pvTopMargin)), 100);
  EXPECT_DOUBLE_EQ(static_cast<double>(metric.NativeValue(pvBottomMargin)), 100);
  EXPECT_DOUBLE_EQ(static_cast<double>(metric.NativeValue(pvWidth)), 2100);
  EXPECT_TRUE(metric.Ruler());
  EXPECT_EQ(metric.Columns(), 1);

  SetUseInchDefaults(true);
  TQRPage us;
  EXPECT_EQ(us.Units(), Inches);
  EXPECT_EQ(us.PaperSize(), TQRPaperSize::Letter);
  EXPECT_DOUBLE_EQ(static_cast<double>(us.NativeValue(pvLeftMargin)), 127);
  EXPECT_DOUBLE_EQ(static_cast<double>(us.GetValue(pvRightMargin)), 0.5);
  EXPECT_NEAR(static_cast<double>(us.NativeValue(pvLength)), 2794, 1e-9);
}

TEST_F(PageTest, OrientationReappliesTableSizes) {
  TQRPage page;
  page.SetPaperSize(TQRPaperSize::A4);
  page.SetOrientation(poLandscape);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvWidth)), 297, 1e-9);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvLength)), 210, 1e-9);
  EXPECT_EQ(page.PaperSize(), TQRPaperSize::A4);
  page.SetOrientation(poPortrait);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvWidth)), 210, 1e-9);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvLength)), 297, 1e-9);
  // Custom sizes are not swapped.
  page.SetPaperSize(TQRPaperSize::Custom);
  page.SetValue(pvWidth, 100);
  page.SetOrientation(poLandscape);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvWidth)), 100, 1e-9);
}

TEST_F(PageTest, SizeIsSettableOnlyForCustomPaper) {
  THost host;
  TQRPage page;
  page.SetHost(&host);
  page.SetPaperSize(TQRPaperSize::Letter);
  page.SetValue(pvWidth, 500);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvWidth)), 215.9, 1e-9);

  page.SetPaperSize(TQRPaperSize::Custom);
  page.SetUnits(Inches);
  page.SetValue(pvWidth, 10);
  EXPECT_NEAR(static_cast<double>(page.NativeValue(pvWidth)), 2540, 1e-9);
  EXPECT_EQ(host.Control.Width(), 960);  // 10 inches at 96 pixels per inch
  EXPECT_GT(host.Layouts, 0);

  // The report control resized by hand takes the page with it.
  page.HostResized(480, 960);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvWidth)), 5, 1e-9);
  EXPECT_EQ(page.Units(), Inches);
}

TEST_F(PageTest, MarginsConvertBetweenUnits) {
  TQRPage page;
  page.SetUnits(Inches);
  page.SetValue(pvLeftMargin, 1);
  EXPECT_NEAR(static_cast<double>(page.NativeValue(pvLeftMargin)), 254, 1e-12);
  page.SetUnits(MM);
  EXPECT_NEAR(static_cast<double>(page.GetValue(pvLeftMargin)), 25.4, 1e-12);
  page.SetColumns(0);
  EXPECT_EQ(page.Columns(), 1);
  page.SetColumns(3);
  EXPECT_EQ(page.Columns(), 3);
}

std::string Save(TComponent* c) {
  TMemoryStream s;
  SaveComponent(s, c);
  return s.Data();
}

TEST_F(PageTest, StreamsThroughValuesWithoutDefaults) {
  TPageHolder holder;
  holder.SetName("R");
  const std::string plain = DumpStream(Save(&holder));
  // Published lengths are carried by Values only; defaults stay out.
  EXPECT_NE(plain.find("Page.Values"), std::string::npos) << plain;
  EXPECT_EQ(plain.find("Page.LeftMargin"), std::string::npos);
  EXPECT_EQ(plain.find("Page.Ruler"), std::string::npos);
  EXPECT_EQ(plain.find("Frame.Width"), std::string::npos);
  EXPECT_EQ(plain.find("Frame.Style"), std::string::npos);
  EXPECT_NE(plain.find("Frame.Color"), std::string::npos);
  EXPECT_NE(plain.find("Page.PaperSize = A4"), std::string::npos) << plain;

  holder.Page()->SetPaperSize(TQRPaperSize::Custom);
  holder.Page()->SetUnits(Native);
  holder.Page()->SetValue(pvWidth, 1234.0L / 3);
  holder.Page()->SetValue(pvColumnSpace, 1.0L / 7);
  holder.Page()->SetRuler(false);
  holder.Frame()->SetWidth(3);
  holder.Frame()->SetDrawTop(true);
  holder.Frame()->SetStyle(psDot);
  const std::string bytes = Save(&holder);
  const std::string text = DumpStream(bytes);
  EXPECT_NE(text.find("Page.Ruler = False"), std::string::npos) << text;
  EXPECT_NE(text.find("Frame.Width = 3"), std::string::npos);

  TPageHolder back;
  TMemoryStream in;
  in.Write(bytes.data(), bytes.size());
  in.SetPosition(0);
  LoadComponent(in, &back);
  for (int i = 0; i < 7; ++i) EXPECT_EQ(back.Page()->NativeValue(i), holder.Page()->NativeValue(i)) << i;
  EXPECT_EQ(back.Page()->PaperSize(), TQRPaperSize::Custom);
  EXPECT_FALSE(back.Page()->Ruler());
  EXPECT_EQ(back.Frame()->Width(), 3);
  EXPECT_EQ(back.Frame()->Style(), psDot);
  EXPECT_TRUE(back.Frame()->DrawTop());
  EXPECT_TRUE(back.Frame()->HasAnySide());
}

TEST_F(PageTest, ValuesOfTheWrongLengthAreRefused) {
  TPageHolder holder;
  holder.SetName("R");
  const std::string text = DumpStream(Save(&holder));
  const std::string item = "    0  (svExtended)\n";
  const size_t at = text.find(item, text.find("Page.Values = list"));
  ASSERT_NE(at, std::string::npos) << text;
  // One number fewer and one more than the page carries.
  const std::string shorter = text.substr(0, at) + text.substr(at + item.size());
  const std::string longer = text.substr(0, at) + item + "    1.5  (svExtended)\n" + text.substr(at + item.size());
  for (const std::string& changed : {shorter, longer}) {
    const std::string bytes = BuildStream(changed);
    TPageHolder target;
    target.Page()->SetUnits(Native);
    target.Page()->SetValue(pvTopMargin, 55);
    TMemoryStream in;
    in.Write(bytes.data(), bytes.size());
    in.SetPosition(0);
    try {
      LoadComponent(in, &target);
      ADD_FAILURE() << "accepted " << changed;
    } catch (const Exception& e) {
      EXPECT_NE(std::string(e.what()).find("Invalid property value"), std::string::npos) << e.what();
    }
    // Nothing of the refused list was stored.
    EXPECT_EQ(target.Page()->NativeValue(pvTopMargin), 55);
  }
}

// Thickness of the left side drawn into an image, in pixels.
int LeftThickness(const TQRFrame& frame, double factor) {
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    QPainter painter(&image);
    TQtCanvas canvas(&painter, 600);
    frame.DrawFrameLines(canvas, {10, 10, 190, 190}, factor, factor);
  }
  int n = 0;
  for (int x = 0; x < 200; ++x)
    if (image.pixel(x, 100) != qRgb(255, 255, 255)) ++n;
  return n;
}

TEST(FrameTest, SideThicknessOnAnyDevice) {
  TQRFrame frame;
  frame.SetDrawLeft(true);
  EXPECT_EQ(frame.Style(), psSolid);
  EXPECT_EQ(frame.Width(), 1);
  EXPECT_EQ(frame.Color(), clBlack);
  const double printer600 = 600 / 254.0;
  EXPECT_EQ(LeftThickness(frame, printer600), 8);
  frame.SetWidth(-1);
  EXPECT_EQ(LeftThickness(frame, printer600), 1);
  frame.SetWidth(1);
  EXPECT_EQ(LeftThickness(frame, 0.01), 1);  // below one pixel still shows
  frame.SetWidth(0);
  EXPECT_EQ(LeftThickness(frame, printer600), 0);
  frame.SetDrawLeft(false);
  EXPECT_FALSE(frame.HasAnySide());
}

}  // namespace
}  // namespace rpt
