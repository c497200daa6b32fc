// TickCount: milliseconds of a clock that runs since boot and only moves forward.
#include "platform/TickCount.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace mtsrescue {
namespace {

TEST(TickCount, CountsMillisecondsForward) {
  const std::uint32_t before = TickCount();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  const std::uint32_t after = TickCount();
  // Unsigned difference: right across a wrap at 2^32 too. A count in seconds or microseconds
  // would fall outside these bounds; the lower one leaves room for a 16 ms tick granularity.
  const std::uint32_t elapsed = after - before;
  EXPECT_GE(elapsed, 80u);
  EXPECT_LT(elapsed, 30000u);
}

}  // namespace
}  // namespace mtsrescue
