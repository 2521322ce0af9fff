#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>

#include "app/handlers.h"
#include "app/version_texts.h"
#include "core/session.h"
#include "app_session.h"
#include "platform/dm/dm_server.h"

namespace sw {
namespace {

using test::ProductSetting;
using test::ProgramEnded;
using test::SaveProductSetting;

const QString TM = QString(QChar(0x2122));

class StartupTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cx.dm = server.Components();
    cx.window.startup.ProgramPath = programFolder.path() + QStringLiteral("/stackwright");
    SaveProductSetting(cx, "General", "LogFile", cx.dir.path() + "/test.log");
  }
  // Start-up with the given command line; true when it ended the program.
  bool Start(const QString& arguments = QString()) {
    cx.window.startup.Arguments = arguments;
    try {
      Form_Load(cx);
    } catch (const ProgramEnded& ended) {
      exitStatus = ended.code;
      return true;
    }
    return false;
  }
  int exitStatus = -1;
  UiControls& Controls() { return cx.ui->controls; }
  RunOptions Options() { return cx.ui->Options(); }
  const std::vector<ShownMessage>& Shown() { return cx.scripted->shown; }
  QString Marker(const QString& key) { return cx.settings->GetSetting("TARN", "General", key, "<none>"); }

  test::IsolatedSettings settings;
  test::DmTestServer server;
  test::ScopedEnv registry{"STACKWRIGHT_REGISTRY", server.Path() + "/registry.ini"};
  QTemporaryDir programFolder;
  test::AppTestContext cx;
};

TEST_F(StartupTest, FirstStartShowsTheDefaultsAndEveryLibraryWithAPlaceholder) {
  ASSERT_FALSE(Start());
  const RunOptions o = Options();
  EXPECT_FALSE(o.loop);
  EXPECT_TRUE(o.addNewDocs);
  EXPECT_FALSE(o.pauseTime);
  EXPECT_TRUE(cx.ui->VerboseLogging());
  EXPECT_FALSE(cx.ui->DisplayErrors());
  EXPECT_EQ(o.loopDelay, "0");
  EXPECT_EQ(o.maxFolders, "0");
  EXPECT_EQ(o.pauseStart, "12:00");
  EXPECT_EQ(o.pauseDayNames,
            QStringList({"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"}));
  EXPECT_EQ(o.pauseDayChecked, std::vector<bool>(7, true));

  const auto& tree = Controls().rulesTree;
  ASSERT_EQ(tree.size(), 4u);
  EXPECT_EQ(tree[0].text, "LAWLIB");
  EXPECT_EQ(tree[0].parent, -1);
  EXPECT_TRUE(tree[0].checked);
  EXPECT_EQ(tree[1].text, "[]");
  EXPECT_FALSE(tree[1].checked);
  EXPECT_EQ(tree[2].text, "ORALIB");
  EXPECT_EQ(tree[3].parent, 2);
  EXPECT_EQ(Controls().libraryMenu, QStringList({"LAWLIB", "ORALIB"}));
}

TEST_F(StartupTest, FirstStartCentresTheWindowAndHandsOverToIt) {
  ASSERT_FALSE(Start());
  const Ui::TwipsRect r = cx.ui->MainGeometry();
  EXPECT_EQ(r.width, 4830);
  EXPECT_EQ(r.height, 9135);
  EXPECT_EQ(r.left, (28800 - 4830) / 2);
  EXPECT_NEAR(r.top, (16200 - 9135) / 2.0, 0.5);
  const Ui::StartupControls& w = cx.ui->startupControls;
  EXPECT_EQ(w.mainCaption, "Quillmark" + TM + " Stackwright For OpenText eDocs");
  EXPECT_EQ(cx.app.AppTitle, "Quillmark" + TM + " Stackwright for OpenText eDOCS");
  EXPECT_TRUE(w.mainVisible);
  EXPECT_TRUE(w.mainEnabled);
  EXPECT_FALSE(w.splashShown);
  EXPECT_FALSE(w.readmeVisible);  // no read-me beside the program
  EXPECT_EQ(w.logDirToolTip, cx.dir.path() + "/test.log");
  EXPECT_EQ(cx.app.StatusOwnerForm, StatusWindow::Main);
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), "Waiting for user input");
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "LAWLIB");
  EXPECT_EQ(cx.session.MachineName, "TESTPC");
  EXPECT_EQ(ProductSetting(cx, "General", "IsRunning"), "0");
  EXPECT_EQ(ProductSetting(cx, "General", "Path"), cx.window.startup.ProgramPath);
}

