#include "core/library.h"

#include "core/context.h"
#include "core/library_checks.h"
#include "core/log.h"
#include "core/monitor_client.h"
#include "core/session.h"
#include "core/sql.h"
#include "core/text.h"

namespace sw {

namespace {

void Hyphens(Context& cx) { LogMessage(cx, HyphenLine); }

// Asked at every statement, with names nearly always written alike: those need no upper-casing.
bool SameName(const QString& a, const QString& b) { return a == b || a.toUpper() == b.toUpper(); }

QString NameOf(const dm::DmLibraryPtr& library) { return library ? library->Name() : QString(); }

// Everything that must belong to the current library, as it stood when a switch began.
struct LibrarySnapshot {
  dm::DmLibraryPtr library;
  dm::PcdSqlPtr sql;
  qint64 engine = 0;
  LibraryValues values;
};

LibrarySnapshot TakeSnapshot(const Context& cx) {
  return {cx.session.CurrentLibrary, cx.session.pSQL, cx.session.DatabaseEngine, cx.library};
}

void RestoreSnapshot(Context& cx, const LibrarySnapshot& s) {
  cx.session.CurrentLibrary = s.library;
  cx.session.pSQL = s.sql;
  cx.session.DatabaseEngine = s.engine;
  static_cast<LibraryValues&>(cx.library) = s.values;
}

// The start values of a library whose facts are not (yet) learned, with the owner kept.
void ResetLibraryValues(Context& cx) {
  const QString owner = cx.library.DatabaseOwner;
  static_cast<LibraryValues&>(cx.library) = LibraryValues{};
  cx.library.DatabaseOwner = owner;
}

int FindLibraryRow(const Context& cx, const QString& name);

// No SQL object and no facts: the next statement rebinds to whatever library is named current.
// The owner is the one learned for that library, else the DM's standard one.
void Unbind(Context& cx) {
  cx.session.pSQL.reset();
  cx.session.DatabaseEngine = 0;
  static_cast<LibraryValues&>(cx.library) = LibraryValues{};
  cx.library.SwitchIncomplete = true;
  const int row = cx.session.CurrentLibrary ? FindLibraryRow(cx, cx.session.CurrentLibrary->Name().toUpper()) : 0;
  const QString cached = row > 0 ? cx.library.LibraryTable[row][LibOwner] : QString();
  cx.library.DatabaseOwner = cached.isEmpty() ? DefaultDatabaseOwner : cached;
}

// A library left without its facts by a failed switch is switched to in full, even after the
// session check has given it a new SQL object.
bool IsCurrent(const Context& cx, const QString& name) {
  return cx.session.CurrentLibrary && !cx.library.SwitchIncomplete && SameName(cx.session.CurrentLibrary->Name(), name);
}

void BuildLibraryTable(Context& cx) {
  auto& lib = cx.library;
  if (lib.LibraryCount != 0) return;
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("ConnectLibrary"),
                        QStringLiteral("Object variable or With block variable not set"));
  const qint64 count = libraries->Count();
  lib.LibraryTable.assign(static_cast<size_t>(count) + 1, LibraryRow{});
  lib.LibraryCount = static_cast<int>(count);
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr item = libraries->Item(i);
    if (!item) continue;
    lib.LibraryTable[i][LibName] = item->Name();
    if (item->IsPrimary()) cx.ui->SetUserNameTip(item->UserName() + QStringLiteral(" primary library is ") + item->Name());
  }
}

int FindLibraryRow(const Context& cx, const QString& name) {
  for (int i = 1; i <= cx.library.LibraryCount; ++i)
    if (cx.library.LibraryTable[i][LibName].toUpper() == name) return i;
  return 0;
}

// The owner from the cache, or from the current library's REMOTE_LIBRARIES entry for the
// target. Only an owner found for this library is cached; without one the owner is left empty
// so that the library itself is asked (LearnOwnerBySql).
void ResolveOwner(Context& cx, LibraryRow& row, const QString& name) {
  auto& lib = cx.library;
  if (!row[LibOwner].isEmpty()) {
    lib.DatabaseOwner = row[LibOwner];
    return;
  }
  bool found = false;
  CheckSQLSettings(cx, name, &found);
  if (!found || lib.DatabaseOwner.isEmpty()) {
    lib.DatabaseOwner.clear();
    return;
  }
  row[LibOwner] = lib.DatabaseOwner;
}

