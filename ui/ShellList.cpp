// TShellList: a report view over QFileSystemModel, navigation, open with the default program.
#include "ui/ShellList.h"

#include "ui/FileTexts.h"

#include <QApplication>
#include <QClipboard>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QLocale>
#include <QMimeData>
#include <QStandardPaths>
#include <QToolTip>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace mtsrescue {

namespace {

bool OpenWithDefaultProgram(const QString& path) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

// The file-system model with the window's own column captions.
class TFolderModel final : public QFileSystemModel {
 public:
  using QFileSystemModel::QFileSystemModel;

  QVariant headerData(int section, Qt::Orientation orientation, int role) const override {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
      return QFileSystemModel::headerData(section, orientation, role);
    }
    switch (section) {
      case 0: return QStringLiteral("名称");
      case 1: return QStringLiteral("大小");
      case 2: return QStringLiteral("类型");
      case 3: return QStringLiteral("修改日期");
      default: return QFileSystemModel::headerData(section, orientation, role);
    }
  }

  // Sizes, types and dates in the interface's language, not the system's, which the model would
  // use: a Chinese window must not show "Folder" or "9 Dec 2026".
  QVariant data(const QModelIndex& index, int role) const override {
    if (role == Qt::DisplayRole && index.isValid()) {
      if (index.column() == 3) return FileDateText(lastModified(index));
      if (index.column() == 2) return FileTypeText(fileInfo(index), QFileSystemModel::data(index, role).toString());
      if (index.column() == 1 && !isDir(index)) return FileSizeText(size(index));
    }
    return QFileSystemModel::data(index, role);
  }
};

}  // namespace

TShellList::TShellList(QWidget* parent, bool hasDriveOverview)
    : QTreeView(parent), opener_(OpenWithDefaultProgram), hasDriveOverview_(hasDriveOverview) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setExpandsOnDoubleClick(false);
  setUniformRowHeights(true);
  setAllColumnsShowFocus(true);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(true);
  sortByColumn(0, Qt::AscendingOrder);
  header()->setStretchLastSection(true);
  header()->setSectionsMovable(false);

  connect(this, &QAbstractItemView::doubleClicked, this, &TShellList::Activate);
  setContextMenuPolicy(Qt::CustomContextMenu);
  connect(this, &QWidget::customContextMenuRequested, this, &TShellList::ShowContextMenu);

  AttachModel();
  ShowFolder(DesktopPath(), QString());
  header()->resizeSection(0, 300);
  header()->resizeSection(1, 100);
  header()->resizeSection(2, 240);
}

QString TShellList::DesktopPath() {
  const QString home = QDir::cleanPath(QDir::homePath());
  // A desktop that is the home folder itself (some systems are set up so) is no desktop.
  for (const auto location : {QStandardPaths::DesktopLocation, QStandardPaths::MoviesLocation}) {
    const QString folder = QDir::cleanPath(QStandardPaths::writableLocation(location));
    if (!folder.isEmpty() && folder != home && QFileInfo(folder).isDir()) return folder;
  }
  return home;
}

void TShellList::AttachModel() {
  // A fresh model forgets every cached entry, which is what a refresh needs; the old one goes
  // with its watch and its worker.
  QFileSystemModel* old = model_;
  QItemSelectionModel* oldSelection = selectionModel();
  model_ = new TFolderModel(this);
  model_->setReadOnly(true);
  model_->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot | QDir::System);
  setModel(model_);
  // The view makes a new selection model and leaves the old one to its caller.
  delete oldSelection;
  if (old != nullptr) old->deleteLater();

  connect(model_, &QFileSystemModel::directoryLoaded, this, &TShellList::OnDirectoryLoaded);
  connect(model_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex& parent) {
    if (parent == rootIndex()) emit Change();
  });
  connect(model_, &QAbstractItemModel::rowsRemoved, this, [this](const QModelIndex& parent) {
    if (parent == rootIndex()) emit Change();
  });
  connect(model_, &QAbstractItemModel::dataChanged, this, [this](const QModelIndex& topLeft) {
    if (topLeft.parent() == rootIndex()) emit Change();
  });
  connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { emit Change(); });
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { emit Change(); });
}

QString TShellList::FolderPath() const {
  return folder_.isEmpty() ? QString() : QDir::toNativeSeparators(folder_);
}

