// The progress line's numbers: units, durations, rate and time left.
#include "cli/ProgressLine.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace mtsrescue {
namespace {

TEST(ProgressLineTest, BytesPickTheLargestUnitBelow1024) {
  EXPECT_EQ(ProgressLine::Bytes(0), "0 B");
  EXPECT_EQ(ProgressLine::Bytes(1023), "1023 B");
  EXPECT_EQ(ProgressLine::Bytes(1024), "1.00 KiB");
  EXPECT_EQ(ProgressLine::Bytes(1536), "1.50 KiB");
  EXPECT_EQ(ProgressLine::Bytes(std::int64_t{5} << 20), "5.00 MiB");
  EXPECT_EQ(ProgressLine::Bytes(std::int64_t{3} << 40), "3.00 TiB");
  // 64 GB card: beyond 32 bits.
  EXPECT_EQ(ProgressLine::Bytes(64'000'000'000), "59.60 GiB");
  EXPECT_EQ(ProgressLine::Bytes(std::numeric_limits<std::int64_t>::max()), "8.00 EiB");
}

TEST(ProgressLineTest, DurationsAreHoursMinutesSeconds) {
  EXPECT_EQ(ProgressLine::Duration(0), "0:00:00");
  EXPECT_EQ(ProgressLine::Duration(59.4), "0:00:59");
  EXPECT_EQ(ProgressLine::Duration(3661), "1:01:01");
  EXPECT_EQ(ProgressLine::Duration(100 * 3600.0), "100:00:00");
  EXPECT_EQ(ProgressLine::Duration(-1), "--:--:--");
  EXPECT_EQ(ProgressLine::Duration(std::nan("")), "--:--:--");
  EXPECT_EQ(ProgressLine::Duration(std::numeric_limits<double>::infinity()), "--:--:--");
}

TEST(ProgressLineTest, RateAndTimeLeftFollowFromPositionAndElapsedTime) {
  // 200 MB of 1000 MB in 2 s: 100 MB/s, 8 s left.
  ProgressSample sample{200'000'000, 1'000'000'000, 2.0, 7};
  EXPECT_EQ(ProgressLine::Format(sample),
            " 20.0%  190.73 MiB of 953.67 MiB  100.0 MB/s  0:00:08 left  fragments found: 7");
}

TEST(ProgressLineTest, NoRateBeforeThereIsOneToGoBy) {
  // Right at the start a rate would be noise, and with nothing read there is none.
  const std::string early = ProgressLine::Format({1'000'000, 1'000'000'000, 0.01, 0});
  EXPECT_NE(early.find("-- MB/s"), std::string::npos) << early;
  EXPECT_NE(early.find("--:--:-- left"), std::string::npos) << early;
  const std::string stalled = ProgressLine::Format({0, 1'000'000'000, 10.0, 0});
  EXPECT_NE(stalled.find("-- MB/s"), std::string::npos) << stalled;
}

TEST(ProgressLineTest, EmptySourceShowsComplete) {
  const std::string line = ProgressLine::Format({0, 0, 1.0, 0});
  EXPECT_EQ(line.substr(0, 6), "100.0%") << line;
}

}  // namespace
}  // namespace mtsrescue
