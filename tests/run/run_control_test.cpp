// The run's frame: set-up failures, the cycle head, the pause window, the walk order, the loop
// delay, the end of the run and its error handler; and whole runs of the demo rule.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <set>
#include <tuple>
#include <utility>

#include "core/session.h"
#include "platform/dm/dm_server.h"
#include "rules/rule_table.h"
#include "rules/rules_loader.h"
#include "rules/running_nodes.h"
#include "run/run.h"
#include "run/run_control.h"
#include "run_control_session.h"
#include "support/template_check.h"

namespace sw {
namespace {

using test::AddLibraryNode;
using test::AddRuleNode;

// --- pause texts and the window ---------------------------------------------------------------

// One reading for the run and the window's fields: digits only are HHMM, a text with one separator HH:MM.
TEST(PauseTexts, DigitsAreReadAsHoursAndMinutesAndOnlyTimesOfDayAreValid) {
  const std::vector<std::tuple<QString, QString, bool>> cases = {
      {"930", "09:30", true}, {"7", "00:07", true}, {"1230", "12:30", true}, {"12", "00:12", true}, {"", "00:00", true},
      {"9:30", "09:30", true}, {"7:05", "07:05", true}, {"23:59", "23:59", true}, {"12:00:00", "12:00", true},
      {"09.30", "09:30", true}, {"9h30", "09:30", true},
      // No time of day: the text keeps the shape it reached.
      {"abcdef", "ab:de", false}, {"noon", "0n:on", false}, {"25:00", "25:00", false}, {"99:99", "99:99", false},
      {"2400", "24:00", false}, {"1260", "12:60", false}};
  for (const auto& [typed, text, valid] : cases) {
    const PauseTime read = ReadPauseText(typed);
    EXPECT_TRUE(read.text == text && read.valid == valid) << qPrintable(typed) << " read as " << qPrintable(read.text);
  }
}

TEST(PauseWindow, SameDayWindowIncludesItsStartAndExcludesItsEnd) {
  EXPECT_TRUE(InsidePauseWindow("12:00", "12:00", "13:00"));
  EXPECT_TRUE(InsidePauseWindow("12:59", "12:00", "13:00"));
  EXPECT_FALSE(InsidePauseWindow("13:00", "12:00", "13:00"));
  EXPECT_FALSE(InsidePauseWindow("11:59", "12:00", "13:00"));
}

TEST(PauseWindow, WindowAcrossMidnight) {
  EXPECT_TRUE(InsidePauseWindow("23:30", "22:00", "06:00"));
  EXPECT_TRUE(InsidePauseWindow("05:59", "22:00", "06:00"));
  EXPECT_TRUE(InsidePauseWindow("00:00", "22:00", "06:00"));
  EXPECT_FALSE(InsidePauseWindow("06:00", "22:00", "06:00"));
  EXPECT_FALSE(InsidePauseWindow("21:59", "22:00", "06:00"));
}

TEST(RunClock, SecondsSinceMidnight) {
  EXPECT_EQ(SecondsSinceMidnight(QDateTime(QDate(2026, 1, 1), QTime(0, 0, 0))), 0);
  EXPECT_EQ(SecondsSinceMidnight(QDateTime(QDate(2026, 1, 1), QTime(22, 30, 15))), 81015);
}

// --- the run's frame --------------------------------------------------------------------------

class RunControl : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(test::StartRunSession(cx, server, clock)); }

  // LAWLIB ticked with one ticked rule that is no longer in the library: each cycle walks it and
  // skips it, without building any SQL.
  void TreeWithStaleRule() {
    law = AddLibraryNode(cx, "LAWLIB", true);
    stale = AddRuleNode(cx, law, "STALE RULE", true);
  }
  QString TodayName() { return QLocale::system().dayName(clock.now.date().dayOfWeek(), QLocale::LongFormat); }
  void PauseWindowOn(const QString& start, const QString& end, bool todayTicked = true) {
    RunOptions& o = cx.ui->controls.options;
    o.pauseTime = true;
    o.pauseStart = start;
    o.pauseEnd = end;
    o.pauseDayNames = {TodayName().toUpper()};
    o.pauseDayChecked = {todayTicked};
  }
  std::vector<ShownMessage>& Shown() { return cx.scripted->shown; }
  bool ShownText(const QString& text) {
    for (const ShownMessage& m : Shown())
      if (m.text == text) return true;
    return false;
  }

  test::DmTestServer server;
  test::TestClock clock;
  test::RunTestContext cx;
  int law = -1;
  int stale = -1;
};

TEST_F(RunControl, WithoutALibraryObjectNothingStarts) {
  TreeWithStaleRule();
  cx.app.CommandLine = "/G";  // the box is shown all the same
  cx.session.CurrentLibrary.reset();
  Button_Go_Click(cx);
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Error: Library object not set - cannot continue");
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Critical);
  EXPECT_TRUE(test::Log(cx).contains("Error: Library object not set - cannot continue"));
  EXPECT_EQ(test::Setting(cx, "General", "IsRunning"), "<none>");
  EXPECT_TRUE(cx.expanded.empty());
  EXPECT_FALSE(test::Log(cx).contains("STALE RULE"));
  EXPECT_FALSE(cx.run.TaskRunning);
}

TEST_F(RunControl, NothingTickedEndsWithoutSummary) {
  AddLibraryNode(cx, "LAWLIB", false);
  cx.ui->controls.mainStatus = "Ready";
  Button_Go_Click(cx);
  EXPECT_TRUE(test::Log(cx).contains("No libraries or rules selected - cannot continue."));
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "No libraries or rules selected - cannot continue.");
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Information);
  EXPECT_EQ(Shown()[0].title, cx.app.AppTitle);
  EXPECT_FALSE(test::Log(cx).contains("Finished processing."));
  // The end of the run still happens.
  EXPECT_TRUE(cx.ui->controls.goEnabled);
  EXPECT_EQ(test::Setting(cx, "General", "IsRunning"), "0");
  EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(cx.ui->controls.statusColour, StatusColourEnd);
}

TEST_F(RunControl, NothingTickedUnattendedShowsNoBox) {
  cx.app.CommandLine = "/G";
  Button_Go_Click(cx);
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(test::Log(cx).contains("No libraries or rules selected - cannot continue."));
}

TEST_F(RunControl, TickedLibraryWithoutChildrenLosesItsTickAndStillCounts) {
  law = AddLibraryNode(cx, "LAWLIB", true);
  Button_Go_Click(cx);
  EXPECT_FALSE(cx.ui->RulesNode(law).checked);
  EXPECT_TRUE(ShownText("Finished processing."));
  EXPECT_FALSE(test::Log(cx).contains("No libraries or rules selected"));
}