// The walk over the live library collection; sets and returns the library object, or none.
dm::DmLibraryPtr ChooseLibraryObject(Context& cx, const QString& name) {
  const dm::DmLibrariesPtr libraries = cx.session.FusionLibraries;
  if (!libraries)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("ConnectLibrary"),
                        QStringLiteral("Object variable or With block variable not set"));
  const qint64 count = libraries->Count();
  for (qint64 i = 1; i <= count; ++i) {
    const dm::DmLibraryPtr item = libraries->Item(i);
    if (!item || item->Name().toUpper() != name) continue;
    LogMessage(cx, QStringLiteral("Setting Lib object to ") + item->Name());
    cx.session.CurrentLibrary = item;
    Hyphens(cx);
    return item;
  }
  return nullptr;
}

QString OwnerPrefix(const Context& cx) {
  return cx.library.DatabaseOwner.isEmpty() ? QString() : OwnerPlaceholder;
}

// A new SQL object bound to the session's token and the current library; false when none could
// be made.
bool BindSqlObject(Context& cx) {
  auto& s = cx.session;
  s.pSQL.reset();
  LogMessage(cx, QStringLiteral("Setting PCDClient.PCDSQL Object"));
  s.pSQL = cx.dm ? cx.dm->CreatePcdSql(QStringLiteral("PCDClient.PCDSQL")) : nullptr;
  Hyphens(cx);
  if (!s.pSQL) return false;
  LogMessage(cx, QStringLiteral("Setting pSQL Security Token"));
  s.pSQL->SetToken(s.FusionApplication ? s.FusionApplication->Token() : QString());
  Hyphens(cx);
  const QString name = s.CurrentLibrary->Name();
  LogMessage(cx, QStringLiteral("Setting pSQL library to ") + name);
  s.pSQL->SetLibrary(name);
  Hyphens(cx);
  return true;
}

