// Folder sorting: the chain of a folder's FOLDER_ITEM rows in display-name order, the rows an
// item's own library keeps for filings in another library's folder, the size limit, and the
// whole-library sort with its counters, colours and stop request.
#include <gtest/gtest.h>

#include <QMap>
#include <functional>

#include "core/library.h"
#include "core/library_session.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "folders/sort_folders.h"

namespace sw {
namespace {

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

// Records the status label's colours and lets a test act when the window's messages are pumped
// (which is where a press of the Exit button arrives).
class RecordingUi : public ScriptedUi {
 public:
  void SetStatusColour(int rgb) override {
    ScriptedUi::SetStatusColour(rgb);
    colours.push_back(rgb);
  }
  void PumpMessages() override {
    ScriptedUi::PumpMessages();
    if (onPump) onPump();
  }
  std::vector<int> colours;
  std::function<void()> onPump;
};

using SortContext = test::TestContext<FolderContext>;

// ---- the chain plan on its own ----

FolderItemRow ChainRow(const QString& id, const QString& next, const QString& first) {
  FolderItemRow row;
  row.SystemId = id;
  row.Next = next;
  row.IsFirst = first;
  return row;
}

TEST(ChainPlan, RelinksOnlyRowsThatDifferFromTheTarget) {
  // Display order 30, 10, 20: 30 first naming 10, 10 naming 20, 20 last.
  const std::vector<FolderItemRow> rows = {ChainRow("30", "10", "y"), ChainRow("10", "99", "N"),
                                           ChainRow("20", "", "Y")};
  const std::vector<ChainLink> links = PlanChainLinks(rows);
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].row, 1);
  EXPECT_EQ(links[0].next, 20);
  EXPECT_EQ(links[0].isFirst, QStringLiteral("N"));
  // An empty NEXT reads as 0, which is right for the last row; only its ISFIRST is wrong.
  EXPECT_EQ(links[1].row, 2);
  EXPECT_EQ(links[1].next, 0);
  EXPECT_EQ(links[1].isFirst, QStringLiteral("N"));

  EXPECT_TRUE(PlanChainLinks({ChainRow("5", "6", "y"), ChainRow("6", "0", "n")}).empty());
}

// ---- against the emulated libraries ----

class FolderSort : public ::testing::Test {
 protected:
  void SetUp() override {
    auto owned = std::make_unique<RecordingUi>();
    ui = owned.get();
    owned->controls.verboseLogging = true;
    cx.ui = std::move(owned);
    cx.scripted = ui;
    statements = test::StartSession(cx, server);
    // Both libraries learned once, so the sort's own switches are plain switches.
    ASSERT_TRUE(ConnectLibrary(cx, Ora));
    ASSERT_TRUE(ConnectLibrary(cx, Law));
    oraInLaw = server.Scalar(Law, "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'").toLongLong();
    lawInOra = server.Scalar(Ora, "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'LAWLIB'").toLongLong();
    ASSERT_NE(oraInLaw, 0);
    ASSERT_NE(lawInOra, 0);
  }

  void AddRow(const QString& library, qint64 id, qint64 parent, qint64 parentLibrary, qint64 doc, qint64 itemLibrary,
              const QString& name, qint64 next, const QString& first, const QString& node = QStringLiteral("D")) {
    QString quoted = name;
    quoted.replace("'", "''");
    server.Exec(library, QStringLiteral("INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, "
                                        "DISPLAYNAME, NODE_TYPE, ISFIRST, \"NEXT\") VALUES (%1, %2, %3, %4, %5, '%6', "
                                        "'%7', '%8', %9)")
                             .arg(id)
                             .arg(parent)
                             .arg(parentLibrary)
                             .arg(doc)
                             .arg(itemLibrary)
                             .arg(quoted, node, first)
                             .arg(next));
  }
  // A local item of a LAWLIB folder.
  void AddLocal(qint64 id, qint64 parent, const QString& name, qint64 next = 0, const QString& first = "N") {
    AddRow(Law, id, parent, 0, id - 900000 + 100, 0, name, next, first);
  }
  // count rows filed in reverse name order, none of them linked.
  void AddReversed(qint64 folder, int count, qint64 firstId) {
    for (int k = 1; k <= count; ++k)
      AddLocal(firstId + k, folder, QStringLiteral("Item %1").arg(count + 1 - k, 2, 10, QChar('0')));
  }
  void AddFolderProfile(const QString& library, qint64 docNumber) {
    server.Exec(library, QStringLiteral("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, APPLICATION) VALUES "
                                        "(%1, %1, 'Folder %1', (SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'))")
                             .arg(docNumber));
  }

