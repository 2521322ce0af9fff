#include "platform/dm/sql_functions.h"

#include <sqlite3.h>

#include <QByteArray>
#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QStringList>

#include <cmath>
#include <limits>
#include <vector>

#include "platform/dm/sql_translator.h"
#include "platform/dm/sql_values.h"
#include "platform/os/utf8_text.h"

namespace sw::dm::sql {

namespace {

// ---- value helpers ----------------------------------------------------------------------

QString TextOf(sqlite3_value* v) {
  const auto* p = reinterpret_cast<const char*>(sqlite3_value_text(v));
  return p ? Utf8Text(QByteArrayView(p, sqlite3_value_bytes(v))) : QString();
}

bool IsNull(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_NULL; }
bool IsNumber(sqlite3_value* v) {
  const int t = sqlite3_value_type(v);
  return t == SQLITE_INTEGER || t == SQLITE_FLOAT;
}

void ResultText(sqlite3_context* ctx, const QString& text) {
  const QByteArray utf8 = text.toUtf8();
  sqlite3_result_text(ctx, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
}

void ResultError(sqlite3_context* ctx, const QString& message) {
  const QByteArray utf8 = message.toUtf8();
  sqlite3_result_error(ctx, utf8.constData(), int(utf8.size()));
}

// A real that holds a whole number goes back as an integer, as the servers show it.
void ResultNumber(sqlite3_context* ctx, double v, bool keepReal) {
  if (!keepReal && std::floor(v) == v && std::fabs(v) < 9.0e18) {
    sqlite3_result_int64(ctx, qint64(v));
    return;
  }
  sqlite3_result_double(ctx, v);
}

const ServerFacts& FactsOf(sqlite3_context* ctx) { return *static_cast<const ServerFacts*>(sqlite3_user_data(ctx)); }

std::optional<QDateTime> DateOf(sqlite3_value* v) {
  if (IsNull(v)) return std::nullopt;
  if (IsNumber(v)) return std::nullopt;
  const QString t = TextOf(v).trimmed();
  if (t.isEmpty()) return std::nullopt;
  return ParseServerDateTime(t);
}

// ---- LIKE -------------------------------------------------------------------------------

struct Atom {
  enum Kind { Any, One, Char, Class } kind = Char;
  QChar c;
  QString singles;
  std::vector<std::pair<QChar, QChar>> ranges;
  bool negated = false;
};

bool SameChar(QChar a, QChar b) { return a == b || a.toCaseFolded() == b.toCaseFolded(); }

bool InClass(const Atom& a, QChar ch) {
  bool in = false;
  for (QChar s : a.singles) in = in || SameChar(s, ch);
  for (const auto& [lo, hi] : a.ranges) {
    for (QChar x : {ch, ch.toLower(), ch.toUpper()}) in = in || (lo <= x && x <= hi);
  }
  return in != a.negated;
}

bool AtomMatches(const Atom& a, QChar ch) {
  switch (a.kind) {
    case Atom::One: return true;
    case Atom::Char: return SameChar(a.c, ch);
    case Atom::Class: return InClass(a, ch);
    default: return false;
  }
}

// "[...]" from `open`; false when it never closes (the "[" is then a plain character).
bool ReadClass(const QString& p, qsizetype open, Atom* atom, qsizetype* next) {
  qsizetype j = open + 1;
  atom->kind = Atom::Class;
  if (j < p.size() && p[j] == u'^') {
    atom->negated = true;
    ++j;
  }
  const qsizetype close = p.indexOf(u']', j < p.size() && p[j] == u']' ? j + 1 : j);
  if (close < 0) return false;
  const QString body = p.mid(j, close - j);
  for (qsizetype k = 0; k < body.size(); ++k) {
    if (k + 2 < body.size() && body[k + 1] == u'-') {
      atom->ranges.emplace_back(body[k], body[k + 2]);
      k += 2;
    } else {
      atom->singles += body[k];
    }
  }
  *next = close + 1;
  return true;
}

std::vector<Atom> CompilePattern(const QString& p, bool brackets, QChar escape) {
  std::vector<Atom> atoms;
  for (qsizetype i = 0; i < p.size();) {
    Atom a;
    const QChar c = p[i];
    if (!escape.isNull() && c == escape && i + 1 < p.size()) {
      a.c = p[i + 1];
      i += 2;
    } else if (c == u'%') {
      a.kind = Atom::Any;
      ++i;
      if (!atoms.empty() && atoms.back().kind == Atom::Any) continue;
    } else if (c == u'_') {
      a.kind = Atom::One;
      ++i;
    } else if (c == u'[' && brackets && ReadClass(p, i, &a, &i)) {
      // read by ReadClass
    } else {
      a = Atom{};
      a.c = c;
      ++i;
    }
    atoms.push_back(std::move(a));
  }
  return atoms;
}

void LikeFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0]) || IsNull(argv[1]) || (argc == 3 && IsNull(argv[2]))) {
    sqlite3_result_null(ctx);
    return;
  }
  QChar escape;
  if (argc == 3) {
    const QString e = TextOf(argv[2]);
    if (e.size() != 1) {
      ResultError(ctx, QStringLiteral("ESCAPE expression must be a single character"));
      return;
    }
    escape = e[0];
  }
  const bool brackets = sqlite3_user_data(ctx) != nullptr;
  sqlite3_result_int(ctx, LikeMatches(TextOf(argv[1]), TextOf(argv[0]), brackets, escape) ? 1 : 0);
}

// ---- text -------------------------------------------------------------------------------

void UpperFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, TextOf(argv[0]).toUpper());
}

// A stored text as every reader gets it, each byte that is no UTF-8 read as U+FFFD: what a
// value read from the library and written back holds.
void DecodedFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, TextOf(argv[0]));
}

void LowerFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  ResultText(ctx, TextOf(argv[0]).toLower());
}

// LEN does not count trailing blanks.
void LenFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  QString t = TextOf(argv[0]);
  qsizetype n = t.size();
  while (n > 0 && t[n - 1] == u' ') --n;
  sqlite3_result_int64(ctx, n);
}

// CHARINDEX(find, text [, start]): 1-based, 0 when absent, without regard to case.
void CharIndexFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  for (int i = 0; i < argc; ++i)
    if (IsNull(argv[i])) return sqlite3_result_null(ctx);
  const QString find = TextOf(argv[0]), text = TextOf(argv[1]);
  qint64 start = argc == 3 ? sqlite3_value_int64(argv[2]) : 1;
  if (start < 1) start = 1;
  if (find.isEmpty() || start > text.size()) return sqlite3_result_int(ctx, 0);
  sqlite3_result_int64(ctx, text.indexOf(find, start - 1, Qt::CaseInsensitive) + 1);
}

void LeftRight(sqlite3_context* ctx, sqlite3_value** argv, bool left) {
  if (IsNull(argv[0]) || IsNull(argv[1])) return sqlite3_result_null(ctx);
  const qint64 n = sqlite3_value_int64(argv[1]);
  if (n < 0) return ResultError(ctx, QStringLiteral("Invalid length parameter passed to the %1 function.")
                                         .arg(left ? QStringLiteral("left") : QStringLiteral("right")));
  const QString t = TextOf(argv[0]);
  ResultText(ctx, left ? t.left(n) : t.right(n));
}
void LeftFunction(sqlite3_context* ctx, int, sqlite3_value** argv) { LeftRight(ctx, argv, true); }
void RightFunction(sqlite3_context* ctx, int, sqlite3_value** argv) { LeftRight(ctx, argv, false); }

// ---- SQL Server's "+" -------------------------------------------------------------------

QString TypeNameOf(sqlite3_value* v) { return sqlite3_value_type(v) == SQLITE_FLOAT ? QStringLiteral("float") : QStringLiteral("int"); }

bool IsIsoDateText(const QString& t) {
  static const QRegularExpression re(QStringLiteral(R"(^\d{4}-\d{2}-\d{2}( \d{2}:\d{2}(:\d{2}(\.\d+)?)?)?$)"));
  return re.match(t).hasMatch();
}

// Text joins text; numbers add; text meeting a number is read as that number (an ISO date
// text moves by that many days, as a datetime does); NULL wins.
void PlusFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* a = argv[0];
  sqlite3_value* b = argv[1];
  if (IsNull(a) || IsNull(b)) return sqlite3_result_null(ctx);
  if (!IsNumber(a) && !IsNumber(b)) return ResultText(ctx, TextOf(a) + TextOf(b));
  if (IsNumber(a) && IsNumber(b)) {
    if (sqlite3_value_type(a) == SQLITE_INTEGER && sqlite3_value_type(b) == SQLITE_INTEGER) {
      qint64 sum = 0;
      if (__builtin_add_overflow(sqlite3_value_int64(a), sqlite3_value_int64(b), &sum))
        return ResultError(ctx, QStringLiteral("Arithmetic overflow error converting expression to data type bigint."));
      return sqlite3_result_int64(ctx, sum);
    }
    return sqlite3_result_double(ctx, sqlite3_value_double(a) + sqlite3_value_double(b));
  }
  sqlite3_value* num = IsNumber(a) ? a : b;
  const QString raw = TextOf(IsNumber(a) ? b : a);
  const QString text = raw.trimmed();
  if (IsIsoDateText(text)) {
    const auto dt = ParseServerDateTime(text);
    if (dt) return ResultText(ctx, IsoDateTime(dt->addMSecs(qint64(std::llround(sqlite3_value_double(num) * 86400000.0)))));
  }
  const bool intTarget = sqlite3_value_type(num) == SQLITE_INTEGER;
  if (text.isEmpty()) return sqlite3_result_value(ctx, num);
  if (intTarget && IsIntegerText(text)) {
    bool ok = false;
    const qint64 v = text.toLongLong(&ok);
    qint64 sum = 0;
    if (ok && !__builtin_add_overflow(v, sqlite3_value_int64(num), &sum)) return sqlite3_result_int64(ctx, sum);
  }
  if (!intTarget) {
    if (const auto v = ParseNumberText(text)) return sqlite3_result_double(ctx, *v + sqlite3_value_double(num));
  }
  ResultError(ctx, QStringLiteral("Conversion failed when converting the varchar value '%1' to data type %2.")
                       .arg(raw, TypeNameOf(num)));
}

// Numbers subtract; an ISO date text moves back by a number of days; text that reads as a
// number counts as that number; anything else is refused as the server refuses it.
void MinusFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  sqlite3_value* a = argv[0];
  sqlite3_value* b = argv[1];
  if (IsNull(a) || IsNull(b)) return sqlite3_result_null(ctx);
  if (IsNumber(a) && IsNumber(b)) {
    if (sqlite3_value_type(a) == SQLITE_INTEGER && sqlite3_value_type(b) == SQLITE_INTEGER) {
      qint64 diff = 0;
      if (__builtin_sub_overflow(sqlite3_value_int64(a), sqlite3_value_int64(b), &diff))
        return ResultError(ctx, QStringLiteral("Arithmetic overflow error converting expression to data type bigint."));
      return sqlite3_result_int64(ctx, diff);
    }
    return sqlite3_result_double(ctx, sqlite3_value_double(a) - sqlite3_value_double(b));
  }
  const QString at = IsNumber(a) ? QString() : TextOf(a).trimmed();
  if (!IsNumber(a) && IsNumber(b) && IsIsoDateText(at)) {
    if (const auto dt = ParseServerDateTime(at))
      return ResultText(ctx, IsoDateTime(dt->addMSecs(-qint64(std::llround(sqlite3_value_double(b) * 86400000.0)))));
  }
  auto number = [](sqlite3_value* v) -> std::optional<double> {
    if (IsNumber(v)) return sqlite3_value_double(v);
    const QString t = TextOf(v).trimmed();
    return t.isEmpty() ? std::optional<double>(0.0) : ParseNumberText(t);
  };
  const auto x = number(a), y = number(b);
  if (IsNumber(a) == IsNumber(b) || !x || !y)
    return ResultError(ctx, QStringLiteral("Operand data type varchar is invalid for subtract operator."));
  ResultNumber(ctx, *x - *y, sqlite3_value_type(IsNumber(a) ? a : b) == SQLITE_FLOAT);
}