void LearnEngine(Context& cx, LibraryRow& row) {
  auto& s = cx.session;
  s.DatabaseEngine = s.pSQL->DatabaseVendor();
  if (s.DatabaseEngine != 0) return;
  if (row[LibEngineCode].isEmpty()) {
    const QString value =
        QueryFirstValue(cx, QStringLiteral("SELECT DATABASE_ENGINE FROM ") + OwnerPrefix(cx) +
                                QStringLiteral("REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
                                StripQuotes(s.CurrentLibrary->Name()) + QStringLiteral("'"))
            .value;
    row[LibEngineCode] = FormatNumber(WholeNumber(value));
  }
  s.DatabaseEngine = WholeNumber(row[LibEngineCode]);
}

void LearnOwnerBySql(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (row[LibOwner].isEmpty()) {
    LogThenHyphens(cx, QStringLiteral("Identifying database owner using SQL"));
    const QString statement =
        lib.DatabaseOwner.isEmpty() && IsOracleEngine(cx.session.DatabaseEngine)
            ? QStringLiteral("SELECT OWNER FROM USER_TAB_PRIVS WHERE TABLE_NAME = 'REMOTE_LIBRARIES'")
            : QStringLiteral("SELECT OWNER FROM ") + OwnerPrefix(cx) + QStringLiteral("REMOTE_LIBRARIES WHERE LIBRARY_NAME = '") +
                  StripQuotes(cx.session.CurrentLibrary->Name()) + QStringLiteral("'");
    const QString owner = QueryFirstValue(cx, statement).value.trimmed();
    if (!owner.isEmpty()) {
      lib.DatabaseOwner = owner;
      row[LibOwner] = owner;
    }
    LogThenHyphens(cx, QStringLiteral("SQL Database_Engine value is ") + FormatNumber(cx.session.DatabaseEngine));
    LogThenHyphens(cx, QStringLiteral("SQL Database Owner is ") + lib.DatabaseOwner);
  }
  // A library whose owner nobody could tell works with the DM's standard owner, never with an
  // empty one (that would address every table as ".NAME") nor with another library's.
  lib.DatabaseOwner = row[LibOwner].isEmpty() ? DefaultDatabaseOwner : row[LibOwner];
}

void SetDialect(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  const qint64 engine = cx.session.DatabaseEngine;
  if (IsOracleEngine(engine)) {
    lib.OuterJoinOperator = QStringLiteral(" (+) = ");
    lib.ConcatOperator = QStringLiteral(" || ");
    lib.QuotedNextColumn = QStringLiteral("\"NEXT\"");
    lib.EngineName = QStringLiteral("Oracle");
    return;
  }
  // An engine the DM does not name is served like SQL Server, as RunSQL serves it; the
  // folder-item statements need a quoted NEXT either way.
  lib.OuterJoinOperator = QStringLiteral(" = ");
  lib.ConcatOperator = QStringLiteral(" + ");
  lib.QuotedNextColumn = QStringLiteral("[NEXT]");
  if (engine == 0) {
    lib.EngineName = QStringLiteral("*Unknown*");
    return;
  }
  lib.ServerVersionText.clear();
  lib.ServerMajorVersion = 0;
  lib.ServerMinorVersion = 0;
  // The server facts skip what fails; the label is set either way.
  try {
    LearnServerVersion(cx, row);
  } catch (const std::exception&) {
  }
  if (engine == 6)
    lib.EngineName = QStringLiteral("Sybase");
  else if (lib.ServerMajorVersion != 0)
    lib.EngineName = QStringLiteral("MSSQL ") + FormatNumber(lib.ServerMajorVersion);
  else
    lib.EngineName = QStringLiteral("MSSQL");
}

void MarkLibraryMenu(Context& cx) {
  const QString current = cx.session.CurrentLibrary->Name().toUpper();
  const QStringList captions = cx.ui->LibraryMenu();
  for (int k = 0; k < captions.size(); ++k) cx.ui->SetLibraryMenuChecked(k, captions[k].toUpper() == current);
}

// The labels and menu marks show whatever library is current after a failed switch.
void ShowCurrentLibrary(Context& cx) {
  const dm::DmLibraryPtr& current = cx.session.CurrentLibrary;
  if (current)
    cx.ui->SetLibraryLabels(current->UserName(), current->PrimaryGroup(), current->Name());
  else
    cx.ui->SetLibraryLabels(QString(), QString(), QString());
  const QString name = NameOf(current).toUpper();
  const QStringList captions = cx.ui->LibraryMenu();
  for (int k = 0; k < captions.size(); ++k) cx.ui->SetLibraryMenuChecked(k, current && captions[k].toUpper() == name);
}

void CloseSwitch(Context& cx, bool connected) {
  MonitorHeartbeat(cx);
  if (connected) cx.library.LibraryConnected = true;
  LogMessage(cx, QStringLiteral("Connected to ") + cx.library.EngineName + QStringLiteral(" Library Object ") +
                     NameOf(cx.session.CurrentLibrary) + QStringLiteral("."));
  Hyphens(cx);
}

bool Switch(Context& cx, const QString& libraryName, bool mayReconnect);

// What a switch was asked for and the state it started from, which its failure paths go back to.
struct SwitchRequest {
  QString name;  // trimmed and upper-cased
  LibrarySnapshot entry;
  bool mayReconnect = false;
};

// Makes the session's own library current with state that belongs to it: the state the switch
// started from when that was the same library, else a switch to it. When the session's library
// is the one that just failed, or cannot be switched to, it stays current without an SQL object
// or facts, so the next switch to it starts afresh.
void ReturnToSessionLibrary(Context& cx, const dm::DmLibraryPtr& home, const SwitchRequest& request) {
  const LibrarySnapshot& entry = request.entry;
  if (home && entry.library && entry.sql && !entry.values.SwitchIncomplete && SameName(entry.library->Name(), home->Name())) {
    RestoreSnapshot(cx, entry);
    ShowCurrentLibrary(cx);
    return;
  }
  cx.session.CurrentLibrary.reset();
  Unbind(cx);
  const bool retry = home && request.mayReconnect && !SameName(home->Name(), request.name);
  if (retry && Switch(cx, home->Name(), false)) return;
  cx.session.CurrentLibrary = home;
  Unbind(cx);
  ShowCurrentLibrary(cx);
}

bool FallBack(Context& cx, const SwitchRequest& request) {
  Hyphens(cx);
  const dm::DmLibraryPtr home =
      cx.session.FusionApplication ? cx.session.FusionApplication->CurrentLibrary() : dm::DmLibraryPtr();
  const QString prefix =
      QStringLiteral("Error: Unable to set library object to ") + request.name + QStringLiteral(" - library object set to ");
  if (home && !SameName(home->Name(), request.name)) SetStatus(cx, prefix + home->Name());
  if (!home) SetStatus(cx, prefix + QStringLiteral("nothing"));
  Hyphens(cx);
  ReturnToSessionLibrary(cx, home, request);
  return false;
}

bool ErrorPath(Context& cx, const SwitchRequest& request, qint64 number, const QString& source, const QString& description) {
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("ConnectLibrary:"));
  ReportError(cx, number, source, description);
  return FallBack(cx, request);
}

