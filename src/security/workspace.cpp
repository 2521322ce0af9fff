// Adding an item to a user's workspace. A user's workspaces are rows of REGISTRY in the user's
// primary library: one WORKSPACES root per user, one row per workspace with five property rows,
// one row per member with seven property rows. Each level is looked up before it is made, and the
// rows one call writes stand or fall together: a tree missing a link would count as complete.
#include "security/workspace.h"

#include <QDate>
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "security/security.h"
#include "security/security_context.h"
#include "security/security_template.h"

namespace sw {

namespace {

// Names and descriptions are stored with this many characters in their NAME rows.
constexpr int NamePrefixLength = 13;

const QChar Q = QLatin1Char('"');

QString Quote(const QString& text) { return Q + text + Q; }

// The SQL object of the current library; its absence is a run-time failure of the operation.
dm::PcdSql& Sql(Context& cx) {
  if (!cx.session.pSQL)
    throw DmCallFailure(ErrObjectNotSet, cx.app.AppTitle, QStringLiteral("Object variable or With block variable not set"));
  return *cx.session.pSQL;
}

// A look-up the database rejected: its missing answer must not read as "none", which would make
// a second root, workspace or member, or a row of the wrong library.
struct RejectedRead : std::runtime_error {
  RejectedRead() : std::runtime_error("rejected look-up") {}
};

// Runs a look-up whose results stay open; a rejected one ends the call.
dm::PcdSql& Query(Context& cx, const QString& sql) {
  if (!RunQuery(cx, sql)) throw RejectedRead();
  return Sql(cx);
}

// Runs a query and gives the first row's values of the named columns (empty when no row).
QStringList FirstRow(Context& cx, const QString& sql, int columns) {
  dm::PcdSql& pcd = Query(cx, sql);
  QStringList values;
  for (int c = 1; c <= columns; ++c) values << pcd.ColumnValue(c);
  pcd.ReleaseResults();
  return values;
}

qint64 WholeNumber(const QString& text) { return qRound64(NumericValue(text)); }

// The SYSTEM_ID of the first row (SYSTEM_ID, DATA) whose DATA matches `wanted` in any letter
// case; 0 when none does. Stored texts went in trimmed, so they are compared trimmed.
qint64 FindByData(Context& cx, const QString& sql, const QString& wanted) {
  dm::PcdSql& pcd = Query(cx, sql);
  const QString target = TrimBlanks(wanted).toUpper();
  qint64 found = 0;
  if (pcd.RowCount() > 0) {
    do {
      if (TrimBlanks(pcd.ColumnValue(2)).toUpper() == target) {
        found = WholeNumber(pcd.ColumnValue(1));
        break;
      }
    } while (pcd.NextRow() != 0);
  }
  pcd.ReleaseResults();
  return found;
}

QString GroupOf(Context& cx, const QString& userId) {
  return FirstRow(cx,
                  QStringLiteral("SELECT GROUP_ID FROM [OWNER].GROUPS WHERE SYSTEM_ID = (SELECT PRIMARY_GROUP FROM "
                                 "[OWNER].PEOPLE WHERE USER_ID = '") +
                      StripQuotes(userId) + QStringLiteral("')"),
                  1)
      .value(0);
}

// What one call works with; everything starts empty or 0.
struct WorkspaceCall {
  QString item;
  qint64 docNumber = 0;
  QString userId;
  QString name;
  QString folderLibrary;
  QString primaryLibrary;
  qint64 peopleId = 0;
  qint64 rootId = 0;
  qint64 workspaceId = 0;
  QString emailAddress;
  int cacheRow = 0;  // the cache row that held this user and workspace
  bool result = false;
};

// Takes what the cache knows of the user and, when it knows the workspace too, its id.
void ReadCache(SecurityContext& cx, WorkspaceCall& call) {
  const auto& cache = cx.security.WorkspaceCache;
  const QString upperName = call.name.toUpper();
  for (int i = 1; i <= cx.security.WorkspaceCacheCount && i < int(cache.size()); ++i) {
    const WorkspaceCacheRow& row = cache[size_t(i)];
    if (row[WsUserId] != call.userId) continue;
    call.primaryLibrary = row[WsPrimaryLibrary];
    call.peopleId = WholeNumber(row[WsPeopleId]);
    call.rootId = WholeNumber(row[WsRootId]);
    call.emailAddress = row[WsEmailAddress];
    if (row[WsName] != upperName) continue;
    call.workspaceId = WholeNumber(row[WsWorkspaceId]);
    call.cacheRow = i;
    return;
  }
}

void AppendCache(SecurityContext& cx, const WorkspaceCall& call) {
  auto& state = cx.security;
  state.WorkspaceCache.resize(size_t(state.WorkspaceCacheCount) + 1);  // rows 0..count
  WorkspaceCacheRow row{};
  row[WsUserId] = call.userId;
  row[WsPrimaryLibrary] = call.primaryLibrary;
  row[WsPeopleId] = FormatNumber(call.peopleId);
  row[WsRootId] = FormatNumber(call.rootId);
  row[WsWorkspaceId] = FormatNumber(call.workspaceId);
  row[WsEmailAddress] = call.emailAddress;
  row[WsName] = call.name.toUpper();
  state.WorkspaceCache.push_back(row);
  ++state.WorkspaceCacheCount;
}

// A new SYSTEM_ID; 0 (logged) when the DM gives none.
qint64 NewKey(Context& cx) {
  const qint64 key = Sql(cx).NextKey(QStringLiteral("SYSTEMKEY"));
  if (key == 0) LogThenHyphens(cx, WorkspaceKeyFailureText);
  return key;
}

qint64 RowsAffectedBy(Context& cx, const QString& sql) {
  RunSQL(cx, sql);
  dm::PcdSql& pcd = Sql(cx);
  const qint64 rows = pcd.RowsAffected();
  pcd.ReleaseResults();
  return rows;
}

bool CreateFailed(Context& cx, const WorkspaceCall& call) {
  LogThenHyphens(cx, QStringLiteral("Error: Unable to create workspace ") + call.name + QStringLiteral(" for user ") + call.userId);
  return false;
}

void FindPrimaryLibrary(Context& cx, WorkspaceCall& call) {
  if (!call.primaryLibrary.isEmpty()) return;
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (libraries && libraries->Count() > 1) {
    call.primaryLibrary = TrimBlanks(
        FirstRow(cx,
                 QStringLiteral("SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = (SELECT PRIMARY_LIB "
                                "FROM [OWNER].PEOPLE WHERE USER_ID = '") +
                     StripQuotes(call.userId) + QStringLiteral("')"),
                 1)
            .value(0));
  }
  if (call.primaryLibrary.isEmpty()) call.primaryLibrary = CurrentLibraryName(cx);
}

bool FindPerson(Context& cx, WorkspaceCall& call) {
  if (call.peopleId != 0) return true;
  const QStringList row = FirstRow(
      cx, QStringLiteral("SELECT SYSTEM_ID, EMAIL_ADDRESS FROM [OWNER].PEOPLE WHERE USER_ID = '") + StripQuotes(call.userId) +
              QStringLiteral("'"),
      2);
  call.peopleId = WholeNumber(row.value(0));
  call.emailAddress = row.value(1);
  if (call.peopleId != 0) return true;
  LogThenHyphens(cx, QStringLiteral("Error: Unable to identify system_id for user ") + call.userId + QStringLiteral(" in library ") +
                  CurrentLibraryName(cx));
  return false;
}

bool FindOrCreateRoot(Context& cx, WorkspaceCall& call) {
  if (call.rootId != 0) return true;
  const QString people = FormatNumber(call.peopleId);
  call.rootId = WholeNumber(
      FirstRow(cx,
               QStringLiteral("SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = ") + people +
                   QStringLiteral(" AND UPPER(NAME) = 'WORKSPACES' AND UPPER(DATATYPE) = 'SUBTREE'"),
               1)
          .value(0));
  if (call.rootId != 0) return true;
  call.rootId = NewKey(cx);
  if (call.rootId == 0) return false;
  const qint64 rows = RowsAffectedBy(
      cx, QStringLiteral("INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(") +
              FormatNumber(call.rootId) + QStringLiteral(", '") + StripQuotes(call.name) +
              QStringLiteral("', 'PROPERTY', 'USER', ") + people + QStringLiteral(", 'WORKSPACES', 'SubTree')"));
  return rows != 0 || CreateFailed(cx, call);
}

// One property row under `owner`; `part` holds the row's own values up to the owner's id.
bool InsertProperty(Context& cx, const QString& head, const QString& part, qint64 owner) {
  const qint64 key = NewKey(cx);
  if (key == 0) return false;
  RunSQL(cx, QStringLiteral("INSERT INTO [OWNER].REGISTRY (TYPE, ENTITYSCOPE, DATATYPE, NAME, DATA, ENTITYID, SYSTEM_ID) "
                            "VALUES('PROPERTY', 'REGISTRY', ") +
                 head + part + FormatNumber(owner) + QStringLiteral(", ") + FormatNumber(key) + QStringLiteral(")"));
  Sql(cx).ReleaseResults();
  return true;
}

bool CreateWorkspace(Context& cx, WorkspaceCall& call) {
  StatusThenHyphens(cx, QStringLiteral("Adding workspace ") + Quote(call.name) + QStringLiteral(" for user ") + call.userId +
                     QStringLiteral(" (User's primary library is ") + CurrentLibraryName(cx) + QStringLiteral(")"));
  call.workspaceId = NewKey(cx);
  if (call.workspaceId == 0) return false;
  const qint64 rows = RowsAffectedBy(
      cx, QStringLiteral("INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(") +
              FormatNumber(call.workspaceId) + QStringLiteral(", '") + StripQuotes(call.name) +
              QStringLiteral("', 'PROPERTY', 'REGISTRY', ") + FormatNumber(call.rootId) + QStringLiteral(", 'WS-") +
              StripQuotes(call.name.left(NamePrefixLength)) + QStringLiteral("', 'SubTree')"));
  if (rows == 0) return CreateFailed(cx, call);

  const QString name = StripQuotes(call.name);
  const QStringList parts = {
      QStringLiteral("'String', 'NAME', '") + name + QStringLiteral("', "),
      QStringLiteral("'String', 'DESCRIPTION', '") + name + QStringLiteral("-") + StripQuotes(call.folderLibrary) +
          QStringLiteral("', "),
      QStringLiteral("'String', 'DATE', '") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) +
          QStringLiteral("', "),
      QStringLiteral("'Boolean', 'FAVORITE', '0', "),
      QStringLiteral("'String', 'WM', '', "),
  };
  for (const QString& part : parts)
    if (!InsertProperty(cx, QString(), part, call.workspaceId)) return false;
  StatusThenHyphens(cx, QStringLiteral("Workspace ") + Quote(call.name) + QStringLiteral(" successfully created for user ") +
                     call.userId);
  return true;
}

bool FindOrCreateWorkspace(Context& cx, WorkspaceCall& call) {
  if (call.workspaceId != 0) return true;
  call.workspaceId = FindByData(cx,
                                QStringLiteral("SELECT SYSTEM_ID, DATA FROM [OWNER].REGISTRY WHERE ENTITYID = ") +
                                    FormatNumber(call.rootId) +
                                    QStringLiteral(" AND UPPER(NAME) LIKE 'WS%' AND UPPER(DATATYPE) = 'SUBTREE'"),
                                call.name);
  if (call.workspaceId != 0) return true;
  return CreateWorkspace(cx, call);
}

// The next member's order number: one more than the highest in the workspace.
qint64 NextOrderNumber(Context& cx, const WorkspaceCall& call) {
  dm::PcdSql& pcd = Query(cx, QStringLiteral("SELECT DATA FROM [OWNER].REGISTRY WHERE UPPER(NAME) = 'ORDERNUMBER' AND ENTITYID "
                                             "IN (SELECT SYSTEM_ID FROM [OWNER].REGISTRY WHERE ENTITYID = ") +
                                  FormatNumber(call.workspaceId) + QStringLiteral(")"));
  qint64 highest = 0;
  if (pcd.RowCount() != 0) {
    do {
      highest = std::max(highest, WholeNumber(pcd.ColumnValue(1)));
    } while (pcd.NextRow() != 0);
  }
  pcd.ReleaseResults();
  return highest + 1;
}

// Makes a library current for the call's next statements; false (logged) when it cannot be.
bool Reach(Context& cx, const QString& library) {
  if (library.isEmpty() || ConnectLibrary(cx, library)) return true;
  LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + library + QStringLiteral(" - cannot continue"));
  return false;
}

