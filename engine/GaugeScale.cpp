// GaugeScale: picks the coarsest-needed unit so a source's length fits a signed 32-bit gauge.
#include "engine/GaugeScale.h"

#include <limits>

namespace mtsrescue {

namespace {
constexpr std::int64_t MaxUnits = std::numeric_limits<std::int32_t>::max();
}

GaugeScale::GaugeScale(std::int64_t lengthBytes) noexcept {
  // Sources under 2 TiB keep one unit per KiB.
  while (lengthBytes > 0 && ((lengthBytes >> 10) >> shift_) > MaxUnits) {
    ++shift_;
  }
}

std::int32_t GaugeScale::Units(std::int64_t bytes) const noexcept {
  if (bytes <= 0) {
    return 0;
  }
  const std::int64_t units = (bytes >> 10) >> shift_;
  return static_cast<std::int32_t>(units > MaxUnits ? MaxUnits : units);
}

}  // namespace mtsrescue
