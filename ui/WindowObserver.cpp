// TWindowObserver: gauge, hit count, pause/stop availability and the event pump during a run.
#include "ui/WindowObserver.h"

#include "source/PhysicalDisks.h"
#include "ui/Gauge.h"
#include "ui/Main.h"

#include <QCoreApplication>
#include <QLabel>
#include <QToolButton>

#include <algorithm>
#include <limits>

namespace mtsrescue {

bool TWindowObserver::StopRequested() { return form_.FStopRequest; }

bool TWindowObserver::SpaceShort(std::int64_t neededBytes, std::int64_t freeBytes) {
  return form_.Boxes().OkCancelQuestion(
      &form_, form_.ApplicationTitle(),
      QStringLiteral("保存目录所在磁盘的剩余空间（%1）不足以保存本次恢复的文件（约 %2）。\n"
                     "继续时，磁盘写满后恢复将停止，已写完的文件保留。\n\n仍要继续吗？")
          .arg(QString::fromStdString(FormatDiskSize(freeBytes)), QString::fromStdString(FormatDiskSize(neededBytes))));
}

void TWindowObserver::Pump() {
  if (!sinceShown_.isValid() || sinceShown_.hasExpired(HitCountIntervalMs)) ShowHitCount();
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void TWindowObserver::ShowHitCount() {
  sinceShown_.start();
  if (shownHitCount_ == form_.HitCount) return;
  shownHitCount_ = form_.HitCount;
  form_.SegLabel->setText(QStringLiteral("发现碎片: ") + QString::number(shownHitCount_));
}

void TWindowObserver::ScanBegin(std::int64_t lengthBytes) {
  lengthBytes = std::max<std::int64_t>(lengthBytes, 0);  // the gauge refuses a negative maximum
  // Sources of 2 TiB and more are counted in larger units so the gauge's 32-bit range holds them.
  scale_ = GaugeScale(lengthBytes);
  form_.gg->SetMinValue(0);
  form_.gg->SetMaxValue(scale_.Units(lengthBytes));
  form_.FRemaining.Begin(lengthBytes);
  form_.RunStage = TfrmMain::TRunStage::Scanning;
}

void TWindowObserver::ScanProgress(std::int64_t positionBytes) {
  form_.gg->SetProgress(scale_.Units(positionBytes));
  form_.FRemaining.Scanned(positionBytes);
}

void TWindowObserver::ScanEnd() {
  ShowHitCount();
  form_.gg->SetProgress(0);
}

void TWindowObserver::HitFound(std::int64_t, std::int64_t hitCount) { form_.HitCount = hitCount; }

void TWindowObserver::ExportBegin(std::int64_t entryCount) {
  form_.RunStage = TfrmMain::TRunStage::Exporting;
  BeginWriting(entryCount);
}

void TWindowObserver::ExportProgress(std::int64_t entryIndex) {
  form_.gg->SetProgress(entryIndex);
  form_.StageIndex = entryIndex;
}

void TWindowObserver::ExportEnd() { EndWriting(); }

void TWindowObserver::ClipsBegin(std::int64_t recordingCount) {
  form_.RunStage = TfrmMain::TRunStage::Rebuilding;
  BeginWriting(recordingCount);
}

void TWindowObserver::ClipsProgress(std::int64_t recordingIndex) {
  form_.gg->SetProgress(recordingIndex);
  form_.StageIndex = recordingIndex;
}

void TWindowObserver::ClipsEnd() { EndWriting(); }

void TWindowObserver::BeginWriting(std::int64_t itemCount) {
  form_.StageItems = itemCount;
  form_.StageIndex = 0;
  form_.RunStageChanged();
  form_.PauseBtn->setEnabled(false);
  form_.StopBtn->setEnabled(false);
  form_.gg->SetMinValue(0);
  form_.gg->SetMaxValue(static_cast<std::int32_t>(
      std::min<std::int64_t>(itemCount, std::numeric_limits<std::int32_t>::max())));
}

void TWindowObserver::EndWriting() {
  form_.gg->SetProgress(0);
  form_.PauseBtn->setEnabled(true);
  form_.StopBtn->setEnabled(true);
}

}  // namespace mtsrescue
