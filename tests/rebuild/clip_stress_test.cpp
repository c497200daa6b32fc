// Random cards on which the clusters of two or three recordings alternate, often with the same
// stamp origin: no piece and no planned recording may hold bytes of two recordings or bytes out of
// order, and no packet of a recording may be left out of every piece.
#include "rebuild/ClipBuilder.h"

#include "rebuild/ClipLinker.h"
#include "engine/RunObserver.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/rebuild/ClipFixtures.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mtsrescue::test {
namespace {

constexpr std::int64_t CardBytes = 2 * 1024 * 1024;
constexpr std::int64_t MarginBytes = 65536;  // random bytes before and after the recordings

// A card and, for every byte of it, the recording it came from (-1: none) and its offset there.
struct Interleaved {
  explicit Interleaved(std::uint32_t trial) : card(CardBytes, trial) {
    std::mt19937 random(trial);
    clusterBytes = 4096 << (random() % 3);
    const int count = 2 + static_cast<int>(random() % 2);
    sameOrigin = random() % 2 != 0;
    for (int r = 0; r < count; ++r) {
      // Origins 777,777 ticks apart are well within one stamp step's reach.
      const std::uint32_t origin = sameOrigin ? 1000 : 1000 + 777777u * static_cast<std::uint32_t>(r);
      recordings.push_back(SyntheticStream(2048, origin, 6768, trial * 10 + static_cast<std::uint32_t>(r) + 1));
    }
    owner.assign(CardBytes, -1);
    fileOffset.assign(CardBytes, -1);
    std::vector<std::int64_t> placed(recordings.size(), 0);
    for (std::int64_t at = MarginBytes; at + clusterBytes <= CardBytes - MarginBytes; at += clusterBytes) {
      const std::size_t r = random() % recordings.size();
      if (placed[r] + clusterBytes > static_cast<std::int64_t>(recordings[r].size())) break;
      card.Place(recordings[r], placed[r], clusterBytes, at);
      for (std::int64_t i = 0; i < clusterBytes; ++i) {
        owner[at + i] = static_cast<int>(r);
        fileOffset[at + i] = placed[r] + i;
      }
      placed[r] += clusterBytes;
    }
  }

  // Whether [start, end) is one stretch of one recording, in order; otherwise where it breaks.
  std::int64_t BreakIn(std::int64_t start, std::int64_t end) const {
    for (std::int64_t at = start; at < end; ++at) {
      if (owner[at] < 0 || owner[at] != owner[start] || fileOffset[at] != fileOffset[start] + (at - start)) {
        return at;
      }
    }
    return -1;
  }

