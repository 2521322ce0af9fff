// Folder creation: found folders and failed look-ups, the top-level question, the rights check,
// the new folder's rows (stamp, root object, values from the parent, filing, clean-ups), the
// failures after the folder has its number, and the way back.
#include <gtest/gtest.h>

#include <QLocale>

#include "filing_session.h"
#include "folders/folders.h"
#include "rules/rule_table.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

class CreateFolderTest : public test::FilingSession {
 protected:
  void SetUp() override {
    FilingSession::SetUp();
    cx.library.TopLevelWarning = 0;
    plainRule = AddRule(QStringLiteral("PLAIN RULE"), 0);
    publicRule = AddRule(QStringLiteral("PUBLIC RULE"), 1);
    cx.ui->SetStatusLabel(StatusWindow::Main, QStringLiteral("Before the folder"));
  }
  int AddRule(const QString& name, int publicFolders, const QString& form = QStringLiteral("***DEFAULT FORM***")) {
    RuleRecords& t = cx.rules.RuleTable;
    const int n = t.AddRule();
    t.Set(field::RuleName, n, name);
    t.Set(field::RULE_CREATE_PUBLIC_FOLDERS, n, QString::number(publicFolders));
    t.Set(field::RULE_FORM, n, form);
    return n;
  }
  qint64 Create(const QString& name, qint64 parent, int rule, int level = 1, const QString& parentLibrary = Law,
                const QString& itemLibrary = Law) {
    return CreateFolder(cx, name, parent, rule, parentLibrary, itemLibrary, level);
  }
  qint64 Count(const QString& library, const QString& sql) { return server.Scalar(library, sql).toLongLong(); }
  qint64 Folders(const QString& library) {
    return Count(library, QStringLiteral("SELECT COUNT(*) FROM FOLDER"));
  }
  qint64 RootRows(const QString& library, qint64 doc) {
    return Count(library, QStringLiteral("SELECT COUNT(*) FROM ROOT_OBJECT WHERE DOCNUMBER = %1").arg(doc));
  }
  qint64 ActivityRows(const QString& library, qint64 doc) {
    return Count(library, QStringLiteral("SELECT COUNT(*) FROM ACTIVITYLOG WHERE DOCNUMBER = %1").arg(doc));
  }
  QString Profile(const QString& library, qint64 doc, const QString& column) {
    return server.Scalar(library, QStringLiteral("SELECT %1 FROM PROFILE WHERE DOCNUMBER = %2").arg(column).arg(doc));
  }
  void ExpectCleanWayOut(const QString& entry = Law) {
    EXPECT_EQ(Current(), entry);
    EXPECT_EQ(cx.items.FolderObject, nullptr);
    EXPECT_EQ(cx.items.ProfileObject, nullptr);
    EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), QStringLiteral("Before the folder"));
  }
  int plainRule = 0;
  int publicRule = 0;
};

TEST_F(CreateFolderTest, EmptyNameReturnsAtOnce) {
  cx.run.FolderExistedFlag = true;
  const QString logBefore = Log();
  const size_t statementsBefore = statements->items.size();
  // A name of blanks and line breaks is as empty as none.
  for (const QString& name : {QString(), QStringLiteral(" \r\n ")}) EXPECT_EQ(Create(name, 0, plainRule, 1, Law, Ora), 0);
  EXPECT_FALSE(cx.run.FolderExistedFlag);
  EXPECT_EQ(Log(), logBefore);
  EXPECT_EQ(statements->items.size(), statementsBefore);
  EXPECT_EQ(Current(), Law);
}

TEST_F(CreateFolderTest, FoundFolderIsReturnedFlaggedAndNothingIsMade) {
  const qint64 top = NewFolder(Law, QStringLiteral("Acme"));
  const qint64 before = Folders(Law);
  EXPECT_EQ(Create(QStringLiteral("ACME"), 0, plainRule), top);
  EXPECT_TRUE(cx.run.FolderExistedFlag);
  EXPECT_TRUE(Log().contains(QStringLiteral("Folder \"ACME\" already exists as folder #") + N(top) + QStringLiteral("\n")) ||
              Log().contains(QStringLiteral("Folder \"ACME\" already exists as folder #") + N(top) + QStringLiteral("\r\n")));
  EXPECT_EQ(Folders(Law), before);
  ExpectCleanWayOut();

  const qint64 child = NewFolder(Law, QStringLiteral("Matter 9"));
  dm::DmFolderPtr parent = SessionLibrary(Law)->OpenFolder(top);
  ASSERT_TRUE(parent->AddSubfolder(SessionLibrary(Law)->OpenFolder(child)));
  EXPECT_EQ(Create(QStringLiteral("Matter 9"), top, plainRule, 2), child);
  EXPECT_TRUE(Log().contains(QStringLiteral("Folder \"Matter 9\" already exists as folder #") + N(child) +
                             QStringLiteral(" in parent folder #") + N(top)));
  EXPECT_EQ(Folders(Law), before + 1);
}