void TShellList::SetFolder(const QString& path) {
  const QString folder = QDir::cleanPath(QDir::fromNativeSeparators(path));
  if (path.isEmpty() || !QFileInfo(folder).isDir()) {
    ShowFolder(DesktopPath(), QString());
    return;
  }
  ShowFolder(QFileInfo(folder).absoluteFilePath(), QString());
}

void TShellList::ShowItem(const QString& folder, const QString& childPath) {
  SetFolder(folder);
  const QModelIndex child = model_->index(QDir::cleanPath(QDir::fromNativeSeparators(childPath)));
  if (!child.isValid() || child.parent() != rootIndex()) return;
  selectionModel()->setCurrentIndex(child, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  scrollTo(child, QAbstractItemView::PositionAtTop);
}

// By value: callers pass folder_ itself, which the first line overwrites.
void TShellList::ShowFolder(QString folder, QString focusChild) {
  folder_ = std::move(folder);
  // The model watches its root path; the overview of drives is its empty root.
  model_->setRootPath(folder_);
  setRootIndex(folder_.isEmpty() ? QModelIndex() : model_->index(folder_));
  selectionModel()->clear();
  if (!focusChild.isEmpty()) {
    const QModelIndex child = model_->index(focusChild);
    if (child.isValid()) {
      selectionModel()->setCurrentIndex(child, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
      scrollTo(child);
    }
  }
  // Emitted even for an empty folder, so that the path shown beside the list never lags behind.
  emit Change();
}

void TShellList::MoveUp(int levels) {
  for (int i = 0; i < levels; ++i) {
    if (folder_.isEmpty()) return;  // the overview of drives is the top
    QDir dir(folder_);
    if (dir.isRoot()) {
      if (!hasDriveOverview_) return;
      ShowFolder(QString(), folder_);
      continue;
    }
    const QString child = folder_;
    if (!dir.cdUp()) return;
    ShowFolder(dir.absolutePath(), child);
  }
}

void TShellList::Refresh() {
  const QString folder = folder_;
  const QStringList selected = SelectedPaths();
  AttachModel();
  if (!folder.isEmpty() && !QFileInfo(folder).isDir()) {
    ShowFolder(DesktopPath(), QString());  // the folder went away meanwhile
    return;
  }
  ShowFolder(folder, QString());
  for (const QString& path : selected) {
    const QModelIndex index = model_->index(QDir::fromNativeSeparators(path));
    if (index.isValid()) selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  }
}

QStringList TShellList::SelectedPaths() const {
  QModelIndexList rows = selectionModel()->selectedRows(0);
  std::sort(rows.begin(), rows.end(), [this](const QModelIndex& a, const QModelIndex& b) {
    return visualRect(a).top() < visualRect(b).top();
  });
  QStringList paths;
  for (const QModelIndex& index : rows) paths << QDir::toNativeSeparators(model_->filePath(index));
  return paths;
}

void TShellList::SetFileOpener(FileOpener opener) {
  opener_ = opener ? std::move(opener) : FileOpener(OpenWithDefaultProgram);
}

void TShellList::Activate(const QModelIndex& index) {
  if (!index.isValid()) return;
  const QModelIndexList rows = selectionModel()->selectedRows(0);
  const bool single = rows.size() <= 1;
  if (single && model_->isDir(index)) {
    ShowFolder(QDir::cleanPath(model_->filePath(index)), QString());
    return;
  }
  if (rows.isEmpty()) selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
  OpenSelection();
}

void TShellList::OpenSelection() {
  const QStringList paths = SelectedPaths();
  if (paths.isEmpty()) return;
  bool handled = false;
  if (OnDblClickOpen) OnDblClickOpen(this, handled);
  if (handled) return;
  for (const QString& path : paths) {
    if (!opener_(path)) emit OpenFailed(path);
  }
}

void TShellList::CopySelection() const {
  const QStringList paths = SelectedPaths();
  if (paths.isEmpty()) return;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(QDir::fromNativeSeparators(path));
  auto* data = new QMimeData;
  data->setUrls(urls);
  data->setText(paths.join(u'\n'));
  QApplication::clipboard()->setMimeData(data);
}

void TShellList::ShowContextMenu(const QPoint& at) {
  const bool onItem = indexAt(at).isValid();
  QMenu menu(this);
  QAction* open = menu.addAction(QStringLiteral("打开"), this, &TShellList::OpenSelection);
  QAction* copy = menu.addAction(QStringLiteral("复制"), this, &TShellList::CopySelection);
  open->setEnabled(onItem);
  copy->setEnabled(onItem);
  menu.addSeparator();
  menu.addAction(QStringLiteral("全选"), this, &QAbstractItemView::selectAll);
  menu.addAction(QStringLiteral("刷新"), this, &TShellList::Refresh);
  menu.addAction(QStringLiteral("向上"), this, [this] { MoveUp(1); });
  menu.exec(viewport()->mapToGlobal(at));
}

void TShellList::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Backspace && event->modifiers() == Qt::NoModifier) {
    MoveUp(1);
    return;
  }
  if (event->key() == Qt::Key_F5 || event->matches(QKeySequence::Refresh)) {
    Refresh();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
    return;
  }
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && state() != EditingState) {
    const QStringList paths = SelectedPaths();
    if (paths.size() == 1) {
      Activate(selectionModel()->selectedRows(0).first());
    } else if (!paths.isEmpty()) {
      OpenSelection();
    } else if (currentIndex().isValid()) {
      Activate(currentIndex());
    }
    return;
  }
  QTreeView::keyPressEvent(event);  // select-all, arrows, type-ahead
}