// ---- CAST, CONVERT, TRY_CAST --------------------------------------------------------------

struct CastOutcome {
  bool ok = true;
  QString error;
};

CastOutcome Fail(const QString& message) { return CastOutcome{false, message}; }

CastOutcome CastInteger(sqlite3_context* ctx, sqlite3_value* v, const SqlType& type) {
  const QString lower = type.name.toLower();
  const QString overflow = QStringLiteral("Arithmetic overflow error converting expression to data type %1.").arg(lower);
  qint64 n = 0;
  if (sqlite3_value_type(v) == SQLITE_INTEGER) {
    n = sqlite3_value_int64(v);
  } else if (sqlite3_value_type(v) == SQLITE_FLOAT) {
    const double d = std::trunc(sqlite3_value_double(v));
    if (std::fabs(d) > 9.2e18) return Fail(overflow);
    n = qint64(d);
  } else {
    const QString raw = TextOf(v);
    const QString t = raw.trimmed();
    bool ok = t.isEmpty();
    if (!t.isEmpty() && IsIntegerText(t)) n = t.toLongLong(&ok);
    if (!ok)
      return Fail(QStringLiteral("Conversion failed when converting the varchar value '%1' to data type %2.").arg(raw, lower));
  }
  if (n < type.minValue || n > type.maxValue) return Fail(overflow);
  sqlite3_result_int64(ctx, n);
  return {};
}

CastOutcome CastBit(sqlite3_context* ctx, sqlite3_value* v) {
  if (IsNumber(v)) {
    sqlite3_result_int(ctx, sqlite3_value_double(v) != 0 ? 1 : 0);
    return {};
  }
  const QString t = TextOf(v).trimmed();
  if (t.compare(u"TRUE", Qt::CaseInsensitive) == 0) return sqlite3_result_int(ctx, 1), CastOutcome{};
  if (t.compare(u"FALSE", Qt::CaseInsensitive) == 0 || t.isEmpty()) return sqlite3_result_int(ctx, 0), CastOutcome{};
  const auto d = ParseNumberText(t);
  if (!d) return Fail(QStringLiteral("Conversion failed when converting the varchar value '%1' to data type bit.").arg(t));
  sqlite3_result_int(ctx, *d != 0 ? 1 : 0);
  return {};
}

CastOutcome CastFloat(sqlite3_context* ctx, sqlite3_value* v) {
  if (IsNumber(v)) {
    sqlite3_result_double(ctx, sqlite3_value_double(v));
    return {};
  }
  const QString t = TextOf(v).trimmed();
  const auto d = t.isEmpty() ? std::optional<double>(0.0) : ParseNumberText(t);
  if (!d) return Fail(QStringLiteral("Error converting data type varchar to float."));
  sqlite3_result_double(ctx, *d);
  return {};
}

CastOutcome CastDecimal(sqlite3_context* ctx, sqlite3_value* v, const SqlType& type) {
  std::optional<double> d;
  if (IsNumber(v)) d = sqlite3_value_double(v);
  else d = ParseNumberText(TextOf(v).trimmed());
  if (!d) return Fail(QStringLiteral("Error converting data type varchar to numeric."));
  double value = *d;
  if (type.scale >= 0) {
    const double f = std::pow(10.0, type.scale);
    value = std::round(value * f) / f;
    if (std::fabs(value) >= std::pow(10.0, type.precision - type.scale))
      return Fail(QStringLiteral("Arithmetic overflow error converting %1 to data type numeric.")
                      .arg(IsNumber(v) ? QStringLiteral("expression") : QStringLiteral("varchar")));
  }
  if (sqlite3_value_type(v) == SQLITE_INTEGER && type.scale <= 0) {
    sqlite3_result_int64(ctx, sqlite3_value_int64(v));
    return {};
  }
  ResultNumber(ctx, value, type.scale > 0);
  return {};
}

CastOutcome CastText(sqlite3_context* ctx, sqlite3_value* v, const SqlType& type, int style) {
  QString t = TextOf(v);
  if (style >= 0 && !IsNumber(v)) {
    if (const auto dt = ParseServerDateTime(t); dt && !t.trimmed().isEmpty()) {
      const auto styled = FormatDateStyle(*dt, style);
      if (!styled) return Fail(QStringLiteral("%1 is not a valid style number when converting from datetime to a character string.").arg(style));
      t = *styled;
    }
  }
  if (type.length > 0 && t.size() > type.length) t.truncate(type.length);
  if (type.length > 0 && type.fixedLength) t = t.leftJustified(type.length, u' ');
  ResultText(ctx, t);
  return {};
}

std::optional<QDateTime> DateFromValue(sqlite3_value* v, int style) {
  if (IsNumber(v)) {
    const double days = sqlite3_value_double(v);  // SQL Server counts days from 1900-01-01
    return QDateTime(QDate(1900, 1, 1), QTime(0, 0)).addMSecs(qint64(std::llround(days * 86400000.0)));
  }
  return ParseServerDateTime(TextOf(v), style);
}

