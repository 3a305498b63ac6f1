#include "app/Startup.h"

#include "app/frmMainUnit.h"
#include "report/QRCtrls.h"

namespace rpt {

void StartProgram(TApplication& app) {
  app.SetTitle("Report designer");
  // The main window decides when the program ends, not the last window to close.
  app.setQuitOnLastWindowClosed(false);
  // Classes a report file may name, known before any window exists.
  RegisterReportClasses();
  CreateSingleInstanceWindows();
  frmMain->show();
  frmProps->show();
  frmMain->activateWindow();
}

void EndProgram() { DestroySingleInstanceWindows(); }

}  // namespace rpt
