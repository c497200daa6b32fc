// The run's one read against the reference of scanning, merging and then exporting the list:
// the same entries, files and tap feed, over cards with and without failing stretches.
#include "engine/RecoveryRun.h"

#include "engine/EngineConstants.h"
#include "engine/ExportFragments.h"
#include "engine/FragmentList.h"
#include "engine/ScanSource.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/common/RecordingObserver.h"
#include "tests/engine/StreamFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

namespace mtsrescue {
namespace {

using test::MemoryFileSystem;
using test::RecordingObserver;

std::string Out(std::size_t index) { return OutputFileName("dest", static_cast<std::int64_t>(index)); }

// Every byte the tap is fed, as (offset, bytes).
struct FeedLog final : ExportTap {
  std::vector<std::pair<std::int64_t, std::vector<std::uint8_t>>> Fed;
  std::vector<std::pair<std::int64_t, std::int64_t>> Runs;  // begun and ended, in order
  void Planned(const std::vector<ExportedEntry>&) override {}
  void Copied(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) override {
    Fed.emplace_back(offset, std::vector<std::uint8_t>(bytes, bytes + count));
  }
  void RunBegun(std::int64_t startOffset) override { Runs.emplace_back(startOffset, -1); }
  void RunEnded(std::int64_t endOffset, bool) override { Runs.back().second = endOffset; }
};

struct TapOnly final : RunFollowUp {
  FeedLog Log;
  ExportTap* Prepare(ByteStream*, std::int64_t) override { return &Log; }
  RunFailure Finish(const RunReport&, const HitList&, RunObserver&, std::string&, FailureDetail&) override {
    return RunFailure::None;
  }
};

struct Card {
  std::int64_t Length = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> Streams;  // sector offset, groups
  std::vector<std::int64_t> LoneHits;
  std::vector<std::pair<std::int64_t, std::int64_t>> Failing;  // offset, bytes (sector multiples)
};

std::vector<std::uint8_t> CardBytes(const Card& card, std::uint32_t seed) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(card.Length));
  std::mt19937 random(seed);
  for (auto& byte : bytes) byte = static_cast<std::uint8_t>(random() % 0x47);  // no sync byte: no stray hit
  std::uint32_t stamp = 0x1000;
  for (const auto& [offset, groups] : card.Streams) {
    const std::vector<std::uint8_t> stream = test::PacketStream(groups, stamp += 0x100000);
    const std::size_t count = std::min(stream.size(), bytes.size() - static_cast<std::size_t>(offset));
    std::copy_n(stream.begin(), count, bytes.begin() + offset);
  }
  for (const std::int64_t offset : card.LoneHits) {
    const std::vector<std::uint8_t> sector = test::HitSector(0x20);
    std::copy(sector.begin(), sector.end(), bytes.begin() + offset);
  }
  return bytes;
}

// Cards whose runs cross blocks, end in the source's last sectors, overlap the next run's first
// group, stand alone, fill several blocks, and failing stretches of one sector to over a block.
std::vector<Card> Cards() {
  const std::int64_t B = BlockBytes;
  std::vector<Card> cards;
  cards.push_back({5 * B, {{4096, 4}, {B - 3072, 3}, {B + 512, 300}, {3 * B + 7 * 512, 2}}, {2 * B + 512 * 301}, {}});
  // A run whose last hit is followed one sector later by the next run's first.
  cards.push_back({3 * B + 700, {{8192, 10}, {8192 + 9 * 1536 + 512, 5}, {3 * B - 1024, 2}}, {B}, {}});
  // Runs that touch the source's end, its partial last sector included.
  cards.push_back({2 * B + 1000, {{2 * B - 4608, 4}, {B - 1536, 1}}, {2 * B}, {}});
  cards.push_back({6 * B, {{1024, 700}, {4 * B + 1536, 40}}, {}, {{50 * 512, 512}}});
  cards.push_back({6 * B, {{1024, 700}, {4 * B + 1536, 40}}, {}, {{B - 3 * 512, B + 5 * 512}}});
  cards.push_back({6 * B, {{1024, 700}, {4 * B + 1536, 40}}, {2 * B}, {{3 * B, 512}, {5 * B + 4096, 9 * 512}}});
  // A bad area that runs to the source's end.
  cards.push_back({4 * B, {{B + 4096, 100}}, {}, {{3 * B + 1024, B - 1024}}});
  return cards;
}