CastOutcome CastDate(sqlite3_context* ctx, sqlite3_value* v, const SqlType& type, int style) {
  const auto dt = DateFromValue(v, style);
  if (!dt) return Fail(QStringLiteral("Conversion failed when converting date and/or time from character string."));
  if (type.family == TypeFamily::Date) ResultText(ctx, IsoDate(dt->date()));
  else if (type.family == TypeFamily::Time) ResultText(ctx, dt->time().toString(QStringLiteral("HH:mm:ss")));
  else ResultText(ctx, IsoDateTime(*dt));
  return {};
}

// sw_cast(value, 'TYPE', strict [, style]): CAST and CONVERT (strict) and their TRY_ forms.
void CastFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  const SqlType type = ParseSqlType(TextOf(argv[1]));
  const bool strict = sqlite3_value_int(argv[2]) != 0;
  const int style = argc > 3 && !IsNull(argv[3]) ? sqlite3_value_int(argv[3]) : -1;
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  CastOutcome r;
  switch (type.family) {
    case TypeFamily::Integer: r = CastInteger(ctx, argv[0], type); break;
    case TypeFamily::Bit: r = CastBit(ctx, argv[0]); break;
    case TypeFamily::Float: r = CastFloat(ctx, argv[0]); break;
    case TypeFamily::Decimal: r = CastDecimal(ctx, argv[0], type); break;
    case TypeFamily::Text: r = CastText(ctx, argv[0], type, style); break;
    case TypeFamily::DateTime:
    case TypeFamily::Date:
    case TypeFamily::Time: r = CastDate(ctx, argv[0], type, style); break;
    default: r = Fail(QStringLiteral("Type %1 is not a defined system type.").arg(TextOf(argv[1])));
  }
  if (r.ok) return;
  if (strict) return ResultError(ctx, r.error);
  sqlite3_result_null(ctx);
}

// ---- dates ------------------------------------------------------------------------------

void ToDateFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0]) || TextOf(argv[0]).trimmed().isEmpty()) return sqlite3_result_null(ctx);  // '' is NULL to Oracle
  const QString format = argc > 1 && !IsNull(argv[1]) ? TextOf(argv[1]) : QStringLiteral("DD-MON-RR");
  const OracleDate d = ParseOracleDate(TextOf(argv[0]).trimmed(), format, QDate::currentDate());
  if (!d.error.isEmpty()) return ResultError(ctx, d.error);
  ResultText(ctx, d.hasTime ? IsoDateTime(d.value) : IsoDate(d.value.date()));
}

void ToCharFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  if (argc > 1 && !IsNull(argv[1]) && !IsNumber(argv[0])) {
    if (const auto dt = DateOf(argv[0])) return ResultText(ctx, FormatOracleDate(*dt, TextOf(argv[1])));
  }
  ResultText(ctx, TextOf(argv[0]));
}

void ToNumberFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  if (IsNumber(argv[0])) return sqlite3_result_value(ctx, argv[0]);
  const QString t = TextOf(argv[0]).trimmed();
  if (t.isEmpty()) return sqlite3_result_null(ctx);
  const auto d = ParseNumberText(t);
  if (!d) return ResultError(ctx, QStringLiteral("ORA-01722: invalid number"));
  ResultNumber(ctx, *d, !IsIntegerText(t));
}

enum class DatePart { Year, Quarter, Month, DayOfYear, Day, Week, Weekday, Hour, Minute, Second, Unknown };

DatePart PartOf(const QString& name) {
  const QString n = name.trimmed().toLower();
  if (n == u"year" || n == u"yy" || n == u"yyyy") return DatePart::Year;
  if (n == u"quarter" || n == u"qq" || n == u"q") return DatePart::Quarter;
  if (n == u"month" || n == u"mm" || n == u"m") return DatePart::Month;
  if (n == u"dayofyear" || n == u"dy" || n == u"y") return DatePart::DayOfYear;
  if (n == u"day" || n == u"dd" || n == u"d") return DatePart::Day;
  if (n == u"week" || n == u"wk" || n == u"ww") return DatePart::Week;
  if (n == u"weekday" || n == u"dw" || n == u"w") return DatePart::Weekday;
  if (n == u"hour" || n == u"hh") return DatePart::Hour;
  if (n == u"minute" || n == u"mi" || n == u"n") return DatePart::Minute;
  if (n == u"second" || n == u"ss" || n == u"s") return DatePart::Second;
  return DatePart::Unknown;
}

std::optional<QDateTime> DateArg(sqlite3_value* v) {
  if (IsNull(v)) return std::nullopt;
  return DateFromValue(v, -1);
}

void DateAddFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[1]) || IsNull(argv[2])) return sqlite3_result_null(ctx);
  const auto dt = DateArg(argv[2]);
  if (!dt) return ResultError(ctx, QStringLiteral("Conversion failed when converting date and/or time from character string."));
  const qint64 n = sqlite3_value_int64(argv[1]);
  QDateTime r;
  switch (PartOf(TextOf(argv[0]))) {
    case DatePart::Year: r = dt->addYears(int(n)); break;
    case DatePart::Quarter: r = dt->addMonths(int(n * 3)); break;
    case DatePart::Month: r = dt->addMonths(int(n)); break;
    case DatePart::DayOfYear:
    case DatePart::Day:
    case DatePart::Weekday: r = dt->addDays(n); break;
    case DatePart::Week: r = dt->addDays(n * 7); break;
    case DatePart::Hour: r = dt->addSecs(n * 3600); break;
    case DatePart::Minute: r = dt->addSecs(n * 60); break;
    case DatePart::Second: r = dt->addSecs(n); break;
    default: return ResultError(ctx, QStringLiteral("'%1' is not a recognized dateadd option.").arg(TextOf(argv[0])));
  }
  ResultText(ctx, IsoDateTime(r));
}

