#include "platform/settings/settings_store.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

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

}  // namespace

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
  const QString path = SettingsFile(app);
  if (!QFileInfo::exists(path)) return defaultValue;
  QSettings settings(path, QSettings::IniFormat);
  const QString handEdited = HandEditedGeneralKey(settings, section, key);
  if (!handEdited.isEmpty()) return ValueText(settings.value(handEdited));
  const QString group = GroupFor(settings, section);
  if (group.isEmpty()) return defaultValue;
  settings.beginGroup(group);
  const QString storedKey = FindStored(settings.childKeys(), key);
  if (storedKey.isEmpty()) return defaultValue;
  return ValueText(settings.value(storedKey));
}

bool SettingsStore::SaveSetting(const QString& app, const QString& section, const QString& key, const QString& value) {
  if (section.isEmpty() || key.isEmpty()) return false;
  return SaveSettings(app, {{section, key, value}});
}

bool SettingsStore::SaveSettings(const QString& app, const QList<SettingValue>& values) {
  const QString path = SettingsFile(app);
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSettings settings(path, QSettings::IniFormat);
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
  settings.sync();
  return saved && settings.status() == QSettings::NoError;
}

void SettingsStore::DeleteSetting(const QString& app, const QString& section, const QString& key) {
  if (section.isEmpty()) return;
  const QString path = SettingsFile(app);
  if (!QFileInfo::exists(path)) return;
  QSettings settings(path, QSettings::IniFormat);
  if (IsGeneral(section)) {
    for (const QString& handEdited : settings.childKeys())
      if (key.isEmpty() || DecodeName(handEdited).compare(key, Qt::CaseInsensitive) == 0) settings.remove(handEdited);
  }
  const QString group = GroupFor(settings, section);
  if (group.isEmpty()) {
    settings.sync();
    return;
  }
  if (key.isEmpty()) {
    settings.remove(group);
  } else {
    settings.beginGroup(group);
    const QString storedKey = FindStored(settings.childKeys(), key);
    if (!storedKey.isEmpty()) settings.remove(storedKey);
    settings.endGroup();
  }
  settings.sync();
}

}  // namespace sw
