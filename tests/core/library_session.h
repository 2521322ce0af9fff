#pragma once
// A logged-on DM session without a current library, and a record of every statement the DM
// SQL objects are given: what the library switch tests start from.
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/context.h"
#include "core/library_state.h"
#include "core/session.h"
#include "support/dm_fixture.h"
#include "platform/dm/dm_server.h"
#include "support/test_context.h"

namespace sw::test {

// A context that counts the rules reloads the switch asks for, and notes how often the window's
// messages had been pumped at the last one.
struct ReloadCountingContext : Context {
  int reloads = 0;
  int pumpsAtReload = 0;
  void LoadLibraryRules() override {
    ++reloads;
    pumpsAtReload = static_cast<ScriptedUi&>(*ui).pumpCount;
  }
};
using SwitchContext = TestContext<ReloadCountingContext>;

struct StatementRecord {
  std::vector<std::pair<QString, QString>> items;  // library, statement
  int Count(const QString& library, const QString& fragment) const {
    int n = 0;
    for (const auto& [lib, sql] : items)
      if (lib.compare(library, Qt::CaseInsensitive) == 0 && sql.contains(fragment, Qt::CaseInsensitive)) ++n;
    return n;
  }
  int Count(const QString& library) const { return Count(library, QString()); }
};

// Logs on and records statements; no library is current yet.
inline std::shared_ptr<StatementRecord> StartSession(Context& cx, DmTestServer& server) {
  cx.dm = server.Components();
  LogOn(cx);
  cx.library.DatabaseOwner = DefaultDatabaseOwner;
  auto record = std::make_shared<StatementRecord>();
  cx.dm->Server()->hooks.sqlFault = [record](const QString& library, const QString& sql) -> std::optional<dm::SqlFault> {
    record->items.emplace_back(library, sql);
    return std::nullopt;
  };
  return record;
}

// Makes the statements that contain one of the fragments fail with a database error, recording
// everything as above.
inline void FailStatements(Context& cx, std::shared_ptr<StatementRecord> record, const QStringList& fragments) {
  cx.dm->Server()->hooks.sqlFault = [record, fragments](const QString& library,
                                                        const QString& sql) -> std::optional<dm::SqlFault> {
    record->items.emplace_back(library, sql);
    for (const QString& fragment : fragments)
      if (sql.contains(fragment, Qt::CaseInsensitive)) return dm::SqlFault{1, 208, QStringLiteral("Injected failure")};
    return std::nullopt;
  };
}
inline void FailStatements(Context& cx, std::shared_ptr<StatementRecord> record, const QString& fragment) {
  FailStatements(cx, std::move(record), QStringList{fragment});
}

// An SQL object that forwards to the real one and, once armed, fails the way a broken DM
// component does: the call raises a run-time failure.
class FailingPcdSql : public dm::PcdSql {
 public:
  explicit FailingPcdSql(dm::PcdSqlPtr inner) : inner_(std::move(inner)) {}
  // Statements containing this text make the next read of their results fail.
  QString failAfter;
  // Only their values fail to be read: the statement itself seems to have gone through.
  bool valuesOnly = false;

  int SetToken(const QString& token) override { return inner_->SetToken(token); }
  int SetLibrary(const QString& library) override { return inner_->SetLibrary(library); }
  qint64 DatabaseVendor() const override { return inner_->DatabaseVendor(); }
  qint64 Execute(const QString& sql) override {
    armed_ = !failAfter.isEmpty() && sql.contains(failAfter, Qt::CaseInsensitive);
    return inner_->Execute(sql);
  }
  qint64 SqlErrorCode() const override { return inner_->SqlErrorCode(); }
  qint64 ErrNumber() const override { return inner_->ErrNumber(); }
  QString ErrDescription() const override { return inner_->ErrDescription(); }
  qint64 RowsAffected() const override {
    if (!valuesOnly) Trip();
    return inner_->RowsAffected();
  }
  qint64 RowCount() const override {
    if (!valuesOnly) Trip();
    return inner_->RowCount();
  }
  int ColumnCount() const override { return inner_->ColumnCount(); }
  QString ColumnName(int column) const override { return inner_->ColumnName(column); }
  QString ColumnValue(int column) const override {
    Trip();
    return inner_->ColumnValue(column);
  }
  int SetRow(qint64 row) override { return inner_->SetRow(row); }
  int NextRow() override { return inner_->NextRow(); }
  void ReleaseResults() override { inner_->ReleaseResults(); }
  qint64 NextKey(const QString& key) override { return inner_->NextKey(key); }

