#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "platform/registry/registry_key.h"

namespace sw {

namespace {

struct RegistryKeyTest : ::testing::Test {
  void SetUp() override {
    savedRegistry = qgetenv("STACKWRIGHT_REGISTRY");
    savedServer = qgetenv("STACKWRIGHT_DM_SERVER");
    savedData = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toLocal8Bit());
    qunsetenv("STACKWRIGHT_REGISTRY");
    qputenv("STACKWRIGHT_DM_SERVER", dir.path().toLocal8Bit());
    QFile f(dir.path() + "/registry.ini");
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(
        "; the machine's registry\n"
        "[hkey_local_machine\\Software\\Hummingbird\\PowerDOCS]\n"
        "CurrentVersion = 5.3.1\n"
        "PatchLevel=dword:0000000a\n"
        "Quoted=\" padded \"\n"
        "Path=C:\\Program Files\\DM=x\n");
  }
  void TearDown() override {
    qputenv("STACKWRIGHT_REGISTRY", savedRegistry);
    qputenv("STACKWRIGHT_DM_SERVER", savedServer);
    qputenv("XDG_DATA_HOME", savedData);
  }
  QTemporaryDir dir;
  QByteArray savedRegistry, savedServer, savedData;
};

}  // namespace

TEST_F(RegistryKeyTest, KeysAreFoundCaseBlindInTheServerFolderFile) {
  RegistryKey root;
  EXPECT_FALSE(root.OpenRoot(6, ""));
  ASSERT_TRUE(root.OpenRoot(4, ""));
  auto software = root.OpenSubKey("SOFTWARE");  // exists because a key below it does
  ASSERT_TRUE(software);
  EXPECT_FALSE(software->OpenSubKey("Humming"));
  auto docs = software->OpenSubKey("hummingbird\\powerdocs");
  ASSERT_TRUE(docs);
  EXPECT_EQ(docs->ReadValue("currentversion").toString(), "5.3.1");
  EXPECT_FALSE(software->ReadValue("CurrentVersion").isValid());
  EXPECT_FALSE(root.OpenRoot(4, "Software\\Nobody"));
}

TEST_F(RegistryKeyTest, ValueForms) {
  RegistryKey key;
  ASSERT_TRUE(key.OpenRoot(4, "Software\\Hummingbird\\PowerDOCS"));
  EXPECT_EQ(key.ReadValue("PatchLevel").typeId(), QMetaType::LongLong);
  EXPECT_EQ(key.ReadValue("PatchLevel").toLongLong(), 10);
  EXPECT_EQ(key.ReadValue("Quoted").toString(), " padded ");
  EXPECT_EQ(key.ReadValue("Path").toString(), "C:\\Program Files\\DM=x");
  EXPECT_FALSE(key.ReadValue("Absent").isValid());
  // No server named: the default demo server's file; while there is none, keys are missing.
  qunsetenv("STACKWRIGHT_DM_SERVER");
  EXPECT_FALSE(key.OpenRoot(4, "Software\\Hummingbird\\PowerDOCS"));
  const QString demo = dir.path() + "/data/stackwright/demo-server";
  ASSERT_TRUE(QDir().mkpath(demo));
  ASSERT_TRUE(QFile::copy(dir.path() + "/registry.ini", demo + "/registry.ini"));
  ASSERT_TRUE(key.OpenRoot(4, "Software\\Hummingbird\\PowerDOCS"));
  EXPECT_EQ(key.ReadValue("CurrentVersion").toString(), "5.3.1");
}

}  // namespace sw
