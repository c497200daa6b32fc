// Reading a stretch of a source whole, falling back to single sectors when the stream fails.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace mtsrescue {

// Sectors that could not be read, from Offset (absolute, bytes) on.
struct UnreadableStretch {
  std::int64_t Offset = 0;
  std::int64_t SectorCount = 0;
};

struct BlockRead {
  std::vector<UnreadableStretch> Unreadable;  // ascending; empty when the read was whole
  std::int64_t UnreadableSectors = 0;
  // buffer[0, HandledBytes) holds the source's bytes or zeros for unreadable sectors; less than
  // count only when the pacer gave up, and then the rest of buffer is zeros.
  std::int64_t HandledBytes = 0;
  // A sector came back short with no error: the stream ends before offset + count (a file that
  // shrank, a card taken away). Its zeros are no copy of anything.
  bool Ended = false;
};

// Asked before each single-sector read of the fallback, which on a failing disk can take seconds
// per sector: the caller handles its events there; false gives up the rest of the block.
using SectorPacer = std::function<bool()>;

// Fills buffer[0, count) with the source bytes at offset. When one read does not deliver them
// all (an error, or a short count), the rest is read again one SectorBytes piece at a time,
// counted from offset; a piece that still fails is all zeros in buffer, so no stale bytes
// survive. A partial last piece counts as a sector. Never throws, unless pacer does.
BlockRead ReadBlock(ByteStream& stream, std::int64_t offset, std::uint8_t* buffer, std::int64_t count,
                    const SectorPacer& pacer = {});

}  // namespace mtsrescue
