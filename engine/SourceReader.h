// Reading a source front to back in blocks, going round its bad areas instead of through them.
#pragma once

#include "engine/ReadBlock.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>

namespace mtsrescue {

// Milliseconds on a clock that never goes back; tests drive their own.
using MillisecondClock = std::function<std::int64_t()>;
// TickCount() widened past its 2^32 wrap.
MillisecondClock SystemMilliseconds();

// A failing read on a dying card can take a second and more. When a read fails, the first bad
// sector is found by halving, then sectors further on are tried at steps that double, until one
// reads; halving between it and the last failure finds where the area ends. What lies between is
// never read, and stands as zeros. Readable sectors next to a bad area that is one stretch are
// all kept; the price is that good sectors scattered inside a bad area are given up.
class SourceReader {
 public:
  // sourceLength bounds the probes. pacer is asked before every read of a bad area's search.
  SourceReader(ByteStream& stream, std::int64_t sourceLength, MillisecondClock clock, SectorPacer pacer);

  // Fills buffer[0, count) with the bytes at offset, which starts a sector; calls go forwards.
  // Unreadable and skipped sectors are zeros and listed. HandledBytes < count when the pacer gave
  // up, or when the source has answered no read for GiveUpMilliseconds (Unanswered()).
  BlockRead Read(std::int64_t offset, std::uint8_t* buffer, std::int64_t count);

  // Bad areas gone round so far.
  std::int64_t SkippedStretches() const noexcept { return skippedStretches_; }
  // Time spent finding their edges.
  std::int64_t BadAreaMilliseconds() const noexcept { return badAreaMilliseconds_; }
  // Every read failed for GiveUpMilliseconds: the card is gone or dead.
  bool Unanswered() const noexcept { return unanswered_; }

  static constexpr std::int64_t GiveUpMilliseconds = 30000;

 private:
  enum class Outcome { Whole, Failed, Ended };
  // One read of [at, at + count); goodBytes: whole sectors delivered before a failure.
  Outcome Try(std::int64_t at, std::uint8_t* buffer, std::int64_t count, std::int64_t& goodBytes);
  bool TrySector(std::int64_t at);
  // Finds where the bad area that begins at badOffset ends; false when the pacer gave up.
  bool GoRound(std::int64_t badOffset, std::int64_t started);
  bool GiveUp();

  ByteStream& stream_;
  std::int64_t sourceLength_;
  MillisecondClock clock_;
  SectorPacer pacer_;
  std::int64_t skipUntil_ = 0;  // [.., skipUntil_) of the last bad area is not read
  std::int64_t lastAnswer_ = 0;
  std::int64_t skippedStretches_ = 0;
  std::int64_t badAreaMilliseconds_ = 0;
  bool unanswered_ = false;
  std::uint8_t probe_[512] = {};
};

}  // namespace mtsrescue
