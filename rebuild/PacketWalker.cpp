// Walking 192-byte packets outward from hit runs to the exact edges of each piece.
#include "rebuild/PacketWalker.h"

#include "engine/EngineConstants.h"
#include "rebuild/PacketHeader.h"
#include "rebuild/VideoStreamReader.h"

#include <algorithm>
#include <array>
#include <cstdint>

namespace mtsrescue {
namespace {

// Bytes read per packet: its header, the adaptation field's length and flags, and the length of
// a PES packet that begins after a short adaptation field.
constexpr std::int64_t HeaderReadBytes = 32;
constexpr std::size_t MaxPids = 64;  // more in one chain is not a camcorder stream
constexpr int PidSlots = 0x2000;
constexpr std::int64_t NoOffset = INT64_MAX;

std::int64_t AlignUp(std::int64_t offset, std::int64_t unit) {
  return (offset + unit - 1) / unit * unit;
}

std::int64_t PositiveRemainder(std::int64_t value, std::int64_t divisor) {
  const std::int64_t remainder = value % divisor;
  return remainder < 0 ? remainder + divisor : remainder;
}

// Reads the header at offset; false when its bytes are not to be had (or not yet).
bool HeaderAt(SourceWindow& window, std::int64_t offset, PacketHeader& header) {
  if (const std::uint8_t* bytes = window.At(offset, HeaderReadBytes)) {
    header = ReadPacketHeader(bytes, HeaderReadBytes - PacketHeaderBytes);
    return true;
  }
  if (window.Waiting()) return false;
  // The last packet of a source may be too short for the adaptation flags.
  if (const std::uint8_t* bytes = window.At(offset, PacketHeaderBytes)) {
    header = ReadPacketHeader(bytes, 0);
    return true;
  }
  return false;
}

// Reads the packet at offset: its header, and all its bytes in *packet (nullptr when they are not
// all to be had, as at the end of the source). false when its header is not to be had (or not yet).
bool PacketAt(SourceWindow& window, std::int64_t offset, PacketHeader& header, const std::uint8_t** packet) {
  *packet = nullptr;
  if (const std::uint8_t* bytes = window.At(offset, PacketBytes)) {
    header = ReadPacketHeader(bytes, PacketBytes - PacketHeaderBytes);
    *packet = bytes;
    return true;
  }
  if (window.Waiting()) return false;
  return HeaderAt(window, offset, header);
}

}  // namespace

class PacketWalker::Chain {
 public:
  Chain() {
    firstCounter_.fill(-1);
    lastCounter_.fill(-1);
    lastUnitStart_.fill(-1);
  }

  void Start(std::int64_t offset, const PacketHeader& header) {
    HeadGuessed = false;
    for (const std::uint16_t pid : pids_) {
      firstCounter_[pid] = lastCounter_[pid] = -1;
      lastUnitStart_[pid] = -1;
    }
    pids_.clear();
    recent_.clear();
    video_.Reset();
    reading_ = false;
    recentStart_ = 0;
    First = Last = offset;
    LastPid = header.Pid;
    FirstStamp = LastStamp = header.Stamp;
    StepMin = MaxStampStepTicks;
    StepMax = 0;
    Packets = 1;
    if (header.Pid != NullPid) NotePid(offset, header);
    Remember(offset, header, -1);
  }

  bool Continues(const PacketHeader& header) const {
    if (!header.Plausible || !Possible(StampDistance(LastStamp, header.Stamp))) return false;
    if (header.Pid == NullPid) return true;
    if (lastCounter_[header.Pid] < 0) return pids_.size() < MaxPids;
    return CounterContinues(static_cast<std::uint8_t>(lastCounter_[header.Pid]), header.Counter,
                            header.Payload);
  }

  bool Precedes(const PacketHeader& header) const {
    if (!header.Plausible || !Possible(StampDistance(header.Stamp, FirstStamp))) return false;
    if (header.Pid == NullPid) return true;
    if (firstCounter_[header.Pid] < 0) return pids_.size() < MaxPids;
    return CounterContinues(header.Counter, static_cast<std::uint8_t>(firstCounter_[header.Pid]),
                            firstPayload_[header.Pid] != 0);
  }