// What a member's property rows say of the item it links.
struct MemberLink {
  qint64 linkRow = 0;  // the LINKID row
  qint64 linked = 0;
  QString type;     // upper case
  QString library;  // trimmed
};

MemberLink ReadMemberLink(Context& cx, qint64 member) {
  dm::PcdSql& pcd =
      Query(cx, QStringLiteral("SELECT SYSTEM_ID, NAME, DATA FROM [OWNER].REGISTRY WHERE ENTITYID = ") + FormatNumber(member));
  MemberLink link;
  if (pcd.RowCount() > 0) {
    do {
      const QString name = TrimBlanks(pcd.ColumnValue(2)).toUpper();
      if (name == QLatin1String("LINKID")) {
        link.linkRow = WholeNumber(pcd.ColumnValue(1));
        link.linked = WholeNumber(pcd.ColumnValue(3));
      } else if (name == QLatin1String("TYPE")) {
        link.type = TrimBlanks(pcd.ColumnValue(3)).toUpper();
      } else if (name == QLatin1String("LIBRARY")) {
        link.library = TrimBlanks(pcd.ColumnValue(3));
      }
    } while (pcd.NextRow() != 0);
  }
  pcd.ReleaseResults();
  return link;
}

// Whether the folder's library holds an item of the number: a number a rolled-back folder took
// is never another item's, so one that is held is what the member was made for or was pointed at.
bool ItemExists(Context& cx, const WorkspaceCall& call, qint64 linked) {
  const QString current = CurrentLibraryName(cx);
  if (!Reach(cx, call.folderLibrary)) throw RejectedRead();
  const QString count =
      FirstRow(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE DOCNUMBER = ") + FormatNumber(linked), 1).value(0);
  if (!Reach(cx, current)) throw RejectedRead();
  return WholeNumber(count) > 0;
}

// A member found by its name leads to the folder of this call instead only when it is of the
// program's own kind (a folder of the folder's library) and links a number of no item there: the
// folder it was made for was rolled back. A member linking an item that exists stays as it is,
// whatever its name or the item's (a folder renamed by hand, a user's shortcut to another folder),
// as does a member a user made of another kind or library. False when the new link cannot be written.
bool RelinkMember(Context& cx, const WorkspaceCall& call, qint64 member) {
  const MemberLink link = ReadMemberLink(cx, member);
  if (link.linkRow == 0 || link.linked <= 0 || link.linked == call.docNumber || link.type != QLatin1String("FOLDER")) return true;
  if (link.library.compare(TrimBlanks(call.folderLibrary), Qt::CaseInsensitive) != 0) return true;
  if (ItemExists(cx, call, link.linked)) return true;
  if (RowsAffectedBy(cx, QStringLiteral("UPDATE [OWNER].REGISTRY SET DATA = '") + FormatNumber(call.docNumber) +
                             QStringLiteral("' WHERE SYSTEM_ID = ") + FormatNumber(link.linkRow)) == 0)
    return false;
  LogThenHyphens(cx, QStringLiteral("Folder ") + Quote(call.item) + QStringLiteral(" in workspace ") + Quote(call.name) +
                  QStringLiteral(" for user ") + call.userId + QStringLiteral(" linked item #") + FormatNumber(link.linked) +
                  QStringLiteral(", which does not exist - it now links #") + FormatNumber(call.docNumber));
  return true;
}

void AddMember(Context& cx, WorkspaceCall& call) {
  const QString library = CurrentLibraryName(cx);
  StatusThenHyphens(cx, QStringLiteral("Processing folder ") + Quote(call.item) + QStringLiteral(" to workspace ") + Quote(call.name) +
                     QStringLiteral(" for user ") + call.userId + QStringLiteral(" in library ") + library);
  const QString workspace = FormatNumber(call.workspaceId);
  const qint64 existing = FindByData(
      cx,
      QStringLiteral("SELECT SYSTEM_ID, DATA FROM [OWNER].REGISTRY WHERE UPPER(ENTITYSCOPE) = 'REGISTRY' AND UPPER(NAME) LIKE "
                     "'WM%' AND UPPER(DATATYPE) = 'STRING' AND ENTITYID = ") +
          workspace,
      call.item);
  if (existing != 0) {
    LogThenHyphens(cx, QStringLiteral("Folder ") + Quote(call.item) + QStringLiteral(" already exists in workspace ") +
                    Quote(call.name) + QStringLiteral(" for user ") + call.userId);
    call.result = RelinkMember(cx, call, existing);
    return;
  }

  StatusThenHyphens(cx, QStringLiteral("Adding ") + Quote(call.item) + QStringLiteral(" to workspace ") + Quote(call.name) +
                     QStringLiteral(" for user ") + call.userId);
  const qint64 member = NewKey(cx);
  if (member == 0) return;
  const QString item = StripQuotes(call.item);
  const qint64 rows = RowsAffectedBy(
      cx, QStringLiteral("INSERT INTO [OWNER].REGISTRY (SYSTEM_ID, DATA, TYPE, ENTITYSCOPE, ENTITYID, NAME, DATATYPE) VALUES(") +
              FormatNumber(member) + QStringLiteral(", '") + item + QStringLiteral("', 'PROPERTY', 'REGISTRY', ") + workspace +
              QStringLiteral(", 'WM") + StripQuotes(call.item.left(NamePrefixLength)) + QStringLiteral("', 'String')"));
  if (rows == 0) {
    const QString text = QStringLiteral("Error: Unable to create workspace for user ") + call.userId;
    if (cx.ui->DisplayErrors()) cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
    LogThenHyphens(cx, text);
    return;
  }

  const QString folderLibrary = StripQuotes(call.folderLibrary);
  const QStringList parts = {
      QStringLiteral("'NAME', '") + item + QStringLiteral("', "),
      QStringLiteral("'DESCRIPTION', '") + item + QStringLiteral("-") + folderLibrary + QStringLiteral("', "),
      QStringLiteral("'ORDERNUMBER', '") + FormatNumber(NextOrderNumber(cx, call)) + QStringLiteral("', "),
      QStringLiteral("'TYPE', 'FOLDER', "),
      QStringLiteral("'LINKID', '") + FormatNumber(call.docNumber) + QStringLiteral("', "),
      QStringLiteral("'LINKNAME', '") + item + QStringLiteral("', "),
      QStringLiteral("'LIBRARY', '") + folderLibrary + QStringLiteral("', "),
  };
  for (const QString& part : parts)
    if (!InsertProperty(cx, QStringLiteral("'String', "), part, member)) return;
  call.result = true;
  StatusThenHyphens(cx, QStringLiteral("You have successfully added item ") + Quote(call.item) + QStringLiteral(" to the workspace ") +
                     Quote(call.name) + QStringLiteral(" for ") + call.userId);
}

// The steps from the cache look-up on, in the user's primary library.
void FillWorkspace(SecurityContext& cx, WorkspaceCall& call) {
  StatusThenHyphens(cx, QStringLiteral("Preparing to process ") + Quote(call.item) + QStringLiteral(" to workspace ") +
                     Quote(call.name) + QStringLiteral(" for user ") + call.userId);
  ReadCache(cx, call);
  FindPrimaryLibrary(cx, call);
  if (!ConnectLibrary(cx, call.primaryLibrary)) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to connect to library ") + call.primaryLibrary + QStringLiteral(" for user ") +
                    call.userId);
    return;
  }
  if (!FindPerson(cx, call)) return;
  // The call's rows stand or fall together and apart from any work around the call: a call that
  // fails inside a row leaves the row's folders standing.
  const SqlTransaction transaction = BeginSavepoint(cx);
  if (!transaction.Opened) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to begin a transaction in library ") + CurrentLibraryName(cx) +
                    QStringLiteral(" for the workspace of user ") + call.userId);
    return;
  }
  try {
    if (FindOrCreateRoot(cx, call) && FindOrCreateWorkspace(cx, call)) AddMember(cx, call);
  } catch (...) {
    EndTransaction(cx, transaction, false);
    throw;
  }
  if (!EndTransaction(cx, transaction, call.result)) {
    if (call.result)
      LogThenHyphens(cx, QStringLiteral("Error: Unable to save the workspace rows for user ") + call.userId);
    else
      LogThenHyphens(cx, QStringLiteral("Error: Unable to add ") + Quote(call.item) + QStringLiteral(" to workspace ") +
                      Quote(call.name) + QStringLiteral(" for user ") + call.userId + QStringLiteral(" - none of its rows were kept"));
    call.result = false;
    return;
  }
  // Only rows that stand are remembered.
  if (call.cacheRow == 0) AppendCache(cx, call);
}

