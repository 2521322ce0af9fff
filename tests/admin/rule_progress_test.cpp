// Advancing a rule to the rows its source tables hold today, and resetting it, on an emulated
// DM server.
#include <gtest/gtest.h>

#include "admin/admin.h"
#include "admin/rule_progress.h"
#include "admin_session.h"
#include "core/library.h"
#include "rules/settings_rows.h"
#include "run/run.h"

namespace sw {
namespace {

using test::AddSettingsRow;

TEST(RuleTemplateItems, CutsAtMarkersAndSkipsTextBetweenItems) {
  EXPECT_EQ(admin::RuleTemplateItems("%FIRM MATTERS% %\\% %MATTER.CLIENT_ID.CLIENT_ID% %\\% %DOCUMENTTYPE.TYPE_ID%"),
            QStringList({"FIRM MATTERS", "\\", "MATTER.CLIENT_ID.CLIENT_ID", "\\", "DOCUMENTTYPE.TYPE_ID"}));
  EXPECT_EQ(admin::RuleTemplateItems("ROOT %/% %CLIENT_ID.CLIENT_ID%"), QStringList({"/", "CLIENT_ID.CLIENT_ID"}));
  // Without a closing marker an item ends at a blank; the rest counts only from a further "%".
  EXPECT_EQ(admin::RuleTemplateItems("%A% %MATTER.MATTER_ID tail"), QStringList({"A", "MATTER.MATTER_ID"}));
  EXPECT_EQ(admin::RuleTemplateItems("%A% %B tail %C"), QStringList({"A", "B tail"}));
  EXPECT_EQ(admin::RuleTemplateItems("%A% %B.C"), QStringList({"A", "B.C"}));
  EXPECT_TRUE(admin::RuleTemplateItems("no markers").isEmpty());
}

class RuleProgress : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(s.started);
    s.Choose("LAWLIB");
    s.ui->confirms = true;
  }
  // Records of a rule, one per table given, with SIDs from 1.
  void Seed(const QString& library, const QString& rule, const QStringList& tables) {
    int sid = 0;
    for (const QString& table : tables)
      server.Exec(library, QStringLiteral("INSERT INTO TARN_STACKWRIGHT VALUES (%1, '%2', '%3', 0, '')")
                               .arg(++sid)
                               .arg(table, QString(rule).replace("'", "''")));
  }
  int Records(const QString& library, const QString& rule, const QString& table = QString()) {
    QString sql = "SELECT COUNT(*) FROM TARN_STACKWRIGHT WHERE RULE_NAME = '" + QString(rule).replace("'", "''") + "'";
    if (!table.isEmpty()) sql += " AND TABLE_NAME = '" + table + "'";
    return server.Scalar(library, sql).toInt();
  }
  int Rows(const QString& library, const QString& table) {
    return server.Scalar(library, "SELECT COUNT(*) FROM " + table).toInt();
  }
  void AddRule(const QString& library, const QString& rule, const QString& tmpl) {
    AddSettingsRow(server, library, "RULE_TEMPLATE", rule, tmpl);
    AddSettingsRow(server, library, "RULE_VALUES", rule, "%APPLICATION.APPLICATION% <> 'FOLDER'");
  }
  int MenuIndex(const QString& rule) { return int(s.cx.ui->RuleMenuCaptions(RuleMenu::Current).indexOf(rule)); }

  test::DmTestServer server;
  test::AdminSession s{server};
};

