#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "core/log.h"
#include "support/test_context.h"

namespace sw {

namespace {

const QString Stamp = QStringLiteral("2026-12-07 22:40:50.37 ");

struct LogTest : ::testing::Test {
  LogTest() {
    cx.log.Now = [this] { return now; };
    cx.ui->controls.timeStampLogFile = false;
  }
  QString Read(const QString& path) const {
    cx.log.file.Flush();
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(f.readAll()) : QString();
  }
  QString File() const { return cx.dir.path() + "/test_20261207.log"; }
  QString Written() const { return Read(File()); }
  test::TestContext<> cx;
  QDateTime now{QDate(2026, 12, 7), QTime(22, 40, 50, 370)};
};

}  // namespace

TEST(LogNames, DateGoesBeforeTheLastDotOfTheFileNameOnly) {
  const QDate day(2026, 12, 7);
  EXPECT_EQ(DatedLogFileName("/tmp/a.b.LOG", day), "/tmp/a.b_20261207.LOG");
  EXPECT_EQ(DatedLogFileName("/var/logs/run", day), "/var/logs/run_20261207.txt");
  EXPECT_EQ(DatedLogFileName("/srv/my.logs/run", day), "/srv/my.logs/run_20261207.txt");
  EXPECT_EQ(DatedLogFileName("C:\\my.logs\\run", day), "C:\\my.logs\\run_20261207.txt");
  EXPECT_EQ(DatedLogFileName("C:\\Temp\\Build.LOG", day), "C:\\Temp\\Build_20261207.LOG");
}

// The moment is rounded as a whole: a rounding up carries into the second, and on into the date.
TEST(LogNames, StampIsTheMomentRoundedToHundredths) {
  EXPECT_EQ(LogStamp(QDateTime(QDate(2026, 12, 7), QTime(22, 40, 50, 370))), Stamp);
  EXPECT_EQ(LogStamp(QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 85))), "2026-01-02 03:04:05.09 ");
  EXPECT_EQ(LogStamp(QDateTime(QDate(2026, 1, 2), QTime(14, 38, 57, 994))), "2026-01-02 14:38:57.99 ");
  EXPECT_EQ(LogStamp(QDateTime(QDate(2026, 1, 2), QTime(14, 38, 57, 996))), "2026-01-02 14:38:58.00 ");
  EXPECT_EQ(LogStamp(QDateTime(QDate(2026, 12, 31), QTime(23, 59, 59, 996))), "2027-01-01 00:00:00.00 ");
}

TEST_F(LogTest, AFileThatCannotBeWrittenSaysWhy) {
  ASSERT_TRUE(QDir().mkpath(File()));
  QString reason;
  EXPECT_FALSE(LogFileWritable(File(), &reason));
  EXPECT_EQ(reason, "a folder of that name is in its place");
  EXPECT_FALSE(LogFileWritable(cx.dir.path() + "/absent/run.log", &reason));
  EXPECT_EQ(reason, "its folder " + cx.dir.path() + "/absent does not exist");
  EXPECT_TRUE(LogFileWritable(cx.dir.path() + "/new.log", &reason));
  EXPECT_EQ(reason, "");
}

TEST_F(LogTest, VerboseOffWritesOnlyErrorsAndWarnings) {
  cx.ui->controls.verboseLogging = false;
  for (const char* text : {"Notice: skipped", "Note: skipped", "error: lower case", "WARNING: upper case",
                           "Errors are not labels", "WARNING missing colon"})
    LogMessage(cx, text);
  EXPECT_EQ(Written(), "error: " + Stamp + " lower case\r\nWARNING: " + Stamp + " upper case\r\n");
}

TEST_F(LogTest, StampPlacementFollowsTheTimestampItem) {
  LogMessage(cx, "Error:Disk full");
  LogMessage(cx, "Error:   Disk full   ");
  LogMessage(cx, "Warning: Table missing");
  LogMessage(cx, "  Progress  ");
  cx.ui->controls.timeStampLogFile = true;
  LogMessage(cx, "Error: first");
  LogMessage(cx, "Step");
  EXPECT_EQ(Written(), "Error: " + Stamp + " Disk full\r\nError: " + Stamp + " Disk full\r\nWarning: " + Stamp +
                           " Table missing\r\nProgress\r\n" + Stamp + " Error: first\r\n" + Stamp + " Step\r\n");
}

