// Users' workspaces: the name template, the REGISTRY rows written for a new workspace and member,
// what the cache saves later calls, the primary library, and the failures.
#include <gtest/gtest.h>

#include "core/library.h"
#include "core/library_session.h"
#include "core/log.h"
#include "security/security.h"
#include "security/security_context.h"
#include "security/workspace.h"
#include "logged_entry.h"

namespace sw {
namespace {

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

using Row = QStringList;

class WorkspaceTest : public ::testing::Test {
 protected:
  void SetUp() override { Start(Law); }

  void Start(const QString& library) {
    statements = test::StartSession(cx, server);
    ASSERT_TRUE(ConnectLibrary(cx, library));
    CreateWorkspaceCache(cx.security);
  }

  // A folder in the current library with the given author and typist.
  qint64 MakeFolder(const QString& name, const QString& author = QStringLiteral("JSMITH"),
                    const QString& typist = QStringLiteral("MJONES")) {
    dm::DmFolderPtr folder = cx.session.CurrentLibrary->NewFolder();
    folder->SetFolderName(name);
    folder->Columns()->Item(QStringLiteral("AUTHOR_ID"))->SetValue(author);
    folder->Columns()->Item(QStringLiteral("TYPIST_ID"))->SetValue(typist);
    EXPECT_TRUE(folder->Save(3)) << folder->Error.ErrDescription.toStdString();
    return folder->DocNumber();
  }

  QString PeopleId(const QString& library, const QString& user) const {
    return server.Scalar(library, QStringLiteral("SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '%1'").arg(user));
  }

  // The rows under a REGISTRY entity as NAME, DATATYPE, DATA in the order they were written.
  QList<Row> Children(const QString& library, const QString& entity) const {
    return server.Rows(library, QStringLiteral("SELECT NAME, DATATYPE, DATA, ENTITYSCOPE, TYPE FROM REGISTRY WHERE ENTITYID = %1 "
                                               "ORDER BY SYSTEM_ID")
                                    .arg(entity));
  }
  QString IdOf(const QString& library, const QString& entity, const QString& name, const QString& data) const {
    return server.Scalar(library, QStringLiteral("SELECT SYSTEM_ID FROM REGISTRY WHERE ENTITYID = %1 AND NAME = '%2' AND "
                                                 "DATA = '%3'")
                                      .arg(entity, name, data));
  }
  int RegistryRows(const QString& library) const {
    return server.Scalar(library, QStringLiteral("SELECT COUNT(*) FROM REGISTRY")).toInt();
  }
  QString Log() const { return cx.LogText(); }

