// How the file list and the file dialogs name a file's type and its date: in Chinese, whatever
// the system's locale.
#pragma once

#include <QString>

class QDateTime;
class QFileInfo;

namespace mtsrescue {

// "文件夹" for a folder; the system's type name where it is Chinese already (the MIME names are
// looked up in the system's language, and Qt's Chinese texts have no word for a folder), else the
// extension's, as Explorer names it: "MTS 文件", or "文件" without one.
QString FileTypeText(const QFileInfo& file, const QString& systemType);

// The Chinese short form of the interface's locale: "2026/12/9 14:03".
QString FileDateText(const QDateTime& time);

}  // namespace mtsrescue
