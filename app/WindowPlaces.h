#pragma once
// Where the main window and the properties window open: where the user left them last
// time, else a first layout that fits the screen, the properties window beside the main
// window rather than over its tool bars.
#include <QString>

class QWidget;

namespace rpt {

// The file the places are kept in: report-designer/windows.ini in the user's
// configuration folder ($XDG_CONFIG_HOME, else ~/.config).
QString WindowPlacesFile();

// Places both windows from the file, or by the first layout when the file has no place
// for them (or cannot be read). Call before the windows are shown.
void RestoreWindowPlaces(QWidget* main, QWidget* props, const QString& file);
// Keeps both windows' places; a file that cannot be written is left alone.
void SaveWindowPlaces(const QWidget* main, const QWidget* props, const QString& file);

}  // namespace rpt
