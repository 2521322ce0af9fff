#include <gtest/gtest.h>

#include <optional>
#include <stdexcept>

#include "core/context.h"
#include "core/session.h"
#include "core/sql.h"
#include "platform/dm/dm_server.h"
#include "platform/settings/settings_store.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw {
namespace {

// The session's SQL object with what the emulated server cannot be made to answer (a negative
// row count, a call that fails outright). Records every statement.
class ScriptedPcdSql : public dm::PcdSql {
 public:
  explicit ScriptedPcdSql(dm::PcdSqlPtr inner) : inner_(std::move(inner)) {}
  int SetToken(const QString& token) override { return inner_->SetToken(token); }
  int SetLibrary(const QString& library) override { return inner_->SetLibrary(library); }
  qint64 DatabaseVendor() const override { return inner_->DatabaseVendor(); }
  qint64 Execute(const QString& sql) override {
    executed << sql;
    if (!throwOnExecute.isEmpty()) throw std::runtime_error(throwOnExecute.toStdString());
    return inner_->Execute(sql);
  }
  qint64 SqlErrorCode() const override { return inner_->SqlErrorCode(); }
  qint64 ErrNumber() const override { return inner_->ErrNumber(); }
  QString ErrDescription() const override { return inner_->ErrDescription(); }
  qint64 RowsAffected() const override { return rowsAffected.value_or(inner_->RowsAffected()); }
  qint64 RowCount() const override { return inner_->RowCount(); }
  int ColumnCount() const override { return inner_->ColumnCount(); }
  QString ColumnName(int column) const override { return inner_->ColumnName(column); }
  QString ColumnValue(int column) const override { return inner_->ColumnValue(column); }
  int SetRow(qint64 row) override { return inner_->SetRow(row); }
  int NextRow() override { return inner_->NextRow(); }
  void ReleaseResults() override {
    ++releases;
    inner_->ReleaseResults();
  }
  qint64 NextKey(const QString& key) override { return inner_->NextKey(key); }

  std::optional<qint64> rowsAffected;
  QString throwOnExecute;
  QStringList executed;
  int releases = 0;

 private:
  dm::PcdSqlPtr inner_;
};

// A run on one emulated library of each engine kind: LAWLIB (SQL Server) and ORALIB (Oracle).
class RunSqlTest : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    cx.dm = server.Components();
    test::AttachSession(cx, server, Library());
    cx.library.EngineName = Oracle() ? QStringLiteral("Oracle") : QStringLiteral("SQL Server");
    sql = std::make_shared<ScriptedPcdSql>(cx.session.pSQL);
    cx.session.pSQL = sql;
  }
  bool Oracle() const { return Library() == QLatin1String("ORALIB"); }
  QString Ran() const { return sql->executed.isEmpty() ? QString() : sql->executed.last(); }
  // The statement as a plain SELECT runs on this engine.
  QString Hinted(const QString& text) const { return Oracle() ? text : text + QStringLiteral(" OPTION (MAXDOP 1)"); }
  QStringList LogLines() const {
    QString text = cx.LogText();
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
  }
  bool Logged(const QString& line) const { return LogLines().contains(line); }
  QString Library() const { return QString::fromStdString(GetParam()); }
  // The emulated server answers every statement with this fault instead of running it.
  void InjectFault(qint64 status, qint64 code, const QString& description = QString()) {
    cx.dm->Server()->hooks.sqlFault = [=](const QString&, const QString&) {
      return std::optional<dm::SqlFault>(dm::SqlFault{status, code, description});
    };
  }
  QString PeopleCount() const { return server.Scalar(Library(), QStringLiteral("SELECT COUNT(*) FROM PEOPLE")); }

  test::DmTestServer server;
  test::TestContext<> cx;
  std::shared_ptr<ScriptedPcdSql> sql;
};

INSTANTIATE_TEST_SUITE_P(BothEngines, RunSqlTest, ::testing::Values(std::string("LAWLIB"), std::string("ORALIB")),
                         [](const auto& info) { return info.param; });

