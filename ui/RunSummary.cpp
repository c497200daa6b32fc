// TRunSummary: a text, a grid of recordings and an OK button.
#include "ui/RunSummary.h"

#include "ui/FileTexts.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <utility>

namespace mtsrescue {

namespace {

constexpr int PictureWidth = 160;  // as the pictures are made
constexpr int PictureHeight = 90;
const QString PendingDuration = QStringLiteral("时长 …");

// Where no picture is (yet): grey with a darker frame, as the written placeholder looks.
QPixmap EmptyPicture() {
  QPixmap pixmap(PictureWidth, PictureHeight);
  pixmap.fill(QColor(128, 128, 128));
  QPainter painter(&pixmap);
  painter.setPen(QPen(QColor(96, 96, 96), 4));
  painter.drawRect(10, 10, PictureWidth - 20, PictureHeight - 20);
  return pixmap;
}

QString DurationText(double seconds) {
  if (seconds < 0) return QStringLiteral("时长未知");
  const auto whole = static_cast<long long>(std::lround(seconds));
  return QStringLiteral("时长 %1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

}  // namespace

std::vector<const RebuiltClip*> RecordingsByDate(const ClipReport& clips) {
  std::vector<const RebuiltClip*> byDate;
  for (const RebuiltClip& clip : clips.Recordings) byDate.push_back(&clip);
  std::stable_sort(byDate.begin(), byDate.end(), [](const RebuiltClip* x, const RebuiltClip* y) {
    if (x->Recorded.has_value() != y->Recorded.has_value()) return x->Recorded.has_value();
    return x->Recorded && x->Recorded->Key() < y->Recorded->Key();
  });
  return byDate;
}

TRunSummary::TRunSummary(QWidget* owner, const QString& caption, const QString& text, const ClipReport& clips,
                         FileOpener opener)
    : QDialog(owner), opener_(std::move(opener)) {
  if (!opener_) opener_ = [](const QString& path) { return QDesktopServices::openUrl(QUrl::fromLocalFile(path)); };
  setWindowTitle(caption);
  auto* layout = new QVBoxLayout(this);
  auto* textLabel = new QLabel(text, this);
  textLabel->setTextFormat(Qt::PlainText);  // paths are shown as they are
  textLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  layout->addWidget(textLabel);

  if (!clips.Recordings.empty()) {
    PicturesNote = new QLabel(QStringLiteral("正在生成每段录像的缩略图……双击录像即可播放。"), this);
    layout->addWidget(PicturesNote);
    Recordings = new QListWidget(this);
    Recordings->setViewMode(QListView::IconMode);
    Recordings->setIconSize(QSize(PictureWidth, PictureHeight));
    Recordings->setGridSize(QSize(PictureWidth + 24, PictureHeight + 52));
    Recordings->setMovement(QListView::Static);
    Recordings->setResizeMode(QListView::Adjust);
    Recordings->setWordWrap(true);
    Recordings->setUniformItemSizes(true);
    const QPixmap empty = EmptyPicture();
    for (const RebuiltClip* clip : RecordingsByDate(clips)) {
      const QString path = QString::fromStdString(clip->FilePath);
      const QString date = clip->Recorded ? RecordedText(*clip->Recorded) : QStringLiteral("拍摄时间未知");
      auto* item = new QListWidgetItem(QIcon(empty), date + QLatin1Char('\n') + PendingDuration, Recordings);
      item->setData(Qt::UserRole, path);
      item->setToolTip(QFileInfo(path).fileName());
    }
    // Four pictures a row and up to two rows without scrolling.
    const int rows = std::min<int>(2, (static_cast<int>(clips.Recordings.size()) + 3) / 4);
    Recordings->setMinimumSize(4 * Recordings->gridSize().width() + 24, rows * Recordings->gridSize().height() + 8);
    layout->addWidget(Recordings);
    connect(Recordings, &QListWidget::itemActivated, this, &TRunSummary::Open);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("确定"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  layout->addWidget(buttons);
}

void TRunSummary::ShowPicture(const QString& filePath, const QImage& picture, double durationSeconds) {
  if (Recordings == nullptr) return;
  for (int row = 0; row < Recordings->count(); ++row) {
    QListWidgetItem* item = Recordings->item(row);
    if (item->data(Qt::UserRole).toString() != filePath) continue;
    if (!picture.isNull())
      item->setIcon(QIcon(QPixmap::fromImage(
          picture.scaled(PictureWidth, PictureHeight, Qt::KeepAspectRatio, Qt::SmoothTransformation))));
    item->setText(item->text().section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n') + DurationText(durationSeconds));
  }
}

void TRunSummary::PicturesDone() {
  if (Recordings == nullptr) return;
  PicturesNote->setText(QStringLiteral("双击录像即可播放。"));
  // Stopped pictures, or a build that makes none: no length will come.
  for (int row = 0; row < Recordings->count(); ++row) {
    QListWidgetItem* item = Recordings->item(row);
    if (item->text().endsWith(PendingDuration))
      item->setText(item->text().section(QLatin1Char('\n'), 0, 0) + QLatin1Char('\n') + DurationText(-1));
  }
}

void TRunSummary::Open(QListWidgetItem* item) {
  const QString path = item->data(Qt::UserRole).toString();
  if (!opener_(path)) PicturesNote->setText(QStringLiteral("无法打开 %1。").arg(QFileInfo(path).fileName()));
}

}  // namespace mtsrescue
