// The guard before the file list opens files: a database file (".mdb") asks the user first.
#pragma once

#include <QString>
#include <QStringList>

class QWidget;

namespace mtsrescue {

class TMessageBoxes;

// The extension of a full path: from the last "." after the last "\", "/" or ":" to the end,
// dot included, with ASCII letters lower-cased (others kept); empty when there is none.
QString OpenExtension(const QString& path);

// True when opening this path must ask the database question first.
bool IsDatabaseFile(const QString& path);

// Asks "是否将修复后的数据库文件导入重组?" (caption "重组", OK/Cancel) through boxes when the
// first of the selected paths is a database file (a folder never is); true when the open may
// proceed. An empty selection proceeds (there is nothing to open).
bool ConfirmOpen(QWidget* owner, TMessageBoxes& boxes, const QStringList& selectedPaths);

}  // namespace mtsrescue
