#include "platform/dm/sql_chars.h"

#include <QChar>

namespace sw::dm::sql {

bool IsOtherSpace(char16_t c) { return QChar::isSpace(c); }
bool IsOtherDigit(char16_t c) { return QChar::isDigit(c); }
bool IsOtherNameStart(char16_t c) { return QChar::isLetter(c) || c == u'_' || c == u'#'; }
bool IsOtherNamePart(char16_t c) { return QChar::isLetterOrNumber(c) || c == u'_' || c == u'#' || c == u'$' || c == u'@'; }

qsizetype QuotedEnd(const char16_t* d, qsizetype n, qsizetype k, bool* doubled) {
  const char16_t close = ClosingQuote(d[k]);
  for (++k; k < n; ++k) {
    if (d[k] != close) continue;
    if (k + 1 < n && d[k + 1] == close) {
      if (doubled) *doubled = true;
      ++k;
      continue;
    }
    return k + 1;
  }
  return -1;
}

namespace {

bool IsNoLineBreak(char16_t c) { return c != u'\n'; }

}  // namespace

qsizetype CommentEnd(const char16_t* d, qsizetype n, qsizetype k) {
  if (d[k] == u'-') return SpanEnd<IsNoLineBreak>(d, n, k);
  int depth = 0;  // SQL Server nests block comments
  while (k < n) {
    if (d[k] == u'/' && k + 1 < n && d[k + 1] == u'*') {
      ++depth;
      k += 2;
    } else if (d[k] == u'*' && k + 1 < n && d[k + 1] == u'/') {
      k += 2;
      if (--depth == 0) return k;
    } else {
      ++k;
    }
  }
  return -1;
}

QStringView FirstWord(const QString& sql) {
  const auto letter = [](QChar c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
  qsizetype from = 0;
  while (from < sql.size() && IsSpaceChar(sql[from].unicode())) ++from;
  qsizetype to = from;
  while (to < sql.size() && letter(sql[to])) ++to;
  return QStringView(sql).mid(from, to - from);
}

}  // namespace sw::dm::sql
