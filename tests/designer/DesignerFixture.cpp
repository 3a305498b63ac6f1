#include "tests/designer/DesignerFixture.h"

namespace rpt::test {

RPT_BEGIN_CLASS(TTestRoot, TCustomPanel)
RPT_END_CLASS
RPT_BEGIN_CLASS(TTestBand, TCustomPanel)
RPT_END_CLASS
RPT_BEGIN_CLASS(TTestLabel, TCustomControl)
RPT_END_CLASS
RPT_BEGIN_CLASS(TTestData, TComponent)
RPT_END_CLASS

void DesignerTest::SetUp() {
  Host = TComponent::Create<TForm>(nullptr);
  Host->SetBounds(0, 0, 640, 480);
  Panel = TComponent::Create<TZQKDesignPanel>(Host);
  Panel->SetName("ZQKDesignPanel1");
  Panel->SetBounds(0, 0, 640, 480);
  Panel->SetParent(Host);
  Root = TComponent::Create<TTestRoot>(nullptr);
  Root->SetName("Root");
  Root->SetBounds(40, 30, 560, 420);
  Band = TComponent::Create<TTestBand>(Root);
  Band->SetName("Band1");
  Band->SetBounds(0, 200, 560, 120);
  Band->SetParent(Root);
  Designer = TComponent::Create<TZQKDesigner>(Host);
  Designer->SetName("ZQKDesigner1");
  Designer->SetDesignPanel(Panel);
  Designer->SetDesignControl(Root);
  Designer->OnChangeSelection = [this](TObject*) { ++SelectionChanges; };
  Designer->OnChange = [this](TObject*) { ++Changes; };
  Host->Show();
}

void DesignerTest::TearDown() {
  SetCaptureControl(nullptr);
  if (Designer) Designer->Free();
  Root->Free();
  Host->Free();
  QApplication::processEvents();
}

TTestLabel* DesignerTest::AddLabel(TWinControl* parent, const std::string& name, int32_t l, int32_t t, int32_t w,
                                   int32_t h) {
  auto* label = TComponent::Create<TTestLabel>(Root);
  label->SetName(name);
  label->SetBounds(l, t, w, h);
  label->SetParent(parent);
  return label;
}

void DesignerTest::Send(TControl* target, uint32_t msg, TPoint pt, TShiftState shift) {
  const TPoint screen = ClientToScreen(target, pt);
  TControl* to = GetCaptureControl() ? GetCaptureControl() : target;
  TMessage m(msg);
  m.ScreenPos = screen;
  m.Pos = ScreenToClient(to, screen);
  m.Shift = shift;
  m.Button = (msg == WM_RBUTTONDOWN || msg == WM_RBUTTONUP) ? mbRight : mbLeft;
  Perform(to, m);
}

void DesignerTest::Key(uint16_t key, TShiftState shift) {
  TMessage m(WM_KEYDOWN);
  m.CharCode = key;
  m.Shift = shift;
  Perform(Root, m);
}

void DesignerTest::Drag(TControl* target, TPoint from, TPoint to, TShiftState shift) {
  Send(target, WM_LBUTTONDOWN, from, shift);
  Send(target, WM_MOUSEMOVE, to, shift);
  Send(target, WM_LBUTTONUP, to, shift);
}

std::vector<std::string> DesignerTest::SelectedNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < Sel()->Count(); ++i) names.push_back(Sel()->Controls(i)->Name());
  return names;
}

}  // namespace rpt::test