TEST_F(CreateFolderTest, FailedLookUpReturnsItsAnswerAndMakesNothing) {
  test::FailStatements(cx, statements, QStringLiteral("UPPER(P.DOCNAME) LIKE"));
  const qint64 before = Folders(Law);
  EXPECT_EQ(Create(QStringLiteral("Globex"), 0, plainRule), -1);
  EXPECT_FALSE(cx.run.FolderExistedFlag);
  EXPECT_EQ(Folders(Law), before);
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, PublicTopLevelFolderIsMadeStampedAndRooted) {
  // Another document's creation entry by the same user today stays.
  const qint64 other = Document(Law);
  server.Exec(Law, QStringLiteral("INSERT INTO ACTIVITYLOG (SYSTEM_ID, DOCNUMBER, ACTIVITY_TYPE, TYPIST, START_DATE) SELECT "
                                  "880001, %1, 45, SYSTEM_ID, date('now', 'localtime') FROM PEOPLE WHERE USER_ID = 'ADMIN'")
                           .arg(other));
  const qint64 n = Create(QStringLiteral("Stark  Industries"), 0, publicRule);
  ASSERT_GT(n, 0);
  EXPECT_FALSE(cx.run.FolderExistedFlag);
  // Made under the name the look-up searches for.
  EXPECT_EQ(Profile(Law, n, QStringLiteral("DOCNAME")), QStringLiteral("Stark Industries"));
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT PATH FROM FOLDER WHERE DOCNUMBER = %1").arg(n)),
            QStringLiteral("QUILLMARK PUBLIC RULE"));
  EXPECT_FALSE(server.Scalar(Law, QStringLiteral("SELECT LAST_UPDATE FROM FOLDER WHERE DOCNUMBER = %1").arg(n)).isEmpty());
  EXPECT_EQ(server.Scalar(Law, QStringLiteral("SELECT DISPLAYNAME FROM ROOT_OBJECT WHERE DOCNUMBER = %1").arg(n)),
            QStringLiteral("Stark Industries"));
  EXPECT_EQ(ActivityRows(Law, n), 0);
  EXPECT_EQ(ActivityRows(Law, other), 1);
  EXPECT_EQ(Profile(Law, n, QStringLiteral("(SELECT USER_ID FROM PEOPLE WHERE SYSTEM_ID = AUTHOR)")), QStringLiteral("ADMIN"));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("(SELECT TYPE_ID FROM DOCUMENTTYPES WHERE SYSTEM_ID = DOCUMENTTYPE)")),
            QStringLiteral("FOLDER"));
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("I will create a top-level folder named \"Stark Industries\" in library LAWLIB")));
  EXPECT_TRUE(log.contains(QStringLiteral("Setting profile object #") + N(n) + QStringLiteral(" for folder \"Stark Industries\" as Public")));
  EXPECT_TRUE(log.contains(QStringLiteral("Verifying Root_Object Display Name and Profile Document Name for Public Folder #") + N(n)));
  EXPECT_TRUE(cx.scripted->shown.empty());
  ExpectCleanWayOut();
  // The next look-up finds the folder instead of making a twin.
  EXPECT_EQ(Create(QStringLiteral("Stark   Industries"), 0, publicRule), n);
  EXPECT_TRUE(cx.run.FolderExistedFlag);
}

