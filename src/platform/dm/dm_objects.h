#pragma once
// The emulator's implementations of the DM API objects (internal to the emulator; callers use
// dm_api.h).
#include <QDateTime>
#include <QHash>
#include <deque>
#include <map>

#include "platform/dm/dm_api.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/sql_template.h"

namespace sw::dm {

class EmLibrary;
using EmLibraryPtr = std::shared_ptr<EmLibrary>;
struct EmFormLayouts;

class EmLibraries : public DmLibraries {
 public:
  explicit EmLibraries(std::vector<EmLibraryPtr> items) : items_(std::move(items)) {}
  qint64 Count() const override { return qint64(items_.size()); }
  DmLibraryPtr Item(qint64 index) override;
  EmLibraryPtr Find(const QString& name) const;  // case-blind

 private:
  std::vector<EmLibraryPtr> items_;
};

class EmApplication : public DmApplication {
 public:
  explicit EmApplication(DmServerPtr server);
  void Login(qint64 windowHandle) override;
  QString Token() const override { return token_; }
  DmLibrariesPtr Libraries() override { return libraries_; }
  DmLibraryPtr CurrentLibrary() override;
  DmLibraryPtr DefaultLibrary() override;
  DmLibraryPtr ChooseLibrary() override;
  void SetLibraryChooser(std::function<int(const QStringList&)> chooser) override { chooser_ = std::move(chooser); }

 private:
  DmServerPtr server_;
  std::shared_ptr<EmLibraries> libraries_;
  QString token_;
  std::function<int(const QStringList&)> chooser_;
};

class EmLibraryProperty : public DmLibraryProperty {
 public:
  EmLibraryProperty(QString name, QVariant value) : name_(std::move(name)), value_(std::move(value)) {}
  QString Name() const override { return name_; }
  QVariant Value() const override { return value_; }

 private:
  QString name_;
  QVariant value_;
};

class EmLibraryProperties : public DmLibraryProperties {
 public:
  explicit EmLibraryProperties(std::vector<DmLibraryPropertyPtr> items) : items_(std::move(items)) {}
  qint64 Count() const override { return qint64(items_.size()); }
  DmLibraryPropertyPtr Item(const QString& name) override;
  DmLibraryPropertyPtr Item(qint64 index) override;

 private:
  std::vector<DmLibraryPropertyPtr> items_;
};

class EmLibrary : public DmLibrary, public std::enable_shared_from_this<EmLibrary> {
 public:
  EmLibrary(DmServerPtr server, DmLibraryConfig config) : server_(std::move(server)), config_(std::move(config)) {}
  QString Name() const override { return config_.name; }
  QString Description() const override { return config_.description; }
  QString UserName() const override { return server_->LibraryUser(config_.name); }
  QString PrimaryGroup() const override;
  bool IsPrimary() const override;
  // Opens the library's database; a database that cannot be opened is told in Error.
  void Activate() override;
  qint64 SearchFlag() const override { return searchFlag_; }
  void SetSearchFlag(qint64 flag) override { searchFlag_ = flag; }
  DmLibraryPropertiesPtr Properties() override;
  DmFolderPtr NewFolder() override;
  DmFolderPtr OpenFolder(qint64 docNumber) override;
  DmFolderPtr OpenFolder(int objectType, qint64 docNumber) override;
  DmProfilePtr OpenProfile(qint64 docNumber) override;
  DmProfilePtr OpenProfile(int objectType, qint64 docNumber) override;
  DmFolderPtr GetProject(qint64 docNumber) override { return OpenFolder(docNumber); }

  const DmServerPtr& Server() const { return server_; }
  const DmLibraryConfig& Config() const { return config_; }
  SqliteDbPtr Db(QString* error) const { return server_->Connection(config_.name, error); }
  // The form layouts read so far (kept by the folders and profiles of dm_folder.cpp).
  std::shared_ptr<EmFormLayouts>& FormLayouts() { return formLayouts_; }
  int activations = 0;

