// The command line's observer of a run: stop on interrupt, progress drawn on a terminal.
#pragma once

#include "engine/RunObserver.h"

#include <cstdint>
#include <functional>
#include <limits>
#include <ostream>

namespace mtsrescue {

class CliObserver final : public RunObserver {
 public:
  using Clock = std::function<double()>;       // seconds on a monotonic clock
  using StopProbe = std::function<bool()>;     // true once the user asked to stop

  // progress: where the progress line is drawn, nullptr for none (not a terminal, --quiet).
  // notes: where a stop is acknowledged, nullptr for none. abortProbe: true once the user asked
  // to give up the writing too (a second Ctrl-C).
  CliObserver(std::ostream* progress, std::ostream* notes, StopProbe stopProbe, Clock clock,
              StopProbe abortProbe = {});

  bool StopRequested() override;
  bool AbortRequested() override;
  // Notes the shortage and goes on: the export stops with an error where the disk fills.
  bool SpaceShort(std::int64_t neededBytes, std::int64_t freeBytes) override;
  void Pump() override;
  void ScanBegin(std::int64_t lengthBytes) override;
  void ScanProgress(std::int64_t positionBytes) override;
  void ScanEnd() override;
  void HitFound(std::int64_t offset, std::int64_t hitCount) override;
  void ExportBegin(std::int64_t entryCount) override;
  void ExportProgress(std::int64_t entryIndex) override;
  void ExportEnd() override;

  // Runs of hits at the group period seen so far: what the progress calls fragments found.
  std::int64_t FragmentsFound() const noexcept { return fragments_; }
  std::int64_t HitsFound() const noexcept { return hits_; }
  // How many times the progress line was drawn (tests check the throttle).
  std::int64_t Redraws() const noexcept { return redraws_; }

 private:
  void Draw(bool force);
  void ClearLine();

  // The line is redrawn at most this often, however fast blocks go by.
  static constexpr double RedrawSeconds = 0.2;

  std::ostream* progress_;
  std::ostream* notes_;
  StopProbe stopProbe_;
  Clock clock_;
  StopProbe abortProbe_;
  bool stopNoted_ = false;
  bool scanDone_ = false;  // a stop request now can end no reading: the writing goes on
  bool scanning_ = false;
  bool exporting_ = false;
  bool lineShown_ = false;
  bool anyHit_ = false;
  double scanStart_ = 0;
  double lastDraw_ = -std::numeric_limits<double>::infinity();
  std::int64_t lengthBytes_ = 0;
  std::int64_t positionBytes_ = 0;
  std::int64_t lastHit_ = std::numeric_limits<std::int64_t>::min();
  std::int64_t hits_ = 0;
  std::int64_t fragments_ = 0;
  std::int64_t entryCount_ = 0;
  std::int64_t entryIndex_ = 0;
  std::int64_t redraws_ = 0;
};

}  // namespace mtsrescue
