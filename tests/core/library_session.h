#pragma once
// A logged-on DM session without a current library, and a record of every statement the DM
// SQL objects are given: what the library switch tests start from.
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "core/context.h"
#include "core/library_state.h"
#include "support/dm_fixture.h"
#include "platform/dm/dm_server.h"
#include "support/test_context.h"

namespace sw::test {

// A context that counts the rules reloads the switch asks for.
struct ReloadCountingContext : Context {
  int reloads = 0;
  void LoadLibraryRules() override { ++reloads; }
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

// A new DM session on the context's components.
inline void LogOn(Context& cx) {
  const dm::DmApplicationPtr app = cx.dm->CreateApplication();
  app->Login(0);
  cx.session.FusionApplication = app;
  cx.session.FusionLibraries = app->Libraries();
  cx.session.FusionSecurityToken = app->Token();
}

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

// Makes the named statements fail with a database error, recording everything as above.
inline void FailStatements(Context& cx, std::shared_ptr<StatementRecord> record, const QString& fragment) {
  cx.dm->Server()->hooks.sqlFault = [record, fragment](const QString& library,
                                                       const QString& sql) -> std::optional<dm::SqlFault> {
    record->items.emplace_back(library, sql);
    if (!sql.contains(fragment, Qt::CaseInsensitive)) return std::nullopt;
    return dm::SqlFault{1, 208, QStringLiteral("Injected failure")};
  };
}

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
  QString error;
  std::optional<dm::DmServerConfig> config = dm::DmServer::ReadConfig(server.Path(), &error);
  if (!config) return nullptr;
  change(*config);
  if (!dm::DmServer::WriteConfig(server.Path(), *config, &error)) return nullptr;
  dm::DmServerPtr reopened = dm::DmServer::Open(server.Path(), &error);
  if (!reopened) return nullptr;
  if (cx.dm) reopened->hooks = cx.dm->Server()->hooks;
  return std::make_shared<dm::DmComponents>(reopened);
}

}  // namespace sw::test
