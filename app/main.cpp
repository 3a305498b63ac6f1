// The program: the application object, the single-instance windows in their fixed
// order, and the event loop until the main window closes.
#include "app/Startup.h"

int main(int argc, char** argv) {
  rpt::TApplication app(argc, argv);
  rpt::StartProgram(app);
  const int code = app.exec();
  rpt::EndProgram();
  return code;
}
