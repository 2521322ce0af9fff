#pragma once
// A temporary DM server for tests: a server folder with emulated libraries in SQLite files,
// made by the same code as `stackwright-dm init`.
#include <QList>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <vector>

#include "platform/dm/dm_api.h"

namespace sw {
class Context;
namespace dm {
struct DmServerConfig;
}
}

namespace sw::test {

struct DmLibrarySpec {
  QString name;
  qint64 engine = 10;  // 2 or 5 Oracle, 6 Sybase, other non-zero SQL Server, 0 none recorded
  QString owner = QStringLiteral("DOCSADM");
  bool demoData = true;  // people, groups, forms, clients, matters, documents, a rule
};

class DmTestServer {
 public:
  // Two libraries with demo data: "LAWLIB" (SQL Server, engine 10) and "ORALIB" (Oracle, engine 2),
  // each listing both in REMOTE_LIBRARIES; logged-on user "ADMIN"; starting library "LAWLIB".
  DmTestServer();
  explicit DmTestServer(const std::vector<DmLibrarySpec>& libraries, const QString& user = QStringLiteral("ADMIN"));
  ~DmTestServer();

  QString Path() const;
  std::shared_ptr<dm::DmComponents> Components() const;

  // Plain SQLite on a library's file, without translation: for arranging and checking.
  void Exec(const QString& library, const QString& sqliteSql) const;
  QString Scalar(const QString& library, const QString& sqliteSql) const;
  QList<QStringList> Rows(const QString& library, const QString& sqliteSql) const;

  // Changes the server's configuration and returns components of the server opened anew
  // (none when the configuration cannot be read or written).
  std::shared_ptr<dm::DmComponents> Reconfigured(const std::function<void(dm::DmServerConfig&)>& change) const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

// A document's trustees in a library as "ID=rights", sorted; the everyone-trustee reads as "0".
QStringList TrusteesOf(const DmTestServer& server, const QString& library, qint64 docNumber);
// Gives a document a trustee row: a user id, a group id, or "0" for everyone.
void GrantTrustee(const DmTestServer& server, const QString& library, qint64 docNumber, const QString& trustee,
                  const QString& rights);

// Puts a logged-on session on the context and makes `library` current by direct assignment
// (application, libraries, current library, a bound pSQL, engine, owner), without the library
// switch: for testing what runs on top of a session.
void AttachSession(Context& cx, DmTestServer& server, const QString& library);

// A new DM session on the context's components; no library is current yet.
void LogOn(Context& cx);
// Logs on to the server as the computer "TESTPC" and makes `library` current through the
// library switch itself.
bool ConnectTestSession(Context& cx, DmTestServer& server, const QString& library);

}  // namespace sw::test
