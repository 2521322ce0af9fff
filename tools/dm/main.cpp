// stackwright-dm: creates DM server folders and libraries, runs SQL through the DM SQL object,
// prints folder trees and checks what runs left behind.
#include <QCoreApplication>
#include <QDir>
#include <QStringList>
#include <QTextStream>
#include <cstdio>
#include <optional>
#include <set>

#include "check.h"
#include "platform/dm/dm_create.h"
#include "platform/dm/dm_objects.h"
#include "platform/dm/dm_server.h"

namespace {

using namespace sw::dm;

QTextStream& Out() {
  static QTextStream out(stdout);
  return out;
}

QTextStream& Err() {
  static QTextStream err(stderr);
  return err;
}

const char* const kUsage =
    "usage: stackwright-dm init DIR [--demo] [--clients N] [--matters M] [--documents D] [--force]\n"
    "       stackwright-dm libraries DIR\n"
    "       stackwright-dm sql DIR LIBRARY STATEMENT\n"
    "       stackwright-dm tree DIR LIBRARY\n"
    "       stackwright-dm nextkey DIR LIBRARY COUNT\n"
    "       stackwright-dm check DIR [LIBRARY]\n"
    "       stackwright-dm --help\n";

// A wrong command line: what is wrong, when known, then the usage, on standard error; status 2.
int Usage(const QString& wrong = QString()) {
  if (!wrong.isEmpty()) Err() << "stackwright-dm: " << wrong << "\n";
  Err() << kUsage;
  Err().flush();
  return 2;
}

// The whole number given for the argument `name`, at least `least`; none, with `wrong` saying
// why, for anything else.
std::optional<int> NumberArgument(const QString& name, const QString& text, int least, QString* wrong) {
  bool ok = false;
  const int n = text.toInt(&ok);
  if (ok && n >= least) return n;
  *wrong = QStringLiteral("%1 takes a whole number of %2 or more, not \"%3\"").arg(name).arg(least).arg(text);
  return std::nullopt;
}

// Asked for: the usage on standard output, status 0.
int Help() {
  Out() << kUsage
        << "\n"
           "init       a new DM server folder; --demo adds demo data (people, groups, clients, matters,\n"
           "           documents, forms, a rule), sized by --clients, --matters and --documents. A folder\n"
           "           that already holds a server (a server.ini or library files) is refused with\n"
           "           status 2: --force replaces that server and everything in its libraries. Where no\n"
           "           server can be made (DIR is a file, a folder cannot be created or written), it\n"
           "           says why, status 1\n"
           "libraries  the names of the server's libraries, one a line\n"
           "sql        one statement through the DM SQL object, as the program sends it; a statement\n"
           "           that fails is said on standard error, status 1\n"
           "tree       the folder tree of a library\n"
           "nextkey    hands out COUNT ids from the library's SYSTEMKEY counter\n"
           "check      duplicate, unfiled or unsecured folders, broken item chains, filing rows naming a\n"
           "           missing folder, routed folders under a parent made for another row, rows recorded\n"
           "           without a folder, claims left, workspace members linking a missing item or no\n"
           "           folder, workspace rows hanging from a missing row; status 1 when any is found\n"
           "\n"
           "Every command but init ends with status 2, saying why on standard error, when DIR holds\n"
           "no server (missing, empty, unreadable) or LIBRARY is none of its libraries.\n";
  return 0;
}

// The server in DIR; none, said on standard error, when the folder holds none (a command then
// ends with NoServer, as check does).
DmServerPtr OpenServer(const QString& dir) {
  QString error;
  DmServerPtr server = DmServer::Open(dir, &error);
  if (!server) Err() << "stackwright-dm: " << error << "\n";
  return server;
}

int Init(const QStringList& args) {
  if (args.size() < 1) return Usage(QStringLiteral("init takes the server folder DIR"));
  bool demo = false;
  bool force = false;
  DmDemoSize size;
  QString wrong;
  for (int i = 1; i < args.size(); ++i) {
    const QString& a = args[i];
    auto number = [&](int* target) {
      if (i + 1 >= args.size()) {
        wrong = a + QStringLiteral(" needs a number after it");
        return false;
      }
      const std::optional<int> n = NumberArgument(a, args[++i], 0, &wrong);
      if (n) *target = *n;
      return n.has_value();
    };
    if (a == QLatin1String("--demo")) {
      demo = true;
    } else if (a == QLatin1String("--force")) {
      force = true;
    } else if (a == QLatin1String("--clients")) {
      if (!number(&size.clients)) return Usage(wrong);
    } else if (a == QLatin1String("--matters")) {
      if (!number(&size.matters)) return Usage(wrong);
    } else if (a == QLatin1String("--documents")) {
      if (!number(&size.documents)) return Usage(wrong);
    } else {
      return Usage(QStringLiteral("init does not take ") + a);
    }
  }
  // Creating the libraries again would empty the ones a server there already holds, also when
  // its server.ini has gone and only the libraries are left.
  const QDir dir(args[0]);
  const bool held = dir.exists(QStringLiteral("server.ini")) ||
                    !dir.entryList({QStringLiteral("*.sqlite")}, QDir::Files).isEmpty();
  if (!force && held) {
    Err() << "stackwright-dm: " << args[0]
          << " already holds a DM server; nothing was changed (--force replaces it and all its folders)\n";
    return 2;
  }
  QString error;
  if (!CreateDmServer(args[0], DemoLibraries(demo), QStringLiteral("ADMIN"), size, &error)) {
    Err() << "stackwright-dm: no DM server was made: " << error << "\n";
    return 1;
  }
  Out() << "DM server created in " << args[0] << "\n";
  return 0;
}

int Libraries(const QStringList& args) {
  if (args.size() != 1) return Usage(QStringLiteral("libraries takes DIR"));
  DmServerPtr server = OpenServer(args[0]);
  if (!server) return NoServer;
  for (const auto& lib : server->Config().libraries) Out() << lib.name << "\n";
  return 0;
}

// Binds a DM SQL object to the library exactly as the program does after a library switch.
PcdSqlPtr BoundSql(const DmServerPtr& server, const QString& library) {
  DmComponents components(server);
  DmApplicationPtr app = components.CreateApplication();
  app->Login(0);
  PcdSqlPtr sql = components.CreatePcdSql();
  sql->SetToken(app->Token());
  if (sql->SetLibrary(library) != 0) {
    Err() << "stackwright-dm: unknown library " << library << "\n";
    return nullptr;
  }
  return sql;
}

int Sql(const QStringList& args) {
  if (args.size() != 3) return Usage(QStringLiteral("sql takes DIR LIBRARY STATEMENT"));
  DmServerPtr server = OpenServer(args[0]);
  if (!server) return NoServer;
  PcdSqlPtr sql = BoundSql(server, args[1]);
  if (!sql) return NoServer;
  const qint64 status = sql->Execute(args[2]);
  if (sql->ColumnCount() > 0) {
    QStringList header;
    for (int c = 1; c <= sql->ColumnCount(); ++c) header << sql->ColumnName(c);
    Out() << header.join(QLatin1Char('\t')) << "\n";
    for (qint64 r = 1; r <= sql->RowCount(); ++r) {
      sql->SetRow(r);
      QStringList values;
      for (int c = 1; c <= sql->ColumnCount(); ++c) values << sql->ColumnValue(c);
      Out() << values.join(QLatin1Char('\t')) << "\n";
    }
  }
  // A statement that failed says so on standard error, apart from any answer.
  QTextStream& said = status == 0 ? Out() : Err();
  said << "-- status " << status << ", error " << sql->SqlErrorCode() << ", rows affected " << sql->RowsAffected();
  if (sql->SqlErrorCode() != 0) said << ": " << sql->ErrDescription();
  said << "\n";
  return status == 0 ? 0 : 1;
}

struct TreePrinter {
  DmServerPtr server;
  std::set<QString> visited;  // "LIBRARY:DOCNUMBER" of folders already printed

