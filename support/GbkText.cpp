// GBK conversion through Qt's string encoder.
#include "support/GbkText.h"

#include "platform/CodePage936.h"

#include <QStringEncoder>

namespace mtsrescue {

QByteArray GbkBytes(const QString& text) {
  QStringEncoder encoder("GBK");
  if (encoder.isValid()) return encoder.encode(text);
  // Qt without ICU (Windows) knows no GBK: the system's code page 936, not its ANSI code page,
  // which is 936 only on a Chinese Windows.
  if (const auto bytes = ToCodePage936(text.toStdU16String())) return QByteArray::fromStdString(*bytes);
  return QStringEncoder(QStringConverter::System).encode(text);
}

std::int64_t GbkLength(const QString& text) { return GbkBytes(text).size(); }

QByteArray GbkQueryValue(const QString& text) { return GbkBytes(text).toPercentEncoding(); }

}  // namespace mtsrescue
