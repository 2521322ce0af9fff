// The profile values a newly created folder of a row's chain receives straight through SQL: the
// linked profile columns of the row, the e-mail address at the rule's level, an author when it
// has none; and the building of each row's e-mail address from the rule's template.
#include "run/folder_metadata.h"

#include "core/library.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/screen_guard.h"
#include "core/sql.h"
#include "core/text.h"
#include "run/run_context.h"

namespace sw {

namespace {

void Dash(RunContext& cx) { LogMessage(cx, HyphenLine); }

QString N(qint64 n) { return FormatNumber(n); }

// Replaces text[at, at + length) by the value; the text on each side loses its blanks at the join.
QString JoinAround(const QString& text, qsizetype at, qsizetype length, const QString& value) {
  return TrimBlanks(text.left(at)) + value + TrimBlanks(text.mid(at + length));
}

// The column name after the last ".", trimmed after each cut as the name is taken apart.
QString ShortColumnName(const QString& name) {
  QString rest = name;
  for (qsizetype dot = rest.indexOf(QLatin1Char('.')); dot >= 0; dot = rest.indexOf(QLatin1Char('.')))
    rest = TrimBlanks(rest.mid(dot + 1));
  return TrimBlanks(rest);
}

// Runs a one-value look-up and releases its result. False when the statement failed: a value
// that could not be read is not taken for an empty one.
bool LookUp(RunContext& cx, const dm::FilledSql& sql, QString& value) {
  value.clear();
  if (!RunSQL(cx, sql) || !cx.session.pSQL) return false;
  dm::PcdSql& pcd = *cx.session.pSQL;
  const qint64 code = pcd.SqlErrorCode();
  value = TrimBlanks(pcd.ColumnValue(1));
  pcd.ReleaseResults();
  return IsSqlSuccess(code);
}

// The address goes to a folder without one, and only while no other item of the library has it.
void SetAddress(RunContext& cx, qint64 folder, const QString& address) {
  QString current;
  if (!LookUp(cx, QStringLiteral("SELECT PD_ADDRESSEE FROM [OWNER].PROFILE WHERE DOCNUMBER = ") + N(folder), current))
    return;
  if (!current.isEmpty()) return;
  const QString quoted = StripQuotes(address);
  QString used;
  if (!LookUp(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].PROFILE WHERE PD_ADDRESSEE = '") + quoted + QStringLiteral("'"),
              used))
    return;
  if (NumericValue(used) > 0) {
    LogMessage(cx, QStringLiteral("Cannot set the eMail address for this folder to \"") + address +
                       QStringLiteral("\" - the address is currently assigned to another item in library ") +
                       CurrentLibraryNameOrEmpty(cx));
    Dash(cx);
    return;
  }
  LogMessage(cx, QStringLiteral("Setting eMail address for this folder to \"") + address + QStringLiteral("\""));
  Dash(cx);
  RunAndRelease(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET PD_ADDRESSEE = '") + quoted +
                        QStringLiteral("' WHERE DOCNUMBER = ") + N(folder));
}

// A folder without an author gets the connected user.
void SetAuthor(RunContext& cx, qint64 folder) {
  QString author;
  if (!LookUp(cx, {QStringLiteral("SELECT AUTHOR FROM [OWNER].PROFILE WHERE DOCNUMBER = ?"), {N(folder)}}, author)) return;
  if (NumericValue(author) != 0) return;
  const QString login = cx.session.CurrentLibrary ? cx.session.CurrentLibrary->UserName() : QString();
  LogMessage(cx, QStringLiteral("Author is not set - changing author for document #") + N(folder) + QStringLiteral(" to ") +
                     login);
  Dash(cx);
  RunAndRelease(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET AUTHOR = (SELECT SYSTEM_ID FROM [OWNER].PEOPLE WHERE USER_ID = '") +
                        StripQuotes(login) + QStringLiteral("') WHERE DOCNUMBER = ") + N(folder));
}

// Runs a step with the folder's library current, so that its statements reach the folder and not
// whatever item has the same number in another library; the library current on entry is made
// current again. A library that cannot be reached gets nothing written.
template <class Step>
void InFolderLibrary(RunContext& cx, const QString& library, Step step) {
  const ScreenGuard back(cx, ScreenParts{.skipNoLibrary = true});
  if (ConnectLibrary(cx, library)) {
    step();
  } else {
    LogMessage(cx, QStringLiteral("Error: Unable to connect to library ") + library +
                       QStringLiteral(" - the new folder's profile values are not set"));
    Dash(cx);
  }
}

}  // namespace

QString RowEmailAddress(const QString& emailTemplate, const std::vector<QString>& headers,
                        const std::vector<QString>& values) {
  QString address = TrimBlanks(emailTemplate);
  const size_t columns = std::min(headers.size(), values.size());
  for (size_t c = 1; c < columns; ++c) {
    const QString name = headers[c];
    if (name.isEmpty()) continue;
    const QString value = TrimBlanks(values[c]);
    const QString full = QStringLiteral("%") + TrimBlanks(name) + QStringLiteral("%");
    qsizetype at = address.indexOf(full);
    if (at >= 0) {
      address = JoinAround(address, at, full.size(), value);
      continue;
    }
    const QString partial = (name.contains(QLatin1Char('.')) ? QStringLiteral(".") : QString()) +
                            ShortColumnName(name) + QStringLiteral("%");
    at = address.indexOf(partial);
    if (at < 0) continue;
    // The token opens at the "%" before it (a longer table path); without one it is the
    // partial token alone.
    const qsizetype open = at > 0 ? address.lastIndexOf(QLatin1Char('%'), at - 1) : -1;
    const qsizetype start = open >= 0 ? open : at;
    address = JoinAround(address, start, at + partial.size() - start, value);
  }
  return address;
}

void UpdateFolderMetadata(RunContext& cx, qint64 folder, const QString& library, int level) {
  const RuleRowsState& rows = cx.runState.rows;
  if (folder <= 0) return;
  if (rows.FolderMetadataList.isEmpty() && rows.DocumentTypeSetting.isEmpty()) return;
  QString list = rows.FolderMetadataList;
  // The document type belongs to the deepest folder of the chain only.
  if (level == rows.LevelCount && !rows.DocumentTypeSetting.isEmpty()) {
    if (!list.isEmpty()) list += QStringLiteral(", ");
    list += rows.DocumentTypeSetting;
  }
  if (list.isEmpty()) {
    LogMessage(cx, QStringLiteral("Warning: Unable to identify folder profile metadata from input value(s)"));
    Dash(cx);
    return;
  }
  InFolderLibrary(cx, library, [&] {
    LogMessage(cx, QStringLiteral("Updating folder profile metadata from input value(s) in library ") + CurrentLibraryNameOrEmpty(cx));
    Dash(cx);
    RunSQL(cx, QStringLiteral("UPDATE [OWNER].PROFILE SET ") + list + QStringLiteral(" WHERE DOCNUMBER = ") + N(folder));
    if (!cx.session.pSQL) return;
    if (cx.session.pSQL->RowsAffected() == 0) {
      LogMessage(cx, QStringLiteral("Warning: Unable to set folder profile metadata from input value(s)"));
      Dash(cx);
    }
    cx.session.pSQL->ReleaseResults();
  });
}

void SetFolderEmailAddress(RunContext& cx, qint64 folder, const QString& library, int level, int row) {
  const RuleRowsState& rows = cx.runState.rows;
  if (level != cx.runState.rule.RULE_EMAIL_LEVEL) return;
  if (row < 1 || row >= static_cast<int>(rows.RowEmailAddresses.size())) return;
  const QString address = rows.RowEmailAddresses[static_cast<size_t>(row)];
  if (address.isEmpty()) return;
  InFolderLibrary(cx, library, [&] { SetAddress(cx, folder, address); });
}

void SetFolderAuthor(RunContext& cx, qint64 folder, const QString& library) {
  InFolderLibrary(cx, library, [&] { SetAuthor(cx, folder); });
}

}  // namespace sw
