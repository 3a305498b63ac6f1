#include "tools/rpttool/Output.h"

#include <cstdio>
#include <cstdlib>

#include "objects/Exceptions.h"

namespace rpttool {

void Print(const std::string& text) {
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    throw rpt::Exception("Cannot write standard output");
}

std::unique_ptr<QGuiApplication> GuiApplication() {
  if (QCoreApplication::instance()) return nullptr;
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static int argc = 1;
  static char name[] = "rpttool";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace rpttool