// A library a cycle could not switch to is unticked at the next cycle's head, loudly and with
// the reason; the next run that skips it says so too.
TEST_F(RunControl, LibraryTheLoadCouldNotSwitchToIsUntickedLoudlyAndItsLaterSkipsAreTold) {
  TreeWithStaleRule();
  const int ora = AddLibraryNode(cx, "ORALIB", true);
  const int placeholder = AddRuleNode(cx, ora, "[]", false);
  cx.onExpand = [&](int) {
    cx.ui->RemoveRulesNode(placeholder);
    QFile::remove(server.Path() + "/ORALIB.sqlite");
    ConnectLibrary(cx, "ORALIB");
  };
  cx.ui->controls.options.loop = true;
  cx.ui->controls.options.loopDelay = "1";
  clock.onSleep = [&](int sleep) { cx.run.InLoopDelay = sleep < 2; };  // Exit in the second delay
  const QString reason = " (the run could not switch to it or read its rules)";
  testing::internal::CaptureStderr();
  Button_Go_Click(cx);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              testing::HasSubstr(("Warning: Library ORALIB was unticked after this failure" + reason).toStdString()));
  EXPECT_FALSE(cx.ui->RulesNode(ora).checked);
  EXPECT_EQ(test::Setting(cx, "UntickedAfterFailure", "ORALIB"), "2026-12-07 22:30" + reason);
  cx.ui->controls.options.loop = false;
  testing::internal::CaptureStderr();
  Button_Go_Click(cx);
  EXPECT_THAT(testing::internal::GetCapturedStderr(),
              testing::HasSubstr(("Warning: Library ORALIB is skipped: it was unticked after a failure on 2026-12-07 22:30" +
                                  reason + " and stays unticked").toStdString()));
}

TEST_F(RunControl, PlaceholderLibraryIsExpandedBeforeTheWalk) {
  law = AddLibraryNode(cx, "LAWLIB", true);
  const int placeholder = AddRuleNode(cx, law, "[]", false);
  const int other = AddLibraryNode(cx, "ORALIB", false);
  AddRuleNode(cx, other, "[]", false);
  cx.onExpand = [&](int node) {
    cx.ui->RemoveRulesNode(placeholder);
    AddRuleNode(cx, node, "EXPANDED RULE", true);
  };
  Button_Go_Click(cx);
  EXPECT_EQ(cx.expanded, std::vector<int>({law}));  // the unticked library stays as it is
  EXPECT_EQ(cx.ui->controls.selectedRulesNode, law);
  // The new rule node is walked in the same cycle.
  EXPECT_TRUE(test::Log(cx).contains("Error: Rule EXPANDED RULE configured improperly in library LAWLIB"));
}

TEST_F(RunControl, RuleNodesAreWalkedFromTheLastToTheFirst) {
  law = AddLibraryNode(cx, "LAWLIB", true);
  AddRuleNode(cx, law, "FIRST GONE", true);
  AddRuleNode(cx, law, "SKIPPED GONE", false);
  AddRuleNode(cx, law, "LAST GONE", true);
  Button_Go_Click(cx);
  const QString log = test::Log(cx);
  const qsizetype last = log.indexOf("Error: Rule LAST GONE configured improperly");
  const qsizetype first = log.indexOf("Error: Rule FIRST GONE configured improperly");
  ASSERT_GE(last, 0);
  ASSERT_GE(first, 0);
  EXPECT_LT(last, first);
  EXPECT_FALSE(log.contains("SKIPPED GONE configured"));
}

TEST_F(RunControl, SetUpAndEndOfRunStateAroundACycle) {
  TreeWithStaleRule();
  cx.ui->controls.mainStatus = "Ready";
  cx.ui->controls.options.loop = true;
  cx.ui->controls.options.loopDelay = "1";
  cx.ui->controls.options.pauseTime = false;
  cx.ui->controls.pauseTextsEnabled = false;
  cx.ui->controls.exitEnabled = false;
  cx.ui->AddResultRow({"old", "row", "Finished"});
  bool seen = false;
  clock.onSleep = [&](int) {
    // In the loop delay: the state of a run in progress, then Exit ends the wait.
    seen = true;
    EXPECT_TRUE(cx.run.TaskRunning);
    EXPECT_TRUE(cx.run.InLoopDelay);
    EXPECT_FALSE(cx.ui->controls.goEnabled);
    EXPECT_TRUE(cx.ui->controls.toolsEnabled) << "between cycles the tools may work";
    EXPECT_EQ(cx.ui->controls.statusColour, StatusColourCycle);
    EXPECT_EQ(test::Setting(cx, "General", "IsRunning"), "-1");
    EXPECT_TRUE(cx.ui->controls.results.empty());
    EXPECT_EQ(cx.ui->controls.mainStatus, "Waiting 1 seconds before starting");
    cx.run.InLoopDelay = false;
  };
  Button_Go_Click(cx);
  ASSERT_TRUE(seen);
  EXPECT_FALSE(cx.run.TaskRunning);
  EXPECT_FALSE(cx.run.StopRequested);
  EXPECT_TRUE(cx.ui->controls.goEnabled && cx.ui->controls.toolsEnabled);
  EXPECT_TRUE(cx.ui->controls.exitEnabled);
  EXPECT_TRUE(cx.ui->controls.pauseTextsEnabled);
  EXPECT_EQ(cx.ui->controls.pointer, Pointer::Default);
  EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(cx.ui->controls.statusColour, StatusColourEnd);
  EXPECT_EQ(test::Setting(cx, "General", "IsRunning"), "0");
  EXPECT_TRUE(ShownText("Finished processing."));
  EXPECT_EQ(cx.endRequests, 0);
}

TEST_F(RunControl, LoopDelayOfNothingBecomesThreeSeconds) {
  TreeWithStaleRule();
  cx.ui->controls.options.loop = true;
  cx.ui->controls.options.loopDelay = "0";
  clock.onSleep = [&](int sleep) {
    if (sleep == 4) cx.run.InLoopDelay = false;  // Exit in the second delay
  };
  Button_Go_Click(cx);
  EXPECT_EQ(cx.ui->controls.options.loopDelay, "3");
  EXPECT_EQ(clock.sleeps, 4);
  // Two cycles walked the tree; the tick that the first took away stays removed in the second.
  EXPECT_EQ(test::Log(cx).count("Error: Rule STALE RULE configured improperly"), 1);
  EXPECT_FALSE(cx.ui->RulesNode(stale).checked);
  EXPECT_TRUE(ShownText("Finished processing."));
}

