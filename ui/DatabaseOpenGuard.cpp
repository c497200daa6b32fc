// The ".mdb" rule and its OK/Cancel question.
#include "ui/DatabaseOpenGuard.h"

#include "ui/MessageBoxes.h"

#include <QFileInfo>

namespace mtsrescue {

QString OpenExtension(const QString& path) {
  qsizetype dot = -1;
  for (qsizetype i = path.size() - 1; i >= 0; --i) {
    const QChar c = path.at(i);
    if (c == u'.') {
      dot = i;
      break;
    }
    if (c == u'\\' || c == u'/' || c == u':') break;
  }
  if (dot < 0) return QString();
  QString extension = path.mid(dot);
  // Only ASCII letters: a locale-aware lower-casing could turn other letters into "mdb".
  for (QChar& c : extension) {
    if (c >= u'A' && c <= u'Z') c = QChar(c.unicode() + (u'a' - u'A'));
  }
  return extension;
}

bool IsDatabaseFile(const QString& path) { return OpenExtension(path) == QStringLiteral(".mdb"); }

bool ConfirmOpen(QWidget* owner, TMessageBoxes& boxes, const QStringList& selectedPaths) {
  if (selectedPaths.isEmpty()) return true;
  const QString& first = selectedPaths.first();
  // A folder is never a database file, whatever its name ends with.
  if (!IsDatabaseFile(first) || QFileInfo(first).isDir()) return true;
  return boxes.OkCancelQuestion(owner, QStringLiteral("重组"), QStringLiteral("是否将修复后的数据库文件导入重组?"));
}

}  // namespace mtsrescue
