#include "platform/dm/dm_create.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <filesystem>
#include <system_error>

#include "platform/dm/dm_objects.h"
#include "platform/dm/dm_schema.h"
#include "platform/dm/dm_server.h"
#include "platform/dm/dm_sqlite.h"
#include "platform/dm/sql_functions.h"

namespace sw::dm {

namespace {

// Ids handed out while a library is filled; the key counter is set past them at the end.
struct IdSource {
  qint64 systemKey = 1000;
  qint64 docNumber = 0;
  qint64 Next() { return ++systemKey; }
  qint64 NextDoc() { return ++docNumber; }
};

class Filler {
 public:
  Filler(SqliteDb& db, IdSource& ids) : db_(db), ids_(ids) {}
  bool ok = true;
  QString error;

  void Exec(const QString& sql, const QVariantList& params = {}) {
    if (!ok) return;
    const SqliteResult r = db_.Query(sql, params);
    if (!r.ok) {
      ok = false;
      error = r.error + QStringLiteral(" in: ") + sql;
    }
  }
  qint64 Id(const QString& sql, const QVariantList& params) {  // first column of a look-up
    return db_.Scalar(sql, params).toLongLong();
  }
  SqliteDb& db_;
  IdSource& ids_;
};

struct FormColumn {
  const char* name;
  const char* profileColumn;
  const char* lookupTable;
  const char* lookupColumn;
  int typeCode;
  bool isProtected;
};

// The fields of the profile forms. Type codes: 1 text, 4 numeric; 128 marks a protected field
// that may still be written (author, typist, application are set when a profile is made).
// DOCNUM, SECURITY and CREATION_DATE belong to the DM and are protected.
const FormColumn kFormColumns[] = {
    {"DOCNUM", "DOCNUMBER", nullptr, nullptr, 4, true},
    {"DOCNAME", "DOCNAME", nullptr, nullptr, 1, false},
    {"ABSTRACT", "ABSTRACT", nullptr, nullptr, 1, false},
    {"AUTHOR_ID", "AUTHOR", "PEOPLE", "USER_ID", 128, true},
    {"TYPIST_ID", "TYPIST", "PEOPLE", "USER_ID", 128, true},
    {"APP_ID", "APPLICATION", "APPS", "APPLICATION", 128, true},
    {"TYPE_ID", "DOCUMENTTYPE", "DOCUMENTTYPES", "TYPE_ID", 1, false},
    {"CLIENT_ID", "CLIENT_ID", "CLIENT", "CLIENT_ID", 1, false},
    {"MATTER_ID", "MATTER", "MATTER", "MATTER_ID", 1, false},
    {"RETENTION", "RETENTION", nullptr, nullptr, 4, false},
    {"PD_EMAIL_ADDRESS", "PD_ADDRESSEE", nullptr, nullptr, 1, false},
    {"SECURITY", "DEFAULT_RIGHTS", nullptr, nullptr, 4, true},
    {"CREATION_DATE", "CREATION_DATE", nullptr, nullptr, 1, true},
};

struct ColumnLink {
  const char* table;
  const char* column;
  const char* foreignTable;
  const char* foreignColumn;
};

// The foreign keys that DOCSCOLUMN registers; the system walks column paths such as
// MATTER.CLIENT_ID.CLIENT_ID along them, starting at PROFILE.
const ColumnLink kLinks[] = {
    {"PROFILE", "AUTHOR", "PEOPLE", "SYSTEM_ID"},       {"PROFILE", "TYPIST", "PEOPLE", "SYSTEM_ID"},
    {"PROFILE", "APPLICATION", "APPS", "SYSTEM_ID"},    {"PROFILE", "DOCUMENTTYPE", "DOCUMENTTYPES", "SYSTEM_ID"},
    {"PROFILE", "CLIENT_ID", "CLIENT", "SYSTEM_ID"},    {"PROFILE", "MATTER", "MATTER", "SYSTEM_ID"},
    {"PROFILE", "FORM", "FORMS", "SYSTEM_ID"},          {"PROFILE", "LAST_EDITED_BY", "PEOPLE", "SYSTEM_ID"},
    {"MATTER", "CLIENT_ID", "CLIENT", "SYSTEM_ID"},     {"MATTER", "PRACTICE_ID", "PRACTICE", "SYSTEM_ID"},
    {"CLIENT", "INDUSTRY_ID", "INDUSTRY", "SYSTEM_ID"}, {"PEOPLE", "PRIMARY_GROUP", "GROUPS", "SYSTEM_ID"},
};

const char* kPlainColumns[][2] = {
    {"PROFILE", "SYSTEM_ID"},     {"PROFILE", "DOCNUMBER"},      {"PROFILE", "DOCNAME"},
    {"PROFILE", "ABSTRACT"},      {"PROFILE", "STATUS"},         {"PROFILE", "DEFAULT_RIGHTS"},
    {"PROFILE", "SECURITY_LINK"}, {"PROFILE", "SEC_REASON_LINK"}, {"PROFILE", "CREATION_DATE"},
    {"PROFILE", "LAST_EDIT_DATE"}, {"PROFILE", "PD_ADDRESSEE"},  {"PROFILE", "RETENTION"},
    {"FOLDER", "SYSTEM_ID"},      {"FOLDER", "DOCNUMBER"},       {"FOLDER", "PATH"},
    {"CLIENT", "SYSTEM_ID"},      {"CLIENT", "CLIENT_ID"},       {"CLIENT", "CLIENT_NAME"},
    {"CLIENT", "DISABLED"},       {"MATTER", "SYSTEM_ID"},       {"MATTER", "MATTER_ID"},
    {"MATTER", "MATTER_NAME"},    {"MATTER", "DISABLED"},        {"DOCUMENTTYPES", "SYSTEM_ID"},
    {"DOCUMENTTYPES", "TYPE_ID"}, {"DOCUMENTTYPES", "DESCRIPTION"}, {"DOCUMENTTYPES", "DISABLED"},
    {"APPS", "SYSTEM_ID"},        {"APPS", "APPLICATION"},       {"PEOPLE", "SYSTEM_ID"},
    {"PEOPLE", "USER_ID"},        {"PEOPLE", "FULL_NAME"},       {"PEOPLE", "EMAIL_ADDRESS"},
    {"GROUPS", "SYSTEM_ID"},      {"GROUPS", "GROUP_ID"},        {"GROUPS", "GROUP_NAME"},
    {"INDUSTRY", "SYSTEM_ID"},    {"INDUSTRY", "DESCRIPTION"},   {"PRACTICE", "SYSTEM_ID"},
    {"PRACTICE", "DESCRIPTION"},
};

void RegisterColumn(Filler& f, const QString& owner, const QString& table, const QString& column,
                    const QString& foreignTable, const QString& foreignColumn) {
  f.Exec(QStringLiteral("INSERT INTO DOCSCOLUMN (SYSTEM_ID, TBNAME, COLNAME, FTBNAME, FCOLNAME, CREATOR, PROTECTED, "
                        "VISIBLEINLIST, USER_MODIFIABLE, USER_ADDED, REQUIRED, ALLUPPER, ALLOWNULLS, OBJECTTYPE, "
                        "CMSKEY, KEYGROUP, PROMPT, CMSTYPE, COL_LENGTH, MULTI_VALUE) "
                        "VALUES (?, ?, ?, ?, ?, ?, 'N', 'Y', 'Y', 'N', 'N', 'N', 'Y', 'EDIT', 'N', '', ?, 1, 0, 'N')"),
         {f.ids_.Next(), table, column, foreignTable, foreignColumn, owner, column});
}

void FillBase(Filler& f, const DmLibrarySetup& lib, const std::vector<DmLibrarySetup>& all, const QString& user) {
  // The library's own entry is SYSTEM_ID 0; the other libraries follow with ids of their own.
  for (const auto& other : all) {
    const bool own = other.name == lib.name;
    f.Exec(QStringLiteral("INSERT INTO REMOTE_LIBRARIES (SYSTEM_ID, LIBRARY_NAME, DATABASE_NAME, DATABASE_ENGINE, "
                          "SERVER_LOCATION, OWNER, SQL_PASSWORD, LIB_LOGIN_UNAME) VALUES (?, ?, ?, ?, ?, ?, '', ?)"),
           {own ? 0 : f.ids_.Next(), other.name, other.name, other.engine, QStringLiteral("DMSQL01"), other.owner,
            other.owner});
  }
  for (const char* app : {"FOLDER", "MS WORD", "ACROBAT", "MS EXCEL", "MS OUTLOOK"})
    f.Exec(QStringLiteral("INSERT INTO APPS (SYSTEM_ID, APPLICATION, DESCRIPTION) VALUES (?, ?, ?)"),
           {f.ids_.Next(), QString::fromLatin1(app), QString::fromLatin1(app)});
  f.Exec(QStringLiteral("INSERT INTO DOCUMENTTYPES (SYSTEM_ID, TYPE_ID, DESCRIPTION) VALUES (?, 'FOLDER', 'Folder')"),
         {f.ids_.Next()});
  const qint64 supervisors = f.ids_.Next();
  f.Exec(QStringLiteral("INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) "
                        "VALUES (?, 'DOCS_SUPERVISORS', 'DM Supervisors', 255)"),
         {supervisors});
  f.Exec(QStringLiteral("INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) "
                        "VALUES (?, 'DOCS_USERS', 'DM Users', 0)"),
         {f.ids_.Next()});
  // The logged-on user: the administrator, whose primary library is the first one.
  const qint64 primaryLib = all.front().name == lib.name
                                ? 0
                                : f.Id(QStringLiteral("SELECT SYSTEM_ID FROM REMOTE_LIBRARIES WHERE LIBRARY_NAME = ?"),
                                       {all.front().name});
  const qint64 admin = f.ids_.Next();
  f.Exec(QStringLiteral("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP, PRIMARY_LIB, EMAIL_ADDRESS) "
                        "VALUES (?, ?, 'DM Administrator', ?, ?, ?)"),
         {admin, user.toUpper(), supervisors, primaryLib, user.toLower() + QStringLiteral("@example.com")});
  f.Exec(QStringLiteral("INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) VALUES (?, ?)"), {admin, supervisors});

  const qint64 folderApp = f.Id(QStringLiteral("SELECT SYSTEM_ID FROM APPS WHERE APPLICATION = 'FOLDER'"), {});
  const qint64 folderForm = f.ids_.Next();
  const qint64 docForm = f.ids_.Next();
  f.Exec(QStringLiteral("INSERT INTO FORMS (SYSTEM_ID, FORM_NAME, FORM_TITLE, FORM_TYPE, APPLICATION) "
                        "VALUES (?, 'FOLDER_PROF', 'Folder Profile', 'P', ?)"),
         {folderForm, folderApp});
  f.Exec(QStringLiteral("INSERT INTO FORMS (SYSTEM_ID, FORM_NAME, FORM_TITLE, FORM_TYPE) "
                        "VALUES (?, 'DEF_PROF', 'Document Profile', 'P')"),
         {docForm});
  for (qint64 form : {folderForm, docForm}) {
    int ordinal = 0;
    for (const auto& c : kFormColumns) {
      f.Exec(QStringLiteral("INSERT INTO DM_FORM_COLUMNS (FORM, ORDINAL, NAME, PROFILE_COLUMN, LOOKUP_TABLE, "
                            "LOOKUP_COLUMN, TYPE_CODE, PROTECTED) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
             {form, ++ordinal, QString::fromLatin1(c.name), QString::fromLatin1(c.profileColumn),
              c.lookupTable ? QVariant(QString::fromLatin1(c.lookupTable)) : QVariant(),
              c.lookupColumn ? QVariant(QString::fromLatin1(c.lookupColumn)) : QVariant(), c.typeCode,
              c.isProtected ? QStringLiteral("Y") : QStringLiteral("N")});
    }
  }
  for (const auto& l : kLinks)
    RegisterColumn(f, lib.owner, QString::fromLatin1(l.table), QString::fromLatin1(l.column),
                   QString::fromLatin1(l.foreignTable), QString::fromLatin1(l.foreignColumn));
  for (const auto& c : kPlainColumns)
    RegisterColumn(f, lib.owner, QString::fromLatin1(c[0]), QString::fromLatin1(c[1]), QString(), QString());
  for (const char* t : {"PROFILE", "FOLDER", "CLIENT", "MATTER", "DOCUMENTTYPES", "APPS", "PEOPLE", "GROUPS",
                        "INDUSTRY", "PRACTICE", "FORMS", "SECURITY", "REMOTE_LIBRARIES"}) {
    const QString name = QString::fromLatin1(t);
    const bool validation = name == QLatin1String("CLIENT") || name == QLatin1String("MATTER") ||
                            name == QLatin1String("DOCUMENTTYPES") || name == QLatin1String("APPS");
    f.Exec(QStringLiteral("INSERT INTO DOCSTABLE (SYSTEM_ID, TABLE_NAME, DESCRIPTION, VALIDATION_TABLE) VALUES (?, ?, ?, ?)"),
           {f.ids_.Next(), name, name, validation ? QStringLiteral("Y") : QStringLiteral("N")});
  }
  // Security reasons as a DM installs them; the system adds its own code 98 when missing.
  f.Exec(QStringLiteral("INSERT INTO SEC_REASON (SYSTEM_ID, CODE, DESCRIPTION) VALUES (?, 1, 'Default security')"),
         {f.ids_.Next()});
  const struct {
    const char* name;
    QString value;
  } properties[] = {
      {"User.ManageRootFolders", QStringLiteral("-1")},
      {"User.CreateFolder", QStringLiteral("-1")},
      {"User.SaveToRemoteLibrary", QStringLiteral("-1")},
      {"DOCSParms.UniqueDocNames", QStringLiteral("0")},
      {"DOCSParms.LibraryName", lib.name},
      {"DOCSParms.DatabaseVendor", QString::number(lib.engine)},
      {"User.UserID", user.toUpper()},
      {"User.FullName", QStringLiteral("DM Administrator")},
  };
  for (const auto& p : properties)
    f.Exec(QStringLiteral("INSERT INTO DM_PROPERTIES (NAME, VALUE) VALUES (?, ?)"), {QString::fromLatin1(p.name), p.value});
}

const char* kClientNames[] = {"Acme Corporation", "Globex", "Initech", "Umbrella Holdings", "Stark Industries",
                              "Wayne Enterprises", "Wonka Confections", "Tyrell Systems", "Cyberdyne", "Soylent Foods",
                              "Hooli", "Vandelay Imports", "Duff Brewing", "Monarch Shipping", "Oceanic Airlines",
                              "Gringotts Trust", "Prestige Worldwide", "Dunder Paper", "Pied Piper", "Massive Dynamic"};
const char* kMatterWords[] = {"Acquisition", "Lease Review", "Employment Dispute", "Patent Filing", "Merger",
                              "Tax Advice", "Contract Renewal", "Litigation", "Licensing", "Compliance Audit"};
const char* kDocTypes[][2] = {{"CORR", "Correspondence"}, {"MEMO", "Memorandum"}, {"AGMT", "Agreement"},
                              {"PLEAD", "Pleading"},      {"NOTE", "File Note"},  {"RESEARCH", "Research"}};
const char* kUsers[][3] = {{"JSMITH", "Jane Smith", "LITIGATION"}, {"MJONES", "Mark Jones", "CORPORATE"},
                           {"APATEL", "Anita Patel", "CORPORATE"},  {"TNGUYEN", "Tom Nguyen", "LITIGATION"},
                           {"LGARCIA", "Luis Garcia", "DOCS_USERS"}};

void FillDemo(Filler& f, const DmDemoSize& size) {
  const qint64 docsUsers = f.Id(QStringLiteral("SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = 'DOCS_USERS'"), {});
  for (const char* g : {"LITIGATION", "CORPORATE"})
    f.Exec(QStringLiteral("INSERT INTO GROUPS (SYSTEM_ID, GROUP_ID, GROUP_NAME, UNIV_ACCESS) VALUES (?, ?, ?, 0)"),
           {f.ids_.Next(), QString::fromLatin1(g), QString::fromLatin1(g)});
  std::vector<qint64> people{f.Id(QStringLiteral("SELECT SYSTEM_ID FROM PEOPLE"), {})};
  for (const auto& u : kUsers) {
    const qint64 id = f.ids_.Next();
    const qint64 group = f.Id(QStringLiteral("SELECT SYSTEM_ID FROM GROUPS WHERE GROUP_ID = ?"), {QString::fromLatin1(u[2])});
    f.Exec(QStringLiteral("INSERT INTO PEOPLE (SYSTEM_ID, USER_ID, FULL_NAME, PRIMARY_GROUP, PRIMARY_LIB, EMAIL_ADDRESS) "
                          "VALUES (?, ?, ?, ?, 0, ?)"),
           {id, QString::fromLatin1(u[0]), QString::fromLatin1(u[1]), group,
            QString::fromLatin1(u[0]).toLower() + QStringLiteral("@example.com")});
    f.Exec(QStringLiteral("INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) VALUES (?, ?)"), {id, group});
    if (group != docsUsers)
      f.Exec(QStringLiteral("INSERT INTO PEOPLEGROUPS (PEOPLE_SYSTEM_ID, GROUPS_SYSTEM_ID) VALUES (?, ?)"), {id, docsUsers});
    people.push_back(id);
  }
  std::vector<qint64> types;
  for (const auto& t : kDocTypes) {
    types.push_back(f.ids_.Next());
    f.Exec(QStringLiteral("INSERT INTO DOCUMENTTYPES (SYSTEM_ID, TYPE_ID, DESCRIPTION) VALUES (?, ?, ?)"),
           {types.back(), QString::fromLatin1(t[0]), QString::fromLatin1(t[1])});
  }
  std::vector<qint64> industries, practices;
  for (const char* name : {"Manufacturing", "Finance", "Technology", "Retail", "Transport"}) {
    industries.push_back(f.ids_.Next());
    f.Exec(QStringLiteral("INSERT INTO INDUSTRY (SYSTEM_ID, INDUSTRY_ID, DESCRIPTION) VALUES (?, ?, ?)"),
           {industries.back(), QString::fromLatin1(name).left(4).toUpper(), QString::fromLatin1(name)});
  }
  for (const char* name : {"Litigation", "Corporate", "Real Estate", "Employment", "Intellectual Property"}) {
    practices.push_back(f.ids_.Next());
    f.Exec(QStringLiteral("INSERT INTO PRACTICE (SYSTEM_ID, PRACTICE_ID, DESCRIPTION) VALUES (?, ?, ?)"),
           {practices.back(), QString::fromLatin1(name).left(4).toUpper(), QString::fromLatin1(name)});
  }
  std::vector<qint64> clients;
  const int clientNames = int(sizeof kClientNames / sizeof kClientNames[0]);
  for (int c = 0; c < size.clients; ++c) {
    clients.push_back(f.ids_.Next());
    QString name = QString::fromLatin1(kClientNames[c % clientNames]);
    if (c >= clientNames) name += QStringLiteral(" ") + QString::number(c / clientNames + 1);
    f.Exec(QStringLiteral("INSERT INTO CLIENT (SYSTEM_ID, CLIENT_ID, CLIENT_NAME, INDUSTRY_ID) VALUES (?, ?, ?, ?)"),
           {clients.back(), QStringLiteral("C%1").arg(c + 1, 4, 10, QLatin1Char('0')), name,
            industries[size_t(c) % industries.size()]});
  }
  struct Matter {
    qint64 id;
    qint64 client;
  };
  std::vector<Matter> matters;
  const int words = int(sizeof kMatterWords / sizeof kMatterWords[0]);
  for (int m = 0; m < size.matters && !clients.empty(); ++m) {
    const qint64 client = clients[size_t(m) % clients.size()];
    matters.push_back({f.ids_.Next(), client});
    f.Exec(QStringLiteral("INSERT INTO MATTER (SYSTEM_ID, CLIENT_ID, MATTER_ID, MATTER_NAME, PRACTICE_ID) "
                          "VALUES (?, ?, ?, ?, ?)"),
           {matters.back().id, client, QStringLiteral("M%1").arg(m + 1, 5, 10, QLatin1Char('0')),
            QString::fromLatin1(kMatterWords[m % words]) + QStringLiteral(" ") + QString::number(m / words + 1),
            practices[size_t(m) % practices.size()]});
  }
  const qint64 docForm = f.Id(QStringLiteral("SELECT SYSTEM_ID FROM FORMS WHERE FORM_NAME = 'DEF_PROF'"), {});
  const SqliteResult apps = f.db_.Query(QStringLiteral("SELECT SYSTEM_ID FROM APPS WHERE APPLICATION <> 'FOLDER' ORDER BY SYSTEM_ID"));
  const QString today = DmToday();
  for (int d = 0; d < size.documents && !matters.empty(); ++d) {
    const Matter& m = matters[size_t(d) % matters.size()];
    const qint64 author = people[size_t(d) % people.size()];
    const qint64 typist = people[size_t(d / 3) % people.size()];
    const qint64 type = types[size_t(d) % types.size()];
    const qint64 app = apps.rows.isEmpty() ? 0 : apps.rows[d % apps.rows.size()][0].toLongLong();
    const qint64 docNumber = f.ids_.NextDoc();
    const QString name = QString::fromLatin1(kDocTypes[size_t(d) % types.size()][1]) + QStringLiteral(" ") +
                         QString::number(d / int(types.size()) + 1);
    f.Exec(QStringLiteral("INSERT INTO PROFILE (SYSTEM_ID, DOCNUMBER, DOCNAME, ABSTRACT, AUTHOR, TYPIST, APPLICATION, "
                          "DOCUMENTTYPE, FORM, CLIENT_ID, MATTER, STATUS, DEFAULT_RIGHTS, STORAGETYPE, PATH, RETENTION, "
                          "FULLTEXT, CREATION_DATE, LAST_EDIT_DATE, LAST_EDITED_BY) "
                          "VALUES (?, ?, ?, '', ?, ?, ?, ?, ?, ?, ?, 0, 0, 'A', '', 0, 'Y', ?, ?, ?)"),
           {f.ids_.Next(), docNumber, name, author, typist, app, type, docForm, m.client, m.id, today, today, typist});
    f.Exec(QStringLiteral("INSERT INTO VERSIONS (VERSION_ID, DOCNUMBER, VERSION, SUBVERSION, VERSION_LABEL, AUTHOR, "
                          "TYPIST, STATUS, CREATION_DATE) VALUES (?, ?, 1, '!', '1', ?, ?, 0, ?)"),
           {f.ids_.Next(), docNumber, author, typist, today});
  }
  f.Exec(QStringLiteral("INSERT INTO FORMS (SYSTEM_ID, FORM_NAME, FORM_TITLE, FORM_TYPE) "
                        "VALUES (?, 'WORKSPACE_PROF', 'Workspace Profile', 'P')"),
         {f.ids_.Next()});

  // The library's settings and one rule: each matter's documents go into a folder for the
  // matter, filed in a public folder for its client.
  const QString settings = QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
                                          "VALUES ('QUILLMARK', 'SETTINGS', ?, ?, ?)");
  f.Exec(settings, {QStringLiteral("MAXITEMSTOSORT"), QVariant(), 0});
  f.Exec(settings, {QStringLiteral("TOPLEVELWARNING"), QVariant(), 0});
  const QString rule = QStringLiteral("CLIENT MATTERS");
  const struct {
    const char* key;
    QVariant text;
    QVariant number;
  } fields[] = {
      {"RULE_TEMPLATE", QStringLiteral("%MATTER.CLIENT_ID.CLIENT_ID% %\\% %MATTER.MATTER_ID%"), QVariant()},
      {"RULE_VALUES", QStringLiteral("%APPLICATION.APPLICATION% <> 'FOLDER'"), QVariant()},
      {"RULE_SECURITY", QStringLiteral("%AUTHOR.PRIMARY_GROUP% = 127; %TYPIST.PRIMARY_GROUP% = 127; "
                                       "GROUP:DOCS_SUPERVISORS = 255; GROUP:DOCS_USERS = 63"),
       QVariant()},
      {"RULE_FORM", QStringLiteral("***DEFAULT FORM***"), QVariant()},
      {"RULE_AUTO_CREATE_FOLDERS", QVariant(), 1},
      {"RULE_CREATE_PUBLIC_FOLDERS", QVariant(), 1},
      {"RULE_PROFILE_INHERIT_SECURITY", QVariant(), 0},
      {"RULE_APPEND_TRUSTEES", QVariant(), 1},
      {"RULE_AUTHOR_SOURCE", QStringLiteral("Default"), QVariant()},
      {"RULE_PURPOSE", QStringLiteral("***All Modules***"), QVariant()},
  };
  for (const auto& field : fields)
    f.Exec(QStringLiteral("INSERT INTO TARN_SETTINGS (MASTER_KEY, SECTION_KEY, SUB_KEY, CHAR_VAL, INT_VAL) "
                          "VALUES ('QUILLMARK', ?, ?, ?, ?)"),
           {QString::fromLatin1(field.key), rule, field.text, field.number});
}

bool FillLibrary(const QString& file, const DmLibrarySetup& lib, const std::vector<DmLibrarySetup>& all,
                 const QString& user, const DmDemoSize& size, QString* error) {
  QFile::remove(file);
  QFile::remove(file + QStringLiteral("-wal"));
  QFile::remove(file + QStringLiteral("-shm"));
  SqliteDbPtr db = SqliteDb::Open(file, true, error);
  if (!db || !sql::RegisterTextCollation(db->Handle(), lib.engine, error) || !CreateLibrarySchema(*db, error)) return false;
  if (!db->ExecScript(QStringLiteral("BEGIN"), error)) return false;
  IdSource ids;
  Filler f(*db, ids);
  FillBase(f, lib, all, user);
  if (lib.demoData) FillDemo(f, size);
  f.Exec(QStringLiteral("INSERT INTO DM_NEXTKEY (KEY_NAME, LAST_KEY) VALUES (?, ?)"), {SystemKeyName, ids.systemKey});
  f.Exec(QStringLiteral("INSERT INTO DM_NEXTKEY (KEY_NAME, LAST_KEY) VALUES (?, ?)"), {DocNumberKeyName, ids.docNumber});
  if (!f.ok) {
    db->ExecScript(QStringLiteral("ROLLBACK"), nullptr);
    if (error) *error = f.error;
    return false;
  }
  return db->ExecScript(QStringLiteral("COMMIT"), error);
}

// Makes the server's folder, with any folder above it that is missing; false, saying why, when it
// cannot be made.
bool MakeServerFolder(const QString& dir, QString* error) {
  if (QFileInfo(dir).exists() && !QFileInfo(dir).isDir()) {
    if (error) *error = dir + QStringLiteral(" is a file, not a folder");
    return false;
  }
  std::error_code failed;
  std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(dir).toStdString()), failed);
  if (!failed) return true;
  if (error)
    *error = QStringLiteral("cannot create the folder ") + dir + QStringLiteral(" (") +
             QString::fromLocal8Bit(failed.message().c_str()) + QStringLiteral(")");
  return false;
}

