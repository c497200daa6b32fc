// ClipLinker and ClipBuilder's plan: which piece continues which, and the bytes a recording is
// rebuilt from.
#include "rebuild/ClipLinker.h"

#include "engine/RunObserver.h"
#include "rebuild/PacketHeader.h"
#include "rebuild/PieceSearch.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/rebuild/ClipFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <random>

namespace mtsrescue::test {
namespace {

constexpr std::uint32_t Step = 6768;
constexpr std::int64_t Cluster = 16384;

// Plans the recordings of a card and keeps what the tests look at.
class Planned {
 public:
  explicit Planned(const CardImage& card) {
    files_.Add("card", card.Bytes());
    stream_ = files_.Open("card", OpenMode::ReadShared);
    builder_ = std::make_unique<ClipBuilder>(*stream_, static_cast<std::int64_t>(card.Bytes().size()));
    RunObserver observer;
    builder_->Plan(card.HitRuns(), observer);
    card_ = &card;
  }
  const ClipBuilder& Builder() const { return *builder_; }
  // The bytes of planned recording i, as they would be written.
  std::vector<std::uint8_t> Bytes(std::size_t i) const {
    std::vector<std::uint8_t> out;
    for (const ClipSpan& span : builder_->Clips().at(i).Spans) {
      const auto part = Slice(card_->Bytes(), span.StartOffset, span.EndOffset);
      out.insert(out.end(), part.begin(), part.end());
    }
    return out;
  }
  // The piece whose head lies at offset.
  std::size_t PieceAt(std::int64_t headOffset) const {
    for (std::size_t i = 0; i < builder_->Pieces().size(); ++i) {
      if (builder_->Pieces()[i].HeadOffset == headOffset) return i;
    }
    ADD_FAILURE() << "no piece begins at " << headOffset;
    return ClipLinker::NoPiece;
  }

 private:
  MemoryFileSystem files_;
  std::unique_ptr<ByteStream> stream_;
  std::unique_ptr<ClipBuilder> builder_;
  const CardImage* card_ = nullptr;
};

// Stores clusters of recording (by index) at the given cluster slots of the card.
void Scatter(CardImage& card, const std::vector<std::uint8_t>& recording, std::int64_t clusterBytes,
             const std::vector<std::pair<std::int64_t, std::int64_t>>& clusterToSlot) {
  for (const auto& [cluster, slot] : clusterToSlot) {
    card.Place(recording, cluster * clusterBytes, clusterBytes, slot * clusterBytes);
  }
}

TEST(ClipLinker, RebuildsAScatteredRecordingByteForByte) {
  const auto recording = SyntheticStream(320, 1000, Step, 11);  // 61,440 bytes: 4 clusters
  CardImage card(32 * Cluster);
  // Out of order, with foreign clusters between, one piece before its predecessor.
  Scatter(card, recording, Cluster, {{0, 5}, {1, 12}, {2, 3}, {3, 20}});

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Pieces().size(), 4u);
  ASSERT_EQ(planned.Builder().Clips().size(), 1u);
  EXPECT_EQ(planned.Builder().Clips()[0].PieceIndexes.size(), 4u);
  EXPECT_FALSE(planned.Builder().Clips()[0].HeadTrimmed);
  EXPECT_EQ(planned.Bytes(0), recording);
}

TEST(ClipLinker, JoinsAtAPacketBoundaryWhenTheClusterEndsBetweenPackets) {
  // 48 KiB clusters hold exactly 256 packets: nothing is cut at the joint.
  const std::int64_t cluster = 3 * Cluster;
  const auto recording = SyntheticStream(608, 77, Step, 12);
  CardImage card(12 * cluster);
  Scatter(card, recording, cluster, {{0, 7}, {1, 2}, {2, 4}});

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Clips().size(), 1u);
  EXPECT_EQ(planned.Bytes(0), recording);
}

