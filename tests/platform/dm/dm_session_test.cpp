#include <gtest/gtest.h>

#include "core/context.h"
#include "platform/dm/dm_server.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw::dm {
namespace {

TEST(DmComponents, CreatesTheObjectsByTheirIdentifiersAndCanBeMadeToRefuse) {
  test::DmTestServer server;
  auto components = server.Components();
  EXPECT_TRUE(components->NewApplication());
  EXPECT_TRUE(components->CreateApplication());
  EXPECT_FALSE(components->CreateApplication("Other.Application"));
  EXPECT_TRUE(components->CreatePcdSql());
  EXPECT_FALSE(components->CreatePcdSql("Other.SQL"));
  EXPECT_TRUE(components->CreateSessionHelper());
  EXPECT_FALSE(components->CreateSessionHelper()->Describe().isEmpty());
  components->failNewApplication = true;
  components->failCreatePcdSql = true;
  components->failCreateBrowser = true;
  EXPECT_FALSE(components->NewApplication());
  EXPECT_TRUE(components->CreateApplication()) << "each way fails on its own";
  EXPECT_FALSE(components->CreatePcdSql());
  EXPECT_FALSE(components->CreateBrowser());
}

TEST(DmApplication, LogsOnAndListsTheLibrariesInAFixedOrder) {
  test::DmTestServer server;
  auto app = server.Components()->CreateApplication();
  EXPECT_TRUE(app->Token().isEmpty());
  ASSERT_TRUE(app->CurrentLibrary()) << "the starting library is known before the log-on";
  EXPECT_EQ(app->CurrentLibrary()->Name(), "LAWLIB");
  app->Login(0);
  EXPECT_FALSE(app->Token().isEmpty());
  auto libs = app->Libraries();
  ASSERT_EQ(libs->Count(), 2);
  EXPECT_EQ(libs->Item(1)->Name(), "LAWLIB");
  EXPECT_EQ(libs->Item(2)->Name(), "ORALIB");
  EXPECT_FALSE(libs->Item(0));
  EXPECT_FALSE(libs->Item(3));
  EXPECT_EQ(libs->Item(1), app->CurrentLibrary()) << "one object per library for the whole session";
  EXPECT_EQ(app->DefaultLibrary()->Name(), "LAWLIB");
  // A library's search flag is kept on its object.
  libs->Item(2)->SetSearchFlag(1);
  EXPECT_EQ(app->Libraries()->Item(2)->SearchFlag(), 1);
}

TEST(DmApplication, AFailedLogOnLeavesTheTokenEmpty) {
  test::DmTestServer server;
  server.Components()->Server()->hooks.loginFails = true;
  auto app = server.Components()->CreateApplication();
  app->Login(0);
  EXPECT_TRUE(app->Token().isEmpty());
}

TEST(DmApplication, ChooseLibraryAsksTheChooserAndCancelGivesNone) {
  test::DmTestServer server;
  auto app = server.Components()->CreateApplication();
  EXPECT_FALSE(app->ChooseLibrary()) << "no chooser: nothing chosen";
  QStringList offered;
  int answer = 1;
  app->SetLibraryChooser([&](const QStringList& names) {
    offered = names;
    return answer;
  });
  auto chosen = app->ChooseLibrary();
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->Name(), "ORALIB");
  EXPECT_EQ(offered, QStringList({"LAWLIB", "ORALIB"}));
  answer = -1;
  EXPECT_FALSE(app->ChooseLibrary());
  answer = 7;
  EXPECT_FALSE(app->ChooseLibrary());
}

TEST(DmApplication, EveryApplicationMadeAfterwardsKeepsTheComponentsChooser) {
  test::DmTestServer server;
  auto components = server.Components();
  components->libraryChooser = [](const QStringList& names) { return int(names.indexOf("ORALIB")); };
  for (auto app : {components->CreateApplication(), components->NewApplication()}) {
    auto chosen = app->ChooseLibrary();
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->Name(), "ORALIB");
  }
}

