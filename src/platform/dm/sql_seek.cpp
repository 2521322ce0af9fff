#include "platform/dm/sql_seek.h"

#include "platform/dm/sql_rewrites.h"

namespace sw::dm::sql {

namespace {

bool IsString(const Node& n) { return !n.group && n.tok.kind == TokenKind::String; }

// A column as "name" or "table.name".
bool IsColumnRef(const Seq& kids) {
  if (kids.size() == 1) return IsName(kids[0]);
  return kids.size() == 3 && IsName(kids[0]) && IsSym(kids[1], ".") && IsName(kids[2]);
}

// Where a predicate may stand whole: wrapping it in parentheses there changes nothing else.
bool StartsPredicate(const Seq& level, size_t i) {
  return i == 0 || IsSym(level[i - 1], ",") ||
         IsWordIn(level[i - 1], {"WHERE", "AND", "OR", "NOT", "ON", "WHEN", "THEN", "ELSE", "HAVING", "SELECT"});
}
bool EndsPredicate(const Seq& level, size_t end) {
  return end == level.size() || IsSym(level[end], ",") ||
         IsWordIn(level[end], {"AND", "OR", "ORDER", "GROUP", "HAVING", "LIMIT", "UNION", "EXCEPT", "INTERSECT",
                               "THEN", "WHEN", "ELSE", "END", "FROM"});
}

// Plain text as LIKE reads it, up to the first wildcard or class; `whole` when nothing else
// follows.
QString LiteralPrefix(const QString& pattern, bool bracketClasses, QChar escape, bool* whole) {
  QString text;
  *whole = false;
  for (qsizetype i = 0; i < pattern.size(); ++i) {
    const QChar c = pattern[i];
    if (!escape.isNull() && c == escape) {
      if (++i >= pattern.size()) return text;
      text += pattern[i];
    } else if (c == u'%' || c == u'_') {
      return text;
    } else if (c == u'[' && bracketClasses) {
      // "[x]" is the one character x; any other class ends the plain text.
      if (i + 2 >= pattern.size() || pattern[i + 2] != u']' || pattern[i + 1] == u'^') return text;
      text += pattern[i + 1];
      i += 2;
    } else {
      text += c;
    }
  }
  *whole = true;
  return text;
}

// The plain text cut to the characters whose matches are their two ASCII cases alone: LIKE
// compares UPPER(col) without regard to case, and a few other characters upper-case or fold to
// an ASCII letter (ı to I, ſ and ß to S, the Kelvin sign to K, ligatures to F, S and T, ǰ ẖ ẗ ẘ
// ẙ ẚ to a letter and a combining mark). Those would match where the index does not look.
QString SafePart(const QString& text, bool* cut) {
  static const QString folded = QStringLiteral("FIKSfiks");
  qsizetype n = 0;
  while (n < text.size() && text[n].unicode() >= 0x20 && text[n].unicode() < 0x7F && !folded.contains(text[n])) ++n;
  *cut = n < text.size();
  return text.left(n);
}

Seq ColumnCompare(const Seq& column, const char* op, const QString& value) {
  Seq term = column;
  SetPre(term, QStringLiteral(" "));
  term.push_back(Sym(QString::fromLatin1(op), QStringLiteral(" ")));
  term.push_back(Str(value));
  term.push_back(Word(QStringLiteral("COLLATE")));
  term.push_back(Word(QStringLiteral("NOCASE")));
  return term;
}

Seq TermsOn(const Seq& column, const SeekBounds& bounds) {
  if (bounds.kind == SeekBounds::Equal) return ColumnCompare(column, "=", bounds.low);
  Seq terms = ColumnCompare(column, ">=", bounds.low);
  terms.push_back(Word(QStringLiteral("AND")));
  const Seq upper = ColumnCompare(column, "<", bounds.high);
  terms.insert(terms.end(), upper.begin(), upper.end());
  return terms;
}

}  // namespace

SeekBounds BoundsOf(const QString& pattern, bool bracketClasses, QChar escape) {
  bool whole = false, cut = false;
  QString text = SafePart(LiteralPrefix(pattern, bracketClasses, escape, &whole), &cut);
  if (whole && !cut && !text.isEmpty()) return {SeekBounds::Equal, text, QString()};
  // A letter whose upper case is that letter and a combining mark may match at the end of the
  // plain text, the mark taken by the wildcard that follows.
  if (!text.isEmpty() && QStringLiteral("AHJTWYahjtwy").contains(text.back())) text.chop(1);
  if (text.isEmpty()) return {};
  // Compared without regard to case, the strings that begin with the text lie between it and
  // the text with its last character raised by one, both in lower case.
  const QString low = text.toLower();
  QString high = low;
  high.back() = QChar(high.back().unicode() + 1);
  return {SeekBounds::Range, low, high};
}

void AddSeekTerms(Seq& seq, bool bracketClasses) {
  ForEachLevel(seq, [bracketClasses](Seq& level) {
    for (size_t i = 0; i + 3 < level.size(); ++i) {
      if (!IsWord(level[i], "UPPER") || !level[i + 1].group || !IsColumnRef(level[i + 1].kids)) continue;
      if (!IsWord(level[i + 2], "LIKE") || !IsString(level[i + 3]) || !StartsPredicate(level, i)) continue;
      size_t end = i + 4;
      QChar escape;
      if (end + 1 < level.size() && IsWord(level[end], "ESCAPE") && IsString(level[end + 1])) {
        if (level[end + 1].tok.text.size() != 1) continue;
        escape = level[end + 1].tok.text[0];
        end += 2;
      }
      if (!EndsPredicate(level, end)) continue;
      const SeekBounds bounds = BoundsOf(level[i + 3].tok.text, bracketClasses, escape);
      if (bounds.kind == SeekBounds::None) continue;
      const Seq terms = TermsOn(level[i + 1].kids, bounds);
      // (UPPER(col) LIKE 'p' AND <terms>): the pattern implies the terms, so the group is true,
      // false or unknown exactly when the LIKE is, wherever it stands.
      Seq kids(level.begin() + qsizetype(i), level.begin() + qsizetype(end));
      const QString pre = PreOf(kids);
      SetPre(kids, QString());
      kids.push_back(Word(QStringLiteral("AND")));
      kids.insert(kids.end(), terms.begin(), terms.end());
      level.erase(level.begin() + qsizetype(i), level.begin() + qsizetype(end));
      level.insert(level.begin() + qsizetype(i), Group(std::move(kids), pre));
    }
  });
}

}  // namespace sw::dm::sql
