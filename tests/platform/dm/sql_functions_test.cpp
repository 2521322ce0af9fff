#include <gtest/gtest.h>

#include <QDate>

#include "platform/dm/sql_functions.h"
#include "platform/dm/sql_values.h"
#include "sql_test_db.h"

namespace sw::dm::sql {

TEST(SqlLike, SqlServerPatterns) {
  EXPECT_TRUE(LikeMatches("A[B", "A[[]B", true));
  EXPECT_FALSE(LikeMatches("AxB", "A[[]B", true));
  EXPECT_TRUE(LikeMatches("abc", "ABC", true));
  EXPECT_TRUE(LikeMatches("b", "[a-c]", true));
  EXPECT_TRUE(LikeMatches("B", "[a-c]", true));
  EXPECT_FALSE(LikeMatches("d", "[a-c]", true));
  EXPECT_TRUE(LikeMatches("d", "[^a-c]", true));
  EXPECT_FALSE(LikeMatches("x", "[^x]", true));
  EXPECT_TRUE(LikeMatches("a]", "a]", true));
  EXPECT_TRUE(LikeMatches("50%", "50[%]", true));
  EXPECT_FALSE(LikeMatches("500", "50[%]", true));
  EXPECT_TRUE(LikeMatches("a[b", "a[b", true));  // a "[" that never closes is a plain character
  EXPECT_TRUE(LikeMatches("PC1:Rule one", "PC1:%", true));
  EXPECT_TRUE(LikeMatches("abcabd", "%ab_", true));
  EXPECT_FALSE(LikeMatches("abcab", "%ab_", true));
  EXPECT_TRUE(LikeMatches("", "%", true));
  EXPECT_FALSE(LikeMatches("", "_", true));
  EXPECT_TRUE(LikeMatches("a_b", "a!_b", true, u'!'));
  EXPECT_FALSE(LikeMatches("axb", "a!_b", true, u'!'));
  EXPECT_TRUE(LikeMatches(QString::fromUtf8("ÉCOLE"), QString::fromUtf8("école"), true));
  // A long run of wildcards stays quick (no exponential backtracking).
  EXPECT_FALSE(LikeMatches(QString(200, u'a'), QString(50, u'%') + u'b', true));
}

TEST(SqlLike, OraclePatternsHaveNoBracketClasses) {
  EXPECT_TRUE(LikeMatches("A[B", "A[B", false));
  EXPECT_FALSE(LikeMatches("A[B", "A[[]B", false));
  EXPECT_FALSE(LikeMatches("b", "[a-c]", false));
  EXPECT_TRUE(LikeMatches("RULE_X", "RULE_%", false));
}

TEST(SqlValues, TypeNames) {
  EXPECT_EQ(ParseSqlType("INT").family, TypeFamily::Integer);
  EXPECT_EQ(ParseSqlType("varchar(10)").length, 10);
  EXPECT_EQ(ParseSqlType("VARCHAR").length, 30);
  EXPECT_EQ(ParseSqlType("NVARCHAR(MAX)").length, 0);
  EXPECT_TRUE(ParseSqlType("CHAR(3)").fixedLength);
  const SqlType n = ParseSqlType("NUMERIC(10, 2)");
  EXPECT_EQ(n.family, TypeFamily::Decimal);
  EXPECT_EQ(n.precision, 10);
  EXPECT_EQ(n.scale, 2);
  EXPECT_EQ(ParseSqlType("DOUBLE PRECISION").family, TypeFamily::Float);
  EXPECT_EQ(ParseSqlType("VARCHAR2(20)").family, TypeFamily::Text);
  EXPECT_EQ(ParseSqlType("SMALLDATETIME").family, TypeFamily::DateTime);
  EXPECT_EQ(ParseSqlType("XML").family, TypeFamily::Unknown);
  EXPECT_EQ(ParseSqlType("NUMERIC(2, 5)").family, TypeFamily::Unknown);
}

TEST(SqlValues, ServerDateForms) {
  auto iso = [](const QString& t, int style = -1) {
    const auto d = ParseServerDateTime(t, style);
    return d ? IsoDateTime(*d) : QStringLiteral("invalid");
  };
  EXPECT_EQ(iso("2026-12-08"), "2026-12-08 00:00:00");
  EXPECT_EQ(iso("2026-12-08T10:11:12.345"), "2026-12-08 10:11:12");
  EXPECT_EQ(iso("20261208"), "2026-12-08 00:00:00");
  EXPECT_EQ(iso("12/08/2026 3:05 PM"), "2026-12-08 15:05:00");  // month first, as "set dateformat mdy" says
  EXPECT_EQ(iso("08/12/2026", 103), "2026-12-08 00:00:00");
  EXPECT_EQ(iso("08-DEC-26"), "2026-12-08 00:00:00");
  EXPECT_EQ(iso("Dec  8 2026 10:05AM"), "2026-12-08 10:05:00");
  EXPECT_EQ(iso(""), "1900-01-01 00:00:00");
  EXPECT_EQ(iso("2026-02-30"), "invalid");
  EXPECT_EQ(iso("12/08/49"), "2049-12-08 00:00:00");
  EXPECT_EQ(iso("12/08/50"), "1950-12-08 00:00:00");
  const QDateTime dt(QDate(2026, 3, 4), QTime(15, 6, 7));
  EXPECT_EQ(FormatDateStyle(dt, 0).value_or(""), "Mar  4 2026  3:06PM");
  EXPECT_EQ(FormatDateStyle(dt, 103).value_or(""), "04/03/2026");
  EXPECT_EQ(FormatDateStyle(dt, 1).value_or(""), "03/04/26");
  EXPECT_EQ(FormatDateStyle(dt, 120).value_or(""), "2026-03-04 15:06:07");
  EXPECT_FALSE(FormatDateStyle(dt, 999).has_value());
}

TEST(SqlValues, OracleDates) {
  const QDate today(2026, 6, 15);
  OracleDate d = ParseOracleDate("08-DEC-26", "DD-MON-RR", today);
  EXPECT_TRUE(d.error.isEmpty());
  EXPECT_FALSE(d.hasTime);
  EXPECT_EQ(IsoDate(d.value.date()), "2026-12-08");
  EXPECT_EQ(IsoDate(ParseOracleDate("08-dec-97", "DD-MON-RR", today).value.date()), "1997-12-08");
  d = ParseOracleDate("2026/12/08 14:30:05", "YYYY/MM/DD HH24:MI:SS", today);
  EXPECT_TRUE(d.hasTime);
  EXPECT_EQ(IsoDateTime(d.value), "2026-12-08 14:30:05");
  EXPECT_EQ(IsoDateTime(ParseOracleDate("08.12.2026 02:30 PM", "DD.MM.YYYY HH:MI AM", today).value), "2026-12-08 14:30:00");
  EXPECT_TRUE(ParseOracleDate("31-FOO-26", "DD-MON-RR", today).error.startsWith("ORA-01843"));
  EXPECT_TRUE(ParseOracleDate("31-FEB-26", "DD-MON-RR", today).error.startsWith("ORA-01847"));
  EXPECT_TRUE(ParseOracleDate("08-DEC-26 junk", "DD-MON-RR", today).error.startsWith("ORA-01830"));
  EXPECT_TRUE(ParseOracleDate("XX-DEC-26", "DD-MON-RR", today).error.startsWith("ORA-01858"));
  EXPECT_EQ(ExpandRrYear(49, 2026), 2049);
  EXPECT_EQ(ExpandRrYear(50, 2026), 1950);
  EXPECT_EQ(ExpandRrYear(10, 2075), 2110);
  EXPECT_EQ(ExpandRrYear(80, 2075), 2080);
  EXPECT_EQ(FormatOracleDate(QDateTime(QDate(2026, 12, 8), QTime(9, 5)), "DD-MON-YYYY HH24:MI"), "08-DEC-2026 09:05");
}

TEST(SqlValues, ObjectIdsAreStableAndIgnoreCase) {
  EXPECT_EQ(ObjectIdOf("TARN_SETTINGS"), ObjectIdOf("tarn_settings"));
  EXPECT_NE(ObjectIdOf("TARN_SETTINGS"), ObjectIdOf("TARN_PROXY"));
  EXPECT_GT(ObjectIdOf("X"), 0);
}

TEST(SqlArithmetic, MinusOnNumbersDatesAndText) {
  test::SqlTestDb db;
  EXPECT_EQ(db.Value("SELECT 10 - 3"), "7");
  EXPECT_EQ(db.Value("SELECT '2026-12-08 10:00:00' - 7"), "2026-12-01 10:00:00");
  EXPECT_EQ(db.Value("SELECT '12' - 2"), "10");
  EXPECT_FALSE(db.Run("SELECT 'a' - 'b'").ok);
  db.Native("INSERT INTO CLIENT VALUES (5, 'C', 'x');");
  EXPECT_EQ(db.Value("SELECT SYSTEM_ID - 1 FROM CLIENT"), "4");
  EXPECT_EQ(db.Value("SELECT substr(GETDATE() - 1, 1, 10)"), QDate::currentDate().addDays(-1).toString("yyyy-MM-dd"));
}

}  // namespace sw::dm::sql
