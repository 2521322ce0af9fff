#include "platform/dm/sql_template.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "platform/dm/sql_tokens.h"

namespace sw::dm::sql {

namespace {

enum class Context { Plain, List };

bool IsSymbol(const Token& t, const char* text) { return t.kind == TokenKind::Symbol && t.text == QLatin1String(text); }
bool IsWordToken(const Token& t, std::initializer_list<const char*> words) {
  if (t.kind != TokenKind::Word) return false;
  for (const char* w : words) {
    const QLatin1String word(w);
    if (t.text.size() == word.size() && t.text.compare(word, Qt::CaseInsensitive) == 0) return true;
  }
  return false;
}

bool IsComparison(const Token& t) {
  return t.kind == TokenKind::Symbol && (t.text == u"=" || t.text == u"<>" || t.text == u"!=" || t.text == u"<" ||
                                         t.text == u">" || t.text == u"<=" || t.text == u">=");
}

bool IsWholeNumber(const QString& text) {
  if (text.isEmpty() || text.size() > 18) return false;
  for (const QChar c : text)
    if (!c.isDigit() || c.unicode() > 0x7F) return false;
  return true;
}

// What may follow a value for it to be a whole operand.
bool EndsOperand(const std::vector<Token>& tokens, size_t next) {
  if (next >= tokens.size()) return true;
  const Token& t = tokens[next];
  return IsSymbol(t, ",") || IsSymbol(t, ")") || IsSymbol(t, ";") ||
         IsWordToken(t, {"AND", "OR", "WHERE", "ORDER", "GROUP", "HAVING", "THEN", "ELSE", "END", "WHEN", "COLLATE", "FROM",
                         "UNION", "EXCEPT", "INTERSECT", "MINUS", "OPTION", "AS"});
}

// Texts that a translation might treat apart (blanks at the ends, other than ASCII, digits
// only, quotes, LIKE characters, longer than a DM name) get a key of their own, so a template
// checked with one kind of text never serves another.
QChar TextClass(const QString& text) {
  int bits = 0;
  if (text.front().isSpace() || text.back().isSpace()) bits |= 1;
  bool digits = true;
  for (const QChar c : text) {
    if (c.unicode() > 0x7F) bits |= 2;
    if (!c.isDigit()) digits = false;
    if (c == u'\'') bits |= 4;
    if (c == u'%' || c == u'_' || c == u'[') bits |= 8;
  }
  if (digits) bits |= 16;
  if (text.size() > 240) bits |= 32;
  return QChar(u'a' + bits);
}
QChar NumberClass(const QString& text) { return text == u"0" ? u'0' : text.startsWith(u'0') ? u'z' : u'n'; }

QString TextMarker(qsizetype k) { return QStringLiteral("\x01sw%1\x01").arg(k); }
QString NumberMarker(qsizetype k) { return QStringLiteral("777%1").arg(k, 15, 10, QLatin1Char('0')); }
QString Literal(const QString& marker, bool text) { return text ? QuoteString(marker) : marker; }

bool Liftable(const std::vector<Token>& tokens, size_t i, const std::vector<Context>& contexts,
              const std::vector<QString>& clauses) {
  const Token& t = tokens[i];
  const bool value = (t.kind == TokenKind::String && !t.text.isEmpty()) || (t.kind == TokenKind::Number && IsWholeNumber(t.text));
  if (!value || i == 0 || !EndsOperand(tokens, i + 1)) return false;
  const Token& before = tokens[i - 1];
  if (IsComparison(before)) return !(i >= 2 && IsWordToken(tokens[i - 2], {"ROWNUM"}));
  // An item of a list of values (not of a sub-select inside IN (...)).
  const bool item = IsSymbol(before, ",") || IsSymbol(before, "(");
  if (item && contexts.back() == Context::List && clauses.back().isEmpty()) return true;
  // An item of a select list (not of ORDER BY, where a number names a column).
  return (IsSymbol(before, ",") || IsWordToken(before, {"SELECT"})) && clauses.back() == QLatin1String("SELECT");
}

}  // namespace

LiftedStatement LiftValues(const QString& sql) {
  LiftedStatement out;
  out.sql = sql;
  std::vector<Token> tokens;
  try {
    tokens = Tokenize(sql);
  } catch (const SqlError&) {
    out.key = sql;
    return out;
  }
  if (tokens.empty() || !IsWordToken(tokens[0], {"SELECT", "INSERT", "UPDATE", "DELETE"})) {
    out.key = sql;
    return out;
  }
  std::vector<Context> contexts{Context::Plain};
  std::vector<QString> clauses{QString()};
  qsizetype copied = 0;
  for (size_t i = 0; i < tokens.size(); ++i) {
    const Token& t = tokens[i];
    if (IsSymbol(t, "(")) {
      contexts.push_back(i > 0 && IsWordToken(tokens[i - 1], {"IN", "VALUES"}) ? Context::List : Context::Plain);
      clauses.push_back(QString());
      continue;
    }
    if (IsSymbol(t, ")")) {
      if (contexts.size() > 1) contexts.pop_back(), clauses.pop_back();
      continue;
    }
    if (IsWordToken(t, {"SELECT", "FROM", "WHERE", "GROUP", "ORDER", "HAVING", "SET", "VALUES", "ON", "UNION", "EXCEPT",
                        "INTERSECT", "MINUS"}))
      clauses.back() = t.text.toUpper();
    if (!Liftable(tokens, i, contexts, clauses)) continue;
    const bool text = t.kind == TokenKind::String;
    out.key += QStringView(sql).mid(copied, t.begin - copied);
    out.key += QChar(0x02);
    out.key += text ? TextClass(t.text) : NumberClass(t.text);
    out.values << (text ? QVariant(t.text) : QVariant(t.text.toLongLong()));
    out.places.push_back({t.begin, t.end});
    copied = t.end;
  }
  out.key += QStringView(sql).mid(copied);
  return out;
}

QString LiftedStatement::Marked() const {
  QString marked;
  qsizetype copied = 0;
  for (size_t k = 0; k < places.size(); ++k) {
    const bool text = values[qsizetype(k)].typeId() == QMetaType::QString;
    marked += QStringView(sql).mid(copied, places[k].begin - copied);
    marked += Literal(text ? TextMarker(qsizetype(k)) : NumberMarker(qsizetype(k)), text);
    copied = places[k].end;
  }
  marked += QStringView(sql).mid(copied);
  return marked;
}

QStringList LiftedStatement::Literals() const {
  QStringList literals;
  for (const QVariant& v : values)
    literals << (v.typeId() == QMetaType::QString ? QuoteString(v.toString()) : QString::number(v.toLongLong()));
  return literals;
}

namespace {

// Where the marker's literal stands in the text, when it stands there exactly once as a whole
// literal; -1 otherwise.
qsizetype OnlyPlace(const QString& text, const QString& literal) {
  const qsizetype at = text.indexOf(literal);
  if (at < 0 || text.indexOf(literal, at + 1) >= 0) return -1;
  const auto isPart = [](QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'.'; };
  if (at > 0 && isPart(text[at - 1])) return -1;
  const qsizetype end = at + literal.size();
  if (end < text.size() && isPart(text[end])) return -1;
  return at;
}

std::optional<QString> Replaced(const QString& translatedMarked, qsizetype count,
                                const std::function<QString(qsizetype)>& replacement) {
  QString out = translatedMarked;
  // Markers of texts and of numbers cannot be mistaken for each other; each is replaced where
  // it stands, the later ones first so the earlier places stay where they were found.
  std::vector<std::pair<qsizetype, qsizetype>> places;  // (where, marker)
  for (qsizetype k = 0; k < count; ++k) {
    for (const bool text : {true, false}) {
      const qsizetype at = OnlyPlace(out, Literal(text ? TextMarker(k) : NumberMarker(k), text));
      if (at >= 0) places.emplace_back(at, k);
    }
  }
  if (qsizetype(places.size()) != count) return std::nullopt;
  std::sort(places.begin(), places.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  for (const auto& [at, k] : places) {
    const bool text = out[at] == u'\'';
    out.replace(at, Literal(text ? TextMarker(k) : NumberMarker(k), text).size(), replacement(k));
  }
  return out;
}

}  // namespace

std::optional<QString> WithParameters(const QString& translatedMarked, qsizetype count) {
  return Replaced(translatedMarked, count, [](qsizetype k) { return QStringLiteral("?%1").arg(k + 1); });
}

QString WithLiterals(const QString& translatedMarked, const QStringList& literals) {
  return Replaced(translatedMarked, literals.size(), [&literals](qsizetype k) { return literals[k]; }).value_or(QString());
}

}  // namespace sw::dm::sql
