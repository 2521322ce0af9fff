#pragma once
// The rule set of the current library and the cache of the rules' own SQL statements.
//
// TARN_SETTINGS holds, per library, the settings rows, one group of rows per rule (SECTION_KEY
// "RULE_" + field key, SUB_KEY the rule name), the chunks of each rule's own SQL and the
// running-node claims. In memory a rule is a record of text fields 0..52 (fields 0 and 44..50
// unused); every field is text, number fields included.
#include <QList>
#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <vector>

namespace sw {

// Field numbers of a rule record, named after the SECTION_KEY of their rows.
namespace field {
inline constexpr int RuleLibrary = 1;  // the library the rule belongs to (no row of its own)
inline constexpr int RuleName = 2;     // the upper-cased, trimmed SUB_KEY
inline constexpr int RULE_VALUES = 3;
inline constexpr int RULE_TEMPLATE = 4;
inline constexpr int RULE_SECURITY = 5;
inline constexpr int RULE_FORM = 6;
inline constexpr int RULE_AUTO_CREATE_FOLDERS = 7;
inline constexpr int RULE_CREATE_PUBLIC_FOLDERS = 8;
inline constexpr int RULE_MOVE_INTO = 9;
inline constexpr int RULE_ROOT_FOLDER = 10;
inline constexpr int RULE_PROFILE_INHERIT_SECURITY = 11;
inline constexpr int RULE_APPEND_TRUSTEES = 12;
inline constexpr int RULE_WORKSPACE_AUTHOR = 13;
inline constexpr int RULE_WORKSPACE_TYPIST = 14;
inline constexpr int RULE_AUTHOR_SOURCE = 15;
inline constexpr int RULE_MASTER_LIBRARY = 16;
inline constexpr int RULE_STACKWRIGHT_LEVEL = 17;
inline constexpr int RULE_STACKWRIGHT_TEXT = 18;
inline constexpr int RULE_WORKSPACE_AGE = 19;
inline constexpr int RULE_WORKSPACE_NAME = 20;
inline constexpr int RULE_DOCTYPE_SOURCE = 21;
inline constexpr int RULE_WORKSPACE_GROUP = 22;
inline constexpr int RULE_EMPTY_FOLDERS = 23;
inline constexpr int RULE_QUICKSEARCH_AUTHOR = 24;
inline constexpr int RULE_QUICKSEARCH_TYPIST = 25;
inline constexpr int RULE_QUICKSEARCH_FILTER = 26;
inline constexpr int RULE_MASTERFOLDER_LIBRARY = 27;
inline constexpr int RULE_RETROACTIVE = 28;
inline constexpr int RULE_QUICKSEARCH_RANGE = 29;
inline constexpr int RULE_EMAIL_TEMPLATE = 30;
inline constexpr int RULE_EMAIL_LEVEL = 31;
inline constexpr int RULE_MOVE_OK = 32;
inline constexpr int RULE_ADDPGLINKS = 33;
inline constexpr int RULE_ADDREMOTEITEMS = 34;
inline constexpr int RULE_ADDLOCALITEMS = 35;
inline constexpr int RULE_PROFILE_FORM = 36;
inline constexpr int RULE_ADDLASTEDITEDBY = 37;
inline constexpr int RULE_PARSECHARACTERS = 38;
inline constexpr int RULE_PURPOSE = 39;
inline constexpr int RULE_OVERRIDERULEPARAMETERS = 40;
inline constexpr int RULE_STACKWRIGHT_SQL_1 = 41;
inline constexpr int RULE_STACKWRIGHT_SQL_2 = 42;
inline constexpr int RULE_STACKWRIGHT_SQL_3 = 43;
inline constexpr int RULE_EMAIL_NAME = 51;
inline constexpr int RULE_EMAIL_LIBRARY = 52;
inline constexpr int Last = 52;
}  // namespace field

// How a row's value becomes a field's text. CHAR_VAL is read in four slices of 254 characters.
enum class ValueForm {
  None,        // the field has no row of its own
  Text,        // slices 1..4 joined, trimmed
  ShortText,   // slices 1..3 joined, trimmed
  RawText,     // slices 1..4 joined, blanks kept
  FirstSlice,  // slice 1 only, blanks kept
  Number,      // INT_VAL as a whole number; a NULL INT_VAL sets nothing
};

inline constexpr int CharValSliceLength = 254;

// The name of the built-in rule that stands in when a library holds no rule rows.
inline const QString DefaultRuleName = QStringLiteral("***DEFAULT RULE***");

// The SECTION_KEY of a field's rows ("RULE_TEMPLATE"); empty for fields without rows.
QString RuleFieldKey(int fieldNumber);
// The field whose key equals `sectionKey` exactly (callers upper-case it); 0 for none.
int RuleFieldForKey(const QString& sectionKey);
ValueForm RuleFieldForm(int fieldNumber);
// The field's value in the built-in rule (field 4 depends on the library and is not given here).
QString RuleFieldDefault(int fieldNumber);

// The rules of the current library: RuleTable(field, rule) with rules numbered from 1.
// Reading outside the table gives empty text, so a stale rule number cannot crash a reader.
// Copies share their records until one is written: every switch back to a library takes its
// rules as its last load left them.
class RuleRecords {
 public:
  RuleRecords() { Clear(); }
  // Rule 0 only, every field empty.
  void Clear();
  // Appends an empty rule and returns its number.
  int AddRule();
  int Count() const { return static_cast<int>(rules_.size()) - 1; }