TEST_P(RunSqlTest, EmptyStatementIsRefusedWithoutLoggingOrSessionCheck) {
  cx.session.FusionApplication.reset();  // a session check would fail and ask to exit
  EXPECT_FALSE(RunSQL(cx, QString()));
  EXPECT_TRUE(sql->executed.isEmpty());
  EXPECT_TRUE(cx.scripted->shown.empty());
  EXPECT_TRUE(cx.LogText().isEmpty());
}

TEST_P(RunSqlTest, LogsTheEngineLibraryAndFinalStatementBeforeRunning) {
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE")));
  const QString ran = Hinted(QStringLiteral("SELECT USER_ID FROM DOCSADM.PEOPLE"));
  EXPECT_EQ(Ran(), ran);
  const QStringList lines = LogLines();
  const qsizetype at = lines.indexOf(QStringLiteral("Executing ") + cx.library.EngineName +
                                     QStringLiteral(" SQL Instruction on ") + Library());
  ASSERT_GE(at, 0);
  ASSERT_LT(at + 1, lines.size());
  EXPECT_EQ(lines[at + 1], ran);
  EXPECT_GE(sql->releases, 2);  // the previous results are released before the statement runs
}

TEST_P(RunSqlTest, TrailingOpenLiteralIsClosed) {
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE WHERE USER_ID = '")));
  EXPECT_EQ(Ran(), Hinted(QStringLiteral("SELECT USER_ID FROM DOCSADM.PEOPLE WHERE USER_ID = ''")));
  EXPECT_EQ(sql->SqlErrorCode(), 0);
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE WHERE USER_ID='")));
  EXPECT_EQ(Ran(), Hinted(QStringLiteral("SELECT USER_ID FROM DOCSADM.PEOPLE WHERE USER_ID=''")));
  EXPECT_EQ(sql->SqlErrorCode(), 0);
  // A closed literal is left as written.
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'X'")));
  EXPECT_EQ(Ran(), Hinted(QStringLiteral("SELECT USER_ID FROM DOCSADM.PEOPLE WHERE USER_ID = 'X'")));
}

TEST_P(RunSqlTest, DialectRewritesFollowTheEngine) {
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].PEOPLE SET FULL_NAME = FULL_NAME WHERE USER_ID <> 'A' AND USER_ID<>'B'"));
  EXPECT_EQ(Ran(), Oracle() ? QStringLiteral("UPDATE DOCSADM.PEOPLE SET FULL_NAME = FULL_NAME WHERE USER_ID != 'A' AND USER_ID<>'B'")
                            : QStringLiteral("UPDATE DOCSADM.PEOPLE SET FULL_NAME = FULL_NAME WHERE USER_ID <> 'A' AND USER_ID<>'B'"));
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].PEOPLE SET LAST_LOGIN = GETUTCDATE() WHERE 1 = 0"));
  EXPECT_EQ(Ran(), Oracle() ? QStringLiteral("UPDATE DOCSADM.PEOPLE SET LAST_LOGIN = SYSDATE WHERE 1 = 0")
                            : QStringLiteral("UPDATE DOCSADM.PEOPLE SET LAST_LOGIN = GETUTCDATE() WHERE 1 = 0"));
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].PEOPLE SET LAST_LOGIN = SYSDATE WHERE 1 = 0"));
  EXPECT_EQ(Ran(), QStringLiteral("UPDATE DOCSADM.PEOPLE SET LAST_LOGIN = ") +
                       (Oracle() ? QStringLiteral("SYSDATE") : QStringLiteral("GETUTCDATE()")) + QStringLiteral(" WHERE 1 = 0"));
  RunSQL(cx, QStringLiteral("DELETE FROM [OWNER].PEOPLE WHERE FULL_NAME != '' AND USER_ID = '''' "));
  EXPECT_EQ(Ran(), Oracle() ? QStringLiteral("DELETE FROM DOCSADM.PEOPLE WHERE FULL_NAME != ' ' AND USER_ID = '''' ")
                            : QStringLiteral("DELETE FROM DOCSADM.PEOPLE WHERE FULL_NAME != '' AND USER_ID = '''' "));
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].PEOPLE SET FULL_NAME = CAST('' AS VARCHAR(20)) WHERE 1 = 0"));
  EXPECT_EQ(Ran(), Oracle() ? QStringLiteral("UPDATE DOCSADM.PEOPLE SET FULL_NAME = CAST('' AS VARCHAR(20)) WHERE 1 = 0")
                            : QStringLiteral("UPDATE DOCSADM.PEOPLE SET FULL_NAME = CAST(NULL AS VARCHAR(20)) WHERE 1 = 0"));
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].PEOPLE SET LAST_LOGIN = TO_DATE('','DD-MON-RR') WHERE 1 = 0"));
  EXPECT_EQ(Ran(), Oracle() ? QStringLiteral("UPDATE DOCSADM.PEOPLE SET LAST_LOGIN = TO_DATE(NULL,'DD-MON-RR') WHERE 1 = 0")
                            : QStringLiteral("UPDATE DOCSADM.PEOPLE SET LAST_LOGIN = TO_DATE('','DD-MON-RR') WHERE 1 = 0"));
}

