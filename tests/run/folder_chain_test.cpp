// The folder chain of each row: level names from the row's columns, trimming markers, blank
// levels, the rule's level limit, the e-mail library, failures, existing folders, the counters,
// the tracking of rows and the stop request.
#include <gtest/gtest.h>

#include <QProcess>
#include <QRegularExpression>

#include "folders/folders.h"
#include "row_session.h"
#include "security/workspace.h"

namespace sw {
namespace {

using test::Law;
using test::Ora;

// Asks for a stop as soon as the first new folder is counted.
struct StopOnFirstAddUi : ScriptedUi {
  RunFlags* flags = nullptr;
  void SetErrorAndAddedLabels(const QString& errors, const QString& added) override {
    ScriptedUi::SetErrorAndAddedLabels(errors, added);
    if (flags && added == QLatin1String("1")) flags->StopRequested = true;
  }
};

class FolderChainTest : public test::RowSession {
 protected:
  // Reads the rows of a one-row statement over the demo's FOLDER application row.
  void OneRow(const QString& selectList) {
    cx.runState.statement.RuleStatement =
        QStringLiteral("SELECT ") + selectList + QStringLiteral(" FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER'");
    ASSERT_TRUE(ReadRuleRows(cx));
  }
  void ReadAndProcess() {
    ASSERT_TRUE(ReadRuleRows(cx));
    ProcessRuleRows(cx);
  }
  // Folders of the library with this name.
  int FoldersNamed(const QString& library, const QString& name) const {
    return server.Scalar(library, QStringLiteral("SELECT COUNT(*) FROM PROFILE P JOIN APPS A ON A.SYSTEM_ID = P.APPLICATION "
                                                 "WHERE A.APPLICATION = 'FOLDER' AND P.DOCNAME = '%1'")
                                      .arg(name))
        .toInt();
  }
  qint64 FolderNamed(const QString& library, const QString& name) const {
    return Number(library, QStringLiteral("SELECT DOCNUMBER FROM PROFILE WHERE DOCNAME = '%1'").arg(name));
  }
  bool FiledIn(const QString& library, qint64 parent, qint64 item) const {
    return Number(library, QStringLiteral("SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = %1 AND DOCNUMBER = %2")
                               .arg(parent)
                               .arg(item)) > 0;
  }
  // What "stackwright-dm check" says of the server: its exit status, then its report.
  std::pair<int, QString> DmCheck() const {
    QProcess tool;
    tool.start(qEnvironmentVariable("STACKWRIGHT_DM_TOOL"), {"check", server.Path()});
    if (!tool.waitForFinished(60000)) return {-1, QString()};
    return {tool.exitCode(), QString::fromUtf8(tool.readAllStandardOutput())};
  }
  qint64 TrackingRows(const QString& where = QString()) const {
    return Number(Law, QStringLiteral("SELECT COUNT(*) FROM TARN_STACKWRIGHT ") + where);
  }
  QString ClientOf(const QString& matter, const QString& library = Law) const {
    return Sql(library, QStringLiteral("SELECT C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
                                   "WHERE M.MATTER_ID = '%1'")
                        .arg(matter));
  }
};

TEST_F(FolderChainTest, BuildsClientFoldersWithMatterSubfoldersAndTracksEveryRow) {
  ReadAndProcess();
  for (const QString matter : {"M00001", "M00002", "M00003"}) {
    const qint64 client = FolderNamed(Law, ClientOf(matter));
    const qint64 folder = FolderNamed(Law, matter);
    ASSERT_GT(client, 0);
    ASSERT_GT(folder, 0);
    EXPECT_TRUE(FiledIn(Law, client, folder)) << matter.toStdString();
  }
  const int clients = server.Scalar(Law, "SELECT COUNT(DISTINCT CLIENT_ID) FROM MATTER WHERE MATTER_ID IN "
                                         "('M00001', 'M00002', 'M00003')")
                          .toInt();
  EXPECT_EQ(cx.runState.rule.AddedCount, clients + 3);
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_EQ(cx.ui->controls.labelAdded, QString::number(clients + 3));
  EXPECT_EQ(cx.ui->CounterRead(), "3");
  EXPECT_EQ(ResultsText(), QString::number(clients + 3) + " folder(s) added");
  EXPECT_EQ(TrackingRows("WHERE TABLE_NAME = 'MATTER' AND RULE_NAME = 'CLIENT MATTERS'"), 3);
  EXPECT_EQ(TrackingRows("WHERE TABLE_NAME = 'CLIENT' AND RULE_NAME = 'CLIENT MATTERS'"), 3);
  EXPECT_EQ(Current(), Law);
}

TEST_F(FolderChainTest, SecondPassFindsEveryFolderAndAddsNothing) {
  ReadAndProcess();
  const qint64 profiles = Number(Law, "SELECT COUNT(*) FROM PROFILE");
  const qint64 tracked = TrackingRows();
  const int authorLookUps = statements->Count(Law, "SELECT AUTHOR FROM");
  ASSERT_GT(authorLookUps, 0);
  StartRule(test::DemoRule);
  ReadAndProcess();
  EXPECT_EQ(cx.runState.rule.AddedCount, 0);
  EXPECT_EQ(ResultsText(), "0 folder(s) added");
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM PROFILE"), profiles);
  EXPECT_EQ(TrackingRows(), tracked);
  // Folders that existed get no author, metadata or e-mail step.
  EXPECT_EQ(statements->Count(Law, "SELECT AUTHOR FROM"), authorLookUps);
  EXPECT_TRUE(Log().contains("already exists as folder #"));
}

TEST_F(FolderChainTest, ValuesOfALevelAreJoinedAndInnerBlankRunsReduced) {
  OneRow("'Acme  Widgets' AS \"C.NAME\", ' - ' AS \"FIXED\", '  North ' AS \"C.REGION\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(FoldersNamed(Law, "Acme Widgets - North"), 1);
  EXPECT_TRUE(Log().contains("Level 1:Acme  Widgets - North (b)"));
}

// Values another tool wrote, on both engines: a NUL or line break is a blank of the name, so an id of line breaks
// is a blank id; bytes that are no UTF-8 make a folder whose matter its client folder takes. A second pass adds nothing.
class OddValuesTest : public FolderChainTest, public ::testing::WithParamInterface<QString> {};

TEST_P(OddValuesTest, NulsAndLineBreaksAreBlanksOfTheNameAndUndecodableBytesAFolder) {
  const QString lib = GetParam();
  const char* const cases[][2] = {{"C0002", "CLIENT_ID || ' ' || char(0) || 'Nul' || char(0)"}, {"C0003", "char(13)"},
      {"C0004", "char(10)"}, {"C0005", "char(13) || char(10)"}, {"M00001", "char(13)"}, {"M00006", "char(10)"},
      {"M00011", "' ' || char(13) || char(10) || ' '"}, {"M00002", "CAST(X'41FF42' AS TEXT)"},
      {"M00007", "'M' || char(0) || char(0) || '7'"}, {"M00012", "'M' || char(13) || char(10) || '12'"}};
  for (const auto& [id, value] : cases)
    server.Exec(lib, QStringLiteral("UPDATE CLIENT SET CLIENT_ID = %2 WHERE CLIENT_ID = '%1'; UPDATE MATTER SET MATTER_ID = %2 "
                                    "WHERE MATTER_ID = '%1'").arg(id, value));
  for (const int pass : {1, 2}) {
    ASSERT_TRUE(ConnectLibrary(cx, lib));
    StartRule(test::DemoRule, lib);
    cx.runState.statement.RuleStatement = test::MatterStatement(12);
    SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
    ReadAndProcess();
    EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
    EXPECT_EQ(cx.runState.rule.AddedCount, pass == 1 ? 5 : 0);
  }
  const qint64 second = FolderNamed(lib, "C0002 Nul");
  EXPECT_EQ(Number(lib, "SELECT COUNT(*) FROM FOLDER"), 5);
  for (const QString& name : {QStringLiteral("A\uFFFDB"), QStringLiteral("M 7"), QStringLiteral("M 12")})
    EXPECT_TRUE(FiledIn(lib, second, FolderNamed(lib, name))) << name.toStdString();
  EXPECT_EQ(Sql(lib, QStringLiteral("SELECT MATTER FROM PROFILE WHERE DOCNUMBER = %1").arg(second)),
            Sql(lib, "SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = CAST(X'41FF42' AS TEXT)"));
  EXPECT_EQ(Number(lib, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER'"), 6);  // C0001's and C0002's
  EXPECT_FALSE(Log().contains(QChar(0)));
}

INSTANTIATE_TEST_SUITE_P(Engines, OddValuesTest, ::testing::Values(Law, Ora), [](const auto& info) { return info.param.toStdString(); });

TEST_F(FolderChainTest, BlankMiddleLevelIsSkippedAndTheNextLevelGoesIntoTheLastFolder) {
  OneRow("'Top' AS \"T.A\", '\\' AS \"S1\", '' AS \"T.B\", '/' AS \"S2\", 'Third' AS \"T.C\", "
         "APPS.SYSTEM_ID AS \"APPS.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  const qint64 top = FolderNamed(Law, "Top");
  const qint64 third = FolderNamed(Law, "Third");
  ASSERT_GT(top, 0);
  ASSERT_GT(third, 0);
  EXPECT_TRUE(FiledIn(Law, top, third));
  EXPECT_EQ(cx.runState.rule.AddedCount, 2);
  EXPECT_EQ(TrackingRows("WHERE TABLE_NAME = 'APPS'"), 1);
}

TEST_F(FolderChainTest, BlankFirstLevelCreatesNothingAndIsNotTracked) {
  OneRow("'  ' AS \"T.A\", '\\' AS \"S1\", 'Second' AS \"T.B\", APPS.SYSTEM_ID AS \"APPS.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_TRUE(Log().contains("Folder level 1 is blank - will not create any folders for this item"));
  EXPECT_EQ(FoldersNamed(Law, "Second"), 0);
  EXPECT_EQ(TrackingRows(), 0);
}

TEST_F(FolderChainTest, OnlyLevelBlankIsNotTracked) {
  OneRow("'' AS \"T.A\", APPS.SYSTEM_ID AS \"APPS.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_TRUE(Log().contains("Folder level 1 is blank - will not create any more folders for this item"));
  EXPECT_EQ(TrackingRows(), 0);
}

TEST_F(FolderChainTest, BlankLastLevelEndsTheChainButTheRowIsTracked) {
  OneRow("'Upper' AS \"T.A\", '\\' AS \"S1\", '' AS \"T.B\", APPS.SYSTEM_ID AS \"APPS.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_TRUE(Log().contains("Folder level 2 is blank - will not create any more folders for this item"));
  EXPECT_EQ(FoldersNamed(Law, "Upper"), 1);
  EXPECT_EQ(TrackingRows("WHERE TABLE_NAME = 'APPS'"), 1);
}

TEST_F(FolderChainTest, TrimMarkersShortenTheColumnBeforeThemAndJoinTheName) {
  OneRow("'Acme Corporation' AS \"C.NAME\", 'LEFT4' AS \"M1\", '\\' AS \"S1\", 'Wayne Enterprises' AS \"C.OTHER\", "
         "'right5' AS \"M2\", '\\' AS \"S2\", 'Leftover' AS \"C.THIRD\", 'x' AS \"C.FOURTH\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(FoldersNamed(Law, "AcmeLEFT4"), 1);
  EXPECT_EQ(FoldersNamed(Law, "risesright5"), 1);
  // "Leftover" is a value of the source rows, not the template's text: a name, never a marker.
  EXPECT_EQ(FoldersNamed(Law, "Leftoverx"), 1);
  const QString log = Log();
  EXPECT_TRUE(log.contains("Trimming SQL column #1 \"Acme Corporation\" to first 4 character(s)"));
  EXPECT_TRUE(log.contains("Trimming SQL column #4 \"Wayne Enterprises\" to right-most 5 character(s)"));
  EXPECT_FALSE(log.contains("Trimming SQL column #6"));
}

TEST_F(FolderChainTest, NegativeTrimCountLeavesTheValue) {
  OneRow("'Acme' AS \"C.NAME\", 'LEFT-2' AS \"M1\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(FoldersNamed(Law, "AcmeLEFT-2"), 1);
}

TEST_F(FolderChainTest, TwoColumnsAreNeverTrimmed) {
  OneRow("'Acme' AS \"C.NAME\", 'LEFT2' AS \"M1\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(FoldersNamed(Law, "AcmeLEFT2"), 1);
  EXPECT_FALSE(Log().contains("Trimming SQL column"));
}

TEST_F(FolderChainTest, RuleLevelLimitStopsTheChain) {
  cx.runState.rule.RULE_STACKWRIGHT_LEVEL = 2;
  OneRow("'L1' AS \"T.A\", '\\' AS \"S1\", 'L2' AS \"T.B\", '\\' AS \"S2\", 'L3' AS \"T.C\", '\\' AS \"S3\", 'L4' AS \"T.D\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(FoldersNamed(Law, "L1"), 1);
  EXPECT_EQ(FoldersNamed(Law, "L2"), 1);
  EXPECT_EQ(FoldersNamed(Law, "L3"), 0);
  EXPECT_TRUE(Log().contains("Rule_Stackwright_Level 2 reached"));
}

TEST_F(FolderChainTest, NegativeLevelLimitKeepsEveryLevel) {
  cx.runState.rule.RULE_STACKWRIGHT_LEVEL = -1;
  OneRow("'N1' AS \"T.A\", '\\' AS \"S1\", 'N2' AS \"T.B\"");
  ProcessRuleRows(cx);
  EXPECT_TRUE(FiledIn(Law, FolderNamed(Law, "N1"), FolderNamed(Law, "N2")));
}

TEST_F(FolderChainTest, LevelRoutedToTheEmailLibraryAndItsChildrenLandThereWhole) {
  // The rule as LAWLIB stores it inherits its folders' security; ORALIB's rule of the same
  // number does not.
  server.Exec(Law, "UPDATE TARN_SETTINGS SET INT_VAL = 1 WHERE SECTION_KEY = 'RULE_PROFILE_INHERIT_SECURITY' AND "
                   "SUB_KEY = 'CLIENT MATTERS'");
  cx.LoadLibraryRules();
  const int rule = cx.runState.rule.RuleIndex;
  const qint64 top = CreateFolder(cx, QStringLiteral("Top"), 0, rule, Law, Law, 1);
  ASSERT_GT(top, 0);
  test::GrantTrustee(server, Law, top, QStringLiteral("APATEL"), QStringLiteral("45"));
  // A restricted LAWLIB document carries the number ORALIB gives the routed folder.
  const qint64 shared = std::max(Number(Law, "SELECT MAX(DOCNUMBER) FROM PROFILE"), Number(Ora, "SELECT MAX(DOCNUMBER) FROM PROFILE")) + 500;
  server.Exec(Law, QStringLiteral("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, DEFAULT_RIGHTS) VALUES (%1, %1, "
                                  "'Unrelated', 1)").arg(shared));
  test::GrantTrustee(server, Law, shared, QStringLiteral("LGARCIA"), QStringLiteral("255"));
  server.Exec(Ora, QStringLiteral("UPDATE DM_NEXTKEY SET LAST_KEY = %1 WHERE KEY_NAME = 'DOCNUMBER'").arg(shared - 1));

  cx.runState.rule.EmailOverrideName = QStringLiteral("inbound mail");
  cx.runState.rule.EmailOverrideLibrary = Ora;
  cx.runState.rule.RULE_EMAIL_LEVEL = 2;
  cx.runState.tmpl.EmailTemplate = QStringLiteral("inbound@law.example");
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
  server.Exec(Law, "INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME) VALUES (90001, 'MAILTEAM', 'Mail')");
  server.Exec(Law, "INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) SELECT SYSTEM_ID, 90001 FROM PEOPLE "
                   "WHERE USER_ID = 'LGARCIA'");
  CreateWorkspaceCache(cx.security);
  cx.runState.rule.RULE_WORKSPACE_AUTHOR = 2;
  cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("MAILTEAM");
  cx.runState.rule.RULE_WORKSPACE_NAME = QStringLiteral("Mail of %AUTHOR%");
  OneRow("'Top' AS \"T.A\", '\\' AS \"S1\", ' Inbound MAIL ' AS \"NO DOT\", '\\' AS \"S2\", 'Filed' AS \"T.B\", "
         "7 AS \"MATTER.SYSTEM_ID\"");
  ProcessRuleRows(cx);

  const qint64 routed = FolderNamed(Ora, "Inbound MAIL");
  const qint64 filed = FolderNamed(Ora, "Filed");
  ASSERT_EQ(routed, shared);
  ASSERT_GT(filed, 0);
  EXPECT_TRUE(Log().contains("Setting library for folder \"inbound mail\" to ORALIB"));
  EXPECT_EQ(FoldersNamed(Law, "Inbound MAIL") + FoldersNamed(Law, "Filed"), 0);
  EXPECT_TRUE(FiledIn(Law, top, routed));
  EXPECT_TRUE(FiledIn(Ora, routed, filed));
  // Each folder got what the row gives it, in its own library, its parent's trustees included.
  for (const qint64 folder : {routed, filed}) {
    EXPECT_TRUE(test::TrusteesOf(server, Ora, folder).contains("APATEL=45")) << folder;
    EXPECT_EQ(Sql(Ora, QStringLiteral("SELECT MATTER FROM PROFILE WHERE DOCNUMBER = %1").arg(folder)), "7");
  }
  EXPECT_EQ(Sql(Ora, QStringLiteral("SELECT PD_ADDRESSEE FROM PROFILE WHERE DOCNUMBER = %1").arg(routed)), "inbound@law.example");
  // The workspace entry is named after the routed folder's author and leads to its library.
  EXPECT_EQ(Sql(Law, "SELECT GROUP_CONCAT(E, ';') FROM (SELECT R.NAME || '=' || R.DATA AS E FROM REGISTRY R JOIN REGISTRY M "
                     "ON M.SYSTEM_ID = R.ENTITYID JOIN REGISTRY W ON W.SYSTEM_ID = M.ENTITYID WHERE W.DATA = 'Mail of ADMIN' "
                     "AND R.NAME IN ('LINKID', 'LIBRARY') ORDER BY R.NAME)"),
            QStringLiteral("LIBRARY=ORALIB;LINKID=%1").arg(routed));
  // The LAWLIB document of the same number is as it was.
  EXPECT_EQ(test::TrusteesOf(server, Law, shared), QStringList{"LGARCIA=255"});
  EXPECT_EQ(Sql(Law, QStringLiteral("SELECT DEFAULT_RIGHTS || '|' || COALESCE(MATTER, '') || '|' || COALESCE(PD_ADDRESSEE, '') "
                                    "FROM PROFILE WHERE DOCNUMBER = %1").arg(shared)),
            "1||");
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_EQ(TrackingRows("WHERE TABLE_NAME = 'MATTER'"), 1);
  EXPECT_EQ(Current(), Law);

  // Its parent holds it alone, so no sort of the parent recorded the filing in ORALIB: a rerun
  // of the row, and another row of the same client, still find the routed folder.
  const qint64 added = cx.runState.rule.AddedCount;
  ProcessRuleRows(cx);
  OneRow("'Top' AS \"T.A\", '\\' AS \"S1\", 'Inbound MAIL' AS \"NO DOT\", '\\' AS \"S2\", 'Later' AS \"T.B\", "
         "8 AS \"MATTER.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(FoldersNamed(Ora, "Inbound MAIL"), 1);
  EXPECT_EQ(FoldersNamed(Ora, "Filed"), 1);
  EXPECT_TRUE(FiledIn(Ora, routed, FolderNamed(Ora, "Later")));
  EXPECT_EQ(cx.runState.rule.AddedCount, added + 1);
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);

  // A row of the same rule that routes none of its levels opens no work in the e-mail library.
  const int oraStatements = statements->Count(Ora, "SET TRANSACTION");
  OneRow("'Top' AS \"T.A\", '\\' AS \"S1\", 'Kept here' AS \"NO DOT\", 9 AS \"MATTER.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_TRUE(FiledIn(Law, top, FolderNamed(Law, "Kept here")));
  EXPECT_EQ(statements->Count(Ora, "SET TRANSACTION"), oraStatements);
}

// The row's work in the e-mail library stands or falls with its work in the rule's library.
TEST_F(FolderChainTest, FailureInTheEmailLibraryUndoesTheRowInBothLibraries) {
  const auto routedRow = [this] {
    cx.runState.rule.EmailOverrideName = QStringLiteral("inbound mail");
    cx.runState.rule.EmailOverrideLibrary = Ora;
    OneRow("'Top' AS \"T.A\", '\\' AS \"S1\", 'Inbound MAIL' AS \"NO DOT\", '\\' AS \"S2\", 'Filed' AS \"T.B\"");
    ProcessRuleRows(cx);
  };
  // ORALIB refuses the second stamp it is given: the routed folder's child's.
  int stamps = 0;
  cx.dm->Server()->hooks.sqlFault = [&](const QString& library, const QString& sql) -> std::optional<dm::SqlFault> {
    if (library != Ora || !sql.contains(", PATH = 'QUILLMARK ") || ++stamps != 2) return std::nullopt;
    return dm::SqlFault{1, 208, QStringLiteral("Injected failure")};
  };
  // A row that routes nothing comes first: the routed row needs a group with the e-mail library's part.
  cx.runState.rule.EmailOverrideName = QStringLiteral("inbound mail");
  cx.runState.rule.EmailOverrideLibrary = Ora;
  const QString from = " FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER'";
  cx.runState.statement.RuleStatement = "SELECT 'Plain' AS \"T.A\", '\\' AS \"S1\", '' AS \"NO DOT\", '\\' AS \"S2\", '' AS "
                                        "\"T.B\"" + from + " UNION ALL SELECT 'Top', '\\', 'Inbound MAIL', '\\', 'Filed'" + from;
  ReadAndProcess();
  ASSERT_EQ(stamps, 2);
  EXPECT_EQ(cx.runState.rule.ErrorCount, 1);
  EXPECT_EQ(FoldersNamed(Law, "Plain"), 1);
  EXPECT_EQ(FoldersNamed(Law, "Top") + FoldersNamed(Ora, "Inbound MAIL") + FoldersNamed(Ora, "Filed"), 0);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM FOLDER_ITEM") + Number(Ora, "SELECT COUNT(*) FROM FOLDER_ITEM"), 0);

  cx.dm->Server()->hooks.sqlFault = nullptr;
  StartRule(test::DemoRule);
  routedRow();
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_TRUE(FiledIn(Law, FolderNamed(Law, "Top"), FolderNamed(Ora, "Inbound MAIL")));
  EXPECT_TRUE(FiledIn(Ora, FolderNamed(Ora, "Inbound MAIL"), FolderNamed(Ora, "Filed")));
}

// A kill between the two libraries' commits leaves the routed folder standing in the e-mail
// library, filed there under a parent the rule's library never kept. A refused commit leaves the
// same, and the rule then takes no further row. The lost parent's number goes to no other item,
// whatever the rule's library hands out before the rerun (drawn keys, a new row's folder); the
// row the folder carries the values of takes it back, and every filing row of the e-mail library
// names its chain row.
// The rule's library, its e-mail library, whether a new row comes first,
// the keys drawn in the rule's library before the rerun.
struct RoutedKill { const char* name; QString rule, mail; bool newRowFirst; int idsDrawn; };

class RoutedFolderLeftByAKill : public FolderChainTest, public ::testing::WithParamInterface<RoutedKill> {};

TEST_P(RoutedFolderLeftByAKill, IsTakenBackByTheRowItWasMadeFor) {
  const RoutedKill& kill = GetParam();
  const QString &lib = kill.rule, &mail = kill.mail;
  QDateTime clock = QDateTime::currentDateTime();
  const auto routedRows = [&](const QString& first) {
    ASSERT_TRUE(ConnectLibrary(cx, lib));
    StartRule(test::DemoRule, lib);
    cx.runState.control.Now = [&] { return clock = clock.addMSecs(50); };  // a group per row
    SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
    cx.runState.rule.EmailOverrideName = QStringLiteral("inbound mail");
    cx.runState.rule.EmailOverrideLibrary = mail;
    const QString apps = QStringLiteral(" AS \"MATTER.SYSTEM_ID\" FROM [OWNER].APPS WHERE APPLICATION ");
    cx.runState.statement.RuleStatement = first + "SELECT 'Top' AS \"T.A\", '\\' AS \"S1\", 'Inbound MAIL' AS \"NO DOT\", '\\' AS "
                                          "\"S2\", 'Filed' AS \"T.B\", 7" + apps + "= 'FOLDER' UNION ALL SELECT 'Other', '\\', "
                                          "'Inbound MAIL', '\\', 'Kept', 8" + apps + "<> 'FOLDER'";
    ReadAndProcess();
  };
  ASSERT_TRUE(ConnectLibrary(cx, lib));  // the library's first connection commits its own set-up
  bool killed = false;
  cx.dm->Server()->hooks.sqlFault = [&](const QString& library, const QString& sql) -> std::optional<dm::SqlFault> {
    if (library != lib || !sql.startsWith("COMMIT") || std::exchange(killed, true)) return std::nullopt;
    return dm::SqlFault{1, 208, QStringLiteral("Connection lost")};
  };
  routedRows({});
  ASSERT_TRUE(killed);
  const qint64 stray = FolderNamed(mail, "Inbound MAIL");
  ASSERT_GT(stray, 0);
  const qint64 lostParent = Number(mail, QStringLiteral("SELECT PARENT FROM FOLDER_ITEM WHERE DOCNUMBER = %1").arg(stray));
  ASSERT_EQ(FoldersNamed(lib, "Top"), 0);
  EXPECT_EQ(FoldersNamed(lib, "Other") + FoldersNamed(mail, "Kept") + Number(lib, "SELECT COUNT(*) FROM TARN_STACKWRIGHT"), 0);
  const QString before = DmCheck().second;
  EXPECT_TRUE(before.contains("naming a folder that does not exist: 1") && before.contains("chains: 1")) << qPrintable(before);

  cx.dm->Server()->hooks.sqlFault = nullptr;
  if (kill.idsDrawn > 0) {
    QProcess draw;
    draw.start(qEnvironmentVariable("STACKWRIGHT_DM_TOOL"), {"nextkey", server.Path(), lib, QString::number(kill.idsDrawn)});
    ASSERT_TRUE(draw.waitForFinished(60000) && draw.exitCode() == 0);
  }
  routedRows(kill.newRowFirst ? "SELECT 'Fresh' AS \"T.A\", '\\' AS \"S1\", 'Inbound MAIL' AS \"NO DOT\", '\\' AS \"S2\", "
                                "'Newer' AS \"T.B\", 9 AS \"MATTER.SYSTEM_ID\" FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER' "
                                "UNION ALL " : "");
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_EQ(Number(lib, QStringLiteral("SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER = %1").arg(lostParent)), 0);
  EXPECT_EQ(FoldersNamed(mail, "Inbound MAIL"), 2 + kill.newRowFirst);
  EXPECT_TRUE(FiledIn(lib, FolderNamed(lib, "Top"), stray) && FiledIn(mail, FolderNamed(lib, "Top"), stray));
  // No routed folder stranded, misfiled or unfiled; every filing row names its chain row.
  const auto [status, report] = DmCheck();
  EXPECT_EQ(status, 0) << qPrintable(report);
  // A later run finds every chain whole and links nothing twice.
  routedRows({});
  EXPECT_EQ(Number(lib, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE LIBRARY <> 0"), 2 + kill.newRowFirst);

  // A routed folder moved by hand under another row's parent goes back to its row at the next
  // run; a row of the same values under a parent of its own then leaves it there.
  const QString top = QString::number(FolderNamed(lib, "Top")), other = QString::number(FolderNamed(lib, "Other"));
  for (const QString& library : {lib, mail})
    server.Exec(library, "UPDATE FOLDER_ITEM SET PARENT = " + other + " WHERE PARENT = " + top +
                             " AND (LIBRARY <> 0 OR PARENT_LIBRARY <> 0)");
  routedRows({});
  routedRows("SELECT 'Twin' AS \"T.A\", '\\' AS \"S1\", 'Inbound MAIL' AS \"NO DOT\", '\\' AS \"S2\", 'Filed' AS \"T.B\", "
             "7 AS \"MATTER.SYSTEM_ID\" FROM [OWNER].APPS WHERE APPLICATION = 'FOLDER' UNION ALL ");
  EXPECT_TRUE(FiledIn(lib, top.toLongLong(), stray) && !FiledIn(lib, other.toLongLong(), stray));
  EXPECT_EQ(FoldersNamed(mail, "Inbound MAIL"), 3 + kill.newRowFirst);
  EXPECT_EQ(DmCheck().first, 0) << qPrintable(DmCheck().second);

  // Two routed folders swapped by hand between their parents are counted in both libraries.
  for (const QString& library : {lib, mail})
    server.Exec(library, "UPDATE FOLDER_ITEM SET PARENT = CASE PARENT WHEN " + top + " THEN " + other + " ELSE " + top +
                             " END WHERE PARENT IN (" + top + ", " + other + ") AND (LIBRARY <> 0 OR PARENT_LIBRARY <> 0)");
  EXPECT_EQ(DmCheck().second.count("routed folders filed under a parent made for another row: 2"), 2) << qPrintable(DmCheck().second);
}

INSTANTIATE_TEST_SUITE_P(
    Rerun, RoutedFolderLeftByAKill,
    ::testing::Values(RoutedKill{"NothingDrawn", Law, Ora, false, 0}, RoutedKill{"IdsDrawn", Law, Ora, false, 3},
                      RoutedKill{"NewRowFirst", Law, Ora, true, 0}, RoutedKill{"IdsDrawnAndNewRow", Law, Ora, true, 3},
                      RoutedKill{"IdsDrawnOracle", Ora, Law, false, 3}, RoutedKill{"IdsDrawnAndNewRowOracle", Ora, Law, true, 3}),
    [](const auto& info) { return std::string(info.param.name); });

// Rows commit in groups of sixty-four, or fewer once 50 ms have passed since the group began, and
// at the end of the rule; a group whose commit is refused takes all its rows off the counters.
TEST_F(FolderChainTest, RowsCommitInGroupsAndARefusedCommitUndoesTheGroup) {
  QDateTime clock = QDateTime::currentDateTime();
  cx.runState.control.Now = [&] { return clock; };
  const auto commits = [&] { return statements->Count(Law, "COMMIT TRANSACTION"); };
  // Seventy rows: the library's documents, each more than once.
  cx.runState.statement.RuleStatement = "SELECT TOP 70 'Grouped' AS \"T.A\", '\\' AS \"S1\", P.DOCNUMBER AS \"P.DOCNUMBER\" "
                                        "FROM [OWNER].PROFILE P, [OWNER].PROFILE AGAIN ORDER BY P.DOCNUMBER";
  int before = commits();
  ReadAndProcess();
  EXPECT_EQ(commits() - before, 2);
  // 25 ms pass at each look at the clock: a group's second row is its last.
  cx.runState.control.Now = [&] { return clock = clock.addMSecs(25); };
  StartRule(test::DemoRule);
  cx.runState.statement.RuleStatement = test::MatterStatement(6);
  // What the log file holds as each commit is sent, all that a kill then would leave: every row
  // begun so far with its lines up to its tracking.
  QList<QPair<qsizetype, qsizetype>> onDisk;  // rows begun, rows tracked
  const qsizetype logged = Log().size();
  auto& hook = cx.dm->Server()->hooks.sqlFault;
  hook = [&, record = hook](const QString& library, const QString& sql) {
    QFile file(cx.log.DatedLogFile);
    if (sql.startsWith("COMMIT") && file.open(QIODevice::ReadOnly)) {
      const QString text = QString::fromLocal8Bit(file.readAll()).mid(logged);
      onDisk.append({text.count("Processing folder item #"),
                     text.count(QRegularExpression("TARN_STACKWRIGHT \\(SID, [^\\n]*VALUES ?\\(\\d+, 'MATTER'"))});
    }
    return record(library, sql);
  };
  before = commits();
  ReadAndProcess();
  EXPECT_EQ(commits() - before, 3);
  EXPECT_EQ(onDisk, (QList<QPair<qsizetype, qsizetype>>{{2, 2}, {4, 4}, {6, 6}}));

  cx.runState.control.Now = [&] { return clock; };
  cx.dm->Server()->hooks.sqlFault = [](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (!sql.startsWith("COMMIT")) return std::nullopt;
    return dm::SqlFault{1, 112, QStringLiteral("There is not enough space on the disk")};
  };
  StartRule(test::DemoRule);
  cx.runState.statement.RuleStatement = test::MatterStatement(3, "WHERE MATTER.MATTER_ID > 'M00006'");
  ReadAndProcess();
  EXPECT_EQ(cx.runState.rule.ErrorCount, 3);
  EXPECT_EQ(cx.ui->controls.labelAdded, "0");
  EXPECT_EQ(FoldersNamed(Law, "M00007") + FoldersNamed(Law, "M00009"), 0);
  EXPECT_TRUE(Log().contains(QRegularExpression("The work in library LAWLIB could not be committed\\r?\\n")));
  EXPECT_FALSE(Log().contains("the other library"));
  EXPECT_TRUE(Log().contains("item #3 (" + ClientOf("M00009") + "\\M00009) were not kept"));
}

TEST_F(FolderChainTest, FailedLevelCountsAnErrorAndLeavesTheRowUntracked) {
  test::FailStatements(cx, statements, "F.PATH FROM");
  OneRow("'Doomed' AS \"T.A\", APPS.SYSTEM_ID AS \"APPS.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  EXPECT_EQ(cx.runState.rule.ErrorCount, 1);
  EXPECT_EQ(cx.ui->controls.labelErrors, "1");
  EXPECT_EQ(TrackingRows(), 0);
}

// A statement rejected between a new folder's save and its filing, three ways: the DM SQL object
// refuses the stamp, the database refuses the filing, or the database rolls the whole transaction
// back while the folder is secured (as after a full disk). Each row's work is undone and stays unrecorded, and
// the next pass makes every row's folders whole.
class MidFolderFailureTest : public FolderChainTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void Reject(const QString& how) {
    if (how == "refused stamp") test::FailStatements(cx, statements, "SET LAST_UPDATE = ");
    if (how == "refused filing")
      server.Exec(Law, "CREATE TRIGGER NO_FILING BEFORE INSERT ON FOLDER_ITEM BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    if (how == "transaction lost")
      server.Exec(Law, "CREATE TRIGGER NO_STAMP BEFORE INSERT ON SECURITY WHEN NEW.ACCESSRIGHTS = 255 "
                       "BEGIN SELECT RAISE(ROLLBACK, 'disk full'); END");
    // The first row is whole, but it shares its group with the second, which loses the transaction.
    if (how == "transaction lost in the group") {
      const QDateTime clock = QDateTime::currentDateTime();
      cx.runState.control.Now = [clock] { return clock; };
      server.Exec(Law, "CREATE TRIGGER NO_STAMP BEFORE INSERT ON FOLDER_ITEM WHEN NEW.DISPLAYNAME IN ('M00002', 'M00003') "
                       "BEGIN SELECT RAISE(ROLLBACK, 'disk full'); END");
    }
  }
  void Repair() {
    statements = test::StartSession(cx, server);
    ASSERT_TRUE(ConnectLibrary(cx, Law));
    server.Exec(Law, "DROP TRIGGER IF EXISTS NO_FILING");
    server.Exec(Law, "DROP TRIGGER IF EXISTS NO_STAMP");
  }
};

TEST_P(MidFolderFailureTest, RowIsUndoneAndTheNextPassMakesItWhole) {
  Reject(GetParam());
  ReadAndProcess();
  EXPECT_EQ(cx.runState.rule.ErrorCount, 3);
  EXPECT_EQ(cx.runState.rule.AddedCount, 0);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM FOLDER"), 0);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM FOLDER_ITEM"), 0);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM SECURITY WHERE THING NOT IN (SELECT SYSTEM_ID FROM PROFILE)"), 0);
  EXPECT_EQ(TrackingRows(), 0);
  EXPECT_TRUE(Log().contains("The folders of item #1 (" + ClientOf("M00001") + "\\M00001) were not kept - the item will be "
                             "processed again"));

  Repair();
  StartRule(test::DemoRule);
  ReadAndProcess();
  const qint64 clients = Number(Law, "SELECT COUNT(DISTINCT CLIENT_ID) FROM MATTER WHERE MATTER_ID IN ('M00001', 'M00002', 'M00003')");
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM FOLDER WHERE PATH = 'QUILLMARK CLIENT MATTERS'"), clients + 3);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM FOLDER F JOIN PROFILE P ON P.DOCNUMBER = F.DOCNUMBER "
                        "WHERE NOT EXISTS (SELECT 1 FROM SECURITY S WHERE S.THING = P.SYSTEM_ID)"), 0);
  for (const QString matter : {"M00001", "M00002", "M00003"})
    EXPECT_TRUE(FiledIn(Law, FolderNamed(Law, ClientOf(matter)), FolderNamed(Law, matter))) << matter.toStdString();
  EXPECT_EQ(TrackingRows(), 6);
}

INSTANTIATE_TEST_SUITE_P(Ways, MidFolderFailureTest, ::testing::Values("refused stamp", "refused filing", "transaction lost",
                                                                      "transaction lost in the group"));

// A row undone after its folder went into users' workspaces takes the workspace trees it made
// with it, also where the users' primary library is another than the rule's (on both engines), as
// does a group killed between the primary library's commit and the rule library's, or whose commit
// the primary library refuses (every time, or once). After the rerun every matter is in both
// users' workspaces once, linking its folder, and check finds nothing; a renamed folder keeps them.
enum WorkspaceFault { TrackingRecordRefused, KilledBetweenCommits, PrimaryRefusesEveryCommit, PrimaryRefusesOneCommit };
struct WorkspaceCase { const char* name; QString library, primary; WorkspaceFault fault; };

class WorkspaceUndoneTest : public FolderChainTest, public ::testing::WithParamInterface<WorkspaceCase> {};

TEST_P(WorkspaceUndoneTest, RowUndoneAfterItsWorkspacesLeavesTheNextRowsWholeTrees) {
  const auto& [name, library, primary, fault] = GetParam();
  QDateTime clock = QDateTime::currentDateTime();
  const auto workspacesOn = [&] {
    StartRule(test::DemoRule, library);
    cx.runState.control.Now = [&] { return clock = clock.addMSecs(50); };  // a group per row
    SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
    cx.runState.rule.RULE_WORKSPACE_AUTHOR = 2;
    cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("CORPORATE");
    cx.runState.rule.RULE_WORKSPACE_NAME = QStringLiteral("Matters");
  };
  for (const QString& each : {Ora, library}) ASSERT_TRUE(ConnectLibrary(cx, each));  // their set-up commits first
  CreateWorkspaceCache(cx.security);
  server.Exec(library, "UPDATE PEOPLE SET PRIMARY_LIB = (SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = '" +
                           primary + "') WHERE USER_ID IN ('APATEL', 'MJONES')");
  int records = 0, commits = 0;
  cx.dm->Server()->hooks.sqlFault = [&](const QString& where, const QString& sql) -> std::optional<dm::SqlFault> {
    const bool commit = sql.startsWith("COMMIT");  // a record refused after the first row's folder went into the workspaces
    const bool hit = fault == TrackingRecordRefused ? sql.contains("INSERT INTO") && sql.contains("TARN_STACKWRIGHT") && ++records == 1
                     : fault == KilledBetweenCommits ? commit && where == library && ++commits == 1
                                                     : commit && where == primary && (fault == PrimaryRefusesEveryCommit || ++commits == 1);
    if (!hit) return std::nullopt;
    return dm::SqlFault{1, 112, QStringLiteral("There is not enough space on the disk")};
  };
  // Each member, as user:item#linked folder, reached from the user's root through the workspace.
  const auto members = [&] {
    return Sql(primary, "SELECT GROUP_CONCAT(E, ' ') FROM (SELECT P.USER_ID || ':' || M.DATA || '#' || L.DATA AS E "
                        "FROM REGISTRY M JOIN REGISTRY W ON W.SYSTEM_ID = M.ENTITYID AND W.DATA = 'Matters' "
                        "JOIN REGISTRY R ON R.SYSTEM_ID = W.ENTITYID AND R.NAME = 'WORKSPACES' "
                        "JOIN PEOPLE P ON P.SYSTEM_ID = R.ENTITYID "
                        "JOIN REGISTRY L ON L.ENTITYID = M.SYSTEM_ID AND L.NAME = 'LINKID' ORDER BY E)");
  };
  const auto expected = [&](const QStringList& matters) {
    QStringList entries;
    for (const QString user : {"APATEL", "MJONES"})
      for (const QString& matter : matters) entries << user + ":" + matter + "#" + QString::number(FolderNamed(library, matter));
    return entries.join(' ');
  };
  const auto orphans = [&] {
    return Number(primary, "SELECT COUNT(*) FROM REGISTRY X WHERE ENTITYSCOPE = 'REGISTRY' AND NOT EXISTS "
                           "(SELECT 1 FROM REGISTRY O WHERE O.SYSTEM_ID = X.ENTITYID)");
  };
  workspacesOn();
  ReadAndProcess();
  const bool nothingKept = fault == KilledBetweenCommits || fault == PrimaryRefusesEveryCommit;
  const QStringList kept = nothingKept ? QStringList() : QStringList{"M00002", "M00003"};
  EXPECT_EQ(Number(library, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER'"), kept.size());
  EXPECT_EQ(orphans(), 0);
  if (fault != KilledBetweenCommits) {
    EXPECT_EQ(members(), expected(kept)) << "no entry of a row not kept";
  } else {
    // The entries stand, linking a number the rule's library lost. Another DM user then draws a
    // document number and makes a folder there: neither takes a number the lost group drew.
    EXPECT_TRUE(DmCheck().second.contains("linking a missing item or no folder: 2")) << qPrintable(DmCheck().second);
    QString error;
    dm::DmComponents other(dm::DmServer::Open(server.Path(), &error));
    dm::DmApplicationPtr app = other.CreateApplication();
    app->Login(0);
    dm::PcdSqlPtr sql = other.CreatePcdSql();
    sql->SetToken(app->Token());
    sql->SetLibrary(library);
    ASSERT_GT(sql->NextKey("DOCNUMBER"), 0);
    dm::DmFolderPtr misc = app->Libraries()->Item(library == Law ? 1 : 2)->NewFolder();
    misc->SetFolderName(QStringLiteral("Misc notes"));
    misc->SetPublic(true);
    ASSERT_TRUE(misc->Save(3)) << misc->Error.ErrDescription.toStdString();
    other.Server()->CloseConnections();
  }

  cx.dm->Server()->hooks.sqlFault = nullptr;
  workspacesOn();
  ReadAndProcess();
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_EQ(members(), expected({"M00001", "M00002", "M00003"}));
  EXPECT_EQ(orphans(), 0);
  EXPECT_EQ(Number(primary, "SELECT COUNT(*) FROM REGISTRY WHERE DATA = 'Matters' AND NAME = 'WS-Matters'"), 2);
  EXPECT_EQ(DmCheck().first, 0) << qPrintable(DmCheck().second);

  // A folder renamed by hand keeps its entries, also when a new row then makes a folder of its
  // old name.
  const QString before = members();
  server.Exec(library, QStringLiteral("UPDATE PROFILE SET DOCNAME = 'M00002 - renamed' WHERE DOCNUMBER = %1")
                           .arg(FolderNamed(library, "M00002")));
  server.Exec(library, "INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME) SELECT 990001, CLIENT_ID, MATTER_ID, "
                       "MATTER_NAME FROM MATTER WHERE MATTER_ID = 'M00002'");
  workspacesOn();
  cx.runState.statement.RuleStatement = test::MatterStatement(1, "WHERE MATTER.SYSTEM_ID = 990001");
  ReadAndProcess();
  EXPECT_EQ(FoldersNamed(library, "M00002"), 1);
  EXPECT_EQ(members(), before);
}

INSTANTIATE_TEST_SUITE_P(
    Libraries, WorkspaceUndoneTest,
    ::testing::Values(WorkspaceCase{"Law", Law, Law, TrackingRecordRefused}, WorkspaceCase{"LawOra", Law, Ora, TrackingRecordRefused},
                      WorkspaceCase{"OraLaw", Ora, Law, TrackingRecordRefused}, WorkspaceCase{"LawOraKilled", Law, Ora, KilledBetweenCommits},
                      WorkspaceCase{"OraLawKilled", Ora, Law, KilledBetweenCommits},
                      WorkspaceCase{"LawOraRefusesEvery", Law, Ora, PrimaryRefusesEveryCommit},
                      WorkspaceCase{"OraLawRefusesEvery", Ora, Law, PrimaryRefusesEveryCommit},
                      WorkspaceCase{"LawOraRefusesOne", Law, Ora, PrimaryRefusesOneCommit},
                      WorkspaceCase{"OraLawRefusesOne", Ora, Law, PrimaryRefusesOneCommit}),
    [](const auto& info) { return std::string(info.param.name); });

// Steps that are logged and gone past fail for good, each for one matter, on both engines: a
// workspace call for M00001, the queue insert for M00002, the metadata update for M00003, the sort
// of C0001 when M00001 is filed after M00006, every workspace look-up for one user, every read of
// a parent's profile values and every clean-up of a new folder's activity entries. Every row
// keeps its folders, filing and record; the run logs errors; the next has nothing to do.
class GonePastStepTest : public FolderChainTest, public ::testing::WithParamInterface<QString> {};

TEST_P(GonePastStepTest, RowKeepsItsFoldersAndTheNextRunHasNothingToDo) {
  const QString library = GetParam();
  const auto start = [&] {
    StartRule(test::DemoRule, library);
    cx.runState.statement.RuleStatement = test::MatterStatement(3).replace("TOP 3 ", "").replace(
        "ORDER BY MATTER.MATTER_ID ASC", "WHERE MATTER.MATTER_ID IN ('M00001', 'M00002', 'M00003', 'M00006') AND "
                    "MATTER.SYSTEM_ID NOT IN (SELECT SID FROM [OWNER].TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER') "
                    "ORDER BY MATTER.MATTER_ID DESC");
    cx.ui->controls.options.addNewDocs = true;
    SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
    cx.runState.rule.RULE_WORKSPACE_AUTHOR = 2;
    cx.runState.rule.RULE_WORKSPACE_GROUP = QStringLiteral("CORPORATE");
    cx.runState.rule.RULE_WORKSPACE_NAME = QStringLiteral("Matters of %USER_ID%");
  };
  const auto matter = [&](const QString& id) { return Sql(library, "SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = '" + id + "'"); };
  const auto documentsOf = [&](const QString& id) {
    return "SELECT DOCNUMBER FROM PROFILE WHERE MATTER = " + matter(id) + " AND DOCNUMBER NOT IN (SELECT DOCNUMBER FROM FOLDER)";
  };
  const auto count = [&](const QString& where) { return Number(Law, where) + Number(Ora, where); };
  ASSERT_TRUE(ConnectLibrary(cx, library));
  CreateWorkspaceCache(cx.security);
  for (const QString& each : {Law, Ora})  // wherever the users' workspaces live
    server.Exec(each, "CREATE TRIGGER NO_MEMBER BEFORE INSERT ON REGISTRY WHEN NEW.NAME = 'LINKNAME' AND NEW.DATA = 'M00001' "
                      "BEGIN SELECT RAISE(ABORT, 'refused'); END");
  server.Exec(library, "CREATE TRIGGER NO_QUEUE BEFORE INSERT ON NEEDS_FOLDERING WHEN NEW.SID IN (" + documentsOf("M00002") +
                           ") BEGIN SELECT RAISE(ABORT, 'refused'); END");
  server.Exec(library, "CREATE TRIGGER NO_METADATA BEFORE UPDATE OF MATTER ON PROFILE WHEN NEW.MATTER = " + matter("M00003") +
                           " BEGIN SELECT RAISE(ABORT, 'refused'); END");
  server.Exec(library, "CREATE TRIGGER NO_SORT BEFORE UPDATE OF ISFIRST ON FOLDER_ITEM BEGIN SELECT RAISE(ABORT, 'refused'); END");
  server.Exec(library, "CREATE TRIGGER NO_CLEANUP BEFORE DELETE ON ACTIVITYLOG BEGIN SELECT RAISE(ABORT, 'refused'); END");
  cx.dm->Server()->hooks.sqlFault = [](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    const bool parentRead = sql.contains("SELECT STORAGETYPE");
    if (!parentRead && (!sql.contains("PRIMARY_LIB") || !sql.contains("'MJONES'"))) return std::nullopt;
    return dm::SqlFault{1, 208, QStringLiteral("refused")};
  };
  start();
  ReadAndProcess();
  EXPECT_EQ(cx.runState.rule.ErrorCount, 0);
  EXPECT_GT(cx.log.ErrorsLogged, 0) << "the run ends with status 1";
  for (const QString id : {"M00001", "M00002", "M00003", "M00006"})
    EXPECT_TRUE(FiledIn(library, FolderNamed(library, ClientOf(id, library)), FolderNamed(library, id))) << id.toStdString();
  EXPECT_EQ(Number(library, "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE TABLE_NAME = 'MATTER'"), 4);
  EXPECT_GT(Number(library, "SELECT COUNT(*) FROM NEEDS_FOLDERING WHERE SID IN (" + documentsOf("M00001") + ")"), 0);
  EXPECT_EQ(Number(library, "SELECT COUNT(*) FROM NEEDS_FOLDERING WHERE SID IN (" + documentsOf("M00002") + ")"), 0);
  const auto metadata = [&](const QString& id) {
    return Sql(library, QStringLiteral("SELECT MATTER FROM PROFILE WHERE DOCNUMBER = %1").arg(FolderNamed(library, id)));
  };
  EXPECT_EQ(metadata("M00002"), matter("M00002"));
  EXPECT_NE(metadata("M00003"), matter("M00003"));
  EXPECT_EQ(count("SELECT COUNT(*) FROM REGISTRY WHERE NAME = 'WMM00001'"), 0) << "the failed call is undone whole";
  EXPECT_GT(count("SELECT COUNT(*) FROM REGISTRY WHERE NAME = 'WMM00002'"), 0);
  const QString members = "SELECT COUNT(*) FROM REGISTRY M JOIN REGISTRY W ON W.SYSTEM_ID = M.ENTITYID JOIN REGISTRY R ON "
                          "R.SYSTEM_ID = W.ENTITYID JOIN PEOPLE P ON P.SYSTEM_ID = R.ENTITYID WHERE M.NAME LIKE 'WM_%' AND P.USER_ID = ";
  EXPECT_EQ(count(members + "'APATEL'"), 3);
  EXPECT_EQ(count(members + "'MJONES'"), 0);
  // Each entry the rows stand without is named, once, with the user's workspace, its failure
  // counted by its own error.
  for (const QString& entry : {"M00001\" \\(#\\d+ of " + library + "\\) is not in workspace \"Matters of APATEL\" of user APATEL in library ",
                              "M00006\" \\(#\\d+ of " + library + "\\) is not in workspace \"Matters of MJONES\" of user MJONES\r?\n"})
    EXPECT_EQ(Log().count(QRegularExpression("Warning: [^\n]*Folder \"" + entry)), 1) << qPrintable(entry);

  cx.log.ErrorsLogged = 0;
  start();
  EXPECT_FALSE(ReadRuleRows(cx));
  EXPECT_EQ(cx.log.ErrorsLogged, 0);
}

INSTANTIATE_TEST_SUITE_P(Engines, GonePastStepTest, ::testing::Values(Law, Ora));

TEST_F(FolderChainTest, StopAfterANewFolderCompletesTheRowFirst) {
  auto ui = std::make_unique<StopOnFirstAddUi>();
  ui->flags = &cx.run;
  ui->controls = cx.ui->controls;
  cx.scripted = ui.get();
  cx.ui = std::move(ui);
  cx.ui->controls.options.addNewDocs = true;
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID"});
  ReadAndProcess();
  // The client folder was new: its matter folder, metadata, queued documents and the row's
  // records follow.
  EXPECT_EQ(cx.runState.rule.AddedCount, 2);
  const qint64 matter = FolderNamed(Law, "M00001");
  ASSERT_GT(matter, 0);
  EXPECT_TRUE(FiledIn(Law, FolderNamed(Law, ClientOf("M00001")), matter));
  const QString matterId = Sql(Law, "SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = 'M00001'");
  EXPECT_EQ(Sql(Law, QStringLiteral("SELECT MATTER FROM PROFILE WHERE DOCNUMBER = %1").arg(matter)), matterId);
  const qint64 documents = Number(Law, "SELECT COUNT(*) FROM PROFILE WHERE DOCNUMBER NOT IN (SELECT DOCNUMBER FROM FOLDER) "
                                       "AND MATTER = " + matterId);
  ASSERT_GT(documents, 0);
  EXPECT_EQ(Number(Law, "SELECT COUNT(*) FROM NEEDS_FOLDERING"), documents);
  EXPECT_EQ(TrackingRows(), 2);
  EXPECT_EQ(cx.ui->CounterRead(), "1");
  EXPECT_EQ(FoldersNamed(Law, "M00002"), 0);
  EXPECT_TRUE(ResultsText().endsWith(" folder(s) added"));
}

TEST_F(FolderChainTest, StopAtTheEndOfARowEndsTheRuleNormally) {
  ASSERT_TRUE(ReadRuleRows(cx));
  // The stop arrives while the first row is being tracked; the row itself completes.
  cx.dm->Server()->hooks.sqlFault = [this](const QString&, const QString& sql) -> std::optional<dm::SqlFault> {
    if (sql.startsWith("INSERT INTO DOCSADM.TARN_STACKWRIGHT")) cx.run.StopRequested = true;
    return std::nullopt;
  };
  ProcessRuleRows(cx);
  EXPECT_EQ(cx.ui->CounterRead(), "1");
  EXPECT_EQ(FoldersNamed(Law, "M00002"), 0);
  EXPECT_TRUE(ResultsText().endsWith(" folder(s) added"));
}

TEST_F(FolderChainTest, ProfileLinksGiveTheQueueConditionAndTheDocumentNumber) {
  SetProfileLinks({"MATTER = MATTER.SYSTEM_ID", "APPLICATION = APPS.SYSTEM_ID"});
  OneRow("'Q1' AS \"T.A\", 7 AS \"MATTER.SYSTEM_ID\", 3 AS \"APPS.SYSTEM_ID\", 55 AS \"PROFILE.SYSTEM_ID\"");
  ProcessRuleRows(cx);
  const RuleRowsState& rows = cx.runState.rows;
  EXPECT_EQ(rows.RowDocNumber, 55);
  EXPECT_EQ(rows.QueueCondition, "PROFILE.SYSTEM_ID = 55 AND MATTER = 7 AND APPLICATION = 3");
  EXPECT_EQ(rows.FolderMetadataList, "MATTER = 7");
}

}  // namespace
}  // namespace sw
