#include "rules/rules_loader.h"

#include <QtMath>

#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "rules/rules_context.h"

namespace sw {

namespace {

const QString kSqlServerRulesQuery = QStringLiteral(
    "SELECT SECTION_KEY, SUB_KEY, SUBSTRING(CHAR_VAL, 1, 254), INT_VAL, SUBSTRING(CHAR_VAL, 255, 254), "
    "SUBSTRING(CHAR_VAL, 509, 254), SUBSTRING(CHAR_VAL, 763, 254) FROM [OWNER].TARN_SETTINGS "
    "WHERE MASTER_KEY = 'QUILLMARK' AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') "
    "ORDER BY SUB_KEY, SECTION_KEY");
const QString kOracleRulesQuery = QStringLiteral(
    "SELECT SECTION_KEY, SUB_KEY, SUBSTR(CHAR_VAL, 1, 254), INT_VAL, SUBSTR(CHAR_VAL, 255, 254), "
    "SUBSTR(CHAR_VAL, 509, 254), SUBSTR(CHAR_VAL, 763, 254) FROM [OWNER].TARN_SETTINGS "
    "WHERE MASTER_KEY = 'QUILLMARK' AND (SECTION_KEY LIKE 'RULE_%' OR SECTION_KEY = 'SETTINGS') "
    "ORDER BY SUB_KEY, SECTION_KEY");
const QString kMatterColumnQuery = QStringLiteral(
    "SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE COLNAME = 'MATTER' AND TBNAME = 'PROFILE'");

const QString kRootFolderSeparator = QStringLiteral(" %\\% ");
const QString kNoneMarker = QStringLiteral("*NONE*");

// One row of the rules statement, columns as the statement lists them.
struct SettingsRow {
  QString sectionKey;
  QString subKey;
  QString slice[4];
  QString intVal;

