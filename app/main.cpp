// The program: the application object, the single-instance windows in their fixed
// order, and the event loop until the main window closes.
//
//   reportdesigner [FILE.rpt ...]
#include <cstdio>
#include <cstring>

#include "app/Startup.h"
#include "app/WindowPlaces.h"

namespace {

const char kHelp[] =
    "Usage: reportdesigner [OPTION...] [FILE...]\n"
    "\n"
    "Lays out reports on bands, binds them to a database table or query, previews and\n"
    "prints the generated pages. Each report file (.rpt) named opens in a window of its own,\n"
    "each recorded report (.qrp, generated pages) in a preview.\n"
    "\n"
    "Options:\n"
    "  -h, --help            show this help\n"
    "  --version             show the version\n"
    "  -platform NAME        the window system to use (offscreen runs without a display)\n"
    "\n"
    "Environment:\n"
    "  RPT_ALIAS_FILE        the database alias file (default\n"
    "                        ~/.config/report-designer/aliases.ini)\n"
    "  RPT_SAMPLE_DB         the sample database to use instead of the installed one\n";

// Answered before the application object exists, so that they work without a display.
bool AnswerInformationOption(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "-h") == 0 || std::strcmp(argv[i], "--help") == 0) {
      std::fputs(kHelp, stdout);
      return true;
    }
    if (std::strcmp(argv[i], "--version") == 0) {
      std::puts("reportdesigner " RPT_VERSION);
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (AnswerInformationOption(argc, argv)) return 0;
  rpt::TApplication app(argc, argv);
  // Qt has taken its own options out of the arguments; the rest are report files.
  std::vector<std::string> files;
  const QStringList arguments = app.arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) files.push_back(arguments[i].toStdString());
  rpt::StartProgram(app, files, rpt::WindowPlacesFile());
  const int code = app.exec();
  rpt::EndProgram();
  return code;
}