// DATEDIFF counts the boundaries of the part crossed between the two dates.
void DateDiffFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[1]) || IsNull(argv[2])) return sqlite3_result_null(ctx);
  const auto a = DateArg(argv[1]);
  const auto b = DateArg(argv[2]);
  if (!a || !b) return ResultError(ctx, QStringLiteral("Conversion failed when converting date and/or time from character string."));
  const QDate da = a->date(), db = b->date();
  const qint64 days = da.daysTo(db);
  auto secsOf = [](const QDateTime& d) { return QDate(1900, 1, 1).daysTo(d.date()) * 86400 + d.time().msecsSinceStartOfDay() / 1000; };
  const qint64 sa = secsOf(*a), sb = secsOf(*b);
  auto floorDiv = [](qint64 x, qint64 y) { return x / y - ((x % y != 0) && ((x < 0) != (y < 0))); };
  switch (PartOf(TextOf(argv[0]))) {
    case DatePart::Year: return sqlite3_result_int64(ctx, db.year() - da.year());
    case DatePart::Quarter: return sqlite3_result_int64(ctx, (db.year() * 4 + (db.month() - 1) / 3) - (da.year() * 4 + (da.month() - 1) / 3));
    case DatePart::Month: return sqlite3_result_int64(ctx, (db.year() * 12 + db.month()) - (da.year() * 12 + da.month()));
    case DatePart::DayOfYear:
    case DatePart::Day:
    case DatePart::Weekday: return sqlite3_result_int64(ctx, days);
    case DatePart::Week: return sqlite3_result_int64(ctx, floorDiv(QDate(1899, 12, 31).daysTo(db), 7) - floorDiv(QDate(1899, 12, 31).daysTo(da), 7));
    case DatePart::Hour: return sqlite3_result_int64(ctx, floorDiv(sb, 3600) - floorDiv(sa, 3600));
    case DatePart::Minute: return sqlite3_result_int64(ctx, floorDiv(sb, 60) - floorDiv(sa, 60));
    case DatePart::Second: return sqlite3_result_int64(ctx, sb - sa);
    default: return ResultError(ctx, QStringLiteral("'%1' is not a recognized datediff option.").arg(TextOf(argv[0])));
  }
}

void DatePartFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[1])) return sqlite3_result_null(ctx);
  const auto dt = DateArg(argv[1]);
  if (!dt) return ResultError(ctx, QStringLiteral("Conversion failed when converting date and/or time from character string."));
  const QDate d = dt->date();
  const QTime t = dt->time();
  switch (PartOf(TextOf(argv[0]))) {
    case DatePart::Year: return sqlite3_result_int(ctx, d.year());
    case DatePart::Quarter: return sqlite3_result_int(ctx, (d.month() - 1) / 3 + 1);
    case DatePart::Month: return sqlite3_result_int(ctx, d.month());
    case DatePart::DayOfYear: return sqlite3_result_int(ctx, d.dayOfYear());
    case DatePart::Day: return sqlite3_result_int(ctx, d.day());
    case DatePart::Week: return sqlite3_result_int(ctx, (d.dayOfYear() + QDate(d.year(), 1, 1).dayOfWeek() % 7 - 1) / 7 + 1);
    case DatePart::Weekday: return sqlite3_result_int(ctx, d.dayOfWeek() % 7 + 1);  // Sunday is 1
    case DatePart::Hour: return sqlite3_result_int(ctx, t.hour());
    case DatePart::Minute: return sqlite3_result_int(ctx, t.minute());
    case DatePart::Second: return sqlite3_result_int(ctx, t.second());
    default: return ResultError(ctx, QStringLiteral("'%1' is not a recognized datepart option.").arg(TextOf(argv[0])));
  }
}

void YearFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto dt = DateArg(argv[0]);
  if (!dt) return IsNull(argv[0]) ? sqlite3_result_null(ctx) : ResultError(ctx, QStringLiteral("Conversion failed when converting date and/or time from character string."));
  sqlite3_result_int(ctx, dt->date().year());
}
void MonthFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto dt = DateArg(argv[0]);
  if (!dt) return IsNull(argv[0]) ? sqlite3_result_null(ctx) : ResultError(ctx, QStringLiteral("Conversion failed when converting date and/or time from character string."));
  sqlite3_result_int(ctx, dt->date().month());
}
void DayFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const auto dt = DateArg(argv[0]);
  if (!dt) return IsNull(argv[0]) ? sqlite3_result_null(ctx) : ResultError(ctx, QStringLiteral("Conversion failed when converting date and/or time from character string."));
  sqlite3_result_int(ctx, dt->date().day());
}

// ---- server facts -----------------------------------------------------------------------

// "Microsoft SQL Server 2019 ..." from a product version when the server gave no version text.
QString VersionText(const ServerFacts& f) {
  if (!f.versionText.isEmpty()) return f.versionText;
  if (f.productVersion.isEmpty()) return QString();
  static const QHash<int, QString> years = {{8, "2000"}, {9, "2005"}, {10, "2008"}, {11, "2012"}, {12, "2014"},
                                            {13, "2016"}, {14, "2017"}, {15, "2019"}, {16, "2022"}};
  const int major = f.productVersion.section(u'.', 0, 0).toInt();
  return QStringLiteral("Microsoft SQL Server %1 - %2 (X64)").arg(years.value(major, QString::number(major)), f.productVersion);
}

void ResultTextOrNull(sqlite3_context* ctx, const QString& t) {
  if (t.isNull()) return sqlite3_result_null(ctx);
  ResultText(ctx, t);
}

void FactFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const ServerFacts& f = FactsOf(ctx);
  const QString name = TextOf(argv[0]);
  if (name == u"version") return ResultTextOrNull(ctx, VersionText(f));
  if (name == u"server") return ResultText(ctx, f.serverName);
  if (name == u"database") return ResultText(ctx, f.databaseName);
  if (name == u"owner") return ResultText(ctx, f.owner);
  if (name == u"user") return ResultText(ctx, f.userName.isEmpty() ? QStringLiteral("PUBLIC") : f.userName);
  if (name == u"compatibility") {
    if (f.compatibilityLevel <= 0) return sqlite3_result_null(ctx);
    return sqlite3_result_int(ctx, f.compatibilityLevel);
  }
  if (name == u"quoted_identifier") return sqlite3_result_int(ctx, f.quotedIdentifierOn ? 1 : 0);
  sqlite3_result_null(ctx);
}

void ServerPropertyFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  const ServerFacts& f = FactsOf(ctx);
  const QString p = TextOf(argv[0]).trimmed().toLower();
  if (p == u"productversion") return ResultTextOrNull(ctx, f.productVersion.isEmpty() ? QString() : f.productVersion);
  if (p == u"productmajorversion") return ResultTextOrNull(ctx, f.productVersion.isEmpty() ? QString() : f.productVersion.section(u'.', 0, 0));
  if (p == u"productlevel") return ResultText(ctx, QStringLiteral("RTM"));
  if (p == u"edition") return ResultText(ctx, QStringLiteral("Standard Edition (64-bit)"));
  if (p == u"engineedition") return sqlite3_result_int(ctx, 2);
  if (p == u"servername" || p == u"machinename") return ResultText(ctx, f.serverName);
  if (p == u"collation") return ResultText(ctx, QStringLiteral("SQL_Latin1_General_CP1_CI_AS"));
  if (p == u"iscasesensitive") return sqlite3_result_int(ctx, 0);
  sqlite3_result_null(ctx);  // as the server answers an unknown property
}

void DbNameFunction(sqlite3_context* ctx, int, sqlite3_value**) { ResultText(ctx, FactsOf(ctx).databaseName); }

void NameIdFunction(sqlite3_context* ctx, int, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, ObjectIdOf(TextOf(argv[0])));
}

// The parts of "[owner].[name]", "owner.name" or "name", quotes removed.
QStringList NameParts(const QString& text) {
  QStringList parts;
  QString cur;
  QChar close;
  for (QChar c : text.trimmed()) {
    if (!close.isNull()) {
      if (c == close) close = QChar();
      else cur += c;
    } else if (c == u'[') {
      close = u']';
    } else if (c == u'"') {
      close = u'"';
    } else if (c == u'.') {
      parts << cur;
      cur.clear();
    } else {
      cur += c;
    }
  }
  parts << cur;
  return parts;
}

bool TableExists(sqlite3* db, const QString& name, bool tablesOnly) {
  const char* sql = tablesOnly
                        ? "SELECT 1 FROM main.sqlite_master WHERE type = 'table' AND name = ?1 COLLATE NOCASE"
                        : "SELECT 1 FROM main.sqlite_master WHERE type IN ('table', 'view') AND name = ?1 COLLATE NOCASE";
  sqlite3_stmt* stmt = nullptr;
  if (sqlite3_prepare_v2(db, sql, -1, &stmt, nullptr) != SQLITE_OK) return false;
  const QByteArray utf8 = name.toUtf8();
  sqlite3_bind_text(stmt, 1, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
  const bool found = sqlite3_step(stmt) == SQLITE_ROW;
  sqlite3_finalize(stmt);
  return found;
}

// object_id('[owner.]name' [, 'U']): the id of a table or view of the library's owner (or
// dbo), NULL for anything else.
void ObjectIdFunction(sqlite3_context* ctx, int argc, sqlite3_value** argv) {
  if (IsNull(argv[0])) return sqlite3_result_null(ctx);
  const ServerFacts& f = FactsOf(ctx);
  const QStringList parts = NameParts(TextOf(argv[0]));
  if (parts.size() > 3 || parts.last().isEmpty()) return sqlite3_result_null(ctx);
  if (parts.size() >= 2) {
    const QString schema = parts[parts.size() - 2];
    if (schema.compare(f.owner, Qt::CaseInsensitive) != 0 && schema.compare(u"dbo", Qt::CaseInsensitive) != 0)
      return sqlite3_result_null(ctx);
  }
  const bool tablesOnly = argc > 1 && TextOf(argv[1]).trimmed().compare(u"U", Qt::CaseInsensitive) == 0;
  if (!TableExists(sqlite3_context_db_handle(ctx), parts.last(), tablesOnly)) return sqlite3_result_null(ctx);
  sqlite3_result_int64(ctx, ObjectIdOf(parts.last()));
}

// ---- registration -----------------------------------------------------------------------

using ScalarFn = void (*)(sqlite3_context*, int, sqlite3_value**);

struct FunctionSpec {
  const char* name;
  int argc;
  ScalarFn fn;
  bool usesFacts;
  bool deterministic;
};

void DeleteFacts(void* p) { delete static_cast<ServerFacts*>(p); }

bool Register(sqlite3* db, const FunctionSpec& spec, void* userData, void (*destroy)(void*), QString* error) {
  const int flags = SQLITE_UTF8 | (spec.deterministic ? SQLITE_DETERMINISTIC : 0);
  const int rc = sqlite3_create_function_v2(db, spec.name, spec.argc, flags, userData, spec.fn, nullptr, nullptr, destroy);
  if (rc == SQLITE_OK) return true;
  if (error) *error = QStringLiteral("Cannot register the SQL function %1: %2").arg(QLatin1String(spec.name), Utf8Text(sqlite3_errmsg(db)));
  return false;
}

// SQL Server's default collation: blind to case for every letter and to trailing blanks. Plain
// ASCII compares byte by byte; from the first other character on, the rest is case-folded.
int CompareServerText(void*, int sizeA, const void* textA, int sizeB, const void* textB) {
  const auto* a = static_cast<const unsigned char*>(textA);
  const auto* b = static_cast<const unsigned char*>(textB);
  while (sizeA > 0 && a[sizeA - 1] == ' ') --sizeA;
  while (sizeB > 0 && b[sizeB - 1] == ' ') --sizeB;
  const int common = std::min(sizeA, sizeB);
  for (int i = 0; i < common; ++i) {
    if ((a[i] | b[i]) & 0x80) {
      const QString restA = Utf8Text(QByteArrayView(a + i, sizeA - i)).toCaseFolded();
      const QString restB = Utf8Text(QByteArrayView(b + i, sizeB - i)).toCaseFolded();
      return restA.compare(restB);
    }
    const int x = (a[i] >= 'A' && a[i] <= 'Z') ? a[i] + 32 : a[i];
    const int y = (b[i] >= 'A' && b[i] <= 'Z') ? b[i] + 32 : b[i];
    if (x != y) return x - y;
  }
  return sizeA - sizeB;
}

}  // namespace