  QString Joined(int slices) const {
    QString all;
    for (int i = 0; i < slices; ++i) all += slice[i];
    return all;
  }
};

constexpr int RulesQueryColumns = 7;

QStringList ReadColumns(const dm::PcdSql& sql) {
  QStringList columns;
  for (int c = 1; c <= RulesQueryColumns; ++c) columns << sql.ColumnValue(c);
  return columns;
}

SettingsRow RowOf(const QStringList& columns) {
  SettingsRow row;
  row.sectionKey = columns.value(0);
  row.subKey = columns.value(1);
  row.slice[0] = columns.value(2);
  row.intVal = columns.value(3);
  row.slice[1] = columns.value(4);
  row.slice[2] = columns.value(5);
  row.slice[3] = columns.value(6);
  return row;
}

// An error code the SQL layer itself counts as success.
bool SqlFailed(const dm::PcdSql& sql) {
  const qint64 code = sql.SqlErrorCode();
  return code != 0 && code != 9;
}

// What the load learned beyond the rule table itself.
struct LoadState {
  QString masterLibrary;
  QString stamp;  // of the settings table, for the rules this load completes
};

void StoreSetting(RulesContext& cx, LoadState& load, const SettingsRow& row) {
  const QString key = TrimBlanks(row.subKey).toUpper();
  if (key == QLatin1String("PROFILE_EXCLUDE_COLUMN")) {
    cx.library.ProfileExcludeColumn = TrimBlanks(row.Joined(3));
  } else if (key == QLatin1String("DEFAULT_WORKSPACE")) {
    cx.library.DefaultWorkspace = TrimBlanks(row.Joined(3));
  } else if (key == QLatin1String("TOPLEVELWARNING")) {
    cx.library.TopLevelWarning = static_cast<int>(qRound64(NumericValue(row.intVal)));
  } else if (key == QLatin1String("MASTER_LIBRARY")) {
    load.masterLibrary = TrimBlanks(row.Joined(3)) + row.slice[3];
  }
  // EMAIL_SERVER and CONTINUEONMOVE are read and have no effect; other keys are ignored.
}

// The row's value in the form of its field; false when the row sets nothing.
bool ValueInForm(ValueForm form, const SettingsRow& row, QString* value) {
  switch (form) {
    case ValueForm::Text: *value = TrimBlanks(row.Joined(4)); return true;
    case ValueForm::ShortText: *value = TrimBlanks(row.Joined(3)); return true;
    case ValueForm::RawText: *value = row.Joined(4); return true;
    case ValueForm::FirstSlice: *value = row.slice[0]; return true;
    case ValueForm::Number:
      // A NULL INT_VAL leaves the field as an earlier row set it.
      if (row.intVal.trimmed().isEmpty()) return false;
      *value = FormatNumber(qRound64(NumericValue(row.intVal)));
      return true;
    case ValueForm::None: return false;
  }
  return false;
}

int FindRule(const RuleRecords& table, const QString& library, const QString& name) {
  for (int rule = 1; rule <= table.Count(); ++rule) {
    if (table(field::RuleName, rule).toUpper() == name && table(field::RuleLibrary, rule) == library) return rule;
  }
  return 0;
}

void StoreRuleRow(RulesContext& cx, const QString& library, const SettingsRow& row) {
  const QString name = TrimBlanks(row.subKey).toUpper();
  if (name.isEmpty()) return;
  RuleRecords& table = cx.rules.RuleTable;
  int rule = FindRule(table, library, name);
  if (rule == 0) {
    rule = table.AddRule();
    table.Set(field::RuleLibrary, rule, library);
    table.Set(field::RuleName, rule, name);
  }
  // The field keys are compared upper-cased but untrimmed: a key with trailing blanks names no field.
  const int fieldNumber = RuleFieldForKey(row.sectionKey.toUpper());
  QString value;
  if (fieldNumber != 0 && ValueInForm(RuleFieldForm(fieldNumber), row, &value)) table.Set(fieldNumber, rule, value);
}

// Stores the row; true when it is a SETTINGS row.
bool StoreRow(RulesContext& cx, LoadState& load, const QString& library, const SettingsRow& row) {
  if (row.sectionKey.isEmpty()) return false;
  const QString kind = TrimBlanks(row.sectionKey).toUpper();
  if (kind == QLatin1String("SETTINGS")) {
    StoreSetting(cx, load, row);
    return true;
  }
  if (kind.left(5) == QLatin1String("RULE_")) StoreRuleRow(cx, library, row);
  return false;
}

// The settings table's stamp, taken before the statement: a change made in between makes the next
// stamp differ. The switch that calls the load took one before anything read the table.
QString SettingsStamp(RulesContext& cx, const QString& library) {
  if (!cx.library.SwitchStamp.isEmpty() && cx.library.SwitchStampLibrary == library) return cx.library.SwitchStamp;
  return cx.session.pSQL ? cx.session.pSQL->TableStamp(QStringLiteral("TARN_SETTINGS")) : QString();
}

enum class RowsRead { Failed, Read, Kept };

// Reads every settings and rule row. A library whose settings table has not changed since it was
// last read gives the table its rules as that load completed them and its settings rows again:
// every switch reloads the rules, and a row that works in two libraries switches many times.
RowsRead ReadRuleRows(RulesContext& cx, LoadState& load, const QString& library) {
  const QString stamp = SettingsStamp(cx, library);
  RuleRowsRead& kept = cx.rules.RuleRowsByLibrary[library.toUpper()];
  if (!stamp.isEmpty() && kept.stamp == stamp) {
    cx.rules.RuleTable = kept.rules;
    for (const QStringList& columns : kept.settings) StoreRow(cx, load, library, RowOf(columns));
    return RowsRead::Kept;
  }
  kept = RuleRowsRead{};
  cx.rules.RuleTable.Clear();
  const QString query = IsOracleEngine(cx.session.DatabaseEngine) ? kOracleRulesQuery : kSqlServerRulesQuery;
  const bool ran = RunSQL(cx, query);
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!ran || !sql || SqlFailed(*sql)) {
    QString why = QStringLiteral("the statement could not be run");
    if (sql && SqlFailed(*sql)) {
      why = QStringLiteral("SQL Error #") + FormatNumber(sql->SqlErrorCode());
      const QString description = CleanErrorDescription(sql->ErrDescription());
      if (!description.isEmpty()) why += QStringLiteral(" (") + description + QStringLiteral(")");
    }
    if (sql) sql->ReleaseResults();
    const QString text = QStringLiteral("ERROR: The rules of library ") + library + QStringLiteral(" could not be read: ") +
                         why + QStringLiteral(". No rules are loaded; the built-in default rule is not used in their place.");
    LogMessage(cx, text);
    LogMessage(cx, HyphenLine);
    if (cx.ui->DisplayErrors()) cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    return RowsRead::Failed;
  }
  std::vector<QStringList> settings;
  if (sql->RowCount() > 0) {
    do {
      QStringList columns = ReadColumns(*sql);
      if (StoreRow(cx, load, library, RowOf(columns))) settings.push_back(std::move(columns));
    } while (sql->NextRow() != 0);
  }
  sql->ReleaseResults();
  // The rules are kept, with the stamp, once the load has completed them.
  kept.settings = std::move(settings);
  load.stamp = stamp;
  return RowsRead::Read;
}

void PrefixRootFolder(RuleRecords& table, int rule) {
  QString root = table(field::RULE_ROOT_FOLDER, rule);
  if (TrimBlanks(root).toUpper() == kNoneMarker) {
    root.clear();
    table.Set(field::RULE_ROOT_FOLDER, rule, root);
  }
  if (root.isEmpty()) return;
  table.Set(field::RULE_TEMPLATE, rule, root + kRootFolderSeparator + table(field::RULE_TEMPLATE, rule));
}

void FillMasterLibrary(RuleRecords& table, int rule, const QString& masterLibrary) {
  if (NumericValue(table(field::RULE_MASTER_LIBRARY, rule)) != 1) return;
  if (!table(field::RULE_MASTERFOLDER_LIBRARY, rule).isEmpty() || masterLibrary.isEmpty()) return;
  table.Set(field::RULE_MASTERFOLDER_LIBRARY, rule, masterLibrary);
}

void CacheOwnSql(RuleState& rules, int rule, const QString& library) {
  const RuleRecords& table = rules.RuleTable;
  const QString joined = table(field::RULE_STACKWRIGHT_SQL_1, rule) + table(field::RULE_STACKWRIGHT_SQL_2, rule) +
                         table(field::RULE_STACKWRIGHT_SQL_3, rule);
  const QString statement = ExpandSpaceTokens(TrimBlanks(joined));
  SetRuleSqlBuffer(rules, statement);
  const QString trimmed = TrimBlanks(statement);
  if (trimmed.isEmpty()) return;
  const QString name = table(field::RuleName, rule);
  int row = rules.RuleSqlCache.Find(library, name);
  if (row == 0) row = rules.RuleSqlCache.Add(library, name);
  else rules.RuleSqlCache.Set(row, sqlcol::Status, QString());
  rules.RuleSqlCache.Set(row, sqlcol::Sql, trimmed);
  rules.RuleSqlIndex = FormatNumber(row);
}

// A table taken from memory was completed when it was read: only its rules' own SQL is recorded
// again, as every load records it.
void CompleteRules(RulesContext& cx, const LoadState& load, const QString& library, bool completed) {
  RuleRecords& table = cx.rules.RuleTable;
  for (int rule = 1; rule <= table.Count(); ++rule) {
    if (!completed) {
      PrefixRootFolder(table, rule);
      FillMasterLibrary(table, rule, load.masterLibrary);
    }
    CacheOwnSql(cx.rules, rule, library);
  }
}

// Whether the library's profiles carry a matter column; a count that cannot be read says no.
bool LibraryHasMatters(RulesContext& cx) {
  const bool ran = RunSQL(cx, kMatterColumnQuery);
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!ran || !sql) return false;
  const bool has = !SqlFailed(*sql) && sql->RowCount() > 0 && NumericValue(sql->ColumnValue(1)) != 0;
  sql->ReleaseResults();
  return has;
}

}  // namespace

