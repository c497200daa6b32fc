// How the file list and the file dialogs write a file's size, type and date: in Chinese, whatever
// the system's locale.
#pragma once

#include "rebuild/RecordingDate.h"

#include <QString>

#include <cstdint>

class QDateTime;
class QFileInfo;

namespace mtsrescue {

// "文件夹" for a folder; the system's type name where it is Chinese already (the MIME names are
// looked up in the system's language, and Qt's Chinese texts have no word for a folder), else the
// extension's, as Explorer names it: "MTS 文件", or "文件" without one.
QString FileTypeText(const QFileInfo& file, const QString& systemType);

// A file's size as Qt writes it in Chinese: "2.19 MB".
QString FileSizeText(std::int64_t bytes);

// The Chinese short form of the interface's locale: "2026/12/9 14:03".
QString FileDateText(const QDateTime& time);

// When a recording was made, in full: "2019年4月24日 22:24:00".
QString RecordedText(const RecordingDate& date);

}  // namespace mtsrescue
