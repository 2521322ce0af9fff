// Claims between two real processes: the test program starts itself again as the other
// computer, with its own connection to the library file.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>
#include <QProcessEnvironment>

#include "platform/dm/dm_server.h"
#include "rules/running_nodes.h"
#include "settings_rows.h"

namespace sw {
namespace {

const char* const kChildVariable = "STACKWRIGHT_CLAIM_CHILD";

// A session on `library` of the server folder at `path`, opened by this process alone.
bool AttachOwnSession(Context& cx, const QString& path, const QString& library) {
  QString error;
  dm::DmServerPtr server = dm::DmServer::Open(path, &error);
  if (!server) return false;
  cx.dm = std::make_shared<dm::DmComponents>(server);
  auto app = cx.dm->CreateApplication();
  if (!app) return false;
  app->Login(0);
  cx.session.FusionApplication = app;
  cx.session.FusionSecurityToken = app->Token();
  cx.session.FusionLibraries = app->Libraries();
  for (qint64 i = 1; i <= cx.session.FusionLibraries->Count(); ++i) {
    auto lib = cx.session.FusionLibraries->Item(i);
    if (lib->Name().compare(library, Qt::CaseInsensitive) == 0) cx.session.CurrentLibrary = lib;
  }
  if (!cx.session.CurrentLibrary) return false;
  cx.session.pSQL = cx.dm->CreatePcdSql();
  cx.session.pSQL->SetToken(cx.session.FusionSecurityToken);
  cx.session.pSQL->SetLibrary(cx.session.CurrentLibrary->Name());
  cx.session.DatabaseEngine = cx.session.pSQL->DatabaseVendor();
  cx.library.DatabaseOwner = QStringLiteral("DOCSADM");
  return true;
}

// The other computer's side: runs one ActiveStatus call and prints its result. Started only by
// OtherComputer below (disabled in ordinary runs).
TEST(ClaimChildProcess, DISABLED_Run) {
  const QStringList args = qEnvironmentVariable(kChildVariable).split(QLatin1Char('\n'));
  ASSERT_EQ(args.size(), 5);
  test::TestContext<RulesContext> cx;
  ASSERT_TRUE(AttachOwnSession(cx, args[0], args[1]));
  cx.session.MachineName = args[2];
  const bool result = ActiveStatus(cx, args[3].toInt(), args[4]);
  printf("ACTIVE_STATUS=%d\n", result ? 1 : 0);
}

class ClaimsAcrossProcessesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    test::ClearSettingsRows(server, "LAWLIB");
    test::AttachRules(cx, server, "LAWLIB");
    cx.session.MachineName = "PARENT";
  }
  // ActiveStatus in another process as computer `node`; -1 when that process failed.
  int OtherComputer(const QString& node, int mode, const QString& rule) {
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kChildVariable, QStringList({server.Path(), "LAWLIB", node, QString::number(mode), rule}).join('\n'));
    child.setProcessEnvironment(env);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_also_run_disabled_tests", "--gtest_filter=ClaimChildProcess.DISABLED_Run"});
    if (!child.waitForFinished(60000) || child.exitCode() != 0) return -1;
    const QString out = QString::fromLocal8Bit(child.readAllStandardOutput());
    if (out.contains("ACTIVE_STATUS=1")) return 1;
    if (out.contains("ACTIVE_STATUS=0")) return 0;
    return -1;
  }

  test::DmTestServer server;
  test::TestContext<RulesContext> cx;
};

TEST_F(ClaimsAcrossProcessesTest, EachProcessSeesTheOthersClaimButNotItsOwn) {
  ASSERT_EQ(OtherComputer("CHILD_PC", WriteClaim, "MATTERS"), 0);
  EXPECT_TRUE(ActiveStatus(cx, TestClaim, "MATTERS"));

  ASSERT_FALSE(ActiveStatus(cx, WriteClaim, "CLIENTS"));
  EXPECT_EQ(OtherComputer("CHILD_PC", TestClaim, "CLIENTS"), 1);
  // The child's test call dropped its own claim on MATTERS.
  EXPECT_FALSE(ActiveStatus(cx, TestClaim, "MATTERS"));

  // A computer whose name the parent's would match as a pattern keeps its claim.
  cx.session.MachineName = "CHILD%";
  ASSERT_EQ(OtherComputer("CHILD_PC", WriteClaim, "MATTERS"), 0);
  EXPECT_FALSE(ActiveStatus(cx, DropClaims, ""));
  EXPECT_TRUE(ActiveStatus(cx, TestClaim, "MATTERS"));
}

}  // namespace
}  // namespace sw
