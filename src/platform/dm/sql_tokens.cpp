#include "platform/dm/sql_tokens.h"

namespace sw::dm::sql {

namespace {

bool IsNameStart(QChar c) { return c.isLetter() || c == u'_' || c == u'#'; }
bool IsNamePart(QChar c) { return c.isLetterOrNumber() || c == u'_' || c == u'#' || c == u'$' || c == u'@'; }

class Tokenizer {
 public:
  // Without texts, tokens get their kinds and places only: nothing of the text is copied.
  Tokenizer(const QString& sql, bool texts) : s_(sql), texts_(texts) {}

  std::vector<Token> Run() {
    out_.reserve(size_t(s_.size() / 4));
    while (i_ < s_.size()) Step();
    return std::move(out_);
  }
  std::vector<TokenPlace> RunPlaces() {
    places_.reserve(size_t(s_.size() / 4));
    while (i_ < s_.size()) Step();
    return std::move(places_);
  }

 private:
  QChar At(qsizetype k) const { return k < s_.size() ? s_[k] : QChar(); }

  void Push(TokenKind kind, const QString& text) {
    if (!texts_) {
      places_.push_back(TokenPlace{kind, begin_, i_});
      return;
    }
    out_.push_back(Token{kind, text, pre_, begin_, i_});
    pre_.clear();
  }
  void PushSpan(TokenKind kind, qsizetype start) { Push(kind, texts_ ? s_.mid(start, i_ - start) : QString()); }
  void AddPre(QChar c) {
    if (texts_) pre_ += c;
  }

  void Step() {
    const QChar c = s_[i_];
    begin_ = i_;
    if (c.isSpace()) {
      AddPre(c);
      ++i_;
    } else if (c == u'-' && At(i_ + 1) == u'-') {
      SkipLineComment();
    } else if (c == u'/' && At(i_ + 1) == u'*') {
      SkipBlockComment();
    } else if (c == u'\'') {
      ReadQuoted(u'\'', u'\'', TokenKind::String);
    } else if ((c == u'N' || c == u'n') && At(i_ + 1) == u'\'') {
      ++i_;  // N'...' is a Unicode literal: the same text here
      ReadQuoted(u'\'', u'\'', TokenKind::String);
    } else if (c == u'"') {
      ReadQuoted(u'"', u'"', TokenKind::QuotedName);
    } else if (c == u'[') {
      ReadQuoted(u'[', u']', TokenKind::BracketName);
    } else if (c.isDigit() || (c == u'.' && At(i_ + 1).isDigit())) {
      ReadNumber();
    } else if (c == u'@') {
      ReadVariable();
    } else if (IsNameStart(c)) {
      ReadWord();
    } else {
      ReadSymbol();
    }
  }

  // Comments become one blank: kept as written, a line comment at the end would swallow
  // anything a rewrite appends.
  void SkipLineComment() {
    while (i_ < s_.size() && s_[i_] != u'\n') ++i_;
    AddPre(u' ');
  }

  void SkipBlockComment() {
    int depth = 0;  // SQL Server nests block comments
    while (i_ < s_.size()) {
      if (s_[i_] == u'/' && At(i_ + 1) == u'*') {
        ++depth;
        i_ += 2;
      } else if (s_[i_] == u'*' && At(i_ + 1) == u'/') {
        i_ += 2;
        if (--depth == 0) {
          AddPre(u' ');
          return;
        }
      } else {
        ++i_;
      }
    }
    throw SqlError{QStringLiteral("Missing end comment mark '*/'.")};
  }

  void ReadQuoted(QChar open, QChar close, TokenKind kind) {
    QString value;
    ++i_;
    while (i_ < s_.size()) {
      if (s_[i_] == close) {
        if (At(i_ + 1) == close) {
          if (texts_) value += close;
          i_ += 2;
          continue;
        }
        ++i_;
        Push(kind, value);
        return;
      }
      if (texts_) value += s_[i_];
      ++i_;
    }
    if (kind == TokenKind::String)
      throw SqlError{QStringLiteral("Unclosed quotation mark after the character string '%1'.").arg(value)};
    throw SqlError{QStringLiteral("Unclosed quoted name %1%2.").arg(open).arg(value)};
  }

