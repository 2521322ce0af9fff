#include <gtest/gtest.h>

#include <QProcess>
#include <QSet>
#include <QTemporaryDir>

#include "platform/dm/dm_objects.h"
#include "platform/dm/dm_server.h"

namespace sw {
namespace {

struct ToolRun {
  int exitCode = -1;
  QString out;
  QString err;
};

QString ToolPath() { return qEnvironmentVariable("STACKWRIGHT_DM_TOOL"); }

ToolRun RunTool(const QStringList& args) {
  QProcess p;
  p.start(ToolPath(), args);
  ToolRun r;
  if (!p.waitForFinished(120000)) return r;
  r.exitCode = p.exitCode();
  r.out = QString::fromUtf8(p.readAllStandardOutput());
  r.err = QString::fromUtf8(p.readAllStandardError());
  return r;
}

class DmToolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(ToolPath().isEmpty()) << "STACKWRIGHT_DM_TOOL names the tool";
    const ToolRun init = RunTool({"init", dir.path(), "--demo", "--clients", "4", "--matters", "9", "--documents", "30"});
    ASSERT_EQ(init.exitCode, 0) << init.err.toStdString();
  }
  QTemporaryDir dir;
};

TEST_F(DmToolTest, InitMakesTheTwoDemoLibraries) {
  const ToolRun libs = RunTool({"libraries", dir.path()});
  EXPECT_EQ(libs.exitCode, 0);
  EXPECT_EQ(libs.out, "LAWLIB\nORALIB\n");
  const ToolRun counts = RunTool({"sql", dir.path(), "ORALIB", "SELECT COUNT(*) AS N FROM MATTER"});
  EXPECT_EQ(counts.out.split('\n').value(1), "9");
}

