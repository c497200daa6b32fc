// SelectSavePath over QFileDialog in directory mode.
#include "ui/SelectSavePath.h"

#include "ui/FileDialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

namespace mtsrescue {

QString AskFolderWithFileDialog(QWidget* owner, const QString& instruction) {
  QFileDialog dialog(owner, instruction);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  // No folder is preselected: the dialog opens at the top of the file system.
  dialog.setDirectory(QDir::rootPath());
  // Where the toolkit draws its own dialog the instruction also labels the folder box.
  dialog.setLabelText(QFileDialog::LookIn, instruction);
  UseChineseFileTexts(dialog);
  CloseCompletionWithDialog(dialog);
  if (dialog.exec() != QDialog::Accepted) return QString();
  const QStringList chosen = dialog.selectedFiles();
  return chosen.isEmpty() ? QString() : chosen.first();
}

bool SelectSavePath(QWidget* owner, const QString& instruction, QString& path, const FolderDialog& dialog) {
  path.clear();
  const QString answer = dialog ? dialog(owner, instruction) : AskFolderWithFileDialog(owner, instruction);
  if (answer.isEmpty()) return false;
  const QFileInfo info(QDir::fromNativeSeparators(answer));
  // Only a folder that exists now can take the files; anything else counts as no choice.
  if (!info.isDir()) return false;
  // cleanPath keeps the separator of a root ("C:/", "/") and drops any other trailing one.
  path = QDir::toNativeSeparators(QDir::cleanPath(info.absoluteFilePath()));
  return true;
}

}  // namespace mtsrescue
