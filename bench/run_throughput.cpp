// How fast the run builds folders: a demo library with many clients and matters, one Go, and the
// folders made per second. Not a test: run it by hand (build/bench/bench_run_throughput [clients]
// [matters]) to compare builds.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>

#include "core/library.h"
#include "core/library_state.h"
#include "platform/dm/dm_create.h"
#include "platform/dm/dm_server.h"
#include "run/run.h"
#include "run/run_context.h"

namespace {

int Fail(const char* what, const QString& detail = QString()) {
  std::fprintf(stderr, "bench_run_throughput: %s %s\n", what, qPrintable(detail));
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir dir;
  qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
  sw::dm::DmDemoSize size;
  size.clients = argc > 1 ? QString(argv[1]).toInt() : 200;
  size.matters = argc > 2 ? QString(argv[2]).toInt() : 2000;
  size.documents = 0;

  QString error;
  if (!sw::dm::CreateDmServer(dir.path() + "/server", sw::dm::DemoLibraries(true), "ADMIN", size, &error))
    return Fail("cannot create the server:", error);
  sw::dm::DmServerPtr server = sw::dm::DmServer::Open(dir.path() + "/server", &error);
  if (!server) return Fail("cannot open the server:", error);

  sw::RunContext cx;
  cx.log.LogFileBase = dir.path() + "/bench.log";
  cx.dm = std::make_shared<sw::dm::DmComponents>(server);
  const sw::dm::DmApplicationPtr session = cx.dm->CreateApplication();
  session->Login(0);
  cx.session.FusionApplication = session;
  cx.session.FusionLibraries = session->Libraries();
  cx.session.FusionSecurityToken = session->Token();
  cx.library.DatabaseOwner = sw::DefaultDatabaseOwner;
  if (!sw::ConnectLibrary(cx, "LAWLIB")) return Fail("cannot connect LAWLIB");

  const int library = cx.ui->AddRulesNode(-1, "LAWLIB", "LAWLIB", true);
  cx.ui->AddRulesNode(library, "CLIENT MATTERS", "CLIENT MATTERS", true);
  cx.ui->controls.options.maxFolders = "100000";

  QElapsedTimer timer;
  timer.start();
  sw::Button_Go_Click(cx);
  const double seconds = timer.elapsed() / 1000.0;
  const QString result = cx.ui->ResultText(0, 2);
  std::printf("%d clients, %d matters: \"%s\" in %.2f s\n", size.clients, size.matters, qPrintable(result), seconds);
  const int added = result.section(' ', 0, 0).toInt();
  if (added > 0) std::printf("%.1f folders per second\n", added / seconds);
  return added > 0 ? 0 : 1;
}