TEST_F(StartupTest, LogsTheStartAndTheStartedLineWithBuildAndDmVersion) {
  ASSERT_FALSE(Start());
  const StartupState& st = cx.window.startup;
  EXPECT_EQ(st.DMVersion, "5.3.1");
  EXPECT_EQ(st.DMPatchLevel, "6");
  const QString build = ProductName + " Build " + st.BuildNumber + " (" + st.BuildDateText + ")";
  const QString log = test::PlainLog(cx);
  EXPECT_TRUE(log.contains(build + " initiating startup on ")) << log.toStdString();
  EXPECT_TRUE(log.contains(" using DM 5.3.1 patch 6"));
  EXPECT_TRUE(log.contains(build + " Started on "));
  ASSERT_EQ(cx.recording->splashFills.size(), 1u);
  EXPECT_EQ(cx.recording->splashFills[0].dmVersionText, "\r\n(eDOCS 5.3.1 build 6)");
  EXPECT_EQ(cx.recording->splashFills[0].buildLine, "Build " + st.BuildNumber + " - " + st.BuildDateText);
}

TEST_F(StartupTest, WithoutDmVersionTheSplashGetsNothingAndTheStartLineEmptyParts) {
  test::ScopedEnv none("STACKWRIGHT_REGISTRY", programFolder.path() + "/no-registry.ini");
  ASSERT_FALSE(Start());
  ASSERT_EQ(cx.recording->splashFills.size(), 1u);
  EXPECT_EQ(cx.recording->splashFills[0].dmVersionText, "");
  // Both parts empty; the log trims the blank at the line's end.
  EXPECT_TRUE(test::PlainLog(cx).contains(" using DM  patch\r\n"));
}

TEST_F(StartupTest, SavedValuesAreRestoredAndTheirForms) {
  SaveProductSetting(cx, "General", "Loop", "1");
  SaveProductSetting(cx, "General", "LogMethod", "0");
  SaveProductSetting(cx, "General", "ReUseSQL", "1");
  SaveProductSetting(cx, "General", "Loop_Delay", "-15");
  SaveProductSetting(cx, "General", "MaxFolders", "7.6");
  SaveProductSetting(cx, "General", "PauseStart", "9:30");
  SaveProductSetting(cx, "General", "TimeStampLogFile", "-1");
  SaveProductSetting(cx, "PauseTimer", "Sunday", "0");
  SaveProductSetting(cx, "Libraries", "oralib", "0");  // names compare without regard to case
  ASSERT_FALSE(Start());
  const RunOptions o = Options();
  EXPECT_TRUE(o.loop);
  EXPECT_TRUE(o.reuseSql);
  EXPECT_FALSE(cx.ui->VerboseLogging());
  EXPECT_EQ(o.loopDelay, "15");
  EXPECT_EQ(o.maxFolders, "8");
  EXPECT_EQ(o.pauseStart, "9:30");  // shown exactly as stored
  EXPECT_TRUE(cx.ui->TimeStampLogFile());
  EXPECT_FALSE(o.pauseDayChecked[0]);
  EXPECT_TRUE(o.pauseDayChecked[1]);
  EXPECT_TRUE(Controls().rulesTree[0].checked);
  EXPECT_FALSE(Controls().rulesTree[2].checked);
}

