// The folder chain of every row read for a rule: the row's values become one folder name per
// level, and each level is found or created inside the folder of the level before. New folders
// get their metadata, e-mail address, author, workspaces and queued documents; every row whose
// chain stands is recorded so that it is not selected again.
#include <QStringList>

#include "core/library.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/monitor_client.h"
#include "core/text.h"
#include "folders/check_for_folder.h"
#include "folders/folders.h"
#include "run/folder_metadata.h"
#include "run/queue_tracking.h"
#include "run/row_transaction.h"
#include "run/row_workspaces.h"
#include "run/run.h"
#include "run/run_context.h"
#include "security/passed_step.h"

namespace sw {

namespace {

constexpr int ResultsColumn = 2;

void Dash(RunContext& cx) { LogMessage(cx, HyphenLine); }

QString N(qint64 n) { return FormatNumber(n); }

QString& Cell(RunContext& cx, int row, int column) {
  return cx.runState.rows.RowTable[static_cast<size_t>(row)][static_cast<size_t>(column)];
}
const QString& Header(RunContext& cx, int column) { return Cell(cx, 0, column); }

// The most levels the rule builds; 0 (or a negative value, which keeps every level of the
// template as well) for no limit.
int LevelLimit(RunContext& cx) { return std::max(cx.runState.rule.RULE_STACKWRIGHT_LEVEL, 0); }

// How a row's chain ended.
enum class RowEnd { Done, FirstLevelBlank, Failed };

void ShowCounters(RunContext& cx) {
  cx.ui->SetErrorAndAddedLabels(N(cx.runState.rule.ErrorCount), N(cx.runState.rule.AddedCount));
}

void ListRow(RunContext& cx, int r) {
  LogMessage(cx, QStringLiteral("SQL results for item #") + N(r) + QStringLiteral(":"));
  for (int c = 1; c <= cx.runState.rows.ColumnCount; ++c) {
    QString& value = Cell(cx, r, c);
    value = StripFieldMarkers(value);
    LogMessage(cx, QStringLiteral("%1").arg(c, 2, 10, QLatin1Char('0')) + QStringLiteral(": ") + Header(cx, c) +
                       QStringLiteral("=") + value);
  }
  Dash(cx);
}

// A count written after LEFT or RIGHT in the template's fixed text shortens the column before
// the marker. A source row's value that begins so (a matter named "Left2 merger") is a name.
void ApplyTrimMarkers(RunContext& cx, int r) {
  const int columns = cx.runState.rows.ColumnCount;
  if (columns <= 2) return;
  for (int c = 2; c <= columns; ++c) {
    if (IsSourceColumnHeader(Header(cx, c))) continue;
    const QString& marker = Cell(cx, r, c);
    const bool left = marker.left(4).toUpper() == QLatin1String("LEFT");
    if (!left && marker.left(5).toUpper() != QLatin1String("RIGHT")) continue;
    const qint64 n = qRound64(NumericValue(marker.mid(left ? 4 : 5)));
    QString& target = Cell(cx, r, c - 1);
    LogMessage(cx, QStringLiteral("Trimming SQL column #") + N(c - 1) + QStringLiteral(" \"") + target + QStringLiteral("\"") +
                       (left ? QStringLiteral(" to first ") : QStringLiteral(" to right-most ")) + N(n) +
                       QStringLiteral(" character(s)"));
    // A negative count cannot shorten anything and leaves the value as it is.
    if (n > 0) target = left ? target.left(n) : target.right(n);
  }
}

void ResetRowState(RunContext& cx) {
  RuleRowsState& rows = cx.runState.rows;
  rows.LevelNames.assign(2, QString());
  rows.LevelCount = 1;
  rows.FolderMetadataList.clear();
  rows.QueueCondition.clear();
  rows.DocumentTypeSetting.clear();
  rows.RowDocNumber = 0;
  rows.ProfileWorkspaceLevel = 0;
}

void FindRowDocument(RunContext& cx, int r) {
  RuleRowsState& rows = cx.runState.rows;
  for (int c = 1; c <= rows.ColumnCount; ++c) {
    const QString& header = Header(cx, c);
    if (!header.contains(QStringLiteral("PROFILE.SYSTEM_ID"))) continue;
    rows.RowDocNumber = qRound64(NumericValue(Cell(cx, r, c)));
    LogMessage(cx, header + QStringLiteral(" = ") + N(rows.RowDocNumber));
    Dash(cx);
    if (rows.RowDocNumber != 0) {
      rows.QueueCondition = header + QStringLiteral(" = ") + N(rows.RowDocNumber);
      LogMessage(cx, QStringLiteral("Adding SQL for adding documents to queue: ") + rows.QueueCondition);
      Dash(cx);
    }
    return;
  }
}

void PickUpLinkValues(RunContext& cx, const QString& header, const QString& value) {
  const SourceListState& links = cx.runState.lists;
  RuleRowsState& rows = cx.runState.rows;
  if (!links.GroupLinkTable.isEmpty() && !links.GroupLinkKey.isEmpty() &&
      header == links.GroupLinkTable + QStringLiteral(".") + links.GroupLinkKey) {
    rows.GroupLinkValue = value;
    LogMessage(cx, QStringLiteral("Group Link Value for workspace is ") + value);
    Dash(cx);
  }
  if (!links.PeopleLinkTable.isEmpty() && !links.PeopleLinkKey.isEmpty() &&
      header == links.PeopleLinkTable + QStringLiteral(".") + links.PeopleLinkKey) {
    rows.PeopleLinkValue = value;
    LogMessage(cx, QStringLiteral("People Link Value for workspace is ") + rows.PeopleLinkValue);
    Dash(cx);
  }
}

// A SYSTEM_ID column that a template item links to a PROFILE column: the folders get that
// column, and the documents that carry the value are the ones to queue.
void LinkSystemIdColumn(RunContext& cx, const QString& header, const QString& value) {
  RuleRowsState& rows = cx.runState.rows;
  const TemplateTable& items = cx.runState.tmpl.ParsedTemplate;
  for (int i = 1; i <= items.Count(); ++i) {
    const QString link = items(i, TemplateProfileLink);
    const qsizetype eq = link.indexOf(QLatin1Char('='));
    if (eq < 0 || TrimBlanks(link.mid(eq + 1)).compare(header, Qt::CaseInsensitive) != 0) continue;
    const QString col = TrimBlanks(link.left(eq));
    const QString condition = col + QStringLiteral(" = ") + N(qRound64(NumericValue(value)));
    if (col.contains(QStringLiteral("DOCUMENTTYPE"))) {
      rows.DocumentTypeSetting = QStringLiteral("DOCUMENTTYPE = ") + N(qRound64(NumericValue(value)));
      LogMessage(cx, QStringLiteral("Adding SQL for adding documents to queue: ") + rows.DocumentTypeSetting);
    } else if (col != QLatin1String("APPLICATION") && col != QLatin1String("APPS")) {
      if (!rows.FolderMetadataList.isEmpty()) rows.FolderMetadataList += QStringLiteral(", ");
      rows.FolderMetadataList += condition;
      LogMessage(cx, QStringLiteral("Adding SQL for setting folder metadata: ") + condition);
    }
    if (!rows.QueueCondition.isEmpty()) rows.QueueCondition += QStringLiteral(" AND ");
    rows.QueueCondition += condition;
    LogMessage(cx, QStringLiteral("Adding SQL for adding documents to queue: ") + condition);
    break;
  }
  Dash(cx);
}

// A level break closes the current name. False when the rule's level limit is reached and the
// column pass ends.
bool CloseLevel(RunContext& cx, int c) {
  RuleRowsState& rows = cx.runState.rows;
  QString& name = rows.LevelNames[static_cast<size_t>(rows.LevelCount)];
  name = TrimBlanks(StripFieldMarkers(name));
  if (!name.isEmpty()) LogMessage(cx, QStringLiteral("Level ") + N(rows.LevelCount) + QStringLiteral(":") + name + QStringLiteral(" (a)"));
  const int limit = LevelLimit(cx);
  if (limit != 0 && rows.LevelCount >= limit) {
    Dash(cx);
    LogMessage(cx, QStringLiteral("Rule_Stackwright_Level ") + N(limit) + QStringLiteral(" reached"));
    Dash(cx);
    return false;
  }
  if (c < rows.ColumnCount) {
    ++rows.LevelCount;
    rows.LevelNames.push_back(QString());
  }
  return true;
}

void ColumnPass(RunContext& cx, int r) {
  RuleRowsState& rows = cx.runState.rows;
  for (int c = 1; c <= rows.ColumnCount; ++c) {
    const QString header = Header(cx, c);
    const QString value = Cell(cx, r, c);
    PickUpLinkValues(cx, header, value);
    if (header.contains(QStringLiteral("PROFILE.")) && !header.contains(QStringLiteral("PROFILE.SYSTEM_ID")) &&
        rows.ProfileWorkspaceLevel == 0) {
      rows.ProfileWorkspaceLevel = rows.LevelCount;
      LogMessage(cx, QStringLiteral("Profile Workspace Level: ") + N(rows.ProfileWorkspaceLevel));
      Dash(cx);
    }
    const QString upper = header.toUpper();
    if (upper == QLatin1String("DOCUMENTTYPES.SYSTEM_ID")) {
      rows.DocumentTypeSetting = QStringLiteral("DOCUMENTTYPE = ") + N(qRound64(NumericValue(value)));
      continue;
    }
    if (!upper.contains(QStringLiteral(".SYSTEM_ID"))) {
      // Only the template's own separators break levels: a source row's "\" is a name like any other.
      const bool separator = !IsSourceColumnHeader(header) && (value == QLatin1String("\\") || value == QLatin1String("/"));
      if (!separator) {
        rows.LevelNames[static_cast<size_t>(rows.LevelCount)] += value;
      } else if (!CloseLevel(cx, c)) {
        return;
      }
      continue;
    }
    if (header.contains(QStringLiteral(".SYSTEM_ID")) && cx.runState.tmpl.ParsedTemplate.Count() > 0)
      LinkSystemIdColumn(cx, header, value);
  }
}

void CloseLastLevel(RunContext& cx) {
  RuleRowsState& rows = cx.runState.rows;
  QString& name = rows.LevelNames[static_cast<size_t>(rows.LevelCount)];
  name = TrimBlanks(StripFieldMarkers(name));
  LogMessage(cx, QStringLiteral("Level ") + N(rows.LevelCount) + QStringLiteral(":") + name + QStringLiteral(" (b)"));
  Dash(cx);
  rows.ParentFolder = 0;
  rows.ParentLibrary = cx.runState.rule.LibraryName;
  rows.TopFolder = 0;
  const int limit = LevelLimit(cx);
  if (limit != 0 && rows.LevelCount > limit) {
    LogMessage(cx, QStringLiteral("Rule_Stackwright_Level ") + N(limit) + QStringLiteral(" reached"));
    Dash(cx);
    rows.LevelCount = limit;
  }
}

// The library a level's folder is made in: the rule's e-mail library for the folder it names,
// else the library of the folder it goes into (the rule's library for level 1).
QString LevelLibrary(RunContext& cx, const QString& name) {
  const RuleWorkingValues& rule = cx.runState.rule;
  LogMessage(cx, QStringLiteral("Comparing folder name '") + name + QStringLiteral("' with '") + rule.EmailOverrideName +
                     QStringLiteral("' with library ") + rule.EmailOverrideLibrary);
  Dash(cx);
  if (NamesRoutedFolder(cx, name) && !rule.EmailOverrideLibrary.isEmpty()) {
    LogMessage(cx, QStringLiteral("Setting library for folder \"") + rule.EmailOverrideName + QStringLiteral("\" to ") +
                       rule.EmailOverrideLibrary);
    Dash(cx);
    return rule.EmailOverrideLibrary;
  }
  return cx.runState.rows.ParentLibrary;
}

// The queue insert stands apart from the row: a refused insert is logged and gone past.
void QueueRowDocuments(RunContext& cx, int k) {
  RunPassedStep(cx, cx.runState.rule.LibraryName, [&] { QueueNewDocuments(cx, k); });
}

// What a folder the chain has just created receives, in order.
void FurnishNewFolder(RunContext& cx, int r, int k, const QString& name, const JoinLibrary& join) {
  RuleRowsState& rows = cx.runState.rows;
  const qint64 folder = rows.ParentFolder;
  const QString library = rows.ParentLibrary;
  if (k == 1) {
    rows.TopFolder = folder;
    rows.TopLibrary = library;
  }
  {
    // The three steps write to the folder's library: it stays current from the first to the last.
    const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true, .onlyWhenLeft = true});
    ConnectLibrary(cx, library);
    // Each of these is logged and gone past when it fails: it is undone alone and the folder stays.
    RunPassedStep(cx, library, [&] { UpdateFolderMetadata(cx, folder, library, k); });
    RunPassedStep(cx, library, [&] { SetFolderEmailAddress(cx, folder, library, k, r); });
    RunPassedStep(cx, library, [&] { SetFolderAuthor(cx, folder, library); });
  }
  AddRowWorkspaces(cx, k, name, folder, library, join);
  QueueRowDocuments(cx, k);
}

