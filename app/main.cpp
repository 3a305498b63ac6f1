// The program: the application object, the single-instance windows in their fixed
// order, and the event loop until the main window closes.
#include <QDir>

#include "app/frmDocUnit.h"
#include "app/frmMainUnit.h"
#include "framework/Application.h"
#include "framework/Controls.h"

int main(int argc, char** argv) {
  rpt::TApplication app(argc, argv);
  app.SetTitle("Report designer");
  app.setQuitOnLastWindowClosed(false);
  // Classes a report file may name (the stand-in report until the report classes exist).
  rpt::RegisterStreamClasses({&rpt::TReportStandIn::StaticClass(), &rpt::TPanel::StaticClass()});
  rpt::CreateSingleInstanceWindows();
  rpt::frmMain->show();
  rpt::frmProps->show();
  rpt::frmMain->activateWindow();
  const int code = app.exec();
  rpt::DestroySingleInstanceWindows();
  return code;
}