  test::DmTestServer server;
  test::TestContext<SecurityContext> cx;
  std::shared_ptr<test::StatementRecord> statements;
};

TEST(WorkspaceNameTokens, FirstOccurrenceInAnyCaseIsReplacedAndTheRestKept) {
  EXPECT_EQ(ReplaceFirstToken(QStringLiteral("Files for %USER_ID%"), QStringLiteral("%USER_ID%"), QStringLiteral("JSMITH")),
            QStringLiteral("Files for JSMITH"));
  EXPECT_EQ(ReplaceFirstToken(QStringLiteral("files for %user_id%"), QStringLiteral("%USER_ID%"), QStringLiteral("JSMITH")),
            QStringLiteral("files for JSMITH"));
  EXPECT_EQ(ReplaceFirstToken(QStringLiteral("%USER_ID% and %USER_ID%"), QStringLiteral("%USER_ID%"), QStringLiteral("JS")),
            QStringLiteral("JS and %USER_ID%"));
  EXPECT_EQ(ReplaceFirstToken(QStringLiteral("No token"), QStringLiteral("%USER_ID%"), QStringLiteral("JS")),
            QStringLiteral("No token"));
  // A letter whose upper case is longer does not shift the cut.
  EXPECT_EQ(ReplaceFirstToken(QStringLiteral("Straße %author%!"), QStringLiteral("%AUTHOR%"), QStringLiteral("AP")),
            QStringLiteral("Straße AP!"));
}

TEST_F(WorkspaceTest, TemplateExpandsUsersAndLooksGroupsUpOnlyWhenAsked) {
  const int before = statements->Count(Law, QStringLiteral("GROUPS"));
  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("%AUTHOR% for %USER_ID% by %typist.user_id%"), QStringLiteral("LGARCIA"),
                                QStringLiteral("JSMITH"), QStringLiteral("MJONES")),
            QStringLiteral("JSMITH for LGARCIA by MJONES"));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("GROUPS")), before);

  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("%AUTHOR.PRIMARY_GROUP% matters"), QStringLiteral("LGARCIA"),
                                QStringLiteral("JSMITH"), QStringLiteral("MJONES")),
            QStringLiteral("LITIGATION matters"));
  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("%AUTHOR.PRIMARY_GROUP% matters"), QStringLiteral("LGARCIA"),
                                QStringLiteral("NOBODY"), QStringLiteral("MJONES")),
            QStringLiteral(" matters"));
  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("Typist %TYPIST.PRIMARY_GROUP%"), QStringLiteral("LGARCIA"),
                                QStringLiteral("JSMITH"), QStringLiteral("MJONES")),
            QStringLiteral("Typist CORPORATE"));
  EXPECT_EQ(statements->Count(Law, QStringLiteral("GROUPS")), before + 3);

  // Empty names, also after expansion, and the default rule's name become the fallback.
  const QString user = QStringLiteral("JSMITH");
  EXPECT_EQ(ExpandWorkspaceName(cx, QString(), user, user, user), QStringLiteral("My Folders"));
  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("***DEFAULT RULE***"), user, user, user), QStringLiteral("My Folders"));
  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("%TYPIST%"), user, user, QString()), QStringLiteral("My Folders"));
  EXPECT_EQ(ExpandWorkspaceName(cx, QStringLiteral("*default rule*"), user, user, user), QStringLiteral("*default rule*"));
}

