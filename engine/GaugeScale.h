// Scan progress in gauge units: KiB, halved as often as needed to fit a signed 32-bit gauge.
#pragma once

#include <cstdint>

namespace mtsrescue {

class GaugeScale {
 public:
  // For a source of lengthBytes (>= 0).
  explicit GaugeScale(std::int64_t lengthBytes) noexcept;
  // bytes in gauge units; Units(lengthBytes) <= INT32_MAX.
  std::int32_t Units(std::int64_t bytes) const noexcept;
  // Bytes per gauge unit: 1024 for sources under 2 TiB.
  std::int64_t BytesPerUnit() const noexcept { return std::int64_t{1024} << shift_; }

 private:
  int shift_ = 0;
};

}  // namespace mtsrescue
