// Synthetic camcorder-like streams for the clip tests, and a card layout to scatter them over.
#pragma once

#include "rebuild/ClipBuilder.h"
#include "engine/EngineConstants.h"
#include "engine/HitList.h"
#include "engine/IsPacketSector.h"

#include <cstdint>
#include <random>
#include <vector>

namespace mtsrescue::test {

// A stream of packets in 192-byte form, each with a 30-bit arrival stamp climbing by step from
// origin. The PIDs follow the usual layout (tables every 40 packets, video, audio, stuffing),
// interleaved by a pattern that depends on seed, so two streams differ in their counters even
// when they share stamps. Every 30th video packet starts a unit at a random-access point.
// Recorders write whole units of 32 packets; streams meant to be whole recordings have a
// multiple of 32 packets. The last video packet of each unit (and of the stream) carries an
// adaptation field, as a unit's end is padded with its stuffing.
inline std::vector<std::uint8_t> SyntheticStream(std::int64_t packets, std::uint32_t origin,
                                                 std::uint32_t step, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(packets * PacketBytes));
  std::mt19937 random(seed);
  std::uint8_t counters[0x2000] = {};
  std::int64_t videoPackets = 0;
  std::uint8_t* lastVideo = nullptr;
  const auto stuff = [](std::uint8_t* packet) {
    if ((packet[7] & 0x20) == 0) {
      packet[7] = static_cast<std::uint8_t>(0x30 | (packet[7] & 0x0F));
      packet[8] = 1;
      packet[9] = 0x00;
    }
  };
  for (std::int64_t k = 0; k < packets; ++k) {
    std::uint8_t* p = bytes.data() + k * PacketBytes;
    const std::uint32_t stamp = (origin + static_cast<std::uint32_t>(k) * step) & 0x3FFFFFFFu;
    p[0] = static_cast<std::uint8_t>(stamp >> 24);
    p[1] = static_cast<std::uint8_t>(stamp >> 16);
    p[2] = static_cast<std::uint8_t>(stamp >> 8);
    p[3] = static_cast<std::uint8_t>(stamp);
    std::uint16_t pid = 0x1011;
    const std::uint32_t draw = random() % 16;
    if (k % 40 == 0) pid = 0x0000;
    else if (k % 40 == 1) pid = 0x0100;
    else if (draw < 3) pid = 0x1100;
    else if (draw < 5) pid = 0x1FFF;
    bool unitStart = pid == 0x0000 || pid == 0x0100;
    bool randomAccess = false;
    if (pid == 0x1011) {
      randomAccess = videoPackets % 30 == 0;
      unitStart = randomAccess || videoPackets % 10 == 0;
      ++videoPackets;
    }
    for (int i = 8; i < PacketBytes; ++i) p[i] = static_cast<std::uint8_t>(random());
    p[4] = 0x47;
    p[5] = static_cast<std::uint8_t>((unitStart ? 0x40 : 0x00) | (pid >> 8));
    p[6] = static_cast<std::uint8_t>(pid & 0xFF);
    const std::uint8_t counter = pid == 0x1FFF ? 0 : counters[pid];
    if (pid != 0x1FFF) counters[pid] = static_cast<std::uint8_t>((counters[pid] + 1) & 0x0F);
    if (randomAccess) {
      p[7] = static_cast<std::uint8_t>(0x30 | counter);  // adaptation field and payload
      p[8] = 7;
      p[9] = 0x50;  // random access, PCR
    } else {
      p[7] = static_cast<std::uint8_t>(0x10 | counter);
    }
    if (pid == 0x1011) {
      if (unitStart && lastVideo != nullptr) stuff(lastVideo);
      lastVideo = p;
    }
  }
  if (lastVideo != nullptr) stuff(lastVideo);
  return bytes;
}

// stream with every random-access flag cleared: no picture a decoder can begin at.
inline std::vector<std::uint8_t> WithoutRandomAccess(std::vector<std::uint8_t> stream) {
  for (std::size_t at = 0; at < stream.size(); at += PacketBytes) {
    if ((stream[at + 7] & 0x20) != 0 && stream[at + 8] > 0) stream[at + 9] &= static_cast<std::uint8_t>(~0x40);
  }
  return stream;
}

// A source image of random bytes into which stretches of recordings are copied.
class CardImage {
 public:
  explicit CardImage(std::int64_t lengthBytes, std::uint32_t seed = 7)
      : bytes_(static_cast<std::size_t>(lengthBytes)) {
    std::mt19937 random(seed);
    for (auto& byte : bytes_) byte = static_cast<std::uint8_t>(random());
  }

  // Copies recording bytes [fileOffset, fileOffset + lengthBytes) to sourceOffset.
  void Place(const std::vector<std::uint8_t>& recording, std::int64_t fileOffset,
             std::int64_t lengthBytes, std::int64_t sourceOffset) {
    const std::int64_t end = std::min<std::int64_t>(fileOffset + lengthBytes,
                                                    static_cast<std::int64_t>(recording.size()));
    std::copy(recording.begin() + fileOffset, recording.begin() + end, bytes_.begin() + sourceOffset);
  }

  void Fill(std::int64_t offset, std::int64_t lengthBytes, std::uint8_t value) {
    std::fill(bytes_.begin() + offset, bytes_.begin() + offset + lengthBytes, value);
  }

  const std::vector<std::uint8_t>& Bytes() const noexcept { return bytes_; }
  std::vector<std::uint8_t>& Bytes() noexcept { return bytes_; }

  // The hit runs a scan of the image would give: [first hit, last hit + 1536) each.
  std::vector<ClipSpan> HitRuns() const {
    HitList hits;
    for (std::size_t at = 0; at + SectorBytes <= bytes_.size(); at += SectorBytes) {
      if (IsPacketSector(bytes_.data() + at)) hits.Append(static_cast<std::int64_t>(at));
    }
    std::vector<ClipSpan> runs;
    for (const HitRun& run : hits.Runs()) {
      runs.push_back({run.StartOffset, run.StartOffset + run.Count * GroupBytes});
    }
    return runs;
  }

 private:
  std::vector<std::uint8_t> bytes_;
};

// The index of the last video packet before packet limit that starts a unit (a picture): where
// a recording cut in packet limit ends.
inline std::int64_t LastPictureStart(const std::vector<std::uint8_t>& stream, std::int64_t limit) {
  std::int64_t last = -1;
  for (std::int64_t k = 0; k < limit; ++k) {
    const std::uint8_t* p = stream.data() + k * PacketBytes;
    if (p[6] == 0x11 && (p[5] & 0x1F) == 0x10 && (p[5] & 0x40)) last = k;
  }
  return last;
}

// Bytes [start, end) of data.
inline std::vector<std::uint8_t> Slice(const std::vector<std::uint8_t>& data, std::int64_t start,
                                       std::int64_t end) {
  return {data.begin() + start, data.begin() + end};
}

}  // namespace mtsrescue::test
