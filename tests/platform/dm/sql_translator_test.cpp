#include <gtest/gtest.h>

#include <QDate>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "platform/dm/sql_template.h"
#include "sql_test_db.h"

namespace sw::dm::test {

// ---- reading the text -----------------------------------------------------------------

TEST(SqlTranslatorText, LiteralsAreNeverRewritten) {
  SqlTestDb db;
  const SqlRun r = db.Run("SELECT 'TOP 5', 'OPTION (MAXDOP 1)', 'GETDATE()', 'DOCSADM.PROFILE', 'a + b' OPTION (MAXDOP 1)");
  ASSERT_TRUE(r.ok) << r.error.toStdString();
  ASSERT_EQ(r.rows.size(), 1);
  EXPECT_EQ(r.rows[0], QStringList({"TOP 5", "OPTION (MAXDOP 1)", "GETDATE()", "DOCSADM.PROFILE", "a + b"}));
}

TEST(SqlTranslatorText, QuotesBracketsAndUnicodeLiterals) {
  SqlTestDb db;
  EXPECT_EQ(db.Value("SELECT 'it''s'"), "it's");
  EXPECT_EQ(db.Value("SELECT N'Łódź'"), QString::fromUtf8("Łódź"));
  db.Native("CREATE TABLE \"ODD]NAME\" (X INTEGER); INSERT INTO \"ODD]NAME\" VALUES (7);");
  EXPECT_EQ(db.Value("SELECT X FROM [ODD]]NAME]"), "7");
}

TEST(SqlTranslatorText, CommentsDoNotSwallowWhatIsAppended) {
  SqlTestDb db;
  db.Native("INSERT INTO CLIENT VALUES (1, 'A', 'x'), (2, 'B', 'y'), (3, 'C', 'z');");
  // The line comment ends the text; the LIMIT that TOP becomes must still apply.
  EXPECT_EQ(db.Column("SELECT TOP 1 CLIENT_ID FROM CLIENT /* outer /* nested */ still */ ORDER BY CLIENT_ID -- last"),
            QStringList({"A"}));
}

TEST(SqlTranslatorText, UnreadableTextFailsWithAReason) {
  EXPECT_TRUE(TranslationError("SELECT 'abc").contains("Unclosed quotation mark"));
  EXPECT_TRUE(TranslationError("SELECT [abc").contains("Unclosed"));
  EXPECT_TRUE(TranslationError("SELECT (1").contains("never closed"));
  EXPECT_TRUE(TranslationError("SELECT 1)").contains("')'"));
  EXPECT_TRUE(TranslationError("SELECT 1 /* open").contains("comment"));
  EXPECT_TRUE(TranslationError("   ").contains("empty"));
  EXPECT_TRUE(TranslationError("DELETE FROM CLIENT; DROP TABLE CLIENT").contains("one statement"));
  EXPECT_TRUE(TranslationError("SELECT @x").contains("@x"));
  EXPECT_TRUE(TranslationError("EXEC sp_who").contains("EXEC"));
  EXPECT_TRUE(TranslationError("SELECT * INTO NEWT FROM CLIENT").contains("INTO"));
  EXPECT_EQ(Translated("SELECT 1;"), "SELECT 1");
}

TEST(SqlTranslatorText, EveryPrefixTranslatesOrFailsWithAReasonAndSoDoesItsRun) {
  // Every prefix of statements full of the constructs the rewrites look at, on both engines: each
  // is either translated or refused with a reason, never both or neither, and a translated one
  // either runs or fails in the database with a reason. Each whole statement translates on the
  // engine it is written for, so its rewrites are reached.
  struct Case {
    QString sql;
    qint64 writtenFor;
  };
  const Case cases[] = {
      {"SELECT DISTINCT TOP 10 'A', C.CLIENT_ID AS \"C.ID\", ISNULL(CAST(C.SYSTEM_ID AS VARCHAR(10)) + 'x', '') "
       "FROM [DOCSADM].[CLIENT] C WITH (NOLOCK) WHERE C.CLIENT_ID LIKE 'A[[]%' AND ROWNUM <= 5 "
       "AND CASE WHEN C.X = 'a' THEN 1 + 2 ELSE 'b' + C.Y END = 3 ORDER BY C.CLIENT_ID DESC OPTION (MAXDOP 1)",
       -1},
      {"SELECT DISTINCT TOP 10 'A', C.CLIENT_ID AS \"C.ID\", ISNULL(CAST(C.SYSTEM_ID AS VARCHAR(10)) + 'x', '') "
       "FROM [DOCSADM].[CLIENT] C WITH (NOLOCK) WHERE C.CLIENT_ID LIKE 'A[[]%' "
       "AND CASE WHEN C.X = 'a' THEN 1 + 2 ELSE 'b' + C.Y END = 3 ORDER BY C.CLIENT_ID DESC OPTION (MAXDOP 1)",
       10},
      {"SELECT CONVERT(VARCHAR(10), GETDATE(), 101), DATEADD(day, -1, SYSDATE), TO_DATE('08-DEC-26','DD-MON-RR') "
       "FROM DUAL WHERE a (+) = b.c",
       -1},
      {"SELECT NVL(C.CLIENT_NAME, 'x'), SYSDATE, TO_DATE('08-DEC-26','DD-MON-RR') FROM DOCSADM.CLIENT C, "
       "DOCSADM.PROFILE P WHERE C.SYSTEM_ID = P.AUTHOR (+) AND ROWNUM <= 5",
       2},
  };
  for (const ServerFacts& facts : {SqlTestDb::DefaultFacts(), SqlTestDb::OracleFacts()}) {
    SqlTestDb db(facts);
    for (const Case& c : cases) {
      const SqlTranslation whole = TranslateSql(c.sql, facts);
      if (c.writtenFor == facts.engine) {
        EXPECT_TRUE(whole.ok) << facts.engine << ": " << whole.error.toStdString();
      }
      for (qsizetype n = 0; n <= c.sql.size(); ++n) {
        const QString prefix = c.sql.left(n);
        const SqlTranslation t = TranslateSql(prefix, facts);
        ASSERT_EQ(t.ok, t.error.isEmpty()) << prefix.toStdString();
        if (!t.ok) continue;
        const SqlRun run = db.Run(prefix);
        EXPECT_EQ(run.ok, run.error.isEmpty()) << prefix.toStdString();
      }
    }
  }
}

// ---- names ----------------------------------------------------------------------------

TEST(SqlTranslatorNames, OwnerAndDboQualifiersResolveInTheLibrary) {
  SqlTestDb db;
  db.Native("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME) VALUES (11, 100, 'Alpha');"
            "CREATE TABLE ZK_EXTRA (V TEXT); INSERT INTO ZK_EXTRA VALUES ('z');");
  EXPECT_EQ(db.Value("SELECT DOCNAME FROM DOCSADM.PROFILE WHERE DOCNUMBER = 100"), "Alpha");
  EXPECT_EQ(db.Value("SELECT DOCNAME FROM docsadm.PROFILE"), "Alpha");
  EXPECT_EQ(db.Value("SELECT DOCNAME FROM [DOCSADM].[PROFILE]"), "Alpha");
  EXPECT_EQ(db.Value("SELECT V FROM dbo.ZK_EXTRA"), "z");
  EXPECT_EQ(db.Value("SELECT V FROM LAWLIB_DB.dbo.ZK_EXTRA"), "z");
  // A three-part column reference, as the processed-row filter writes it.
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM DOCSADM.PROFILE WHERE DOCSADM.PROFILE.SYSTEM_ID NOT IN (SELECT 1)"), "1");
  // Another schema is not the library's: the statement fails rather than reading this one.
  EXPECT_FALSE(db.Run("SELECT DOCNAME FROM OTHER.PROFILE").ok);
}

TEST(SqlTranslatorNames, QuotedNextAliasesAndLiteralColumns) {
  SqlTestDb db;
  db.Native("INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, DISPLAYNAME, NEXT) VALUES (5, 1, 10, 'x', 0);");
  EXPECT_EQ(db.Value("SELECT [NEXT] FROM FOLDER_ITEM WHERE NEXT = 0"), "0");
  EXPECT_EQ(db.Value("SELECT \"NEXT\" FROM FOLDER_ITEM"), "0");
  db.Run("UPDATE FOLDER_ITEM SET [NEXT] = 9, ISFIRST = 'Y' WHERE SYSTEM_ID = 5");
  EXPECT_EQ(db.Value("SELECT NEXT FROM FOLDER_ITEM"), "9");
  SqlRun r = db.Run("SELECT FI.DOCNUMBER AS \"FOLDER_ITEM.DOCNUMBER\", '\\' FROM FOLDER_ITEM FI");
  ASSERT_TRUE(r.ok) << r.error.toStdString();
  EXPECT_EQ(r.columns.value(0), "FOLDER_ITEM.DOCNUMBER");
  EXPECT_EQ(r.rows.value(0).value(1), "\\");
  SqlTestDb ora(SqlTestDb::OracleFacts());
  ora.Native("INSERT INTO CLIENT VALUES (1, 'A', 'x');");
  r = ora.Run("SELECT DISTINCT CLIENT.CLIENT_ID \"CLIENT.CLIENT_ID\" FROM DOCSADM.CLIENT");
  ASSERT_TRUE(r.ok) << r.error.toStdString();
  EXPECT_EQ(r.columns.value(0), "CLIENT.CLIENT_ID");
}

TEST(SqlTranslatorNames, QuotedIdentifierOffMakesDoubleQuotesText) {
  ServerFacts facts = SqlTestDb::DefaultFacts();
  facts.quotedIdentifierOn = false;
  SqlTestDb db(facts);
  EXPECT_EQ(db.Value("SELECT \"abc\""), "abc");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE [CLIENT_ID] IS NULL"), "0");
}

TEST(SqlTranslatorText, ValuesAreLiftedWhereTheWordsAroundThemSayInAnyCase) {
  // The words that tell where a value stands as a parameter are read in any case; a row cap and
  // an ORDER BY position stay in the text. The key shows each lifted value as ^ and its kind.
  const struct {
    const char* sql;
    const char* values;
    const char* key;
  } cases[] = {
      {"select A, 5 from T where B = 'x' and C in (1, 2) order by 1", "5|x|1|2",
       "select A, ^n from T where B = ^a and C in (^n, ^n) order by 1"},
      {"Select A From T Where Rownum <= 3 And B <> 7", "7", "Select A From T Where Rownum <= 3 And B <> ^n"},
      {"select A from T where upper(T.B) like 'AB%' escape '!' and C = 4", "AB%|ab|ac|4",
       "select A from T where (upper(T.B) like ^i escape '!' AND T.B >= ^a AND T.B < ^a) and C = ^n"},
      {"insert into T (A, B) values (N'z', 9)", "z|9", "insert into T (A, B) values (^a, ^n)"},
      {"sElEcT A fRoM T wHeRe B in (select C from U where D = 6) iNtErSeCt select 8 from V", "6|8",
       "sElEcT A fRoM T wHeRe B in (select C from U where D = ^n) iNtErSeCt select ^n from V"},
      {"exec P 5", "", "exec P 5"},
  };
  for (const auto& c : cases) {
    const sql::LiftedStatement lifted = sql::LiftValues(QString::fromUtf8(c.sql), true);
    QStringList values;
    for (const QVariant& v : lifted.values) values << v.toString();
    EXPECT_EQ(values.join(u'|'), QString::fromUtf8(c.values)) << c.sql;
    EXPECT_EQ(QString(lifted.key).replace(QChar(0x02), u'^'), QString::fromUtf8(c.key)) << c.sql;
  }
}

// A statement of a shape met before is lifted from where its literals stand: the same as in full,
// or not at all when something beyond its lifted values differs.
TEST(SqlTranslatorText, StatementsOfAShapeMetBeforeLiftAsInFull) {
  const char* const statements[] = {
      "select A from T where B = 5 and C = 'x' order by 1",  // met three times: its checks are done
      "select A from T where B = 5 and C = 'x' order by 1",
      "select A from T where B = 5 and C = 'x' order by 1",
      "select A from T where B = 61 and C = 'yz' order by 1",  // lifted by its shape
      "select A from T where B = 7 and C = 'x' order by 2",    // a literal that stays differs
      "select A from T where B = 7 and C = 'it''s' order by 1",  // a text of another class
      "select A from T where B = 007 and C = 'x' order by 1",
      "select A from T where B = 8 and C = N'x' order by 1",
      "select A from T where B = 9 and C = 'x' order by 1 -- 'a'",
      "select A from T where upper(T.B) like 'AB%' and C = 4",  // a look-up: its terms are worked out again
      "select A from T where upper(T.B) like 'AB%' and C = 4",
      "select A from T where upper(T.B) like 'AB%' and C = 4",
      "select A from T where upper(T.B) like 'CD%' and C = 5",
      "select A from T where upper(T.B) like '%CD' and C = 5",   // a pattern that implies no terms
      "select A from T where upper(T.B) like 'C''D%' and C = 5",  // bounds of another class
      "select A from T where upper(B) like 'X!%Y' escape '!'",    // an equal term, past its escape
      "select A from T where upper(B) like 'X!%Y' escape '!'",
      "select A from T where upper(B) like 'X!%Y' escape '!'",
      "select A from T where upper(B) like 'Z!_W' escape '!'",
      "select A from T where upper(B) like 'Z!_W' escape '#'",  // an escape that stays differs
  };
  sql::LiftShapes shapes;
  int quick = 0;
  for (const char* text : statements) {
    const QString sql = QString::fromUtf8(text);
    const sql::LiftedStatement lifted = sql::LiftValues(sql, true);
    if (const auto byShape = shapes.Lift(sql, true)) {
      ++quick;
      EXPECT_EQ(byShape->key, lifted.key) << text;
      EXPECT_EQ(byShape->values, lifted.values) << text;
    }
    shapes.Learn(sql, lifted);
  }
  EXPECT_GE(quick, 9) << "the look-ups met before are lifted by their shape too";
}

// A statement sent as a pattern and literals is lifted from its literals and the values of the
// pattern's own text: the same as in full, or not at all when a literal would not be lifted.
TEST(SqlTranslatorText, StatementsOfAPatternMetBeforeLiftAsInFull) {
  const std::pair<const char*, QStringList> statements[] = {
      {"update T set A = 0 where B = ? and C = ?", {"5", "'x'"}},  // met three times: its checks are done
      {"update T set A = 0 where B = ? and C = ?", {"5", "'x'"}},
      {"update T set A = 0 where B = ? and C = ?", {"5", "'x'"}},
      {"update T set A = 0 where B = ? and C = ?", {"61", "'yz'"}},  // lifted from its literals
      {"update T set A = 0 where B = ? and C = ?", {"7", "'it''s'"}},  // a text of another class
      {"select A from T order by ?", {"1"}},
      {"select A from T order by ?", {"1"}},
      {"select A from T order by ?", {"1"}},
      {"select A from T order by ?", {"2"}},  // a literal that is not lifted
      {"select A from T where upper(T.B) like ?", {"'AB%'"}},  // a look-up: its terms are worked out again
      {"select A from T where upper(T.B) like ?", {"'AB%'"}},
      {"select A from T where upper(T.B) like ?", {"'AB%'"}},
      {"select A from T where upper(T.B) like ?", {"'CD%'"}},
      {"select A from T where upper(T.B) like ?", {"'%CD'"}},  // a pattern that implies no terms
      {"delete from T where upper(R) like ? escape ? and S = ?", {"'A!%'", "'!'", "''"}},  // literals that stay
      {"delete from T where upper(R) like ? escape ? and S = ?", {"'A!%'", "'!'", "''"}},
      {"delete from T where upper(R) like ? escape ? and S = ?", {"'A!%'", "'!'", "''"}},
      {"delete from T where upper(R) like ? escape ? and S = ?", {"'B!%C'", "'!'", "''"}},
      {"delete from T where upper(R) like ? escape ? and S = ?", {"'B!%C'", "'#'", "''"}},  // one that stays differs
  };
  sql::LiftPatterns patterns;
  int quick = 0;
  for (const auto& [pattern, literals] : statements) {
    const QString text = sql::FilledText(QString::fromUtf8(pattern), literals);
    const sql::LiftedStatement lifted = sql::LiftValues(text, true);
    if (const auto byPattern = patterns.Lift(QString::fromUtf8(pattern), literals, true)) {
      ++quick;
      EXPECT_EQ(byPattern->key, lifted.key) << text.toStdString();
      EXPECT_EQ(byPattern->values, lifted.values) << text.toStdString();
    }
    patterns.Learn(QString::fromUtf8(pattern), literals, lifted);
  }
  EXPECT_GE(quick, 11) << "look-ups and literals that stay are lifted by their pattern too";
}

// ---- TOP, OPTION, ROWNUM ----------------------------------------------------------------

TEST(SqlTranslatorRowCaps, TopBecomesLimitAfterOrderBy) {
  SqlTestDb db;
  db.Native("INSERT INTO CLIENT VALUES (1, 'c', 'x'), (2, 'a', 'x'), (3, 'b', 'y'), (4, 'a', 'z');");
  EXPECT_EQ(db.Column("SELECT TOP 2 CLIENT_ID FROM CLIENT ORDER BY CLIENT_ID DESC OPTION (MAXDOP 1)"),
            QStringList({"c", "b"}));
  // The rule statement's head: DISTINCT, TOP, the line break before FROM.
  EXPECT_EQ(db.Column("SELECT DISTINCT TOP 2 CLIENT.CLIENT_ID AS \"CLIENT.CLIENT_ID\"\r\n FROM DOCSADM.CLIENT "
                      " ORDER BY CLIENT.CLIENT_ID ASC OPTION (MAXDOP 1)"),
            QStringList({"a", "b"}));
  EXPECT_EQ(db.Column("SELECT TOP (1) CLIENT_ID FROM CLIENT ORDER BY SYSTEM_ID"), QStringList({"c"}));
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE SYSTEM_ID IN (SELECT TOP 2 SYSTEM_ID FROM CLIENT ORDER BY SYSTEM_ID)"), "2");
  // In a UNION the cap belongs to its own SELECT.
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM (SELECT TOP 1 CLIENT_ID FROM CLIENT UNION ALL SELECT CLIENT_ID FROM CLIENT)"), "5");
  EXPECT_TRUE(TranslationError("SELECT TOP 10 PERCENT * FROM CLIENT").contains("PERCENT"));
  EXPECT_TRUE(TranslationError("SELECT TOP (@n) * FROM CLIENT").contains("@n"));
}

TEST(SqlTranslatorRowCaps, OracleRownumCapsBeforeOrdering) {
  SqlTestDb db(SqlTestDb::OracleFacts());
  // Stored in this order; Oracle numbers the rows as it reads them, then sorts the capped ones.
  db.Native("INSERT INTO CLIENT VALUES (3, 'C3', 'x'), (1, 'C1', 'x'), (2, 'C2', 'y'), (4, 'C4', 'y');");
  EXPECT_EQ(db.Column("SELECT DISTINCT CLIENT.SYSTEM_ID \"CLIENT.SYSTEM_ID\" FROM DOCSADM.CLIENT "
                      "WHERE CLIENT.SYSTEM_ID > 0 AND ROWNUM <= 2 ORDER BY CLIENT.SYSTEM_ID ASC"),
            QStringList({"1", "3"}));
  // DISTINCT applies to the capped rows too.
  EXPECT_EQ(db.Column("SELECT DISTINCT CLIENT_NAME FROM CLIENT WHERE ROWNUM <= 2"), QStringList({"x"}));
  EXPECT_EQ(db.Column("SELECT CLIENT_ID FROM CLIENT WHERE ROWNUM < 2"), QStringList({"C3"}));
  EXPECT_EQ(db.Column("SELECT CLIENT_ID FROM CLIENT WHERE ROWNUM <= 2 ORDER BY CLIENT_ID"), QStringList({"C1", "C3"}));
  EXPECT_EQ(db.Column("SELECT CLIENT_ID FROM CLIENT WHERE CLIENT_NAME = 'y' AND ROWNUM <= 1"), QStringList({"C2"}));
  EXPECT_TRUE(TranslationError("SELECT * FROM CLIENT WHERE CLIENT_ID = 'a' OR ROWNUM <= 2").contains("ROWNUM"));
  EXPECT_TRUE(TranslationError("SELECT ROWNUM FROM CLIENT").contains("ROWNUM"));
  // Oracle counts the capped rows; a cap after the count would count them all.
  EXPECT_TRUE(TranslationError("SELECT COUNT(*) FROM CLIENT WHERE ROWNUM <= 2").contains("ROWNUM"));
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM (SELECT CLIENT_ID FROM CLIENT WHERE ROWNUM <= 2)"), "2");
  EXPECT_TRUE(TranslationError("SELECT DISTINCT CLIENT_ID FROM CLIENT WHERE ROWNUM <= 2 ORDER BY CLIENT_NAME")
                  .contains("ORDER BY"));
}

TEST(SqlTranslatorRowCaps, OracleOuterJoinOperatorBecomesALeftJoin) {
  SqlTestDb db(SqlTestDb::OracleFacts());
  db.Native("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, AUTHOR) VALUES (1, 10, 'a', 7), (2, 20, 'b', 8), (3, 30, 'c', 7);"
            "INSERT INTO CLIENT VALUES (7, 'C7', 'x');"
            "INSERT INTO FOLDER VALUES (10, 'p10'), (30, 'p30');");
  // The side marked (+) may be missing: every profile comes back, with NULL where nothing matched.
  EXPECT_EQ(db.Column("SELECT P.DOCNUMBER || ':' || NVL(C.CLIENT_ID, '-') FROM DOCSADM.PROFILE P, DOCSADM.CLIENT C "
                      "WHERE C.SYSTEM_ID (+) = P.AUTHOR AND P.DOCNUMBER < 30 ORDER BY P.DOCNUMBER"),
            QStringList({"10:C7", "20:-"}));
  // Marked on the right, two outer tables, one reached through the other.
  EXPECT_EQ(db.Column("SELECT P.DOCNUMBER || ':' || NVL(F.PATH, '-') || ':' || NVL(C.CLIENT_ID, '-') FROM CLIENT C, FOLDER F, "
                      "PROFILE P WHERE C.SYSTEM_ID (+) = F.DOCNUMBER AND P.DOCNUMBER = F.DOCNUMBER (+) ORDER BY P.DOCNUMBER"),
            QStringList({"10:p10:-", "20:-:-", "30:p30:-"}));
  for (const char* refused : {"SELECT * FROM PROFILE P, CLIENT C WHERE C.SYSTEM_ID (+) = P.AUTHOR OR P.DOCNUMBER = 1",
                              "SELECT * FROM PROFILE P LEFT JOIN FOLDER F ON F.DOCNUMBER = P.DOCNUMBER, CLIENT C WHERE C.SYSTEM_ID (+) = P.AUTHOR",
                              "SELECT * FROM PROFILE P WHERE X.SYSTEM_ID (+) = P.AUTHOR"})
    EXPECT_TRUE(TranslationError(refused, SqlTestDb::OracleFacts()).contains("LEFT OUTER JOIN")) << refused;
  // SQL Server has no such operator.
  EXPECT_TRUE(TranslationError("SELECT * FROM PROFILE P, CLIENT C WHERE C.SYSTEM_ID (+) = P.AUTHOR").contains("LEFT OUTER JOIN"));
}

// ---- comparisons, ordering and LIKE ---------------------------------------------------------

TEST(SqlTranslatorText, TextComparesAndSortsWithoutRegardToCase) {
  SqlTestDb db;
  EXPECT_EQ(db.Value("SELECT CASE WHEN 'abc' = 'ABC' THEN 1 ELSE 0 END"), "1");
  EXPECT_EQ(db.Value("SELECT CASE WHEN 'abc' <> 'ABC' THEN 1 ELSE 0 END"), "0");
  EXPECT_EQ(db.Value("SELECT CASE WHEN UPPER('x') = 'x' THEN 1 ELSE 0 END"), "1");
  db.Native("INSERT INTO CLIENT VALUES (10, 'b', 'x'), (9, 'A', 'x'), (8, 'C', 'x');");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_ID = 'a'"), "1");
  EXPECT_EQ(db.Column("SELECT CLIENT_ID FROM CLIENT ORDER BY CLIENT_ID"), QStringList({"A", "b", "C"}));
  EXPECT_EQ(db.Column("SELECT CLIENT_ID + '' AS K FROM CLIENT ORDER BY 1"), QStringList({"A", "b", "C"}));
  EXPECT_EQ(db.Column("SELECT CLIENT_ID + '' AS K FROM CLIENT ORDER BY K DESC"), QStringList({"C", "b", "A"}));
  // Numbers stay numbers beside a text literal.
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE SYSTEM_ID > '9'"), "1");
  EXPECT_EQ(db.Column("SELECT SYSTEM_ID FROM CLIENT ORDER BY SYSTEM_ID"), QStringList({"8", "9", "10"}));
  // Every letter, not only ASCII, and trailing blanks do not count; leading blanks do.
  db.Native("INSERT INTO CLIENT VALUES (20, 'M1 ', 'Müller & Søn'), (21, ' M2', 'x');");
  EXPECT_EQ(db.Value("SELECT CLIENT_ID FROM CLIENT WHERE CLIENT_NAME = 'MÜLLER & SØN'"), "M1 ");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_ID = 'm1' AND CLIENT_NAME <> 'müller & søn  '"), "0");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_ID IN ('M1', 'M2')"), "1");
  EXPECT_EQ(db.Value("SELECT CASE WHEN 'Søn' = 'SØN' AND 'abc ' = 'abc' AND ' abc' <> 'abc' THEN 1 ELSE 0 END"), "1");
  // Oracle: case-blind as before, but an empty text is NULL wherever it is compared or stored.
  SqlTestDb ora(SqlTestDb::OracleFacts());
  ora.Native("INSERT INTO CLIENT VALUES (1, 'A', 'x'), (2, 'B', '');");
  EXPECT_EQ(ora.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_NAME <> ''"), "0");
  EXPECT_EQ(ora.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_NAME = '' OR CLIENT_NAME IN ('', 'y')"), "0");
  ora.Run("UPDATE CLIENT SET CLIENT_NAME = '' WHERE SYSTEM_ID = 1");
  ora.Run("INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME) VALUES (3, 'C', '')");
  EXPECT_EQ(ora.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_NAME IS NULL"), "2");
  EXPECT_EQ(ora.Value("SELECT NVL(CLIENT_NAME, '-') || '' || REPLACE(CLIENT_ID, 'C', '') FROM CLIENT WHERE SYSTEM_ID = 3"), "-");
}

TEST(SqlTranslatorText, TextIndexesOfAnEarlierLibraryFollowTheCollation) {
  QTemporaryDir dir;
  const QByteArray file = dir.filePath("old.sqlite").toUtf8();
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(file.constData(), &db), SQLITE_OK);  // SQLite's own NOCASE, as before
  ASSERT_EQ(sqlite3_exec(db, "CREATE TABLE T (X TEXT COLLATE NOCASE); CREATE INDEX T_X ON T (X); "
                             "INSERT INTO T VALUES ('ØRE'), ('øre '), ('Zeta'), ('abc '), ('abc!'), ('abc');",
                         nullptr, nullptr, nullptr),
            SQLITE_OK);
  sqlite3_close(db);
  ASSERT_EQ(sqlite3_open(file.constData(), &db), SQLITE_OK);
  QString error;
  ASSERT_TRUE(PrepareConnection(db, SqlTestDb::DefaultFacts(), &error)) << error.toStdString();
  sqlite3_stmt* check = nullptr;
  ASSERT_EQ(sqlite3_prepare_v2(db, "SELECT (SELECT group_concat(integrity_check) FROM pragma_integrity_check), "
                                   "(SELECT COUNT(*) FROM T WHERE X = 'øre')", -1, &check, nullptr),
            SQLITE_OK);
  ASSERT_EQ(sqlite3_step(check), SQLITE_ROW);
  EXPECT_STREQ(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok");
  EXPECT_EQ(sqlite3_column_int(check, 1), 2);
  sqlite3_finalize(check);
  sqlite3_close(db);
}

TEST(SqlTranslatorText, LikeReadsSqlServerBracketClasses) {
  SqlTestDb db;
  db.Native("INSERT INTO PROFILE (DOCNUMBER, DOCNAME) VALUES (1, 'A[B'), (2, 'AxB'), (3, 'a_b'), (4, 'Client [7] file');");
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'A[[]B'"), QStringList({"1"}));
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE UPPER(DOCNAME) LIKE 'CLIENT [[]7] %'"), QStringList({"4"}));
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'A[w-z]B'"), QStringList({"2"}));
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'A[^x]B' ORDER BY 1"), QStringList({"1", "3"}));
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'a[_]b'"), QStringList({"3"}));
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME NOT LIKE '%b' ORDER BY 1"), QStringList({"4"}));
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'a!_b' ESCAPE '!'"), QStringList({"3"}));
  db.Native("INSERT INTO PROFILE (DOCNUMBER, DOCNAME) VALUES (5, 'Rate 100%'), (6, 'Rate 1000');");
  EXPECT_EQ(db.Column("SELECT DOCNUMBER FROM PROFILE WHERE UPPER(DOCNAME) LIKE 'RATE 100[%]'"), QStringList({"5"}));
  SqlTestDb ora(SqlTestDb::OracleFacts());
  ora.Native("INSERT INTO PROFILE (DOCNUMBER, DOCNAME) VALUES (1, 'A[B'), (2, 'AxB'), (3, 'Z_1'), (4, 'Z01'), (5, 'A\\B');");
  EXPECT_EQ(ora.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'A[B'"), QStringList({"1"}));
  EXPECT_EQ(ora.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'A[[]B'"), QStringList());
  EXPECT_EQ(ora.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE '%\\_1' ESCAPE '\\'"), QStringList({"3"}));
  EXPECT_EQ(ora.Column("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME LIKE 'A\\\\B' ESCAPE '\\'"), QStringList({"5"}));
}

TEST(SqlTranslatorText, NameLookUpsSeekAnIndexAndFindWhatAWalkFinds) {
  // The folder look-up's "UPPER(DOCNAME) LIKE": where the pattern allows, the rows are found
  // through the index on DOCNAME, and they are always the rows a walk over every row finds (the
  // walk: the same statement with the UPPER in parentheses, which the translator leaves alone).
  const struct {
    const char* like;
    bool seeks;
  } cases[] = {
      {"'C0001'", true},    {"'c0001%'", true},  {"'C000%'", true},   {"'C0001 '", true}, {"'M[_]1'", true},
      {"'MA%'", true},      {"'M!_1' ESCAPE '!'", true},              {"'%0001'", false}, {"'STARK'", false},
      {"'SSTARK'", false},  {"'KELVIN'", false}, {"'J%'", false},     {"'FILE'", false},  {"'[C]0001'", true},
  };
  for (const ServerFacts& facts : {SqlTestDb::DefaultFacts(), SqlTestDb::OracleFacts()}) {
    SqlTestDb db(facts);
    db.Native("CREATE INDEX PROFILE_DOCNAME ON PROFILE (DOCNAME);"
              "INSERT INTO PROFILE (DOCNUMBER, DOCNAME) VALUES (1, 'C0001'), (2, 'c0001'), (3, 'C00010'), (4, 'C0002'), "
              "(5, 'C000'), (6, 'C0001 '), (7, 'Stark'), (8, '\u017Ftark'), (9, '\u00DFtark'), (10, 'SStark'), "
              "(11, '\u212Aelvin'), (12, 'Kelvin'), (13, '\u01F0oe'), (14, 'Joe'), (15, 'M_1'), (16, 'M01'), "
              "(17, 'Ma'), (18, 'M[_]1'), (19, '\uFB01le'), (20, 'File');");
    for (const auto& c : cases) {
      for (const QString& negation : {QString(), QStringLiteral("NOT ")}) {
        const std::string walk = db.Column("SELECT DOCNUMBER FROM PROFILE WHERE " + negation + "(UPPER(DOCNAME)) LIKE " + c.like +
                                       " ORDER BY DOCNUMBER").join(',').toStdString();
        const std::string seek = db.Column("SELECT DOCNUMBER FROM PROFILE WHERE " + negation + "UPPER(DOCNAME) LIKE " + c.like +
                                       " ORDER BY DOCNUMBER").join(',').toStdString();
        EXPECT_EQ(seek, walk) << negation.toStdString() << c.like << " on engine " << facts.engine;
        if (!negation.isEmpty()) continue;
        sqlite3_stmt* plan = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(db.Handle(), ("EXPLAIN QUERY PLAN " + db.lastSql).toUtf8().constData(), -1, &plan, nullptr),
                  SQLITE_OK);
        QString steps;
        while (sqlite3_step(plan) == SQLITE_ROW) steps += QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(plan, 3)));
        sqlite3_finalize(plan);
        EXPECT_EQ(steps.contains("INDEX PROFILE_DOCNAME"), c.seeks) << c.like << ": " << steps.toStdString();
      }
    }
  }
}

// ---- functions --------------------------------------------------------------------------

TEST(SqlTranslatorFunctions, StringPlusFollowsSqlServer) {
  SqlTestDb db;
  EXPECT_EQ(db.Value("SELECT 'QUILLMARK ' + 'Rule'"), "QUILLMARK Rule");
  EXPECT_EQ(db.Value("SELECT 1 + 2 * 3"), "7");
  EXPECT_EQ(db.Value("SELECT '1' + 2"), "3");
  EXPECT_EQ(db.Value("SELECT '1' + '2'"), "12");
  EXPECT_EQ(db.Value("SELECT 'a' + NULL"), "<null>");
  EXPECT_EQ(db.Value("SELECT 'a' + 'b' + 'c'"), "abc");
  EXPECT_EQ(db.Value("SELECT 5 - 2 + '1'"), "4");
  EXPECT_FALSE(db.Run("SELECT 'x' + 1").ok);
  db.Native("INSERT INTO CLIENT VALUES (7, 'C7', 'Name');");
  EXPECT_EQ(db.Value("SELECT CLIENT_ID + ' - ' + CLIENT_NAME FROM DOCSADM.CLIENT"), "C7 - Name");
  EXPECT_EQ(db.Value("SELECT SYSTEM_ID + 1 FROM CLIENT"), "8");
  EXPECT_EQ(db.Value("SELECT -SYSTEM_ID + 10 FROM CLIENT"), "3");
  EXPECT_EQ(db.Value("SELECT CASE WHEN SYSTEM_ID = 7 THEN 'x' + CLIENT_ID ELSE '' END FROM CLIENT"), "xC7");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT WHERE CLIENT_ID + 'X' = 'c7x'"), "1");
  EXPECT_EQ(db.Value("SELECT '2026-12-08 10:00:00' + 1"), "2026-12-09 10:00:00");
}

TEST(SqlTranslatorFunctions, DatesAreIsoTextAndCompareWithDateLiterals) {
  SqlTestDb db;
  const QRegularExpression iso("^\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}$");
  EXPECT_TRUE(iso.match(db.Value("SELECT GETDATE()")).hasMatch());
  EXPECT_TRUE(iso.match(db.Value("SELECT GETUTCDATE()")).hasMatch());
  EXPECT_TRUE(db.Value("SELECT GETDATE()").startsWith(QDate::currentDate().toString("yyyy-MM-dd")));
  db.Run("INSERT INTO DOCSADM.TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
         "VALUES('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'PC1:Rule', GETDATE())");
  const QString today = QDate::currentDate().toString("yyyy-MM-dd");
  const QString tomorrow = QDate::currentDate().addDays(1).toString("yyyy-MM-dd");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM TARN_SETTINGS WHERE DATE_VAL >= '" + today + "' AND DATE_VAL < '" + tomorrow + "'"), "1");
  db.Run("UPDATE DOCSADM.TARN_SETTINGS SET DATE_VAL = '2026-12-08 09:30:00'");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM TARN_SETTINGS WHERE DATE_VAL < '2026-12-09'"), "1");
  EXPECT_EQ(db.Value("SELECT DATEDIFF(day, DATE_VAL, '2026-12-10') FROM TARN_SETTINGS"), "2");
  EXPECT_EQ(db.Value("SELECT DATEADD(month, 1, DATE_VAL) FROM TARN_SETTINGS"), "2027-01-08 09:30:00");
  EXPECT_EQ(db.Value("SELECT YEAR(DATE_VAL) FROM TARN_SETTINGS"), "2026");
  SqlTestDb ora(SqlTestDb::OracleFacts());
  EXPECT_EQ(ora.Value("SELECT TO_DATE('08-DEC-26','DD-MON-RR') FROM DUAL"), "2026-12-08");
  EXPECT_EQ(ora.Value("SELECT TO_DATE(NULL, 'DD-MON-RR') FROM DUAL"), "<null>");
  EXPECT_TRUE(iso.match(ora.Value("SELECT SYSDATE FROM DUAL")).hasMatch());
  EXPECT_FALSE(ora.Run("SELECT TO_DATE('31-FOO-26','DD-MON-RR') FROM DUAL").ok);
}

TEST(SqlTranslatorFunctions, NullLengthAndSearchFunctions) {
  SqlTestDb db;
  EXPECT_EQ(db.Value("SELECT ISNULL(NULL, 'x')"), "x");
  EXPECT_EQ(db.Value("SELECT LEN('abc  ')"), "3");
  EXPECT_EQ(db.Value("SELECT CHARINDEX('B', 'abcb')"), "2");
  EXPECT_EQ(db.Value("SELECT CHARINDEX('b', 'abcb', 3)"), "4");
  EXPECT_EQ(db.Value("SELECT CHARINDEX('z', 'abc')"), "0");
  EXPECT_EQ(db.Value("SELECT SUBSTRING('abcdef', 2, 3)"), "bcd");
  EXPECT_EQ(db.Value("SELECT LEFT('abcdef', 2) + RIGHT('abcdef', 2)"), "abef");
  EXPECT_EQ(db.Value("SELECT LTRIM(RTRIM('  a  '))"), "a");
  EXPECT_EQ(db.Value("SELECT UPPER(N'éa')"), QString::fromUtf8("ÉA"));
  EXPECT_TRUE(TranslationError("SELECT ISNULL(1)").contains("2 argument"));
  SqlTestDb ora(SqlTestDb::OracleFacts());
  EXPECT_EQ(ora.Value("SELECT NVL(NULL, 'y') || 'z' FROM DUAL"), "yz");
  EXPECT_EQ(ora.Value("SELECT SUBSTR('abcdef', 3, 2) FROM DUAL"), "cd");
  EXPECT_EQ(ora.Value("SELECT 1 FROM DUAL WHERE 1 != 2"), "1");
}

TEST(SqlTranslatorFunctions, CastConvertAndTryCast) {
  SqlTestDb db;
  EXPECT_EQ(db.Value("SELECT CAST('12' AS INT) + 1"), "13");
  EXPECT_EQ(db.Value("SELECT CAST('' AS INT)"), "0");
  EXPECT_EQ(db.Value("SELECT CAST(NULL AS DATETIME)"), "<null>");
  EXPECT_EQ(db.Value("SELECT CAST(1.7 AS INT)"), "1");
  EXPECT_EQ(db.Value("SELECT CAST('abcdef' AS VARCHAR(3))"), "abc");
  EXPECT_EQ(db.Value("SELECT CAST(42 AS NVARCHAR(MAX)) + 'x'"), "42x");
  EXPECT_EQ(db.Value("SELECT CAST('2.345' AS NUMERIC(5,2))"), "2.35");
  EXPECT_EQ(db.Value("SELECT CAST('12/08/2026' AS DATETIME)"), "2026-12-08 00:00:00");
  EXPECT_EQ(db.Value("SELECT CAST('2026-12-08 10:11:12' AS DATE)"), "2026-12-08");
  EXPECT_EQ(db.Value("SELECT CONVERT(VARCHAR(10), '2026-12-08 10:11:12', 101)"), "12/08/2026");
  EXPECT_EQ(db.Value("SELECT CONVERT(VARCHAR(8), '2026-12-08', 112)"), "20261208");
  EXPECT_EQ(db.Value("SELECT CONVERT(DATETIME, '08/12/2026', 103)"), "2026-12-08 00:00:00");
  EXPECT_EQ(db.Value("SELECT CONVERT(INT, '5')"), "5");
  EXPECT_EQ(db.Value("SELECT TRY_CAST('abc' AS INT)"), "<null>");
  EXPECT_EQ(db.Value("SELECT TRY_CAST('2026-02-30' AS DATETIME)"), "<null>");
  EXPECT_EQ(db.Value("SELECT TRY_CONVERT(INT, '77')"), "77");
  SqlRun r = db.Run("SELECT CAST('abc' AS INT)");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.error.contains("Conversion failed")) << r.error.toStdString();
  EXPECT_FALSE(db.Run("SELECT CAST(300 AS TINYINT)").ok);
  EXPECT_TRUE(TranslationError("SELECT CAST(1 AS GEOGRAPHY)").contains("GEOGRAPHY"));
  EXPECT_TRUE(TranslationError("SELECT CAST(1)").contains("AS"));
}

// ---- server facts and catalogues ---------------------------------------------------------------

TEST(SqlTranslatorFacts, VersionPropertiesAndDatabases) {
  SqlTestDb db;
  EXPECT_TRUE(db.Value("SELECT @@VERSION").startsWith("Microsoft SQL Server "));
  EXPECT_EQ(db.Value("select serverproperty('ProductVersion')"), "13.0.5026.0");
  EXPECT_EQ(db.Value("SELECT SERVERPROPERTY('NoSuchProperty')"), "<null>");
  EXPECT_EQ(db.Value("SELECT compatibility_level FROM sys.databases WHERE name = 'LAWLIB_DB'"), "130");
  EXPECT_EQ(db.Value("SELECT compatibility_level FROM sys.databases WHERE name = 'lawlib_db'"), "130");
  EXPECT_EQ(db.Value("SELECT IS_QUOTED_IDENTIFIER_ON FROM SYS.DATABASES DB WHERE DB.NAME = 'LAWLIB_DB'"), "1");
  EXPECT_EQ(db.Run("SELECT IS_QUOTED_IDENTIFIER_ON FROM SYS.DATABASES DB WHERE DB.NAME = 'NOPE'").rows.size(), 0);
  EXPECT_EQ(db.Value("SELECT DB_NAME()"), "LAWLIB_DB");
  // Without version text the answer is still a SQL Server one, built from the product version.
  ServerFacts facts = SqlTestDb::DefaultFacts();
  facts.versionText.clear();
  SqlTestDb bare(facts);
  EXPECT_TRUE(bare.Value("SELECT @@VERSION").startsWith("Microsoft SQL Server 2016 - 13.0.5026.0"));
}

TEST(SqlTranslatorFacts, TablePresenceQueriesSeeTheRealTables) {
  SqlTestDb db;
  const QString check = "select count(*) from sysobjects \r\nwhere id = object_id('DOCSADM.%1') \r\nand sysstat & 0xf = 3 ";
  EXPECT_EQ(db.Value(check.arg("TARN_SETTINGS")), "1");
  EXPECT_EQ(db.Value(check.arg("NEEDS_FOLDERING")), "0");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM sysobjects WHERE id = object_id('OTHER.TARN_SETTINGS')"), "0");
  db.Run("CREATE TABLE NEEDS_FOLDERING (SID INTEGER)");
  EXPECT_EQ(db.Value(check.arg("NEEDS_FOLDERING")), "1");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM INFORMATION_SCHEMA.TABLES WHERE TABLE_NAME = 'CLIENT'"), "1");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM INFORMATION_SCHEMA.COLUMNS WHERE TABLE_NAME = 'CLIENT'"), "3");
  SqlTestDb ora(SqlTestDb::OracleFacts());
  EXPECT_EQ(ora.Value("SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'TARN_SETTINGS'"), "1");
  EXPECT_EQ(ora.Value("SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = 'TARN_PROXY'"), "0");
  EXPECT_EQ(ora.Value("SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'"), "<no row>");
  ora.Native("CREATE TABLE REMOTE_LIBRARIES (SYSTEM_ID INTEGER);");
  EXPECT_EQ(ora.Value("SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'"), "DOCSADM");
}

