#include "platform/dm/sql_rewrites.h"

#include <functional>
#include <map>
#include <set>

#include "platform/dm/sql_translator.h"
#include "platform/dm/sql_values.h"

namespace sw::dm::sql {

namespace {

constexpr size_t kNone = size_t(-1);

bool IsKind(const Node& n, TokenKind k) { return !n.group && n.tok.kind == k; }
bool IsAfterDot(const Seq& seq, size_t i) { return i > 0 && IsSym(seq[i - 1], "."); }
bool IsBeforeDot(const Seq& seq, size_t i) { return i + 1 < seq.size() && IsSym(seq[i + 1], "."); }
bool IsCall(const Seq& seq, size_t i) {
  return IsKind(seq[i], TokenKind::Word) && i + 1 < seq.size() && seq[i + 1].group && !IsAfterDot(seq, i);
}

Seq Slice(const Seq& seq, size_t from, size_t to) {
  return Seq(seq.begin() + qsizetype(from), seq.begin() + qsizetype(std::min(to, seq.size())));
}

void Append(Seq& out, const Seq& more) { out.insert(out.end(), more.begin(), more.end()); }

// Trims the blanks before the first node, for a part that moves inside parentheses.
Seq Tight(Seq seq) {
  SetPre(seq, QString());
  return seq;
}

// ---- owner qualifiers -------------------------------------------------------------------

QString CatalogueView(const QString& schema, const QString& name) {
  const QString s = schema.toLower(), n = name.toLower();
  if (s == u"sys" && (n == u"databases" || n == u"tables" || n == u"objects")) return QStringLiteral("sw_sys_") + n;
  if (s == u"sys" && n == u"sysobjects") return QStringLiteral("sysobjects");
  if (s == u"information_schema" && (n == u"tables" || n == u"columns")) return QStringLiteral("sw_information_schema_") + n;
  return QString();
}

bool IsOwner(const QString& name, const ServerFacts& facts) {
  return name.compare(facts.owner, Qt::CaseInsensitive) == 0 || name.compare(u"dbo", Qt::CaseInsensitive) == 0;
}

void DropOwnersAt(Seq& seq, const ServerFacts& facts) {
  for (size_t i = 0; i + 2 < seq.size(); ++i) {
    if (!IsName(seq[i]) || !IsSym(seq[i + 1], ".") || !IsName(seq[i + 2])) continue;
    const QString view = CatalogueView(NameOf(seq[i]), NameOf(seq[i + 2]));
    if (!view.isEmpty() && !IsAfterDot(seq, i)) {
      const QString pre = seq[i].tok.pre;
      seq.erase(seq.begin() + qsizetype(i), seq.begin() + qsizetype(i) + 3);
      seq.insert(seq.begin() + qsizetype(i), Word(view, pre));
      continue;
    }
    if (!IsOwner(NameOf(seq[i]), facts)) continue;
    size_t from = i;
    // database.owner.table: the database part goes too
    if (i >= 2 && IsSym(seq[i - 1], ".") && IsName(seq[i - 2]) && !IsAfterDot(seq, i - 2)) from = i - 2;
    else if (IsAfterDot(seq, i)) continue;
    seq[i + 2].tok.pre = seq[from].tok.pre;
    seq.erase(seq.begin() + qsizetype(from), seq.begin() + qsizetype(i) + 2);
    i = from;
  }
}

// ---- table hints ------------------------------------------------------------------------

bool IsHintList(const Seq& kids) {
  if (kids.empty()) return false;
  for (const Node& n : kids) {
    if (IsSym(n, ",")) continue;
    if (!IsWordIn(n, {"NOLOCK", "READUNCOMMITTED", "READCOMMITTED", "ROWLOCK", "PAGLOCK", "TABLOCK", "TABLOCKX",
                      "UPDLOCK", "HOLDLOCK", "XLOCK", "NOWAIT", "READPAST", "SERIALIZABLE", "REPEATABLEREAD"}))
      return false;
  }
  return true;
}

// ---- functions --------------------------------------------------------------------------

const QString kLocalNow = QStringLiteral("datetime('now', 'localtime')");
const QString kUtcNow = QStringLiteral("datetime('now')");

QString TypeText(const Seq& type) {
  QString out;
  for (const Node& n : type) {
    if (n.group) {
      out += u'(' + Shape(n.kids) + u')';
    } else {
      if (!out.isEmpty()) out += u' ';
      out += n.tok.text.toUpper();
    }
  }
  return out;
}

QString CheckedType(const Seq& type) {
  const QString text = TypeText(type);
  if (text.isEmpty()) throw SqlError{QStringLiteral("A data type is missing in CAST or CONVERT.")};
  if (ParseSqlType(text).family == TypeFamily::Unknown)
    throw SqlError{QStringLiteral("Type %1 is not a defined system type.").arg(text)};
  return text;
}

Seq CastCall(const QString& pre, const Seq& expr, const QString& type, bool strict, const Seq* style) {
  if (expr.empty()) throw SqlError{QStringLiteral("An expression is missing in CAST or CONVERT.")};
  Seq args = Tight(expr);
  args.push_back(Sym(QStringLiteral(",")));
  args.push_back(Str(type));
  args.push_back(Sym(QStringLiteral(",")));
  args.push_back(Num(strict ? QStringLiteral("1") : QStringLiteral("0")));
  if (style) {
    args.push_back(Sym(QStringLiteral(",")));
    Seq s = *style;
    SetPre(s, QStringLiteral(" "));
    Append(args, s);
  }
  return Seq{Word(QStringLiteral("sw_cast"), pre), Group(std::move(args))};
}

Seq RewriteCast(const Node& name, const Node& group, bool strict) {
  const Seq& kids = group.kids;
  size_t as = kNone;
  for (size_t k = 0; k < kids.size(); ++k)
    if (IsWord(kids[k], "AS")) as = k;
  if (as == kNone) throw SqlError{QStringLiteral("Incorrect syntax: CAST needs AS and a data type.")};
  return CastCall(name.tok.pre, Slice(kids, 0, as), CheckedType(Slice(kids, as + 1, kids.size())), strict, nullptr);
}

Seq RewriteConvert(const Node& name, const Node& group, bool strict) {
  const std::vector<Seq> parts = SplitCommas(group.kids);
  if (parts.size() < 2 || parts.size() > 3)
    throw SqlError{QStringLiteral("The convert function requires 2 to 3 arguments.")};
  return CastCall(name.tok.pre, parts[1], CheckedType(parts[0]), strict, parts.size() == 3 ? &parts[2] : nullptr);
}

// DATEADD(day, n, d): the date part is a bare word in SQL Server and a text here.
Seq RewriteDateFunction(const Node& name, const Node& group, const QString& target, size_t argc) {
  std::vector<Seq> parts = SplitCommas(group.kids);
  if (parts.size() != argc)
    throw SqlError{QStringLiteral("The %1 function requires %2 argument(s).").arg(name.tok.text.toLower()).arg(argc)};
  if (parts[0].size() != 1 || !(IsKind(parts[0][0], TokenKind::Word) || IsKind(parts[0][0], TokenKind::String)))
    throw SqlError{QStringLiteral("Invalid date part in %1.").arg(name.tok.text.toLower())};
  parts[0] = Seq{Str(parts[0][0].tok.text, QString())};
  return Seq{Word(target, name.tok.pre), Group(JoinCommas(parts))};
}

void RequireArgs(const Node& name, const Node& group, size_t argc) {
  const size_t n = group.kids.empty() ? 0 : SplitCommas(group.kids).size();
  if (n != argc)
    throw SqlError{QStringLiteral("The %1 function requires %2 argument(s).").arg(name.tok.text.toLower()).arg(argc)};
}

Seq Renamed(const QString& target, const Node& name, const Node& group) {
  return Seq{Word(target, name.tok.pre), group};
}

// A call `seq[i](seq[i+1])` rewritten, or empty when the function needs nothing.
Seq RewriteCall(const Seq& seq, size_t i) {
  const Node& name = seq[i];
  const Node& group = seq[i + 1];
  const QString n = name.tok.text.toUpper();
  if (n == u"GETDATE" || n == u"SYSDATETIME") {
    RequireArgs(name, group, 0);
    return Snippet(kLocalNow, name.tok.pre);
  }
  if (n == u"GETUTCDATE" || n == u"SYSUTCDATETIME") {
    RequireArgs(name, group, 0);
    return Snippet(kUtcNow, name.tok.pre);
  }
  if (n == u"ISNULL" || n == u"NVL") {
    RequireArgs(name, group, 2);
    return Renamed(QStringLiteral("ifnull"), name, group);
  }
  if (n == u"SUBSTRING") return Renamed(QStringLiteral("substr"), name, group);
  if (n == u"LEFT") return Renamed(QStringLiteral("sw_left"), name, group);
  if (n == u"RIGHT") return Renamed(QStringLiteral("sw_right"), name, group);
  if (n == u"CAST") return RewriteCast(name, group, true);
  if (n == u"TRY_CAST") return RewriteCast(name, group, false);
  if (n == u"CONVERT") return RewriteConvert(name, group, true);
  if (n == u"TRY_CONVERT") return RewriteConvert(name, group, false);
  if (n == u"DATEADD") return RewriteDateFunction(name, group, QStringLiteral("sw_dateadd"), 3);
  if (n == u"DATEDIFF") return RewriteDateFunction(name, group, QStringLiteral("sw_datediff"), 3);
  if (n == u"DATEPART") return RewriteDateFunction(name, group, QStringLiteral("sw_datepart"), 2);
  return {};
}

Seq RewriteVariable(const Node& var) {
  const QString v = var.tok.text.toUpper();
  if (v == u"@@VERSION") return Snippet(QStringLiteral("sw_fact('version')"), var.tok.pre);
  if (v == u"@@SERVERNAME") return Snippet(QStringLiteral("sw_fact('server')"), var.tok.pre);
  if (v.startsWith(u"@@")) throw SqlError{QStringLiteral("%1 is not supported by the DM emulator.").arg(var.tok.text)};
  throw SqlError{QStringLiteral("Must declare the scalar variable \"%1\".").arg(var.tok.text)};
}

// SYSDATE and CURRENT_TIMESTAMP stand alone; as a column default SQLite wants them bracketed.
Seq RewriteBareWord(const Seq& seq, size_t i) {
  const Node& w = seq[i];
  if (IsAfterDot(seq, i) || IsBeforeDot(seq, i)) return {};
  if (!IsWordIn(w, {"SYSDATE", "SYSTIMESTAMP", "CURRENT_TIMESTAMP"})) return {};
  if (i > 0 && IsWord(seq[i - 1], "DEFAULT")) return Seq{Group(Snippet(kLocalNow, QString()), w.tok.pre)};
  return Snippet(kLocalNow, w.tok.pre);
}

// ---- TOP --------------------------------------------------------------------------------

bool IsCompoundWord(const Node& n) { return IsWordIn(n, {"UNION", "EXCEPT", "INTERSECT", "MINUS"}); }

size_t MemberEnd(const Seq& seq, size_t from) {
  for (size_t k = from; k < seq.size(); ++k)
    if (IsCompoundWord(seq[k])) return k;
  return seq.size();
}

bool HasCompound(const Seq& seq) {
  for (const Node& n : seq)
    if (IsCompoundWord(n)) return true;
  return false;
}

bool HasWordBetween(const Seq& seq, size_t from, size_t to, const char* word) {
  for (size_t k = from; k < to && k < seq.size(); ++k)
    if (IsWord(seq[k], word)) return true;
  return false;
}

// The number of "TOP n" or "TOP (n)".
QString TopCount(const Node& n) {
  const Node* v = &n;
  if (n.group && n.kids.size() == 1) v = &n.kids[0];
  if (!IsKind(*v, TokenKind::Number) || !IsIntegerText(v->tok.text))
    throw SqlError{QStringLiteral("TOP needs a whole number here; expressions and variables are not supported.")};
  return v->tok.text;
}

// Caps the SELECT that starts at `s` (its member of a compound ends at `end`) to `count` rows.
void LimitMember(Seq& seq, size_t s, const QString& count) {
  const size_t end = MemberEnd(seq, s + 1);
  if (HasWordBetween(seq, s, end, "LIMIT")) throw SqlError{QStringLiteral("TOP and LIMIT cannot be combined.")};
  if (!HasCompound(seq)) {
    seq.insert(seq.begin() + qsizetype(end), {Word(QStringLiteral("LIMIT")), Num(count)});
    return;
  }
  // In a compound, SQLite's LIMIT would cap the whole: the member becomes a sub-select.
  if (end == seq.size() && HasWordBetween(seq, s, end, "ORDER"))
    throw SqlError{QStringLiteral("TOP in the last SELECT of a UNION with ORDER BY is not supported.")};
  Seq member = Tight(Slice(seq, s, end));
  const QString pre = seq[s].tok.pre;
  member.push_back(Word(QStringLiteral("LIMIT")));
  member.push_back(Num(count));
  Seq wrapped{Word(QStringLiteral("SELECT"), pre), Sym(QStringLiteral("*"), QStringLiteral(" ")),
              Word(QStringLiteral("FROM")), Group(std::move(member), QStringLiteral(" "))};
  seq.erase(seq.begin() + qsizetype(s), seq.begin() + qsizetype(end));
  seq.insert(seq.begin() + qsizetype(s), wrapped.begin(), wrapped.end());
}

// ---- ROWNUM -----------------------------------------------------------------------------

const QString kRownumShape = QStringLiteral(
    "ROWNUM is supported only as a row cap of a SELECT: WHERE ... AND ROWNUM <= n.");

struct SelectItem {
  Seq expr;
  QString alias;
};

bool IsSuffixWord(const Node& n) { return IsWordIn(n, {"ASC", "DESC", "NULLS", "FIRST", "LAST"}); }

SelectItem ItemOf(const Seq& item) {
  for (size_t k = 0; k + 1 < item.size(); ++k)
    if (IsWord(item[k], "AS")) return {Slice(item, 0, k), NameOf(item[k + 1])};
  const size_t n = item.size();
  const bool quoted = n >= 2 && (IsKind(item[n - 1], TokenKind::QuotedName) || IsKind(item[n - 1], TokenKind::BracketName));
  const bool bareAlias = n >= 2 && IsKind(item[n - 1], TokenKind::Word) && !IsSym(item[n - 2], ".") &&
                         !IsWordIn(item[n - 1], {"END", "NULL"});
  if ((quoted || bareAlias) && !IsSym(item[n - 2], ".")) return {Slice(item, 0, n - 1), NameOf(item[n - 1])};
  return {item, QString()};
}

// The ORDER BY key as the number of the selected column it names.
Seq OrdinalKey(const Seq& term, const std::vector<SelectItem>& items) {
  size_t cut = term.size();
  while (cut > 0 && IsSuffixWord(term[cut - 1])) --cut;
  const Seq expr = Slice(term, 0, cut);
  const Seq suffix = Slice(term, cut, term.size());
  if (expr.size() == 1 && IsKind(expr[0], TokenKind::Number)) return term;
  const QString shape = Shape(expr);
  for (size_t k = 0; k < items.size(); ++k) {
    if (Shape(items[k].expr) == shape || (!items[k].alias.isEmpty() && items[k].alias.toUpper() == shape)) {
      Seq out{Num(QString::number(k + 1), PreOf(term))};
      Append(out, suffix);
      return out;
    }
  }
  throw SqlError{QStringLiteral("ROWNUM with an ORDER BY key that is not a selected column is not supported.")};
}

struct RownumCap {
  size_t select = kNone;
  QString count;
};

// Removes "ROWNUM <= n" from the WHERE of the SELECT that holds it; returns that SELECT.
RownumCap TakeRownumCondition(Seq& seq, size_t r) {
  size_t s = kNone, w = kNone;
  for (size_t k = 0; k < r; ++k) {
    if (IsWord(seq[k], "SELECT")) s = k, w = kNone;
    if (IsWord(seq[k], "WHERE")) w = k;
  }
  if (s == kNone || w == kNone || w < s || HasCompound(seq)) throw SqlError{kRownumShape};
  size_t e = seq.size();
  for (size_t k = w + 1; k < seq.size(); ++k)
    if (IsWordIn(seq[k], {"GROUP", "ORDER", "HAVING", "LIMIT"})) {
      e = k;
      break;
    }
  if (HasWordBetween(seq, s, seq.size(), "GROUP") || HasWordBetween(seq, w, e, "OR")) throw SqlError{kRownumShape};
  // Oracle aggregates the capped rows; a cap after the aggregate would let every row count.
  for (size_t k = s + 1; k < w; ++k)
    if (IsCall(seq, k) && IsWordIn(seq[k], {"COUNT", "SUM", "MIN", "MAX", "AVG"})) throw SqlError{kRownumShape};
  // The conjunct around ROWNUM: AND splits, except the AND of a BETWEEN.
  size_t cs = w + 1;
  bool between = false;
  for (size_t k = w + 1; k < r; ++k) {
    if (IsWord(seq[k], "BETWEEN")) between = true;
    else if (IsWord(seq[k], "AND") && between) between = false;
    else if (IsWord(seq[k], "AND")) cs = k + 1;
  }
  size_t ce = cs;
  while (ce < e && !IsWord(seq[ce], "AND")) ++ce;
  if (ce - cs != 3) throw SqlError{kRownumShape};
  const bool left = IsWord(seq[cs], "ROWNUM");
  const Node& number = left ? seq[cs + 2] : seq[cs];
  const QString op = seq[cs + 1].tok.text;
  if (!IsKind(number, TokenKind::Number) || !IsIntegerText(number.tok.text)) throw SqlError{kRownumShape};
  const qint64 n = number.tok.text.toLongLong();
  qint64 cap = 0;
  if (op == (left ? u"<=" : u">=")) cap = n;
  else if (op == (left ? u"<" : u">")) cap = n - 1;
  else if (op == u"=") cap = n == 1 ? 1 : 0;  // ROWNUM = 2 never holds
  else throw SqlError{kRownumShape};
  cap = std::max<qint64>(cap, 0);
  // Drop the condition with one AND beside it, and WHERE when nothing is left.
  size_t from = cs, to = ce;
  if (ce < e) to = ce + 1;
  else if (cs > w + 1) from = cs - 1;
  seq.erase(seq.begin() + qsizetype(from), seq.begin() + qsizetype(to));
  if (w + 1 >= seq.size() || IsWordIn(seq[w + 1], {"GROUP", "ORDER", "HAVING", "LIMIT"})) seq.erase(seq.begin() + qsizetype(w));
  return {s, QString::number(cap)};
}

void ApplyRownumCap(Seq& seq, const RownumCap& cap) {
  const size_t s = cap.select;
  const bool distinct = s + 1 < seq.size() && IsWord(seq[s + 1], "DISTINCT");
  size_t order = kNone, from = kNone;
  for (size_t k = s + 1; k < seq.size(); ++k) {
    if (from == kNone && IsWord(seq[k], "FROM")) from = k;
    if (IsWord(seq[k], "ORDER") && k + 1 < seq.size() && IsWord(seq[k + 1], "BY")) order = k;
  }
  if (!distinct && order == kNone) {
    seq.push_back(Word(QStringLiteral("LIMIT")));
    seq.push_back(Num(cap.count));
    return;
  }
  if (from == kNone) throw SqlError{kRownumShape};
  // Oracle numbers the rows before DISTINCT and ORDER BY: cap them in a sub-select, then
  // sort the capped rows by the selected columns' numbers.
  std::vector<SelectItem> items;
  for (const Seq& item : SplitCommas(Slice(seq, s + (distinct ? 2 : 1), from))) items.push_back(ItemOf(Tight(item)));
  Seq inner{Word(QStringLiteral("SELECT"), QString())};
  Append(inner, Slice(seq, s + (distinct ? 2 : 1), order == kNone ? seq.size() : order));
  inner.push_back(Word(QStringLiteral("LIMIT")));
  inner.push_back(Num(cap.count));
  // OFFSET keeps SQLite from flattening the sub-select, which would cap after the ORDER BY.
  inner.push_back(Word(QStringLiteral("OFFSET")));
  inner.push_back(Num(QStringLiteral("0")));
  Seq outer{Word(QStringLiteral("SELECT"), seq[s].tok.pre)};
  if (distinct) outer.push_back(Word(QStringLiteral("DISTINCT")));
  outer.push_back(Sym(QStringLiteral("*"), QStringLiteral(" ")));
  outer.push_back(Word(QStringLiteral("FROM")));
  outer.push_back(Group(std::move(inner), QStringLiteral(" ")));
  if (order != kNone) {
    outer.push_back(Word(QStringLiteral("ORDER")));
    outer.push_back(Word(QStringLiteral("BY")));
    std::vector<Seq> keys;
    for (const Seq& term : SplitCommas(Slice(seq, order + 2, seq.size()))) keys.push_back(OrdinalKey(term, items));
    Append(outer, JoinCommas(keys));
  }
  seq.erase(seq.begin() + qsizetype(s), seq.end());
  Append(seq, outer);
}

// ---- string "+" -------------------------------------------------------------------------

bool IsReserved(const Node& n) {
  return IsWordIn(n, {"SELECT", "FROM",   "WHERE",   "AND",     "OR",        "NOT",     "AS",       "ON",
                      "JOIN",   "INNER",  "OUTER",   "LEFT",    "RIGHT",     "FULL",    "CROSS",    "NATURAL",
                      "GROUP",  "BY",     "ORDER",   "HAVING",  "UNION",     "ALL",     "DISTINCT", "INSERT",
                      "INTO",   "VALUES", "UPDATE",  "SET",     "DELETE",    "IN",      "IS",       "LIKE",
                      "GLOB",   "BETWEEN", "EXISTS", "WHEN",    "THEN",      "ELSE",    "END",      "ASC",
                      "DESC",   "LIMIT",  "OFFSET",  "ESCAPE",  "COLLATE",   "TOP",     "WITH",     "CREATE",
                      "ALTER",  "DROP",   "TABLE",   "ADD",     "INDEX",     "VIEW",    "PRIMARY",  "KEY",
                      "REFERENCES", "DEFAULT", "CONSTRAINT", "UNIQUE", "CHECK", "FOREIGN", "USING", "EXCEPT",
                      "INTERSECT", "MINUS", "OVER", "PARTITION", "ROWS", "RANGE", "ISNULL", "NOTNULL",
                      "REGEXP", "MATCH", "COLUMN", "CASE"});
}

size_t CaseEnd(const Seq& seq, size_t i) {
  int depth = 0;
  for (size_t k = i; k < seq.size(); ++k) {
    if (IsWord(seq[k], "CASE")) ++depth;
    if (IsWord(seq[k], "END") && --depth == 0) return k + 1;
  }
  return kNone;
}

size_t Primary(const Seq& seq, size_t i) {
  if (i >= seq.size()) return kNone;
  const Node& n = seq[i];
  size_t j = kNone;
  if (n.group) {
    j = i + 1;
  } else if (IsWord(n, "CASE")) {
    j = CaseEnd(seq, i);
  } else if (IsKind(n, TokenKind::Word) && IsReserved(n)) {
    return kNone;
  } else if (IsName(n) || IsKind(n, TokenKind::String) || IsKind(n, TokenKind::Number) ||
             IsKind(n, TokenKind::Variable)) {
    j = i + 1;
    while (j + 1 < seq.size() && IsSym(seq[j], ".") && (IsName(seq[j + 1]) || IsSym(seq[j + 1], "*"))) j += 2;
    if (j < seq.size() && seq[j].group && IsKind(n, TokenKind::Word)) ++j;  // a function call
  }
  if (j != kNone && j + 1 < seq.size() && IsWord(seq[j], "COLLATE")) j += 2;
  return j;
}

size_t Unit(const Seq& seq, size_t i) {
  while (i < seq.size() && (IsSym(seq[i], "-") || IsSym(seq[i], "+") || IsSym(seq[i], "~"))) ++i;
  return Primary(seq, i);
}

size_t Term(const Seq& seq, size_t i) {
  size_t j = Unit(seq, i);
  while (j != kNone && j < seq.size() && (IsSym(seq[j], "*") || IsSym(seq[j], "/") || IsSym(seq[j], "%"))) {
    const size_t next = Unit(seq, j + 1);
    if (next == kNone) break;
    j = next;
  }
  return j;
}

Seq PlusRewritten(const Seq& seq);

// Copies a slice, rewriting inside its CASE ... END blocks.
Seq WithCasesRewritten(const Seq& seq, size_t from, size_t to) {
  Seq out;
  for (size_t k = from; k < to; ++k) {
    const size_t end = IsWord(seq[k], "CASE") ? CaseEnd(seq, k) : kNone;
    if (end == kNone || end > to) {
      out.push_back(seq[k]);
      continue;
    }
    out.push_back(seq[k]);
    Append(out, PlusRewritten(Slice(seq, k + 1, end - 1)));
    out.push_back(seq[end - 1]);
    k = end - 1;
  }
  return out;
}

bool IsNumberOnly(const Seq& term) {
  size_t k = 0;
  while (k < term.size() && (IsSym(term[k], "-") || IsSym(term[k], "+"))) ++k;
  return k + 1 == term.size() && IsKind(term[k], TokenKind::Number);
}

Seq PlusRewritten(const Seq& seq) {
  Seq out;
  size_t i = 0;
  while (i < seq.size()) {
    const size_t first = Term(seq, i);
    if (first == kNone) {
      out.push_back(seq[i++]);
      continue;
    }
    Seq acc = WithCasesRewritten(seq, i, first);
    size_t j = first;
    while (j < seq.size() && (IsSym(seq[j], "+") || IsSym(seq[j], "-"))) {
      const size_t next = Term(seq, j + 1);
      if (next == kNone) break;
      Seq term = WithCasesRewritten(seq, j + 1, next);
      if (IsNumberOnly(acc) && IsNumberOnly(term)) {
        acc.push_back(seq[j]);
        Append(acc, term);
      } else {
        const QString pre = PreOf(acc);
        Seq args = Tight(acc);
        args.push_back(Sym(QStringLiteral(",")));
        SetPre(term, QStringLiteral(" "));
        Append(args, term);
        const QString fn = IsSym(seq[j], "+") ? QStringLiteral("sw_plus") : QStringLiteral("sw_minus");
        acc = Seq{Word(fn, pre), Group(std::move(args))};
      }
      j = next;
    }
    Append(out, acc);
    i = j;
  }
  return out;
}

// ---- Oracle's outer-join operator ---------------------------------------------------------

const QString kOuterJoinShape = QStringLiteral(
    "The Oracle outer-join operator (+) is supported only in WHERE conditions joined by AND over a "
    "comma-separated FROM list of tables; write LEFT OUTER JOIN instead.");

bool IsOuterMark(const Node& n) { return n.group && n.kids.size() == 1 && IsSym(n.kids[0], "+"); }

bool HasOuterMark(const Seq& seq) {
  for (const Node& n : seq)
    if (IsOuterMark(n)) return true;
  return false;
}

bool IsClauseEnd(const Node& n) {
  return IsWordIn(n, {"GROUP", "ORDER", "HAVING", "LIMIT", "UNION", "EXCEPT", "INTERSECT", "MINUS", "CONNECT", "START"});
}

struct FromItem {
  Seq nodes;
  QString key;  // the alias, else the table's name, upper case
};

// "table", "table alias", "table AS alias"; anything else (a join, a sub-select) is refused.
FromItem FromItemOf(const Seq& item) {
  Seq t = Tight(item);
  if (t.empty() || !IsName(t[0]) || IsReserved(t[0])) throw SqlError{kOuterJoinShape};
  size_t k = 1;
  while (k + 1 < t.size() && IsSym(t[k], ".") && IsName(t[k + 1])) k += 2;
  QString key = NameOf(t[k - 1]);
  if (k < t.size() && IsWord(t[k], "AS")) ++k;
  if (k < t.size()) {
    if (!IsName(t[k]) || IsReserved(t[k]) || k + 1 != t.size()) throw SqlError{kOuterJoinShape};
    key = NameOf(t[k]);
  }
  return {t, key.toUpper()};
}

// The conditions of a WHERE clause split at its ANDs (the AND of a BETWEEN stays).
std::vector<Seq> Conjuncts(const Seq& where) {
  std::vector<Seq> parts(1);
  bool between = false;
  for (const Node& n : where) {
    if (IsWord(n, "OR")) throw SqlError{kOuterJoinShape};
    if (IsWord(n, "BETWEEN")) between = true;
    if (IsWord(n, "AND") && !between) {
      parts.emplace_back();
      continue;
    }
    if (IsWord(n, "AND")) between = false;
    parts.back().push_back(n);
  }
  return parts;
}

// The tables a condition names by "qualifier.column", upper case.
std::set<QString> Qualifiers(const Seq& seq) {
  std::set<QString> out;
  for (size_t i = 0; i + 2 < seq.size(); ++i)
    if (IsName(seq[i]) && IsSym(seq[i + 1], ".") && IsName(seq[i + 2]) && !IsAfterDot(seq, i)) out.insert(NameOf(seq[i]).toUpper());
  for (const Node& n : seq)
    if (n.group)
      for (const QString& q : Qualifiers(n.kids)) out.insert(q);
  return out;
}

// The table whose columns carry the (+) of a condition; the marks are removed.
QString TakeOuterTable(Seq& cond) {
  QString table;
  for (size_t i = 0; i < cond.size(); ++i) {
    if (!IsOuterMark(cond[i])) continue;
    if (i < 3 || !IsName(cond[i - 1]) || !IsSym(cond[i - 2], ".") || !IsName(cond[i - 3])) throw SqlError{kOuterJoinShape};
    const QString q = NameOf(cond[i - 3]).toUpper();
    if (!table.isEmpty() && table != q) throw SqlError{kOuterJoinShape};
    table = q;
    cond.erase(cond.begin() + qsizetype(i));
    --i;
  }
  return table;
}

Seq AndJoined(const std::vector<Seq>& conds) {
  Seq out;
  for (size_t i = 0; i < conds.size(); ++i) {
    if (i > 0) out.push_back(Word(QStringLiteral("AND")));
    Seq c = conds[i];
    SetPre(c, QStringLiteral(" "));
    Append(out, c);
  }
  return out;
}

// FROM a, b WHERE b.x (+) = a.y AND ... becomes FROM a LEFT OUTER JOIN b ON b.x = a.y WHERE ...
void RewriteOuterJoinsAt(Seq& level) {
  size_t from = kNone, where = kNone;
  for (size_t k = 0; k < level.size(); ++k) {
    if (from == kNone && IsWord(level[k], "FROM")) from = k;
    else if (from != kNone && IsWord(level[k], "WHERE")) {
      where = k;
      break;
    }
  }
  if (where == kNone) return;
  size_t end = where + 1;
  while (end < level.size() && !IsClauseEnd(level[end])) ++end;
  if (!HasOuterMark(Slice(level, where + 1, end))) return;
  if (HasCompound(level)) throw SqlError{kOuterJoinShape};

  std::vector<FromItem> items;
  for (const Seq& item : SplitCommas(Slice(level, from + 1, where))) items.push_back(FromItemOf(item));
  std::map<QString, std::vector<Seq>> joins;  // by optional table
  std::vector<Seq> rest;
  for (Seq cond : Conjuncts(Slice(level, where + 1, end))) {
    const QString table = TakeOuterTable(cond);
    if (table.isEmpty()) {
      rest.push_back(cond);
      continue;
    }
    bool known = false;
    for (const FromItem& f : items) known = known || f.key == table;
    if (!known) throw SqlError{kOuterJoinShape};
    joins[table].push_back(cond);
  }

  std::set<QString> placed;
  std::vector<Seq> inner;
  std::vector<const FromItem*> optional;
  for (const FromItem& f : items) {
    if (joins.count(f.key)) {
      optional.push_back(&f);
    } else {
      inner.push_back(f.nodes);
      placed.insert(f.key);
    }
  }
  if (inner.empty()) throw SqlError{kOuterJoinShape};
  Seq fromList = JoinCommas(inner);
  SetPre(fromList, QStringLiteral(" "));
  // Each outer table joins once the tables its conditions name are in place.
  while (!optional.empty()) {
    size_t pick = 0;
    for (size_t k = 0; k < optional.size(); ++k) {
      bool ready = true;
      for (const Seq& c : joins[optional[k]->key])
        for (const QString& q : Qualifiers(c)) ready = ready && (q == optional[k]->key || placed.count(q));
      if (ready) {
        pick = k;
        break;
      }
    }
    const FromItem& f = *optional[pick];
    Seq joined{Word(QStringLiteral("LEFT")), Word(QStringLiteral("OUTER")), Word(QStringLiteral("JOIN"))};
    Seq table = f.nodes;
    SetPre(table, QStringLiteral(" "));
    Append(joined, table);
    joined.push_back(Word(QStringLiteral("ON")));
    Append(joined, AndJoined(joins[f.key]));
    Append(fromList, joined);
    placed.insert(f.key);
    optional.erase(optional.begin() + qsizetype(pick));
  }

  Seq out = Slice(level, 0, from + 1);
  Append(out, fromList);
  if (!rest.empty() && !(rest.size() == 1 && rest[0].empty())) {
    out.push_back(Word(QStringLiteral("WHERE")));
    Append(out, AndJoined(rest));
  }
  Append(out, Slice(level, end, level.size()));
  level = std::move(out);
}

// ---- collation --------------------------------------------------------------------------

bool IsComparison(const Node& n) {
  for (const char* op : {"=", "==", "<>", "!=", "<", ">", "<=", ">="})
    if (IsSym(n, op)) return true;
  return false;
}

bool BindsTighter(const Node& n) {
  for (const char* op : {"||", "*", "/", "%", "+", "-", "&", "|", "<<", ">>", "~", "."})
    if (IsSym(n, op)) return true;
  return IsWordIn(n, {"COLLATE", "ESCAPE"});
}

}  // namespace

Node Num(const QString& text, const QString& pre) {
  Node n;
  n.tok = Token{TokenKind::Number, text, pre};
  return n;
}

Seq Snippet(const QString& sql, const QString& pre) {
  Seq seq = Parse(sql);
  SetPre(seq, pre);
  return seq;
}

void DropOwnerQualifiers(Seq& seq, const ServerFacts& facts) {
  ForEachLevel(seq, [&](Seq& level) { DropOwnersAt(level, facts); });
}

void DropTableHints(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    for (size_t i = 0; i + 1 < level.size(); ++i) {
      if (IsWord(level[i], "WITH") && level[i + 1].group && IsHintList(level[i + 1].kids)) {
        level.erase(level.begin() + qsizetype(i), level.begin() + qsizetype(i) + 2);
        --i;
      } else if (IsName(level[i]) && level[i + 1].group && level[i + 1].kids.size() == 1 &&
                 IsWord(level[i + 1].kids[0], "NOLOCK")) {
        level.erase(level.begin() + qsizetype(i) + 1);
      }
    }
  });
}

