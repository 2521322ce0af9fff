// Table presence in the current library, the flags of the system's own tables, and the owner
// look-up in REMOTE_LIBRARIES before a switch.
#include <gtest/gtest.h>

#include "core/library.h"
#include "library_session.h"

namespace sw {
namespace {

using test::RowOf;

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

TEST(TablePresenceQuery, EachEngineAsksItsOwnCatalogue) {
  const QString oracle = TablePresenceQuery(2, QStringLiteral("tarn_x"));
  EXPECT_TRUE(oracle.contains(QStringLiteral("ALL_TABLES WHERE TABLE_NAME = 'tarn_x'")));
  const QString sqlServer = TablePresenceQuery(10, QStringLiteral("TARN_X"));
  EXPECT_TRUE(sqlServer.contains(QStringLiteral("object_id('[OWNER].TARN_X')")));
  EXPECT_TRUE(sqlServer.contains(QStringLiteral("sysstat & 0xf = 3")));
  const QString unknown = TablePresenceQuery(0, QStringLiteral("tarn_x"));
  EXPECT_TRUE(unknown.contains(QStringLiteral("DOCSTABLE WHERE UPPER(TABLE_NAME) = 'TARN_X'")));
  // A name never closes the literal it is written into.
  EXPECT_TRUE(TablePresenceQuery(2, QStringLiteral("A'B")).contains(QStringLiteral("'A''B'")));
}

class TablePresence : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const QString& lib : {Law, Ora}) test::SetUniqueDocNames(server, lib, 0);
    statements = test::StartSession(cx, server);
  }
  test::DmTestServer server;
  test::SwitchContext cx;
  std::shared_ptr<test::StatementRecord> statements;
};

TEST_F(TablePresence, FindsTablesOnBothEnginesAndKeepsItsSqlOutOfTheLog) {
  for (const QString& lib : {Law, Ora}) {
    ASSERT_TRUE(ConnectLibrary(cx, lib));
    const QString before = cx.LogText();
    EXPECT_TRUE(CheckForTable(cx, QStringLiteral("TARN_SETTINGS"))) << lib.toStdString();
    EXPECT_FALSE(CheckForTable(cx, QStringLiteral("TARN_NOSUCH"))) << lib.toStdString();
    EXPECT_TRUE(cx.ui->VerboseLogging());
    const QString added = cx.LogText().mid(before.size());
    EXPECT_TRUE(added.contains(QStringLiteral("Checking for TARN_NOSUCH Table in library ") + lib));
    EXPECT_TRUE(added.contains(QStringLiteral("TARN_NOSUCH not found in library ") + lib));
    EXPECT_FALSE(added.contains(QStringLiteral("Executing")));
  }
  cx.ui->SetVerboseLogging(false);
  CheckForTable(cx, QStringLiteral("TARN_SETTINGS"));
  EXPECT_FALSE(cx.ui->VerboseLogging());
}

TEST_F(TablePresence, MissingProgramTablesAreReportedByTheirFlags) {
  server.Exec(Law, QStringLiteral("DROP TABLE TARN_STACKWRIGHT"));
  server.Exec(Ora, QStringLiteral("DROP TABLE NEEDS_FOLDERING"));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_FALSE(cx.library.StackwrightTableExists);
  EXPECT_TRUE(cx.library.NeedsFolderingExists);
  EXPECT_TRUE(cx.library.SettingsTableExists);
  EXPECT_EQ(RowOf(cx, Law)[LibStackwrightTable], QStringLiteral("0"));
  EXPECT_EQ(RowOf(cx, Law)[LibNeedsFoldering], QStringLiteral("-1"));

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_TRUE(cx.library.StackwrightTableExists);
  EXPECT_FALSE(cx.library.NeedsFolderingExists);

  // Read back from the cache, and the missing table is named again on every switch.
  const QString before = cx.LogText();
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_FALSE(cx.library.StackwrightTableExists);
  EXPECT_TRUE(cx.library.NeedsFolderingExists);
  const QString added = cx.LogText().mid(before.size());
  EXPECT_TRUE(added.contains(QStringLiteral("TARN_STACKWRIGHT table does not exist in library LAWLIB")));
  EXPECT_FALSE(added.contains(QStringLiteral("Checking for ")));
}

TEST_F(TablePresence, OwnerCheckForTheCurrentLibraryRunsNothing) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  statements->items.clear();
  EXPECT_TRUE(CheckSQLSettings(cx, Law));
  EXPECT_TRUE(statements->items.empty());
}

TEST_F(TablePresence, OwnerCheckForAnUnlistedLibraryReportsAndKeepsTheOwner) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  server.Exec(Law, QStringLiteral("DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'"));
  bool found = true;
  EXPECT_TRUE(CheckSQLSettings(cx, Ora, &found));
  EXPECT_FALSE(found);
  EXPECT_EQ(cx.library.DatabaseOwner, QStringLiteral("DOCSADM"));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("The library you are attempting to connect to (ORALIB)")));
}

TEST_F(TablePresence, OwnerCheckTakesTheTargetsOwner) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  server.Exec(Law, QStringLiteral("UPDATE REMOTE_LIBRARIES SET OWNER = ' ORAOWNER ' WHERE LIBRARY_NAME = 'ORALIB'"));
  bool found = false;
  EXPECT_TRUE(CheckSQLSettings(cx, Ora, &found));
  EXPECT_TRUE(found);
  EXPECT_EQ(cx.library.DatabaseOwner, QStringLiteral("ORAOWNER"));
}

TEST_F(TablePresence, OwnerCheckWithoutAnyRemoteLibraryFails) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  server.Exec(Law, QStringLiteral("DELETE FROM REMOTE_LIBRARIES"));
  EXPECT_FALSE(CheckSQLSettings(cx, Ora));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Unable to obtain results from SQL statement in library LAWLIB")));
}

}  // namespace
}  // namespace sw
