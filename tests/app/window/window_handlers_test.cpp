// The handlers of the option pages, the results list and the File and Help menus, driven on a
// real window the way the user reaches them.
#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFocusEvent>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTreeWidget>

#include "app/window/tarn_splash.h"
#include "app/window/window_handlers.h"
#include "core/log.h"
#include "platform/dm/dm_server.h"
#include "platform/settings/settings_store.h"
#include "rules/settings_rows.h"
#include "run/run_control.h"
#include "window_fixture.h"

namespace sw::test {

using Pages = WindowTest;

TEST_F(Pages, LibrariesThenGeneralBringsTheOptionsBackAndTucksTheResultsUnderThem) {
  EXPECT_EQ(MainWindow::TopTwips(window.FrameListResults), 2100);
  window.TabStripTabs->setCurrentIndex(1);
  EXPECT_FALSE(window.FrameTVRules->isHidden());
  EXPECT_EQ(MainWindow::TopTwips(window.FrameTVRules), 360);
  EXPECT_TRUE(window.FrameOptions->isHidden());
  EXPECT_TRUE(window.ListResults->isHidden());
  EXPECT_FALSE(window.FrameListResults->isHidden());  // only the list inside hides

  window.TabStripTabs->setCurrentIndex(0);
  EXPECT_TRUE(window.FrameTVRules->isHidden());
  EXPECT_FALSE(window.ListResults->isHidden());
  EXPECT_EQ(MainWindow::LeftTwips(window.FrameOptions), 0);
  EXPECT_EQ(MainWindow::TopTwips(window.FrameOptions), 360);
  EXPECT_EQ(MainWindow::TopTwips(window.FrameListResults), 360 + 1815 - 45);
}

TEST_F(Pages, EachOtherTabShowsOnlyItsOwnPanel) {
  window.TabStripTabs->setCurrentIndex(3);
  EXPECT_FALSE(window.FramePause->isHidden());
  EXPECT_TRUE(window.FrameSWOptions->isHidden());
  window.TabStripTabs->setCurrentIndex(2);
  EXPECT_FALSE(window.FrameSWOptions->isHidden());
  EXPECT_TRUE(window.FramePause->isHidden());
  EXPECT_TRUE(window.FrameTVRules->isHidden());
}

TEST_F(Pages, APauseFieldIsNormalisedWhenItLosesTheFocusAndTheOtherStaysAsLoaded) {
  window.TextPauseStart->setText("9:30");
  window.TextPauseEnd->setText("1230");
  QFocusEvent out(QEvent::FocusOut);
  QApplication::sendEvent(window.TextPauseStart, &out);
  EXPECT_EQ(window.TextPauseStart->text(), "09:30");
  EXPECT_EQ(window.TextPauseEnd->text(), "1230");
  QApplication::sendEvent(window.TextPauseEnd, &out);
  EXPECT_EQ(window.TextPauseEnd->text(), "12:30");
}

// The run reads a time the window left alone as the field would after losing the focus; a text
// that is no time of day both leave as typed (the field holds 5 characters), the field is marked
// and the run turns the pause timer off.
TEST_F(Pages, APauseFieldAndTheRunReadEveryTextAlike) {
  const QString tip = window.TextPauseStart->toolTip();
  const std::vector<std::tuple<QString, QString, bool>> cases = {  // typed, shown, marked
      {"930", "09:30", false},    {"2215", "22:15", false},   {"9:30", "09:30", false},  {"", "00:00", false},
      {"12:00:00", "12:00", false}, {"09.30", "09:30", false}, {"9h30", "09:30", false}, {"23:59", "23:59", false},
      {"noon", "noon", true},     {"abcdef", "abcde", true},  {"2575", "2575", true},    {"9.5", "9.5", true},
      {"1.5", "1.5", true},       {"123456", "12345", true},  {"7:5", "7:5", true},      {"25:00", "25:00", true},
      {"24:00", "24:00", true},   {"ab:cd", "ab:cd", true}};
  for (const auto& [typed, shown, marked] : cases) {
    window.TextPauseStart->setText(typed);
    window.TextPauseEnd->setText(typed);
    QFocusEvent out(QEvent::FocusOut);
    QApplication::sendEvent(window.TextPauseStart, &out);
    EXPECT_EQ(window.TextPauseStart->text(), shown) << typed.toStdString();
    EXPECT_EQ(window.TextPauseStart->toolTip() != tip, marked) << typed.toStdString();
    cx.ui->SetPauseTimeChecked(true);
    cx.runState.control.PauseTimerOff = false;
    NormalisePauseTexts(cx);
    EXPECT_EQ(window.TextPauseEnd->text(), shown) << typed.toStdString();
    EXPECT_EQ(cx.runState.control.PauseTimerOff, marked) << typed.toStdString();
  }
}

using Keys = WindowTest;

TEST_F(Keys, MinusTypedIntoTheLoopDelayShrinksTheListFontAndStillReachesTheBox) {
  Focus(window.TextLoopDelay);
  ASSERT_EQ(QApplication::focusWidget(), window.TextLoopDelay);
  Type(Qt::Key_Minus, "-");
  EXPECT_DOUBLE_EQ(window.ListResults->font().pointSizeF(), 6.25);
  EXPECT_EQ(window.TextLoopDelay->text(), "-");
  for (int i = 0; i < 6; ++i) Type(Qt::Key_Plus, "+");
  EXPECT_DOUBLE_EQ(ui->ResultsFontSize(), 16.25);
  EXPECT_EQ(window.TextLoopDelay->text(), "-++++++");
}

TEST_F(Keys, ShiftInsertTogglesTheLockWhileGoStaysUsable) {
  Focus(window.Button_Go);
  Type(Qt::Key_Insert, QString(), Qt::ShiftModifier);
  EXPECT_TRUE(cx.window.UiLocked);
  EXPECT_FALSE(window.LabelLocked->isHidden());
  EXPECT_FALSE(window.TVRules->isEnabled());
  EXPECT_TRUE(window.Button_Go->isEnabled());
  Type(Qt::Key_Insert, QString(), Qt::ShiftModifier | Qt::ControlModifier);
  EXPECT_TRUE(cx.window.UiLocked);
  Type(Qt::Key_Insert, QString(), Qt::ShiftModifier);
  EXPECT_FALSE(cx.window.UiLocked);
  EXPECT_TRUE(window.LabelLocked->isHidden());
}

// The pause fields and the library label are watched for their own events as well; a key typed
// there must still reach the form only once.
TEST_F(Keys, KeysTypedIntoAPauseFieldReachTheFormOnce) {
  Focus(window.TextPauseStart);
  ASSERT_EQ(QApplication::focusWidget(), window.TextPauseStart);
  Type(Qt::Key_Insert, QString(), Qt::ShiftModifier);
  EXPECT_TRUE(cx.window.UiLocked);
  Type(Qt::Key_Insert, QString(), Qt::ShiftModifier);
  EXPECT_FALSE(cx.window.UiLocked);
  Type(Qt::Key_Plus, "+");
  EXPECT_DOUBLE_EQ(ui->ResultsFontSize(), 10.25);
}

TEST_F(Keys, EscDuringARunAsksForAStopOnceThenDoesNothing) {
  cx.run.TaskRunning = true;
  Focus(window.TextMaxFolders);
  Type(Qt::Key_Escape, "\x1b");
  EXPECT_TRUE(cx.run.StopRequested);
  EXPECT_FALSE(window.Button_Exit->isEnabled());
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains("Task Canceled - the current item (if any) will complete first."));
  // The Exit button is disabled now, so Esc presses nothing (it would end the program).
  Type(Qt::Key_Escape, "\x1b");
  EXPECT_EQ(boxes.size(), 1);
}

