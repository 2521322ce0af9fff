// The statements the system sends, one per distinct shape, each adapted to the library's engine
// as the system's statement runner adapts it (owner placeholder, SQL Server or Oracle rewrites,
// the parallelism hint) and run through the DM SQL object on both demo libraries. A statement
// that fails here marks a gap of the emulator, not of the statement.
#include <gtest/gtest.h>

#include <QDate>
#include <QLocale>

#include "core/sql.h"
#include "platform/dm/dm_api.h"
#include "platform/dm/dm_server.h"
#include "support/dm_fixture.h"
#include "support/template_check.h"

namespace sw::dm {
namespace {

// What the system's statement runner makes of a neutral statement before it executes it; the
// corpus holds no values, and its statements that name the owner inside a literal resolve it first.
QString Adapted(const QString& sql, qint64 engine, const QString& productVersion, const QString& compatibility) {
  const QString own = ReplaceOwnerPlaceholdersInLiterals(sql, QStringLiteral("DOCSADM"));
  QString text = RewriteDialect(RepairTrailingApostrophe(own), engine, productVersion, compatibility);
  return AddParallelismHint(ReplaceOwnerPlaceholders(text, QStringLiteral("DOCSADM")), engine);
}

class SqlCorpusTest : public ::testing::TestWithParam<const char*> {
 protected:
  SqlCorpusTest() {
    app = server.Components()->CreateApplication();
    app->Login(0);
    for (qint64 i = 1; i <= app->Libraries()->Count(); ++i)
      if (app->Libraries()->Item(i)->Name() == Library()) lib = app->Libraries()->Item(i);
    sql = server.Components()->CreatePcdSql();
    sql->SetToken(app->Token());
    sql->SetLibrary(Library());
    engine = sql->DatabaseVendor();
    own = Library();
    other = oracle() ? QStringLiteral("LAWLIB") : QStringLiteral("ORALIB");
    server.Components()->Server()->hooks.sqlFault = [this](const QString& library, const QString& text) {
      sent.emplace_back(library, text);
      return std::optional<SqlFault>();
    };
  }
  // Every statement sent reads the same through the template cache as on its own.
  void TearDown() override { EXPECT_EQ(test::TemplateMismatches(*server.Components()->Server(), sent), QStringList()); }

  QString Library() const { return QString::fromLatin1(GetParam()); }
  bool oracle() const { return IsOracleEngine(engine); }

  // Runs one statement and insists that it executed.
  void Run(const QString& neutral) {
    const QString text = Adapted(neutral, engine, QStringLiteral("11.0.2100.60"), QStringLiteral("110"));
    const qint64 status = sql->Execute(text);
    EXPECT_EQ(status, 0) << Library().toStdString() << ": " << text.toStdString() << "\n  -> "
                         << sql->ErrDescription().toStdString();
    EXPECT_EQ(sql->SqlErrorCode(), 0) << text.toStdString();
  }
  QString First(const QString& neutral) {
    Run(neutral);
    return sql->ColumnValue(1);
  }
  qint64 Rows(const QString& neutral) {
    Run(neutral);
    return sql->RowCount();
  }
  qint64 Changed(const QString& neutral) {
    Run(neutral);
    return sql->RowsAffected();
  }
  QString Scalar(const QString& sqlite) { return server.Scalar(Library(), sqlite); }
  QString Next() const { return oracle() ? QStringLiteral("\"NEXT\"") : QStringLiteral("[NEXT]"); }
  static QString N(qint64 n) { return QString::number(n); }

  DmFolderPtr Folder(const QString& name, bool isPublic) {
    DmFolderPtr f = lib->NewFolder();
    f->SetFolderName(name);
    f->SetPublic(isPublic);
    EXPECT_TRUE(f->Save(3)) << f->Error.ErrDescription.toStdString();
    return f;
  }

