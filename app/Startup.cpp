#include "app/Startup.h"

#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "framework/Controls.h"

namespace rpt {

void StartProgram(TApplication& app) {
  app.SetTitle("Report designer");
  // The main window decides when the program ends, not the last window to close.
  app.setQuitOnLastWindowClosed(false);
  // Classes a report file may name (the stand-in report until the report classes exist).
  RegisterStreamClasses({&TReportStandIn::StaticClass(), &TPanel::StaticClass()});
  CreateSingleInstanceWindows();
  frmMain->show();
  frmProps->show();
  frmMain->activateWindow();
}

void EndProgram() { DestroySingleInstanceWindows(); }

}  // namespace rpt