  // The display names of a folder in chain order, from the one first row along NEXT to 0.
  QStringList Chain(const QString& library, qint64 parent, qint64 parentLibrary = 0) {
    QMap<qint64, QStringList> rows;
    QList<qint64> firsts;
    for (const QStringList& r :
         server.Rows(library, QStringLiteral("SELECT SYSTEM_ID, DISPLAYNAME, UPPER(ISFIRST), \"NEXT\" FROM FOLDER_ITEM "
                                             "WHERE PARENT = %1 AND PARENT_LIBRARY = %2")
                                  .arg(parent)
                                  .arg(parentLibrary))) {
      rows[r[0].toLongLong()] = r;
      if (r[2] == "Y") firsts << r[0].toLongLong();
    }
    if (firsts.size() != 1) {
      ADD_FAILURE() << "folder " << parent << " has " << firsts.size() << " first rows";
      return {};
    }
    QStringList names;
    for (qint64 id = firsts.front(); id != 0; id = rows[id][3].toLongLong()) {
      if (!rows.contains(id) || names.size() > rows.size()) {
        ADD_FAILURE() << "broken chain in folder " << parent << " at " << id;
        return names;
      }
      names << rows[id][1];
    }
    if (names.size() != rows.size()) ADD_FAILURE() << "chain of folder " << parent << " misses rows";
    return names;
  }
  QString Log() const { return cx.LogText(); }
  // An error line carries its time stamp after the label.
  bool LoggedError(const QString& text) const {
    for (const QString& line : Log().split("\r\n"))
      if (line.startsWith("Error: ") && line.contains(text)) return true;
    return false;
  }
  int Updates() const { return statements->Count(Law, QStringLiteral("UPDATE DOCSADM.FOLDER_ITEM SET [NEXT]")); }

  test::DmTestServer server;
  SortContext cx;
  RecordingUi* ui = nullptr;
  std::shared_ptr<test::StatementRecord> statements;
  qint64 oraInLaw = 0;
  qint64 lawInOra = 0;
};

TEST_F(FolderSort, LimitOfOneTurnsSortingOffWithoutAnything) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  AddLocal(900001, 9001, "Beta");
  AddLocal(900002, 9001, "Alpha");
  const size_t before = statements->items.size();
  const QString log = Log();
  EXPECT_TRUE(SortFolders(cx, 9001, Law, 1));
  EXPECT_TRUE(SortThisFolder(cx, 9001, Law, 1));
  EXPECT_EQ(statements->items.size(), before);
  EXPECT_EQ(Log(), log);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
}

TEST_F(FolderSort, ThreeRowsAreLinkedInNameOrderAndASecondSortWritesNothing) {
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 900003);
  AddLocal(900003, 9001, "Gamma", 0);
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  const QList<QStringList> rows =
      server.Rows(Law, "SELECT DISPLAYNAME, ISFIRST, \"NEXT\" FROM FOLDER_ITEM WHERE PARENT = 9001 ORDER BY DISPLAYNAME");
  ASSERT_EQ(rows.size(), 3);
  EXPECT_EQ(rows[0], (QStringList{"Alpha", "Y", "900001"}));
  EXPECT_EQ(rows[1], (QStringList{"Beta", "N", "900003"}));
  EXPECT_EQ(rows[2], (QStringList{"Gamma", "N", "0"}));
  EXPECT_TRUE(Log().contains("Finished sorting 3 item(s) for folder #9001 in library LAWLIB"));
  EXPECT_TRUE(Log().contains("Finished sorting 1 folder(s) in library LAWLIB"));

  // Gamma was already last and not first: only Alpha and Beta were rewritten.
  const int updates = Updates();
  EXPECT_EQ(updates, 2);
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(Updates(), updates);
  EXPECT_TRUE(Log().contains("Folder #9001 in library LAWLIB did not need sorting"));
}

