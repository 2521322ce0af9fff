#pragma once
// A folder context logged on to the two demo libraries with LAWLIB current, a ui that lets a
// test act when a status text appears, and helpers to arrange folders, documents and rights.
#include <gtest/gtest.h>

#include <QRegularExpression>
#include <functional>

#include "core/library.h"
#include "core/library_session.h"
#include "folders/folder_context.h"
#include "platform/ui/ui.h"
#include "support/dm_fixture.h"
#include "support/test_context.h"

namespace sw::test {

inline const QString Law = QStringLiteral("LAWLIB");
inline const QString Ora = QStringLiteral("ORALIB");

// Calls back on every status text after showing it.
struct StatusHookUi : ScriptedUi {
  std::function<void(const QString&)> onStatus;
  void SetStatusLabel(StatusWindow w, const QString& text) override {
    ScriptedUi::SetStatusLabel(w, text);
    if (onStatus) onStatus(text);
  }
};

class FilingSession : public ::testing::Test {
 protected:
  void SetUp() override {
    auto hooked = std::make_unique<StatusHookUi>();
    ui = hooked.get();
    ui->controls.verboseLogging = true;
    cx.ui = std::move(hooked);
    cx.scripted = ui;
    for (const QString& lib : {Law, Ora}) SetUniqueDocNames(server, lib, 0);
    statements = StartSession(cx, server);
    ASSERT_TRUE(ConnectLibrary(cx, Law));
  }

  QString Current() const { return cx.session.CurrentLibrary ? cx.session.CurrentLibrary->Name() : QString(); }

  dm::DmLibraryPtr SessionLibrary(const QString& name) {
    for (qint64 i = 1; i <= cx.session.FusionLibraries->Count(); ++i) {
      dm::DmLibraryPtr lib = cx.session.FusionLibraries->Item(i);
      if (lib->Name() == name) return lib;
    }
    return nullptr;
  }

  // A new saved folder; its document number.
  qint64 NewFolder(const QString& library, const QString& name) {
    dm::DmFolderPtr folder = SessionLibrary(library)->NewFolder();
    folder->SetFolderName(name);
    folder->SetDescription(name + QStringLiteral(" description"));
    EXPECT_TRUE(folder->Save(3)) << folder->Error.ErrDescription.toStdString();
    return folder->DocNumber();
  }

  // A demo document of the library that is filed nowhere.
  qint64 Document(const QString& library, int nth = 0) {
    return server
        .Scalar(library, QStringLiteral("SELECT DOCNUMBER FROM PROFILE WHERE APPLICATION <> (SELECT SYSTEM_ID FROM APPS "
                                        "WHERE APPLICATION = 'FOLDER') ORDER BY DOCNUMBER LIMIT 1 OFFSET %1")
                               .arg(nth))
        .toLongLong();
  }

  QString N(qint64 n) const { return QString::number(n); }

  qint64 FiledRows(const QString& library, qint64 parent, qint64 doc) {
    return server.Scalar(library, QStringLiteral("SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = %1 AND DOCNUMBER = %2")
                                      .arg(parent)
                                      .arg(doc))
        .toLongLong();
  }

  void SetRight(const QString& library, const QString& name, int value) {
    server.Exec(library, QStringLiteral("UPDATE DM_PROPERTIES SET VALUE = '%1' WHERE NAME = '%2'").arg(value).arg(name));
  }

  // Makes the logged-on user's primary group the named one (the group must exist).
  void SetPrimaryGroup(const QString& library, const QString& group) {
    server.Exec(library, QStringLiteral("UPDATE PEOPLE SET PRIMARY_GROUP = (SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = '%1') "
                                        "WHERE USER_ID = 'ADMIN'")
                             .arg(group));
  }

  // A trustee row for the logged-on user on a document or folder.
  void GrantUser(const QString& library, qint64 doc, int rights) {
    server.Exec(library, QStringLiteral("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) SELECT P.SYSTEM_ID, "
                                        "U.SYSTEM_ID, %1 FROM PROFILE P, PEOPLE U WHERE P.DOCNUMBER = %2 AND U.USER_ID = 'ADMIN'")
                             .arg(rights)
                             .arg(doc));
  }

  void SetDefaultRights(const QString& library, qint64 doc, int value) {
    server.Exec(library, QStringLiteral("UPDATE PROFILE SET DEFAULT_RIGHTS = %1 WHERE DOCNUMBER = %2").arg(value).arg(doc));
  }

  void SetStatusOf(const QString& library, qint64 doc, int status) {
    server.Exec(library, QStringLiteral("UPDATE PROFILE SET STATUS = %1 WHERE DOCNUMBER = %2").arg(status).arg(doc));
  }

  // The log with the time stamp that error and warning entries carry after their label taken
  // out, so that every entry reads as it was written.
  QString Log() const {
    static const QRegularExpression stamp(QStringLiteral("(?im)^(error:|warning:) \\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d\\d  "));
    QString log = cx.LogText();
    log.replace(stamp, QStringLiteral("\\1 "));
    return log;
  }

  DmTestServer server;
  TestContext<FolderContext> cx;
  StatusHookUi* ui = nullptr;
  std::shared_ptr<StatementRecord> statements;
};

}  // namespace sw::test