// ---- statements -------------------------------------------------------------------------

TEST(SqlTranslatorStatements, SessionOptionsRunAsNothing) {
  SqlTestDb db;
  for (const char* s : {"set dateformat mdy", "SET NOCOUNT ON", "SET QUOTED_IDENTIFIER ON", "ALTER SESSION SET NLS_DATE_FORMAT = 'DD-MON-RR'"}) {
    const SqlRun r = db.Run(s);
    EXPECT_TRUE(r.ok) << s << ": " << r.error.toStdString();
    EXPECT_TRUE(r.columns.isEmpty()) << s;
    EXPECT_TRUE(r.rows.isEmpty()) << s;
  }
  EXPECT_TRUE(TranslationError("SET DATEFORMAT dmy").contains("mdy"));
  EXPECT_TRUE(TranslationError("SET ROWCOUNT 5").contains("ROWCOUNT"));
}

TEST(SqlTranslatorStatements, TransactionsCommitAndRollBack) {
  SqlTestDb db;
  ASSERT_TRUE(db.Run("BEGIN TRANSACTION").ok);
  db.Run("INSERT INTO CLIENT VALUES (1, 'A', 'x')");
  ASSERT_TRUE(db.Run("ROLLBACK").ok);
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT"), "0");
  ASSERT_TRUE(db.Run("BEGIN TRAN").ok);
  db.Run("INSERT INTO CLIENT VALUES (1, 'A', 'x')");
  ASSERT_TRUE(db.Run("COMMIT TRANSACTION").ok);
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT"), "1");
  EXPECT_EQ(Translated("ROLLBACK TRAN"), "ROLLBACK");
  EXPECT_EQ(Translated("COMMIT WORK"), "COMMIT");
  // Going back to a savepoint, in SQL Server's and Oracle's forms, keeps the transaction open.
  for (const auto& [save, back] : {std::pair{"SAVE TRANSACTION SW1", "ROLLBACK TRANSACTION SW1"},
                                   std::pair{"SAVEPOINT SW2", "ROLLBACK TO SAVEPOINT SW2"}}) {
    ASSERT_TRUE(db.Run("BEGIN TRANSACTION").ok && db.Run(save).ok) << save;
    db.Run("INSERT INTO CLIENT VALUES (3, 'C', 'x')");
    ASSERT_TRUE(db.Run(back).ok && db.Run("COMMIT TRANSACTION").ok) << back;
  }
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM CLIENT"), "1");
}