void RewriteFunctions(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    Seq out;
    for (size_t i = 0; i < level.size(); ++i) {
      if (IsKind(level[i], TokenKind::Variable)) {
        Append(out, RewriteVariable(level[i]));
        continue;
      }
      if (IsCall(level, i)) {
        Seq call = RewriteCall(level, i);
        if (!call.empty()) {
          Append(out, call);
          ++i;
          continue;
        }
      } else if (IsKind(level[i], TokenKind::Word)) {
        Seq bare = RewriteBareWord(level, i);
        if (!bare.empty()) {
          Append(out, bare);
          continue;
        }
      }
      out.push_back(level[i]);
    }
    level = std::move(out);
  });
}

void RewriteTop(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    for (size_t i = 0; i + 1 < level.size(); ++i) {
      if (IsWordIn(level[i], {"UPDATE", "DELETE", "INSERT"}) && IsWord(level[i + 1], "TOP"))
        throw SqlError{QStringLiteral("TOP in %1 is not supported.").arg(level[i].tok.text.toUpper())};
      if (!IsWord(level[i], "SELECT")) continue;
      size_t t = i + 1;
      if (IsWordIn(level[t], {"DISTINCT", "ALL"})) ++t;
      if (t + 1 >= level.size() || !IsWord(level[t], "TOP")) continue;
      const QString count = TopCount(level[t + 1]);
      size_t after = t + 2;
      if (after < level.size() && IsWord(level[after], "PERCENT"))
        throw SqlError{QStringLiteral("TOP ... PERCENT is not supported.")};
      if (after + 1 < level.size() && IsWord(level[after], "WITH") && IsWord(level[after + 1], "TIES"))
        throw SqlError{QStringLiteral("TOP ... WITH TIES is not supported.")};
      level.erase(level.begin() + qsizetype(t), level.begin() + qsizetype(after));
      LimitMember(level, i, count);
    }
  });
}