// A statement sent as a pattern and its literals reaches the database as its own text would, also
// once the pattern is kept: with literals the engine rewrites, holding placeholders, or a "?" quoted.
TEST_P(RunSqlTest, StatementsOfAPatternRunAsTheirOwnTexts) {
  const QString pattern = QStringLiteral("DELETE FROM [OWNER].PEOPLE WHERE FULL_NAME != ? AND USER_ID = ? AND FULL_NAME <> 'a?b'");
  const QStringList fillings[] = {{"'x'", "'y'"}, {"'x'", "'y'"}, {"'x'", "'y'"}, {"'z'", "'w'"}, {"''", "''''"},
                                  {"''", "''''"}, {"''", "''''"}, {"'[OWNER]'", "'x'"}, {"'MAXDOP'", "'1'"}};
  for (const QStringList& literals : fillings) {
    const dm::FilledSql filled{pattern, literals};
    ASSERT_TRUE(RunSQL(cx, filled));
    const QString ran = Ran();
    ASSERT_TRUE(RunSQL(cx, filled.Text()));
    EXPECT_EQ(ran, Ran()) << literals.join(u' ').toStdString();
  }
}

TEST_P(RunSqlTest, RewritesLeaveQuotedLiteralsAndNamesAlone) {
  // Values and names as the source rows hold them; the same forms outside quotes are rewritten.
  ASSERT_TRUE(RunSQL(cx, QStringLiteral("SELECT 'X <> Y', 'SYSDATE-01', 'CAST('' AS x', 'TRY_CAST', 'GETUTCDATE()', "
                                        "'a != '' b', 'TO_DATE('',', COUNT(*) AS \"TRY_CAST SYSDATE\" FROM [OWNER].PEOPLE "
                                        "WHERE USER_ID <> 'NOBODY' AND [FULL_NAME] <> '' AND LAST_UPDATE < SYSDATE")));
  EXPECT_EQ(sql->SqlErrorCode(), 0) << Ran().toStdString();
  const QStringList values = {"X <> Y", "SYSDATE-01", "CAST(' AS x", "TRY_CAST", "GETUTCDATE()", "a != ' b", "TO_DATE(',"};
  for (int c = 1; c <= values.size(); ++c) EXPECT_EQ(sql->ColumnValue(c), values[c - 1]);
  EXPECT_EQ(sql->ColumnName(8), QStringLiteral("TRY_CAST SYSDATE"));
  EXPECT_TRUE(Ran().endsWith(Oracle() ? QStringLiteral("WHERE USER_ID != 'NOBODY' AND [FULL_NAME] != ' ' AND LAST_UPDATE < SYSDATE")
                                      : QStringLiteral("WHERE USER_ID <> 'NOBODY' AND [FULL_NAME] <> '' AND LAST_UPDATE < GETUTCDATE() "
                                                       "OPTION (MAXDOP 1)")))
      << Ran().toStdString();
}