  // A stamp step a recorder can make: forward, and by no more than any recorder steps. Its pace
  // is no evidence: recorders hold one step for hundreds of packets and then change it.
  static bool Possible(std::uint32_t step) { return step >= 1 && step <= MaxStampStepTicks; }

  void Append(std::int64_t offset, const PacketHeader& header) {
    std::int32_t owedBefore = -1;
    LastStep = StampDistance(LastStamp, header.Stamp);
    if (Packets == 1) FirstStep = LastStep;
    NoteStep(LastStep);
    LastStamp = header.Stamp;
    Last = offset;
    LastPid = header.Pid;
    ++Packets;
    if (header.Pid != NullPid) {
      if (lastCounter_[header.Pid] < 0) {
        NotePid(offset, header);
      } else {
        lastCounter_[header.Pid] = static_cast<std::int8_t>(header.Counter);
        lastPayload_[header.Pid] = header.Payload;
        if (header.StartsUnit) lastUnitStart_[header.Pid] = offset;
        owedBefore = unitOwed_[header.Pid];
        unitOwed_[header.Pid] = StartsUnit(header) ? UnitOwed(header) : Less(unitOwed_[header.Pid], header.PayloadBytes);
        if (firstUnit_[header.Pid] == NoOffset) {
          if (StartsUnit(header)) {
            firstUnit_[header.Pid] = offset;
          } else {
            headBytes_[header.Pid] = More(headBytes_[header.Pid], header.PayloadBytes);
          }
        }
        if (header.Payload && (header.StartsUnit || header.Adaptation)) {
          unitEdge_[header.Pid] = std::min(unitEdge_[header.Pid], offset);
        }
        if (header.Payload && firstPayloadOffset_[header.Pid] == NoOffset) {
          firstPayloadOffset_[header.Pid] = offset;
          firstPayloadStartsUnit_[header.Pid] = header.StartsUnit;
        }
        if (firstRandomAccess_[header.Pid] == NoOffset && header.StartsUnit && header.RandomAccess) {
          firstRandomAccess_[header.Pid] = offset;
        }
        ++pidPackets_[header.Pid];
      }
    }
    Remember(offset, header, owedBefore);
  }

  void Feed(std::int64_t offset, const std::uint8_t* packet) {
    if (packet != nullptr) {
      video_.Packet(offset, packet + (PacketBytes - 188));
    } else {
      video_.Skip();
    }
  }

  void Prepend(std::int64_t offset, const PacketHeader& header) {
    FirstStep = StampDistance(header.Stamp, FirstStamp);
    if (Packets == 1) LastStep = FirstStep;
    NoteStep(FirstStep);
    FirstStamp = header.Stamp;
    First = offset;
    ++Packets;
    if (header.Pid != NullPid) {
      if (firstCounter_[header.Pid] < 0) {
        NotePid(offset, header);
      } else {
        firstCounter_[header.Pid] = static_cast<std::int8_t>(header.Counter);
        firstPayload_[header.Pid] = header.Payload;
        firstPidOffset_[header.Pid] = offset;
        if (StartsUnit(header)) {
          firstUnit_[header.Pid] = offset;
          headBytes_[header.Pid] = 0;
        } else {
          headBytes_[header.Pid] = More(headBytes_[header.Pid], header.PayloadBytes);
        }
        if (header.Payload) {
          firstPayloadOffset_[header.Pid] = offset;
          firstPayloadStartsUnit_[header.Pid] = header.StartsUnit;
          if (header.StartsUnit || header.Adaptation) unitEdge_[header.Pid] = offset;
        }
        if (header.StartsUnit && header.RandomAccess) firstRandomAccess_[header.Pid] = offset;
        ++pidPackets_[header.Pid];
      }
    }
  }

  // Reads the pictures of the packets walked so far, and from then on of each one walked forward.
  // Walking back first finds where the chain begins: pictures are read in stream order. False
  // when it has to wait for bytes still to be fed.
  bool ReadVideo(SourceWindow& window) {
    video_.Reset();
    PacketHeader header;
    const std::uint8_t* packet = nullptr;
    for (std::int64_t offset = First; offset <= Last; offset += PacketBytes) {
      if (!PacketAt(window, offset, header, &packet) && window.Waiting()) return false;
      Feed(offset, packet);
    }
    reading_ = true;
    return true;
  }

