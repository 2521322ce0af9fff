// The library switch: learning and caching, the no-op and refusal cases, the labels, and that a
// failed switch leaves everything belonging to one library.
#include <gtest/gtest.h>

#include "core/library.h"
#include "core/library_state.h"
#include "core/sql.h"
#include "library_session.h"

namespace sw {
namespace {

using test::RowOf;

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

class LibrarySwitch : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const QString& lib : {Law, Ora}) test::SetUniqueDocNames(server, lib, 0);
    statements = test::StartSession(cx, server);
    cx.ui->controls.libraryMenu = {Law, Ora};
  }
  QString Status() const { return cx.ui->StatusLabel(StatusWindow::Main); }

  test::DmTestServer server;
  test::SwitchContext cx;
  std::shared_ptr<test::StatementRecord> statements;
};

TEST_F(LibrarySwitch, FirstSwitchLearnsSqlServerLibraryAndCachesIt) {
  ASSERT_TRUE(ConnectLibrary(cx, QStringLiteral("  lawlib ")));
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  ASSERT_TRUE(cx.session.pSQL);
  EXPECT_EQ(cx.session.pSQL->DatabaseVendor(), 10);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.library.DatabaseOwner, QStringLiteral("DOCSADM"));
  EXPECT_EQ(cx.library.OuterJoinOperator, QStringLiteral(" = "));
  EXPECT_EQ(cx.library.ConcatOperator, QStringLiteral(" + "));
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_EQ(cx.library.EngineName, QStringLiteral("MSSQL 2012"));  // the test server's version answer
  EXPECT_FALSE(cx.library.ServerProductVersion.isEmpty());
  EXPECT_TRUE(cx.library.LibraryConnected);
  EXPECT_EQ(cx.reloads, 1);
  // The monitor hears from the program after the rules were reloaded.
  EXPECT_GT(cx.scripted->pumpCount, cx.pumpsAtReload);

  EXPECT_EQ(cx.library.LibraryCount, 2);
  const LibraryRow& row = RowOf(cx, Law);
  EXPECT_EQ(row[LibOwner], QStringLiteral("DOCSADM"));
  EXPECT_EQ(row[LibSettingsTable], QStringLiteral("-1"));
  EXPECT_EQ(row[LibSettingsRead], QStringLiteral("x"));
  EXPECT_EQ(row[LibDateFormatSet], QStringLiteral("SET"));
  EXPECT_TRUE(row[LibServerVersionText].startsWith(QStringLiteral("Microsoft SQL Server ")));
  EXPECT_EQ(row[LibProductVersion], cx.library.ServerProductVersion);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("set dateformat mdy")), 1);
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Connected to ") + cx.library.EngineName +
                                    QStringLiteral(" Library Object LAWLIB.")));
}

TEST_F(LibrarySwitch, OracleLibraryGetsOracleFormsAndNoServerFacts) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_FALSE(cx.library.ServerProductVersion.isEmpty());
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(cx.session.DatabaseEngine, 2);
  EXPECT_EQ(cx.library.OuterJoinOperator, QStringLiteral(" (+) = "));
  EXPECT_EQ(cx.library.ConcatOperator, QStringLiteral(" || "));
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("\"NEXT\""));
  EXPECT_EQ(cx.library.EngineName, QStringLiteral("Oracle"));
  EXPECT_EQ(RowOf(cx, Ora)[LibOwner], QStringLiteral("DOCSADM"));
  // Nothing learned on the SQL Server library is taken for a fact of this one.
  EXPECT_TRUE(cx.library.ServerProductVersion.isEmpty());
  EXPECT_TRUE(cx.library.CompatibilityLevel.isEmpty());
  EXPECT_EQ(cx.library.ServerMajorVersion, 0);
  for (const char* fragment : {"@@VERSION", "serverproperty", "QUOTED_IDENTIFIER", "dateformat", "compatibility_level"})
    EXPECT_EQ(statements->Count(Ora, QString::fromLatin1(fragment)), 0) << fragment;
}

