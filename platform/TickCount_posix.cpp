// TickCount on POSIX systems: the boot-time clock, which also counts time spent suspended.
#include "platform/TickCount.h"

#include <time.h>

namespace mtsrescue {

std::uint32_t TickCount() noexcept {
  timespec now{};
#ifdef CLOCK_BOOTTIME
  if (clock_gettime(CLOCK_BOOTTIME, &now) != 0)
#endif
    clock_gettime(CLOCK_MONOTONIC, &now);
  const std::uint64_t millis =
      static_cast<std::uint64_t>(now.tv_sec) * 1000u + static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(millis);  // wraps like GetTickCount
}

}  // namespace mtsrescue