void TShellList::FitColumns() {
  // Size, type and date as wide as their longest text in view, and the header's; the name gives
  // way (down to a minimum) so that the date, the last column, is not cut off either.
  constexpr int MinNameWidth = 160;
  int used = 0;
  for (int column = 1; column <= 3; ++column) {
    const int wanted = std::max(sizeHintForColumn(column), header()->sectionSizeHint(column));
    if (column < 3 && header()->sectionSize(column) < wanted) header()->resizeSection(column, wanted);
    used += column < 3 ? header()->sectionSize(column) : wanted;
  }
  const int room = viewport()->width() - used;
  if (room < header()->sectionSize(0)) header()->resizeSection(0, std::max(MinNameWidth, room));
}

void TShellList::OnDirectoryLoaded(const QString& path) {
  if (QDir::cleanPath(path) != folder_) return;
  FitColumns();
  // Like a list that gives its first item the focus after each read, so the keyboard works at once.
  if (!currentIndex().isValid() && model_->rowCount(rootIndex()) > 0) {
    selectionModel()->setCurrentIndex(model_->index(0, 0, rootIndex()), QItemSelectionModel::NoUpdate);
  }
  emit Change();
}

QString TShellList::PictureOf(const QString& filePath) {
  const QFileInfo file(filePath);
  if (file.suffix().compare(QStringLiteral("MTS"), Qt::CaseInsensitive) != 0) return QString();
  const QDir folder = file.absoluteDir();
  QString picture = folder.filePath(QStringLiteral("thumbnails/") + file.completeBaseName() + QStringLiteral(".jpg"));
  if (folder.dirName() == QStringLiteral("clips")) {
    picture = QDir::cleanPath(folder.absolutePath() + QStringLiteral("/../thumbnails/clips/") + file.completeBaseName() +
                              QStringLiteral(".jpg"));
  }
  return QFileInfo::exists(picture) ? picture : QString();
}

QString TShellList::PictureTip(const QModelIndex& index) const {
  if (!index.isValid() || model_ == nullptr) return QString();
  const QString path = model_->filePath(index.siblingAtColumn(0));
  const QString picture = PictureOf(path);
  if (picture.isEmpty()) return QString();
  // As a file URL: a bare "C:/..." would read as a URL of scheme "c".
  return QStringLiteral("<img src=\"%1\"><br>%2")
      .arg(QUrl::fromLocalFile(picture).toString().toHtmlEscaped(), QFileInfo(path).fileName().toHtmlEscaped());
}

bool TShellList::viewportEvent(QEvent* event) {
  if (event->type() == QEvent::ToolTip) {
    const auto* help = static_cast<QHelpEvent*>(event);
    const QModelIndex index = indexAt(help->pos());
    const QString tip = PictureTip(index);
    if (!tip.isEmpty()) {
      QToolTip::showText(help->globalPos(), tip, viewport(), visualRect(index));
      return true;
    }
  }
  return QTreeView::viewportEvent(event);
}

}  // namespace mtsrescue
