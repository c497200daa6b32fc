// Reading packet headers and the continuity rules for stamps and counters.
#include "rebuild/PacketHeader.h"

namespace mtsrescue {

PacketHeader ReadPacketHeader(const std::uint8_t* bytes, int extraBytes) noexcept {
  PacketHeader header;
  header.Stamp = ((std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
                  (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]}) &
                 (StampModulus - 1);
  const std::uint8_t* ts = bytes + 4;
  const unsigned adaptationControl = (ts[3] >> 4) & 0x3u;
  header.Pid = static_cast<std::uint16_t>(((ts[1] & 0x1Fu) << 8) | ts[2]);
  header.Counter = static_cast<std::uint8_t>(ts[3] & 0x0Fu);
  header.Payload = (adaptationControl & 0x1u) != 0;
  header.Adaptation = (adaptationControl & 0x2u) != 0;
  header.StartsUnit = (ts[1] & 0x40u) != 0;
  header.Plausible = ts[0] == 0x47 && (ts[1] & 0x80u) == 0 && adaptationControl != 0;
  if (extraBytes >= 2 && (adaptationControl & 0x2u) != 0 && ts[4] > 0) {
    header.RandomAccess = (ts[5] & 0x40u) != 0;
  }
  constexpr int TransportBytes = 188;
  if (!header.Payload) {
    header.PayloadBytes = 0;
  } else if (!header.Adaptation || (extraBytes >= 1 && ts[4] < TransportBytes - 5)) {
    const int begin = 4 + (header.Adaptation ? 1 + ts[4] : 0);  // in the transport packet
    header.PayloadBytes = TransportBytes - begin;
    const std::uint8_t* pes = ts + begin;
    if (header.StartsUnit && begin + 6 <= 4 + extraBytes && pes[0] == 0 && pes[1] == 0 && pes[2] == 1) {
      const int length = (pes[4] << 8) | pes[5];
      if (length > 0) header.UnitBytes = length + 6;
    }
  }
  return header;
}

std::uint32_t StampDistance(std::uint32_t from, std::uint32_t to) noexcept {
  return (to - from) & (StampModulus - 1);
}

bool CounterContinues(std::uint8_t previous, std::uint8_t next, bool nextHasPayload) noexcept {
  if (nextHasPayload) return next == ((previous + 1) & 0x0F);
  return next == previous;
}

}  // namespace mtsrescue