  test::DmTestServer server;
  DmApplicationPtr app;
  DmLibraryPtr lib;
  PcdSqlPtr sql;
  qint64 engine = 0;
  QString own, other;
  std::vector<std::pair<QString, QString>> sent;  // library, statement
};

TEST_P(SqlCorpusTest, LibrarySwitchAndSchemaChecks) {
  if (oracle()) {
    EXPECT_EQ(First("SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'TARN_SETTINGS'"), "1");
    EXPECT_EQ(First("SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'"), "DOCSADM");
  } else {
    EXPECT_EQ(First("select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].TARN_SETTINGS') \r\nand sysstat & 0xf = 3 "), "1");
    EXPECT_EQ(First("select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].TARN_PROXY') \r\nand sysstat & 0xf = 3 "), "0");
    EXPECT_TRUE(First("SELECT @@VERSION").startsWith("Microsoft SQL Server "));
    Run("set dateformat mdy");
    EXPECT_EQ(First("select serverproperty('ProductVersion')"), "11.0.2100.60");
    EXPECT_EQ(First("SELECT compatibility_level FROM sys.databases WHERE name = '" + own + "'"), "110");
    EXPECT_EQ(First("SELECT IS_QUOTED_IDENTIFIER_ON FROM SYS.DATABASES DB WHERE DB.NAME = '" + own + "'"), "1");
  }
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].DOCSTABLE WHERE UPPER(TABLE_NAME) = 'PROFILE'"), "1");
  EXPECT_EQ(Rows("SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME IN ('" +
                 own + "', '" + other + "')"),
            2);
  EXPECT_EQ(First("SELECT DATABASE_ENGINE FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own + "'"), N(engine));
  EXPECT_EQ(First("SELECT DATABASE_ENGINE FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + other + "'"),
            oracle() ? "10" : "2");
  EXPECT_EQ(First("SELECT OWNER FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own + "'"), "DOCSADM");
  EXPECT_EQ(First("SELECT DATABASE_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own + "'"), own);
  EXPECT_EQ(First("SELECT LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, SERVER_LOCATION FROM [OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0"),
            own);
  EXPECT_EQ(Rows("SELECT CHAR_VAL FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'TARNMONITOR' AND SECTION_KEY = 'SQL_LOGIN' AND SUB_KEY = '" +
                 own + "'"),
            0);
  EXPECT_EQ(Rows("SELECT SUB_KEY, CHAR_VAL, INT_VAL FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY = 'SETTINGS'"), 2);
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE CODE = 98"), "0");
  EXPECT_EQ(Changed("INSERT INTO [OWNER].SEC_REASON (CODE, DESCRIPTION, SYSTEM_ID) VALUES(98,'QUILLMARK'," + N(sql->NextKey("SYSTEMKEY")) + ")"), 1);
  EXPECT_EQ(Rows("SELECT TABLE_NAME, SYSTEM_ID FROM [OWNER].DOCSTABLE WHERE VALIDATION_TABLE = 'Y' ORDER BY TABLE_NAME"), 4);
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = 'SECURITY_LINK'"), "1");
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].FORMS WHERE FORM_NAME = 'WORKSPACE_PROF' AND FORM_TYPE = 'P'"), "1");

  // The folder's last-update column and its registration.
  DmFolderPtr stamped = Folder("Stamped", false);
  Run("UPDATE [OWNER].FOLDER SET PATH = 'QUILLMARK CLIENT MATTERS' WHERE DOCNUMBER = " + N(stamped->DocNumber()));
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"), "0");
  EXPECT_NE(Changed("ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATETIME NULL"), 0);
  Run("DELETE FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'");
  EXPECT_EQ(Changed("INSERT INTO [OWNER].DOCSCOLUMN (SYSTEM_ID, TBNAME, FTBNAME, FCOLNAME, CREATOR, PROTECTED, VISIBLEINLIST, "
                    "USER_MODIFIABLE, USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, OBJECTTYPE, CMSKEY, KEYGROUP, "
                    "COLNAME, PROMPT, CMSTYPE, COL_LENGTH) VALUES (" + N(sql->NextKey("SYSTEMKEY")) +
                    ", 'FOLDER',  '', '', '[OWNER]', 'N', 'Y', 'Y', 'Y', 'N', 'N', 'Y', 'EDIT', 'N', '', 'LAST_UPDATE', 'LAST_UPDATE',8, 0)"),
            1);
  EXPECT_EQ(Scalar("SELECT CREATOR FROM DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"), "DOCSADM");
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE() WHERE PATH LIKE 'QUILLMARK%'"), 1);
  EXPECT_EQ(Scalar("SELECT COUNT(*) FROM FOLDER WHERE LAST_UPDATE >= date('now', '-1 day')"), "1");
}

TEST_P(SqlCorpusTest, RulesSettingsAndClaims) {
  const QString slice = oracle() ? QStringLiteral("SUBSTR") : QStringLiteral("SUBSTRING");
  const qint64 rows = Rows(QStringLiteral("SELECT SECTION_KEY, SUB_KEY, %1(CHAR_VAL, 1, 254), INT_VAL, %1(CHAR_VAL, 255, 254), "
                                          "%1(CHAR_VAL, 509, 254), %1(CHAR_VAL, 763, 254) FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = "
                                          "'QUILLMARK' AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') ORDER BY SUB_KEY, SECTION_KEY")
                               .arg(slice));
  EXPECT_EQ(rows, Scalar("SELECT COUNT(*) FROM TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK'").toLongLong());
  EXPECT_EQ(sql->ColumnName(3), "") << "an unnamed expression has no name";
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'"), "1");

  // Running-node claims (not written on Oracle libraries).
  if (!oracle()) {
    EXPECT_EQ(Changed("INSERT INTO [OWNER].TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) VALUES('QUILLMARK', "
                      "'STACKWRIGHT', 'RUNNING_NODES', 'NODE1:CLIENT MATTERS', GETDATE())"),
              1);
  }
  server.Exec(Library(), "INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
                         "VALUES ('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'NODE2:X', NULL)");
  EXPECT_EQ(Rows("SELECT CHAR_VAL, DATE_VAL FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY = 'STACKWRIGHT' "
                 "AND SUB_KEY = 'RUNNING_NODES'"),
            oracle() ? 1 : 2);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY = 'STACKWRIGHT' AND SUB_KEY = "
                    "'RUNNING_NODES' AND ((CHAR_VAL LIKE 'NODE1:%' OR CHAR_VAL IS NULL) OR DATE_VAL IS NULL)"),
            oracle() ? 1 : 2);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SUB_KEY = 'RUNNING_NODES'"), 0);

  // The rule SQL editor's chunks.
  Run("DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY LIKE 'RULE_STACKWRIGHT_SQL%' AND SUB_KEY = 'CLIENT MATTERS'");
  EXPECT_EQ(Changed("INSERT INTO [OWNER].TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE) VALUES('QUILLMARK', "
                    "'RULE_STACKWRIGHT_SQL_1', 'CLIENT MATTERS', 'SELECT<SPC>DOCNAME<SPC>FROM<SPC>PROFILE<SPC>WHERE<SPC>X<SPC>=<SPC>''A''', NULL, 1)"),
            1);
  EXPECT_EQ(Scalar("SELECT CHAR_VAL FROM TARN_SETTINGS WHERE SECTION_KEY = 'RULE_STACKWRIGHT_SQL_1'"),
            "SELECT<SPC>DOCNAME<SPC>FROM<SPC>PROFILE<SPC>WHERE<SPC>X<SPC>=<SPC>'A'");

  // The start-up's rights check.
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].PEOPLEGROUPS PG WHERE PEOPLE_SYSTEM_ID = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE "
                  "UPPER(USER_ID) = 'ADMIN') AND GROUPS_SYSTEM_ID IN (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE UNIV_ACCESS >= 191)"),
            "1");
}

TEST_P(SqlCorpusTest, FolderLookUpCreationAndFiling) {
  DmFolderPtr client = Folder("ACME [EUROPE]", true);
  DmFolderPtr matter = Folder("M00001 Acquisition", false);
  ASSERT_TRUE(client->AddSubfolder(matter));
  ASSERT_TRUE(matter->AddDocument(lib->OpenProfile(1)));
  const QString c = N(client->DocNumber()), m = N(matter->DocNumber());
  Run("ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE DATETIME NULL");

  // Look-up: a subfolder by name under its parent, a top-level folder public or not.
  EXPECT_EQ(First("SELECT FI.DOCNUMBER, PR.DOCNAME, RL.LIBRARY_NAME, PL.LIBRARY_NAME, 'QUILLMARK' FROM [OWNER].FOLDER_ITEM FI LEFT OUTER "
                  "JOIN [OWNER].PROFILE PR ON PR.DOCNUMBER = FI.DOCNUMBER LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = "
                  "FI.LIBRARY LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = 'F' AND "
                  "FI.PARENT = " + c + " AND PL.LIBRARY_NAME = '" + own + "' AND RL.LIBRARY_NAME = '" + own +
                  "' AND UPPER(PR.DOCNAME) LIKE 'M00001 ACQUISITION'"),
            m);
  const QString top = "SELECT F.DOCNUMBER, P.DOCNAME, '" + own + "', '" + own + "', F.PATH FROM [OWNER].FOLDER F LEFT OUTER JOIN "
                      "[OWNER].PROFILE P ON P.DOCNUMBER = F.DOCNUMBER LEFT OUTER JOIN [OWNER].APPS A ON A.SYSTEM_ID = P.APPLICATION "
                      "WHERE UPPER(P.DOCNAME) LIKE '%1' AND A.APPLICATION = 'FOLDER' ";
  const QString bracketed = oracle() ? QStringLiteral("ACME [EUROPE]") : QStringLiteral("ACME [[]EUROPE]");
  EXPECT_EQ(First(top.arg(bracketed) + "AND F.DOCNUMBER IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) "), c);
  EXPECT_EQ(First(top.arg(bracketed) + "AND F.DOCNUMBER NOT IN (SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER JOIN "
                  "[OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES PL ON PL.SYSTEM_ID = "
                  "FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = 'F' AND RL.LIBRARY_NAME = '" + own + "' AND PL.LIBRARY_NAME = '" + own + "') "),
            c);
  EXPECT_EQ(Rows(top.arg(QStringLiteral("M00001%")) + "AND F.DOCNUMBER IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) "), 0);
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER SET PATH = 'QUILLMARK CLIENT MATTERS' WHERE DOCNUMBER = " + c), 1);
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET DOCNAME = 'M00001 Acquisition' WHERE DOCNUMBER = " + m), 1);
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER_ITEM SET DISPLAYNAME = 'M00001 Acquisition' WHERE DOCNUMBER = " + m + " AND PARENT = " + c +
                    " AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own +
                    "') AND LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own + "')"),
            1);