  CardImage card;
  std::int64_t clusterBytes = 0;
  bool sameOrigin = false;
  std::vector<std::vector<std::uint8_t>> recordings;
  std::vector<int> owner;
  std::vector<std::int64_t> fileOffset;
};

TEST(ClipStress, InterleavedRecordingsNeverMixAndLoseNoPacketAndMostJointsAreMade) {
  std::int64_t packets = 0;
  std::int64_t joints = 0;
  std::int64_t jointsMade = 0;
  for (std::uint32_t trial = 0; trial < 120; ++trial) {
    const Interleaved layout(trial);
    MemoryFileSystem files;
    files.Add("card", layout.card.Bytes());
    const auto stream = files.Open("card", OpenMode::ReadShared);
    ClipBuilder builder(*stream, CardBytes);
    RunObserver observer;
    builder.Plan(layout.card.HitRuns(), observer);
    std::ostringstream where;
    where << "trial " << trial << ", " << layout.clusterBytes << "-byte clusters"
          << (layout.sameOrigin ? ", same origins" : "");
    SCOPED_TRACE(where.str());

    const std::vector<ClipPiece>& pieces = builder.Pieces();
    std::vector<bool> covered(CardBytes, false);
    for (std::size_t i = 1; i < pieces.size(); ++i) {
      EXPECT_GT(pieces[i].FirstPacketOffset, pieces[i - 1].LastPacketOffset) << "pieces share packets";
    }
    for (const ClipPiece& piece : pieces) {
      EXPECT_EQ(layout.BreakIn(piece.FirstPacketOffset, piece.LastPacketOffset + 8), -1)
          << "piece " << piece.FirstPacketOffset << ".." << piece.LastPacketOffset << " DBG owner/fo at break: "
          << [&] { auto b = layout.BreakIn(piece.FirstPacketOffset, piece.LastPacketOffset + 8); std::ostringstream o; if (b >= 0) { o << layout.owner[b-1] << "@" << layout.fileOffset[b-1] << " -> " << layout.owner[b] << "@" << layout.fileOffset[b]; for (std::int64_t q = b - 192*3; q < b + 192*4; q += 192) { std::int64_t pk = q - ((layout.fileOffset[b-1] + 1 - (b - q)) % 192); (void)pk; } } return o.str(); }();
      std::fill(covered.begin() + piece.FirstPacketOffset, covered.begin() + piece.LastPacketOffset + 1, true);
    }
    // Every packet that lies whole in one cluster starts inside some piece.
    for (std::int64_t at = 0; at + PacketBytes <= CardBytes; ++at) {
      if (layout.owner[at] < 0 || layout.fileOffset[at] % PacketBytes != 0) continue;
      if (layout.BreakIn(at, at + PacketBytes) != -1) continue;
      ++packets;
      EXPECT_TRUE(covered[at]) << "packet at " << at << " is in no piece";
    }
    for (std::size_t a = 0; a < pieces.size(); ++a) {
      const std::size_t b = builder.Next()[a];
      if (b == ClipLinker::NoPiece) continue;
      EXPECT_EQ(layout.owner[pieces[b].HeadOffset], layout.owner[pieces[a].TailOffset - 1]);
      EXPECT_EQ(layout.fileOffset[pieces[b].HeadOffset], layout.fileOffset[pieces[a].TailOffset - 1] + 1)
          << "piece at " << pieces[a].HeadOffset << " joined to the piece at " << pieces[b].HeadOffset;
    }
    for (const PlannedClip& clip : builder.Clips()) {
      for (std::size_t k = 0; k < clip.Spans.size(); ++k) {
        const ClipSpan& span = clip.Spans[k];
        // A recording's end that bytes of no recording cut inside a packet keeps that packet:
        // nothing in the stream shows the cut. Bytes of another recording always show it.
        const std::int64_t broken = layout.BreakIn(span.StartOffset, span.EndOffset);
        if (broken >= 0 && k + 1 == clip.Spans.size() && broken > span.EndOffset - PacketBytes) {
          EXPECT_LT(layout.owner[broken], 0) << "the last packet of a recording ends in another's bytes";
          continue;
        }
        EXPECT_EQ(broken, -1);
        if (k > 0) {
          EXPECT_EQ(layout.fileOffset[span.StartOffset], layout.fileOffset[clip.Spans[k - 1].EndOffset - 1] + 1);
        }
      }
    }
    // Joints between clusters of one recording that lie apart (or in reverse order) on the card.
    for (std::int64_t at = MarginBytes + layout.clusterBytes; at < CardBytes - MarginBytes; at += layout.clusterBytes) {
      if (layout.owner[at] < 0) continue;
      if (layout.owner[at - 1] == layout.owner[at] && layout.fileOffset[at - 1] + 1 == layout.fileOffset[at]) continue;
      if (layout.fileOffset[at] == 0) continue;
      ++joints;
      for (std::size_t a = 0; a < pieces.size(); ++a) {
        if (builder.Next()[a] != ClipLinker::NoPiece && pieces[builder.Next()[a]].HeadOffset == at) ++jointsMade;
      }
    }
  }
  // Joints hidden by recordings alike on both sides are left unmade, as they should be; all the
  // others are made.
  EXPECT_GE(jointsMade * 100, joints * 99) << jointsMade << " of " << joints << " joints made";
  RecordProperty("joints_made", std::to_string(jointsMade) + " of " + std::to_string(joints));
  EXPECT_GT(packets, 500000);
}

}  // namespace
}  // namespace mtsrescue::test