TEST_F(RunControl, FractionalDelayWaitsWholeSteps) {
  TreeWithStaleRule();
  cx.ui->controls.options.loop = true;
  cx.ui->controls.options.loopDelay = "2.5";
  QStringList statuses;
  clock.onSleep = [&](int sleep) {
    statuses << cx.ui->controls.mainStatus;
    if (sleep == 3) cx.ui->controls.options.loop = false;  // the next cycle is the last
  };
  Button_Go_Click(cx);
  EXPECT_EQ(statuses, QStringList({"Waiting 3 seconds before starting", "Waiting 2 seconds before starting",
                                   "Waiting 1 seconds before starting"}));
  EXPECT_EQ(cx.ui->controls.options.loopDelay, "2.5");
  EXPECT_TRUE(ShownText("Finished processing."));
}

TEST_F(RunControl, StopDuringTheLoopDelayEndsWithTheSummary) {
  TreeWithStaleRule();
  cx.ui->controls.options.loop = true;
  cx.ui->controls.options.loopDelay = "10";
  clock.onSleep = [&](int sleep) {
    if (sleep == 2) cx.run.StopRequested = true;
  };
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 2);
  EXPECT_TRUE(ShownText("Finished processing."));
  EXPECT_FALSE(cx.run.StopRequested);
}

TEST_F(RunControl, SummaryCountsTheCycleTime) {
  TreeWithStaleRule();
  int calls = 0;
  const QDateTime start = clock.now;
  // The first reading starts the cycle, the later ones are 42 seconds on.
  cx.runState.control.Now = [&] { return calls++ == 0 ? start : start.addSecs(42); };
  Button_Go_Click(cx);
  EXPECT_TRUE(ShownText("Finished processing. (total time: 42 seconds)"));
  EXPECT_TRUE(test::Log(cx).contains("Finished processing. (total time: 42 seconds)"));
}

TEST_F(RunControl, UnattendedSummaryGoesToTheStatusLineAndTheProgramEnds) {
  TreeWithStaleRule();
  cx.app.CommandLine = "/G /X";
  cx.ui->controls.mainStatus = "Ready";
  Button_Go_Click(cx);
  EXPECT_TRUE(Shown().empty());
  EXPECT_TRUE(test::Log(cx).contains("Finished processing."));
  EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(cx.endRequests, 1);
}

TEST_F(RunControl, LocksTheWorkstationOnlyWhenLoopingOrUnattended) {
  TreeWithStaleRule();
  cx.ui->controls.options.lockWorkstation = true;
  Button_Go_Click(cx);
  EXPECT_EQ(test::OsOf(cx).locks, 0);
  cx.app.CommandLine = "/G";
  Button_Go_Click(cx);
  EXPECT_EQ(test::OsOf(cx).locks, 1);
}

TEST_F(RunControl, PauseWindowWaitsUntilItsEnd) {
  TreeWithStaleRule();
  clock.now = QDateTime(clock.now.date(), QTime(12, 58, 30));
  PauseWindowOn("12:00", "13:00");
  cx.ui->controls.mainStatus = "Ready";
  cx.ui->controls.exitToolTip = "Exit";
  QString pausedStatus;
  QString pausedTip;
  clock.onSleep = [&](int) {
    pausedStatus = cx.ui->controls.mainStatus;
    pausedTip = cx.ui->controls.exitToolTip;
  };
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 90);
  EXPECT_EQ(pausedStatus, "Paused until 13:00");
  EXPECT_EQ(pausedTip, "Exit pausing");
  EXPECT_EQ(cx.ui->controls.exitToolTip, "Exit");
  // The walk came after the pause.
  EXPECT_TRUE(test::Log(cx).contains("Error: Rule STALE RULE configured improperly"));
}

TEST_F(RunControl, NoPauseWhenTodayIsNotTicked) {
  TreeWithStaleRule();
  clock.now = QDateTime(clock.now.date(), QTime(12, 30, 0));
  PauseWindowOn("12:00", "13:00", false);
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 0);
}

TEST_F(RunControl, UntickingThePauseTimerEndsThePause) {
  TreeWithStaleRule();
  clock.now = QDateTime(clock.now.date(), QTime(12, 30, 0));
  PauseWindowOn("12:00", "13:00");
  clock.onSleep = [&](int sleep) {
    if (sleep == 5) cx.ui->controls.options.pauseTime = false;
  };
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 5);
  EXPECT_TRUE(test::Log(cx).contains("Error: Rule STALE RULE configured improperly"));
}

TEST_F(RunControl, StopDuringThePauseSkipsTheWalk) {
  TreeWithStaleRule();
  clock.now = QDateTime(clock.now.date(), QTime(23, 30, 0));
  PauseWindowOn("22:00", "06:00");
  clock.onSleep = [&](int sleep) {
    if (sleep == 3) cx.run.StopRequested = true;
  };
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 3);
  EXPECT_FALSE(test::Log(cx).contains("STALE RULE configured improperly"));
  EXPECT_TRUE(ShownText("Finished processing."));
}

TEST_F(RunControl, EqualPauseTimesSwitchThePauseTimerOff) {
  TreeWithStaleRule();
  clock.now = QDateTime(clock.now.date(), QTime(12, 0, 0));
  PauseWindowOn("12:00", "12:00");
  Button_Go_Click(cx);
  EXPECT_FALSE(cx.ui->controls.options.pauseTime);
  EXPECT_EQ(clock.sleeps, 0);
  EXPECT_TRUE(test::Log(cx).contains("Warning: You have enabled the pause timer, but the start and/or end times are not "
                                    "entered properly. The pause timer will be disabled"));
}

// Stored as a deployment or a hand edit writes them, 1800 and 1030 pause a run at 00:19 and stay
// 18:00 and 10:30; a text that is no time of day switches the timer off for the run and stays.
TEST_F(RunControl, StoredPauseTimesAreReadAsTimesOfDayAndNeverRewrittenAsOthers) {
  TreeWithStaleRule();
  clock.now = QDateTime(clock.now.date(), QTime(0, 19, 0));
  PauseWindowOn("1800", "1030");
  clock.onSleep = [&](int sleep) { cx.run.StopRequested = sleep == 3; };
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 3);
  EXPECT_TRUE(test::Log(cx).contains("Paused at 00:19 until 10:30"));
  const RunOptions& o = cx.ui->controls.options;
  EXPECT_EQ(o.pauseStart + " " + o.pauseEnd, "18:00 10:30");
  PauseWindowOn("99:99", "1030");
  Button_Go_Click(cx);
  EXPECT_EQ(clock.sleeps, 3);
  EXPECT_TRUE(test::Log(cx).contains("Warning: The setting PauseStart holds \"99:99\", which is no time of day"));
  EXPECT_TRUE(o.pauseTime);
  EXPECT_EQ(o.pauseStart + " " + o.pauseEnd, "99:99 10:30");
}

