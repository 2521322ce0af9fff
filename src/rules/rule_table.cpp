#include "rules/rule_table.h"

#include <algorithm>

namespace sw {

namespace {

struct FieldInfo {
  int number;
  const char* key;
  ValueForm form;
  const char* defaultValue;
};

// Every field that has rows of its own, with its value form and its value in the built-in rule.
constexpr FieldInfo kFields[] = {
    {field::RULE_VALUES, "RULE_VALUES", ValueForm::Text, "%APPLICATION.APPLICATION% <> 'FOLDER'"},
    {field::RULE_TEMPLATE, "RULE_TEMPLATE", ValueForm::Text, ""},
    {field::RULE_SECURITY, "RULE_SECURITY", ValueForm::Text,
     "%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; GROUP:DOCS_SUPERVISORS = 255; "
     "GROUP:DOCS_USERS = 63"},
    {field::RULE_FORM, "RULE_FORM", ValueForm::Text, "***DEFAULT FORM***"},
    {field::RULE_AUTO_CREATE_FOLDERS, "RULE_AUTO_CREATE_FOLDERS", ValueForm::Number, "1"},
    {field::RULE_CREATE_PUBLIC_FOLDERS, "RULE_CREATE_PUBLIC_FOLDERS", ValueForm::Number, "1"},
    {field::RULE_MOVE_INTO, "RULE_MOVE_INTO", ValueForm::Number, "0"},
    {field::RULE_ROOT_FOLDER, "RULE_ROOT_FOLDER", ValueForm::ShortText, ""},
    {field::RULE_PROFILE_INHERIT_SECURITY, "RULE_PROFILE_INHERIT_SECURITY", ValueForm::Number, "1"},
    {field::RULE_APPEND_TRUSTEES, "RULE_APPEND_TRUSTEES", ValueForm::Number, "1"},
    {field::RULE_WORKSPACE_AUTHOR, "RULE_WORKSPACE_AUTHOR", ValueForm::Number, "0"},
    {field::RULE_WORKSPACE_TYPIST, "RULE_WORKSPACE_TYPIST", ValueForm::Number, "0"},
    {field::RULE_AUTHOR_SOURCE, "RULE_AUTHOR_SOURCE", ValueForm::Text, "Default"},
    {field::RULE_MASTER_LIBRARY, "RULE_MASTER_LIBRARY", ValueForm::Number, "0"},
    {field::RULE_STACKWRIGHT_LEVEL, "RULE_STACKWRIGHT_LEVEL", ValueForm::Number, "0"},
    {field::RULE_STACKWRIGHT_TEXT, "RULE_STACKWRIGHT_TEXT", ValueForm::Text, ""},
    {field::RULE_WORKSPACE_AGE, "RULE_WORKSPACE_AGE", ValueForm::Number, "0"},
    {field::RULE_WORKSPACE_NAME, "RULE_WORKSPACE_NAME", ValueForm::Text, ""},
    {field::RULE_DOCTYPE_SOURCE, "RULE_DOCTYPE_SOURCE", ValueForm::Text, "Default"},
    {field::RULE_WORKSPACE_GROUP, "RULE_WORKSPACE_GROUP", ValueForm::Text, ""},
    {field::RULE_EMPTY_FOLDERS, "RULE_EMPTY_FOLDERS", ValueForm::Number, "0"},
    {field::RULE_QUICKSEARCH_AUTHOR, "RULE_QUICKSEARCH_AUTHOR", ValueForm::Number, "1"},
    {field::RULE_QUICKSEARCH_TYPIST, "RULE_QUICKSEARCH_TYPIST", ValueForm::Number, "1"},
    {field::RULE_QUICKSEARCH_FILTER, "RULE_QUICKSEARCH_FILTER", ValueForm::Number, "0"},
    {field::RULE_MASTERFOLDER_LIBRARY, "RULE_MASTERFOLDER_LIBRARY", ValueForm::Text, ""},
    {field::RULE_RETROACTIVE, "RULE_RETROACTIVE", ValueForm::Number, "0"},
    {field::RULE_QUICKSEARCH_RANGE, "RULE_QUICKSEARCH_RANGE", ValueForm::Number, "90"},
    {field::RULE_EMAIL_TEMPLATE, "RULE_EMAIL_TEMPLATE", ValueForm::Text, ""},
    {field::RULE_EMAIL_LEVEL, "RULE_EMAIL_LEVEL", ValueForm::Number, "0"},
    {field::RULE_MOVE_OK, "RULE_MOVE_OK", ValueForm::Number, "0"},
    {field::RULE_ADDPGLINKS, "RULE_ADDPGLINKS", ValueForm::Number, "0"},
    {field::RULE_ADDREMOTEITEMS, "RULE_ADDREMOTEITEMS", ValueForm::Number, "1"},
    {field::RULE_ADDLOCALITEMS, "RULE_ADDLOCALITEMS", ValueForm::Number, "1"},
    {field::RULE_PROFILE_FORM, "RULE_PROFILE_FORM", ValueForm::Text, "***DEFAULT FORM***"},
    {field::RULE_ADDLASTEDITEDBY, "RULE_ADDLASTEDITEDBY", ValueForm::Number, "0"},
    {field::RULE_PARSECHARACTERS, "RULE_PARSECHARACTERS", ValueForm::Text, ""},
    {field::RULE_PURPOSE, "RULE_PURPOSE", ValueForm::Text, "***All Modules***"},
    {field::RULE_OVERRIDERULEPARAMETERS, "RULE_OVERRIDERULEPARAMETERS", ValueForm::Number, "0"},
    {field::RULE_STACKWRIGHT_SQL_1, "RULE_STACKWRIGHT_SQL_1", ValueForm::RawText, ""},
    {field::RULE_STACKWRIGHT_SQL_2, "RULE_STACKWRIGHT_SQL_2", ValueForm::RawText, ""},
    {field::RULE_STACKWRIGHT_SQL_3, "RULE_STACKWRIGHT_SQL_3", ValueForm::RawText, ""},
    {field::RULE_EMAIL_NAME, "RULE_EMAIL_NAME", ValueForm::FirstSlice, ""},
    {field::RULE_EMAIL_LIBRARY, "RULE_EMAIL_LIBRARY", ValueForm::FirstSlice, ""},
};

const FieldInfo* InfoOf(int fieldNumber) {
  for (const FieldInfo& info : kFields) {
    if (info.number == fieldNumber) return &info;
  }
  return nullptr;
}

}  // namespace

QString RuleFieldKey(int fieldNumber) {
  const FieldInfo* info = InfoOf(fieldNumber);
  return info ? QString::fromLatin1(info->key) : QString();
}

int RuleFieldForKey(const QString& sectionKey) {
  for (const FieldInfo& info : kFields) {
    if (sectionKey == QLatin1String(info.key)) return info.number;
  }
  return 0;
}

ValueForm RuleFieldForm(int fieldNumber) {
  const FieldInfo* info = InfoOf(fieldNumber);
  return info ? info->form : ValueForm::None;
}

QString RuleFieldDefault(int fieldNumber) {
  if (fieldNumber == field::RuleName) return DefaultRuleName;
  const FieldInfo* info = InfoOf(fieldNumber);
  return info ? QString::fromLatin1(info->defaultValue) : QString();
}

void RuleRecords::Clear() {
  rules_ = QList<std::array<QString, field::Last + 1>>(1);
}

int RuleRecords::AddRule() {
  rules_.emplaceBack();
  return Count();
}

QString RuleRecords::operator()(int fieldNumber, int rule) const {
  if (rule < 0 || rule > Count() || fieldNumber < 0 || fieldNumber > field::Last) return QString();
  return rules_.at(rule)[fieldNumber];
}

void RuleRecords::Set(int fieldNumber, int rule, const QString& value) {
  if (rule < 0 || rule > Count() || fieldNumber < 0 || fieldNumber > field::Last) return;
  rules_[rule][fieldNumber] = value;
}

QString RuleSqlTable::operator()(int row, int column) const {
  if (row < 1 || row > Count() || column < 0 || column > sqlcol::Last) return QString();
  return rows_[row - 1][column];
}

void RuleSqlTable::Set(int row, int column, const QString& value) {
  if (row < 1 || row > Count() || column < 0 || column > sqlcol::Last) return;
  rows_[row - 1][column] = value;
}

int RuleSqlTable::Find(const QString& library, const QString& rule) const {
  const QString lib = library.toUpper();
  const QString name = rule.toUpper();
  for (int row = 1; row <= Count(); ++row) {
    const auto& r = rows_[row - 1];
    if (r[sqlcol::Library].toUpper() == lib && r[sqlcol::RuleName].toUpper() == name) return row;
  }
  return 0;
}

int RuleSqlTable::Add(const QString& library, const QString& rule) {
  rows_.emplace_back();
  rows_.back()[sqlcol::Library] = library;
  rows_.back()[sqlcol::RuleName] = rule;
  return Count();
}

void SetRuleSqlBuffer(RuleState& rules, const QString& statement) {
  // Set for every rule at every rules load, nearly always to the same (often empty) statement:
  // a buffer that holds it already is left alone, else it is filled in place rather than made anew.
  QString& buffer = rules.RuleSqlBuffer;
  // A longer statement is kept whole.
  if (statement.size() > RuleSqlBufferLength) {
    buffer = statement;
    return;
  }
  static const QString blanks(RuleSqlBufferLength, QLatin1Char(' '));
  const qsizetype used = statement.size();
  if (buffer.size() == RuleSqlBufferLength && QStringView(buffer).left(used) == statement &&
      QStringView(buffer).mid(used) == QStringView(blanks).mid(used))
    return;
  if (buffer.size() != RuleSqlBufferLength) buffer = blanks;
  QChar* out = buffer.data();
  std::copy(statement.cbegin(), statement.cend(), out);
  std::fill(out + used, out + RuleSqlBufferLength, QLatin1Char(' '));
}

}  // namespace sw
