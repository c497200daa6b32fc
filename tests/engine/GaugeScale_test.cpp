// Gauge units: KiB below 2 TiB, coarser above, always within a signed 32-bit gauge.
#include "engine/GaugeScale.h"

#include <gtest/gtest.h>

#include <limits>

namespace mtsrescue {
namespace {

constexpr std::int64_t TiB = std::int64_t{1} << 40;

TEST(GaugeScale, CountsKiBForSourcesUnder2TiB) {
  const GaugeScale scale(2 * TiB - 1);
  EXPECT_EQ(scale.BytesPerUnit(), 1024);
  EXPECT_EQ(scale.Units(1023), 0);
  EXPECT_EQ(scale.Units(1024), 1);
  EXPECT_EQ(scale.Units(2 * TiB - 1), std::numeric_limits<std::int32_t>::max());
  EXPECT_EQ(GaugeScale(0).Units(0), 0);
  EXPECT_EQ(GaugeScale(0).BytesPerUnit(), 1024);
}

TEST(GaugeScale, CoarserUnitsKeepLargeSourcesInRangeAndProgressRight) {
  for (const std::int64_t lengthBytes : {2 * TiB, 3 * TiB, 16 * TiB, std::int64_t{1} << 62,
                                         std::numeric_limits<std::int64_t>::max()}) {
    const GaugeScale scale(lengthBytes);
    EXPECT_GT(scale.BytesPerUnit(), 1024) << lengthBytes;
    const std::int32_t full = scale.Units(lengthBytes);
    // The unit really is coarse enough: the full length fits without the clamp at INT32_MAX.
    EXPECT_EQ(full, lengthBytes / scale.BytesPerUnit()) << lengthBytes;
    // Not coarser than needed: the full gauge uses more than half of the range.
    EXPECT_GT(full, std::numeric_limits<std::int32_t>::max() / 2) << lengthBytes;
    // Half way through the source is half way along the gauge.
    EXPECT_NEAR(scale.Units(lengthBytes / 2), full / 2, 1) << lengthBytes;
    EXPECT_EQ(scale.Units(-5), 0);
  }
}

}  // namespace
}  // namespace mtsrescue
