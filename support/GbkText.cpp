// GBK conversion through Qt's string encoder.
#include "support/GbkText.h"

#include <QStringEncoder>

namespace mtsrescue {

QByteArray GbkBytes(const QString& text) {
  QStringEncoder encoder("GBK");
  if (!encoder.isValid()) {
    // Qt without ICU knows no GBK; on a Chinese Windows the system code page is 936 itself.
    encoder = QStringEncoder(QStringConverter::System);
  }
  return encoder.encode(text);
}

std::int64_t GbkLength(const QString& text) { return GbkBytes(text).size(); }

QByteArray GbkQueryValue(const QString& text) { return GbkBytes(text).toPercentEncoding(); }

}  // namespace mtsrescue