TEST_F(WorkspaceTest, FirstCallWritesRootWorkspaceAndMemberRows) {
  const qint64 doc = MakeFolder(QStringLiteral("Acme Corporation"));
  cx.ui->SetStatusLabel(StatusWindow::Main, QStringLiteral("Before the call"));
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Acme Corporation"), doc, QStringLiteral("JSMITH"),
                             QStringLiteral("Client files of %AUTHOR%"), Law));

  const QString person = PeopleId(Law, QStringLiteral("JSMITH"));
  const QString name = QStringLiteral("Client files of JSMITH");
  const QList<Row> roots = Children(Law, person);
  ASSERT_EQ(roots.size(), 1);
  EXPECT_EQ(roots[0], (Row{"WORKSPACES", "SubTree", name, "USER", "PROPERTY"}));
  const QString root = IdOf(Law, person, QStringLiteral("WORKSPACES"), name);

  const QList<Row> workspaces = Children(Law, root);
  ASSERT_EQ(workspaces.size(), 1);
  EXPECT_EQ(workspaces[0], (Row{"WS-Client files", "SubTree", name, "REGISTRY", "PROPERTY"}));
  const QString workspace = IdOf(Law, root, QStringLiteral("WS-Client files"), name);

  const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
  const QList<Row> properties = Children(Law, workspace);
  ASSERT_EQ(properties.size(), 6);
  EXPECT_EQ(properties[0], (Row{"NAME", "String", name, "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(properties[1], (Row{"DESCRIPTION", "String", name + "-LAWLIB", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(properties[2], (Row{"DATE", "String", today, "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(properties[3], (Row{"FAVORITE", "Boolean", "0", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(properties[4], (Row{"WM", "String", "", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(properties[5], (Row{"WMAcme Corporat", "String", "Acme Corporation", "REGISTRY", "PROPERTY"}));

  const QString member = IdOf(Law, workspace, QStringLiteral("WMAcme Corporat"), QStringLiteral("Acme Corporation"));
  const QList<Row> memberRows = Children(Law, member);
  const QString number = QString::number(doc);
  ASSERT_EQ(memberRows.size(), 7);
  EXPECT_EQ(memberRows[0], (Row{"NAME", "String", "Acme Corporation", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(memberRows[1], (Row{"DESCRIPTION", "String", "Acme Corporation-LAWLIB", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(memberRows[2], (Row{"ORDERNUMBER", "String", "1", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(memberRows[3], (Row{"TYPE", "String", "FOLDER", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(memberRows[4], (Row{"LINKID", "String", number, "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(memberRows[5], (Row{"LINKNAME", "String", "Acme Corporation", "REGISTRY", "PROPERTY"}));
  EXPECT_EQ(memberRows[6], (Row{"LIBRARY", "String", "LAWLIB", "REGISTRY", "PROPERTY"}));

  ASSERT_EQ(cx.security.WorkspaceCacheCount, 1);
  ASSERT_EQ(cx.security.WorkspaceCache.size(), 2u);
  const WorkspaceCacheRow& cached = cx.security.WorkspaceCache[1];
  EXPECT_EQ(cached[WsUserId], QStringLiteral("JSMITH"));
  EXPECT_EQ(cached[WsPrimaryLibrary], Law);
  EXPECT_EQ(cached[WsPeopleId], person);
  EXPECT_EQ(cached[WsRootId], root);
  EXPECT_EQ(cached[WsWorkspaceId], workspace);
  EXPECT_EQ(cached[WsEmailAddress], QStringLiteral("jsmith@example.com"));
  EXPECT_EQ(cached[WsName], name.toUpper());

  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), QStringLiteral("Before the call"));
  EXPECT_TRUE(Log().contains(QStringLiteral("You have successfully added item \"Acme Corporation\" to the workspace \"") +
                             name + QStringLiteral("\" for JSMITH")));
}

TEST_F(WorkspaceTest, LaterCallsSkipTheLookUpsTheCacheAnswers) {
  const qint64 first = MakeFolder(QStringLiteral("First"));
  const qint64 second = MakeFolder(QStringLiteral("Second"));
  const qint64 third = MakeFolder(QStringLiteral("Third"));
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("First"), first, QStringLiteral("JSMITH"), QStringLiteral("Matters"), Law));

  const auto lookUps = [&] {
    return std::vector<int>{statements->Count(Law, QStringLiteral("REMOTE_LIBRARIES WHERE SYSTEM_ID = (SELECT PRIMARY_LIB")),
                            statements->Count(Law, QStringLiteral("SELECT SYSTEM_ID, EMAIL_ADDRESS")),
                            statements->Count(Law, QStringLiteral("= 'WORKSPACES'")),
                            statements->Count(Law, QStringLiteral("LIKE 'WS%'"))};
  };
  const std::vector<int> afterFirst = lookUps();
  EXPECT_EQ(afterFirst, (std::vector<int>{1, 1, 1, 1}));

  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Second"), second, QStringLiteral("JSMITH"), QStringLiteral("matters"), Law));
  EXPECT_EQ(lookUps(), afterFirst);
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 1);

  // Same user, new workspace: only the workspace look-up runs.
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Third"), third, QStringLiteral("JSMITH"), QStringLiteral("Archive"), Law));
  EXPECT_EQ(lookUps(), (std::vector<int>{1, 1, 1, 2}));
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 2);

  const QString root = IdOf(Law, PeopleId(Law, QStringLiteral("JSMITH")), QStringLiteral("WORKSPACES"), QStringLiteral("Matters"));
  EXPECT_EQ(Children(Law, root).size(), 2);  // "Matters" and "Archive" under one root
  const QString matters = IdOf(Law, root, QStringLiteral("WS-Matters"), QStringLiteral("Matters"));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT R.DATA FROM REGISTRY R JOIN REGISTRY M ON M.SYSTEM_ID = R.ENTITYID "
                                              "WHERE M.ENTITYID = %1 AND M.DATA = 'Second' AND R.NAME = 'ORDERNUMBER'")
                                   .arg(matters)),
            QStringLiteral("2"));
}

TEST_F(WorkspaceTest, ExistingRowsInTheDatabaseAreFoundByTheirData) {
  const qint64 first = MakeFolder(QStringLiteral("Acme"));
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Acme"), first, QStringLiteral("JSMITH"), QStringLiteral("Clients"), Law));
  const int rows = RegistryRows(Law);

  // A fresh program run (empty cache) finds root, workspace and member; the member matches in any case.
  cx.security = SecurityState{};
  CreateWorkspaceCache(cx.security);
  const qint64 other = MakeFolder(QStringLiteral("ACME"));
  EXPECT_TRUE(AddToWorkspace(cx, QStringLiteral("ACME"), other, QStringLiteral("JSMITH"), QStringLiteral("CLIENTS"), Law));
  EXPECT_EQ(RegistryRows(Law), rows);
  EXPECT_TRUE(Log().contains(QStringLiteral("Folder \"ACME\" already exists in workspace \"CLIENTS\" for user JSMITH")));
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 1);
  const QString link = QStringLiteral("SELECT DATA FROM REGISTRY WHERE NAME = 'LINKID'");
  EXPECT_EQ(server.Scalar(Law, link).toLongLong(), first) << "the linked folder still carries the name";

  // A folder member of the folder's library leads to the new folder only when no item of its number
  // exists there (its folder was rolled back). A client's folder renamed by hand carries the
  // values of the matter that made it, not the new one's: it keeps its entry, as does a user's
  // shortcut to another folder, a member linking a document, and one of another kind or library.
  const qint64 target = MakeFolder(QStringLiteral("Acme old")), document = 2;
  struct Case { const char* linked; qint64 number; const char* type; bool relinked; };
  for (const Case& c : {Case{"renamed by hand, made by another matter", target, "FOLDER", false},
                        {"a document", document, "FOLDER", false}, {"a user's document", document, "DOCUMENT", false},
                        {"missing", 987654, "FOLDER", true}, {"another library's", 987655, "ORALIB", false}}) {
    server.Exec(Law, QStringLiteral("UPDATE PROFILE SET DOCNAME = 'Acme - renamed', MATTER = 8 WHERE DOCNUMBER = %1").arg(c.number));
    const bool library = QByteArray(c.type) == "ORALIB";
    server.Exec(Law, QStringLiteral("UPDATE REGISTRY SET DATA = CASE NAME WHEN 'LINKID' THEN '%1' WHEN 'TYPE' THEN '%2' ELSE '%3' END "
                                    "WHERE NAME IN ('LINKID', 'TYPE', 'LIBRARY')")
                         .arg(c.number).arg(library ? "FOLDER" : c.type).arg(library ? c.type : "LAWLIB"));
    EXPECT_TRUE(AddToWorkspace(cx, QStringLiteral("ACME"), other, QStringLiteral("JSMITH"), QStringLiteral("CLIENTS"), Law));
    EXPECT_EQ(server.Scalar(Law, link).toLongLong(), c.relinked ? other : c.number) << c.linked;
  }
  EXPECT_EQ(RegistryRows(Law), rows);
}

TEST_F(WorkspaceTest, OrderNumberFollowsTheHighestInTheWorkspace) {
  for (const char* item : {"One", "Two", "Three"})
    ASSERT_TRUE(AddToWorkspace(cx, QString::fromLatin1(item), MakeFolder(QString::fromLatin1(item)), QStringLiteral("JSMITH"),
                               QStringLiteral("Ordered"), Law));
  server.Exec(Law, QStringLiteral("UPDATE REGISTRY SET DATA = '7' WHERE NAME = 'ORDERNUMBER' AND ENTITYID = "
                                  "(SELECT SYSTEM_ID FROM REGISTRY WHERE NAME LIKE 'WM%' AND DATA = 'Three')"));
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Four"), MakeFolder(QStringLiteral("Four")), QStringLiteral("JSMITH"),
                             QStringLiteral("Ordered"), Law));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT R.DATA FROM REGISTRY R JOIN REGISTRY M ON M.SYSTEM_ID = R.ENTITYID "
                                              "WHERE M.DATA = 'Four' AND M.NAME LIKE 'WM%' AND R.NAME = 'ORDERNUMBER'")),
            QStringLiteral("8"));
}

TEST_F(WorkspaceTest, NamesSharingTheirFirst13CharactersAreTwoWorkspaces) {
  const QString a = QStringLiteral("Litigation matters 2024");
  const QString b = QStringLiteral("Litigation matters 2025");
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("X"), MakeFolder(QStringLiteral("X")), QStringLiteral("JSMITH"), a, Law));
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("X"), MakeFolder(QStringLiteral("X")), QStringLiteral("JSMITH"), b, Law));
  const QList<Row> rows =
      server.Rows(Law, QStringLiteral("SELECT NAME, DATA FROM REGISTRY WHERE NAME LIKE 'WS-%' ORDER BY SYSTEM_ID"));
  ASSERT_EQ(rows.size(), 2);
  EXPECT_EQ(rows[0], (Row{"WS-Litigation ma", a}));
  EXPECT_EQ(rows[1], (Row{"WS-Litigation ma", b}));
}

TEST_F(WorkspaceTest, ApostrophesInNamesAreStoredAsWritten) {
  const QString item = QStringLiteral("O'Brien & Sons");
  ASSERT_TRUE(AddToWorkspace(cx, item, MakeFolder(item), QStringLiteral("JSMITH"), QStringLiteral("Clients' files"), Law));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT COUNT(*) FROM REGISTRY WHERE NAME = 'WS-Clients'' file' AND "
                                              "DATA = 'Clients'' files'")),
            QStringLiteral("1"));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT COUNT(*) FROM REGISTRY WHERE DATA = 'O''Brien & Sons'")),
            QStringLiteral("3"));  // the member, its NAME and its LINKNAME rows
  // Found again by its name on the next call.
  const int rows = RegistryRows(Law);
  EXPECT_TRUE(AddToWorkspace(cx, item, MakeFolder(item), QStringLiteral("JSMITH"), QStringLiteral("Clients' files"), Law));
  EXPECT_EQ(RegistryRows(Law), rows);
}