bool RegisterTextCollation(sqlite3* db, qint64 engine, QString* error) {
  if (IsOracleEngine(engine)) return true;  // SQLite's own NOCASE
  if (sqlite3_create_collation_v2(db, "NOCASE", SQLITE_UTF8, nullptr, CompareServerText, nullptr) != SQLITE_OK) {
    if (error) *error = QStringLiteral("Cannot register the text collation: %1").arg(Utf8Text(sqlite3_errmsg(db)));
    return false;
  }
  // A library written before this collation keeps its text indexes in SQLite's own order:
  // they are rebuilt once (marked in user_version), or look-ups by them could miss rows.
  sqlite3_stmt* version = nullptr;
  int marked = 0;
  if (sqlite3_prepare_v2(db, "PRAGMA user_version", -1, &version, nullptr) == SQLITE_OK && sqlite3_step(version) == SQLITE_ROW)
    marked = sqlite3_column_int(version, 0);
  sqlite3_finalize(version);
  // Read-only or busy: the library still opens, and the next connection tries again.
  if (marked == 0) sqlite3_exec(db, "REINDEX NOCASE; PRAGMA user_version = 1", nullptr, nullptr, nullptr);
  return true;
}

bool LikeMatches(const QString& value, const QString& pattern, bool bracketClasses, QChar escape) {
  const std::vector<Atom> atoms = CompilePattern(pattern, bracketClasses, escape);
  size_t p = 0, s = 0, starP = std::string::npos, starS = 0;
  const size_t n = size_t(value.size());
  while (s < n) {
    if (p < atoms.size() && atoms[p].kind != Atom::Any && AtomMatches(atoms[p], value[qsizetype(s)])) {
      ++p;
      ++s;
    } else if (p < atoms.size() && atoms[p].kind == Atom::Any) {
      starP = p++;
      starS = s;
    } else if (starP != std::string::npos) {
      p = starP + 1;
      s = ++starS;
    } else {
      return false;
    }
  }
  while (p < atoms.size() && atoms[p].kind == Atom::Any) ++p;
  return p == atoms.size();
}

qint64 ObjectIdOf(const QString& tableName) {
  quint32 h = 2166136261u;  // FNV-1a: the same name gives the same id on every connection
  for (QChar c : tableName.toUpper()) {
    h ^= c.unicode();
    h *= 16777619u;
  }
  return qint64(h & 0x7fffffff) | 1;
}

bool RegisterFunctions(sqlite3* db, const ServerFacts& facts, QString* error) {
  static const FunctionSpec specs[] = {
      {"upper", 1, UpperFunction, false, true},       {"lower", 1, LowerFunction, false, true},
      {"len", 1, LenFunction, false, true},           {"charindex", 2, CharIndexFunction, false, true},
      {"charindex", 3, CharIndexFunction, false, true}, {"sw_left", 2, LeftFunction, false, true},
      {"sw_right", 2, RightFunction, false, true},    {"sw_plus", 2, PlusFunction, false, true},
      {"sw_minus", 2, MinusFunction, false, true},    {"sw_decoded", 1, DecodedFunction, false, true},
      {"sw_cast", 3, CastFunction, false, true},      {"sw_cast", 4, CastFunction, false, true},
      {"to_date", 1, ToDateFunction, false, false},   {"to_date", 2, ToDateFunction, false, false},
      {"to_char", 1, ToCharFunction, false, true},    {"to_char", 2, ToCharFunction, false, true},
      {"to_number", 1, ToNumberFunction, false, true}, {"sw_dateadd", 3, DateAddFunction, false, true},
      {"sw_datediff", 3, DateDiffFunction, false, true}, {"sw_datepart", 2, DatePartFunction, false, true},
      {"year", 1, YearFunction, false, true},         {"month", 1, MonthFunction, false, true},
      {"day", 1, DayFunction, false, true},           {"sw_name_id", 1, NameIdFunction, false, true},
      {"sw_fact", 1, FactFunction, true, true},       {"serverproperty", 1, ServerPropertyFunction, true, true},
      {"db_name", 0, DbNameFunction, true, true},     {"object_id", 1, ObjectIdFunction, true, false},
      {"object_id", 2, ObjectIdFunction, true, false},
  };
  for (const FunctionSpec& spec : specs) {
    void* data = spec.usesFacts ? new ServerFacts(facts) : nullptr;
    if (!Register(db, spec, data, spec.usesFacts ? DeleteFacts : nullptr, error)) return false;
  }
  // LIKE calls like(pattern, value[, escape]); SQL Server reads bracket classes, Oracle does not.
  void* brackets = IsOracleEngine(facts.engine) ? nullptr : reinterpret_cast<void*>(1);
  for (int argc : {2, 3}) {
    if (!Register(db, FunctionSpec{"like", argc, LikeFunction, false, true}, brackets, nullptr, error)) return false;
  }
  return RegisterTextCollation(db, facts.engine, error);
}

