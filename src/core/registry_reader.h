#pragma once
// Reading one value from the machine's registry, given as "ROOT\Key\...\ValueName".
#include <QString>
#include <QVariant>

namespace sw {

class Context;

// The value, or a null QVariant when it cannot be read.
QVariant GetRegistryValue(Context& cx, const QString& path);

}  // namespace sw
