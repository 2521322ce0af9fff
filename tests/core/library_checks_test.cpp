// What a switch learns about a library and the repairs it makes: server versions, the monitor's
// login, the settings rows, reason 98, validation tables, LAST_UPDATE and the unique-names warning.
#include <gtest/gtest.h>

#include "core/library.h"
#include "core/library_checks.h"
#include "library_session.h"
#include "platform/settings/settings_store.h"

namespace sw {
namespace {

using test::RowOf;

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

// Without " - " the major version is 0 and the minor is read from the third character on.
TEST(ServerVersionText, TextWithoutSeparatorGivesMajorZero) {
  const ServerVersion bare = ParseServerVersion(QStringLiteral("2016 "));
  EXPECT_EQ(bare.major, 0);
  EXPECT_EQ(bare.minor, 16);
  EXPECT_EQ(bare.text, QStringLiteral("Microsoft SQL Server 0 - 16.00"));
}

TEST(SqlLoginValue, SplitsAtTheFirstColonAndTrimsOnlyThen) {
  const QString owner = QStringLiteral("DOCSADM");
  EXPECT_EQ(SplitSqlLogin(QString(), owner).login, owner);
  EXPECT_TRUE(SplitSqlLogin(QString(), owner).password.isEmpty());
  EXPECT_EQ(SplitSqlLogin(QStringLiteral(" monitor "), owner).login, QStringLiteral(" monitor "));
  EXPECT_TRUE(SplitSqlLogin(QStringLiteral(" monitor "), owner).password.isEmpty());
  const SqlLoginParts spaced = SplitSqlLogin(QStringLiteral("mon : secret "), owner);
  EXPECT_EQ(spaced.login, QStringLiteral("mon"));
  EXPECT_EQ(spaced.password, QStringLiteral("secret"));
  EXPECT_EQ(SplitSqlLogin(QStringLiteral("mon:pa:ss"), owner).password, QStringLiteral("pa:ss"));
}

class LibraryChecks : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const QString& lib : {Law, Ora}) {
      test::SetUniqueDocNames(server, lib, 0);
      server.Exec(lib, QStringLiteral("DELETE FROM TARN_SETTINGS WHERE SECTION_KEY IN ('SETTINGS', 'SQL_LOGIN')"));
      SettingsStore().DeleteSetting(ProductName, lib);
    }
    statements = test::StartSession(cx, server);
  }
  void AddSetting(const QString& lib, const QString& key, const QString& text, const QString& number) {
    server.Exec(lib, QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
                                    "VALUES ('QUILLMARK', 'SETTINGS', '%1', %2, %3)")
                         .arg(key, text.isNull() ? QStringLiteral("NULL") : "'" + text + "'", number));
  }
  int Count(const QString& lib, const QString& sqlite) const { return server.Scalar(lib, sqlite).toInt(); }
  // The answer the library's server gives to "SELECT @@VERSION".
  void SetVersionText(const QString& lib, const QString& text) {
    cx.dm = test::Reconfigure(cx, server, [&](dm::DmServerConfig& config) {
      for (auto& l : config.libraries)
        if (l.name == lib) l.versionText = text;
    });
    ASSERT_TRUE(cx.dm);
    test::LogOn(cx);
  }

  test::DmTestServer server;
  test::SwitchContext cx;
  std::shared_ptr<test::StatementRecord> statements;
};

TEST_F(LibraryChecks, VersionAnswerIsParsedOnceAndReadBackTheSame) {
  SetVersionText(Law, QStringLiteral("Microsoft SQL Server 2000 - 8.00.760 (X86) \n\tDec 17 2002"));
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(ConnectLibrary(cx, Law));
    EXPECT_EQ(cx.library.ServerMajorVersion, 2000);
    EXPECT_EQ(cx.library.ServerMinorVersion, 8);
    EXPECT_EQ(cx.library.ServerVersionText, QStringLiteral("Microsoft SQL Server 2000 - 8.00"));
    EXPECT_EQ(cx.library.EngineName, QStringLiteral("MSSQL 2000"));
    EXPECT_EQ(RowOf(cx, Law)[LibServerVersionText], QStringLiteral("Microsoft SQL Server 2000 - 8.00"));
    ASSERT_TRUE(ConnectLibrary(cx, Ora));
  }
  EXPECT_EQ(statements->Count(Law, QStringLiteral("@@VERSION")), 1);
}

