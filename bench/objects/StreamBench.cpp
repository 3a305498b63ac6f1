// Saving and loading a tree of 10,000 components with ten written properties each.
// Reports components/s and properties/s in both directions.
#include <benchmark/benchmark.h>

#include "objects/Filer.h"

namespace rpt::bench {

enum TBenchAlign : uint8_t { baLeft, baRight, baCenter };
RPT_ENUM_TYPE(TBenchAlign, "baLeft", "baRight", "baCenter")

class TBenchLabel : public TWinControl {
  RPT_CLASS(TBenchLabel, TWinControl)
  std::string Caption;
  TColor Color = clWhite;
  bool AutoSize = true;
  TBenchAlign Alignment = baLeft;
  int32_t FontSize = 10;
  double Ratio = 0;
};

RPT_BEGIN_CLASS(TBenchLabel, TWinControl)
  c.Property("Alignment", &TBenchLabel::Alignment, &TBenchLabel::Alignment).Default(baLeft);
  c.Property("AutoSize", &TBenchLabel::AutoSize, &TBenchLabel::AutoSize).Default(true);
  c.Property("Caption", &TBenchLabel::Caption, &TBenchLabel::Caption);
  c.Property("Color", &TBenchLabel::Color, &TBenchLabel::Color).Default(clWhite);
  c.Property("FontSize", &TBenchLabel::FontSize, &TBenchLabel::FontSize);
  c.Property("Ratio", &TBenchLabel::Ratio, &TBenchLabel::Ratio);
RPT_END_CLASS

constexpr int kContainers = 100;
constexpr int kPerContainer = 99;  // with the containers: 10,000 components
constexpr int kPropertiesEach = 10;

TOwnedPtr<TBenchLabel> MakeTree() {
  TOwnedPtr<TBenchLabel> root(new TBenchLabel);
  root->SetName("Root");
  int n = 0;
  for (int b = 0; b < kContainers; ++b) {
    auto* band = TComponent::Create<TBenchLabel>(root.get());
    band->SetName("Band" + std::to_string(b));
    band->SetParent(root.get());
    for (int i = 0; i < kPerContainer; ++i, ++n) {
      auto* label = TComponent::Create<TBenchLabel>(root.get());
      label->SetName("Label" + std::to_string(n));
      label->SetParent(band);
      label->SetBounds(i * 3, i * 7, 120, 17);
      label->Caption = "Caption of label " + std::to_string(n);
      label->Color = (n % 2) ? clRed : TColor(0x102030 + n);
      label->AutoSize = false;
      label->Alignment = baCenter;
      label->FontSize = 8 + n % 5;
      label->Ratio = n * 0.25;
    }
  }
  return root;
}

int ComponentCount(const TComponent* root) { return root->ComponentCount() + 1; }

void BM_SaveTree(benchmark::State& state) {
  auto root = MakeTree();
  size_t bytes = 0;
  for (auto _ : state) {
    TMemoryStream stream;
    SaveComponent(stream, root.get());
    bytes = stream.Data().size();
    benchmark::DoNotOptimize(bytes);
  }
  const double components = static_cast<double>(ComponentCount(root.get())) * state.iterations();
  state.counters["components/s"] = benchmark::Counter(components, benchmark::Counter::kIsRate);
  state.counters["properties/s"] =
      benchmark::Counter(components * kPropertiesEach, benchmark::Counter::kIsRate);
  state.counters["stream_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SaveTree)->Unit(benchmark::kMillisecond);

void BM_LoadTree(benchmark::State& state) {
  RegisterStreamClass(TBenchLabel::StaticClass());
  auto source = MakeTree();
  TMemoryStream saved;
  SaveComponent(saved, source.get());
  for (auto _ : state) {
    TMemoryStream stream(saved.Data());
    TOwnedPtr<TComponent> root(LoadComponent(stream, nullptr));
    benchmark::DoNotOptimize(root.get());
    state.PauseTiming();
    root.reset();
    state.ResumeTiming();
  }
  const double components = static_cast<double>(ComponentCount(source.get())) * state.iterations();
  state.counters["components/s"] = benchmark::Counter(components, benchmark::Counter::kIsRate);
  state.counters["properties/s"] =
      benchmark::Counter(components * kPropertiesEach, benchmark::Counter::kIsRate);
}
BENCHMARK(BM_LoadTree)->Unit(benchmark::kMillisecond);

}  // namespace rpt::bench

BENCHMARK_MAIN();
