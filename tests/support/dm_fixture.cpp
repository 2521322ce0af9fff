#include "support/dm_fixture.h"

#include <QDir>

#include "core/context.h"
#include "core/library.h"
#include "core/library_state.h"
#include "platform/dm/dm_create.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"
#include "platform/dm/sql_functions.h"

namespace sw::test {

struct DmTestServer::Impl {
  QTemporaryDir dir;
  dm::DmServerPtr server;
  std::shared_ptr<dm::DmComponents> components;

  dm::SqliteDbPtr Raw(const QString& library) const {
    const dm::DmLibraryConfig* lib = server->FindLibrary(library);
    if (!lib) qFatal("DmTestServer: unknown library %s", qPrintable(library));
    QString error;
    dm::SqliteDbPtr db = dm::SqliteDb::Open(server->LibraryFile(*lib), false, &error);
    if (!db || !dm::sql::RegisterTextCollation(db->Handle(), lib->engine, &error)) qFatal("DmTestServer: %s", qPrintable(error));
    return db;
  }
};

namespace {

std::vector<DmLibrarySpec> DefaultLibraries() {
  return {{QStringLiteral("LAWLIB"), 10, QStringLiteral("DOCSADM"), true},
          {QStringLiteral("ORALIB"), 2, QStringLiteral("DOCSADM"), true}};
}

}  // namespace

DmTestServer::DmTestServer() : DmTestServer(DefaultLibraries()) {}

DmTestServer::DmTestServer(const std::vector<DmLibrarySpec>& libraries, const QString& user) : impl_(new Impl) {
  if (!impl_->dir.isValid()) qFatal("DmTestServer: no temporary folder");
  std::vector<dm::DmLibrarySetup> setups;
  for (const auto& spec : libraries) setups.push_back({spec.name, spec.engine, spec.owner, spec.demoData});
  // Smaller than the demo: enough rows for every shape of data, quick to make for each test.
  dm::DmDemoSize size;
  size.clients = 5;
  size.matters = 12;
  size.documents = 40;
  QString error;
  if (!dm::CreateDmServer(impl_->dir.path(), setups, user, size, &error)) qFatal("DmTestServer: %s", qPrintable(error));
  impl_->server = dm::DmServer::Open(impl_->dir.path(), &error);
  if (!impl_->server) qFatal("DmTestServer: %s", qPrintable(error));
  impl_->components = std::make_shared<dm::DmComponents>(impl_->server);
}

DmTestServer::~DmTestServer() = default;

QString DmTestServer::Path() const { return impl_->dir.path(); }

std::shared_ptr<dm::DmComponents> DmTestServer::Components() const { return impl_->components; }

void DmTestServer::Exec(const QString& library, const QString& sqliteSql) const {
  QString error;
  if (!impl_->Raw(library)->ExecScript(sqliteSql, &error))
    qFatal("DmTestServer::Exec: %s in %s", qPrintable(error), qPrintable(sqliteSql));
}

QString DmTestServer::Scalar(const QString& library, const QString& sqliteSql) const {
  const dm::SqliteResult r = impl_->Raw(library)->Query(sqliteSql);
  if (!r.ok) qFatal("DmTestServer::Scalar: %s in %s", qPrintable(r.error), qPrintable(sqliteSql));
  return r.rows.isEmpty() ? QString() : r.Value(0, 0).toString();
}

std::shared_ptr<dm::DmComponents> DmTestServer::Reconfigured(
    const std::function<void(dm::DmServerConfig&)>& change) const {
  QString error;
  std::optional<dm::DmServerConfig> config = dm::DmServer::ReadConfig(Path(), &error);
  if (!config) return nullptr;
  change(*config);
  if (!dm::DmServer::WriteConfig(Path(), *config, &error)) return nullptr;
  dm::DmServerPtr reopened = dm::DmServer::Open(Path(), &error);
  return reopened ? std::make_shared<dm::DmComponents>(reopened) : nullptr;
}

QList<QStringList> DmTestServer::Rows(const QString& library, const QString& sqliteSql) const {
  const dm::SqliteResult r = impl_->Raw(library)->Query(sqliteSql);
  if (!r.ok) qFatal("DmTestServer::Rows: %s in %s", qPrintable(r.error), qPrintable(sqliteSql));
  QList<QStringList> rows;
  for (const auto& row : r.rows) {
    QStringList texts;
    for (const auto& v : row) texts << (v.isNull() ? QString() : v.toString());
    rows << texts;
  }
  return rows;
}

QStringList TrusteesOf(const DmTestServer& server, const QString& library, qint64 docNumber) {
  QStringList out;
  const auto rows = server.Rows(library, QStringLiteral("SELECT COALESCE(P.USER_ID, G.GROUP_ID, CAST(S.PERSONORGROUP AS TEXT)), "
                                                        "S.ACCESSRIGHTS FROM SECURITY S JOIN PROFILE R ON R.SYSTEM_ID = S.THING "
                                                        "LEFT JOIN PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
                                                        "LEFT JOIN GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
                                                        "WHERE R.DOCNUMBER = %1")
                                              .arg(docNumber));
  for (const QStringList& r : rows) out << r.value(0) + QStringLiteral("=") + r.value(1);
  out.sort();
  return out;
}

void GrantTrustee(const DmTestServer& server, const QString& library, qint64 docNumber, const QString& trustee,
                  const QString& rights) {
  server.Exec(library, QStringLiteral("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT R.SYSTEM_ID, "
                                      "COALESCE((SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '%2'), "
                                      "(SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = '%2'), 0), %3 FROM PROFILE R "
                                      "WHERE R.DOCNUMBER = %1")
                           .arg(docNumber)
                           .arg(trustee, rights));
}

void AttachSession(Context& cx, DmTestServer& server, const QString& library) {
  cx.dm = server.Components();
  auto app = cx.dm->CreateApplication();
  if (!app) qFatal("AttachSession: no application object");
  app->Login(0);
  cx.session.FusionApplication = app;
  cx.session.FusionSecurityToken = app->Token();
  cx.session.FusionLibraries = app->Libraries();
  cx.session.CurrentLibrary.reset();
  for (qint64 i = 1; i <= cx.session.FusionLibraries->Count(); ++i) {
    auto lib = cx.session.FusionLibraries->Item(i);
    if (lib->Name().compare(library, Qt::CaseInsensitive) == 0) cx.session.CurrentLibrary = lib;
  }
  if (!cx.session.CurrentLibrary) qFatal("AttachSession: unknown library %s", qPrintable(library));
  cx.session.pSQL = cx.dm->CreatePcdSql();
  cx.session.pSQL->SetToken(cx.session.FusionSecurityToken);
  cx.session.pSQL->SetLibrary(cx.session.CurrentLibrary->Name());
  cx.session.DatabaseEngine = cx.session.pSQL->DatabaseVendor();
  const dm::DmLibraryConfig* config = cx.dm->Server()->FindLibrary(library);
  cx.library.DatabaseOwner = config ? config->owner : QStringLiteral("DOCSADM");
}

void LogOn(Context& cx) {
  const dm::DmApplicationPtr app = cx.dm->CreateApplication();
  app->Login(0);
  cx.session.FusionApplication = app;
  cx.session.FusionLibraries = app->Libraries();
  cx.session.FusionSecurityToken = app->Token();
}

bool ConnectTestSession(Context& cx, DmTestServer& server, const QString& library) {
  cx.dm = server.Components();
  LogOn(cx);
  cx.session.MachineName = QStringLiteral("TESTPC");
  cx.library.DatabaseOwner = DefaultDatabaseOwner;
  return ConnectLibrary(cx, library);
}

}  // namespace sw::test
