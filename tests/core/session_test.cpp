#include <gtest/gtest.h>

#include <QDate>

#include "core/context.h"
#include "core/session.h"
#include "platform/dm/dm_server.h"
#include "platform/os/os.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw {
namespace {

class NoLibraries : public dm::DmLibraries {
 public:
  qint64 Count() const override { return 0; }
  dm::DmLibraryPtr Item(qint64) override { return nullptr; }
};

class NamedOs : public Os {
 public:
  explicit NamedOs(QString name) : name_(std::move(name)) {}
  QString ComputerName() const override { return name_; }

 private:
  QString name_;
};


void WithoutUserIn(dm::DmServerConfig& config, const QString& library) {
  for (auto& lib : config.libraries)
    if (lib.name == library) lib.user = QString();
}

const QString CannotStart = QStringLiteral(" - cannot start Quillmark Stackwright for OpenText eDOCS");

const QString ExitQuestion = QStringLiteral("\n\nDo you want to exit Quillmark Stackwright for OpenText eDOCS now?");

class CheckFusionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    cx.dm = server.Components();
    test::AttachSession(cx, server, QStringLiteral("LAWLIB"));
  }
  QString Status() const { return cx.ui->StatusLabel(StatusWindow::Main); }
  const std::vector<ShownMessage>& Shown() const { return cx.scripted->shown; }

  test::DmTestServer server;
  test::TestContext<> cx;
};

TEST_F(CheckFusionTest, UsableSessionPassesWithoutMessages) {
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  EXPECT_TRUE(CheckFusion(cx, QStringLiteral("Button_Go")));
  EXPECT_TRUE(CheckFusion(cx, QStringLiteral("RunSQL")));
  EXPECT_EQ(cx.session.pSQL, sql);  // a SQL object that is there is not made again
  EXPECT_TRUE(Shown().empty());
  EXPECT_FALSE(cx.LogText().contains(QStringLiteral("Error")));
}

TEST_F(CheckFusionTest, MissingApplicationFailsAndNoKeepsTheProgramRunning) {
  cx.session.FusionApplication.reset();
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("Button_Go")));
  EXPECT_EQ(Status(), QStringLiteral("Error: Fusion object is not set for Button_Go"));
  ASSERT_EQ(Shown().size(), 1u);
  const ShownMessage& box = Shown()[0];
  EXPECT_EQ(box.icon, MsgIcon::Exclamation);
  EXPECT_EQ(box.buttons, MsgButtons::YesNo);
  EXPECT_EQ(box.title, cx.app.AppTitle);
  EXPECT_TRUE(box.text.startsWith(QStringLiteral("Error: CheckFusion failed on Button_Go on ") + LongDateText(QDate::currentDate()) +
                                  QStringLiteral(" at ")))
      << box.text.toStdString();
  EXPECT_TRUE(box.text.endsWith(ExitQuestion));
  EXPECT_TRUE(cx.LogText().contains(box.text.left(box.text.size() - ExitQuestion.size()).mid(6).trimmed()));
  EXPECT_EQ(cx.ends, 0);
  EXPECT_FALSE(cx.session.FusionApplication);  // only the library switch may make it again
}

TEST_F(CheckFusionTest, YesEndsTheProgram) {
  cx.session.FusionApplication.reset();
  cx.scripted->Answer(MsgResult::Yes);
  EXPECT_THROW(CheckFusion(cx, QStringLiteral("Button_Go")), test::CoreProgramEnded);
  EXPECT_EQ(cx.ends, 1);
}

TEST_F(CheckFusionTest, OnlyTheExactActiveStatusFailsSilently) {
  cx.session.FusionApplication.reset();
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("ActiveStatus")));
  EXPECT_TRUE(Shown().empty());
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("activestatus")));
  EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(CheckFusionTest, LibrarySwitchMakesTheApplicationAgainInAnyCase) {
  cx.session.FusionApplication.reset();
  cx.session.FusionSecurityToken.clear();
  EXPECT_TRUE(CheckFusion(cx, QStringLiteral("connectlibrary")));
  ASSERT_TRUE(cx.session.FusionApplication);
  EXPECT_FALSE(cx.session.FusionSecurityToken.isEmpty());
  EXPECT_EQ(cx.session.FusionSecurityToken, cx.session.FusionApplication->Token());
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("CheckFusion is Re-Creating Fusion Application Object")));
  EXPECT_TRUE(log.contains(QStringLiteral("Logging in to the DM Server for connectlibrary")));
  EXPECT_TRUE(Shown().empty());
}