// The template expanded for the user and the item's author and typist, read in the current library.
QString ItemWorkspaceName(SecurityContext& cx, const QString& WorkspaceName, const QString& User_ID, qint64 DocNumber) {
  const QStringList people = FirstRow(
      cx,
      QStringLiteral("SELECT A.USER_ID, T.USER_ID FROM [OWNER].PROFILE P, [OWNER].PEOPLE A, [OWNER].PEOPLE T WHERE "
                     "(P.AUTHOR = A.SYSTEM_ID AND P.TYPIST = T.SYSTEM_ID) AND P.DOCNUMBER = ") +
          FormatNumber(DocNumber),
      2);
  return ExpandWorkspaceName(cx, WorkspaceName, User_ID, TrimBlanks(people.value(0)), TrimBlanks(people.value(1)));
}

void ReportFailure(Context& cx, qint64 number, const QString& source, const QString& description) {
  LogMessage(cx, HyphenLine);
  LogMessage(cx, QStringLiteral("AddToWorkspace:"));
  ReportError(cx, number, source, description);
}

}  // namespace

void CreateWorkspaceCache(SecurityState& state) {
  if (state.WorkspaceCacheCount != 0) return;
  state.WorkspaceCache.assign(1, WorkspaceCacheRow{});
}

void CutWorkspaceCache(SecurityState& state, int rows) {
  if (rows < 0 || rows >= state.WorkspaceCacheCount) return;
  state.WorkspaceCacheCount = rows;
  state.WorkspaceCache.resize(size_t(rows) + 1);
}