TEST_P(RunSqlTest, TransactionStandsOrFallsWholeNestedPartsJoinItAndSavepointsFailAlone) {
  const QString before = PeopleCount();
  const auto insert = [&](const QString& user) {
    return RunAndRelease(cx, QStringLiteral("INSERT INTO [OWNER].PEOPLE (SYSTEM_ID, USER_ID) VALUES (") +
                                 QString::number(900000 + user.size()) + QStringLiteral(", '") + user + QStringLiteral("')"));
  };
  // A part that ends without committing takes the whole transaction with it.
  SqlTransaction outer = BeginTransaction(cx);
  ASSERT_TRUE(outer.Opened && outer.Outermost);
  EXPECT_TRUE(insert(QStringLiteral("T")));
  SqlTransaction inner = BeginTransaction(cx);
  EXPECT_TRUE(inner.Opened && !inner.Outermost) << "a nested part joins";
  EXPECT_FALSE(EndTransaction(cx, inner, false));
  EXPECT_FALSE(EndTransaction(cx, outer, true));
  EXPECT_EQ(PeopleCount(), before) << "rolled back on this engine too";
  // Steps of a transaction that all commit stand together.
  outer = BeginTransaction(cx);
  inner = BeginTransaction(cx);
  EXPECT_TRUE(insert(QStringLiteral("TT")));
  EXPECT_TRUE(EndTransaction(cx, inner, true));
  EXPECT_TRUE(EndTransaction(cx, outer, true));
  EXPECT_EQ(PeopleCount().toInt(), before.toInt() + 1);
  EXPECT_TRUE(cx.session.OpenTransactions.empty());
  // A savepoint whose statement fails is undone alone, its earlier work with it.
  outer = BeginTransaction(cx);
  const SqlTransaction step = BeginSavepoint(cx);
  EXPECT_TRUE(insert(QStringLiteral("TTT")));
  EXPECT_FALSE(RunAndRelease(cx, QStringLiteral("INSERT INTO [OWNER].NO_SUCH_TABLE VALUES (1)")));
  EXPECT_FALSE(EndTransaction(cx, step, true));
  EXPECT_TRUE(insert(QStringLiteral("TTTT")) && EndTransaction(cx, outer, true));
  EXPECT_EQ(PeopleCount().toInt(), before.toInt() + 2);
}

TEST_P(RunSqlTest, TryCastStaysOnlyOnNewServersAtHighCompatibility) {
  struct Case {
    QString version, level;
    bool kept;
  };
  const Case cases[] = {{"10.50.6000.34", "130", false}, {"13.0.5026.0", "100", false}, {"13.0.5026.0", "130", true},
                        {"11.0.2100.60", "110", true},   {"", "", false}};
  for (const Case& c : cases) {
    cx.library.ServerProductVersion = c.version;
    cx.library.CompatibilityLevel = c.level;
    RunSQL(cx, QStringLiteral("SELECT TRY_CAST('12' AS INT) FROM [OWNER].PEOPLE"));
    const bool kept = Oracle() || c.kept;  // the Oracle rewrites leave TRY_CAST alone
    EXPECT_EQ(Ran(), Hinted(kept ? QStringLiteral("SELECT TRY_CAST('12' AS INT) FROM DOCSADM.PEOPLE")
                                 : QStringLiteral("SELECT CAST('12' AS INT) FROM DOCSADM.PEOPLE")))
        << c.version.toStdString() << " / " << c.level.toStdString();
  }
}

TEST_P(RunSqlTest, OwnerPlaceholderInAnyCaseAndZkTablesInDbo) {
  ASSERT_TRUE(RunSQL(cx, QStringLiteral("SELECT COUNT(*) FROM [owner].PEOPLE")));
  EXPECT_EQ(Ran(), Hinted(QStringLiteral("SELECT COUNT(*) FROM DOCSADM.PEOPLE")));
  EXPECT_EQ(sql->ColumnValue(1), PeopleCount());
  RunSQL(cx, QStringLiteral("SELECT X FROM [Owner].ZK_TABLE, [OWNER].zk_other, [OWNER].PEOPLE"));
  EXPECT_EQ(Ran(), Hinted(QStringLiteral("SELECT X FROM dbo.ZK_TABLE, DOCSADM.zk_other, DOCSADM.PEOPLE")));
  cx.library.DatabaseOwner = QStringLiteral("LAWADM");
  RunSQL(cx, QStringLiteral("DELETE FROM [OWNER].GROUPS WHERE 1 = 0"));
  EXPECT_EQ(Ran(), QStringLiteral("DELETE FROM LAWADM.GROUPS WHERE 1 = 0"));
}

