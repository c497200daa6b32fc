// The first 8 bytes of a 192-byte packet (arrival stamp and transport header) and the rules by
// which one packet continues another.
#pragma once

#include <cstdint>

namespace mtsrescue {

// Arrival stamps are 30 bits wide and wrap.
inline constexpr std::uint32_t StampModulus = std::uint32_t{1} << 30;
// The largest arrival-stamp step accepted between two packets of one stream: 15 units of the
// stamp's upper word, the step beyond which the sector test stops seeing a stream (about 36 ms).
inline constexpr std::uint32_t MaxStampStepTicks = 15u * 65536u;
// Stuffing packets carry no counter worth checking.
inline constexpr std::uint16_t NullPid = 0x1FFF;
// Bytes of a packet that ReadPacketHeader looks at.
inline constexpr int PacketHeaderBytes = 8;

struct PacketHeader {
  std::uint32_t Stamp = 0;  // 30-bit arrival stamp, copy-permission bits removed
  std::uint16_t Pid = 0;
  std::uint8_t Counter = 0;  // continuity counter, 0..15
  bool Payload = false;      // the counter advances only on packets that carry payload
  bool Adaptation = false;   // an adaptation field: where a payload unit ends, its stuffing
  bool StartsUnit = false;   // payload_unit_start_indicator
  bool RandomAccess = false; // adaptation field's random_access_indicator (needs 10 bytes)
  bool Plausible = false;    // sync byte, no transport error, a defined adaptation control
  // Bytes of payload (0 without), -1 when the adaptation field's length is not among the bytes.
  int PayloadBytes = -1;
  // Where a unit starts with a PES header whose length field is among the bytes and not 0: the
  // whole PES packet's bytes; otherwise -1.
  int UnitBytes = -1;
};

// bytes points at the first PacketHeaderBytes bytes of a packet. RandomAccess is read only when
// extraBytes >= 2 more bytes follow (the adaptation field length and flags); PayloadBytes and
// UnitBytes only as far as the extra bytes reach.
PacketHeader ReadPacketHeader(const std::uint8_t* bytes, int extraBytes = 0) noexcept;

// (to - from) modulo 2^30: the step from one arrival stamp to a later one.
std::uint32_t StampDistance(std::uint32_t from, std::uint32_t to) noexcept;

// Does a packet with counter next (and payload or not) follow one of the same PID with counter
// previous? Payload packets advance the counter by one (mod 16); others repeat it.
bool CounterContinues(std::uint8_t previous, std::uint8_t next, bool nextHasPayload) noexcept;

}  // namespace mtsrescue