  // Fix-ups after a new folder was saved.
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET FORM = (SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE FORM_NAME = 'FOLDER_PROF') WHERE DOCNUMBER = " + m), 1);
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE(), PATH = 'QUILLMARK CLIENT MATTERS' WHERE DOCNUMBER = " + m), 1);
  EXPECT_EQ(Changed("UPDATE [OWNER].ROOT_OBJECT SET DISPLAYNAME = 'ACME [EUROPE]' WHERE DOCNUMBER = " + c), 1);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].ROOT_OBJECT WHERE DOCNUMBER = " + m), 0);
  EXPECT_EQ(Rows("SELECT STORAGETYPE, PATH, RETENTION, FORM FROM [OWNER].PROFILE WHERE DOCNUMBER = " + c), 1);
  const QString form = First("SELECT SYSTEM_ID FROM [OWNER].FORMS WHERE FORM_NAME = 'FOLDER_PROF'");
  EXPECT_FALSE(form.isEmpty());
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET DOCNAME = 'M00001 Acquisition', FORM = " + form + ", FULLTEXT = 'Y', STORAGETYPE = 'A', "
                    "PATH = '', RETENTION = 0, EMAIL_SENT = NULL, EMAIL_RECEIVED = NULL WHERE DOCNUMBER = " + m),
            1);
  // The activity rows of the save, and one more by the user today that only the date clause selects.
  server.Exec(Library(), "INSERT INTO ACTIVITYLOG (SYSTEM_ID, DOCNUMBER, ACTIVITY_TYPE, TYPIST, START_DATE) SELECT 999001, " + m +
                             ", 1, SYSTEM_ID, date('now', 'localtime') FROM PEOPLE WHERE USER_ID = 'ADMIN'");
  const QDate today = QDate::currentDate();
  const QString dateClause = oracle() ? " AND START_DATE = TO_DATE('" + QLocale::c().toString(today, "dd-MMM-yy").toUpper() + "', 'DD-MON-RR')"
                                      : " AND START_DATE = '" + today.toString("yyyy-MM-dd") + "'";
  EXPECT_EQ(Changed("DELETE FROM [OWNER].ACTIVITYLOG WHERE DOCNUMBER = " + m + " AND (ACTIVITY_TYPE IN (45, 46, 47) OR TYPIST = (SELECT "
                    "SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'ADMIN')" + dateClause + ")"),
            4);
  Run("DELETE FROM [OWNER].NEEDS_SECURING WHERE SID = " + m);

  // Checks before filing.
  const QString folderApp = "(SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER')";
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE DOCNUMBER = " + c + " AND APPLICATION = " + folderApp), "1");
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].FOLDER WHERE DOCNUMBER = " + c), "1");
  server.Exec(Library(), "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT P.SYSTEM_ID, G.SYSTEM_ID, 255 FROM PROFILE P, "
                         "GROUPS G WHERE P.DOCNUMBER = " + c + " AND G.GROUP_ID = 'DOCS_SUPERVISORS'");
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].SECURITY WHERE ACCESSRIGHTS BETWEEN 63 AND 255 AND THING = (SELECT SYSTEM_ID FROM "
                  "[OWNER].PROFILE WHERE DOCNUMBER = " + c + ") AND (PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = "
                  "'ADMIN') OR PERSONORGROUP IN (SELECT GROUPS_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE PEOPLE_SYSTEM_ID = (SELECT "
                  "SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'ADMIN')))"),
            "1");
  EXPECT_EQ(First("SELECT UNIV_ACCESS FROM [OWNER].GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS'"), "255");
  const QString inLibrary = "(SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '%1')";
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].FOLDER_ITEM WHERE DOCNUMBER = 1 AND PARENT = " + m + " AND LIBRARY = " +
                  inLibrary.arg(own) + " AND PARENT_LIBRARY = " + inLibrary.arg(own)),
            "1");
  EXPECT_EQ(First("SELECT STATUS FROM [OWNER].PROFILE WHERE DOCNUMBER = 2"), "0");
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET STATUS = 0 WHERE DOCNUMBER = 2"), 1);

  // After filing across libraries: the last row of the parent's chain.
  EXPECT_EQ(Rows("SELECT SYSTEM_ID, DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE NEXT = 0 AND PARENT = " + c), 1);
  const QString last = sql->ColumnValue(1);
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER_ITEM SET DOCNUMBER = " + m + " WHERE SYSTEM_ID = " + last), 1);
}

