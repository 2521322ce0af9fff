#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "platform/dm/dm_create.h"
#include "platform/dm/dm_server.h"
#include "support/dm_fixture.h"

namespace sw::dm {
namespace {

TEST(DmCreate, EachLibraryListsEveryLibraryWithItsOwnEntryFirst) {
  test::DmTestServer server;
  for (const char* lib : {"LAWLIB", "ORALIB"}) {
    const auto rows = server.Rows(lib, "SELECT SYSTEM_ID, LIBRARY_NAME, DATABASE_ENGINE, OWNER FROM REMOTE_LIBRARIES ORDER BY SYSTEM_ID");
    ASSERT_EQ(rows.size(), 2) << lib;
    EXPECT_EQ(rows[0][0], "0");
    EXPECT_EQ(rows[0][1], lib);
    EXPECT_EQ(rows[0][3], "DOCSADM");
  }
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT DATABASE_ENGINE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'"), "2");
  EXPECT_EQ(server.Scalar("ORALIB", "SELECT DATABASE_ENGINE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LAWLIB'"), "10");
}

TEST(DmCreate, TheAdministratorMayRunTheProgram) {
  test::DmTestServer server;
  // The start-up's rights check: a group with universal access of at least 191.
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = "
                                    "(SELECT SYSTEM_ID FROM PEOPLE WHERE UPPER(USER_ID) = 'ADMIN') AND GROUPS_SYSTEM_ID IN "
                                    "(SELECT SYSTEM_ID FROM GROUPS WHERE UNIV_ACCESS >= 191)"),
            "1");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT G.GROUP_ID FROM PEOPLE P JOIN GROUPS G ON G.SYSTEM_ID = P.PRIMARY_GROUP "
                                    "WHERE P.USER_ID = 'ADMIN'"),
            "DOCS_SUPERVISORS");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID <> "
                                    "(SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'ADMIN') AND GROUPS_SYSTEM_ID IN "
                                    "(SELECT SYSTEM_ID FROM GROUPS WHERE UNIV_ACCESS >= 191)"),
            "0")
      << "ordinary users have no universal access";
}

TEST(DmCreate, DemoDocumentsAreProfiledToMattersOfTheirClients) {
  test::DmTestServer server;
  EXPECT_GT(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PROFILE").toInt(), 0);
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PROFILE P JOIN MATTER M ON M.SYSTEM_ID = P.MATTER "
                                    "WHERE P.CLIENT_ID <> M.CLIENT_ID OR P.CLIENT_ID IS NULL"),
            "0");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION "
                                    "WHERE A.APPLICATION = 'FOLDER'"),
            "0");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER NOT IN (SELECT DOCNUMBER FROM VERSIONS)"), "0");
  // The column paths of the rule resolve through DOCSCOLUMN.
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT FTBNAME FROM DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'"), "MATTER");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT FTBNAME FROM DOCSCOLUMN WHERE COLNAME = 'CLIENT_ID' AND TBNAME = 'MATTER'"), "CLIENT");
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"), "0");
}

TEST(DmCreate, TheDemoRuleFilesMattersUnderTheirClients) {
  test::DmTestServer server;
  const auto rows = server.Rows("ORALIB", "SELECT SECTION_KEY, CHAR_VAL, INT_VAL FROM TARN_SETTINGS "
                                          "WHERE MASTER_KEY = 'QUILLMARK' AND SUB_KEY = 'CLIENT MATTERS' ORDER BY SECTION_KEY");
  QMap<QString, QStringList> byKey;
  for (const auto& r : rows) byKey[r[0]] = r;
  ASSERT_TRUE(byKey.contains("RULE_TEMPLATE"));
  EXPECT_EQ(byKey["RULE_TEMPLATE"][1], "%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID%");
  EXPECT_EQ(byKey["RULE_CREATE_PUBLIC_FOLDERS"][2], "1");
  EXPECT_EQ(byKey["RULE_CREATE_PUBLIC_FOLDERS"][1], "") << "number fields leave CHAR_VAL NULL";
}

TEST(DmCreate, ALibraryWithoutDemoDataHasOnlyWhatEveryLibraryHas) {
  std::vector<test::DmLibrarySpec> specs{{"BARE", 10, "DOCSADM", false}, {"BARE2", 5, "OWNER2", false}};
  test::DmTestServer server(specs);
  EXPECT_EQ(server.Scalar("BARE", "SELECT COUNT(*) FROM PROFILE"), "0");
  EXPECT_EQ(server.Scalar("BARE", "SELECT COUNT(*) FROM TARN_SETTINGS"), "0");
  EXPECT_EQ(server.Scalar("BARE", "SELECT COUNT(*) FROM PEOPLE"), "1");
  EXPECT_EQ(server.Scalar("BARE", "SELECT OWNER FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'BARE2'"), "OWNER2");
  EXPECT_EQ(server.Components()->Server()->FindLibrary("bare2")->engine, 5);
}

TEST(DmCreate, ServerIniRoundTrips) {
  QTemporaryDir dir;
  DmServerConfig config;
  config.user = "CLERK";
  config.startLibrary = "B";
  config.defaultLibrary = "A";
  DmLibraryConfig a;
  a.name = "A";
  a.file = "a.sqlite";
  a.engine = 2;
  a.versionText = "Oracle";
  DmLibraryConfig b;
  b.name = "B";
  b.file = "b.sqlite";
  b.compatibilityLevel = 130;
  b.quotedIdentifierOn = false;
  b.user = QString("OTHER");
  config.libraries = {a, b};
  QString error;
  ASSERT_TRUE(DmServer::WriteConfig(dir.path(), config, &error));
  auto read = DmServer::ReadConfig(dir.path(), &error);
  ASSERT_TRUE(read) << error.toStdString();
  ASSERT_EQ(read->libraries.size(), 2u);
  EXPECT_EQ(read->user, "CLERK");
  EXPECT_EQ(read->startLibrary, "B");
  EXPECT_EQ(read->libraries[0].engine, 2);
  EXPECT_FALSE(read->libraries[0].user.has_value());
  EXPECT_EQ(read->libraries[1].compatibilityLevel, 130);
  EXPECT_FALSE(read->libraries[1].quotedIdentifierOn);
  EXPECT_EQ(read->libraries[1].user.value_or(""), "OTHER");
  EXPECT_FALSE(DmServer::ReadConfig(dir.path() + "/missing", &error));
}

TEST(DmCreate, TheRegistryFileHoldsTheDmVersionKeys) {
  test::DmTestServer server;
  QFile file(server.Path() + "/" + RegistryFileName());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QString text = QString::fromUtf8(file.readAll());
  EXPECT_TRUE(text.contains("[HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS]\n"));
  EXPECT_TRUE(text.contains("\nCurrentVersion="));
  EXPECT_TRUE(text.contains("\nPatchLevel="));
}

}  // namespace
}  // namespace sw::dm
