// Byte patterns for engine tests: packet streams in 192-byte packets, and sectors that test as hits.
#pragma once

#include "engine/EngineConstants.h"

#include <cstdint>
#include <vector>

namespace mtsrescue::test {

// groups * 1536 bytes of a transport stream in 192-byte packets: a 4-byte header whose 30-bit
// arrival stamp climbs by ticksPerPacket from firstStamp (copy-permission bits 0), the sync byte
// 0x47, then 187 payload bytes that are never 0x47. Stored from a sector boundary, it shows one
// hit sector per 1536 bytes and no other.
inline std::vector<std::uint8_t> PacketStream(std::int64_t groups, std::uint32_t firstStamp = 0x123456,
                                              std::uint32_t ticksPerPacket = 900) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(groups * GroupBytes));
  std::uint32_t stamp = firstStamp;
  for (std::size_t packetAt = 0; packetAt < bytes.size(); packetAt += PacketBytes) {
    const std::uint32_t header = stamp & 0x3FFFFFFFu;
    bytes[packetAt + 0] = static_cast<std::uint8_t>(header >> 24);
    bytes[packetAt + 1] = static_cast<std::uint8_t>(header >> 16);
    bytes[packetAt + 2] = static_cast<std::uint8_t>(header >> 8);
    bytes[packetAt + 3] = static_cast<std::uint8_t>(header);
    bytes[packetAt + 4] = 0x47;
    for (std::size_t i = 5; i < static_cast<std::size_t>(PacketBytes); ++i) {
      const auto payload = static_cast<std::uint8_t>(packetAt / 3 + i * 13);
      bytes[packetAt + i] = payload == 0x47 ? 0x48 : payload;
    }
    stamp += ticksPerPacket;
  }
  return bytes;
}

// One 512-byte sector that tests as a hit: sync bytes at 4, 196, 388 and equal time words.
inline std::vector<std::uint8_t> HitSector(std::uint8_t fill = 0x00) {
  std::vector<std::uint8_t> sector(static_cast<std::size_t>(SectorBytes), fill);
  sector[4] = sector[196] = sector[388] = 0x47;
  sector[0] = sector[192] = sector[384] = 0x12;
  sector[1] = sector[193] = sector[385] = 0x34;
  return sector;
}

}  // namespace mtsrescue::test
