// Taking a document out of a library's other folders with their chains kept whole, and
// verifying that a folder's profile is in the library's database.
#include <gtest/gtest.h>

#include <functional>

#include "core/context.h"
#include "core/library.h"
#include "core/library_session.h"
#include "folders/folder_context.h"
#include "folders/folders.h"
#include "platform/os/os.h"
#include "platform/settings/settings_store.h"

namespace sw {
namespace {

const QString Law = QStringLiteral("LAWLIB");
const QString Ora = QStringLiteral("ORALIB");

using FolderTestContext = test::TestContext<FolderContext>;

// Log lines of errors and warnings carry their time stamp after the label.
bool Logged(const FolderTestContext& cx, const QString& label, const QString& text) {
  for (const QString& line : cx.LogText().split("\r\n"))
    if (line.startsWith(label) && line.contains(text)) return true;
  return false;
}

class SessionTest : public ::testing::Test {
 protected:
  explicit SessionTest(const std::vector<test::DmLibrarySpec>& libraries = {{Law, 10}, {Ora, 2}}) : server(libraries) {}
  void Start() {
    statements = test::StartSession(cx, server);
    for (qint64 i = cx.session.FusionLibraries->Count(); i >= 1; --i)
      ASSERT_TRUE(ConnectLibrary(cx, cx.session.FusionLibraries->Item(i)->Name()));
    ASSERT_EQ(cx.session.CurrentLibrary->Name(), Law);
  }
  test::DmTestServer server;
  FolderTestContext cx;
  std::shared_ptr<test::StatementRecord> statements;
};

class MoveDocTest : public SessionTest {
 protected:
  void SetUp() override {
    Start();
    oraInLaw = server.Scalar(Law, "SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = 'ORALIB'").toLongLong();
  }
  void AddRow(qint64 id, qint64 parent, qint64 doc, const QString& name, qint64 next, const QString& first,
              qint64 library = 0, qint64 parentLibrary = 0) {
    server.Exec(Law, QStringLiteral("INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, "
                                    "DISPLAYNAME, NODE_TYPE, ISFIRST, \"NEXT\") VALUES (%1, %2, %3, %4, %5, '%6', 'D', "
                                    "'%7', %8)")
                         .arg(id)
                         .arg(parent)
                         .arg(parentLibrary)
                         .arg(doc)
                         .arg(library)
                         .arg(name, first)
                         .arg(next));
  }
  // Display names in chain order, or a description of what is wrong with the chain.
  QStringList Chain(qint64 parent) {
    QMap<qint64, QStringList> rows;
    QList<qint64> firsts;
    for (const QStringList& r : server.Rows(Law, QStringLiteral("SELECT SYSTEM_ID, DISPLAYNAME, UPPER(ISFIRST), \"NEXT\" "
                                                                "FROM FOLDER_ITEM WHERE PARENT = %1 AND PARENT_LIBRARY = 0")
                                                     .arg(parent))) {
      rows[r[0].toLongLong()] = r;
      if (r[2] == "Y") firsts << r[0].toLongLong();
    }
    if (firsts.size() != 1) return {QStringLiteral("first rows: %1").arg(firsts.size())};
    QStringList names;
    for (qint64 id = firsts.front(); id != 0; id = rows[id][3].toLongLong()) {
      if (!rows.contains(id) || names.size() > rows.size()) return names << QStringLiteral("broken at %1").arg(id);
      names << rows[id][1];
    }
    if (names.size() != rows.size()) names << QStringLiteral("unlinked rows");
    return names;
  }
  int Deletes() const { return statements->Count(Law, QStringLiteral("DELETE FROM DOCSADM.FOLDER_ITEM")); }