bool ObjectFailurePath(Context& cx, const SwitchRequest& request) {
  const QString text = QStringLiteral("Error: The LIBS object is not set - this indicates a problem with how ") + ProductName +
                       QStringLiteral(" accesses the Fusion API on your computer");
  SetStatus(cx, text);
  Hyphens(cx);
  if (cx.ui->DisplayErrors()) cx.ui->MessageBox(text, MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
  return FallBack(cx, request);
}

// The steps from the SQL object to the rules reload, on the library just chosen.
void CompleteSwitch(Context& cx, LibraryRow& row) {
  LearnEngine(cx, row);
  LearnOwnerBySql(cx, row);
  // The dialect and the server facts skip what fails and go on.
  try {
    SetDialect(cx, row);
  } catch (const std::exception&) {
  }
  if (IsOracleEngine(cx.session.DatabaseEngine)) return;
  try {
    LearnProductVersion(cx, row);
  } catch (const std::exception&) {
  }
}

// The switch's stamp serves that switch alone: a load of the rules at any other time takes its own.
struct SwitchStampScope {
  explicit SwitchStampScope(Context& cx) : cx_(cx) { Clear(); }
  ~SwitchStampScope() { Clear(); }
  SwitchStampScope(const SwitchStampScope&) = delete;
  SwitchStampScope& operator=(const SwitchStampScope&) = delete;
  void Clear() {
    cx_.library.SwitchStampLibrary.clear();
    cx_.library.SwitchStamp.clear();
  }
  Context& cx_;
};

// The library's stamp of TARN_SETTINGS, taken before anything of this switch reads the table: a
// change made after it shows at the next switch. Empty when the SQL object cannot tell.
void TakeSwitchStamp(Context& cx) {
  auto& lib = cx.library;
  lib.SwitchStampLibrary = cx.session.CurrentLibrary->Name();
  lib.SwitchStamp = cx.session.pSQL->TableStamp(QStringLiteral("TARN_SETTINGS"));
}

// A full switch asks again, at the next switch, for what it could not learn (an owner, a version
// fact, a login whose read failed): only a library that left none of these is switched back to
// from memory.
bool NothingLeftToAsk(const Context& cx, const LibraryRow& row) {
  if (row[LibOwner].isEmpty() || cx.library.SqlLoginUnread) return false;
  const qint64 engine = cx.session.DatabaseEngine;
  if (IsOracleEngine(engine)) return true;
  if (row[LibProductVersion].isEmpty() || row[LibCompatibilityLevel].isEmpty()) return false;
  return engine == 0 || !row[LibServerVersionText].isEmpty();
}

void KeepCheckedLibrary(Context& cx, const LibraryRow& row) {
  auto& lib = cx.library;
  const QString key = row[LibName].toUpper();
  if (lib.SwitchStamp.isEmpty() || !NothingLeftToAsk(cx, row)) {
    lib.CheckedLibraries.erase(key);
    return;
  }
  lib.CheckedLibraries[key] = CheckedLibrary{lib.SwitchStamp, cx.session.DatabaseEngine, static_cast<const LibraryValues&>(lib)};
}

// A switch back to a library whose complete switch left its values while its settings table
// shows no change since: the values come back as that switch's checks left them, without the
// version facts parsed again; the version line is logged as a full switch logs it.
bool SwitchBack(Context& cx, LibraryRow& row) {
  auto& lib = cx.library;
  if (lib.SwitchStamp.isEmpty()) return false;
  const auto kept = lib.CheckedLibraries.find(row[LibName].toUpper());
  if (kept == lib.CheckedLibraries.end() || kept->second.SettingsStamp != lib.SwitchStamp) return false;
  LearnEngine(cx, row);
  const qint64 engine = cx.session.DatabaseEngine;
  if (engine != kept->second.Engine) return false;
  static_cast<LibraryValues&>(lib) = kept->second.Values;
  if (engine != 0 && !IsOracleEngine(engine) && !lib.ServerVersionText.isEmpty()) LogThenHyphens(cx, lib.ServerVersionText);
  return true;
}

// How the steps of a switch ended: the way out the switch takes, with the error a failed step
// reports.
struct StepEnd {
  enum Way {
    GoOn,          // the next step follows; after the last, the switch is made
    Stopped,       // the step said why and left things as they must stay: the switch fails
    ObjectNotSet,  // the library object could not be set
    GoBack,        // not the library asked for: the collection no longer offers it, or another became current
    Failed,        // an error: reported, then back to the session's library
  };
  StepEnd(Way w) : way(w) {}  // not explicit: a step that only goes its way returns the way
  Way way;
  qint64 number = 0;
  QString source, description;
};

StepEnd FailedWith(qint64 number, const QString& source, const QString& description) {
  StepEnd end(StepEnd::Failed);
  end.number = number;
  end.source = source;
  end.description = description;
  return end;
}

// The library's row of the library table, its owner resolved; none when the table has no row for
// it, which the switch ends on after saying so.
LibraryRow* RowToSwitchTo(Context& cx, const QString& name) {
  BuildLibraryTable(cx);
  const int rowIndex = FindLibraryRow(cx, name);
  if (rowIndex == 0) {
    Hyphens(cx);
    SetStatus(cx, QStringLiteral("Warning: Unable to define library ") + name + QStringLiteral(" in requisite Library Array"));
    Hyphens(cx);
    CloseSwitch(cx, false);
    return nullptr;
  }
  LibraryRow& row = cx.library.LibraryTable[rowIndex];
  ResolveOwner(cx, row, name);
  LogThenHyphens(cx, QStringLiteral("Connecting to library ") + name);
  return &row;
}

// Step: choose the library object, which becomes current. Whatever goes wrong while choosing is
// the object's failure, as is finding none while no library is current.
StepEnd ChooseObject(Context& cx, const QString& name, dm::DmLibraryPtr& chosen) {
  try {
    chosen = ChooseLibraryObject(cx, name);
  } catch (const std::exception&) {
    return StepEnd::ObjectNotSet;
  }
  if (chosen) return StepEnd::GoOn;
  if (cx.session.CurrentLibrary) return StepEnd::GoBack;
  Hyphens(cx);
  SetStatus(cx, QStringLiteral("Error: Unable to set LIB object - cannot continue"));
  Hyphens(cx);
  return StepEnd::ObjectNotSet;
}

// Step: open the chosen library and bind an SQL object to it, with nothing of the previous
// library's values.
StepEnd OpenChosen(Context& cx, const QString& name, dm::DmLibrary& library) {
  library.Activate();
  // A library whose database cannot be opened is named with the database's reason, and shown
  // in a box while "Display Errors" is ticked, as a library object that cannot be set is.
  if (library.Error.ErrNumber != 0) {
    if (cx.ui->DisplayErrors())
      cx.ui->MessageBox(QStringLiteral("Error: The library ") + name + QStringLiteral(" cannot be opened - ") +
                            library.Error.ErrDescription,
                        MsgIcon::Critical, MsgButtons::OK, cx.app.AppTitle);
    return FailedWith(library.Error.ErrNumber, QStringLiteral("DOCSObjects.Library"), library.Error.ErrDescription);
  }
  if (library.UserName().isEmpty()) {
    SetStatus(cx, QStringLiteral("Error: Library UserName not identified"));
    Hyphens(cx);
    // The library stays current, but with nothing of the previous one: no SQL object, no facts.
    Unbind(cx);
    return StepEnd::Stopped;
  }
  cx.ui->SetLibraryLabels(library.UserName(), library.PrimaryGroup(), library.Name());
  ResetLibraryValues(cx);
  if (BindSqlObject(cx)) return StepEnd::GoOn;
  SetStatus(cx, QStringLiteral("Error: Unable to set SQL object - cannot start ") + ProductName);
  Hyphens(cx);
  return FailedWith(0, QString(), QString());
}

// Step: switch back (the values a complete switch left, while the settings table is unchanged)
// or complete the switch and check the library, then load its rules.
StepEnd TakeLibraryValues(Context& cx, const QString& name, LibraryRow& row) {
  TakeSwitchStamp(cx);
  const bool back = SwitchBack(cx, row);
  if (!back) CompleteSwitch(cx, row);
  if (!SameName(cx.session.CurrentLibrary->Name(), name)) return StepEnd::GoBack;
  MarkLibraryMenu(cx);
  if (back) {
    RunSwitchBackChecks(cx);
  } else {
    RunLibraryChecks(cx, row);
    KeepCheckedLibrary(cx, row);
  }
  cx.LoadLibraryRules();
  CloseSwitch(cx, true);
  return StepEnd::GoOn;
}

// The steps in turn, each only when the one before went on; an exception out of a step is its
// failure.
StepEnd RunSwitchSteps(Context& cx, const QString& name) {
  try {
    LibraryRow* row = RowToSwitchTo(cx, name);
    if (!row) return StepEnd::Stopped;
    dm::DmLibraryPtr chosen;
    StepEnd end = ChooseObject(cx, name, chosen);
    if (end.way == StepEnd::GoOn) end = OpenChosen(cx, name, *chosen);
    if (end.way == StepEnd::GoOn) end = TakeLibraryValues(cx, name, *row);
    return end;
  } catch (const DmCallFailure& e) {
    return FailedWith(e.Number(), e.Source(), e.Description());
  } catch (const std::exception& e) {
    return FailedWith(ErrAutomation, QStringLiteral("ConnectLibrary"), QString::fromLocal8Bit(e.what()));
  }
}

// The way out the steps ended on. Every failure path but a stop goes back to the session's library.
bool WayOut(Context& cx, const SwitchRequest& request, const StepEnd& end) {
  switch (end.way) {
    case StepEnd::GoOn:
      return true;
    case StepEnd::Stopped:
      return false;
    case StepEnd::ObjectNotSet:
      return ObjectFailurePath(cx, request);
    case StepEnd::GoBack:
      return FallBack(cx, request);
    case StepEnd::Failed:
      return ErrorPath(cx, request, end.number, end.source, end.description);
  }
  return false;
}

bool Switch(Context& cx, const QString& libraryName, bool mayReconnect) {
  if (!CheckFusion(cx, QStringLiteral("ConnectLibrary"))) return false;
  const QString name = TrimBlanks(libraryName).toUpper();
  if (name.isEmpty()) {
    SetStatus(cx, QStringLiteral("Warning: Library name is blank - cannot change connection"));
    Hyphens(cx);
    return false;
  }
  if (IsCurrent(cx, name)) return true;
  const SwitchRequest request{name, TakeSnapshot(cx), mayReconnect};
  const SwitchStampScope stampScope(cx);
  return WayOut(cx, request, RunSwitchSteps(cx, name));
}

}  // namespace