TEST_F(LibrarySwitch, LaterSwitchesReadTheCacheInsteadOfAsking) {
  // A login value that is not found is asked for again at a switch in full; give both one.
  for (const QString& lib : {Law, Ora})
    server.Exec(lib, QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) "
                                    "VALUES ('TARNMONITOR', 'SQL_LOGIN', '%1', 'mon:pw')").arg(lib));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  const LibraryRow lawRow = RowOf(cx, Law);
  const LibraryRow oraRow = RowOf(cx, Ora);
  statements->items.clear();
  const QString before = cx.LogText();

  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("\"NEXT\""));

  // Only the quoted-identifier question is asked again, and only of the SQL Server library.
  EXPECT_EQ(statements->Count(Law), 1);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("IS_QUOTED_IDENTIFIER_ON")), 1);
  EXPECT_EQ(statements->Count(Ora), 0);
  EXPECT_EQ(RowOf(cx, Law), lawRow);
  EXPECT_EQ(RowOf(cx, Ora), oraRow);
  EXPECT_EQ(cx.reloads, 4);
  // The object and SQL-object set-up is logged on every switch.
  const QString added = cx.LogText().mid(before.size());
  for (const QString& lib : {Law, Ora}) {
    EXPECT_EQ(added.count(QStringLiteral("Connecting to library ") + lib), 1);
    EXPECT_EQ(added.count(QStringLiteral("Setting Lib object to ") + lib), 1);
    EXPECT_EQ(added.count(QStringLiteral("Setting pSQL library to ") + lib), 1);
  }
  EXPECT_EQ(added.count(QStringLiteral("Setting PCDClient.PCDSQL Object")), 2);
  EXPECT_EQ(added.count(QStringLiteral("Setting pSQL Security Token")), 2);
}

TEST_F(LibrarySwitch, ASwitchBackKeepsItsAnswersUntilAnotherConnectionChangesTheSettings) {
  // Neither library has a login row: the empty answer of the read is kept as well.
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const SqlTransaction group = BeginTransaction(cx);
  ASSERT_TRUE(group.Opened);
  // The first switch's own fix-ups write to the library: the second is in full again.
  for (const QString& lib : {Ora, Law, Ora, Law}) ASSERT_TRUE(ConnectLibrary(cx, lib));
  statements->items.clear();
  for (const QString& lib : {Ora, Law, Ora, Law}) ASSERT_TRUE(ConnectLibrary(cx, lib));
  EXPECT_EQ(statements->Count(Law), 0);
  EXPECT_EQ(statements->Count(Ora), 0);
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_EQ(cx.library.SqlLogin, QStringLiteral("DOCSADM"));
  ASSERT_TRUE(EndTransaction(cx, group, true));

  server.Exec(Law, QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) "
                                  "VALUES ('TARNMONITOR', 'SQL_LOGIN', 'LAWLIB', 'mon:pw')"));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("SQL_LOGIN")), 1);
  EXPECT_EQ(statements->Count(Ora), 0);
  EXPECT_EQ(cx.library.SqlLogin, QStringLiteral("mon"));
  EXPECT_EQ(cx.library.SqlPassword, QStringLiteral("pw"));
  // Outside the transaction the quoted-identifier setting is asked at every switch again.
  EXPECT_EQ(statements->Count(Law, QStringLiteral("IS_QUOTED_IDENTIFIER_ON")), 1);

  // A read that failed is never kept: the next switch asks again.
  server.Exec(Ora, QStringLiteral("UPDATE TARN_SETTINGS SET INT_VAL = 1 WHERE SECTION_KEY = 'SETTINGS'"));
  test::FailStatements(cx, statements, QStringLiteral("SQL_LOGIN"));
  statements->items.clear();
  for (const QString& lib : {Ora, Law, Ora}) ASSERT_TRUE(ConnectLibrary(cx, lib));
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("SQL_LOGIN")), 2);
}

TEST_F(LibrarySwitch, SwitchToTheCurrentLibraryDoesNothing) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  const QString logBefore = cx.LogText();
  statements->items.clear();

  EXPECT_TRUE(ConnectLibrary(cx, QStringLiteral(" LawLib ")));
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_TRUE(statements->items.empty());
  EXPECT_EQ(cx.reloads, 1);
  EXPECT_EQ(cx.LogText(), logBefore);
}

