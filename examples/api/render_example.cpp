// Renders a report through the library:
//   render_example REPORT.rpt OUT.pdf|OUT.png|OUT.csv|OUT.xlsx|OUT.qrp [--rows ROWS.json|ROWS.csv] [NAME=VALUE...]
// prints a line per page as it is made and the pages at the end.
#include <cstdio>
#include <string>

#include <reportdesigner/ReportDesigner.h>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s REPORT.rpt OUT [--rows ROWS.json|ROWS.csv] [NAME=VALUE...]\n", argv[0]);
    return 2;
  }
  try {
    reportdesigner::Report report = reportdesigner::Report::Open(argv[1]);
    for (int i = 3; i < argc; ++i) {
      const std::string arg = argv[i];
      if (arg == "--rows" && i + 1 < argc) {
        report.BindRowFile(argv[++i]);
      } else if (const size_t eq = arg.find('='); eq != std::string::npos) {
        report.SetParameter(arg.substr(0, eq), arg.substr(eq + 1));
      } else {
        std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
        return 2;
      }
    }
    reportdesigner::RenderOptions options;
    options.OnProgress = [](const reportdesigner::Progress& p) {
      std::fprintf(stderr, "page %d, %lld records\n", p.Page, static_cast<long long>(p.Records));
      return true;  // false would cancel the render
    };
    const reportdesigner::RenderResult result = report.Render(argv[2], options);
    for (const std::string& warning : result.Warnings) std::fprintf(stderr, "warning: %s\n", warning.c_str());
    std::printf("%s: %d pages, %lld rows\n", argv[2], result.Pages, static_cast<long long>(result.Rows));
    return 0;
  } catch (const reportdesigner::Error& e) {
    std::fprintf(stderr, "error: %s\n", e.what());
    return 1;
  }
}