TEST_F(Keys, EnterPressesGoWhileItIsEnabled) {
  DmTestServer server;
  ASSERT_TRUE(StartSession(server));
  Focus(window.TextMaxFolders);
  window.Button_Go->setEnabled(false);
  Type(Qt::Key_Return, "\r");
  EXPECT_TRUE(boxes.isEmpty());
  window.Button_Go->setEnabled(true);
  Type(Qt::Key_Return, "\r");
  // The run starts and finds nothing ticked.
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains("No libraries or rules selected - cannot continue."));
}

TEST_F(Keys, ClosingTheWindowDuringTheLoopDelayEndsTheWaitAndKeepsItOpen) {
  window.show();
  cx.run.TaskRunning = true;
  cx.run.InLoopDelay = true;
  EXPECT_FALSE(window.close());
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(cx.run.InLoopDelay);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains("Loop Delay exited"));
}

TEST_F(Keys, FileExitEndsTheProgramWhenIdleButOnlyAsksForAStopDuringARun) {
  cx.run.TaskRunning = true;
  MNFileExit_Click(cx);
  EXPECT_TRUE(cx.run.StopRequested);
  EXPECT_EQ(cx.exits, 0);
  // After the stop request the same item ends the program at once, as it does when idle.
  EXPECT_THROW(MNFileExit_Click(cx), ProgramEnded);
  EXPECT_EQ(cx.exits, 1);
}

