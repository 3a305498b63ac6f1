#pragma once
// A host form with a design panel, a designer and a root with a band and labels; the
// pointer is driven by messages that go through the same delivery as the peers' ones.
#include <gtest/gtest.h>

#include <QApplication>

#include "designer/Engine.h"
#include "framework/Peer.h"

namespace rpt::test {

class TTestRoot : public TCustomPanel {
  RPT_CLASS(TTestRoot, TCustomPanel)
  TTestRoot() { SetColor(clWhite); }
};

class TTestBand : public TCustomPanel {
  RPT_CLASS(TTestBand, TCustomPanel)
  TTestBand() { SetColor(clSilver); }
};

class TTestLabel : public TCustomControl {
  RPT_CLASS(TTestLabel, TCustomControl)
  TTestLabel() {
    SetColor(clYellow);
    SetBounds(0, 0, 64, 17);
  }
};

class TTestData : public TComponent {
  RPT_CLASS(TTestData, TComponent)
  TTestData() = default;
};

// Counts the paint events one widget receives.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++Count;
    return false;
  }
  int Count = 0;
};

class DesignerTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  TTestLabel* AddLabel(TWinControl* parent, const std::string& name, int32_t l, int32_t t, int32_t w = 64,
                       int32_t h = 17);
  // A pointer message at a client point of target; while the mouse is captured it goes
  // to the capturing control, as the window layer delivers it.
  void Send(TControl* target, uint32_t msg, TPoint pt, TShiftState shift = {});
  void Key(uint16_t key, TShiftState shift = {});
  // Press, move in one step, release.
  void Drag(TControl* target, TPoint from, TPoint to, TShiftState shift = {});
  TZQKEngine* Engine() const { return Designer->Engine(); }
  TZQKSelCtrls* Sel() const { return Designer->Engine()->Selection(); }
  std::vector<std::string> SelectedNames() const;

  TForm* Host = nullptr;
  TZQKDesignPanel* Panel = nullptr;
  TZQKDesigner* Designer = nullptr;
  TTestRoot* Root = nullptr;
  TTestBand* Band = nullptr;
  int SelectionChanges = 0;
  int Changes = 0;
};

}  // namespace rpt::test
