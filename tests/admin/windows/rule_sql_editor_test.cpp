// The rule SQL editor: the stored form of a rule's own statement and how the rules loader reads
// it back, the Test, OK and Cancel buttons, and the in-memory copies a save updates.
#include <QDialog>
#include <QPlainTextEdit>

#include "admin/rule_sql_editor.h"
#include "admin/rule_sql_store.h"
#include "admin_window_session.h"
#include "core/library.h"
#include "core/sql.h"
#include "rules/rule_table.h"

namespace sw {
namespace {

using admin::RuleSqlChunks;
using admin::RuleSqlEditor;

const QString kRule = QStringLiteral("CLIENT MATTERS");
const QString RolledBack = QStringLiteral("\r\nThe test ran in a transaction that has been rolled back: nothing was changed.");

TEST(RuleSqlStoredForm, BlanksBecomeOneTokenPerRunAndLineBreaksStay) {
  EXPECT_EQ(admin::EncodeRuleSql("SELECT A FROM B"), "SELECT<SPC>A<SPC>FROM<SPC>B");
  EXPECT_EQ(admin::EncodeRuleSql("SELECT    A\r\n\tB"), "SELECT<SPC>A\r\n\tB");
}

TEST(RuleSqlStoredForm, ChunksAreCutEveryThousandEncodedCharacters) {
  EXPECT_TRUE(RuleSqlChunks("").isEmpty());
  EXPECT_EQ(RuleSqlChunks(QString(1000, 'x')).size(), 1);
  const QStringList two = RuleSqlChunks(QString(1001, 'x'));
  ASSERT_EQ(two.size(), 2);
  EXPECT_EQ(two[1], "x");
  const QStringList four = RuleSqlChunks(QString(3001, 'x'));
  ASSERT_EQ(four.size(), 4);
  EXPECT_EQ(four[3].size(), 1);
  // A token may be cut by a boundary; the loader joins before it expands.
  const QStringList cut = RuleSqlChunks(QString(998, 'x') + " y");
  ASSERT_EQ(cut.size(), 2);
  EXPECT_EQ(cut[0].right(2), "<S");
  EXPECT_EQ(cut[1], "PC>y");
}

TEST(RuleSqlStoredForm, LineBreakAtAChunkEdgeKeepsItsSeparation) {
  const QStringList chunks = RuleSqlChunks(QString(999, 'x') + "\r\ny");
  ASSERT_EQ(chunks.size(), 2);
  EXPECT_EQ(chunks[0].right(1), "\t");
  EXPECT_EQ(chunks[1], "\ty");
}

TEST(RuleSqlStoredForm, StatementsThatWouldNotComeBackWholeAreTold) {
  EXPECT_TRUE(admin::RuleSqlFitsStorage(QString(3000, 'x')));
  EXPECT_FALSE(admin::RuleSqlFitsStorage(QString(3001, 'x')));
  // 1001 words of one letter: 2001 characters, but an encoded form of 1001 + 1000 * 5.
  QStringList words;
  for (int i = 0; i < 1001; ++i) words << "w";
  EXPECT_FALSE(admin::RuleSqlFitsStorage(words.join(' ')));
}

TEST(RuleSqlStoredForm, NamesAndChunksAreQuotedInTheirStatements) {
  EXPECT_EQ(admin::RuleSqlDeleteStatement("O'NEIL"),
            "DELETE FROM [OWNER].TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY LIKE "
            "'RULE_STACKWRIGHT_SQL%' AND SUB_KEY = 'O''NEIL'");
  EXPECT_EQ(admin::RuleSqlInsertStatement(12, "O'NEIL", "A = 'x'\r\n"),
            "INSERT INTO [OWNER].TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL, KEY_TYPE) "
            "VALUES('QUILLMARK', 'RULE_STACKWRIGHT_SQL_12', 'O''NEIL', 'A = ''x''', NULL, 1)");
}

class RuleSqlEditorTest : public test::AdminWindowTest {
 protected:
  // Opens the editor on a rule as F5 does and lets `act` drive it; returns the closing result
  // (-1 while the window stays open).
  int Drive(const QString& library, const QString& rule, const std::function<void(RuleSqlEditor&)>& act) {
    int closed = -1;
    admin::OpenRuleSqlEditor(cx, nullptr, library, rule, [&](RuleSqlEditor& editor) {
      QObject::connect(&editor, &QDialog::finished, [&](int r) { closed = r; });
      act(editor);
    });
    return closed;
  }
  int SaveText(const QString& text, const QString& rule = kRule) {
    return Drive("LAWLIB", rule, [&](RuleSqlEditor& e) {
      e.SetText(text);
      e.ButtonOK_Click();
    });
  }
  QList<QStringList> Chunks(const QString& rule = kRule) {
    return server.Rows("LAWLIB", QStringLiteral("SELECT SECTION_KEY, CHAR_VAL, KEY_TYPE, INT_VAL IS NULL FROM TARN_SETTINGS "
                                                "WHERE SECTION_KEY LIKE 'RULE_STACKWRIGHT_SQL%' AND SUB_KEY = '%1' "
                                                "ORDER BY SECTION_KEY")
                                     .arg(QString(rule).replace("'", "''")));
  }
  // The statement the rules loader reads back after switching away and back.
  QString Reloaded(const QString& rule = kRule) {
    EXPECT_TRUE(ConnectLibrary(cx, "ORALIB"));
    EXPECT_TRUE(ConnectLibrary(cx, "LAWLIB"));
    const int row = cx.rules.RuleSqlCache.Find("LAWLIB", rule);
    return row == 0 ? QString("<no row>") : cx.rules.RuleSqlCache(row, sqlcol::Sql);
  }
  int RuleNumber(const QString& rule = kRule) {
    for (int r = 1; r <= cx.rules.RuleCount(); ++r)
      if (cx.rules.RuleTable(field::RuleName, r) == rule) return r;
    return 0;
  }
};

TEST_F(RuleSqlEditorTest, SavedStatementIsStoredEncodedAndReadBackOnOneLine) {
  cx.scripted->Answer(MsgResult::No);  // no test before saving
  EXPECT_EQ(SaveText("  SELECT  SYSTEM_ID,\r\nDOCNUMBER   FROM PROFILE  "), QDialog::Accepted);

  const QList<QStringList> rows = Chunks();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0], QStringList({"RULE_STACKWRIGHT_SQL_1", "SELECT<SPC>SYSTEM_ID,  DOCNUMBER<SPC>FROM<SPC>PROFILE", "1", "1"}));
  EXPECT_EQ(Shown().last(), "Rule Stackwright SQL text saved for the rule CLIENT MATTERS in library LAWLIB");
  // The current library's copies hold the plain statement, line break and all.
  const QString plain = "SELECT  SYSTEM_ID,\r\nDOCNUMBER   FROM PROFILE";
  EXPECT_EQ(cx.rules.RuleTable(field::RULE_STACKWRIGHT_SQL_1, RuleNumber()), plain.leftJustified(1024));
  EXPECT_EQ(cx.rules.RuleTable(field::RULE_STACKWRIGHT_SQL_2, RuleNumber()), QString(1024, ' '));
  EXPECT_EQ(cx.rules.RuleSqlCache(cx.rules.RuleSqlCache.Find("LAWLIB", kRule), sqlcol::Sql), plain);

