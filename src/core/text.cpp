#include "core/text.h"

#include <algorithm>

#include <QRegularExpression>

#include "core/sql.h"

namespace sw {

namespace {

const QChar Blank = QLatin1Char(' ');

}  // namespace

QString TrimBlanks(const QString& text) {
  // Most texts have no blank at either end: they are handed back as they are.
  if (text.isEmpty() || (text.front() != Blank && text.back() != Blank)) return text;
  qsizetype first = 0;
  qsizetype last = text.size();
  while (first < last && text.at(first) == Blank) ++first;
  while (last > first && text.at(last - 1) == Blank) --last;
  return text.mid(first, last - first);
}

QString FirstSqlWord(const QString& statement) {
  static const QRegularExpression firstWord(QStringLiteral("^(?:\\s|\\(|--[^\\r\\n]*|/\\*.*?\\*/)*([A-Za-z]+)"),
                                            QRegularExpression::DotMatchesEverythingOption);
  const QRegularExpressionMatch match = firstWord.match(statement);
  return match.hasMatch() ? match.captured(1).toUpper() : QString();
}

bool IsNameCharacter(QChar c) {
  return c.isLetterOrNumber() || c == QLatin1Char('_') || c == QLatin1Char('$') || c == QLatin1Char('#');
}

QString BlanksForBreaks(const QString& text) {
  // Each of CR and LF becomes its own blank, so CR LF gives two; so does a NUL, which would end
  // a statement's text where it stands.
  const auto isBreak = [](QChar c) { return c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0); };
  if (std::none_of(text.begin(), text.end(), isBreak)) return text;
  QString value = text;
  for (QChar& c : value)
    if (isBreak(c)) c = Blank;
  return value;
}

QString StripQuotes(const QString& text) {
  QString value = TrimBlanks(text);
  if (value.isEmpty()) return value;
  value.replace(QLatin1Char('\''), QStringLiteral("''"));
  return TrimBlanks(BlanksForBreaks(TrimBlanks(value)));
}

QString EscapeLikeBrackets(const QString& text) {
  if (text.isEmpty()) return text;
  QString out;
  out.reserve(text.size() + 8);
  for (const QChar c : text) {
    out += c;
    if (c == QLatin1Char('[')) out += QStringLiteral("[]");
  }
  return out;
}

QString EscapeLikeText(const QString& text, qint64 engine) {
  QString out;
  if (!IsOracleEngine(engine)) {
    out = EscapeLikeBrackets(text);
    out.replace(QLatin1Char('%'), QStringLiteral("[%]"));
    out.replace(QLatin1Char('_'), QStringLiteral("[_]"));
    return out;
  }
  out = text;
  out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
  out.replace(QLatin1Char('%'), QStringLiteral("\\%"));
  out.replace(QLatin1Char('_'), QStringLiteral("\\_"));
  return out;
}

QString LikeEscapeClause(const QString& pattern, qint64 engine) {
  if (!IsOracleEngine(engine) || !pattern.contains(QLatin1Char('\\'))) return QString();
  return QStringLiteral(" ESCAPE '\\'");
}

QString ExpandSpaceTokens(const QString& text) {
  static const QString Token = QStringLiteral("<SPC>");
  QString value = TrimBlanks(text);
  for (qsizetype at = value.indexOf(Token); at >= 0; at = value.indexOf(Token)) {
    // A token after a blank (or at the very start) adds nothing: a run of tokens is one blank.
    const bool afterBlank = at == 0 || value.at(at - 1) == Blank;
    value.replace(at, Token.size(), afterBlank ? QString() : QString(Blank));
  }
  return TrimBlanks(value);
}

QString StripFieldMarkers(const QString& text) {
  if (text.isEmpty()) return text;
  QString value = text;
  value.remove(QLatin1Char('%'));
  // A NUL of a source value is a blank of the name, as it is of a value in a statement: trimmed
  // and shrunk with the name's blanks, so the folder made is the folder found.
  value.replace(QChar(0), QLatin1Char(' '));
  if (value.startsWith(QLatin1String("APPS."))) value = QStringLiteral("APPS") + value.mid(5);
  return value;
}

double NumericValue(const QString& text) {
  qsizetype i = 0;
  const qsizetype n = text.size();
  auto isSpace = [](QChar c) {
    return c == QLatin1Char(' ') || c == QLatin1Char('\t') || c == QLatin1Char('\r') || c == QLatin1Char('\n');
  };
  while (i < n && isSpace(text.at(i))) ++i;
  const qsizetype start = i;
  const bool negative = i < n && text.at(i) == QLatin1Char('-');
  if (i < n && (negative || text.at(i) == QLatin1Char('+'))) ++i;
  bool point = false;
  qsizetype digits = 0;
  qint64 whole = 0;
  for (; i < n; ++i) {
    const QChar c = text.at(i);
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9')) {
      whole = whole * 10 + (c.unicode() - u'0');
      if (++digits > 15) whole = 0;  // read as text below
    } else if (c == QLatin1Char('.') && !point) {
      point = true;
    } else {
      break;
    }
  }
  if (digits == 0) return 0.0;
  // Most values are ids and counts: a whole number of up to 15 digits is exact as a double and
  // needs no locale's reading.
  if (!point && digits <= 15) return negative ? -double(whole) : double(whole);
  bool ok = false;
  const double value = text.mid(start, i - start).toDouble(&ok);
  return ok ? value : 0.0;
}

QString FormatNumber(qint64 n) {
  return QString::number(n);
}

}  // namespace sw
