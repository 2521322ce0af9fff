#include "core/library_checks.h"

#include <QVariant>
#include <cmath>

#include "core/context.h"
#include "core/library.h"
#include "core/log.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"
#include "platform/settings/settings_store.h"

namespace sw {

namespace {

const QString VersionPrefix = QStringLiteral("Microsoft SQL Server ");

dm::PcdSql* Sql(Context& cx) { return cx.session.pSQL.get(); }

void Release(Context& cx) {
  if (auto* sql = Sql(cx)) sql->ReleaseResults();
}

// Runs a statement and calls visit for every row of a successful answer, then releases.
template <class Visit>
void ForEachRow(Context& cx, const QString& statement, Visit visit) {
  const bool ran = RunSQL(cx, statement);
  dm::PcdSql* sql = Sql(cx);
  if (!sql) return;
  if (ran && LastStatementSucceeded(cx) && sql->RowCount() != 0) {
    do {
      visit(*sql);
    } while (sql->NextRow() != 0);
  }
  sql->ReleaseResults();
}

// A count statement: the flag is whether the count is not 0.
bool CountIsNotZero(Context& cx, const QString& statement) {
  return WholeNumber(QueryFirstValue(cx, statement).value) != 0;
}

// The facts kept with the transaction open on the current library; none without one.
TransactionFacts* OpenTransactionFacts(Context& cx) {
  const auto found = cx.session.OpenTransactions.find(CurrentLibraryNameOrEmpty(cx).toUpper());
  if (found == cx.session.OpenTransactions.end() || found->second.Levels.empty()) return nullptr;
  return &found->second.Facts;
}

// The numeric value of a DM property value; a Boolean true is -1, as the DM writes it.
qint64 PropertyNumber(const QVariant& value) {
  if (value.typeId() == QMetaType::Bool) return value.toBool() ? -1 : 0;
  return WholeNumber(value.toString());
}

}  // namespace

SqlAnswer QueryFirstValue(Context& cx, const QString& sql) {
  SqlAnswer answer;
  const bool ran = RunSQL(cx, sql);
  dm::PcdSql* pcd = Sql(cx);
  if (!pcd) return answer;
  if (ran && LastStatementSucceeded(cx)) {
    answer.succeeded = true;
    answer.rowsAffected = pcd->RowsAffected();
    if (pcd->RowCount() != 0) answer.value = pcd->ColumnValue(1);
  }
  pcd->ReleaseResults();
  return answer;
}

bool LastStatementSucceeded(Context& cx) {
  const dm::PcdSql* sql = Sql(cx);
  if (!sql) return false;
  const qint64 code = sql->SqlErrorCode();
  return IsSqlSuccess(code);
}

bool CellFlag(const QString& cell) { return NumericValue(cell) != 0; }

QString FlagText(bool flag) { return flag ? QStringLiteral("-1") : QStringLiteral("0"); }

qint64 WholeNumber(const QString& text) { return std::llround(NumericValue(text)); }

QString CurrentLibraryName(Context& cx) {
  if (!cx.session.CurrentLibrary)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("ConnectLibrary"),
                        QStringLiteral("Object variable or With block variable not set"));
  return cx.session.CurrentLibrary->Name();
}

QString CurrentLibraryNameOrEmpty(const Context& cx) {
  return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Name() : QString();
}

bool LibraryRightGranted(const dm::DmLibraryPropertiesPtr& properties, const QString& right) {
  const dm::DmLibraryPropertyPtr property = properties ? properties->Item(right) : nullptr;
  if (!property) return false;
  const QVariant value = property->Value();
  if (value.typeId() == QMetaType::Bool) return value.toBool();
  return NumericValue(value.toString()) == -1;
}

ServerVersion ParseServerVersion(const QString& versionWithoutPrefix) {
  QString text = versionWithoutPrefix.trimmed();
  const qsizetype paren = text.indexOf(QLatin1Char('('));
  if (paren >= 0) text = text.left(paren).trimmed();
  const qsizetype dash = text.indexOf(QStringLiteral(" - "));
  ServerVersion v;
  if (dash >= 0) v.major = static_cast<int>(WholeNumber(text.left(dash)));
  // Without " - " the minor version is read from the third character on, as the version
  // texts of servers that write no major number carry it there.
  v.minor = static_cast<int>(WholeNumber(dash >= 0 ? text.mid(dash + 3) : text.mid(2)));
  v.text = VersionPrefix + FormatNumber(v.major) + QStringLiteral(" - ") + QString::number(v.minor, 'f', 2);
  return v;
}

