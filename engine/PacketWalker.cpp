// Walking 192-byte packets outward from hit runs to the exact edges of each piece.
#include "engine/PacketWalker.h"

#include "engine/EngineConstants.h"

#include <algorithm>

namespace mtsrescue {
namespace {

// Bytes read per packet: its header and the adaptation field's length and flags.
constexpr std::int64_t HeaderReadBytes = PacketHeaderBytes + 2;

std::int64_t AlignUp(std::int64_t offset, std::int64_t unit) {
  return (offset + unit - 1) / unit * unit;
}

}  // namespace

PacketWalker::PacketWalker(SourceWindow& window) : window_(window) {
  firstCounter_.fill(-1);
  lastCounter_.fill(-1);
  firstPayload_.fill(0);
  lastPayload_.fill(0);
  firstPidOffset_.fill(0);
  lastUnitStart_.fill(-1);
}

void PacketWalker::ClearPids() {
  for (const std::uint16_t pid : pids_) {
    firstCounter_[pid] = -1;
    lastCounter_[pid] = -1;
    lastUnitStart_[pid] = -1;
  }
  pids_.clear();
}

void PacketWalker::NotePid(std::uint16_t pid, std::int64_t offset, const PacketHeader& header) {
  pids_.push_back(pid);
  firstCounter_[pid] = static_cast<std::int8_t>(header.Counter);
  lastCounter_[pid] = static_cast<std::int8_t>(header.Counter);
  firstPayload_[pid] = header.Payload;
  lastPayload_[pid] = header.Payload;
  firstPidOffset_[pid] = offset;
  lastUnitStart_[pid] = header.StartsUnit ? offset : -1;
}

void PacketWalker::StartChain(std::int64_t offset, const PacketHeader& header) {
  ClearPids();
  firstOffset_ = lastOffset_ = offset;
  firstStamp_ = lastStamp_ = header.Stamp;
  stepMin_ = MaxStampStepTicks;
  stepMax_ = 0;
  packets_ = 1;
  randomAccessOffset_ = -1;
  if (header.Pid != NullPid) NotePid(header.Pid, offset, header);
  if (header.StartsUnit && header.RandomAccess) {
    randomAccessOffset_ = offset;
    randomAccessPid_ = header.Pid;
  }
}

bool PacketWalker::Continues(const PacketHeader& header) const noexcept {
  if (!header.Plausible || !IsStampStep(lastStamp_, header.Stamp)) return false;
  if (header.Pid == NullPid) return true;
  if (lastCounter_[header.Pid] < 0) return pids_.size() < MaxPids;
  return CounterContinues(static_cast<std::uint8_t>(lastCounter_[header.Pid]), header.Counter,
                          header.Payload);
}

bool PacketWalker::Precedes(const PacketHeader& header) const noexcept {
  if (!header.Plausible || !IsStampStep(header.Stamp, firstStamp_)) return false;
  if (header.Pid == NullPid) return true;
  if (firstCounter_[header.Pid] < 0) return pids_.size() < MaxPids;
  return CounterContinues(header.Counter, static_cast<std::uint8_t>(firstCounter_[header.Pid]),
                          firstPayload_[header.Pid] != 0);
}

void PacketWalker::Append(std::int64_t offset, const PacketHeader& header) {
  const std::uint32_t step = StampDistance(lastStamp_, header.Stamp);
  stepMin_ = std::min(stepMin_, step);
  stepMax_ = std::max(stepMax_, step);
  lastStamp_ = header.Stamp;
  lastOffset_ = offset;
  ++packets_;
  if (header.Pid != NullPid) {
    if (lastCounter_[header.Pid] < 0) {
      NotePid(header.Pid, offset, header);
    } else {
      lastCounter_[header.Pid] = static_cast<std::int8_t>(header.Counter);
      lastPayload_[header.Pid] = header.Payload;
      if (header.StartsUnit) lastUnitStart_[header.Pid] = offset;
    }
  }
  if (randomAccessOffset_ < 0 && header.StartsUnit && header.RandomAccess) {
    randomAccessOffset_ = offset;
    randomAccessPid_ = header.Pid;
  }
}

void PacketWalker::Prepend(std::int64_t offset, const PacketHeader& header) {
  const std::uint32_t step = StampDistance(header.Stamp, firstStamp_);
  stepMin_ = std::min(stepMin_, step);
  stepMax_ = std::max(stepMax_, step);
  firstStamp_ = header.Stamp;
  firstOffset_ = offset;
  ++packets_;
  if (header.Pid != NullPid) {
    if (firstCounter_[header.Pid] < 0) {
      NotePid(header.Pid, offset, header);
    } else {
      firstCounter_[header.Pid] = static_cast<std::int8_t>(header.Counter);
      firstPayload_[header.Pid] = header.Payload;
      firstPidOffset_[header.Pid] = offset;
    }
  }
  if (header.StartsUnit && header.RandomAccess) {
    randomAccessOffset_ = offset;
    randomAccessPid_ = header.Pid;
  }
}

void PacketWalker::WalkBack(std::int64_t floorOffset) {
  for (std::int64_t offset = firstOffset_ - PacketBytes; offset >= floorOffset;
       offset -= PacketBytes) {
    const std::uint8_t* bytes = window_.At(offset, HeaderReadBytes);
    if (bytes == nullptr) return;
    const PacketHeader header = ReadPacketHeader(bytes, 2);
    if (!Precedes(header)) return;
    Prepend(offset, header);
  }
}

std::int64_t PacketWalker::WalkForward() {
  std::int64_t offset = lastOffset_ + PacketBytes;
  for (;; offset += PacketBytes) {
    const std::uint8_t* bytes = window_.At(offset, HeaderReadBytes);
    if (bytes == nullptr) {
      // The last packet of a source may be too short for the adaptation flags.
      bytes = window_.At(offset, PacketHeaderBytes);
      if (bytes == nullptr) return offset;
      const PacketHeader header = ReadPacketHeader(bytes, 0);
      if (!Continues(header)) return offset;
      Append(offset, header);
      continue;
    }
    const PacketHeader header = ReadPacketHeader(bytes, 2);
    if (!Continues(header)) return offset;
    Append(offset, header);
  }
}

// The piece's data reaches from the sector boundary just after the last foreign byte before its
// first header to the sector boundary where foreign bytes begin after its last header; a card
// stores files in whole clusters, so both edges are sector boundaries unless the stream itself
// begins or ends there.
ClipPiece PacketWalker::Finish(std::int64_t floorOffset) {
  ClipPiece piece;
  piece.FirstPacketOffset = firstOffset_;
  piece.LastPacketOffset = lastOffset_;
  piece.FirstStamp = firstStamp_;
  piece.LastStamp = lastStamp_;
  piece.StepMinTicks = packets_ > 1 ? stepMin_ : 0;
  piece.StepMaxTicks = stepMax_;
  piece.PacketCount = packets_;

  const std::int64_t head = AlignUp(firstOffset_ - PacketBytes + 1, SectorBytes);
  if (head <= firstOffset_ && head >= floorOffset) {
    piece.HeadOffset = head;
    piece.HeadAtSector = true;
    const std::int64_t headerEnd = firstOffset_ - PacketBytes + PacketHeaderBytes;
    if (head < headerEnd) {
      const std::uint8_t* bytes = window_.At(head, headerEnd - head);
      if (bytes != nullptr) {
        piece.HeadHeaderCount = static_cast<int>(headerEnd - head);
        std::copy(bytes, bytes + piece.HeadHeaderCount, piece.HeadHeaderBytes.begin());
      } else {
        piece.HeadAtSector = false;
        piece.HeadOffset = firstOffset_;
      }
    }
  } else {
    piece.HeadOffset = firstOffset_;
  }

  const std::int64_t nextPacket = lastOffset_ + PacketBytes;
  const std::int64_t tail = AlignUp(lastOffset_ + PacketHeaderBytes, SectorBytes);
  if (tail < nextPacket + PacketHeaderBytes && tail <= window_.SourceLength()) {
    piece.TailOffset = tail;
    piece.TailAtSector = true;
    if (tail > nextPacket) {
      const std::uint8_t* bytes = window_.At(nextPacket, tail - nextPacket);
      if (bytes != nullptr) {
        piece.TailHeaderCount = static_cast<int>(tail - nextPacket);
        std::copy(bytes, bytes + piece.TailHeaderCount, piece.TailHeaderBytes.begin());
      } else {
        piece.TailAtSector = false;
        piece.TailOffset = nextPacket;
      }
    }
  } else {
    piece.TailOffset = std::min(nextPacket, window_.SourceLength());
  }

  piece.FirstCounters.reserve(pids_.size());
  piece.LastCounters.reserve(pids_.size());
  for (const std::uint16_t pid : pids_) {
    piece.FirstCounters.push_back(
        {pid, static_cast<std::uint8_t>(firstCounter_[pid]), firstPayload_[pid] != 0});
    piece.LastCounters.push_back(
        {pid, static_cast<std::uint8_t>(lastCounter_[pid]), lastPayload_[pid] != 0});
    if (lastUnitStart_[pid] >= 0) piece.LastUnitStarts.push_back({pid, lastUnitStart_[pid]});
  }
  piece.FirstRandomAccessOffset = randomAccessOffset_;
  if (randomAccessOffset_ >= 0) {
    piece.RandomAccessPid = randomAccessPid_;
    piece.RandomAccessPidSeenBefore =
        randomAccessPid_ != NullPid && firstPidOffset_[randomAccessPid_] < randomAccessOffset_;
  }
  return piece;
}

void PacketWalker::WalkRun(std::int64_t runStartOffset, std::int64_t runEndOffset,
                           std::vector<ClipPiece>& pieces) {
  std::int64_t offset = runStartOffset;
  if (offset < floorOffset_) {
    offset += AlignUp(floorOffset_ - offset, PacketBytes);
  }
  while (offset < runEndOffset) {
    const std::uint8_t* bytes = window_.At(offset, HeaderReadBytes);
    if (bytes == nullptr) {
      offset += PacketBytes;
      continue;
    }
    const PacketHeader header = ReadPacketHeader(bytes, 2);
    if (!header.Plausible) {
      offset += PacketBytes;
      continue;
    }
    const std::int64_t floor = floorOffset_;
    StartChain(offset, header);
    WalkBack(floor);
    const std::int64_t failed = WalkForward();
    if (packets_ >= MinPiecePackets) {
      pieces.push_back(Finish(floor));
      floorOffset_ = std::max(floorOffset_, lastOffset_ + PacketHeaderBytes);
    }
    offset = std::max(failed, offset + PacketBytes);
  }
}

}  // namespace mtsrescue