TEST(SqlTranslatorStatements, AlterTableAddsColumnsInServerTypes) {
  SqlTestDb db;
  ASSERT_TRUE(db.Run("ALTER TABLE DOCSADM.FOLDER ADD LAST_UPDATE DATETIME NULL").ok) << db.lastSql.toStdString();
  db.Run("INSERT INTO FOLDER (DOCNUMBER, PATH) VALUES (1, 'QUILLMARK R')");
  db.Run("UPDATE DOCSADM.FOLDER SET LAST_UPDATE = GETUTCDATE() WHERE PATH LIKE 'QUILLMARK%'");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM FOLDER WHERE LAST_UPDATE IS NOT NULL"), "1");
  // A new text column compares without regard to case like the rest of the schema.
  ASSERT_TRUE(db.Run("ALTER TABLE FOLDER ADD NOTE NVARCHAR(MAX) NULL").ok) << db.lastSql.toStdString();
  db.Run("UPDATE FOLDER SET NOTE = 'Mixed'");
  EXPECT_EQ(db.Value("SELECT COUNT(*) FROM FOLDER WHERE NOTE = 'MIXED'"), "1");
  EXPECT_TRUE(TranslationError("ALTER TABLE FOLDER ADD A INT, B INT").contains("one column"));
}

}  // namespace sw::dm::test