TEST_F(FolderSort, CaseOfFirstMarkAndZeroNextCountAsCorrect) {
  AddLocal(900001, 9001, "Alpha", 900002, "y");
  AddLocal(900002, 9001, "Beta", 0, "n");
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(Updates(), 0);
  EXPECT_EQ(server.Scalar(Law, "SELECT ISFIRST FROM FOLDER_ITEM WHERE SYSTEM_ID = 900001"), "y");
  EXPECT_TRUE(Log().contains("Folder #9001 in library LAWLIB did not need sorting"));
}

TEST_F(FolderSort, EmptyAndSingleRowFoldersAreLeftAlone) {
  ASSERT_TRUE(SortFolders(cx, 9002, Law, 0));
  EXPECT_TRUE(Log().contains("Folder #9002 in library LAWLIB did not need sorting"));

  // Even a wrong mark on a lone row stays, and a lone remote item gets no row in its library.
  AddRow(Law, 900001, 9001, 0, 5, oraInLaw, "Lone", 123, "N");
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(server.Rows(Law, "SELECT ISFIRST, \"NEXT\" FROM FOLDER_ITEM WHERE SYSTEM_ID = 900001").front(),
            (QStringList{"N", "123"}));
  EXPECT_EQ(server.Scalar(Ora, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = 9001"), "0");
  EXPECT_TRUE(Log().contains("Folder #9001 in library LAWLIB did not need sorting"));
}

TEST_F(FolderSort, SizeLimitSkipsLargerFoldersOnly) {
  AddReversed(9001, 51, 900000);
  AddReversed(9003, 50, 910000);
  AddReversed(9004, 51, 920000);
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 50));
  EXPECT_TRUE(Log().contains("Note: Folder will NOT be sorted - 51 items in folder and maximum set to 50"));
  EXPECT_TRUE(Log().contains("Folder #9001 in library LAWLIB did not need sorting"));
  EXPECT_EQ(Updates(), 0);

  // Exactly at the limit, and no limit at all for 0 or a negative value.
  ASSERT_TRUE(SortFolders(cx, 9003, Law, 50));
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  ASSERT_TRUE(SortFolders(cx, 9004, Law, -5));
  for (qint64 folder : {9001, 9003, 9004}) {
    const QStringList sorted = Chain(Law, folder);
    ASSERT_FALSE(sorted.isEmpty()) << folder;
    EXPECT_EQ(sorted.front(), "Item 01") << folder;
    EXPECT_EQ(sorted.back(), folder == 9003 ? "Item 50" : "Item 51") << folder;
  }
}

