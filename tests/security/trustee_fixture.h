#pragma once
// Security tests on the emulated libraries: a logged-on session with LAWLIB current, items with
// known authors and typists, and their trustee rows read back with plain SQLite.
#include <gtest/gtest.h>

#include <QString>
#include <QStringList>
#include <memory>

#include "core/library.h"
#include "core/library_session.h"
#include "platform/dm/dm_api.h"
#include "security/security_context.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw::test {

inline const QString Law = QStringLiteral("LAWLIB");
inline const QString Ora = QStringLiteral("ORALIB");

class TrusteeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    statements = StartSession(cx, server);
    ASSERT_TRUE(ConnectLibrary(cx, Law));
  }

  // A PEOPLE reference for a profile column: 0 for "", a missing person for an unknown id.
  static QString PersonRef(const QString& userId) {
    if (userId.isEmpty()) return QStringLiteral("0");
    return QStringLiteral("COALESCE((SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '%1'), 777777)").arg(userId);
  }

  // A new profile in the library; its DOCNUMBER.
  qint64 MakeItem(const QString& author, const QString& typist, int defaultRights = 0, const QString& library = Law) {
    const qint64 doc = nextDoc++;
    server.Exec(library, QStringLiteral("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, AUTHOR, TYPIST, DEFAULT_RIGHTS) "
                                        "VALUES (%1, %2, 'Item %2', %3, %4, %5)")
                             .arg(doc + 100000)
                             .arg(doc)
                             .arg(PersonRef(author), PersonRef(typist))
                             .arg(defaultRights));
    return doc;
  }
  static QString SystemId(qint64 doc) { return QString::number(doc + 100000); }

  // Gives the item a trustee row: a user id, a group id, or "0" for everyone.
  void Grant(qint64 doc, const QString& trustee, const QString& rights, const QString& library = Law) {
    GrantTrustee(server, library, doc, trustee, rights);
  }

  // The item's trustees as "ID=rights", sorted; the everyone-trustee reads as "0".
  QStringList Trustees(qint64 doc, const QString& library = Law) const { return TrusteesOf(server, library, doc); }

  QString ProfileValue(qint64 doc, const QString& column, const QString& library = Law) const {
    return server.Scalar(library, QStringLiteral("SELECT %1 FROM PROFILE WHERE DOCNUMBER = %2").arg(column).arg(doc));
  }

  // Error and warning lines carry a time stamp after their label: match what follows it.
  int LogCount(const QString& fragment) const { return static_cast<int>(cx.LogText().count(fragment)); }

  DmTestServer server;
  TestContext<SecurityContext> cx;
  std::shared_ptr<StatementRecord> statements;
  qint64 nextDoc = 880001;
};

}  // namespace sw::test