  // Walks back from First while the packet before still precedes it, not below floorOffset.
  void WalkBack(SourceWindow& window, std::int64_t floorOffset) {
    PacketHeader header;
    for (std::int64_t offset = First - PacketBytes; offset >= floorOffset; offset -= PacketBytes) {
      if (!HeaderAt(window, offset, header) || !Precedes(header)) return;
      Prepend(offset, header);
    }
  }

  // Walks on from Last while packets continue, at most maxPackets of them; returns the offset of
  // the first packet not taken. No packet whose header reaches past stopOffset is taken.
  std::int64_t WalkForward(SourceWindow& window, std::int64_t maxPackets = INT64_MAX,
                           std::int64_t stopOffset = INT64_MAX) {
    PacketHeader header;
    const std::uint8_t* packet = nullptr;
    for (std::int64_t offset = Last + PacketBytes;; offset += PacketBytes) {
      if (maxPackets-- <= 0 || offset + PacketHeaderBytes > stopOffset) return offset;
      if (reading_ ? !PacketAt(window, offset, header, &packet) : !HeaderAt(window, offset, header)) return offset;
      if (!Continues(header)) return offset;
      Append(offset, header);
      if (reading_) Feed(offset, packet);
    }
  }

  // The earliest offset TruncateBefore can cut the chain back to: the packets before are not
  // remembered, or were found walking back.
  std::int64_t EarliestCut() const { return recent_[recentStart_].Offset + PacketHeaderBytes; }

  // Forgets the packets walked forward whose header reaches endOffset or beyond, as far as they
  // are remembered; the counters go back to what they were before each.
  void TruncateBefore(std::int64_t endOffset) {
    while (recent_.size() - recentStart_ > 1 && Last + PacketHeaderBytes > endOffset) {
      const Remembered gone = recent_.back();
      recent_.pop_back();
      if (gone.Pid != NullPid) {
        if (firstPidOffset_[gone.Pid] == gone.Offset) {
          firstCounter_[gone.Pid] = lastCounter_[gone.Pid] = -1;
          pids_.erase(std::find(pids_.begin(), pids_.end(), gone.Pid));
        } else {
          lastCounter_[gone.Pid] =
              static_cast<std::int8_t>(gone.Payload ? (gone.Counter + 15) & 0x0F : gone.Counter);
          unitOwed_[gone.Pid] = gone.OwedBefore;
          if (firstUnit_[gone.Pid] == gone.Offset) {
            firstUnit_[gone.Pid] = NoOffset;
          } else if (firstUnit_[gone.Pid] == NoOffset && headBytes_[gone.Pid] >= 0) {
            headBytes_[gone.Pid] -= gone.PayloadBytes;
          }
        }
        if (lastUnitStart_[gone.Pid] == gone.Offset) lastUnitStart_[gone.Pid] = -1;
        if (firstPayloadOffset_[gone.Pid] == gone.Offset) firstPayloadOffset_[gone.Pid] = NoOffset;
        if (unitEdge_[gone.Pid] == gone.Offset) unitEdge_[gone.Pid] = NoOffset;
        if (firstRandomAccess_[gone.Pid] == gone.Offset) firstRandomAccess_[gone.Pid] = NoOffset;
        --pidPackets_[gone.Pid];
      }
      --Packets;
      Last = recent_.back().Offset;
      LastPid = recent_.back().Pid;
      if (recent_.size() - recentStart_ > 1) LastStep = StampDistance(recent_[recent_.size() - 2].Stamp, recent_.back().Stamp);
      LastStamp = recent_.back().Stamp;
    }
    video_.ForgetFrom(Last + PacketBytes);
  }