TEST_F(Keys, MenuShortcutsWinOverATextBoxsOwnUseOfTheKeys) {
  Focus(window.TextLoopDelay);
  QKeyEvent ctrlX(QEvent::ShortcutOverride, Qt::Key_X, Qt::ControlModifier, "\x18");
  ctrlX.setAccepted(false);
  QApplication::sendEvent(window.TextLoopDelay, &ctrlX);
  EXPECT_FALSE(ctrlX.isAccepted());  // the line edit would take it for "cut"
  QKeyEvent ctrlC(QEvent::ShortcutOverride, Qt::Key_C, Qt::ControlModifier, "\x03");
  ctrlC.setAccepted(false);
  QApplication::sendEvent(window.TextLoopDelay, &ctrlC);
  EXPECT_TRUE(ctrlC.isAccepted());  // no menu uses it: the text box keeps "copy"
}

using ResultsSort = WindowTest;

TEST_F(ResultsSort, TheSameHeaderAlternatesAndAnotherSortsAscending) {
  ui->AddResultRow({"LIB - B", "2", "b"});
  ui->AddResultRow({"LIB - A", "1", "c"});
  ui->AddResultRow({"LIB - C", "3", "a"});
  QHeaderView* header = window.ListResults->header();
  auto firstCell = [&](int column) { return window.ListResults->topLevelItem(0)->text(column); };
  emit header->sectionClicked(2);
  EXPECT_EQ(firstCell(2), "a");
  emit header->sectionClicked(2);
  EXPECT_EQ(firstCell(2), "c");
  EXPECT_EQ(cx.window.LastSortOrder, 1);
  emit header->sectionClicked(2);
  EXPECT_EQ(firstCell(2), "a");
  EXPECT_EQ(cx.window.LastSortColumn, "Results");
  emit header->sectionClicked(0);
  EXPECT_EQ(firstCell(0), "LIB - A");
  EXPECT_EQ(cx.window.LastSortOrder, 0);
  // Sorting stays on: a row added now goes to its place.
  ui->AddResultRow({"LIB - 0", "0", "z"});
  EXPECT_EQ(firstCell(0), "LIB - 0");
  EXPECT_EQ(ui->MousePointer(), Pointer::Default);
}

using LogMenus = WindowTest;