TEST_P(SqlCorpusTest, FolderSortMoveAndVerify) {
  DmFolderPtr parent = Folder("Sorted", false);
  const QString p = N(parent->DocNumber());
  for (qint64 doc : {3, 1, 2}) ASSERT_TRUE(parent->AddDocument(lib->OpenProfile(doc)));
  DmProfilePtr remote;
  for (qint64 i = 1; i <= app->Libraries()->Count(); ++i)
    if (app->Libraries()->Item(i)->Name() == other) remote = app->Libraries()->Item(i)->OpenProfile(4);
  ASSERT_TRUE(remote && parent->AddDocument(remote));

  EXPECT_GE(Rows("SELECT DOCNUMBER FROM [OWNER].PROFILE WHERE APPLICATION = (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE APPLICATION = "
                 "'FOLDER') AND DOCNUMBER IN (SELECT DISTINCT PARENT FROM [OWNER].FOLDER_ITEM WHERE PARENT_LIBRARY IN (SELECT SYSTEM_ID "
                 "FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own + "')) ORDER BY DOCNUMBER DESC"),
            1);
  EXPECT_EQ(sql->ColumnValue(1), p);
  EXPECT_EQ(Rows("SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI." + Next() + ", FI.ISFIRST, FI.NODE_TYPE, PL.LIBRARY_NAME, RL.LIBRARY_NAME, "
                 "FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE "
                 "FI.PARENT_LIBRARY = PL.SYSTEM_ID AND FI.LIBRARY = RL.SYSTEM_ID AND FI.PARENT = " + p + " ORDER BY FI.DISPLAYNAME"),
            4);
  EXPECT_EQ(sql->ColumnName(3), "NEXT");
  QStringList ids;
  do ids << sql->ColumnValue(1);
  while (sql->NextRow() != 0);
  for (int i = 0; i < ids.size(); ++i)
    EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER_ITEM SET " + Next() + " = " + (i + 1 < ids.size() ? ids[i + 1] : "0") + ", ISFIRST = '" +
                      (i == 0 ? "Y" : "N") + "' WHERE SYSTEM_ID = " + ids[i]),
              1);
  const QString version = First("SELECT VERSION_ID FROM [OWNER].VERSIONS WHERE DOCNUMBER = " + p + " ORDER BY VERSION_ID");
  EXPECT_FALSE(version.isEmpty());
  // The remote item's own row, as the sort writes it into the item's library.
  EXPECT_EQ(Rows("SELECT DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
                 "LIBRARY_NAME = '" + own + "') AND PARENT = " + p + " AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM "
                 "[OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + other + "')"),
            0);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, ISFIRST, " + Next() +
                    ", REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, VERSION_TYPE, STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) "
                    "SELECT " + N(sql->NextKey("SYSTEMKEY")) + ", " + p + ", 7, PL.SYSTEM_ID, RL.SYSTEM_ID, 'Y', 0, " + ids[0] +
                    ", 'D', 'Memo 2', " + version + ", 'R', 0, 0, 0 FROM [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL "
                    "WHERE PL.LIBRARY_NAME = '" + other + "' AND RL.LIBRARY_NAME = '" + own + "'"),
            1);
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER_ITEM SET ISFIRST = 'N', PARENT_VERSION = " + version + ", REMOTE_SYSTEM_ID = " + ids[0] +
                    ", " + Next() + " = 0 WHERE DOCNUMBER = 7 AND PARENT = " + p + " AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM "
                    "[OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + other + "')"),
            1);

  // Moving a document out of its other folders.
  DmFolderPtr second = Folder("Second", false);
  const QString s = N(second->DocNumber());
  ASSERT_TRUE(second->AddDocument(lib->OpenProfile(1)));
  ASSERT_TRUE(second->AddDocument(lib->OpenProfile(2)));
  const QString docIn = " AND NODE_TYPE = 'D' AND DOCNUMBER = 1 AND (LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
                        "LIBRARY_NAME = '" + own + "') OR LIBRARY IS NULL)";
  EXPECT_EQ(First("SELECT PARENT FROM [OWNER].FOLDER_ITEM WHERE PARENT <> " + p + " AND DOCNUMBER = 1 AND NODE_TYPE = 'D' AND (LIBRARY = "
                  "(SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" + own + "') OR LIBRARY IS NULL)"),
            s);
  EXPECT_EQ(First("SELECT ISFIRST, " + Next() + " FROM [OWNER].FOLDER_ITEM WHERE PARENT = " + s + docIn), "Y");
  const QString following = sql->ColumnValue(2);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].FOLDER_ITEM WHERE PARENT = " + s + docIn), 1);
  EXPECT_EQ(Changed("UPDATE [OWNER].FOLDER_ITEM SET ISFIRST = 'Y' WHERE SYSTEM_ID = " + following + " AND PARENT = " + s), 1);
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE DOCNUMBER = 1"), "1");
  EXPECT_EQ(First("SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0"), own);
}