  void ReadNumber() {
    const qsizetype start = i_;
    if (s_[i_] == u'0' && (At(i_ + 1) == u'x' || At(i_ + 1) == u'X')) {
      i_ += 2;
      while (i_ < s_.size() && (s_[i_].isDigit() || QStringLiteral("abcdefABCDEF").contains(s_[i_]))) ++i_;
      PushSpan(TokenKind::Number, start);
      return;
    }
    while (i_ < s_.size() && s_[i_].isDigit()) ++i_;
    if (At(i_) == u'.') {
      ++i_;
      while (i_ < s_.size() && s_[i_].isDigit()) ++i_;
    }
    if ((At(i_) == u'e' || At(i_) == u'E') &&
        (At(i_ + 1).isDigit() || ((At(i_ + 1) == u'+' || At(i_ + 1) == u'-') && At(i_ + 2).isDigit()))) {
      i_ += 2;
      while (i_ < s_.size() && s_[i_].isDigit()) ++i_;
    }
    PushSpan(TokenKind::Number, start);
  }

  void ReadVariable() {
    const qsizetype start = i_;
    ++i_;
    if (At(i_) == u'@') ++i_;
    while (i_ < s_.size() && IsNamePart(s_[i_])) ++i_;
    PushSpan(TokenKind::Variable, start);
  }

  void ReadWord() {
    const qsizetype start = i_;
    while (i_ < s_.size() && IsNamePart(s_[i_])) ++i_;
    PushSpan(TokenKind::Word, start);
  }

  void ReadSymbol() {
    static const char* const pairs[] = {"<=", ">=", "<>", "!=", "==", "||", "!<", "!>", "<<", ">>"};
    const qsizetype start = i_;
    const QStringView two = QStringView(s_).mid(i_, 2);
    // Most symbols stand alone: only these begin a pair.
    const char16_t c = s_[i_].unicode();
    const bool mayPair = c == u'<' || c == u'>' || c == u'!' || c == u'=' || c == u'|';
    for (const char* p : pairs) {
      if (!mayPair) break;
      if (two == QLatin1String(p)) {
        i_ += 2;
        PushSpan(TokenKind::Symbol, start);
        return;
      }
    }
    ++i_;
    PushSpan(TokenKind::Symbol, start);
  }

