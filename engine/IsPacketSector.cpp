// The packet sector test over one 512-byte sector.
#include "engine/IsPacketSector.h"

namespace mtsrescue {

namespace {

constexpr std::uint8_t SyncByte = 0x47;
// The arrival-time word may climb by at most this much between neighbouring packets.
constexpr std::int32_t MaxWordStep = 15;

std::int32_t TimeWord(const std::uint8_t* at) noexcept {
  return (static_cast<std::int32_t>(at[0]) << 8) | static_cast<std::int32_t>(at[1]);
}

}  // namespace

bool IsPacketSector(const std::uint8_t* sector) noexcept {
  // Nearly every sector of a card fails on the first sync byte, so test it before anything else.
  if (sector[4] != SyncByte || sector[196] != SyncByte || sector[388] != SyncByte) {
    return false;
  }
  const std::int32_t a = TimeWord(sector);
  const std::int32_t b = TimeWord(sector + 192);
  const std::int32_t c = TimeWord(sector + 384);
  // C - A = (B - A) + (C - B), so "all three steps above 15" is "both neighbouring steps above 15".
  return !(b - a > MaxWordStep && c - b > MaxWordStep);
}

}  // namespace mtsrescue
