// Reading the picture stream's PES packets out of 192-byte transport packets.
#include "thumbnails/VideoPackets.h"

#include <algorithm>

namespace mtsrescue {
namespace {

constexpr int TsBytes = 188;
constexpr int ChunkPackets = 1024;
// A PES packet of one picture is far smaller; one that grows past this is a garbled stretch
// whose headers were lost, and would only eat memory.
constexpr std::size_t MaxPesBytes = 8 << 20;
constexpr int StreamTypeH264 = 0x1B;

// Where a packet's payload begins, or -1 when it has none (or a garbled adaptation length).
int PayloadStart(const std::uint8_t* ts) {
  const int control = (ts[3] >> 4) & 3;
  if ((control & 1) == 0) return -1;
  const int start = (control & 2) ? 5 + ts[4] : 4;
  return start < TsBytes ? start : -1;
}

int PidOf(const std::uint8_t* ts) { return ((ts[1] & 0x1F) << 8) | ts[2]; }

bool BeginsVideoPes(const std::uint8_t* payload, int count) {
  return count >= 9 && payload[0] == 0 && payload[1] == 0 && payload[2] == 1 && (payload[3] & 0xF0) == 0xE0;
}

}  // namespace

std::int64_t PesPts(const std::uint8_t* payload, int count) {
  if (count < 14 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return -1;
  if ((payload[6] & 0xC0) != 0x80 || (payload[7] & 0x80) == 0) return -1;
  const std::uint8_t* p = payload + 9;
  return (static_cast<std::int64_t>((p[0] >> 1) & 7) << 30) | (static_cast<std::int64_t>(p[1]) << 22) |
         (static_cast<std::int64_t>(p[2] >> 1) << 15) | (static_cast<std::int64_t>(p[3]) << 7) | (p[4] >> 1);
}

VideoPackets::VideoPackets(ByteStream& stream, std::int64_t lengthBytes) : stream_(stream), length_(lengthBytes) {}

std::int64_t VideoPackets::ReadAt(std::int64_t offset, std::int64_t count) {
  buffer_.resize(static_cast<std::size_t>(count));
  if (stream_.Seek(offset)) return 0;
  std::int64_t got = 0;
  while (got < count) {
    const IoResult result = stream_.Read(buffer_.data() + got, count - got);
    if (result.Bytes <= 0) break;
    got += result.Bytes;
    if (result.Error) break;
  }
  return got;
}

std::int64_t VideoPackets::PacketBoundary(std::int64_t offset) {
  // Looks through one chunk at a time; three sync bytes 192 bytes apart rarely happen by chance.
  constexpr std::int64_t Window = 64 * 1024;
  for (std::int64_t at = offset; at + 3 * PacketBytes <= length_; at += Window) {
    const std::int64_t got = ReadAt(at, Window + 3 * PacketBytes);
    for (std::int64_t i = 0; i < Window && i + 2 * PacketBytes + 5 <= got; ++i) {
      const std::uint8_t* b = buffer_.data() + i;
      if (b[4] == 0x47 && b[4 + PacketBytes] == 0x47 && b[4 + 2 * PacketBytes] == 0x47) return at + i;
    }
    if (got < Window + 3 * PacketBytes) break;
  }
  return -1;
}

int VideoPackets::FindVideoPid(std::int64_t maxBytes) {
  videoPid_ = NoPid;
  std::vector<int> pmtPids;
  int firstVideoPes = NoPid;
  std::int64_t offset = PacketBoundary(0);
  const std::int64_t end = std::min(length_, offset + maxBytes);
  while (offset >= 0 && offset + PacketBytes <= end) {
    const std::int64_t want = std::min<std::int64_t>(ChunkPackets * PacketBytes, (end - offset) / PacketBytes * PacketBytes);
    const std::int64_t got = ReadAt(offset, want);
    if (got < PacketBytes) break;
    std::int64_t p = 0;
    for (; p + PacketBytes <= got; p += PacketBytes) {
      const std::uint8_t* ts = buffer_.data() + p + 4;
      if (ts[0] != 0x47) break;
      const int start = PayloadStart(ts);
      if (start < 0 || (ts[1] & 0x40) == 0) continue;
      const int pid = PidOf(ts);
      const std::uint8_t* payload = ts + start;
      const int count = TsBytes - start;
      if (pid == 0 || std::find(pmtPids.begin(), pmtPids.end(), pid) != pmtPids.end()) {
        // A section that fits the packet; camcorders' PAT and PMT always do.
        const int pointer = payload[0];
        if (1 + pointer + 12 > count) continue;
        const std::uint8_t* s = payload + 1 + pointer;
        const int sectionEnd = std::min(count - 1 - pointer, 3 + (((s[1] & 0x0F) << 8) | s[2])) - 4;  // before the CRC
        if (pid == 0 && s[0] == 0x00) {
          for (int i = 8; i + 4 <= sectionEnd; i += 4) {
            const int program = (s[i] << 8) | s[i + 1];
            const int mapPid = ((s[i + 2] & 0x1F) << 8) | s[i + 3];
            if (program != 0 && pmtPids.size() < 8) pmtPids.push_back(mapPid);
          }
        } else if (pid != 0 && s[0] == 0x02) {
          int i = 12 + (((s[10] & 0x0F) << 8) | s[11]);
          for (; i + 5 <= sectionEnd; i += 5 + (((s[i + 3] & 0x0F) << 8) | s[i + 4])) {
            if (s[i] == StreamTypeH264) {
              videoPid_ = ((s[i + 1] & 0x1F) << 8) | s[i + 2];
              return videoPid_;
            }
          }
        }
      } else if (firstVideoPes == NoPid && BeginsVideoPes(payload, count)) {
        firstVideoPes = pid;
      }
    }
    offset += p;
    if (p + PacketBytes <= got) offset = PacketBoundary(offset + 1);  // lost the packets' rhythm
  }
  videoPid_ = firstVideoPes;
  return videoPid_;
}

std::int64_t VideoPackets::Walk(std::int64_t fromOffset, std::int64_t maxBytes,
                                const std::function<bool(VideoPes&)>& take) {
  if (videoPid_ == NoPid) return 0;
  std::int64_t offset = PacketBoundary(fromOffset);
  std::int64_t read = 0;
  VideoPes pes;
  bool open = false;  // pes is being filled and has no hole so far
  int counter = -1;   // the continuity counter of the last packet taken
  while (offset >= 0 && offset + PacketBytes <= length_ && read < maxBytes) {
    const std::int64_t want = std::min<std::int64_t>(ChunkPackets * PacketBytes, (length_ - offset) / PacketBytes * PacketBytes);
    const std::int64_t got = ReadAt(offset, want);
    read += got;
    if (got < PacketBytes) break;
    std::int64_t p = 0;
    for (; p + PacketBytes <= got; p += PacketBytes) {
      const std::uint8_t* ts = buffer_.data() + p + 4;
      if (ts[0] != 0x47) break;
      if (PidOf(ts) != videoPid_) continue;
      const int start = PayloadStart(ts);
      if (start < 0) continue;
      const int expected = (counter + 1) & 0x0F;
      const bool continues = counter < 0 || (ts[3] & 0x0F) == expected;
      counter = ts[3] & 0x0F;
      if ((ts[1] & 0x80) != 0) {  // the transport error flag: its bytes cannot be trusted
        open = false;
        continue;
      }
      const std::uint8_t* payload = ts + start;
      const int count = TsBytes - start;
      if ((ts[1] & 0x40) != 0) {
        if (open && !pes.Bytes.empty() && !take(pes)) return read;
        open = false;
        if (!BeginsVideoPes(payload, count)) continue;
        const int header = 9 + payload[8];
        if (header > count) continue;
        pes.Offset = offset + p;
        pes.Pts = PesPts(payload, count);
        pes.Bytes.assign(payload + header, payload + count);
        open = true;
      } else if (open) {
        if (!continues || pes.Bytes.size() > MaxPesBytes) {
          open = false;  // a packet is missing: the rest of this unit would be decoded as garbage
          continue;
        }
        pes.Bytes.insert(pes.Bytes.end(), payload, payload + count);
      }
    }
    offset += p;
    if (p + PacketBytes <= got) {  // lost the packets' rhythm: a garbled stretch
      open = false;
      counter = -1;
      offset = PacketBoundary(offset + 1);
    }
  }
  if (open && !pes.Bytes.empty()) take(pes);  // the last one ends with the file
  return read;
}

}  // namespace mtsrescue
