// SourceReader: whole blocks while the source answers; round a bad area by halving and doubling steps.
#include "engine/SourceReader.h"

#include "engine/EngineConstants.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <utility>

namespace mtsrescue {

namespace {

// The longest step of the probes: a dead card of many GiB is still crossed in a few hundred reads.
std::int64_t MaxStepBytes(std::int64_t sourceLength) {
  return std::max(BlockBytes, sourceLength / 256 / SectorBytes * SectorBytes);
}

}  // namespace

MillisecondClock SystemMilliseconds() {
  return [] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  };
}

SourceReader::SourceReader(ByteStream& stream, std::int64_t sourceLength, MillisecondClock clock, SectorPacer pacer)
    : stream_(stream),
      sourceLength_(sourceLength),
      clock_(clock ? std::move(clock) : SystemMilliseconds()),
      pacer_(std::move(pacer)) {
  lastAnswer_ = clock_();
}

SourceReader::Outcome SourceReader::Try(std::int64_t at, std::uint8_t* buffer, std::int64_t count,
                                        std::int64_t& goodBytes) {
  goodBytes = 0;
  if (stream_.Seek(at)) return Outcome::Failed;
  const IoResult read = stream_.Read(buffer, count);
  const std::int64_t bytes = std::clamp<std::int64_t>(read.Bytes, 0, count);
  if (bytes == count) {
    lastAnswer_ = clock_();
    return Outcome::Whole;
  }
  goodBytes = bytes / SectorBytes * SectorBytes;
  if (goodBytes > 0) lastAnswer_ = clock_();
  return read.Error ? Outcome::Failed : Outcome::Ended;
}

bool SourceReader::TrySector(std::int64_t at) {
  std::int64_t good = 0;
  return Try(at, probe_, std::min(SectorBytes, sourceLength_ - at), good) == Outcome::Whole;
}

bool SourceReader::GiveUp() {
  if (clock_() - lastAnswer_ < GiveUpMilliseconds) return false;
  unanswered_ = true;
  return true;
}

bool SourceReader::GoRound(std::int64_t badOffset, std::int64_t started) {
  ++skippedStretches_;
  const auto paced = [&] {
    const bool goOn = (!pacer_ || pacer_()) && !GiveUp();
    if (!goOn) badAreaMilliseconds_ += clock_() - started;
    return goOn;
  };
  // Forward in doubling steps until a sector reads: the area ends between that and the last failure.
  const std::int64_t lastSector = (sourceLength_ - 1) / SectorBytes * SectorBytes;
  const std::int64_t maxStep = MaxStepBytes(sourceLength_);
  std::int64_t lastBad = badOffset;
  std::int64_t firstGood = -1;
  for (std::int64_t step = SectorBytes; lastBad + step <= lastSector; step = std::min(step * 2, maxStep)) {
    if (!paced()) return false;
    if (TrySector(lastBad + step)) {
      firstGood = lastBad + step;
      break;
    }
    lastBad += step;
  }
  if (firstGood < 0) {
    skipUntil_ = sourceLength_;
  } else {
    // Assumed one stretch: halving finds its end with few reads.
    while (firstGood - lastBad > SectorBytes) {
      if (!paced()) return false;
      const std::int64_t middle = lastBad + (firstGood - lastBad) / SectorBytes / 2 * SectorBytes;
      (TrySector(middle) ? firstGood : lastBad) = middle;
    }
    skipUntil_ = firstGood;
  }
  badAreaMilliseconds_ += clock_() - started;
  return true;
}

BlockRead SourceReader::Read(std::int64_t offset, std::uint8_t* buffer, std::int64_t count) {
  BlockRead result;
  result.HandledBytes = count;
  const auto unreadable = [&](std::int64_t from, std::int64_t bytes) {
    std::memset(buffer + from, 0, static_cast<std::size_t>(bytes));
    const std::int64_t sectors = (bytes + SectorBytes - 1) / SectorBytes;
    result.UnreadableSectors += sectors;
    if (!result.Unreadable.empty()) {
      UnreadableStretch& last = result.Unreadable.back();
      if (last.Offset + last.SectorCount * SectorBytes == offset + from) {
        last.SectorCount += sectors;
        return;
      }
    }
    result.Unreadable.push_back({offset + from, sectors});
  };
  const auto giveUpAt = [&](std::int64_t at) {
    std::memset(buffer + at, 0, static_cast<std::size_t>(count - at));
    result.HandledBytes = at;
    return result;
  };
  std::int64_t at = 0;
  std::int64_t endedAt = -1;
  while (at < count) {
    if (offset + at < skipUntil_) {
      const std::int64_t bytes = std::min(skipUntil_ - (offset + at), count - at);
      unreadable(at, bytes);
      at += bytes;
      continue;
    }
    std::int64_t good = 0;
    const std::int64_t tried = clock_();  // a bad area's time counts from its first failed read
    const Outcome outcome = Try(offset + at, buffer + at, count - at, good);
    if (outcome == Outcome::Whole) break;
    at += good;
    if (outcome == Outcome::Ended) {
      // Short with no error, twice at the same place: the source ends there now.
      if (good > 0 || endedAt != at) {
        endedAt = at;
        continue;
      }
      std::memset(buffer + at, 0, static_cast<std::size_t>(count - at));
      result.Ended = true;
      return result;
    }
    if (GiveUp()) return giveUpAt(at);
    // The first bad sector, by halving [low, high), which holds one.
    std::int64_t low = at;
    std::int64_t high = count;
    while (high - low > SectorBytes) {
      if ((pacer_ && !pacer_()) || GiveUp()) {
        ++skippedStretches_;
        badAreaMilliseconds_ += clock_() - tried;
        return giveUpAt(low);
      }
      const std::int64_t middle = low + (high - low + SectorBytes - 1) / SectorBytes / 2 * SectorBytes;
      if (Try(offset + low, buffer + low, middle - low, good) == Outcome::Whole) {
        low = middle;
      } else {
        low += good;
        high = middle;
      }
    }
    if (!GoRound(offset + low, tried)) return giveUpAt(low);
    at = low;
  }
  return result;
}

}  // namespace mtsrescue
