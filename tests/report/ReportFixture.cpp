#include "tests/report/ReportFixture.h"

#include <QPainter>

#include "framework/QtCanvas.h"
#include "objects/Filer.h"

namespace rpt {
namespace test {

RPT_BEGIN_CLASS(TRoomyReport, TQuickRep)
RPT_END_CLASS

void ReportTest::SetUp() {
  SetUseInchDefaults(false);
  RegisterReportClasses();
  Report = TComponent::Create<TRoomyReport>(nullptr);
  Report->SetName("Report");
  // Whatever paper the machine's printer has.
  Report->Page()->SetPaperSize(TQRPaperSize::A4);
}

void ReportTest::TearDown() {
  if (Report) Report->Free();
  Report = nullptr;
}

TQRBand* ReportTest::AddBand(TQRBandType type, const std::string& name) {
  auto* band = Add<TQRBand>(name);
  band->SetBandType(type);
  return band;
}

std::vector<std::string> ReportTest::Order() const {
  std::vector<std::string> names;
  for (TQRCustomBand* band : Report->BandList()) names.push_back(band->Name());
  return names;
}

std::string ReportTest::Save() const {
  TMemoryStream stream;
  SaveComponent(stream, Report);
  return stream.Data();
}

void ReportTest::LoadInto(TComponent* report, const std::string& bytes) {
  TMemoryStream stream(bytes);
  LoadComponent(stream, report);
}

namespace {
void PaintTree(TControl* control, QPainter& painter, QPoint origin) {
  painter.save();
  painter.translate(origin);
  painter.setClipRect(0, 0, control->Width(), control->Height());
  TQtCanvas canvas(&painter, kScreenPixelsPerInch);
  PaintControl(control, &canvas);
  painter.restore();
  if (auto* parent = dynamic_cast<TWinControl*>(control))
    for (TControl* child : parent->ControlList())
      PaintTree(child, painter, origin + QPoint(child->Left(), child->Top()));
}
}  // namespace

QImage PaintSurface(TControl* root) {
  QImage image(root->Width(), root->Height(), QImage::Format_RGB32);
  image.fill(Qt::darkGray);
  QPainter painter(&image);
  PaintTree(root, painter, QPoint(0, 0));
  return image;
}

int InkInside(const QImage& image, const TRect& rect, int threshold) {
  int ink = 0;
  for (int y = std::max(0, rect.Top); y < std::min(image.height(), rect.Bottom); ++y)
    for (int x = std::max(0, rect.Left); x < std::min(image.width(), rect.Right); ++x)
      if (qGray(image.pixel(x, y)) < threshold) ++ink;
  return ink;
}

}  // namespace test
}  // namespace rpt
