#include "platform/registry/registry_key.h"

#include <QFile>
#include <QStandardPaths>
#include <QTextStream>

namespace sw {

namespace {

const QChar Separator = QLatin1Char('\\');

QString NormalPath(const QString& path) {
  QString p = path.trimmed();
  while (p.endsWith(Separator)) p.chop(1);
  while (p.startsWith(Separator)) p.remove(0, 1);
  return p.toUpper();
}

// A key path below `base`, without stray separators at the ends of the name.
QString JoinPath(const QString& base, const QString& name) {
  QString below = name.trimmed();
  while (below.endsWith(Separator)) below.chop(1);
  while (below.startsWith(Separator)) below.remove(0, 1);
  return below.isEmpty() ? base : base + Separator + below;
}

QVariant ParseValue(const QString& raw) {
  const QString text = raw.trimmed();
  if (text.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
    bool ok = false;
    const qint64 number = text.mid(6).toLongLong(&ok, 16);
    if (ok) return number;
  }
  if (text.size() >= 2 && text.startsWith(QLatin1Char('"')) && text.endsWith(QLatin1Char('"')))
    return text.mid(1, text.size() - 2);
  return text;
}

// Reads the file afresh on every open: the registry may change while the program runs.
std::shared_ptr<const RegistryKey::Keys> LoadRegistry() {
  auto keys = std::make_shared<RegistryKey::Keys>();
  const QString path = RegistryKey::RegistryFile();
  if (path.isEmpty()) return keys;
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return keys;
  QTextStream in(&file);
  in.setEncoding(QStringConverter::Utf8);
  RegistryKey::Values* current = nullptr;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.isEmpty() || line.startsWith(QLatin1Char(';')) || line.startsWith(QLatin1Char('#'))) continue;
    if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
      current = &(*keys)[NormalPath(line.mid(1, line.size() - 2))];
      continue;
    }
    const qsizetype eq = line.indexOf(QLatin1Char('='));
    if (current == nullptr || eq <= 0) continue;
    (*current)[line.left(eq).trimmed().toUpper()] = ParseValue(line.mid(eq + 1));
  }
  return keys;
}

bool KeyExists(const RegistryKey::Keys& keys, const QString& normalPath) {
  if (keys.count(normalPath) > 0) return true;
  const QString prefix = normalPath + Separator;
  auto it = keys.lower_bound(prefix);
  return it != keys.end() && it->first.startsWith(prefix);
}

}  // namespace

QString RegistryRootName(int rootCode) {
  switch (rootCode) {
    case 1: return QStringLiteral("HKEY_CLASSES_ROOT");
    case 2: return QStringLiteral("HKEY_CURRENT_CONFIG");
    case 3: return QStringLiteral("HKEY_CURRENT_USER");
    case 4: return QStringLiteral("HKEY_LOCAL_MACHINE");
    case 5: return QStringLiteral("HKEY_USERS");
    default: return QString();
  }
}

QString RegistryKey::RegistryFile() {
  const QString explicitFile = qEnvironmentVariable("STACKWRIGHT_REGISTRY");
  if (!explicitFile.isEmpty()) return explicitFile;
  const QString server = qEnvironmentVariable("STACKWRIGHT_DM_SERVER");
  if (!server.isEmpty()) return server + QStringLiteral("/registry.ini");
  // The DM server's own default folder (the demo server), which writes its version keys here.
  // Spelled out rather than asked of the DM layer, which builds on this one.
  return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
         QStringLiteral("/stackwright/demo-server/registry.ini");
}

bool RegistryKey::OpenRoot(int rootCode, const QString& subKey) {
  data_.reset();
  path_.clear();
  const QString root = RegistryRootName(rootCode);
  if (root.isEmpty()) return false;
  auto keys = LoadRegistry();
  const QString path = JoinPath(root, subKey);
  if (path != root && !KeyExists(*keys, NormalPath(path))) return false;
  data_ = std::move(keys);
  path_ = path;
  return true;
}

std::optional<RegistryKey> RegistryKey::OpenSubKey(const QString& name) const {
  if (!data_ || NormalPath(name).isEmpty()) return std::nullopt;
  const QString path = JoinPath(path_, name);
  if (!KeyExists(*data_, NormalPath(path))) return std::nullopt;
  RegistryKey sub;
  sub.data_ = data_;
  sub.path_ = path;
  return sub;
}

QVariant RegistryKey::ReadValue(const QString& name) const {
  if (!data_) return QVariant();
  auto key = data_->find(NormalPath(path_));
  if (key == data_->end()) return QVariant();
  auto value = key->second.find(name.trimmed().toUpper());
  if (value == key->second.end()) return QVariant();
  return value->second;
}

}  // namespace sw
