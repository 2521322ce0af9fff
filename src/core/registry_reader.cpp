#include "core/registry_reader.h"

#include <optional>

#include "platform/registry/registry_key.h"

namespace sw {

namespace {

int RootCode(const QString& upperName) {
  for (int code = 1; code <= 5; ++code) {
    if (RegistryRootName(code) == upperName) return code;
  }
  return 0;
}

}  // namespace

QVariant GetRegistryValue(Context&, const QString& path) {
  const qsizetype slash = path.indexOf(QLatin1Char('\\'));
  if (slash < 0) return QVariant();
  const int rootCode = RootCode(path.left(slash).toUpper());
  if (rootCode == 0) return QVariant();

  RegistryKey key;
  if (!key.OpenRoot(rootCode, QString())) return QVariant();
  QString remainder = path.mid(slash + 1);
  QVariant result;
  for (;;) {
    QString segment;
    const qsizetype next = remainder.indexOf(QLatin1Char('\\'));
    if (next < 0) {
      segment = remainder;
      remainder.clear();
    } else {
      segment = remainder.left(next);
      remainder = remainder.mid(next + 1);
    }
    // The last segment names a value, not a key: the subkey fails there and the value is
    // read from the key of the segments before it.
    if (std::optional<RegistryKey> sub = key.OpenSubKey(segment)) key = *sub;
    const QVariant value = key.ReadValue(segment);
    if (value.isValid()) result = value;
    if (remainder.isEmpty() || remainder == segment) break;
  }
  return result;
}

}  // namespace sw