TEST_F(CreateFolderTest, OnlyALevelOneTopFolderOfAPublicRuleKeepsItsRootRow) {
  const qint64 plain = Create(QStringLiteral("Plain Top"), 0, plainRule);
  ASSERT_GT(plain, 0);
  EXPECT_EQ(RootRows(Law, plain), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Not setting profile object #")));
  EXPECT_TRUE(Log().contains(QStringLiteral("Removing Root_Object Information (if it exists) for Folder #") + N(plain)));

  const qint64 parent = NewFolder(Law, QStringLiteral("Holder"));
  const qint64 sub = Create(QStringLiteral("Level One Sub"), parent, publicRule, 1);
  ASSERT_GT(sub, 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Setting profile object #") + N(sub)));
  EXPECT_EQ(RootRows(Law, sub), 0);

  const qint64 second = Create(QStringLiteral("Level Two Top"), 0, publicRule, 2);
  ASSERT_GT(second, 0);
  EXPECT_EQ(RootRows(Law, second), 0);
}

TEST_F(CreateFolderTest, TopLevelQuestionNoStopsTheRun) {
  cx.library.TopLevelWarning = 1;
  cx.log.Now = [] { return QDateTime(QDate(2026, 3, 4), QTime(15, 6, 7)); };
  cx.scripted->Answer(MsgResult::No);
  const qint64 before = Folders(Law);
  EXPECT_EQ(Create(QStringLiteral("Umbrella"), 0, plainRule), 0);
  EXPECT_TRUE(cx.run.StopRequested);
  EXPECT_FALSE(cx.run.FolderExistedFlag);
  EXPECT_EQ(Folders(Law), before);
  ASSERT_EQ(cx.scripted->shown.size(), 2u);
  const ShownMessage& question = cx.scripted->shown[0];
  EXPECT_EQ(question.text, QStringLiteral("You are about to create a top-level folder named \"Umbrella\" in library LAWLIB at "
                                          "2026-03-04 15:06:07 - Are you sure you want to continue?"));
  EXPECT_EQ(question.buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(question.icon, MsgIcon::None);
  EXPECT_EQ(question.title, cx.app.AppTitle);
  const QString stopped = QStringLiteral(
      "Stackwright stopped by user at point where it was going to create a top-level folder named \"Umbrella\" in library LAWLIB");
  EXPECT_EQ(cx.scripted->shown[1].text, stopped);
  EXPECT_EQ(cx.scripted->shown[1].icon, MsgIcon::Information);
  EXPECT_EQ(cx.scripted->shown[1].buttons, MsgButtons::OK);
  EXPECT_TRUE(Log().contains(stopped));
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, TopLevelQuestionCancelSkipsAndYesCreates) {
  cx.library.TopLevelWarning = 1;
  cx.scripted->Answer(MsgResult::Cancel);
  EXPECT_EQ(Create(QStringLiteral("Umbrella"), 0, plainRule), 0);
  EXPECT_FALSE(cx.run.StopRequested);
  EXPECT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_TRUE(Log().contains(QStringLiteral("You have decided not to create a top-level folder named \"Umbrella\" in library LAWLIB")));
  ExpectCleanWayOut();

  cx.scripted->Answer(MsgResult::Yes);
  const qint64 made = Create(QStringLiteral("Umbrella"), 0, plainRule);
  EXPECT_GT(made, 0);
  EXPECT_EQ(cx.scripted->shown.size(), 2u);
  EXPECT_FALSE(Log().contains(QStringLiteral("I will create a top-level folder")));

  // A subfolder is never asked about.
  EXPECT_GT(Create(QStringLiteral("Umbrella Sub"), made, plainRule, 2), 0);
  EXPECT_EQ(cx.scripted->shown.size(), 2u);
}

TEST_F(CreateFolderTest, RightsAreCheckedUnlessThePrimaryGroupIsExactlySupervisors) {
  SetRight(Law, QStringLiteral("User.CreateFolder"), 0);
  EXPECT_GT(Create(QStringLiteral("Supervisor Made"), 0, plainRule), 0);

  server.Exec(Law, QStringLiteral("UPDATE GROUPS SET GROUP_ID = 'Docs_Supervisors' WHERE GROUP_ID = 'DOCS_SUPERVISORS'"));
  const qint64 before = Folders(Law);
  EXPECT_EQ(Create(QStringLiteral("Refused"), 0, plainRule), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("ADMIN does not have rights to manage folders in library LAWLIB")));
  EXPECT_EQ(Folders(Law), before);
  EXPECT_TRUE(cx.scripted->shown.empty());
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, RootFolderRightIsNeededOnlyForPublicTopLevelFolders) {
  SetPrimaryGroup(Law, QStringLiteral("DOCS_USERS"));
  SetRight(Law, QStringLiteral("User.ManageRootFolders"), 0);
  EXPECT_EQ(Create(QStringLiteral("Public Top"), 0, publicRule), 0);
  EXPECT_GT(Create(QStringLiteral("Private Top"), 0, plainRule), 0);
  const qint64 parent = NewFolder(Law, QStringLiteral("Holder"));
  EXPECT_GT(Create(QStringLiteral("Public Sub"), parent, publicRule, 2), 0);
}

TEST_F(CreateFolderTest, RuleFormIsGivenToTheFolder) {
  server.Exec(Law, QStringLiteral("INSERT INTO FORMS (SYSTEM_ID, FORM_NAME, FORM_TYPE) VALUES (770001, 'MATTER_FOLDER', 'P')"));
  const int formRule = AddRule(QStringLiteral("FORM RULE"), 0, QStringLiteral("MATTER_FOLDER"));
  const qint64 n = Create(QStringLiteral("With Form"), 0, formRule);
  ASSERT_GT(n, 0);
  EXPECT_EQ(Profile(Law, n, QStringLiteral("FORM")), QStringLiteral("770001"));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("DOCNAME")), QStringLiteral("With Form"));
  EXPECT_TRUE(Log().contains(QStringLiteral("Saving Folder to change form to MATTER_FOLDER")));
  EXPECT_TRUE(Log().contains(QStringLiteral("Opening folder object #") + N(n) + QStringLiteral(" after changing form to MATTER_FOLDER")));
  // Made once: the early save is the folder itself.
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM PROFILE WHERE DOCNAME = 'With Form'")), 1);

  // A subfolder whose form cannot be looked up again keeps it rather than taking its parent's.
  server.Components()->Server()->hooks.sqlFault = [](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (!sql.startsWith(QStringLiteral("SELECT SYSTEM_ID FROM DOCSADM.FORMS"))) return std::nullopt;
    return dm::SqlFault{1, 208, QStringLiteral("Injected failure")};
  };
  const qint64 sub = Create(QStringLiteral("Sub With Form"), NewFolder(Law, QStringLiteral("Form Parent")), formRule, 2);
  ASSERT_GT(sub, 0);
  EXPECT_EQ(Profile(Law, sub, QStringLiteral("FORM")), QStringLiteral("770001"));
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to read the system_id of the form 'MATTER_FOLDER'")));
}