// Facts whose answer was empty are not cached: the next switch asks again.
TEST_F(LibraryChecks, EmptyAnswersStayUncachedAndAreAskedAgain) {
  SetVersionText(Law, QStringLiteral("Adaptive Server Enterprise/15.7"));  // no SQL Server prefix
  test::FailStatements(cx, statements, {QStringLiteral("serverproperty"), QStringLiteral("compatibility_level")});
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.library.EngineName, QStringLiteral("MSSQL"));
  const LibraryRow& row = RowOf(cx, Law);
  for (const LibCol col : {LibServerVersionText, LibProductVersion, LibCompatibilityLevel, LibSqlLoginValue})
    EXPECT_TRUE(row[col].isEmpty()) << col;
  EXPECT_EQ(row[LibDateFormatSet], QStringLiteral("SET"));

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  for (const char* fragment : {"@@VERSION", "serverproperty", "compatibility_level", "'SQL_LOGIN'"})
    EXPECT_EQ(statements->Count(Law, QString::fromLatin1(fragment)), 2) << fragment;
  EXPECT_EQ(statements->Count(Law, QStringLiteral("set dateformat mdy")), 1);
}

TEST_F(LibraryChecks, SettingsOfOneLibraryNeverLeakIntoAnother) {
  AddSetting(Law, QStringLiteral("PROFILE_EXCLUDE_COLUMN"), QStringLiteral("ABSTRACT"), QStringLiteral("NULL"));
  AddSetting(Law, QStringLiteral("DEFAULT_WORKSPACE"), QStringLiteral("Matters"), QStringLiteral("NULL"));
  AddSetting(Law, QStringLiteral("TOPLEVELWARNING"), QString(), QStringLiteral("1"));
  AddSetting(Law, QStringLiteral("MAXITEMSTOSORT"), QString(), QStringLiteral("50"));
  AddSetting(Ora, QStringLiteral("maxitemstosort"), QString(), QStringLiteral("7"));  // keys match exactly
  server.Exec(Law, QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL) "
                                  "VALUES ('TARNMONITOR', 'SQL_LOGIN', 'LAWLIB', 'monitor : s3cret')"));

  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.library.ProfileExcludeColumn, QStringLiteral("ABSTRACT"));
  EXPECT_EQ(cx.library.DefaultWorkspace, QStringLiteral("Matters"));
  EXPECT_EQ(cx.library.TopLevelWarning, 1);
  EXPECT_EQ(cx.library.MaxItemsToSort, 50);
  EXPECT_EQ(cx.library.SqlLogin, QStringLiteral("monitor"));
  EXPECT_EQ(cx.library.SqlPassword, QStringLiteral("s3cret"));
  EXPECT_FALSE(cx.LogText().contains(QStringLiteral("s3cret")));

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_TRUE(cx.library.ProfileExcludeColumn.isEmpty());
  EXPECT_TRUE(cx.library.DefaultWorkspace.isEmpty());
  EXPECT_EQ(cx.library.TopLevelWarning, 0);
  EXPECT_EQ(cx.library.MaxItemsToSort, 0);
  EXPECT_EQ(cx.library.SqlLogin, cx.library.DatabaseOwner);
  EXPECT_TRUE(cx.library.SqlPassword.isEmpty());
  EXPECT_EQ(RowOf(cx, Ora)[LibMaxItemsToSort], QStringLiteral("0"));

  statements->items.clear();
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.library.MaxItemsToSort, 50);
  EXPECT_EQ(cx.library.DefaultWorkspace, QStringLiteral("Matters"));
  EXPECT_EQ(cx.library.SqlPassword, QStringLiteral("s3cret"));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("TARN_SETTINGS")), 0);
}

TEST_F(LibraryChecks, LibraryWithoutSettingsTableIsMarkedReadWithoutAQuery) {
  server.Exec(Ora, QStringLiteral("DROP TABLE TARN_SETTINGS"));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_FALSE(cx.library.SettingsTableExists);
  EXPECT_EQ(RowOf(cx, Ora)[LibSettingsRead], QStringLiteral("x"));
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("FROM DOCSADM.TARN_SETTINGS")), 0);
  EXPECT_EQ(cx.library.SqlLogin, QStringLiteral("DOCSADM"));
}