TEST_F(WorkspaceTest, MissingArgumentsRunNoStatementAtAll) {
  const qint64 doc = MakeFolder(QStringLiteral("Doc"));
  const size_t before = statements->items.size();
  EXPECT_FALSE(AddToWorkspace(cx, QString(), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), 0, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), doc, QString(), QStringLiteral("W"), Law));
  EXPECT_EQ(statements->items.size(), before);
  EXPECT_TRUE(test::Logged(Log(), QStringLiteral("Error: Unable to identify workspace, folder or user information")));
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 0);
}

TEST_F(WorkspaceTest, RowsGoToTheUsersPrimaryLibraryAndTheCallReturnsToTheCurrentOne) {
  Start(Ora);
  const qint64 doc = MakeFolder(QStringLiteral("Oracle folder"));
  // ADMIN's primary library is LAWLIB, as ORALIB's PEOPLE row says.
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Oracle folder"), doc, QStringLiteral("ADMIN"), QStringLiteral("Mine"), Ora));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
  EXPECT_EQ(server.Scalar(Ora, QStringLiteral("SELECT COUNT(*) FROM REGISTRY")), QStringLiteral("0"));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT COUNT(*) FROM REGISTRY WHERE NAME = 'LIBRARY' AND DATA = 'ORALIB'")),
            QStringLiteral("1"));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT COUNT(*) FROM REGISTRY WHERE ENTITYID = %1 AND NAME = 'WORKSPACES'")
                                   .arg(PeopleId(Law, QStringLiteral("ADMIN")))),
            QStringLiteral("1"));
  EXPECT_EQ(cx.security.WorkspaceCache[1][WsPrimaryLibrary], Law);
  EXPECT_TRUE(Log().contains(QStringLiteral("Adding workspace \"Mine\" for user ADMIN (User's primary library is LAWLIB)")));
}

