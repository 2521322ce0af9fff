#pragma once
// The statement as the translator sees it: tokens (strings, quoted and bracketed names,
// numbers, words, symbols) nested by parentheses, each keeping the blanks written before it
// so that untouched text reaches SQLite as it was written.
#include <QString>

#include <vector>

#include "platform/dm/sql_chars.h"

namespace sw::dm::sql {

enum class TokenKind { Word, String, QuotedName, BracketName, Number, Symbol, Variable };

struct Token {
  TokenKind kind = TokenKind::Symbol;
  QString text;  // strings and names hold their value, without quotes or doubled quotes
  QString pre;   // blanks, line breaks and comments written before the token
  qsizetype begin = 0;  // where the token stands in the text read (tokens made by a rewrite: 0)
  qsizetype end = 0;    // one past its last character
};

// A leaf token, or a parenthesised group whose "(" is `tok` and whose contents are `kids`.
struct Node {
  Token tok;
  bool group = false;
  std::vector<Node> kids;
  QString closePre;  // what stood before the ")"
};
using Seq = std::vector<Node>;

// Why a statement could not be read or translated; thrown inside the translator only.
struct SqlError {
  QString message;
};

std::vector<Token> Tokenize(const QString& sql);
// A token's kind and place only.
struct TokenPlace {
  TokenKind kind = TokenKind::Symbol;
  qsizetype begin = 0;
  qsizetype end = 0;
};
// The tokens' kinds and places: a quick look at a statement that copies nothing of it.
std::vector<TokenPlace> TokenPlaces(const QString& sql);
Seq BuildTree(const std::vector<Token>& tokens);
Seq Parse(const QString& sql);  // Tokenize + BuildTree
QString Emit(const Seq& seq);
QString EmitNode(const Node& node);
// The node's text without any of the blanks, upper-cased: for comparing expressions.
QString Shape(const Seq& seq);

// Small builders and tests used by the rewrites.
Node Word(const QString& text, const QString& pre = QStringLiteral(" "));
Node Sym(const QString& text, const QString& pre = QString());
Node Str(const QString& value, const QString& pre = QStringLiteral(" "));
Node Group(Seq kids, const QString& pre = QString());
bool IsWord(const Node& node, const char* upperText);
bool IsWordIn(const Node& node, std::initializer_list<const char*> upperTexts);
bool IsSym(const Node& node, const char* text);
bool IsName(const Node& node);  // word, quoted or bracketed name
QString NameOf(const Node& node);  // the name's text (words as written)
QString QuoteString(const QString& value);
// Splits at the commas of this level.
std::vector<Seq> SplitCommas(const Seq& seq);
Seq JoinCommas(const std::vector<Seq>& parts);
// Gives the first node of `seq` the blanks `pre` (used when a node takes another's place).
void SetPre(Seq& seq, const QString& pre);
QString PreOf(const Seq& seq);

}  // namespace sw::dm::sql
