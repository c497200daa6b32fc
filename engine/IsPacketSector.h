// The packet sector test: does a 512-byte sector begin with three 192-byte transport packets?
#pragma once

#include <cstdint>

namespace mtsrescue {

// sector points at 512 readable bytes. Pure; no allocation.
bool IsPacketSector(const std::uint8_t* sector) noexcept;

}  // namespace mtsrescue