TEST(ClipLinker, TwoPiecesThatBothFitLeaveTheJointUnmade) {
  const auto recording = SyntheticStream(320, 1000, Step, 13);
  CardImage card(32 * Cluster);
  // Cluster 1 is there twice (a copy left behind): cluster 0 has two successors that fit.
  Scatter(card, recording, Cluster, {{0, 5}, {1, 12}, {2, 3}, {3, 20}});
  card.Place(recording, Cluster, Cluster, 25 * Cluster);

  Planned planned(card);
  const auto& next = planned.Builder().Next();
  EXPECT_EQ(next[planned.PieceAt(5 * Cluster)], ClipLinker::NoPiece);
  // Cluster 2 has two predecessors that fit, so neither copy is joined to it either.
  EXPECT_EQ(next[planned.PieceAt(12 * Cluster)], ClipLinker::NoPiece);
  EXPECT_EQ(next[planned.PieceAt(25 * Cluster)], ClipLinker::NoPiece);
  // The unambiguous joint still stands.
  EXPECT_EQ(next[planned.PieceAt(3 * Cluster)], planned.PieceAt(20 * Cluster));
}

TEST(ClipLinker, StampsAndCountersThatFitDoNotJoinPiecesWhoseCutPacketDoesNotAddUp) {
  const auto recording = SyntheticStream(200, 1000, Step, 14);
  CardImage card(16 * Cluster);
  card.Place(recording, 0, Cluster, 2 * Cluster);
  // The second cluster stored 64 bytes late: the same packets follow, but the 64 bytes cut at the
  // first cluster's end and the 64 before the second's first packet make no packet.
  card.Place(recording, Cluster + 64, Cluster - 64, 6 * Cluster);

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Pieces().size(), 2u);
  EXPECT_EQ(planned.Builder().Next()[0], ClipLinker::NoPiece);
  EXPECT_EQ(planned.Builder().Next()[1], ClipLinker::NoPiece);
}

TEST(ClipLinker, RecordingsWithTheSameStampOriginAreKeptApart) {
  // Same origin, same rate, same cluster positions in their files: every joint's stamps and cut
  // fit either recording; only the counters tell them apart.
  const auto first = SyntheticStream(320, 4242, Step, 21);
  const auto second = SyntheticStream(320, 4242, Step, 22);
  CardImage card(40 * Cluster);
  Scatter(card, first, Cluster, {{0, 10}, {1, 3}, {2, 17}, {3, 30}});
  Scatter(card, second, Cluster, {{0, 12}, {1, 25}, {2, 6}, {3, 35}});

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Clips().size(), 2u);
  // Numbered by where their first byte lies: first's head is at cluster slot 10, second's at 12.
  EXPECT_EQ(planned.Bytes(0), first);
  EXPECT_EQ(planned.Bytes(1), second);
}

TEST(ClipLinker, RecordingsWithTheSameStampsStoredSideBySideAreSplitAndRejoined) {
  // Each recording's clusters follow clusters of the other: every hit run joins the two.
  const auto first = SyntheticStream(320, 999, Step, 23);
  const auto second = SyntheticStream(320, 999, Step, 24);
  CardImage card(16 * Cluster);
  Scatter(card, first, Cluster, {{0, 1}, {1, 4}, {2, 6}, {3, 9}});
  Scatter(card, second, Cluster, {{0, 3}, {1, 2}, {2, 7}, {3, 5}});

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Clips().size(), 2u);
  EXPECT_EQ(planned.Bytes(0), first);
  EXPECT_EQ(planned.Bytes(1), second);
}

TEST(ClipLinker, ARecordingWhoseHeadIsLostBeginsAtItsFirstRandomAccessPoint) {
  const auto recording = SyntheticStream(320, 1000, Step, 15);
  CardImage card(32 * Cluster);
  Scatter(card, recording, Cluster, {{1, 12}, {2, 3}, {3, 20}});  // cluster 0 overwritten

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Clips().size(), 1u);
  const PlannedClip& clip = planned.Builder().Clips()[0];
  EXPECT_TRUE(clip.HeadTrimmed);
  // The surviving part from the first packet that starts a random-access unit.
  std::int64_t firstRandomAccess = -1;
  for (std::int64_t k = 86; k < 320 && firstRandomAccess < 0; ++k) {
    const std::uint8_t* p = recording.data() + k * 192;
    if ((p[5] & 0x40) && (p[7] & 0x20) && p[8] > 0 && (p[9] & 0x40)) firstRandomAccess = k * 192;
  }
  ASSERT_GT(firstRandomAccess, 0);
  EXPECT_EQ(planned.Bytes(0), Slice(recording, firstRandomAccess, static_cast<std::int64_t>(recording.size())));
}

