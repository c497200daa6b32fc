// Fixed sizes of the recovery engine.
#pragma once

#include <cstdint>

namespace mtsrescue {

inline constexpr std::int64_t SectorBytes = 512;
inline constexpr std::int64_t PacketBytes = 192;
// Hit period: 8 packets = 3 sectors; packet and sector boundaries meet once per group.
inline constexpr std::int64_t GroupBytes = 1536;
// Read and copy block.
inline constexpr std::int64_t BlockBytes = 262144;
// A fragment is written only when its length is strictly more than this.
inline constexpr std::int64_t MinExportBytes = 2048;

}  // namespace mtsrescue
