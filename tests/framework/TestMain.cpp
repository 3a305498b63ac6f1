// The tests drive real widgets: one application object for the whole run.
#include <gtest/gtest.h>

#include "framework/Application.h"

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  // Also when the build lists the tests: no display is needed.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  rpt::TApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
