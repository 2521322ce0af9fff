// Finding an existing folder of a rule's chain by name, under a parent or at the top level, so
// that the chain reuses folders instead of duplicating them.
#include "folders/check_for_folder.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "folders/sort_folders.h"

namespace sw {

using namespace folder_sql;

namespace {

const QString StampWord = QStringLiteral("QUILLMARK");

QString Quote(const QString& text) { return QLatin1Char('"') + text + QLatin1Char('"'); }

void Release(Context& cx) {
  if (cx.session.pSQL) cx.session.pSQL->ReleaseResults();
}

void Run(Context& cx, const QString& sql) {
  RunSQL(cx, sql);
  Release(cx);
}

// A trapped failure is logged the system's way and the look-up goes on with its next step.
void LogTrapped(Context& cx, const std::exception& failure) {
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("CheckForFolder:"));
  if (const auto* dmFailure = dynamic_cast<const DmCallFailure*>(&failure)) {
    ReportError(cx, dmFailure->Number(), dmFailure->Source(), dmFailure->Description());
    return;
  }
  ReportError(cx, ErrAutomation, QStringLiteral("CheckForFolder"), QString::fromLocal8Bit(failure.what()));
}

template <class Step>
void Guarded(Context& cx, Step step) {
  try {
    step();
  } catch (const std::exception& failure) {
    LogTrapped(cx, failure);
  }
}

// One call's request, with the name already normalised.
struct LookUp {
  QString name;
  ParseSetting parse;
  qint64 parent = 0;
  QString ruleName;
  bool publicFolders = false;
  QString folderLibrary;
  QString itemLibrary;
  bool TopLevel() const { return parent == 0; }
};

// The row the search chose.
struct FoundFolder {
  qint64 number = 0;
  QString name;
  QString itemLibrary;
  QString parentLibrary;
  QString stamp;  // upper-cased
};

QString FirstLine(Context& cx, const LookUp& q) {
  QString line = q.TopLevel() ? QStringLiteral("Checking for existence of a folder named ") + Quote(q.name)
                              : QStringLiteral("Checking for existence of a folder item named ") + Quote(q.name) +
                                    QStringLiteral(" in parent folder #") + FormatNumber(q.parent);
  line += QStringLiteral(" in library ") + CurrentLibraryNameOrEmpty(cx);
  if (q.parse.Count != 0) return line + QStringLiteral(" parsing ") + FormatNumber(q.parse.Count) + QStringLiteral(" character(s)");
  if (!q.parse.Text.isEmpty() && q.parse.Text != QLatin1String("0"))
    line += QStringLiteral(" using parse character(s) ") + Quote(q.parse.Text);
  return line;
}

QString SubfolderSearch(const LookUp& q, const QString& like) {
  return QStringLiteral("SELECT FI.DOCNUMBER, PR.DOCNAME, RL.LIBRARY_NAME, PL.LIBRARY_NAME, 'QUILLMARK' FROM [OWNER].FOLDER_ITEM FI "
                        "LEFT OUTER JOIN [OWNER].PROFILE PR ON PR.DOCNUMBER = FI.DOCNUMBER LEFT OUTER JOIN "
                        "[OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES PL "
                        "ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = 'F' AND FI.PARENT = ") +
         FormatNumber(q.parent) + QStringLiteral(" AND PL.LIBRARY_NAME = '") + StripQuotes(q.folderLibrary) +
         QStringLiteral("' AND RL.LIBRARY_NAME = '") + StripQuotes(q.itemLibrary) +
         QStringLiteral("' AND UPPER(PR.DOCNAME) ") + like;
}

QString TopLevelSearch(Context& cx, const LookUp& q, const QString& like) {
  const QString library = StripQuotes(CurrentLibraryNameOrEmpty(cx));
  QString sql = QStringLiteral("SELECT F.DOCNUMBER, P.DOCNAME, '") + library + QStringLiteral("', '") + library +
                QStringLiteral("', F.PATH FROM [OWNER].FOLDER F LEFT OUTER JOIN [OWNER].PROFILE P ON P.DOCNUMBER = "
                               "F.DOCNUMBER LEFT OUTER JOIN [OWNER].APPS A ON A.SYSTEM_ID = P.APPLICATION WHERE "
                               "UPPER(P.DOCNAME) ") +
                like + QStringLiteral(" AND A.APPLICATION = 'FOLDER' ");
  if (q.publicFolders) {
    LogMessage(cx, QStringLiteral("The search will be for a Public Folder"));
    Hyphens(cx);
    sql += QStringLiteral("AND F.DOCNUMBER IN (SELECT DOCNUMBER FROM [OWNER].ROOT_OBJECT) ");
  } else {
    const QString folderLibrary = StripQuotes(q.folderLibrary);
    sql += QStringLiteral("AND F.DOCNUMBER NOT IN (SELECT FI.DOCNUMBER FROM [OWNER].FOLDER_ITEM FI LEFT OUTER JOIN "
                          "[OWNER].REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY LEFT OUTER JOIN [OWNER].REMOTE_LIBRARIES PL "
                          "ON PL.SYSTEM_ID = FI.PARENT_LIBRARY WHERE FI.NODE_TYPE = 'F' AND RL.LIBRARY_NAME = '") +
           folderLibrary + QStringLiteral("' AND PL.LIBRARY_NAME = '") + folderLibrary + QStringLiteral("') ");
  }
  return sql + QStringLiteral("ORDER BY F.DOCNUMBER DESC");
}

// What the SQL object says about an empty top-level answer, for whoever reads the log.
void LogEmptyAnswer(Context& cx, const dm::PcdSql& sql) {
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("pSQL codes:"));
  LogMessage(cx, QStringLiteral("GetSQLErrorCode: ") + FormatNumber(sql.SqlErrorCode()));
  LogMessage(cx, QStringLiteral("ErrNumber:       ") + FormatNumber(sql.ErrNumber()));
  LogMessage(cx, QStringLiteral("ErrDescription:  ") + TrimBlanks(sql.ErrDescription()));
  LogMessage(cx, QStringLiteral("GetRowsAffected: ") + FormatNumber(std::llabs(sql.RowsAffected())));
  LogMessage(cx, QStringLiteral("GetRowCount:     ") + FormatNumber(std::llabs(sql.RowCount())));
  Hyphens(cx);
}

