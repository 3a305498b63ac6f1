#pragma once
// The program's start-up and shut-down, shared by the entry point and the developer
// tools that drive the real windows.
#include "framework/Application.h"

namespace rpt {

// After the application object exists: the title, the classes a report file may name,
// the single-instance windows in their fixed order, the main window and the properties
// window shown, the main window active.
void StartProgram(TApplication& app);
// Once the event loop has ended: the single-instance windows go, last created first.
void EndProgram();

}  // namespace rpt
