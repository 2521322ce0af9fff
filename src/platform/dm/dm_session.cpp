// The session side of the emulated DM API: the component factory, the application object, the
// library collection, libraries and their properties.
#include <QDateTime>

#include "platform/dm/dm_objects.h"

namespace sw::dm {

// ---- DmComponents ------------------------------------------------------------------------

DmComponents::DmComponents(DmServerPtr server) : server_(std::move(server)) {}

DmApplicationPtr DmComponents::NewApplication() {
  if (failNewApplication || !server_) return nullptr;
  auto app = std::make_shared<EmApplication>(server_);
  if (libraryChooser) app->SetLibraryChooser(libraryChooser);
  return app;
}

DmApplicationPtr DmComponents::CreateApplication(const QString& progId) {
  if (failCreateApplication || !server_) return nullptr;
  if (progId.compare(QStringLiteral("DOCSObjects.Application"), Qt::CaseInsensitive) != 0) return nullptr;
  auto app = std::make_shared<EmApplication>(server_);
  if (libraryChooser) app->SetLibraryChooser(libraryChooser);
  return app;
}

PcdSqlPtr DmComponents::CreatePcdSql(const QString& progId) {
  if (failCreatePcdSql || !server_) return nullptr;
  if (progId.compare(QStringLiteral("PCDClient.PCDSQL"), Qt::CaseInsensitive) != 0) return nullptr;
  return std::make_shared<EmPcdSql>(server_);
}

DmSessionHelperPtr DmComponents::CreateSessionHelper() {
  if (!server_) return nullptr;
  return std::make_shared<EmSessionHelper>(server_);
}

DmBrowserPtr DmComponents::CreateBrowser() {
  if (failCreateBrowser) return nullptr;
  return std::make_shared<EmBrowser>();
}

// ---- application and collection ------------------------------------------------------------

EmApplication::EmApplication(DmServerPtr server) : server_(std::move(server)) {
  // The collection is fixed for the object's life, in the order server.ini lists the libraries,
  // so positions stay the same for the whole run. It is known before the log-on, as a DM client
  // knows its libraries from its own configuration.
  std::vector<EmLibraryPtr> items;
  for (const auto& lib : server_->Config().libraries) items.push_back(std::make_shared<EmLibrary>(server_, lib));
  libraries_ = std::make_shared<EmLibraries>(std::move(items));
}

void EmApplication::Login(qint64) {
  // No dialog: the server's configured user is logged on.
  token_.clear();
  if (server_->hooks.loginFails || server_->User().isEmpty()) return;
  token_ = server_->NewToken();
}

DmLibraryPtr EmApplication::CurrentLibrary() {
  return libraries_->Find(server_->Config().startLibrary);
}

DmLibraryPtr EmApplication::DefaultLibrary() {
  const QString name = server_->Config().defaultLibrary.isEmpty() ? server_->Config().startLibrary
                                                                   : server_->Config().defaultLibrary;
  return libraries_->Find(name);
}

DmLibraryPtr EmApplication::ChooseLibrary() {
  if (!chooser_ || server_->hooks.chooserMissing) return nullptr;
  QStringList names;
  for (qint64 i = 1; i <= libraries_->Count(); ++i) names << libraries_->Item(i)->Name();
  const int chosen = chooser_(names);
  if (chosen < 0 || chosen >= names.size()) return nullptr;
  return libraries_->Item(chosen + 1);
}

DmLibraryPtr EmLibraries::Item(qint64 index) {
  if (index < 1 || index > Count()) return nullptr;
  return items_[size_t(index - 1)];
}

EmLibraryPtr EmLibraries::Find(const QString& name) const {
  if (name.isEmpty()) return nullptr;
  for (const auto& lib : items_)
    if (lib->Name().compare(name, Qt::CaseInsensitive) == 0) return lib;
  return nullptr;
}

// ---- library ---------------------------------------------------------------------------------

void EmLibrary::Activate() {
  ++activations;
  Error.Clear();
  QString reason;
  if (Db(&reason)) return;
  // What a DM client reports for a library whose database it cannot reach: unspecified failure.
  Error.ErrNumber = 0x80004005;
  Error.ErrDescription = reason;
}

EmLibrary::ReadMark EmLibrary::MarkOf(SqliteDb& db, const std::vector<QString>& tables) {
  return {db.Identity(), db.TablesStamp(tables)};
}

QString EmLibrary::PrimaryGroup() const {
  QString error;
  SqliteDbPtr db = Db(&error);
  if (!db) return QString();
  const QString user = UserName();
  ReadMark mark = MarkOf(*db, {QStringLiteral("PEOPLE"), QStringLiteral("GROUPS")});
  if (mark == groupMark_ && user == groupUser_) return group_;
  const SqliteResult r = db->Read(
      QStringLiteral("SELECT G.GROUP_ID FROM PEOPLE P JOIN GROUPS G ON G.SYSTEM_ID = P.PRIMARY_GROUP WHERE P.USER_ID = ?"),
      {user});
  group_ = r.ok ? DmValueText(r.Value(0, 0)) : QString();
  // A failed read is not kept, as with the properties: the next call asks again.
  groupMark_ = r.ok ? std::move(mark) : ReadMark{};
  groupUser_ = user;
  return group_;
}

bool EmLibrary::IsPrimary() const {
  // The user's primary library is the session's default library.
  const auto& cfg = server_->Config();
  const QString primary = cfg.defaultLibrary.isEmpty() ? cfg.startLibrary : cfg.defaultLibrary;
  return primary.compare(config_.name, Qt::CaseInsensitive) == 0;
}

DmLibraryPropertiesPtr EmLibrary::Properties() {
  // A right granted or withdrawn in the library shows at the next call: the table's stamp changes.
  std::vector<DmLibraryPropertyPtr> items;
  QString error;
  SqliteDbPtr db = Db(&error);
  if (!db) return std::make_shared<EmLibraryProperties>(std::move(items));
  ReadMark mark = MarkOf(*db, {QStringLiteral("DM_PROPERTIES")});
  if (properties_ && mark == propertiesMark_) return properties_;
  const SqliteResult r = db->Query(QStringLiteral("SELECT NAME, VALUE FROM DM_PROPERTIES ORDER BY ORDINAL"));
  for (const auto& row : r.rows) {
    // Numbers (the rights: -1 granted, 0 denied) come back as numbers, other values as text.
    const QString text = row[1].toString();
    bool isNumber = false;
    const qint64 n = text.toLongLong(&isNumber);
    items.push_back(std::make_shared<EmLibraryProperty>(row[0].toString(), isNumber ? QVariant(n) : QVariant(text)));
  }
  properties_ = std::make_shared<EmLibraryProperties>(std::move(items));
  // A failed read is not kept: the next call asks again.
  propertiesMark_ = r.ok ? std::move(mark) : ReadMark{};
  return properties_;
}

DmLibraryPropertyPtr EmLibraryProperties::Item(const QString& name) {
  for (const auto& p : items_)
    if (p->Name().compare(name, Qt::CaseInsensitive) == 0) return p;
  return nullptr;
}

DmLibraryPropertyPtr EmLibraryProperties::Item(qint64 index) {
  if (index < 1 || index > Count()) return nullptr;
  return items_[size_t(index - 1)];
}

QString EmSessionHelper::Describe() const {
  return QStringLiteral("(DM session helper for server ") + server_->Config().name + QStringLiteral(")");
}

// ---- shared helpers ----------------------------------------------------------------------------

QString DmValueText(const QVariant& v) {
  if (!v.isValid() || v.isNull()) return QString();
  if (v.typeId() == QMetaType::Double) return DmNumberText(v.toDouble());
  return v.toString();
}

QString DmToday() { return QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")); }

QString DmNow() {
  // Every new folder stamps several rows: the local time is worked out once a second, not for each.
  thread_local qint64 second = -1;
  thread_local QString text;
  const qint64 now = QDateTime::currentSecsSinceEpoch();
  if (now != second) {
    text = QDateTime::fromSecsSinceEpoch(now).toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    second = now;
  }
  return text;
}

}  // namespace sw::dm