SqlLoginParts SplitSqlLogin(const QString& storedValue, const QString& databaseOwner) {
  SqlLoginParts parts{databaseOwner, QString()};
  if (storedValue.isEmpty()) return parts;
  const qsizetype colon = storedValue.indexOf(QLatin1Char(':'));
  if (colon < 0) {
    parts.login = storedValue;
    return parts;
  }
  parts.login = storedValue.left(colon).trimmed();
  parts.password = storedValue.mid(colon + 1).trimmed();
  return parts;
}

// --- Server facts -------------------------------------------------------------------------

namespace {

// The version text after the prefix, from "SELECT @@VERSION"; empty when no row carries it.
QString AskServerVersion(Context& cx) {
  QString found;
  const QString prefix = VersionPrefix.toUpper();
  ForEachRow(cx, QStringLiteral("SELECT @@VERSION"), [&](dm::PcdSql& sql) {
    if (!found.isEmpty()) return;
    const QString upper = sql.ColumnValue(1).toUpper();
    if (upper.left(prefix.size()) == prefix) found = upper.mid(prefix.size()).trimmed();
  });
  return found;
}

}  // namespace

void LearnServerVersion(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  QString version;
  if (!row[LibServerVersionText].isEmpty()) {
    version = row[LibServerVersionText];
    if (version.startsWith(VersionPrefix, Qt::CaseInsensitive)) version = version.mid(VersionPrefix.size());
    version = version.trimmed();
  } else {
    version = AskServerVersion(cx);
  }
  if (!version.isEmpty()) {
    const ServerVersion v = ParseServerVersion(version);
    lib.ServerMajorVersion = v.major;
    lib.ServerMinorVersion = v.minor;
    lib.ServerVersionText = v.text;
    LogThenHyphens(cx, v.text);
    row[LibServerVersionText] = v.text;
  }
  if (row[LibDateFormatSet].isEmpty()) {
    RunSQL(cx, QStringLiteral("set dateformat mdy"));
    Release(cx);
    row[LibDateFormatSet] = QStringLiteral("SET");
  }
}

void LearnProductVersion(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (row[LibProductVersion].isEmpty()) {
    lib.ServerProductVersion = QueryFirstValue(cx, QStringLiteral("select serverproperty('ProductVersion')")).value;
    LogThenHyphens(cx, QStringLiteral("Database Version is ") + lib.ServerProductVersion);
    row[LibProductVersion] = lib.ServerProductVersion;
  }
  lib.ServerProductVersion = row[LibProductVersion];

  if (row[LibCompatibilityLevel].isEmpty()) {
    const QString name = StripQuotes(CurrentLibraryName(cx));
    const QString database =
        QueryFirstValue(cx, QStringLiteral("SELECT DATABASE_NAME FROM [OWNER].REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
                                name + QStringLiteral("'"))
            .value;
    lib.CompatibilityLevel =
        QueryFirstValue(cx, QStringLiteral("SELECT compatibility_level FROM sys.databases WHERE name = '") +
                                StripQuotes(database) + QStringLiteral("'"))
            .value;
    LogThenHyphens(cx, QStringLiteral("Database Compatibility Level is ") + lib.CompatibilityLevel);
    row[LibCompatibilityLevel] = lib.CompatibilityLevel;
  }
  lib.CompatibilityLevel = row[LibCompatibilityLevel];
}

// --- The checks after the name check ---------------------------------------------------------

void RunSwitchBackChecks(Context& cx) {
  WarnUniqueDocNames(cx);
  CheckQuotedIdentifier(cx);
  if (!cx.library.StackwrightTableExists)
    LogThenHyphens(cx, QStringLiteral("TARN_STACKWRIGHT table does not exist in library ") + CurrentLibraryName(cx));
}

void RunLibraryChecks(Context& cx, LibraryRow& row) {
  WarnUniqueDocNames(cx);
  LearnServerAndDatabase(cx, row);
  CheckQuotedIdentifier(cx);
  LearnTablePresence(cx, row);
  LearnSqlLogin(cx, row);
  LearnLibrarySettings(cx, row);
  EnsureSecurityReason(cx, row);
  LoadValidationTables(cx, row);
  LearnColumnChecks(cx, row);
  FixFolderLastUpdate(cx, row);
}

void WarnUniqueDocNames(Context& cx) {
  const QString name = CurrentLibraryName(cx);
  TransactionFacts* facts = OpenTransactionFacts(cx);
  if (facts && facts->UniqueNamesChecked) return;
  const QString key = QStringLiteral("UniqueNameWarning");
  // Read without a default, so that a mark that is stored already is known and not saved again.
  const QString stored = cx.settings->GetSetting(ProductName, name, key, QString());
  const qint64 mark = WholeNumber(stored);
  const dm::DmLibraryPropertiesPtr properties = cx.session.CurrentLibrary->Properties();
  const dm::DmLibraryPropertyPtr property =
      properties ? properties->Item(QStringLiteral("DOCSParms.UniqueDocNames")) : dm::DmLibraryPropertyPtr();
  if (!property)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("DOCSObjects.Library"),
                        QStringLiteral("The library property DOCSParms.UniqueDocNames cannot be read"));
  const qint64 value = PropertyNumber(property->Value());
  if (value != 0 && mark == 0) {
    const QString text = QStringLiteral("Warning: The library setting Unique Document Names is enabled. ") +
                         QStringLiteral("This will require you to have unique folder names in order to use Quillmark in library ") +
                         name + QStringLiteral(".");
    LogThenHyphens(cx, text);
    if (cx.ui->DisplayErrors()) cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, QStringLiteral("WARNING!"));
  }
  if (stored != FormatNumber(value)) cx.settings->SaveSetting(ProductName, name, key, FormatNumber(value));
  if (facts) facts->UniqueNamesChecked = true;
}