RowEnd LevelLoop(RunContext& cx, int r, const JoinLibrary& join) {
  RuleRowsState& rows = cx.runState.rows;
  RuleWorkingValues& rule = cx.runState.rule;
  for (int k = 1; k <= rows.LevelCount; ++k) {
    const QString name = LevelFolderName(rows, k);
    if (name.isEmpty()) {
      if (k == rows.LevelCount) {
        LogMessage(cx, QStringLiteral("Folder level ") + N(k) + QStringLiteral(" is blank - will not create any more folders for this item"));
        return RowEnd::Done;
      }
      if (k == 1) {
        LogMessage(cx, QStringLiteral("Folder level 1 is blank - will not create any folders for this item"));
        return RowEnd::FirstLevelBlank;
      }
      continue;
    }
    cx.run.FolderExistedFlag = false;
    const QString library = LevelLibrary(cx, name);
    rows.ParentFolder = CreateFolder(cx, name, rows.ParentFolder, rule.RuleIndex, rows.ParentLibrary, library, k);
    rows.ParentLibrary = library;
    // A folder left half made fails the row as a folder not made would.
    if (rows.ParentFolder <= 0 || OpenTransactionFailed(cx)) {
      ++rule.ErrorCount;
      return RowEnd::Failed;
    }
    if (cx.run.FolderExistedFlag) {
      // A row that is a document of its own is queued for its folder also when the folder stood.
      if (rows.RowDocNumber != 0) QueueRowDocuments(cx, k);
      continue;
    }
    ++rule.AddedCount;
    ShowCounters(cx);
    // A stop asked for now is seen at the end of the row: the row completes first.
    FurnishNewFolder(cx, r, k, name, join);
  }
  return RowEnd::Done;
}

