// The workspace step of a row's new folder: gathers the users the rule names for the folder's
// level and adds the folder to each one's workspace.
#include "run/row_workspaces.h"

#include <algorithm>

#include "core/library_checks.h"
#include "core/log.h"
#include "core/sql.h"
#include "core/text.h"
#include "rules/rule_table.h"
#include "run/run_context.h"
#include "security/passed_step.h"
#include "security/security.h"
#include "security/workspace.h"

namespace sw {

namespace {

void Dash(RunContext& cx) { LogMessage(cx, HyphenLine); }

QString N(qint64 n) { return FormatNumber(n); }
QString Q(const QString& text) { return QStringLiteral("\"") + text + QStringLiteral("\""); }

// Lists a user once; ids are compared exactly, so a user written in other letter case counts
// as another user.
bool AddUser(RunContext& cx, const QString& user) {
  std::vector<QString>& users = cx.runState.rows.WorkspaceUsers;
  if (user.isEmpty() || std::find(users.begin(), users.end(), user) != users.end()) return false;
  users.push_back(user);
  return true;
}

// Adds column 1 of every row of a statement's result.
void AddUsersOf(RunContext& cx, const QString& sql) {
  RunSQL(cx, sql);
  if (!cx.session.pSQL) return;
  dm::PcdSql& pcd = *cx.session.pSQL;
  if (pcd.RowCount() > 0) {
    do {
      AddUser(cx, pcd.ColumnValue(1));
    } while (pcd.NextRow() != 0);
  }
  pcd.ReleaseResults();
}

void AddDocumentUsers(RunContext& cx, int level) {
  const RuleWorkingValues& rule = cx.runState.rule;
  const RuleRowsState& rows = cx.runState.rows;
  LogMessage(cx, QStringLiteral("Getting workspace profile author and typist from document #") + N(rows.RowDocNumber));
  Dash(cx);
  RunSQL(cx, QStringLiteral("SELECT A.USER_ID, T.USER_ID , P.DOCNUMBER FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, "
                            "[OWNER].PEOPLE T WHERE P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID AND P.SYSTEM_ID = ") +
                 N(rows.RowDocNumber));
  if (!cx.session.pSQL) return;
  dm::PcdSql& pcd = *cx.session.pSQL;
  if (pcd.RowCount() != 0) {
    const QString author = pcd.ColumnValue(1);
    const QString typist = pcd.ColumnValue(2);
    LogMessage(cx, QStringLiteral("Document #") + pcd.ColumnValue(3) + QStringLiteral(" author is ") + author +
                       QStringLiteral(" and typist is ") + typist);
    Dash(cx);
    if (level == rule.RULE_WORKSPACE_AUTHOR && AddUser(cx, author)) {
      LogMessage(cx, QStringLiteral("Adding workspace author ") + author);
      Dash(cx);
    }
    if (level == rule.RULE_WORKSPACE_TYPIST && AddUser(cx, typist)) {
      LogMessage(cx, QStringLiteral("Adding workspace typist ") + typist);
      Dash(cx);
    }
  }
  pcd.ReleaseResults();
}

void AddLinkedUsers(RunContext& cx) {
  const SourceListState& links = cx.runState.lists;
  const RuleRowsState& rows = cx.runState.rows;
  if (!links.PeopleLinkColumn.isEmpty() && !links.PeopleLinkTable.isEmpty() && !links.PeopleLinkKey.isEmpty() &&
      !rows.PeopleLinkValue.isEmpty())
    AddUsersOf(cx, QStringLiteral("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT ") +
                       links.PeopleLinkColumn + QStringLiteral(" FROM [OWNER].") + links.PeopleLinkTable +
                       QStringLiteral(" WHERE ") + links.PeopleLinkKey + QStringLiteral(" = '") +
                       StripQuotes(rows.PeopleLinkValue) + QStringLiteral("')"));
  if (!links.GroupLinkColumn.isEmpty() && !links.GroupLinkTable.isEmpty() && !links.GroupLinkKey.isEmpty() &&
      !rows.GroupLinkValue.isEmpty())
    AddUsersOf(cx, QStringLiteral("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT PEOPLE_SYSTEM_ID "
                                  "FROM [OWNER].PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID IN (SELECT ") +
                       links.GroupLinkColumn + QStringLiteral(" FROM [OWNER].") + links.GroupLinkTable +
                       QStringLiteral(" WHERE ") + links.GroupLinkKey + QStringLiteral(" = '") +
                       StripQuotes(rows.GroupLinkValue) + QStringLiteral("'))"));
  const QString group = cx.runState.rule.RULE_WORKSPACE_GROUP;
  if (!group.isEmpty())
    AddUsersOf(cx, QStringLiteral("SELECT DISTINCT USER_ID FROM [OWNER].PEOPLE WHERE SYSTEM_ID IN (SELECT PEOPLE_SYSTEM_ID "
                                  "FROM [OWNER].PEOPLEGROUPS WHERE GROUPS_SYSTEM_ID = (SELECT SYSTEM_ID FROM "
                                  "[OWNER].GROUPS WHERE GROUP_ID = '") +
                       StripQuotes(group) + QStringLiteral("'))"));
}

// The first reason the folder cannot be added to workspaces; empty when it can.
QString MissingWorkspaceValue(qint64 folder, const QString& folderName, const QString& workspace) {
  if (folder == 0) return QStringLiteral("Warning: Workspace level reached for this document - DocNumber is not set");
  if (folderName.isEmpty())
    return QStringLiteral("Warning: Workspace level reached for this document - Workspace item name is not set");
  if (workspace.isEmpty()) return QStringLiteral("Warning: Workspace level reached for this document - Workspace name is not set");
  return QString();
}

// An entry written apart from the row would outlive the row undone: the user's primary library
// joins the row first. False (logged) when it cannot, or when it cannot be found; `primary` is
// the library when it was found.
bool JoinUserLibrary(RunContext& cx, const QString& user, const JoinLibrary& join, QString& primary) {
  if (!join) return true;
  RunPassedStep(cx, QString(), [&] { primary = WorkspaceLibrary(cx, user); });
  if (primary.isEmpty()) return false;
  if (join(primary)) return true;
  LogMessage(cx, QStringLiteral("Error: Unable to begin the work in library ") + primary + QStringLiteral(" for the workspace of user ") +
                     user + QStringLiteral(" - nothing is added"));
  Dash(cx);
  return false;
}

// Names an entry the row stands without: its folder, user and the user's library where known.
// The failure is counted once: by its own error line, else by this one.
void LogMissingEntry(RunContext& cx, const QString& folderName, qint64 folder, const QString& library, const QString& user,
                     const QString& workspace, const QString& primary, int failuresBefore) {
  const QString label = cx.log.FailureEntries > failuresBefore ? QStringLiteral("Warning: ") : QStringLiteral("Error: ");
  LogMessage(cx, label + QStringLiteral("Folder ") + Q(folderName) + QStringLiteral(" (#") + N(folder) + QStringLiteral(" of ") +
                     library + QStringLiteral(") is not in workspace ") + Q(workspace) + QStringLiteral(" of user ") + user +
                     (primary.isEmpty() ? QString() : QStringLiteral(" in library ") + primary));
  Dash(cx);
}

void AddListedUsers(RunContext& cx, int level, const QString& folderName, qint64 folder, const QString& library,
                    const JoinLibrary& join) {
  const std::vector<QString> users = cx.runState.rows.WorkspaceUsers;
  const QString workspace = RowWorkspaceName(cx);
  const QString missing = MissingWorkspaceValue(folder, folderName, workspace);
  if (!missing.isEmpty()) {
    LogMessage(cx, missing);
    return;
  }
  SetStatus(cx, QStringLiteral("Processing ") + N(static_cast<qint64>(users.size())) +
                    QStringLiteral(" subscription(s) for item ") + Q(folderName) + QStringLiteral(" to Workspace ") +
                    Q(workspace));
  Dash(cx);
  for (const QString& user : users) {
    SetStatus(cx, QStringLiteral("Processing workspace functions (level ") + N(level) + QStringLiteral(") on folder ") +
                      Q(folderName) + QStringLiteral("\r\n") + QStringLiteral(" to workspace ") + Q(workspace) +
                      QStringLiteral(" for Author-related user ") + user + QStringLiteral(" from folder library ") +
                      library + QStringLiteral(" #") + N(folder));
    Dash(cx);
    const int failuresBefore = cx.log.FailureEntries;
    QString primary;
    QString expanded;
    bool added = false;
    // The whole call for one user, its look-ups included, is a step of its own: a user whose
    // workspace fails leaves the row's folders and the other users' workspaces standing.
    if (JoinUserLibrary(cx, user, join, primary)) {
      const bool stood = RunPassedStep(cx, QString(), [&] {
        added = AddToWorkspace(cx, folderName, folder, user, workspace, library, &expanded);
      });
      added = added && stood;
    }
    if (added) continue;
    // A call that ended before it expanded the name (no primary library found, say) leaves it to
    // be expanded here, where the folder is.
    if (expanded.isEmpty())
      expanded = CurrentLibraryNameOrEmpty(cx).compare(library, Qt::CaseInsensitive) == 0
                     ? WorkspaceNameOfItem(cx, workspace, user, folder)
                     : workspace;
    LogMissingEntry(cx, folderName, folder, library, user, expanded, primary, failuresBefore);
  }
}

}  // namespace

QString RowWorkspaceName(RunContext& cx) {
  const RuleWorkingValues& rule = cx.runState.rule;
  if (!rule.RULE_WORKSPACE_NAME.isEmpty()) return rule.RULE_WORKSPACE_NAME;
  const QString fallback = TrimBlanks(cx.library.DefaultWorkspace);
  const QString stored = TrimBlanks(cx.rules.RuleTable(field::RuleName, rule.RuleIndex));
  if (!fallback.isEmpty() && (stored.isEmpty() || stored.contains(QStringLiteral("*DEFAULT RULE*")))) return fallback;
  return rule.RuleName;
}

void AddRowWorkspaces(RunContext& cx, int level, const QString& folderName, qint64 folder, const QString& library,
                      const JoinLibrary& join) {
  const RuleWorkingValues& rule = cx.runState.rule;
  const RuleRowsState& rows = cx.runState.rows;
  const bool userLevel = level == rule.RULE_WORKSPACE_TYPIST || level == rule.RULE_WORKSPACE_AUTHOR;
  // The look-ups are gone past when they fail, as is each workspace call (under a savepoint of its
  // own): a failure leaves the row's folders standing.
  RunPassedStep(cx, QString(), [&] {
    if (userLevel && level == rows.ProfileWorkspaceLevel && rows.RowDocNumber != 0) AddDocumentUsers(cx, level);
    if (level == rule.RULE_WORKSPACE_AUTHOR) AddLinkedUsers(cx);
  });
  LogMessage(cx, QStringLiteral("Workspace users to process: ") + N(static_cast<qint64>(cx.runState.rows.WorkspaceUsers.size())));
  Dash(cx);
  if (!cx.runState.rows.WorkspaceUsers.empty()) AddListedUsers(cx, level, folderName, folder, library, join);
  cx.runState.rows.WorkspaceUsers.clear();
  Dash(cx);
}

}  // namespace sw