TEST(WorkspaceSingleLibrary, OneLibrarySystemWorksInTheCurrentLibrary) {
  test::DmTestServer single({{QStringLiteral("SOLOLIB"), 10, QStringLiteral("DOCSADM"), true}});
  test::TestContext<SecurityContext> cx;
  const auto statements = test::StartSession(cx, single);
  ASSERT_TRUE(ConnectLibrary(cx, QStringLiteral("SOLOLIB")));
  dm::DmFolderPtr folder = cx.session.CurrentLibrary->NewFolder();
  folder->SetFolderName(QStringLiteral("Solo"));
  ASSERT_TRUE(folder->Save(3));
  ASSERT_TRUE(AddToWorkspace(cx, QStringLiteral("Solo"), folder->DocNumber(), QStringLiteral("JSMITH"), QStringLiteral("W"),
                             QStringLiteral("SOLOLIB")));
  EXPECT_EQ(statements->Count(QStringLiteral("SOLOLIB"), QStringLiteral("REMOTE_LIBRARIES WHERE SYSTEM_ID = (SELECT PRIMARY_LIB")), 0);
  ASSERT_EQ(cx.security.WorkspaceCacheCount, 1);
  EXPECT_EQ(cx.security.WorkspaceCache[1][WsPrimaryLibrary], QStringLiteral("SOLOLIB"));
  EXPECT_EQ(single.Scalar(QStringLiteral("SOLOLIB"), QStringLiteral("SELECT COUNT(*) FROM REGISTRY WHERE NAME = 'LINKNAME'")),
            QStringLiteral("1"));
}