// Two passes over the answer: the first stamped folder, else the first folder at all. Rows
// without a number are never taken.
bool ChooseRow(dm::PcdSql& sql, FoundFolder* found) {
  for (const bool stampedOnly : {true, false}) {
    sql.SetRow(1);
    do {
      const qint64 number = WholeValue(sql.ColumnValue(1));
      if (number == 0) continue;
      const QString stamp = sql.ColumnValue(5).toUpper();
      if (stampedOnly && !stamp.startsWith(StampWord)) continue;
      *found = {number, sql.ColumnValue(2), sql.ColumnValue(3), sql.ColumnValue(4), stamp};
      return true;
    } while (sql.NextRow() != 0);
  }
  return false;
}

// Runs the search. -1 when the statement failed, 0 when nothing was chosen, else 1 with `found`.
int Search(Context& cx, const LookUp& q, const FolderPattern& pattern, FoundFolder* found) {
  const QString like = FolderNameLike(pattern, cx.session.DatabaseEngine);
  const QString statement = q.TopLevel() ? TopLevelSearch(cx, q, like) : SubfolderSearch(q, like);
  const bool handed = RunSQL(cx, statement);
  dm::PcdSql& sql = Results(cx);
  const qint64 code = sql.SqlErrorCode();
  if (!handed || (code != 0 && code != 9)) {
    LogMessage(cx, QStringLiteral("Error: Unable to process SQL statement to locate the folder '") + q.name +
                       QStringLiteral("'"));
    sql.ReleaseResults();
    return -1;
  }
  if (sql.RowCount() == 0) {
    if (q.TopLevel()) LogEmptyAnswer(cx, sql);
    sql.ReleaseResults();
    return 0;
  }
  const bool chosen = ChooseRow(sql, found);
  sql.ReleaseResults();
  return chosen ? 1 : 0;
}

void StampAdoptedFolder(Context& cx, const LookUp& q, const FoundFolder& found) {
  if (!q.TopLevel() || IsStampedPath(found.stamp)) return;
  Run(cx, QStringLiteral("UPDATE [OWNER].FOLDER SET PATH = '") + FolderPathStamp(q.ruleName) +
              QStringLiteral("' WHERE DOCNUMBER = ") + FormatNumber(found.number));
}