TEST_F(LibraryChecks, SecurityReasonIsAddedOnceWithARealId) {
  for (const QString& lib : {Law, Ora}) server.Exec(lib, QStringLiteral("DELETE FROM SEC_REASON WHERE CODE = 98"));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  for (const QString& lib : {Law, Ora}) {
    const QList<QStringList> rows = server.Rows(lib, QStringLiteral("SELECT DESCRIPTION, SYSTEM_ID FROM SEC_REASON WHERE CODE = 98"));
    ASSERT_EQ(rows.size(), 1) << lib.toStdString();
    EXPECT_EQ(rows[0][0], QStringLiteral("QUILLMARK"));
    EXPECT_GT(rows[0][1].toLongLong(), 0);
  }
  EXPECT_TRUE(cx.library.SecReasonCodeExists);

  // A new run finds the row and adds none.
  test::SwitchContext next;
  auto nextStatements = test::StartSession(next, server);
  ASSERT_TRUE(ConnectLibrary(next, Law));
  EXPECT_EQ(nextStatements->Count(Law, QStringLiteral("SEC_REASON (CODE")), 0);
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98")), 1);
  EXPECT_TRUE(next.library.SecReasonCodeExists);
}

TEST_F(LibraryChecks, SecurityReasonNotInsertedWhenTheCountFailsOrNoIdComes) {
  server.Exec(Law, QStringLiteral("DELETE FROM SEC_REASON WHERE CODE = 98"));
  test::FailStatements(cx, statements, QStringLiteral("SEC_REASON WHERE CODE = 98"));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98")), 0);
  EXPECT_FALSE(cx.library.SecReasonCodeExists);

  test::SwitchContext next;
  test::StartSession(next, server);
  next.dm->Server()->hooks.nextKeyFails = true;
  ASSERT_TRUE(ConnectLibrary(next, Law));
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM SEC_REASON WHERE CODE = 98")), 0);
  EXPECT_FALSE(next.library.SecReasonCodeExists);
  EXPECT_TRUE(next.LogText().contains(QStringLiteral("Unable to retrieve System_ID for inserting new row")));
}

TEST_F(LibraryChecks, MissingReasonTableIsFlaggedWithoutAStatement) {
  server.Exec(Ora, QStringLiteral("DROP TABLE SEC_REASON"));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_FALSE(cx.library.SecReasonTableExists);
  EXPECT_FALSE(cx.library.SecReasonCodeExists);
  EXPECT_EQ(RowOf(cx, Ora)[LibSecReasonCode], QStringLiteral("0"));
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("WHERE CODE = 98")), 0);
}

TEST_F(LibraryChecks, LastUpdateColumnIsAddedRegisteredAndStampedOnce) {
  server.Exec(Law, QStringLiteral("INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (90001, 'QUILLMARK CLIENTS'), (90002, 'ELSEWHERE')"));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_TRUE(cx.library.FolderLastUpdateExists);
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM pragma_table_info('FOLDER') WHERE name = 'LAST_UPDATE'")), 1);
  const QList<QStringList> reg = server.Rows(
      Law, QStringLiteral("SELECT SYSTEM_ID, CREATOR, CMSTYPE, PROMPT, OBJECTTYPE FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND "
                          "COLNAME = 'LAST_UPDATE'"));
  ASSERT_EQ(reg.size(), 1);
  EXPECT_GT(reg[0][0].toLongLong(), 0);
  EXPECT_EQ(reg[0][1], QStringLiteral("DOCSADM"));
  EXPECT_EQ(reg[0][2], QStringLiteral("8"));
  EXPECT_EQ(reg[0][3], QStringLiteral("LAST_UPDATE"));
  EXPECT_EQ(reg[0][4], QStringLiteral("EDIT"));
  EXPECT_FALSE(server.Scalar(Law, QStringLiteral("SELECT LAST_UPDATE FROM FOLDER WHERE DOCNUMBER = 90001")).isEmpty());
  EXPECT_TRUE(server.Scalar(Law, QStringLiteral("SELECT LAST_UPDATE FROM FOLDER WHERE DOCNUMBER = 90002")).isEmpty());

  test::SwitchContext next;
  auto nextStatements = test::StartSession(next, server);
  ASSERT_TRUE(ConnectLibrary(next, Law));
  EXPECT_EQ(nextStatements->Count(Law, QStringLiteral("COLNAME = 'LAST_UPDATE'")), 1);
  EXPECT_EQ(nextStatements->Count(Law, QStringLiteral("ALTER TABLE")), 0);
  EXPECT_TRUE(next.library.FolderLastUpdateExists);
}

TEST_F(LibraryChecks, LastUpdateOnOracleUsesItsDateType) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("ADD LAST_UPDATE DATE NULL")), 1);
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("DATETIME")), 0);
  EXPECT_TRUE(cx.library.FolderLastUpdateExists);
  EXPECT_EQ(Count(Ora, QStringLiteral("SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'")), 1);
}