  const QString& s_;
  const bool texts_;
  qsizetype i_ = 0;
  qsizetype begin_ = 0;
  QString pre_;
  std::vector<Token> out_;
  std::vector<TokenPlace> places_;  // without texts
};

// Reads one level up to its ")" (nested) or the end; `closePre` receives what stood before
// the ")".
Seq BuildLevel(const std::vector<Token>& tokens, size_t& i, bool nested, QString* closePre) {
  Seq seq;
  while (i < tokens.size()) {
    const Token& t = tokens[i++];
    if (t.kind == TokenKind::Symbol && t.text == u")") {
      if (!nested) throw SqlError{QStringLiteral("Incorrect syntax near ')'.")};
      *closePre = t.pre;
      return seq;
    }
    Node n;
    n.tok = t;
    if (t.kind == TokenKind::Symbol && t.text == u"(") {
      n.group = true;
      n.kids = BuildLevel(tokens, i, true, &n.closePre);
    }
    seq.push_back(std::move(n));
  }
  if (nested) throw SqlError{QStringLiteral("Incorrect syntax: a '(' is never closed.")};
  return seq;
}

QString RenderToken(const Token& t) {
  switch (t.kind) {
    case TokenKind::String:
      return QuoteString(t.text);
    case TokenKind::QuotedName:
    case TokenKind::BracketName:
      return u'"' + QString(t.text).replace(u'"', QStringLiteral("\"\"")) + u'"';
    default:
      return t.text;
  }
}

}  // namespace

std::vector<Token> Tokenize(const QString& sql) { return Tokenizer(sql, true).Run(); }

std::vector<TokenPlace> TokenPlaces(const QString& sql) { return Tokenizer(sql, false).RunPlaces(); }

Seq BuildTree(const std::vector<Token>& tokens) {
  size_t i = 0;
  QString unused;
  return BuildLevel(tokens, i, false, &unused);
}

Seq Parse(const QString& sql) { return BuildTree(Tokenize(sql)); }

QString EmitNode(const Node& node) {
  if (!node.group) return node.tok.pre + RenderToken(node.tok);
  return node.tok.pre + u'(' + Emit(node.kids) + node.closePre + u')';
}

QString Emit(const Seq& seq) {
  QString out;
  for (const Node& n : seq) out += EmitNode(n);
  return out;
}

QString Shape(const Seq& seq) {
  QString out;
  for (const Node& n : seq) {
    if (n.group) {
      out += u'(' + Shape(n.kids) + u')';
    } else if (n.tok.kind == TokenKind::QuotedName || n.tok.kind == TokenKind::BracketName) {
      out += n.tok.text.toUpper();  // "T.C" and T.C name the same thing for matching
    } else {
      out += RenderToken(n.tok).toUpper();
    }
  }
  return out;
}

Node Word(const QString& text, const QString& pre) {
  Node n;
  n.tok = Token{TokenKind::Word, text, pre};
  return n;
}

Node Sym(const QString& text, const QString& pre) {
  Node n;
  n.tok = Token{TokenKind::Symbol, text, pre};
  return n;
}

Node Str(const QString& value, const QString& pre) {
  Node n;
  n.tok = Token{TokenKind::String, value, pre};
  return n;
}

Node Group(Seq kids, const QString& pre) {
  Node n;
  n.tok = Token{TokenKind::Symbol, QStringLiteral("("), pre};
  n.group = true;
  n.kids = std::move(kids);
  return n;
}

bool IsWord(const Node& node, const char* upperText) {
  return !node.group && node.tok.kind == TokenKind::Word &&
         node.tok.text.compare(QLatin1String(upperText), Qt::CaseInsensitive) == 0;
}

bool IsWordIn(const Node& node, std::initializer_list<const char*> upperTexts) {
  for (const char* t : upperTexts)
    if (IsWord(node, t)) return true;
  return false;
}

bool IsSym(const Node& node, const char* text) {
  return !node.group && node.tok.kind == TokenKind::Symbol && node.tok.text == QLatin1String(text);
}

bool IsName(const Node& node) {
  if (node.group) return false;
  const TokenKind k = node.tok.kind;
  return k == TokenKind::Word || k == TokenKind::QuotedName || k == TokenKind::BracketName;
}

QString NameOf(const Node& node) { return IsName(node) ? node.tok.text : QString(); }

QString QuoteString(const QString& value) {
  return u'\'' + QString(value).replace(u'\'', QStringLiteral("''")) + u'\'';
}

std::vector<Seq> SplitCommas(const Seq& seq) {
  std::vector<Seq> parts(1);
  for (const Node& n : seq) {
    if (IsSym(n, ",")) {
      parts.emplace_back();
      continue;
    }
    parts.back().push_back(n);
  }
  return parts;
}

Seq JoinCommas(const std::vector<Seq>& parts) {
  Seq out;
  for (size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) out.push_back(Sym(QStringLiteral(",")));
    out.insert(out.end(), parts[i].begin(), parts[i].end());
  }
  return out;
}

void SetPre(Seq& seq, const QString& pre) {
  if (!seq.empty()) seq.front().tok.pre = pre;
}

QString PreOf(const Seq& seq) { return seq.empty() ? QString() : seq.front().tok.pre; }

}  // namespace sw::dm::sql
