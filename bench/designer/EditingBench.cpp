// The design history and the clipboard on a large report: undo and redo of a move of
// 500 selected labels (each step puts the labels' stream state back), and select all,
// copy and paste of 2,000 labels. Each timed step includes the repaint that follows it.
#include <benchmark/benchmark.h>

#include "designer/Engine.h"
#include "designer/History.h"
#include "framework/Application.h"
#include "report/QRCtrls.h"

namespace rpt {
namespace {

// A report whose title band holds Labels labels in rows of 25.
struct TLabelReport {
  TForm* Host;
  TZQKDesignPanel* Panel;
  TQuickRep* Report;
  TZQKDesigner* Designer;
  TQRCustomBand* Band;

  explicit TLabelReport(int labels) {
    RegisterReportClasses();
    Host = TComponent::Create<TForm>(nullptr);
    Host->SetBounds(0, 0, 1200, 900);
    Panel = TComponent::Create<TZQKDesignPanel>(Host);
    Panel->SetBounds(0, 0, 1200, 900);
    Panel->SetParent(Host);
    Report = TComponent::Create<TQuickRep>(nullptr);
    Report->SetName("Report");
    Report->Page()->SetPaperSize(TQRPaperSize::Custom);
    Report->Page()->SetUnits(MM);
    Report->Page()->SetValue(pvWidth, 600);
    Report->Page()->SetValue(pvLength, 1200);
    auto* band = TComponent::Create<TQRBand>(Report);
    band->SetName("Title");
    band->SetParent(Report);
    band->SetBandType(rbTitle);
    band->Size()->SetHeight(6 + (labels / 25) * 6);
    Band = band;
    for (int i = 0; i < labels; ++i) {
      auto* l = TComponent::Create<TQRLabel>(Report);
      l->SetName("Label" + std::to_string(i + 1));
      l->SetParent(band);
      l->Size()->SetLeft(2 + (i % 25) * 22);
      l->Size()->SetTop(1 + (i / 25) * 6);
      l->SetCaption("Value " + std::to_string(i + 1));
    }
    Designer = TComponent::Create<TZQKDesigner>(Host);
    Designer->SetDesignPanel(Panel);
    Designer->SetDesignControl(Report);
    Designer->SetActive(true);
    Host->Show();
    QApplication::processEvents();
  }
  ~TLabelReport() {
    Designer->Free();
    Report->Free();
    Host->Free();
  }
  void SelectBand() {
    std::vector<TComponent*> list(Band->ControlList().begin(), Band->ControlList().end());
    Designer->SelectedComponents().Clear();
    Designer->Select(list);
  }
};

void UndoRedoMove500(benchmark::State& state, bool timeUndo) {
  TLabelReport r(500);
  r.SelectBand();
  r.Designer->DesignKeyDown(VK_RIGHT, {ssCtrl});
  if (!r.Designer->CanUndo()) state.SkipWithError("no step");
  for (auto _ : state) {
    if (!timeUndo) state.PauseTiming();
    r.Designer->Undo();
    QApplication::processEvents();
    if (!timeUndo) state.ResumeTiming();
    if (timeUndo) state.PauseTiming();
    r.Designer->Redo();
    QApplication::processEvents();
    if (timeUndo) state.ResumeTiming();
  }
  state.counters["selected"] = r.Designer->SelectedComponents().Count();
}
void BM_UndoMove500(benchmark::State& state) { UndoRedoMove500(state, true); }
void BM_RedoMove500(benchmark::State& state) { UndoRedoMove500(state, false); }
BENCHMARK(BM_UndoMove500)->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK(BM_RedoMove500)->Unit(benchmark::kMillisecond)->Iterations(10);

// Select all keeps the labels (the last selected's siblings) once copying restricts it.
void BM_SelectAllCopyPaste2000(benchmark::State& state) {
  TLabelReport r(2000);
  for (auto _ : state) {
    r.Designer->SelectedComponents().Clear();
    r.Designer->SelectAll();
    r.Designer->CopyToClipboard();
    r.Designer->PasteFromClipboard();
    QApplication::processEvents();
    state.PauseTiming();
    if (r.Designer->SelectedComponents().Count() != 2000) state.SkipWithError("not 2,000 pasted");
    r.Designer->Undo();
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_SelectAllCopyPaste2000)->Unit(benchmark::kMillisecond)->Iterations(2);

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
