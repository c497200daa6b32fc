// Finding and splitting at joints the stream does not show.
#include "rebuild/HiddenJoints.h"

#include "rebuild/ClipLinker.h"
#include "engine/EngineConstants.h"
#include "rebuild/PacketHeader.h"
#include "rebuild/PacketWalker.h"

#include <algorithm>
#include <map>

namespace mtsrescue {
namespace {

// Stamps are looked up in buckets of 2^18 ticks (about 10 ms).
constexpr int BucketShift = 18;
constexpr std::uint32_t BucketCount = StampModulus >> BucketShift;

// The step of a piece whose stamps climb at one pace (a recorder's), or 0.
std::uint32_t SteadyStep(const ClipPiece& piece) {
  if (piece.PacketCount < 2 || piece.StepMinTicks == 0) return 0;
  return piece.StepMaxTicks - piece.StepMinTicks <= 2 + piece.StepMaxTicks / 64 ? piece.StepMinTicks : 0;
}

// Whether the piece's stamps cannot have gone once round their 2^30 range: then every stamp
// from its first to its last is held by at most one of its packets, and they climb in order.
bool WithinOneTurn(const ClipPiece& piece) {
  return static_cast<std::uint64_t>(piece.PacketCount - 1) * piece.StepMaxTicks < StampModulus;
}

// b begins where a's data ends, with no foreign byte between.
bool Abut(const ClipPiece& a, const ClipPiece& b) {
  return b.HeadOffset <= a.LastPacketOffset + PacketBytes + PacketHeaderBytes;
}

}  // namespace

HiddenJoints::HiddenJoints(SourceWindow& window, std::int64_t clusterBytes, std::int64_t clusterBase)
    : window_(window), clusterBytes_(clusterBytes), clusterBase_(clusterBase) {}

bool HiddenJoints::OnGrid(std::int64_t offset) const {
  if (clusterBytes_ <= 0) return offset % SectorBytes == 0;
  return ((offset - clusterBase_) % clusterBytes_ + clusterBytes_) % clusterBytes_ == 0;
}

void HiddenJoints::Candidates(const ClipPiece& p, std::uint32_t stamp, std::int64_t delta,
                              std::vector<std::int64_t>& joints) {
  const auto note = [&](std::int64_t offset) {
    const std::int64_t joint = offset + delta;
    if (joint > p.HeadOffset && joint < p.TailOffset && OnGrid(joint)) joints.push_back(joint);
  };
  // One header, no block read around it.
  const auto stampAt = [&](std::int64_t offset, std::uint32_t* found) {
    window_.SetReadLimit(offset + PacketHeaderBytes);
    const std::uint8_t* bytes = window_.At(offset, PacketHeaderBytes);
    if (bytes != nullptr) *found = ReadPacketHeader(bytes).Stamp;
    return bytes != nullptr;
  };
  const std::uint32_t step = SteadyStep(p);
  if (step == 0) {
    // Any pace: the stamps climb with every packet, so the place where the stamp would come
    // (the first packet not before it: the one after a hidden joint is another stream's) is
    // found by halving.
    if (!WithinOneTurn(p)) return;
    const std::uint32_t target = StampDistance(p.FirstStamp, stamp);
    if (target > StampDistance(p.FirstStamp, p.LastStamp)) return;
    std::int64_t low = 0;
    std::int64_t high = p.PacketCount - 1;
    std::uint32_t found = 0;
    while (low < high) {
      const std::int64_t middle = low + (high - low) / 2;
      if (!stampAt(p.FirstPacketOffset + middle * PacketBytes, &found)) return;
      if (StampDistance(p.FirstStamp, found) < target) {
        low = middle + 1;
      } else {
        high = middle;
      }
    }
    note(p.FirstPacketOffset + low * PacketBytes);
    return;
  }
  // A steady stream's stamp at packet k is FirstStamp + k * step, modulo 2^30; the stamps wrap
  // every 40 s, so a long piece may hold the stamp more than once. The packet found is read to
  // make sure, as the pace may drift a little.
  const std::uint64_t ticks = (static_cast<std::uint64_t>(stamp) + StampModulus - p.FirstStamp) % StampModulus;
  for (std::uint64_t total = ticks;; total += StampModulus) {
    const std::int64_t packet = static_cast<std::int64_t>((total + step / 2) / step);
    if (packet >= p.PacketCount) return;
    // Off the pace by more than its jitter could have drifted: no packet of p has the stamp.
    const std::uint64_t off = std::min(total % step, step - total % step);
    if (off > 2 + static_cast<std::uint64_t>(p.StepMaxTicks - p.StepMinTicks) * static_cast<std::uint64_t>(packet)) continue;
    const std::int64_t offset = p.FirstPacketOffset + packet * PacketBytes;
    std::uint32_t found = 0;
    if (p.StepMinTicks == p.StepMaxTicks || (stampAt(offset, &found) && found == stamp)) note(offset);
  }
}

// Whether the last few packets of p before joint could go on into head: each PID head begins
// with continues its last counter there. A few headers read rule out most candidates before the
// walk on either side of the joint.
bool HiddenJoints::EndsBefore(const ClipPiece& p, std::int64_t joint, const ClipPiece& head) {
  constexpr int Packets = 8;
  const std::int64_t firstAfter = joint + (head.FirstPacketOffset - head.HeadOffset);
  window_.SetReadLimit(joint);
  std::vector<std::uint16_t> seen;
  for (int k = 1; k <= Packets; ++k) {
    const std::int64_t offset = firstAfter - k * PacketBytes;
    if (offset < p.FirstPacketOffset) break;
    if (offset + PacketHeaderBytes > joint) continue;  // the cut packet's header is split
    const std::uint8_t* bytes = window_.At(offset, PacketHeaderBytes);
    if (bytes == nullptr) return true;  // the walk will tell
    const PacketHeader header = ReadPacketHeader(bytes);
    if (header.Pid == NullPid || std::find(seen.begin(), seen.end(), header.Pid) != seen.end()) continue;
    seen.push_back(header.Pid);
    for (const PidCounter& first : head.FirstCounters) {
      if (first.Pid == header.Pid && !CounterContinues(header.Counter, first.Counter, first.Payload)) return false;
    }
  }
  return true;
}

// Heads alike ask about the same places: each is walked once.
const std::vector<ClipPiece>& HiddenJoints::Around(std::size_t index, const ClipPiece& p, std::int64_t joint) {
  const auto known = walked_.find({index, joint});
  if (known != walked_.end()) return known->second;
  const std::int64_t back = std::max<std::int64_t>(0, (joint - CheckBytes - p.FirstPacketOffset) / PacketBytes);
  const std::int64_t start = p.FirstPacketOffset + back * PacketBytes;
  const std::int64_t end = std::min(joint + CheckBytes, p.LastPacketOffset + PacketBytes);
  std::vector<ClipPiece> pieces = Walk({{start, end}}, p.HeadOffset, {joint});
  if (walked_.size() >= MaxWalksKept) walked_.clear();
  return walked_.emplace(std::make_pair(index, joint), std::move(pieces)).first->second;
}

std::vector<ClipPiece> HiddenJoints::Walk(const std::vector<ClipSpan>& runs, std::int64_t floorOffset,
                                          std::vector<std::int64_t> joints) {
  PacketWalker walker(window_);
  walker.SetFloor(floorOffset);
  if (clusterBytes_ > 0) walker.KnowGrid(clusterBytes_, clusterBase_);
  joints.push_back(runs.back().EndOffset);
  std::sort(joints.begin(), joints.end());
  walker.SetJoints(std::move(joints));
  std::vector<ClipPiece> pieces;
  for (const ClipSpan& run : runs) walker.WalkRun(run.StartOffset, run.EndOffset, pieces);
  return pieces;
}

bool HiddenJoints::Split(std::vector<ClipPiece>& pieces, const std::vector<std::size_t>& next) {
  // Which pieces hold which stamps: those whose stamps are known not to have gone round, and
  // steady ones, whose stamps can be told however long they are.
  std::vector<std::vector<std::size_t>> buckets(BucketCount);
  std::vector<std::size_t> everywhere;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const std::uint32_t step = SteadyStep(pieces[i]);
    std::uint64_t span = StampDistance(pieces[i].FirstStamp, pieces[i].LastStamp);
    if (step != 0) {
      span = static_cast<std::uint64_t>(step) * static_cast<std::uint64_t>(pieces[i].PacketCount);
    } else if (pieces[i].PacketCount < 2 || !WithinOneTurn(pieces[i])) {
      continue;
    }
    if (span + (std::uint64_t{1} << BucketShift) >= StampModulus) {
      everywhere.push_back(i);
      continue;
    }
    const std::uint64_t first = pieces[i].FirstStamp >> BucketShift;
    const std::uint64_t last = (pieces[i].FirstStamp + span) >> BucketShift;
    for (std::uint64_t bucket = first; bucket <= last; ++bucket) buckets[bucket % BucketCount].push_back(i);
  }