TEST_F(LogTest, RepeatFilter) {
  for (const char* text : {"Working", "  Working ", "working", "Other", "Working", "   ", ""}) LogMessage(cx, text);
  // An error is kept with its stamp, so its repeat differs and is written again...
  LogMessage(cx, "Error: again");
  LogMessage(cx, "Error: again");
  // ...unless every line is stamped; a filtered text also counts as the previous entry.
  cx.ui->controls.timeStampLogFile = true;
  LogMessage(cx, "Error: once");
  LogMessage(cx, "Error: once");
  cx.ui->controls.verboseLogging = false;
  LogMessage(cx, "Quiet");
  cx.ui->controls.verboseLogging = true;
  LogMessage(cx, "Quiet");
  EXPECT_EQ(Written(), "Working\r\nworking\r\nOther\r\nWorking\r\nError: " + Stamp + " again\r\nError: " + Stamp +
                           " again\r\n" + Stamp + " Error: once\r\n");
  EXPECT_EQ(cx.log.LastLogMessage, "Quiet");
  // An entry left uncomposed comes between two repeats as the entry would.
  const qsizetype before = Written().size();
  LogMessage(cx, "Error: once");
  LogUnwrittenEntry(cx);
  LogMessage(cx, "Error: once");
  EXPECT_EQ(Written().mid(before), Stamp + " Error: once\r\n" + Stamp + " Error: once\r\n");
}

TEST_F(LogTest, DottedFolderReceivesEveryEntryAndMenusFollowTheFile) {
  const QString folder = cx.dir.path() + "/my.logs";
  ASSERT_TRUE(QDir().mkpath(folder));
  cx.log.LogFileBase = folder + "/run";
  // Before a non-verbose run writes a line, today's file of an earlier run can be viewed.
  QFile earlier(folder + "/run_20261207.txt");
  ASSERT_TRUE(earlier.open(QIODevice::WriteOnly));
  cx.ui->controls.verboseLogging = false;
  LogMessage(cx, "quiet");
  EXPECT_TRUE(cx.ui->controls.logMenusEnabled);
  cx.ui->controls.verboseLogging = true;
  LogMessage(cx, "one");
  LogMessage(cx, "Error: two");
  EXPECT_EQ(cx.log.DatedLogFile, folder + "/run_20261207.txt");
  EXPECT_EQ(Read(cx.log.DatedLogFile), "one\r\nError: " + Stamp + " two\r\n");
  EXPECT_TRUE(cx.ui->controls.logMenusEnabled);
  // Blanks only are not an entry: the menus are not touched either.
  cx.ui->controls.logMenusEnabled = false;
  LogMessage(cx, "   ");
  EXPECT_FALSE(cx.ui->controls.logMenusEnabled);
  // A folder that does not exist loses the entry silently; the menus go off.
  cx.log.LogFileBase = cx.dir.path() + "/absent/run.log";
  LogMessage(cx, "Error: lost");
  EXPECT_FALSE(QFileInfo::exists(cx.dir.path() + "/absent"));
  EXPECT_FALSE(cx.ui->controls.logMenusEnabled);
}

TEST_F(LogTest, EntriesAroundMidnightGoToTwoFiles) {
  now = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 900));
  LogMessage(cx, "before");
  // Its stamp rounds into the next day, and so does its file.
  now = QDateTime(QDate(2026, 12, 7), QTime(23, 59, 59, 996));
  LogMessage(cx, "Error: rounded");
  now = QDateTime(QDate(2026, 12, 8), QTime(0, 0, 0, 100));
  LogMessage(cx, "after");
  EXPECT_EQ(Written(), "before\r\n");
  EXPECT_EQ(Read(cx.dir.path() + "/test_20261208.log"), "Error: 2026-12-08 00:00:00.00  rounded\r\nafter\r\n");
}

TEST_F(LogTest, AFileMovedOrDeletedDuringTheRunIsMadeAfreshAtTheNextLook) {
  LogMessage(cx, "one");
  ASSERT_TRUE(QFile::rename(File(), File() + ".moved"));
  now = now.addSecs(2);
  LogMessage(cx, "two");
  ASSERT_TRUE(QFile::remove(File()));
  now = now.addSecs(2);
  LogMessage(cx, "three");
  EXPECT_EQ(Read(File() + ".moved"), "one\r\n");
  EXPECT_EQ(Written(), "three\r\n");
  EXPECT_TRUE(cx.ui->controls.logMenusEnabled);
}

