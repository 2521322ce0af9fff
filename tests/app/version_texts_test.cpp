#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/saved_settings.h"
#include "app/version_texts.h"
#include "app_session.h"

namespace sw {
namespace {

TEST(BuildTexts, VersionNumbersAreTheBuildDate) {
  const ProgramVersion v{2020, 8, 5};
  EXPECT_EQ(BuildDateText(v), "Aug 5, 2020");
  EXPECT_EQ(BuildNumber(v), "44048");
  EXPECT_EQ(BuildNumber({1899, 12, 31}), "1");
  EXPECT_EQ(BuildLine("44048", "Aug 5, 2020"), "Build 44048 - Aug 5, 2020");
}

TEST(BuildTexts, NumbersThatMakeNoDateGiveNoDateText) {
  EXPECT_EQ(BuildDateText({0, 1, 0}), "");
  EXPECT_EQ(BuildNumber({2020, 13, 1}), "0");
}

TEST(DmVersionLine, EmptyPartsGiveNoLine) { EXPECT_EQ(DmVersionText("", ""), ""); }

TEST(DmVersionLine, PatchLevelAloneStillMakesALine) {
  EXPECT_EQ(DmVersionText("", "6"), "\r\n(eDOCS  build 6)");
  EXPECT_EQ(DmVersionText("5.3.1", ""), "\r\n(eDOCS 5.3.1)");
}

TEST(DmVersionLine, ReleaseIsCutOutWithTheBlanksBesideIt) {
  EXPECT_EQ(DmVersionText("5.3.1 (Release)", "6"), "\r\n(eDOCS 5.3.1build 6)");
  EXPECT_EQ(DmVersionText("5.3.1 (Release)", ""), "\r\n(eDOCS 5.3.1)");
  EXPECT_EQ(DmVersionText("5.3.1 (release)", ""), "\r\n(eDOCS 5.3.1 (release))");  // case counts
}

TEST(DmClientVersionRead, FallsBackToTheExtensionsApiKey) {
  QTemporaryDir dir;
  QFile file(dir.path() + "/registry.ini");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\Hummingbird DM Extensions API]\n"
             "CurrentVersion=5.2\nPatchLevel=dword:0000000a\n"
             "[HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS]\nPatchLevel=3\n");
  file.close();
  test::ScopedEnv registry("STACKWRIGHT_REGISTRY", file.fileName());
  test::TestContext<> cx;
  const DmClientVersion v = ReadDmClientVersion(cx);
  EXPECT_EQ(v.version, "5.2");
  EXPECT_EQ(v.patchLevel, "3");
}

TEST(SettingForms, NumbersChecksAndKeys) {
  EXPECT_EQ(WholeNumberText("abc"), "0");
  EXPECT_EQ(WholeNumberText("-7.6"), "-8");
  EXPECT_EQ(AbsoluteNumberText("-15"), "15");
  bool valid = false;
  EXPECT_EQ(CheckBoxValue("1", &valid), 1);
  EXPECT_TRUE(valid);
  EXPECT_EQ(CheckBoxValue("-1", &valid), 1);  // the store's own true
  EXPECT_TRUE(valid);
  CheckBoxValue("3", &valid);
  EXPECT_FALSE(valid);
  CheckBoxValue("-2", &valid);
  EXPECT_FALSE(valid);
  EXPECT_TRUE(ReadsAsTrue("-1"));
  EXPECT_FALSE(ReadsAsTrue("abc"));
  EXPECT_EQ(RuleStateKey(" Main ", "client matter "), "MAIN:CLIENT MATTER");
}

}  // namespace
}  // namespace sw
