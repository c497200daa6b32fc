// The scan over in-memory sources: block arithmetic, absolute offsets, stops, and sources that fail.
#include "engine/ScanSource.h"

#include "engine/EngineConstants.h"
#include "platform/FileStream.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/common/RecordingObserver.h"
#include "tests/engine/StreamFixtures.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

using test::MemoryFile;
using test::MemoryFileSystem;
using test::RecordingObserver;

class ScanSourceTest : public ::testing::Test {
 protected:
  std::vector<std::int64_t> Scan(std::int64_t lengthBytes) {
    report_ = ScanSource("src", lengthBytes, hits_, observer_, files_.Opener());
    std::vector<std::int64_t> offsets;
    for (const HitRun& run : hits_.Runs()) {
      for (std::int64_t k = 0; k < run.Count; ++k) {
        offsets.push_back(run.StartOffset + k * GroupBytes);
      }
    }
    return offsets;
  }
  std::vector<std::pair<std::int64_t, std::int64_t>> ReadsOfSource() const {
    std::vector<std::pair<std::int64_t, std::int64_t>> reads;
    for (const test::ReadRecord& read : files_.Find("src")->Reads()) {
      reads.emplace_back(read.Offset, read.Count);
    }
    return reads;
  }

  MemoryFileSystem files_;
  HitList hits_;
  RecordingObserver observer_;
  ScanReport report_;
};

TEST_F(ScanSourceTest, ReadsWholeBlocksAndAShortLastBlock) {
  const std::int64_t k = 3;
  files_.Add("src", k * BlockBytes + 512);
  Scan(k * BlockBytes + 512);
  EXPECT_EQ(ReadsOfSource(), (std::vector<std::pair<std::int64_t, std::int64_t>>{
                                 {0, BlockBytes}, {BlockBytes, BlockBytes}, {2 * BlockBytes, BlockBytes}, {3 * BlockBytes, 512}}));
  EXPECT_EQ(observer_.ScanPositions, (std::vector<std::int64_t>{0, BlockBytes, 2 * BlockBytes, 3 * BlockBytes}));
  EXPECT_EQ(report_.BytesRead, k * BlockBytes + 512);
  EXPECT_EQ(report_.UnreadableSectors, 0);
  EXPECT_FALSE(report_.Stopped);

  files_.Add("src", k * BlockBytes);
  observer_ = RecordingObserver{};
  Scan(k * BlockBytes);
  EXPECT_EQ(ReadsOfSource().size(), static_cast<std::size_t>(k));
  EXPECT_EQ(observer_.Pumps, k);
  EXPECT_EQ(observer_.StopQueries, k);
  EXPECT_EQ(observer_.Events.front(), "ScanBegin " + std::to_string(k * BlockBytes));
  EXPECT_EQ(observer_.Events.back(), "ScanEnd");
}

TEST_F(ScanSourceTest, HitInSectorTwoOfTheSecondBlockHasItsAbsoluteOffset) {
  files_.Add("src", 2 * BlockBytes)->Put(263168, test::HitSector());
  EXPECT_EQ(Scan(2 * BlockBytes), std::vector<std::int64_t>{263168});
  EXPECT_EQ(observer_.Hits, (std::vector<std::pair<std::int64_t, std::int64_t>>{{263168, 1}}));
}

TEST_F(ScanSourceTest, TinySourcesAndPartialSectorsAreNeverTested) {
  // A partial last sector would be a hit if it were tested with the buffer's stale tail or padded.
  auto file = files_.Add("src", BlockBytes + 400);
  file->Put(0, test::HitSector());
  file->Put(BlockBytes, test::HitSector());
  file->SetLength(BlockBytes + 400);
  EXPECT_EQ(Scan(BlockBytes + 400), std::vector<std::int64_t>{0});
  EXPECT_EQ(report_.BytesRead, BlockBytes + 400);

  files_.Add("tiny", test::HitSector())->SetLength(511);
  HitList hits;
  RecordingObserver observer;
  const ScanReport report = ScanSource("tiny", 511, hits, observer, files_.Opener());
  EXPECT_TRUE(hits.Empty());
  EXPECT_EQ(report.BytesRead, 511);
  EXPECT_EQ(report.UnreadableSectors, 0);
}

