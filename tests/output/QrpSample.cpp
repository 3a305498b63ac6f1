// Writes a recorded-report file of sample pages, the way the report printer records
// one: qrp_sample OUT PAGES [--compressed] [--abandoned].
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

#include "SampleReport.h"
#include "output/QRPageList.h"

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: qrp_sample OUT PAGES [--compressed] [--abandoned]\n");
    return 2;
  }
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  bool compressed = false, abandoned = false;
  for (int i = 3; i < argc; ++i) {
    compressed |= std::strcmp(argv[i], "--compressed") == 0;
    abandoned |= std::strcmp(argv[i], "--abandoned") == 0;
  }
  try {
    const int pages = std::atoi(argv[2]);
    rpt::TQRPageList list;
    list.AttachStream(std::make_unique<rpt::TQRStream>(100000));
    list.SetCompressed(compressed);
    for (int n = 1; n <= pages; ++n) list.AppendPage(rpt::test::SampleReportPage(n, pages));
    if (!abandoned) list.WriteHeader();
    list.CopyToFile(argv[1]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "qrp_sample: %s\n", e.what());
    return 1;
  }
  return 0;
}