// Literals carry values as they stand; SQL written with the placeholders inside its own literals
// has them resolved first.
TEST_P(RunSqlTest, PlaceholdersInLiteralsReachTheDatabaseAsWrittenUnlessResolvedFirst) {
  ASSERT_TRUE(RunSQL(cx, QStringLiteral("SELECT '[OWNER]', 'Smith {owner}x', COUNT(*) AS {OWNER} FROM [OWNER].PEOPLE")));
  EXPECT_EQ(sql->ColumnValue(1) + sql->ColumnValue(2) + sql->ColumnName(3), QStringLiteral("[OWNER]Smith {owner}xOWNER"));
  const QString own = QStringLiteral("SELECT '[OWNER].ZK_X', '{owner}' FROM [OWNER].PEOPLE");
  ASSERT_TRUE(RunSQL(cx, ReplaceOwnerPlaceholdersInLiterals(own, cx.library.DatabaseOwner)));
  EXPECT_EQ(sql->ColumnValue(1) + sql->ColumnValue(2), QStringLiteral("dbo.ZK_X[OWNER]"));
}

TEST_P(RunSqlTest, ParallelismHintOnlyOnPlainSelects) {
  RunSQL(cx, QStringLiteral("select USER_ID FROM [OWNER].PEOPLE"));
  EXPECT_EQ(Ran(), Hinted(QStringLiteral("select USER_ID FROM DOCSADM.PEOPLE")));
  RunSQL(cx, QStringLiteral("SELECT INTO X FROM [OWNER].PEOPLE"));
  EXPECT_EQ(Ran(), QStringLiteral("SELECT INTO X FROM DOCSADM.PEOPLE"));
  RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE option (maxdop 1)"));
  EXPECT_EQ(Ran(), QStringLiteral("SELECT USER_ID FROM DOCSADM.PEOPLE option (maxdop 1)"));
  RunSQL(cx, QStringLiteral("\nSELECT USER_ID FROM [OWNER].PEOPLE"));
  EXPECT_EQ(Ran(), QStringLiteral("\nSELECT USER_ID FROM DOCSADM.PEOPLE"));
  RunSQL(cx, QStringLiteral("INSERT INTO [OWNER].GROUPS (GROUP_ID) SELECT USER_ID FROM [OWNER].PEOPLE WHERE 1 = 0"));
  EXPECT_EQ(Ran(), QStringLiteral("INSERT INTO DOCSADM.GROUPS (GROUP_ID) SELECT USER_ID FROM DOCSADM.PEOPLE WHERE 1 = 0"));
}

TEST_P(RunSqlTest, OutcomeLinesForRowsProcessedReturnedAndNothingChanged) {
  const QString success = QStringLiteral("SQL Instruction Executed Successfully on ") + Library();
  const QString people = PeopleCount();
  ASSERT_GT(people.toInt(), 1);

  EXPECT_TRUE(RunSQL(cx, QStringLiteral("UPDATE [OWNER].PEOPLE SET FULL_NAME = FULL_NAME")));
  EXPECT_TRUE(Logged(success + QStringLiteral(" with ") + people + QStringLiteral(" row(s) processed.")));

  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE ORDER BY USER_ID")));
  EXPECT_TRUE(Logged(success + QStringLiteral(" with ") + people + QStringLiteral(" row(s) returned.")));
  EXPECT_EQ(sql->ColumnValue(1), server.Scalar(Library(), QStringLiteral("SELECT USER_ID FROM PEOPLE ORDER BY USER_ID LIMIT 1")));

  EXPECT_TRUE(RunSQL(cx, QStringLiteral("update [OWNER].PEOPLE SET FULL_NAME = 'x' WHERE 1 = 0")));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Instruction Executed with nothing added or changed in library ") + Library()));

  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE WHERE 1 = 0")));
  EXPECT_TRUE(Logged(success));  // no full stop, no count
  EXPECT_FALSE(Logged(success + QStringLiteral(".")));
}