  QString operator()(int fieldNumber, int rule) const;
  // Ignored outside the table.
  void Set(int fieldNumber, int rule, const QString& value);

 private:
  QList<std::array<QString, field::Last + 1>> rules_;
};

// Columns of the saved-SQL cache.
namespace sqlcol {
inline constexpr int Library = 1;
inline constexpr int RuleName = 2;
inline constexpr int Sql = 3;
inline constexpr int Status = 4;    // outcome of the last run: empty or "SQL Error"
inline constexpr int RowCount = 5;  // rows of the last run, as text
inline constexpr int Last = 5;
}  // namespace sqlcol

// One row per library and rule whose own statement is known, rows from 1, kept for the whole
// program run and never shrunk.
class RuleSqlTable {
 public:
  int Count() const { return static_cast<int>(rows_.size()); }
  QString operator()(int row, int column) const;
  void Set(int row, int column, const QString& value);
  // The row of this library and rule (each compared upper-cased); 0 for none.
  int Find(const QString& library, const QString& rule) const;
  // Appends a row with columns 1 and 2 set and returns its number.
  int Add(const QString& library, const QString& rule);

 private:
  std::vector<std::array<QString, sqlcol::Last + 1>> rows_;
};

inline constexpr int RuleSqlBufferLength = 4096;

// State of the rule set, owned by the rules context.
// The rows of the rules statement as a library last answered it, and the library's stamp of its
// settings table when it was asked: while the stamp stands the rows are what the statement would
// answer again.
struct RuleRowsRead {
  QString stamp;
  std::vector<QStringList> settings;  // the SETTINGS rows' columns, in the statement's order
  RuleRecords rules;                  // the rule table as the RULE_ rows left it, each rule completed
};

struct RuleState {
  RuleRecords RuleTable;
  std::map<QString, RuleRowsRead> RuleRowsByLibrary;  // by upper-cased library name
  RuleSqlTable RuleSqlCache;
  QString RuleSqlIndex = QStringLiteral("0");
  QString RuleSqlBuffer = QString(RuleSqlBufferLength, QLatin1Char(' '));

  int RuleCount() const { return RuleTable.Count(); }
  int RuleSqlCount() const { return RuleSqlCache.Count(); }
};

// Puts a statement into the fixed-length, blank-padded buffer.
void SetRuleSqlBuffer(RuleState& rules, const QString& statement);

}  // namespace sw