bool ConnectLibrary(Context& cx, const QString& libraryName) {
  // Whatever goes wrong in one switch is one failure, the library's.
  const OneFailure failure(cx, libraryName);
  return Switch(cx, libraryName, true);
}

QString TablePresenceQuery(qint64 engine, const QString& tableName) {
  const QString table = StripQuotes(tableName);
  if (IsOracleEngine(engine))
    return QStringLiteral("SELECT COUNT(*) FROM ALL_TABLES WHERE TABLE_NAME = '") + table + QStringLiteral("'");
  if (engine != 0)
    return QStringLiteral("select count(*) from sysobjects \r\nwhere id = object_id('[OWNER].") + table +
           QStringLiteral("') \r\nand sysstat & 0xf = 3 ");
  return QStringLiteral("SELECT COUNT(*) FROM [OWNER].DOCSTABLE WHERE UPPER(TABLE_NAME) = '") + table.toUpper() +
         QStringLiteral("'");
}

bool CheckForTable(Context& cx, const QString& tableName) {
  const QString library = NameOf(cx.session.CurrentLibrary);
  LogThenHyphens(cx, QStringLiteral("Checking for ") + tableName + QStringLiteral(" Table in library ") + library);
  // The check's own SQL lines stay out of the log.
  const bool verbose = cx.ui->VerboseLogging();
  cx.ui->SetVerboseLogging(false);
  bool exists = false;
  try {
    // The catalogue is asked for the owner's table by name, inside a literal.
    const QString query = ReplaceOwnerPlaceholdersInLiterals(TablePresenceQuery(cx.session.DatabaseEngine, tableName),
                                                             cx.library.DatabaseOwner);
    exists = NumericValue(QueryFirstValue(cx, query).value) > 0;
  } catch (const DmCallFailure& e) {
    ReportError(cx, e.Number(), e.Source(), e.Description());
  } catch (const std::exception& e) {
    ReportError(cx, ErrAutomation, QStringLiteral("CheckForTable"), QString::fromLocal8Bit(e.what()));
  }
  cx.ui->SetVerboseLogging(verbose);
  if (!exists) LogThenHyphens(cx, tableName + QStringLiteral(" not found in library ") + library);
  return exists;
}