TEST_P(RunSqlTest, CountStatementsAlsoLogTheirResult) {
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PEOPLE")));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Results: ") + PeopleCount()));
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PEOPLE WHERE 1 = 0")));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Results: 0")));
}

TEST_P(RunSqlTest, NegativeRowsAffectedIsLoggedAsItsSize) {
  sql->rowsAffected = -3;
  RunSQL(cx, QStringLiteral("DELETE FROM [OWNER].PEOPLE WHERE 1 = 0"));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Instruction Executed Successfully on ") + Library() + QStringLiteral(" with 3 row(s) processed.")));
}

TEST_P(RunSqlTest, SqlErrorIsLoggedCountsForTheExitStatusAndStillReturnsTrue) {
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT NOPE FROM [OWNER].NO_SUCH_TABLE")));
  const qint64 code = sql->SqlErrorCode();
  EXPECT_NE(code, 0);
  const QString expected = QStringLiteral("SQL Error #") + QString::number(code);
  bool found = false;
  for (const QString& line : LogLines())
    found = found || (line.startsWith(expected) && line.endsWith(QStringLiteral(" encountered in library ") + Library()));
  EXPECT_TRUE(found) << cx.LogText().toStdString();
  EXPECT_EQ(cx.log.ErrorsLogged, 1);
}

TEST_P(RunSqlTest, DriverErrorDescriptionIsCleaned) {
  InjectFault(1, 208, QStringLiteral("  [Microsoft][ODBC SQL Server Driver][SQL Server]Invalid object name 'A]B'. "));
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT X FROM [OWNER].PEOPLE")));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Error #208 (Invalid object name 'A]B'.) encountered in library ") + Library()));
  InjectFault(1, 208);
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT Y FROM [OWNER].PEOPLE")));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Error #208 encountered in library ") + Library()));
}

TEST_P(RunSqlTest, ErrorCodeNineCountsAsSuccess) {
  InjectFault(1, 9);
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE")));
  EXPECT_TRUE(Logged(QStringLiteral("SQL Instruction Executed Successfully on ") + Library() + QStringLiteral(".")));
  for (const QString& line : LogLines()) EXPECT_FALSE(line.startsWith(QStringLiteral("SQL Error #")));
  EXPECT_EQ(cx.log.ErrorsLogged, 0);
}

TEST_P(RunSqlTest, ServerInterfaceMessageIsShownOncePerUserAndAlwaysLogged) {
  cx.settings->DeleteSetting(ProductName, QStringLiteral("Warning"), QStringLiteral("RegisterAPI"));
  InjectFault(1, 0x80010105LL);
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE")));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  const ShownMessage& box = cx.scripted->shown.front();
  EXPECT_EQ(box.icon, MsgIcon::Critical);
  EXPECT_EQ(box.title, cx.app.AppTitle);
  const QStringList lines = box.text.split(QLatin1Char('\n'));
  ASSERT_EQ(lines.size(), 3);
  EXPECT_EQ(lines[0], QStringLiteral("Error: Cannot load the DOCSFusion Server Interface. The DOCSFusion server may not be started."));
  EXPECT_EQ(lines[1], QStringLiteral("This is a known OpenText issue described in SD012671. Use the REGSVR32.EXE utility and "
                                     "register the PCDSERVERIFPS.DLL file in the following location:"));
  EXPECT_EQ(lines[2], QStringLiteral("C:\\Program Files (x86)\\Open Text\\DM API\\PCDSERVERIFPS.DLL"));
  EXPECT_EQ(cx.settings->GetSetting(ProductName, QStringLiteral("Warning"), QStringLiteral("RegisterAPI")), QStringLiteral("-1"));

  // The status alone also names the fault; later occurrences are only logged.
  InjectFault(0x80010105LL, 5);
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT FULL_NAME FROM [OWNER].PEOPLE")));
  EXPECT_EQ(cx.scripted->shown.size(), 1u);
  // A component that hands the code over as a signed 32-bit number means the same fault.
  InjectFault(1, -2147417851LL);
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT USER_ID, FULL_NAME FROM [OWNER].PEOPLE")));
  EXPECT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.LogText().count(QStringLiteral("Cannot load the DOCSFusion Server Interface")), 3);
  for (const QString& line : LogLines()) EXPECT_FALSE(line.startsWith(QStringLiteral("SQL Error #")));
}