TEST(ClipLinker, ClusterSizeIsReadFromTheJoints) {
  const auto a = SyntheticStream(704, 1, Step, 31);
  const auto b = SyntheticStream(704, 500'000'000, Step, 32);
  const std::int64_t cluster = 32768;
  const std::int64_t base = 4096;  // the data area starts 4 KiB into the image
  CardImage card(40 * cluster + base);
  for (const auto& [index, slot] : std::vector<std::pair<int, int>>{{0, 3}, {1, 9}, {2, 14}, {3, 1}, {4, 20}}) {
    card.Place(a, index * cluster, cluster, base + slot * cluster);
  }
  for (const auto& [index, slot] : std::vector<std::pair<int, int>>{{0, 25}, {1, 5}, {2, 30}, {3, 11}}) {
    card.Place(b, index * cluster, cluster, base + slot * cluster);
  }
  Planned planned(card);
  std::int64_t residue = -1;
  EXPECT_EQ(ClipLinker::InferClusterBytes(planned.Builder().Pieces(), planned.Builder().Next(), &residue),
            cluster);
  EXPECT_EQ(residue, base);
  EXPECT_EQ(planned.Builder().ClusterBytes(), cluster);
  ASSERT_EQ(planned.Builder().Clips().size(), 2u);
}

TEST(ClipLinker, ARecordingCutMidPacketEndsBeforeItsCutPictureOnlyWhereAnotherStreamShowsTheCut) {
  // Enough joints elsewhere to show the clusters; "cut" keeps only its first four clusters, whose
  // last packet (341, a video packet) the fourth cluster's end cuts 64 bytes in. After it come
  // either bytes of no stream, which may as well be the end of that packet, or a cluster of
  // another recording, whose packets show where the cut lies.
  const auto a = SyntheticStream(416, 1, Step, 61);
  const auto b = SyntheticStream(416, 300'000'000, Step, 62);
  const auto cut = SyntheticStream(416, 600'000'000, Step, 63);
  const auto other = SyntheticStream(416, 900'000'000, Step, 60);
  ASSERT_EQ(cut[341 * 192 + 6], 0x11) << "the cut packet must be a picture's for this case";
  for (const bool followedByStream : {false, true}) {
    SCOPED_TRACE(followedByStream ? "another stream after the cut" : "random bytes after the cut");
    CardImage card(40 * Cluster);
    Scatter(card, a, Cluster, {{0, 2}, {1, 8}, {2, 5}, {3, 11}, {4, 14}});
    Scatter(card, b, Cluster, {{0, 20}, {1, 17}, {2, 23}, {3, 26}, {4, 29}});
    card.Place(cut, 0, 4 * Cluster, 33 * Cluster);
    if (followedByStream) Scatter(card, other, Cluster, {{1, 37}});

    Planned planned(card);
    ASSERT_EQ(planned.Builder().ClusterBytes(), Cluster);
    ASSERT_GE(planned.Builder().Clips().size(), 3u);
    const PlannedClip& clip = planned.Builder().Clips()[2];
    EXPECT_EQ(clip.TailTrimmed, followedByStream);
    if (followedByStream) {
      // The last video packet that starts a unit before packet 341 is where it ends.
      const std::int64_t lastUnit = LastPictureStart(cut, 341);
      ASSERT_GT(lastUnit, 0);
      EXPECT_EQ(planned.Bytes(2), Slice(cut, 0, lastUnit * 192));
    } else {
      EXPECT_EQ(planned.Bytes(2), Slice(card.Bytes(), 33 * Cluster, 33 * Cluster + 342 * 192));
    }
    // The two whole ones are whole.
    EXPECT_EQ(planned.Bytes(0), a);
    EXPECT_EQ(planned.Bytes(1), b);
  }
}