TEST_F(ScanSourceTest, EmptySourceReadsNothing) {
  files_.Add("src", 0);
  EXPECT_TRUE(Scan(0).empty());
  EXPECT_TRUE(ReadsOfSource().empty());
  EXPECT_EQ(observer_.Events, (std::vector<std::string>{"ScanBegin 0", "ScanEnd"}));
}

TEST_F(ScanSourceTest, RunsAcrossBlockBoundariesAndBeyond4GiB) {
  // A sparse source of 4 GiB + 1 MiB: one stream across the first block boundary and one
  // across the 4 GiB mark, which is also a block boundary.
  const std::int64_t lengthBytes = (std::int64_t{1} << 32) + (1 << 20);
  auto file = files_.Add("src", lengthBytes);
  const std::int64_t firstAt = BlockBytes - 3 * 512;
  const std::int64_t secondAt = (std::int64_t{1} << 32) - 4 * GroupBytes;
  file->Put(firstAt, test::PacketStream(3));
  file->Put(secondAt, test::PacketStream(10, 0x3FFFF000));  // its arrival stamp wraps too
  const std::vector<std::int64_t> offsets = Scan(lengthBytes);
  std::vector<std::int64_t> expected;
  for (int g = 0; g < 3; ++g) expected.push_back(firstAt + g * GroupBytes);
  for (int g = 0; g < 10; ++g) expected.push_back(secondAt + g * GroupBytes);
  EXPECT_EQ(offsets, expected);
  ASSERT_EQ(hits_.Runs().size(), 2u);
  EXPECT_EQ(observer_.Hits.back(), std::make_pair(secondAt + 9 * GroupBytes, std::int64_t{13}));
  EXPECT_EQ(report_.BytesRead, lengthBytes);
}

TEST_F(ScanSourceTest, StopBeforeTheFirstBlockReadsNothing) {
  files_.Add("src", 4 * BlockBytes)->Put(0, test::HitSector());
  observer_.Stop = true;
  EXPECT_TRUE(Scan(4 * BlockBytes).empty());
  EXPECT_TRUE(ReadsOfSource().empty());
  EXPECT_EQ(observer_.Pumps, 0);
  EXPECT_TRUE(report_.Stopped);
  EXPECT_EQ(report_.BytesRead, 0);
  EXPECT_EQ(observer_.Events.back(), "ScanEnd");
}

TEST_F(ScanSourceTest, StopDuringAPumpEndsTheLoopAfterThatBlock) {
  auto file = files_.Add("src", 5 * BlockBytes);
  for (int block = 0; block < 5; ++block) {
    file->Put(block * BlockBytes, test::HitSector());
  }
  observer_.StopAtPump = 2;  // set while the second block is about to be read
  EXPECT_EQ(Scan(5 * BlockBytes), (std::vector<std::int64_t>{0, BlockBytes}));
  EXPECT_EQ(ReadsOfSource().size(), 2u);
  EXPECT_TRUE(report_.Stopped);
  EXPECT_EQ(report_.BytesRead, 2 * BlockBytes);
}

TEST_F(ScanSourceTest, StopAfterTheLastBlockIsNoStop) {
  files_.Add("src", BlockBytes);
  observer_.StopAtPump = 1;
  Scan(BlockBytes);
  EXPECT_FALSE(report_.Stopped);
  EXPECT_EQ(report_.BytesRead, BlockBytes);
}

TEST_F(ScanSourceTest, UnreadableSectorsCountAsNoHitAndAreReported) {
  auto file = files_.Add("src", 2 * BlockBytes);
  file->Put(0, test::PacketStream(6));  // hits at 0, 1536, ..., 7680
  file->FailReads(1536, 512);           // the second hit's sector cannot be read
  file->FailReads(BlockBytes + 1024, 1024);
  EXPECT_EQ(Scan(2 * BlockBytes), (std::vector<std::int64_t>{0, 3072, 4608, 6144, 7680}));
  EXPECT_EQ(report_.UnreadableSectors, 3);
  EXPECT_EQ(observer_.CountOf("Unreadable 1536 1"), 1);
  EXPECT_EQ(observer_.CountOf("Unreadable " + std::to_string(BlockBytes + 1024) + " 2"), 1);
  EXPECT_EQ(report_.BytesRead, 2 * BlockBytes);
}