TEST_P(RunSqlTest, RejectedCallIsReportedWithTheLastComposedMessage) {
  sql->throwOnExecute = QStringLiteral("The server rejected the call");
  // The report names the statement's announcement also when plain entries are not written.
  for (const bool verbose : {true, false}) {
    cx.ui->controls.verboseLogging = verbose;
    const qsizetype before = cx.LogText().size();
    EXPECT_FALSE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE")));
    const QString log = cx.LogText().mid(before);
    EXPECT_TRUE(log.contains(QStringLiteral("#440 was generated by PCDClient.PCDSQL"))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("The server rejected the call (Executing ") + cx.library.EngineName +
                             QStringLiteral(" SQL Instruction on ") + Library() + QStringLiteral(")")))
        << log.toStdString();
    EXPECT_EQ(log.contains(QStringLiteral("SELECT USER_ID FROM")), verbose) << log.toStdString();
  }
}

TEST_P(RunSqlTest, MissingLibraryObjectIsReportedNotFollowed) {
  cx.session.CurrentLibrary.reset();
  EXPECT_FALSE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE")));
  EXPECT_TRUE(sql->executed.isEmpty());
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("#91 was generated by")));
}

TEST_P(RunSqlTest, LostSqlObjectIsMadeAgainForTheCurrentLibrary) {
  cx.session.pSQL.reset();
  cx.session.DatabaseEngine = 0;
  EXPECT_TRUE(RunSQL(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PEOPLE")));
  ASSERT_TRUE(cx.session.pSQL);
  EXPECT_EQ(cx.session.DatabaseEngine, Oracle() ? 2 : 10);
  EXPECT_EQ(cx.session.pSQL->SqlErrorCode(), 0);
  EXPECT_EQ(cx.session.pSQL->ColumnValue(1), PeopleCount());
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("CheckFusion is Re-Setting PCDClient.PCDSQL Object")));
}

TEST_P(RunSqlTest, SqlObjectThatCannotBeMadeRefusesTheStatement) {
  cx.session.pSQL.reset();
  cx.dm->failCreatePcdSql = true;
  cx.scripted->Answer(MsgResult::No);
  EXPECT_FALSE(RunSQL(cx, QStringLiteral("SELECT USER_ID FROM [OWNER].PEOPLE")));
  EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Unable to set SQL object for RunSQL")));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_TRUE(cx.scripted->shown[0].text.startsWith(QStringLiteral("Error: CheckFusion failed on RunSQL on ")));
}

// The text steps on their own, for the cases a server does not produce.
TEST(SqlText, ErrorDescriptionCleaning) {
  EXPECT_EQ(CleanErrorDescription(QStringLiteral("[A][B][C] Server text")), QStringLiteral("Server text"));
  EXPECT_EQ(CleanErrorDescription(QStringLiteral(" no brackets ")), QStringLiteral("no brackets"));
  EXPECT_EQ(CleanErrorDescription(QStringLiteral("[Driver]Name 'x]y' is bad")), QStringLiteral("Name 'x]y' is bad"));
  EXPECT_EQ(CleanErrorDescription(QStringLiteral("'q' [a] b")), QStringLiteral("'q' [a] b"));
  EXPECT_EQ(CleanErrorDescription(QStringLiteral("[only]")), QString());
}