void RewriteRownum(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    for (size_t r = 0; r < level.size(); ++r) {
      if (!IsWord(level[r], "ROWNUM") || IsAfterDot(level, r)) continue;
      const RownumCap cap = TakeRownumCondition(level, r);
      for (size_t k = 0; k < level.size(); ++k)
        if (IsWord(level[k], "ROWNUM") && !IsAfterDot(level, k)) throw SqlError{kRownumShape};
      ApplyRownumCap(level, cap);
      return;
    }
  });
}

void RewriteOuterJoins(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) { RewriteOuterJoinsAt(level); });
}

void RejectOuterJoinOperator(const Seq& seq) {
  for (const Node& n : seq) {
    if (!n.group) continue;
    if (n.kids.size() == 1 && IsSym(n.kids[0], "+"))
      throw SqlError{QStringLiteral("The Oracle outer-join operator (+) is not supported; write LEFT OUTER JOIN instead.")};
    RejectOuterJoinOperator(n.kids);
  }
}

void RejectParameterMarkers(const Seq& seq) {
  for (size_t i = 0; i < seq.size(); ++i) {
    const Node& n = seq[i];
    if (n.group) {
      RejectParameterMarkers(n.kids);
      continue;
    }
    if (IsKind(n, TokenKind::Word) && n.tok.text.startsWith(u'#'))
      throw SqlError{QStringLiteral("Temporary objects such as %1 are not supported by the DM emulator.").arg(n.tok.text)};
    const bool question = IsSym(n, "?"), named = IsSym(n, ":") || IsSym(n, "$");
    if (!question && !named) continue;
    // Written right after it, a name or number is the marker's own.
    const bool joined = i + 1 < seq.size() && (IsKind(seq[i + 1], TokenKind::Word) || IsKind(seq[i + 1], TokenKind::Number)) &&
                        seq[i + 1].tok.pre.isEmpty();
    if (named && !joined) continue;
    const QString marker = n.tok.text + (joined ? seq[i + 1].tok.text : QString());
    throw SqlError{QStringLiteral("No value given for the parameter %1: a statement is run here with no parameters bound.").arg(marker)};
  }
}