void LogRename(Context& cx, const QString& what, const LookUp& q, const FoundFolder& found) {
  LogMessage(cx, QStringLiteral("Changing the ") + what + QStringLiteral(" to ") + Quote(q.name) + QStringLiteral(" for folder #") +
                     FormatNumber(found.number) + QStringLiteral(" in library ") + CurrentLibraryNameOrEmpty(cx));
  Hyphens(cx);
}

QString DisplayNameUpdate(const LookUp& q, const FoundFolder& found) {
  return QStringLiteral("UPDATE [OWNER].FOLDER_ITEM SET DISPLAYNAME = '") + StripQuotes(q.name) +
         QStringLiteral("' WHERE DOCNUMBER = ") + FormatNumber(found.number) + QStringLiteral(" AND PARENT = ") +
         FormatNumber(q.parent) +
         QStringLiteral(" AND PARENT_LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
         StripQuotes(found.parentLibrary) +
         QStringLiteral("') AND LIBRARY = (SELECT SYSTEM_ID FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
         StripQuotes(found.itemLibrary) + QStringLiteral("')");
}

// A folder recognised by a character count whose name has otherwise changed takes the new
// name, in its profile and in the filing rows that show it in each library. A failed switch
// skips only its own step.
void RenameLooseMatch(Context& cx, const LookUp& q, const FoundFolder& found) {
  if (q.parse.Count == 0 || found.name.toUpper() == q.name.toUpper()) return;
  Guarded(cx, [&] {
    if (!ConnectLibrary(cx, found.itemLibrary)) return;
    LogRename(cx, QStringLiteral("profile name"), q, found);
    Run(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET DOCNAME = '") + StripQuotes(q.name) + QStringLiteral("' WHERE DOCNUMBER = ") +
                FormatNumber(found.number));
  });
  if (q.TopLevel()) return;
  Guarded(cx, [&] {
    if (!ConnectLibrary(cx, found.itemLibrary)) return;
    LogRename(cx, QStringLiteral("folder_item displayname"), q, found);
    Run(cx, DisplayNameUpdate(q, found));
  });
  if (found.parentLibrary == found.itemLibrary) return;
  Guarded(cx, [&] {
    if (!ConnectLibrary(cx, found.parentLibrary)) return;
    LogRename(cx, QStringLiteral("folder_item displayname"), q, found);
    Run(cx, DisplayNameUpdate(q, found));
  });
}

qint64 FindFolder(Context& cx, const LookUp& q) {
  LogMessage(cx, FirstLine(cx, q));
  Hyphens(cx);
  const FolderPattern pattern = FolderSearchPattern(q.name, q.parse);
  LogMessage(cx, QStringLiteral("The folder name search will be on ") + Quote(pattern.Shown()));
  Hyphens(cx);

  FoundFolder found;
  int outcome = -1;
  try {
    outcome = Search(cx, q, pattern, &found);
  } catch (const std::exception& failure) {
    // A search that could not run must not read as "not found": the caller would make a twin.
    LogTrapped(cx, failure);
    LogMessage(cx, QStringLiteral("Error: Unable to process SQL statement to locate the folder '") + q.name +
                       QStringLiteral("'"));
    Release(cx);
  }
  if (outcome < 0) return -1;
  if (outcome == 0) {
    LogMessage(cx, q.TopLevel() ? QStringLiteral("Top-level folder ") + Quote(q.name) + QStringLiteral(" not found in library ") +
                                      CurrentLibraryNameOrEmpty(cx)
                                : QStringLiteral("Match on folder item ") + Quote(q.name) +
                                      QStringLiteral(" not found in parent folder #") + FormatNumber(q.parent) +
                                      QStringLiteral(" in library ") + CurrentLibraryNameOrEmpty(cx));
    return 0;
  }
  Guarded(cx, [&] { StampAdoptedFolder(cx, q, found); });
  LogMessage(cx, QStringLiteral("Folder #") + FormatNumber(found.number) + QStringLiteral(" found and will be used"));
  Hyphens(cx);
  RenameLooseMatch(cx, q, found);
  return found.number;
}

}  // namespace

QString FolderPathStamp(const QString& ruleName) { return StampWord + QLatin1Char(' ') + StripQuotes(ruleName); }

bool IsStampedPath(const QString& path) { return path.left(StampWord.size()).toUpper() == StampWord; }

QString NormaliseFolderName(const QString& name) {
  QString normal = BlanksForBreaks(name);
  const QString twoBlanks = QStringLiteral("  ");
  for (qsizetype at = normal.indexOf(twoBlanks); at >= 0; at = normal.indexOf(twoBlanks, at)) normal.remove(at, 1);
  return normal;
}

// A fractional count is rounded to the nearest whole character count, halves away from zero.
ParseSetting ReadParseSetting(const QString& parseCharacters) {
  ParseSetting parse;
  const double count = std::clamp(NumericValue(parseCharacters), -1e6, 1e6);
  parse.Count = static_cast<int>(std::lround(count));
  QString text = TrimBlanks(parseCharacters).toUpper();
  const qsizetype backslash = text.indexOf(QLatin1Char('\\'));
  if (backslash >= 0) text = TrimBlanks(text.left(backslash));
  parse.Text = text;
  return parse;
}

QString StoredFolderName(const QString& name) {
  qsizetype length = std::min<qsizetype>(name.size(), DocNameLength);
  // A character beyond 16 bits is kept whole or not at all: its half alone would be stored as "?".
  if (length < name.size() && name.at(length - 1).isHighSurrogate() && name.at(length).isLowSurrogate()) --length;
  return TrimBlanks(name.left(length));
}

QString FolderPattern::Shown() const {
  return (anyBefore ? QStringLiteral("%") : QString()) + text + (anyAfter ? QStringLiteral("%") : QString());
}

FolderPattern FolderSearchPattern(const QString& name, const ParseSetting& parse) {
  FolderPattern pattern;
  if (parse.Count < 0) {
    pattern = {TrimBlanks(name.right(-qsizetype(parse.Count))), true, false};
  } else if (parse.Count > 0) {
    pattern = {TrimBlanks(name.left(parse.Count)), false, true};
  } else if (!parse.Text.isEmpty()) {
    const qsizetype at = name.toUpper().indexOf(parse.Text);
    if (at >= 0) pattern = {name.left(at + 1), false, true};
  }
  if (pattern.Shown().isEmpty()) pattern = {name, false, false};
  return pattern;
}

// The name's part is matched as text, cut to what DOCNAME can hold, so that a name longer than
// that finds the folder it was stored in; only the wildcards of the parse setting match more.
QString FolderNameLike(const FolderPattern& pattern, qint64 engine) {
  const QString text = StripQuotes(EscapeLikeText(StoredFolderName(pattern.text), engine)).toUpper();
  const QString literal = (pattern.anyBefore ? QStringLiteral("%") : QString()) + text +
                          (pattern.anyAfter ? QStringLiteral("%") : QString());
  return QStringLiteral("LIKE '") + literal + QStringLiteral("'") + LikeEscapeClause(literal, engine);
}

qint64 CheckForFolder(FolderContext& cx, const QString& Folder_Name, const QString& ParseCharacters, qint64 Parent_Folder,
                      int ThisRule, const QString& Folder_Library, const QString& Item_Library) {
  const RuleRecords& rules = cx.rules.RuleTable;
  return CheckForFolderOfRule(cx, Folder_Name, ParseCharacters, Parent_Folder, rules(field::RuleName, ThisRule),
                              NumericValue(rules(field::RULE_CREATE_PUBLIC_FOLDERS, ThisRule)) == 1, Folder_Library,
                              Item_Library);
}

qint64 CheckForFolderOfRule(FolderContext& cx, const QString& Folder_Name, const QString& ParseCharacters,
                            qint64 Parent_Folder, const QString& RuleName, bool PublicFolders, const QString& Folder_Library,
                            const QString& Item_Library) {
  if (Folder_Name.isEmpty()) return 0;
  const ScreenGuard guard(cx);
  LookUp q;
  q.name = NormaliseFolderName(Folder_Name);
  q.parse = ReadParseSetting(ParseCharacters);
  q.parent = Parent_Folder;
  q.ruleName = RuleName;
  q.publicFolders = PublicFolders;
  q.folderLibrary = Folder_Library;
  q.itemLibrary = Item_Library;
  qint64 result = -1;
  try {
    result = FindFolder(cx, q);
  } catch (const std::exception& failure) {
    LogTrapped(cx, failure);
  }
  Hyphens(cx);
  return result;
}

}  // namespace sw
