#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cstdio>

#include "platform/settings/settings_store.h"

namespace sw {

namespace {

struct SettingsTest : ::testing::Test {
  void SetUp() override {
    saved = {qgetenv("XDG_CONFIG_HOME"), qgetenv("TMPDIR")};
    qputenv("XDG_CONFIG_HOME", dir.path().toLocal8Bit());
    qputenv("TMPDIR", temp.path().toLocal8Bit());
  }
  void TearDown() override { qputenv("XDG_CONFIG_HOME", saved[0]); qputenv("TMPDIR", saved[1]); }
  QString Get(const QString& section, const QString& key) { return store.GetSetting(app, section, key, "default"); }
  QTemporaryDir dir, temp;
  QByteArrayList saved;
  SettingsStore store;
  const QString app = QStringLiteral("Quillmark Stackwright for OpenText eDOCS");
};

}  // namespace

TEST_F(SettingsTest, TextRoundTripsAndMissingValuesGiveTheDefault) {
  EXPECT_EQ(Get("General", "LogFile"), "default");
  store.SaveSetting(app, "General", "LogFile", "/var/log/x y/run.LOG");
  store.SaveSetting(app, "General", "List", "a, b,c");
  store.SaveSetting(app, "General", "Odd", "@Variant(x) \"q\" ; # = [s]");
  store.SaveSetting(app, "General", "Empty", "");
  EXPECT_EQ(Get("General", "LogFile"), "/var/log/x y/run.LOG");
  EXPECT_EQ(Get("General", "List"), "a, b,c");
  EXPECT_EQ(Get("General", "Odd"), "@Variant(x) \"q\" ; # = [s]");
  EXPECT_EQ(Get("General", "Empty"), "");
  EXPECT_EQ(Get("Rules", "LogFile"), "default");
  EXPECT_EQ(store.GetSetting("Another App", "General", "LogFile", "d"), "d");
}

TEST_F(SettingsTest, NamesCompareWithoutRegardToCaseAndKeepTheFirstSpelling) {
  store.SaveSetting(app, "General", "LogFile", "first");
  EXPECT_EQ(Get("general", "logfile"), "first");
  EXPECT_EQ(store.GetSetting(app.toUpper(), "GENERAL", "LOGFILE"), "first");
  store.SaveSetting(app, "GENERAL", "logFILE", "second");
  EXPECT_EQ(Get("General", "LogFile"), "second");
  QFile f(SettingsStore::SettingsFile(app));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  const QByteArray text = f.readAll();
  EXPECT_EQ(text.count("second"), 1);
  EXPECT_TRUE(text.contains("LogFile=second"));
}

TEST_F(SettingsTest, NamesMayHoldBlanksSlashesAndBackslashes) {
  store.SaveSetting(app, "LAW LIB", "UniqueNameWarning", "1");
  store.SaveSetting(app, "A/B", "UniqueNameWarning", "2");
  store.SaveSetting(app, "A\\B", "UniqueNameWarning", "3");
  store.SaveSetting(app, "A", "B/UniqueNameWarning", "4");
  store.SaveSetting(app, QStringLiteral("\uFEFFA"), "UniqueNameWarning", "5");  // not "A"
  EXPECT_EQ(Get("law lib", "uniquenamewarning"), "1");
  EXPECT_EQ(Get("a/b", "UniqueNameWarning"), "2");
  EXPECT_EQ(Get("a\\b", "UniqueNameWarning"), "3");
  EXPECT_EQ(Get("A", "B/UniqueNameWarning"), "4");
  EXPECT_EQ(Get(QStringLiteral("\uFEFFA"), "UniqueNameWarning"), "5");
  EXPECT_EQ(Get("A", "UniqueNameWarning"), "default");
  // An application name cannot lead its file out of the configuration folder.
  EXPECT_EQ(QFileInfo(SettingsStore::SettingsFile("../../etc/x")).absolutePath(), dir.path());
}

// "[General]" is what a person writes by hand; the store itself keeps the section as "[%General]".
TEST_F(SettingsTest, AHandEditUnderGeneralIsReadAndTheNextSaveTakesItOver) {
  store.SaveSetting(app, "General", "Loop", "1");
  store.SaveSetting(app, "General", "LogFile", "kept");
  QFile f(SettingsStore::SettingsFile(app));
  ASSERT_TRUE(f.open(QIODevice::Append));
  f.write("[General]\nLoop=0\nMaxFolders=25\n");
  f.close();
  EXPECT_EQ(Get("general", "loop"), "0");
  EXPECT_EQ(Get("General", "MaxFolders"), "25");
  EXPECT_EQ(Get("General", "LogFile"), "kept");
  EXPECT_EQ(Get("Rules", "Loop"), "default");
  store.SaveSetting(app, "General", "Loop", "1");
  EXPECT_EQ(Get("General", "Loop"), "1");
  store.DeleteSetting(app, "General", "MaxFolders");
  EXPECT_EQ(Get("General", "MaxFolders"), "default");
}

// The orderly end saves its values together: one write of the file, none when nothing changed.
TEST_F(SettingsTest, SeveralValuesSaveTogetherAndUnchangedOnesLeaveTheFileAlone) {
  store.SaveSetting(app, "General", "Keep", "k");
  QFile f(SettingsStore::SettingsFile(app));
  ASSERT_TRUE(f.open(QIODevice::Append));
  f.write("[General]\nLoop=0\n");
  f.close();
  EXPECT_FALSE(store.SaveSettings(app, {{"General", "Loop", "1"}, {"Rules", "", "1"}, {"LAW LIB", "A/B", "2"}}));
  EXPECT_EQ(Get("General", "Loop"), "1");
  EXPECT_EQ(Get("law lib", "a/b"), "2");
  EXPECT_EQ(Get("General", "Keep"), "k");
  const auto inode = [&] {
    struct stat st {};
    return ::stat(QFile::encodeName(f.fileName()).constData(), &st) == 0 ? st.st_ino : 0;
  };
  const auto before = inode();
  EXPECT_TRUE(store.SaveSettings(app, {{"GENERAL", "loop", "1"}, {"General", "Keep", "k"}}));
  EXPECT_EQ(inode(), before);
  EXPECT_TRUE(store.SaveSettings(app, {{"General", "Keep", "changed"}}));
  EXPECT_NE(inode(), before);
  EXPECT_EQ(Get("General", "Keep"), "changed");
}

TEST_F(SettingsTest, DuringARunAnEditOnDiskShowsFromTheNextCycle) {
  store.SaveSetting(app, "General", "Keep", "k");
  store.LookAtDiskOncePerCycle(true);
  EXPECT_EQ(Get("LAWLIB", "UniqueNameWarning"), "default");
  const auto edit = [&](const char* text) {
    QFile f(SettingsStore::SettingsFile(app));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(text);
  };
  store.SaveSetting(app, "General", "Keep", "own");
  EXPECT_EQ(Get("General", "Keep"), "own");
  edit("[LAWLIB]\nUniqueNameWarning=-1\n");
  EXPECT_EQ(Get("LAWLIB", "UniqueNameWarning"), "default");
  store.NewCycle();
  EXPECT_EQ(Get("LAWLIB", "UniqueNameWarning"), "-1");
  store.LookAtDiskOncePerCycle(false);
  edit("[ORALIB]\nUniqueNameWarning=-1\n");
  EXPECT_EQ(Get("ORALIB", "UniqueNameWarning"), "-1");
}

TEST_F(SettingsTest, AFileReplacedWithOneOfTheSameSizeAndTimeIsReadAnew) {
  store.SaveSetting(app, "General", "Keep", "aaaa");
  EXPECT_EQ(Get("General", "Keep"), "aaaa");
  const QByteArray path = QFile::encodeName(SettingsStore::SettingsFile(app)), next = path + ".new";
  struct stat old {};
  QFile in(path), out(next);
  ASSERT_TRUE(::stat(path, &old) == 0 && in.open(QIODevice::ReadOnly) && out.open(QIODevice::WriteOnly));
  out.write(in.readAll().replace("aaaa", "bbbb"));
  out.close();
  // Another program's file in place of the old one, of its size and to the nanosecond its time.
  const struct timespec times[2] = {old.st_atim, old.st_mtim};
  ASSERT_TRUE(::utimensat(AT_FDCWD, next, times, 0) == 0 && ::rename(next, path) == 0);
  EXPECT_EQ(Get("General", "Keep"), "bbbb");
  store.SaveSetting(app, "General", "Other", "o");
  EXPECT_EQ(SettingsStore().GetSetting(app, "General", "Keep"), "bbbb");
  // Read before its folder is there, the file is read and written all the same.
  qputenv("XDG_CONFIG_HOME", (dir.path() + "/new").toLocal8Bit());
  EXPECT_EQ(Get("General", "Keep"), "default");
  EXPECT_TRUE(store.SaveSetting(app, "General", "Keep", "cccc"));
  EXPECT_EQ(SettingsStore().GetSetting(app, "General", "Keep"), "cccc");
}

// The store's folder of links goes when it is closed; that of a process that has ended, and the
// copies of an earlier version, go when a store makes its own.
TEST_F(SettingsTest, NothingIsLeftBesideTheFileAndAFolderOfAnEndedProcessGoes) {
  const QString living = "stackwright-settings-" + QString::number(::getpid()) + "-bbbbbb";
  QDir(temp.path()).mkpath(living);
  QDir(temp.path()).mkpath("stackwright-settings-2147483647-aaaaaa/1.ini");
  QDir(dir.path()).mkpath(".settings-copies-AbC123/1.ini");
  store.SaveSetting(app, "General", "Keep", "k");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 1);
  EXPECT_EQ(QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);  // the store's own too
  store.Close();
  EXPECT_EQ(QDir(temp.path()).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{living});
}

TEST_F(SettingsTest, DeleteAKeyOrAWholeSection) {
  store.SaveSetting(app, "General", "CacheMethodWarning", "1");
  store.SaveSetting(app, "General", "Keep", "k");
  store.SaveSetting(app, "Rules", "R1", "1");
  store.DeleteSetting(app, "general", "cachemethodwarning");
  EXPECT_EQ(Get("General", "CacheMethodWarning"), "default");
  store.DeleteSetting(app, "RULES");
  EXPECT_EQ(Get("Rules", "R1"), "default");
  store.DeleteSetting(app, "Nowhere", "x");
  EXPECT_EQ(Get("General", "Keep"), "k");
}

}  // namespace sw