TEST_F(CreateFolderTest, DefaultFormMarkerIsRecognisedOnlyAsWritten) {
  EXPECT_GT(Create(QStringLiteral("Default Form"), 0, plainRule), 0);
  EXPECT_FALSE(Log().contains(QStringLiteral("Saving Folder to change form")));
  const int lower = AddRule(QStringLiteral("LOWER RULE"), 0, QStringLiteral("***default form***"));
  EXPECT_GT(Create(QStringLiteral("Lower Marker"), 0, lower), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Saving Folder to change form to ***default form***")));
}

TEST_F(CreateFolderTest, ItemLibraryMustMatchExactly) {
  const qint64 before = Folders(Law);
  EXPECT_EQ(Create(QStringLiteral("Case Matters"), 0, plainRule, 1, Law, QStringLiteral("lawlib")), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to create new folder \"Case Matters\" in lawlib")));
  EXPECT_EQ(Folders(Law), before);
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, RefusedProfileSaveEndsWithZeroAndMakesNothing) {
  // The DM refuses a profile whose user it does not know.
  server.Exec(Law, QStringLiteral("DELETE FROM PEOPLE WHERE USER_ID = 'ADMIN'"));
  const qint64 before = Folders(Law);
  EXPECT_EQ(Create(QStringLiteral("Unsaved"), 0, plainRule), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("The user ADMIN is not a member of library LAWLIB - Unable to save the profile object "
                                            "for this folder - cannot continue")));
  EXPECT_FALSE(Log().contains(QStringLiteral("Saving folder object for folder")));
  EXPECT_EQ(Folders(Law), before);
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, SubfolderTakesTheParentsValuesAndIsFiled) {
  const qint64 parent = NewFolder(Law, QStringLiteral("Client Folder"));
  server.Exec(Law, QStringLiteral("UPDATE PROFILE SET STORAGETYPE = 'T', PATH = '\\\\srv\\O''Neil', RETENTION = 30, "
                                  "CLIENT_ID = (SELECT SYSTEM_ID FROM CLIENT WHERE CLIENT_ID = 'C0002') WHERE DOCNUMBER = %1")
                           .arg(parent));
  const qint64 n = Create(QStringLiteral("Matter Folder"), parent, plainRule, 2);
  ASSERT_GT(n, 0);
  EXPECT_EQ(Profile(Law, n, QStringLiteral("STORAGETYPE")), QStringLiteral("T"));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("PATH")), QStringLiteral("\\\\srv\\O'Neil"));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("RETENTION")), QStringLiteral("30"));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("FULLTEXT")), QStringLiteral("Y"));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("FORM")), Profile(Law, parent, QStringLiteral("FORM")));
  EXPECT_EQ(Profile(Law, n, QStringLiteral("CLIENT_ID")), Profile(Law, parent, QStringLiteral("CLIENT_ID")));
  EXPECT_EQ(FiledRows(Law, parent, n), 1);
  EXPECT_EQ(ActivityRows(Law, n), 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Retrieving profile information from parent #") + N(parent)));
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, UnreadableParentDoesNotTakeTheFoldersFormAway) {
  const qint64 parent = NewFolder(Law, QStringLiteral("Vanishing Parent"));
  test::FailStatements(cx, statements, QStringLiteral("SELECT STORAGETYPE, PATH, RETENTION, FORM"));
  const qint64 n = Create(QStringLiteral("Orphan Values"), parent, plainRule, 2);
  ASSERT_GT(n, 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to read profile information from parent #") + N(parent)));
  // Nothing is copied from an answer that never came; the folder is still filed.
  EXPECT_EQ(statements->Count(Law, QStringLiteral("FULLTEXT = 'Y'")), 0);
  EXPECT_EQ(FiledRows(Law, parent, n), 1);
  EXPECT_EQ(Profile(Law, n, QStringLiteral("FORM")),
            server.Scalar(Law, QStringLiteral("SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = 'FOLDER_PROF'")));
  // The folder can still be opened with its columns.
  dm::DmFolderPtr reopened = SessionLibrary(Law)->OpenFolder(n);
  ASSERT_TRUE(reopened);
  EXPECT_GT(reopened->Columns()->Count(), 0);
}

TEST_F(CreateFolderTest, ProfileUpdateThatChangesNoRowSkipsSecurityFilingAndCleanUps) {
  const qint64 parent = NewFolder(Law, QStringLiteral("Parent Kept"));
  const int secured = AddRule(QStringLiteral("SECURED RULE"), 0);
  cx.rules.RuleTable.Set(field::RULE_SECURITY, secured, QStringLiteral("GROUP:DOCS_USERS = 63"));
  test::FailStatements(cx, statements, QStringLiteral("FULLTEXT = 'Y'"));
  const qint64 n = Create(QStringLiteral("Not Posted"), parent, secured, 2);
  ASSERT_GT(n, 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to post profile information for folder \"Not Posted\"")));
  EXPECT_EQ(FiledRows(Law, parent, n), 0);
  EXPECT_EQ(Count(Law, QStringLiteral("SELECT COUNT(*) FROM SECURITY S JOIN PROFILE P ON P.SYSTEM_ID = S.THING "
                                      "WHERE P.DOCNUMBER = %1").arg(n)),
            0);
  EXPECT_EQ(ActivityRows(Law, n), 3);
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, FailedFilingReturnsTheNumberAndSkipsTheCleanUps) {
  const qint64 notAFolder = Document(Law);
  const qint64 n = Create(QStringLiteral("Cannot File"), notAFolder, plainRule, 2);
  ASSERT_GT(n, 0);
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to add folder item #") + N(n) + QStringLiteral(" in library LAWLIB to folder #") +
                             N(notAFolder) + QStringLiteral(" in library LAWLIB")));
  EXPECT_EQ(ActivityRows(Law, n), 3);
  ExpectCleanWayOut();
}

