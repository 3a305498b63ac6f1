// The program: the application object, the single-instance windows in their fixed
// order, and the event loop until the main window closes.
//
//   reportdesigner [FILE.rpt ...]
#include "app/Startup.h"

int main(int argc, char** argv) {
  rpt::TApplication app(argc, argv);
  // Qt has taken its own options out of the arguments; the rest are report files.
  std::vector<std::string> files;
  const QStringList arguments = app.arguments();
  for (qsizetype i = 1; i < arguments.size(); ++i) files.push_back(arguments[i].toStdString());
  rpt::StartProgram(app, files);
  const int code = app.exec();
  rpt::EndProgram();
  return code;
}
