// One test main for every test program: a QApplication is made once (offscreen in CI), as the
// widget tests need it and the rest do not mind.
#include <gtest/gtest.h>

#include <QCoreApplication>

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  QCoreApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
