#pragma once
// The values of a statement the system sends, lifted out as parameters: the statements it sends
// for every row differ only in an id or a name, and as one template with parameters they are
// translated and prepared once.
#include <QString>
#include <QStringList>
#include <QHash>
#include <QVarLengthArray>
#include <QVariantList>
#include <optional>
#include <vector>

namespace sw::dm::sql {

struct LiftedStatement {
  QString sql;          // the statement
  QString key;          // its text with each lifted value as a placeholder of its kind
  QVariantList values;  // the lifted values in order: whole numbers as numbers, texts as texts
  // The statement written again: pieces of its own text, each followed by a text added (the
  // terms a folder look-up implies) and a lifted value, when it has them.
  struct Piece {
    qsizetype begin = 0, end = 0;
    QLatin1StringView added;
    qsizetype value = -1;
  };
  std::vector<Piece> pieces;
  QString classes;  // per value, what kind of value it is (part of the key)

  // The text with each lifted value as a marker literal of its kind, for translating the
  // template; the lifted values as SQL literals, for checking it.
  QString Marked() const;
  QStringList Literals() const;
  // The text with `value(text, k)` writing each lifted value k; `extra` characters are reserved
  // beyond the statement's length.
  template <typename WriteValue>
  QString Written(const WriteValue& value, qsizetype extra = 16) const;
};

// Lifts the values that stand where a parameter means what the literal means: a whole number or
// a non-empty text right after a comparison (not ROWNUM's), as an item of an IN (...) or
// VALUES (...) list, or as an item of a select list, each followed by the end of its operand.
// The pattern of a folder look-up ("UPPER(col) LIKE 'pattern'") is lifted with the terms it
// implies, written out as the translator would add them. Only SELECT, INSERT, UPDATE and DELETE
// statements lift; text that cannot be read lifts nothing.
LiftedStatement LiftValues(const QString& sql, bool bracketClasses);

// The statements of each shape or pattern that are also lifted in full, to confirm it.
constexpr int LiftChecks = 2;

// A folder look-up, lifted with the terms its pattern implies: a statement of a shape or pattern
// learnt before has those terms' values worked out again from its own pattern, and they must be
// of the kind and classes learnt.
struct LookUpTerms {
  qsizetype pattern = 0, low = 0, high = -1;  // value numbers; high -1 for an equal term
  QChar escape;
  QChar lowClass, highClass;
};

// Statements of one shape: the same text but for the values of their literal texts and numbers,
// each value of the same class. They lift the same values at the same places, so once one of a
// shape has been lifted in full, the others need only a look at where their literals stand.
class LiftShapes {
 public:
  struct Quick {
    QString key;
    size_t keyHash = 0;  // qHash of key
    QVariantList values;
  };
  // The key and values of a statement of a shape learnt before; none for another. The first
  // statements of each shape are also lifted in full: a shape that lifts otherwise is dropped.
  // `known`, when given, tells whether the shape was learnt (served or not): Learn would add
  // nothing for it.
  std::optional<Quick> Lift(const QString& sql, bool bracketClasses, bool* known = nullptr);
  // Learns the shape of a statement just lifted in full.
  void Learn(const QString& sql, const LiftedStatement& lifted);

  struct Literal {
    qsizetype begin = 0, end = 0;
    char16_t kind = 0;  // its class: what the lifting may tell apart
  };

 private:
  static constexpr qsizetype Limit = 1024;
  struct Recipe {
    QString exemplar;               // the statement the shape was learnt from
    std::vector<Literal> literals;  // its literals
    std::vector<qsizetype> liftedAs;  // per literal, the value it is lifted as; -1 when it stays
    std::vector<LookUpTerms> lookUps;
    qsizetype valueCount = 0;
    QString key;
    size_t keyHash = 0;
    int checksLeft = LiftChecks;
    bool usable = true;
  };
  static bool SameShape(const QString& sql, const std::vector<Literal>& literals, const Recipe& recipe);
  static bool ValueLiteral(const LiftedStatement& lifted, size_t p, Recipe& recipe);
  QHash<size_t, Recipe> recipes_;
};

// Where the slots of a statement pattern stand: each "?" outside its quoted texts and names.
std::vector<qsizetype> PatternSlots(const QString& pattern);
// The statement the pattern and its literals make: each slot filled with the next literal.
QString FilledText(const QString& pattern, const QStringList& literals);

// Statements written as a pattern and literals: a pattern whose literals are of the same classes
// lifts the same values from the same literals, and the values its own text lifts as constants.
// Once one has been lifted in full, the others need no lifting at all.
class LiftPatterns {
 public:
  // The key and values of a statement of a pattern learnt before; none for another. The first
  // statements of each are also lifted in full: a pattern that lifts otherwise is dropped.
  std::optional<LiftShapes::Quick> Lift(const QString& pattern, const QStringList& literals, bool bracketClasses);
  // Whether the pattern, with literals of these classes, was learnt (usable or not).
  bool Knows(const QString& pattern, const QStringList& literals);
  // Learns the pattern from a statement of it just lifted in full.
  void Learn(const QString& pattern, const QStringList& literals, const LiftedStatement& lifted);

 private:
  static constexpr qsizetype Limit = 1024;
  struct Source {
    qsizetype literal = -1;  // the literal the value is, or -1 for a value of the pattern's own text
    QVariant constant;
  };
  struct Recipe {
    QString pattern;
    QString kinds;
    std::vector<Source> sources;  // per lifted value
    QStringList stays;            // per literal: as it must stand when it is not lifted, else empty
    std::vector<LookUpTerms> lookUps;
    QString key;
    size_t keyHash = 0;
    int checksLeft = LiftChecks;
    bool usable = true;
  };
  using Kinds = QVarLengthArray<char16_t, 8>;
  static bool KindsOf(const QStringList& literals, Kinds& kinds);
  Recipe* Find(const QString& pattern, const Kinds& kinds);
  QHash<QString, std::vector<Recipe>> recipes_;  // by pattern, one for each kinds of its literals
  qsizetype count_ = 0;
};

// The translation of the marked text with each marker as its parameter (?1, ?2, ...); none when
// a marker did not come through the translation exactly once.
std::optional<QString> WithParameters(const QString& translatedMarked, qsizetype count);
// The translation of the marked text with each marker as its literal again: for a sound
// template, the translation of the statement itself.
QString WithLiterals(const QString& translatedMarked, const QStringList& literals);

}  // namespace sw::dm::sql
