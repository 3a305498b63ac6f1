#pragma once
// A report under test with helpers that build bands and elements the way code and the
// designer do, and pictures of the design surface for pixel probes.
#include <gtest/gtest.h>

#include <QImage>
#include <optional>
#include <string>
#include <vector>

#include "report/QRController.h"
#include "report/QRCtrls.h"

namespace rpt::test {

// A report whose room on the page a test decides (stands in for a running pass).
class TRoomyReport : public TQuickRep {
  RPT_CLASS(TRoomyReport, TQuickRep)
  TRoomyReport() = default;
  // The room a test gives; the pass's own when none is given.
  std::optional<double> Room;
  double RemainingSpace() const override { return Room ? *Room : TQuickRep::RemainingSpace(); }
  // The page a pass would be on.
  using TQuickRep::SetPagesDone;
};

class ReportTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // A band of a type on the report, named.
  TQRBand* AddBand(TQRBandType type, const std::string& name);
  template <class T>
  T* Add(const std::string& name, TWinControl* parent = nullptr) {
    T* c = TComponent::Create<T>(Report);
    c->SetName(name);
    c->SetParent(parent ? parent : Report);
    return c;
  }
  // The names of the band list, in print order.
  std::vector<std::string> Order() const;
  std::string Save() const;
  // A new report loaded from bytes.
  template <class T = TRoomyReport>
  T* Load(const std::string& bytes) const {
    T* report = TComponent::Create<T>(nullptr);
    try {
      LoadInto(report, bytes);
    } catch (...) {
      report->Free();
      throw;
    }
    return report;
  }
  static void LoadInto(TComponent* report, const std::string& bytes);

  TRoomyReport* Report = nullptr;
};

// The design surface: the report and every control on it painted into one picture.
QImage PaintSurface(TControl* root);
// Dark pixels (text, lines) inside a rectangle of the picture.
int InkInside(const QImage& image, const TRect& rect, int threshold = 160);

}  // namespace rpt::test