TEST(ClipLinker, AStreamThatEndsBetweenPacketsOnAClusterBoundaryIsKeptWhole) {
  // 256 packets = 48 KiB: the recording ends exactly where its third 16 KiB cluster ends, as a
  // file does whose length is a multiple of the cluster size.
  const auto a = SyntheticStream(416, 1, Step, 64);
  const auto b = SyntheticStream(416, 300'000'000, Step, 65);
  const auto exact = SyntheticStream(256, 600'000'000, Step, 66);
  CardImage card(40 * Cluster);
  Scatter(card, a, Cluster, {{0, 2}, {1, 8}, {2, 5}, {3, 11}, {4, 14}});
  Scatter(card, b, Cluster, {{0, 20}, {1, 17}, {2, 23}, {3, 26}, {4, 29}});
  Scatter(card, exact, Cluster, {{0, 33}, {1, 31}, {2, 36}});

  Planned planned(card);
  ASSERT_EQ(planned.Builder().ClusterBytes(), Cluster);
  ASSERT_EQ(planned.Builder().Clips().size(), 3u);
  EXPECT_FALSE(planned.Builder().Clips()[2].TailTrimmed);
  EXPECT_EQ(planned.Bytes(2), exact);
}

TEST(ClipLinker, ARecordingThatStopsBetweenPacketsInTheMiddleOfAPictureKeepsEveryPacket) {
  // The first three 16 KiB clusters hold 256 packets exactly: the cut falls between packets and
  // on a 32-packet unit, as a real end would. Only the last picture, left without its stuffing,
  // hints at a cut, and a picture may as well fill its last packet: nothing is taken away.
  const auto recording = SyntheticStream(512, 4242, Step, 67);
  CardImage card(16 * Cluster);
  Scatter(card, recording, Cluster, {{0, 3}, {1, 7}, {2, 10}});
  std::int64_t lastVideo = 255;
  while (recording[lastVideo * 192 + 6] != 0x11 || (recording[lastVideo * 192 + 5] & 0x1F) != 0x10) --lastVideo;
  ASSERT_EQ(recording[lastVideo * 192 + 7] & 0x20, 0) << "the cut must fall inside a picture for this case";

  Planned planned(card);
  ASSERT_EQ(planned.Builder().Clips().size(), 1u);
  EXPECT_FALSE(planned.Builder().Clips()[0].TailTrimmed);
  EXPECT_EQ(planned.Bytes(0), Slice(recording, 0, 256 * 192));
}

