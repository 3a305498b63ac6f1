// The design surface with a large root: 2,000 controls in 50 containers, one of which
// holds 200 labels. Activation, select-all by rubber band, and one step of a move drag
// of 200 selected labels. Then a real report of 200 bands and 2,000 labels: loading it,
// activating the designer on it, a move-drag step, and a band resized (all bands below
// move).
#include <benchmark/benchmark.h>

#include "designer/Engine.h"
#include "framework/Application.h"
#include "objects/Filer.h"
#include "report/QRCtrls.h"

namespace rpt {
namespace {

// A pointer message at a point of a control, to whatever control has the capture.
void SendPointer(TControl* target, uint32_t msg, TPoint pt) {
  const TPoint screen = ClientToScreen(target, pt);
  TControl* to = GetCaptureControl() ? GetCaptureControl() : target;
  TMessage m(msg);
  m.ScreenPos = screen;
  m.Pos = ScreenToClient(to, screen);
  Perform(to, m);
}

class TBenchBand : public TCustomPanel {
  RPT_CLASS(TBenchBand, TCustomPanel)
  TBenchBand() = default;
};
class TBenchLabel : public TCustomControl {
  RPT_CLASS(TBenchLabel, TCustomControl)
  TBenchLabel() = default;
};
RPT_BEGIN_CLASS(TBenchBand, TCustomPanel)
RPT_END_CLASS
RPT_BEGIN_CLASS(TBenchLabel, TCustomControl)
RPT_END_CLASS

struct TSurface {
  TForm* Host;
  TZQKDesignPanel* Panel;
  TBenchBand* Root;
  TZQKDesigner* Designer;
  std::vector<TControl*> BigBandLabels;