TEST(OnePass, WritesWhatScanningThenExportingWouldOverCardsWithAndWithoutFailingStretches) {
  std::uint32_t seed = 1;
  for (const Card& card : Cards()) {
    SCOPED_TRACE("card " + std::to_string(seed));
    const std::vector<std::uint8_t> bytes = CardBytes(card, seed++);

    // Reference: a card whose failing stretches hold zeros, scanned, merged, then exported.
    std::vector<std::uint8_t> zeroed = bytes;
    std::int64_t failingSectors = 0;
    for (const auto& [offset, count] : card.Failing) {
      std::fill_n(zeroed.begin() + offset, count, 0);
      failingSectors += count / SectorBytes;
    }
    MemoryFileSystem reference;
    reference.Add("src", zeroed);
    HitList hits;
    RecordingObserver quiet;
    ScanSource("src", card.Length, hits, quiet, reference.Opener());
    FragmentList fragments;
    MergeHits(hits, fragments);
    ExportReport expected;
    FeedLog expectedFeed;
    ExportFragments("src", "dest", fragments, quiet, expected, reference.Opener(), &expectedFeed, card.Length);

    MemoryFileSystem files;
    const auto source = files.Add("src", bytes);
    for (const auto& [offset, count] : card.Failing) source->FailReads(offset, count);
    RecordingObserver observer;
    TapOnly followUp;
    RunOptions options;
    options.FollowUp = &followUp;
    const RunReport report = RunRecovery("src", card.Length, "dest", observer, options, files.Opener());

    EXPECT_EQ(report.Failure, RunFailure::None) << report.ErrorMessage;
    EXPECT_EQ(report.Fragments, fragments);
    ASSERT_EQ(report.Export.Entries.size(), expected.Entries.size());
    for (std::size_t i = 0; i < expected.Entries.size(); ++i) {
      const ExportedEntry& got = report.Export.Entries[i];
      const ExportedEntry& want = expected.Entries[i];
      SCOPED_TRACE("entry " + std::to_string(i));
      EXPECT_EQ(got.StartOffset, want.StartOffset);
      EXPECT_EQ(got.EndOffset, want.EndOffset);
      EXPECT_EQ(got.Outcome, want.Outcome);
      EXPECT_EQ(got.FileBytes, want.FileBytes);
      if (want.Outcome != EntryOutcome::Written) continue;
      EXPECT_EQ(files.Find(Out(i))->Contents(), reference.Find(Out(i))->Contents());
      EXPECT_EQ(files.OpenCount(OutputFile::TemporaryName(Out(i)), OpenMode::CreateNew), 1);
    }
    EXPECT_EQ(report.Export.FilesWritten, expected.FilesWritten);
    EXPECT_EQ(report.Export.BytesWritten, expected.BytesWritten);
    EXPECT_EQ(report.UnreadableSectors, failingSectors);
    // The tap is fed the same pieces, and learns every run of hits.
    EXPECT_EQ(followUp.Log.Fed, expectedFeed.Fed);
    std::vector<std::pair<std::int64_t, std::int64_t>> runs;
    for (const HitRun& run : hits.Runs()) runs.emplace_back(run.StartOffset, run.StartOffset + run.Count * GroupBytes);
    EXPECT_EQ(followUp.Log.Runs, runs);
    // One read of every readable sector; a bad area costs a few probes, not a read per sector.
    if (card.Failing.empty()) {
      EXPECT_EQ(source->BytesRead(), card.Length);
    } else {
      EXPECT_LE(source->BytesRead(), card.Length + 64 * SectorBytes);
      EXPECT_LE(static_cast<std::int64_t>(source->Reads().size()), card.Length / BlockBytes + 1 + 40 * static_cast<std::int64_t>(card.Failing.size()));
      EXPECT_EQ(report.Scan.SkippedStretches, static_cast<std::int64_t>(card.Failing.size()));
    }
  }
}

// A stop while the run goes round a bad area ends the scan there, and what was read before it is
// written; a source that answers nothing for half a minute ends the run as the source's failure,
// with the same kept.
TEST(OnePass, AStopOrASilentSourceInABadAreaKeepsEverythingReadBeforeIt) {
  const std::int64_t streamAt = 4096;
  const std::int64_t groups = 2 * BlockBytes / GroupBytes;  // into the third block
  for (const bool stop : {true, false}) {
    SCOPED_TRACE(stop ? "stop" : "silent source");
    MemoryFileSystem files;
    const auto source = files.Add("src", 8 * BlockBytes);
    source->Put(streamAt, test::PacketStream(groups));
    source->FailReads(3 * BlockBytes, 5 * BlockBytes);
    const auto failedReads = [&] {
      std::int64_t failed = 0;
      for (const test::ReadRecord& read : source->Reads()) failed += read.Bytes < read.Count ? 1 : 0;
      return failed;
    };
    RecordingObserver observer;
    RunOptions options;
    if (stop) {
      observer.StopAtPump = 5;  // four blocks' pumps, then the first inside the bad area's search
    } else {
      options.Clock = [&] { return failedReads() * 4000; };
    }
    const RunReport report = RunRecovery("src", 8 * BlockBytes, "dest", observer, options, files.Opener());
    EXPECT_EQ(report.Scan.BytesRead, 3 * BlockBytes);
    EXPECT_EQ(report.Scan.Stopped, stop);
    EXPECT_EQ(report.Scan.SourceUnanswered, !stop);
    EXPECT_EQ(report.Failure, stop ? RunFailure::None : RunFailure::Source);
    if (!stop) {
      EXPECT_NE(report.ErrorMessage.find("answered no read"), std::string::npos) << report.ErrorMessage;
    }
    EXPECT_LE(failedReads(), stop ? 2 : 9);
    ASSERT_EQ(report.Export.FilesWritten, 1);
    EXPECT_EQ(files.Find(Out(0))->Contents(), source->Get(streamAt, groups * GroupBytes));
  }
}

}  // namespace
}  // namespace mtsrescue