TEST_F(RuleProgress, AdvanceReplacesTheRuleRecordsByEveryCurrentSourceRow) {
  Seed("LAWLIB", "CLIENT MATTERS", {"PROFILE", "PROFILE", "MATTER"});
  Seed("LAWLIB", "OTHER", {"MATTER"});
  s.WatchControls();
  MNCurrentRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
  // A run or tool started while it works would write inside its transaction.
  EXPECT_EQ(s.whileWorking, std::set<std::string>{"go 0 tools 0"});
  EXPECT_EQ(s.GoAndTools(), "go 1 tools 1");

  const int clients = Rows("LAWLIB", "CLIENT"), matters = Rows("LAWLIB", "MATTER");
  ASSERT_GT(clients, 0);
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS", "CLIENT"), clients);
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS", "MATTER"), matters);
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS"), clients + matters) << "the old PROFILE records are gone";
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM TARN_STACKWRIGHT t JOIN MATTER m ON m.SYSTEM_ID = t.SID "
                                    "WHERE t.TABLE_NAME = 'MATTER' AND t.STATUS = 0 AND t.LOCKED_BY = ''"),
            QString::number(matters));
  EXPECT_EQ(Records("LAWLIB", "OTHER"), 1);

  ASSERT_EQ(s.ui->shown.size(), 2u);
  EXPECT_EQ(s.ui->shown[0].text,
            "Warning: This option will set the System_ID values in the TARN_STACKWRIGHT table for rule CLIENT MATTERS in "
            "library LAWLIB so that no existing metadata will be processed when Quillmark Stackwright for OpenText eDOCS "
            "runs. This means that only newly-added metadata from this point forward will be processed. You should use "
            "EXTREME CAUTION when running this procedure.\r\n\r\nARE YOU ABSOLUTELY CERTAIN THAT YOU WISH TO CONTINUE?");
  EXPECT_EQ(s.ui->shown[1].text, QString("Procedure complete with %1 row(s) added and 3 row(s) removed.").arg(clients + matters));
  EXPECT_EQ(s.ui->shown[1].title, s.cx.app.AppTitle);
  EXPECT_TRUE(s.ui->captions.contains("Processing CLIENT") && s.ui->captions.contains("Processing MATTER"));
  EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(s.cx.ui->MousePointer(), Pointer::Default);
}

// A rule whose template combines the documents' matter and type reads each document as one row:
// advanced, it makes nothing of the documents there are and takes up the next one, on either engine.
TEST_F(RuleProgress, AdvancedDocumentsRuleTakesUpOnlyLaterDocuments) {
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    SCOPED_TRACE(library.toStdString());
    server.Exec(library, "UPDATE TARN_SETTINGS SET CHAR_VAL = '%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID% %\\% "
                         "%DOCUMENTTYPE.TYPE_ID%' WHERE SECTION_KEY = 'RULE_TEMPLATE'");
    s.cx.LoadLibraryRules();
    s.Choose(library);
    MNCurrentRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
    EXPECT_EQ(Records(library, "CLIENT MATTERS"), Rows(library, "PROFILE"));
    EXPECT_EQ(Records(library, "CLIENT MATTERS", "PROFILE"), Rows(library, "PROFILE"));

    s.cx.ui->controls.rulesTree.clear();
    test::AddRuleNode(s.cx, test::AddLibraryNode(s.cx, library, true), "CLIENT MATTERS", true);
    s.cx.app.CommandLine = "/G";
    Button_Go_Click(s.cx);
    ASSERT_EQ(s.cx.ui->controls.results.size(), 1u);
    EXPECT_EQ(s.cx.ui->controls.results[0][2], "Finished");

    // The later document alone is read: the chain of its client, matter and type is made.
    server.Exec(library, "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, AUTHOR, TYPIST, APPLICATION, DOCUMENTTYPE, FORM, "
                         "CLIENT_ID, MATTER, STATUS) SELECT 900001, 900001, 'Later', AUTHOR, TYPIST, APPLICATION, DOCUMENTTYPE, "
                         "FORM, CLIENT_ID, MATTER, 0 FROM PROFILE WHERE DOCNUMBER = 1");
    Button_Go_Click(s.cx);
    EXPECT_EQ(s.cx.ui->controls.results[0][2], "3 folder(s) added");
  }
}

