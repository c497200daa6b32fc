// Linking pieces into recordings.
#include "rebuild/ClipLinker.h"

#include "rebuild/ClusterGrid.h"
#include "engine/EngineConstants.h"
#include "rebuild/PacketHeader.h"

#include <algorithm>

namespace mtsrescue {
namespace {

// Stamp steps, inclusive.
struct StepRange {
  std::uint32_t Low = 0;
  std::uint32_t High = 0;
};

// Any step a recorder can make: forward, and no further than any recorder steps.
constexpr StepRange PossibleSteps{1, MaxStampStepTicks};

bool InRange(std::uint32_t from, std::uint32_t to, const StepRange& range) {
  const std::uint32_t step = StampDistance(from, to);
  return step >= range.Low && step <= range.High;
}

const PidCounter* FindPid(const std::vector<PidCounter>& counters, std::uint16_t pid) {
  for (const PidCounter& counter : counters) {
    if (counter.Pid == pid) return &counter;
  }
  return nullptr;
}

// Days from 1970-01-01 to the date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t year, int month, int day) {
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const std::int64_t yearOfEra = year - era * 400;
  const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

std::int64_t SecondsOf(const RecordingDate& date) {
  return DaysFromCivil(date.Year, date.Month, date.Day) * 86400 + date.Hour * 3600 + date.Minute * 60 + date.Second;
}

// Bytes of the packet cut at a's tail that lie in a. That packet begins at a's last verified
// packet when the cut falls after its header, or at the packet after it when the cut falls
// inside (or right at) that one's header.
std::int64_t CutPacketBytesInA(const ClipPiece& a) {
  const std::int64_t lastEnd = a.LastPacketOffset + PacketBytes;
  return a.TailOffset - (a.TailOffset < lastEnd ? a.LastPacketOffset : lastEnd);
}

}  // namespace

bool ClipLinker::DatesAllow(const ClipPiece& a, const ClipPiece& b) {
  if (!a.LastDate || !b.FirstDate) return true;
  const std::int64_t gap = SecondsOf(*b.FirstDate) - SecondsOf(*a.LastDate);
  // Pictures are stored in decoding order: one shown earlier may follow one shown later, so
  // across the turn of a second the date may step back by one.
  return gap >= -1 && gap <= MaxJointDateGapSeconds;
}

bool ClipLinker::Fits(const ClipPiece& a, const ClipPiece& b) {
  if (&a == &b || !a.TailAtSector || !b.HeadAtSector) return false;
  if (a.PacketCount < 2 || b.PacketCount < 2) return false;
  if (!DatesAllow(a, b)) return false;

  const std::int64_t cutInA = CutPacketBytesInA(a);
  const std::int64_t cutInB = b.FirstPacketOffset - b.HeadOffset;
  if (cutInA == 0 ? cutInB != 0 : cutInA + cutInB != PacketBytes) return false;

  std::vector<PidCounter> last = a.LastCounters;
  std::vector<PidUnitBytes> owed = a.TailUnitOwed;
  if (cutInA > 0 && cutInA < PacketHeaderBytes) {
    // The cut packet's header lies partly in each piece: put it together and treat it as one
    // more packet between them.
    if (a.TailHeaderCount != cutInA || b.HeadHeaderCount != PacketHeaderBytes - cutInA) return false;
    std::uint8_t bytes[PacketHeaderBytes];
    std::copy_n(a.TailHeaderBytes.begin(), a.TailHeaderCount, bytes);
    std::copy_n(b.HeadHeaderBytes.begin(), b.HeadHeaderCount, bytes + a.TailHeaderCount);
    const PacketHeader cut = ReadPacketHeader(bytes);
    if (!cut.Plausible || !InRange(a.LastStamp, cut.Stamp, PossibleSteps) ||
        !InRange(cut.Stamp, b.FirstStamp, PossibleSteps)) {
      return false;
    }
    if (cut.Pid != NullPid) {
      for (PidUnitBytes& unit : owed) {
        if (unit.Pid != cut.Pid || !cut.Payload) continue;
        // A unit begun before must be whole; the cut packet's payload is known only without an
        // adaptation field (its length lies past the header).
        if (cut.StartsUnit ? unit.Bytes != 0 : !cut.Adaptation && unit.Bytes < cut.PayloadBytes) return false;
        unit.Bytes = cut.StartsUnit || cut.Adaptation ? -1 : unit.Bytes - cut.PayloadBytes;
      }
      auto found = std::find_if(last.begin(), last.end(),
                                [&](const PidCounter& c) { return c.Pid == cut.Pid; });
      if (found == last.end()) {
        last.push_back({cut.Pid, cut.Counter, cut.Payload});
      } else {
        if (!CounterContinues(found->Counter, cut.Counter, cut.Payload)) return false;
        found->Counter = cut.Counter;
        found->Payload = cut.Payload;
      }
    }
  } else if (!InRange(a.LastStamp, b.FirstStamp, PossibleSteps)) {
    return false;
  }

  int shared = 0;
  for (const PidCounter& first : b.FirstCounters) {
    const PidCounter* before = FindPid(last, first.Pid);
    if (before == nullptr) continue;
    if (!CounterContinues(before->Counter, first.Counter, first.Payload)) return false;
    ++shared;
  }
  // A PES packet whose length a gives goes on with exactly the bytes it lacks before its PID's
  // next unit begins in b.
  for (const PidUnitBytes& unit : owed) {
    if (unit.Bytes < 0) continue;
    for (const PidUnitBytes& head : b.HeadUnitBytes) {
      if (head.Pid == unit.Pid && (head.UnitStarts ? head.Bytes != unit.Bytes : head.Bytes > unit.Bytes)) return false;
    }
  }
  // A head of stuffing packets alone (a recording padded to its end) has no counter to check:
  // the stamps and the cut packet are all that can agree.
  return shared > 0 || b.FirstCounters.empty();
}

void ClipLinker::ForEachFit(const std::vector<ClipPiece>& pieces,
                            const std::function<void(std::size_t a, std::size_t b)>& fit) {
  const std::size_t count = pieces.size();
  // Heads ordered by first stamp, so each tail looks only at heads whose stamp may follow it.
  std::vector<std::pair<std::uint32_t, std::size_t>> heads;
  for (std::size_t i = 0; i < count; ++i) {
    if (pieces[i].HeadAtSector) heads.emplace_back(pieces[i].FirstStamp, i);
  }
  std::sort(heads.begin(), heads.end());
  auto consider = [&](std::size_t a, std::uint32_t low, std::uint32_t high) {
    auto it = std::lower_bound(heads.begin(), heads.end(), std::make_pair(low, std::size_t{0}));
    for (; it != heads.end() && it->first <= high; ++it) {
      if (it->second != a && Fits(pieces[a], pieces[it->second])) fit(a, it->second);
    }
  };
  for (std::size_t a = 0; a < count; ++a) {
    if (!pieces[a].TailAtSector) continue;
    // At most two steps (the cut packet and the first whole one) separate the stamps.
    const std::uint32_t low = (pieces[a].LastStamp + 1) & (StampModulus - 1);
    const std::uint32_t high = (pieces[a].LastStamp + 2 * MaxStampStepTicks) & (StampModulus - 1);
    if (low <= high) {
      consider(a, low, high);
    } else {
      consider(a, low, StampModulus - 1);
      consider(a, 0, high);
    }
  }
}

std::vector<std::vector<std::size_t>> ClipLinker::Predecessors(const std::vector<ClipPiece>& pieces) {
  std::vector<std::vector<std::size_t>> predecessors(pieces.size());
  ForEachFit(pieces, [&](std::size_t a, std::size_t b) { predecessors[b].push_back(a); });
  return predecessors;
}

bool ClipLinker::KeepsPace(const ClipPiece& a, const ClipPiece& b) {
  // Recorders hold one step for hundreds of packets: the step across the joint is the one a
  // ends with or b begins with. A packet whose header the joint cuts lies between: two steps.
  const std::uint32_t steps = CutPacketBytesInA(a) > 0 && CutPacketBytesInA(a) < PacketHeaderBytes ? 2 : 1;
  const std::uint32_t low = std::min(a.LastStepTicks, b.FirstStepTicks);
  const std::uint32_t high = std::max(a.LastStepTicks, b.FirstStepTicks);
  if (low == 0) return false;
  const std::uint32_t slack = 2 + high / 64;
  return InRange(a.LastStamp, b.FirstStamp, {steps * low > slack ? steps * low - slack : 1, steps * high + slack});
}

std::vector<std::size_t> ClipLinker::Link(const std::vector<ClipPiece>& pieces) {
  const std::size_t count = pieces.size();
  struct Fit {
    std::size_t A = NoPiece;
    std::size_t B = NoPiece;
    bool Paced = false;
    bool Passed = false;  // passed over: another candidate leads to the same piece
  };
  std::vector<Fit> fits;
  ForEachFit(pieces, [&](std::size_t a, std::size_t b) { fits.push_back({a, b, KeepsPace(pieces[a], pieces[b])}); });
  std::sort(fits.begin(), fits.end(), [](const Fit& x, const Fit& y) { return x.A != y.A ? x.A < y.A : x.B < y.B; });
  const auto fitsPair = [&](std::size_t a, std::size_t b) {
    return std::binary_search(fits.begin(), fits.end(), Fit{a, b},
                              [](const Fit& x, const Fit& y) { return x.A != y.A ? x.A < y.A : x.B < y.B; });
  };
  std::vector<std::vector<std::size_t>> after(count);  // per piece, its fits as a and as b
  std::vector<std::vector<std::size_t>> before(count);
  for (std::size_t k = 0; k < fits.size(); ++k) {
    after[fits[k].A].push_back(k);
    before[fits[k].B].push_back(k);
  }
  // Where a fits both b and c and b fits c too (or c has another candidate x that a fits), the
  // chain a, b, c places every piece, a joined straight to c leaves b nowhere: a-c is passed over.
  for (Fit& fit : fits) {
    for (const std::size_t k : after[fit.A]) fit.Passed = fit.Passed || (fits[k].B != fit.B && fitsPair(fits[k].B, fit.B));
    for (const std::size_t k : before[fit.B]) fit.Passed = fit.Passed || (fits[k].A != fit.A && fitsPair(fit.A, fits[k].A));
  }

  std::vector<std::size_t> next(count, NoPiece);
  std::vector<std::size_t> previous(count, NoPiece);
  // A fit is open while neither side is joined to another piece and it is not passed over.
  const auto open = [&](std::size_t k) {
    return !fits[k].Passed && next[fits[k].A] == NoPiece && previous[fits[k].B] == NoPiece;
  };
  const auto other = [&](std::size_t k, bool successor) { return successor ? fits[k].B : fits[k].A; };
  // The piece on the given side of a piece's only open fit, or NoPiece.
  const auto only = [&](const std::vector<std::size_t>& candidates, bool successor) {
    std::size_t found = NoPiece;
    int openCount = 0;
    for (const std::size_t k : candidates) {
      if (open(k)) {
        ++openCount;
        found = other(k, successor);
      }
    }
    return openCount == 1 ? found : NoPiece;
  };
  // Whether a piece on the given side of piece, besides one, has piece as its only open fit: no
  // other way to go.
  const auto claims = [&](std::size_t piece, bool successor, std::size_t besides) {
    for (const std::size_t k : successor ? after[piece] : before[piece]) {
      const std::size_t candidate = other(k, successor);
      if (candidate != besides && open(k) && only(successor ? before[candidate] : after[candidate], !successor) == piece) {
        return true;
      }
    }
    return false;
  };
  // The one candidate of a piece among its open fits: the only one, or of several, the only one
  // that keeps the pace. Where another candidate has only the piece to go to, a candidate that
  // some rival has only to go to is left to it (two recordings' joints alike: each goes its way).
  const auto chosen = [&](std::size_t piece, bool successor) {
    int fitCount = 0;
    int pacedCount = 0;
    std::size_t fit = NoPiece;
    std::size_t pacedFit = NoPiece;
    for (const std::size_t k : successor ? after[piece] : before[piece]) {
      if (!open(k)) continue;
      const std::size_t candidate = other(k, successor);
      if (claims(candidate, !successor, piece) && claims(piece, successor, candidate)) continue;
      ++fitCount;
      fit = candidate;
      if (fits[k].Paced) {
        ++pacedCount;
        pacedFit = fit;
      }
    }
    if (fitCount == 1) return fit;
    return pacedCount == 1 ? pacedFit : NoPiece;
  };
  // A joint is made when each side is the other's one candidate. A piece joined is no candidate
  // of any other, which may leave another piece with one: so until no joint is added.
  for (bool added = true; added;) {
    added = false;
    for (std::size_t a = 0; a < count; ++a) {
      if (next[a] != NoPiece) continue;
      const std::size_t b = chosen(a, true);
      if (b == NoPiece || chosen(b, false) != a) continue;
      next[a] = b;
      previous[b] = a;
      added = true;
    }
  }

  // A loop has no first piece; open every loop by dropping all of its links.
  std::vector<int> state(count, 0);  // 0 unvisited, 1 on the current path, 2 done
  for (std::size_t start = 0; start < count; ++start) {
    std::vector<std::size_t> path;
    std::size_t at = start;
    while (at != NoPiece && state[at] == 0) {
      state[at] = 1;
      path.push_back(at);
      at = next[at];
    }
    if (at != NoPiece && state[at] == 1) {
      const std::size_t loopStart = at;
      do {
        const std::size_t following = next[at];
        next[at] = NoPiece;
        at = following;
      } while (at != loopStart && at != NoPiece);
    }
    for (const std::size_t visited : path) state[visited] = 2;
  }
  return next;
}

std::vector<std::vector<std::size_t>> ClipLinker::Chains(const std::vector<ClipPiece>& pieces,
                                                         const std::vector<std::size_t>& next) {
  std::vector<bool> hasPredecessor(pieces.size(), false);
  for (const std::size_t b : next) {
    if (b != NoPiece) hasPredecessor[b] = true;
  }
  std::vector<std::vector<std::size_t>> chains;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (hasPredecessor[i]) continue;
    std::vector<std::size_t> chain;
    for (std::size_t at = i; at != NoPiece; at = next[at]) chain.push_back(at);
    chains.push_back(std::move(chain));
  }
  std::stable_sort(chains.begin(), chains.end(), [&](const auto& x, const auto& y) {
    return pieces[x.front()].HeadOffset < pieces[y.front()].HeadOffset;
  });
  return chains;
}

