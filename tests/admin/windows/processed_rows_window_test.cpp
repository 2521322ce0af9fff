// The processed-rows window: opening in a chosen library, the list and its caption, the
// header-click sort and its memory, removal of chosen records, keys and the popup.
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QTreeWidget>

#include "admin/list_sort.h"
#include "admin/processed_rows.h"
#include "admin/processed_rows_window.h"
#include "core/log.h"
#include "admin_window_session.h"
#include "run/run_control.h"

namespace sw {
namespace {

using admin::ProcessedRowsWindow;

TEST(ListSort, SameHeaderAlternatesAndAnotherStartsAscending) {
  admin::ListSortMemory memory;
  EXPECT_EQ(admin::NextSortOrder(memory, "Rule"), admin::SortAscending);
  EXPECT_EQ(admin::NextSortOrder(memory, "Rule"), admin::SortDescending);
  EXPECT_EQ(admin::NextSortOrder(memory, "Rule"), admin::SortAscending);
  EXPECT_EQ(admin::NextSortOrder(memory, "Table"), admin::SortAscending);
  EXPECT_EQ(admin::NextSortOrder(memory, "table"), admin::SortAscending);  // case counts
  EXPECT_EQ(memory.LastSortColumn, "table");
}

TEST(ProcessedRowText, OnlyWholeNumbersNameARecord) {
  EXPECT_EQ(admin::ProcessedRowSid("1234"), 1234);
  EXPECT_EQ(admin::ProcessedRowSid(" 77 "), 77);
  EXPECT_EQ(admin::ProcessedRowSid("12abc"), 0);
  EXPECT_EQ(admin::ProcessedRowSid("12.5"), 0);
  EXPECT_EQ(admin::ProcessedRowSid(""), 0);
  EXPECT_EQ(admin::RemoveProcessedRowStatement(5, "PROFILE", "O'NEIL"),
            "DELETE FROM [OWNER].TARN_STACKWRIGHT WHERE SID = 5 AND TABLE_NAME = 'PROFILE' AND RULE_NAME = 'O''NEIL'");
}

class ProcessedRowsTest : public test::AdminWindowTest {
 protected:
  void SetUp() override {
    AdminWindowTest::SetUp();
    cx.scripted->confirms = true;
    for (const char* lib : {"LAWLIB", "ORALIB"}) server.Exec(lib, "DELETE FROM TARN_STACKWRIGHT");
    Choose("LAWLIB");
  }
  void Choose(const QString& library) {
    cx.session.FusionApplication->SetLibraryChooser([library](const QStringList& names) { return int(names.indexOf(library)); });
  }
  void Add(const QString& library, const QString& rule, const QString& table, const QString& sid) {
    server.Exec(library, QStringLiteral("INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
                                        "VALUES ('%1', '%2', '%3', 0, '')")
                             .arg(sid, table, QString(rule).replace("'", "''")));
  }
  static QStringList Column(const ProcessedRowsWindow& w, int column) {
    QStringList texts;
    for (int i = 0; i < w.ListResults->topLevelItemCount(); ++i) texts << w.ListResults->topLevelItem(i)->text(column);
    return texts;
  }
  static void Select(ProcessedRowsWindow& w, const QStringList& sids) {
    for (int i = 0; i < w.ListResults->topLevelItemCount(); ++i) {
      QTreeWidgetItem* item = w.ListResults->topLevelItem(i);
      item->setSelected(sids.contains(item->text(2)));
    }
  }
  static void Key(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &press);
  }
  int Open(QWidget* parent, const std::function<void(ProcessedRowsWindow&)>& act) {
    int shown = 0;
    admin::OpenProcessedRowsWindow(cx, parent, [&](ProcessedRowsWindow& w) {
      ++shown;
      act(w);
    });
    return shown;
  }
  int Records(const QString& library = "LAWLIB") { return server.Scalar(library, "SELECT COUNT(*) FROM TARN_STACKWRIGHT").toInt(); }
};

TEST_F(ProcessedRowsTest, OpensOnTheChosenLibraryAndRestoresWhatItFound) {
  Add("ORALIB", "R1", "PROFILE", "5");
  Add("ORALIB", "", "PROFILE", "6");  // no rule name: not listed
  Add("ORALIB", "R0", "PROFILE", "7");
  Add("LAWLIB", "ELSEWHERE", "PROFILE", "8");
  Choose("ORALIB");
  SetStatusCaption(cx, "Before");
  QString caption, status;
  QStringList rules;
  EXPECT_EQ(Open(nullptr,
                 [&](ProcessedRowsWindow& w) {
                   caption = w.windowTitle();
                   status = StatusCaption(cx);
                   rules = Column(w, 0);
                 }),
            1);
  EXPECT_EQ(caption, "Tarn_Stackwright contents in library ORALIB (Total: 2)");
  EXPECT_EQ(status, "Displaying TARN_STACKWRIGHT rows in library ORALIB");
  EXPECT_EQ(rules, QStringList({"R0", "R1"}));
  EXPECT_EQ(Current(), "LAWLIB");
  EXPECT_EQ(StatusCaption(cx), "Before");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
}

TEST_F(ProcessedRowsTest, MissingTableOrLibraryIsToldAndNothingShows) {
  server.Exec("LAWLIB", "DROP TABLE TARN_STACKWRIGHT");
  EXPECT_EQ(Open(nullptr, [](ProcessedRowsWindow&) {}), 0);
  EXPECT_EQ(Shown(), QStringList{"TARN_STACKWRIGHT does not exist in library LAWLIB"});
  EXPECT_EQ(cx.scripted->shown[0].icon, MsgIcon::Exclamation);

  cx.session.CurrentLibrary.reset();
  EXPECT_EQ(Open(nullptr, [](ProcessedRowsWindow&) {}), 0);
  EXPECT_EQ(Shown().last(), "Library object not set - cannot continue");
  EXPECT_EQ(cx.scripted->shown.back().icon, MsgIcon::Critical);
}

TEST_F(ProcessedRowsTest, HeaderClicksToggleAndTheMemoryOutlivesTheWindow) {
  Add("LAWLIB", "B", "T2", "100");
  Add("LAWLIB", "A", "T3", "20");
  Add("LAWLIB", "C", "T1", "3");
  QWidget owner;
  Open(&owner, [&](ProcessedRowsWindow& w) {
    w.ListResults_ColumnClick(0);
    EXPECT_EQ(Column(w, 0), QStringList({"A", "B", "C"}));
    w.ListResults_ColumnClick(0);
    EXPECT_EQ(Column(w, 0), QStringList({"C", "B", "A"}));
    w.ListResults_ColumnClick(0);
    EXPECT_EQ(Column(w, 0), QStringList({"A", "B", "C"}));
    w.ListResults_ColumnClick(1);
    EXPECT_EQ(Column(w, 1), QStringList({"T1", "T2", "T3"}));
    w.ListResults_ColumnClick(2);
    EXPECT_EQ(Column(w, 2), QStringList({"100", "20", "3"}));  // text order
    // F5 shows the query's order again and keeps the memory.
    Key(w.ListResults, Qt::Key_F5, Qt::ControlModifier);
    EXPECT_EQ(Column(w, 0), QStringList({"A", "B", "C"}));
    EXPECT_EQ(w.SortMemory().LastSortColumn, "SID");
  });
  Open(&owner, [&](ProcessedRowsWindow& w) {
    EXPECT_EQ(Column(w, 2), QStringList({"20", "100", "3"}));  // opened unsorted
    w.ListResults_ColumnClick(2);
    EXPECT_EQ(Column(w, 2), QStringList({"3", "20", "100"}));  // continues: descending
  });
}

TEST_F(ProcessedRowsTest, RemovesSelectedRecordsThatNameOne) {
  Add("LAWLIB", "O'NEIL", "PROFILE", "1");
  Add("LAWLIB", "R", "PROFILE", "2");
  Add("LAWLIB", "R", "PROFILE", "3");
  Add("LAWLIB", "R", "PROFILE", "4");
  Add("LAWLIB", "S", "PROFILE", "abc");
  Add("LAWLIB", "S", "PROFILE", "9");
  Open(nullptr, [&](ProcessedRowsWindow& w) {
    Select(w, {"1", "2", "3", "4", "abc"});
    w.MNRemove_Click();
    // Numbers sort before texts in the SID column.
    EXPECT_EQ(Column(w, 2), QStringList({"9", "abc"}));
    EXPECT_FALSE(w.ListResults->topLevelItem(0)->isSelected());
    EXPECT_TRUE(w.ListResults->topLevelItem(1)->isSelected());
    EXPECT_EQ(w.windowTitle(), "Tarn_Stackwright contents in library LAWLIB (Total: 6)");
  });
  EXPECT_EQ(Shown(), QStringList({"Are you sure you want to remove 5 selected row(s) from TARN_STACKWRIGHT in library LAWLIB?",
                                  "4 row(s) removed from TARN_STACKWRIGHT in library LAWLIB"}));
  EXPECT_EQ(cx.scripted->shown[0].buttons, MsgButtons::YesNoDefaultNo);  // Enter removes nothing
  EXPECT_EQ(Records(), 2);
}

TEST_F(ProcessedRowsTest, RefusedOrFailedRemovalsLeaveTheirRows) {
  Add("LAWLIB", "R", "PROFILE", "1");
  Add("LAWLIB", "R", "PROFILE", "2");
  server.Exec("LAWLIB", "CREATE TRIGGER keep BEFORE DELETE ON TARN_STACKWRIGHT WHEN OLD.SID = 2 "
                        "BEGIN SELECT RAISE(ABORT, 'kept'); END");
  Open(nullptr, [&](ProcessedRowsWindow& w) {
    Select(w, {"1", "2"});
    cx.scripted->Answer(MsgResult::No);
    w.MNRemove_Click();
    EXPECT_EQ(w.ListResults->topLevelItemCount(), 2);
    w.MNRemove_Click();  // Yes this time
    EXPECT_EQ(Column(w, 2), QStringList{"2"});
    EXPECT_TRUE(w.ListResults->topLevelItem(0)->isSelected());
  });
  EXPECT_EQ(Shown().last(), "1 row(s) removed from TARN_STACKWRIGHT in library LAWLIB");
  EXPECT_EQ(Records(), 1);
}

TEST_F(ProcessedRowsTest, DeleteKeyRemovesOnlyWithoutModifiers) {
  Add("LAWLIB", "R", "PROFILE", "1");
  Open(nullptr, [&](ProcessedRowsWindow& w) {
    Select(w, {"1"});
    Key(w.ListResults, Qt::Key_Delete, Qt::ShiftModifier);
    Key(w.ListResults, Qt::Key_Delete, Qt::ControlModifier);
    EXPECT_TRUE(cx.scripted->shown.empty());
    cx.scripted->Answer(MsgResult::No);
    Key(w.ListResults, Qt::Key_Delete);
    EXPECT_EQ(cx.scripted->shown.size(), 1u);
    Add("LAWLIB", "R", "PROFILE", "2");
    Key(&w, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(w.windowTitle(), "Tarn_Stackwright contents in library LAWLIB (Total: 2)");
  });
}

TEST_F(ProcessedRowsTest, PopupNeedsRowsAndEnablesRemoveForASelection) {
  Open(nullptr, [&](ProcessedRowsWindow& w) {
    w.ListResults_MouseUp(Qt::RightButton, QPoint(10, 10));
    EXPECT_FALSE(w.MNMain->isVisible());
  });
  Add("LAWLIB", "R", "PROFILE", "1");
  Add("LAWLIB", "R", "PROFILE", "2");
  Open(nullptr, [&](ProcessedRowsWindow& w) {
    w.ListResults_MouseUp(Qt::LeftButton, QPoint(10, 10));
    EXPECT_FALSE(w.MNMain->isVisible());
    w.ListResults_MouseUp(Qt::RightButton, QPoint(10, 10));
    EXPECT_TRUE(w.MNMain->isVisible());
    EXPECT_FALSE(w.MNRemove->isEnabled());
    w.MNMain->hide();
    w.MNSelectAll_Click();
    EXPECT_EQ(w.ListResults->selectedItems().size(), 2);
    w.ListResults_MouseUp(Qt::RightButton, QPoint(10, 10));
    EXPECT_TRUE(w.MNRemove->isEnabled());
    w.MNMain->hide();
    w.MNDeselectAll_Click();
    EXPECT_TRUE(w.ListResults->selectedItems().isEmpty());
  });
}

TEST_F(ProcessedRowsTest, FrameAndListFollowTheWindowSize) {
  Open(nullptr, [&](ProcessedRowsWindow& w) {
    w.resize(400, 500);
    w.Form_Resize();
    const QSize outer = w.frameGeometry().size();
    EXPECT_EQ(w.FrameListResults->size(), QSize(outer.width() - 8, outer.height() - 26));
    EXPECT_EQ(w.ListResults->size(), QSize(outer.width() - 12, outer.height() - 39));
    EXPECT_EQ(w.ListResults->pos(), QPoint(2, 8));
    w.resize(5, 5);
    w.Form_Resize();
    EXPECT_EQ(w.ListResults->size(), QSize(0, 0));
  });
}

}  // namespace
}  // namespace sw