TEST_F(RunControl, SearchFlagsAndClaimsAreRestoredAtTheEnd) {
  TreeWithStaleRule();
  const dm::DmLibraryPtr lawlib = cx.session.FusionLibraries->Item(1);
  const dm::DmLibraryPtr oralib = cx.session.FusionLibraries->Item(2);
  lawlib->SetSearchFlag(0);
  oralib->SetSearchFlag(-1);
  ActiveStatus(cx, WriteClaim, "LEFT OVER");
  cx.onExpand = [&](int) {};
  // Something in the cycle switches the flags around and leaves the run in another library.
  clock.onSleep = nullptr;
  cx.runState.control.Now = [&] {
    lawlib->SetSearchFlag(-1);
    oralib->SetSearchFlag(0);
    return clock.now;
  };
  Button_Go_Click(cx);
  EXPECT_EQ(lawlib->SearchFlag(), 0);
  EXPECT_EQ(oralib->SearchFlag(), -1);
  EXPECT_EQ(test::ClaimRows(server, "LAWLIB"), 0);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "LAWLIB");
}

TEST_F(RunControl, RunReturnsToItsLibraryAfterEachCycle) {
  law = AddLibraryNode(cx, "LAWLIB", true);
  const int ora = AddLibraryNode(cx, "ORALIB", true);
  AddRuleNode(cx, ora, "GONE IN ORACLE", true);
  AddRuleNode(cx, law, "GONE IN LAW", true);
  Button_Go_Click(cx);
  EXPECT_TRUE(test::Log(cx).contains("Error: Rule GONE IN ORACLE configured improperly in library ORALIB"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "LAWLIB");
}

TEST_F(RunControl, RunTimeFailureEndsTheRunThroughTheErrorHandler) {
  TreeWithStaleRule();
  cx.ui->controls.options.loop = true;
  cx.ui->controls.mainStatus = "Ready";
  cx.onExpand = [](int) { throw DmCallFailure(440, "DOCSObjects.Library", "Expansion failed"); };
  AddRuleNode(cx, AddLibraryNode(cx, "ORALIB", true), "[]", false);
  Button_Go_Click(cx);
  const QString log = test::Log(cx);
  EXPECT_TRUE(log.contains("Error: #440 was generated by DOCSObjects.Library"));
  EXPECT_TRUE(log.contains("Expansion failed"));
  EXPECT_TRUE(log.contains("Error: Unable to complete this process"));
  EXPECT_FALSE(log.contains("Finished processing."));
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(clock.sleeps, 0);  // no loop after an error
  EXPECT_FALSE(cx.run.TaskRunning);
  EXPECT_TRUE(cx.ui->controls.goEnabled);
  EXPECT_EQ(test::Setting(cx, "General", "IsRunning"), "0");
  EXPECT_EQ(cx.ui->controls.mainStatus, "Ready");
}

TEST_F(RunControl, FailureInsideARuleMarksItsRowAndEndsTheWholeRun) {
  law = AddLibraryNode(cx, "LAWLIB", true);
  stale = AddRuleNode(cx, law, "STALE RULE", true);
  AddRuleNode(cx, law, "CLIENT MATTERS", true);  // walked first
  cx.ui->controls.options.loop = true;
  // Once the rule has its results row, the next look at the clock (its template's dates) fails.
  cx.runState.control.Now = [&] {
    if (!cx.ui->controls.results.empty()) throw DmCallFailure(91, "DOCSObjects.Library", "Object variable not set");
    return clock.now;
  };
  Button_Go_Click(cx);
  const QString log = test::Log(cx);
  EXPECT_TRUE(log.contains("Error: #91 was generated by DOCSObjects.Library"));
  EXPECT_TRUE(log.contains("Error: Unable to complete this process"));
  ASSERT_EQ(cx.ui->controls.results.size(), 1u);
  EXPECT_EQ(cx.ui->controls.results[0][0], "LAWLIB - CLIENT MATTERS");
  EXPECT_EQ(cx.ui->controls.results[0][2], "Error");
  // The run ended: the next rule was never looked at, no summary, no second cycle.
  EXPECT_FALSE(log.contains("STALE RULE"));
  EXPECT_TRUE(cx.ui->RulesNode(stale).checked);
  EXPECT_FALSE(log.contains("Finished processing."));
  EXPECT_EQ(clock.sleeps, 0);
  EXPECT_EQ(test::ClaimRows(server, "LAWLIB"), 0);
  EXPECT_FALSE(cx.run.TaskRunning);
}

TEST(RunClaims, ClaimInAnotherLibraryIsReleasedAfterItsNodeOrNamedWhenItCannotBe) {
  // Two SQL Server libraries, so that both keep claims; the run starts in LAWLIB.
  test::DmTestServer server({{"LAWLIB", 10}, {"TAXLIB", 10}});
  test::TestClock clock;
  test::RunTestContext cx;
  ASSERT_TRUE(test::StartRunSession(cx, server, clock));
  const int rule = AddRuleNode(cx, AddLibraryNode(cx, "TAXLIB", true), "CLIENT MATTERS", true);
  // The rule's statement fails, which ends the rule after its claim; the claim is counted then.
  int claimsWhileRunning = -1;
  bool dropRefused = false;
  cx.dm->Server()->hooks.sqlFault = [&](const QString& library, const QString& sql) -> std::optional<dm::SqlFault> {
    if (dropRefused && sql.startsWith("DELETE") && sql.contains("RUNNING_NODES"))
      return dm::SqlFault{1, 5, "database is locked"};
    if (library.compare("TAXLIB", Qt::CaseInsensitive) != 0) return std::nullopt;
    if (!sql.contains("SELECT DISTINCT")) return std::nullopt;
    claimsWhileRunning = test::ClaimRows(server, "TAXLIB");
    return dm::SqlFault{1, 208, "Invalid object name"};
  };
  Button_Go_Click(cx);
  EXPECT_EQ(claimsWhileRunning, 1);
  ASSERT_EQ(cx.ui->controls.results.size(), 1u);
  EXPECT_EQ(cx.ui->controls.results[0][2], "SQL Error");
  // The run ends in LAWLIB, where it started; the TAXLIB claim went with the end of its node.
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "LAWLIB");
  EXPECT_EQ(test::ClaimRows(server, "TAXLIB"), 0);

  // A drop refused to the end (another writer holding the library) leaves the claim, named with the
  // ways to clear it; under /NV the log holds every error the run counts, the claim code's too.
  dropRefused = true;
  cx.ui->controls.verboseLogging = false;
  cx.ui->SetRulesNodeChecked(rule, true);
  Button_Go_Click(cx);
  EXPECT_EQ(test::ClaimRows(server, "TAXLIB"), 1);
  const QString log = test::Log(cx);
  EXPECT_EQ(log.count("Warning: The claim of computer TESTPC on rule CLIENT MATTERS in library TAXLIB could not be released - "
                      "other computers skip the rule until it is cleared with Options > Clear Running Nodes, or until the "
                      "program starts again under the computer name TESTPC"),
            1);
  EXPECT_TRUE(log.contains("SQL Error #5 (database is locked) encountered in library TAXLIB"));
  EXPECT_FALSE(log.contains("SQL Error #5 (database is locked) encountered in library LAWLIB"));
  EXPECT_EQ(cx.log.ErrorsLogged, log.count(QRegularExpression("^(Error:|SQL Error #)", QRegularExpression::MultilineOption)));

  // Once dropped, the claim taken again and left again is named again.
  for (const bool refused : {false, true}) {
    dropRefused = refused;
    cx.ui->SetRulesNodeChecked(rule, true);
    Button_Go_Click(cx);
  }
  EXPECT_EQ(test::Log(cx).count("Warning: The claim of computer TESTPC on rule CLIENT MATTERS in library TAXLIB could not be"), 2);
}

