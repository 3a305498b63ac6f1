#pragma once
// What every rpttool command shares: writing to standard output, and the GUI
// application object that text measuring and painting need.
#include <QGuiApplication>
#include <memory>
#include <string>

namespace rpttool {

// Writes text to standard output and flushes it; fails when the output cannot take it
// (a closed pipe, a full disk).
void Print(const std::string& text);

// A GUI application for the command's run (off screen without a display), or none when
// one exists already. Held by the command and destroyed with it.
std::unique_ptr<QGuiApplication> GuiApplication();

}  // namespace rpttool
