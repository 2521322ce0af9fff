// How fast the first run of a firm builds its folders, and how far that is from what the disk
// allows. For each size (1,000 and 10,000 matters; 100,000 with --large) a new demo server with
// LAWLIB only (one client per ten matters, the demo's documents and its one rule) gets:
// - the program, unattended without a monitor, start-up included, on copies of the same rows:
//   /G /X /NV (errors and warnings logged only) and /G /X (the default: every step logged), each
//   with its folders a second, CPU time a folder and peak memory, and the default run's time as a
//   share of the /NV run's; then the /NV run again on the finished library, which finds nothing new;
// - the run in this process on a copy, counting its SQL statements a folder (those it sends
//   through the DM SQL object, and those the emulator sends to SQLite of its own accord: every
//   statement SQLite ran, less the SQL object's), its commits a folder, and the time SQLite spends
//   running them (from each statement's first step to its end): the part of the run no leaner
//   program can save while it sends the same statements;
// - the floor: the least durable writes the same folders need (profile, version and folder rows,
//   three security rows, the filing item and its chain link, the client's root entry, the
//   documents queued in NEEDS_FOLDERING, the client and matter tracking rows, the key counters of
//   DM_NEXTKEY as each commit leaves them), as prepared statements on a copy in WAL with
//   synchronous FULL, once committing as the run does (64 source rows, or fewer when 50 ms have
//   passed since the group began) and once with one commit per source row, each timed beside a
//   program run (the first beside the /NV run, the second beside the default), the two taking
//   turns at going first. The /NV run's share of the first is the headline.
// It says which machine it ran on and how loaded it was, before and after. One untimed run on a
// small server comes first. With --repeat N the programs and the floors take turns N times, each
// on a fresh copy, and the medians are shown: on a machine whose disk and processor share out
// unevenly, one run of each, minutes apart, can differ by a third. Not a test: run it by hand
// (build/bench/bench_run_throughput [--large] [--group N] [--repeat N] [matters...]; --help) to
// compare builds.
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sqlite3.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QProcessEnvironment>
#include <QSysInfo>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>
#include <unordered_map>
#include <vector>

#include "core/library.h"
#include "core/library_state.h"
#include "platform/dm/dm_create.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"
#include "run/run.h"
#include "run/run_context.h"