namespace {

bool CheckSQLSettingsFailed(Context& cx, qint64 number, const QString& source, const QString& description) {
  Hyphens(cx);
  LogMessage(cx, QStringLiteral("CheckSQLSettings:"));
  ReportError(cx, number, source, description);
  Hyphens(cx);
  return false;
}

// The target's OWNER from the current library's REMOTE_LIBRARIES; false when no row came back.
bool ReadRemoteOwner(Context& cx, const QString& current, const QString& target, QString* owner, bool* listed) {
  RunSQL(cx, QStringLiteral("SELECT LIBRARY_NAME, SQL_PASSWORD, LIB_LOGIN_UNAME, OWNER FROM [OWNER].REMOTE_LIBRARIES WHERE "
                            "LIBRARY_NAME IN ('") +
                 StripQuotes(current) + QStringLiteral("', '") + StripQuotes(target) + QStringLiteral("')"));
  dm::PcdSql* sql = cx.session.pSQL.get();
  if (!sql)
    throw DmCallFailure(ErrObjectNotSet, QStringLiteral("CheckSQLSettings"),
                        QStringLiteral("Object variable or With block variable not set"));
  if (sql->RowCount() == 0) {
    LogThenHyphens(cx, QStringLiteral("Error: Unable to obtain results from SQL statement in library ") + current);
    sql->ReleaseResults();
    return false;
  }
  const QString currentUpper = current.toUpper();
  const QString targetUpper = target.toUpper();
  do {
    const QString entry = sql->ColumnValue(1).trimmed().toUpper();
    if (entry.isEmpty() || entry == currentUpper || entry != targetUpper) continue;
    *listed = true;
    *owner = sql->ColumnValue(4).trimmed();  // a later row of the same name replaces an earlier one
  } while (sql->NextRow() != 0);
  sql->ReleaseResults();
  return true;
}

}  // namespace