TEST(SqlText, OwnerReplacementSearchesFromTheStartAndAlwaysEnds) {
  // A replacement that completes a placeholder with the text around it is replaced again.
  EXPECT_EQ(ReplaceOwnerPlaceholders(QStringLiteral("[[OWNER]OWNER].T"), QString()), QStringLiteral(".T"));
  EXPECT_EQ(ReplaceOwnerPlaceholders(QStringLiteral("[[OWNER]NER].T"), QStringLiteral("OW")), QStringLiteral("OW.T"));
  // Owners that could rebuild the placeholder for ever.
  EXPECT_EQ(ReplaceOwnerPlaceholders(QStringLiteral("[OWNER].T, [OWNER].U"), QStringLiteral("[owner]")),
            QStringLiteral("[owner].T, [owner].U"));
  EXPECT_EQ(ReplaceOwnerPlaceholders(QStringLiteral("OWNER[OWN[OWNER]"), QStringLiteral("ER]WNER][OWN[O")),
            QStringLiteral("OWNER[OWN") + QStringLiteral("ER]WNER][OWN[O"));
  EXPECT_EQ(ReplaceOwnerPlaceholders(QStringLiteral("[OWNER].ZK_T {Owner}"), QStringLiteral("X")),
            QStringLiteral("dbo.ZK_T [OWNER]"));
}

TEST(SqlText, RewriteLoopsAndTrailingRepair) {
  EXPECT_EQ(RewriteDialect(QStringLiteral("a <>  <> b"), 5, {}, {}), QStringLiteral("a !=  != b"));
  EXPECT_EQ(RewriteDialect(QStringLiteral("x != '' != '' "), 2, {}, {}), QStringLiteral("x != ' ' != ' ' "));
  // A pattern's literal matches only a whole literal of the text; unreadable text stays as written.
  EXPECT_EQ(RewriteDialect(QStringLiteral("x != ''' ' AND y = '''' "), 2, {}, {}), QStringLiteral("x != ''' ' AND y = '''' "));
  EXPECT_EQ(RewriteDialect(QStringLiteral("x <> 'open"), 2, {}, {}), QStringLiteral("x <> 'open"));
  EXPECT_EQ(RewriteDialect(QStringLiteral("x <> y"), 6, {}, {}), QStringLiteral("x <> y"));
  EXPECT_EQ(RepairTrailingApostrophe(QStringLiteral("A = ' ")), QStringLiteral("A = ' "));
  EXPECT_EQ(RepairTrailingApostrophe(QStringLiteral("A = '")), QStringLiteral("A = ''"));
  EXPECT_EQ(RepairTrailingApostrophe(QStringLiteral("A LIKE 'X ='")), QStringLiteral("A LIKE 'X ='"));  // a value's own "="
  EXPECT_EQ(RepairTrailingApostrophe(QStringLiteral("A = 'B' AND C = '")), QStringLiteral("A = 'B' AND C = ''"));
  EXPECT_EQ(AddParallelismHint(QStringLiteral("SELECT "), 10), QStringLiteral("SELECT  OPTION (MAXDOP 1)"));
  EXPECT_EQ(AddParallelismHint(QStringLiteral("SELECT\tX"), 10), QStringLiteral("SELECT\tX"));
  // Any case; a letter outside ASCII counts by what it upper-cases to (a long s to an S).
  EXPECT_EQ(AddParallelismHint(QStringLiteral("select into t"), 10), QStringLiteral("select into t"));
  EXPECT_EQ(AddParallelismHint(QStringLiteral("\u017Felect x"), 10), QStringLiteral("\u017Felect x OPTION (MAXDOP 1)"));
  // The hint already there in mixed case is kept; other words with an X are no hint.
  for (const QString& held : {QStringLiteral("SELECT MAX(X) FROM T OPTION (MaXdOp 1)"), QStringLiteral("SELECT x option (maxdop 1)")})
    EXPECT_EQ(AddParallelismHint(held, 10), held);
  EXPECT_EQ(AddParallelismHint(QStringLiteral("SELECT MAX(X) FROM XT"), 10), QStringLiteral("SELECT MAX(X) FROM XT OPTION (MAXDOP 1)"));
}

}  // namespace
}  // namespace sw
