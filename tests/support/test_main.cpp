// One test main for every test program. The per-user settings of the tests go to a temporary
// configuration folder, never the user's own.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QTemporaryDir config;
  qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