TEST_F(LibrarySwitch, BlankOrUnknownNameKeepsThePreviousLibrary) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  const QString engineName = cx.library.EngineName;
  const QString before = cx.LogText();

  EXPECT_FALSE(ConnectLibrary(cx, QStringLiteral("   ")));
  EXPECT_EQ(Status(), QStringLiteral("Warning: Library name is blank - cannot change connection"));
  EXPECT_FALSE(ConnectLibrary(cx, QStringLiteral("NOSUCH")));
  EXPECT_EQ(Status(), QStringLiteral("Warning: Unable to define library NOSUCH in requisite Library Array"));

  EXPECT_EQ(cx.session.CurrentLibrary, library);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.library.EngineName, engineName);
  EXPECT_EQ(cx.reloads, 1);
  // The unknown name still closes with the library that stays current.
  EXPECT_TRUE(cx.LogText().mid(before.size()).contains(QStringLiteral("Connected to ") + engineName +
                                                       QStringLiteral(" Library Object LAWLIB.")));
}

TEST_F(LibrarySwitch, FailedSessionCheckChangesNothing) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  cx.session.FusionApplication = cx.dm->CreateApplication();  // never logged on
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.reloads, 1);
  EXPECT_FALSE(cx.LogText().contains(QStringLiteral("Connecting to library ORALIB")));
}

TEST_F(LibrarySwitch, FirstSwitchBuildsTheCacheEvenForAnUnknownName) {
  EXPECT_FALSE(ConnectLibrary(cx, QStringLiteral("NOSUCH")));
  EXPECT_EQ(cx.library.LibraryCount, 2);
  EXPECT_EQ(RowOf(cx, Ora)[LibName], Ora);
  EXPECT_FALSE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.reloads, 0);
}

TEST_F(LibrarySwitch, LabelsAndMenuMarksFollowTheSwitch) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const UiControls& ui = cx.ui->controls;
  EXPECT_EQ(ui.libraryName, Law);
  EXPECT_EQ(ui.userName, QStringLiteral("ADMIN"));
  EXPECT_EQ(ui.primaryGroup, cx.session.CurrentLibrary->PrimaryGroup());
  EXPECT_EQ(ui.userNameTip, QStringLiteral("ADMIN primary library is LAWLIB"));
  EXPECT_EQ(ui.libraryMenuChecked, (std::vector<bool>{true, false}));

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(ui.libraryName, Ora);
  EXPECT_EQ(ui.libraryMenuChecked, (std::vector<bool>{false, true}));
}

// A failure late in the switch: everything returns to the library the switch started from.
TEST_F(LibrarySwitch, FailedChecksLeaveTheSessionLibraryWhole) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  const LibraryValues before = cx.library;
  server.Exec(Ora, QStringLiteral("DELETE FROM DM_PROPERTIES WHERE NAME = 'DOCSParms.UniqueDocNames'"));

  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.library.QuotedNextColumn, before.QuotedNextColumn);
  EXPECT_EQ(cx.library.EngineName, before.EngineName);
  EXPECT_EQ(cx.library.SettingsTableExists, before.SettingsTableExists);
  EXPECT_EQ(cx.library.ServerProductVersion, before.ServerProductVersion);
  EXPECT_EQ(cx.ui->controls.libraryName, Law);
  EXPECT_EQ(cx.ui->controls.libraryMenuChecked, (std::vector<bool>{true, false}));
  EXPECT_EQ(cx.reloads, 1);
  EXPECT_EQ(Status(), QStringLiteral("Error: Unable to set library object to ORALIB - library object set to LAWLIB"));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("ConnectLibrary:")));

  // The library state still serves the library named current.
  EXPECT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.session.pSQL, sql);
}

TEST_F(LibrarySwitch, MissingSqlObjectFallsBackWithoutMixing) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  cx.dm->failCreatePcdSql = true;
  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Unable to set SQL object - cannot start ") + ProductName));
}

const QString LibsObjectText = QStringLiteral("Error: The LIBS object is not set - this indicates a problem with how ") +
                               ProductName + QStringLiteral(" accesses the Fusion API on your computer");