QString ReplaceFirstToken(const QString& text, const QString& token, const QString& value) {
  const qsizetype at = text.indexOf(token, 0, Qt::CaseInsensitive);
  if (at < 0) return text;
  return text.left(at) + value + text.mid(at + token.size());
}

QString ExpandWorkspaceName(SecurityContext& cx, const QString& WorkspaceName, const QString& User_ID,
                            const QString& author, const QString& typist) {
  const auto has = [](const QString& text, const char* token) {
    return text.contains(QLatin1String(token), Qt::CaseInsensitive);
  };
  QString name = WorkspaceName;
  name = ReplaceFirstToken(name, QStringLiteral("%USER_ID%"), User_ID);
  name = ReplaceFirstToken(name, QStringLiteral("%AUTHOR%"), author);
  name = ReplaceFirstToken(name, QStringLiteral("%AUTHOR.USER_ID%"), author);
  if (has(name, "%AUTHOR.PRIMARY_GROUP%"))
    name = ReplaceFirstToken(name, QStringLiteral("%AUTHOR.PRIMARY_GROUP%"), GroupOf(cx, author));
  name = ReplaceFirstToken(name, QStringLiteral("%TYPIST%"), typist);
  name = ReplaceFirstToken(name, QStringLiteral("%TYPIST.USER_ID%"), typist);
  if (has(name, "%TYPIST.PRIMARY_GROUP%"))
    name = ReplaceFirstToken(name, QStringLiteral("%TYPIST.PRIMARY_GROUP%"), GroupOf(cx, typist));
  if (name.isEmpty() || name.contains(QStringLiteral("*DEFAULT RULE*"))) return WorkspaceFallbackName;
  return name;
}

