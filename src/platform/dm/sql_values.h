#pragma once
// Value rules of the emulated servers: SQL Server type names, and dates kept as ISO text
// ('YYYY-MM-DD HH:MM:SS', or 'YYYY-MM-DD' for a date without a time), read from the forms
// SQL Server (month first, as "set dateformat mdy" asks) and Oracle's TO_DATE accept.
#include <QDateTime>
#include <QString>

#include <optional>

namespace sw::dm::sql {

enum class TypeFamily { Unknown, Integer, Bit, Float, Decimal, Text, DateTime, Date, Time };

struct SqlType {
  TypeFamily family = TypeFamily::Unknown;
  QString name;        // upper-case base name, e.g. VARCHAR
  int length = -1;     // text: -1 not given, 0 MAX
  int precision = 18;  // decimal
  int scale = 0;
  bool fixedLength = false;  // CHAR and NCHAR pad with blanks
  qint64 minValue = 0, maxValue = 0;  // integer ranges
};

// "INT", "VARCHAR(10)", "NVARCHAR(MAX)", "NUMERIC(10,2)", "DATETIME", Oracle "NUMBER" and
// "VARCHAR2": the family is Unknown for a name neither server has.
SqlType ParseSqlType(const QString& text);

// SQL Server's reading of a date text. `style` is CONVERT's style number, -1 for none.
std::optional<QDateTime> ParseServerDateTime(const QString& text, int style = -1);
QString IsoDateTime(const QDateTime& dt);
QString IsoDate(const QDate& d);
// CONVERT(VARCHAR, date, style); no value for a style SQL Server does not know.
std::optional<QString> FormatDateStyle(const QDateTime& dt, int style);

// Oracle TO_DATE: the date, whether the format had time fields, or an ORA- error.
struct OracleDate {
  QDateTime value;
  bool hasTime = false;
  QString error;
};
OracleDate ParseOracleDate(const QString& text, const QString& format, const QDate& today);
QString FormatOracleDate(const QDateTime& dt, const QString& format);
// Oracle's RR year: a two-digit year lands in the century that keeps it within 50 years of
// `currentYear`.
int ExpandRrYear(int twoDigitYear, int currentYear);

bool IsIntegerText(const QString& trimmed);
std::optional<double> ParseNumberText(const QString& trimmed);

}  // namespace sw::dm::sql