TEST_F(WorkspaceTest, UnknownUserOrUnreachablePrimaryLibraryFails) {
  const qint64 doc = MakeFolder(QStringLiteral("Doc"));
  cx.ui->SetStatusLabel(StatusWindow::Main, QStringLiteral("Status before"));
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), doc, QStringLiteral("NOBODY"), QStringLiteral("W"), Law));
  EXPECT_TRUE(test::Logged(Log(), QStringLiteral("Error: Unable to identify system_id for user NOBODY in library LAWLIB")));

  server.Exec(Law, QStringLiteral("INSERT INTO REMOTE_LIBRARIES (SYSTEM_ID, LIBRARY_NAME) VALUES (990200, 'GONELIB')"));
  server.Exec(Law, QStringLiteral("UPDATE PEOPLE SET PRIMARY_LIB = 990200 WHERE USER_ID = 'JSMITH'"));
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_TRUE(test::Logged(Log(), QStringLiteral("Error: Unable to connect to library GONELIB for user JSMITH")));

  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), QStringLiteral("Status before"));
  EXPECT_EQ(RegistryRows(Law), 0);
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 0);
}

TEST_F(WorkspaceTest, NoNewKeyStopsBeforeAnyRowIsWritten) {
  const qint64 doc = MakeFolder(QStringLiteral("Doc"));
  server.Components()->Server()->hooks.nextKeyFails = true;
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_TRUE(test::Logged(Log(), WorkspaceKeyFailureText));
  EXPECT_EQ(RegistryRows(Law), 0);
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 0);
}