// Acts when the first new folder of the run is counted: asks for a stop, or fails as a lost DM
// object would.
struct FirstFolderUi : ScriptedUi {
  std::function<void()> act;
  void SetErrorAndAddedLabels(const QString& errors, const QString& added) override {
    ScriptedUi::SetErrorAndAddedLabels(errors, added);
    if (added == QLatin1String("1") && act) std::exchange(act, nullptr)();
  }
};

// A stop or a failure while the run works in a library other than the one it started in: the
// claim it took there goes all the same.
TEST(RunClaims, StopOrFailureInAnotherLibraryReleasesTheClaimThere) {
  for (const bool stop : {true, false}) {
    test::DmTestServer server;
    test::TestClock clock;
    test::RunTestContext cx;
    auto ui = std::make_unique<FirstFolderUi>();
    cx.scripted = ui.get();
    cx.ui = std::move(ui);
    ASSERT_TRUE(test::StartRunSession(cx, server, clock));
    cx.app.CommandLine = "/G";
    AddRuleNode(cx, AddLibraryNode(cx, "ORALIB", true), "CLIENT MATTERS", true);
    int claimsWhileRunning = -1;
    static_cast<FirstFolderUi&>(*cx.ui).act = [&] {
      claimsWhileRunning = test::ClaimRows(server, "ORALIB");
      if (stop) cx.run.StopRequested = true;
      else throw DmCallFailure(91, "DOCSObjects.Library", "Object variable not set");
    };
    Button_Go_Click(cx);
    EXPECT_EQ(claimsWhileRunning, 1) << stop;
    EXPECT_EQ(test::Log(cx).contains("Error: Unable to complete this process"), !stop);
    EXPECT_EQ(cx.session.CurrentLibrary->Name(), "LAWLIB");
    EXPECT_EQ(test::ClaimRows(server, "ORALIB"), 0) << stop;
  }
}

// --- whole runs of the demo rule ----------------------------------------------------------------

// Every statement a demo run sends must read the same through the emulator's template cache as
// on its own: the runs of each kind of rule on both engines send the statements the cache serves.
class DemoRun : public RunControl {
 protected:
  void SetUp() override {
    RunControl::SetUp();
    if (HasFatalFailure()) return;
    cx.dm->Server()->hooks.sqlFault = [this](const QString& library, const QString& sql) {
      sent.emplace_back(library, sql);
      return std::optional<dm::SqlFault>();
    };
  }
  void TearDown() override {
    if (!cx.dm) return;
    int shapeLifted = 0;
    EXPECT_EQ(test::TemplateMismatches(*cx.dm->Server(), sent, &shapeLifted), QStringList());
    // A run sends each of its row statements many times: most are lifted by their shape.
    if (sent.size() > 100) {
      EXPECT_GT(shapeLifted, int(sent.size()) / 4);
    }
  }
  void TickDemoRule() {
    law = AddLibraryNode(cx, "LAWLIB", true);
    AddRuleNode(cx, law, "CLIENT MATTERS", true);
    cx.app.CommandLine = "/G";
  }
  int Count(const QString& sql) { return server.Scalar("LAWLIB", sql).toInt(); }

  std::vector<std::pair<QString, QString>> sent;  // library, statement
};

TEST_F(DemoRun, GoBuildsClientFoldersWithMatterSubfoldersAndTracksTheRows) {
  TickDemoRule();
  Button_Go_Click(cx);

  const QString log = test::Log(cx);
  EXPECT_FALSE(log.contains("Error: Unable to complete this process")) << log.toStdString();
  ASSERT_EQ(cx.ui->controls.results.size(), 1u);
  EXPECT_EQ(cx.ui->controls.results[0][0], "LAWLIB - CLIENT MATTERS");

  // Client folders at the top, each matter's folder inside its client's folder.
  const QString stamped = "FROM FOLDER F JOIN PROFILE P ON P.DOCNUMBER = F.DOCNUMBER WHERE F.PATH LIKE 'QUILLMARK CLIENT MATTERS%' ";
  const int topFolders = Count("SELECT COUNT(*) " + stamped +
                               "AND NOT EXISTS (SELECT 1 FROM FOLDER_ITEM I WHERE I.DOCNUMBER = F.DOCNUMBER)");
  const int subfolders = Count("SELECT COUNT(*) " + stamped + "AND EXISTS (SELECT 1 FROM FOLDER_ITEM I WHERE I.DOCNUMBER = F.DOCNUMBER)");
  EXPECT_GT(topFolders, 0);
  EXPECT_GT(subfolders, topFolders);
  EXPECT_EQ(Count("SELECT COUNT(*) " + stamped +
                  "AND NOT EXISTS (SELECT 1 FROM FOLDER_ITEM I WHERE I.DOCNUMBER = F.DOCNUMBER) "
                  "AND NOT EXISTS (SELECT 1 FROM CLIENT C WHERE C.CLIENT_ID = P.DOCNAME)"),
            0);
  EXPECT_EQ(Count("SELECT COUNT(*) " + stamped +
                  "AND EXISTS (SELECT 1 FROM FOLDER_ITEM I WHERE I.DOCNUMBER = F.DOCNUMBER) AND NOT EXISTS ("
                  "SELECT 1 FROM FOLDER_ITEM I JOIN PROFILE PP ON PP.DOCNUMBER = I.PARENT JOIN MATTER M ON M.MATTER_ID = P.DOCNAME "
                  "JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID WHERE I.DOCNUMBER = F.DOCNUMBER AND C.CLIENT_ID = PP.DOCNAME)"),
            0);
  EXPECT_EQ(cx.ui->controls.results[0][2], QString::number(topFolders + subfolders) + " folder(s) added");
  EXPECT_GT(Count("SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENT MATTERS'"), 0);
  EXPECT_EQ(test::ClaimRows(server, "LAWLIB"), 0);
  EXPECT_EQ(test::Setting(cx, "General", "IsRunning"), "0");
}

