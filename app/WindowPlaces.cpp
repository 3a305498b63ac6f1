#include "app/WindowPlaces.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QSettings>
#include <QWidget>
#include <algorithm>

namespace rpt {

namespace {

constexpr int kGap = 8;
// Room left above a properties window that overlaps the main window: its tool bars.
constexpr int kToolBarsHeight = 120;

void PlaceFirstTime(QWidget* main, QWidget* props) {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const int propsWidth = std::clamp(area.width() / 5, 240, 340);
  // A wide screen holds both side by side; a narrow one keeps most of it for the design
  // surface and lays the properties window over the right edge, below the tool bars.
  const bool sideBySide = area.width() - propsWidth - kGap >= 960;
  const int mainWidth = sideBySide ? area.width() - propsWidth - kGap : area.width() * 9 / 10;
  const int mainHeight = area.height() * 9 / 10;
  main->resize(mainWidth, mainHeight);
  main->move(area.topLeft());
  const int propsHeight = std::min(area.height() * 7 / 10, 720);
  if (sideBySide)
    props->setGeometry(area.left() + mainWidth + kGap, area.top() + kToolBarsHeight / 2, propsWidth, propsHeight);
  else
    props->setGeometry(area.right() - propsWidth, area.top() + kToolBarsHeight, propsWidth, propsHeight);
}

}  // namespace

QString WindowPlacesFile() {
  QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (config.isEmpty()) config = QDir::homePath() + "/.config";
  return config + "/report-designer/windows.ini";
}

void RestoreWindowPlaces(QWidget* main, QWidget* props, const QString& file) {
  QSettings settings(file, QSettings::IniFormat);
  const QByteArray mainPlace = settings.value("main/geometry").toByteArray();
  const QByteArray propsPlace = settings.value("properties/geometry").toByteArray();
  // The toolkit keeps a restored window on a screen that is there now.
  if (mainPlace.isEmpty() || propsPlace.isEmpty() || !main->restoreGeometry(mainPlace) ||
      !props->restoreGeometry(propsPlace))
    PlaceFirstTime(main, props);
}

void SaveWindowPlaces(const QWidget* main, const QWidget* props, const QString& file) {
  QSettings settings(file, QSettings::IniFormat);
  settings.setValue("main/geometry", main->saveGeometry());
  settings.setValue("properties/geometry", props->saveGeometry());
  settings.sync();
}

}  // namespace rpt
