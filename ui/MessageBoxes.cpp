// TQtMessageBoxes: the modal boxes drawn by QMessageBox.
#include "ui/MessageBoxes.h"

#include "ui/RunSummary.h"
#include "ui/ThumbnailMaker.h"

#include <QAbstractButton>
#include <QClipboard>
#include <QGridLayout>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>

namespace mtsrescue {

namespace {

// Window managers cut a caption that is wider than its box ("mtsres… e.com"): the box is made
// wide enough for it, with room for the frame's buttons.
void FitCaption(QMessageBox& box, const QString& caption) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  const int width = box.fontMetrics().horizontalAdvance(caption) + 160;
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Expanding), grid->rowCount(), 0, 1,
                grid->columnCount());
}

QMessageBox::StandardButton Run(QWidget* owner, QMessageBox::Icon icon, const QString& caption,
                                const QString& text, QMessageBox::StandardButtons buttons) {
  QMessageBox box(icon, caption, text, buttons, owner);
  box.setTextFormat(Qt::PlainText);  // paths in error texts are shown as they are
  FitCaption(box, caption);
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

void TQtMessageBoxes::Address(QWidget* owner, const QString& caption, const QString& text, const QString& url) {
  QMessageBox box(QMessageBox::Information, caption, text + QStringLiteral("\n\n") + url, QMessageBox::Close, owner);
  box.setTextFormat(Qt::PlainText);
  box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  FitCaption(box, caption);
  QPushButton* copy = box.addButton(QStringLiteral("复制网址"), QMessageBox::ActionRole);
  box.button(QMessageBox::Close)->setText(QStringLiteral("关闭"));
  // The copy leaves the box open, so that the user sees the address was taken.
  copy->disconnect();
  QObject::connect(copy, &QPushButton::clicked, &box, [copy, url] {
    QGuiApplication::clipboard()->setText(url);
    copy->setText(QStringLiteral("已复制"));
  });
  box.setDefaultButton(copy);
  box.exec();
}

void TQtMessageBoxes::Summary(QWidget* owner, const QString& caption, const QString& text, const ClipReport& clips,
                              TThumbnailMaker* pictures) {
  TRunSummary box(owner, caption, text, clips);
  if (pictures != nullptr && pictures->Running()) {
    QObject::connect(pictures, &TThumbnailMaker::PictureMade, &box, &TRunSummary::ShowPicture);
    QObject::connect(pictures, &TThumbnailMaker::Finished, &box, &TRunSummary::PicturesDone);
  } else {
    box.PicturesDone();
  }
  box.exec();
}

}  // namespace mtsrescue