TEST_F(CreateFolderTest, SecuredRuleAppliesItsTemplateAndClearsTheQueueEntry) {
  const int secured = AddRule(QStringLiteral("SECURED RULE"), 0);
  cx.rules.RuleTable.Set(field::RULE_SECURITY, secured, QStringLiteral("GROUP:DOCS_USERS = 63"));
  ASSERT_TRUE(cx.library.NeedsSecuringExists);
  const qint64 n = Create(QStringLiteral("Secured Top"), 0, secured);
  ASSERT_GT(n, 0);
  EXPECT_GT(Count(Law, QStringLiteral("SELECT COUNT(*) FROM SECURITY S JOIN PROFILE P ON P.SYSTEM_ID = S.THING "
                                      "WHERE P.DOCNUMBER = %1").arg(n)),
            0);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("DELETE FROM DOCSADM.NEEDS_SECURING WHERE SID = ") + N(n)), 1);
  const qint64 plain = Create(QStringLiteral("Plain Top"), 0, plainRule);
  EXPECT_EQ(statements->Count(Law, QStringLiteral("NEEDS_SECURING WHERE SID = ") + N(plain)), 0);
}

TEST_F(CreateFolderTest, ActivityLogDateIsWrittenForTheEngine) {
  const qint64 law = Create(QStringLiteral("Dated Law"), 0, plainRule);
  ASSERT_GT(law, 0);
  const QDate today = QDate::currentDate();
  EXPECT_EQ(statements->Count(Law, QStringLiteral("START_DATE = '") + today.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral("'")), 1);

  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  const int oraRule = AddRule(QStringLiteral("ORA RULE"), 0);
  const qint64 ora = Create(QStringLiteral("Dated Ora"), 0, oraRule, 1, Ora, Ora);
  ASSERT_GT(ora, 0);
  const QString oracleDate = QLocale::c().toString(today, QStringLiteral("dd-MMM-yy")).toUpper();
  EXPECT_EQ(statements->Count(Ora, QStringLiteral("START_DATE = TO_DATE('") + oracleDate + QStringLiteral("', 'DD-MON-RR')")), 1);
  EXPECT_EQ(ActivityRows(Ora, ora), 0);
  EXPECT_EQ(Current(), Ora);
}

