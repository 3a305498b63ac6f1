#include "app/Startup.h"

#include <QTimer>

#include "app/WindowPlaces.h"
#include "app/frmMainUnit.h"
#include "app/frmPropsUnit.h"
#include "objects/Exceptions.h"
#include "output/QRPrev.h"
#include "output/QRPrgres.h"
#include "report/QRCtrls.h"
#include "report/QRExportFilters.h"

namespace rpt {

namespace {
QString gPlacesFile;
}  // namespace

void OpenFiles(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    // One file that does not open is reported; the others still open.
    try {
      if (frmMain) frmMain->OpenFile(file);
    } catch (const std::exception& e) {
      if (TApplication* app = TApplication::Instance()) app->HandleException(e.what());
    }
  }
}

void StartProgram(TApplication& app, const std::vector<std::string>& files, const QString& placesFile) {
  app.SetTitle("Report designer");
  // The main window decides when the program ends, not the last window to close.
  app.setQuitOnLastWindowClosed(false);
  // Classes a report file may name, known before any window exists.
  RegisterReportClasses();
  // F9 opens the standard preview window on the report's pages.
  RegisterStandardPreview();
  // The file kinds the preview's save offers after the recorded report.
  RegisterExportFilters();
  RegisterStandardPrintDialogs();
  CreateSingleInstanceWindows();
  gPlacesFile = placesFile;
  if (!gPlacesFile.isEmpty()) RestoreWindowPlaces(frmMain, frmProps, gPlacesFile);
  frmMain->show();
  frmProps->show();
  frmMain->activateWindow();
  // Report files named on the command line open once the main window shows.
  if (!files.empty()) QTimer::singleShot(0, &app, [files] { OpenFiles(files); });
}

void EndProgram() {
  if (!gPlacesFile.isEmpty() && frmMain && frmProps) SaveWindowPlaces(frmMain, frmProps, gPlacesFile);
  gPlacesFile.clear();
  DestroySingleInstanceWindows();
}

}  // namespace rpt
