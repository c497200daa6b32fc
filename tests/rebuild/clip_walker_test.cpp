// PacketWalker: exact piece edges found packet by packet, and splits where the stream stops
// continuing inside a hit run.
#include "rebuild/PacketWalker.h"

#include "tests/common/MemoryFileSystem.h"
#include "tests/rebuild/ClipFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace mtsrescue::test {
namespace {

constexpr std::uint32_t Step = 6768;  // 27 MHz ticks per packet at 6 Mbit/s
constexpr std::int64_t Cluster = 16384;

std::vector<ClipPiece> Walk(const CardImage& card) {
  MemoryFileSystem files;
  files.Add("card", card.Bytes());
  auto stream = files.Open("card", OpenMode::ReadShared);
  SourceWindow window(*stream, static_cast<std::int64_t>(card.Bytes().size()));
  PacketWalker walker(window);
  std::vector<ClipPiece> pieces;
  for (const ClipSpan& run : card.HitRuns()) walker.WalkRun(run.StartOffset, run.EndOffset, pieces);
  return pieces;
}

TEST(ClipWalker, ContiguousRecordingIsOnePieceFromItsFirstToItsLastPacket) {
  const auto recording = SyntheticStream(300, 1000, Step, 1);
  CardImage card(256 * 1024);
  const std::int64_t at = 64 * 1024;
  card.Place(recording, 0, static_cast<std::int64_t>(recording.size()), at);

  const auto pieces = Walk(card);
  ASSERT_EQ(pieces.size(), 1u);
  const ClipPiece& piece = pieces[0];
  EXPECT_EQ(piece.FirstPacketOffset, at);
  EXPECT_TRUE(piece.HeadAtSector);
  EXPECT_EQ(piece.HeadOffset, at);
  EXPECT_EQ(piece.LastPacketOffset, at + 299 * 192);
  EXPECT_EQ(piece.PacketCount, 300);
  EXPECT_EQ(piece.FirstStamp, 1000u);
  EXPECT_EQ(piece.LastStamp, 1000u + 299 * Step);
  EXPECT_EQ(piece.StepMinTicks, Step);
  EXPECT_EQ(piece.StepMaxTicks, Step);
  // The recording ends 57,600 bytes in, 256 past a sector boundary, so no sector boundary lies
  // within the last packet's reach: the piece ends with it.
  EXPECT_FALSE(piece.TailAtSector);
  EXPECT_EQ(piece.TailOffset, at + 300 * 192);
  // The first video packet is a random-access point.
  EXPECT_GE(piece.FirstRandomAccessOffset, at);
  EXPECT_LT(piece.FirstRandomAccessOffset, at + 10 * 192);
  EXPECT_FALSE(piece.RandomAccessPidSeenBefore);
}

TEST(ClipWalker, ClusterFromMidFileKeepsThePacketsBeforeItsFirstHit) {
  const auto recording = SyntheticStream(1000, 5000, Step, 2);
  CardImage card(256 * 1024);
  const std::int64_t at = 40960;
  card.Place(recording, Cluster, Cluster, at);  // the file's second cluster, alone

  const auto pieces = Walk(card);
  ASSERT_EQ(pieces.size(), 1u);
  const ClipPiece& piece = pieces[0];
  // 16,384 = 85 packets + 64 bytes: the cluster begins with the last 128 bytes of packet 85.
  EXPECT_TRUE(piece.HeadAtSector);
  EXPECT_EQ(piece.HeadOffset, at);
  EXPECT_EQ(piece.FirstPacketOffset, at + 128);
  EXPECT_EQ(piece.FirstStamp, 5000u + 86 * Step);
  // Packet 170 begins 128 bytes before the cluster's end and is cut there.
  EXPECT_TRUE(piece.TailAtSector);
  EXPECT_EQ(piece.TailOffset, at + Cluster);
  EXPECT_EQ(piece.LastPacketOffset, at + (170 * 192 - Cluster));
  EXPECT_EQ(piece.LastStamp, 5000u + 170 * Step);
}

// A piece that begins with the rest of an audio unit, its picture PID with a picture a decoder
// can begin at: the stream began before the piece when that PID shows where its units end.
TEST(ClipWalker, APieceBegunInsideAnotherPidsUnitHasLostItsHead) {
  for (const bool padded : {true, false}) {
    SCOPED_TRACE(padded ? "the audio unit ends padded" : "the audio PID shows no unit edge");
    auto recording = SyntheticStream(900, 5000, Step, 6);
    const auto pidOf = [&](std::int64_t k) {
      const std::uint8_t* p = recording.data() + k * 192;
      return ((p[5] & 0x1F) << 8) | p[6];
    };
    std::int64_t picture = 300;  // a video packet at a random-access point
    while (!(pidOf(picture) == 0x1011 && (recording[static_cast<std::size_t>(picture * 192 + 9)] & 0x40) != 0 &&
             recording[static_cast<std::size_t>(picture * 192 + 8)] == 7)) {
      ++picture;
    }
    std::int64_t audio = picture + 1;
    while (pidOf(audio) != 0x1100) ++audio;
    const std::uint8_t counter = recording[static_cast<std::size_t>(audio * 192 + 7)] & 0x0F;
    // The two packets before the picture become the end of an audio unit.
    for (const std::int64_t k : {picture - 2, picture - 1}) {
      std::uint8_t* p = recording.data() + k * 192;
      const int before = static_cast<int>(picture - k);
      p[5] = 0x11;
      p[6] = 0x00;
      const bool last = k == picture - 1 && padded;
      p[7] = static_cast<std::uint8_t>((last ? 0x30 : 0x10) | ((counter + 16 - before) & 0x0F));
      if (last) {
        p[8] = 1;
        p[9] = 0x00;
      }
    }
    CardImage card(512 * 1024);
    const std::int64_t at = 64 * 1024;
    const std::int64_t from = (picture - 2) * 192;
    card.Place(recording, from, static_cast<std::int64_t>(recording.size()) - from, at);

    const auto pieces = Walk(card);
    ASSERT_EQ(pieces.size(), 1u);
    EXPECT_EQ(pieces[0].FirstPacketOffset, at);
    EXPECT_EQ(pieces[0].FirstRandomAccessOffset, at + 2 * 192);
    EXPECT_EQ(pieces[0].RandomAccessPidSeenBefore, padded);
  }
}

TEST(ClipWalker, SplitsTwoRecordingsTheHitRunJoinedAtAStampJump) {
  const auto first = SyntheticStream(200, 1000, Step, 3);
  const auto second = SyntheticStream(400, 700'000'000, Step, 4);
  CardImage card(256 * 1024);
  const std::int64_t at = 32768;
  // first's first cluster, then second's second cluster: the packet grid runs on unbroken.
  card.Place(first, 0, Cluster, at);
  card.Place(second, Cluster, Cluster, at + Cluster);
  const auto runs = card.HitRuns();
  ASSERT_EQ(runs.size(), 1u) << "the hit run must span both clusters for this case";

  const auto pieces = Walk(card);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].FirstPacketOffset, at);
  EXPECT_EQ(pieces[0].TailOffset, at + Cluster);
  EXPECT_EQ(pieces[0].LastStamp, 1000u + 85 * Step);
  EXPECT_EQ(pieces[1].HeadOffset, at + Cluster);
  EXPECT_EQ(pieces[1].FirstPacketOffset, at + Cluster + 128);
  EXPECT_EQ(pieces[1].FirstStamp, 700'000'000u + 86 * Step);
}