bool CreateCatalogViews(sqlite3* db, QString* error) {
  // Every view reads the library's own tables (main) so a new table shows at once.
  static const char* const views[] = {
      "CREATE TEMP VIEW IF NOT EXISTS sysobjects AS SELECT name AS name, sw_name_id(name) AS id, "
      "CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS xtype, CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS type, "
      "1 AS uid, CASE type WHEN 'table' THEN 3 ELSE 2 END AS sysstat, 0 AS parent_obj "
      "FROM main.sqlite_master WHERE type IN ('table', 'view') AND substr(name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS sw_sys_databases AS "
      "SELECT sw_fact('database') AS name, 5 AS database_id, sw_fact('compatibility') AS compatibility_level, "
      "sw_fact('quoted_identifier') AS is_quoted_identifier_on, 'SQL_Latin1_General_CP1_CI_AS' AS collation_name, "
      "0 AS state, 'ONLINE' AS state_desc "
      "UNION ALL SELECT column1, column2, sw_fact('compatibility'), 0, 'SQL_Latin1_General_CP1_CI_AS', 0, 'ONLINE' "
      "FROM (VALUES ('master', 1), ('tempdb', 2), ('model', 3), ('msdb', 4)) WHERE column1 <> sw_fact('database') COLLATE NOCASE",
      "CREATE TEMP VIEW IF NOT EXISTS sw_sys_tables AS SELECT name AS name, sw_name_id(name) AS object_id, "
      "1 AS schema_id, 'U' AS type, 'USER_TABLE' AS type_desc FROM main.sqlite_master "
      "WHERE type = 'table' AND substr(name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS sw_sys_objects AS SELECT name AS name, sw_name_id(name) AS object_id, "
      "1 AS schema_id, CASE type WHEN 'table' THEN 'U' ELSE 'V' END AS type, "
      "CASE type WHEN 'table' THEN 'USER_TABLE' ELSE 'VIEW' END AS type_desc FROM main.sqlite_master "
      "WHERE type IN ('table', 'view') AND substr(name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS sw_information_schema_tables AS SELECT sw_fact('database') AS TABLE_CATALOG, "
      "sw_fact('owner') AS TABLE_SCHEMA, name AS TABLE_NAME, CASE type WHEN 'table' THEN 'BASE TABLE' ELSE 'VIEW' END AS TABLE_TYPE "
      "FROM main.sqlite_master WHERE type IN ('table', 'view') AND substr(name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS sw_information_schema_columns AS SELECT sw_fact('database') AS TABLE_CATALOG, "
      "sw_fact('owner') AS TABLE_SCHEMA, m.name AS TABLE_NAME, p.name AS COLUMN_NAME, p.cid + 1 AS ORDINAL_POSITION, "
      "p.dflt_value AS COLUMN_DEFAULT, CASE p.\"notnull\" WHEN 0 THEN 'YES' ELSE 'NO' END AS IS_NULLABLE, "
      "lower(p.type) AS DATA_TYPE FROM main.sqlite_master m, pragma_table_info(m.name, 'main') p "
      "WHERE m.type = 'table' AND substr(m.name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS ALL_TABLES AS SELECT upper(sw_fact('owner')) AS OWNER, upper(name) AS TABLE_NAME, "
      "'USERS' AS TABLESPACE_NAME FROM main.sqlite_master WHERE type = 'table' AND substr(name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS USER_TABLES AS SELECT upper(name) AS TABLE_NAME, 'USERS' AS TABLESPACE_NAME "
      "FROM main.sqlite_master WHERE type = 'table' AND substr(name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS ALL_TAB_COLUMNS AS SELECT upper(sw_fact('owner')) AS OWNER, upper(m.name) AS TABLE_NAME, "
      "upper(p.name) AS COLUMN_NAME, upper(p.type) AS DATA_TYPE, CASE p.\"notnull\" WHEN 0 THEN 'Y' ELSE 'N' END AS NULLABLE, "
      "p.cid + 1 AS COLUMN_ID FROM main.sqlite_master m, pragma_table_info(m.name, 'main') p "
      "WHERE m.type = 'table' AND substr(m.name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS USER_TAB_PRIVS AS SELECT upper(sw_fact('user')) AS GRANTEE, "
      "upper(sw_fact('owner')) AS OWNER, upper(m.name) AS TABLE_NAME, upper(sw_fact('owner')) AS GRANTOR, "
      "v.column1 AS PRIVILEGE, 'NO' AS GRANTABLE, 'NO' AS HIERARCHY FROM main.sqlite_master m, "
      "(VALUES ('SELECT'), ('INSERT'), ('UPDATE'), ('DELETE')) v "
      "WHERE m.type = 'table' AND substr(m.name, 1, 7) <> 'sqlite_'",
      "CREATE TEMP VIEW IF NOT EXISTS DUAL AS SELECT 'X' AS DUMMY",
  };
  for (const char* sql : views) {
    char* message = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &message) == SQLITE_OK) continue;
    if (error) *error = QStringLiteral("Cannot create a catalogue view: %1").arg(Utf8Text(message ? message : "unknown error"));
    sqlite3_free(message);
    return false;
  }
  return true;
}

}  // namespace sw::dm::sql

namespace sw::dm {

bool PrepareConnection(sqlite3* db, const ServerFacts& facts, QString* error) {
  if (!db) {
    if (error) *error = QStringLiteral("No database connection.");
    return false;
  }
  return sql::RegisterFunctions(db, facts, error) && sql::CreateCatalogViews(db, error);
}

}  // namespace sw::dm
