// How fast the first run of a firm builds its folders, and how far that is from what the disk
// allows. For each size (1,000 and 10,000 matters; 100,000 with --large) a new demo server with
// LAWLIB only (one client per ten matters, the demo's documents and its one rule) gets:
// - the program, unattended (/G /X /NV, no monitor): folders a second and µs a folder, start-up
//   included; then the same again on the finished library, which finds nothing new;
// - the run in this process on a copy, counting SQL statements and commits a folder and
//   recording every write;
// - the limit: those writes replayed on a second copy, one durable commit per folder.
// One untimed run on a small server comes first. Not a test: run it by hand (build/bench/bench_run_throughput [--large] [matters...]) to compare
// builds.
#include <sqlite3.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <cstdio>
#include <memory>
#include <vector>

#include "core/library.h"
#include "core/library_state.h"
#include "platform/dm/dm_create.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"
#include "platform/dm/sql_translator.h"
#include "run/run.h"
#include "run/run_context.h"

namespace {

const QString Library = QStringLiteral("LAWLIB");

struct Row {
  int matters = 0;
  qint64 folders = 0;
  double programSeconds = 0;
  double rerunSeconds = 0;
  double coreSeconds = 0;
  qint64 statements = 0;
  qint64 commits = 0;
  double limitSeconds = 0;
  qint64 replayFailures = 0;
  bool ok = false;
  double FoldersPerSecond() const { return folders / programSeconds; }
  double MicrosPerFolder() const { return programSeconds * 1e6 / double(folders); }
  double LimitPerSecond() const { return folders / limitSeconds; }
};

// What the in-process run sent to SQLite.
struct Recorder {
  bool counting = false;
  qint64 statements = 0;
  qint64 commits = 0;
  QStringList writes;  // every statement that changes the library, with its values
};

// The replay makes transactions of its own.
bool IsTransactionControl(const char* text) {
  const QString word = QString::fromUtf8(text).section(' ', 0, 0).toUpper();
  return word == "BEGIN" || word == "COMMIT" || word == "END" || word == "ROLLBACK" || word == "SAVEPOINT" ||
         word == "RELEASE";
}

int OnStatement(unsigned, void* context, void* statement, void* text) {
  auto* r = static_cast<Recorder*>(context);
  // Statements that SQLite runs on its own behalf (inside a virtual table) begin with "--".
  if (static_cast<const char*>(text)[0] == '-') return 0;
  auto* st = static_cast<sqlite3_stmt*>(statement);
  if (r->counting) ++r->statements;
  if (sqlite3_stmt_readonly(st) || IsTransactionControl(static_cast<const char*>(text))) return 0;
  char* expanded = sqlite3_expanded_sql(st);
  if (expanded) r->writes << QString::fromUtf8(expanded);
  sqlite3_free(expanded);
  return 0;
}

int OnCommit(void* context) {
  auto* r = static_cast<Recorder*>(context);
  if (r->counting) ++r->commits;
  return 0;
}

void Say(const char* what, const QString& detail = QString()) {
  std::fprintf(stderr, "bench_run_throughput: %s %s\n", what, qPrintable(detail));
}

qint64 FolderCount(const QString& server) {
  QString error;
  auto db = sw::dm::SqliteDb::Open(server + "/" + Library + ".sqlite", false, &error);
  return db ? db->Scalar("SELECT COUNT(*) FROM FOLDER").toLongLong() : -1;
}

bool CopyServer(const QString& from, const QString& to) {
  QDir().mkpath(to);
  for (const QString& name : QDir(from).entryList(QDir::Files))
    if (!QFile::copy(from + "/" + name, to + "/" + name)) return false;
  return true;
}

// One unattended program run; its wall time, or -1.
double RunProgram(const QString& server, const QString& work) {
  QProcess program;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("STACKWRIGHT_DM_SERVER", server);
  env.insert("XDG_CONFIG_HOME", work + "/config");
  env.insert("TEMP", work);
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("STACKWRIGHT_MONITOR_BUS", work + "/bus");  // a bus of its own: no monitor listens
  program.setProcessEnvironment(env);
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  program.setStandardOutputFile(work + "/program.out", QIODevice::Append);
  ::sync();  // the files just made are on the disk: their writing does not slow the run's commits
  QElapsedTimer timer;
  timer.start();
  program.start(SW_PROGRAM, {"/G", "/X", "/NV"});
  if (!program.waitForFinished(-1) || program.exitStatus() != QProcess::NormalExit || program.exitCode() != 0) {
    Say("the program failed:", program.errorString());
    return -1;
  }
  return timer.elapsed() / 1000.0;
}

// The run in this process, with its statements counted and its writes recorded; the library as
// it stood before the Go is saved to `before`.
bool RunCounted(const QString& server, const QString& work, const QString& before, Row& row, Recorder& rec) {
  QString error;
  sw::dm::DmServerPtr dm = sw::dm::DmServer::Open(server, &error);
  if (!dm) return Say("cannot open the server:", error), false;
  sw::RunContext cx;
  cx.log.LogFileBase = work + "/core.log";
  cx.dm = std::make_shared<sw::dm::DmComponents>(dm);
  const sw::dm::DmApplicationPtr session = cx.dm->CreateApplication();
  session->Login(0);
  cx.session.FusionApplication = session;
  cx.session.FusionLibraries = session->Libraries();
  cx.session.FusionSecurityToken = session->Token();
  cx.library.DatabaseOwner = sw::DefaultDatabaseOwner;
  if (!sw::ConnectLibrary(cx, Library)) return Say("cannot connect", Library), false;
  sw::dm::SqliteDbPtr db = dm->Connection(Library, &error);
  if (!db || !db->Query("VACUUM INTO ?", {before}).ok) return Say("cannot copy the library", error), false;

  const int node = cx.ui->AddRulesNode(-1, Library, Library, true);
  cx.ui->AddRulesNode(node, "CLIENT MATTERS", "CLIENT MATTERS", true);
  sqlite3_trace_v2(db->Handle(), SQLITE_TRACE_STMT, OnStatement, &rec);
  sqlite3_commit_hook(db->Handle(), OnCommit, &rec);
  rec.counting = true;
  QElapsedTimer timer;
  timer.start();
  sw::Button_Go_Click(cx);
  row.coreSeconds = timer.elapsed() / 1000.0;
  rec.counting = false;
  sqlite3_trace_v2(db->Handle(), 0, nullptr, nullptr);
  sqlite3_commit_hook(db->Handle(), nullptr, nullptr);
  row.statements = rec.statements;
  row.commits = rec.commits;
  return true;
}

// The recorded writes on the library as it stood before the Go, one durable transaction a
// folder.
bool Replay(const QString& file, const QStringList& writes, Row& row) {
  QString error;
  auto db = sw::dm::SqliteDb::Open(file, false, &error);
  if (!db || !sw::dm::PrepareConnection(db->Handle(), sw::dm::ServerFacts(), &error))
    return Say("cannot open the copy:", error), false;
  db->ExecScript("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", nullptr);
  const qint64 per = std::max<qint64>(1, (writes.size() + row.folders - 1) / row.folders);
  ::sync();
  QElapsedTimer timer;
  timer.start();
  for (qint64 i = 0; i < writes.size(); i += per) {
    db->ExecScript("BEGIN IMMEDIATE", nullptr);
    for (qint64 k = i; k < std::min<qint64>(i + per, writes.size()); ++k)
      if (!db->ExecScript(writes[k], &error) && ++row.replayFailures < 5) Say(qPrintable(error), writes[k]);
    if (!db->ExecScript("COMMIT", &error)) return Say("cannot commit the replay:", error), false;
  }
  row.limitSeconds = timer.elapsed() / 1000.0;
  return true;
}

// A demo server with LAWLIB only, one client per ten matters.
bool MakeServer(const QString& server, int matters) {
  sw::dm::DmDemoSize size;
  size.matters = matters;
  size.clients = std::max(1, matters / 10);
  std::vector<sw::dm::DmLibrarySetup> libraries = sw::dm::DemoLibraries(true);
  libraries.resize(1);  // LAWLIB
  QString error;
  if (sw::dm::CreateDmServer(server, libraries, "ADMIN", size, &error)) return true;
  Say("cannot create the server:", error);
  return false;
}

Row Measure(const QString& work, int matters) {
  Row row;
  row.matters = matters;
  const QString server = work + "/server";
  if (!MakeServer(server, matters)) return row;
  if (!CopyServer(server, work + "/counted")) return Say("cannot copy the server"), row;

  row.programSeconds = RunProgram(server, work);
  row.folders = FolderCount(server);
  if (row.programSeconds < 0 || row.folders <= 0) return Say("the program made no folders"), row;
  row.rerunSeconds = RunProgram(server, work);
  if (FolderCount(server) != row.folders) Say("the rerun made folders");

  Recorder rec;
  const QString before = work + "/before.sqlite";
  if (!RunCounted(work + "/counted", work, before, row, rec)) return row;
  if (FolderCount(work + "/counted") != row.folders) Say("the run in this process made a different number of folders");
  row.ok = Replay(before, rec.writes, row);
  return row;
}

}  // namespace

