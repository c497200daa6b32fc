// FileSizeText, FileTypeText, FileDateText and RecordedText.
#include "ui/FileTexts.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

namespace mtsrescue {

QString FileTypeText(const QFileInfo& file, const QString& systemType) {
  if (file.isDir()) return QStringLiteral("文件夹");
  static const QRegularExpression latinWord(QStringLiteral("[A-Za-z]{3,}"));
  if (!systemType.isEmpty() && !systemType.contains(latinWord)) return systemType;
  const QString suffix = file.suffix().toUpper();
  return suffix.isEmpty() ? QStringLiteral("文件") : suffix + QStringLiteral(" 文件");
}

QString FileSizeText(std::int64_t bytes) {
  return QLocale(QLocale::Chinese, QLocale::China).formattedDataSize(bytes, 2, QLocale::DataSizeTraditionalFormat);
}

QString FileDateText(const QDateTime& time) {
  return QLocale(QLocale::Chinese, QLocale::China).toString(time, QLocale::ShortFormat);
}

QString RecordedText(const RecordingDate& date) {
  return QStringLiteral("%1年%2月%3日 %4:%5:%6")
      .arg(date.Year)
      .arg(date.Month)
      .arg(date.Day)
      .arg(date.Hour, 2, 10, QLatin1Char('0'))
      .arg(date.Minute, 2, 10, QLatin1Char('0'))
      .arg(date.Second, 2, 10, QLatin1Char('0'));
}

}  // namespace mtsrescue