// The row's level names as its folder path ("C0001\M00011"): what names the row in a message,
// since its number is only its place in this run.
QString RowLevelValues(RunContext& cx) {
  const RuleRowsState& rows = cx.runState.rows;
  QStringList names;
  for (int k = 1; k <= rows.LevelCount && k < static_cast<int>(rows.LevelNames.size()); ++k) {
    const QString name = LevelFolderName(rows, k);
    if (!name.isEmpty()) names << name;
  }
  return names.join(QLatin1Char('\\'));
}

// The row's chain, sort and tracking rows, as one unit of work: a row whose work does not stand
// leaves nothing behind, counts as failed and is selected again by a later run. A row that stands
// is done once its group commits.
void BuildRow(RunContext& cx, RowGroup& group, int r) {
  RuleRowsState& rows = cx.runState.rows;
  RuleWorkingValues& rule = cx.runState.rule;
  const int addedBefore = rule.AddedCount;
  RowTransaction work = BeginRowTransaction(cx, group);
  if (!work.opened) {
    LogMessage(cx, QStringLiteral("Error: Unable to begin the work on item #") + N(r) + QStringLiteral(" in library ") +
                       rule.LibraryName + (work.failure.isEmpty() ? QString() : QStringLiteral(" (") + work.failure + QStringLiteral(")")));
    ++rule.ErrorCount;
    return;
  }
  RowEnd end = RowEnd::Failed;
  try {
    end = LevelLoop(cx, r, [&](const QString& library) { return JoinRowLibrary(cx, group, work, library); });
    if (end == RowEnd::Done) {
      // The sort's result is not used: a sort that fails leaves the chain as it was.
      // The limit is the run's library's, read before the step makes the folder's library current.
      const int sortLimit = cx.library.MaxItemsToSort;
      if (rows.TopFolder != 0)
        RunPassedStep(cx, rows.TopLibrary, [&] { SortFolders(cx, rows.TopFolder, rows.TopLibrary, sortLimit); });
      Dash(cx);
      if (rows.ParentFolder > 0) TrackRow(cx, r);
    }
  } catch (...) {
    EndRowTransaction(cx, group, work, false);
    throw;
  }
  const int added = rule.AddedCount - addedBefore;
  const RowOutcome outcome = EndRowTransaction(cx, group, work, end == RowEnd::Done);
  if (outcome == RowOutcome::Stands) {
    KeepRowInGroup(cx, group, GroupRow{r, RowLevelValues(cx), added});
    return;
  }
  if (end == RowEnd::FirstLevelBlank) return;
  // What the row made is gone again.
  rule.AddedCount -= added;
  if (end == RowEnd::Done) ++rule.ErrorCount;
  LogMessage(cx, RowNotKeptMessage(r, RowLevelValues(cx)));
}