  void Folder(const QString& library, qint64 docNumber, int depth) {
    const QString key = library.toUpper() + QLatin1Char(':') + QString::number(docNumber);
    if (!visited.insert(key).second) {
      Out() << QString(depth * 2, QLatin1Char(' ')) << "(already shown)\n";
      return;
    }
    QString error;
    SqliteDbPtr db = server->Connection(library, &error);
    if (!db) {
      Out() << QString(depth * 2, QLatin1Char(' ')) << "(" << error << ")\n";
      return;
    }
    const SqliteResult rows = db->Query(
        QStringLiteral("SELECT FI.SYSTEM_ID, FI.DOCNUMBER, FI.DISPLAYNAME, FI.NODE_TYPE, FI.ISFIRST, FI.\"NEXT\", RL.LIBRARY_NAME "
                       "FROM FOLDER_ITEM FI LEFT JOIN REMOTE_LIBRARIES RL ON RL.SYSTEM_ID = FI.LIBRARY "
                       "WHERE FI.PARENT = ? AND FI.PARENT_LIBRARY = 0 ORDER BY FI.SYSTEM_ID"),
        {docNumber});
    // Chain order: from the row marked first along NEXT; rows the chain does not reach follow.
    std::map<qint64, int> byId;
    int first = -1;
    for (int i = 0; i < rows.rows.size(); ++i) {
      byId[rows.rows[i][0].toLongLong()] = i;
      if (first < 0 && rows.rows[i][4].toString().compare(QStringLiteral("Y"), Qt::CaseInsensitive) == 0) first = i;
    }
    std::vector<int> order;
    std::set<int> seen;
    for (int i = first; i >= 0 && seen.insert(i).second;) {
      order.push_back(i);
      auto next = byId.find(rows.rows[i][5].toLongLong());
      i = next == byId.end() ? -1 : next->second;
    }
    const size_t chained = order.size();
    for (int i = 0; i < rows.rows.size(); ++i)
      if (!seen.count(i)) order.push_back(i);
    for (size_t k = 0; k < order.size(); ++k) {
      const QVariantList& row = rows.rows[order[k]];
      const QString itemLibrary = row[6].isNull() ? library : row[6].toString();
      const bool isFolder = row[3].toString().compare(QStringLiteral("F"), Qt::CaseInsensitive) == 0;
      Out() << QString((depth + 1) * 2, QLatin1Char(' ')) << (isFolder ? "[F] " : "[D] ") << DmValueText(row[1]) << " "
            << row[2].toString();
      if (itemLibrary.compare(library, Qt::CaseInsensitive) != 0) Out() << " @" << itemLibrary;
      if (k >= chained) Out() << " (not in chain)";
      Out() << "\n";
      if (isFolder) Folder(itemLibrary, row[1].toLongLong(), depth + 1);
    }
  }
};

int Tree(const QStringList& args) {
  if (args.size() != 2) return Usage(QStringLiteral("tree takes DIR LIBRARY"));
  DmServerPtr server = OpenServer(args[0]);
  if (!server) return NoServer;
  const DmLibraryConfig* lib = server->FindLibrary(args[1]);
  if (!lib) {
    Err() << "stackwright-dm: unknown library " << args[1] << "\n";
    return NoServer;
  }
  QString error;
  SqliteDbPtr db = server->Connection(lib->name, &error);
  if (!db) {
    Err() << "stackwright-dm: " << error << "\n";
    return NoServer;
  }
  // Top level: the library's folders that no folder of the library holds.
  const SqliteResult top = db->Query(QStringLiteral(
      "SELECT P.DOCNUMBER, P.DOCNAME, (SELECT COUNT(*) FROM ROOT_OBJECT R WHERE R.DOCNUMBER = P.DOCNUMBER) FROM PROFILE P "
      "JOIN FOLDER F ON F.DOCNUMBER = P.DOCNUMBER WHERE P.DOCNUMBER NOT IN "
      "(SELECT DOCNUMBER FROM FOLDER_ITEM WHERE NODE_TYPE = 'F' AND (LIBRARY = 0 OR LIBRARY IS NULL) AND DOCNUMBER IS NOT NULL) "
      "ORDER BY P.DOCNAME, P.DOCNUMBER"));
  Out() << lib->name << "\n";
  TreePrinter printer{server, {}};
  for (const auto& row : top.rows) {
    Out() << "[F] " << DmValueText(row[0]) << " " << row[1].toString();
    if (row[2].toLongLong() > 0) Out() << " (public)";
    Out() << "\n";
    printer.Folder(lib->name, row[0].toLongLong(), 0);
  }
  return 0;
}

int NextKeys(const QStringList& args) {
  if (args.size() != 3) return Usage(QStringLiteral("nextkey takes DIR LIBRARY COUNT"));
  QString wrong;
  const std::optional<int> count = NumberArgument(QStringLiteral("COUNT"), args[2], 1, &wrong);
  if (!count) return Usage(wrong);
  DmServerPtr server = OpenServer(args[0]);
  if (!server) return NoServer;
  PcdSqlPtr sql = BoundSql(server, args[1]);
  if (!sql) return NoServer;
  for (int i = 0; i < *count; ++i) {
    const qint64 key = sql->NextKey(QStringLiteral("SYSTEMKEY"));
    Out() << key << "\n";
    if (key == 0) return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) return Usage(QStringLiteral("a command is needed"));
  const QString command = args.takeFirst();
  int rc = 2;
  if (command == QLatin1String("--help") || command == QLatin1String("-h") || command == QLatin1String("help"))
    rc = Help();
  else if (command == QLatin1String("init"))
    rc = Init(args);
  else if (command == QLatin1String("libraries"))
    rc = Libraries(args);
  else if (command == QLatin1String("sql"))
    rc = Sql(args);
  else if (command == QLatin1String("tree"))
    rc = Tree(args);
  else if (command == QLatin1String("nextkey"))
    rc = NextKeys(args);
  else if (command == QLatin1String("check") && (args.size() == 1 || args.size() == 2))
    rc = sw::dm::CheckServer(args[0], args.value(1), Out(), Err());
  else if (command == QLatin1String("check"))
    rc = Usage(QStringLiteral("check takes DIR [LIBRARY]"));
  else
    rc = Usage(QStringLiteral("unknown command ") + command);
  Out().flush();
  Err().flush();
  return rc;
}