  void Export(ClipPiece& piece) const {
    piece.FirstPacketOffset = First;
    piece.LastPacketOffset = Last;
    piece.FirstStamp = FirstStamp;
    piece.LastStamp = LastStamp;
    piece.LastPid = LastPid;
    piece.FirstStepTicks = Packets > 1 ? FirstStep : 0;
    piece.LastStepTicks = Packets > 1 ? LastStep : 0;
    piece.StepMinTicks = Packets > 1 ? StepMin : 0;
    piece.StepMaxTicks = StepMax;
    piece.PacketCount = Packets;
    piece.HeadGuessed = HeadGuessed;
    for (const std::uint16_t pid : pids_) {
      piece.FirstCounters.push_back(
          {pid, static_cast<std::uint8_t>(firstCounter_[pid]), firstPayload_[pid] != 0});
      piece.LastCounters.push_back(
          {pid, static_cast<std::uint8_t>(lastCounter_[pid]), lastPayload_[pid] != 0});
      if (lastUnitStart_[pid] >= 0) piece.LastUnitStarts.push_back({pid, lastUnitStart_[pid]});
      if (unitOwed_[pid] >= 0) piece.TailUnitOwed.push_back({pid, unitOwed_[pid], true});
      if (headBytes_[pid] >= 0) piece.HeadUnitBytes.push_back({pid, headBytes_[pid], firstUnit_[pid] != NoOffset});
    }
    // Pictures are what decoding must start with; audio frames are each a random-access point.
    // The picture PID is the H.264 stream's, or without one, the busiest PID.
    std::uint16_t picturePid = NullPid;
    if (video_.HasVideoPid() && firstCounter_[video_.VideoPid()] >= 0) {
      picturePid = video_.VideoPid();
    } else {
      for (const std::uint16_t pid : pids_) {
        if (picturePid == NullPid || pidPackets_[pid] > pidPackets_[picturePid]) picturePid = pid;
      }
    }
    if (picturePid == NullPid) return;
    // A picture a decoder can begin at, as the pictures show; or a muxer's random-access flag.
    std::int64_t showable = firstRandomAccess_[picturePid];
    if (video_.HasVideoPid() && picturePid == video_.VideoPid() && video_.FirstShowableOffset() >= 0) {
      showable = std::min(showable, video_.FirstShowableOffset());
    }
    if (showable != NoOffset) {
      piece.FirstRandomAccessOffset = showable;
      piece.RandomAccessPid = picturePid;
      // Packets of that PID without payload (clock references) are no picture data. A PID whose
      // first packet in the piece continues a payload unit, where others of it begin or end
      // units, shows as well that the stream began before the piece.
      piece.RandomAccessPidSeenBefore = firstPayloadOffset_[picturePid] < showable;
      for (const std::uint16_t pid : pids_) {
        if (firstPayloadOffset_[pid] < showable && !firstPayloadStartsUnit_[pid] && unitEdge_[pid] != NoOffset) {
          piece.RandomAccessPidSeenBefore = true;
        }
      }
      piece.RandomAccessDate = video_.ShowableDate();
    }
    piece.FirstDate = video_.FirstDate();
    piece.LastDate = video_.LastDate();
  }

  std::int64_t First = 0;
  std::int64_t Last = 0;
  std::uint32_t FirstStamp = 0;
  std::uint32_t LastStamp = 0;
  std::uint16_t LastPid = 0;
  std::uint32_t FirstStep = 0;  // between its first two packets, and its last two
  std::uint32_t LastStep = 0;
  std::uint32_t StepMin = 0;
  std::uint32_t StepMax = 0;
  std::int64_t Packets = 0;
  bool HeadGuessed = false;  // see ClipPiece

 private:
  struct Remembered {
    std::int64_t Offset;
    std::uint32_t Stamp;
    std::uint16_t Pid;
    std::uint8_t Counter;
    bool Payload;
    std::int32_t OwedBefore;  // its PID's unitOwed_ before it
    std::int32_t PayloadBytes;
  };

  static bool StartsUnit(const PacketHeader& header) { return header.StartsUnit && header.Payload; }
  // Bytes the unit the packet begins lacks after it; -1 unknown.
  static std::int32_t UnitOwed(const PacketHeader& header) {
    if (header.UnitBytes < 0 || header.PayloadBytes < 0 || header.PayloadBytes > header.UnitBytes) return -1;
    return header.UnitBytes - header.PayloadBytes;
  }
  // owed less a packet's payload; -1 when either is unknown or the payload overruns the unit.
  static std::int32_t Less(std::int32_t owed, int payloadBytes) {
    return owed < 0 || payloadBytes < 0 || payloadBytes > owed ? -1 : owed - payloadBytes;
  }
  static std::int32_t More(std::int32_t bytes, int payloadBytes) {
    return bytes < 0 || payloadBytes < 0 ? -1 : bytes + payloadBytes;
  }

