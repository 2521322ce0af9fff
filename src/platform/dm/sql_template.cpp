#include "platform/dm/sql_template.h"

#include <QVarLengthArray>
#include <algorithm>
#include <functional>
#include <vector>

#include "platform/dm/sql_seek.h"
#include "platform/dm/sql_tokens.h"

namespace sw::dm::sql {

using namespace Qt::Literals::StringLiterals;

namespace {

enum class Context { Plain, List };
enum class Clause { None, Select, Other };

QString TextMarker(qsizetype k) { return QStringLiteral("\x01sw%1\x01").arg(k); }
QString NumberMarker(qsizetype k) { return QStringLiteral("777%1").arg(k, 15, 10, QLatin1Char('0')); }
QString Literal(const QString& marker, bool text) { return text ? QuoteString(marker) : marker; }

bool IsWholeNumber(QStringView text) {
  if (text.isEmpty() || text.size() > 18) return false;
  for (const QChar c : text)
    if (c < u'0' || c > u'9') return false;
  return true;
}

// Texts that a translation might treat apart (blanks at the ends, other than ASCII, digits
// only, quotes, LIKE characters, longer than a DM name) get a key of their own, so a template
// checked with one kind of text never serves another.
QChar TextClass(QStringView text) {
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
QChar NumberClass(QStringView text) { return text == u"0" ? u'0' : text.startsWith(u'0') ? u'z' : u'n'; }

// Whether the word (upper-case ASCII letters) is the text in any case. Letters of ASCII are
// compared by their case bit; a text with any other character is left to Qt's folding.
bool SameLetters(QStringView text, QLatin1StringView word) {
  for (qsizetype k = 0; k < text.size(); ++k) {
    const char16_t c = text[k].unicode();
    if (c >= 0x80) return text.compare(word, Qt::CaseInsensitive) == 0;
    if ((c | 0x20) != (char16_t(word[k].unicode()) | 0x20)) return false;
  }
  return true;
}

// A string literal's value: its text without the quotes (and the N of N'...'), doubled quotes single.
QString StringLiteralValue(QStringView text) {
  if (text.startsWith(u'N') || text.startsWith(u'n')) text = text.mid(1);
  const QStringView inner = text.mid(1, text.size() - 2);
  if (!inner.contains(u'\'')) return inner.toString();
  return inner.toString().replace(QStringLiteral("''"), QStringLiteral("'"));
}

// The words the scan asks about, each a bit of a set: a word token is matched against them all
// once, and every later question about it is a test of bits.
enum Keyword {
  kSelect, kInsert, kUpdate, kDelete, kIn, kValues, kFrom, kWhere, kGroup, kOrder, kHaving, kSet, kOn, kUnion,
  kExcept, kIntersect, kMinus, kAnd, kOr, kThen, kElse, kEnd, kWhen, kCollate, kOption, kAs, kUpper, kNot,
  kLike, kEscape, kLimit, kRownum, kKeywords
};
constexpr QLatin1StringView KeywordText[kKeywords] = {
    "SELECT"_L1, "INSERT"_L1, "UPDATE"_L1, "DELETE"_L1, "IN"_L1,   "VALUES"_L1, "FROM"_L1,   "WHERE"_L1,
    "GROUP"_L1,  "ORDER"_L1,  "HAVING"_L1, "SET"_L1,    "ON"_L1,   "UNION"_L1,  "EXCEPT"_L1, "INTERSECT"_L1,
    "MINUS"_L1,  "AND"_L1,    "OR"_L1,     "THEN"_L1,   "ELSE"_L1, "END"_L1,    "WHEN"_L1,   "COLLATE"_L1,
    "OPTION"_L1, "AS"_L1,     "UPPER"_L1,  "NOT"_L1,    "LIKE"_L1, "ESCAPE"_L1, "LIMIT"_L1,  "ROWNUM"_L1};
using Words = quint64;
static_assert(kKeywords <= 64);
template <typename... K>
constexpr Words Of(K... k) {
  return ((Words(1) << k) | ...);
}

// An ASCII text of up to nine characters as one number, seven bits a character with the case
// bit set: two such texts are equal exactly when they match letter for letter in any case.
constexpr qsizetype LongestKeyword = 9;
constexpr quint64 Folded(QLatin1StringView word) {
  quint64 packed = 0;
  for (qsizetype k = 0; k < word.size(); ++k) packed |= quint64(quint8(word.data()[k]) | 0x20) << (7 * k);
  return packed;
}
// The keywords by their folded texts, in a small open table: most words are no keyword and
// find an empty slot at once.
struct FoldedKeywords {
  static constexpr int Slots = 128;
  quint64 packed[Slots] = {};  // 0: empty
  int keyword[Slots] = {};
  static constexpr int SlotOf(quint64 folded) { return int((folded * 0x9E3779B97F4A7C15ull) >> 57); }
  constexpr FoldedKeywords() {
    for (int w = 0; w < kKeywords; ++w) {
      const quint64 folded = Folded(KeywordText[w]);
      int slot = SlotOf(folded);
      while (packed[slot] != 0) slot = (slot + 1) % Slots;
      packed[slot] = folded;
      keyword[slot] = w;
    }
  }
  Words Find(quint64 folded) const {
    for (int slot = SlotOf(folded); packed[slot] != 0; slot = (slot + 1) % Slots)
      if (packed[slot] == folded) return Words(1) << keyword[slot];
    return 0;
  }
};
constexpr FoldedKeywords FoldedKeyword;

// The keywords the text is, in any case.
Words WordsOf(QStringView text) {
  if (text.size() < 2 || text.size() > LongestKeyword) return 0;
  quint64 packed = 0;
  for (qsizetype k = 0; k < text.size(); ++k) {
    const char16_t c = text[k].unicode();
    if (c >= 0x80) {
      // Qt's folding may take a character beyond ASCII for a letter of one.
      Words words = 0;
      for (int w = 0; w < kKeywords; ++w) {
        const QLatin1StringView word = KeywordText[w];
        const char16_t first = text[0].unicode();
        if (text.size() != word.size()) continue;
        if (first < 0x80 && (first | 0x20) != (char16_t(word[0].unicode()) | 0x20)) continue;
        if (SameLetters(text, word)) words |= Words(1) << w;
      }
      return words;
    }
    const char16_t folded = c | 0x20;
    if (folded < u'a' || folded > u'z') return 0;  // every keyword is letters only
    packed |= quint64(folded) << (7 * k);
  }
  return FoldedKeyword.Find(packed);
}

// The words that may follow a whole operand.
constexpr Words OperandEnds = Of(kAnd, kOr, kWhere, kOrder, kGroup, kHaving, kThen, kElse, kEnd, kWhen, kCollate, kFrom,
                                 kUnion, kExcept, kIntersect, kMinus, kOption, kAs);
// The words that begin a clause other than a select list.
constexpr Words ClauseWords =
    Of(kFrom, kWhere, kGroup, kOrder, kHaving, kSet, kValues, kOn, kUnion, kExcept, kIntersect, kMinus);

// The statement's tokens by their places in its text.
class Scan {
 public:
  explicit Scan(const QString& sql) : sql_(sql), tokens_(TokenPlaces(sql)) {
    words_.reserve(tokens_.size());
    for (const TokenPlace& t : tokens_)
      words_.push_back(t.kind == TokenKind::Word ? WordsOf(QStringView(sql_).mid(t.begin, t.end - t.begin)) : 0);
  }

  size_t Size() const { return tokens_.size(); }
  const TokenPlace& At(size_t i) const { return tokens_[i]; }
  QStringView Text(size_t i) const { return QStringView(sql_).mid(tokens_[i].begin, tokens_[i].end - tokens_[i].begin); }

  bool IsSymbol(size_t i, char16_t symbol) const {
    return i < Size() && tokens_[i].kind == TokenKind::Symbol && tokens_[i].end - tokens_[i].begin == 1 &&
           sql_[tokens_[i].begin] == symbol;
  }
  // Whether token i is a word among `words`.
  bool IsWord(size_t i, Words words) const { return i < Size() && (words_[i] & words) != 0; }
  bool IsComparison(size_t i) const {
    if (i >= Size() || tokens_[i].kind != TokenKind::Symbol) return false;
    const QStringView op = Text(i);
    return op == u"=" || op == u"<>" || op == u"!=" || op == u"<" || op == u">" || op == u"<=" || op == u">=";
  }
  QString StringValue(size_t i) const { return StringLiteralValue(Text(i)); }

  // What may follow a value for it to be a whole operand.
  bool EndsOperand(size_t next) const {
    return next >= Size() || IsSymbol(next, u',') || IsSymbol(next, u')') || IsSymbol(next, u';') ||
           IsWord(next, OperandEnds);
  }

  bool IsName(size_t i) const {
    if (i >= Size()) return false;
    const TokenKind k = tokens_[i].kind;
    return k == TokenKind::Word || k == TokenKind::QuotedName || k == TokenKind::BracketName;
  }

  // A folder look-up's "UPPER(col) LIKE 'pattern' [ESCAPE 'c']" from token i, standing whole
  // where the translator adds the terms it implies; the tokens of its column, pattern and end.
  struct LookUp {
    size_t columnFirst = 0, columnLast = 0, pattern = 0, last = 0;
    QChar escape;
  };
  std::optional<LookUp> LookUpAt(size_t i) const {
    if (!IsWord(i, Of(kUpper)) || !IsSymbol(i + 1, u'(')) return std::nullopt;
    const bool starts = i == 0 || IsSymbol(i - 1, u'(') || IsSymbol(i - 1, u',') ||
                        IsWord(i - 1, Of(kWhere, kAnd, kOr, kNot, kOn, kWhen, kThen, kElse, kHaving, kSelect));
    if (!starts || !IsName(i + 2)) return std::nullopt;
    LookUp l;
    l.columnFirst = l.columnLast = i + 2;
    if (IsSymbol(i + 3, u'.') && IsName(i + 4)) l.columnLast = i + 4;
    const size_t close = l.columnLast + 1;
    l.pattern = close + 2;
    if (!IsSymbol(close, u')') || !IsWord(close + 1, Of(kLike)) || l.pattern >= Size() ||
        tokens_[l.pattern].kind != TokenKind::String)
      return std::nullopt;
    l.last = l.pattern;
    if (IsWord(l.pattern + 1, Of(kEscape))) {
      if (l.pattern + 2 >= Size() || tokens_[l.pattern + 2].kind != TokenKind::String) return std::nullopt;
      const QString escape = StringValue(l.pattern + 2);
      if (escape.size() != 1) return std::nullopt;
      l.escape = escape[0];
      l.last = l.pattern + 2;
    }
    const size_t next = l.last + 1;
    const bool ends = next >= Size() || IsSymbol(next, u',') || IsSymbol(next, u')') ||
                      IsWord(next, Of(kAnd, kOr, kOrder, kGroup, kHaving, kLimit, kUnion, kExcept, kIntersect,
                                       kThen, kWhen, kElse, kEnd, kFrom, kOption));
    if (!ends) return std::nullopt;
    return l;
  }

  bool Liftable(size_t i, Context context, Clause clause) const {
    const TokenPlace& t = tokens_[i];
    const bool value = (t.kind == TokenKind::String && t.end - t.begin > 2 && !(t.end - t.begin == 3 && Text(i).startsWith(u'N'))) ||
                       (t.kind == TokenKind::Number && IsWholeNumber(Text(i)));
    if (!value || i == 0 || !EndsOperand(i + 1)) return false;
    if (IsComparison(i - 1)) return !IsWord(i - 2, Of(kRownum));
    // An item of a list of values (not of a sub-select inside IN (...)).
    const bool item = IsSymbol(i - 1, u',') || IsSymbol(i - 1, u'(');
    if (item && context == Context::List && clause == Clause::None) return true;
    // An item of a select list (not of ORDER BY, where a number names a column).
    return (IsSymbol(i - 1, u',') || IsWord(i - 1, Of(kSelect))) && clause == Clause::Select;
  }

 private:
  const QString& sql_;
  std::vector<TokenPlace> tokens_;
  std::vector<Words> words_;  // per token, the keywords it is
};

}  // namespace

namespace {

// Adds a lifted value to the statement: its piece of text, the value, its kind.
void Lift(LiftedStatement& out, qsizetype begin, qsizetype end, QLatin1StringView added, const QVariant& value,
          QChar kind) {
  if (out.values.isEmpty()) {  // a statement lifts a few values, most none
    out.pieces.reserve(8);
    out.values.reserve(4);
    out.classes.reserve(4);
  }
  out.pieces.push_back({begin, end, added, out.values.size()});
  out.values << value;
  out.classes += kind;
}

// The look-up's pattern and the terms it implies, as the translator writes them:
// "(UPPER(col) LIKE <pattern> AND col = <text>)" or "(... AND col >= <low> AND col < <high>)".
qsizetype LiftLookUp(LiftedStatement& out, const Scan& scan, size_t at, qsizetype copied, bool bracketClasses) {
  const std::optional<Scan::LookUp> l = scan.LookUpAt(at);
  if (!l) return -1;
  const QString pattern = scan.StringValue(l->pattern);
  const SeekBounds bounds = BoundsOf(pattern, bracketClasses, l->escape);
  if (bounds.kind == SeekBounds::None) return -1;
  const qsizetype columnBegin = scan.At(l->columnFirst).begin, columnEnd = scan.At(l->columnLast).end;
  out.pieces.push_back({copied, scan.At(at).begin, "("_L1, -1});
  Lift(out, scan.At(at).begin, scan.At(l->pattern).begin, {}, pattern, TextClass(pattern));
  out.pieces.push_back({scan.At(l->pattern).end, scan.At(l->last).end, " AND "_L1, -1});
  if (bounds.kind == SeekBounds::Equal) {
    Lift(out, columnBegin, columnEnd, " = "_L1, bounds.low, TextClass(bounds.low));
  } else {
    Lift(out, columnBegin, columnEnd, " >= "_L1, bounds.low, TextClass(bounds.low));
    out.pieces.push_back({0, 0, " AND "_L1, -1});
    Lift(out, columnBegin, columnEnd, " < "_L1, bounds.high, TextClass(bounds.high));
  }
  out.pieces.push_back({0, 0, ")"_L1, -1});
  return scan.At(l->last).end;
}

}  // namespace

template <typename WriteValue>
QString LiftedStatement::Written(const WriteValue& value, qsizetype extra) const {
  QString text;
  text.reserve(sql.size() + extra);
  for (const Piece& p : pieces) {
    text += QStringView(sql).mid(p.begin, p.end - p.begin);
    text += p.added;
    if (p.value >= 0) value(text, p.value);
  }
  return text;
}

LiftedStatement LiftValues(const QString& sql, bool bracketClasses) {
  LiftedStatement out;
  out.sql = sql;
  out.key = sql;
  std::optional<Scan> scan;
  try {
    scan.emplace(sql);
  } catch (const SqlError&) {
    return out;  // the translator says what is wrong with it
  }
  if (scan->Size() == 0 || !scan->IsWord(0, Of(kSelect, kInsert, kUpdate, kDelete))) return out;
  // Nesting is shallow: kept on the stack.
  QVarLengthArray<Context, 16> contexts{Context::Plain};
  QVarLengthArray<Clause, 16> clauses{Clause::None};
  qsizetype copied = 0;
  for (size_t i = 0; i < scan->Size(); ++i) {
    const TokenPlace& t = scan->At(i);
    if (const qsizetype end = LiftLookUp(out, *scan, i, copied, bracketClasses); end >= 0) {
      copied = end;
      while (i + 1 < scan->Size() && scan->At(i + 1).begin < end) ++i;  // its own tokens are done
      continue;
    }
    if (scan->IsSymbol(i, u'(')) {
      contexts.push_back(scan->IsWord(i - 1, Of(kIn, kValues)) ? Context::List : Context::Plain);
      clauses.push_back(Clause::None);
      continue;
    }
    if (scan->IsSymbol(i, u')')) {
      if (contexts.size() > 1) contexts.pop_back(), clauses.pop_back();
      continue;
    }
    if (scan->IsWord(i, Of(kSelect)))
      clauses.back() = Clause::Select;
    else if (scan->IsWord(i, ClauseWords))
      clauses.back() = Clause::Other;
    if (!scan->Liftable(i, contexts.back(), clauses.back())) continue;
    if (t.kind == TokenKind::String) {
      const QString value = scan->StringValue(i);
      Lift(out, copied, t.begin, {}, value, TextClass(value));
    } else {
      Lift(out, copied, t.begin, {}, scan->Text(i).toLongLong(), NumberClass(scan->Text(i)));
    }
    copied = t.end;
  }
  if (out.values.isEmpty()) return out;
  out.pieces.push_back({copied, sql.size(), {}, -1});
  // The key is built on every statement: its writer is inlined, not called through a function object.
  out.key = out.Written(
      [&out](QString& text, qsizetype k) {
        text += QChar(0x02);
        text += out.classes[k];
      },
      2 * out.values.size() + 16);
  return out;
}

QString LiftedStatement::Marked() const {
  return Written([this](QString& text, qsizetype k) {
    const bool isText = values[k].typeId() == QMetaType::QString;
    text += Literal(isText ? TextMarker(k) : NumberMarker(k), isText);
  });
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
  const auto isPart = [](QChar c) { return IsNamePartChar(c.unicode()) || c == u'.'; };
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

namespace {

using ShapeLiteral = LiftShapes::Literal;

// A literal's class, as the lifting tells literals apart: numbers by NumberClass (or as no whole
// number), texts by TextClass (or as empty); texts and numbers never share a class.
constexpr char16_t NotWhole = u'x', EmptyText = 0x200, TextKinds = 0x100;
bool IsTextKind(char16_t kind) { return kind >= TextKinds; }

// Where a statement's literal texts and numbers stand, each with its class, and a hash of the rest
// of its text and of those classes. Read as the tokenizer reads it; a statement with a comment,
// an open quote or a character beyond ASCII outside its quotes is not read.
struct ShapeScan {
  bool readable = false;
  size_t hash = 0;
  std::vector<ShapeLiteral> literals;
};

// The class of a number literal, and of a text literal [begin, end) whose quote opens at `open`.
char16_t NumberKind(QStringView number) {
  return IsWholeNumber(number) ? NumberClass(number).unicode() : NotWhole;
}
char16_t TextKind(const char16_t* d, qsizetype begin, qsizetype open, qsizetype end, bool doubled) {
  const QStringView inner(d + open + 1, end - open - 2);
  if (inner.isEmpty()) return EmptyText;
  return TextKinds + (doubled ? TextClass(StringLiteralValue(QStringView(d + begin, end - begin))) : TextClass(inner)).unicode();
}

// The value of a literal of that class: its text without quotes, or its number.
QVariant LiteralValue(QStringView literal, char16_t kind) {
  return IsTextKind(kind) ? QVariant(StringLiteralValue(literal)) : QVariant(literal.toLongLong());
}

ShapeScan ScanShape(const QString& sql) {
  ShapeScan out;
  const char16_t* const d = QStringView(sql).utf16();
  const qsizetype n = sql.size();
  out.literals.reserve(8);
  for (qsizetype i = 0; i < n;) {
    const char16_t c = d[i];
    if (c >= 0x80) return out;
    const char16_t next = i + 1 < n ? d[i + 1] : u'\0';
    const quint8 ascii = Ascii.of[c];
    if ((ascii & AsciiNameStart) && !((c | 0x20) == u'n' && next == u'\'')) {
      i = SpanEnd<IsAsciiNamePart>(d, n, i + 1);
    } else if ((ascii & AsciiDigit) || (c == u'.' && IsAsciiDigit(next))) {
      const qsizetype j = NumberEnd<IsAsciiDigit>(d, n, i);
      out.literals.push_back({i, j, NumberKind(QStringView(d + i, j - i))});
      i = j;
    } else if (OpensComment(d, n, i)) {
      return out;
    } else if (c == u'\'' || (c | 0x20) == u'n') {  // N here is N'...'
      const qsizetype open = c == u'\'' ? i : i + 1;
      bool doubled = false;
      const qsizetype j = QuotedEnd(d, n, open, &doubled);
      if (j < 0) return out;
      out.literals.push_back({i, j, TextKind(d, i, open, j, doubled)});
      i = j;
    } else if (c == u'"' || c == u'[') {
      i = QuotedEnd(d, n, i);
      if (i < 0) return out;
    } else if (c == u'@') {
      i = SpanEnd<IsAsciiNamePart>(d, n, next == u'@' ? i + 2 : i + 1);
    } else {
      ++i;
    }
  }
  // The text between the literals, and their classes.
  size_t h = qHash(out.literals.size());
  qsizetype from = 0;
  for (const ShapeLiteral& l : out.literals) {
    h = qHash(QStringView(d + from, l.begin - from), h) ^ (h << 7) ^ l.kind;
    from = l.end;
  }
  out.hash = qHash(QStringView(d + from, n - from), h);
  out.readable = true;
  return out;
}

bool SameValues(const QVariantList& a, const QVariantList& b) {
  if (a.size() != b.size()) return false;
  for (qsizetype k = 0; k < a.size(); ++k)
    if (a[k].typeId() != b[k].typeId() || a[k] != b[k]) return false;
  return true;
}

// Whether a lift by shape or pattern reads as the statement lifted in full: the first statements
// of each are lifted both ways, and one that reads otherwise makes it unusable.
bool ConfirmedInFull(const QString& sql, bool bracketClasses, const LiftShapes::Quick& quick, int& checksLeft,
                     bool& usable) {
  if (checksLeft == 0) return true;
  const LiftedStatement full = LiftValues(sql, bracketClasses);
  if (full.key != quick.key || !SameValues(full.values, quick.values)) {
    usable = false;
    return false;
  }
  --checksLeft;
  return true;
}

// Where the literal of piece `p`'s value stands: between the piece and the next.
std::pair<qsizetype, qsizetype> ValueSpan(const std::vector<LiftedStatement::Piece>& pieces, size_t p) {
  return {pieces[p].end, p + 1 < pieces.size() ? pieces[p + 1].begin : -1};
}

// The look-up whose pieces begin at `p`, as the lifting writes them: "(", the pattern's value,
// the rest of the look-up (its ESCAPE) and " AND ", then " = " low and ")", or " >= " low,
// " AND ", " < " high and ")". The number of its pieces; 0 when they are not one.
size_t ReadLookUp(const LiftedStatement& lifted, size_t p, LookUpTerms& terms) {
  const std::vector<LiftedStatement::Piece>& pieces = lifted.pieces;
  const auto is = [&](size_t at, QLatin1StringView added, bool value) {
    return at < pieces.size() && pieces[at].added == added && (pieces[at].value >= 0) == value;
  };
  if (!is(p, "("_L1, false) || !is(p + 1, {}, true) || !is(p + 2, " AND "_L1, false)) return 0;
  terms = LookUpTerms{};
  terms.pattern = pieces[p + 1].value;
  size_t used = 0;
  if (is(p + 3, " = "_L1, true) && is(p + 4, ")"_L1, false)) {
    terms.low = pieces[p + 3].value;
    used = 5;
  } else if (is(p + 3, " >= "_L1, true) && is(p + 4, " AND "_L1, false) && is(p + 5, " < "_L1, true) &&
             is(p + 6, ")"_L1, false)) {
    terms.low = pieces[p + 3].value;
    terms.high = pieces[p + 5].value;
    used = 7;
  } else {
    return 0;
  }
  terms.lowClass = lifted.classes[terms.low];
  if (terms.high >= 0) terms.highClass = lifted.classes[terms.high];
  // The rest is empty or "ESCAPE 'c'"; its literal stays in every statement of the recipe.
  const QStringView rest = QStringView(lifted.sql).mid(pieces[p + 2].begin, pieces[p + 2].end - pieces[p + 2].begin);
  const qsizetype quote = rest.indexOf(u'\'');
  if (quote >= 0) {
    const QString escape = StringLiteralValue(rest.mid(quote).trimmed());
    if (escape.size() != 1) return 0;
    terms.escape = escape[0];
  }
  return used;
}

// The terms of the look-ups from the patterns just lifted; false when a pattern implies terms of
// another kind or class than the one learnt.
bool LiftLookUps(const std::vector<LookUpTerms>& lookUps, bool bracketClasses, QVariantList& values) {
  for (const LookUpTerms& terms : lookUps) {
    const SeekBounds bounds = BoundsOf(values[terms.pattern].toString(), bracketClasses, terms.escape);
    const bool equal = terms.high < 0;
    if (bounds.kind != (equal ? SeekBounds::Equal : SeekBounds::Range)) return false;
    if (bounds.low.isEmpty() || TextClass(bounds.low) != terms.lowClass) return false;
    values[terms.low] = bounds.low;
    if (equal) continue;
    if (bounds.high.isEmpty() || TextClass(bounds.high) != terms.highClass) return false;
    values[terms.high] = bounds.high;
  }
  return true;
}

}  // namespace

bool LiftShapes::SameShape(const QString& sql, const std::vector<ShapeLiteral>& literals, const Recipe& recipe) {
  if (literals.size() != recipe.literals.size()) return false;
  const QStringView text(sql), model(recipe.exemplar);
  qsizetype from = 0, modelFrom = 0;
  for (size_t k = 0; k < literals.size(); ++k) {
    const ShapeLiteral& l = literals[k];
    const ShapeLiteral& m = recipe.literals[k];
    if (l.kind != m.kind || text.mid(from, l.begin - from) != model.mid(modelFrom, m.begin - modelFrom)) return false;
    // A literal that stays in the statement is part of its key.
    if (recipe.liftedAs[k] < 0 && text.mid(l.begin, l.end - l.begin) != model.mid(m.begin, m.end - m.begin))
      return false;
    from = l.end;
    modelFrom = m.end;
  }
  return text.mid(from) == model.mid(modelFrom);
}

std::optional<LiftShapes::Quick> LiftShapes::Lift(const QString& sql, bool bracketClasses, bool* known) {
  if (known) *known = false;
  if (recipes_.isEmpty()) return std::nullopt;
  const ShapeScan shape = ScanShape(sql);
  if (!shape.readable) return std::nullopt;
  const auto found = recipes_.find(shape.hash);
  if (known) *known = found != recipes_.end();
  if (found == recipes_.end() || !found->usable || !SameShape(sql, shape.literals, *found)) return std::nullopt;
  Recipe& recipe = *found;
  Quick quick{recipe.key, recipe.keyHash, {}};
  quick.values.resize(recipe.valueCount);
  for (size_t k = 0; k < shape.literals.size(); ++k) {
    const qsizetype as = recipe.liftedAs[k];
    if (as < 0) continue;
    const ShapeLiteral& l = shape.literals[k];
    quick.values[as] = LiteralValue(QStringView(sql).mid(l.begin, l.end - l.begin), l.kind);
  }
  if (!LiftLookUps(recipe.lookUps, bracketClasses, quick.values)) return std::nullopt;
  if (!ConfirmedInFull(sql, bracketClasses, quick, recipe.checksLeft, recipe.usable)) return std::nullopt;
  return quick;
}

// The literal the value of piece `p` is lifted from.
bool LiftShapes::ValueLiteral(const LiftedStatement& lifted, size_t p, Recipe& recipe) {
  const std::vector<LiftedStatement::Piece>& pieces = lifted.pieces;
  const auto [begin, end] = ValueSpan(pieces, p);
  const auto literal = std::find_if(recipe.literals.begin(), recipe.literals.end(),
                                    [&](const ShapeLiteral& l) { return l.begin == begin && l.end == end; });
  if (literal == recipe.literals.end()) return false;
  recipe.liftedAs[size_t(literal - recipe.literals.begin())] = pieces[p].value;
  return true;
}

void LiftShapes::Learn(const QString& sql, const LiftedStatement& lifted) {
  ShapeScan shape = ScanShape(sql);
  if (!shape.readable || recipes_.contains(shape.hash)) return;
  if (recipes_.size() >= Limit) recipes_.clear();
  Recipe recipe;
  recipe.exemplar = sql;
  recipe.key = lifted.key;
  recipe.keyHash = qHash(lifted.key);
  recipe.valueCount = lifted.values.size();
  recipe.literals = std::move(shape.literals);
  recipe.liftedAs.assign(recipe.literals.size(), -1);
  // Each lifted value must be one whole literal, or a term a look-up adds.
  const std::vector<LiftedStatement::Piece>& pieces = lifted.pieces;
  for (size_t p = 0; p < pieces.size() && recipe.usable;) {
    if (pieces[p].added == "("_L1) {
      LookUpTerms terms;
      const size_t used = ReadLookUp(lifted, p, terms);
      recipe.usable = used > 0 && ValueLiteral(lifted, p + 1, recipe);
      recipe.lookUps.push_back(terms);
      p += used;
      continue;
    }
    if (!pieces[p].added.isEmpty() || (pieces[p].value >= 0 && !ValueLiteral(lifted, p, recipe))) recipe.usable = false;
    ++p;
  }
  recipes_.insert(shape.hash, std::move(recipe));
}

std::vector<qsizetype> PatternSlots(const QString& pattern) {
  std::vector<qsizetype> places;
  const char16_t* const d = QStringView(pattern).utf16();
  const qsizetype n = pattern.size();
  for (qsizetype at = 0; at < n; ++at) {
    const char16_t c = d[at];
    if (c == u'?') places.push_back(at);
    if (ClosingQuote(c) == 0) continue;
    // Past the quoted text or name, to its closing quote (the loop steps over it); an open one
    // holds the rest.
    at = QuotedEnd(d, n, at) - 1;
    if (at < 0) break;
  }
  return places;
}

QString FilledText(const QString& pattern, const QStringList& literals) {
  if (literals.isEmpty()) return pattern;
  QString text;
  text.reserve(pattern.size() + 16 * literals.size());
  qsizetype from = 0, k = 0;
  for (const qsizetype slot : PatternSlots(pattern)) {
    if (k >= literals.size()) break;
    text += QStringView(pattern).mid(from, slot - from);
    text += literals[k++];
    from = slot + 1;
  }
  text += QStringView(pattern).mid(from);
  return text;
}

namespace {

// The class of a literal that is one number or one quoted text; 0 for anything else.
char16_t LiteralClass(QStringView literal) {
  const char16_t* const d = literal.utf16();
  const qsizetype n = literal.size();
  if (n == 0) return 0;
  if (IsAsciiDigit(d[0])) return NumberEnd<IsAsciiDigit>(d, n, 0) == n ? NumberKind(literal) : 0;
  const qsizetype open = (d[0] | 0x20) == u'n' ? 1 : 0;
  if (open >= n || d[open] != u'\'') return 0;
  bool doubled = false;
  if (QuotedEnd(d, n, open, &doubled) != n) return 0;
  return TextKind(d, 0, open, n, doubled);
}

}  // namespace

bool LiftPatterns::KindsOf(const QStringList& literals, Kinds& kinds) {
  for (const QString& literal : literals) {
    const char16_t kind = LiteralClass(literal);
    if (kind == 0) return false;
    kinds.push_back(kind);
  }
  return true;
}

LiftPatterns::Recipe* LiftPatterns::Find(const QString& pattern, const Kinds& kinds) {
  const auto found = recipes_.find(pattern);
  if (found == recipes_.end()) return nullptr;
  const QStringView wanted(kinds.constData(), kinds.size());
  for (Recipe& recipe : *found)
    if (recipe.kinds == wanted) return &recipe;
  return nullptr;
}

bool LiftPatterns::Knows(const QString& pattern, const QStringList& literals) {
  Kinds kinds;
  return !KindsOf(literals, kinds) || Find(pattern, kinds) != nullptr;
}

std::optional<LiftShapes::Quick> LiftPatterns::Lift(const QString& pattern, const QStringList& literals, bool bracketClasses) {
  Kinds kinds;
  if (!KindsOf(literals, kinds)) return std::nullopt;
  Recipe* recipe = Find(pattern, kinds);
  if (!recipe || !recipe->usable) return std::nullopt;
  // A literal that is not lifted stands in the key as it is: it must be the one learnt.
  for (qsizetype k = 0; k < recipe->stays.size(); ++k)
    if (!recipe->stays[k].isEmpty() && literals[k] != recipe->stays[k]) return std::nullopt;
  LiftShapes::Quick quick{recipe->key, recipe->keyHash, {}};
  quick.values.reserve(qsizetype(recipe->sources.size()));
  for (const Source& source : recipe->sources)
    quick.values << (source.literal < 0 ? source.constant : LiteralValue(literals[source.literal], kinds[source.literal]));
  if (!LiftLookUps(recipe->lookUps, bracketClasses, quick.values)) return std::nullopt;
  if (recipe->checksLeft > 0 &&
      !ConfirmedInFull(FilledText(pattern, literals), bracketClasses, quick, recipe->checksLeft, recipe->usable))
    return std::nullopt;
  return quick;
}

void LiftPatterns::Learn(const QString& pattern, const QStringList& literals, const LiftedStatement& lifted) {
  Kinds kinds;
  if (!KindsOf(literals, kinds) || Find(pattern, kinds)) return;
  if (count_ >= Limit) {
    recipes_.clear();
    count_ = 0;
  }
  Recipe recipe;
  recipe.pattern = pattern;
  recipe.kinds = QStringView(kinds.constData(), kinds.size()).toString();
  recipe.key = lifted.key;
  recipe.keyHash = qHash(lifted.key);
  // Where each literal stands in the statement.
  std::vector<std::pair<qsizetype, qsizetype>> spans;
  qsizetype shift = 0, k = 0;
  for (const qsizetype slot : PatternSlots(pattern)) {
    if (k >= literals.size()) break;
    spans.emplace_back(slot + shift, slot + shift + literals[k].size());
    shift += literals[k++].size() - 1;
  }
  std::vector<bool> lifts(literals.size(), false);
  recipe.usable = k == literals.size();
  const std::vector<LiftedStatement::Piece>& pieces = lifted.pieces;
  // The value of piece `p`: a literal, or a value of the pattern's own text; never part of a literal.
  const auto learnValue = [&](size_t p) {
    const auto [begin, end] = ValueSpan(pieces, p);
    Source source{-1, lifted.values[pieces[p].value]};
    for (size_t s = 0; s < spans.size(); ++s) {
      if (spans[s].first == begin && spans[s].second == end) {
        source.literal = qsizetype(s);
        lifts[s] = true;
      } else if (spans[s].first < end && begin < spans[s].second) {
        recipe.usable = false;
      }
    }
    recipe.sources.push_back(source);
  };
  for (size_t p = 0; p < pieces.size() && recipe.usable;) {
    if (pieces[p].added == "("_L1) {
      LookUpTerms terms;
      const size_t used = ReadLookUp(lifted, p, terms);
      recipe.usable = used > 0;
      // Its values in order: the pattern's, then the terms', which are worked out at each lift.
      for (size_t v = p; v < p + used && recipe.usable; ++v) {
        if (pieces[v].value < 0) continue;
        if (v == p + 1) learnValue(v);
        else recipe.sources.push_back(Source{-1, QVariant()});
      }
      recipe.lookUps.push_back(terms);
      p += used;
      continue;
    }
    if (!pieces[p].added.isEmpty()) recipe.usable = false;
    if (pieces[p].value >= 0 && recipe.usable) learnValue(p);
    ++p;
  }
  // A literal that is not lifted would stand in the key as it is: only that one serves.
  for (qsizetype l = 0; l < literals.size(); ++l) recipe.stays << (lifts[size_t(l)] ? QString() : literals[l]);
  recipes_[pattern].push_back(std::move(recipe));
  ++count_;
}

}  // namespace sw::dm::sql