QString WorkspaceNameOfItem(SecurityContext& cx, const QString& WorkspaceName, const QString& User_ID, qint64 DocNumber) {
  try {
    return ItemWorkspaceName(cx, WorkspaceName, User_ID, DocNumber);
  } catch (const std::exception&) {
    return WorkspaceName;
  }
}

QString WorkspaceLibrary(SecurityContext& cx, const QString& User_ID) {
  WorkspaceCall call;
  call.userId = User_ID;
  try {
    ReadCache(cx, call);
    FindPrimaryLibrary(cx, call);
  } catch (const RejectedRead&) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to read the workspace information for user ") + User_ID +
                    QStringLiteral(" - nothing is added"));
    return QString();
  } catch (const DmCallFailure& e) {
    ReportFailure(cx, e.Number(), e.Source(), e.Description());
    return QString();
  }
  return call.primaryLibrary;
}

bool AddToWorkspace(SecurityContext& cx, const QString& WorkspaceItem, qint64 DocNumber, const QString& User_ID,
                    const QString& WorkspaceName, const QString& Folder_Library, QString* Expanded) {
  WorkspaceCall call;
  // Taken after the entry checks, and given back only after an error below has been reported.
  std::optional<ScreenGuard> entry;
  try {
    if (!CheckFusion(cx, QStringLiteral("AddToWorkspace"))) return false;
    if (!cx.session.CurrentLibrary) {
      LogThenHyphens(cx, QStringLiteral("Error: Library object not set - cannot continue"));
      return false;
    }
    if (WorkspaceItem.isEmpty() || DocNumber == 0 || User_ID.isEmpty()) {
      LogThenHyphens(cx, QStringLiteral("Error: Unable to identify workspace, folder or user information"));
      return false;
    }
    call.item = WorkspaceItem;
    call.docNumber = DocNumber;
    call.userId = User_ID;
    call.folderLibrary = Folder_Library;

    entry.emplace(cx, ScreenParts{.status = true, .statusWindow = StatusWindow::Main, .pump = true});
    // The item's author and typist are read where the item lives; the rest of the call starts
    // from the library current on entry.
    if (!Reach(cx, Folder_Library)) return false;
    call.name = ItemWorkspaceName(cx, WorkspaceName, User_ID, DocNumber);
    if (Expanded) *Expanded = call.name;
    if (!Reach(cx, entry->Library())) return false;
    FillWorkspace(cx, call);
  } catch (const RejectedRead&) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to read the workspace information for user ") + User_ID +
                    QStringLiteral(" - nothing is added"));
    call.result = false;
  } catch (const DmCallFailure& e) {
    ReportFailure(cx, e.Number(), e.Source(), e.Description());
    call.result = false;
  } catch (const std::exception& e) {
    ReportFailure(cx, ErrAutomation, QStringLiteral("AddToWorkspace"), QString::fromLocal8Bit(e.what()));
    call.result = false;
  }
  return call.result;
}

}  // namespace sw