TEST_F(DemoRun, SecondGoAddsNothing) {
  TickDemoRule();
  Button_Go_Click(cx);
  const int folders = Count("SELECT COUNT(*) FROM FOLDER");
  const int items = Count("SELECT COUNT(*) FROM FOLDER_ITEM");
  const int tracked = Count("SELECT COUNT(*) FROM TARN_STACKWRIGHT");
  ASSERT_GT(folders, 0);

  Button_Go_Click(cx);

  EXPECT_EQ(Count("SELECT COUNT(*) FROM FOLDER"), folders);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM FOLDER_ITEM"), items);
  EXPECT_EQ(Count("SELECT COUNT(*) FROM TARN_STACKWRIGHT"), tracked);
  ASSERT_EQ(cx.ui->controls.results.size(), 1u);
  EXPECT_EQ(cx.ui->controls.results[0][2], "Finished");
  EXPECT_TRUE(test::Log(cx).contains("There are no new folders in library LAWLIB to add for rule CLIENT MATTERS"));
}

TEST_F(DemoRun, StopRequestedInTheRowsCompletesTheRowThenEndsWithTheSummary) {
  TickDemoRule();
  cx.app.CommandLine.clear();
  cx.ui->controls.options.loop = true;
  // Exit pressed while the first new folder is secured.
  cx.dm->Server()->hooks.sqlFault = [&](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (sql.contains("INSERT INTO", Qt::CaseInsensitive) && sql.contains(".SECURITY", Qt::CaseInsensitive))
      cx.run.StopRequested = true;
    return std::nullopt;
  };
  clock.onSleep = [&](int) { cx.run.InLoopDelay = false; };  // should the stop not come, one delay ends the run
  Button_Go_Click(cx);
  EXPECT_TRUE(ShownText("Finished processing."));
  ASSERT_EQ(cx.ui->controls.results.size(), 1u);
  // The row in hand completes (its client and matter folders, its records); no other row starts.
  EXPECT_EQ(cx.ui->controls.results[0][2], "2 folder(s) added");
  EXPECT_EQ(Count("SELECT COUNT(*) FROM TARN_STACKWRIGHT"), 2);
  EXPECT_EQ(clock.sleeps, 0);  // no loop delay after a stop
  EXPECT_FALSE(cx.run.StopRequested);
  EXPECT_EQ(test::ClaimRows(server, "LAWLIB"), 0);
}

// --- rules whose template reaches through the documents ------------------------------------------

// Every folder of a library as its path from the top level, the names joined by "\".
const QString FolderPaths =
    "WITH RECURSIVE T(DOC, PATH) AS (SELECT F.DOCNUMBER, P.DOCNAME FROM FOLDER F JOIN PROFILE P ON P.DOCNUMBER = F.DOCNUMBER "
    "WHERE NOT EXISTS (SELECT 1 FROM FOLDER_ITEM I WHERE I.DOCNUMBER = F.DOCNUMBER) UNION ALL SELECT I.DOCNUMBER, "
    "T.PATH || '\\' || P.DOCNAME FROM T JOIN FOLDER_ITEM I ON I.PARENT = T.DOC AND I.NODE_TYPE = 'F' JOIN PROFILE P ON "
    "P.DOCNUMBER = I.DOCNUMBER) SELECT PATH FROM T";
// The documents (not the folders) with what their profiles reach.
const QString Documents =
    " FROM PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION AND A.APPLICATION <> 'FOLDER' LEFT JOIN MATTER M ON "
    "M.SYSTEM_ID = P.MATTER LEFT JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID LEFT JOIN DOCUMENTTYPES T ON T.SYSTEM_ID = "
    "P.DOCUMENTTYPE LEFT JOIN PEOPLE U ON U.SYSTEM_ID = P.AUTHOR LEFT JOIN GROUPS G ON G.SYSTEM_ID = U.PRIMARY_GROUP";

class DocumentRun : public DemoRun {
 protected:
  void Go(const QString& library, const QString& rule) {
    AddRuleNode(cx, AddLibraryNode(cx, library, true), rule, true);
    cx.app.CommandLine = "/G";
    Button_Go_Click(cx);
  }
  // Rules are read when a library becomes current; the current one reads them again.
  void ReloadRules(const QString& library) {
    if (cx.session.CurrentLibrary->Name() == library) LoadLibraryRules(cx);
  }
  QStringList Paths(const QString& library) {
    QStringList paths;
    for (const QStringList& row : server.Rows(library, FolderPaths)) paths << row.value(0);
    std::sort(paths.begin(), paths.end());
    return paths;
  }
  // One chain of folders, below `root` when it is given, for each distinct row of the columns.
  QStringList Chains(const QString& library, const QString& root, const QString& columns) {
    std::set<QString> paths;
    for (const QStringList& row : server.Rows(library, "SELECT DISTINCT " + columns + Documents)) {
      QString path = root;
      for (const QString& name : row) {
        path += (path.isEmpty() ? "" : "\\") + name;
        paths.insert(path);
      }
    }
    if (!root.isEmpty()) paths.insert(root);
    return QStringList(paths.begin(), paths.end());
  }
  int DocumentCount(const QString& library, const QString& where = QString()) {
    return server.Scalar(library, "SELECT COUNT(*)" + Documents + where).toInt();
  }
  QString Result() { return cx.ui->controls.results.empty() ? QString() : cx.ui->controls.results[0][2]; }
};

class EngineDocumentRun : public DocumentRun, public ::testing::WithParamInterface<const char*> {};

