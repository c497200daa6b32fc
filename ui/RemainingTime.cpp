// TRemainingTime: bytes read, the rate per second, and a countdown that only falls.
#include "ui/RemainingTime.h"

#include <algorithm>
#include <limits>

namespace mtsrescue {

void TRemainingTime::Begin(std::int64_t sourceBytes) {
  *this = TRemainingTime();
  sourceBytes_ = std::max<std::int64_t>(sourceBytes, 0);
}

void TRemainingTime::Scanned(std::int64_t positionBytes) {
  scannedBytes_ = std::clamp<std::int64_t>(positionBytes, 0, sourceBytes_);
}

std::optional<std::int32_t> TRemainingTime::Estimate(std::int32_t elapsedSeconds) {
  if (elapsedSeconds <= 0) return last_;
  const std::int64_t rate = scannedBytes_ / elapsedSeconds;
  if (rate == 0) return last_;
  const std::int64_t left = std::max<std::int64_t>(sourceBytes_ - scannedBytes_, 0) / rate;
  const auto seconds = static_cast<std::int32_t>(std::min<std::int64_t>(left, std::numeric_limits<std::int32_t>::max()));
  if (!last_ || seconds < *last_) last_ = seconds;
  return last_;
}

}  // namespace mtsrescue