TEST_F(CheckFusionTest, ApplicationThatCannotBeMadeIsReported) {
  cx.session.FusionApplication.reset();
  cx.dm->failCreateApplication = true;
  cx.scripted->Answer(MsgResult::OK);
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("ConnectLibrary")));
  ASSERT_EQ(Shown().size(), 2u);
  EXPECT_EQ(Shown()[0].text, QStringLiteral("Error: Unable to set FUSION object for ConnectLibrary"));
  EXPECT_EQ(Shown()[0].icon, MsgIcon::Critical);
  EXPECT_TRUE(Shown()[1].text.startsWith(QStringLiteral("Error: CheckFusion failed on ConnectLibrary on ")));
}

TEST_F(CheckFusionTest, SessionWithoutTokenFails) {
  cx.session.FusionApplication = cx.dm->CreateApplication();  // never logged on
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("SyncData")));
  EXPECT_EQ(Status(), QStringLiteral("Error: Fusion object security token is blank for SyncData"));
  EXPECT_EQ(Shown().size(), 1u);
}

TEST_F(CheckFusionTest, MissingLibrariesAreTakenFromTheApplication) {
  cx.session.FusionLibraries.reset();
  EXPECT_TRUE(CheckFusion(cx, QStringLiteral("CreateFolder")));
  ASSERT_TRUE(cx.session.FusionLibraries);
  EXPECT_EQ(cx.session.FusionLibraries->Count(), 2);
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Resetting Libs Object for CreateFolder")));
}

TEST_F(CheckFusionTest, SessionWithoutLibrariesAlwaysFails) {
  cx.session.FusionLibraries = std::make_shared<NoLibraries>();
  cx.scripted->Answer(MsgResult::No);
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("RunSQL")));
  EXPECT_EQ(Status(), QStringLiteral("Error: Libs object returns no libraries for RunSQL"));
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("ConnectLibrary")));
  EXPECT_EQ(Shown().size(), 2u);
  EXPECT_FALSE(CheckFusion(cx, QStringLiteral("ActiveStatus")));
  EXPECT_EQ(Shown().size(), 2u);
}

TEST_F(CheckFusionTest, RunSqlMakesTheSqlObjectAgainForTheCurrentLibrary) {
  cx.session.pSQL.reset();
  cx.session.DatabaseEngine = 0;
  EXPECT_TRUE(CheckFusion(cx, QStringLiteral("RunSQL")));
  ASSERT_TRUE(cx.session.pSQL);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Setting pSQL DST for RunSQL")));
  EXPECT_TRUE(log.contains(QStringLiteral("Setting pSQL library to LAWLIB for RunSQL")));
  EXPECT_EQ(cx.session.pSQL->Execute(QStringLiteral("SELECT COUNT(*) FROM DOCSADM.PEOPLE")), 0);
  EXPECT_EQ(cx.session.pSQL->ColumnValue(1), server.Scalar(QStringLiteral("LAWLIB"), QStringLiteral("SELECT COUNT(*) FROM PEOPLE")));
}

TEST_F(CheckFusionTest, OtherCallersDoNotMakeTheSqlObject) {
  cx.session.pSQL.reset();
  EXPECT_TRUE(CheckFusion(cx, QStringLiteral("Button_Go")));
  EXPECT_FALSE(cx.session.pSQL);
}

TEST(MachineName, ComesFromTheSystemAndIsEmptyWhenItDoesNotFit) {
  test::TestContext<> cx;
  cx.os = std::make_unique<NamedOs>(QStringLiteral("NODE-7"));
  EXPECT_EQ(GetMachineName(cx), QStringLiteral("NODE-7"));
  cx.os = std::make_unique<NamedOs>(QString(300, QLatin1Char('x')));
  EXPECT_EQ(GetMachineName(cx), QString());
}