void LearnServerAndDatabase(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  QString& cell = row[LibServerDatabase];
  if (!cell.isEmpty()) {
    lib.ServerLocation.clear();
    lib.DatabaseName = CurrentLibraryName(cx);
    const qsizetype colon = cell.indexOf(QLatin1Char(':'));
    if (colon >= 0) {
      lib.ServerLocation = cell.left(colon).trimmed();
      lib.DatabaseName = cell.mid(colon + 1).trimmed();
    } else {
      lib.ServerLocation = cell;
    }
    return;
  }
  lib.DatabaseName.clear();
  lib.ServerLocation.clear();
  const bool ran = RunSQL(cx, QStringLiteral("SELECT LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, SERVER_LOCATION FROM "
                                             "[OWNER].REMOTE_LIBRARIES WHERE SYSTEM_ID = 0"));
  if (dm::PcdSql* sql = Sql(cx)) {
    if (ran && LastStatementSucceeded(cx) && sql->RowCount() != 0) {
      lib.DatabaseName = sql->ColumnValue(2);
      lib.ServerLocation = sql->ColumnValue(4);
    }
    sql->ReleaseResults();
  }
  cell = lib.ServerLocation + QStringLiteral(":") + lib.DatabaseName;
}

namespace {

// The database's setting, -1 when no row came back; *read tells whether the statement succeeded.
qint64 AskQuotedIdentifier(Context& cx, bool* read) {
  qint64 setting = -1;
  const bool ran = RunSQL(cx, QStringLiteral("SELECT IS_QUOTED_IDENTIFIER_ON FROM SYS.DATABASES DB WHERE DB.NAME = '") +
                                  StripQuotes(cx.library.DatabaseName) + QStringLiteral("'"));
  *read = false;
  if (dm::PcdSql* sql = Sql(cx)) {
    *read = ran && LastStatementSucceeded(cx);
    if (sql->ColumnCount() != 0) setting = WholeNumber(sql->ColumnValue(1));
    sql->ReleaseResults();
  }
  return setting;
}

}  // namespace