  TSurface() {
    Host = TComponent::Create<TForm>(nullptr);
    Host->SetBounds(0, 0, 1200, 900);
    Panel = TComponent::Create<TZQKDesignPanel>(Host);
    Panel->SetBounds(0, 0, 1200, 900);
    Panel->SetParent(Host);
    Root = TComponent::Create<TBenchBand>(nullptr);
    Root->SetName("Root");
    Root->SetBounds(0, 0, 1100, 50 * 60 + 10);
    int made = 0;
    for (int b = 0; b < 50; ++b) {
      auto* band = TComponent::Create<TBenchBand>(Root);
      band->SetName("Band" + std::to_string(b + 1));
      band->SetBounds(0, 10 + b * 60, 1100, 55);
      band->SetParent(Root);
      ++made;
      const int labels = b == 0 ? 200 : (2000 - 50 - 200) / 49 + (b <= (2000 - 50 - 200) % 49 ? 1 : 0);
      for (int i = 0; i < labels; ++i) {
        auto* label = TComponent::Create<TBenchLabel>(Root);
        label->SetName("Label" + std::to_string(++made));
        label->SetBounds(2 + (i % 50) * 21, 2 + (i / 50) * 12, 20, 10);
        label->SetParent(band);
        if (b == 0) BigBandLabels.push_back(label);
      }
    }
    Designer = TComponent::Create<TZQKDesigner>(Host);
    Designer->SetDesignPanel(Panel);
    Designer->SetDesignControl(Root);
    Host->Show();
    QApplication::processEvents();
  }
  ~TSurface() {
    SetCaptureControl(nullptr);
    Designer->Free();
    Root->Free();
    Host->Free();
  }
  void Send(TControl* target, uint32_t msg, TPoint pt) { SendPointer(target, msg, pt); }
};

void BM_Activate(benchmark::State& state) {
  TSurface s;
  for (auto _ : state) {
    s.Designer->SetActive(true);
    state.PauseTiming();
    s.Designer->SetActive(false);
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_Activate)->Unit(benchmark::kMillisecond);

void BM_RubberBandSelectAll(benchmark::State& state) {
  TSurface s;
  s.Designer->SetActive(true);
  for (auto _ : state) {
    s.Send(s.Root, WM_LBUTTONDOWN, {1, 1});
    s.Send(s.Root, WM_MOUSEMOVE, {1099, 50 * 60 + 8});
    s.Send(s.Root, WM_LBUTTONUP, {1099, 50 * 60 + 8});
    state.PauseTiming();
    if (s.Designer->SelectedComponents().Count() != 50) state.SkipWithError("not all selected");
    s.Designer->SelectedComponents().Clear();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_RubberBandSelectAll)->Unit(benchmark::kMillisecond);

// A press and release on the root: the cost of starting and ending a drag, which takes
// a picture of the root's visible part for the feedback overlay.
void BM_PressRelease(benchmark::State& state) {
  TSurface s;
  s.Designer->SetActive(true);
  QApplication::processEvents();
  for (auto _ : state) {
    s.Send(s.Root, WM_LBUTTONDOWN, {1, 1});
    s.Send(s.Root, WM_LBUTTONUP, {1, 1});
    QApplication::processEvents();
  }
}
BENCHMARK(BM_PressRelease)->Unit(benchmark::kMillisecond);

void BM_MoveDragStep200(benchmark::State& state) {
  TSurface s;
  s.Designer->SetActive(true);
  std::vector<TComponent*> list(s.BigBandLabels.begin(), s.BigBandLabels.end());
  s.Designer->Select(list);
  TControl* first = s.BigBandLabels.front();
  s.Send(first, WM_LBUTTONDOWN, {5, 5});
  int step = 0;
  for (auto _ : state) {
    // Alternate one grid step right and back: every step changes the snapped point.
    ++step;
    s.Send(first, WM_MOUSEMOVE, {5 + (step % 2) * 8, 5});
    // The feedback is painted too: the overlay's strips, nothing under them is asked to repaint.
    QApplication::processEvents();
  }
  s.Send(first, WM_LBUTTONUP, {5, 5});
  state.counters["selected"] = s.Designer->SelectedComponents().Count();
}
BENCHMARK(BM_MoveDragStep200)->Unit(benchmark::kMicrosecond);

// A report of 200 bands of 5 mm, ten labels on each, on a page long enough for all.
struct TReportSurface {
  TForm* Host;
  TZQKDesignPanel* Panel;
  TQuickRep* Report;
  TZQKDesigner* Designer;

  TReportSurface() {
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
    Report->Page()->SetValue(pvWidth, 210);
    Report->Page()->SetValue(pvLength, 1030);
    int label = 0;
    for (int b = 0; b < 200; ++b) {
      auto* band = TComponent::Create<TQRBand>(Report);
      band->SetName("Band" + std::to_string(b + 1));
      band->SetParent(Report);
      band->SetBandType(b == 0 ? rbTitle : rbDetail);
      band->Size()->SetHeight(5);
      for (int i = 0; i < 10; ++i) {
        auto* l = TComponent::Create<TQRLabel>(Report);
        l->SetName("Label" + std::to_string(++label));
        l->SetParent(band);
        l->Size()->SetLeft(2 + i * 19);
        l->Size()->SetTop(0.5);
        l->SetCaption("Value " + std::to_string(label));
      }
    }
    Designer = TComponent::Create<TZQKDesigner>(Host);
    Designer->SetDesignPanel(Panel);
    Designer->SetDesignControl(Report);
    Host->Show();
    QApplication::processEvents();
  }
  ~TReportSurface() {
    SetCaptureControl(nullptr);
    Designer->Free();
    Report->Free();
    Host->Free();
  }
  TQRCustomBand* Band(int index) const { return Report->BandList()[static_cast<size_t>(index)]; }
  void Send(TControl* target, uint32_t msg, TPoint pt) { SendPointer(target, msg, pt); }
};

void BM_ReportLoad(benchmark::State& state) {
  TReportSurface s;
  TMemoryStream saved;
  SaveComponent(saved, s.Report);
  for (auto _ : state) {
    TOwnedPtr<TQuickRep> copy(TComponent::Create<TQuickRep>(nullptr));
    TMemoryStream in(saved.Data());
    LoadComponent(in, copy.get());
    if (copy->BandList().size() != 200) state.SkipWithError("bands missing");
  }
}
BENCHMARK(BM_ReportLoad)->Unit(benchmark::kMillisecond);

void BM_ReportActivate(benchmark::State& state) {
  TReportSurface s;
  for (auto _ : state) {
    s.Designer->SetActive(true);
    state.PauseTiming();
    s.Designer->SetActive(false);
    QApplication::processEvents();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_ReportActivate)->Unit(benchmark::kMillisecond);

void BM_ReportMoveDragStep(benchmark::State& state) {
  TReportSurface s;
  s.Designer->SetActive(true);
  QApplication::processEvents();
  TQRCustomBand* band = s.Band(20);
  std::vector<TComponent*> list(band->ControlList().begin(), band->ControlList().end());
  s.Designer->Select(list);
  TControl* first = band->Controls(0);
  s.Send(first, WM_LBUTTONDOWN, {5, 5});
  int step = 0;
  for (auto _ : state) {
    ++step;
    s.Send(first, WM_MOUSEMOVE, {5 + (step % 2) * 8, 5});
    QApplication::processEvents();
  }
  s.Send(first, WM_LBUTTONUP, {5, 5});
  state.counters["selected"] = s.Designer->SelectedComponents().Count();
}
BENCHMARK(BM_ReportMoveDragStep)->Unit(benchmark::kMicrosecond);

// A band made taller moves every band below it: the layout of all 200 and the repaint.
void BM_ReportBandResize(benchmark::State& state) {
  TReportSurface s;
  s.Designer->SetActive(true);
  QApplication::processEvents();
  TQRCustomBand* band = s.Band(1);
  int step = 0;
  for (auto _ : state) {
    ++step;
    band->SetBounds(band->Left(), band->Top(), band->Width(), 19 + (step % 2) * 8);
    QApplication::processEvents();
  }
}
BENCHMARK(BM_ReportBandResize)->Unit(benchmark::kMillisecond);

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
