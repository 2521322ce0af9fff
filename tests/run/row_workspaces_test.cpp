// The workspace step of a new folder: who is listed at which level, the workspace name, the
// warnings that skip the folder, and that the list never carries over to the next folder.
#include <gtest/gtest.h>

#include "run/row_workspaces.h"
#include "security/security_context.h"
#include "security/workspace.h"
#include "row_session.h"

namespace sw {
namespace {

using test::Law;

class RowWorkspacesTest : public test::RowSession {
 protected:
  void SetUp() override {
    RowSession::SetUp();
    CreateWorkspaceCache(cx.security);
  }
  // A document whose author and typist are the given users; its PROFILE.SYSTEM_ID.
  qint64 DocumentBy(const QString& author, const QString& typist) {
    const QString doc = Sql(Law, "SELECT MIN(DOCNUMBER) FROM PROFILE WHERE APPLICATION <> (SELECT SYSTEM_ID FROM APPS "
                                 "WHERE APPLICATION = 'FOLDER')");
    server.Exec(Law, QStringLiteral("UPDATE PROFILE SET AUTHOR = (SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '%1'), "
                                    "TYPIST = (SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = '%2') WHERE DOCNUMBER = %3")
                         .arg(author, typist, doc));
    return Number(Law, "SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = " + doc);
  }
  void RowFromDocument(qint64 systemId, int profileLevel) {
    cx.runState.rows.RowDocNumber = systemId;
    cx.runState.rows.ProfileWorkspaceLevel = profileLevel;
  }
  // The users AddToWorkspace was called for, in order.
  QStringList Subscribed() const {
    QStringList users;
    const QString marker = QStringLiteral(" for Author-related user ");
    for (const QString& line : Log().split('\n')) {
      const qsizetype at = line.indexOf(marker);
      if (at >= 0) users << line.mid(at + marker.size()).section(' ', 0, 0);
    }
    return users;
  }
  qint64 Folder() const { return Number(Law, "SELECT MAX(DOCNUMBER) FROM PROFILE"); }
};

TEST_F(RowWorkspacesTest, NoLevelsConfiguredListsNobody) {
  RowFromDocument(DocumentBy("JSMITH", "MJONES"), 1);
  AddRowWorkspaces(cx, 1, QStringLiteral("Folder A"), Folder(), Law);
  EXPECT_EQ(statements->Count(Law, "USER_ID"), 0);
  EXPECT_TRUE(Log().contains("Workspace users to process: 0"));
  EXPECT_TRUE(Subscribed().isEmpty());
}

TEST_F(RowWorkspacesTest, AuthorAndTypistOfTheDocumentAtTheirLevels) {
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rule.RULE_WORKSPACE_TYPIST = 1;
  RowFromDocument(DocumentBy("JSMITH", "MJONES"), 1);
  AddRowWorkspaces(cx, 1, QStringLiteral("Folder A"), Folder(), Law);
  EXPECT_EQ(Subscribed(), (QStringList{"JSMITH", "MJONES"}));
  EXPECT_TRUE(Log().contains("Adding workspace author JSMITH"));
  EXPECT_TRUE(Log().contains("Adding workspace typist MJONES"));
  EXPECT_TRUE(cx.runState.rows.WorkspaceUsers.empty());
}

TEST_F(RowWorkspacesTest, SameAuthorAndTypistIsListedOnce) {
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 2;
  cx.runState.rule.RULE_WORKSPACE_TYPIST = 2;
  RowFromDocument(DocumentBy("APATEL", "APATEL"), 2);
  AddRowWorkspaces(cx, 2, QStringLiteral("Folder B"), Folder(), Law);
  EXPECT_EQ(Subscribed(), QStringList{"APATEL"});
}

TEST_F(RowWorkspacesTest, TypistLevelListsTheTypistOnly) {
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rule.RULE_WORKSPACE_TYPIST = 2;
  RowFromDocument(DocumentBy("JSMITH", "MJONES"), 2);
  AddRowWorkspaces(cx, 2, QStringLiteral("Folder C"), Folder(), Law);
  EXPECT_EQ(Subscribed(), QStringList{"MJONES"});
}

TEST_F(RowWorkspacesTest, DocumentUsersNeedTheProfileLevel) {
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("CORPORATE");
  RowFromDocument(DocumentBy("JSMITH", "JSMITH"), 2);
  AddRowWorkspaces(cx, 1, QStringLiteral("Folder D"), Folder(), Law);
  QStringList users = Subscribed();
  users.sort();
  // The group's members are listed at the author level; the document's author is not.
  EXPECT_EQ(users, (QStringList{"APATEL", "MJONES"}));
}

TEST_F(RowWorkspacesTest, UnknownGroupListsNobody) {
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("NO SUCH GROUP");
  AddRowWorkspaces(cx, 1, QStringLiteral("Folder E"), Folder(), Law);
  EXPECT_TRUE(Log().contains("Workspace users to process: 0"));
}

TEST_F(RowWorkspacesTest, GroupNameWithAnApostropheIsQuoted) {
  server.Exec(Law, "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (90001, 'O''NEIL TEAM', 'x')");
  server.Exec(Law, "INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) SELECT SYSTEM_ID, 90001 FROM PEOPLE "
                   "WHERE USER_ID = 'LGARCIA'");
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("O'NEIL TEAM");
  AddRowWorkspaces(cx, 1, QStringLiteral("Folder F"), Folder(), Law);
  EXPECT_EQ(Subscribed(), QStringList{"LGARCIA"});
}

TEST_F(RowWorkspacesTest, PeopleAndGroupLinksListTheLinkedUsers) {
  SourceListState& in = cx.runState.lists;
  in.PeopleLinkTable = QStringLiteral("PROFILE");
  in.PeopleLinkColumn = QStringLiteral("TYPIST");
  in.PeopleLinkKey = QStringLiteral("SYSTEM_ID");
  in.GroupLinkTable = QStringLiteral("PEOPLE");
  in.GroupLinkColumn = QStringLiteral("PRIMARY_GROUP");
  in.GroupLinkKey = QStringLiteral("USER_ID");
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rows.PeopleLinkValue = QString::number(DocumentBy("JSMITH", "TNGUYEN"));
  cx.runState.rows.GroupLinkValue = QStringLiteral("MJONES");
  AddRowWorkspaces(cx, 1, QStringLiteral("Folder G"), Folder(), Law);
  QStringList users = Subscribed();
  // TNGUYEN through the people link; the CORPORATE group (MJONES's primary group) through the
  // group link.
  EXPECT_EQ(users.first(), "TNGUYEN");
  users.sort();
  EXPECT_EQ(users, (QStringList{"APATEL", "MJONES", "TNGUYEN"}));
}

TEST_F(RowWorkspacesTest, MissingFolderNameSkipsTheFolderWithAWarning) {
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 1;
  cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("CORPORATE");
  AddRowWorkspaces(cx, 1, QString(), Folder(), Law);
  EXPECT_TRUE(Log().contains("Workspace level reached for this document - Workspace item name is not set"));
  EXPECT_TRUE(Subscribed().isEmpty());
  EXPECT_TRUE(cx.runState.rows.WorkspaceUsers.empty());
}

TEST_F(RowWorkspacesTest, WorkspaceNameComesFromTheRuleThenTheLibraryDefault) {
  cx.library.DefaultWorkspace = QStringLiteral(" Client Work ");
  EXPECT_EQ(RowWorkspaceName(cx), "CLIENT MATTERS");
  cx.runState.rule.RULE_WORKSPACE_NAME = QStringLiteral("Matters of %AUTHOR%");
  EXPECT_EQ(RowWorkspaceName(cx), "Matters of %AUTHOR%");
  // The built-in rule (no stored rule of its own here) takes the library's default.
  StartRule(QStringLiteral("***DEFAULT RULE***"));
  EXPECT_EQ(RowWorkspaceName(cx), "Client Work");
  cx.library.DefaultWorkspace.clear();
  EXPECT_EQ(RowWorkspaceName(cx), "***DEFAULT RULE***");
}

}  // namespace
}  // namespace sw