void CheckQuotedIdentifier(Context& cx) {
  if (IsOracleEngine(cx.session.DatabaseEngine)) return;
  auto& lib = cx.library;
  TransactionFacts* facts = OpenTransactionFacts(cx);
  qint64 setting = -1;
  if (facts && facts->QuotedIdentifier) {
    setting = *facts->QuotedIdentifier;
  } else {
    bool read = false;
    setting = AskQuotedIdentifier(cx, &read);
    if (facts && read) facts->QuotedIdentifier = setting;
  }
  const QString state = setting == 1 ? QStringLiteral("ON") : QStringLiteral("OFF");
  LogThenHyphens(cx, QStringLiteral("Quoted Identifier for database ") + lib.DatabaseName + QStringLiteral(" is \"") + state +
                  QStringLiteral("\""));
  if (state == QLatin1String("ON")) return;

  // Folder statements fail on such a database; say so once per library and run.
  const QString name = CurrentLibraryName(cx);
  if (cx.library.QuotedIdentifierWarned.contains(name, Qt::CaseInsensitive)) return;
  cx.library.QuotedIdentifierWarned << name;
  const QString text =
      QStringLiteral("Warning: The SQL option 'QUOTED_IDENTIFIER' is set to '") + state + QStringLiteral("' in the database ") +
      lib.DatabaseName + QStringLiteral(" for library ") + name + QStringLiteral("!\r\n\r\n") +
      QStringLiteral("This option must be turned ON by a user that is connected to the SQL database as SA\r\n") +
      QStringLiteral("in order to be able to manipulate folders in ") + ProductName +
      QStringLiteral(" and the add-on modules.\r\n\r\n") + QStringLiteral("The syntax for this option (for library ") + name +
      QStringLiteral(") is:\r\n") + QStringLiteral("ALTER DATABASE ") + lib.DatabaseName +
      QStringLiteral(" SET QUOTED_IDENTIFIER ON");
  LogThenHyphens(cx, text);
  if (cx.ui->DisplayErrors()) cx.ui->MessageBox(text, MsgIcon::Exclamation, MsgButtons::OK, cx.app.AppTitle);
}

namespace {

// A table's presence from its cell, or from the database when the cell is empty.
bool TablePresence(Context& cx, LibraryRow& row, LibCol col, const QString& table) {
  const bool exists = row[col].isEmpty() ? CheckForTable(cx, table) : CellFlag(row[col]);
  row[col] = FlagText(exists);
  return exists;
}

}  // namespace

void LearnTablePresence(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  lib.SettingsTableExists = TablePresence(cx, row, LibSettingsTable, QStringLiteral("TARN_SETTINGS"));
  lib.NeedsFolderingExists = TablePresence(cx, row, LibNeedsFoldering, QStringLiteral("NEEDS_FOLDERING"));
  lib.NeedsSecuringExists = TablePresence(cx, row, LibNeedsSecuring, QStringLiteral("NEEDS_SECURING"));
  lib.StackwrightTableExists = TablePresence(cx, row, LibStackwrightTable, QStringLiteral("TARN_STACKWRIGHT"));
  if (!lib.StackwrightTableExists)
    LogThenHyphens(cx, QStringLiteral("TARN_STACKWRIGHT table does not exist in library ") + CurrentLibraryName(cx));
  TablePresence(cx, row, LibSubscriptionTable, QStringLiteral("TARN_SUBSCRIPTION"));
  lib.ProxyTableExists = TablePresence(cx, row, LibProxyTable, QStringLiteral("TARN_PROXY"));
}

void LearnSqlLogin(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  QString stored = row[LibSqlLoginValue];
  lib.SqlLoginUnread = false;
  if (stored.isEmpty() && lib.SettingsTableExists) {
    const SqlAnswer answer =
        QueryFirstValue(cx, QStringLiteral("SELECT CHAR_VAL FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'TARNMONITOR' "
                                           "AND SECTION_KEY = 'SQL_LOGIN' AND SUB_KEY = '") +
                                StripQuotes(CurrentLibraryName(cx)) + QStringLiteral("'"));
    stored = answer.value;
    lib.SqlLoginUnread = !answer.succeeded;
  }
  row[LibSqlLoginValue] = stored;
  const SqlLoginParts parts = SplitSqlLogin(stored, lib.DatabaseOwner);
  lib.SqlLogin = parts.login;
  lib.SqlPassword = parts.password;
}