TEST_F(RuleProgress, AdvanceAnsweredNoOrWithoutQualifierChangesNothing) {
  Seed("LAWLIB", "CLIENT MATTERS", {"PROFILE"});
  s.ui->Answer(MsgResult::No);
  MNCurrentRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
  EXPECT_EQ(s.Texts().last(), "Wise choice.");

  AddSettingsRow(server, "LAWLIB", "RULE_TEMPLATE", "NO QUALIFIER", "%MATTER.MATTER_ID%");
  AddSettingsRow(server, "LAWLIB", "RULE_VALUES", "NO QUALIFIER", "");
  s.cx.LoadLibraryRules();
  MNCurrentRules_Click(s.cx, MenuIndex("NO QUALIFIER"));
  EXPECT_TRUE(s.ui->captions.contains("Error: Rule NO QUALIFIER not found in library LAWLIB"));
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS"), 1);
  EXPECT_EQ(Records("LAWLIB", "NO QUALIFIER"), 0);
}

// A failure in the middle of the replacement, and a catalogue that cannot be read before it, on
// both engines: the rule keeps every record it had, and the user is told.
TEST_F(RuleProgress, AdvanceThatFailsLeavesTheOldRecordsOnBothEngines) {
  const struct {
    QString fault, message;
  } cases[] = {
      // First, while no look-up of the library is cached yet.
      {"COLNAME = 'CLIENT_ID' AND TBNAME = 'MATTER'",
       "Error: Unable to read the column catalogue for MATTER.CLIENT_ID (injected failure) in library "},
      {"FROM DOCSADM.MATTER ORDER BY SYSTEM_ID", "Error: Procedure failed on table MATTER"},
  };
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    for (const auto& c : cases) {
      SCOPED_TRACE((library + " " + c.fault).toStdString());
      server.Exec(library, "DELETE FROM TARN_STACKWRIGHT");
      Seed(library, "CLIENT MATTERS", {"PROFILE", "CLIENT"});
      s.Choose(library);
      s.FailStatements(library, c.fault);
      MNCurrentRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
      EXPECT_EQ(Records(library, "CLIENT MATTERS", "PROFILE"), 1);
      EXPECT_EQ(Records(library, "CLIENT MATTERS"), 2) << "the tables done before the failure are undone too";
      const ShownMessage last = s.ui->shown.back();
      EXPECT_EQ(last.icon, MsgIcon::Critical);
      EXPECT_TRUE(last.text.startsWith(c.message)) << last.text.toStdString();
      EXPECT_TRUE(last.text.endsWith("no record of rule CLIENT MATTERS has been changed.")) << last.text.toStdString();
      EXPECT_EQ(s.Current(), "LAWLIB");
    }
  }
}

TEST_F(RuleProgress, NamesWithApostrophesAndWildcardsMatchThemselvesOnly) {
  AddRule("LAWLIB", "O'BRIEN_1", "%MATTER.MATTER_ID%");
  Seed("LAWLIB", "O'BRIENX1", {"MATTER"});
  s.cx.LoadLibraryRules();
  MNCurrentRules_Click(s.cx, MenuIndex("O'BRIEN_1"));
  EXPECT_EQ(Records("LAWLIB", "O'BRIEN_1", "MATTER"), Rows("LAWLIB", "MATTER"));

  MNInitialRules_Click(s.cx, MenuIndex("O'BRIEN_1"));
  EXPECT_EQ(Records("LAWLIB", "O'BRIEN_1"), 0);
  EXPECT_EQ(Records("LAWLIB", "O'BRIENX1"), 1);
}

