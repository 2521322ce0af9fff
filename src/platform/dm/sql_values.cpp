#include "platform/dm/sql_values.h"

#include <QRegularExpression>

#include <cmath>
#include <limits>

namespace sw::dm::sql {

namespace {

const char* const kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                               "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
const char* const kMonthNames[] = {"JANUARY", "FEBRUARY", "MARCH",     "APRIL",   "MAY",      "JUNE",
                                   "JULY",    "AUGUST",   "SEPTEMBER", "OCTOBER", "NOVEMBER", "DECEMBER"};
const char* const kDays[] = {"MONDAY", "TUESDAY", "WEDNESDAY", "THURSDAY", "FRIDAY", "SATURDAY", "SUNDAY"};

// 1..12, or 0 for no month name or abbreviation.
int MonthFromName(const QString& name) {
  const QString up = name.toUpper();
  for (int m = 0; m < 12; ++m)
    if (up == QLatin1String(kMonths[m]) || up == QLatin1String(kMonthNames[m])) return m + 1;
  return 0;
}

QString MonthAbbrev(int month, bool upper) {
  const QString a = QLatin1String(kMonths[month - 1]);
  return upper ? a : a.left(1) + a.mid(1).toLower();
}

// SQL Server's two-digit year cutoff: 49 and below are 20xx.
int ServerYear(const QString& digits) {
  const int y = digits.toInt();
  if (digits.size() > 2) return y;
  return y <= 49 ? 2000 + y : 1900 + y;
}

// "hh:mm[:ss[.fff]][AM|PM]" from the captures at `first`.
std::optional<QTime> TimeFrom(const QRegularExpressionMatch& m, int first) {
  if (m.captured(first).isEmpty()) return QTime(0, 0);
  int h = m.captured(first).toInt();
  const int mi = m.captured(first + 1).toInt();
  const int s = m.captured(first + 2).toInt();
  const int ms = m.captured(first + 3).leftJustified(3, u'0').left(3).toInt();
  const QString ampm = m.captured(first + 4).toUpper();
  if (!ampm.isEmpty()) {
    if (h < 1 || h > 12) return std::nullopt;
    if (ampm == u"PM" && h != 12) h += 12;
    if (ampm == u"AM" && h == 12) h = 0;
  }
  QTime t(h, mi, s, ms);
  if (!t.isValid()) return std::nullopt;
  return t;
}

std::optional<QDateTime> Make(int y, int mo, int d, std::optional<QTime> t) {
  const QDate date(y, mo, d);
  if (!date.isValid() || !t) return std::nullopt;
  return QDateTime(date, *t);
}

const QString kTime = QStringLiteral(R"((?:[ T]+(\d{1,2}):(\d{2})(?::(\d{2})(?:[.:](\d{1,7}))?)?\s*([AaPp][Mm])?)?)");

enum class Order { MDY, DMY, YMD };

std::optional<QDateTime> ParseNumeric(const QString& t, Order order) {
  static const QRegularExpression ymd(QStringLiteral("^(\\d{4})[-/.](\\d{1,2})[-/.](\\d{1,2})") + kTime + QStringLiteral("$"));
  static const QRegularExpression xxy(QStringLiteral("^(\\d{1,2})[-/.](\\d{1,2})[-/.](\\d{4}|\\d{2})") + kTime + QStringLiteral("$"));
  if (order == Order::YMD) {
    const auto m = ymd.match(t);
    if (!m.hasMatch()) return std::nullopt;
    return Make(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), TimeFrom(m, 4));
  }
  const auto m = xxy.match(t);
  if (!m.hasMatch()) return std::nullopt;
  const int a = m.captured(1).toInt(), b = m.captured(2).toInt();
  const int y = ServerYear(m.captured(3));
  return order == Order::MDY ? Make(y, a, b, TimeFrom(m, 4)) : Make(y, b, a, TimeFrom(m, 4));
}

std::optional<QDateTime> ParseCompact(const QString& t) {
  static const QRegularExpression re(QStringLiteral("^(\\d{4})(\\d{2})(\\d{2})") + kTime + QStringLiteral("$"));
  const auto m = re.match(t);
  if (!m.hasMatch()) return std::nullopt;
  return Make(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt(), TimeFrom(m, 4));
}

// "08-DEC-26", "8 Dec 2026", "Dec  8 2026 10:05AM", "Dec 8, 2026".
std::optional<QDateTime> ParseMonthName(const QString& t) {
  static const QRegularExpression dmy(QStringLiteral("^(\\d{1,2})[- ]([A-Za-z]{3,9})[- ](\\d{4}|\\d{2})") + kTime + QStringLiteral("$"));
  static const QRegularExpression mdy(QStringLiteral("^([A-Za-z]{3,9})\\s+(\\d{1,2}),?\\s+(\\d{4})") + kTime + QStringLiteral("$"));
  auto m = dmy.match(t);
  if (m.hasMatch()) {
    const int mo = MonthFromName(m.captured(2));
    if (mo == 0) return std::nullopt;
    return Make(ServerYear(m.captured(3)), mo, m.captured(1).toInt(), TimeFrom(m, 4));
  }
  m = mdy.match(t);
  if (!m.hasMatch()) return std::nullopt;
  const int mo = MonthFromName(m.captured(1));
  if (mo == 0) return std::nullopt;
  return Make(m.captured(3).toInt(), mo, m.captured(2).toInt(), TimeFrom(m, 4));
}

QString Two(int n) { return QString::number(n).rightJustified(2, u'0'); }

}  // namespace