// A block no log can take (a full disk) is said lost, once for a run of losses; the next fallback
// log that takes one has the rest and says where it goes on from.
TEST_F(LogTest, ABlockNoLogCanTakeIsSaidLostAndTheNextFallbackThatCanHasTheRest) {
  const QString spare = cx.dir.path() + "/spare_20261207.log", why = " cannot be written (No space left on device)";
  cx.log.FallbackLogBases = {cx.dir.path() + "/spare.log"};
  ASSERT_TRUE(QFile::link("/dev/full", File()) && QFile::link("/dev/full", spare));
  testing::internal::CaptureStderr();
  for (const char* text : {"Error: one", "two"}) {
    LogMessage(cx, text);
    FlushLog(cx);
    FlushLog(cx);  // with nothing kept back: the run of losses goes on
  }
  EXPECT_EQ(cx.log.LinesLost, 2);
  EXPECT_EQ(QString::fromStdString(testing::internal::GetCapturedStderr()),
            "Error: the log file " + File() + why + " and no other log folder can take its lines: they are lost\n");
  ASSERT_TRUE(QFile::remove(spare));
  LogMessage(cx, "three");
  FlushLog(cx);
  EXPECT_EQ(Read(spare), "three\r\nWarning: " + Stamp + " the log file " + File() + why + " - the log goes on in " + spare +
                             "\r\n" + HyphenLine + "\r\n");
}

// The log in the last fallback folder (the /tmp default saved as LogFile), that folder full.
TEST_F(LogTest, ALogInTheLastFallbackFolderGoesOnInTheFirst) {
  cx.log.FallbackLogBases = {cx.dir.path() + "/temp.log", cx.log.LogFileBase};
  ASSERT_TRUE(QFile::link("/dev/full", File()));
  LogMessage(cx, "one");
  FlushLog(cx);
  EXPECT_TRUE(Read(cx.dir.path() + "/temp_20261207.log").startsWith("one\r\nWarning: "));
}

TEST_F(LogTest, ErrorReportLines) {
  ReportError(cx, 5, "DMMain", "Invalid procedure call");
  ReportError(cx, 0, "ignored", "ignored");
  cx.ui->controls.timeStampLogFile = true;
  ReportError(cx, 0x80010105LL, "DOCSObjects", "Server threw an exception");
  const QString hyphens(70, '-');
  EXPECT_EQ(Written(), "Error: " + Stamp + " #5 was generated by DMMain\r\nInvalid procedure call\r\n" + hyphens +
                           "\r\nError: " + Stamp + " An unknown error occurred during this task!\r\n" + hyphens +
                           "\r\n" + Stamp + " Error: #2147549445 was generated by DOCSObjects\r\n" +
                           "Server threw an exception\r\n" + Stamp + " " + hyphens + "\r\n");
}

// The lines of one unit of work tell one failure, each line once, of the subject the unit names.
TEST_F(LogTest, FailuresOfAUnitOfWorkCountOnceAndNameTheirSubject) {
  {
    const OneFailure unit(cx, "ORALIB");
    LogFailure(cx, "SQL Error #1 (gone)");
    LogMessage(cx, "Rolled back");
    LogFailure(cx, "SQL Error #1 (gone)");
    LogMessage(cx, "Error: unit");
  }
  const FailureSubject rule(cx, "LAWLIB", "CLIENT MATTERS");
  LogMessage(cx, "Error: one");
  EXPECT_EQ(cx.log.ErrorsLogged, 2);
  EXPECT_EQ(Written().count("SQL Error #1 (gone)"), 1);
  EXPECT_EQ(cx.log.FailedSubjects, QStringList({"library ORALIB", "rule CLIENT MATTERS in library LAWLIB"}));
}

TEST_F(LogTest, ErrorReportHyphensFollowTheLogFilter) {
  cx.ui->controls.verboseLogging = false;
  ReportError(cx, 91, "Src", "Object variable not set");
  EXPECT_EQ(Written(), "Error: " + Stamp + " #91 was generated by Src\r\nObject variable not set\r\n");
}

TEST_F(LogTest, SetStatusLogsShowsAndPumps) {
  cx.ui->controls.mainStatus = "Ready";
  SetStatus(cx, "   ");
  EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(cx.app.StatusOwnerForm, StatusWindow::None);
  EXPECT_EQ(cx.scripted->pumpCount, 0);
  SetStatus(cx, "  Loading rules  ");
  EXPECT_EQ(cx.app.StatusOwnerForm, StatusWindow::Main);
  EXPECT_EQ(cx.ui->controls.mainStatus, "Loading rules");
  EXPECT_GT(cx.scripted->pumpCount, 0);
  cx.app.StatusOwnerForm = StatusWindow::Splash;
  SetStatus(cx, "Warning: slow");
  EXPECT_EQ(cx.ui->controls.splashStatus, "Warning: slow");  // the label carries no stamp
  EXPECT_EQ(cx.ui->controls.mainStatus, "Loading rules");
  EXPECT_EQ(Written(), "Loading rules\r\nWarning: " + Stamp + " slow\r\n");
}

}  // namespace sw