TEST_F(LibrarySwitch, FailureWhileChoosingTheObjectFallsBackWithoutAnErrorReport) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  cx.ui->controls.displayErrors = true;
  test::InjectLibraryFaults(cx, {Ora, true, false, {}});
  const QString before = cx.LogText();

  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].text, LibsObjectText);
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Critical);
  EXPECT_EQ(cx.scripted->shown[0].title, cx.app.AppTitle);
  EXPECT_EQ(Status(), QStringLiteral("Error: Unable to set library object to ORALIB - library object set to LAWLIB"));
  EXPECT_FALSE(cx.LogText().mid(before.size()).contains(QStringLiteral("ConnectLibrary:")));
  EXPECT_EQ(cx.session.CurrentLibrary, library);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_EQ(cx.ui->controls.libraryName, Law);
  EXPECT_EQ(cx.reloads, 1);
}

// The session's own library fails: it stays current, but with nothing of the library the switch
// came from, and it is not taken for connected until a switch to it completes.
TEST_F(LibrarySwitch, FailureOnTheSessionLibraryLeavesItUnboundNotMixed) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  test::InjectLibraryFaults(cx, {Law, true, false, {}});
  EXPECT_FALSE(ConnectLibrary(cx, Law));
  EXPECT_EQ(Status(), LibsObjectText);  // the library object is the requested one: nothing more shown
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_FALSE(cx.session.pSQL);
  EXPECT_EQ(cx.session.DatabaseEngine, 0);
  EXPECT_TRUE(cx.library.QuotedNextColumn.isEmpty());
  EXPECT_TRUE(cx.library.EngineName.isEmpty());
  EXPECT_EQ(cx.ui->controls.libraryName, Law);
  EXPECT_EQ(cx.ui->controls.libraryMenuChecked, (std::vector<bool>{true, false}));

  // A statement now reaches the library named current, and only that one.
  statements->items.clear();
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PEOPLE")));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("PEOPLE")), 1);
  EXPECT_EQ(statements->Count(Ora), 0);
  // Having an SQL object again does not make it connected: the next switch runs in full.
  EXPECT_FALSE(ConnectLibrary(cx, Law));
  cx.session.FusionLibraries = cx.session.FusionApplication->Libraries();
  EXPECT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_EQ(cx.reloads, 2);
}

TEST_F(LibrarySwitch, DmFailureAfterTheObjectWasChosenTakesTheErrorPath) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  test::InjectLibraryFaults(cx, {Ora, false, true, {}});
  const QString before = cx.LogText();
  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  const QString added = cx.LogText().mid(before.size());
  EXPECT_TRUE(added.contains(QStringLiteral("ConnectLibrary:")));
  EXPECT_TRUE(added.contains(QStringLiteral("Activate failed")));
  EXPECT_EQ(Status(), QStringLiteral("Error: Unable to set library object to ORALIB - library object set to LAWLIB"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.reloads, 1);
}

// Ending a transaction whose library can no longer be made current: the failed switch falls back
// to the session's own library, and the library that was current before is current again after.
TEST_F(LibrarySwitch, TransactionEndedWhereItsLibraryFailsLeavesTheCallersLibraryCurrent) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const SqlTransaction transaction = BeginTransaction(cx);
  ASSERT_TRUE(transaction.Opened);
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  test::InjectLibraryFaults(cx, {Law, false, true, {}});
  EXPECT_FALSE(EndTransaction(cx, transaction, true));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
}

