#include "platform/dm/sql_tokens.h"

namespace sw::dm::sql {

namespace {

// With texts, tokens carry their values and the blanks before them; without, they get their
// kinds and places only and nothing of the text is copied. Each is its own instance so that the
// look that copies nothing does no work for texts at all.
template <bool Texts>
class Tokenizer {
 public:
  explicit Tokenizer(const QString& sql) : s_(sql), d_(QStringView(sql).utf16()), n_(sql.size()) {}

  std::vector<Token> Run() {
    out_.reserve(size_t(n_ / 4));
    while (i_ < n_) Step();
    return std::move(out_);
  }
  std::vector<TokenPlace> RunPlaces() {
    places_.reserve(size_t(n_ / 4));
    while (i_ < n_) Step();
    return std::move(places_);
  }

 private:
  char16_t At(qsizetype k) const { return k < n_ ? d_[k] : u'\0'; }
  // Where the run of characters of the kind that goes on at `from` ends.
  template <bool (*Kind)(char16_t)>
  qsizetype SpanOf(qsizetype from) const {
    return SpanEnd<Kind>(d_, n_, from);
  }

  void Push(TokenKind kind, const QString& text) {
    if constexpr (!Texts) {
      places_.push_back(TokenPlace{kind, begin_, i_});
    } else {
      out_.push_back(Token{kind, text, pre_, begin_, i_});
      pre_.clear();
    }
  }
  void PushSpan(TokenKind kind, qsizetype start) {
    if constexpr (Texts) Push(kind, s_.mid(start, i_ - start));
    else Push(kind, QString());
  }
  void AddPre(QChar c) {
    if constexpr (Texts) pre_ += c;
  }

  void Step() {
    const char16_t c = d_[i_];
    begin_ = i_;
    // Words and blanks are most of a statement: an ASCII letter, _ or # begins a word unless it
    // is the N of N'...', and a digit a number, whatever the tests below would say of them.
    const quint8 ascii = c < 0x80 ? Ascii.of[c] : 0;
    if ((ascii & AsciiNameStart) && !((c == u'N' || c == u'n') && At(i_ + 1) == u'\'')) {
      ReadWord();
    } else if (ascii & AsciiDigit) {
      ReadNumber();
    } else if (IsSpaceChar(c)) {
      const qsizetype start = i_;
      i_ = SpanOf<IsSpaceChar>(i_ + 1);
      if constexpr (Texts) pre_ += QStringView(d_ + start, i_ - start);
    } else if (OpensComment(d_, n_, i_)) {
      SkipComment();
    } else if (c == u'\'') {
      ReadQuoted(TokenKind::String);
    } else if ((c == u'N' || c == u'n') && At(i_ + 1) == u'\'') {
      ++i_;  // N'...' is a Unicode literal: the same text here
      ReadQuoted(TokenKind::String);
    } else if (c == u'"') {
      ReadQuoted(TokenKind::QuotedName);
    } else if (c == u'[') {
      ReadQuoted(TokenKind::BracketName);
    } else if (IsDigitChar(c) || (c == u'.' && IsDigitChar(At(i_ + 1)))) {
      ReadNumber();
    } else if (c == u'@') {
      ReadVariable();
    } else if (IsNameStartChar(c)) {
      ReadWord();
    } else {
      ReadSymbol();
    }
  }

  // Comments become one blank: kept as written, a line comment at the end would swallow
  // anything a rewrite appends.
  void SkipComment() {
    const qsizetype end = CommentEnd(d_, n_, i_);
    if (end < 0) throw SqlError{QStringLiteral("Missing end comment mark '*/'.")};
    i_ = end;
    AddPre(u' ');
  }

  void ReadQuoted(TokenKind kind) {
    const qsizetype open = i_;
    bool doubled = false;
    const qsizetype end = QuotedEnd(d_, n_, open, &doubled);
    i_ = end < 0 ? n_ : end;
    QString value;
    if constexpr (Texts) {
      value = QStringView(d_ + open + 1, (end < 0 ? n_ : end - 1) - open - 1).toString();
      const QChar close(ClosingQuote(d_[open]));
      if (doubled) value.replace(QString(2, close), QString(close));
    }
    if (end >= 0) {
      Push(kind, value);
      return;
    }
    if (kind == TokenKind::String)
      throw SqlError{QStringLiteral("Unclosed quotation mark after the character string '%1'.").arg(value)};
    throw SqlError{QStringLiteral("Unclosed quoted name %1%2.").arg(QChar(d_[open])).arg(value)};
  }

  void ReadNumber() {
    const qsizetype start = i_;
    i_ = NumberEnd<IsDigitChar>(d_, n_, i_);
    PushSpan(TokenKind::Number, start);
  }

  void ReadVariable() {
    const qsizetype start = i_;
    ++i_;
    if (At(i_) == u'@') ++i_;
    i_ = SpanOf<IsNamePartChar>(i_);
    PushSpan(TokenKind::Variable, start);
  }

  void ReadWord() {
    const qsizetype start = i_;
    i_ = SpanOf<IsNamePartChar>(i_ + 1);  // a name's start is a part of it too
    PushSpan(TokenKind::Word, start);
  }

  void ReadSymbol() {
    const qsizetype start = i_;
    // Most symbols stand alone: only these pairs are one symbol.
    const char16_t c = d_[i_], next = At(i_ + 1);
    const bool pair = (c == u'<' && (next == u'=' || next == u'>' || next == u'<')) ||
                      (c == u'>' && (next == u'=' || next == u'>')) ||
                      (c == u'!' && (next == u'=' || next == u'<' || next == u'>')) || (c == u'=' && next == u'=') ||
                      (c == u'|' && next == u'|');
    i_ += pair ? 2 : 1;
    PushSpan(TokenKind::Symbol, start);
  }

  const QString& s_;
  const char16_t* const d_;
  const qsizetype n_;
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

std::vector<Token> Tokenize(const QString& sql) { return Tokenizer<true>(sql).Run(); }

std::vector<TokenPlace> TokenPlaces(const QString& sql) { return Tokenizer<false>(sql).RunPlaces(); }

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