TEST_P(EngineDocumentRun, ClientMatterTypeRuleMakesOneChainPerTripleOfTheDocumentsAndQueuesEachDocument) {
  const QString lib = GetParam();
  const QString triples = "C.CLIENT_ID, M.MATTER_ID, T.TYPE_ID";
  // Every fifth document becomes a memo, so that matters hold documents of several types.
  server.Exec(lib, "UPDATE PROFILE SET DOCUMENTTYPE = (SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID = 'MEMO') "
                   "WHERE DOCNUMBER % 5 = 0");
  server.Exec(lib, "UPDATE TARN_SETTINGS SET CHAR_VAL = '%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% "
                   "%DOCUMENTTYPE.TYPE_ID%' WHERE SECTION_KEY = 'RULE_TEMPLATE'");
  ReloadRules(lib);
  cx.ui->controls.options.addNewDocs = true;
  Go(lib, "CLIENT MATTERS");
  EXPECT_FALSE(test::Log(cx).contains("SQL Error")) << qPrintable(test::Log(cx));
  const QStringList paths = Paths(lib);
  ASSERT_GT(server.Scalar(lib, "SELECT COUNT(DISTINCT P.DOCUMENTTYPE)" + Documents + " GROUP BY P.MATTER ORDER BY 1 DESC").toInt(), 1);
  EXPECT_EQ(paths, Chains(lib, "", triples));
  EXPECT_EQ(Result(), QString::number(paths.size()) + " folder(s) added");
  const int documents = DocumentCount(lib);
  EXPECT_EQ(server.Scalar(lib, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'PROFILE'").toInt(), documents);
  EXPECT_EQ(server.Scalar(lib, "SELECT COUNT(*) FROM NEEDS_FOLDERING").toInt(), documents);
  EXPECT_EQ(DocumentCount(lib, " WHERE P.DOCNUMBER NOT IN (SELECT SID FROM NEEDS_FOLDERING)"), 0);

  Button_Go_Click(cx);
  EXPECT_EQ(Paths(lib), paths);
  EXPECT_EQ(Result(), "Finished");

  // A document of a type its matter has not held yet, and one of a type it holds.
  const QString matter = server.Scalar(lib, "SELECT MATTER FROM PROFILE WHERE DOCNUMBER = 1");
  const QString newType = server.Scalar(lib, "SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID <> 'FOLDER' AND SYSTEM_ID NOT IN "
                                             "(SELECT DOCUMENTTYPE FROM PROFILE WHERE MATTER = " + matter + ")");
  ASSERT_FALSE(newType.isEmpty());
  const QString copy = ", AUTHOR, TYPIST, APPLICATION, %1, FORM, CLIENT_ID, MATTER, 0 FROM PROFILE WHERE DOCNUMBER = 1";
  server.Exec(lib, "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, AUTHOR, TYPIST, APPLICATION, DOCUMENTTYPE, FORM, "
                   "CLIENT_ID, MATTER, STATUS) SELECT 900001, 900001, 'New type'" + copy.arg(newType) +
                   " UNION ALL SELECT 900002, 900002, 'Old type'" + copy.arg("DOCUMENTTYPE"));
  Button_Go_Click(cx);
  EXPECT_EQ(Paths(lib), Chains(lib, "", triples));
  EXPECT_EQ(Paths(lib).size(), paths.size() + 1);
  EXPECT_EQ(Result(), "1 folder(s) added");
  EXPECT_EQ(DocumentCount(lib, " WHERE P.DOCNUMBER NOT IN (SELECT SID FROM NEEDS_FOLDERING)"), 0);
}

// Clients and matters of unusual names, on both engines: every name reaches the library as
// the row holds it, each distinct row has its own folder, and nothing fails or is made twice.
TEST_P(EngineDocumentRun, UnusualNamesMakeOneFolderEachWithTheNameTheRowGives) {
  const QString lib = GetParam();
  const QString longName = QString(200, QLatin1Char('L')) + " & " + QString(39, QLatin1Char('x'));
  const QString emojiAt240 = QString(239, QLatin1Char('L')) + QString::fromUtf8("\xF0\x9F\x98\x80");
  const struct {
    const char* clientId;
    QString clientName;
    const char* matterId;
    const char* matterName;
  } rows[] = {
      {"K1001", "O'Brien", "M01", "Say  \"hi\""},  // a blank run shrinks
      {"K1001", "O'Brien", "M_1", "Say \"hi\""},
      {"K1002", "Z01", "M02", "SYSDATE-01"},
      {"K1003", "Z_1", "M03", "X <> Y"},
      {"K1004", "Rate 100", "M04", "Rate 1000"},
      {"K1005", "Rate 100%", "M05", "Rate 100%"},  // "%" marks are taken out of every value
      {"K1011", "Rate 1000", "M15", "Rate 1000"},
      {"C0002", "Cobalt", "M06", "CAST('' AS x"},
      {"C_002", "Cobalt Two", "M07", "TRY_CAST"},
      {"K1006", "Müller & Søn", "M08", "Müller & Søn"},
      {"K1007", "東京", "M09", "東京"},
      {"K1008", longName, "M10", "One"},  // kept on its first 240 characters
      {"K1008", longName, "M11", "Two"},
      {"K1008", longName, "M12", "Three"},
      {"K1009", "Left Bank", "M13", "Left2 merger"},
      {"K1010", "Blank Ends", "  M14  ", "Blank ends"},
      {"K1012", "[OWNER]34", "M16", "x ="},  // placeholders and a closing "=" are text of the value
      {"K1012", "[OWNER]34", "M17", "y="},
      {"K1012", "[OWNER]34", "M18", "[OWNER]"},
      {"K1013", "{owner}x", "M19", "Smith [owner] Ltd"},
      {"K1014", "\\", "M20", "\\"},  // a lone "\" is a name, not the template's level break
      {"K1014", "\\", "M21", "a\\b"},
      {"K1014", "\\", "M22", "\\%"},
      {"K1015", emojiAt240, "M23", "One"},  // cut before the character that would be split
  };
  server.Exec(lib, "DELETE FROM MATTER; DELETE FROM CLIENT; "
                   "UPDATE TARN_SETTINGS SET CHAR_VAL = '%MATTER.CLIENT_ID.CLIENT_NAME% %\\% %MATTER.MATTER_ID% - "
                   "%MATTER.MATTER_NAME%' WHERE SECTION_KEY = 'RULE_TEMPLATE'; "
                   "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) SELECT MASTER_KEY, "
                   "SECTION_KEY, 'CLIENT IDS', CASE SECTION_KEY WHEN 'RULE_TEMPLATE' THEN '%MATTER.CLIENT_ID.CLIENT_ID%' "
                   "ELSE CHAR_VAL END, CASE SECTION_KEY WHEN 'RULE_CREATE_PUBLIC_FOLDERS' THEN 0 ELSE INT_VAL END "
                   "FROM TARN_SETTINGS WHERE SUB_KEY = 'CLIENT MATTERS'; "
                   "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) "
                   "VALUES ('QUILLMARK', 'RULE_PARSECHARACTERS', 'CLIENT IDS', '-4'); "
                   // A folder's name is its own, whatever the user's defaults say.
                   "INSERT INTO DM_USER_DEFAULTS (USER_ID, FORM, NAME, VALUE) SELECT 'ADMIN', SYSTEM_ID, 'DOCNAME', "
                   "'My default name' FROM FORMS WHERE FORM_NAME = 'FOLDER_PROF'");
  // The names the chain derives from a row: the client's name, then the matter's id trimmed
  // (as every source column is read), " - " and its name; "%" marks taken out of every value,
  // runs of blanks shrunk to one, and a name cut to the 240 characters DOCNAME holds. The second
  // rule files each client id, recognised by its last four characters.
  std::set<QString> expected;
  const auto quoted = [](QString v) { return "'" + v.replace("'", "''") + "'"; };
  int id = 990000;
  for (const auto& row : rows) {
    server.Exec(lib, "INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) SELECT " + QString::number(++id) + ", " +
                         quoted(row.clientId) + ", " + quoted(row.clientName) +
                         " WHERE NOT EXISTS (SELECT 1 FROM CLIENT WHERE CLIENT_ID = " + quoted(row.clientId) + ")");
    server.Exec(lib, "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) SELECT " + QString::number(++id) +
                         ", SYSTEM_ID, " + quoted(row.matterId) + ", " + quoted(row.matterName) + " FROM CLIENT WHERE CLIENT_ID = " +
                         quoted(row.clientId));
    QString level1 = QString(row.clientName).remove('%');
    level1.truncate(level1.size() > 240 && level1[239].isHighSurrogate() ? 239 : 240);
    const QString level2 = QString(QString(row.matterId).trimmed() + " - " + QString(row.matterName).remove('%')).replace("  ", " ");
    expected.insert({level1, level1 + "\\" + level2, row.clientId});
  }
  ReloadRules(lib);
  const int libraryNode = AddLibraryNode(cx, lib, true);
  AddRuleNode(cx, libraryNode, "CLIENT MATTERS", true);
  AddRuleNode(cx, libraryNode, "CLIENT IDS", true);
  cx.app.CommandLine = "/G";
  Button_Go_Click(cx);

  const QString log = test::Log(cx);
  ASSERT_TRUE(log.contains("SQL Instruction Executed")) << "the log leaves out the statements' outcomes";
  EXPECT_FALSE(log.contains("SQL Error")) << qPrintable(log);
  EXPECT_FALSE(log.contains("Error: ")) << qPrintable(log);
  const QStringList paths = Paths(lib);
  EXPECT_EQ(paths.join('\n').toStdString(), QStringList(expected.begin(), expected.end()).join('\n').toStdString());
  ASSERT_EQ(cx.ui->controls.results.size(), 2u);
  for (const auto& result : cx.ui->controls.results) EXPECT_TRUE(result[2].endsWith(" folder(s) added")) << qPrintable(result[2]);

  Button_Go_Click(cx);
  EXPECT_EQ(Paths(lib), paths);
  for (const auto& result : cx.ui->controls.results) EXPECT_EQ(result[2], "Finished");
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineDocumentRun, ::testing::Values("LAWLIB", "ORALIB"));

// Documents without a matter, or of a client whose id is empty or blank, have a blank first level
// and are never recorded: more of them than the cap per cycle must not hold back the documents
// that have one, on either engine's cap.
TEST_P(EngineDocumentRun, CappedClientMatterTypeRuleProgressesPastDocumentsWithoutAMatter) {
  const QString lib = GetParam();
  server.Exec(lib, "UPDATE PROFILE SET MATTER = NULL WHERE DOCNUMBER IN (SELECT DOCNUMBER FROM PROFILE ORDER BY DOCNUMBER LIMIT 10); "
                   "UPDATE CLIENT SET CLIENT_ID = '' WHERE CLIENT_ID = 'C0001'; UPDATE CLIENT SET CLIENT_ID = '  ' WHERE CLIENT_ID = 'C0002'");
  server.Exec(lib, "UPDATE TARN_SETTINGS SET CHAR_VAL = '%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% "
                   "%DOCUMENTTYPE.TYPE_ID%' WHERE SECTION_KEY = 'RULE_TEMPLATE'");
  ReloadRules(lib);
  cx.ui->controls.options.maxFolders = "5";
  const auto waiting = [&] { return DocumentCount(lib, " WHERE TRIM(C.CLIENT_ID) <> '' AND P.SYSTEM_ID NOT IN (SELECT SID FROM TARN_STACKWRIGHT)"); };
  const int before = waiting();
  Go(lib, "CLIENT MATTERS");
  const int afterOne = waiting();
  EXPECT_LT(afterOne, before);
  Button_Go_Click(cx);
  EXPECT_TRUE(waiting() < afterOne || afterOne == 0) << afterOne;
  EXPECT_EQ(DocumentCount(lib, " WHERE TRIM(COALESCE(C.CLIENT_ID, '')) = '' AND P.SYSTEM_ID IN (SELECT SID FROM TARN_STACKWRIGHT)"), 0);
}

// A template path through a table the library does not have makes no folder and records no row.
TEST_F(DocumentRun, TemplatePathTheCatalogueDoesNotListMakesNothing) {
  server.Exec("LAWLIB", "UPDATE TARN_SETTINGS SET CHAR_VAL = '%NO_SUCH_TABLE.CLIENT_ID% %\\% %MATTER.MATTER_ID%' "
                        "WHERE SECTION_KEY = 'RULE_TEMPLATE'");
  ReloadRules("LAWLIB");
  Go("LAWLIB", "CLIENT MATTERS");
  EXPECT_TRUE(test::Log(cx).contains("Error: The template path NO_SUCH_TABLE.CLIENT_ID names NO_SUCH_TABLE"));
  EXPECT_EQ(Count("SELECT COUNT(*) FROM FOLDER") + Count("SELECT COUNT(*) FROM TARN_STACKWRIGHT"), 0);
}


// Each engine with each default template: the catalogue's PROFILE.MATTER chooses the template.
class DefaultRuleRun : public DocumentRun, public ::testing::WithParamInterface<std::tuple<const char*, bool>> {};

TEST_P(DefaultRuleRun, LibraryWithoutRulesRunsEitherDefaultTemplate) {
  const auto [library, matterColumn] = GetParam();
  server.Exec(library, "DELETE FROM TARN_SETTINGS WHERE SECTION_KEY LIKE 'RULE%'");
  if (!matterColumn) server.Exec(library, "DELETE FROM DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = 'MATTER'");
  ReloadRules(library);
  Go(library, "***DEFAULT RULE***");
  EXPECT_FALSE(test::Log(cx).contains("SQL Error")) << qPrintable(test::Log(cx));
  const QStringList paths = Paths(library);
  EXPECT_EQ(paths, matterColumn ? Chains(library, "FIRM MATTERS", "C.CLIENT_ID, M.MATTER_ID, T.TYPE_ID")
                                : Chains(library, "QUILLMARK", "G.GROUP_ID, U.USER_ID, T.TYPE_ID"));
  EXPECT_EQ(Result(), QString::number(paths.size()) + " folder(s) added");
}

INSTANTIATE_TEST_SUITE_P(EnginesAndTemplates, DefaultRuleRun, ::testing::Combine(::testing::Values("LAWLIB", "ORALIB"), ::testing::Bool()));

}  // namespace
}  // namespace sw
