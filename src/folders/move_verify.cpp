// Taking a document out of a library's other folders, and verifying that a folder's profile
// reached the library's database.
#include <vector>

#include "core/context.h"
#include "core/library.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "folders/sort_folders.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"

namespace sw {

using namespace folder_sql;

namespace {

bool LibraryObjectSet(Context& cx) {
  if (cx.session.CurrentLibrary) return true;
  LogMessage(cx, QStringLiteral("Library object not set - cannot continue"));
  Hyphens(cx);
  return false;
}

// Switches to the library the work is done in; logs the failure.
bool SwitchTo(Context& cx, const QString& library) {
  if (ConnectLibrary(cx, library)) return true;
  LogMessage(cx, QStringLiteral("Error: Unable to connect to library ") + library);
  Hyphens(cx);
  return false;
}

// ---- MoveDoc ----

// The item's rows: filed as an item of the node type ('D' a document, 'F' a folder) of
// Document_Library (or with no library recorded), in a folder of the current library. Rows that
// another library's folder keeps here for its own filings are not this library's folders and stay.
QString DocumentRows(Context& cx, qint64 DocNumber, const QString& Document_Library, bool numberFirst,
                     const QString& nodeType = QStringLiteral("D")) {
  const QString doc = QStringLiteral("DOCNUMBER = ") + FormatNumber(DocNumber);
  const QString node = QStringLiteral("NODE_TYPE = '") + nodeType + QStringLiteral("'");
  return (numberFirst ? doc + QStringLiteral(" AND ") + node : node + QStringLiteral(" AND ") + doc) +
         QStringLiteral(" AND (LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
         StripQuotes(Document_Library) +
         QStringLiteral("') OR LIBRARY IS NULL) AND (PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES "
                        "WHERE LIBRARY_NAME = '") +
         StripQuotes(CurrentName(cx)) + QStringLiteral("') OR PARENT_LIBRARY IS NULL)");
}

// The folders other than Parent that hold the document, in the order the database gives them.
std::vector<qint64> OtherFolders(Context& cx, qint64 Parent, qint64 DocNumber, const QString& Document_Library,
                                 const QString& nodeType) {
  RunSQL(cx, QStringLiteral("SELECT PARENT FROM [OWNER].FOLDER_ITEM WHERE PARENT <> ") + FormatNumber(Parent) +
                 QStringLiteral(" AND ") + DocumentRows(cx, DocNumber, Document_Library, true, nodeType));
  dm::PcdSql& sql = Results(cx);
  std::vector<qint64> folders;
  if (sql.RowCount() == 0) {
    sql.ReleaseResults();
    return folders;
  }
  do {
    const qint64 folder = WholeValue(sql.ColumnValue(1));
    if (folder != 0) folders.push_back(folder);
  } while (sql.NextRow() != 0);
  sql.ReleaseResults();
  return folders;
}

// The document's row in one folder as it was before the removal.
struct RemovedRow {
  bool first = false;
  qint64 next = 0;
  qint64 systemId = 0;
};

RemovedRow ReadDocumentRow(Context& cx, qint64 folder, const QString& rows) {
  RunSQL(cx, QStringLiteral("SELECT ISFIRST, ") + cx.library.QuotedNextColumn +
                 QStringLiteral(", SYSTEM_ID FROM [OWNER].FOLDER_ITEM WHERE PARENT = ") + FormatNumber(folder) +
                 QStringLiteral(" AND ") + rows);
  dm::PcdSql& sql = Results(cx);
  RemovedRow row;
  if (sql.RowCount() > 0) {
    row.first = TrimBlanks(sql.ColumnValue(1)).toUpper() == QLatin1String("Y");
    row.next = WholeValue(sql.ColumnValue(2));
    row.systemId = WholeValue(sql.ColumnValue(3));
  }
  sql.ReleaseResults();
  return row;
}

qint64 DeleteDocumentRows(Context& cx, qint64 folder, const QString& rows) {
  RunSQL(cx, QStringLiteral("DELETE FROM [OWNER].FOLDER_ITEM WHERE PARENT = ") + FormatNumber(folder) +
                 QStringLiteral(" AND ") + rows);
  dm::PcdSql& sql = Results(cx);
  const qint64 removed = sql.RowsAffected();
  sql.ReleaseResults();
  return removed;
}

// Closes the gap the removed row leaves in the folder's chain: the first place goes to its
// follower, and its predecessor names that follower, so the chain stays whole even where the
// re-sort leaves a folder alone (a single remaining row).
void CloseChainGap(Context& cx, qint64 folder, const RemovedRow& removed) {
  const QString next = cx.library.QuotedNextColumn;
  if (removed.first && removed.next != 0) {
    RunSQL(cx, QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET ISFIRST = 'Y' WHERE SYSTEM_ID = ") +
                   FormatNumber(removed.next) + QStringLiteral(" AND PARENT = ") + FormatNumber(folder));
    Results(cx).ReleaseResults();
  }
  if (removed.systemId == 0) return;
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET ") + next + QStringLiteral(" = ") +
                 FormatNumber(removed.next) + QStringLiteral(" WHERE PARENT = ") + FormatNumber(folder) +
                 QStringLiteral(" AND ") + next + QStringLiteral(" = ") + FormatNumber(removed.systemId));
  Results(cx).ReleaseResults();
}

void RemoveFromFolder(FolderContext& cx, qint64 folder, qint64 DocNumber, const QString& Folder_Library,
                      const QString& Document_Library, const QString& nodeType) {
  const QString rows = DocumentRows(cx, DocNumber, Document_Library, false, nodeType);
  const RemovedRow row = ReadDocumentRow(cx, folder, rows);
  const qint64 removed = DeleteDocumentRows(cx, folder, rows);
  if (removed == 0) return;
  CloseChainGap(cx, folder, row);
  SortFolders(cx, folder, Folder_Library, 0);
}

bool MoveDocWork(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
                 const QString& Document_Library) {
  SetStatus(cx, QStringLiteral("Document #") + FormatNumber(DocNumber) +
                    QStringLiteral(" will be removed from any other folders in which it exists"));
  Hyphens(cx);
  for (qint64 folder : OtherFolders(cx, Parent, DocNumber, Document_Library, QStringLiteral("D")))
    RemoveFromFolder(cx, folder, DocNumber, Folder_Library, Document_Library, QStringLiteral("D"));
  return true;
}

// The folder's own library records its filings in other libraries' folders apart: those under
// another parent than Parent go, the chain rows the parents keep having gone before.
void DropRemoteFilings(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library) {
  const QString libraryId = QStringLiteral("(SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = ?)");
  RunSQL(cx, {QStringLiteral("DELETE FROM [OWNER].FOLDER_ITEM WHERE DOCNUMBER = ? AND PARENT <> ? AND PARENT_LIBRARY = ") +
                  libraryId + QStringLiteral(" AND LIBRARY = ") + libraryId,
              {FormatNumber(DocNumber), FormatNumber(Parent), SqlText(Folder_Library), SqlText(CurrentName(cx))}});
  dm::PcdSql& sql = Results(cx);
  const qint64 removed = sql.RowsAffected();
  sql.ReleaseResults();
  if (removed == 0) return;
  LogMessage(cx, QStringLiteral("Folder #") + FormatNumber(DocNumber) + QStringLiteral(" in library ") + CurrentName(cx) +
                     QStringLiteral(" is no longer filed under ") + FormatNumber(removed) +
                     QStringLiteral(" other parent folder(s) in library ") + Folder_Library);
  Hyphens(cx);
}

// ---- VDoc ----

// The first value of a statement's result; empty when the statement or the SQL object failed.
QString FirstValue(Context& cx, const QString& statement) {
  try {
    RunSQL(cx, statement);
    dm::PcdSql& sql = Results(cx);
    const QString value = TrimBlanks(sql.ColumnValue(1));
    sql.ReleaseResults();
    return value;
  } catch (const std::exception&) {
    return QString();
  }
}

QString NameOrEmpty(Context& cx) {
  try {
    return CurrentName(cx);
  } catch (const std::exception&) {
    return QString();
  }
}

bool ProfileExists(Context& cx, qint64 DocNumber) {
  LogMessage(cx, QStringLiteral("Verifying existence of folder #") + FormatNumber(DocNumber) +
                     QStringLiteral(" in the database for library ") + NameOrEmpty(cx));
  Hyphens(cx);
  return WholeValue(FirstValue(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE DOCNUMBER = ") +
                                       FormatNumber(DocNumber))) != 0;
}

qint64 SessionLibraryCount(Context& cx) {
  try {
    return cx.session.FusionLibraries ? cx.session.FusionLibraries->Count() : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

// The profile is missing: says so, and whether the database is the library that was meant.
void ReportMissingProfile(Context& cx, const QString& Folder_Library, qint64 DocNumber) {
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Warning: The profile for folder #") + FormatNumber(DocNumber) +
                     QStringLiteral(" does not exist in library ") + NameOrEmpty(cx) + QStringLiteral("!"));
  Hyphens(cx);
  cx.settings->DeleteSetting(ProductName, QStringLiteral("General"), QStringLiteral("CacheMethodWarning"));
  if (SessionLibraryCount(cx) < 2) return;
  LogMessage(cx, QStringLiteral("Verifying the library connection"));
  Hyphens(cx);
  const QString connected =
      FirstValue(cx, QStringLiteral("SELECT LIBRARY_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0"));
  if (connected.toUpper() == Folder_Library.toUpper()) return;
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("Warning: the connected library ") + connected + QStringLiteral(" is not the folder library ") +
                     Folder_Library + QStringLiteral("!"));
  Hyphens(cx);
}

// What both moves check before they touch anything: the session, the library object, and a
// parent and a document to move.
bool MayMove(FolderContext& cx, const QString& procedure, qint64 Parent, qint64 DocNumber) {
  if (!CheckFusion(cx, procedure)) return false;
  if (!LibraryObjectSet(cx)) return false;
  return Parent != 0 && DocNumber != 0;
}

}  // namespace

bool MoveDoc(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
             const QString& Document_Library) {
  if (!MayMove(cx, QStringLiteral("MoveDoc"), Parent, DocNumber)) return false;
  const ScreenGuard guard(cx);
  bool result = false;
  try {
    if (SwitchTo(cx, Folder_Library)) result = MoveDocWork(cx, Parent, DocNumber, Folder_Library, Document_Library);
  } catch (const std::exception&) {
    // The removals made so far stay made; the result tells the caller the move is incomplete.
    result = false;
  }
  return result;
}

bool LeaveOtherParents(FolderContext& cx, qint64 Parent, qint64 DocNumber, const QString& Folder_Library,
                       const QString& Document_Library) {
  if (!MayMove(cx, QStringLiteral("LeaveOtherParents"), Parent, DocNumber)) return false;
  const ScreenGuard guard(cx);
  try {
    if (!SwitchTo(cx, Folder_Library)) return false;
    for (qint64 folder : OtherFolders(cx, Parent, DocNumber, Document_Library, QStringLiteral("F")))
      RemoveFromFolder(cx, folder, DocNumber, Folder_Library, Document_Library, QStringLiteral("F"));
    if (!SwitchTo(cx, Document_Library)) return false;
    DropRemoteFilings(cx, Parent, DocNumber, Folder_Library);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool VDoc(FolderContext& cx, const QString& Folder_Library, qint64 DocNumber) {
  if (!CheckFusion(cx, QStringLiteral("VDoc"))) return false;
  if (!LibraryObjectSet(cx)) return false;
  // The check runs only while errors are displayed.
  if (!cx.ui->DisplayErrors()) return true;
  const ScreenGuard guard(cx);
  bool found = false;
  try {
    if (SwitchTo(cx, Folder_Library)) {
      found = ProfileExists(cx, DocNumber);
      if (!found) {
        // A profile saved a moment ago may not be visible yet.
        FlushLog(cx);
        cx.os->Sleep(1000);
        found = ProfileExists(cx, DocNumber);
      }
      if (!found) ReportMissingProfile(cx, Folder_Library, DocNumber);
    }
  } catch (const std::exception&) {
    found = false;
  }
  return found;
}

}  // namespace sw