namespace {

const QString Library = QStringLiteral("LAWLIB");

const char* const Usage =
    "usage: bench_run_throughput [--large] [--group N] [--repeat N] [matters...]\n"
    "  matters     the sizes to measure (default 1000 10000)\n"
    "  --large     100000 matters as well\n"
    "  --group N   source rows a commit of the floor that commits as the run does (default 64)\n"
    "  --repeat N  N turns of the programs and the floors, each on fresh copies; medians shown\n";

// How the run groups its rows, unless --group says otherwise: a commit every 64 source rows, or
// sooner when the group has been open for 50 ms.
constexpr int DefaultGroup = 64;
constexpr qint64 GroupMilliseconds = 50;

// The switches of the two program runs: errors and warnings logged only, and the default, which
// logs every step.
const QStringList QuietSwitches = {"/G", "/X", "/NV"};
const QStringList DefaultSwitches = {"/G", "/X"};

struct Floor {
  qint64 folders = 0;
  qint64 commits = 0;
  double seconds = 0;
  bool ok = false;
  double PerSecond() const { return seconds > 0 ? folders / seconds : 0; }
};

// One run of the program: wall and processor time, and its peak memory.
struct ProgramRun {
  double seconds = -1;
  double cpuSeconds = 0;
  long peakKb = 0;
  bool Ok() const { return seconds >= 0; }
};

struct Row {
  int matters = 0;
  qint64 folders = 0;
  ProgramRun quiet;    // /NV
  ProgramRun verbose;  // the default
  double rerunSeconds = 0;
  qint64 statements = 0;        // every statement SQLite ran
  qint64 sqlObjectStatements = 0;  // those sent through the DM SQL object
  qint64 commits = 0;
  double sqlSeconds = 0;
  Floor perRow;
  Floor grouped;
  bool ok = false;
  double PerSecond(const ProgramRun& run) const { return folders / run.seconds; }
  double Micros(double seconds) const { return seconds * 1e6 / double(folders); }
  double PerFolder(qint64 count) const { return double(count) / double(folders); }
};

// What the in-process run sent to SQLite.
struct Counter {
  bool counting = false;
  qint64 statements = 0;
  qint64 sqlObjectStatements = 0;
  qint64 commits = 0;
  std::chrono::nanoseconds inSql{0};
  std::unordered_map<const void*, std::chrono::steady_clock::time_point> started;  // by statement
};

int OnStatement(unsigned event, void* context, void* statement, void* text) {
  auto* c = static_cast<Counter*>(context);
  if (!c->counting) return 0;
  const auto now = std::chrono::steady_clock::now();
  if (event == SQLITE_TRACE_PROFILE) {
    const auto start = c->started.find(statement);
    if (start != c->started.end()) c->inSql += now - start->second;
    c->started.erase(statement);
    return 0;
  }
  // Statements that SQLite runs on its own behalf (inside a virtual table) begin with "--".
  if (static_cast<const char*>(text)[0] == '-') return 0;
  ++c->statements;
  c->started.emplace(statement, now);
  return 0;
}

int OnCommit(void* context) {
  auto* c = static_cast<Counter*>(context);
  if (c->counting) ++c->commits;
  return 0;
}

void Say(const char* what, const QString& detail = QString()) {
  std::fprintf(stderr, "bench_run_throughput: %s %s\n", what, qPrintable(detail));
}

QString FileText(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The machine: processor, cores, memory, and its load (the three load averages and how many of
// its processes were running).
QString MachineText() {
  QString model;
  for (const QString& line : FileText("/proc/cpuinfo").split('\n'))
    if (line.startsWith("model name")) {
      model = line.section(':', 1).trimmed();
      break;
    }
  const QString memory = FileText("/proc/meminfo").section('\n', 0, 0).section(':', 1).simplified();
  return QStringLiteral("%1, %2; %3 cores, %4 memory, kernel %5")
      .arg(QSysInfo::machineHostName(), model)
      .arg(std::thread::hardware_concurrency())
      .arg(memory, QSysInfo::kernelVersion());
}
QString LoadText() { return FileText("/proc/loadavg").trimmed(); }

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

// One unattended program run, its settings, log and bus in `work` (a bus of its own: no monitor
// listens). Started and waited for directly, so that its own processor time and peak memory are
// known; its standard error is this program's.
ProgramRun RunProgram(const QString& server, const QString& work, const QStringList& switches) {
  QDir().mkpath(work);
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("STACKWRIGHT_DM_SERVER", server);
  env.insert("XDG_CONFIG_HOME", work + "/config");
  env.insert("TEMP", work);
  env.insert("QT_QPA_PLATFORM", "offscreen");
  env.insert("STACKWRIGHT_MONITOR_BUS", work + "/bus");
  std::vector<QByteArray> texts;
  for (const QString& entry : env.toStringList()) texts.push_back(entry.toLocal8Bit());
  std::vector<char*> environment;
  for (QByteArray& text : texts) environment.push_back(text.data());
  environment.push_back(nullptr);
  QByteArray path = SW_PROGRAM;
  std::vector<QByteArray> words{path};
  for (const QString& s : switches) words.push_back(s.toLocal8Bit());
  std::vector<char*> arguments;
  for (QByteArray& word : words) arguments.push_back(word.data());
  arguments.push_back(nullptr);
  posix_spawn_file_actions_t output;
  posix_spawn_file_actions_init(&output);
  const QByteArray outFile = QFile::encodeName(work + "/program.out");
  posix_spawn_file_actions_addopen(&output, STDOUT_FILENO, outFile.constData(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  ::sync();  // the files just made are on the disk: their writing does not slow the run's commits
  ProgramRun run;
  QElapsedTimer timer;
  timer.start();
  pid_t pid = 0;
  const int spawned = posix_spawn(&pid, path.constData(), &output, nullptr, arguments.data(), environment.data());
  posix_spawn_file_actions_destroy(&output);
  if (spawned != 0) return Say("the program cannot start:", QString::fromLocal8Bit(strerror(spawned))), run;
  int status = 0;
  rusage u{};
  if (wait4(pid, &status, 0, &u) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return Say("the program failed:", switches.join(' ')), run;
  run.seconds = timer.elapsed() / 1000.0;
  run.cpuSeconds = u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  run.peakKb = u.ru_maxrss;
  return run;
}

// The run in this process, with its statements and commits counted.
bool RunCounted(const QString& server, const QString& work, Row& row) {
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
  if (!db) return Say("cannot open the library", error), false;

  const int node = cx.ui->AddRulesNode(-1, Library, Library, true);
  cx.ui->AddRulesNode(node, "CLIENT MATTERS", "CLIENT MATTERS", true);
  Counter counter;
  // Asked before every statement of a DM SQL object: counts those of the library, runs them all.
  dm->hooks.sqlFault = [&counter](const QString& library, const QString&) -> std::optional<sw::dm::SqlFault> {
    if (counter.counting && library.compare(Library, Qt::CaseInsensitive) == 0) ++counter.sqlObjectStatements;
    return std::nullopt;
  };
  sqlite3_trace_v2(db->Handle(), SQLITE_TRACE_STMT | SQLITE_TRACE_PROFILE, OnStatement, &counter);
  sqlite3_commit_hook(db->Handle(), OnCommit, &counter);
  counter.counting = true;
  sw::Button_Go_Click(cx);
  counter.counting = false;
  dm->hooks.sqlFault = nullptr;
  sqlite3_trace_v2(db->Handle(), 0, nullptr, nullptr);
  sqlite3_commit_hook(db->Handle(), nullptr, nullptr);
  row.statements = counter.statements;
  row.sqlObjectStatements = counter.sqlObjectStatements;
  row.commits = counter.commits;
  row.sqlSeconds = std::chrono::duration<double>(counter.inSql).count();
  return true;
}

// The floor: the rows the folders need, written with prepared statements and nothing else.
class FloorWriter {
 public:
  explicit FloorWriter(sqlite3* db) : db_(db) {}
  ~FloorWriter() {
    for (sqlite3_stmt* st : statements_) sqlite3_finalize(st);
  }

  bool Prepare() {
    const char* const texts[] = {
        "INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, ABSTRACT, AUTHOR, TYPIST, APPLICATION, DOCUMENTTYPE, "
        "FORM, CLIENT_ID, MATTER, STATUS, DEFAULT_RIGHTS, SECURITY_LINK, SEC_REASON_LINK, STORAGETYPE, PATH, RETENTION, "
        "FULLTEXT, PD_ADDRESSEE, CREATION_DATE, LAST_EDIT_DATE, LAST_EDITED_BY) VALUES (?1, ?2, ?3, ?3, ?4, ?4, ?5, "
        "?6, ?7, NULL, ?8, 0, 1, ?1, ?9, 'A', '', 0, 'Y', '', ?10, ?10, ?4)",
        "INSERT INTO FOLDER (SYSTEM_ID, DOCNUMBER, PATH) VALUES (?1, ?2, ?3)",
        "INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER, VERSION, SUBVERSION, VERSION_LABEL, AUTHOR, TYPIST, STATUS, "
        "CREATION_DATE) VALUES (?1, ?2, 1, '!', '1', ?3, ?3, 0, ?4)",
        "INSERT INTO SECURITY (THING, PERSONORGROUP, ACCESSRIGHTS) VALUES (?1, ?2, ?3)",
        "INSERT INTO FOLDER_ITEM (SYSTEM_ID, PARENT, PARENT_LIBRARY, DOCNUMBER, LIBRARY, DISPLAYNAME, NODE_TYPE, "
        "ISFIRST, \"NEXT\", REMOTE_SYSTEM_ID, PARENT_VERSION, VERSION_TYPE, STATUS, FOLDERREMLIB_RO, FOLDERDOCNO_RO) "
        "VALUES (?1, ?2, 0, ?3, 0, ?4, 'F', ?5, 0, 0, ?6, 'R', 0, 0, 0)",
        "UPDATE FOLDER_ITEM SET \"NEXT\" = ?1 WHERE SYSTEM_ID = ?2",
        "INSERT INTO NEEDS_FOLDERING (SID, STATUS, LOCKED_BY, RETRY_COUNT, DOCSTATUS, TABLE_NAME, MACHINE_NAME, "
        "LOCK_TIME) SELECT DOCNUMBER, 0, '', 0, STATUS, 'PROFILE', '', NULL FROM PROFILE WHERE MATTER = ?1 AND "
        "APPLICATION <> ?2 AND DOCNUMBER NOT IN (SELECT SID FROM NEEDS_FOLDERING WHERE TABLE_NAME = 'PROFILE')",
        "INSERT INTO TARN_STACKWRIGHT (SID, TABLE_NAME, RULE_NAME, STATUS, LOCKED_BY) VALUES (?1, ?2, "
        "'CLIENT MATTERS', 0, '')",
        "UPDATE DM_NEXTKEY SET LAST_KEY = ?1 WHERE KEY_NAME = ?2",
        "INSERT INTO ROOT_OBJECT (SYSTEM_ID, DOCNUMBER, DISPLAYNAME, PERSONORGROUP) VALUES (?1, ?2, ?3, 0)",
        "BEGIN IMMEDIATE",
        "COMMIT",
    };
    for (const char* text : texts) {
      sqlite3_stmt* st = nullptr;
      if (sqlite3_prepare_v3(db_, text, -1, SQLITE_PREPARE_PERSISTENT, &st, nullptr) != SQLITE_OK)
        return Say("the floor cannot prepare:", sqlite3_errmsg(db_)), false;
      statements_.push_back(st);
    }
    return true;
  }

  // A folder of the firm: its profile, folder, version and security rows.
  bool Folder(qint64 profileId, qint64 docNumber, qint64 folderId, qint64 versionId, const QByteArray& name) {
    const QByteArray now = "2026-01-01 09:00:00";
    return Run(Profile, {profileId, docNumber, name, Author, App, DocType, Form, Matter, Reason, now}) &&
           Run(FolderRow, {folderId, docNumber, QByteArray("QUILLMARK CLIENT MATTERS")}) &&
           Run(Version, {versionId, docNumber, Author, now}) && Run(Security, {profileId, Author, 191}) &&
           Run(Security, {profileId, Supervisors, 255}) && Run(Security, {profileId, Users, 63});
  }
  bool Root(qint64 id, qint64 docNumber, const QByteArray& name) { return Run(RootEntry, {id, docNumber, name}); }
  // The filing of the matter folder at the end of its client folder's chain.
  bool File(qint64 id, qint64 parent, qint64 parentVersion, qint64 docNumber, const QByteArray& name, qint64 last) {
    if (last != 0 && !Run(Link, {id, last})) return false;
    return Run(Item, {id, parent, docNumber, name, QByteArray(last == 0 ? "Y" : "N"), parentVersion});
  }
  // The source row's documents queued for filing, and its tracking row.
  bool Track(qint64 matter) { return Run(Queue, {matter, App}) && Run(Tracking, {matter, QByteArray("MATTER")}); }
  bool TrackClient(qint64 client) { return Run(Tracking, {client, QByteArray("CLIENT")}); }
  // The key counters as the group leaves them: the last system id and document number it used.
  bool Keys(qint64 lastId, qint64 lastDoc) {
    return Run(KeyCounter, {lastId, QByteArray("SYSTEMKEY")}) && Run(KeyCounter, {lastDoc, QByteArray("DOCNUMBER")});
  }
  bool Begin() { return Run(BeginWrite, {}); }
  bool Commit() { return Run(CommitWrite, {}); }

  // The ids the profile rows refer to, as the demo library has them.
  qint64 Author = 0, Supervisors = 0, Users = 0, App = 0, DocType = 0, Form = 0, Reason = 0, Matter = 0;

 private:
  enum Which {
    Profile, FolderRow, Version, Security, Item, Link, Queue, Tracking, KeyCounter, RootEntry, BeginWrite, CommitWrite
  };
  struct Value {
    Value(qint64 n) : number(n) {}
    Value(int n) : number(n) {}
    Value(QByteArray t) : text(std::move(t)), isText(true) {}
    qint64 number = 0;
    QByteArray text;
    bool isText = false;
  };
  bool Run(Which which, std::initializer_list<Value> values) {
    sqlite3_stmt* st = statements_[which];
    int i = 0;
    for (const Value& v : values) {
      ++i;
      if (v.isText) sqlite3_bind_text(st, i, v.text.constData(), int(v.text.size()), SQLITE_STATIC);
      else sqlite3_bind_int64(st, i, v.number);
    }
    const int rc = sqlite3_step(st);
    sqlite3_reset(st);
    if (rc == SQLITE_DONE) return true;
    Say("a floor write failed:", sqlite3_errmsg(db_));
    return false;
  }
  sqlite3* db_;
  std::vector<sqlite3_stmt*> statements_;
};

struct ClientFolder {
  qint64 docNumber = 0;
  qint64 version = 0;
  qint64 lastItem = 0;
};

// The floor on a copy of the library as the program found it: one source row a matter, whose
// client folder is made first when it has none; a commit every `group` source rows, or sooner
// once the group has been open for `limitMs`, as the run's groups end.
Floor MeasureFloor(const QString& file, int group, qint64 limitMs) {
  Floor floor;
  QString error;
  auto db = sw::dm::SqliteDb::Open(file, false, &error);
  if (!db || !db->ExecScript("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL", &error))
    return Say("the floor cannot open its copy:", error), floor;
  const auto scalar = [&db](const char* sql) { return db->Scalar(QString::fromLatin1(sql)).toLongLong(); };
  qint64 nextId = scalar("SELECT MAX(LAST_KEY) FROM DM_NEXTKEY") + 1;
  qint64 nextDoc = scalar("SELECT MAX(DOCNUMBER) FROM PROFILE") + 1;
  FloorWriter w(db->Handle());
  w.Author = scalar("SELECT SYSTEM_ID FROM PEOPLE WHERE USER_ID = 'ADMIN'");
  w.Supervisors = scalar("SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_SUPERVISORS'");
  w.Users = scalar("SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_USERS'");
  w.App = scalar("SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'");
  w.DocType = scalar("SELECT MIN(SYSTEM_ID) FROM DOCUMENTTYPES");
  w.Form = scalar("SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = 'FOLDER_PROF'");
  w.Reason = scalar("SELECT MIN(SYSTEM_ID) FROM SEC_REASON");
  const sw::dm::SqliteResult source = db->Query(
      "SELECT M.SYSTEM_ID, M.MATTER_ID, C.SYSTEM_ID, C.CLIENT_ID FROM MATTER M JOIN CLIENT C ON C.SYSTEM_ID = M.CLIENT_ID "
      "ORDER BY C.CLIENT_ID, M.MATTER_ID");
  if (!source.ok || !w.Prepare()) return Say("the floor cannot read its source rows", source.error), floor;
  QHash<qint64, ClientFolder> clients;
  const auto newFolder = [&](const QByteArray& name, ClientFolder* made) {
    const qint64 profile = nextId++, folder = nextId++, version = nextId++, doc = nextDoc++;
    *made = {doc, version, 0};
    ++floor.folders;
    return w.Folder(profile, doc, folder, version, name);
  };
  ::sync();
  QElapsedTimer timer, groupTimer;
  timer.start();
  int inGroup = 0;
  for (int r = 0; r < source.rows.size(); ++r) {
    const QVariantList& row = source.rows[r];
    if (inGroup == 0) {
      if (!w.Begin()) return floor;
      groupTimer.start();
    }
    w.Matter = row[0].toLongLong();
    auto client = clients.find(row[2].toLongLong());
    if (client == clients.end()) {
      client = clients.insert(row[2].toLongLong(), {});
      const QByteArray name = row[3].toString().toUtf8();
      if (!newFolder(name, &*client) || !w.Root(nextId++, client->docNumber, name) || !w.TrackClient(row[2].toLongLong()))
        return floor;
    }
    ClientFolder matter;
    const QByteArray name = row[1].toString().toUtf8();
    const qint64 item = nextId++;
    if (!newFolder(name, &matter) || !w.File(item, client->docNumber, client->version, matter.docNumber, name, client->lastItem) ||
        !w.Track(row[0].toLongLong()))
      return floor;
    client->lastItem = item;
    ++inGroup;
    if (inGroup < group && groupTimer.elapsed() < limitMs && r + 1 < source.rows.size()) continue;
    if (!w.Keys(nextId - 1, nextDoc - 1) || !w.Commit()) return floor;
    ++floor.commits;
    inGroup = 0;
  }
  floor.seconds = timer.elapsed() / 1000.0;
  floor.ok = floor.folders > 0;
  return floor;
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

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// A floor whose time is the median of its turns.
Floor MedianFloor(const std::vector<Floor>& turns) {
  Floor floor = turns.front();
  std::vector<double> seconds;
  for (const Floor& f : turns) {
    floor.ok = floor.ok && f.ok && f.folders == floor.folders;
    seconds.push_back(f.seconds);
  }
  floor.seconds = Median(seconds);
  return floor;
}

// A program run whose times and memory are the medians of its turns.
ProgramRun MedianRun(const std::vector<ProgramRun>& turns) {
  std::vector<double> seconds, cpu, peak;
  for (const ProgramRun& r : turns) {
    seconds.push_back(r.seconds);
    cpu.push_back(r.cpuSeconds);
    peak.push_back(double(r.peakKb));
  }
  return {Median(seconds), Median(cpu), long(Median(peak))};
}

// One run of the program on the copy at `server`; the folders it left there, or 0 when it failed
// or left a different number than the turns before.
qint64 TurnOfProgram(const QString& server, const QString& work, const QStringList& switches,
                     std::vector<ProgramRun>& turns, qint64 expected) {
  const ProgramRun run = RunProgram(server, work, switches);
  const qint64 folders = FolderCount(server);
  if (!run.Ok() || folders <= 0) return Say("the program made no folders:", switches.join(' ')), 0;
  if (expected != 0 && folders != expected) Say("a run made a different number of folders:", switches.join(' '));
  turns.push_back(run);
  // The run's log is not read here; left standing, a default run's gigabytes would stay in the
  // page cache and bill the next turn's writes for the kernel's reclaim.
  for (const QString& log : QDir(work).entryList({"*.LOG"}, QDir::Files)) QFile::remove(work + "/" + log);
  return folders;
}

Row Measure(const QString& work, int matters, int group, int repeats) {
  Row row;
  row.matters = matters;
  const QString pristine = work + "/pristine";
  if (!MakeServer(pristine, matters)) return row;
  std::vector<ProgramRun> quiet, verbose;
  std::vector<Floor> perRow, grouped;
  for (int turn = 0; turn < repeats; ++turn) {
    const QString at = work + QStringLiteral("/turn-%1").arg(turn);
    for (const char* copy : {"/quiet", "/verbose", "/floor-1", "/floor-n"})
      if (!CopyServer(pristine, at + copy + "/server")) return Say("cannot copy the server"), row;
    // Each floor is timed beside a program run, the /NV run's beside the grouped floor, the two
    // taking turns at going first, and the pairs too: measured minutes apart on a machine whose
    // load changes, a run and its floor would not be comparable.
    for (int k = 0; k < 2; ++k) {
      const bool quietNow = (turn + k) % 2 == 0;
      const QString copy = at + (quietNow ? "/quiet" : "/verbose");
      const auto program = [&] {
        row.folders = TurnOfProgram(copy + "/server", copy, quietNow ? QuietSwitches : DefaultSwitches,
                                    quietNow ? quiet : verbose, row.folders);
        return row.folders != 0;
      };
      const auto floor = [&] {
        const QString file = at + (quietNow ? "/floor-n" : "/floor-1") + "/server/" + Library + ".sqlite";
        (quietNow ? grouped : perRow).push_back(MeasureFloor(file, quietNow ? group : 1, GroupMilliseconds));
      };
      if (turn % 2 == 0) {
        if (!program()) return row;
        floor();
      } else {
        floor();
        if (!program()) return row;
      }
    }
    if (perRow.back().folders != row.folders || grouped.back().folders != row.folders)
      Say("the floor made a different number of folders");
    if (turn == 0) {
      const ProgramRun rerun = RunProgram(at + "/quiet/server", at + "/quiet", QuietSwitches);
      row.rerunSeconds = rerun.seconds;
      if (FolderCount(at + "/quiet/server") != row.folders) Say("the rerun made folders");
    }
  }
  row.quiet = MedianRun(quiet);
  row.verbose = MedianRun(verbose);
  row.perRow = MedianFloor(perRow);
  row.grouped = MedianFloor(grouped);

  if (!CopyServer(pristine, work + "/counted") || !RunCounted(work + "/counted", work, row)) return row;
  if (FolderCount(work + "/counted") != row.folders) Say("the run in this process made a different number of folders");
  row.ok = row.perRow.ok && row.grouped.ok;
  return row;
}

void PrintRuns(const std::vector<Row>& rows) {
  std::printf("\nthe program, start-up included: /NV, the default (every step logged), and the default's time as a "
              "multiple of /NV's\n");
  std::printf("%8s %8s | %8s %9s %9s %8s | %8s %9s %9s %8s | %7s | %8s\n", "matters", "folders", "NV s", "folders/s",
              "cpu us/f", "peak MB", "dflt s", "folders/s", "cpu us/f", "peak MB", "dflt/NV", "rerun s");
  for (const Row& r : rows) {
    if (!r.ok) continue;
    std::printf("%8d %8lld | %8.2f %9.1f %9.0f %8.1f | %8.2f %9.1f %9.0f %8.1f | %7.2f | %8.2f\n", r.matters, r.folders,
                r.quiet.seconds, r.PerSecond(r.quiet), r.Micros(r.quiet.cpuSeconds), r.quiet.peakKb / 1024.0,
                r.verbose.seconds, r.PerSecond(r.verbose), r.Micros(r.verbose.cpuSeconds), r.verbose.peakKb / 1024.0,
                r.verbose.seconds / r.quiet.seconds, r.rerunSeconds);
  }
}

void PrintFloors(const std::vector<Row>& rows, int group) {
  std::printf("\nthe /NV run against the floors; its statements, commits and SQLite time a folder (in this process)\n");
  std::printf("%8s | %10s %8s %8s | %10s %8s %8s | %8s %8s %8s %8s %8s\n", "matters", "floor f/s", "rows/cmt",
              "share", "floor1 f/s", "us/f", "share", "stmt/f", "sqlobj/f", "emul/f", "commit/f", "sql us/f");
  for (const Row& r : rows) {
    if (!r.ok) {
      std::printf("%8d  failed\n", r.matters);
      continue;
    }
    const double quiet = r.PerSecond(r.quiet);
    std::printf("%8d | %10.1f %8.1f %8.3f | %10.1f %8.0f %8.3f | %8.1f %8.1f %8.1f %8.3f %8.0f\n", r.matters,
                r.grouped.PerSecond(), double(r.matters) / double(std::max<qint64>(1, r.grouped.commits)),
                quiet / r.grouped.PerSecond(), r.perRow.PerSecond(), 1e6 / r.perRow.PerSecond(), quiet / r.perRow.PerSecond(),
                r.PerFolder(r.statements), r.PerFolder(r.sqlObjectStatements),
                r.PerFolder(r.statements - r.sqlObjectStatements), r.PerFolder(r.commits), r.Micros(r.sqlSeconds));
  }
  std::printf("floor: the least durable writes of the same folders, committed as the run commits (%d source rows, or "
              "fewer once a group has been open %lld ms; rows/cmt: source rows a commit), the headline share; floor1: "
              "one commit per source row; share: the /NV run's folders/s as a share of each. stmt/f: every statement "
              "SQLite ran, sqlobj/f those sent through the DM SQL object, emul/f the rest (the emulator's own); "
              "sql us/f: SQLite's time a folder running them, commits included\n",
              group, static_cast<long long>(GroupMilliseconds));
}

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i)
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) return std::fputs(Usage, stdout), 0;
  // Freed memory stays with the process: handing it back to the kernel and faulting it in again
  // would put the kernel's time, not the disk's, into the floor.
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  // As the program does: local times without a look at the time zone file each.
  if (!qEnvironmentVariableIsSet("TZ")) qputenv("TZ", ":/etc/localtime");
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  const bool large = args.contains("--large");
  const int groupAt = int(args.indexOf("--group"));
  const int group = groupAt >= 0 ? std::max(1, args.value(groupAt + 1).toInt()) : DefaultGroup;
  const int repeatAt = int(args.indexOf("--repeat"));
  const int repeats = repeatAt >= 0 ? std::max(1, args.value(repeatAt + 1).toInt()) : 1;
  QTemporaryDir dir;
  // The run in this process: its settings and its bus in the temporary folder.
  qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toLocal8Bit());
  qputenv("STACKWRIGHT_MONITOR_BUS", (dir.path() + "/bus").toLocal8Bit());

  std::vector<int> sizes;
  for (int i = 0; i < args.size(); ++i)
    if (args[i].toInt() > 0 && (i == 0 || (args[i - 1] != "--group" && args[i - 1] != "--repeat")))
      sizes.push_back(args[i].toInt());  // sizes given: those only
  if (sizes.empty()) sizes = {1000, 10000};
  if (large) sizes.push_back(100000);
  const QString loadBefore = LoadText();
  // A first run, not timed, so that no size pays for loading the program and waking the disk.
  if (MakeServer(dir.path() + "/warm-up/server", 100))
    RunProgram(dir.path() + "/warm-up/server", dir.path() + "/warm-up", QuietSwitches);
  std::vector<Row> rows;
  for (int m : sizes) {
    std::fprintf(stderr, "%d matters...\n", m);
    rows.push_back(Measure(dir.path() + QStringLiteral("/%1-%2").arg(rows.size()).arg(m), m, group, repeats));
  }

  std::printf("machine: %s\nload average (1, 5, 15 min; running/all processes): before %s, after %s\n",
              qPrintable(MachineText()), qPrintable(loadBefore), qPrintable(LoadText()));
  std::printf("LAWLIB, one client per ten matters; programs without a monitor; %s\n",
              repeats > 1 ? qPrintable(QStringLiteral("medians of %1 turns, programs and floors taking turns").arg(repeats))
                          : "one turn");
  PrintRuns(rows);
  PrintFloors(rows, group);
  const bool ok = std::all_of(rows.begin(), rows.end(), [](const Row& r) { return r.ok; });
  return ok ? 0 : 1;
}
