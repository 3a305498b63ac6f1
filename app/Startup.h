#pragma once
// The program's start-up and shut-down, shared by the entry point and the developer
// tools that drive the real windows.
#include <string>
#include <vector>

#include "framework/Application.h"

namespace rpt {

// After the application object exists: the title, the classes a report file may name,
// the single-instance windows in their fixed order, the main window and the properties
// window shown, the main window active; then the report files given open. With a places
// file the two windows open where they were left (or fit the screen the first time) and
// EndProgram keeps their places there; without one they open at their built-in places.
void StartProgram(TApplication& app, const std::vector<std::string>& files = {}, const QString& placesFile = {});
// Opens report files in document windows; each one that fails is reported through the
// application's error handler and the others still open.
void OpenFiles(const std::vector<std::string>& files);
// Once the event loop has ended: the single-instance windows go, last created first.
void EndProgram();

}  // namespace rpt
