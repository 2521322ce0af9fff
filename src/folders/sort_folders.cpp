#include "folders/sort_folders.h"

#include <QTime>
#include <algorithm>
#include <cmath>
#include <optional>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "folders/folder_context.h"
#include "folders/folders.h"

namespace sw {

namespace folder_sql {

dm::PcdSql& Results(Context& cx) {
  if (!cx.session.pSQL)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("PCDClient.PCDSQL"),
                        QStringLiteral("Object variable or With block variable not set"));
  return *cx.session.pSQL;
}

QString CurrentName(Context& cx) {
  if (!cx.session.CurrentLibrary)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Library"),
                        QStringLiteral("Object variable or With block variable not set"));
  return cx.session.CurrentLibrary->Name();
}

qint64 WholeValue(const QString& text) { return qRound64(NumericValue(text)); }

double SecondsOfDay(Context& cx) {
  const QDateTime now = cx.log.Now ? cx.log.Now() : QDateTime::currentDateTime();
  return now.time().msecsSinceStartOfDay() / 1000.0;
}

void Hyphens(Context& cx) { LogMessage(cx, HyphenLine); }

}  // namespace folder_sql

using namespace folder_sql;

std::vector<ChainLink> PlanChainLinks(const std::vector<FolderItemRow>& rows) {
  std::vector<ChainLink> links;
  const int n = static_cast<int>(rows.size());
  for (int i = 0; i < n; ++i) {
    const qint64 next = i == n - 1 ? 0 : WholeValue(rows[i + 1].SystemId);
    const QString first = i == 0 ? QStringLiteral("Y") : QStringLiteral("N");
    if (WholeValue(rows[i].Next) == next && rows[i].IsFirst.toUpper() == first) continue;
    links.push_back({i, next, first});
  }
  return links;
}

bool IsRemoteItem(const QString& itemLibrary, const QString& folderLibrary) {
  return !itemLibrary.isEmpty() && itemLibrary.compare(folderLibrary, Qt::CaseInsensitive) != 0;
}

namespace {

// The folder's rows; a condition added to the pattern may add its literals.
dm::FilledSql FolderRowsSelect(qint64 parent, const QString& nextColumn, const QString& folderLibrary) {
  return {QStringLiteral("SELECT FI.SYSTEM_ID, FI.DISPLAYNAME, FI.") + nextColumn +
              QStringLiteral(", FI.ISFIRST, FI.NODE_TYPE, PL.LIBRARY_NAME, RL.LIBRARY_NAME, FI.DOCNUMBER FROM "
                             "[OWNER].FOLDER_ITEM FI, [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE "
                             "FI.PARENT_LIBRARY = PL.SYSTEM_ID AND FI.LIBRARY = RL.SYSTEM_ID AND FI.PARENT = ? AND "
                             "PL.LIBRARY_NAME = ?"),
          {FormatNumber(parent), SqlText(folderLibrary)}};
}

}  // namespace

dm::FilledSql FolderItemsQuery(qint64 parent, const QString& nextColumn, const QString& folderLibrary) {
  dm::FilledSql sql = FolderRowsSelect(parent, nextColumn, folderLibrary);
  sql.pattern += QStringLiteral(" ORDER BY FI.DISPLAYNAME");
  return sql;
}