DmLibraryConfig ConfigFor(const DmLibrarySetup& lib) {
  DmLibraryConfig c;
  c.name = lib.name;
  c.file = lib.name + QStringLiteral(".sqlite");
  c.engine = lib.engine;
  c.owner = lib.owner;
  c.serverName = QStringLiteral("DMSQL01");
  c.databaseName = lib.name;
  const bool oracle = IsOracleEngine(lib.engine);
  c.description = lib.name + (oracle ? QStringLiteral(" (Oracle)") : QStringLiteral(" (SQL Server)"));
  if (oracle) {
    c.versionText = QStringLiteral("Oracle Database 19c Enterprise Edition Release 19.0.0.0.0 - Production");
    c.productVersion = QStringLiteral("19.0.0.0.0");
  } else {
    c.versionText = QStringLiteral("Microsoft SQL Server 2012 - 11.0.2100.60 (X64) \n\tFeb 10 2012 19:39:15 \n\t"
                                   "Copyright (c) Microsoft Corporation\n\tStandard Edition (64-bit)");
    c.productVersion = QStringLiteral("11.0.2100.60");
    c.compatibilityLevel = 110;
  }
  return c;
}

}  // namespace

std::vector<DmLibrarySetup> DemoLibraries(bool demoData) {
  return {{QStringLiteral("LAWLIB"), 10, QStringLiteral("DOCSADM"), demoData},
          {QStringLiteral("ORALIB"), 2, QStringLiteral("DOCSADM"), demoData}};
}

