// The H.264 elementary stream of a 192-byte-packet file, PES packet by PES packet, with its PTS.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace mtsrescue {

// One PES packet of the picture stream: its payload (H.264 bytes) and its presentation time.
struct VideoPes {
  std::int64_t Offset = 0;  // of the packet that begins it, in the file
  std::int64_t Pts = -1;    // 90 kHz, 33 bits; -1 when the header carries none
  std::vector<std::uint8_t> Bytes;
};

// A minimal demultiplexer: only what feeding a decoder needs. Packets that are not transport
// packets (a garbled or zeroed stretch) are passed over; the PES packet they fell into is dropped
// rather than handed on with a hole in it.
class VideoPackets {
 public:
  static constexpr int PacketBytes = 192;
  static constexpr int NoPid = -1;

  // stream stays owned by the caller; lengthBytes: its size.
  VideoPackets(ByteStream& stream, std::int64_t lengthBytes);

  // The picture PID: the PMT's stream of type 0x1B (H.264), else the first PID whose payload
  // units begin a video PES packet, found within the first maxBytes. NoPid when there is none.
  int FindVideoPid(std::int64_t maxBytes);
  int VideoPid() const noexcept { return videoPid_; }

  // Calls take(pes) for each whole PES packet of the picture stream from fromOffset on (moved
  // to the next packet boundary), in file order, until take returns false, maxBytes were read
  // or the file ends. Returns the bytes read. A read error ends the walk like the end of file.
  std::int64_t Walk(std::int64_t fromOffset, std::int64_t maxBytes, const std::function<bool(VideoPes&)>& take);

  // The first offset at or after offset where three packets in a row begin with a sync byte;
  // -1 when there is none before the end.
  std::int64_t PacketBoundary(std::int64_t offset);

  std::int64_t LengthBytes() const noexcept { return length_; }

 private:
  // Reads count bytes at offset into buffer_; the bytes really read.
  std::int64_t ReadAt(std::int64_t offset, std::int64_t count);

  ByteStream& stream_;
  std::int64_t length_;
  int videoPid_ = NoPid;
  std::vector<std::uint8_t> buffer_;
};

// The PTS in a PES header (payload points at "00 00 01"), or -1 when there is none.
std::int64_t PesPts(const std::uint8_t* payload, int count);

}  // namespace mtsrescue