TEST_F(LibrarySwitch, LibraryObjectNamingAnotherLibraryFallsBack) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  test::InjectLibraryFaults(cx, {Ora, false, false, QStringLiteral("OTHERLIB")});
  const QString before = cx.LogText();
  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_FALSE(cx.LogText().mid(before.size()).contains(QStringLiteral("ConnectLibrary:")));
  EXPECT_EQ(Status(), QStringLiteral("Error: Unable to set library object to ORALIB - library object set to LAWLIB"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_EQ(cx.ui->controls.libraryName, Law);
  EXPECT_EQ(cx.reloads, 1);
}

// The session no longer offers a library that LibraryTable still lists.
TEST_F(LibrarySwitch, LibraryGoneFromTheSessionIsNeverServedByAnother) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const dm::PcdSqlPtr sql = cx.session.pSQL;
  const auto dropOra = [](dm::DmServerConfig& config) {
    std::erase_if(config.libraries, [](const dm::DmLibraryConfig& lib) { return lib.name == Ora; });
  };
  cx.dm = test::Reconfigure(cx, server, dropOra);
  ASSERT_TRUE(cx.dm);
  test::LogOn(cx);
  const QString before = cx.LogText();
  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(Status(), QStringLiteral("Error: Unable to set library object to ORALIB - library object set to LAWLIB"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.session.pSQL, sql);
  EXPECT_FALSE(cx.LogText().mid(before.size()).contains(QStringLiteral("Setting PCDClient.PCDSQL Object")));
  EXPECT_EQ(cx.reloads, 1);
}

TEST(LibrarySwitchFallBack, NoLibraryObjectAtAllReconnectsTheSessionLibrary) {
  test::DmTestServer server;
  test::SwitchContext cx;
  for (const QString& lib : {Law, Ora}) test::SetUniqueDocNames(server, lib, 0);
  test::StartSession(cx, server);
  ASSERT_FALSE(ConnectLibrary(cx, QStringLiteral("NOSUCH")));  // builds the table, nothing current
  cx.dm = test::Reconfigure(cx, server, [](dm::DmServerConfig& config) {
    std::erase_if(config.libraries, [](const dm::DmLibraryConfig& lib) { return lib.name == Ora; });
  });
  ASSERT_TRUE(cx.dm);
  test::LogOn(cx);

  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  // (The log writes the stamp after an "Error:" prefix.)
  const QString log = cx.LogText();
  EXPECT_TRUE(log.contains(QStringLiteral("Unable to set LIB object - cannot continue")));
  EXPECT_TRUE(log.contains(LibsObjectText.mid(QStringLiteral("Error: ").size())));
  EXPECT_TRUE(log.contains(QStringLiteral("Unable to set library object to ORALIB - library object set to LAWLIB")));
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  ASSERT_TRUE(cx.session.pSQL);
  EXPECT_EQ(cx.session.pSQL->DatabaseVendor(), 10);
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_EQ(cx.reloads, 1);
}

TEST(LibrarySwitchFallBack, FailureAwayFromTheSessionLibraryReconnectsIt) {
  test::DmTestServer server({{QStringLiteral("LAWLIB"), 10}, {QStringLiteral("ORALIB"), 2}, {QStringLiteral("THIRD"), 10}});
  test::SwitchContext cx;
  for (const QString& lib : {Law, Ora}) test::SetUniqueDocNames(server, lib, 0);
  test::StartSession(cx, server);
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  server.Exec(QStringLiteral("THIRD"), QStringLiteral("DELETE FROM DM_PROPERTIES"));

  EXPECT_FALSE(ConnectLibrary(cx, QStringLiteral("THIRD")));
  // The session's own library is current, with its own SQL object, engine and dialect.
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  ASSERT_TRUE(cx.session.pSQL);
  EXPECT_EQ(cx.session.pSQL->DatabaseVendor(), 10);
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_TRUE(cx.library.EngineName.startsWith(QStringLiteral("MSSQL")));
  EXPECT_EQ(cx.reloads, 2);
}

TEST_F(LibrarySwitch, EmptyUserNameLeavesTheNewLibraryWithoutAnythingOfThePrevious) {
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  cx.dm = test::Reconfigure(cx, server, [](dm::DmServerConfig& config) {
    for (auto& lib : config.libraries)
      if (lib.name == Ora) lib.user = QString();
  });
  ASSERT_TRUE(cx.dm);
  test::LogOn(cx);

  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(Status(), QStringLiteral("Error: Library UserName not identified"));
  ASSERT_TRUE(cx.session.CurrentLibrary);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
  EXPECT_FALSE(cx.session.pSQL);
  EXPECT_EQ(cx.session.DatabaseEngine, 0);
  EXPECT_TRUE(cx.library.QuotedNextColumn.isEmpty());
  EXPECT_FALSE(cx.library.SettingsTableExists);
  EXPECT_FALSE(cx.library.LibraryConnected);
  EXPECT_EQ(cx.reloads, 1);

  // Not taken for a connected library by the next switch to it, even once a statement has given
  // it an SQL object again.
  RunSQL(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PEOPLE"));
  EXPECT_FALSE(ConnectLibrary(cx, Ora));
  EXPECT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.session.DatabaseEngine, 10);
}

// The owner of a library that another library's REMOTE_LIBRARIES does not list.
TEST(LibrarySwitchOwner, OwnerCachedOnlyWhenFoundForThatLibrary) {
  test::DmTestServer server({{QStringLiteral("LAWLIB"), 10, QStringLiteral("LAWADM")}, {QStringLiteral("NEWLIB"), 10}});
  test::SwitchContext cx;
  for (const QString& lib : {QStringLiteral("LAWLIB"), QStringLiteral("NEWLIB")}) test::SetUniqueDocNames(server, lib, 0);
  server.Exec(Law, QStringLiteral("DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'NEWLIB'"));
  test::StartSession(cx, server);
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_EQ(cx.library.DatabaseOwner, QStringLiteral("LAWADM"));

  ASSERT_TRUE(ConnectLibrary(cx, QStringLiteral("NEWLIB")));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("(NEWLIB) is not properly configured in the REMOTE_LIBRARIES table in "
                                                   "your current library (LAWLIB)")));
  EXPECT_EQ(cx.library.DatabaseOwner, QStringLiteral("DOCSADM"));
  EXPECT_EQ(RowOf(cx, QStringLiteral("NEWLIB"))[LibOwner], QStringLiteral("DOCSADM"));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.library.DatabaseOwner, QStringLiteral("LAWADM"));
}