SqlType ParseSqlType(const QString& text) {
  static const QRegularExpression re(
      QStringLiteral(R"(^\s*([A-Za-z_][A-Za-z0-9_]*(?:\s+(?:PRECISION|VARYING))?)\s*(?:\(\s*(MAX|\d+)\s*(?:,\s*(\d+)\s*)?\))?\s*$)"),
      QRegularExpression::CaseInsensitiveOption);
  SqlType type;
  const auto m = re.match(text);
  if (!m.hasMatch()) return type;
  type.name = m.captured(1).toUpper().simplified();
  const QString a = m.captured(2).toUpper(), b = m.captured(3);
  const QString& n = type.name;
  auto integer = [&](qint64 lo, qint64 hi) {
    type.family = TypeFamily::Integer;
    type.minValue = lo;
    type.maxValue = hi;
  };
  if (n == u"INT" || n == u"INTEGER") {
    integer(std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
  } else if (n == u"BIGINT") {
    integer(std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
  } else if (n == u"SMALLINT") {
    integer(-32768, 32767);
  } else if (n == u"TINYINT") {
    integer(0, 255);
  } else if (n == u"BIT") {
    type.family = TypeFamily::Bit;
  } else if (n == u"FLOAT" || n == u"REAL" || n == u"DOUBLE PRECISION" || n == u"BINARY_DOUBLE") {
    type.family = TypeFamily::Float;
  } else if (n == u"DECIMAL" || n == u"NUMERIC" || n == u"DEC" || n == u"NUMBER" || n == u"MONEY" ||
             n == u"SMALLMONEY") {
    type.family = TypeFamily::Decimal;
    if (n == u"MONEY" || n == u"SMALLMONEY") type.scale = 4;
    if (n == u"NUMBER" && a.isEmpty()) type.scale = -1;  // Oracle NUMBER keeps every digit
    if (!a.isEmpty()) type.precision = a == u"MAX" ? 38 : a.toInt();
    if (!b.isEmpty()) type.scale = b.toInt();
    if (type.precision < 1 || type.precision > 38 || type.scale > type.precision) type.family = TypeFamily::Unknown;
  } else if (n == u"CHAR" || n == u"NCHAR" || n == u"CHARACTER" || n == u"VARCHAR" || n == u"NVARCHAR" ||
             n == u"VARCHAR2" || n == u"NVARCHAR2" || n == u"CHARACTER VARYING" || n == u"TEXT" ||
             n == u"NTEXT" || n == u"CLOB" || n == u"SYSNAME" || n == u"UNIQUEIDENTIFIER") {
    type.family = TypeFamily::Text;
    type.fixedLength = n == u"CHAR" || n == u"NCHAR" || n == u"CHARACTER";
    if (!a.isEmpty()) type.length = a == u"MAX" ? 0 : a.toInt();
    if (type.length == -1 && n != u"TEXT" && n != u"NTEXT" && n != u"CLOB") type.length = 30;  // SQL Server's default in CAST
    if (n == u"SYSNAME") type.length = 128;
  } else if (n == u"DATETIME" || n == u"DATETIME2" || n == u"SMALLDATETIME" || n == u"TIMESTAMP") {
    type.family = TypeFamily::DateTime;
  } else if (n == u"DATE") {
    type.family = TypeFamily::Date;
  } else if (n == u"TIME") {
    type.family = TypeFamily::Time;
  }
  return type;
}

std::optional<QDateTime> ParseServerDateTime(const QString& text, int style) {
  const QString t = text.trimmed();
  if (t.isEmpty()) return QDateTime(QDate(1900, 1, 1), QTime(0, 0));  // SQL Server's zero date
  const int s = style % 100;
  if (style >= 0 && (s == 3 || s == 4 || s == 5)) return ParseNumeric(t, Order::DMY);
  if (style >= 0 && (s == 1 || s == 10)) return ParseNumeric(t, Order::MDY);
  if (style >= 0 && s == 12) return ParseCompact(t);
  if (auto v = ParseNumeric(t, Order::YMD)) return v;
  if (auto v = ParseCompact(t)) return v;
  if (auto v = ParseNumeric(t, Order::MDY)) return v;
  return ParseMonthName(t);
}

QString IsoDateTime(const QDateTime& dt) { return dt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")); }
QString IsoDate(const QDate& d) { return d.toString(QStringLiteral("yyyy-MM-dd")); }

std::optional<QString> FormatDateStyle(const QDateTime& dt, int style) {
  const QDate d = dt.date();
  const QTime t = dt.time();
  const QString yyyy = QString::number(d.year()).rightJustified(4, u'0');
  const QString yy = Two(d.year() % 100);
  const QString mm = Two(d.month()), dd = Two(d.day());
  const QString hms = Two(t.hour()) + u':' + Two(t.minute()) + u':' + Two(t.second());
  const bool century = style >= 100;
  const QString y = century ? yyyy : yy;
  switch (style) {
    case 0:
    case 100: {
      const int h12 = t.hour() % 12 == 0 ? 12 : t.hour() % 12;
      return MonthAbbrev(d.month(), false) + u' ' + QString::number(d.day()).rightJustified(2, u' ') + u' ' + yyyy +
             u' ' + QString::number(h12).rightJustified(2, u' ') + u':' + Two(t.minute()) +
             (t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM"));
    }
    case 1: case 101: return mm + u'/' + dd + u'/' + y;
    case 2: case 102: return y + u'.' + mm + u'.' + dd;
    case 3: case 103: return dd + u'/' + mm + u'/' + y;
    case 4: case 104: return dd + u'.' + mm + u'.' + y;
    case 5: case 105: return dd + u'-' + mm + u'-' + y;
    case 6: case 106: return dd + u' ' + MonthAbbrev(d.month(), false) + u' ' + y;
    case 7: case 107: return MonthAbbrev(d.month(), false) + u' ' + dd + QStringLiteral(", ") + y;
    case 8: case 108: return hms;
    case 10: case 110: return mm + u'-' + dd + u'-' + y;
    case 11: case 111: return y + u'/' + mm + u'/' + dd;
    case 12: case 112: return y + mm + dd;
    case 20: case 120: return yyyy + u'-' + mm + u'-' + dd + u' ' + hms;
    case 21: case 121: return yyyy + u'-' + mm + u'-' + dd + u' ' + hms + u'.' + QString::number(t.msec()).rightJustified(3, u'0');
    case 23: return yyyy + u'-' + mm + u'-' + dd;
    case 126: return yyyy + u'-' + mm + u'-' + dd + u'T' + hms;
    default: return std::nullopt;
  }
}

int ExpandRrYear(int yy, int currentYear) {
  const int century = currentYear / 100 * 100;
  const int current = currentYear % 100;
  if (current < 50) return yy < 50 ? century + yy : century - 100 + yy;
  return yy < 50 ? century + 100 + yy : century + yy;
}

namespace {

// One element of an Oracle date format, longest names first.
QString NextFormatElement(const QString& upperFormat, qsizetype pos) {
  static const char* const names[] = {"MONTH", "HH24", "HH12", "RRRR", "YYYY", "A.M.", "P.M.", "DDD", "MON",
                                      "DAY",   "YYY",  "RR",   "YY",   "MM",   "DD",   "DY",   "HH",  "MI",
                                      "SS",    "AM",   "PM",   "Y",    "D"};
  for (const char* n : names)
    if (upperFormat.mid(pos, qstrlen(n)) == QLatin1String(n)) return QLatin1String(n);
  return QString(upperFormat[pos]);
}

struct OracleParser {
  const QString& text;
  qsizetype pos = 0;
  QString error;

  void SkipBlanks() {
    while (pos < text.size() && text[pos] == u' ') ++pos;
  }
  std::optional<int> Digits(int maxDigits, int* count = nullptr) {
    SkipBlanks();
    const qsizetype start = pos;
    while (pos < text.size() && pos - start < maxDigits && text[pos].isDigit()) ++pos;
    if (pos == start) {
      error = QStringLiteral("ORA-01858: a non-numeric character was found where a numeric was expected");
      return std::nullopt;
    }
    if (count) *count = int(pos - start);
    return text.mid(start, pos - start).toInt();
  }
  QString Letters() {
    SkipBlanks();
    const qsizetype start = pos;
    while (pos < text.size() && (text[pos].isLetter() || text[pos] == u'.')) ++pos;
    return text.mid(start, pos - start);
  }
};

}  // namespace

OracleDate ParseOracleDate(const QString& text, const QString& format, const QDate& today) {
  OracleDate out;
  const QString fmt = format.toUpper();
  OracleParser p{text, 0, QString()};
  int year = today.year(), month = today.month(), day = 1, hour = 0, minute = 0, second = 0;
  int pm = -1;  // -1 no meridian, 0 AM, 1 PM
  for (qsizetype i = 0; i < fmt.size();) {
    const QString e = NextFormatElement(fmt, i);
    i += e.size();
    std::optional<int> v;
    int count = 0;
    if (e == u"YYYY" || e == u"RRRR") {
      v = p.Digits(4, &count);
      if (v) year = count <= 2 && e == u"RRRR" ? ExpandRrYear(*v, today.year()) : *v;
    } else if (e == u"YYY" || e == u"YY" || e == u"Y") {
      v = p.Digits(int(e.size()));
      if (v) year = today.year() - today.year() % int(std::pow(10, e.size())) + *v;
    } else if (e == u"RR") {
      v = p.Digits(4, &count);
      if (v) year = count <= 2 ? ExpandRrYear(*v, today.year()) : *v;
    } else if (e == u"MM") {
      v = p.Digits(2);
      if (v) month = *v;
    } else if (e == u"MON" || e == u"MONTH") {
      month = MonthFromName(p.Letters());
      if (month == 0) p.error = QStringLiteral("ORA-01843: not a valid month");
    } else if (e == u"DD") {
      v = p.Digits(2);
      if (v) day = *v;
    } else if (e == u"DY" || e == u"DAY") {
      p.Letters();
    } else if (e == u"D" || e == u"DDD") {
      v = p.Digits(int(e.size()));
    } else if (e == u"HH" || e == u"HH12" || e == u"HH24") {
      v = p.Digits(2);
      if (v) hour = *v;
      out.hasTime = true;
      if (e != u"HH24" && pm < 0) pm = 0;
    } else if (e == u"MI") {
      v = p.Digits(2);
      if (v) minute = *v;
      out.hasTime = true;
    } else if (e == u"SS") {
      v = p.Digits(2);
      if (v) second = *v;
      out.hasTime = true;
    } else if (e == u"AM" || e == u"PM" || e == u"A.M." || e == u"P.M.") {
      const QString m = p.Letters().toUpper().remove(u'.');
      if (m != u"AM" && m != u"PM") p.error = QStringLiteral("ORA-01855: AM/A.M. or PM/P.M. required");
      pm = m == u"PM" ? 1 : 0;
      out.hasTime = true;
    } else if (e == u"\"") {
      const qsizetype close = fmt.indexOf(u'"', i);
      const qsizetype len = close < 0 ? fmt.size() - i : close - i;
      p.SkipBlanks();
      p.pos += len;
      i += len + 1;
    } else if (!e[0].isLetterOrNumber()) {
      while (p.pos < text.size() && !text[p.pos].isLetterOrNumber()) ++p.pos;  // Oracle accepts any punctuation here
    } else {
      p.error = QStringLiteral("ORA-01821: date format not recognized");
    }
    if (!p.error.isEmpty()) break;
  }
  p.SkipBlanks();
  if (p.error.isEmpty() && p.pos < text.size())
    p.error = QStringLiteral("ORA-01830: date format picture ends before converting entire input string");
  if (p.error.isEmpty() && pm >= 0) {
    if (hour < 1 || hour > 12) p.error = QStringLiteral("ORA-01849: hour must be between 1 and 12");
    hour = hour % 12 + (pm == 1 ? 12 : 0);
  }
  if (p.error.isEmpty() && (month < 1 || month > 12)) p.error = QStringLiteral("ORA-01843: not a valid month");
  const QDate date(year, month, 1);
  if (p.error.isEmpty() && (day < 1 || day > date.daysInMonth()))
    p.error = QStringLiteral("ORA-01847: day of month must be between 1 and last day of month");
  if (p.error.isEmpty() && (hour > 23 || minute > 59 || second > 59))
    p.error = QStringLiteral("ORA-01850: hour must be between 0 and 23");
  out.error = p.error;
  if (out.error.isEmpty()) out.value = QDateTime(QDate(year, month, day), QTime(hour, minute, second));
  return out;
}

QString FormatOracleDate(const QDateTime& dt, const QString& format) {
  const QString fmt = format.toUpper();
  const QDate d = dt.date();
  const QTime t = dt.time();
  QString out;
  for (qsizetype i = 0; i < fmt.size();) {
    const QString e = NextFormatElement(fmt, i);
    const bool lowerCase = format[i].isLower();
    i += e.size();
    if (e == u"YYYY" || e == u"RRRR") out += QString::number(d.year()).rightJustified(4, u'0');
    else if (e == u"YY" || e == u"RR") out += Two(d.year() % 100);
    else if (e == u"MM") out += Two(d.month());
    else if (e == u"MON") out += lowerCase ? MonthAbbrev(d.month(), true).toLower() : MonthAbbrev(d.month(), true);
    else if (e == u"MONTH") out += QLatin1String(kMonthNames[d.month() - 1]);
    else if (e == u"DD") out += Two(d.day());
    else if (e == u"DY") out += QLatin1String(kDays[d.dayOfWeek() - 1]).left(3);
    else if (e == u"DAY") out += QLatin1String(kDays[d.dayOfWeek() - 1]);
    else if (e == u"HH24") out += Two(t.hour());
    else if (e == u"HH" || e == u"HH12") out += Two(t.hour() % 12 == 0 ? 12 : t.hour() % 12);
    else if (e == u"MI") out += Two(t.minute());
    else if (e == u"SS") out += Two(t.second());
    else if (e == u"AM" || e == u"PM") out += t.hour() < 12 ? QStringLiteral("AM") : QStringLiteral("PM");
    else if (e == u"\"") {
      const qsizetype close = fmt.indexOf(u'"', i);
      const qsizetype len = close < 0 ? fmt.size() - i : close - i;
      out += format.mid(i, len);
      i += len + 1;
    } else out += format.mid(i - e.size(), e.size());
  }
  return out;
}

bool IsIntegerText(const QString& t) {
  static const QRegularExpression re(QStringLiteral(R"(^[+-]?\d+$)"));
  return re.match(t).hasMatch();
}

std::optional<double> ParseNumberText(const QString& t) {
  static const QRegularExpression re(QStringLiteral(R"(^[+-]?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$)"));
  if (!re.match(t).hasMatch()) return std::nullopt;
  bool ok = false;
  const double v = t.toDouble(&ok);
  if (!ok) return std::nullopt;
  return v;
}

}  // namespace sw::dm::sql
