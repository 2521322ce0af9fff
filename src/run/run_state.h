#pragma once
// State of the processing run: what it keeps for its whole duration and the working values of
// the rule it is on. Each part of the run keeps its values in a block of its own.
#include <QDateTime>
#include <array>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

namespace sw {

// --- Run control --------------------------------------------------------------------------------
// One library's search flag as the run found it, in the order of the session's collection.
struct SearchFlagEntry {
  QString name;  // trimmed, upper case
  QString flag;  // "#0": "-1" or "0"; only this is read back, by position
};

struct RunControlState {
  QString EntryStatusText;  // the status caption when the run began, shown again at its end
  QString EntryLibrary;     // the library current when the run began
  std::vector<SearchFlagEntry> SearchFlagSnapshot;
  qint64 TotalRunSeconds = 0;
  qint64 CycleStartSeconds = 0;
  qint64 CycleSeconds = 0;
  int ResultRow = -1;  // results-list row of the rule most recently started, -1 for none
  QString LastClaimLibrary;
  double LoopDelayLeft = 0;
  // The nodes (by their untick mark's key) whose untick after a failure this run has already
  // looked up or told: a skipped node is told once a run, not once a cycle.
  QStringList UnticksLookedAt;
  // The rules (by their tick's key) whose skip for another computer's claim this run has told:
  // told once a run, not once a cycle.
  QStringList ClaimSkipsTold;
  // Why an expansion at a cycle head left a ticked library without rules, by its upper-cased name;
  // kept across Go's until the untick that tells it.
  QHash<QString, QString> LibraryLoadFailures;
  // Where a stop asked for during a rule found it, for the line that tells of the stop; empty
  // when it came between rules.
  QString StopPoint;
  bool PauseTimerOff = false;  // a pause text that is no time of day switched the timer off for this run
  // The run's clock (pause window, loop delay, cycle times, results rows); tests set their own.
  std::function<QDateTime()> Now = [] { return QDateTime::currentDateTime(); };
};

// --- Rule preparation ---------------------------------------------------------------------------
// The working values of the rule being run, taken afresh for every rule node that reaches the
// rule search. Texts are trimmed (the e-mail template is kept as stored); numbers are the
// numeric value of the field's text.
struct RuleWorkingValues {
  int RuleNode = -1;     // the rule's node in the rules tree
  int LibraryNode = -1;  // the top-level node of its branch
  QString LibraryName;   // the library node's text
  int RuleIndex = 0;     // index in RuleTable, 0 while no rule matched
  QString RuleName;      // the node's text as shown
  QString RULE_VALUES;
  QString RULE_TEMPLATE;
  QString RULE_SECURITY;
  QString RULE_FORM;
  int RULE_WORKSPACE_AUTHOR = 0;
  int RULE_WORKSPACE_TYPIST = 0;
  int RULE_STACKWRIGHT_LEVEL = 0;
  QString RULE_STACKWRIGHT_TEXT;
  QString RULE_WORKSPACE_NAME;
  QString RULE_WORKSPACE_GROUP;
  QString RULE_MASTERFOLDER_LIBRARY;
  QString RULE_EMAIL_TEMPLATE;
  int RULE_EMAIL_LEVEL = 0;
  double RULE_OVERRIDERULEPARAMETERS = 0;
  QString OwnRuleSql;  // also put into RuleSqlBuffer
  QString EmailOverrideName;
  QString EmailOverrideLibrary;
  // The rule's counters of new folders and failed rows, kept by the row loop.
  int AddedCount = 0;
  int ErrorCount = 0;
};

// --- Rule statement: template, column paths, source lists, parameters, statement --------------
// Columns of a ParsedTemplate row (0, 9 and 10 stay empty).
enum TemplateColumn : int {
  TemplateItemText = 1,     // the item's text (a built-in item holds its value)
  TemplateKind = 2,         // "X" column path, "P" not a column, "/" level separator, "" fixed text
  TemplateFinalTable = 3,   // upper case
  TemplateFinalColumn = 4,  // upper case
  TemplateKeyColumn = 5,    // the final table's column the last foreign key points to
  TemplateLinkColumn = 6,   // the foreign-key column of the table before the final one
  TemplateLinkTable = 7,    // the table before the final one
  TemplateProfileLink = 8,  // "<PROFILE column> = <TABLE>.<COLUMN>" of the first foreign key
};
inline constexpr int TemplateColumns = 11;

// The rule's item table, rows from 1 in template order. Reading outside the table gives empty
// text; writing outside it is ignored.
class TemplateTable {
 public:
  int Count() const { return static_cast<int>(rows_.size()); }
  void Clear() { rows_.clear(); }
  // Appends an empty row and returns its number.
  int AddRow() {
    rows_.emplace_back();
    return Count();
  }
  QString operator()(int row, int column) const {
    if (row < 1 || row > Count() || column < 0 || column >= TemplateColumns) return {};
    return rows_[static_cast<size_t>(row - 1)][static_cast<size_t>(column)];
  }
  void Set(int row, int column, const QString& value) {
    if (row < 1 || row > Count() || column < 0 || column >= TemplateColumns) return;
    rows_[static_cast<size_t>(row - 1)][static_cast<size_t>(column)] = value;
  }

