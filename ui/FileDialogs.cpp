// ClearFileName and CloseCompletionWithDialog over the children of Qt's own file dialog.
#include "ui/FileDialogs.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QEvent>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

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

}  // namespace

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
