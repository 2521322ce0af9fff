#pragma once
// The DM API as the system uses it: a session, its libraries, the SQL object, folders and
// profiles with their columns, trustees and parent folders. Here these objects are served by an
// emulator that keeps each library in an SQLite file (see dm_server.h); every operation works
// for real against those files.
//
// Conventions of the API that callers rely on:
// - Objects are handed out as shared pointers; an empty pointer is "no object" (Nothing).
// - Numbers the DM returns as whole numbers (document numbers, counts, codes) are 64-bit here.
// - A failed operation on a folder, profile or column sets that object's ErrNumber (0 = success)
//   and ErrDescription.
#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>
#include <memory>
#include <vector>

namespace sw::dm {

class DmApplication;
class DmLibraries;
class DmLibrary;
class DmFolder;
class DmProfile;
class DmColumns;
class DmColumn;
class DmTrustees;
class DmEffectiveRights;
class DmLibraryProperties;
class DmLibraryProperty;
class DmParentFolders;
class PcdSql;
class DmSessionHelper;
class DmBrowser;
class DmServer;

using DmApplicationPtr = std::shared_ptr<DmApplication>;
using DmLibrariesPtr = std::shared_ptr<DmLibraries>;
using DmLibraryPtr = std::shared_ptr<DmLibrary>;
using DmFolderPtr = std::shared_ptr<DmFolder>;
using DmProfilePtr = std::shared_ptr<DmProfile>;
using DmColumnsPtr = std::shared_ptr<DmColumns>;
using DmColumnPtr = std::shared_ptr<DmColumn>;
using DmTrusteesPtr = std::shared_ptr<DmTrustees>;
using DmEffectiveRightsPtr = std::shared_ptr<DmEffectiveRights>;
using DmLibraryPropertiesPtr = std::shared_ptr<DmLibraryProperties>;
using DmLibraryPropertyPtr = std::shared_ptr<DmLibraryProperty>;
using DmParentFoldersPtr = std::shared_ptr<DmParentFolders>;
using PcdSqlPtr = std::shared_ptr<PcdSql>;
using DmSessionHelperPtr = std::shared_ptr<DmSessionHelper>;
using DmBrowserPtr = std::shared_ptr<DmBrowser>;
using DmServerPtr = std::shared_ptr<DmServer>;

// Error members of the folder, profile and column objects (DmObjectError).
struct DmObjectError {
  qint64 ErrNumber = 0;
  QString ErrDescription;
  void Clear() { ErrNumber = 0; ErrDescription.clear(); }
};

// Object type codes accepted by OpenFolder/OpenProfile in their two-argument form.
inline constexpr int DmObjectFolder = 3;

// The factory that stands in for creating COM objects by class or programmatic identifier.
// Each create call may be made to fail (for tests), returning an empty pointer.
class DmComponents {
 public:
  explicit DmComponents(DmServerPtr server);
  // A new instance of the DM application class (the first way of starting a session).
  DmApplicationPtr NewApplication();
  // By programmatic identifier: "DOCSObjects.Application", "PCDClient.PCDSQL".
  DmApplicationPtr CreateApplication(const QString& progId = QStringLiteral("DOCSObjects.Application"));
  PcdSqlPtr CreatePcdSql(const QString& progId = QStringLiteral("PCDClient.PCDSQL"));
  DmSessionHelperPtr CreateSessionHelper();
  DmBrowserPtr CreateBrowser();

  const DmServerPtr& Server() const { return server_; }

  // The DM client's library chooser, given to every application made from here on, so a
  // session that is started again keeps it.
  std::function<int(const QStringList&)> libraryChooser;

  // Failure injection for tests.
  bool failNewApplication = false;
  bool failCreateApplication = false;
  bool failCreatePcdSql = false;
  bool failCreateBrowser = false;