TEST(SessionTexts, EnglishLongDateAndTwelveHourTime) {
  EXPECT_EQ(LongDateText(QDate(2026, 12, 8)), QStringLiteral("Tuesday, December 8, 2026"));
  EXPECT_EQ(AmPmTimeText(QTime(21, 5, 3)), QStringLiteral("09:05:03 PM"));
  EXPECT_EQ(AmPmTimeText(QTime(0, 30, 0)), QStringLiteral("12:30:00 AM"));
  EXPECT_EQ(LongTimeText(QTime(9, 5, 3)), QStringLiteral("9:05:03 AM"));
}

TEST(DefaultEnd, WritesTheEndLineAndExits) {
  test::TestContext<Context> cx;
  test::DmTestServer server;
  cx.dm = server.Components();
  test::AttachSession(cx, server, QStringLiteral("LAWLIB"));
  EXPECT_EXIT(cx.EndProgram(), ::testing::ExitedWithCode(0), "");
  EXPECT_TRUE(cx.LogText().contains(ProductName + QStringLiteral(" Ended on ") + LongDateText(QDate::currentDate())));
}

class StartFusionTest : public ::testing::Test {
 protected:
  void SetUp() override { cx.dm = server.Components(); }
  bool LogHasErrors() const { return cx.LogText().contains(QStringLiteral("Error"), Qt::CaseInsensitive); }

  test::DmTestServer server;
  test::TestContext<> cx;
};

TEST_F(StartFusionTest, StartsTheSessionAndConnectsTheStartingLibrary) {
  cx.ui->SetMousePointer(Pointer::Default);
  EXPECT_TRUE(StartFusion(cx));
  ASSERT_TRUE(cx.session.FusionApplication);
  ASSERT_TRUE(cx.session.FusionLibraries);
  EXPECT_EQ(cx.session.FusionLibraries->Count(), 2);
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), QStringLiteral("LAWLIB"));
  EXPECT_TRUE(cx.session.pSQL);
  EXPECT_TRUE(cx.session.SessionHelper);
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Logging on to DM Session library LAWLIB")));
  EXPECT_TRUE(log.contains(QStringLiteral("Fusion started with connection to LAWLIB")));
  EXPECT_FALSE(log.contains(QStringLiteral("Starting DM Browser Object")));
  EXPECT_FALSE(LogHasErrors()) << log.toStdString();
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
  EXPECT_GT(cx.scripted->pumpCount, 0);
}

TEST_F(StartFusionTest, FailingFirstWayFallsBackSilentlyToTheSecond) {
  cx.dm->failNewApplication = true;
  EXPECT_TRUE(StartFusion(cx));
  EXPECT_FALSE(cx.session.FusionSecurityToken.isEmpty());
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), QStringLiteral("LAWLIB"));
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Starting DM Browser Object")));
  EXPECT_TRUE(log.contains(QStringLiteral("Logging in to the Fusion Server")));
  EXPECT_FALSE(LogHasErrors()) << log.toStdString();
}

TEST_F(StartFusionTest, NoApplicationEitherWayEndsInTheErrorReport) {
  cx.dm->failNewApplication = true;
  cx.dm->failCreateApplication = true;
  cx.ui->SetMousePointer(Pointer::Default);
  EXPECT_FALSE(StartFusion(cx));
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("StartFusion:")));
  EXPECT_TRUE(log.contains(QStringLiteral("#429 was generated by"))) << log.toStdString();
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
}

TEST_F(StartFusionTest, NoBrowserOnTheSecondWayEndsInTheErrorReport) {
  cx.dm->failNewApplication = true;
  cx.dm->failCreateBrowser = true;
  EXPECT_FALSE(StartFusion(cx));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("#429 was generated by")));
  EXPECT_FALSE(cx.LogText().contains(QStringLiteral("Creating Fusion Application Object")));
}

TEST_F(StartFusionTest, SessionWithoutTokenCannotStart) {
  cx.dm->failNewApplication = true;
  cx.dm->Server()->hooks.loginFails = true;
  EXPECT_FALSE(StartFusion(cx));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].text, QStringLiteral("Error: Unable to set Fusion Security Token") + CannotStart);
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Critical);
  EXPECT_EQ(cx.scripted->shown[0].title, cx.app.AppTitle);
  EXPECT_FALSE(cx.session.FusionApplication);
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("StartFusion:")));
  EXPECT_TRUE(log.contains(QStringLiteral("An unknown error occurred during this task!")));
}

