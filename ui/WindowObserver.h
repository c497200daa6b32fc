// TWindowObserver: carries the engine's progress, hits and pumps to the main window.
#pragma once

#include "engine/GaugeScale.h"
#include "engine/RunObserver.h"

#include <QElapsedTimer>

#include <cstdint>
#include <string>

namespace mtsrescue {

class TfrmMain;

// Lives for one run; the window outlives it.
class TWindowObserver final : public RunObserver {
 public:
  explicit TWindowObserver(TfrmMain& form) : form_(form) {}

  bool StopRequested() override;
  // Handles the window's pending events once (clicks, timer ticks, repaints).
  void Pump() override;
  void ScanBegin(std::int64_t lengthBytes) override;
  void ScanProgress(std::int64_t positionBytes) override;
  void ScanEnd() override;
  // Counts the hit. SegLabel shows the count at the pumps, at most every HitCountIntervalMs, and
  // at the end of the scan: the eye sees no difference, while redrawing the caption for every
  // hit or block would cost a fifth of the whole run.
  void HitFound(std::int64_t offset, std::int64_t hitCount) override;
  void ExportBegin(std::int64_t entryCount) override;
  void ExportProgress(std::int64_t entryIndex) override;
  void ExportEnd() override;
  // Asks before an export that will not fit on the destination's disk.
  bool SpaceShort(std::int64_t neededBytes, std::int64_t freeBytes) override;
  // Rebuilding whole recordings cannot be stopped either: the gauge counts recordings meanwhile.
  void ClipsBegin(std::int64_t recordingCount) override;
  void ClipsProgress(std::int64_t recordingIndex) override;
  void ClipsEnd() override;

 private:
  static constexpr int HitCountIntervalMs = 50;
  void ShowHitCount();
  // Pause and stop unavailable, the gauge counting itemCount files to write; and back.
  void BeginWriting(std::int64_t itemCount);
  void EndWriting();

  TfrmMain& form_;
  std::int64_t shownHitCount_ = 0;  // the count SegLabel shows; its text is kept until a hit
  QElapsedTimer sinceShown_;
  GaugeScale scale_{0};  // the scan's gauge units, set by ScanBegin
};

}  // namespace mtsrescue