  void NoteStep(std::uint32_t step) {
    StepMin = std::min(StepMin, step);
    StepMax = std::max(StepMax, step);
  }

  void NotePid(std::int64_t offset, const PacketHeader& header) {
    const std::uint16_t pid = header.Pid;
    pids_.push_back(pid);
    firstCounter_[pid] = lastCounter_[pid] = static_cast<std::int8_t>(header.Counter);
    firstPayload_[pid] = lastPayload_[pid] = header.Payload;
    firstPidOffset_[pid] = offset;
    firstPayloadOffset_[pid] = header.Payload ? offset : NoOffset;
    firstPayloadStartsUnit_[pid] = header.StartsUnit;
    unitEdge_[pid] = header.Payload && (header.StartsUnit || header.Adaptation) ? offset : NoOffset;
    firstRandomAccess_[pid] = header.StartsUnit && header.RandomAccess ? offset : NoOffset;
    pidPackets_[pid] = 1;
    lastUnitStart_[pid] = header.StartsUnit ? offset : -1;
    firstUnit_[pid] = StartsUnit(header) ? offset : NoOffset;
    headBytes_[pid] = StartsUnit(header) ? 0 : header.PayloadBytes;
    unitOwed_[pid] = StartsUnit(header) ? UnitOwed(header) : -1;
  }

  // Keeps the last MaxOverlapPackets packets walked forward, for TruncateBefore.
  void Remember(std::int64_t offset, const PacketHeader& header, std::int32_t owedBefore) {
    if (recent_.size() - recentStart_ >= 2 * MaxOverlapPackets) {
      recent_.erase(recent_.begin(), recent_.begin() + static_cast<std::ptrdiff_t>(MaxOverlapPackets));
    }
    recent_.push_back({offset, header.Stamp, header.Pid, header.Counter, header.Payload, owedBefore,
                       header.PayloadBytes});
  }