 private:
  void Trip() const {
    if (armed_) throw DmCallFailure(-2147217900, QStringLiteral("PCDClient.PCDSQL"), QStringLiteral("Connection lost"));
  }
  dm::PcdSqlPtr inner_;
  bool armed_ = false;
};

// The library's property of unique document names, set (-1) or not (0).
inline void SetUniqueDocNames(DmTestServer& server, const QString& library, int value) {
  server.Exec(library, QStringLiteral("DELETE FROM DM_PROPERTIES WHERE NAME = 'DOCSParms.UniqueDocNames'"));
  server.Exec(library, QStringLiteral("INSERT INTO DM_PROPERTIES (NAME, VALUE) VALUES ('DOCSParms.UniqueDocNames', '%1')")
                           .arg(value));
}

inline const LibraryRow& RowOf(const Context& cx, const QString& library) {
  for (int i = 1; i <= cx.library.LibraryCount; ++i)
    if (cx.library.LibraryTable[i][LibName].compare(library, Qt::CaseInsensitive) == 0) return cx.library.LibraryTable[i];
  static const LibraryRow none{};
  return none;
}

}  // namespace sw::test

namespace sw::test {

// The test server's components after a change to its configuration (the statement record
// follows the new server).
inline std::shared_ptr<dm::DmComponents> Reconfigure(Context& cx, const DmTestServer& server,
                                                     const std::function<void(dm::DmServerConfig&)>& change) {
  std::shared_ptr<dm::DmComponents> components = server.Reconfigured(change);
  if (components && cx.dm) components->Server()->hooks = cx.dm->Server()->hooks;
  return components;
}

}  // namespace sw::test

namespace sw::test {

// The DM library failures a switch must survive, on one library of the real collection.
struct LibraryFaults {
  QString library;                // the library they apply to (any case)
  bool itemFails = false;         // the collection raises a DM failure when the item is asked for
  bool activateFails = false;     // Activate raises a DM failure
  QString nameAfterActivate;      // when set, the object names itself so once activated
};

// A library object that forwards to the real one and fails as its faults say.
class FaultyLibrary : public dm::DmLibrary {
 public:
  FaultyLibrary(dm::DmLibraryPtr inner, const LibraryFaults& faults) : inner_(std::move(inner)), faults_(faults) {}
  QString Name() const override { return activated_ && !faults_.nameAfterActivate.isEmpty() ? faults_.nameAfterActivate : inner_->Name(); }
  QString Description() const override { return inner_->Description(); }
  QString UserName() const override { return inner_->UserName(); }
  QString PrimaryGroup() const override { return inner_->PrimaryGroup(); }
  bool IsPrimary() const override { return inner_->IsPrimary(); }
  void Activate() override {
    if (faults_.activateFails) throw DmCallFailure(-2147221503, QStringLiteral("DOCSObjects.Library"), QStringLiteral("Activate failed"));
    inner_->Activate();
    activated_ = true;
  }
  qint64 SearchFlag() const override { return inner_->SearchFlag(); }
  void SetSearchFlag(qint64 flag) override { inner_->SetSearchFlag(flag); }
  dm::DmLibraryPropertiesPtr Properties() override { return inner_->Properties(); }
  dm::DmFolderPtr NewFolder() override { return inner_->NewFolder(); }
  dm::DmFolderPtr OpenFolder(qint64 docNumber) override { return inner_->OpenFolder(docNumber); }
  dm::DmFolderPtr OpenFolder(int objectType, qint64 docNumber) override { return inner_->OpenFolder(objectType, docNumber); }
  dm::DmProfilePtr OpenProfile(qint64 docNumber) override { return inner_->OpenProfile(docNumber); }
  dm::DmProfilePtr OpenProfile(int objectType, qint64 docNumber) override { return inner_->OpenProfile(objectType, docNumber); }
  dm::DmFolderPtr GetProject(qint64 docNumber) override { return inner_->GetProject(docNumber); }

 private:
  dm::DmLibraryPtr inner_;
  LibraryFaults faults_;
  bool activated_ = false;
};

// The session's library collection with the faults applied to one of its libraries.
class FaultyLibraries : public dm::DmLibraries {
 public:
  FaultyLibraries(dm::DmLibrariesPtr inner, LibraryFaults faults) : inner_(std::move(inner)), faults_(std::move(faults)) {}
  qint64 Count() const override { return inner_->Count(); }
  dm::DmLibraryPtr Item(qint64 index) override {
    dm::DmLibraryPtr item = inner_->Item(index);
    if (!item || item->Name().compare(faults_.library, Qt::CaseInsensitive) != 0) return item;
    if (faults_.itemFails) throw DmCallFailure(-2147221503, QStringLiteral("DOCSObjects.Libraries"), QStringLiteral("Item failed"));
    return std::make_shared<FaultyLibrary>(item, faults_);
  }

 private:
  dm::DmLibrariesPtr inner_;
  LibraryFaults faults_;
};

inline void InjectLibraryFaults(Context& cx, const LibraryFaults& faults) {
  cx.session.FusionLibraries = std::make_shared<FaultyLibraries>(cx.session.FusionLibraries, faults);
}

}  // namespace sw::test
