#include "platform/settings/settings_store.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLockFile>
#include <QSettings>
#include <QStringList>
#include <QTemporaryDir>
#include <cerrno>
#include <climits>
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/utf8_text.h"

namespace sw {

namespace {

// QSettings reads "/" and "\" in a name as a group separator, and drops a leading U+FEFF as a
// byte-order mark; these characters are escaped before a name reaches it, so a library called
// "A/B" stays one section and "\ufeffA" stays apart from "A".
QString EncodeName(const QString& name) {
  QString out;
  out.reserve(name.size());
  for (const QChar c : name) {
    if (c == QLatin1Char('%'))
      out += QStringLiteral("%25");
    else if (c == QLatin1Char('/'))
      out += QStringLiteral("%2F");
    else if (c == QLatin1Char('\\'))
      out += QStringLiteral("%5C");
    else if (c == QChar(0xFEFF))
      out += QStringLiteral("%EF%BB%BF");
    else
      out += c;
  }
  return out;
}

QString DecodeName(const QString& stored) {
  return Utf8Text(QByteArray::fromPercentEncoding(stored.toUtf8()));
}

// The stored spelling of a name among the stored ones, compared case-blind; empty if absent.
QString FindStored(const QStringList& stored, const QString& name) {
  for (const QString& s : stored) {
    if (DecodeName(s).compare(name, Qt::CaseInsensitive) == 0) return s;
  }
  return QString();
}

QString ConfigFolder() {
  const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (!xdg.isEmpty()) return xdg;
  return QDir::homePath() + QStringLiteral("/.config");
}

// An application name made into a file name: characters that do not belong in one become "_".
QString FileNameFor(const QString& app) {
  QString name;
  for (const QChar c : app.trimmed()) {
    const bool plain = c.isLetterOrNumber() || c == QLatin1Char(' ') || c == QLatin1Char('-') ||
                       c == QLatin1Char('_') || c == QLatin1Char('.');
    name += plain ? c : QLatin1Char('_');
  }
  while (name.startsWith(QLatin1Char('.'))) name.remove(0, 1);
  if (name.isEmpty()) name = QStringLiteral("_");
  return name + QStringLiteral(".ini");
}

QString GroupFor(QSettings& settings, const QString& section) {
  return FindStored(settings.childGroups(), section);
}

// The INI format keeps "[General]" for keys outside every group, so the store writes the section
// General as "[%General]". A file edited by hand under "[General]" means that section all the
// same: its keys are the section's, ahead of the stored ones, until the program saves them.
bool IsGeneral(const QString& section) { return section.compare(QStringLiteral("General"), Qt::CaseInsensitive) == 0; }

QString HandEditedGeneralKey(QSettings& settings, const QString& section, const QString& key) {
  if (!IsGeneral(section)) return QString();
  return FindStored(settings.childKeys(), key);
}

QString ValueText(const QVariant& value) {
  // A hand-edited value with commas comes back as a list; the store holds text only.
  if (value.typeId() == QMetaType::QStringList) return value.toStringList().join(QStringLiteral(", "));
  return value.toString();
}

// Puts one value into the open store; false when it held that value already.
bool Put(QSettings& settings, const SettingValue& v) {
  // A value saved goes where the store keeps it; a hand edit of it would otherwise hide it.
  const QString handEdited = HandEditedGeneralKey(settings, v.section, v.key);
  if (!handEdited.isEmpty()) settings.remove(handEdited);
  QString group = GroupFor(settings, v.section);
  if (group.isEmpty()) group = EncodeName(v.section);
  settings.beginGroup(group);
  QString storedKey = FindStored(settings.childKeys(), v.key);
  const bool same = !storedKey.isEmpty() && settings.value(storedKey).toString() == v.value;
  if (storedKey.isEmpty()) storedKey = EncodeName(v.key);
  if (!same) settings.setValue(storedKey, v.value);
  settings.endGroup();
  return !same || !handEdited.isEmpty();
}

// What the disk says of a file, to tell whether it changed since it was read: written,
// replaced or removed by a hand edit or another program.
struct FileMark {
  bool exists = false;
  qint64 size = 0;
  qint64 seconds = 0;
  qint64 nanoseconds = 0;
  quint64 inode = 0;
  bool operator==(const FileMark&) const = default;
};

FileMark MarkOf(const struct stat& st) {
  return {true, qint64(st.st_size), qint64(st.st_mtim.tv_sec), qint64(st.st_mtim.tv_nsec), quint64(st.st_ino)};
}

FileMark MarkOf(const QString& path) {
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return {};
  return MarkOf(st);
}

// A value the file holds, never a null text: that stands for a value it does not hold.
QString HeldValue(const QVariant& value) {
  const QString text = ValueText(value);
  return text.isNull() ? QStringLiteral("") : text;
}

// The value as the file holds it; a null text when it holds none.
QString StoredValue(QSettings& settings, const QString& section, const QString& key) {
  const QString handEdited = HandEditedGeneralKey(settings, section, key);
  if (!handEdited.isEmpty()) return HeldValue(settings.value(handEdited));
  const QString group = GroupFor(settings, section);
  if (group.isEmpty()) return QString();
  settings.beginGroup(group);
  const QString storedKey = FindStored(settings.childKeys(), key);
  const QString value = storedKey.isEmpty() ? QString() : HeldValue(settings.value(storedKey));
  settings.endGroup();
  return value;
}

}  // namespace

// QSettings keeps what it read of a file for the whole process, by the name it opened the file
// under, and reads it again only when its size or its time to the millisecond changed: a file
// replaced with one of the same size within the same millisecond would be answered from what was
// read before. The store so opens the file through a symbolic link under a name never used before,
// made after the file's mark was taken; QSettings writes through the link into the file itself.
// The links live in a private folder of the temporary folder, named after the process: it goes
// when the store is closed (every end of the program) or destroyed, and one that a killed process
// left goes when a later store makes its own. The file itself is opened directly only when no link
// can be made.
struct SettingsStore::Kept {
  QString app;
  QString folder;
  QString path;
  FileMark mark;
  std::unique_ptr<QTemporaryDir> links;
  int linksMade = 0;
  std::unique_ptr<QSettings> settings;
  // The answers given since the file was last read or written, by section and key;
  // a null text for a value the file does not hold.
  QHash<QString, QString> answers;
};

namespace {

constexpr QLatin1String LinksFolderPrefix("stackwright-settings-");

// Whether the process a folder of links is named after has ended; a name that is not one of
// theirs says no.
bool OwnerEnded(const QString& folderName) {
  bool isNumber = false;
  const qint64 pid = folderName.mid(LinksFolderPrefix.size()).section(QLatin1Char('-'), 0, 0).toLongLong(&isNumber);
  if (!isNumber || pid <= 0 || pid > INT_MAX) return false;
  return ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Removes what the program's processes that ended without their orderly end left: their folders
// of links in the temporary folder, and the copies an earlier version of the store kept in a
// hidden folder of the configuration folder at every end.
void RemoveLeftFolders(const QString& temp, const QString& configFolder) {
  const QDir::Filters folders = QDir::Dirs | QDir::Hidden | QDir::NoSymLinks | QDir::NoDotAndDotDot;
  for (const QFileInfo& f : QDir(temp).entryInfoList({LinksFolderPrefix + QLatin1Char('*')}, folders)) {
    if (f.ownerId() == ::getuid() && OwnerEnded(f.fileName())) QDir(f.filePath()).removeRecursively();
  }
  for (const QFileInfo& f : QDir(configFolder).entryInfoList({QStringLiteral(".settings-copies-??????")}, folders))
    QDir(f.filePath()).removeRecursively();
}

// The store's private folder for its links, after what others left is removed; not valid when
// the temporary folder takes none.
std::unique_ptr<QTemporaryDir> LinksFolder(const QString& configFolder) {
  const QString temp = QDir::tempPath();
  auto links = std::make_unique<QTemporaryDir>(temp + QLatin1Char('/') + LinksFolderPrefix +
                                               QString::number(::getpid()) + QStringLiteral("-XXXXXX"));
  if (links->isValid()) RemoveLeftFolders(temp, configFolder);
  return links;
}

// A link to the file under a new name in the store's own folder, made whether or not the file is
// there yet; empty when none can be made.
QString LinkTo(const QString& path, const QTemporaryDir& links, int number) {
  if (!links.isValid()) return QString();
  const QString link = links.filePath(QString::number(number) + QStringLiteral(".ini"));
  return QFile::link(QFileInfo(path).absoluteFilePath(), link) ? link : QString();
}

}  // namespace

SettingsStore::SettingsStore() = default;
SettingsStore::~SettingsStore() = default;

void SettingsStore::ReadAnew() const {
  // The mark first: a change made while the file is read shows as a change at the next look.
  kept_->mark = MarkOf(kept_->path);
  kept_->answers.clear();
  const bool linked = kept_->settings && kept_->settings->fileName() != kept_->path;
  const QString before = linked ? kept_->settings->fileName() : QString();
  kept_->settings.reset();
  // Made again until it can be: the temporary folder may take none for a while.
  if (!kept_->links || !kept_->links->isValid()) kept_->links = LinksFolder(kept_->folder);
  const QString link = LinkTo(kept_->path, *kept_->links, ++kept_->linksMade);
  kept_->settings = std::make_unique<QSettings>(link.isEmpty() ? kept_->path : link, QSettings::IniFormat);
  if (!before.isEmpty()) QFile::remove(before);
}

QSettings& SettingsStore::ForWriting(QLockFile& lock) const {
  lock.lock();
  if (!(MarkOf(kept_->path) == kept_->mark)) ReadAnew();
  return *kept_->settings;
}

bool SettingsStore::Written(QSettings& settings, QLockFile& lock) const {
  // Opened directly, QSettings takes the same lock to write the file, and waits for it while anyone
  // holds it; through a link it locks a name beside the link, and the store's lock stays held.
  if (settings.fileName() == kept_->path) lock.unlock();
  settings.sync();
  // QSettings would look at the file again by itself once the event loop runs: the store says when.
  QCoreApplication::removePostedEvents(&settings, QEvent::UpdateRequest);
  kept_->answers.clear();
  if (settings.status() != QSettings::NoError) {
    // What could not be written no longer stands for the file.
    ReadAnew();
    return false;
  }
  // QSettings gives no handle to mark the text it put in place from, and another program may
  // have replaced it since: a time no file has, so that the next look reads the file anew.
  kept_->mark = MarkOf(kept_->path);
  kept_->mark.nanoseconds = -1;
  return true;
}

QSettings& SettingsStore::Opened(const QString& app) const {
  const QString folder = ConfigFolder();
  const bool same = kept_ && kept_->app == app && kept_->folder == folder;
  if (!same) {
    kept_ = std::make_unique<Kept>();
    kept_->app = app;
    kept_->folder = folder;
  }
  const bool look = !oncePerCycle_ || lookDue_;
  lookDue_ = false;
  // A file not there yet may appear under another spelling: its name is looked for until it is.
  if (!same || (look && !kept_->mark.exists)) {
    const QString path = SettingsFile(app);
    if (path != kept_->path || !kept_->settings) {
      kept_->path = path;
      ReadAnew();
      return *kept_->settings;
    }
  }
  if (look && !(MarkOf(kept_->path) == kept_->mark)) ReadAnew();
  return *kept_->settings;
}

void SettingsStore::Close() { kept_.reset(); }

void SettingsStore::LookAtDiskOncePerCycle(bool on) {
  oncePerCycle_ = on;
  lookDue_ = true;
}

QString SettingsStore::SettingsFile(const QString& app) {
  const QString folder = ConfigFolder();
  const QString wanted = FileNameFor(app);
  // The name as written is found without reading the folder, which every look-up would do.
  const QString exact = folder + QLatin1Char('/') + wanted;
  if (QFileInfo::exists(exact)) return exact;
  // Application names compare case-blind too: an existing file of any spelling is the one.
  const QStringList existing = QDir(folder).entryList({QStringLiteral("*.ini")}, QDir::Files);
  for (const QString& f : existing) {
    if (f.compare(wanted, Qt::CaseInsensitive) == 0) return folder + QLatin1Char('/') + f;
  }
  return folder + QLatin1Char('/') + wanted;
}

QString SettingsStore::GetSetting(const QString& app, const QString& section, const QString& key,
                                  const QString& defaultValue) const {
  if (section.isEmpty() || key.isEmpty()) return defaultValue;
  QSettings& settings = Opened(app);
  // Folded as the names compare; the section's length keeps "A" "B/C" apart from "A/B" "C".
  const QString folded = section.toCaseFolded();
  const QString name = QString::number(folded.size()) + QLatin1Char(':') + folded + key.toCaseFolded();
  const auto known = kept_->answers.constFind(name);
  if (known != kept_->answers.constEnd()) return known->isNull() ? defaultValue : *known;
  const QString value = StoredValue(settings, section, key);
  kept_->answers.insert(name, value);
  return value.isNull() ? defaultValue : value;
}

bool SettingsStore::SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value) {
  if (section.isEmpty() || key.isEmpty()) return false;
  return SaveSettings(app, {{section, key, value}});
}

bool SettingsStore::SaveSettings(const QString& app, const QList<SettingValue>& values) {
  if (!QDir().mkpath(ConfigFolder())) return false;
  Opened(app);
  QLockFile lock(kept_->path + QStringLiteral(".lock"));
  QSettings& settings = ForWriting(lock);
  bool saved = true;
  bool changed = false;
  for (const SettingValue& v : values) {
    if (v.section.isEmpty() || v.key.isEmpty()) {
      saved = false;
      continue;
    }
    changed = Put(settings, v) || changed;
  }
  // A value that is stored already is not written again: every write replaces the file and waits
  // for the disk, and some values are saved at every library switch.
  if (!changed) return saved;
  return Written(settings, lock) && saved;
}

void SettingsStore::DeleteSetting(const QString& app, const QString& section, const QString& key) {
  if (section.isEmpty()) return;
  Opened(app);
  if (!kept_->mark.exists) return;
  QLockFile lock(kept_->path + QStringLiteral(".lock"));
  QSettings& settings = ForWriting(lock);
  const int before = settings.allKeys().size();
  if (IsGeneral(section)) {
    for (const QString& handEdited : settings.childKeys())
      if (key.isEmpty() || DecodeName(handEdited).compare(key, Qt::CaseInsensitive) == 0) settings.remove(handEdited);
  }
  const QString group = GroupFor(settings, section);
  if (!group.isEmpty() && key.isEmpty()) {
    settings.remove(group);
  } else if (!group.isEmpty()) {
    settings.beginGroup(group);
    const QString storedKey = FindStored(settings.childKeys(), key);
    if (!storedKey.isEmpty()) settings.remove(storedKey);
    settings.endGroup();
  }
  if (settings.allKeys().size() != before) Written(settings, lock);
}

}  // namespace sw