TEST_F(StartupTest, SwitchesOverrideTheSavedValues) {
  SaveProductSetting(cx, "General", "CheckAddNewDocs", "0");
  SaveProductSetting(cx, "General", "Loop", "1");
  SaveProductSetting(cx, "General", "LogMethod", "0");
  SaveProductSetting(cx, "General", "LockWorkstation", "1");
  ASSERT_FALSE(Start("/adnf /e /nl /v /nw /w"));
  EXPECT_TRUE(Options().addNewDocs);
  EXPECT_TRUE(cx.ui->DisplayErrors());
  EXPECT_FALSE(Options().loop);
  EXPECT_TRUE(cx.ui->VerboseLogging());
  EXPECT_TRUE(Options().lockWorkstation);  // "/W" wins over "/NW"
  EXPECT_EQ(cx.app.CommandLine, "/ADNF /E /NL /V /NW /W");
}

TEST_F(StartupTest, LockSwitches) {
  ASSERT_FALSE(Start("/K"));
  EXPECT_TRUE(cx.window.UiLocked);
  EXPECT_TRUE(Controls().locked);
}

TEST_F(StartupTest, LowerCaseKxNeverLocksAlthoughItHoldsK) {
  cx.window.UiLocked = true;
  Controls().locked = true;
  ASSERT_FALSE(Start("/kx"));
  EXPECT_FALSE(cx.window.UiLocked);
  EXPECT_FALSE(Controls().locked);
}

struct PlaceCase {
  int savedLeft, savedTop, height;
  int left, top, expectedHeight;  // -1: centred on that axis
};

class WindowPlace : public StartupTest, public ::testing::WithParamInterface<PlaceCase> {};

TEST_P(WindowPlace, SavedPlaceIsKeptUnlessOffTheScreenOrNearItsEdge) {
  const PlaceCase c = GetParam();
  SaveProductSetting(cx, "General", "Screen.Left", QString::number(c.savedLeft));
  SaveProductSetting(cx, "General", "Screen.Top", QString::number(c.savedTop));
  Ui::TwipsRect designed = cx.ui->MainGeometry();
  designed.height = c.height;
  cx.ui->SetMainGeometry(designed);
  ASSERT_FALSE(Start());
  const Ui::TwipsRect r = cx.ui->MainGeometry();
  // Centring uses the window's size as it was before start-up set the width and height.
  EXPECT_EQ(r.left, c.left < 0 ? (28800 - designed.width) / 2 : c.left);
  if (c.top < 0)
    EXPECT_NEAR(r.top, (16200 - c.height) / 2.0, 0.5);
  else
    EXPECT_EQ(r.top, c.top);
  EXPECT_EQ(r.width, 4830);
  EXPECT_EQ(r.height, c.expectedHeight);
}

INSTANTIATE_TEST_SUITE_P(Places, WindowPlace,
                         ::testing::Values(PlaceCase{2000, 800, 9135, 2000, -1, 9135},    // top too high
                                           PlaceCase{21600, 3000, 9135, -1, 3000, 9135},  // left in the last quarter
                                           PlaceCase{2000, 3000, 12000, 2000, 3000, 12000},
                                           PlaceCase{2000, 12150, 7000, 2000, -1, 9135}));

TEST_F(StartupTest, PurgeSwitchDeletesTheConfiguredLogPathItself) {
  const QString base = cx.dir.path() + "/purged.log";
  SaveProductSetting(cx, "General", "LogFile", base);
  QFile f(base);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  ASSERT_FALSE(Start("/P"));
  EXPECT_FALSE(QFileInfo::exists(base));
  EXPECT_EQ(cx.log.LogFileBase, base);
}

TEST_F(StartupTest, WithoutTempTheDefaultLogGoesToTheSystemTemporaryFolderNotTheProgramsFolder) {
  SaveProductSetting(cx, "General", "LogFile", "");  // empty text counts as no path
  SaveProductSetting(cx, "General", "LogMethod", "0");  // keeps the test's lines out of /tmp
  test::ScopedEnv temp("TEMP", "");
  test::ScopedEnv tmpdir("TMPDIR", "");
  ASSERT_FALSE(Start());
  EXPECT_EQ(cx.log.LogFileBase, "/tmp/" + ProductName + ".LOG");
}

