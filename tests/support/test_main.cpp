// One test main for every test program, with the one QApplication the widget tests need. The per-user settings and the monitor bus of the tests
// live in temporary folders, never the user's own.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  // Keeps the tests' monitor messages off the user's own message bus.
  QTemporaryDir bus;
  qputenv("STACKWRIGHT_MONITOR_BUS", bus.path().toLocal8Bit());
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("STACKWRIGHT_DM_TOOL")) qputenv("STACKWRIGHT_DM_TOOL", SW_DM_TOOL_PATH);
  QApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
