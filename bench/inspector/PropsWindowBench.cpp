// The properties window over a large selection: 500 labels selected on the design
// surface and shown in the inspector (the common rows built, the window painted), and
// Font.Size written to all 500 through the inspector's Size row as one undoable step.
#include <benchmark/benchmark.h>

#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "app/frmPropsUnit.h"
#include "framework/Application.h"
#include "report/QRCtrls.h"

namespace rpt {
namespace {

constexpr int kLabels = 500;

struct TLabelDocument {
  TfrmDoc* Doc = nullptr;
  std::vector<TComponent*> Labels;

  TLabelDocument() {
    RegisterReportClasses();
    QApplication::setQuitOnLastWindowClosed(false);
    SetMessageBoxHook([](const std::string&, TMsgDlgType, TMsgDlgButtons) { return int(mrNo); });
    CreateSingleInstanceWindows();
    frmMain->DataDialog = [](TfrmDoc*) { return true; };
    frmMain->show();
    frmProps->show();
    frmMain->Action("actNew")->trigger();
    Doc = frmMain->ActiveDocument();
    TQRCustomBand* band = Doc->Report->FindBand(rbTitle);
    band->Size()->SetHeight(6 + (kLabels / 25) * 6);
    for (int i = 0; i < kLabels; ++i) {
      auto* l = TComponent::Create<TQRLabel>(Doc->Report);
      l->SetName("Label" + std::to_string(i + 1));
      l->SetParent(band);
      l->Size()->SetLeft(2 + (i % 25) * 7);
      l->Size()->SetTop(1 + (i / 25) * 6);
      l->SetCaption("Value " + std::to_string(i + 1));
      Labels.push_back(l);
    }
    QApplication::processEvents();
  }
  ~TLabelDocument() {
    Doc->Modified = false;
    frmMain->CloseAllDocuments();
    QApplication::processEvents();
    DestroySingleInstanceWindows();
    SetMessageBoxHook(nullptr);
  }
  void Select(const std::vector<TComponent*>& list) {
    Doc->ZQKDesigner1->SelectedComponents().Clear();
    Doc->ZQKDesigner1->Select(list);
  }
};

void BM_Select500LabelsShowsTheirCommonProperties(benchmark::State& state) {
  TLabelDocument d;
  for (auto _ : state) {
    state.PauseTiming();
    d.Select({});
    QApplication::processEvents();
    state.ResumeTiming();
    d.Select(d.Labels);
    QApplication::processEvents();
  }
  if (frmProps->PropInsp->InspectedObjects().Count() != kLabels || !frmProps->PropInsp->PropItems().FindItem("Font"))
    state.SkipWithError("the inspector does not show the 500 labels");
}
BENCHMARK(BM_Select500LabelsShowsTheirCommonProperties)->Unit(benchmark::kMillisecond)->Iterations(10);

void BM_FontSizeOf500LabelsThroughTheInspector(benchmark::State& state) {
  TLabelDocument d;
  d.Select(d.Labels);
  TZQKPropertyInspectorItem* font = frmProps->PropInsp->PropItems().FindItem("Font");
  if (!font) {
    state.SkipWithError("no Font row");
    return;
  }
  font->Expand();
  int size = 9;
  for (auto _ : state) {
    size = size == 9 ? 14 : 9;
    // What the grid does with the text typed into the Size row.
    TZQKPropertyInspectorItem* row = frmProps->PropInsp->PropItems().FindItem("Font")->FindItem("Size");
    row->Row()->SetValueText(std::to_string(size));
    QApplication::processEvents();
  }
  for (TComponent* c : d.Labels)
    if (static_cast<TQRLabel*>(c)->Font()->Size() != size) state.SkipWithError("a label kept its size");
  if (!d.Doc->CanUndo()) state.SkipWithError("no undo step");
}
BENCHMARK(BM_FontSizeOf500LabelsThroughTheInspector)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace rpt

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  rpt::TApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