TEST_P(SqlCorpusTest, SecurityTrusteesAndInheritance) {
  const QString n = QStringLiteral("5");
  const QString sid = Scalar("SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = 5");
  server.Exec(Library(), "UPDATE PROFILE SET AUTHOR = NULL WHERE DOCNUMBER = 5");
  EXPECT_EQ(First("SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = " + n), "");
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET AUTHOR = TYPIST WHERE DOCNUMBER = " + n), 1);
  EXPECT_EQ(Rows("SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, AG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P LEFT OUTER "
                 "JOIN [OWNER].PEOPLE A ON A.SYSTEM_ID = P.AUTHOR LEFT OUTER JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST LEFT OUTER "
                 "JOIN [OWNER].GROUPS AG ON AG.SYSTEM_ID = A.PRIMARY_GROUP LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = "
                 "T.PRIMARY_GROUP WHERE P.DOCNUMBER = " + n),
            1);
  const QString author = sql->ColumnValue(2);
  EXPECT_FALSE(author.isEmpty());
  EXPECT_EQ(Rows("SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, TG.GROUP_ID, TG.GROUP_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P LEFT OUTER "
                 "JOIN [OWNER].PEOPLE T ON T.SYSTEM_ID = P.TYPIST LEFT OUTER JOIN [OWNER].GROUPS TG ON TG.SYSTEM_ID = T.PRIMARY_GROUP "
                 "WHERE P.DOCNUMBER = " + n),
            1);
  Run("DELETE FROM [OWNER].SECURITY WHERE THING = " + sid);
  Run("DELETE FROM [OWNER].SECURITY WHERE THING = " + sid + " AND PERSONORGROUP = 0");
  EXPECT_EQ(Changed("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) VALUES(0, 191, " + sid + ")"), 1);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 255, " + sid +
                    " FROM [OWNER].GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS'"),
            1);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT SYSTEM_ID, 191, " + sid +
                    " FROM [OWNER].PEOPLE WHERE USER_ID = '" + author + "'"),
            1);
  EXPECT_EQ(Changed("UPDATE [OWNER].SECURITY SET ACCESSRIGHTS = 63 WHERE THING = " + sid +
                    " AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS')"),
            1);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].SECURITY WHERE THING = " + sid +
                    " AND PERSONORGROUP = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = '" + author + "')"),
            1);
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 1, SECURITY_LINK = SYSTEM_ID, SEC_REASON_LINK = 98 WHERE SYSTEM_ID = " + sid), 1);
  EXPECT_EQ(Scalar("SELECT SECURITY_LINK FROM PROFILE WHERE DOCNUMBER = 5"), sid);
  EXPECT_EQ(Rows("SELECT P.USER_ID, G.GROUP_ID, S.ACCESSRIGHTS FROM [OWNER].SECURITY S LEFT OUTER JOIN [OWNER].PEOPLE P ON P.SYSTEM_ID = "
                 "S.PERSONORGROUP LEFT OUTER JOIN [OWNER].GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP LEFT OUTER JOIN [OWNER].PROFILE R ON "
                 "R.SYSTEM_ID = S.THING WHERE R.DOCNUMBER = " + n),
            2);
  // Making a document unsecured again, by document number.
  Run("DELETE FROM [OWNER].SECURITY WHERE THING = (SELECT SYSTEM_ID FROM [OWNER].PROFILE WHERE DOCNUMBER = " + n + ") AND PERSONORGROUP = 0");
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET DEFAULT_RIGHTS = 0 WHERE DOCNUMBER = " + n), 1);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].SECURITY (PERSONORGROUP, ACCESSRIGHTS, THING) SELECT 0, 191, SYSTEM_ID FROM [OWNER].PROFILE WHERE "
                    "DOCNUMBER = " + n),
            1);
  // Inheritance reads author and typist by plain joins.
  EXPECT_EQ(Rows("SELECT P.SYSTEM_ID, A.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T "
                 "WHERE P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.DOCNUMBER = " + n),
            1);
  EXPECT_EQ(Rows("SELECT P.SYSTEM_ID, T.USER_ID, T.USER_ID, P.DEFAULT_RIGHTS FROM [OWNER].PROFILE P, [OWNER].PEOPLE T WHERE P.TYPIST = "
                 "T.SYSTEM_ID AND P.DOCNUMBER = " + n),
            1);
}