TEST(ClipLinker, FitsNeedsEveryCheckToAgree) {
  const auto recording = SyntheticStream(200, 1000, Step, 16);
  CardImage card(16 * Cluster);
  card.Place(recording, 0, Cluster, 2 * Cluster);
  card.Place(recording, Cluster, Cluster, 6 * Cluster);
  Planned planned(card);
  ASSERT_EQ(planned.Builder().Pieces().size(), 2u);
  const ClipPiece& a = planned.Builder().Pieces()[0];
  const ClipPiece& b = planned.Builder().Pieces()[1];
  ASSERT_TRUE(ClipLinker::Fits(a, b));
  EXPECT_FALSE(ClipLinker::Fits(b, a));

  ClipPiece earlier = b;  // a stamp that goes back
  earlier.FirstStamp = a.LastStamp - Step;
  EXPECT_FALSE(ClipLinker::Fits(a, earlier));

  ClipPiece far = b;  // a step no recorder makes
  far.FirstStamp = a.LastStamp + MaxStampStepTicks + 1;
  EXPECT_FALSE(ClipLinker::Fits(a, far));

  ClipPiece bent = b;
  bent.FirstCounters[0].Counter = static_cast<std::uint8_t>((bent.FirstCounters[0].Counter + 1) & 0x0F);
  EXPECT_FALSE(ClipLinker::Fits(a, bent));

  // A step off the pieces' pace, or pieces at different paces, are what recorders do: such a
  // piece fits. Of two that fit, the one whose joint steps as a ends or b begins is taken;
  // alone, either is; two that both keep the pace are left apart.
  const auto elsewhere = [](ClipPiece piece, std::int64_t bytes) {
    for (std::int64_t* offset : {&piece.HeadOffset, &piece.FirstPacketOffset, &piece.LastPacketOffset, &piece.TailOffset}) {
      *offset += bytes;
    }
    return piece;
  };
  ClipPiece late = elsewhere(b, 10 * Cluster);
  late.FirstStamp += 3 * Step;
  ClipPiece faster = elsewhere(b, 12 * Cluster);
  faster.StepMinTicks = faster.StepMaxTicks = faster.FirstStepTicks = faster.LastStepTicks = Step / 2;
  EXPECT_TRUE(ClipLinker::Fits(a, late));
  EXPECT_TRUE(ClipLinker::Fits(a, faster));
  struct Case {
    std::vector<ClipPiece> Pieces;
    std::size_t Next;  // of piece 0
  };
  const Case cases[] = {
      {{a, late}, 1}, {{a, faster}, 1}, {{a, late, b}, 2}, {{a, late, faster}, 2}, {{a, b, faster}, ClipLinker::NoPiece},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClipLinker::Link(c.Pieces)[0], c.Next) << c.Pieces.size() << " pieces";
  }

  ClipPiece loose = b;
  loose.HeadAtSector = false;
  EXPECT_FALSE(ClipLinker::Fits(a, loose));

  ClipPiece strangers = b;
  for (auto& counter : strangers.FirstCounters) counter.Pid = static_cast<std::uint16_t>(counter.Pid + 0x200);
  EXPECT_FALSE(ClipLinker::Fits(a, strangers)) << "no PID seen on both sides: nothing to check";
}

// stream with its audio (PID 0x1100) cut into PES packets of unitPackets whole packets each,
// their length in the PES header: where the stream is cut, the bytes its open PES still lacks.
std::vector<std::uint8_t> WithAudioUnits(std::vector<std::uint8_t> stream, int unitPackets) {
  int audio = 0;
  for (std::size_t at = 0; at < stream.size(); at += PacketBytes) {
    std::uint8_t* p = stream.data() + at;
    if (p[6] != 0x00 || (p[5] & 0x1F) != 0x11) continue;
    const bool starts = audio++ % unitPackets == 0;
    p[5] = static_cast<std::uint8_t>((starts ? 0x40 : 0x00) | 0x11);
    if (!starts) continue;
    const int length = unitPackets * 184 - 6;
    const std::uint8_t header[] = {0, 0, 1, 0xBD, static_cast<std::uint8_t>(length >> 8),
                                   static_cast<std::uint8_t>(length & 0xFF)};
    std::copy(std::begin(header), std::end(header), p + 8);
  }
  return stream;
}

// Two recordings alike in stamps and counters, their audio in PES packets of different lengths:
// at each joint the tails fit both heads by every header, and only the bytes the open PES lacks
// tell which head goes on with it.
TEST(ClipLinker, ThePesCutAtAJointTellsRecordingsAlikeInTheirHeadersApart) {
  const auto base = SyntheticStream(320, 1000, Step, 41);
  const auto x = WithAudioUnits(base, 3);
  const auto y = WithAudioUnits(base, 4);
  CardImage card(24 * Cluster);
  Scatter(card, x, Cluster, {{0, 2}, {1, 3}, {2, 10}, {3, 17}});
  Scatter(card, y, Cluster, {{0, 6}, {1, 7}, {2, 13}, {3, 20}});

  Planned planned(card);
  const auto& pieces = planned.Builder().Pieces();
  ASSERT_EQ(pieces.size(), 6u);
  const std::size_t xTail = planned.PieceAt(2 * Cluster);
  const std::size_t yHead = planned.PieceAt(13 * Cluster);
  EXPECT_TRUE(ClipLinker::KeepsPace(pieces[xTail], pieces[yHead])) << "nothing else tells them apart";
  EXPECT_FALSE(ClipLinker::Fits(pieces[xTail], pieces[yHead]));
  ASSERT_EQ(planned.Builder().Clips().size(), 2u);
  EXPECT_EQ(planned.Bytes(0), x);
  EXPECT_EQ(planned.Bytes(1), y);
}

