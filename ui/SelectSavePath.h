// SelectSavePath: the folder dialog that chooses where the recovered files go.
#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace mtsrescue {

// A folder dialog: shows instruction, returns the chosen folder in any form, or an empty text
// for cancel. Tests put one in place of the real dialog.
using FolderDialog = std::function<QString(QWidget* owner, const QString& instruction)>;

// Shows a modal folder dialog (only existing folders can be confirmed, with a button for a new
// folder) owned by owner, with instruction as its caption and label; dialog, when given, stands
// in for it. True when a folder was chosen: path then holds its full path with the system's
// separators, a drive root with its trailing separator ("C:\", "/"), any other folder without
// one. False when cancelled or when the choice is not a folder of the file system: path is then
// empty.
bool SelectSavePath(QWidget* owner, const QString& instruction, QString& path, const FolderDialog& dialog = {});

// The real dialog.
QString AskFolderWithFileDialog(QWidget* owner, const QString& instruction);

}  // namespace mtsrescue