TEST_F(WorkspaceTest, KeyFailureInTheMiddleOfATreeLeavesNothingThatCountsAsComplete) {
  const qint64 doc = MakeFolder(QStringLiteral("Halfway"));
  dm::DmTestHooks& hooks = server.Components()->Server()->hooks;
  // The keys run out once the member row is written, before its properties.
  hooks.sqlFault = [&hooks](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (sql.contains(QStringLiteral("'WMHalfway'"))) hooks.nextKeyFails = true;
    return std::nullopt;
  };
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Halfway"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_TRUE(test::Logged(Log(), WorkspaceKeyFailureText));
  EXPECT_EQ(RegistryRows(Law), 0);
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 0);

  // The next call makes the whole tree instead of finding a member without its properties.
  hooks.sqlFault = nullptr;
  hooks.nextKeyFails = false;
  EXPECT_TRUE(AddToWorkspace(cx, QStringLiteral("Halfway"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_FALSE(Log().contains(QStringLiteral("Folder \"Halfway\" already exists")));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT DATA FROM REGISTRY WHERE NAME = 'LINKID'")), QString::number(doc));
  EXPECT_EQ(RegistryRows(Law), 1 + 6 + 8);  // root, workspace with five properties, member with seven

  // A property row the database rejects takes the member with it, in a workspace that stands.
  const qint64 second = MakeFolder(QStringLiteral("Second"));
  test::FailStatements(cx, statements, QStringLiteral("'LINKID'"));
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Second"), second, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_EQ(RegistryRows(Law), 1 + 6 + 8);
  test::FailStatements(cx, statements, QStringList());
  EXPECT_TRUE(AddToWorkspace(cx, QStringLiteral("Second"), second, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_EQ(RegistryRows(Law), 1 + 6 + 8 + 8);
}

TEST_F(WorkspaceTest, RejectedMemberInsertIsShownWhenErrorsAreDisplayed) {
  const qint64 doc = MakeFolder(QStringLiteral("Rejected"));
  test::FailStatements(cx, statements, QStringLiteral("'WMRejected'"));
  cx.ui->controls.displayErrors = true;
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Rejected"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  ASSERT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].text, QStringLiteral("Error: Unable to create workspace for user JSMITH"));
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Exclamation);
  EXPECT_EQ(cx.scripted->shown[0].title, cx.app.AppTitle);
  // The tree stands or falls whole: neither the root nor the workspace made for it is kept.
  EXPECT_EQ(RegistryRows(Law), 0);
  EXPECT_EQ(cx.security.WorkspaceCacheCount, 0);

  cx.ui->controls.displayErrors = false;
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Rejected"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_TRUE(test::Logged(Log(), QStringLiteral("Error: Unable to create workspace for user JSMITH")));
}

TEST_F(WorkspaceTest, MissingLibraryObjectEndsWithoutSwitching) {
  const qint64 doc = MakeFolder(QStringLiteral("Doc"));
  const size_t before = statements->items.size();
  cx.session.CurrentLibrary.reset();
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  EXPECT_TRUE(test::Logged(Log(), QStringLiteral("Error: Library object not set - cannot continue")));
  EXPECT_EQ(statements->items.size(), before);
  EXPECT_FALSE(cx.session.CurrentLibrary);
}

// A collection whose count fails once after the item's author was read: not in the session check
// of the switch back (a failing check would ask to end the program), but in the look-up of the
// user's primary library that follows.
class CountFailsAfterAuthorQuery : public dm::DmLibraries {
 public:
  CountFailsAfterAuthorQuery(dm::DmLibrariesPtr inner, std::shared_ptr<test::StatementRecord> record)
      : inner_(std::move(inner)), record_(std::move(record)) {}
  qint64 Count() const override {
    if (!failed_ && record_->Count(Law, QStringLiteral("SELECT A.USER_ID, T.USER_ID")) > 0 && ++callsAfter_ == 2) {
      failed_ = true;
      throw DmCallFailure(-2147221503, QStringLiteral("DOCSObjects.Libraries"), QStringLiteral("Count failed"));
    }
    return inner_->Count();
  }
  dm::DmLibraryPtr Item(qint64 index) override { return inner_->Item(index); }

 private:
  dm::DmLibrariesPtr inner_;
  std::shared_ptr<test::StatementRecord> record_;
  mutable bool failed_ = false;
  mutable int callsAfter_ = 0;
};

TEST_F(WorkspaceTest, RunTimeFailureIsReportedAndTheEntryStateRestored) {
  const qint64 doc = MakeFolder(QStringLiteral("Doc"));
  cx.ui->SetStatusLabel(StatusWindow::Main, QStringLiteral("Status before"));
  cx.session.FusionLibraries = std::make_shared<CountFailsAfterAuthorQuery>(cx.session.FusionLibraries, statements);
  EXPECT_FALSE(AddToWorkspace(cx, QStringLiteral("Doc"), doc, QStringLiteral("JSMITH"), QStringLiteral("W"), Law));
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("AddToWorkspace:")));
  EXPECT_TRUE(test::Logged(log, QStringLiteral("Error: #-2147221503 was generated by DOCSObjects.Libraries")));
  EXPECT_TRUE(log.contains(QStringLiteral("Count failed")));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), QStringLiteral("Status before"));
  EXPECT_EQ(RegistryRows(Law), 0);
}

}  // namespace
}  // namespace sw