 private:
  DmServerPtr server_;
};

class DmApplication {
 public:
  virtual ~DmApplication() = default;
  // Logs on; no dialog here. The token is empty until then and after a failed log-on.
  virtual void Login(qint64 windowHandle) = 0;
  virtual QString Token() const = 0;
  virtual DmLibrariesPtr Libraries() = 0;
  // The library the session starts in (may be none).
  virtual DmLibraryPtr CurrentLibrary() = 0;
  virtual DmLibraryPtr DefaultLibrary() = 0;
  // The DM client's library chooser; none when cancelled. The chooser itself is set with
  // SetLibraryChooser (a dialog in the program, a script in tests).
  virtual DmLibraryPtr ChooseLibrary() = 0;
  // Given the library names, returns the chosen index from 0, or -1 for cancel.
  virtual void SetLibraryChooser(std::function<int(const QStringList&)> chooser) = 0;
};

class DmLibraries {
 public:
  virtual ~DmLibraries() = default;
  virtual qint64 Count() const = 0;
  virtual DmLibraryPtr Item(qint64 index) = 0;  // from 1; none outside 1..Count
};

class DmLibraryProperty {
 public:
  virtual ~DmLibraryProperty() = default;
  virtual QString Name() const = 0;
  virtual QVariant Value() const = 0;
};

class DmLibraryProperties {
 public:
  virtual ~DmLibraryProperties() = default;
  virtual qint64 Count() const = 0;
  virtual DmLibraryPropertyPtr Item(const QString& name) = 0;  // none for an unknown name
  virtual DmLibraryPropertyPtr Item(qint64 index) = 0;         // from 1
};

class DmLibrary {
 public:
  virtual ~DmLibrary() = default;
  virtual QString Name() const = 0;
  virtual QString Description() const = 0;
  virtual QString UserName() const = 0;  // empty = no user
  virtual QString PrimaryGroup() const = 0;
  virtual bool IsPrimary() const = 0;
  virtual void Activate() = 0;
  virtual qint64 SearchFlag() const = 0;
  virtual void SetSearchFlag(qint64 flag) = 0;
  virtual DmLibraryPropertiesPtr Properties() = 0;
  virtual DmFolderPtr NewFolder() = 0;  // unsaved
  virtual DmFolderPtr OpenFolder(qint64 docNumber) = 0;
  virtual DmFolderPtr OpenFolder(int objectType, qint64 docNumber) = 0;
  virtual DmProfilePtr OpenProfile(qint64 docNumber) = 0;
  virtual DmProfilePtr OpenProfile(int objectType, qint64 docNumber) = 0;
  // The late-bound project (folder) look-up of the library's inner object.
  virtual DmFolderPtr GetProject(qint64 docNumber) = 0;
  DmObjectError Error;
};

class DmColumn {
 public:
  virtual ~DmColumn() = default;
  virtual QString Name() const = 0;
  virtual int TypeCode() const = 0;  // 4 numeric; 128 writable even when protected (flag bits)
  virtual QVariant Value() const = 0;  // a null QVariant is NULL, apart from empty text
  virtual void SetValue(const QVariant& v) = 0;
  virtual bool IsValid() = 0;  // look-up columns checked against their tables
  virtual bool Protected() const = 0;
  DmObjectError Error;
};

class DmColumns {
 public:
  virtual ~DmColumns() = default;
  virtual qint64 Count() const = 0;  // 0 = unusable profile
  // None for an unknown name. A name "$" + a PROFILE column ("$DEFAULT_RIGHTS") reads that
  // stored column directly, whether the form shows it or not; such a column is read-only.
  virtual DmColumnPtr Item(const QString& name) = 0;
  virtual DmColumnPtr Item(qint64 index) = 0;         // from 1
  virtual void LoadUserDefaults() = 0;
};

class DmEffectiveRights {
 public:
  virtual ~DmEffectiveRights() = default;
  virtual bool CanAct() const = 0;
};

class DmTrustees {
 public:
  virtual ~DmTrustees() = default;
  virtual qint64 Count() const = 0;
  virtual DmEffectiveRightsPtr EffectiveRights(const QString& user) = 0;  // none for an unknown user
};

// One entry of a profile's parent folders.
struct DmParentFolder {
  qint64 DocNumber = 0;
  QString Library;
  QString Name;
  QString Description;  // the folder's description (PROFILE.ABSTRACT)
};

class DmParentFolders {
 public:
  virtual ~DmParentFolders() = default;
  virtual qint64 Count() const = 0;
  virtual DmParentFolder Item(qint64 index) const = 0;  // from 1
};

class DmProfile {
 public:
  virtual ~DmProfile() = default;
  virtual DmColumnsPtr Columns() = 0;
  virtual QString FormName() const = 0;
  virtual void SetFormName(const QString& form) = 0;
  virtual qint64 DocNumber() const = 0;
  virtual QString DocumentName() const = 0;
  virtual QString Library() const = 0;
  virtual DmTrusteesPtr Trustees() = 0;
  virtual DmParentFoldersPtr ParentFolders() = 0;
  virtual bool Save(int flags) = 0;
  virtual void Close() = 0;
  DmObjectError Error;
};

class DmFolder : public DmProfile {
 public:
  virtual QString FolderName() const = 0;
  virtual void SetFolderName(const QString& name) = 0;
  virtual QString Description() const = 0;
  virtual void SetDescription(const QString& text) = 0;
  virtual void SetPublic(bool isPublic) = 0;
  virtual bool AddDocument(const DmProfilePtr& item) = 0;
  virtual bool AddSubfolder(const DmFolderPtr& folder) = 0;
};

// A statement written as a pattern and the literals that fill it: each "?" of the pattern outside
// its quoted texts and names stands for the next literal, a number or a quoted text as the
// statement holds it. Only the literals differ from one statement of a pattern to the next.
struct FilledSql {
  // A text without literals stands as it is, whatever "?" it holds.
  FilledSql(QString text, QStringList filling = {}) : pattern(std::move(text)), literals(std::move(filling)) {}
  QString pattern;
  QStringList literals;
  // The statement itself.
  QString Text() const;
};

// The DM SQL object (PCDClient.PCDSQL), bound to a library and the session's token.
class PcdSql {
 public:
  virtual ~PcdSql() = default;
  virtual int SetToken(const QString& token) = 0;
  virtual int SetLibrary(const QString& library) = 0;
  virtual qint64 DatabaseVendor() const = 0;
  // Runs one statement and buffers its whole result, positioned on row 1. 0 = executed.
  virtual qint64 Execute(const QString& sql) = 0;
  // Runs the statement the pattern and literals make.
  virtual qint64 ExecuteFilled(const FilledSql& sql) { return Execute(sql.Text()); }
  virtual qint64 SqlErrorCode() const = 0;
  virtual qint64 ErrNumber() const = 0;         // PcdSqlError.ErrNumber
  virtual QString ErrDescription() const = 0;   // PcdSqlError.ErrDescription
  virtual qint64 RowsAffected() const = 0;
  virtual qint64 RowCount() const = 0;
  virtual int ColumnCount() const = 0;
  virtual QString ColumnName(int column) const = 0;   // from 1
  virtual QString ColumnValue(int column) const = 0;  // from 1; NULL and no current row read as empty
  virtual int SetRow(qint64 row) = 0;                 // from 1
  virtual int NextRow() = 0;                          // 0 = no further row
  virtual void ReleaseResults() = 0;
  virtual qint64 NextKey(const QString& key) = 0;     // "SYSTEMKEY"; 0 = failure
  // A marker of what the bound library's table holds: while it stays the same, nobody (this
  // program or another) has changed the table. Empty when the object cannot tell; then every
  // read of the table must be made again.
  virtual QString TableStamp(const QString& table) {
    Q_UNUSED(table);
    return QString();
  }
};

// The waits of this process for other writers' locks. Each statement waits for another writer
// up to a busy timeout (15 s); once a program is stopping, its waits share one busy timeout in
// all, however many statements it still runs.
// From now on the waits share what is left of one busy timeout. Safe to call in a signal handler.
void BoundLockWaits();
// Each wait has its own busy timeout again: for a stop that has ended, or a program that starts
// anew in this process.
void UnboundLockWaits();
bool LockWaitsBounded();
// Called on the waiting thread between two tries of every lock wait, so that the program can take
// note of what arrived meanwhile (a stop), and as the wait begins (`begins`), so that it can write
// what it keeps back before it may hang; it must not use a connection. Null for none.
void SetLockWaitCall(void (*call)(bool begins));

class DmSessionHelper {
 public:
  virtual ~DmSessionHelper() = default;
  virtual QString Describe() const = 0;
  virtual void Start() = 0;
  virtual void Stop() = 0;
};

class DmBrowser {
 public:
  virtual ~DmBrowser() = default;
  virtual void Open(const DmSessionHelperPtr& helper, void* host) = 0;
};

}  // namespace sw::dm