TEST(LibrarySwitchOwner, UnlistedEverywhereWorksWithTheStandardOwnerUncached) {
  test::DmTestServer server({{QStringLiteral("LAWLIB"), 10, QStringLiteral("LAWADM")}, {QStringLiteral("NEWLIB"), 10}});
  test::SwitchContext cx;
  for (const QString& lib : {QStringLiteral("LAWLIB"), QStringLiteral("NEWLIB")}) {
    test::SetUniqueDocNames(server, lib, 0);
    server.Exec(lib, QStringLiteral("DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'NEWLIB'"));
  }
  test::StartSession(cx, server);
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_TRUE(ConnectLibrary(cx, QStringLiteral("NEWLIB")));
  EXPECT_EQ(cx.library.DatabaseOwner, QStringLiteral("DOCSADM"));
  EXPECT_TRUE(RowOf(cx, QStringLiteral("NEWLIB"))[LibOwner].isEmpty());
}

TEST(LibrarySwitchOwner, OracleOwnerComesFromTheLibraryWhenNotListed) {
  test::DmTestServer server;
  test::SwitchContext cx;
  for (const QString& lib : {Law, Ora}) test::SetUniqueDocNames(server, lib, 0);
  server.Exec(Law, QStringLiteral("DELETE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'"));
  auto statements = test::StartSession(cx, server);
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("USER_TAB_PRIVS")), 1);
  EXPECT_EQ(RowOf(cx, Ora)[LibOwner], QStringLiteral("DOCSADM"));
}

TEST(LibrarySwitchEngine, UnknownEngineIsLabelledAndServedLikeSqlServer) {
  test::DmTestServer server({{QStringLiteral("ZEROLIB"), 0}});
  test::SwitchContext cx;
  test::SetUniqueDocNames(server, QStringLiteral("ZEROLIB"), 0);
  test::StartSession(cx, server);
  ASSERT_TRUE(ConnectLibrary(cx, QStringLiteral("ZEROLIB")));
  EXPECT_EQ(cx.session.DatabaseEngine, 0);
  EXPECT_EQ(RowOf(cx, QStringLiteral("ZEROLIB"))[LibEngineCode], QStringLiteral("0"));
  EXPECT_EQ(cx.library.EngineName, QStringLiteral("*Unknown*"));
  EXPECT_EQ(cx.library.QuotedNextColumn, QStringLiteral("[NEXT]"));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Connected to *Unknown* Library Object ZEROLIB.")));
}

}  // namespace
}  // namespace sw