void LearnLibrarySettings(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (row[LibSettingsRead].isEmpty()) {
    // A setting the library does not hold has its start value, never the previous library's.
    lib.ProfileExcludeColumn.clear();
    lib.DefaultWorkspace.clear();
    lib.MaxItemsToSort = 0;
    lib.TopLevelWarning = 0;
    if (lib.SettingsTableExists) {
      ForEachRow(cx,
                 QStringLiteral("SELECT SUB_KEY, CHAR_VAL, INT_VAL FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' "
                                "AND SECTION_KEY = 'SETTINGS'"),
                 [&](dm::PcdSql& sql) {
                   const QString key = sql.ColumnValue(1);
                   if (key == QLatin1String("PROFILE_EXCLUDE_COLUMN"))
                     lib.ProfileExcludeColumn = sql.ColumnValue(2);
                   else if (key == QLatin1String("DEFAULT_WORKSPACE"))
                     lib.DefaultWorkspace = sql.ColumnValue(2);
                   else if (key == QLatin1String("TOPLEVELWARNING"))
                     lib.TopLevelWarning = static_cast<int>(WholeNumber(sql.ColumnValue(3)));
                   else if (key == QLatin1String("MAXITEMSTOSORT"))
                     lib.MaxItemsToSort = static_cast<int>(WholeNumber(sql.ColumnValue(3)));
                 });
    }
    row[LibSettingsRead] = QStringLiteral("x");
  } else {
    lib.ProfileExcludeColumn = row[LibProfileExcludeColumn];
    lib.DefaultWorkspace = row[LibDefaultWorkspace];
    lib.MaxItemsToSort = static_cast<int>(WholeNumber(row[LibMaxItemsToSort]));
    lib.TopLevelWarning = static_cast<int>(WholeNumber(row[LibTopLevelWarning]));
  }
  row[LibProfileExcludeColumn] = lib.ProfileExcludeColumn;
  row[LibDefaultWorkspace] = lib.DefaultWorkspace;
  row[LibMaxItemsToSort] = FormatNumber(lib.MaxItemsToSort);
  row[LibTopLevelWarning] = FormatNumber(lib.TopLevelWarning);
}

namespace {

// Inserts reason 98 and tells whether the row is there afterwards. Only a count that ran and
// found none leads here, and only a real id is used.
bool InsertSecurityReason(Context& cx) {
  dm::PcdSql* sql = Sql(cx);
  const qint64 id = sql ? sql->NextKey(QStringLiteral("SYSTEMKEY")) : 0;
  if (id == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to retrieve System_ID for inserting new row - cannot continue."));
    return false;
  }
  const SqlAnswer insert =
      QueryFirstValue(cx, QStringLiteral("INSERT INTO [OWNER].SEC_REASON (CODE, DESCRIPTION, SYSTEM_ID) VALUES(98,'QUILLMARK',") +
                              FormatNumber(id) + QStringLiteral(")"));
  return insert.succeeded && insert.rowsAffected != 0;
}

}  // namespace

void EnsureSecurityReason(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (row[LibSecReasonTable].isEmpty()) row[LibSecReasonTable] = FlagText(CheckForTable(cx, QStringLiteral("SEC_REASON")));
  lib.SecReasonTableExists = CellFlag(row[LibSecReasonTable]);
  if (!lib.SecReasonTableExists) {
    row[LibSecReasonCode] = FlagText(false);
  } else if (row[LibSecReasonCode].isEmpty()) {
    // Two computers on a library new to both: the count and the insert hold it for each other.
    const SqlTransaction fix = BeginTransaction(cx);
    const SqlAnswer count = QueryFirstValue(cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].SEC_REASON WHERE CODE = 98"));
    bool present = false;
    if (!count.succeeded || count.value.isEmpty())
      LogThenHyphens(cx, QStringLiteral("Error: Unable to count security reason 98 in library ") + CurrentLibraryName(cx));
    else
      present = WholeNumber(count.value) != 0 || InsertSecurityReason(cx);
    EndTransaction(cx, fix, true);
    row[LibSecReasonCode] = FlagText(present);
  }
  lib.SecReasonCodeExists = CellFlag(row[LibSecReasonCode]);
}

void LoadValidationTables(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (row[LibLookupSecurity].isEmpty()) {
    if (CheckForTable(cx, QStringLiteral("LOOKUP_SECURITY"))) {
      row[LibLookupSecurity] = FlagText(true);
      // The library's validation tables are asked for once a run, as the system asks; nothing in
      // the program reads them, so the answer is released unkept.
      RunAndRelease(cx, QStringLiteral("SELECT TABLE_NAME, SYSTEM_ID FROM [OWNER].DOCSTABLE WHERE VALIDATION_TABLE = 'Y' "
                                       "ORDER BY TABLE_NAME"));
    } else {
      row[LibLookupSecurity] = FlagText(false);
    }
  }
  lib.LookupSecurityExists = CellFlag(row[LibLookupSecurity]);
}