bool CheckSQLSettings(Context& cx, const QString& targetLibrary, bool* ownerFound) {
  if (ownerFound) *ownerFound = false;
  auto& lib = cx.library;
  if (lib.DatabaseOwner.isEmpty()) lib.DatabaseOwner = DefaultDatabaseOwner;
  try {
    if (!CheckFusion(cx, QStringLiteral("CheckSQLSettings"))) return false;
    if (!cx.session.CurrentLibrary) return false;
    const QString current = cx.session.CurrentLibrary->Name();
    if (targetLibrary == current) return true;
    LogThenHyphens(cx, QStringLiteral("Checking SQL connection settings in ") + current + QStringLiteral(" to ") + targetLibrary);
    QString owner;
    bool listed = false;
    if (!ReadRemoteOwner(cx, current, targetLibrary, &owner, &listed)) return false;
    if (!listed) {
      LogThenHyphens(cx, QStringLiteral("Error: The library you are attempting to connect to (") + targetLibrary +
                      QStringLiteral(") is not properly configured ") +
                      QStringLiteral("in the REMOTE_LIBRARIES table in your current library (") + current + QStringLiteral(")"));
    }
    if (!owner.isEmpty()) {
      lib.DatabaseOwner = owner;
      if (ownerFound) *ownerFound = true;
    }
    return true;
  } catch (const DmCallFailure& e) {
    return CheckSQLSettingsFailed(cx, e.Number(), e.Source(), e.Description());
  } catch (const std::exception& e) {
    return CheckSQLSettingsFailed(cx, ErrAutomation, QStringLiteral("CheckSQLSettings"), QString::fromLocal8Bit(e.what()));
  }
}

}  // namespace sw