void RewriteStringPlus(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) { level = PlusRewritten(level); });
}

void CollateTextComparisons(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    std::set<size_t> marks;
    for (size_t i = 0; i < level.size(); ++i) {
      if (!IsComparison(level[i])) continue;
      const size_t r = i + 1;
      if (r < level.size() && IsKind(level[r], TokenKind::String) && !(r + 1 < level.size() && BindsTighter(level[r + 1])))
        marks.insert(r);
      if (i >= 1 && IsKind(level[i - 1], TokenKind::String) && !(i >= 2 && BindsTighter(level[i - 2])))
        marks.insert(i - 1);
    }
    if (marks.empty()) return;
    Seq out;
    for (size_t i = 0; i < level.size(); ++i) {
      out.push_back(level[i]);
      if (marks.count(i)) {
        out.push_back(Word(QStringLiteral("COLLATE")));
        out.push_back(Word(QStringLiteral("NOCASE")));
      }
    }
    level = std::move(out);
  });
}

void CollateOrderBy(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    for (size_t i = 0; i + 1 < level.size(); ++i) {
      if (!IsWord(level[i], "ORDER") || !IsWord(level[i + 1], "BY")) continue;
      size_t end = i + 2;
      while (end < level.size() && !IsWordIn(level[end], {"LIMIT", "OFFSET", "FETCH", "FOR"}) && !IsSym(level[end], ";"))
        ++end;
      std::vector<Seq> keys = SplitCommas(Slice(level, i + 2, end));
      for (Seq& key : keys) {
        if (key.empty() || HasWordBetween(key, 0, key.size(), "COLLATE")) continue;
        size_t cut = key.size();
        while (cut > 0 && IsSuffixWord(key[cut - 1])) --cut;
        key.insert(key.begin() + qsizetype(cut), {Word(QStringLiteral("COLLATE")), Word(QStringLiteral("NOCASE"))});
      }
      const Seq joined = JoinCommas(keys);
      level.erase(level.begin() + qsizetype(i) + 2, level.begin() + qsizetype(end));
      level.insert(level.begin() + qsizetype(i) + 2, joined.begin(), joined.end());
      i += 1 + joined.size();
    }
  });
}

