// The page store: coder throughput, pages appended and read back, recording and
// playback of a typical text-heavy page, store bytes per page, and memory while a
// 10,000-page store is appended.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>

#include "SampleReport.h"
#include "framework/MetafileCanvas.h"
#include "framework/MetafilePlayer.h"
#include "output/QRCompress.h"
#include "output/QRPageList.h"

namespace rpt::bench {

namespace {

const TMetafile& TypicalPage() {
  static const TMetafile page = test::SampleReportPage(1, 1);
  return page;
}

std::string CoderInput() {
  // Ten typical pages back to back: what a store's bodies look like.
  std::string data;
  for (int i = 1; i <= 10; ++i) data += test::SampleReportPage(i, 10).Data();
  return data;
}

// Resident memory in bytes.
int64_t ResidentBytes() {
  std::ifstream statm("/proc/self/statm");
  int64_t size = 0, resident = 0;
  statm >> size >> resident;
  return resident * 4096;
}

}  // namespace

void BM_CoderEncode(benchmark::State& state) {
  const std::string input = CoderInput();
  int64_t coded = 0;
  for (auto _ : state) {
    TMemoryStream out;
    TQRCompress coder(out, true);
    coder.Encode(input.data(), input.size());
    coder.Finish();
    coded = out.Size();
    benchmark::DoNotOptimize(out.Data().data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(input.size()) * state.iterations());
  state.counters["ratio"] = static_cast<double>(coded) / input.size();
}
BENCHMARK(BM_CoderEncode)->Unit(benchmark::kMillisecond);

void BM_CoderDecode(benchmark::State& state) {
  const std::string input = CoderInput();
  TMemoryStream coded;
  {
    TQRCompress coder(coded, true);
    coder.Encode(input.data(), input.size());
    coder.Finish();
  }
  std::string out(input.size(), '\0');
  for (auto _ : state) {
    TMemoryStream in(coded.Data());
    TQRCompress decoder(in, false);
    decoder.Decode(out.data(), out.size());
    decoder.Finish();
    benchmark::DoNotOptimize(out.data());
  }
  if (out != input) state.SkipWithError("decoded bytes differ");
  state.SetBytesProcessed(static_cast<int64_t>(input.size()) * state.iterations());
}
BENCHMARK(BM_CoderDecode)->Unit(benchmark::kMillisecond);

void BM_RecordPage(benchmark::State& state) {
  int64_t bytes = 0;
  for (auto _ : state) {
    const TMetafile page = test::SampleReportPage(1, 1);
    bytes = static_cast<int64_t>(page.Data().size());
    benchmark::DoNotOptimize(page.Data().data());
  }
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["metafile_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_RecordPage)->Unit(benchmark::kMillisecond);

// Appends the typical page; arg 1 compresses.
void BM_AppendPage(benchmark::State& state) {
  const TMetafile& page = TypicalPage();
  auto list = std::make_unique<TQRPageList>();
  list->AttachStream(std::make_unique<TQRStream>(100000));
  list->SetCompressed(state.range(0) != 0);
  int64_t pages = 0, bytes = 0;
  for (auto _ : state) {
    list->AppendPage(page);
    if (list->TotalPages() == 2000) {
      // Keep the store to a realistic size.
      state.PauseTiming();
      bytes += list->PageStream()->Size() - TQRPageList::kHeaderSize;
      pages += list->TotalPages();
      list = std::make_unique<TQRPageList>();
      list->AttachStream(std::make_unique<TQRStream>(100000));
      list->SetCompressed(state.range(0) != 0);
      state.ResumeTiming();
    }
  }
  bytes += list->PageStream()->Size() - TQRPageList::kHeaderSize;
  pages += list->TotalPages();
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes/page"] = static_cast<double>(bytes) / std::max<int64_t>(pages, 1);
}
BENCHMARK(BM_AppendPage)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Reads pages back in order from a 500-page store (spilled to its file); arg 1 compresses.
void BM_ReadPage(benchmark::State& state) {
  TQRPageList list;
  list.AttachStream(std::make_unique<TQRStream>(100000));
  list.SetCompressed(state.range(0) != 0);
  for (int i = 0; i < 500; ++i) list.AppendPage(TypicalPage());
  list.WriteHeader();
  int32_t n = 0;
  for (auto _ : state) {
    n = n % 500 + 1;
    auto page = list.ReadPage(n);
    benchmark::DoNotOptimize(page.get());
  }
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_ReadPage)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

void BM_PlayPage96Dpi(benchmark::State& state) {
  const TMetafile& page = TypicalPage();
  QImage image(page.Width(), page.Height(), QImage::Format_RGB32);
  for (auto _ : state) {
    image.fill(Qt::white);
    QPainter painter(&image);
    PlayMetafile(page, painter, QRectF(0, 0, image.width(), image.height()));
  }
  state.counters["pages/s"] = benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PlayPage96Dpi)->Unit(benchmark::kMillisecond);

// 10,000 pages appended: resident memory after the spill stays where it was.
void BM_TenThousandPages(benchmark::State& state) {
  const TMetafile& page = TypicalPage();
  for (auto _ : state) {
    TQRPageList list;
    list.AttachStream(std::make_unique<TQRStream>(100000));
    list.SetCompressed(state.range(0) != 0);
    int64_t after100 = 0, after1000 = 0;
    for (int i = 1; i <= 10000; ++i) {
      list.AppendPage(page);
      if (i == 100) after100 = ResidentBytes();
      if (i == 1000) after1000 = ResidentBytes();
    }
    list.WriteHeader();
    const int64_t after10000 = ResidentBytes();
    state.counters["rss_100_MB"] = after100 / 1e6;
    state.counters["rss_1000_MB"] = after1000 / 1e6;
    state.counters["rss_10000_MB"] = after10000 / 1e6;
    state.counters["store_MB"] = list.PageStream()->Size() / 1e6;
    state.counters["in_memory"] = list.PageStream()->HeldInMemory();
  }
}
BENCHMARK(BM_TenThousandPages)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace rpt::bench

int main(int argc, char** argv) {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