TEST_F(DmToolTest, SqlPrintsHeaderRowsAndStatus) {
  const ToolRun r = RunTool({"sql", dir.path(), "LAWLIB", "SELECT DOCNUMBER, DOCNAME FROM PROFILE WHERE DOCNUMBER <= 2 ORDER BY DOCNUMBER"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(lines.size(), 4);
  EXPECT_EQ(lines[0], "DOCNUMBER\tDOCNAME");
  EXPECT_TRUE(lines[1].startsWith("1\t"));
  EXPECT_TRUE(lines[2].startsWith("2\t"));
  EXPECT_EQ(lines[3], "-- status 0, error 0, rows affected 0");
  const ToolRun update = RunTool({"sql", dir.path(), "LAWLIB", "UPDATE PROFILE SET STATUS = 0 WHERE DOCNUMBER <= 3"});
  EXPECT_EQ(update.out, "-- status 0, error 0, rows affected 3\n");
}

TEST_F(DmToolTest, SqlTranslatesTheSystemsSqlServerForms) {
  const ToolRun r = RunTool({"sql", dir.path(), "LAWLIB", "SELECT TOP 3 DOCNUMBER FROM DOCSADM.PROFILE ORDER BY DOCNUMBER OPTION (MAXDOP 1)"});
  ASSERT_EQ(r.exitCode, 0) << r.out.toStdString() << r.err.toStdString();
  EXPECT_EQ(r.out.split('\n', Qt::SkipEmptyParts).mid(1, 3), QStringList({"1", "2", "3"}));
}

TEST_F(DmToolTest, SqlReportsARejectedStatementOnStandardError) {
  const ToolRun r = RunTool({"sql", dir.path(), "LAWLIB", "SELECT * FROM NO_SUCH_TABLE"});
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_TRUE(r.out.isEmpty()) << r.out.toStdString();
  EXPECT_TRUE(r.err.startsWith("-- status ")) << r.err.toStdString();
  EXPECT_FALSE(r.err.contains(", error 0,"));
  EXPECT_TRUE(r.err.contains("NO_SUCH_TABLE", Qt::CaseInsensitive));
  EXPECT_EQ(RunTool({"tree"}).exitCode, 2);
}

// Nothing to work on (no server in the folder, an unknown library) ends every command with status
// 2, said on standard error; init says why it cannot make a server.
TEST_F(DmToolTest, EveryCommandEndsTwoWhereItFindsNoServer) {
  QTemporaryDir empty;
  const QString d = dir.path(), none = empty.path() + "/none";
  for (const QString& folder : {empty.path(), none, d}) {
    const QString library = folder == d ? "NOLIB" : "LAWLIB";
    for (const QStringList& args : {QStringList{"sql", folder, library, "SELECT 1"}, {"tree", folder, library},
                                    {"nextkey", folder, library, "1"}, {"check", folder, library}, {"libraries", folder}}) {
      if (folder == d && args[0] == "libraries") continue;
      const ToolRun r = RunTool(args);
      EXPECT_TRUE(r.exitCode == 2 && r.out.isEmpty() && r.err.startsWith("stackwright-dm: ")) << args.join(' ').toStdString();
    }
  }
  const ToolRun init = RunTool({"init", d + "/server.ini/sub"});
  EXPECT_EQ(init.exitCode, 1);
  EXPECT_EQ(init.err, "stackwright-dm: no DM server was made: cannot create the folder " + d + "/server.ini/sub (Not a directory)\n");
  EXPECT_TRUE(RunTool({"init", d + "/server.ini"}).err.endsWith("server.ini is a file, not a folder\n"));
}

TEST_F(DmToolTest, TreeShowsFoldersInChainOrder) {
  QString error;
  auto server = dm::DmServer::Open(dir.path(), &error);
  ASSERT_TRUE(server) << error.toStdString();
  dm::DmComponents components(server);
  auto app = components.CreateApplication();
  auto law = app->Libraries()->Item(1);
  auto client = law->NewFolder();
  client->SetFolderName("C0001");
  client->SetPublic(true);
  ASSERT_TRUE(client->Save(3));
  auto matter = law->NewFolder();
  matter->SetFolderName("M00001");
  ASSERT_TRUE(matter->Save(3));
  ASSERT_TRUE(client->AddSubfolder(matter));
  ASSERT_TRUE(matter->AddDocument(law->OpenProfile(2)));
  ASSERT_TRUE(matter->AddDocument(app->Libraries()->Item(2)->OpenProfile(1)));
  ASSERT_TRUE(matter->AddDocument(law->OpenProfile(1)));
  // Reverse the first two items of the matter folder's chain by hand.
  auto db = server->Connection("LAWLIB", &error);
  const auto rows = db->Query("SELECT SYSTEM_ID FROM FOLDER_ITEM WHERE PARENT = ? ORDER BY SYSTEM_ID", {matter->DocNumber()});
  ASSERT_EQ(rows.rows.size(), 3);
  const QVariant a = rows.Value(0, 0), b = rows.Value(1, 0), c = rows.Value(2, 0);
  db->Query("UPDATE FOLDER_ITEM SET ISFIRST = 'N', \"NEXT\" = ? WHERE SYSTEM_ID = ?", {c, a});
  db->Query("UPDATE FOLDER_ITEM SET ISFIRST = 'Y', \"NEXT\" = ? WHERE SYSTEM_ID = ?", {a, b});

  const ToolRun r = RunTool({"tree", dir.path(), "LAWLIB"});
  ASSERT_EQ(r.exitCode, 0) << r.err.toStdString();
  const QString client_ = QString::number(client->DocNumber()), matter_ = QString::number(matter->DocNumber());
  const QString expected = "LAWLIB\n[F] " + client_ + " C0001 (public)\n  [F] " + matter_ + " M00001\n    [D] " +
                           QString::number(1) + " " + app->Libraries()->Item(2)->OpenProfile(1)->DocumentName() +
                           " @ORALIB\n    [D] 2 " + law->OpenProfile(2)->DocumentName() + "\n    [D] 1 " +
                           law->OpenProfile(1)->DocumentName() + "\n";
  EXPECT_EQ(r.out, expected);
}

// A client folder and its matter folder as the demo rule leaves them, then one of each fault
// that check counts.
TEST_F(DmToolTest, CheckCountsWhatWouldShowAHalfMadeOrDoubledFolder) {
  QString error;
  auto server = dm::DmServer::Open(dir.path(), &error);
  ASSERT_TRUE(server) << error.toStdString();
  dm::DmComponents components(server);
  auto law = components.CreateApplication()->Libraries()->Item(1);
  auto db = server->Connection("LAWLIB", &error);
  const auto folder = [&](const QString& name, bool isPublic) {
    auto f = law->NewFolder();
    f->SetFolderName(name);
    f->SetPublic(isPublic);
    EXPECT_TRUE(f->Save(3));
    db->Query("UPDATE FOLDER SET PATH = 'QUILLMARK CLIENT MATTERS' WHERE DOCNUMBER = ?", {f->DocNumber()});
    db->Query("INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) "
              "SELECT SYSTEM_ID, 0, 63 FROM PROFILE WHERE DOCNUMBER = ?", {f->DocNumber()});
    return f;
  };
  const qint64 matterId = db->Scalar("SELECT SYSTEM_ID FROM MATTER WHERE MATTER_ID = 'M00001'").toLongLong();
  auto client = folder("C0001", true);
  auto matter = folder("M00001", false);
  ASSERT_TRUE(client->AddSubfolder(matter));
  db->Query("UPDATE PROFILE SET MATTER = ? WHERE DOCNUMBER = ?", {matterId, matter->DocNumber()});
  db->Query("INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (?, 'MATTER', 'CLIENT MATTERS', 0, '')",
            {matterId});
  const ToolRun clean = RunTool({"check", dir.path(), "LAWLIB"});
  EXPECT_EQ(clean.exitCode, 0) << clean.out.toStdString() << clean.err.toStdString();
  EXPECT_TRUE(clean.out.startsWith("LAWLIB\n  folders: 2\n  duplicate folders under one parent: 0\n")) << clean.out.toStdString();

  ASSERT_TRUE(client->AddSubfolder(folder("M00001", false)));  // a second matter folder of the same name
  folder("C0001", true);                                       // a second public client folder
  db->Query("DELETE FROM SECURITY WHERE THING = (SELECT SYSTEM_ID FROM PROFILE WHERE DOCNUMBER = ?)",
            {folder("M00002", false)->DocNumber()});  // saved, never filed, never secured
  db->Query("UPDATE FOLDER_ITEM SET ISFIRST = 'N'");
  db->Query("INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) "
            "SELECT SYSTEM_ID, 'MATTER', 'CLIENT MATTERS', 0, '' FROM MATTER WHERE MATTER_ID = 'M00003'");
  db->Query("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, DATE_VAL) "
            "VALUES ('QUILLMARK', 'STACKWRIGHT', 'RUNNING_NODES', 'PC:CLIENT MATTERS', '2026-01-01')");
  // Folder members linking a missing item and a document, a user's document member, a member
  // linking no number (a saved search), and a property row whose member is gone.
  db->Query("INSERT INTO REGISTRY (SYSTEM_ID, ENTITYSCOPE, ENTITYID, NAME, DATA, DATATYPE) VALUES (90, 'USER', (SELECT "
            "MIN(SYSTEM_ID) FROM PEOPLE), 'WORKSPACES', 'W', 'SubTree'), (91, 'REGISTRY', 90, 'WS-W', 'W', 'SubTree'), (92, 'REGISTRY', 91, 'WMX', 'X', 'String'), "
            "(93, 'REGISTRY', 92, 'TYPE', 'FOLDER', 'String'), (94, 'REGISTRY', 92, 'LINKID', '999999', 'String'), "
            "(95, 'REGISTRY', 91, 'WMY', 'Y', 'String'), (96, 'REGISTRY', 95, 'TYPE', 'FOLDER', 'String'), "
            "(97, 'REGISTRY', 95, 'LINKID', '2', 'String'), (98, 'REGISTRY', 91, 'WMZ', 'Z', 'String'), "
            "(99, 'REGISTRY', 98, 'TYPE', 'DOCUMENT', 'String'), (100, 'REGISTRY', 98, 'LINKID', '2', 'String'), "
            "(101, 'REGISTRY', 9999, 'NAME', 'gone', 'String'), (120, 'REGISTRY', 91, 'WMS', 'S', 'String'), "
            "(121, 'REGISTRY', 120, 'TYPE', 'SEARCH', 'String'), (122, 'REGISTRY', 120, 'LINKID', '', 'String')");
  db->Query("INSERT INTO REGISTRY (SYSTEM_ID, ENTITYSCOPE, ENTITYID, NAME, DATA, DATATYPE) SELECT SYSTEM_ID + 10, 'REGISTRY', "
            "SYSTEM_ID, 'LIBRARY', 'LAWLIB', 'String' FROM REGISTRY WHERE NAME LIKE 'WM_'");
  const ToolRun faults = RunTool({"check", dir.path()});
  EXPECT_EQ(faults.exitCode, 1);
  EXPECT_TRUE(faults.out.startsWith("LAWLIB\n  folders: 5\n  duplicate folders under one parent: 2\n  folders filed nowhere: 1\n"
                                    "  folders filed in another library's folder that does not show them: 0\n"
                                    "  filing rows naming a folder that does not exist: 0\n"
                                    "  routed folders filed under a parent made for another row: 0\n"
                                    "  broken item chains: 1\n  folders without security: 1\n  tracking rows without a folder: 1\n"
                                    "  claims left: 1\n  workspace members linking a missing item or no folder: 2\n"
                                    "  workspace rows hanging from a missing row: 1\n  integrity check: ok\nORALIB\n  folders: 0\n"))
      << faults.out.toStdString();
}

TEST_F(DmToolTest, NextKeyFromTwoProcessesAtOnceNeverRepeats) {
  QProcess first, second;
  const QStringList args{"nextkey", dir.path(), "LAWLIB", "150"};
  first.start(ToolPath(), args);
  second.start(ToolPath(), args);
  ASSERT_TRUE(first.waitForFinished(120000));
  ASSERT_TRUE(second.waitForFinished(120000));
  EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
  EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();
  QStringList keys = QString::fromUtf8(first.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  keys += QString::fromUtf8(second.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
  ASSERT_EQ(keys.size(), 300);
  QSet<qint64> unique;
  for (const QString& k : keys) {
    EXPECT_GT(k.toLongLong(), 0);
    unique.insert(k.toLongLong());
  }
  EXPECT_EQ(unique.size(), 300);
}

TEST_F(DmToolTest, ANumberThatIsNoneOrOutOfRangeIsNamedAndEndsWithStatusTwo) {
  const QString d = dir.path(), other = dir.path() + "/other";
  for (const QStringList& args :
       {QStringList{"nextkey", d, "LAWLIB", "abc"}, {"nextkey", d, "LAWLIB", "-5"}, {"nextkey", d, "LAWLIB", "0"},
        {"init", other, "--clients", "abc"}, {"init", other, "--documents", "-1"}, {"init", other, "--matters"}}) {
    const ToolRun r = RunTool(args);
    const QString named = args[0] == "nextkey" ? "COUNT" : args[2];
    EXPECT_TRUE(r.exitCode == 2 && r.out.isEmpty() && r.err.startsWith("stackwright-dm: " + named)) << r.err.toStdString();
  }
}

}  // namespace
}  // namespace sw