TEST_F(LogMenus, ChoosingALogFileTakesEffectAtOnce) {
  cx.settings->SaveSetting(ProductName, "General", "LogFile", "/var/old.log");
  LogFileRequest asked;
  ButtonLogDir_Click(cx, [&](const LogFileRequest& r) {
    asked = r;
    return std::optional<QString>(cx.dir.path() + "/chosen.log");
  });
  EXPECT_EQ(asked.initialPath, "/var/old.log");
  EXPECT_EQ(asked.title, "Select location for log file:");
  EXPECT_EQ(asked.defaultSuffix, "LOG");
  EXPECT_EQ(cx.log.LogFileBase, cx.dir.path() + "/chosen.log");
  EXPECT_EQ(cx.settings->GetSetting(ProductName, "General", "LogFile"), cx.dir.path() + "/chosen.log");
  EXPECT_EQ(window.ButtonLogDir->toolTip(), cx.dir.path() + "/chosen.log");
}

TEST_F(LogMenus, CancellingTheChooserChangesNothingAndReportsTheError) {
  const QString before = cx.log.LogFileBase;
  cx.settings->SaveSetting(ProductName, "General", "LogFile", "/var/kept.log");
  ButtonLogDir_Click(cx, [](const LogFileRequest&) { return std::optional<QString>(); });
  ButtonLogDir_Click(cx, [](const LogFileRequest&) { return std::optional<QString>(QString()); });
  EXPECT_EQ(cx.log.LogFileBase, before);
  EXPECT_EQ(cx.settings->GetSetting(ProductName, "General", "LogFile"), "/var/kept.log");
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains("ButtonLogDir_Click:"));
  EXPECT_TRUE(log.contains("#32755 was generated by CommonDialog"));
  EXPECT_TRUE(log.contains("Cancel was selected."));
  EXPECT_EQ(log.count("ButtonLogDir_Click:"), 1);  // an empty name is no error
}

TEST_F(LogMenus, ViewLogBeforeAnyLineLooksForTodaysDatedName) {
  cx.log.LogFileBase = cx.dir.path() + "/run.log";
  cx.log.Now = [] { return QDateTime(QDate(2026, 3, 4), QTime(9, 0)); };
  MNLogView_Click(cx);
  EXPECT_EQ(cx.log.DatedLogFile, cx.dir.path() + "/run_20260304.log");
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains(cx.dir.path() + "/run_20260304.log not found"));
  EXPECT_TRUE(os->started.empty());

  QFile file(cx.log.DatedLogFile);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  MNLogView_Click(cx);
  ASSERT_EQ(os->started.size(), 1u);
  EXPECT_EQ(os->started[0].last(), cx.log.DatedLogFile);
  // Purge Log too, enabled by that file before this run wrote a line.
  cx.log.DatedLogFile.clear();
  MNLogPurge_Click(cx);
  EXPECT_TRUE(boxes.last().contains("purge the file " + cx.dir.path() + "/run_20260304.log?"));
  EXPECT_TRUE(QFile::exists(cx.log.DatedLogFile));  // Enter, like an unattended answer, is No
}

TEST_F(LogMenus, WithoutAnyLogPathViewLogSaysSoAndPurgeDoesNothing) {
  cx.log.LogFileBase.clear();
  MNLogView_Click(cx);
  ASSERT_EQ(boxes.size(), 1);
  EXPECT_TRUE(boxes[0].contains("Log file not defined"));
  MNLogPurge_Click(cx);
  EXPECT_EQ(boxes.size(), 1);  // no dated name yet: no question asked
}

TEST_F(LogMenus, TimestampItemInvertsItsMarkForTheLogWriter) {
  window.MNTimeStampLogFile->trigger();
  EXPECT_TRUE(ui->TimeStampLogFile());
  window.MNTimeStampLogFile->trigger();
  EXPECT_FALSE(window.MNTimeStampLogFile->isChecked());
}

using OptionsMenu = WindowTest;