TEST_F(CreateFolderTest, RuleIsReadFromTheRuleSetCurrentOnEntry) {
  // The rule belongs to LAWLIB's set; ORALIB's set, loaded by the switch, has no rule of that number.
  ASSERT_GT(plainRule, 1);
  const qint64 n = Create(QStringLiteral("Routed Folder"), 0, plainRule, 1, Law, Ora);
  ASSERT_GT(n, 0);
  EXPECT_EQ(server.Scalar(Ora, QStringLiteral("SELECT PATH FROM FOLDER WHERE DOCNUMBER = %1").arg(n)),
            QStringLiteral("QUILLMARK PLAIN RULE"));
  EXPECT_EQ(Current(), Law);
  // A folder the look-up adopts there is stamped for this rule too. (The switch back reloaded
  // LAWLIB's stored rules, so the test's rule is added again.)
  const int again = AddRule(QStringLiteral("PLAIN RULE"), 0);
  const qint64 adopted = NewFolder(Ora, QStringLiteral("Adopted There"));
  EXPECT_EQ(Create(QStringLiteral("Adopted There"), 0, again, 1, Law, Ora), adopted);
  EXPECT_EQ(server.Scalar(Ora, QStringLiteral("SELECT PATH FROM FOLDER WHERE DOCNUMBER = %1").arg(adopted)),
            QStringLiteral("QUILLMARK PLAIN RULE"));
}

TEST_F(CreateFolderTest, RunTimeFailureGoesThroughTheHandlerAndAFolderMadeIsStillTheAnswer) {
  test::InjectLibraryFaults(cx, {Ora, true, false, QString()});
  const qint64 n = Create(QStringLiteral("Broken Parent"), 123456, plainRule, 2, Ora, Law);
  EXPECT_EQ(n, 0);
  const QString log = Log();
  EXPECT_TRUE(log.contains(QStringLiteral("CreateFolder:")));
  EXPECT_TRUE(log.contains(QStringLiteral("was generated by DOCSObjects.Libraries")));
  EXPECT_TRUE(log.contains(QStringLiteral("Unable to create folder \"Broken Parent\"")));
  ExpectCleanWayOut();

  // Once the folder exists, a failure in the steps after it answers with the folder, never with
  // 0, which would have the caller make another.
  const qint64 parent = NewFolder(Law, QStringLiteral("Late Parent"));
  auto failing = std::make_shared<test::FailingPcdSql>(cx.session.pSQL);
  failing->failAfter = QStringLiteral("FULLTEXT = 'Y'");
  cx.session.pSQL = failing;
  const qint64 late = Create(QStringLiteral("Late Failure"), parent, plainRule, 2);
  ASSERT_GT(late, 0);
  EXPECT_EQ(Profile(Law, late, QStringLiteral("DOCNAME")), QStringLiteral("Late Failure"));
  EXPECT_TRUE(Log().contains(QStringLiteral("Unable to complete folder #") + N(late) + QStringLiteral(" \"Late Failure\"")));
  ExpectCleanWayOut();
}

}  // namespace
}  // namespace sw