  // A joint is hidden at a cluster boundary inside p when p's stretch before it continues into a
  // head b, and a tail a continues into p's stretch after it, a and b having no other partner
  // (each other at most): split there, p explains them as well as it explains itself whole.
  std::vector<std::size_t> predecessor(pieces.size(), ClipLinker::NoPiece);
  for (std::size_t a = 0; a < next.size(); ++a) {
    if (next[a] != ClipLinker::NoPiece) predecessor[next[a]] = a;
  }
  std::vector<std::size_t> tails;
  for (std::size_t a = 0; a < pieces.size(); ++a) {
    if (pieces[a].TailAtSector) tails.push_back(a);
  }
  std::map<std::size_t, std::vector<std::int64_t>> found;  // piece -> its hidden joints
  std::vector<std::int64_t> joints;
  for (std::size_t b = 0; b < pieces.size(); ++b) {
    const ClipPiece& head = pieces[b];
    if (!head.HeadAtSector) continue;
    std::vector<std::pair<std::size_t, std::int64_t>> shown;  // (piece, joint) that would explain b
    int checks = 0;
    for (const auto* list : {&buckets[head.FirstStamp >> BucketShift], &everywhere}) {
      for (const std::size_t other : *list) {
        if (other == b || checks >= MaxChecksPerHead) continue;
        const ClipPiece& p = pieces[other];
        joints.clear();
        Candidates(p, head.FirstStamp, head.HeadOffset - head.FirstPacketOffset, joints);
        for (const std::int64_t joint : joints) {
          if (++checks > MaxChecksPerHead || !EndsBefore(p, joint, head)) continue;
          const std::vector<ClipPiece>& around = Around(other, p, joint);
          const auto before = std::find_if(around.begin(), around.end(), [&](const ClipPiece& piece) {
            return piece.TailAtSector && piece.TailOffset == joint;
          });
          const auto after = std::find_if(around.begin(), around.end(), [&](const ClipPiece& piece) {
            return piece.HeadAtSector && piece.HeadOffset == joint;
          });
          if (before == around.end() || after == around.end() || !ClipLinker::Fits(*before, head)) continue;
          for (const std::size_t a : tails) {
            if (a != other && a != b && (next[a] == ClipLinker::NoPiece || next[a] == b) &&
                (predecessor[b] == ClipLinker::NoPiece || predecessor[b] == a) &&
                ClipLinker::Fits(pieces[a], *after)) {
              shown.emplace_back(other, joint);
            }
          }
        }
      }
    }
    for (const auto& [piece, joint] : shown) found[piece].push_back(joint);
  }
  for (auto& [piece, at] : found) {
    std::sort(at.begin(), at.end());
    at.erase(std::unique(at.begin(), at.end()), at.end());
  }
  // A piece whose head was guessed is walked again now that the grid is known.
  if (clusterBytes_ > 0) {
    for (std::size_t i = 0; i < pieces.size(); ++i) {
      if (pieces[i].HeadGuessed) found[i];
    }
  }
  walked_.clear();
  if (found.empty()) return false;