int main(int argc, char** argv) {
  // As the program does: local times without a look at the time zone file each.
  if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
  QCoreApplication app(argc, argv);
  const bool large = app.arguments().contains("--large");
  QTemporaryDir dir;
  // The run in this process: its settings and its bus in the temporary folder.
  qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
  qputenv("STACKWRIGHT_MONITOR_BUS", (dir.path() + "/bus").toLocal8Bit());

  std::vector<int> sizes;
  for (const QString& a : app.arguments().mid(1))
    if (a.toInt() > 0) sizes.push_back(a.toInt());  // sizes given: those only
  if (sizes.empty()) sizes = {1000, 10000};
  if (large) sizes.push_back(100000);
  // A first run, not timed, so that no size pays for loading the program and waking the disk.
  if (MakeServer(dir.path() + "/warm-up/server", 100)) RunProgram(dir.path() + "/warm-up/server", dir.path() + "/warm-up");
  std::vector<Row> rows;
  for (int m : sizes) {
    std::fprintf(stderr, "%d matters...\n", m);
    rows.push_back(Measure(dir.path() + QStringLiteral("/%1-%2").arg(rows.size()).arg(m), m));
  }

  std::printf("LAWLIB, one client per ten matters; program /G /X /NV without a monitor, start-up included\n");
  std::printf("%8s %8s %8s %10s %10s %9s %11s %8s %10s %12s %7s %10s\n", "matters", "folders", "run s", "folders/s",
              "us/folder", "rerun s", "statements", "commits", "core f/s", "limit f/s", "ratio", "us vs 1k");
  bool ok = true;
  for (const Row& r : rows) {
    if (!r.ok) {
      std::printf("%8d  failed\n", r.matters);
      ok = false;
      continue;
    }
    const double growth = rows.front().ok ? r.MicrosPerFolder() / rows.front().MicrosPerFolder() : 0;
    std::printf("%8d %8lld %8.2f %10.1f %10.0f %9.2f %11.1f %8.2f %10.1f %12.1f %7.2f %10.2f\n", r.matters,
                r.folders, r.programSeconds, r.FoldersPerSecond(), r.MicrosPerFolder(), r.rerunSeconds,
                double(r.statements) / r.folders, double(r.commits) / r.folders, r.folders / r.coreSeconds,
                r.LimitPerSecond(), r.FoldersPerSecond() / r.LimitPerSecond(), growth);
    if (r.replayFailures > 0) std::printf("%8s (%lld replayed writes failed)\n", "", r.replayFailures);
  }
  std::printf("statements and commits: a folder, in the run in this process (core f/s); limit: its writes "
              "replayed with one durable commit a folder; ratio: run / limit\n");
  return ok ? 0 : 1;
}
