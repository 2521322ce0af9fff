#pragma once
// How the emulator reads the characters of a statement's text, as a SQL Server reads them:
// blanks, digits, the characters of a name, numbers, the quotes that open and close a text
// ('...'), a quoted name ("...") or a bracketed name ([...]), and comments (-- to the end of the
// line, /* ... */ nested). The tokenizer reads statements by these rules, and so does every
// quicker look at a statement's text, so that none of them takes a quote or a comment for
// something the tokenizer reads otherwise.
#include <QString>
#include <QStringView>
#include <QtGlobal>

namespace sw::dm::sql {

// What each ASCII character is to a scan of a statement, looked up at once; others are left to Qt.
enum AsciiClass : quint8 { AsciiSpace = 1, AsciiDigit = 2, AsciiNameStart = 4, AsciiNamePart = 8 };
struct AsciiClasses {
  quint8 of[128] = {};
  constexpr AsciiClasses() {
    for (int c = 0; c < 128; ++c) {
      const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'), digit = c >= '0' && c <= '9';
      if (c == ' ' || (c >= 0x09 && c <= 0x0D)) of[c] |= AsciiSpace;
      if (digit) of[c] |= AsciiDigit;
      if (letter || c == '_' || c == '#') of[c] |= AsciiNameStart;
      if (letter || digit || c == '_' || c == '#' || c == '$' || c == '@') of[c] |= AsciiNamePart;
    }
  }
};
inline constexpr AsciiClasses Ascii;

// The same for characters beyond ASCII, out of line: asked of nearly every character, the
// table answers inline.
bool IsOtherSpace(char16_t c);
bool IsOtherDigit(char16_t c);
bool IsOtherNameStart(char16_t c);
bool IsOtherNamePart(char16_t c);
Q_ALWAYS_INLINE bool IsSpaceChar(char16_t c) { return c < 0x80 ? (Ascii.of[c] & AsciiSpace) != 0 : IsOtherSpace(c); }
Q_ALWAYS_INLINE bool IsDigitChar(char16_t c) { return c < 0x80 ? (Ascii.of[c] & AsciiDigit) != 0 : IsOtherDigit(c); }
Q_ALWAYS_INLINE bool IsNameStartChar(char16_t c) { return c < 0x80 ? (Ascii.of[c] & AsciiNameStart) != 0 : IsOtherNameStart(c); }
Q_ALWAYS_INLINE bool IsNamePartChar(char16_t c) { return c < 0x80 ? (Ascii.of[c] & AsciiNamePart) != 0 : IsOtherNamePart(c); }
// The ASCII ones alone, for a look that leaves text beyond ASCII unread.
Q_ALWAYS_INLINE bool IsAsciiDigit(char16_t c) { return c < 0x80 && (Ascii.of[c] & AsciiDigit) != 0; }
Q_ALWAYS_INLINE bool IsAsciiNamePart(char16_t c) { return c < 0x80 && (Ascii.of[c] & AsciiNamePart) != 0; }

// Where the run of characters of the kind that goes on at `k` ends.
template <bool (*Kind)(char16_t)>
qsizetype SpanEnd(const char16_t* d, qsizetype n, qsizetype k) {
  while (k < n && Kind(d[k])) ++k;
  return k;
}

// Where the number that begins at `k` ends: a hexadecimal 0x..., or digits, a fraction and an
// exponent, each with digits of the kind given.
template <bool (*Digit)(char16_t)>
qsizetype NumberEnd(const char16_t* d, qsizetype n, qsizetype k) {
  const auto at = [d, n](qsizetype j) -> char16_t { return j < n ? d[j] : u'\0'; };
  if (d[k] == u'0' && (at(k + 1) | 0x20) == u'x') {
    k += 2;
    while (k < n && (Digit(d[k]) || ((d[k] | 0x20) >= u'a' && (d[k] | 0x20) <= u'f'))) ++k;
    return k;
  }
  k = SpanEnd<Digit>(d, n, k);
  if (at(k) == u'.') k = SpanEnd<Digit>(d, n, k + 1);
  if ((at(k) | 0x20) == u'e' && (Digit(at(k + 1)) || ((at(k + 1) == u'+' || at(k + 1) == u'-') && Digit(at(k + 2)))))
    k = SpanEnd<Digit>(d, n, k + 2);
  return k;
}

// The quote that closes what `open` opens (a text, a quoted name or a bracketed name); 0 for a
// character that opens none.
constexpr char16_t ClosingQuote(char16_t open) {
  return open == u'\'' ? u'\'' : open == u'"' ? u'"' : open == u'[' ? u']' : char16_t(0);
}

// One past the closing quote of what the quote at `k` opens, where a doubled closing quote
// stands for the quote itself (then `doubled` is set); -1 when it is left open.
qsizetype QuotedEnd(const char16_t* d, qsizetype n, qsizetype k, bool* doubled = nullptr);

// Whether a comment opens at `k`.
inline bool OpensComment(const char16_t* d, qsizetype n, qsizetype k) {
  return k + 1 < n && ((d[k] == u'-' && d[k + 1] == u'-') || (d[k] == u'/' && d[k + 1] == u'*'));
}
// One past the comment that opens at `k`: a line comment ends before its line break, a block
// comment after the "*/" that closes it, the comments opened inside it closed first; -1 when a
// block comment is left open.
qsizetype CommentEnd(const char16_t* d, qsizetype n, qsizetype k);

// A statement's first word: the ASCII letters after its leading blanks, read without a copy (every
// statement is looked at so). Empty when the text begins otherwise.
QStringView FirstWord(const QString& sql);

}  // namespace sw::dm::sql