  EXPECT_EQ(Reloaded(), "SELECT SYSTEM_ID,  DOCNUMBER FROM PROFILE");
}

TEST_F(RuleSqlEditorTest, LongStatementComesBackWholeAcrossChunksAndEdgeLineBreaks) {
  // Words cut by chunk boundaries, and a line break exactly at the end of the first chunk.
  const QString head = "SELECT " + QString(982, 'A') + " B";  // encodes to 999 characters
  const QString statement = head + "\r\nFROM " + QString(600, 'C') + " WHERE  X = 'it''s'";
  cx.scripted->Answer(MsgResult::No);
  ASSERT_EQ(SaveText(statement), QDialog::Accepted);
  EXPECT_EQ(Chunks().size(), 2);
  const QString back = Reloaded();
  EXPECT_TRUE(back.startsWith("SELECT " + QString(982, 'A') + " B\t\tFROM " + QString(600, 'C'))) << qPrintable(back.left(40));
  EXPECT_TRUE(back.endsWith(" WHERE X = 'it''s'"));
}

TEST_F(RuleSqlEditorTest, ApostrophesInRuleAndStatementAreStoredSingle) {
  const QString rule = "O'NEIL";
  cx.scripted->Answer(MsgResult::No);
  ASSERT_EQ(SaveText("SELECT 'x'", rule), QDialog::Accepted);
  const QList<QStringList> rows = Chunks(rule);
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0][1], "SELECT<SPC>'x'");
}