 private:
  std::vector<std::array<QString, TemplateColumns>> rows_;
};

// One external link of the template ("%<...>%").
struct ExternalLink {
  QString Columns;  // emptied for *NONE*, NULL and *EMPTY*
  QString Tables;
  QString Joins;
  QString Item;  // the link's row in ParsedTemplate, "#0"
};

struct TemplateState {
  TemplateTable ParsedTemplate;
  std::vector<ExternalLink> ExternalLinkTable;
  // The rows of ParsedTemplate that hold a built-in item's value: text, never a path to resolve.
  QList<int> BuiltInRows;
  int TemplateLevelCount = 0;
  qint64 CycleMaximum = 0;  // per-cycle maximum of folders (0 = none)
  qint64 RowBudget = 0;     // the cap on the rows the statement returns in one cycle
  // The rule's e-mail template with the built-in names replaced.
  QString EmailTemplate;
  // The e-mail template last logged; the run empties it when it starts, not per rule.
  QString LastLoggedEmailTemplate;
};

// The lists the statement is assembled from, built for one rule.
struct SourceListState {
  QString TableList;      // "[OWNER].<TABLE>" entries, ", " between, upper case
  QString SelectList;
  QString OrderList;
  QString SidSelectList;  // every entry begins with ", "
  QStringList SourceTables;
  QString JoinList;
  QString ProcessedRowFilter;
  QStringList FilteredTables;  // the tables whose recorded rows the filter leaves out, as placed
  int FilterGroupCount = 0;
  int LevelFilterCount = 0;
  QString LastAddedTable;  // "[OWNER].<TABLE>"
  // The template's links to GROUPS and PEOPLE that workspaces use.
  QString GroupLinkTable, GroupLinkColumn, GroupLinkKey;
  QString PeopleLinkTable, PeopleLinkColumn, PeopleLinkKey;
};

// One kept rule parameter.
struct RuleQualifier {
  QString ColumnPath;  // without a leading "[OWNER]."
  QString Comparison;  // apostrophes completed
  QString Level;       // "#0"
  QString AndOr;       // "#0": 1 = " OR " follows, -1 = " AND " or nothing follows
  QString SubSelect;
};

struct RuleParameterState {
  std::vector<RuleQualifier> RuleQualifiers;
  int RuleQualifierCount() const { return static_cast<int>(RuleQualifiers.size()); }
};

struct RuleStatementState {
  QString SavedStatement;  // the saved or own statement chosen for this run of the rule
  QString ParameterClause;
  QString FromTable;
  QString WhereText;
  QString RuleStatement;  // the statement as run
};

// A foreign key learned from a library's DOCSCOLUMN.
struct TemplateItemRow {
  QString Library;
  QString Column;  // as written in the path
  QString Table;
  QString ForeignTable;   // FTBNAME
  QString ForeignColumn;  // FCOLNAME
};

// The foreign keys learned so far, kept until the program ends and shared by every rule.
struct TemplateItemCache {
  std::vector<TemplateItemRow> TemplateItemTable;
  int TemplateItemCount() const { return static_cast<int>(TemplateItemTable.size()); }
};

// --- Rows of the rule: reading, folder chain, metadata, queue, tracking, workspaces ------------
// The rule's result as read: row 0 holds the column headers, rows 1..RowCount the values;
// columns are counted from 1 (column 0 stays empty).
struct RuleRowsState {
  std::vector<std::vector<QString>> RowTable;
  std::vector<QString> RowEmailAddresses;  // one per row from 1; empty without an e-mail template
  int RowsToRead = 0;    // the result's row count
  int RowCount = 0;      // rows actually read
  int RowsDone = 0;      // rows whose folder chain has been built
  int ColumnCount = 0;
  // Per row, reset at the start of every row after the trimming.
  std::vector<QString> LevelNames;  // from 1; entry 0 unused
  int LevelCount = 1;
  QString FolderMetadataList;
  QString QueueCondition;
  QString DocumentTypeSetting;
  qint64 RowDocNumber = 0;
  int ProfileWorkspaceLevel = 0;
  qint64 ParentFolder = 0;
  QString ParentLibrary;  // where ParentFolder lives: the next level is made and filed there
  qint64 TopFolder = 0;
  QString TopLibrary;     // where TopFolder lives
  // Workspace link values of the row; emptied when the rule's item walk begins, not per row.
  QString GroupLinkValue;
  QString PeopleLinkValue;
  // The users one new folder is put in the workspaces of; emptied after every workspace step.
  std::vector<QString> WorkspaceUsers;
};

struct RunState {
  RunControlState control;  // run control
  RuleWorkingValues rule;   // rule preparation
  RuleRowsState rows;       // the rule's rows and their folders
  TemplateState tmpl;             // the rule's folder template
  SourceListState lists;          // the lists of the rule's statement
  RuleParameterState params;      // the rule's parameters
  RuleStatementState statement;   // the rule's statement
  TemplateItemCache columnLinks;  // foreign keys, for the whole program run
};

}  // namespace sw
