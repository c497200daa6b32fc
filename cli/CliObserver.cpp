// Progress drawing and stop handling for mtsrescue-cli.
#include "cli/CliObserver.h"

#include "cli/ProgressLine.h"
#include "engine/EngineConstants.h"

#include <string>
#include <utility>

namespace mtsrescue {

CliObserver::CliObserver(std::ostream* progress, std::ostream* notes, StopProbe stopProbe, Clock clock,
                         StopProbe abortProbe)
    : progress_(progress),
      notes_(notes),
      stopProbe_(std::move(stopProbe)),
      clock_(std::move(clock)),
      abortProbe_(std::move(abortProbe)) {}

bool CliObserver::StopRequested() {
  if (!stopProbe_ || !stopProbe_()) return false;
  if (!stopNoted_) {
    stopNoted_ = true;
    if (notes_ != nullptr) {
      ClearLine();
      if (scanDone_) {
        *notes_ << "The source has been read and the fragments written: the rest of the run will finish. "
                   "Press Ctrl-C again to abort it (the file being written is removed).\n";
      } else {
        *notes_ << "Stopping: the fragments found so far will be written. "
                   "Press Ctrl-C again to abort the writing too.\n";
      }
      *notes_ << std::flush;
    }
  }
  return true;
}

void CliObserver::Pump() {
  // After the scan nothing asks StopRequested; a Ctrl-C then is still acknowledged, once.
  if (scanDone_ && !stopNoted_) StopRequested();
  Draw(false);
}

bool CliObserver::AbortRequested() { return abortProbe_ && abortProbe_(); }

bool CliObserver::SpaceShort(std::int64_t neededBytes, std::int64_t freeBytes) {
  if (notes_ != nullptr) {
    ClearLine();
    *notes_ << "Not enough room: DEST has " << freeBytes << " bytes free, and this run is about to write about "
            << neededBytes << " (fragments and rebuilt recordings). Going on: it stops with an error where the "
               "disk fills, and the files written until then stay.\n"
            << std::flush;
  }
  return true;
}

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
  scanDone_ = true;
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
  if (!scanning_ && entryCount_ == 0) return;  // an empty export has nothing to show
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