TEST_F(RuleSqlEditorTest, ClearingDeletesEveryChunkAndBlanksTheCopies) {
  cx.scripted->Answer(MsgResult::No);
  ASSERT_EQ(SaveText(QString(1500, 'q')), QDialog::Accepted);
  ASSERT_EQ(Chunks().size(), 2);

  cx.scripted->Answer(MsgResult::Yes);
  EXPECT_EQ(SaveText("   "), QDialog::Accepted);  // Yes to the clearing question
  EXPECT_TRUE(Chunks().isEmpty());
  EXPECT_EQ(cx.scripted->shown[cx.scripted->shown.size() - 2].text, "Do you want to clear the saved SQL statement?");
  EXPECT_EQ(cx.rules.RuleSqlCache(cx.rules.RuleSqlCache.Find("LAWLIB", kRule), sqlcol::Sql), "");
  for (int f : {field::RULE_STACKWRIGHT_SQL_1, field::RULE_STACKWRIGHT_SQL_2, field::RULE_STACKWRIGHT_SQL_3})
    EXPECT_EQ(cx.rules.RuleTable(f, RuleNumber()), QString(1024, ' '));
}

TEST_F(RuleSqlEditorTest, RefusedClearingLeavesWindowOpenAndRowsStored) {
  cx.scripted->Answer(MsgResult::No);
  ASSERT_EQ(SaveText("SELECT 1"), QDialog::Accepted);
  EXPECT_EQ(SaveText(""), -1);  // Enter, or an unattended box, keeps the statement
  EXPECT_EQ(Chunks().size(), 1);
}

TEST_F(RuleSqlEditorTest, FailedTestFromOkStoresNothingAndKeepsTheWindow) {
  cx.scripted->Answer(MsgResult::No);
  ASSERT_EQ(SaveText("SELECT 1"), QDialog::Accepted);
  const QList<QStringList> before = Chunks();

  cx.scripted->Answer(MsgResult::Yes);  // test first
  const int errors = cx.log.ErrorsLogged;
  const QStringList failed = cx.log.FailedSubjects;
  QString left;
  const int closed = Drive("LAWLIB", kRule, [&](RuleSqlEditor& e) {
    e.SetText("SELECT nonsense FROM nowhere");
    e.ButtonOK_Click();
    left = e.Text();
    EXPECT_FALSE(e.TestPassed());
  });
  EXPECT_EQ(closed, -1);
  EXPECT_EQ(left, "SELECT nonsense FROM nowhere");
  EXPECT_EQ(Chunks(), before);
  EXPECT_TRUE(Shown().last().startsWith("SQL Error: ")) << qPrintable(Shown().last());
  EXPECT_TRUE(Shown().last().endsWith(")\r\n occurred trying to run test on CLIENT MATTERS"));
  // A statement tried out is no failure of the program, nor does the last line name its library.
  EXPECT_EQ(cx.log.ErrorsLogged, errors);
  EXPECT_EQ(cx.log.FailedSubjects, failed);
}

// A statement that begins with a comment is tested like any other, and saved after its test,
// unless its comment could not be stored.
TEST_F(RuleSqlEditorTest, TestFromOkLooksPastALeadingComment) {
  cx.scripted->Answer(MsgResult::Yes);  // test first
  EXPECT_EQ(SaveText("/* the clients */ SELECT CLIENT_ID FROM [OWNER].CLIENT"), QDialog::Accepted);
  EXPECT_EQ(Chunks().size(), 1);
  // Stored on one line, a "--" comment would take in what follows it: not saved.
  EXPECT_EQ(SaveText("-- the clients\r\nSELECT CLIENT_ID FROM [OWNER].CLIENT"), -1);
  EXPECT_TRUE(Shown().last().contains("Write the comment as /* ... */ instead."));
  EXPECT_EQ(Chunks().size(), 1);
  cx.scripted->Answer(MsgResult::No);
  EXPECT_EQ(SaveText("SELECT '--', [a--b] /* -- */ FROM [OWNER].CLIENT -- the clients"), QDialog::Accepted);
}

// {OWNER} is stored, and tested before saving, as the placeholder the run resolves, in literals too.
TEST_F(RuleSqlEditorTest, OwnerPlaceholdersAreStoredForTheRunAndRun) {
  const QString owner = cx.library.DatabaseOwner, rows = server.Scalar("LAWLIB", "SELECT COUNT(*) FROM CLIENT, PEOPLE");
  ASSERT_GT(rows.toInt(), 0);
  cx.scripted->Answer(MsgResult::Yes);  // test first
  ASSERT_EQ(SaveText("SELECT CLIENT_ID FROM {owner}.CLIENT, [OWNER].PEOPLE WHERE '{OWNER}' = '" + owner + "'"), QDialog::Accepted);
  EXPECT_EQ(Shown()[1], "Results: " + rows + " item(s) returned from test on CLIENT MATTERS" + RolledBack);
  const QString stored = "SELECT CLIENT_ID FROM [OWNER].CLIENT, [OWNER].PEOPLE WHERE '[OWNER]' = '" + owner + "'";
  EXPECT_EQ(Reloaded(), stored);
  ASSERT_TRUE(RunSQL(cx, ReplaceOwnerPlaceholdersInLiterals(stored, owner)));
  EXPECT_EQ(cx.session.pSQL->RowCount(), rows.toLongLong());
}

