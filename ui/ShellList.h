// TShellList: the file list of one folder (report view) that keeps itself current while files are written.
#pragma once

#include "platform/ShellNamespace.h"

#include <QString>
#include <QStringList>
#include <QTreeView>

#include <functional>

class QFileSystemModel;

namespace mtsrescue {

class TShellList : public QTreeView {
  Q_OBJECT

 public:
  // hasDriveOverview: whether roots sit under an overview of drives (the system's answer unless
  // a test asks for the other kind of namespace).
  explicit TShellList(QWidget* parent = nullptr, bool hasDriveOverview = HasDriveOverview());

  // The folder shown, with the system's separators: a drive root keeps its trailing separator,
  // any other folder has none. Empty for the overview of drives (it has no file-system path).
  QString FolderPath() const;
  // Shows the folder at path (either separator). A path that is not an existing folder shows
  // the desktop, as does an empty one.
  void SetFolder(const QString& path);
  // Shows folder as SetFolder does, with the item at childPath (a full path) selected, current and
  // scrolled to the top.
  void ShowItem(const QString& folder, const QString& childPath);
  // Goes up `levels` folders, stopping at the top: a root goes to the overview of drives where
  // the system has one; at the overview, or at a root where it has none, nothing happens.
  void MoveUp(int levels);
  // Reads the folder again from the disk (sizes of files that grew, entries the watch missed).
  void Refresh();

  // Full paths of the selected items, with the system's separators, in list order.
  QStringList SelectedPaths() const;

  // The picture of a recovered file, made after a run: DEST/thumbnails/<n>.jpg of DEST/<n>.MTS,
  // DEST/thumbnails/clips/<name>.jpg of DEST/clips/<name>.MTS. Empty when there is none. The
  // list shows it as the file's tooltip.
  static QString PictureOf(const QString& filePath);
  // The tooltip of the item at index: its picture and name; empty when it has no picture.
  QString PictureTip(const QModelIndex& index) const;

  // The user's desktop folder; where there is none (or it is the home folder), the user's videos
  // folder; else the home folder.
  static QString DesktopPath();

  // Raised once before files are opened (double-click or Enter on a file or on several items).
  // handled comes in false; setting it true cancels the open.
  std::function<void(TShellList* sender, bool& handled)> OnDblClickOpen;

  // Opens one item with the system's default program; false when it could not. Tests replace it.
  using FileOpener = std::function<bool(const QString& path)>;
  // An empty function restores the default program.
  void SetFileOpener(FileOpener opener);

 signals:
  // The folder changed, or an item of it changed (appeared, went, selection or focus moved).
  void Change();
  // The default program could not be started for path.
  void OpenFailed(const QString& path);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  bool viewportEvent(QEvent* event) override;

 private:
  void AttachModel();
  void ShowFolder(QString folder, QString focusChild);
  void Activate(const QModelIndex& index);
  void OpenSelection();
  void CopySelection() const;
  void ShowContextMenu(const QPoint& at);
  void OnDirectoryLoaded(const QString& path);
  void FitColumns();

  QFileSystemModel* model_ = nullptr;
  // Qt form ("/" separators, cleaned); empty for the overview of drives.
  QString folder_;
  FileOpener opener_;
  bool hasDriveOverview_;
};

}  // namespace mtsrescue