TEST_P(SqlCorpusTest, UserWorkspaces) {
  EXPECT_EQ(Rows("SELECT A.USER_ID, T.USER_ID FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE (P.AUTHOR = A.SYSTEM_ID "
                 "AND P.TYPIST = T.SYSTEM_ID) AND P.DOCNUMBER = 6"),
            1);
  EXPECT_EQ(First("SELECT GROUP_ID FROM [OWNER].GROUPS WHERE SYSTEM_ID = (SELECT PRIMARY_GROUP FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH')"),
            "LITIGATION");
  EXPECT_EQ(First("SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = (SELECT PRIMARY_LIB FROM [OWNER].PEOPLE WHERE "
                  "USER_ID = 'JSMITH')"),
            own);
  const QString person = First("SELECT SYSTEM_ID, EMAIL_ADDRESS FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH'");
  EXPECT_EQ(sql->ColumnValue(2), "jsmith@example.com");
  EXPECT_EQ(Rows("SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = " + person +
                 " AND UPPER(NAME) = 'WORKSPACES' AND UPPER(DATATYPE) = 'SUBTREE'"),
            0);
  const QString root = N(sql->NextKey("SYSTEMKEY"));
  EXPECT_EQ(Changed("INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(" + root +
                    ", 'Jane''s Folders', 'PROPERTY', 'USER', " + person + ", 'WORKSPACES', 'SubTree')"),
            1);
  EXPECT_EQ(First("SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = " + person +
                  " AND UPPER(NAME) = 'WORKSPACES' AND UPPER(DATATYPE) = 'SUBTREE'"),
            root);
  const QString ws = N(sql->NextKey("SYSTEMKEY"));
  EXPECT_EQ(Changed("INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(" + ws +
                    ", 'Acme', 'PROPERTY', 'REGISTRY', " + root + ", 'WS-Acme', 'SubTree')"),
            1);
  EXPECT_EQ(First("SELECT SYSTEM_ID, DATA FROM [OWNER].REGISTRY WHERE ENTITYID = " + root +
                  " AND UPPER(NAME) LIKE 'WS%' AND UPPER(DATATYPE) = 'SUBTREE'"),
            ws);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].REGISTRY (TYPE, ENTITYSCOPE, DATATYPE, NAME, DATA, ENTITYID, SYSTEM_ID) VALUES('PROPERTY', "
                    "'REGISTRY', 'Boolean', 'FAVORITE', '0', " + ws + ", " + N(sql->NextKey("SYSTEMKEY")) + ")"),
            1);
  const QString member = N(sql->NextKey("SYSTEMKEY"));
  EXPECT_EQ(Changed("INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(" + member +
                    ", 'M00001', 'PROPERTY', 'REGISTRY', " + ws + ", 'WMM00001', 'String')"),
            1);
  EXPECT_EQ(First("SELECT SYSTEM_ID, DATA FROM [OWNER].REGISTRY WHERE UPPER(ENTITYSCOPE) = 'REGISTRY' AND UPPER(NAME) LIKE 'WM%' AND "
                  "UPPER(DATATYPE) = 'STRING' AND ENTITYID = " + ws),
            member);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].REGISTRY (TYPE, ENTITYSCOPE, DATATYPE, NAME, DATA, ENTITYID, SYSTEM_ID) VALUES('PROPERTY', "
                    "'REGISTRY', 'String', 'ORDERNUMBER', '1', " + member + ", " + N(sql->NextKey("SYSTEMKEY")) + ")"),
            1);
  EXPECT_EQ(First("SELECT DATA FROM [OWNER].REGISTRY WHERE UPPER(NAME) = 'ORDERNUMBER' AND ENTITYID IN (SELECT SYSTEM_ID FROM "
                  "[OWNER].REGISTRY WHERE ENTITYID = " + ws + ")"),
            "1");
  // The users a row's workspaces go to.
  EXPECT_EQ(Rows("SELECT A.USER_ID, T.USER_ID , P.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE P.AUTHOR = "
                 "A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.SYSTEM_ID = " + Scalar("SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = 6")),
            1);
  EXPECT_GE(Rows("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = '6')"), 1);
  EXPECT_EQ(Rows("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT PEOPLE_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE "
                 "GROUPS_SYSTEM_ID IN (SELECT PRIMARY_GROUP FROM [OWNER].PEOPLE WHERE USER_ID = 'JSMITH'))"),
            2);
  EXPECT_EQ(Rows("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT PEOPLE_SYSTEM_ID FROM [OWNER].PEOPLEGROUPS WHERE "
                 "GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM [OWNER].GROUPS WHERE GROUP_ID = 'CORPORATE'))"),
            2);
}

