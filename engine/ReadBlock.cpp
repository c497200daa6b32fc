// ReadBlock: one read for the whole block, single sectors only where it failed.
#include "engine/ReadBlock.h"

#include "engine/EngineConstants.h"

#include <algorithm>
#include <cstring>

namespace mtsrescue {

BlockRead ReadBlock(ByteStream& stream, std::int64_t offset, std::uint8_t* buffer, std::int64_t count,
                    const SectorPacer& pacer) {
  BlockRead result;
  if (count <= 0) {
    return result;
  }
  result.HandledBytes = count;
  std::int64_t goodBytes = 0;
  if (!stream.Seek(offset)) {
    goodBytes = std::clamp<std::int64_t>(stream.Read(buffer, count).Bytes, 0, count);
    if (goodBytes == count) {
      return result;
    }
  }
  // Whole sectors already delivered are good; everything from the first incomplete one is read again.
  for (std::int64_t pieceAt = goodBytes / SectorBytes * SectorBytes; pieceAt < count; pieceAt += SectorBytes) {
    if (pacer && !pacer()) {
      std::memset(buffer + pieceAt, 0, static_cast<std::size_t>(count - pieceAt));
      result.HandledBytes = pieceAt;
      return result;
    }
    const std::int64_t pieceBytes = std::min(SectorBytes, count - pieceAt);
    std::uint8_t* piece = buffer + pieceAt;
    bool whole = false;
    if (!stream.Seek(offset + pieceAt)) {
      const IoResult read = stream.Read(piece, pieceBytes);
      whole = read.Bytes == pieceBytes;
      if (!whole && !read.Error) result.Ended = true;
    }
    if (whole) {
      continue;
    }
    std::memset(piece, 0, static_cast<std::size_t>(pieceBytes));
    ++result.UnreadableSectors;
    if (!result.Unreadable.empty()) {
      UnreadableStretch& last = result.Unreadable.back();
      if (last.Offset + last.SectorCount * SectorBytes == offset + pieceAt) {
        ++last.SectorCount;
        continue;
      }
    }
    result.Unreadable.push_back(UnreadableStretch{offset + pieceAt, 1});
  }
  return result;
}

}  // namespace mtsrescue