TEST_F(StartupTest, ALogThatCannotBeWrittenFallsBackToTheTemporaryFolderAndSaysSoOnce) {
  const QString configured = cx.dir.path() + "/absent/run.log";
  SaveProductSetting(cx, "General", "LogFile", configured);
  QTemporaryDir temporary;
  test::ScopedEnv tmpdir("TMPDIR", temporary.path());
  ASSERT_FALSE(Start());
  const QString fallback = temporary.path() + "/" + ProductName + ".LOG";
  EXPECT_EQ(cx.log.LogFileBase, fallback);
  EXPECT_EQ(cx.ui->startupControls.logDirToolTip, fallback);
  const QString today = QDate::currentDate().toString("yyyyMMdd");
  const QString told = "Warning: the log file " + cx.dir.path() + "/absent/run_" + today + ".log cannot be written (its folder " +
                       cx.dir.path() + "/absent does not exist) - the log goes to " + temporary.path() + "/" + ProductName + "_" +
                       today + ".LOG instead";
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, told);
  QFile log(cx.log.DatedLogFile);
  cx.log.file.Flush();
  ASSERT_TRUE(log.open(QIODevice::ReadOnly));
  EXPECT_TRUE(QString::fromLocal8Bit(log.readAll()).contains(" Started on "));
  // The user's choice stays for the next start, when the folder may be back.
  EXPECT_THROW(EndProgram(cx), ProgramEnded);
  EXPECT_EQ(ProductSetting(cx, "General", "LogFile"), configured);
}

TEST_F(StartupTest, SettingsThatCannotBeSavedAreToldOnce) {
  QFile blocker(cx.dir.path() + "/not-a-folder");
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  test::ScopedEnv config("XDG_CONFIG_HOME", blocker.fileName() + "/config");
  test::ScopedEnv temp("TEMP", cx.dir.path());
  ASSERT_FALSE(Start());
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_EQ(Shown()[0].text, "Warning: the settings cannot be saved to " + blocker.fileName() + "/config/" + ProductName +
                                 ".ini - options changed now will not be kept");
}

// The tools that ask for a library go through the DM client's chooser; the session that
// start-up opens must be given the program's own.
TEST_F(StartupTest, TheSessionStartedUsesTheProgramsLibraryChooser) {
  QStringList offered;
  cx.libraryChooser = [&offered](const QStringList& names) {
    offered = names;
    return int(names.indexOf(QStringLiteral("ORALIB")));
  };
  ASSERT_FALSE(Start());
  ASSERT_TRUE(SelectLibrary(cx));
  EXPECT_EQ(offered, QStringList({"LAWLIB", "ORALIB"}));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "ORALIB");
}

TEST_F(StartupTest, ReadmeBesideTheProgramKeepsTheMenuItem) {
  QFile f(programFolder.path() + "/Quillmark_Stackwork_Readme.txt");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.close();
  ASSERT_FALSE(Start());
  EXPECT_TRUE(cx.ui->startupControls.readmeVisible);
  EXPECT_EQ(cx.window.startup.ReadmePath, f.fileName());
}

TEST_F(StartupTest, RegistrationMarkersAreSetOnceWithoutAQuestion) {
  ASSERT_FALSE(Start());
  EXPECT_EQ(Marker("RegisterAPI"), "-1");
  EXPECT_EQ(Marker("RegisterTarnClasses"), "-1");
  EXPECT_TRUE(test::PlainLog(cx).contains("TarnClasses.Dll is not in"));
  EXPECT_TRUE(Shown().empty());

  test::AppTestContext again;
  again.dm = server.Components();
  again.window.startup.ProgramPath = cx.window.startup.ProgramPath;
  again.window.startup.Arguments = QString();
  SaveProductSetting(again, "General", "LogFile", again.dir.path() + "/test.log");
  Form_Load(again);
  EXPECT_FALSE(test::PlainLog(again).contains("TarnClasses.Dll"));
}