TEST(ClipWalker, SplitsTwoRecordingsWithTheSameStampsAtTheirCounters) {
  // Same origin and rate: across the joint the stamps step exactly as inside either recording,
  // so only the continuity counters tell the two apart.
  const auto first = SyntheticStream(400, 1000, Step, 5);
  const auto second = SyntheticStream(400, 1000, Step, 6);
  CardImage card(256 * 1024);
  const std::int64_t at = 32768;
  card.Place(first, 0, Cluster, at);
  card.Place(second, Cluster, Cluster, at + Cluster);

  const auto pieces = Walk(card);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].TailOffset, at + Cluster);
  EXPECT_EQ(pieces[1].HeadOffset, at + Cluster);
  EXPECT_EQ(pieces[1].FirstPacketOffset, at + Cluster + 128);
}

TEST(ClipWalker, AForeignPacketInsideARunEndsOnePieceAndTheNextBeginsAfterIt) {
  auto recording = SyntheticStream(300, 1000, Step, 7);
  // Packet 100 keeps its sync byte but carries a stamp from elsewhere.
  recording[100 * 192 + 0] ^= 0x15;
  CardImage card(256 * 1024);
  const std::int64_t at = 8192;
  card.Place(recording, 0, static_cast<std::int64_t>(recording.size()), at);

  const auto pieces = Walk(card);
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[0].FirstPacketOffset, at);
  EXPECT_EQ(pieces[0].LastPacketOffset, at + 99 * 192);
  EXPECT_EQ(pieces[1].FirstPacketOffset, at + 101 * 192);
  EXPECT_EQ(pieces[1].LastPacketOffset, at + 299 * 192);
}

TEST(ClipWalker, ABrokenCounterEndsThePiece) {
  auto recording = SyntheticStream(300, 1000, Step, 8);
  // Find a video packet past packet 150 and bend its counter.
  std::int64_t bent = -1;
  for (std::int64_t k = 150; k < 300 && bent < 0; ++k) {
    std::uint8_t* p = recording.data() + k * 192;
    if (p[6] == 0x11 && (p[5] & 0x1F) == 0x10) {
      p[7] = static_cast<std::uint8_t>((p[7] & 0xF0) | ((p[7] + 5) & 0x0F));
      bent = k;
    }
  }
  ASSERT_GT(bent, 0);
  CardImage card(256 * 1024);
  const std::int64_t at = 8192;
  card.Place(recording, 0, static_cast<std::int64_t>(recording.size()), at);

  const auto pieces = Walk(card);
  ASSERT_GE(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].LastPacketOffset, at + (bent - 1) * 192);
}

