#pragma once
// Text decoded from UTF-8 exactly as it was stored. QString::fromUtf8 (and every decoder left to
// its defaults) takes a leading U+FEFF for a byte-order mark and drops it; in a stored value it
// is a character like any other, and "\ufeffC0001" is not "C0001".
#include <QByteArrayView>
#include <QString>

namespace sw {

QString Utf8Text(QByteArrayView utf8);

}  // namespace sw
