// stackwright-dm check: what a library's folders look like after runs, counted so that a person
// or a test can see at once whether every source row got exactly one whole folder chain.
#include "check.h"

#include <QTextStream>
#include <map>
#include <set>

#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"

namespace sw::dm {

namespace {

constexpr char kStampPrefix[] = "QUILLMARK ";

QString Key(const QVariant& v) { return v.toString().trimmed().toUpper(); }

struct RuleFacts {
  bool makesPublic = false;
  bool secures = false;
};

// The rules of a library from its settings table, by upper-cased name.
std::map<QString, RuleFacts> ReadRules(SqliteDb& db) {
  std::map<QString, RuleFacts> rules;
  const SqliteResult rows = db.Query(QStringLiteral(
      "SELECT UPPER(TRIM(SUB_KEY)), SECTION_KEY, INT_VAL, TRIM(COALESCE(CHAR_VAL, '')) FROM TARN_SETTINGS "
      "WHERE MASTER_KEY = 'QUILLMARK' AND SECTION_KEY IN ('RULE_CREATE_PUBLIC_FOLDERS', 'RULE_SECURITY')"));
  for (const QVariantList& row : rows.rows) {
    RuleFacts& facts = rules[row[0].toString()];
    if (row[1].toString().compare(QStringLiteral("RULE_SECURITY"), Qt::CaseInsensitive) == 0)
      facts.secures = !row[3].toString().isEmpty();
    else
      facts.makesPublic = row[2].toLongLong() == 1;
  }
  return rules;
}

struct Folder {
  qint64 docNumber = 0;
  QString name;  // upper case, trimmed
  QString rule;  // the stamp's rule, upper case; empty for a folder no rule made
  bool root = false;
  bool secured = false;
  std::map<QString, qint64> links;  // PROFILE link column -> value
};

struct Item {
  qint64 id = 0, parent = 0, docNumber = 0, library = 0, next = 0;
  bool first = false, folder = false;
  QString name;
};

// A row that records one of the library's own items as filed in a folder of another library.
struct RemoteFiling {
  qint64 parent = 0, docNumber = 0, chainRow = 0;  // chainRow: REMOTE_SYSTEM_ID
  QString parentLibrary;  // upper case
  bool first = false, folder = false;
};

struct LibraryFacts {
  QString name;
  SqliteDbPtr db;
  std::map<qint64, QString> remoteNames;  // REMOTE_LIBRARIES id -> upper-cased name (0: itself)
  std::map<QString, RuleFacts> rules;
  std::vector<Folder> folders;
  std::vector<Item> items;  // rows of this library's folders (PARENT_LIBRARY 0)
  std::vector<RemoteFiling> remoteFilings;
  std::set<qint64> documents;
  std::set<qint64> folderNumbers;
};

// PROFILE columns that hold a SYSTEM_ID of a source table, by that table (upper case). The
// columns every folder's profile fills for itself (author, typist, application, document type,
// form) name no source row.
std::map<QString, QString> ProfileLinks(SqliteDb& db) {
  std::map<QString, QString> links;
  const SqliteResult rows = db.Query(QStringLiteral(
      "SELECT UPPER(D.FTBNAME), UPPER(D.COLNAME) FROM DOCSCOLUMN D, pragma_table_info('PROFILE') C "
      "WHERE UPPER(D.TBNAME) = 'PROFILE' AND UPPER(D.FCOLNAME) = 'SYSTEM_ID' AND UPPER(C.name) = UPPER(D.COLNAME) "
      "AND UPPER(D.FTBNAME) NOT IN ('PEOPLE', 'APPS', 'DOCUMENTTYPES', 'FORMS')"));
  for (const QVariantList& row : rows.rows) links.emplace(row[0].toString(), row[1].toString());
  return links;
}

LibraryFacts ReadLibrary(DmServer& server, const QString& name, QString* error) {
  LibraryFacts lib;
  lib.name = name;
  lib.db = server.Connection(name, error);
  if (!lib.db) return lib;
  SqliteDb& db = *lib.db;
  for (const QVariantList& row : db.Query(QStringLiteral("SELECT SYSTEM_ID, LIBRARY_NAME FROM REMOTE_LIBRARIES")).rows)
    lib.remoteNames[row[0].toLongLong()] = Key(row[1]);
  lib.rules = ReadRules(db);
  std::map<QString, QString> links = ProfileLinks(db);
  QString linkColumns;
  for (const auto& [table, column] : links) linkColumns += QStringLiteral(", P.\"%1\"").arg(column);
  const SqliteResult folders = db.Query(
      QStringLiteral("SELECT F.DOCNUMBER, UPPER(TRIM(P.DOCNAME)), UPPER(TRIM(COALESCE(F.PATH, ''))), "
                     "EXISTS (SELECT 1 FROM ROOT_OBJECT R WHERE R.DOCNUMBER = F.DOCNUMBER), "
                     "EXISTS (SELECT 1 FROM SECURITY S WHERE S.THING = P.SYSTEM_ID)") +
      linkColumns + QStringLiteral(" FROM FOLDER F JOIN PROFILE P ON P.DOCNUMBER = F.DOCNUMBER"));
  for (const QVariantList& row : folders.rows) {
    Folder f;
    f.docNumber = row[0].toLongLong();
    lib.folderNumbers.insert(f.docNumber);
    f.name = row[1].toString();
    const QString path = row[2].toString();
    if (path.startsWith(QLatin1String(kStampPrefix))) f.rule = path.mid(int(sizeof kStampPrefix) - 1).trimmed();
    f.root = row[3].toLongLong() != 0;
    f.secured = row[4].toLongLong() != 0;
    int c = 5;
    for (const auto& [table, column] : links) {
      if (!row[c].isNull()) f.links[column] = row[c].toLongLong();
      ++c;
    }
    lib.folders.push_back(f);
  }
  const SqliteResult items = db.Query(QStringLiteral(
      "SELECT SYSTEM_ID, PARENT, DOCNUMBER, COALESCE(LIBRARY, 0), COALESCE(\"NEXT\", 0), UPPER(COALESCE(ISFIRST, '')), "
      "UPPER(COALESCE(NODE_TYPE, '')), UPPER(TRIM(COALESCE(DISPLAYNAME, ''))) FROM FOLDER_ITEM "
      "WHERE COALESCE(PARENT_LIBRARY, 0) = 0"));
  for (const QVariantList& row : items.rows)
    lib.items.push_back({row[0].toLongLong(), row[1].toLongLong(), row[2].toLongLong(), row[3].toLongLong(), row[4].toLongLong(),
                         row[5].toString() == QLatin1String("Y"), row[6].toString() == QLatin1String("F"), row[7].toString()});
  const SqliteResult remote = db.Query(QStringLiteral(
      "SELECT PARENT, DOCNUMBER, COALESCE(REMOTE_SYSTEM_ID, 0), PARENT_LIBRARY, UPPER(COALESCE(ISFIRST, '')), "
      "UPPER(COALESCE(NODE_TYPE, '')) FROM FOLDER_ITEM WHERE COALESCE(PARENT_LIBRARY, 0) <> 0 AND COALESCE(LIBRARY, 0) = 0"));
  for (const QVariantList& row : remote.rows)
    lib.remoteFilings.push_back({row[0].toLongLong(), row[1].toLongLong(), row[2].toLongLong(), lib.remoteNames[row[3].toLongLong()],
                                 row[4].toString() == QLatin1String("Y"), row[5].toString() == QLatin1String("F")});
  for (const QVariantList& row : db.Query(QStringLiteral("SELECT DOCNUMBER FROM PROFILE")).rows)
    lib.documents.insert(row[0].toLongLong());
  return lib;
}

// The library an item row names, upper case.
QString ItemLibrary(const LibraryFacts& lib, const Item& item) {
  auto found = lib.remoteNames.find(item.library);
  return found == lib.remoteNames.end() ? QString() : found->second;
}

const LibraryFacts* LibraryNamed(const std::vector<LibraryFacts>& all, const QString& upperName) {
  for (const LibraryFacts& other : all)
    if (other.name.toUpper() == upperName) return &other;
  return nullptr;
}

const Folder* FolderOf(const LibraryFacts& lib, qint64 docNumber) {
  for (const Folder& f : lib.folders)
    if (f.docNumber == docNumber) return &f;
  return nullptr;
}

struct Counts {
  qint64 folders = 0, duplicates = 0, unfiled = 0, unshown = 0, missingEnds = 0, wrongParents = 0, brokenChains = 0,
         unsecured = 0, untracked = 0, claims = 0, strayMembers = 0, orphanRows = 0;
  QString integrity;
  bool Clean() const {
    return duplicates == 0 && unfiled == 0 && unshown == 0 && missingEnds == 0 && wrongParents == 0 && brokenChains == 0 &&
           unsecured == 0 && untracked == 0 && claims == 0 && strayMembers == 0 && orphanRows == 0 &&
           integrity == QLatin1String("ok");
  }
};

// A top-level folder: public (ROOT_OBJECT), or unfiled and made by a rule whose first level is
// not public, which leaves it at the top without a ROOT_OBJECT row.
bool AtTopLevel(const LibraryFacts& lib, const Folder& f, bool filed) {
  if (f.root) return true;
  if (filed || f.rule.isEmpty()) return false;
  auto rule = lib.rules.find(f.rule);
  return rule != lib.rules.end() && !rule->second.makesPublic;
}

qint64 Surplus(const std::map<QString, qint64>& groups) {
  qint64 n = 0;
  for (const auto& [key, count] : groups) n += count - 1;
  return n;
}

// Per parent: one first row, and the NEXT links from it reach every row of the parent once and
// end at 0; every row names a document or folder that exists in its library.
qint64 BrokenChains(const LibraryFacts& lib, const std::vector<LibraryFacts>& all) {
  std::map<qint64, std::vector<const Item*>> byParent;
  for (const Item& item : lib.items) byParent[item.parent].push_back(&item);
  qint64 broken = 0;
  for (const auto& [parent, rows] : byParent) {
    std::map<qint64, const Item*> byId;
    const Item* first = nullptr;
    int firsts = 0;
    bool dangling = false;
    for (const Item* item : rows) {
      byId[item->id] = item;
      if (item->first) {
        first = item;
        ++firsts;
      }
      const LibraryFacts* other = LibraryNamed(all, ItemLibrary(lib, *item));
      if (other && other->db && !other->documents.count(item->docNumber)) dangling = true;
    }
    std::set<qint64> seen;
    for (const Item* at = first; at && seen.insert(at->id).second;) {
      if (at->next == 0) break;
      auto next = byId.find(at->next);
      at = next == byId.end() ? nullptr : next->second;
      if (!at) dangling = true;
    }
    if (dangling || firsts != 1 || seen.size() != rows.size()) ++broken;
  }
  return broken;
}

// Folders of this library that it records as filed in another library's folder, where that
// folder's own rows do not show them: no one reaches them from the parent. A record that names a
// folder that does not exist, here or there, counts apart.
void CountRemoteFilings(const LibraryFacts& lib, const std::vector<LibraryFacts>& all, Counts& c) {
  const QString self = lib.name.toUpper();
  for (const RemoteFiling& filing : lib.remoteFilings) {
    const LibraryFacts* parent = filing.folder ? LibraryNamed(all, filing.parentLibrary) : nullptr;
    if (!parent) continue;
    if (!parent->documents.count(filing.parent) || !lib.documents.count(filing.docNumber)) {
      ++c.missingEnds;
      continue;
    }
    bool shown = false;
    for (const Item& item : parent->items)
      shown = shown || (item.parent == filing.parent && item.docNumber == filing.docNumber && ItemLibrary(*parent, item) == self);
    if (!shown) ++c.unshown;
  }
}

// A routed folder carries the values of the row that made it, as its parent does: a value the
// two carry differently tells a folder under a parent made for another source row.
bool MadeForAnotherRow(const Folder* parent, const Folder* routed) {
  if (!parent || !routed) return false;
  for (const auto& [column, value] : parent->links) {
    auto carried = routed->links.find(column);
    if (carried != routed->links.end() && carried->second != value) return true;
  }
  return false;
}

// Folders of another library that this library's folders show, and folders of this library that
// its own filing rows put in another library's folders, made for another source row than their
// parent.
qint64 WrongParents(const LibraryFacts& lib, const std::vector<LibraryFacts>& all) {
  qint64 wrong = 0;
  const QString self = lib.name.toUpper();
  for (const Item& item : lib.items) {
    const QString itemLibrary = ItemLibrary(lib, item);
    const LibraryFacts* other = item.folder && itemLibrary != self ? LibraryNamed(all, itemLibrary) : nullptr;
    if (other && MadeForAnotherRow(FolderOf(lib, item.parent), FolderOf(*other, item.docNumber))) ++wrong;
  }
  for (const RemoteFiling& filing : lib.remoteFilings) {
    const LibraryFacts* parent = filing.folder ? LibraryNamed(all, filing.parentLibrary) : nullptr;
    if (parent && MadeForAnotherRow(FolderOf(*parent, filing.parent), FolderOf(lib, filing.docNumber))) ++wrong;
  }
  return wrong;
}

// The filing rows this library keeps for its items in another library's folder, per folder: one
// first row at most, and each names the folder's chain row that shows the item.
qint64 BrokenRemoteChains(const LibraryFacts& lib, const std::vector<LibraryFacts>& all) {
  const QString self = lib.name.toUpper();
  std::map<std::pair<QString, qint64>, std::vector<const RemoteFiling*>> byParent;
  for (const RemoteFiling& filing : lib.remoteFilings) byParent[{filing.parentLibrary, filing.parent}].push_back(&filing);
  std::map<QString, std::map<qint64, const Item*>> chainRows;  // parent library -> SYSTEM_ID -> row
  qint64 broken = 0;
  for (const auto& [key, rows] : byParent) {
    const LibraryFacts* parent = LibraryNamed(all, key.first);
    if (!parent) continue;
    std::map<qint64, const Item*>& byId = chainRows[key.first];
    if (byId.empty())
      for (const Item& item : parent->items) byId[item.id] = &item;
    int firsts = 0;
    bool misnamed = false;
    for (const RemoteFiling* filing : rows) {
      firsts += filing->first ? 1 : 0;
      auto named = byId.find(filing->chainRow);
      const Item* item = named == byId.end() ? nullptr : named->second;
      misnamed = misnamed || !item || item->parent != filing->parent || item->docNumber != filing->docNumber ||
                 ItemLibrary(*parent, *item) != self;
    }
    if (misnamed || firsts > 1) ++broken;
  }
  return broken;
}

// Workspace members (the users' REGISTRY rows) whose link leads nowhere: the item is missing
// from the library the member names, or a member of the folder kind links no folder. A member
// naming a library the server does not hold is not judged.
qint64 StrayMembers(const LibraryFacts& lib, const std::vector<LibraryFacts>& all) {
  const SqliteResult members = lib.db->Query(QStringLiteral(
      "SELECT UPPER(TRIM(COALESCE(T.DATA, ''))), TRIM(COALESCE(L.DATA, '')), UPPER(TRIM(COALESCE(B.DATA, ''))) "
      "FROM REGISTRY M JOIN REGISTRY L ON L.ENTITYID = M.SYSTEM_ID AND UPPER(L.NAME) = 'LINKID' "
      "LEFT JOIN REGISTRY T ON T.ENTITYID = M.SYSTEM_ID AND UPPER(T.NAME) = 'TYPE' "
      "LEFT JOIN REGISTRY B ON B.ENTITYID = M.SYSTEM_ID AND UPPER(B.NAME) = 'LIBRARY' "
      "WHERE UPPER(M.NAME) LIKE 'WM%' AND UPPER(M.ENTITYSCOPE) = 'REGISTRY' AND UPPER(M.DATATYPE) = 'STRING'"));
  qint64 stray = 0;
  for (const QVariantList& row : members.rows) {
    const LibraryFacts* linked = LibraryNamed(all, row[2].toString());
    if (!linked || !linked->db) continue;
    // A member that links no number (a saved search, say) links no item to go missing.
    bool number = false;
    const qint64 item = row[1].toString().toLongLong(&number);
    if (!number) continue;
    const bool missing = !linked->documents.count(item);
    const bool notFolder = row[0].toString() == QLatin1String("FOLDER") && !linked->folderNumbers.count(item);
    if (missing || notFolder) ++stray;
  }
  return stray;
}

// REGISTRY rows that hang from a row that is not there: a workspace, member or property whose
// owning REGISTRY row is gone, or a user's root whose PEOPLE row is.
qint64 OrphanRegistryRows(SqliteDb& db) {
  return db.Scalar(QStringLiteral(
                       "SELECT COUNT(*) FROM REGISTRY X WHERE (UPPER(X.ENTITYSCOPE) = 'REGISTRY' AND NOT EXISTS "
                       "(SELECT 1 FROM REGISTRY O WHERE O.SYSTEM_ID = X.ENTITYID)) OR (UPPER(X.ENTITYSCOPE) = 'USER' AND "
                       "NOT EXISTS (SELECT 1 FROM PEOPLE P WHERE P.SYSTEM_ID = X.ENTITYID))"))
      .toLongLong();
}

Counts CountLibrary(const LibraryFacts& lib, const std::vector<LibraryFacts>& all) {
  Counts c;
  SqliteDb& db = *lib.db;
  c.folders = qint64(lib.folders.size());
  // Filings of this library's folders: in its own folders, and in other libraries' folders.
  std::set<qint64> filed;
  const QString self = lib.name.toUpper();
  for (const LibraryFacts& other : all)
    for (const Item& item : other.items)
      if (item.folder && ItemLibrary(other, item) == self) filed.insert(item.docNumber);
  std::map<QString, qint64> siblings, top;
  for (const Item& item : lib.items)
    if (item.folder) ++siblings[QString::number(item.parent) + QLatin1Char('/') + item.name];
  for (const Folder& f : lib.folders) {
    const bool isFiled = filed.count(f.docNumber) != 0;
    if (AtTopLevel(lib, f, isFiled)) ++top[f.name];
    else if (!isFiled) ++c.unfiled;
    auto rule = lib.rules.find(f.rule);
    if (!f.secured && rule != lib.rules.end() && rule->second.secures) ++c.unsecured;
  }
  c.duplicates = Surplus(siblings) + Surplus(top);
  CountRemoteFilings(lib, all, c);
  c.wrongParents = WrongParents(lib, all);
  c.brokenChains = BrokenChains(lib, all) + BrokenRemoteChains(lib, all);
  // A tracked source row has a folder of its rule that carries the row's id in the PROFILE
  // column linking to its table. Tables whose rows no folder of the rule carries are not checked.
  const std::map<QString, QString> links = ProfileLinks(db);
  std::map<QString, std::set<qint64>> carried;  // "RULE/COLUMN" -> ids
  for (const LibraryFacts& other : all)
    for (const Folder& f : other.folders)
      for (const auto& [column, value] : f.links) carried[f.rule + QLatin1Char('/') + column].insert(value);
  const SqliteResult tracked =
      db.Query(QStringLiteral("SELECT SID, UPPER(TRIM(TABLE_NAME)), UPPER(TRIM(RULE_NAME)) FROM TARN_STACKWRIGHT"));
  for (const QVariantList& row : tracked.rows) {
    auto link = links.find(row[1].toString());
    if (link == links.end()) continue;
    auto ids = carried.find(row[2].toString() + QLatin1Char('/') + link->second);
    if (ids != carried.end() && !ids->second.count(row[0].toLongLong())) ++c.untracked;
  }
  c.claims = db.Scalar(QStringLiteral("SELECT COUNT(*) FROM TARN_SETTINGS WHERE MASTER_KEY = 'QUILLMARK' AND "
                                      "SECTION_KEY = 'STACKWRIGHT' AND SUB_KEY = 'RUNNING_NODES'"))
                 .toLongLong();
  c.strayMembers = StrayMembers(lib, all);
  c.orphanRows = OrphanRegistryRows(db);
  const SqliteResult integrity = db.Query(QStringLiteral("PRAGMA integrity_check"));
  QStringList lines;
  for (const QVariantList& row : integrity.rows) lines << row.value(0).toString();
  c.integrity = integrity.ok ? lines.join(QStringLiteral("; ")) : integrity.error;
  return c;
}

void Print(QTextStream& out, const QString& library, const Counts& c) {
  out << library << "\n";
  out << "  folders: " << c.folders << "\n";
  out << "  duplicate folders under one parent: " << c.duplicates << "\n";
  out << "  folders filed nowhere: " << c.unfiled << "\n";
  out << "  folders filed in another library's folder that does not show them: " << c.unshown << "\n";
  out << "  filing rows naming a folder that does not exist: " << c.missingEnds << "\n";
  out << "  routed folders filed under a parent made for another row: " << c.wrongParents << "\n";
  out << "  broken item chains: " << c.brokenChains << "\n";
  out << "  folders without security: " << c.unsecured << "\n";
  out << "  tracking rows without a folder: " << c.untracked << "\n";
  out << "  claims left: " << c.claims << "\n";
  out << "  workspace members linking a missing item or no folder: " << c.strayMembers << "\n";
  out << "  workspace rows hanging from a missing row: " << c.orphanRows << "\n";
  out << "  integrity check: " << c.integrity << "\n";
}

}  // namespace

int CheckServer(const QString& dir, const QString& only, QTextStream& out, QTextStream& err) {
  QString error;
  DmServerPtr server = DmServer::Open(dir, &error);
  if (!server) {
    err << "stackwright-dm: " << error << "\n";
    return NoServer;
  }
  if (!only.isEmpty() && !server->FindLibrary(only)) {
    err << "stackwright-dm: unknown library " << only << "\n";
    return NoServer;
  }
  // Every library is read: folders of one may be filed in another's.
  std::vector<LibraryFacts> all;
  for (const DmLibraryConfig& lib : server->Config().libraries) {
    all.push_back(ReadLibrary(*server, lib.name, &error));
    if (!all.back().db) {
      err << "stackwright-dm: " << lib.name << ": " << error << "\n";
      return NoServer;
    }
  }
  bool clean = true;
  for (const LibraryFacts& lib : all) {
    if (!only.isEmpty() && lib.name.compare(only, Qt::CaseInsensitive) != 0) continue;
    const Counts counts = CountLibrary(lib, all);
    Print(out, lib.name, counts);
    clean = clean && counts.Clean();
  }
  return clean ? 0 : 1;
}

}  // namespace sw::dm