// Pieces made by hand, with one PID whose counter runs from firstCounter on, and stamps from
// firstStamp on at step; nothing cut at either edge.
ClipPiece MadePiece(std::int64_t slot, std::uint32_t firstStamp, std::int64_t packets, int firstCounter,
                    std::uint32_t step = Step) {
  ClipPiece piece;
  piece.HeadOffset = piece.FirstPacketOffset = slot * Cluster;
  piece.LastPacketOffset = piece.FirstPacketOffset + (packets - 1) * PacketBytes;
  piece.TailOffset = piece.LastPacketOffset + PacketBytes;
  piece.HeadAtSector = piece.TailAtSector = true;
  piece.FirstStamp = firstStamp;
  piece.LastStamp = firstStamp + static_cast<std::uint32_t>(packets - 1) * step;
  piece.StepMinTicks = piece.StepMaxTicks = piece.FirstStepTicks = piece.LastStepTicks = step;
  piece.PacketCount = packets;
  piece.FirstCounters = {{0x1011, static_cast<std::uint8_t>(firstCounter & 0x0F), true}};
  piece.LastCounters = {{0x1011, static_cast<std::uint8_t>((firstCounter + packets - 1) & 0x0F), true}};
  return piece;
}

// Where several pieces fit and keep the pace, the other joints still tell which is which: a
// piece that two candidates lead to, one through the other; pieces that another has only them
// to go to; pieces left with one candidate once the others are joined.
TEST(ClipLinker, JointsMadeLeaveTheRestOneCandidate) {
  constexpr std::uint32_t Gap = 600000;  // a recorder's pause: every step up to it keeps the pace
  const ClipPiece slow = MadePiece(1, 1000, 20, 0, Gap);
  const std::uint32_t after = slow.LastStamp + Step;
  // b holds 16 packets: its tail ends on the counter slow ends on, so c fits slow as well.
  const ClipPiece b = MadePiece(5, after, 16, 4);
  const ClipPiece c = MadePiece(9, b.LastStamp + Step, 40, 4);
  // Two tails alike and two heads alike; a second PID that only one tail and one head carry
  // tells that tail from that head, and so the rest.
  ClipPiece tailA = MadePiece(12, 1000, 30, 0);
  const ClipPiece tailC = MadePiece(14, 1000, 30, 0);
  const ClipPiece headB = MadePiece(16, tailA.LastStamp + Step, 30, 14);
  ClipPiece headD = MadePiece(18, tailA.LastStamp + Step, 30, 14);
  tailA.LastCounters.push_back({0x1100, 3, true});
  headD.FirstCounters.push_back({0x1100, 9, true});
  constexpr std::size_t None = ClipLinker::NoPiece;
  struct Case {
    const char* Name;
    std::vector<ClipPiece> Pieces;
    std::vector<std::size_t> Next;
  };
  const Case cases[] = {
      {"one leads to the other", {slow, b, c}, {1, 2, None}},
      {"heads alike, one tail alone", {tailA, tailC, headB, headD}, {2, 3, None, None}},
      {"two tails with only one head", {tailA, headB, tailA}, {None, None, None}},
      {"the same in another order", {tailC, headB, headD, tailA}, {2, None, None, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ClipLinker::Link(c.Pieces), c.Next) << c.Name;
  }
}

// Two recordings whose packet headers are alike in every field (a worst case of the same stamp
// origin) tell nothing apart at a joint. Where a cluster of one lies right after a cluster of the
// other, the walk reads one piece; the recordings come back in parts, none of them mixed.
TEST(ClipLinker, RecordingsAlikeInEveryHeaderAreNeverMixed) {
  const auto x = SyntheticStream(512, 1000, Step, 31);  // 6 clusters
  auto y = x;
  std::mt19937 random(32);
  for (std::size_t at = 0; at < y.size(); at += PacketBytes) {
    for (std::size_t i = 12; i < PacketBytes; ++i) y[at + i] = static_cast<std::uint8_t>(random());
  }
  CardImage card(24 * Cluster);
  // x's first three clusters at slots 2 to 4, its last three at 12 to 14, right after y's first
  // three at 9 to 11; y's last three at 18 to 20.
  Scatter(card, x, Cluster, {{0, 2}, {1, 3}, {2, 4}, {3, 12}, {4, 13}, {5, 14}});
  Scatter(card, y, Cluster, {{0, 9}, {1, 10}, {2, 11}, {3, 18}, {4, 19}, {5, 20}});

  Planned planned(card);
  EXPECT_EQ(planned.Builder().Pieces().size(), 4u) << "the piece at slot 9 is split where x goes on";
  ASSERT_FALSE(planned.Builder().Clips().empty());
  for (std::size_t i = 0; i < planned.Builder().Clips().size(); ++i) {
    const auto bytes = planned.Bytes(i);
    const bool inX = std::search(x.begin(), x.end(), bytes.begin(), bytes.end()) != x.end();
    const bool inY = std::search(y.begin(), y.end(), bytes.begin(), bytes.end()) != y.end();
    EXPECT_TRUE(inX || inY) << "recording " << i << " holds bytes of both";
  }
}

// A card whose recordings all lie unbroken has no joints; the heads of its recordings, each at the
// start of a cluster, show the grid once there are eight of them.
TEST(ClipLinker, ClusterSizeIsReadFromTheHeadsOfUnbrokenRecordings) {
  const std::int64_t cluster = 32768;
  const std::int64_t base = 4096;
  for (const int recordings : {7, 8}) {
    CardImage card(3 * recordings * cluster + cluster + base);
    std::int64_t slot = 0;
    for (int r = 0; r < recordings; ++r) {
      // 1 to 2 clusters each, the last one partly slack, one free cluster now and then.
      const std::int64_t packets = 200 + 97 * r % 150;
      card.Place(SyntheticStream(packets, 100'000'000u * static_cast<std::uint32_t>(r + 1), Step, 60 + r), 0,
                 packets * 192, base + slot * cluster);
      slot += (packets * 192 + cluster - 1) / cluster + r % 2;
    }
    Planned planned(card);
    ASSERT_EQ(planned.Builder().Pieces().size(), static_cast<std::size_t>(recordings));
    std::int64_t residue = -1;
    EXPECT_EQ(ClipLinker::InferClusterBytes(planned.Builder().Pieces(), planned.Builder().Next(), &residue),
              recordings >= 8 ? cluster : 0)
        << recordings << " recordings";
    EXPECT_EQ(residue, recordings >= 8 ? base : 0);
  }
}

RecordingDate At(int hour, int minute, int second) { return RecordingDate{2024, 5, 1, hour, minute, second}; }

// Where both sides of a joint carry dates, the later piece must begin 0 to a few seconds after
// the earlier one ends; everything else about the joint being right.
TEST(ClipLinker, DatesThatContradictAJointRefuseIt) {
  const auto recording = SyntheticStream(200, 1000, Step, 16);
  CardImage card(16 * Cluster);
  card.Place(recording, 0, Cluster, 2 * Cluster);
  card.Place(recording, Cluster, Cluster, 6 * Cluster);
  Planned planned(card);
  ASSERT_EQ(planned.Builder().Pieces().size(), 2u);
  struct Case {
    std::optional<RecordingDate> ALast;
    std::optional<RecordingDate> BFirst;
    bool Fits;
  };
  const Case cases[] = {
      {At(10, 0, 0), At(10, 0, 0), true},    {At(10, 0, 0), At(10, 0, 3), true},
      {At(10, 0, 0), At(10, 0, 4), false},   {At(10, 0, 1), At(10, 0, 0), true},  // decoding order
      {At(10, 0, 2), At(10, 0, 0), false},
      {At(23, 59, 59), RecordingDate{2024, 5, 2, 0, 0, 1}, true},  // across midnight
      {At(10, 0, 0), At(11, 0, 0), false},   {std::nullopt, At(10, 0, 0), true},
      {At(10, 0, 0), std::nullopt, true},
  };
  for (const Case& c : cases) {
    ClipPiece a = planned.Builder().Pieces()[0];
    ClipPiece b = planned.Builder().Pieces()[1];
    a.LastDate = c.ALast;
    b.FirstDate = c.BFirst;
    EXPECT_EQ(ClipLinker::Fits(a, b), c.Fits) << (c.ALast ? RecordingDateText(*c.ALast, ' ', ':') : "none")
                                              << " -> " << (c.BFirst ? RecordingDateText(*c.BFirst, ' ', ':') : "none");
  }
}

// Two recordings alike in every packet header, their clusters scattered so that every tail fits
// two heads: the headers alone join nothing; their dates join each recording whole.
TEST(ClipLinker, DatesJoinRecordingsAlikeInEveryHeader) {
  const auto x = SyntheticStream(512, 1000, Step, 31);  // 6 clusters
  auto y = x;
  std::mt19937 random(33);
  for (std::size_t at = 0; at < y.size(); at += PacketBytes) {
    for (std::size_t i = 12; i < PacketBytes; ++i) y[at + i] = static_cast<std::uint8_t>(random());
  }
  CardImage card(32 * Cluster);
  Scatter(card, x, Cluster, {{0, 2}, {1, 22}, {2, 6}, {3, 26}, {4, 10}, {5, 14}});
  Scatter(card, y, Cluster, {{0, 18}, {1, 4}, {2, 24}, {3, 8}, {4, 28}, {5, 12}});
  const std::map<std::int64_t, std::pair<char, int>> owner = {
      {2, {'x', 0}},  {22, {'x', 1}}, {6, {'x', 2}},  {26, {'x', 3}}, {10, {'x', 4}}, {14, {'x', 5}},
      {18, {'y', 0}}, {4, {'y', 1}},  {24, {'y', 2}}, {8, {'y', 3}},  {28, {'y', 4}}, {12, {'y', 5}}};

  MemoryFileSystem files;
  files.Add("card", card.Bytes());
  const auto stream = files.Open("card", OpenMode::ReadShared);
  const std::int64_t length = static_cast<std::int64_t>(card.Bytes().size());
  RunObserver observer;
  for (const bool dated : {false, true}) {
    PieceSearch search(*stream, length, card.HitRuns());
    std::vector<ClipPiece> pieces = search.Finish(observer);
    ASSERT_EQ(pieces.size(), 12u);
    for (ClipPiece& piece : pieces) {
      if (!dated) continue;
      // x was recorded at 10:00, y at 14:30; each cluster holds well under a second.
      const auto [name, cluster] = owner.at(piece.HeadOffset / Cluster);
      piece.FirstDate = name == 'x' ? At(10, 0, cluster) : At(14, 30, cluster);
      piece.LastDate = name == 'x' ? At(10, 0, cluster) : At(14, 30, cluster);
    }
    ClipBuilder builder(*stream, length);
    builder.PlanPieces(std::move(pieces), observer);
    const std::size_t links = static_cast<std::size_t>(
        std::count_if(builder.Next().begin(), builder.Next().end(), [](std::size_t n) { return n != ClipLinker::NoPiece; }));
    if (!dated) {
      EXPECT_EQ(links, 0u) << "every tail fits two heads";
      continue;
    }
    EXPECT_EQ(links, 10u);
    ASSERT_EQ(builder.Clips().size(), 2u);
    std::vector<std::uint8_t> first;
    for (const ClipSpan& span : builder.Clips()[0].Spans) {
      const auto part = Slice(card.Bytes(), span.StartOffset, span.EndOffset);
      first.insert(first.end(), part.begin(), part.end());
    }
    EXPECT_TRUE(first == x) << "x begins first on the card";
    ASSERT_TRUE(builder.Clips()[0].Recorded.has_value());
    EXPECT_EQ(*builder.Clips()[0].Recorded, At(10, 0, 0));
    ASSERT_TRUE(builder.Clips()[1].Recorded.has_value());
    EXPECT_EQ(*builder.Clips()[1].Recorded, At(14, 30, 0));
    EXPECT_EQ(builder.Clips()[1].Bytes, static_cast<std::int64_t>(y.size()));
  }
}

}  // namespace
}  // namespace mtsrescue::test