TEST_F(ScanSourceTest, AFailedBlockNeverShowsTheBytesOfTheBlockBefore) {
  // Block 0 is full of hits; block 1 cannot be read at all. Testing the buffer as it was left
  // would report block 0's hits again at block 1's offsets.
  auto file = files_.Add("src", 2 * BlockBytes);
  for (std::int64_t at = 0; at < BlockBytes; at += 512) {
    file->Put(at, test::HitSector());
  }
  file->FailReads(BlockBytes, BlockBytes);
  const std::vector<std::int64_t> offsets = Scan(2 * BlockBytes);
  EXPECT_EQ(offsets.size(), static_cast<std::size_t>(BlockBytes / 512));
  EXPECT_LT(offsets.back(), BlockBytes);
  EXPECT_EQ(report_.UnreadableSectors, BlockBytes / 512);
}

TEST_F(ScanSourceTest, TheBadAreaSearchPumpsAndAStopEndsItThere) {
  // On a dying card each failed read can take seconds: the window must keep handling its events,
  // and a stop must not wait for the search of the bad area's edges.
  auto file = files_.Add("src", 2 * BlockBytes);
  file->FailReads(0, BlockBytes);
  observer_.StopAtPump = 2;  // pump 1 is the block's; pump 2 comes from inside the search
  Scan(2 * BlockBytes);
  EXPECT_TRUE(report_.Stopped);
  EXPECT_EQ(observer_.Pumps, 2);
  EXPECT_EQ(report_.BytesRead, 0);  // its first sector failed: nothing of the block was read
  EXPECT_EQ(report_.UnreadableSectors, 0);
  EXPECT_EQ(observer_.CountOf("Unreadable"), 0);
  EXPECT_LE(ReadsOfSource().size(), 3u);
  EXPECT_EQ(observer_.Events.back(), "ScanEnd");

  // Without a stop the search goes round the block and the scan through the source.
  observer_ = RecordingObserver{};
  Scan(2 * BlockBytes);
  EXPECT_FALSE(report_.Stopped);
  EXPECT_GE(observer_.Pumps, 3);  // two blocks, and at least one pump inside the fallback
  EXPECT_EQ(report_.BytesRead, 2 * BlockBytes);
  EXPECT_EQ(report_.UnreadableSectors, BlockBytes / 512);
}

TEST_F(ScanSourceTest, ATransientShortReadLosesNothing) {
  auto file = files_.Add("src", BlockBytes);
  file->Put(4096, test::PacketStream(2));
  file->ShortReads(2048, 512, 1);  // the block read comes back short once; sector reads succeed
  EXPECT_EQ(Scan(BlockBytes), (std::vector<std::int64_t>{4096, 4096 + 1536}));
  EXPECT_EQ(report_.UnreadableSectors, 0);
  // The sectors before the short point were delivered and are not read again.
  EXPECT_EQ(file->Reads()[1].Offset, 2048);
}

TEST_F(ScanSourceTest, ASourceShorterThanItsLengthEndsTheScanAsShrunk) {
  auto file = files_.Add("src", BlockBytes + 512);
  file->Put(0, test::HitSector());
  file->Put(BlockBytes, test::HitSector());
  Scan(BlockBytes + 2048);  // the image shrank by 1536 bytes since its length was taken
  EXPECT_EQ(hits_.Count(), 2);  // what the short block held is still found
  EXPECT_TRUE(report_.SourceEnded);
  EXPECT_EQ(report_.UnreadableSectors, 0) << "missing sectors are no unreadable ones";
  EXPECT_EQ(report_.BytesRead, BlockBytes);
}

TEST_F(ScanSourceTest, SourceThatCannotBeOpenedThrowsAndReadsNothing) {
  files_.Add("src", BlockBytes);
  files_.FailOpen("src", std::errc::permission_denied);
  try {
    Scan(BlockBytes);
    FAIL() << "no error";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot open file \"src\". " +
                                             SystemErrorText(std::make_error_code(std::errc::permission_denied)));
  }
  EXPECT_TRUE(ReadsOfSource().empty());
  EXPECT_TRUE(hits_.Empty());
  EXPECT_EQ(observer_.CountOf("ScanBegin"), 0);
}

TEST_F(ScanSourceTest, OpensTheSourceForSharedReadingOnly) {
  files_.Add("src", BlockBytes);
  Scan(BlockBytes);
  ASSERT_EQ(files_.Opens().size(), 1u);
  EXPECT_EQ(files_.Opens()[0].Mode, OpenMode::ReadShared);
  EXPECT_EQ(files_.Find("src")->WriteCalls(), 0);
}

}  // namespace
}  // namespace mtsrescue