  qint64 oraInLaw = 0;
};

TEST_F(MoveDocTest, ZeroFolderOrDocumentChangesNothing) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  AddRow(800001, 9002, 55, "Apple", 0, "Y");
  const size_t before = statements->items.size();
  EXPECT_FALSE(MoveDoc(cx, 0, 55, Law, Law));
  EXPECT_FALSE(MoveDoc(cx, 9001, 0, Law, Law));
  EXPECT_FALSE(LeaveOtherParents(cx, 9001, 0, Law, Law));
  EXPECT_FALSE(LeaveOtherParents(cx, 0, 55, Law, Law));
  EXPECT_EQ(statements->items.size(), before);
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM"), "1");
}

TEST_F(MoveDocTest, DocumentOnlyInTheKeptFolderIsLeftAlone) {
  AddRow(800001, 9001, 55, "Apple", 800002, "Y");
  AddRow(800002, 9001, 56, "Banana", 0, "N");
  EXPECT_TRUE(MoveDoc(cx, 9001, 55, Law, Law));
  EXPECT_EQ(Deletes(), 0);
  EXPECT_FALSE(cx.LogText().contains("Preparing to sort folder #"));
  EXPECT_EQ(Chain(9001), (QStringList{"Apple", "Banana"}));
}

TEST_F(MoveDocTest, RemovesTheDocumentFromEveryOtherFolderAndKeepsTheirChains) {
  AddRow(800001, 9001, 55, "Kept", 0, "Y");
  // First with a follower.
  AddRow(800011, 9002, 55, "Apple", 800012, "Y");
  AddRow(800012, 9002, 60, "Banana", 800013, "N");
  AddRow(800013, 9002, 61, "Cherry", 0, "N");
  // In the middle, next to the same number from another library.
  AddRow(800021, 9003, 40, "Apple", 800022, "Y");
  AddRow(800022, 9003, 55, "Mango", 800023, "N");
  AddRow(800023, 9003, 55, "Melon", 800024, "N", oraInLaw);
  AddRow(800024, 9003, 41, "Zebra", 0, "N");
  // Last of two: the one row left must not name the removed one.
  AddRow(800031, 9004, 62, "Kiwi", 800032, "Y");
  AddRow(800032, 9004, 55, "Lemon", 0, "N");
  // ORALIB's folder 9005 holds the document: LAWLIB's record of that filing is not a LAWLIB folder.
  AddRow(800041, 9005, 55, "Remote filing", 0, "Y", 0, oraInLaw);

  EXPECT_TRUE(MoveDoc(cx, 9001, 55, Law, Law));
  EXPECT_EQ(Chain(9001), (QStringList{"Kept"}));
  EXPECT_EQ(Chain(9002), (QStringList{"Banana", "Cherry"}));
  EXPECT_EQ(Chain(9003), (QStringList{"Apple", "Melon", "Zebra"}));
  EXPECT_EQ(Chain(9004), (QStringList{"Kiwi"}));
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM WHERE SYSTEM_ID = 800041"), "1");
  EXPECT_EQ(Deletes(), 3);
  for (const char* folder : {"#9002", "#9003", "#9004"})
    EXPECT_TRUE(cx.LogText().contains(QStringLiteral("Preparing to sort folder ") + folder + " in library LAWLIB")) << folder;
  EXPECT_FALSE(cx.LogText().contains("Preparing to sort folder #9005"));
  EXPECT_EQ(cx.ui->StatusLabel(StatusWindow::Main),
            "Document #55 will be removed from any other folders in which it exists");
}

TEST_F(MoveDocTest, DocumentLibraryNameWithAnApostropheIsQuoted) {
  server.Exec(Law, "INSERT INTO REMOTE_LIBRARIES (SYSTEM_ID, LIBRARY_NAME) VALUES (8888, 'O''HARA')");
  AddRow(800001, 9001, 70, "Kept", 0, "Y", 8888);
  AddRow(800011, 9002, 70, "Apple", 800012, "Y", 8888);
  AddRow(800012, 9002, 71, "Banana", 0, "N");
  EXPECT_TRUE(MoveDoc(cx, 9001, 70, Law, "O'HARA"));
  EXPECT_EQ(Chain(9002), (QStringList{"Banana"}));
  EXPECT_EQ(Chain(9001), (QStringList{"Kept"}));
}

TEST_F(MoveDocTest, SwitchesBackToTheLibraryCurrentBefore) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  AddRow(800011, 9002, 55, "Apple", 0, "Y");
  EXPECT_TRUE(MoveDoc(cx, 9001, 55, Law, Law));
  EXPECT_EQ(server.Scalar(Law, "SELECT COUNT(*) FROM FOLDER_ITEM"), "0");
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);

  EXPECT_FALSE(MoveDoc(cx, 9001, 55, "NOLIB", Law));
  EXPECT_TRUE(Logged(cx, "Error: ", "Unable to connect to library NOLIB"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
}

// ---- VDoc ----

// Sleeping is where a profile saved by someone else becomes visible.
class FakeOs : public Os {
 public:
  void Sleep(int milliseconds) override {
    sleeps.push_back(milliseconds);
    if (onSleep) onSleep();
  }
  std::vector<int> sleeps;
  std::function<void()> onSleep;
};

class VDocTest : public SessionTest {
 protected:
  using SessionTest::SessionTest;
  void SetUp() override {
    auto os = std::make_unique<FakeOs>();
    fakeOs = os.get();
    cx.os = std::move(os);
    Start();
    cx.ui->controls.displayErrors = true;
    cx.settings->SaveSetting(ProductName, "General", "CacheMethodWarning", "-1");
  }
  int Attempts() const { return cx.LogText().count("Verifying existence of folder #9050 in the database for library LAWLIB"); }
  bool WarningKept() const {
    return cx.settings->GetSetting(ProductName, "General", "CacheMethodWarning", "gone") == "-1";
  }
  FakeOs* fakeOs = nullptr;
};

TEST_F(VDocTest, OffWhileErrorsAreNotDisplayed) {
  cx.ui->controls.displayErrors = false;
  const size_t before = statements->items.size();
  EXPECT_TRUE(VDoc(cx, Law, 9050));
  EXPECT_EQ(statements->items.size(), before);
  EXPECT_TRUE(fakeOs->sleeps.empty());
}

TEST_F(VDocTest, ExistingProfileIsFoundAtOnce) {
  EXPECT_TRUE(VDoc(cx, Law, 1));
  EXPECT_TRUE(fakeOs->sleeps.empty());
  EXPECT_TRUE(WarningKept());
}

TEST_F(VDocTest, ProfileThatAppearsAfterAMomentIsFoundOnTheRetry) {
  ASSERT_TRUE(ConnectLibrary(cx, Ora));
  fakeOs->onSleep = [&] {
    server.Exec(Law, "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME) VALUES (990050, 9050, 'Late folder')");
  };
  EXPECT_TRUE(VDoc(cx, Law, 9050));
  EXPECT_EQ(fakeOs->sleeps, (std::vector<int>{1000}));
  EXPECT_EQ(Attempts(), 2);
  EXPECT_TRUE(WarningKept());
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Ora);
}

