#pragma once
// What the program knows of the libraries: the LibraryTable that each first switch to a library
// fills, and the current library's values (owner, tables present, settings read), which a
// switch replaces. Held in the context as `cx.library`; the library switch owns it.
#include <QString>
#include <QStringList>
#include <array>
#include <map>
#include <vector>

namespace sw {

// The owner of the DM tables when nothing else is known; the start-up begins with it.
inline const QString DefaultDatabaseOwner = QStringLiteral("DOCSADM");

// Columns of a LibraryTable row: what the first switch to a library learned about it. An empty
// cell means "not learned yet"; flags are "-1"/"0", numbers "#0".
enum LibCol : int {
  LibName = 1,
  LibSettingsTable = 2,
  LibNeedsFoldering = 3,
  LibServerDatabase = 4,  // SERVER_LOCATION ":" DATABASE_NAME
  LibSettingsRead = 5,    // "x" once the SETTINGS rows were read
  LibNeedsSecuring = 6,
  LibStackwrightTable = 7,
  LibSubscriptionTable = 8,
  LibProxyTable = 9,
  LibProfileExcludeColumn = 10,
  LibDefaultWorkspace = 11,
  LibMaxItemsToSort = 15,
  LibTopLevelWarning = 16,
  LibOwner = 20,
  LibSqlLoginValue = 22,
  LibServerVersionText = 31,
  LibDateFormatSet = 32,  // "SET" once "set dateformat mdy" ran
  LibSecReasonTable = 39,
  LibSecReasonCode = 40,
  LibLookupSecurity = 41,
  LibSecurityLink = 42,
  LibWorkspaceForm = 43,
  LibFolderLastUpdate = 44,
  LibProductVersion = 48,
  LibCompatibilityLevel = 49,
  LibEngineCode = 50,
};
inline constexpr int LibraryTableColumns = 52;  // columns 0..51; 0 is never used

using LibraryRow = std::array<QString, LibraryTableColumns>;

// What the library switch sets for the current library and the rest of the system reads. All of
// it belongs to one library at a time: a switch starts each library from these start values, so
// nothing learned about one library is ever read as a fact of another.
struct LibraryValues {
  QString DatabaseOwner;
  QString EngineName;
  QString OuterJoinOperator;
  QString ConcatOperator;
  QString QuotedNextColumn;
  // Server facts (SQL Server libraries).
  QString ServerVersionText;
  int ServerMajorVersion = 0;
  int ServerMinorVersion = 0;
  QString ServerProductVersion;
  QString CompatibilityLevel;
  // Where the library's database lives, for the external monitor.
  QString ServerLocation;
  QString DatabaseName;
  QString SqlLogin;
  QString SqlPassword;
  // The system's own tables.
  bool SettingsTableExists = false;
  bool NeedsFolderingExists = false;
  bool NeedsSecuringExists = false;
  bool StackwrightTableExists = false;
  bool ProxyTableExists = false;
  // Library settings from TARN_SETTINGS.
  QString ProfileExcludeColumn;
  QString DefaultWorkspace;
  int MaxItemsToSort = 0;
  int TopLevelWarning = 0;
  // Security reason 98, validation tables and schema facts.
  bool SecReasonTableExists = false;
  bool SecReasonCodeExists = false;
  bool LookupSecurityExists = false;
  bool SecurityLinkExists = false;
  bool WorkspaceFormExists = false;
  bool FolderLastUpdateExists = false;
  bool LibraryConnected = false;
  // The current library was left by a failed switch without its facts (and maybe without an
  // SQL object): it is not taken for connected, so the next switch to it runs in full.
  bool SwitchIncomplete = false;
};

// What a complete switch to a library left after its checks, for a switch back to it. It holds
// while the library's stamp of TARN_SETTINGS stays what it was when that switch began: the other
// answers come from LibraryTable cells, which the run keeps anyway, and what is asked at every
// switch (the unique-names property, the quoted-identifier setting) is asked again or taken from
// the open transaction's facts.
struct CheckedLibrary {
  QString SettingsStamp;  // never empty: without a stamp nothing is kept
  qint64 Engine = 0;
  LibraryValues Values;
};

// State of the current library, set by the library switch, and the cache of what each library's
// first switch learned (kept for the whole run).
struct LibraryState : LibraryValues {
  // Rows 0..LibraryCount, row i for item i of the session's libraries when the table was built.
  std::vector<LibraryRow> LibraryTable;
  int LibraryCount = 0;
  // Libraries whose QUOTED_IDENTIFIER warning was already given in this run.
  QStringList QuotedIdentifierWarned;
  // By upper-cased library name; one entry a library, renewed by each complete switch to it.
  std::map<QString, CheckedLibrary> CheckedLibraries;
  // The stamp of TARN_SETTINGS the switch in hand took before anything read the table, and the
  // library it belongs to: the rules load of the same switch goes by it too. Empty outside a switch.
  QString SwitchStampLibrary;
  QString SwitchStamp;
  // The SQL-login read of the switch in hand failed: its empty answer must not be kept.
  bool SqlLoginUnread = false;
};

}  // namespace sw
