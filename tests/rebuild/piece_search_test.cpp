// PieceSearch fed by the export: the same pieces as a walk that reads everything, from the bytes
// the export copies, with the source read only around the pieces' edges.
#include "rebuild/PieceSearch.h"

#include "engine/FragmentWriter.h"
#include "engine/RunObserver.h"
#include "engine/ScanSource.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/rebuild/ClipFixtures.h"

#include <gtest/gtest.h>

namespace mtsrescue::test {
namespace {

constexpr std::uint32_t Step = 6768;
constexpr std::int64_t Cluster = 16384;

// Three recordings scattered in clusters, two of them sharing a stamp origin and lying side by
// side, with foreign clusters between.
CardImage ScatteredCard() {
  CardImage card(96 * Cluster, 3);
  const auto first = SyntheticStream(640, 1000, Step, 21);
  const auto second = SyntheticStream(640, 1000, Step, 22);
  const auto third = SyntheticStream(512, 500000, Step, 23);
  const std::vector<std::pair<const std::vector<std::uint8_t>*, std::vector<std::int64_t>>> layout = {
      {&first, {4, 5, 20, 9, 30, 31, 40, 12}},
      {&second, {6, 7, 8, 50, 51, 52, 60, 61}},
      {&third, {70, 71, 65, 66, 80, 81}}};
  for (const auto& [recording, slots] : layout) {
    for (std::size_t k = 0; k < slots.size(); ++k) {
      card.Place(*recording, static_cast<std::int64_t>(k) * Cluster, Cluster, slots[k] * Cluster);
    }
  }
  return card;
}

std::vector<ExportedEntry> EntriesFor(const std::vector<ClipSpan>& runs) {
  std::vector<ExportedEntry> entries;
  for (const ClipSpan& run : runs) {
    ExportedEntry entry;
    entry.Index = static_cast<std::int64_t>(entries.size());
    entry.StartOffset = run.StartOffset;
    entry.EndOffset = run.EndOffset;
    entries.push_back(entry);
  }
  return entries;
}

void ExpectSamePieces(const std::vector<ClipPiece>& got, const std::vector<ClipPiece>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE("piece " + std::to_string(i));
    EXPECT_EQ(got[i].HeadOffset, want[i].HeadOffset);
    EXPECT_EQ(got[i].FirstPacketOffset, want[i].FirstPacketOffset);
    EXPECT_EQ(got[i].LastPacketOffset, want[i].LastPacketOffset);
    EXPECT_EQ(got[i].TailOffset, want[i].TailOffset);
    EXPECT_EQ(got[i].PacketCount, want[i].PacketCount);
    EXPECT_EQ(got[i].FirstRandomAccessOffset, want[i].FirstRandomAccessOffset);
    EXPECT_EQ(got[i].LastCounters.size(), want[i].LastCounters.size());
  }
}

class PieceSearchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    card_ = ScatteredCard();
    files_.Add("card", card_.Bytes());
    runs_ = card_.HitRuns();
    stream_ = files_.Open("card", OpenMode::ReadShared);
    PieceSearch plain(*stream_, Length(), runs_);
    RunObserver observer;
    readEverything_ = plain.Finish(observer);
    ASSERT_GE(readEverything_.size(), 10u);
  }
  std::int64_t Length() const { return static_cast<std::int64_t>(card_.Bytes().size()); }
  // Feeds the runs' bytes in blocks of blockBytes, as the export would copy them, up to stopOffset.
  std::vector<ClipPiece> Fed(std::int64_t blockBytes, std::int64_t stopOffset, std::int64_t* sourceBytesRead) {
    const auto source = files_.Open("card", OpenMode::ReadShared);
    PieceSearch search(*source, Length(), runs_);
    search.Planned(EntriesFor(runs_));
    for (const ClipSpan& run : runs_) {
      for (std::int64_t at = run.StartOffset; at < run.EndOffset && at < stopOffset; at += blockBytes) {
        const std::int64_t count = std::min(blockBytes, run.EndOffset - at);
        search.Copied(at, card_.Bytes().data() + at, count);
      }
    }
    RunObserver observer;
    auto pieces = search.Finish(observer);
    *sourceBytesRead = search.SourceBytesRead();
    return pieces;
  }

  CardImage card_{1};
  MemoryFileSystem files_;
  std::vector<ClipSpan> runs_;
  std::unique_ptr<ByteStream> stream_;
  std::vector<ClipPiece> readEverything_;
};

TEST_F(PieceSearchTest, FedInBlocksOfAnySizeFindsWhatReadingFindsAndReadsOnlyTheEdges) {
  for (const std::int64_t blockBytes : {std::int64_t{4096}, std::int64_t{65536}, std::int64_t{262144}, std::int64_t{1000}}) {
    SCOPED_TRACE("blocks of " + std::to_string(blockBytes));
    std::int64_t sourceBytesRead = 0;
    ExpectSamePieces(Fed(blockBytes, Length(), &sourceBytesRead), readEverything_);
    // Each run's edges: a few KiB before its first hit and after its last.
    EXPECT_LE(sourceBytesRead, static_cast<std::int64_t>(runs_.size()) * 16384);
  }
}

TEST_F(PieceSearchTest, AnExportThatEndsEarlyLeavesTheRestToBeRead) {
  std::int64_t sourceBytesRead = 0;
  ExpectSamePieces(Fed(65536, 40 * Cluster, &sourceBytesRead), readEverything_);
  EXPECT_GT(sourceBytesRead, 30 * Cluster);  // the runs after the stop were read
}

// Fed as the scan writes the fragments, learning the runs one by one as they begin and end: the
// same pieces, with the source read only around their edges.
TEST_F(PieceSearchTest, FedAsTheScanWritesFindsWhatReadingFinds) {
  const auto held = files_.Open("card", OpenMode::ReadShared);
  PieceSearch search(*held, Length(), {});
  RunObserver observer;
  ExportReport written;
  FragmentWriter writer("card", "dest", Length(), observer, written, files_.Opener(), &search);
  ScanOptions options;
  options.Writer = &writer;
  HitList hits;
  ScanSource("card", Length(), hits, observer, files_.Opener(), options);
  ASSERT_FALSE(writer.Failed()) << writer.FailureMessage();
  ASSERT_EQ(hits.Runs().size(), runs_.size());
  ExpectSamePieces(search.Finish(observer), readEverything_);
  EXPECT_LE(search.SourceBytesRead(), static_cast<std::int64_t>(runs_.size()) * 16384);
}

}  // namespace
}  // namespace mtsrescue::test