TEST(ClipWalker, UnreadableSectorsEndAPieceInsteadOfBeingTakenAsPackets) {
  const auto recording = SyntheticStream(600, 1000, Step, 9);
  CardImage card(256 * 1024);
  const std::int64_t at = 16384;
  card.Place(recording, 0, static_cast<std::int64_t>(recording.size()), at);
  MemoryFileSystem files;
  auto file = files.Add("card", card.Bytes());
  const std::int64_t bad = at + 32768;
  file->FailReads(bad, 512);
  auto stream = files.Open("card", OpenMode::ReadShared);
  SourceWindow window(*stream, file->Length());
  PacketWalker walker(window);
  std::vector<ClipPiece> pieces;
  for (const ClipSpan& run : card.HitRuns()) walker.WalkRun(run.StartOffset, run.EndOffset, pieces);
  ASSERT_GE(pieces.size(), 1u);
  EXPECT_EQ(pieces[0].FirstPacketOffset, at);
  EXPECT_LT(pieces[0].LastPacketOffset, bad);
  EXPECT_GE(pieces[0].LastPacketOffset, bad - 192);
}

// A recording ends in one packet that breaks its picture PID's counter, then zeros. A stray chain
// of a packet or two started there overlaps the recording's last packets: that chain is no piece,
// and the recording must keep those packets rather than give them to nothing. Every picture packet
// position from 30 to 290 is tried, so the joint falls at every place in a sector.
TEST(ClipWalker, AChainTooShortToBeAPieceTakesNoPacketsFromThePieceBefore) {
  const auto recording = SyntheticStream(300, 1000, Step, 1);
  const std::int64_t at = 64 * 1024;
  int tried = 0;
  for (std::int64_t foreign = 30; foreign < 290; ++foreign) {
    const std::uint8_t* packet = recording.data() + foreign * 192;
    if (packet[6] != 0x11 || (packet[5] & 0x1F) != 0x10) continue;  // picture packets only
    ++tried;
    CardImage card(128 * 1024);
    card.Place(recording, 0, (foreign + 1) * 192, at);
    std::uint8_t* broken = card.Bytes().data() + at + foreign * 192;
    broken[7] = static_cast<std::uint8_t>((broken[7] & 0xF0) | ((broken[7] + 7) & 0x0F));
    card.Fill(at + (foreign + 1) * 192, 8192, 0);

    const auto pieces = Walk(card);
    for (std::int64_t k = 0; k < foreign; ++k) {
      const std::int64_t offset = at + k * 192;
      const bool held = std::any_of(pieces.begin(), pieces.end(), [&](const ClipPiece& piece) {
        return piece.FirstPacketOffset <= offset && offset <= piece.LastPacketOffset;
      });
      ASSERT_TRUE(held) << "packet " << k << " of " << foreign << " is in no piece";
    }
  }
  EXPECT_GT(tried, 100);
}

// Two recordings with the same stamps, stored one right after the other: the first ends on a
// sector boundary between packets, the second's counters are those of the first shifted by 8.
// Packets at the end of the first fit the second's head by chance and are handed on to it, then
// taken back when the second proves to begin at the boundary; what is left of that chain is
// fewer packets than a piece is found from, yet they are verified packets of the first recording
// and must stay in a piece. Every boundary position from 64 to 1,000 packets is tried.
TEST(ClipWalker, PacketsHandedOnAndTakenBackStayInAPiece) {
  const auto first = SyntheticStream(1200, 1000, Step, 5);
  auto second = first;
  for (std::size_t k = 0; k < second.size(); k += 192) {
    const int pid = ((second[k + 5] & 0x1F) << 8) | second[k + 6];
    if (pid != 0x1FFF) second[k + 7] = static_cast<std::uint8_t>((second[k + 7] & 0xF0) | ((second[k + 7] + 8) & 0x0F));
  }
  const std::int64_t at = 64 * 1024;
  for (std::int64_t joint = 64; joint <= 1000; joint += 8) {  // 8 packets: 3 sectors
    CardImage card(512 * 1024);
    card.Place(first, 0, joint * 192, at);
    card.Place(second, joint * 192, 150 * 192, at + joint * 192);
    card.Fill(at + (joint + 150) * 192, 4096, 0);

    const auto pieces = Walk(card);
    for (std::int64_t k = 0; k < joint; ++k) {
      const std::int64_t offset = at + k * 192;
      const bool held = std::any_of(pieces.begin(), pieces.end(), [&](const ClipPiece& piece) {
        return piece.FirstPacketOffset <= offset && offset <= piece.LastPacketOffset;
      });
      ASSERT_TRUE(held) << "packet " << k << " of the first " << joint << " is in no piece";
    }
  }
}

}  // namespace
}  // namespace mtsrescue::test