TEST_P(SqlCorpusTest, ProcessingRunStatements) {
  EXPECT_EQ(First("SELECT FTBNAME, FCOLNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'CLIENT_ID' AND TBNAME = 'MATTER'"), "CLIENT");
  EXPECT_EQ(sql->ColumnValue(2), "SYSTEM_ID");
  EXPECT_EQ(Rows("SELECT COLNAME, FTBNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND FTBNAME IN ('GROUPS', 'PEOPLE')"), 3);
  EXPECT_EQ(First("SELECT FTBNAME FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = 'MATTER'"), "MATTER");
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'DISABLED' AND TBNAME = 'MATTER'"), "1");
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].MATTER WHERE (DISABLED NOT IN ('1', 'Y') OR DISABLED IS NULL)"),
            Scalar("SELECT COUNT(*) FROM MATTER"));

  // The rule's statement as it is built for each engine: literal columns, quoted aliases, the
  // processed-row filter, a sub-select through a column path, the row cap, the ordering.
  const QString filter = "(MATTER.SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(TABLE_NAME) = 'MATTER' AND "
                         "UPPER(RULE_NAME) LIKE 'CLIENT MATTERS')) AND [OWNER].MATTER.CLIENT_ID IN (SELECT SYSTEM_ID FROM "
                         "[OWNER].CLIENT WHERE CLIENT_NAME <> 'NOBODY')";
  QString statement;
  if (oracle()) {
    statement = "SELECT DISTINCT 'QUILLMARK', '\\', CLIENT.CLIENT_ID \"CLIENT.CLIENT_ID\", '\\', MATTER.MATTER_ID \"MATTER.MATTER_ID\", "
                "MATTER.SYSTEM_ID \"MATTER.SYSTEM_ID\", CLIENT.SYSTEM_ID \"CLIENT.SYSTEM_ID\" FROM [OWNER].MATTER LEFT OUTER JOIN "
                "[OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID WHERE " + filter +
                " AND ROWNUM <= 5 ORDER BY CLIENT.CLIENT_ID, MATTER.MATTER_ID";
  } else {
    statement = "SELECT DISTINCT TOP 5 'QUILLMARK', '\\', CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\", '\\', MATTER.MATTER_ID AS "
                "\"MATTER.MATTER_ID\", MATTER.SYSTEM_ID AS \"MATTER.SYSTEM_ID\", CLIENT.SYSTEM_ID AS \"CLIENT.SYSTEM_ID\"\r\n FROM "
                "[OWNER].MATTER LEFT OUTER JOIN [OWNER].CLIENT ON CLIENT.SYSTEM_ID = MATTER.CLIENT_ID  WHERE " + filter +
                " ORDER BY CLIENT.CLIENT_ID, MATTER.MATTER_ID";
  }
  const QString firstMatter = Scalar("SELECT SYSTEM_ID FROM MATTER ORDER BY MATTER_ID LIMIT 1");
  server.Exec(Library(), "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (" + firstMatter +
                             ", 'MATTER', 'CLIENT MATTERS', 0, '')");
  EXPECT_EQ(Rows(statement), 5);
  EXPECT_EQ(sql->ColumnCount(), 7);
  EXPECT_EQ(sql->ColumnName(1), "");
  EXPECT_EQ(sql->ColumnName(3), "CLIENT.CLIENT_ID");
  EXPECT_EQ(sql->ColumnName(6), "MATTER.SYSTEM_ID");
  EXPECT_EQ(sql->ColumnValue(2), "\\");
  EXPECT_NE(sql->ColumnValue(6), firstMatter) << "a processed row is not read again";

  // A rule over documents: the profile's own system id, a parameter group with a date literal.
  const QString as = oracle() ? QStringLiteral(" ") : QStringLiteral(" AS ");
  QString documents = "SELECT DISTINCT" + QString(oracle() ? " " : " TOP 10 ") + "'QUILLMARK', '\\', MATTER.MATTER_ID" + as +
                      "\"MATTER.MATTER_ID\", '\\', DOCUMENTTYPES.TYPE_ID" + as + "\"DOCUMENTTYPES.TYPE_ID\", MATTER.SYSTEM_ID" + as +
                      "\"MATTER.SYSTEM_ID\", DOCUMENTTYPES.SYSTEM_ID" + as + "\"DOCUMENTTYPES.SYSTEM_ID\", PROFILE.SYSTEM_ID" + as +
                      "\"PROFILE.SYSTEM_ID\"" + QString(oracle() ? "" : "\r\n") + " FROM [OWNER].PROFILE LEFT OUTER JOIN [OWNER].MATTER ON "
                      "MATTER.SYSTEM_ID = PROFILE.MATTER LEFT OUTER JOIN [OWNER].DOCUMENTTYPES ON DOCUMENTTYPES.SYSTEM_ID = "
                      "PROFILE.DOCUMENTTYPE LEFT OUTER JOIN [OWNER].APPS ON APPS.SYSTEM_ID = PROFILE.APPLICATION  WHERE ((MATTER.SYSTEM_ID "
                      "NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(TABLE_NAME) = 'MATTER' AND UPPER(RULE_NAME) LIKE "
                      "'DOCUMENTS')) AND [OWNER].PROFILE.SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE "
                      "UPPER(TABLE_NAME) = 'PROFILE' AND UPPER(RULE_NAME) LIKE 'DOCUMENTS')) AND (APPS.APPLICATION <> 'FOLDER' AND "
                      "PROFILE.CREATION_DATE >= '" + QDate::currentDate().addDays(-30).toString("yyyy-MM-dd") + "')";
  if (oracle()) documents += " AND ROWNUM <= 10";
  documents += " ORDER BY MATTER.MATTER_ID, DOCUMENTTYPES.TYPE_ID";
  EXPECT_EQ(Rows(documents), 10);
  EXPECT_EQ(sql->ColumnName(8), "PROFILE.SYSTEM_ID");
  EXPECT_EQ(sql->ColumnValue(3), Scalar("SELECT MIN(MATTER_ID) FROM MATTER"));

  // A folder's metadata, e-mail address and author.
  DmFolderPtr f = Folder("C0001", false);
  const QString d = N(f->DocNumber());
  const QString clientId = Scalar("SELECT SYSTEM_ID FROM CLIENT ORDER BY CLIENT_ID LIMIT 1");
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET CLIENT_ID = " + clientId + ", DOCUMENTTYPE = " +
                    Scalar("SELECT SYSTEM_ID FROM DOCUMENTTYPES WHERE TYPE_ID = 'MEMO'") + " WHERE DOCNUMBER = " + d),
            1);
  EXPECT_EQ(First("SELECT PD_ADDRESSEE FROM [OWNER].PROFILE WHERE DOCNUMBER = " + d), "");
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE PD_ADDRESSEE = 'c0001@example.com'"), "0");
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET PD_ADDRESSEE = 'c0001@example.com' WHERE DOCNUMBER = " + d), 1);
  EXPECT_NE(First("SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = " + d), "");
  EXPECT_EQ(Changed("UPDATE [OWNER].PROFILE SET AUTHOR = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = 'ADMIN') WHERE DOCNUMBER = " + d), 1);

  // The queue of new documents and the tracking rows.
  const qint64 queued = Changed("INSERT INTO [OWNER].NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, TABLE_NAME, "
                                "MACHINE_NAME, LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', NULL FROM [OWNER].PROFILE "
                                "WHERE CLIENT_ID = " + clientId + " AND APPLICATION <> (SELECT SYSTEM_ID FROM [OWNER].APPS WHERE "
                                "APPLICATION = 'FOLDER')  AND DOCNUMBER NOT IN (SELECT SID FROM [OWNER].NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')");
  EXPECT_EQ(queued, Scalar("SELECT COUNT(*) FROM PROFILE WHERE FORM <> (SELECT FORM FROM PROFILE WHERE DOCNUMBER = " + d +
                           ") AND CLIENT_ID = " + clientId).toLongLong());
  EXPECT_GT(queued, 0);
  Run("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE SID = " + firstMatter + " AND TABLE_NAME = 'MATTER' AND UPPER(RULE_NAME) LIKE 'CLIENT MATTERS'");
  EXPECT_EQ(sql->RowsAffected(), 1);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES(" + firstMatter +
                    ", 'MATTER', 'Client Matters', 0, '')"),
            1);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER' AND UPPER(RULE_NAME) LIKE 'CLIENT MATTERS'"), 1);
}