QString DefaultRuleTemplate(bool libraryHasMatters) {
  if (libraryHasMatters) {
    return QStringLiteral(
        "%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%");
  }
  return QStringLiteral(
      "%QUILLMARK% %\\% %AUTHOR.PRIMARY_GROUP.GROUP_ID% %\\% %AUTHOR.USER_ID% %\\% %DOCUMENTTYPE.TYPE_ID%");
}

void AddDefaultRule(RulesContext& cx, const QString& libraryName) {
  RuleRecords& table = cx.rules.RuleTable;
  table.Clear();
  const int rule = table.AddRule();
  for (int f = 1; f <= field::Last; ++f) table.Set(f, rule, RuleFieldDefault(f));
  table.Set(field::RuleLibrary, rule, libraryName);
  table.Set(field::RULE_TEMPLATE, rule, DefaultRuleTemplate(LibraryHasMatters(cx)));
}

void RebuildRuleMenus(RulesContext& cx) {
  QStringList captions;
  for (int rule = 1; rule <= cx.rules.RuleCount(); ++rule) captions << cx.rules.RuleTable(field::RuleName, rule);
  if (captions.isEmpty()) captions << QStringLiteral("-");
  cx.ui->SetRuleMenuCaptions(RuleMenu::Current, captions);
  cx.ui->SetRuleMenuCaptions(RuleMenu::Initial, captions);
}

void LoadLibraryRules(RulesContext& cx) {
  // Emptied where the rows are read: a table taken from memory replaces it whole.
  if (!cx.library.SettingsTableExists || !cx.session.CurrentLibrary) {
    cx.rules.RuleTable.Clear();
    return;
  }

  const QString library = cx.session.CurrentLibrary->Name();
  LogMessage(cx, QStringLiteral("Retrieving any existing rules for library ") + library);
  LogMessage(cx, HyphenLine);

  LoadState load;
  const RowsRead read = ReadRuleRows(cx, load, library);
  if (read == RowsRead::Failed) {
    // Rules that could not be read are not the same as no rules: leave the table empty.
    cx.rules.RuleTable.Clear();
    RebuildRuleMenus(cx);
    return;
  }
  CompleteRules(cx, load, library, read == RowsRead::Kept);
  if (read == RowsRead::Read) {
    RuleRowsRead& kept = cx.rules.RuleRowsByLibrary[library.toUpper()];
    kept.rules = cx.rules.RuleTable;
    kept.stamp = load.stamp;
  }
  LogMessage(cx, FormatNumber(cx.rules.RuleCount()) + QStringLiteral(" rule(s) identified"));
  LogMessage(cx, HyphenLine);

  if (cx.rules.RuleCount() == 0) AddDefaultRule(cx, library);
  LogMessage(cx, HyphenLine);
  RebuildRuleMenus(cx);
}

}  // namespace sw
