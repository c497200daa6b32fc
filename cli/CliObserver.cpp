// Progress drawing and stop handling for mtsrescue-cli.
#include "cli/CliObserver.h"

#include "cli/ProgressLine.h"
#include "engine/EngineConstants.h"

#include <string>
#include <utility>

namespace mtsrescue {

CliObserver::CliObserver(std::ostream* progress, std::ostream* notes, StopProbe stopProbe, Clock clock)
    : progress_(progress), notes_(notes), stopProbe_(std::move(stopProbe)), clock_(std::move(clock)) {}

bool CliObserver::StopRequested() {
  if (!stopProbe_ || !stopProbe_()) return false;
  if (!stopNoted_) {
    stopNoted_ = true;
    if (notes_ != nullptr) {
      ClearLine();
      *notes_ << "Stopping: the fragments found so far will be written. "
                 "Press Ctrl-C again to quit at once.\n"
              << std::flush;
    }
  }
  return true;
}

void CliObserver::Pump() { Draw(false); }

void CliObserver::ScanBegin(std::int64_t lengthBytes) {
  scanning_ = true;
  lengthBytes_ = lengthBytes;
  positionBytes_ = 0;
  scanStart_ = clock_();
  Draw(true);
}

void CliObserver::ScanProgress(std::int64_t positionBytes) { positionBytes_ = positionBytes; }

void CliObserver::ScanEnd() {
  // Unless stopped, the scan read the whole source; the last report was the start of the last block.
  if (!stopNoted_) {
    positionBytes_ = lengthBytes_;
    Draw(true);
  }
  scanning_ = false;
  if (progress_ != nullptr && lineShown_) {
    *progress_ << '\n' << std::flush;
    lineShown_ = false;
  }
}

void CliObserver::HitFound(std::int64_t offset, std::int64_t hitCount) {
  // A hit that does not continue the one before opens a new run: the same rule as the merge.
  if (!anyHit_ || offset - lastHit_ != GroupBytes) ++fragments_;
  anyHit_ = true;
  lastHit_ = offset;
  hits_ = hitCount;
}

void CliObserver::ExportBegin(std::int64_t entryCount) {
  exporting_ = true;
  entryCount_ = entryCount;
  entryIndex_ = 0;
  Draw(true);
}

void CliObserver::ExportProgress(std::int64_t entryIndex) { entryIndex_ = entryIndex; }

void CliObserver::ExportEnd() {
  exporting_ = false;
  ClearLine();
}

void CliObserver::Draw(bool force) {
  if (progress_ == nullptr || (!scanning_ && !exporting_)) return;
  const double now = clock_();
  if (!force && now - lastDraw_ < RedrawSeconds) return;
  lastDraw_ = now;
  std::string text;
  if (scanning_) {
    ProgressSample sample{positionBytes_, lengthBytes_, now - scanStart_, fragments_};
    text = ProgressLine::Format(sample);
  } else {
    text = "writing entry " + std::to_string(entryIndex_ + 1 > entryCount_ ? entryCount_ : entryIndex_ + 1) +
           " of " + std::to_string(entryCount_);
  }
  // "\x1b[K" clears what a longer earlier line left behind.
  *progress_ << '\r' << text << "\x1b[K" << std::flush;
  lineShown_ = true;
  ++redraws_;
}

void CliObserver::ClearLine() {
  if (progress_ != nullptr && lineShown_) {
    *progress_ << "\r\x1b[K" << std::flush;
    lineShown_ = false;
  }
}

}  // namespace mtsrescue
