// TRemainingTime: work done and foreseen in bytes, the rate per second, and a countdown that only falls.
#include "ui/RemainingTime.h"

#include "engine/EngineConstants.h"

#include <algorithm>
#include <limits>

namespace mtsrescue {

void TRemainingTime::Begin(std::int64_t sourceBytes) {
  *this = TRemainingTime();
  sourceBytes_ = std::max<std::int64_t>(sourceBytes, 0);
}

void TRemainingTime::Scanned(std::int64_t positionBytes, std::int64_t hitCount) {
  scannedBytes_ = std::clamp<std::int64_t>(positionBytes, 0, sourceBytes_);
  hitCount_ = std::max<std::int64_t>(hitCount, 0);
}

void TRemainingTime::Exported(std::int64_t copiedBytes, std::int64_t totalBytes) {
  scannedBytes_ = sourceBytes_;  // the export follows the whole scan, or a stopped one
  exportTotalBytes_ = std::max<std::int64_t>(totalBytes, 0);
  exportedBytes_ = std::clamp<std::int64_t>(copiedBytes, 0, exportTotalBytes_);
}

std::optional<std::int32_t> TRemainingTime::Estimate(std::int32_t elapsedSeconds) {
  if (elapsedSeconds <= 0) return last_;
  std::int64_t exportBytes = exportTotalBytes_;
  if (exportBytes < 0) {
    // Each hit stands for one group that the export copies again.
    const double found = static_cast<double>(hitCount_) * GroupBytes;
    exportBytes = scannedBytes_ > 0 ? static_cast<std::int64_t>(found * sourceBytes_ / scannedBytes_) : 0;
  }
  const std::int64_t done = scannedBytes_ + exportedBytes_;
  const std::int64_t rate = done / elapsedSeconds;
  if (rate == 0) return last_;
  const std::int64_t left = std::max<std::int64_t>(sourceBytes_ + exportBytes - done, 0) / rate;
  const auto seconds = static_cast<std::int32_t>(std::min<std::int64_t>(left, std::numeric_limits<std::int32_t>::max()));
  if (!last_ || seconds < *last_) last_ = seconds;
  return last_;
}

}  // namespace mtsrescue