TEST_P(SqlCorpusTest, AdministrationTools) {
  // Advance a rule to the current rows, then reset it.
  EXPECT_EQ(Changed("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(RULE_NAME) LIKE 'CLIENT MATTERS'"), 0);
  EXPECT_EQ(First("SELECT FTBNAME, FCOLNAME, MULTI_VALUE FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'CLIENT_ID' AND TBNAME = 'PROFILE'"), "CLIENT");
  Run("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE TABLE_NAME = 'CLIENT' AND UPPER(RULE_NAME) LIKE 'CLIENT MATTERS'");
  const qint64 clients = Scalar("SELECT COUNT(*) FROM CLIENT").toLongLong();
  EXPECT_EQ(Changed("INSERT INTO [OWNER].TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) SELECT SYSTEM_ID, 'CLIENT', "
                    "'CLIENT MATTERS', 0, '' FROM [OWNER].CLIENT ORDER BY SYSTEM_ID"),
            clients);
  EXPECT_EQ(Rows("SELECT RULE_NAME, TABLE_NAME, SID FROM [OWNER].TARN_STACKWRIGHT ORDER BY RULE_NAME, TABLE_NAME, SID"), clients);
  const QString sidText = sql->ColumnValue(3);
  EXPECT_EQ(Changed("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE SID = " + sidText + " AND TABLE_NAME = 'CLIENT' AND RULE_NAME = 'CLIENT MATTERS'"), 1);
  EXPECT_EQ(First("SELECT COUNT(*) FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(RULE_NAME) LIKE 'CLIENT MATTERS'"), N(clients - 1));
  EXPECT_EQ(Changed("DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE UPPER(RULE_NAME) LIKE 'CLIENT MATTERS'"), clients - 1);

  // The client and matter generator.
  EXPECT_EQ(Rows("SELECT SYSTEM_ID FROM [OWNER].INDUSTRY"), 5);
  const QString industry = sql->ColumnValue(1);
  EXPECT_EQ(Rows("SELECT SYSTEM_ID FROM [OWNER].PRACTICE"), 5);
  const QString practice = sql->ColumnValue(1);
  const QString client = N(sql->NextKey("SYSTEMKEY"));
  EXPECT_EQ(Changed("INSERT INTO [OWNER].CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME, INDUSTRY_ID) VALUES(" + client +
                    ", '100001', 'Test Client 100001', " + industry + ")"),
            1);
  EXPECT_EQ(Changed("INSERT INTO [OWNER].MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME, PRACTICE_ID) VALUES(" +
                    N(sql->NextKey("SYSTEMKEY")) + ", " + client + ", '100001.01', 'Test Matter 100001.01', " + practice + ")"),
            1);
}

INSTANTIATE_TEST_SUITE_P(DemoLibraries, SqlCorpusTest, ::testing::Values("LAWLIB", "ORALIB"),
                         [](const ::testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
}  // namespace sw::dm