std::int64_t ClipLinker::InferClusterBytes(const std::vector<ClipPiece>& pieces,
                                           const std::vector<std::size_t>& next,
                                           std::int64_t* baseOffset) {
  ClusterGrid grid;
  std::size_t joints = 0;
  for (std::size_t a = 0; a < pieces.size() && a < next.size(); ++a) {
    if (next[a] == NoPiece) continue;
    grid.Note(pieces[a].TailOffset);
    grid.Note(pieces[next[a]].HeadOffset);
    ++joints;
  }
  constexpr std::size_t MinJoints = 4;
  if (joints >= MinJoints) {
    if (const std::int64_t bytes = grid.ClusterBytes(baseOffset)) return bytes;
  }
  // Few joints: a card whose recordings mostly lie unbroken. Each recording's file begins at a
  // cluster start, so the heads of recordings kept from their first packet show the grid too.
  // Such heads alone agree on a larger power of two by chance more often than joints do, so
  // more edges are asked for.
  std::vector<bool> continues(pieces.size(), false);
  for (const std::size_t b : next) {
    if (b != NoPiece && b < continues.size()) continues[b] = true;
  }
  std::size_t edges = 2 * joints;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const ClipPiece& piece = pieces[i];
    if (continues[i] || !piece.HeadAtSector || piece.HeadOffset != piece.FirstPacketOffset) continue;
    if (piece.FirstRandomAccessOffset < 0 || piece.RandomAccessPidSeenBefore) continue;
    grid.Note(piece.HeadOffset);
    ++edges;
  }
  constexpr std::size_t MinEdgesWithHeads = 8;
  if (edges < MinEdgesWithHeads) {
    if (baseOffset != nullptr) *baseOffset = 0;
    return 0;
  }
  return grid.ClusterBytes(baseOffset);
}

}  // namespace mtsrescue
