// Clearing the running-node claims of every computer from every library of the session.
#include <gtest/gtest.h>

#include "admin/admin.h"
#include "admin_session.h"
#include "rules/settings_rows.h"

namespace sw {
namespace {

using test::AddSettingsRow;

class ClearRunningNodes : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(s.started);
    s.ui->confirms = true;
    SeedClaims();
  }
  // Two claims in LAWLIB, three rows to clear in ORALIB.
  void SeedClaims() {
    for (const QString lib : {"LAWLIB", "ORALIB"}) {
      server.Exec(lib, "DELETE FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'");
      AddSettingsRow(server, lib, "STACKWRIGHT", "RUNNING_NODES", "TESTPC:CLIENT MATTERS");
      AddSettingsRow(server, lib, "STACKWRIGHT", "RUNNING_NODES", "OTHERPC:CLIENT MATTERS");
    }
    AddSettingsRow(server, "ORALIB", "ELSEWHERE", "RUNNING_NODES", "ODD");
  }
  int ClaimRows(const QString& lib) {
    return server.Scalar(lib, "SELECT COUNT(*) FROM TARN_SETTINGS WHERE SUB_KEY = 'RUNNING_NODES'").toInt();
  }
  int SettingsRows(const QString& lib) { return server.Scalar(lib, "SELECT COUNT(*) FROM TARN_SETTINGS").toInt(); }

  test::DmTestServer server;
  test::AdminSession s{server};
};

TEST_F(ClearRunningNodes, AnsweredNoTouchesNothing) {
  const QString logBefore = s.cx.LogText();
  s.ui->Answer(MsgResult::No);
  MNClearRunningNodes_Click(s.cx);
  EXPECT_EQ(ClaimRows("LAWLIB"), 2);
  EXPECT_EQ(ClaimRows("ORALIB"), 3);
  EXPECT_EQ(s.cx.LogText(), logBefore);
  EXPECT_TRUE(s.ui->captions.isEmpty());
  ASSERT_EQ(s.ui->shown.size(), 1u);
  EXPECT_TRUE(s.ui->shown[0].text.endsWith("results may occur.\r\n\r\nAre you sure you want to run this procedure?"));
}

TEST_F(ClearRunningNodes, RemovesEveryComputersClaimsFromEveryLibraryAndReturns) {
  const int lawOthers = SettingsRows("LAWLIB") - 2;
  const int oraOthers = SettingsRows("ORALIB") - 3;
  s.WatchControls();
  MNClearRunningNodes_Click(s.cx);
  EXPECT_EQ(s.whileWorking, std::set<std::string>{"go 0 tools 0"}) << "no run starts between two libraries";
  EXPECT_EQ(s.GoAndTools(), "go 1 tools 1");
  EXPECT_EQ(ClaimRows("LAWLIB"), 0);
  EXPECT_EQ(ClaimRows("ORALIB"), 0);
  EXPECT_EQ(SettingsRows("LAWLIB"), lawOthers);
  EXPECT_EQ(SettingsRows("ORALIB"), oraOthers);
  EXPECT_TRUE(s.cx.LogText().contains("Finished clearing 5 item(s) from 2 libraries"));
  EXPECT_EQ(s.Texts().last(), "Finished clearing 5 item(s) from 2 libraries") << "said on screen too";
  EXPECT_TRUE(s.ui->captions.contains("Clearing library ORALIB"));
  EXPECT_EQ(s.Current(), "LAWLIB");
  EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
  EXPECT_EQ(s.cx.ui->MousePointer(), Pointer::Default);
}

// A delete that fails is no removal, whatever the SQL object reports with it, and a library that
// cannot be switched to keeps its claims: both are named at the end.
TEST_F(ClearRunningNodes, FailedLibrariesAreNotCountedAndAreNamed) {
  const QString failed = "Error: The running nodes could not be cleared in library %1 - their claims may remain";
  for (const auto& [failing, kept, cleared] : {std::tuple{"ORALIB", 3, 2}, std::tuple{"LAWLIB", 2, 3}}) {
    SCOPED_TRACE(failing);
    SeedClaims();
    server.Components()->Server()->hooks.sqlFault = [lib = QString(failing)](const QString& in, const QString& sql)
        -> std::optional<dm::SqlFault> {
      if (in != lib || !sql.startsWith("DELETE FROM DOCSADM.TARN_SETTINGS")) return std::nullopt;
      return dm::SqlFault{1, 1, "injected failure", 3};
    };
    MNClearRunningNodes_Click(s.cx);
    EXPECT_EQ(ClaimRows(failing), kept);
    EXPECT_EQ(ClaimRows("LAWLIB") + ClaimRows("ORALIB"), kept);
    EXPECT_TRUE(s.cx.LogText().contains(QString("Finished clearing %1 item(s) from 2 libraries").arg(cleared)));
    EXPECT_TRUE(s.Texts().last().endsWith(failed.arg(failing)));
  }

  server.Components()->Server()->hooks.sqlFault = nullptr;
  SeedClaims();
  server.Exec("ORALIB", "DELETE FROM DM_PROPERTIES WHERE NAME = 'DOCSParms.UniqueDocNames'");
  MNClearRunningNodes_Click(s.cx);
  EXPECT_EQ(ClaimRows("ORALIB"), 3);
  EXPECT_EQ(ClaimRows("LAWLIB"), 0);
  EXPECT_TRUE(s.Texts().last().endsWith(failed.arg("ORALIB")));
  EXPECT_EQ(s.Current(), "LAWLIB");
  EXPECT_EQ(s.cx.ui->controls.mainStatus, "Ready");
}

}  // namespace
}  // namespace sw