TEST_F(FolderSort, RemoteItemsGetTheirFilingRowInTheirOwnLibrary) {
  server.Exec(Law, "INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER) VALUES (880007, 9001), (880001, 9001)");
  AddRow(Law, 900001, 9001, 0, 5, oraInLaw, "Beta", 0, "Y");
  AddRow(Law, 900002, 9001, 0, 6, 0, "Alpha", 0, "N");
  AddRow(Law, 900003, 9001, 0, 7, oraInLaw, "O'Neil", 0, "N", "F");
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(Chain(Law, 9001), (QStringList{"Alpha", "Beta", "O'Neil"}));

  const QList<QStringList> remote =
      server.Rows(Ora, QStringLiteral("SELECT DOCNUMBER, PARENT_LIBRARY, LIBRARY, ISFIRST, \"NEXT\", REMOTE_SYSTEM_ID, "
                                      "NODE_TYPE, DISPLAYNAME, PARENT_VERSION, VERSION_TYPE, STATUS, FOLDERREMLIB_RO, "
                                      "FOLDERDOCNO_RO FROM FOLDER_ITEM WHERE PARENT = 9001 ORDER BY DOCNUMBER"));
  const QString law = QString::number(lawInOra);
  ASSERT_EQ(remote.size(), 2);
  EXPECT_EQ(remote[0], (QStringList{"5", law, "0", "Y", "0", "900001", "D", "Beta", "880001", "R", "0", "0", "0"}));
  EXPECT_EQ(remote[1], (QStringList{"7", law, "0", "N", "0", "900003", "F", "O'Neil", "880001", "R", "0", "0", "0"}));
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = 9001"), "3");
  // The library that was current before is current again.
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(FolderSort, OracleFolderWithAnItemFromTheSqlServerLibrary) {
  AddRow(Ora, 900001, 9001, 0, 5, 0, "Beta", 900002, "Y");
  AddRow(Ora, 900002, 9001, 0, 6, lawInOra, "Alpha", 0, "N");
  ASSERT_TRUE(SortFolders(cx, 9001, Ora, 0));
  EXPECT_EQ(Chain(Ora, 9001), (QStringList{"Alpha", "Beta"}));
  EXPECT_EQ(server.Rows(Law, "SELECT DOCNUMBER, PARENT_LIBRARY, ISFIRST, REMOTE_SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = 9001"),
            (QList<QStringList>{{"6", QString::number(oraInLaw), "Y", "900002"}}));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(FolderSort, RemoteRowsAlreadyPresentAreUpdatedNotDuplicated) {
  server.Exec(Law, "INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER) VALUES (880001, 9001)");
  AddRow(Law, 900001, 9001, 0, 5, oraInLaw, "Alpha", 900002, "Y");
  AddRow(Law, 900002, 9001, 0, 7, oraInLaw, "Beta", 0, "N");
  AddRow(Ora, 950001, 9001, lawInOra, 5, 0, "Alpha", 77, "Y");
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  // The chain was right already: the only change is the new row for item 7.
  EXPECT_TRUE(Log().contains("Finished sorting 2 item(s) for folder #9001 in library LAWLIB"));
  const QList<QStringList> remote = server.Rows(
      Ora, "SELECT DOCNUMBER, ISFIRST, \"NEXT\", REMOTE_SYSTEM_ID, PARENT_VERSION FROM FOLDER_ITEM WHERE PARENT = 9001 "
           "ORDER BY DOCNUMBER");
  ASSERT_EQ(remote.size(), 2);
  EXPECT_EQ(remote[0], (QStringList{"5", "N", "0", "900001", "880001"}));
  EXPECT_EQ(remote[1], (QStringList{"7", "N", "0", "900002", "880001"}));

  // Updates alone are no change worth a "Finished" line.
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_TRUE(Log().contains("Folder #9001 in library LAWLIB did not need sorting"));
  EXPECT_EQ(server.Scalar(Ora, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = 9001"), "2");
}

TEST_F(FolderSort, AnotherLibrarysFolderOfTheSameNumberIsNotMixedIn) {
  // ORALIB's folder 9001 holds LAWLIB document 40: LAWLIB keeps that filing's row under PARENT 9001.
  AddRow(Law, 900009, 9001, oraInLaw, 40, 0, "Aardvark", 0, "Y");
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(Chain(Law, 9001), (QStringList{"Alpha", "Beta"}));
  EXPECT_EQ(server.Rows(Law, "SELECT ISFIRST, \"NEXT\" FROM FOLDER_ITEM WHERE SYSTEM_ID = 900009").front(),
            (QStringList{"Y", "0"}));
  EXPECT_TRUE(Log().contains("Finished sorting 2 item(s) for folder #9001"));
}

TEST_F(FolderSort, FolderLibraryNamedInAnotherCaseGetsNoFilingRowsOfItsOwnItems) {
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  ASSERT_TRUE(SortFolders(cx, 9001, "lawlib", 0));
  EXPECT_EQ(Chain(Law, 9001), (QStringList{"Alpha", "Beta"}));
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = 9001"), "2");
}

TEST_F(FolderSort, ItemOfAnUnreachableLibraryIsRecordedNowhereElse) {
  server.Exec(Law, "INSERT INTO REMOTE_LIBRARIES (SYSTEM_ID, LIBRARY_NAME) VALUES (7777, 'GHOSTLIB')");
  AddRow(Law, 900001, 9001, 0, 5, 7777, "Beta", 0, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  const QString oraRows = server.Scalar(Ora, "SELECT COUNT(*) FROM FOLDER_ITEM");
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(Chain(Law, 9001), (QStringList{"Alpha", "Beta"}));
  EXPECT_TRUE(LoggedError("Unable to connect to library GHOSTLIB"));
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM"), "2");
  EXPECT_EQ(server.Scalar(Ora, "SELECT COUNT(*) FROM FOLDER_ITEM"), oraRows);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(FolderSort, NoNewKeySkipsTheInsertButStillCountsAsAChange) {
  AddRow(Law, 900001, 9001, 0, 5, oraInLaw, "Alpha", 900002, "Y");
  AddLocal(900002, 9001, "Beta", 0);
  cx.dm->Server()->hooks.nextKeyFails = true;
  EXPECT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_TRUE(LoggedError("Unable to retrieve System_ID for inserting new row - cannot continue."));
  EXPECT_TRUE(Log().contains("Finished sorting 2 item(s) for folder #9001 in library LAWLIB"));
  EXPECT_EQ(server.Scalar(Ora, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE PARENT = 9001"), "0");
}

TEST_F(FolderSort, SingleFolderRestoresWhatItChangedAndLeavesTheRunFlags) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  cx.ui->SetStatusLabel(StatusWindow::Main, "Idle");
  cx.ui->SetCounterLabels("T0", "R0");
  cx.run.TaskRunning = true;
  Pointer during = Pointer::Default;
  ui->onPump = [&] { during = cx.ui->MousePointer(); };
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_EQ(during, Pointer::Hourglass);
  EXPECT_EQ(Chain(Law, 9001), (QStringList{"Alpha", "Beta"}));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main), "Idle");
  EXPECT_EQ(cx.ui->CounterTotal(), "T0");
  EXPECT_EQ(cx.ui->CounterRead(), "R0");
  EXPECT_EQ(cx.ui->MousePointer(), Pointer::Default);
  EXPECT_TRUE(cx.run.TaskRunning);
  EXPECT_TRUE(ui->colours.empty());
}

TEST_F(FolderSort, FailedSwitchEndsWithoutSorting) {
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  EXPECT_FALSE(SortFolders(cx, 9001, "NOLIB", 0));
  EXPECT_TRUE(LoggedError("Unable to connect to library NOLIB"));
  EXPECT_EQ(statements->Count(Law, "FROM DOCSADM.FOLDER_ITEM FI"), 0);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(FolderSort, SortThisFolderRefusesMissingArguments) {
  const QString log = Log();
  EXPECT_FALSE(SortThisFolder(cx, 0, Law, 0));
  EXPECT_FALSE(SortThisFolder(cx, 9001, QString(), 0));
  EXPECT_EQ(Log(), log);
}

TEST_F(FolderSort, SortThisFolderWithoutItsLibrarySortsNothing) {
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  EXPECT_FALSE(SortThisFolder(cx, 9001, "NOLIB", 0));
  EXPECT_EQ(statements->Count(Law, "FROM DOCSADM.FOLDER_ITEM FI"), 0);
  EXPECT_EQ(server.Scalar(Law, "SELECT ISFIRST FROM FOLDER_ITEM WHERE SYSTEM_ID = 900001"), "Y");
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
}

TEST_F(FolderSort, SlowSortsNoteTheirDuration) {
  AddLocal(900001, 9001, "Beta", 900002, "Y");
  AddLocal(900002, 9001, "Alpha", 0);
  const QDateTime ten(QDate(2026, 3, 2), QTime(10, 0));
  cx.log.Now = [ten] { return ten; };
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_FALSE(Log().contains("Process took"));

  // A clock that moves on two seconds at every reading.
  auto moment = std::make_shared<QDateTime>(ten);
  cx.log.Now = [moment] { return *moment = moment->addSecs(2); };
  ASSERT_TRUE(SortFolders(cx, 9001, Law, 0));
  EXPECT_TRUE(Log().contains("Note: SortThisFolder Process took "));
  EXPECT_TRUE(Log().contains("Note: SortFolder Process took "));
}

class WholeLibrarySort : public FolderSort {
 protected:
  // Ten folders, each with two rows in the wrong order.
  void AddTenFolders() {
    for (int f = 1; f <= 10; ++f) {
      const qint64 folder = 9000 + f;
      AddFolderProfile(Law, folder);
      AddLocal(900000 + 10 * f + 1, folder, "Beta", 900000 + 10 * f + 2, "Y");
      AddLocal(900000 + 10 * f + 2, folder, "Alpha", 0);
    }
  }
  bool Sorted(qint64 folder) {
    return server.Scalar(Law, QStringLiteral("SELECT ISFIRST FROM FOLDER_ITEM WHERE PARENT = %1 AND DISPLAYNAME = 'Alpha'")
                                  .arg(folder)) == "Y";
  }
};

TEST_F(WholeLibrarySort, SortsEveryFilledFolderHighestFirst) {
  AddTenFolders();
  AddFolderProfile(Law, 9100);  // a folder with nothing filed
  cx.ui->SetCounterLabels("T0", "R0");
  QStringList seen;
  ui->onPump = [&] {
    const QString status = cx.ui->StatusLabel(StatusWindow::Main);
    if (status.startsWith("Sorting folder item #2 of"))
      seen = {cx.ui->CounterTotal(), cx.ui->CounterRead(), cx.run.TaskRunning ? "running" : "idle"};
  };
  ASSERT_TRUE(SortFolders(cx, 0, Law, 0));
  for (int f = 1; f <= 10; ++f) EXPECT_TRUE(Sorted(9000 + f)) << f;
  EXPECT_EQ(seen, (QStringList{"10", "1", "running"}));
  EXPECT_TRUE(Log().contains("Sorting 10 folder item(s) in library LAWLIB"));
  EXPECT_TRUE(Log().contains("Preparing to sort folder #9010 in library LAWLIB"));
  EXPECT_LT(Log().indexOf("Preparing to sort folder #9010 in"), Log().indexOf("Preparing to sort folder #9001 in"));
  EXPECT_FALSE(Log().contains("Preparing to sort folder #9100 in"));
  EXPECT_TRUE(Log().contains("Finished sorting 10 folder(s) in library LAWLIB"));
  EXPECT_EQ(cx.ui->CounterTotal(), "T0");
  EXPECT_EQ(cx.ui->CounterRead(), "R0");
  ASSERT_EQ(ui->colours.size(), 2u);
  EXPECT_EQ(ui->colours[0], 0xC00000);
  EXPECT_EQ(ui->colours[1], 0x0000C0);
}

TEST_F(WholeLibrarySort, StopRequestTakesEffectAfterTheCurrentFolder) {
  AddTenFolders();
  cx.ui->SetCounterLabels("T0", "R0");
  cx.run.StopRequested = true;  // an old request does not stop a new sort
  ui->onPump = [&] {
    if (cx.ui->StatusLabel(StatusWindow::Main).startsWith("Sorting folder item #3 of")) cx.run.StopRequested = true;
  };
  ASSERT_TRUE(SortFolders(cx, 0, Law, 0));
  // Highest numbers first: folders 9010, 9009, 9008 are sorted, the rest are not.
  for (int f = 8; f <= 10; ++f) EXPECT_TRUE(Sorted(9000 + f)) << f;
  for (int f = 1; f <= 7; ++f) EXPECT_FALSE(Sorted(9000 + f)) << f;
  EXPECT_TRUE(Log().contains("Finished sorting 3 folder(s) in library LAWLIB"));
  EXPECT_FALSE(cx.run.TaskRunning);
  EXPECT_FALSE(cx.run.StopRequested);
  EXPECT_EQ(cx.ui->CounterTotal(), "T0");
  EXPECT_EQ(cx.ui->CounterRead(), "R0");
}

TEST_F(WholeLibrarySort, LibraryWithoutFiledItemsHasNothingToSort) {
  AddFolderProfile(Law, 9100);
  EXPECT_TRUE(SortFolders(cx, 0, Law, 0));
  EXPECT_TRUE(Log().contains("Nothing to sort"));
  EXPECT_FALSE(cx.run.TaskRunning);
}

}  // namespace
}  // namespace sw
