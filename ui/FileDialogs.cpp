// ClearFileName and CloseCompletionWithDialog over the children of Qt's own file dialog.
#include "ui/FileDialogs.h"

#include "ui/FileTexts.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QIdentityProxyModel>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>
#include <QTreeView>

namespace mtsrescue {

namespace {

// Sends a completion list away whenever it shows while its dialog is hidden.
class TCompletionKeeper final : public QObject {
 public:
  TCompletionKeeper(QFileDialog& dialog, QWidget* popup) : QObject(popup), dialog_(&dialog), popup_(popup) {
    popup->installEventFilter(this);
  }

  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == popup_ && event->type() == QEvent::Show && (dialog_ == nullptr || !dialog_->isVisible())) {
      // Hiding inside the show event would be undone by the rest of show(); just after it works.
      QPointer<QWidget> popup = popup_;
      QTimer::singleShot(0, popup, [popup] {
        if (popup) popup->hide();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  QPointer<QFileDialog> dialog_;
  QWidget* popup_;
};

// The dialog's list with the file list's sizes, types and dates.
class TFileTextsProxy final : public QIdentityProxyModel {
 public:
  using QIdentityProxyModel::QIdentityProxyModel;

  QVariant data(const QModelIndex& index, int role) const override {
    const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
    if (files != nullptr && role == Qt::DisplayRole && index.isValid()) {
      const QModelIndex source = mapToSource(index);
      if (index.column() == 3) return FileDateText(files->lastModified(source));
      if (index.column() == 2) return FileTypeText(files->fileInfo(source), QIdentityProxyModel::data(index, role).toString());
      if (index.column() == 1 && !files->isDir(source)) return FileSizeText(files->size(source));
    }
    return QIdentityProxyModel::data(index, role);
  }
};

}  // namespace

void UseChineseFileTexts(QFileDialog& dialog) {
  dialog.setProxyModel(new TFileTextsProxy(&dialog));
  // Size, type and date as wide as their texts, which the dialog's fixed widths cut off.
  if (auto* details = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
    for (int column = 1; column <= 3; ++column)
      details->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
  }
}

void ClearFileName(QFileDialog& dialog) {
  for (QAbstractItemView* view : dialog.findChildren<QAbstractItemView*>()) {
    if (view->selectionModel() != nullptr && view->window() == &dialog) view->selectionModel()->clear();
  }
  // The name box follows the selection, so it is emptied after it.
  if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->clear();
}

void CloseCompletionWithDialog(QFileDialog& dialog) {
  for (QCompleter* completer : dialog.findChildren<QCompleter*>()) {
    QAbstractItemView* popup = completer->popup();
    new TCompletionKeeper(dialog, popup);
    QObject::connect(&dialog, &QDialog::finished, popup, [popup] { popup->hide(); });
  }
}

}  // namespace mtsrescue
