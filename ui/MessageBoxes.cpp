// TQtMessageBoxes: the modal boxes drawn by QMessageBox.
#include "ui/MessageBoxes.h"

#include <QAbstractButton>
#include <QMessageBox>

namespace mtsrescue {

namespace {

QMessageBox::StandardButton Run(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                                const QString& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, caption, text, buttons, owner);
  box.setTextFormat(Qt::PlainText);  // paths in error texts are shown as they are
  // The buttons speak the interface's language, as the system's own boxes do on a Chinese system.
  if (QAbstractButton* ok = box.button(QMessageBox::Ok)) ok->setText(QStringLiteral("确定"));
  if (QAbstractButton* cancel = box.button(QMessageBox::Cancel)) cancel->setText(QStringLiteral("取消"));
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

void TQtMessageBoxes::Information(QWidget* owner, const QString& caption, const QString& text) {
  Run(owner, QMessageBox::NoIcon, caption, text, QMessageBox::Ok);
}

bool TQtMessageBoxes::OkCancelQuestion(QWidget* owner, const QString& caption, const QString& text) {
  return Run(owner, QMessageBox::Question, caption, text, QMessageBox::Ok | QMessageBox::Cancel) ==
         QMessageBox::Ok;
}

void TQtMessageBoxes::Error(QWidget* owner, const QString& caption, const QString& text) {
  Run(owner, QMessageBox::Critical, caption, text, QMessageBox::Ok);
}

}  // namespace mtsrescue