TEST(DmLibrary, KnowsTheUserTheGroupAndThePrimaryLibrary) {
  test::DmTestServer server;
  auto libs = server.Components()->CreateApplication()->Libraries();
  auto law = libs->Item(1);
  auto ora = libs->Item(2);
  EXPECT_EQ(law->UserName(), "ADMIN");
  EXPECT_EQ(law->PrimaryGroup(), "DOCS_SUPERVISORS");
  EXPECT_TRUE(law->IsPrimary());
  EXPECT_FALSE(ora->IsPrimary());
  EXPECT_FALSE(law->Description().isEmpty());
  EXPECT_EQ(ora->PrimaryGroup(), "DOCS_SUPERVISORS");
  server.Exec("ORALIB", "UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_USERS') "
                        "WHERE USER_ID = 'ADMIN'");
  EXPECT_EQ(ora->PrimaryGroup(), "DOCS_USERS");
  EXPECT_EQ(law->PrimaryGroup(), "DOCS_SUPERVISORS");
  // A read refused while a failed transaction waits for its end is asked again once it ended,
  // by the library and by its connection's memory of columns.
  auto own = server.Components()->Server()->Connection("ORALIB", nullptr);
  ASSERT_TRUE(own);
  ASSERT_TRUE(own->Query("BEGIN").ok);
  ASSERT_FALSE(own->Query("INSERT OR ROLLBACK INTO GROUPS (SYSTEM_ID) SELECT SYSTEM_ID FROM GROUPS").ok);
  EXPECT_EQ(ora->PrimaryGroup(), "");
  EXPECT_FALSE(own->HasColumn("GROUPS", "GROUP_ID"));
  own->Query("COMMIT");
  EXPECT_EQ(ora->PrimaryGroup(), "DOCS_USERS");
  EXPECT_TRUE(own->HasColumn("GROUPS", "GROUP_ID"));
}

TEST(DmLibrary, RightsAreReadFromTheLibraryAtEveryLook) {
  test::DmTestServer server;
  auto law = server.Components()->CreateApplication()->Libraries()->Item(1);
  auto props = law->Properties();
  ASSERT_GE(props->Count(), 4);
  for (const char* name : {"User.ManageRootFolders", "User.CreateFolder", "User.SaveToRemoteLibrary"}) {
    ASSERT_TRUE(props->Item(QString(name))) << name;
    EXPECT_EQ(props->Item(QString(name))->Value().toLongLong(), -1) << name;
  }
  EXPECT_EQ(props->Item("DOCSParms.UniqueDocNames")->Value().toLongLong(), 0);
  EXPECT_FALSE(props->Item("No.Such.Property"));
  EXPECT_EQ(props->Item(qint64(1))->Name(), "User.ManageRootFolders");
  // Asked again after a write to another table, the library answers from what it read; another
  // connection's write to the properties shows at the next look.
  auto own = server.Components()->Server()->Connection("LAWLIB", nullptr);
  ASSERT_TRUE(own);
  ASSERT_EQ(own->Query("UPDATE PEOPLE SET FULL_NAME = 'Someone Else' WHERE USER_ID = 'ADMIN'").changes, 1);
  EXPECT_EQ(law->Properties(), props);
  server.Exec("LAWLIB", "UPDATE DM_PROPERTIES SET VALUE = '0' WHERE NAME = 'User.CreateFolder'");
  EXPECT_EQ(law->Properties()->Item("User.CreateFolder")->Value().toLongLong(), 0);
  EXPECT_EQ(law->Properties()->Item("DOCSParms.LibraryName")->Value().toString(), "LAWLIB");
}

TEST(DmLibrary, ALibraryCanHaveNoUser) {
  std::vector<test::DmLibrarySpec> specs{{"ONLY", 10, "DOCSADM", false}};
  test::DmTestServer server(specs, "CLERK");
  auto lib = server.Components()->CreateApplication()->Libraries()->Item(1);
  EXPECT_EQ(lib->UserName(), "CLERK");
  dm::DmServerConfig config = server.Components()->Server()->Config();
  config.libraries[0].user = QString();
  QString error;
  ASSERT_TRUE(DmServer::WriteConfig(server.Path(), config, &error)) << error.toStdString();
  auto reopened = DmServer::Open(server.Path(), &error);
  ASSERT_TRUE(reopened);
  EXPECT_EQ(reopened->LibraryUser("ONLY"), "");
  EXPECT_EQ(reopened->User(), "CLERK");
}

TEST(AttachSession, PutsABoundSessionOnTheContext) {
  test::DmTestServer server;
  test::TestContext<> cx;
  test::AttachSession(cx, server, "oralib");
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), "ORALIB");
  EXPECT_EQ(cx.session.DatabaseEngine, 2);
  EXPECT_EQ(cx.library.DatabaseOwner, "DOCSADM");
  EXPECT_FALSE(cx.session.FusionSecurityToken.isEmpty());
  EXPECT_EQ(cx.session.FusionLibraries->Count(), 2);
  ASSERT_EQ(cx.session.pSQL->Execute("SELECT LIBRARY_NAME FROM REMOTE_LIBRARIES WHERE SYSTEM_ID = 0"), 0);
  EXPECT_EQ(cx.session.pSQL->ColumnValue(1), "ORALIB");
}

}  // namespace
}  // namespace sw::dm