TEST_F(StartupTest, UserWithoutUniversalAccessIsToldAndTheProgramEndsInOrder) {
  server.Exec("LAWLIB", "UPDATE GROUPS SET UNIV_ACCESS = 190");
  ASSERT_TRUE(Start());
  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown()[0].text, "Error: You are not a member of any groups with Universal Access >= 191. This is a "
                             "requirement for running " + ProductName);
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(Shown()[1].text, "Verifying rights for ADMIN in library LAWLIB");
  EXPECT_EQ(Shown()[1].icon, MsgIcon::Critical);
  EXPECT_EQ(cx.exits, 1);
  EXPECT_EQ(exitStatus, ExitStartupFailed);
  // The orderly end ran: it saved the restored values and the library ticks.
  EXPECT_EQ(ProductSetting(cx, "General", "LogMethod"), "1");
  EXPECT_EQ(ProductSetting(cx, "Libraries", "ORALIB"), "-1");
  EXPECT_FALSE(cx.session.FusionApplication);
}

TEST_F(StartupTest, FailedSessionIsToldOnceAndTheProgramEnds) {
  cx.dm->failNewApplication = true;
  cx.dm->failCreateApplication = true;
  ASSERT_TRUE(Start());
  ASSERT_EQ(Shown().size(), 1u);
  EXPECT_TRUE(Shown()[0].text.startsWith("Error: Unable to start the DM 5.3.1 (patch 6) application ("));
  EXPECT_TRUE(Shown()[0].text.endsWith(") - I will end the program now"));
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Critical);
  EXPECT_EQ(cx.exits, 1);
  EXPECT_EQ(exitStatus, ExitStartupFailed);
}

// -1, the store's own true, ticks a check box; a value no check box takes is a start-up error
// that names the setting, its value and what the check box takes, in the log and in the box.
TEST_F(StartupTest, CheckBoxValues) {
  SaveProductSetting(cx, "General", "DisplayErrors", "-1");
  SaveProductSetting(cx, "General", "Loop", "-1");
  ASSERT_FALSE(Start());
  EXPECT_TRUE(cx.ui->DisplayErrors());
  EXPECT_TRUE(Options().loop);

  test::AppTestContext again;
  again.dm = server.Components();
  again.window.startup.ProgramPath = cx.window.startup.ProgramPath;
  again.window.startup.Arguments = QString();
  SaveProductSetting(again, "General", "LogFile", again.dir.path() + "/test.log");
  SaveProductSetting(again, "General", "Loop", "7");
  SaveProductSetting(again, "General", "ReUseSQL", "1");
  EXPECT_THROW(Form_Load(again), ProgramEnded);
  const QString named = "Invalid property value: the setting Loop in section General holds \"7\", but the check box "
                        "\"Loop Continuously\" takes only 0 (clear), 1 or -1 (ticked) or 2 (greyed)";
  const QString log = test::PlainLog(again);
  EXPECT_TRUE(log.contains("Form_Load:\r\nError: #380 was generated by Stackwright\r\n" + named)) << log.toStdString();
  ASSERT_EQ(again.scripted->shown.size(), 1u);
  EXPECT_EQ(again.scripted->shown[0].text, "Retrieving basic configuration settings\n" + named);
  EXPECT_EQ(again.scripted->shown[0].icon, MsgIcon::Critical);
  EXPECT_EQ(ProductSetting(again, "General", "Loop"), "7");
  EXPECT_EQ(ProductSetting(again, "General", "ReUseSQL"), "1");
  EXPECT_EQ(ProductSetting(again, "General", "Screen.Top"), "<none>");
}

TEST_F(StartupTest, UnattendedGoAndExitRunsEveryTickedRuleAndEndsInOrder) {
  ASSERT_TRUE(Start("/G /X"));
  EXPECT_EQ(cx.exits, 1);
  EXPECT_EQ(exitStatus, ExitDone);
  EXPECT_GT(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENT MATTERS'").toInt(), 0);
  EXPECT_GT(server.Scalar("ORALIB", "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = 'CLIENT MATTERS'").toInt(), 0);
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'").toInt(), 0);
  EXPECT_TRUE(Shown().empty());
  EXPECT_EQ(ProductSetting(cx, "General", "IsRunning"), "0");
  EXPECT_EQ(ProductSetting(cx, "Rules", "LAWLIB:CLIENT MATTERS"), "-1");
  EXPECT_TRUE(test::PlainLog(cx).contains(" Ended on "));
}

}  // namespace
}  // namespace sw