namespace {

void ReportTrapped(Context& cx, const std::exception& failure, const QString& source) {
  if (const auto* dmFailure = dynamic_cast<const DmCallFailure*>(&failure)) {
    ReportError(cx, dmFailure->Number(), dmFailure->Source(), dmFailure->Description());
    return;
  }
  ReportError(cx, ErrAutomation, source, QString::fromLocal8Bit(failure.what()));
}

void NoteDuration(Context& cx, double started, const QString& what) {
  const double elapsed = SecondsOfDay(cx) - started;
  if (started == 0 || elapsed <= 1) return;
  LogMessage(cx, QStringLiteral("Note: ") + what + QStringLiteral(" Process took ") + FormatNumber(qRound64(elapsed)) +
                     QStringLiteral(" second(s)."));
  Hyphens(cx);
}

// ---- SortFolders ----

// Every folder of the current library that holds at least one filed item, highest number first.
// Empty when there is none.
std::vector<qint64> LibraryFolders(Context& cx) {
  const QString library = CurrentName(cx);
  RunSQL(cx, QStringLiteral("SELECT DOCNUMBER FROM [OWNER].PROFILE WHERE APPLICATION = (SELECT SYSTEM_ID FROM "
                            "[OWNER].APPS WHERE APPLICATION = 'FOLDER') AND DOCNUMBER IN (SELECT DISTINCT PARENT FROM "
                            "[OWNER].FOLDER_ITEM WHERE PARENT_LIBRARY IN (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES "
                            "WHERE LIBRARY_NAME = '") +
                 StripQuotes(library) + QStringLiteral("')) ORDER BY DOCNUMBER DESC"));
  dm::PcdSql& sql = Results(cx);
  std::vector<qint64> folders;
  const qint64 total = sql.RowCount();
  if (total == 0) {
    sql.ReleaseResults();
    return folders;
  }
  do {
    const QString value = TrimBlanks(sql.ColumnValue(1));
    if (value.isEmpty()) continue;
    folders.push_back(WholeValue(value));
    if (folders.size() % 500 == 0)
      cx.ui->SetStatusLabel(StatusWindow::Main, QStringLiteral("Fetching folder ") + FormatNumber(qint64(folders.size())) +
                                                    QStringLiteral(" of ") + FormatNumber(total));
  } while (sql.NextRow() != 0);
  sql.ReleaseResults();
  return folders;
}

void BeginWholeLibrary(FolderContext& cx, qint64 folderCount) {
  cx.ui->SetCounterLabels(FormatNumber(folderCount), cx.ui->CounterRead());
  cx.ui->SetStatusColour(0xC00000);  // red 192, green 0, blue 0
  cx.run.TaskRunning = true;
  cx.run.StopRequested = false;
}

// Sorts each folder of the list in turn; the number of folders sorted.
qint64 SortEach(FolderContext& cx, const std::vector<qint64>& folders, const QString& Folder_Library, int SortItemCount,
                bool wholeLibrary) {
  const qint64 count = static_cast<qint64>(folders.size());
  qint64 sorted = 0;
  for (qint64 i = 1; i <= count; ++i) {
    SetStatus(cx, QStringLiteral("Sorting folder item #") + FormatNumber(i) + QStringLiteral(" of ") +
                      FormatNumber(count) + QStringLiteral(" total item(s) in library ") + CurrentName(cx));
    Hyphens(cx);
    SortThisFolder(cx, folders[i - 1], Folder_Library, SortItemCount);
    ++sorted;
    if (wholeLibrary) cx.ui->SetCounterLabels(cx.ui->CounterTotal(), FormatNumber(i));
    if (cx.run.StopRequested) break;
  }
  return sorted;
}

// The user the connection-failure line names: the session's login, where it is known.
QString SessionUser(Context& cx) {
  try {
    return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->UserName() : QString();
  } catch (const std::exception&) {
    return QString();
  }
}

bool SortFoldersWork(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount) {
  const bool wholeLibrary = Parent == 0;
  SetStatus(cx, wholeLibrary ? QStringLiteral("Preparing to sort folder(s) in library ") + Folder_Library
                             : QStringLiteral("Preparing to sort folder #") + FormatNumber(Parent) +
                                   QStringLiteral(" in library ") + Folder_Library);
  Hyphens(cx);
  if (!ConnectLibrary(cx, Folder_Library)) {
    const QString user = SessionUser(cx);
    LogMessage(cx, QStringLiteral("Error: Unable to connect to library ") + Folder_Library +
                       (user.isEmpty() ? QString() : QStringLiteral(" for user ") + user));
    return false;
  }
  const std::vector<qint64> folders = wholeLibrary ? LibraryFolders(cx) : std::vector<qint64>{Parent};
  if (folders.empty()) {
    LogMessage(cx, QStringLiteral("Nothing to sort"));
    return true;
  }
  const qint64 count = static_cast<qint64>(folders.size());
  SetStatus(cx, QStringLiteral("Sorting ") + FormatNumber(count) + QStringLiteral(" folder item(s) in library ") +
                    CurrentName(cx));
  Hyphens(cx);
  const double started = SecondsOfDay(cx);
  if (wholeLibrary) BeginWholeLibrary(cx, count);
  const qint64 sorted = SortEach(cx, folders, Folder_Library, SortItemCount, wholeLibrary);
  NoteDuration(cx, started, QStringLiteral("SortFolder"));
  SetStatus(cx, QStringLiteral("Finished sorting ") + FormatNumber(sorted) + QStringLiteral(" folder(s) in library ") +
                    CurrentName(cx));
  return true;
}

// A sort of the whole library ran as a task of its own; its end frees the window again.
void EndWholeLibrary(FolderContext& cx) {
  cx.ui->SetStatusColour(0x0000C0);  // red 0, green 0, blue 192
  cx.run.TaskRunning = false;
  cx.run.StopRequested = false;
}

// ---- SortThisFolder ----

// What one SortThisFolder call works with.
struct FolderSort {
  qint64 parent = 0;
  QString folderLibrary;
  int limit = 0;
  std::vector<FolderItemRow> rows;
  bool changed = false;
};

FolderItemRow ReadRow(const dm::PcdSql& sql) {
  const int columns = sql.ColumnCount();
  auto value = [&](int column) { return column <= columns ? TrimBlanks(sql.ColumnValue(column)) : QString(); };
  FolderItemRow row;
  row.SystemId = value(1);
  row.DisplayName = value(2);
  row.Next = value(3);
  row.IsFirst = value(4);
  row.NodeType = value(5);
  row.FolderLibrary = value(6);
  row.ItemLibrary = value(7);
  row.DocNumber = value(8);
  return row;
}

// Reads the folder's rows into the row table. False when there is nothing to sort: no more than
// one row, or more rows than the limit allows.
bool ReadFolderRows(FolderContext& cx, FolderSort& sort) {
  RunSQL(cx, FolderItemsQuery(sort.parent, cx.library.QuotedNextColumn, CurrentName(cx)));
  dm::PcdSql& sql = Results(cx);
  const qint64 count = sql.RowCount();
  if (count <= 1) {
    sql.ReleaseResults();
    return false;
  }
  if (sort.limit > 1 && count > sort.limit) {
    LogMessage(cx, QStringLiteral("Note: Folder will NOT be sorted - ") + FormatNumber(count) +
                       QStringLiteral(" items in folder and maximum set to ") + FormatNumber(sort.limit));
    Hyphens(cx);
    sql.ReleaseResults();
    return false;
  }
  LogMessage(cx, FormatNumber(count) + QStringLiteral(" item(s) in folder #") + FormatNumber(sort.parent) +
                     QStringLiteral(" may need sorting"));
  Hyphens(cx);
  qint64 read = 0;
  do {
    ++read;
    FolderItemRow row = ReadRow(sql);
    if (row.SystemId.isEmpty()) continue;
    sort.rows.push_back(std::move(row));
  } while (read < count && sql.NextRow() != 0);
  sql.ReleaseResults();
  return true;
}

QString PassStatus(FolderSort& sort, Context& cx, int pass) {
  return QStringLiteral("Sorting ") + FormatNumber(qint64(sort.rows.size())) + QStringLiteral(" item(s) in folder #") +
         FormatNumber(sort.parent) + QStringLiteral(" in library ") + CurrentName(cx) + QStringLiteral(" - pass #") +
         FormatNumber(pass);
}

// Pass 1: relinks the folder's rows in its own library.
void RelinkChain(FolderContext& cx, FolderSort& sort) {
  SetStatus(cx, PassStatus(sort, cx, 1));
  Hyphens(cx);
  const qint64 n = static_cast<qint64>(sort.rows.size());
  for (const ChainLink& link : PlanChainLinks(sort.rows)) {
    sort.changed = true;
    const qint64 position = link.row + 1;
    if (position % 10 == 0) {
      SetStatusCaption(cx, QStringLiteral("Sorting folder #") + FormatNumber(sort.parent) + QStringLiteral(" - pass #1 (item #") +
                         FormatNumber(position) + QStringLiteral(" of ") + FormatNumber(n) + QStringLiteral(")"));
      MonitorHeartbeat(cx);
    }
    RunSQL(cx, QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET ") + cx.library.QuotedNextColumn + QStringLiteral(" = ") +
                   FormatNumber(link.next) + QStringLiteral(", ISFIRST = '") + link.isFirst +
                   QStringLiteral("' WHERE SYSTEM_ID = ") + FormatNumber(WholeValue(sort.rows[link.row].SystemId)));
    Results(cx).ReleaseResults();
  }
}

// The folder's lowest version number in its own library; 0 when it has none.
qint64 FolderVersion(FolderContext& cx, qint64 parent) {
  RunSQL(cx, {QStringLiteral("SELECT VERSION_ID FROM [OWNER].VERSIONS WHERE DOCNUMBER = ? ORDER BY VERSION_ID"),
              {FormatNumber(parent)}});
  dm::PcdSql& sql = Results(cx);
  const qint64 version = WholeValue(sql.ColumnValue(1));
  sql.ReleaseResults();
  return version;
}

// The items of the current library that already have a row for this filing.
void ReadKnownItems(FolderContext& cx, qint64 parent, const QString& folderLibrary, std::vector<qint64>& known) {
  RunSQL(cx, QStringLiteral("SELECT DOCNUMBER FROM [OWNER].FOLDER_ITEM WHERE LIBRARY = (SELECT SYSTEM_ID FROM "
                            "[OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
                 StripQuotes(CurrentName(cx)) + QStringLiteral("') AND PARENT = ") + FormatNumber(parent) +
                 QStringLiteral(" AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
                                "LIBRARY_NAME = '") +
                 StripQuotes(folderLibrary) + QStringLiteral("')"));
  dm::PcdSql& sql = Results(cx);
  if (sql.RowCount() > 0) {
    do {
      const qint64 doc = WholeValue(sql.ColumnValue(1));
      if (doc != 0) known.push_back(doc);
    } while (sql.NextRow() != 0);
  }
  sql.ReleaseResults();
}

void UpdateRemoteRow(FolderContext& cx, const FolderSort& sort, const FolderItemRow& row, const QString& first,
                     qint64 version) {
  RunSQL(cx, QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET ISFIRST = '") + first + QStringLiteral("', PARENT_VERSION = ") +
                 FormatNumber(version) + QStringLiteral(", REMOTE_SYSTEM_ID = ") + FormatNumber(WholeValue(row.SystemId)) +
                 QStringLiteral(", ") + cx.library.QuotedNextColumn + QStringLiteral(" = 0 WHERE DOCNUMBER = ") +
                 FormatNumber(WholeValue(row.DocNumber)) + QStringLiteral(" AND PARENT = ") + FormatNumber(sort.parent) +
                 QStringLiteral(" AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
                                "LIBRARY_NAME = '") +
                 StripQuotes(row.FolderLibrary) + QStringLiteral("')"));
  Results(cx).ReleaseResults();
}

// The item's existing row for the filing names the chain row as the folder's library holds it now.
void NameChainRow(FolderContext& cx, qint64 parent, const FolderItemRow& row, qint64 version) {
  const QString chainRow = FormatNumber(WholeValue(row.SystemId));
  RunSQL(cx, {QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET REMOTE_SYSTEM_ID = ?, PARENT_VERSION = ? WHERE DOCNUMBER = ? AND "
                             "PARENT = ? AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE "
                             "LIBRARY_NAME = ?) AND COALESCE(REMOTE_SYSTEM_ID, 0) <> ?"),
              {chainRow, FormatNumber(version), FormatNumber(WholeValue(row.DocNumber)), FormatNumber(parent),
               SqlText(row.FolderLibrary), chainRow}});
  Results(cx).ReleaseResults();
}

// Inserts the item's row in its own library; true when a row was written.
bool InsertRemoteRow(FolderContext& cx, qint64 parent, const QString& folderLibrary, const FolderItemRow& row,
                     const QString& first, qint64 version) {
  dm::PcdSql& keys = Results(cx);
  const qint64 key = keys.NextKey(QStringLiteral("SYSTEMKEY"));
  keys.ReleaseResults();
  if (key == 0) {
    LogMessage(cx, QStringLiteral("Error: Unable to retrieve System_ID for inserting new row - cannot continue."));
    Hyphens(cx);
    return false;
  }
  RunSQL(cx, QStringLiteral("INSERT INTO [OWNER].FOLDER_ITEM (SYSTEM_ID, PARENT, DOCNUMBER, PARENT_LIBRARY, LIBRARY, "
                            "ISFIRST, ") +
                 cx.library.QuotedNextColumn +
                 QStringLiteral(", REMOTE_SYSTEM_ID, NODE_TYPE, DISPLAYNAME, PARENT_VERSION, VERSION_TYPE, STATUS, "
                                "FOLDERREMLIB_RO, FOLDERDOCNO_RO) SELECT ") +
                 FormatNumber(key) + QStringLiteral(", ") + FormatNumber(parent) + QStringLiteral(", ") +
                 FormatNumber(WholeValue(row.DocNumber)) + QStringLiteral(", PL.SYSTEM_ID, RL.SYSTEM_ID, '") + first +
                 QStringLiteral("', 0, ") + FormatNumber(WholeValue(row.SystemId)) + QStringLiteral(", '") +
                 StripQuotes(row.NodeType) + QStringLiteral("', '") + StripQuotes(row.DisplayName) + QStringLiteral("', ") +
                 FormatNumber(version) +
                 QStringLiteral(", 'R', 0, 0, 0 FROM [OWNER].REMOTE_LIBRARIES PL, [OWNER].REMOTE_LIBRARIES RL WHERE "
                                "PL.LIBRARY_NAME = '") +
                 StripQuotes(folderLibrary) + QStringLiteral("' AND RL.LIBRARY_NAME = '") +
                 StripQuotes(row.ItemLibrary) + QStringLiteral("'"));
  dm::PcdSql& sql = Results(cx);
  const bool inserted = sql.RowsAffected() > 0;
  sql.ReleaseResults();
  return inserted;
}

// The row belongs in the item's own library and nowhere else: without that library it is not
// written.
bool ConnectItemLibrary(FolderContext& cx, qint64 parent, const FolderItemRow& row) {
  if (ConnectLibrary(cx, row.ItemLibrary)) return true;
  LogMessage(cx, QStringLiteral("Error: Unable to connect to library ") + row.ItemLibrary + QStringLiteral(" - the filing of item #") +
                     row.DocNumber + QStringLiteral(" in folder #") + FormatNumber(parent) +
                     QStringLiteral(" is not recorded there"));
  Hyphens(cx);
  return false;
}

// Pass 2: the rows that the items' own libraries keep for filings in this folder.
void RecordRemoteFilings(FolderContext& cx, FolderSort& sort) {
  SetStatus(cx, PassStatus(sort, cx, 2));
  Hyphens(cx);
  const qint64 version = FolderVersion(cx, sort.parent);
  QString remembered;
  std::vector<qint64> known;
  const qint64 n = static_cast<qint64>(sort.rows.size());
  for (qint64 i = 1; i <= n; ++i) {
    const FolderItemRow& row = sort.rows[i - 1];
    if (!IsRemoteItem(row.ItemLibrary, sort.folderLibrary)) continue;
    if (!ConnectItemLibrary(cx, sort.parent, row)) {
      remembered.clear();
      known.clear();
      continue;
    }
    const QString library = CurrentName(cx);
    if (library != remembered) known.clear();
    if (i % 10 == 0)
      SetStatusCaption(cx, QStringLiteral("Sorting folder #") + FormatNumber(sort.parent) + QStringLiteral(" - pass #2 (item #") +
                         FormatNumber(i) + QStringLiteral(" of ") + FormatNumber(n) + QStringLiteral(") in library ") +
                         library);
    if (known.empty()) ReadKnownItems(cx, sort.parent, sort.folderLibrary, known);
    const qint64 doc = WholeValue(row.DocNumber);
    const bool found = std::find(known.begin(), known.end(), doc) != known.end();
    const QString first = known.empty() ? QStringLiteral("Y") : QStringLiteral("N");
    if (found) {
      UpdateRemoteRow(cx, sort, row, first, version);
    } else {
      if (InsertRemoteRow(cx, sort.parent, sort.folderLibrary, row, first, version)) known.push_back(doc);
      sort.changed = true;
    }
    remembered = library;
  }
}

void SortFolderRows(FolderContext& cx, FolderSort& sort) {
  const qint64 n = static_cast<qint64>(sort.rows.size());
  if (n == 0) return;
  if (n > 1) RelinkChain(cx, sort);
  if (n > 1 || IsRemoteItem(sort.rows.front().ItemLibrary, sort.folderLibrary)) RecordRemoteFilings(cx, sort);
}

bool SortThisFolderWork(FolderContext& cx, FolderSort& sort, double started) {
  if (!ConnectLibrary(cx, sort.folderLibrary)) {
    // Sorting whatever library is current instead would rewrite another library's rows.
    LogMessage(cx, QStringLiteral("Error: Unable to connect to library ") + sort.folderLibrary);
    return false;
  }
  LogMessage(cx, QStringLiteral("Preparing to sort folder #") + FormatNumber(sort.parent) + QStringLiteral(" in library ") +
                     CurrentName(cx));
  Hyphens(cx);
  if (ReadFolderRows(cx, sort)) SortFolderRows(cx, sort);
  const QString where = QStringLiteral(" in library ") + sort.folderLibrary;
  if (sort.changed)
    LogMessage(cx, QStringLiteral("Finished sorting ") + FormatNumber(qint64(sort.rows.size())) +
                       QStringLiteral(" item(s) for folder #") + FormatNumber(sort.parent) + where);
  else
    LogMessage(cx, QStringLiteral("Folder #") + FormatNumber(sort.parent) + where + QStringLiteral(" did not need sorting"));
  Hyphens(cx);
  NoteDuration(cx, started, QStringLiteral("SortThisFolder"));
  return true;
}

// The item's chain row in the current library, the folder's, when the item lives in another
// library; none when it lives here or has no row.
std::optional<FolderItemRow> RemoteChainRow(FolderContext& cx, qint64 parent, qint64 docNumber) {
  const QString folderLibrary = CurrentName(cx);
  dm::FilledSql select = FolderRowsSelect(parent, cx.library.QuotedNextColumn, folderLibrary);
  select.pattern += QStringLiteral(" AND FI.DOCNUMBER = ?");
  select.literals << FormatNumber(docNumber);
  RunSQL(cx, select);
  dm::PcdSql& sql = Results(cx);
  std::optional<FolderItemRow> found;
  if (sql.RowCount() > 0) {
    do {
      FolderItemRow row = ReadRow(sql);
      if (!row.SystemId.isEmpty() && IsRemoteItem(row.ItemLibrary, folderLibrary)) found = std::move(row);
    } while (!found && sql.NextRow() != 0);
  }
  sql.ReleaseResults();
  return found;
}

bool LibraryObjectSet(Context& cx) {
  if (cx.session.CurrentLibrary) return true;
  LogMessage(cx, QStringLiteral("Error: Library object not set - cannot continue"));
  Hyphens(cx);
  return false;
}

}  // namespace