QAction* MenuItem(QMenu* menu, const QString& text) {
  for (QAction* item : menu->actions())
    if (item->text() == text) return item;
  return nullptr;
}

// The questions before a tool destroys records or claims default to No: Enter (or an unattended
// answer) leaves everything as it was. The rule menus are filled again by the library choice the
// item leads to: the item clicked, not the one at its place afterwards, names the rule.
TEST_F(OptionsMenu, DestructiveQuestionsDefaultToNo) {
  DmTestServer server;
  AddSettingsRow(server, "ORALIB", "RULE_TEMPLATE", "A_B", "%MATTER.MATTER_ID%");
  AddSettingsRow(server, "ORALIB", "RULE_VALUES", "A_B", "%APPLICATION.APPLICATION% <> 'FOLDER'");
  server.Exec("ORALIB", "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                        "VALUES (1, 'MATTER', 'CLIENT MATTERS', 0, '')");
  AddSettingsRow(server, "LAWLIB", "STACKWRIGHT", "RUNNING_NODES", "OTHERPC:CLIENT MATTERS");
  ASSERT_TRUE(StartSession(server));
  cx.session.FusionApplication->SetLibraryChooser([](const QStringList& names) { return int(names.indexOf("ORALIB")); });
  MenuItem(window.MNSetToCurrent, "CLIENT MATTERS")->trigger();
  MenuItem(window.MNSetToStart, "CLIENT MATTERS")->trigger();
  window.MNClearRunningNodes->trigger();
  EXPECT_EQ(server.Scalar("ORALIB", "SELECT GROUP_CONCAT(RULE_NAME) FROM TARN_STACKWRIGHT"), "CLIENT MATTERS");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'"), "1");
  const QString said = boxes.join("\n");
  EXPECT_TRUE(said.contains("for rule CLIENT MATTERS in library ORALIB so that") && said.contains("Wise choice.\n"));
  EXPECT_TRUE(said.endsWith("Are you sure you want to run this procedure?") && !said.contains("Task Manager"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "LAWLIB");
}

// A tool gives back the status the last run left, not a message that stood when it began (a View
// Log that failed leaves its own).
TEST_F(OptionsMenu, AToolGivesBackTheStatusTheLastRunLeft) {
  DmTestServer server;
  ASSERT_TRUE(StartSession(server));
  ui->SetStatusLabel(StatusWindow::Main, "Waiting for user input");
  window.Button_Go->click();  // nothing ticked: the run ends at once
  ui->SetStatusLabel(StatusWindow::Main, "Unable to locate a program to view the log");
  MenuItem(window.MNSetToStart, "CLIENT MATTERS")->trigger();
  EXPECT_EQ(ui->StatusLabel(StatusWindow::Main), "Waiting for user input");
}

using RunInWindow = WindowTest;

// Exit pressed in the middle of the rows: the row in hand completes, and the log says that the
// run was cut short before its summary, which reads as that of a whole run.
TEST_F(RunInWindow, AStopIsLoggedBeforeTheSummary) {
  DmTestServer server;
  ASSERT_TRUE(StartSession(server));
  ui->AddRulesNode(ui->AddRulesNode(-1, "LAWLIB", QString(), true), "CLIENT MATTERS", QString(), true);
  cx.app.CommandLine = "/G";
  cx.dm->Server()->hooks.sqlFault = [&](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (sql.contains("INSERT INTO DOCSADM.SECURITY") && window.Button_Exit->isEnabled()) window.Button_Exit->click();
    return std::nullopt;
  };
  window.Button_Go->click();
  const QString log = cx.LogText();
  const qsizetype stop = log.indexOf(
      QRegularExpression("Stopped on request after 1 of [1-9][0-9]* row\\(s\\) of rule CLIENT MATTERS in library LAWLIB"));
  ASSERT_GE(stop, 0) << log.right(2000).toStdString();
  EXPECT_LT(stop, log.indexOf("Finished processing."));
}

// With Display Errors ticked a library whose rules cannot be loaded is shown in a box; the next
// run's results list tells, beside the rows of its rules, that the cycle head unticked it and why,
// and the run after that that it is skipped.
TEST_F(RunInWindow, ALibraryThatCannotBeOpenedIsShownInABoxAndInTheResults) {
  DmTestServer server;
  ASSERT_TRUE(StartSession(server));
  ASSERT_TRUE(QFile::remove(server.Path() + "/ORALIB.sqlite"));
  ui->AddRulesNode(ui->AddRulesNode(-1, "LAWLIB", QString(), true), "CLIENT MATTERS", QString(), true);
  ui->AddRulesNode(ui->AddRulesNode(-1, "ORALIB", QString(), true), RulesPlaceholder, QString(), false);
  window.CheckDisplayErrors->setChecked(true);
  window.Button_Go->click();
  EXPECT_TRUE(boxes.join("\n").contains("ORALIB.sqlite does not exist")) << boxes.join("\n").toStdString();
  window.Button_Go->click();
  EXPECT_TRUE(ui->ResultText(0, 2).contains("Library ORALIB was unticked after this failure (the run could not switch to it"))
      << ui->ResultText(0, 2).toStdString();
  EXPECT_EQ(ui->ResultText(1, 0), "LAWLIB - CLIENT MATTERS");
  window.Button_Go->click();
  EXPECT_TRUE(ui->ResultText(0, 2).contains("Library ORALIB is skipped: it was unticked after a failure on"));
}

using HelpMenu = WindowTest;

TEST_F(HelpMenu, ReadmeOpensInTheViewerAndTheStatusComesBack) {
  ui->SetStatusLabel(StatusWindow::Main, "Waiting for user input");
  cx.window.startup.ReadmePath = cx.dir.path() + "/missing.txt";
  MNHelpReadme_Click(cx);
  EXPECT_TRUE(os->started.empty());
  cx.window.startup.ReadmePath = cx.dir.path() + "/readme.txt";
  QFile file(cx.window.startup.ReadmePath);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.close();
  MNHelpReadme_Click(cx);
  ASSERT_EQ(os->started.size(), 1u);
  EXPECT_EQ(os->started[0], (QStringList{"/usr/bin/viewer", "-r", cx.window.startup.ReadmePath}));
  EXPECT_EQ(ui->StatusLabel(StatusWindow::Main), "Waiting for user input");
  EXPECT_EQ(ui->MousePointer(), Pointer::Default);
}

TEST_F(HelpMenu, AboutShowsTheVersionLineOnceEachTimeAndAnyTypedKeyDismissesIt) {
  cx.window.startup.DMVersion = "5.3.1 (Release)";
  cx.window.startup.DMPatchLevel = "6";
  cx.window.startup.BuildNumber = "44048";
  cx.window.startup.BuildDateText = "Aug 5, 2020";
  QStringList names;
  window.showAboutModal = [&](TarnSplash& about) {
    names << about.ProductName->text();
    EXPECT_EQ(about.TarnVersion->text(), "Build 44048 - Aug 5, 2020");
    EXPECT_EQ(about.LabelStatus->text(), "Press any key to continue");
    about.show();
    QKeyEvent f1(QEvent::KeyPress, Qt::Key_F1, Qt::NoModifier);
    QApplication::sendEvent(&about, &f1);
    EXPECT_TRUE(about.isVisible());
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    QApplication::sendEvent(&about, &enter);
    EXPECT_FALSE(about.isVisible());
  };
  window.MNHelpAbout->trigger();
  window.MNHelpAbout->trigger();
  ASSERT_EQ(names.size(), 2);
  EXPECT_EQ(names[0], TarnSplash::DesignedProductName + "\r\n(eDOCS 5.3.1build 6)");
  EXPECT_EQ(names[1], names[0]);
}

}  // namespace sw::test