  // A piece is walked again with the piece before it when they abut: the packets before the
  // joint may be too few to make a piece alone, and are the earlier piece's.
  std::vector<bool> again(pieces.size(), false);
  for (const auto& [index, unused] : found) {
    again[index] = true;
    if (index > 0 && Abut(pieces[index - 1], pieces[index])) again[index - 1] = true;
  }
  std::vector<ClipPiece> split;
  for (std::size_t i = 0; i < pieces.size();) {
    if (!again[i]) {
      split.push_back(std::move(pieces[i++]));
      continue;
    }
    std::size_t last = i;
    while (last + 1 < pieces.size() && again[last + 1] && Abut(pieces[last], pieces[last + 1])) ++last;
    // Pieces whose packets are in step make one run, as they did in the first walk; a piece out
    // of step with the one before is a run of its own.
    std::vector<ClipSpan> runs;
    std::vector<std::int64_t> inside;
    for (std::size_t k = i; k <= last; ++k) {
      const std::int64_t end = pieces[k].LastPacketOffset + PacketBytes;
      if (k > i && (pieces[k].FirstPacketOffset - runs.back().StartOffset) % PacketBytes == 0) {
        runs.back().EndOffset = end;
      } else {
        runs.push_back({pieces[k].FirstPacketOffset, end});
      }
      if (const auto joint = found.find(k); joint != found.end()) {
        inside.insert(inside.end(), joint->second.begin(), joint->second.end());
      }
    }
    for (ClipPiece& part : Walk(runs, pieces[i].HeadOffset, std::move(inside))) {
      split.push_back(std::move(part));
    }
    i = last + 1;
  }
  pieces = std::move(split);
  return true;
}

}  // namespace mtsrescue