TEST_F(StartFusionTest, SessionWithoutStartingLibraryCannotStart) {
  cx.dm = server.Reconfigured([](dm::DmServerConfig& c) { c.startLibrary.clear(); });
  ASSERT_TRUE(cx.dm);
  EXPECT_FALSE(StartFusion(cx));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].text, QStringLiteral("Error: Unable to identify CurrentLibrary object") + CannotStart);
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Critical);
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Starting DM Browser Object")));  // the first way gave up on it
  EXPECT_FALSE(cx.session.CurrentLibrary);
}

TEST_F(StartFusionTest, FailedConnectionEndsInTheFailurePathWithoutItsOwnBox) {
  cx.dm = server.Reconfigured([](dm::DmServerConfig& c) { WithoutUserIn(c, QStringLiteral("LAWLIB")); });
  ASSERT_TRUE(cx.dm);
  EXPECT_FALSE(StartFusion(cx));
  for (const ShownMessage& box : cx.scripted->shown) EXPECT_FALSE(box.text.endsWith(CannotStart)) << box.text.toStdString();
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Connecting to current library LAWLIB")));
  EXPECT_TRUE(log.contains(QStringLiteral("StartFusion:")));
  EXPECT_FALSE(log.contains(QStringLiteral("Fusion started with connection to")));
}

class SelectLibraryTest : public ::testing::Test {
 protected:
  void Attach(test::DmTestServer& server) {
    cx.dm = server.Components();
    test::AttachSession(cx, server, QStringLiteral("LAWLIB"));
    cx.session.FusionApplication->SetLibraryChooser([this](const QStringList& names) {
      ++chooserShown;
      offered = names;
      return answer;
    });
  }
  test::TestContext<> cx;
  int chooserShown = 0;
  int answer = -1;
  QStringList offered;
};

TEST_F(SelectLibraryTest, OneLibraryNeedsNoChoice) {
  test::DmTestServer server({{QStringLiteral("LAWLIB")}});
  Attach(server);
  EXPECT_TRUE(SelectLibrary(cx));
  EXPECT_EQ(chooserShown, 0);
  EXPECT_TRUE(cx.scripted->shown.empty());
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), QStringLiteral("LAWLIB"));
}

TEST_F(SelectLibraryTest, CancelKeepsTheCurrentLibrary) {
  test::DmTestServer server;
  Attach(server);
  answer = -1;
  EXPECT_FALSE(SelectLibrary(cx));
  EXPECT_EQ(chooserShown, 1);
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].text, QStringLiteral("Selection canceled"));
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Information);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), QStringLiteral("LAWLIB"));
}

TEST_F(SelectLibraryTest, ChosenLibraryIsConnected) {
  test::DmTestServer server;
  Attach(server);
  answer = 1;
  EXPECT_TRUE(SelectLibrary(cx));
  ASSERT_EQ(offered.size(), 2);
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), offered[1]);
  EXPECT_TRUE(cx.scripted->shown.empty());
}

TEST_F(SelectLibraryTest, LibraryThatCannotBeConnectedIsReported) {
  test::DmTestServer server;
  auto components = server.Reconfigured([](dm::DmServerConfig& c) { WithoutUserIn(c, QStringLiteral("ORALIB")); });
  ASSERT_TRUE(components);
  Attach(server);
  cx.dm = components;
  cx.session.FusionApplication = components->CreateApplication();
  cx.session.FusionApplication->Login(0);
  cx.session.FusionLibraries = cx.session.FusionApplication->Libraries();
  cx.session.FusionApplication->SetLibraryChooser([](const QStringList& names) { return int(names.indexOf(QStringLiteral("ORALIB"))); });
  EXPECT_FALSE(SelectLibrary(cx));
  ASSERT_FALSE(cx.scripted->shown.empty());
  EXPECT_EQ(cx.scripted->shown.back().text, QStringLiteral("Error: Unable to connect to library ORALIB"));
  EXPECT_EQ(cx.scripted->shown.back().icon, MsgIcon::Critical);
}

}  // namespace
}  // namespace sw