bool CreateDmServer(const QString& dir, const std::vector<DmLibrarySetup>& libraries, const QString& user,
                    const DmDemoSize& size, QString* error) {
  if (libraries.empty()) {
    if (error) *error = QStringLiteral("no library to create");
    return false;
  }
  if (!MakeServerFolder(dir, error)) return false;
  DmServerConfig config;
  config.user = user.toUpper();
  config.startLibrary = libraries.front().name;
  config.defaultLibrary = libraries.front().name;
  for (const auto& lib : libraries) {
    config.libraries.push_back(ConfigFor(lib));
    const QString file = QDir(dir).filePath(config.libraries.back().file);
    if (FillLibrary(file, lib, libraries, user, size, error)) continue;
    if (error) *error = QStringLiteral("the library file ") + file + QStringLiteral(" cannot be made (") + *error + QStringLiteral(")");
    return false;
  }
  if (!DmServer::WriteConfig(dir, config, error)) return false;
  return WriteRegistryFile(QDir(dir).filePath(RegistryFileName()), error);
}

QString RegistryFileName() { return QStringLiteral("registry.ini"); }

bool WriteRegistryFile(const QString& file, QString* error) {
  QFile out(file);
  if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text)) {
    if (error) *error = QStringLiteral("cannot write ") + file;
    return false;
  }
  QTextStream s(&out);
  s << "; The machine's registry as the DM client installed it: one group per key path.\n";
  s << "[HKEY_LOCAL_MACHINE\\Software\\Hummingbird\\PowerDOCS]\n";
  s << "CurrentVersion=5.3.1\n";
  s << "PatchLevel=6\n";
  return true;
}

}  // namespace sw::dm