// ORALIB lists A_B before CLIENT MATTERS: the clicked rule is worked on in the chosen library
// whatever its place there, from either engine to the other, and the library that was current is
// current again afterwards.
TEST_F(RuleProgress, TheClickedRuleIsTheOneWorkedOnInAnotherLibrary) {
  AddRule("ORALIB", "A_B", "%MATTER.MATTER_ID%");
  Seed("ORALIB", "A_B", {"MATTER"});
  for (const auto& [from, to] : {std::pair{"LAWLIB", "ORALIB"}, std::pair{"ORALIB", "LAWLIB"}}) {
    SCOPED_TRACE(from);
    ASSERT_TRUE(ConnectLibrary(s.cx, from));
    s.Choose(to);
    const size_t before = s.ui->shown.size();
    MNCurrentRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
    ASSERT_GT(s.ui->shown.size(), before);
    EXPECT_TRUE(s.ui->shown[before].text.contains(QString("for rule CLIENT MATTERS in library %1 so that").arg(to)));
    EXPECT_EQ(Records(to, "CLIENT MATTERS", "MATTER"), Rows(to, "MATTER"));
    EXPECT_EQ(Records("ORALIB", "A_B"), 1);
    EXPECT_EQ(s.Current(), from);

    MNInitialRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
    EXPECT_EQ(Records(to, "CLIENT MATTERS"), 0);
    EXPECT_EQ(Records("ORALIB", "A_B"), 1);
  }
  // A rule the chosen library does not have is said to be missing before anything is asked.
  AddRule("LAWLIB", "LAW ONLY", "%MATTER.MATTER_ID%");
  ASSERT_TRUE(ConnectLibrary(s.cx, "LAWLIB"));
  s.cx.LoadLibraryRules();
  s.Choose("ORALIB");
  MNCurrentRules_Click(s.cx, MenuIndex("LAW ONLY"));
  EXPECT_EQ(s.Texts().last(), "Error: Rule LAW ONLY not found in library ORALIB");
  EXPECT_EQ(s.cx.ui->RuleMenuCaptions(RuleMenu::Current), QStringList({"CLIENT MATTERS", "LAW ONLY"}));
}

TEST_F(RuleProgress, ToolsStopBeforeAnyChangeWithoutSettingsTableOrMenuItem) {
  server.Exec("ORALIB", "DROP TABLE TARN_SETTINGS");
  s.Choose("ORALIB");
  MNInitialRules_Click(s.cx, 0);
  EXPECT_EQ(s.Texts(), QStringList({"You must create the TARN_SETTINGS table in library ORALIB before you can manage Quillmark"}));

  s.Choose("LAWLIB");
  MNInitialRules_Click(s.cx, 5);
  EXPECT_TRUE(test::Log(s.cx).contains("Error: #340 was generated by")) << "the missing item is reported";
  EXPECT_EQ(s.ui->shown.size(), 1u);
  EXPECT_EQ(s.Current(), "LAWLIB");
}

TEST_F(RuleProgress, ResetCountsAsksAndRemovesEveryRecordOfTheRule) {
  Seed("LAWLIB", "CLIENT MATTERS", {"PROFILE", "MATTER", "CLIENT"});
  Seed("LAWLIB", "OTHER", {"CLIENT"});
  const int index = MenuIndex("CLIENT MATTERS");

  s.ui->Answer(MsgResult::No);
  MNInitialRules_Click(s.cx, index);
  EXPECT_EQ(s.Texts().last(), "Wise choice");
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS"), 3);

  MNInitialRules_Click(s.cx, index);
  EXPECT_TRUE(s.Texts().at(2).startsWith("Warning: This option will remove all information about 3 rule item(s) previously "
                                         "processed by Quillmark Stackwright for OpenText eDOCS for rule CLIENT MATTERS in "
                                         "library LAWLIB. After this, "));
  EXPECT_EQ(s.Texts().last(), "Procedure complete with 3 row(s) removed.");
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS"), 0);
  EXPECT_EQ(Records("LAWLIB", "OTHER"), 1);

  MNInitialRules_Click(s.cx, index);
  EXPECT_EQ(s.Texts().last(),
            "There are no values currently set for rule CLIENT MATTERS in library LAWLIB - no need to continue.");
}

TEST_F(RuleProgress, ResetWhoseDeleteFailsSaysSo) {
  Seed("LAWLIB", "CLIENT MATTERS", {"PROFILE"});
  s.FailStatements("LAWLIB", "DELETE FROM DOCSADM.TARN_STACKWRIGHT");
  MNInitialRules_Click(s.cx, MenuIndex("CLIENT MATTERS"));
  EXPECT_TRUE(s.Texts().last().startsWith("Error: Unable to remove the records of rule CLIENT MATTERS in library LAWLIB"));
  EXPECT_EQ(Records("LAWLIB", "CLIENT MATTERS"), 1);
}

}  // namespace
}  // namespace sw
