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
    server.Exec(library, QStringLiteral("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (%1, "
                                        "COALESCE((SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '%2'), "
                                        "(SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = '%2'), 0), %3)")
                             .arg(SystemId(doc), trustee, rights));
  }

  // The item's trustees as "ID=rights", sorted; the everyone-trustee reads as "0".
  QStringList Trustees(qint64 doc, const QString& library = Law) const {
    QStringList out;
    const auto rows = server.Rows(library, QStringLiteral("SELECT COALESCE(P.USER_ID, G.GROUP_ID, CAST(S.PERSONORGROUP AS TEXT)), "
                                                          "S.ACCESSRIGHTS FROM SECURITY S "
                                                          "LEFT JOIN PEOPLE P ON P.SYSTEM_ID = S.PERSONORGROUP "
                                                          "LEFT JOIN GROUPS G ON G.SYSTEM_ID = S.PERSONORGROUP "
                                                          "WHERE S.THING = %1")
                                                .arg(SystemId(doc)));
    for (const QStringList& r : rows) out << r.value(0) + QStringLiteral("=") + r.value(1);
    out.sort();
    return out;
  }

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

// An SQL object that forwards to the real one and, once armed, fails the way a broken DM
// component does: the call raises a run-time failure.
class FailingPcdSql : public dm::PcdSql {
 public:
  explicit FailingPcdSql(dm::PcdSqlPtr inner) : inner_(std::move(inner)) {}
  // Statements containing this text make the next read of their results fail.
  QString failAfter;

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
    Trip();
    return inner_->RowsAffected();
  }
  qint64 RowCount() const override {
    Trip();
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

}  // namespace sw::test