TEST_F(LibraryChecks, FailedAlterRegistersNothing) {
  test::FailStatements(cx, statements, QStringLiteral("ALTER TABLE"));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_FALSE(cx.library.FolderLastUpdateExists);
  EXPECT_EQ(RowOf(cx, Law)[LibFolderLastUpdate], QStringLiteral("0"));
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM DOCSCOLUMN WHERE COLNAME = 'LAST_UPDATE'")), 0);
}

// A server reports no affected rows for DDL: success is told by the error code alone.
TEST_F(LibraryChecks, AlterReportingNoRowsStillCountsAsDone) {
  cx.dm->Server()->hooks.sqlFault = [](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (!sql.contains(QStringLiteral("ALTER TABLE"))) return std::nullopt;
    return dm::SqlFault{0, 0, QString()};
  };
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_TRUE(cx.library.FolderLastUpdateExists);
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'")), 1);
}

TEST_F(LibraryChecks, ValidationTablesAndColumnFactsAreLearnedOncePerRun) {
  server.Exec(Law, QStringLiteral("INSERT INTO DOCSTABLE (TABLE_NAME, VALIDATION_TABLE) VALUES ('CLIENT', 'Y')"));
  server.Exec(Law, QStringLiteral("DELETE FROM DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = 'SECURITY_LINK'"));
  server.Exec(Law, QStringLiteral("INSERT INTO DOCSCOLUMN (TBNAME, COLNAME) VALUES ('PROFILE', 'SECURITY_LINK')"));
  server.Exec(Law, QStringLiteral("DELETE FROM FORMS WHERE FORM_NAME = 'WORKSPACE_PROF'"));

  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_TRUE(cx.library.LookupSecurityExists);
  EXPECT_TRUE(cx.library.SecurityLinkExists);
  EXPECT_FALSE(cx.library.WorkspaceFormExists);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("VALIDATION_TABLE = 'Y'")), 1);
}

TEST_F(LibraryChecks, ServerAndDatabaseComeFromTheLibrarysOwnEntry) {
  server.Exec(Law, QStringLiteral("UPDATE REMOTE_LIBRARIES SET SERVER_LOCATION = 'SQLHOST', DATABASE_NAME = 'LAWDB' "
                                  "WHERE SYSTEM_ID = 0"));
  ASSERT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM REMOTE_LIBRARIES WHERE SYSTEM_ID = 0")), 1);
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.library.ServerLocation, QStringLiteral("SQLHOST"));
  EXPECT_EQ(cx.library.DatabaseName, QStringLiteral("LAWDB"));
  EXPECT_EQ(RowOf(cx, Law)[LibServerDatabase], QStringLiteral("SQLHOST:LAWDB"));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  EXPECT_NE(cx.library.DatabaseName, QStringLiteral("LAWDB"));
}

TEST_F(LibraryChecks, QuotedIdentifierOffIsAskedEverySwitchAndWarnedOnce) {
  cx.dm = test::Reconfigure(cx, server, [](dm::DmServerConfig& config) {
    for (auto& lib : config.libraries)
      if (lib.name == Law) lib.quotedIdentifierOn = false;
  });
  ASSERT_TRUE(cx.dm);
  test::LogOn(cx);
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  const QString log = cx.LogText();
  EXPECT_EQ(log.count(QStringLiteral("Quoted Identifier for database ") + cx.library.DatabaseName + QStringLiteral(" is \"OFF\"")), 2);
  EXPECT_EQ(log.count(QStringLiteral("SET QUOTED_IDENTIFIER ON")), 1);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("IS_QUOTED_IDENTIFIER_ON")), 2);
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("IS_QUOTED_IDENTIFIER_ON")), 0);
}

TEST_F(LibraryChecks, UniqueNamesWarningOnceWhileThePropertyStaysSet) {
  cx.ui->controls.displayErrors = true;
  test::SetUniqueDocNames(server, Law, -1);
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].title, QStringLiteral("WARNING!"));
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Exclamation);
  EXPECT_TRUE(cx.scripted->shown[0].text.endsWith(QStringLiteral("in library LAWLIB.")));
  EXPECT_EQ(SettingsStore().GetSetting(ProductName, Law, QStringLiteral("UniqueNameWarning")), QStringLiteral("-1"));

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.scripted->shown.size(), 1u);

  // Off at one switch, on again at a later one: warned again.
  test::SetUniqueDocNames(server, Law, 0);
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(SettingsStore().GetSetting(ProductName, Law, QStringLiteral("UniqueNameWarning")), QStringLiteral("0"));
  test::SetUniqueDocNames(server, Law, -1);
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  ASSERT_TRUE(ConnectLibrary(cx, Law));
  EXPECT_EQ(cx.scripted->shown.size(), 2u);
}

}  // namespace
}  // namespace sw
