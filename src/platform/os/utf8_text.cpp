#include "platform/os/utf8_text.h"

#include <QStringDecoder>

namespace sw {

QString Utf8Text(QByteArrayView utf8) {
  // Nearly every text starts otherwise and takes the quick way.
  if (!utf8.startsWith("\xEF\xBB\xBF")) return QString::fromUtf8(utf8);
  QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::ConvertInitialBom | QStringDecoder::Flag::Stateless);
  return decoder.decode(utf8);
}

}  // namespace sw
