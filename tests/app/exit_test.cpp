#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <csignal>

#include "admin/admin.h"
#include "app/handlers.h"
#include "app/stop_signals.h"
#include "app_session.h"
#include "core/library.h"
#include "core/session.h"
#include "core/sql.h"
#include "rules/running_nodes.h"
#include "platform/dm/dm_api.h"
#include "platform/dm/dm_server.h"

namespace sw {
namespace {

using test::ProductSetting;
using test::ProgramEnded;

class ExitDecision : public ::testing::Test {
 protected:
  bool Ends(const std::function<void()>& action) {
    try {
      action();
    } catch (const ProgramEnded&) {
      return true;
    }
    return false;
  }
  const std::vector<ShownMessage>& Shown() { return cx.scripted->shown; }

  test::IsolatedSettings settings;
  test::AppTestContext cx;
};

TEST_F(ExitDecision, IdleExitEndsTheProgram) {
  QTemporaryDir temp;  // the settings store's folder goes with the program, which exit() would leave
  const test::ScopedEnv tmpdir{"TMPDIR", temp.path()};
  test::SaveProductSetting(cx, "General", "Keep", "k");
  EXPECT_TRUE(Ends([&] { Button_Exit_Click(cx); }));
  EXPECT_EQ(cx.exits, 1);
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(QDir(temp.path()).isEmpty());
}

TEST_F(ExitDecision, ExitDuringARunRequestsAStopAndTheSecondExitEnds) {
  cx.run.TaskRunning = true;
  EXPECT_FALSE(Ends([&] { Button_Exit_Click(cx); }));
  EXPECT_TRUE(cx.run.StopRequested);
  EXPECT_FALSE(cx.run.TaskRunning);
  EXPECT_FALSE(cx.ui->controls.exitEnabled);
  EXPECT_EQ(cx.ui->controls.statusColour, 0x0000C0);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Task Canceled - the current item (if any) will complete first.");
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Information);
  // A stop is already requested: File Exit ends at once.
  EXPECT_TRUE(Ends([&] { Button_Exit_Click(cx); }));
}

// A stop signal asks a run to stop as Exit does, but without a box nobody may answer; with
// nothing running it ends the program at once.
TEST_F(ExitDecision, AStopSignalStopsTheRunWithoutABoxAndEndsAnIdleProgram) {
  cx.run.TaskRunning = true;
  EXPECT_FALSE(Ends([&] { StopSignalReceived(cx, SIGTERM); }));
  EXPECT_TRUE(cx.run.StopRequested);
  EXPECT_FALSE(cx.run.TaskRunning);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(cx.window.EndingSignal, SIGTERM);
  cx.run = RunFlags{};
  cx.window.EndingSignal = 0;
  // Early in start-up: no session error, and standard error names the signal the caller sees.
  cx.log.ErrorsLogged = 1;
  testing::internal::CaptureStderr();
  EXPECT_TRUE(Ends([&] { StopSignalReceived(cx, SIGINT); }));
  EXPECT_THAT(testing::internal::GetCapturedStderr(), testing::HasSubstr("ended by SIGINT: 1 error(s) logged"));
  EXPECT_EQ(cx.log.ErrorsLogged, 1);
  EXPECT_EQ(cx.window.EndingSignal, SIGINT);
}

// The stop's bound on the DM layer's lock waits and the signal it took go with the watch: a later
// watch in this process (a program started anew) is not bound and takes its first signal as a stop.
TEST_F(ExitDecision, EachWatchOfStopSignalsBeginsUnboundAndTakesItsFirstSignal) {
  for (int watch = 1; watch <= 2; ++watch) {
    SCOPED_TRACE(watch);
    cx.run = RunFlags{};
    cx.run.TaskRunning = true;
    cx.window.EndingSignal = 0;
    StopSignals watching(cx);
    EXPECT_FALSE(dm::LockWaitsBounded());
    std::raise(SIGTERM);
    EXPECT_TRUE(dm::LockWaitsBounded());
    for (int pump = 0; pump < 1000 && cx.window.EndingSignal == 0; ++pump) QCoreApplication::processEvents();
    EXPECT_EQ(cx.window.EndingSignal, SIGTERM);
    EXPECT_TRUE(cx.run.StopRequested);
  }
  EXPECT_FALSE(dm::LockWaitsBounded());
}

TEST_F(ExitDecision, ClosingDuringARunRequestsAStopAndKeepsTheWindow) {
  cx.run.TaskRunning = true;
  int cancel = 0;
  EXPECT_FALSE(Ends([&] { cancel = Form_Unload(cx, 0); }));
  EXPECT_NE(cancel, 0);
  EXPECT_TRUE(cx.run.StopRequested);
}

// Exit stops the test-data generator after its current matter, also when it was opened between
// cycles of a looping run, and is enabled again when the generator ends: idle, a second Exit ends
// the program; between cycles, it ends the run's wait.
TEST_F(ExitDecision, ExitStopsTheGeneratorAndIsEnabledAgainAfterIt) {
  test::DmTestServer server;
  ASSERT_TRUE(test::ConnectTestSession(cx, server, "LAWLIB"));
  server.Exec("LAWLIB", "DELETE FROM INDUSTRY; DELETE FROM PRACTICE; INSERT INTO INDUSTRY (SYSTEM_ID) VALUES (501);"
                        "INSERT INTO PRACTICE (SYSTEM_ID) VALUES (601)");
  cx.scripted->confirms = true;
  for (const bool betweenCycles : {true, false}) {
    SCOPED_TRACE(betweenCycles ? "between cycles" : "idle");
    const QString start = betweenCycles ? "5" : "1";
    cx.run.TaskRunning = cx.run.InLoopDelay = betweenCycles;
    cx.scripted->inputAnswers << start;
    server.Components()->Server()->hooks.sqlFault = [&](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
      if (sql.contains(" Matter 002'")) Button_Exit_Click(cx);
      return std::nullopt;
    };
    MNSpecialFunctions_Click(cx);
    server.Components()->Server()->hooks.sqlFault = nullptr;
    ASSERT_FALSE(Shown().empty());
    EXPECT_EQ(Shown().back().text, "1 client(s) and 2 matter(s) created starting at " + start);
    EXPECT_TRUE(cx.ui->controls.exitEnabled);
    EXPECT_FALSE(cx.run.StopRequested);
    EXPECT_EQ(cx.run.TaskRunning, betweenCycles);
    EXPECT_EQ(cx.run.InLoopDelay, betweenCycles) << "the run's wait goes on";
  }
  EXPECT_TRUE(Ends([&] { Button_Exit_Click(cx); }));
}

TEST_F(ExitDecision, ExitDuringTheLoopDelayEndsTheWaitSilently) {
  cx.run.TaskRunning = true;
  cx.run.InLoopDelay = true;
  EXPECT_FALSE(Ends([&] { Button_Exit_Click(cx); }));
  EXPECT_FALSE(cx.run.InLoopDelay);
  EXPECT_FALSE(cx.run.StopRequested);
  EXPECT_TRUE(Shown().empty());
}

TEST_F(ExitDecision, ClosingDuringTheLoopDelayTellsAndKeepsTheWindow) {
  cx.run.TaskRunning = true;
  cx.run.InLoopDelay = true;
  int cancel = 0;
  EXPECT_FALSE(Ends([&] { cancel = Form_Unload(cx, 0); }));
  EXPECT_NE(cancel, 0);
  EXPECT_FALSE(cx.run.InLoopDelay);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Loop Delay exited");
}

TEST_F(ExitDecision, ShiftInsertTogglesTheLockOnlyWithShiftAlone) {
  Form_KeyDown(cx, 45, 3);  // Ctrl+Shift+Insert
  Form_KeyDown(cx, 45, 0);  // Insert alone
  EXPECT_FALSE(cx.window.UiLocked);
  Form_KeyDown(cx, 45, 1);
  EXPECT_TRUE(cx.window.UiLocked);
  EXPECT_TRUE(cx.ui->controls.locked);
  Form_KeyDown(cx, 45, 1);
  EXPECT_FALSE(cx.window.UiLocked);
  EXPECT_FALSE(cx.ui->controls.locked);
}

// The orderly end on a logged-on session.
class OrderlyEnd : public ExitDecision {
 protected:
  void SetUp() override {
    cx.dm = server.Components();
    ASSERT_TRUE(StartFusion(cx));
    cx.session.MachineName = "TESTPC";
    cx.window.startup.SettingsRestored = true;
    cx.window.startup.BuildNumber = "44048";
    cx.window.startup.BuildDateText = "Aug 5, 2020";
  }
  test::DmTestServer server;
};

TEST_F(OrderlyEnd, SavesEveryWindowValueInItsForm) {
  RunOptions o = cx.ui->Options();
  o.loop = true;
  o.loopDelay = "abc";
  o.maxFolders = "-7.6";
  o.pauseStart = "9:30";
  o.pauseEnd = "not a time";
  o.addNewDocs = false;
  o.pauseDayNames = QStringList({"Sunday", "Monday"});
  o.pauseDayChecked = {false, true};
  cx.ui->SetOptions(o);
  cx.ui->SetTimeStampLogFile(true);
  cx.ui->SetDisplayErrors(true);
  cx.ui->SetMainGeometry({2400, 1800, 4830, 9135});
  cx.log.LogFileBase = cx.dir.path() + "/test.log";
  EXPECT_TRUE(Ends([&] { EndProgram(cx); }));
  EXPECT_EQ(ProductSetting(cx, "General", "Loop"), "1");
  EXPECT_EQ(ProductSetting(cx, "General", "Loop_Delay"), "0");
  EXPECT_EQ(ProductSetting(cx, "General", "MaxFolders"), "-8");
  EXPECT_EQ(ProductSetting(cx, "General", "PauseStart"), "09:30");
  EXPECT_EQ(ProductSetting(cx, "General", "PauseEnd"), "not a time");
  EXPECT_EQ(ProductSetting(cx, "General", "CheckAddNewDocs"), "0");
  EXPECT_EQ(ProductSetting(cx, "General", "DisplayErrors"), "1");
  EXPECT_EQ(ProductSetting(cx, "General", "TimeStampLogFile"), "-1");
  EXPECT_EQ(ProductSetting(cx, "General", "Screen.Left"), "2400");
  EXPECT_EQ(ProductSetting(cx, "General", "Screen.Top"), "1800");
  EXPECT_EQ(ProductSetting(cx, "General", "LogFile"), cx.dir.path() + "/test.log");
  EXPECT_EQ(ProductSetting(cx, "PauseTimer", "Sunday"), "0");
  EXPECT_EQ(ProductSetting(cx, "PauseTimer", "Monday"), "-1");
}

TEST_F(OrderlyEnd, SavesTheTicksOfLibrariesAndRules) {
  const int lib = cx.ui->AddRulesNode(-1, "LAWLIB", QString(), true);
  cx.ui->AddRulesNode(lib, "CLIENT MATTERS", QString(), false);
  const int other = cx.ui->AddRulesNode(-1, "OraLib", QString(), false);
  cx.ui->AddRulesNode(other, " Second Rule ", QString(), true);
  const int unloaded = cx.ui->AddRulesNode(-1, "UNLOADED", QString(), true);
  cx.ui->AddRulesNode(unloaded, "[]", QString(), false);
  EXPECT_TRUE(Ends([&] { EndProgram(cx); }));
  EXPECT_EQ(ProductSetting(cx, "Libraries", "LAWLIB"), "-1");
  EXPECT_EQ(ProductSetting(cx, "Libraries", "OraLib"), "0");
  EXPECT_EQ(ProductSetting(cx, "Rules", "LAWLIB:CLIENT MATTERS"), "0");
  EXPECT_EQ(ProductSetting(cx, "Rules", "ORALIB:SECOND RULE"), "-1");
  EXPECT_EQ(ProductSetting(cx, "Libraries", "UNLOADED"), "-1");
  EXPECT_EQ(ProductSetting(cx, "Rules", "UNLOADED:[]"), "<none>");  // the placeholder is no rule
}

TEST_F(OrderlyEnd, AnEmptyTreeWritesNoLibraries) {
  EXPECT_TRUE(Ends([&] { EndProgram(cx); }));
  EXPECT_EQ(ProductSetting(cx, "Libraries", "LAWLIB"), "<none>");
  EXPECT_EQ(ProductSetting(cx, "General", "Loop"), "0");
}

TEST_F(OrderlyEnd, ControlsWithoutTheSavedValuesAreNotWrittenBack) {
  cx.window.startup.SettingsRestored = false;
  EXPECT_TRUE(Ends([&] { EndProgram(cx); }));
  EXPECT_EQ(ProductSetting(cx, "General", "Loop"), "<none>");
}

// A second signal while stopping ends the process at once naming the claims still held: one
// dropped after the stop was noted is no longer named.
TEST_F(OrderlyEnd, ASecondSignalNamesOnlyTheClaimsStillHeld) {
  ASSERT_TRUE(ConnectLibrary(cx, "LAWLIB"));
  ASSERT_FALSE(ActiveStatus(cx, WriteClaim, "CLIENT MATTERS"));
  cx.run.TaskRunning = true;
  StopSignals watching(cx);
  std::raise(SIGTERM);
  for (int pump = 0; pump < 1000 && cx.window.EndingSignal == 0; ++pump) QCoreApplication::processEvents();
  ASSERT_EQ(cx.window.EndingSignal, SIGTERM);
  const std::string ending = "SIGINT received while stopping - the program ends at once, leaving any row in hand to the next run";
  EXPECT_EXIT(std::raise(SIGINT), testing::KilledBySignal(SIGINT),
              ending + " and the claim of computer TESTPC on rule CLIENT MATTERS in library LAWLIB: ");
  ActiveStatus(cx, DropClaims, QString());
  EXPECT_EXIT(std::raise(SIGINT), testing::KilledBySignal(SIGINT), ending + "; it holds no claim\n");
}

TEST_F(OrderlyEnd, UndoesTheRowInHandDropsThisComputersClaimsEverywhereReleasesTheSessionAndLogsTheEnd) {
  server.Exec("LAWLIB", "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES "
                        "('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'TESTPC:CLIENT MATTERS', '2026-01-01')");
  server.Exec("LAWLIB", "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES "
                        "('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'OTHERPC:CLIENT MATTERS', '2026-01-01')");
  // The end comes in the middle of a row (a second Exit during a run): this computer also holds
  // a claim in ORALIB, and the row's work holds LAWLIB, where the claims must go all the same.
  ASSERT_TRUE(ConnectLibrary(cx, "ORALIB"));
  ASSERT_FALSE(ActiveStatus(cx, WriteClaim, "CLIENT MATTERS"));
  ASSERT_TRUE(ConnectLibrary(cx, "LAWLIB"));
  ASSERT_TRUE(BeginTransaction(cx).Opened);
  ASSERT_TRUE(RunAndRelease(cx, "INSERT INTO [OWNER].TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                                "VALUES(1, 'MATTER', 'CLIENT MATTERS', 0, '')"));
  EXPECT_TRUE(Ends([&] { EndProgram(cx); }));
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT GROUP_CONCAT(CHAR_VAL) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"),
            "OTHERPC:CLIENT MATTERS");
  EXPECT_EQ(server.Scalar("ORALIB", "SELECT COUNT(*) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"), "0");
  EXPECT_FALSE(cx.session.FusionApplication);
  EXPECT_FALSE(cx.session.FusionLibraries);
  EXPECT_FALSE(cx.session.CurrentLibrary);
  EXPECT_FALSE(cx.session.pSQL);
  EXPECT_FALSE(cx.session.SessionHelper);
  const QString end = ProductName + " Build 44048 (Aug 5, 2020) Ended on ";
  EXPECT_TRUE(cx.ui->StatusLabel(StatusWindow::Main).startsWith(end));
  EXPECT_TRUE(test::PlainLog(cx).contains(end));
}

}  // namespace
}  // namespace sw