// One row from its status line to its counters.
void ProcessRow(RunContext& cx, RowGroup& group, int r) {
  RuleRowsState& rows = cx.runState.rows;
  SetStatus(cx, QStringLiteral("Processing folder item #") + N(r) + QStringLiteral(" of ") + N(rows.RowCount) +
                    QStringLiteral(" with ") + N(rows.ColumnCount) + QStringLiteral(" column(s)."));
  Dash(cx);
  ListRow(cx, r);
  ApplyTrimMarkers(cx, r);
  Dash(cx);
  ResetRowState(cx);
  if (rows.ColumnCount > 0) FindRowDocument(cx, r);
  ColumnPass(cx, r);
  CloseLastLevel(cx);
  // What marks the row's folders as its own, for a folder found standing in another library.
  cx.folders.RowLinkValues = rows.FolderMetadataList;
  BuildRow(cx, group, r);
  cx.folders.RowLinkValues.clear();
  Dash(cx);
  cx.ui->SetCounterLabels(cx.ui->CounterTotal(), N(r));
  ShowCounters(cx);
  MonitorHeartbeat(cx);
}

}  // namespace

QString LevelFolderName(const RuleRowsState& rows, int k) {
  return TrimBlanks(NormaliseFolderName(rows.LevelNames[static_cast<size_t>(k)]));
}

void ProcessRuleRows(RunContext& cx) {
  RuleRowsState& rows = cx.runState.rows;
  // The rows' groups end with the rule: no group is open across a stop, a pause, a wait or
  // another library's rule.
  RowGroup group;
  try {
    for (int r = 1; r <= rows.RowCount && r < static_cast<int>(rows.RowTable.size()); ++r) {
      {
        // The errors of one row tell one failure.
        const OneFailure rowFailure(cx);
        ProcessRow(cx, group, r);
      }
      rows.RowsDone = r;
      if (cx.run.StopRequested || group.splitCommit) break;
    }
  } catch (...) {
    // The row that failed went back to its savepoint; the rows before it stand.
    EndRowGroup(cx, group, true);
    throw;
  }
  EndRowGroup(cx, group, true);
  ShowCounters(cx);
  MonitorHeartbeat(cx);
  Dash(cx);
  const int resultRow = cx.runState.control.ResultRow;
  if (resultRow >= 0)
    cx.ui->SetResultText(resultRow, ResultsColumn, N(cx.runState.rule.AddedCount) + QStringLiteral(" folder(s) added"));
}

}  // namespace sw