 private:
  DmServerPtr server_;
  DmLibraryConfig config_;
  std::shared_ptr<EmFormLayouts> formLayouts_;
  qint64 searchFlag_ = 0;
  // Every library switch asks for the properties and the primary group: they are answered from
  // what was read last while the connection and the tables behind them show no change. A read
  // that failed is kept by neither: its mark is cleared, so the next call asks again.
  using ReadMark = std::pair<quint64, SqliteDb::Stamp>;
  static ReadMark MarkOf(SqliteDb& db, const std::vector<QString>& tables);
  ReadMark propertiesMark_;
  DmLibraryPropertiesPtr properties_;
  mutable ReadMark groupMark_;
  mutable QString groupUser_;
  mutable QString group_;
};

// A statement ready for SQLite: the translation and the values its parameters take.
struct EmReadyStatement {
  SqlTranslation translation;
  QVariantList values;
  size_t sqliteHash = 0;  // qHash of translation.sql when a kept template served it, else 0
};
// What is kept of a statement that comes again: its template when one serves.
struct EmKeptTranslation {
  bool usable = false;
  QString sqlite;     // the translation, with ?1, ?2, ... for the lifted values
  QString marked;     // the translation of the text with markers, to check the template by
  int checksLeft = 0; // uses still translated in full to confirm the template
  size_t sqliteHash = 0;  // qHash of sqlite, worked out when the template is made
};

// What the SQL objects bound to one library keep of the statements sent to it. The server holds
// it for every SQL object of the library: the system makes a new SQL object at every switch of
// library, and a row that works in two libraries sends the same statements after each one.
struct EmStatementMemory {
  // Translations of the statements that come again, by their text with the lifted values left out.
  static constexpr qsizetype KeptTranslations = 200;
  RecentTexts<HashedText, EmKeptTranslation> translations{KeptTranslations};
  // The statements ready for SQLite of the last texts sent, values and all: a row sends many a
  // text more than once (the same look-up of the same folder), and those need no lifting.
  static constexpr qsizetype KeptTexts = 256;
  QHash<HashedText, EmReadyStatement> lastTexts;
  std::deque<HashedText> lastTextOrder;  // oldest first
  // Where the values stand in the statements of each shape met: most need no lifting in full.
  sql::LiftShapes shapes;
  // The same for statements sent as a pattern and literals: most need no text at all.
  sql::LiftPatterns patterns;
};

class EmPcdSql : public PcdSql {
 public:
  explicit EmPcdSql(DmServerPtr server) : server_(std::move(server)) {}
  int SetToken(const QString& token) override;
  int SetLibrary(const QString& library) override;
  qint64 DatabaseVendor() const override { return bound_ ? library_.engine : 0; }
  qint64 Execute(const QString& sql) override;
  qint64 ExecuteFilled(const FilledSql& sql) override;
  qint64 SqlErrorCode() const override { return sqlErrorCode_; }
  qint64 ErrNumber() const override { return errNumber_; }
  QString ErrDescription() const override { return errDescription_; }
  qint64 RowsAffected() const override { return rowsAffected_; }
  qint64 RowCount() const override;
  int ColumnCount() const override { return int(columns_.size()); }
  QString ColumnName(int column) const override;
  QString ColumnValue(int column) const override;
  int SetRow(qint64 row) override;
  int NextRow() override;
  void ReleaseResults() override;
  qint64 NextKey(const QString& key) override;
  QString TableStamp(const QString& table) override;

 private:
  void Fail(qint64 status, qint64 code, const QString& description);
  using Ready = EmReadyStatement;
  using Kept = EmKeptTranslation;
  Ready Translated(const HashedText& sql);
  Ready TranslatedAnew(const HashedText& sql);
  std::optional<Ready> Served(const HashedText& key, QVariantList& values);
  Ready TranslatedFilled(const FilledSql& sql);
  // Runs the text, or the statement of pattern and literals when `filled` is given.
  qint64 Run(const QString& text, const FilledSql* filled);
  DmServerPtr server_;
  DmLibraryConfig library_;
  // The bound library's statements, kept by the server for every SQL object of the library.
  std::shared_ptr<EmStatementMemory> memory_ = std::make_shared<EmStatementMemory>();
  // Keeps a text not yet among the last ones, letting the oldest go.
  void KeepText(const HashedText& sql, const Ready& ready);
  bool bound_ = false;
  QString token_;
  qint64 sqlErrorCode_ = 0;
  qint64 errNumber_ = 0;
  QString errDescription_;
  qint64 rowsAffected_ = 0;
  QStringList columns_;
  QStringList texts_;  // every value as its text, row after row
  int width_ = 0;      // values a row
  qint64 row_ = 0;     // current row from 1; 0 or past the end = none
};

class EmSessionHelper : public DmSessionHelper {
 public:
  explicit EmSessionHelper(DmServerPtr server) : server_(std::move(server)) {}
  QString Describe() const override;
  void Start() override { started = true; }
  void Stop() override { started = false; }
  bool started = false;

 private:
  DmServerPtr server_;
};

class EmBrowser : public DmBrowser {
 public:
  void Open(const DmSessionHelperPtr& helper, void*) override { opened = bool(helper); }
  bool opened = false;
};

// The text of a column value as the DM SQL object gives it: NULL as empty, whole numbers
// without decimals.
QString DmValueText(const QVariant& v);

// Today and now as the emulator writes dates.
QString DmToday();
QString DmNow();

}  // namespace sw::dm
