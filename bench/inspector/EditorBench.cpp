// The property editors over a large selection, timed over whole runs: the editors
// common to 500 selected labels with the value text of every row (what showing the
// rows asks of them), and Font.Size typed into the Size sub-row of all 500 labels.
// The best of the repeats counts, after one uncounted warm-up run.
//
//   build/bench/bench_inspector [--labels N] [--repeats N]
#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "inspector/PropEditors.h"
#include "report/QRCtrls.h"
#include "report/QRUnits.h"
#include "report/QuickRpt.h"

namespace {

using namespace rpt;
using Clock = std::chrono::steady_clock;

double Milliseconds(Clock::time_point from) {
  return std::chrono::duration<double, std::milli>(Clock::now() - from).count();
}

// The rows as the inspector makes them, with every shown value read.
TPropEditorList BuildAndShow(const std::vector<TPersistent*>& objects, const TZQKEditorChoice& choice,
                                size_t& shownChars) {
  TPropEditorList rows;
  BuildEditors(objects, kAllTypeKinds, rows, nullptr, true, choice.Chooser(), false, false);
  for (auto& row : rows) {
    shownChars += row->GetRowCaption().size() + row->DisplayText().size();
    row->GetAttributes();
  }
  return rows;
}

TZQKPropEditor* RowNamed(const TPropEditorList& rows, const char* caption) {
  for (const auto& row : rows)
    if (row->GetRowCaption() == caption) return row.get();
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  int labels = 500, repeats = 10;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--labels")) labels = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--repeats")) repeats = std::atoi(argv[i + 1]);
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  SetUseInchDefaults(false);
  RegisterReportClasses();
  TQuickRep* report = TComponent::Create<TQuickRep>(nullptr);
  report->SetName("Report");
  auto* band = TComponent::Create<TQRBand>(report);
  band->SetName("Detail");
  band->SetParent(report);
  band->SetBandType(rbDetail);
  std::vector<TPersistent*> selection;
  for (int i = 0; i < labels; ++i) {
    auto* label = TComponent::Create<TQRLabel>(report);
    label->SetName("QRLabel" + std::to_string(i + 1));
    label->SetParent(band);
    label->SetCaption("Label " + std::to_string(i + 1));
    selection.push_back(label);
  }
  TZQKEditorChoice choice;

  std::vector<double> build, setSize;
  size_t shown = 0, rowCount = 0;
  for (int r = 0; r <= repeats; ++r) {
    Clock::time_point start = Clock::now();
    TPropEditorList rows = BuildAndShow(selection, choice, shown);
    const double buildMs = Milliseconds(start);
    rowCount = rows.size();

    TZQKPropEditor* font = RowNamed(rows, "Font");
    if (!font) {
      std::fprintf(stderr, "no Font row\n");
      return 1;
    }
    start = Clock::now();
    TPropEditorList fontRows;
    font->FillSubEditors(fontRows, choice.Chooser());
    TZQKPropEditor* size = RowNamed(fontRows, "Size");
    size->SetValueText(r % 2 ? "12" : "14");
    const double sizeMs = Milliseconds(start);
    const int expected = r % 2 ? 12 : 14;
    for (TPersistent* o : selection)
      if (static_cast<TQRLabel*>(o)->Font()->Size() != expected) {
        std::fprintf(stderr, "a label missed the new size\n");
        return 1;
      }
    if (r == 0) continue;  // warm-up
    build.push_back(buildMs);
    setSize.push_back(sizeMs);
  }
  auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  auto median = [](std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
  };
  std::printf("labels: %d, common rows: %zu, repeats: %d\n", labels, rowCount, repeats);
  std::printf("build common editors + read shown values: best %.2f ms, median %.2f ms (target <= 100 ms with the grid)\n",
              best(build), median(build));
  std::printf("Font.Size through the Size sub-row (sub-rows + write): best %.2f ms, median %.2f ms (target <= 100 ms)\n",
              best(setSize), median(setSize));
  report->Free();
  return shown == 0;
}
