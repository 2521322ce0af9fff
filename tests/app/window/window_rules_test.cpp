#include <gtest/gtest.h>

#include "app/window/window_rules.h"

namespace sw {

TEST(ResultsFont, PlusAndMinusStepWithinTheirBounds) {
  double size = 8.25;
  std::vector<double> grown;
  for (int i = 0; i < 5; ++i) grown.push_back(size = NextResultsFontSize(size, '+'));
  EXPECT_EQ(grown, (std::vector<double>{10.25, 12.25, 14.25, 16.25, 16.25}));
  size = NextResultsFontSize(8.25, '-');
  EXPECT_DOUBLE_EQ(size, 6.25);
  EXPECT_DOUBLE_EQ(NextResultsFontSize(size, '-'), 6.25);
  EXPECT_DOUBLE_EQ(NextResultsFontSize(16.0, '+'), 18.0);  // 16 itself may still grow
  EXPECT_DOUBLE_EQ(NextResultsFontSize(8.0, '-'), 6.0);
  EXPECT_DOUBLE_EQ(NextResultsFontSize(8.25, 'a'), 8.25);
}

TEST(KeyCodes, MapQtKeysToTheHandlersCodes) {
  EXPECT_EQ(VbKeyCode(Qt::Key_Insert), 45);
  EXPECT_EQ(VbKeyCode(Qt::Key_F5), 116);
  EXPECT_EQ(VbKeyCode(Qt::Key_Escape), 27);
  EXPECT_EQ(VbKeyCode(Qt::Key_Enter), 13);
  EXPECT_EQ(VbKeyCode(Qt::Key_Q), 81);
  EXPECT_EQ(VbKeyCode(Qt::Key_unknown), 0);
  EXPECT_EQ(VbShiftState(Qt::ShiftModifier), 1);
  EXPECT_EQ(VbShiftState(Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier), 7);
  EXPECT_EQ(VbShiftState(Qt::KeypadModifier), 0);
  EXPECT_EQ(VbMouseButton(Qt::RightButton), 2);
}

}  // namespace sw