TEST_F(RuleSqlEditorTest, TestRunsOnThePanelLibraryAndSwitchesBack) {
  const QString clients = server.Scalar("ORALIB", "SELECT COUNT(*) FROM CLIENT");
  bool passed = false;
  Drive("ORALIB", kRule, [&](RuleSqlEditor& e) {
    e.SetText("SELECT CLIENT_ID FROM [OWNER].CLIENT");
    e.ButtonTest_Click();
    passed = e.TestPassed();
  });
  EXPECT_TRUE(passed);
  EXPECT_EQ(Shown().last(), "Results: " + clients + " item(s) returned from test on CLIENT MATTERS" + RolledBack);
  EXPECT_EQ(cx.scripted->shown.back().icon, MsgIcon::None);
  EXPECT_EQ(Current(), "LAWLIB");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
}

// On both engines a test changes nothing: a change of rows is rolled back, a statement that no
// transaction could undo is not run, and neither is one that would join another task's open work.
TEST_F(RuleSqlEditorTest, TestChangesNothingOnBothEngines) {
  for (const QString library : {"LAWLIB", "ORALIB"}) {
    SCOPED_TRACE(library.toStdString());
    const int clients = server.Scalar(library, "SELECT COUNT(*) FROM CLIENT").toInt();
    ASSERT_GT(clients, 0);
    std::vector<bool> passed;
    Drive(library, kRule, [&](RuleSqlEditor& e) {
      for (const QString statement : {"-- every client\r\n/* of the\r\nlibrary */ DELETE FROM [OWNER].CLIENT",
                                      "/* DELETE */ DROP TABLE [OWNER].CLIENT"}) {
        e.SetText(statement);
        e.ButtonTest_Click();
        passed.push_back(e.TestPassed());
      }
    });
    EXPECT_EQ(passed, (std::vector<bool>{true, false}));
    ASSERT_GE(Shown().size(), 2);
    EXPECT_EQ(Shown()[Shown().size() - 2], "Results: 0 item(s) returned from test on CLIENT MATTERS" + RolledBack);
    EXPECT_EQ(Shown().last(), "Error: The SQL statement for the rule CLIENT MATTERS has not been run: only a SELECT, "
                              "WITH, INSERT, UPDATE, DELETE or MERGE statement can be tested, in a transaction that is "
                              "rolled back afterwards.");
    EXPECT_EQ(server.Scalar(library, "SELECT COUNT(*) FROM CLIENT").toInt(), clients);

    ASSERT_TRUE(ConnectLibrary(cx, library));
    const SqlTransaction work = BeginTransaction(cx);
    ASSERT_TRUE(work.Opened);
    ASSERT_TRUE(RunAndRelease(cx, "INSERT INTO [OWNER].CLIENT (SYSTEM_ID, CLIENT_ID) VALUES (990001, 'OPEN')"));
    Drive(library, kRule, [&](RuleSqlEditor& e) {
      e.SetText("SELECT 1");
      e.ButtonTest_Click();
      EXPECT_FALSE(e.TestPassed());
    });
    EXPECT_TRUE(Shown().last().endsWith("other work is being written to library " + library +
                                        "; test it again when that work has finished."));
    EXPECT_TRUE(EndTransaction(cx, work, true));
    EXPECT_EQ(server.Scalar(library, "SELECT COUNT(*) FROM CLIENT").toInt(), clients + 1);
    ASSERT_TRUE(ConnectLibrary(cx, "LAWLIB"));
  }
}

TEST_F(RuleSqlEditorTest, TestOnEmptyTextDoesNothing) {
  const int loads = RuleLoads();
  Drive("ORALIB", kRule, [&](RuleSqlEditor& e) { e.ButtonTest_Click(); });
  EXPECT_TRUE(cx.scripted->shown.empty());
  EXPECT_EQ(RuleLoads(), loads);
}