void LearnColumnChecks(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (row[LibSecurityLink].isEmpty())
    row[LibSecurityLink] = FlagText(CountIsNotZero(
        cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'PROFILE' AND COLNAME = 'SECURITY_LINK'")));
  lib.SecurityLinkExists = CellFlag(row[LibSecurityLink]);
  if (row[LibWorkspaceForm].isEmpty())
    row[LibWorkspaceForm] = FlagText(CountIsNotZero(
        cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].FORMS WHERE FORM_NAME = 'WORKSPACE_PROF' AND FORM_TYPE = 'P'")));
  lib.WorkspaceFormExists = CellFlag(row[LibWorkspaceForm]);
}

namespace {

bool LastUpdateRegistered(Context& cx) {
  return CountIsNotZero(
      cx, QStringLiteral("SELECT COUNT(*) FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"));
}

// Adds the column to FOLDER and registers it; false when a step failed and the fix-up ends.
bool AddLastUpdateColumn(Context& cx, const QString& name) {
  LogThenHyphens(cx, QStringLiteral("Adding LAST_UPDATE column to FOLDER table in library ") + name);
  // Oracle has no DATETIME; its DATE type holds date and time.
  const QString type = IsOracleEngine(cx.session.DatabaseEngine) ? QStringLiteral("DATE") : QStringLiteral("DATETIME");
  // A DDL statement affects no rows: its error code tells whether it worked.
  if (!QueryFirstValue(cx, QStringLiteral("ALTER TABLE [OWNER].FOLDER ADD LAST_UPDATE ") + type + QStringLiteral(" NULL"))
           .succeeded)
    return false;
  LogThenHyphens(cx, QStringLiteral("Updating DOCSCOLUMN column LAST_UPDATE for FOLDER table in library ") + name);
  RunSQL(cx, QStringLiteral("DELETE FROM [OWNER].DOCSCOLUMN WHERE TBNAME = 'FOLDER' AND COLNAME = 'LAST_UPDATE'"));
  Release(cx);
  dm::PcdSql* sql = Sql(cx);
  const qint64 id = sql ? sql->NextKey(QStringLiteral("SYSTEMKEY")) : 0;
  Release(cx);
  if (id == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to retrieve System_ID for inserting new row - cannot continue."));
    return false;
  }
  // The column's creator is the owner, written as the placeholder inside its literal.
  const QString insert =
      QStringLiteral("INSERT INTO [OWNER].DOCSCOLUMN (SYSTEM_ID, TBNAME, FTBNAME, FCOLNAME, CREATOR, PROTECTED, VISIBLEINLIST, "
                     "USER_MODIFIABLE, USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, OBJECTTYPE, CMSKEY, KEYGROUP, "
                     "COLNAME, PROMPT, CMSTYPE, COL_LENGTH) VALUES (") +
      FormatNumber(id) +
      QStringLiteral(", 'FOLDER',  '', '', '[OWNER]', 'N', 'Y', 'Y', 'Y', 'N', 'N', 'Y', 'EDIT', 'N', '', "
                     "'LAST_UPDATE', 'LAST_UPDATE',8, 0)");
  RunSQL(cx, ReplaceOwnerPlaceholdersInLiterals(insert, cx.library.DatabaseOwner));
  Release(cx);
  return true;
}

}  // namespace

void FixFolderLastUpdate(Context& cx, LibraryRow& row) {
  QString& cell = row[LibFolderLastUpdate];
  if (cell.isEmpty()) {
    const QString name = CurrentLibraryName(cx);
    // Two computers on a library new to both would both add the column, and one would fail: the
    // check and the change hold the library for each other.
    const SqlTransaction fix = BeginTransaction(cx);
    bool added = false;
    for (int round = 1; round <= 2; ++round) {
      cell = FlagText(LastUpdateRegistered(cx));
      if (CellFlag(cell) || round == 2) break;
      added = AddLastUpdateColumn(cx, name);
      if (!added) break;
    }
    EndTransaction(cx, fix, true);
    if (added) {
      RunSQL(cx, QStringLiteral("UPDATE [OWNER].FOLDER SET LAST_UPDATE = GETUTCDATE() WHERE PATH LIKE 'QUILLMARK%'"));
      Release(cx);
    }
  }
  cx.library.FolderLastUpdateExists = CellFlag(cell);
}

}  // namespace sw
