#include <gtest/gtest.h>

#include "support/test_context.h"

namespace sw {

TEST(Context, TestContextLogsToItsOwnFolderWithAScriptedUi) {
  test::TestContext<> cx;
  ASSERT_NE(cx.scripted, nullptr);
  EXPECT_EQ(cx.ui.get(), cx.scripted);
  EXPECT_TRUE(cx.log.LogFileBase.startsWith(cx.dir.path()));
  EXPECT_EQ(cx.app.AppTitle, ProductName);
}

}  // namespace sw