TEST_F(VDocTest, MissingProfileChecksWhichLibraryTheDatabaseBelongsTo) {
  // The database's own entry says it is another library: the connection went astray.
  server.Exec(Law, "UPDATE REMOTE_LIBRARIES SET LIBRARY_NAME = 'OLDLIB' WHERE SYSTEM_ID = 0");
  EXPECT_FALSE(VDoc(cx, Law, 9050));
  EXPECT_EQ(Attempts(), 2);
  EXPECT_TRUE(Logged(cx, "Warning: ", "The profile for folder #9050 does not exist in library LAWLIB!"));
  EXPECT_TRUE(cx.LogText().contains("Verifying the library connection"));
  EXPECT_TRUE(Logged(cx, "Warning: ", "the connected library OLDLIB is not the folder library LAWLIB!"));
  EXPECT_FALSE(WarningKept());
}

TEST_F(VDocTest, MissingProfileInTheRightLibraryGivesNoConnectionWarning) {
  EXPECT_FALSE(VDoc(cx, "lawlib", 9050));
  EXPECT_TRUE(cx.LogText().contains("Verifying the library connection"));
  EXPECT_FALSE(cx.LogText().contains("is not the folder library"));
}

TEST_F(VDocTest, UnknownLibraryFails) {
  EXPECT_FALSE(VDoc(cx, "NOLIB", 1));
  EXPECT_TRUE(Logged(cx, "Error: ", "Unable to connect to library NOLIB"));
  EXPECT_EQ(cx.session.CurrentLibrary->Name(), Law);
  EXPECT_TRUE(WarningKept());
}

class OneLibraryVDoc : public VDocTest {
 protected:
  OneLibraryVDoc() : VDocTest({{Law, 10}}) {}
};

TEST_F(OneLibraryVDoc, MissingProfileSkipsTheConnectionCheck) {
  EXPECT_FALSE(VDoc(cx, Law, 9050));
  EXPECT_TRUE(Logged(cx, "Warning: ", "The profile for folder #9050 does not exist in library LAWLIB!"));
  EXPECT_FALSE(WarningKept());
  EXPECT_FALSE(cx.LogText().contains("Verifying the library connection"));
}

}  // namespace
}  // namespace sw