TEST_F(RuleSqlEditorTest, FailedInsertRollsBackAndKeepsTheOldStatement) {
  cx.scripted->Answer(MsgResult::No);
  ASSERT_EQ(SaveText("SELECT 1"), QDialog::Accepted);
  server.Exec("LAWLIB", "CREATE TRIGGER refuse BEFORE INSERT ON TARN_SETTINGS WHEN NEW.SECTION_KEY = "
                        "'RULE_STACKWRIGHT_SQL_2' BEGIN SELECT RAISE(ABORT, 'refused'); END");
  cx.scripted->Answer(MsgResult::No);
  EXPECT_EQ(SaveText(QString(1200, 'z')), -1);
  const QList<QStringList> rows = Chunks();
  ASSERT_EQ(rows.size(), 1);
  EXPECT_EQ(rows[0][1], "SELECT<SPC>1");
  EXPECT_EQ(cx.rules.RuleSqlCache(cx.rules.RuleSqlCache.Find("LAWLIB", kRule), sqlcol::Sql), "SELECT 1");
  EXPECT_TRUE(Shown().last().startsWith("Error: Rule Stackwright SQL text could not be saved"));
}

TEST_F(RuleSqlEditorTest, TooLongStatementIsRefusedBeforeAnythingIsWritten) {
  QStringList words;
  for (int i = 0; i < 700; ++i) words << "ab";
  EXPECT_EQ(SaveText(words.join(' ')), -1);
  EXPECT_TRUE(Chunks().isEmpty());
  EXPECT_EQ(cx.scripted->shown.size(), 1u);
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Critical);
}

TEST_F(RuleSqlEditorTest, UnknownPanelLibraryWritesNowhere) {
  const QString before = server.Scalar("LAWLIB", "SELECT COUNT(*) FROM TARN_SETTINGS");
  cx.scripted->Answer(MsgResult::No);
  EXPECT_EQ(SaveText("SELECT 1", kRule), QDialog::Accepted);  // the real library, for contrast
  cx.scripted->Answer(MsgResult::No);
  EXPECT_EQ(Drive("NOLIB", kRule, [](RuleSqlEditor& e) {
              e.SetText("SELECT 2");
              e.ButtonOK_Click();
            }),
            -1);
  EXPECT_EQ(server.Scalar("LAWLIB", "SELECT COUNT(*) FROM TARN_SETTINGS").toInt(), before.toInt() + 1);
  EXPECT_EQ(Chunks()[0][1], "SELECT<SPC>1");
  EXPECT_EQ(Current(), "LAWLIB");
}

TEST_F(RuleSqlEditorTest, CancelAsksOnlyWhenTextIsPresent) {
  EXPECT_EQ(Drive("LAWLIB", kRule, [](RuleSqlEditor& e) { e.ButtonCancel_Click(); }), QDialog::Rejected);
  EXPECT_TRUE(cx.scripted->shown.empty());

  cx.scripted->Answer(MsgResult::No);
  EXPECT_EQ(Drive("LAWLIB", kRule, [](RuleSqlEditor& e) {
              e.SetText("SELECT 1");
              e.ButtonCancel_Click();
            }),
            -1);
  EXPECT_EQ(Shown(), QStringList{"Are you sure you want to exit without saving?"});
  EXPECT_EQ(cx.scripted->shown[0].buttons, MsgButtons::YesNoDefaultNo);  // Enter keeps the edit
  EXPECT_TRUE(Chunks().isEmpty());
}

TEST_F(RuleSqlEditorTest, OpeningFindsTheCachedStatementOrAddsARow) {
  const int rows = cx.rules.RuleSqlCount();
  QString panels, text;
  auto look = [&](RuleSqlEditor& e) {
    panels = e.LibraryPanel() + "|" + e.RulePanel();
    text = e.Text();
  };
  Drive("LawLib", "client matters", look);
  EXPECT_EQ(cx.rules.RuleSqlCount(), rows + 1);
  EXPECT_EQ(panels, "LawLib|client matters");
  EXPECT_EQ(text, "");

  cx.rules.RuleSqlCache.Set(rows + 1, sqlcol::Sql, "  SELECT 9  ");
  Drive("LAWLIB", "CLIENT MATTERS", look);
  EXPECT_EQ(cx.rules.RuleSqlCount(), rows + 1);
  EXPECT_EQ(panels, "LawLib|client matters");  // the row's own texts
  EXPECT_EQ(text, "SELECT 9");
  EXPECT_EQ(cx.rules.RuleSqlIndex, QString::number(rows + 1));
}

TEST_F(RuleSqlEditorTest, TextBoxHoldsAtMost4096Characters) {
  int length = 0;
  Drive("LAWLIB", kRule, [&](RuleSqlEditor& e) {
    e.TextRuleSQL->insertPlainText(QString(5000, 'k'));
    length = e.Text().size();
  });
  EXPECT_EQ(length, 4096);
}

}  // namespace
}  // namespace sw
