#include <gtest/gtest.h>

#include <QFile>

#include "core/registry_reader.h"
#include "support/test_context.h"

namespace sw {

namespace {

struct RegistryReaderTest : ::testing::Test {
  void SetUp() override {
    saved = qgetenv("STACKWRIGHT_REGISTRY");
    qputenv("STACKWRIGHT_REGISTRY", (cx.dir.path() + "/registry.ini").toLocal8Bit());
    QFile f(cx.dir.path() + "/registry.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "[HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS]\n"
        "CurrentVersion=5.3.1\n"
        "PatchLevel=dword:0000000a\n"
        "[HKEY_LOCAL_MACHINE]\n"
        "RootValue=at the root\n");
  }
  void TearDown() override { qputenv("STACKWRIGHT_REGISTRY", saved); }
  QVariant Read(const QString& path) { return GetRegistryValue(cx, path); }
  test::TestContext<> cx;
  QByteArray saved;
};

}  // namespace

TEST_F(RegistryReaderTest, ReadsTextAndNumbersInAnyCase) {
  EXPECT_EQ(Read("HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion").toString(), "5.3.1");
  EXPECT_EQ(Read("hkey_local_machine\\software\\HUMMINGBIRD\\powerdocs\\currentversion").toString(), "5.3.1");
  EXPECT_EQ(Read("HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\PatchLevel").toLongLong(), 10);
  EXPECT_EQ(Read("HKEY_LOCAL_MACHINE\\RootValue").toString(), "at the root");
}

TEST_F(RegistryReaderTest, FailuresGiveEmpty) {
  for (const char* path : {"HKEY_LOCAL_MACHINE", "HKLM\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion",
                           "HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\Missing",
                           "HKEY_LOCAL_MACHINE\\Software\\Nobody\\CurrentVersion",
                           "HKEY_USERS\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion", ""}) {
    EXPECT_FALSE(Read(path).isValid()) << path;
    EXPECT_TRUE(Read(path).toString().isEmpty()) << path;
  }
  qputenv("STACKWRIGHT_REGISTRY", (cx.dir.path() + "/absent.ini").toLocal8Bit());
  EXPECT_FALSE(Read("HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS\\CurrentVersion").isValid());
}

}  // namespace sw
