// Rule preparation: whether a ticked rule node can run now, and everything its SQL and rows need
// before they start (library, rights, tables, monitor, the rule's values, the claim, its row in
// the results list).
#include <QVariant>
#include <cmath>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/session_state.h"
#include "core/text.h"
#include "platform/monitor/monitor_platform.h"
#include "rules/running_nodes.h"
#include "run/run.h"
#include "run/run_context.h"
#include "run/run_control.h"

namespace sw {

namespace {

const QString kSupervisors = QStringLiteral("DOCS_SUPERVISORS");

// The top-level node of a node's branch. A broken parent chain ends at the node reached.
int LibraryNodeOf(Context& cx, int node) {
  int current = node;
  for (int guard = cx.ui->RulesNodeCount(); guard > 0; --guard) {
    const int parent = cx.ui->RulesNode(current).parent;
    if (parent < 0) break;
    current = parent;
  }
  return current;
}

template <class T, class Call>
T OrFallback(Call&& call, T fallback) {
  try {
    return call();
  } catch (...) {
    return fallback;
  }
}

// Members of DOCS_SUPERVISORS (exact spelling) pass; everyone else needs both folder rights. A
// value that cannot be read counts as not granted.
bool MayManageFolders(RunContext& cx) {
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  if (!library) return false;
  const QString group = OrFallback<QString>([&] { return library->PrimaryGroup(); }, QString());
  if (group == kSupervisors) return true;
  const dm::DmLibraryPropertiesPtr properties =
      OrFallback<dm::DmLibraryPropertiesPtr>([&] { return library->Properties(); }, nullptr);
  const bool manageRoot = OrFallback<bool>([&] { return LibraryRightGranted(properties, QStringLiteral("User.ManageRootFolders")); }, false);
  const bool createFolder = OrFallback<bool>([&] { return LibraryRightGranted(properties, QStringLiteral("User.CreateFolder")); }, false);
  return manageRoot && createFolder;
}

// Each check of the library is false when it failed; `reason` then says why, for its untick.
bool CheckRights(RunContext& cx, QString& reason) {
  if (MayManageFolders(cx)) return true;
  reason = QStringLiteral("its user lacks the rights to manage folders");
  const dm::DmLibraryPtr library = cx.session.CurrentLibrary;
  const QString user = OrFallback<QString>([&] { return library ? library->UserName() : QString(); }, QString());
  const QString name = OrFallback<QString>([&] { return library ? library->Name() : QString(); }, QString());
  LogThenHyphens(cx, QStringLiteral("Error: ") + user + QStringLiteral(" does not have rights to manage folders in library ") + name);
  return false;
}

bool CheckProgramTables(RunContext& cx, const QString& libraryName, QString& reason) {
  const LibraryValues& lib = cx.library;
  QString missing;
  if (!lib.StackwrightTableExists)
    missing = QStringLiteral("TARN_STACKWRIGHT");
  else if (!lib.SettingsTableExists)
    missing = QStringLiteral("TARN_SETTINGS");
  else if (!lib.NeedsFolderingExists)
    missing = QStringLiteral("NEEDS_FOLDERING");
  if (missing.isEmpty()) return true;
  reason = QStringLiteral("its ") + missing + QStringLiteral(" table is missing");
  LogThenHyphens(cx, QStringLiteral("Error: Unable to locate ") + missing + QStringLiteral(" table in library ") + libraryName);
  return false;
}

// Once no monitor answered, it is not asked again for the rest of the program's life.
void InformMonitor(RunContext& cx, const QString& libraryName) {
  if (!cx.run.MonitorActive) return;
  SetStatusCaption(cx, QStringLiteral("Checking for TarnMonitor - please wait..."));
  MonitorHeartbeat(cx);
  const qint64 window = cx.monitorPlatform ? cx.monitorPlatform->ThisWindow() : 0;
  const LibraryValues& lib = cx.library;
  cx.run.MonitorActive = RegisterWithMonitor(cx, window, 60, QStringLiteral("Quillmark on ") + libraryName,
                                             cx.session.DatabaseEngine, lib.ServerLocation, lib.DatabaseName,
                                             lib.SqlLogin, lib.SqlPassword);
  if (cx.run.MonitorActive) NotifyMonitorRunning(cx, window, 60);
}

int WholeField(const RuleRecords& table, int fieldNumber, int rule) {
  return int(std::lround(NumericValue(table(fieldNumber, rule))));
}

void ResetWorkingValues(RunContext& cx) {
  RuleWorkingValues& w = cx.runState.rule;
  w.RuleIndex = 0;
  w.RuleName.clear();
  w.RULE_VALUES.clear();
  w.RULE_TEMPLATE.clear();
  w.RULE_SECURITY.clear();
  w.RULE_FORM.clear();
  w.RULE_WORKSPACE_AUTHOR = 0;
  w.RULE_WORKSPACE_TYPIST = 0;
  w.RULE_STACKWRIGHT_LEVEL = 0;
  w.RULE_STACKWRIGHT_TEXT.clear();
  w.RULE_WORKSPACE_NAME.clear();
  w.RULE_WORKSPACE_GROUP.clear();
  w.RULE_MASTERFOLDER_LIBRARY.clear();
  w.RULE_EMAIL_TEMPLATE.clear();
  w.RULE_EMAIL_LEVEL = 0;
  w.RULE_OVERRIDERULEPARAMETERS = 0;
  w.OwnRuleSql.clear();
  w.EmailOverrideName.clear();
  w.EmailOverrideLibrary.clear();
  SetRuleSqlBuffer(cx.rules, QString());
}

}  // namespace

void TakeRuleValues(RunContext& cx, int rule, const QString& nodeText) {
  const RuleRecords& t = cx.rules.RuleTable;
  RuleWorkingValues& w = cx.runState.rule;
  w.RuleIndex = rule;
  w.RuleName = nodeText;
  w.RULE_VALUES = t(field::RULE_VALUES, rule).trimmed();
  w.RULE_TEMPLATE = t(field::RULE_TEMPLATE, rule).trimmed();
  w.RULE_SECURITY = t(field::RULE_SECURITY, rule).trimmed();
  w.RULE_FORM = t(field::RULE_FORM, rule).trimmed();
  w.RULE_WORKSPACE_AUTHOR = WholeField(t, field::RULE_WORKSPACE_AUTHOR, rule);
  w.RULE_WORKSPACE_TYPIST = WholeField(t, field::RULE_WORKSPACE_TYPIST, rule);
  w.RULE_STACKWRIGHT_LEVEL = WholeField(t, field::RULE_STACKWRIGHT_LEVEL, rule);
  w.RULE_STACKWRIGHT_TEXT = t(field::RULE_STACKWRIGHT_TEXT, rule).trimmed();
  w.RULE_WORKSPACE_NAME = t(field::RULE_WORKSPACE_NAME, rule).trimmed();
  w.RULE_WORKSPACE_GROUP = t(field::RULE_WORKSPACE_GROUP, rule).trimmed();
  w.RULE_MASTERFOLDER_LIBRARY = t(field::RULE_MASTERFOLDER_LIBRARY, rule).trimmed();
  w.RULE_EMAIL_TEMPLATE = t(field::RULE_EMAIL_TEMPLATE, rule);
  w.RULE_EMAIL_LEVEL = WholeField(t, field::RULE_EMAIL_LEVEL, rule);
  w.RULE_OVERRIDERULEPARAMETERS = NumericValue(t(field::RULE_OVERRIDERULEPARAMETERS, rule));
  const QString ownSql =
      t(field::RULE_STACKWRIGHT_SQL_1, rule) + t(field::RULE_STACKWRIGHT_SQL_2, rule) + t(field::RULE_STACKWRIGHT_SQL_3, rule);
  w.OwnRuleSql = ExpandSpaceTokens(ownSql.trimmed());
  SetRuleSqlBuffer(cx.rules, w.OwnRuleSql);
  w.EmailOverrideName = t(field::RULE_EMAIL_NAME, rule).trimmed();
  w.EmailOverrideLibrary = t(field::RULE_EMAIL_LIBRARY, rule).trimmed();
  if (!w.EmailOverrideName.isEmpty() && !w.EmailOverrideLibrary.isEmpty())
    LogThenHyphens(cx, QStringLiteral("Override library for rule ") + w.RuleName + QStringLiteral(" folder ") + w.EmailOverrideName +
                      QStringLiteral(" is ") + w.EmailOverrideLibrary);
}

namespace {

// The first rule of the current library whose name matches the node's text in upper case.
void FindRule(RunContext& cx, const QString& nodeText) {
  const QString library = cx.session.CurrentLibrary->Name();
  const QString wanted = nodeText.toUpper();
  const RuleRecords& t = cx.rules.RuleTable;
  for (int rule = 1; rule <= cx.rules.RuleCount(); ++rule) {
    if (t(field::RuleLibrary, rule) != library || t(field::RuleName, rule).toUpper() != wanted) continue;
    TakeRuleValues(cx, rule, nodeText);
    return;
  }
}

bool CheckConfiguration(RunContext& cx, const QString& nodeText, const QString& libraryName) {
  const RuleWorkingValues& w = cx.runState.rule;
  const bool noStatement = cx.rules.RuleSqlBuffer.trimmed().isEmpty() && w.RULE_TEMPLATE.isEmpty();
  const bool noQualifiers = w.RULE_OVERRIDERULEPARAMETERS != 0 && w.RULE_STACKWRIGHT_TEXT.isEmpty() && w.RULE_VALUES.isEmpty();
  if (!noStatement && !noQualifiers) return true;
  StatusThenHyphens(cx, QStringLiteral("Error: Rule ") + nodeText + QStringLiteral(" configured improperly in library ") + libraryName);
  return false;
}

bool CheckMasterLibrary(RunContext& cx, const QString& nodeText, const QString& libraryName) {
  const QString& master = cx.runState.rule.RULE_MASTERFOLDER_LIBRARY;
  if (master.isEmpty() || master == QStringLiteral("*NONE*")) return true;
  if (master.compare(cx.session.CurrentLibrary->Name(), Qt::CaseInsensitive) == 0) return true;
  StatusThenHyphens(cx, QStringLiteral("Warning: Rule ") + nodeText + QStringLiteral(" has a different master folder library (") + master +
                       QStringLiteral(") than the selected library (") + libraryName + QStringLiteral(")"));
  return false;
}

// A rule skipped for another computer's claim is told in every log mode, once a run; a claim that
// has outlived its run holds the rule back for ever, so it is told on standard error too, with
// the ways to clear it.
void TellHeldRule(RunContext& cx, const QString& nodeText, const QString& libraryName) {
  const ClaimOfAnother& holder = cx.session.HeldBy;
  if (holder.node.isEmpty()) return;
  QStringList& told = cx.runState.control.ClaimSkipsTold;
  const QString key = RuleStateKey(libraryName, nodeText);
  if (told.contains(key)) return;
  told << key;
  const QString skipped = QStringLiteral("Warning: Rule ") + nodeText + QStringLiteral(" in library ") + libraryName +
                          QStringLiteral(" is skipped: computer ") + holder.node;
  if (!ClaimOutlivedItsRun(holder.since, cx.runState.control.Now())) {
    LogThenHyphens(cx, skipped + QStringLiteral(" has claimed it since ") + holder.since +
                           QStringLiteral(" and is taken to be working on it"));
    return;
  }
  WarnLoudly(cx, skipped + QStringLiteral(" claimed it on ") + holder.since +
                     QStringLiteral(", more than a day ago, and the claim has outlived its run - other computers skip the rule "
                                    "until it is cleared with Options > Clear Running Nodes, or until the program starts again "
                                    "under the computer name ") +
                     holder.node);
}

// False when another computer holds the rule in this library; the node keeps its tick then.
bool ClaimRule(RunContext& cx, const QString& nodeText, const QString& libraryName) {
  RunControlState& rc = cx.runState.control;
  const QString current = cx.session.CurrentLibrary->Name();
  ActiveStatus(cx, DropClaims, QString());
  // The claim itself tests again: another computer may have claimed the rule since the test.
  if (ActiveStatus(cx, TestClaim, nodeText) || ActiveStatus(cx, WriteClaim, nodeText)) {
    if (current != rc.LastClaimLibrary) {
      LogThenHyphens(cx, QStringLiteral("It appears that another machine is already running TARN_STACKWRIGHT against rule ") + nodeText +
                        QStringLiteral(" in library ") + libraryName + QStringLiteral(" - will skip this rule"));
      rc.LastClaimLibrary = current;
    }
    TellHeldRule(cx, nodeText, libraryName);
    return false;
  }
  rc.LastClaimLibrary = current;
  return true;
}

// The statement chosen for the previous rule must not be taken for this one.
void ClearSavedStatement(RunContext& cx) { cx.runState.statement.SavedStatement.clear(); }

void StartRule(RunContext& cx, const QString& nodeText, const QString& libraryName) {
  cx.run.SaveFlags = cx.ui->DisplayErrors() ? 2 : 3;
  ClearSavedStatement(cx);
  StatusThenHyphens(cx, QStringLiteral("Processing library ") + libraryName + QStringLiteral(" rule ") + nodeText);
  const QDateTime now = cx.runState.control.Now();
  const QString when = now.toString(QStringLiteral("yyyy/MM/dd")) + QStringLiteral("-") + now.toString(QStringLiteral("HH:mm:ss"));
  cx.runState.control.ResultRow = cx.ui->AddResultRow({libraryName + QStringLiteral(" - ") + nodeText, when, QStringLiteral("Working...")});
  cx.ui->PumpMessages();
  cx.ui->SetCounterLabels(QStringLiteral("0"), QStringLiteral("0"));
  cx.ui->SetErrorAndAddedLabels(QStringLiteral("0"), QStringLiteral("0"));
  cx.runState.rule.AddedCount = 0;
  cx.runState.rule.ErrorCount = 0;
}

}  // namespace

bool PrepareRule(RunContext& cx, int ruleNode) {
  RuleWorkingValues& w = cx.runState.rule;
  w.RuleNode = ruleNode;
  w.LibraryNode = LibraryNodeOf(cx, ruleNode);
  const RulesTreeNode libraryNode = cx.ui->RulesNode(w.LibraryNode);
  if (!libraryNode.checked) return false;
  w.LibraryName = libraryNode.text;
  const QString& libraryName = w.LibraryName;
  if (!ConnectLibrary(cx, libraryName)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + libraryName);
    UntickAfterFailure(cx, w.LibraryNode, QStringLiteral("the run could not switch to it"));
    return false;
  }
  QString reason;
  if (!CheckRights(cx, reason) || !CheckProgramTables(cx, libraryName, reason)) {
    UntickAfterFailure(cx, w.LibraryNode, reason);
    return false;
  }
  cx.ui->SetMousePointer(Pointer::Hourglass);
  MonitorHeartbeat(cx);
  InformMonitor(cx, libraryName);
  ResetWorkingValues(cx);
  const QString nodeText = cx.ui->RulesNode(ruleNode).text;
  FindRule(cx, nodeText);
  if (!CheckConfiguration(cx, nodeText, libraryName) || !CheckMasterLibrary(cx, nodeText, libraryName)) {
    UntickAfterFailure(cx, ruleNode);
    return false;
  }
  if (!ClaimRule(cx, nodeText, libraryName)) return false;
  StartRule(cx, nodeText, libraryName);
  return true;
}

}  // namespace sw
