// TickCount on Windows: GetTickCount.
#include "platform/TickCount.h"

#include <windows.h>

namespace mtsrescue {

std::uint32_t TickCount() noexcept { return static_cast<std::uint32_t>(GetTickCount()); }

}  // namespace mtsrescue