void RewriteMinus(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    for (Node& n : level)
      if (IsWord(n, "MINUS")) n.tok.text = QStringLiteral("EXCEPT");
  });
}

void EmptyTextIsNull(Seq& seq) {
  // Function arguments and "||" operands keep their empty text: SQLite's functions and "||"
  // would turn a NULL into NULL where Oracle's treat it as empty.
  const std::function<void(Seq&, bool)> walk = [&walk](Seq& level, bool callArguments) {
    for (size_t i = 0; i < level.size(); ++i) {
      Node& n = level[i];
      if (n.group) {
        walk(n.kids, i > 0 && IsCall(level, i - 1) && !IsReserved(level[i - 1]));
        continue;
      }
      if (callArguments || !IsKind(n, TokenKind::String) || !n.tok.text.isEmpty()) continue;
      if ((i > 0 && IsSym(level[i - 1], "||")) || (i + 1 < level.size() && IsSym(level[i + 1], "||"))) continue;
      n = Word(QStringLiteral("NULL"), n.tok.pre);
    }
  };
  walk(seq, false);
}

void QuotedNamesAsStrings(Seq& seq) {
  ForEachLevel(seq, [](Seq& level) {
    for (Node& n : level)
      if (IsKind(n, TokenKind::QuotedName)) n.tok.kind = TokenKind::String;
  });
}

}  // namespace sw::dm::sql
