// The system's millisecond tick count: time since the system started, wrapping at 2^32.
#pragma once

#include <cstdint>

namespace mtsrescue {

// Milliseconds since boot modulo 2^32 (GetTickCount on Windows, a monotonic boot clock elsewhere).
std::uint32_t TickCount() noexcept;

}  // namespace mtsrescue