bool SortFolders(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount) {
  if (SortItemCount == 1) return true;
  if (!CheckFusion(cx, QStringLiteral("SortFolders"))) return false;
  if (!LibraryObjectSet(cx)) return false;
  const ScreenGuard guard(cx, StatusCaptionWindow(cx), true);
  cx.ui->SetMousePointer(Pointer::Hourglass);
  bool result = false;
  try {
    result = SortFoldersWork(cx, Parent, Folder_Library, SortItemCount);
  } catch (const std::exception& failure) {
    ReportTrapped(cx, failure, QStringLiteral("SortFolders"));
    result = false;
  }
  Hyphens(cx);
  if (Parent == 0) EndWholeLibrary(cx);
  return result;
}

bool SortThisFolder(FolderContext& cx, qint64 Parent, const QString& Folder_Library, int SortItemCount) {
  if (SortItemCount == 1) return true;
  if (!CheckFusion(cx, QStringLiteral("SortThisFolder"))) return false;
  if (!LibraryObjectSet(cx)) return false;
  if (Folder_Library.isEmpty() || Parent == 0) return false;
  const ScreenGuard guard(cx, StatusCaptionWindow(cx));
  cx.ui->SetMousePointer(Pointer::Hourglass);
  FolderSort sort;
  sort.parent = Parent;
  sort.folderLibrary = Folder_Library;
  sort.limit = SortItemCount;
  bool result = false;
  try {
    result = SortThisFolderWork(cx, sort, SecondsOfDay(cx));
  } catch (const std::exception& failure) {
    ReportTrapped(cx, failure, QStringLiteral("SortThisFolder"));
    result = false;
  }
  Hyphens(cx);
  return result;
}

bool RecordRemoteFiling(FolderContext& cx, qint64 Parent, const QString& Folder_Library, qint64 DocNumber) {
  const std::optional<FolderItemRow> row = RemoteChainRow(cx, Parent, DocNumber);
  if (!row) return true;
  const qint64 version = FolderVersion(cx, Parent);
  // Called with the folder's library current, which is current again on every way out.
  const ScreenGuard back(cx);
  if (!ConnectItemLibrary(cx, Parent, *row)) return false;
  std::vector<qint64> known;
  ReadKnownItems(cx, Parent, Folder_Library, known);
  if (std::find(known.begin(), known.end(), DocNumber) == known.end())
    return InsertRemoteRow(cx, Parent, Folder_Library, *row, known.empty() ? QStringLiteral("Y") : QStringLiteral("N"), version);
  // A row kept from a filing whose chain row was lost names a row that is gone or another's.
  NameChainRow(cx, Parent, *row, version);
  return true;
}

}  // namespace sw