  std::vector<std::uint16_t> pids_;  // the PIDs with entries in the tables below
  std::array<std::int8_t, PidSlots> firstCounter_;  // -1: PID not in the chain
  std::array<std::int8_t, PidSlots> lastCounter_;
  std::array<std::uint8_t, PidSlots> firstPayload_{};
  std::array<std::uint8_t, PidSlots> lastPayload_{};
  std::array<std::int64_t, PidSlots> firstPidOffset_{};
  std::array<std::int64_t, PidSlots> firstPayloadOffset_{};  // NoOffset: none yet
  std::array<bool, PidSlots> firstPayloadStartsUnit_{};
  // The first packet with payload that begins a unit or ends one (padded); NoOffset: none.
  std::array<std::int64_t, PidSlots> unitEdge_{};
  std::array<std::int64_t, PidSlots> firstRandomAccess_{};   // NoOffset: none yet
  std::array<std::int64_t, PidSlots> pidPackets_{};
  std::array<std::int64_t, PidSlots> lastUnitStart_;  // -1: none
  // The first packet that begins a unit (NoOffset: none), the payload bytes before it (all of
  // them without one; -1 unknown), and the bytes the last unit begun lacks (-1 unknown).
  std::array<std::int64_t, PidSlots> firstUnit_{};
  std::array<std::int32_t, PidSlots> headBytes_{};
  std::array<std::int32_t, PidSlots> unitOwed_{};
  std::vector<Remembered> recent_;
  std::size_t recentStart_ = 0;
  VideoStreamReader video_;
  bool reading_ = false;  // each packet walked forward goes to video_
};

PacketWalker::PacketWalker(SourceWindow& window)
    : window_(window), current_(std::make_unique<Chain>()), next_(std::make_unique<Chain>()) {}

PacketWalker::~PacketWalker() = default;

// The piece's data reaches from the sector boundary just after the last foreign byte before its
// first header to the sector boundary where foreign bytes begin after its last header: a card
// stores files in whole clusters, so both edges are sector boundaries unless the stream itself
// begins or ends there.
ClipPiece PacketWalker::Finish(const Chain& chain, std::int64_t floorOffset) {
  ClipPiece piece;
  chain.Export(piece);

  const std::int64_t head = AlignUp(chain.First - PacketBytes + 1, SectorBytes);
  piece.HeadOffset = chain.First;
  if (head <= chain.First && head >= floorOffset) {
    const std::int64_t headerEnd = chain.First - PacketBytes + PacketHeaderBytes;
    const std::uint8_t* bytes = head < headerEnd ? window_.At(head, headerEnd - head) : nullptr;
    if (head >= headerEnd || bytes != nullptr) {
      piece.HeadOffset = head;
      piece.HeadAtSector = true;
      if (bytes != nullptr) {
        piece.HeadHeaderCount = static_cast<int>(headerEnd - head);
        std::copy(bytes, bytes + piece.HeadHeaderCount, piece.HeadHeaderBytes.begin());
      }
    }
  }

  const std::int64_t nextPacket = chain.Last + PacketBytes;
  const std::int64_t tail = AlignUp(chain.Last + PacketHeaderBytes, SectorBytes);
  piece.TailOffset = std::min(nextPacket, window_.SourceLength());
  if (tail < nextPacket + PacketHeaderBytes && tail <= window_.SourceLength()) {
    const std::uint8_t* bytes = tail > nextPacket ? window_.At(nextPacket, tail - nextPacket) : nullptr;
    if (tail <= nextPacket || bytes != nullptr) {
      piece.TailOffset = tail;
      piece.TailAtSector = true;
      if (bytes != nullptr) {
        piece.TailHeaderCount = static_cast<int>(tail - nextPacket);
        std::copy(bytes, bytes + piece.TailHeaderCount, piece.TailHeaderBytes.begin());
      }
    }
  }
  // The bytes read of a packet cut at the tail early on may be the next cluster's: what they told
  // of its PID's payload is unknown.
  if (piece.TailOffset < chain.Last + HeaderReadBytes) {
    const auto lastPid = [&](const PidUnitBytes& unit) { return unit.Pid == chain.LastPid; };
    std::erase_if(piece.TailUnitOwed, lastPid);
    std::erase_if(piece.HeadUnitBytes, [&](const PidUnitBytes& unit) { return lastPid(unit) && !unit.UnitStarts; });
  }
  return piece;
}

// current_ becomes a piece. Where a run's data begins after data of no stream (the head of its
// first piece), a cluster begins.
void PacketWalker::FinishCurrent(std::vector<ClipPiece>& pieces) {
  pieces.push_back(Finish(*current_, pendingFloor_));
  if (firstOfRun_ && pieces.back().HeadAtSector) grid_.Note(pieces.back().HeadOffset);
  firstOfRun_ = false;
  floorOffset_ = std::max(floorOffset_, current_->Last + PacketHeaderBytes);
}

// Starts next_ at offset_, with its head found; nothing else changes, so a start that has to
// wait for data can be made again later.
PacketWalker::ChainStart PacketWalker::StartChain() {
  handOverOffset_ = -1;
  gridEdge_ = -1;
  PacketHeader header;
  // No chain begins with a packet whose header a joint cuts, nor reaches back across a joint.
  const auto jointAfter = std::upper_bound(joints_.begin(), joints_.end(), offset_);
  const std::int64_t jointBefore = jointAfter == joints_.begin() ? 0 : *(jointAfter - 1);
  stopOffset_ = jointAfter == joints_.end() ? INT64_MAX : *jointAfter;
  if (offset_ + PacketHeaderBytes > stopOffset_ ||
      !HeaderAt(window_, offset_, header) || !header.Plausible) {
    if (window_.Waiting()) return ChainStart::Waiting;
    offset_ += PacketBytes;
    return ChainStart::Skipped;
  }
  // A piece that follows another in the run may have begun a few packets before the other
  // was seen to end: packets right after a joint can fit both streams by chance.
  std::int64_t floor = std::max(floorOffset_, jointBefore);
  if (pending_) {
    floor = std::max({floor, current_->First + PacketHeaderBytes,
                      current_->Last - MaxOverlapPackets * PacketBytes + PacketHeaderBytes});
  }
  next_->Start(offset_, header);
  // Walking back checks each packet against the counters and the pace the chain already knows:
  // from one packet alone, another stream's packets before it would pass for its own.
  next_->WalkForward(window_, LookAheadPackets, stopOffset_);
  if (window_.Waiting()) return ChainStart::Waiting;
  next_->WalkBack(window_, floor);
  if (window_.Waiting()) return ChainStart::Waiting;
  if (!pending_ || next_->First > current_->Last) {
    return next_->ReadVideo(window_) ? ChainStart::Started : ChainStart::Waiting;
  }

  // The packets from next_->First to the end of current_ fit both streams. The joint is a
  // sector boundary after the last header that fits only the earlier stream and before the
  // first that fits only the later one; of several, the one the cluster grid allows, else the
  // earliest (a guess). Without a sector boundary, or a grid that allows none, the earlier
  // stream keeps them all.
  const std::int64_t failed = current_->Last + PacketBytes;
  bool guessed = false;
  std::int64_t joint = AlignUp(next_->First - PacketBytes + PacketHeaderBytes, SectorBytes);
  if (joint >= failed + PacketHeaderBytes || joint < current_->EarliestCut()) {
    // No sector boundary, or none current_ can give its packets up to: they stay with it.
    joint = failed;
  } else if (joint + SectorBytes >= failed + PacketHeaderBytes) {
    gridEdge_ = joint;  // the only sector boundary it can be: a cluster's
  } else {
    // Two recordings with the same stamps and, by chance, the same counters for a while: the
    // joint is where a cluster begins, if the grid allows only one place.
    std::int64_t onGrid = -1;
    int count = 0;
    for (std::int64_t at = joint; at < failed + PacketHeaderBytes; at += SectorBytes) {
      if (grid_.OnGrid(at)) {
        onGrid = at;
        ++count;
      }
    }
    if (count == 1) {
      joint = onGrid;
    } else if (count == 0 && grid_.ClusterBytes() > 0) {
      // Streams on either side of a joint fill different clusters: with no cluster boundary
      // there, the earlier stream's file ended inside its cluster and what follows is its slack.
      joint = failed;
    } else {
      guessed = true;
    }
  }
  handOverOffset_ = joint;
  const std::int64_t restart = joint + PositiveRemainder(offset_ - joint, PacketBytes);
  if (!HeaderAt(window_, restart, header) || !header.Plausible) {
    if (window_.Waiting()) return ChainStart::Waiting;
    offset_ = restart + PacketBytes;
    return ChainStart::Skipped;
  }
  next_->Start(restart, header);
  next_->HeadGuessed = guessed;
  return next_->ReadVideo(window_) ? ChainStart::Started : ChainStart::Waiting;
}

bool PacketWalker::WalkRun(std::int64_t runStartOffset, std::int64_t runEndOffset,
                           std::vector<ClipPiece>& pieces, bool endKnown) {
  if (!inRun_) {
    inRun_ = true;
    offset_ = runStartOffset;
    if (offset_ < floorOffset_) offset_ += AlignUp(floorOffset_ - offset_, PacketBytes);
    pending_ = following_ = firstOfRun_ = false;
  }
  // A piece reaches past its run's last hit group by less than a group and a packet.
  window_.SetReadLimit(runEndOffset + 2 * GroupBytes);
  window_.ClearWaiting();
  while (following_ || offset_ < runEndOffset) {
    if (!following_) {
      const ChainStart started = StartChain();
      if (started == ChainStart::Waiting) return false;
      if (started == ChainStart::Skipped) continue;
      following_ = true;
    }
    const std::int64_t failed = next_->WalkForward(window_, INT64_MAX, stopOffset_);
    if (window_.Waiting()) return false;
    following_ = false;
    offset_ = std::max(failed, offset_ + PacketBytes);
    if (next_->Packets < MinPiecePackets) continue;
    // current_ gives up its last packets to next_ only now that next_ proves to be a piece, or
    // those packets would be in no piece at all. current_ was a piece when it was taken on;
    // packets it hands over may leave it fewer, but those left are still verified stream and
    // belong in no other piece.
    if (handOverOffset_ >= 0) current_->TruncateBefore(handOverOffset_);
    if (gridEdge_ >= 0) grid_.Note(gridEdge_);
    if (pending_) {
      FinishCurrent(pieces);
    } else {
      firstOfRun_ = true;
    }
    std::swap(current_, next_);
    pending_ = true;
    pendingFloor_ = floorOffset_;
  }
  if (!endKnown) return false;
  if (pending_) FinishCurrent(pieces);
  pending_ = false;
  inRun_ = false;
  return true;
}

}  // namespace mtsrescue
