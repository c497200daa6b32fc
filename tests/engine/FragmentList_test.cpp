// Hit runs into fragment entries, checked against a hit-by-hit walk over decimal texts; entry reading.
#include "engine/FragmentList.h"

#include "engine/HitList.h"
#include "tests/common/RecordingObserver.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>

namespace mtsrescue {
namespace {

// The plain walk over hit texts that the runs must reproduce exactly: a run opens at a hit,
// continues while the next hit is exactly 1536 further, and closes at the hit that breaks it;
// a run still open after the walk closes with the last hit.
FragmentList ReferenceMerge(const std::vector<std::string>& texts) {
  FragmentList entries;
  bool open = false;
  std::string start;
  const std::size_t n = texts.size();
  for (std::size_t i = 0; i + 1 < n; ++i) {
    if (!open) {
      open = true;
      start = texts[i];
    }
    if (std::stoll(texts[i + 1]) - std::stoll(texts[i]) == 1536) {
      continue;
    }
    entries.push_back(start + " - " + std::to_string(std::stoll(texts[i]) + 1536));
    open = false;
  }
  if (open) {
    entries.push_back(start + " - " + std::to_string(std::stoll(texts[n - 1]) + 1536));
  }
  return entries;
}

FragmentList Merge(const std::vector<std::int64_t>& offsets) {
  HitList hits;
  for (const std::int64_t offset : offsets) {
    hits.Append(offset);
  }
  FragmentList entries;
  MergeHits(hits, entries);
  return entries;
}

TEST(MergeHits, EmptyOrSingleHitGivesNoEntry) {
  EXPECT_TRUE(Merge({}).empty());
  EXPECT_TRUE(Merge({0}).empty());
  EXPECT_TRUE(Merge({1536 * 1000}).empty());
}

TEST(MergeHits, RunsBreakAtAnyDistanceButTheGroupPeriod) {
  EXPECT_EQ(Merge({0, 1536, 3072}), FragmentList{"0 - 4608"});
  EXPECT_EQ(Merge({1024, 10240, 11776}), (FragmentList{"1024 - 2560", "10240 - 13312"}));
  EXPECT_EQ(Merge({512, 2048}), FragmentList{"512 - 3584"});
  EXPECT_EQ(Merge({0, 1536, 4608, 6144}), (FragmentList{"0 - 3072", "4608 - 7680"}));
  EXPECT_EQ(Merge({0, 512, 1024}), (FragmentList{"0 - 1536", "512 - 2048"}));
  EXPECT_EQ(Merge({0, 3072}), FragmentList{"0 - 1536"});
}

TEST(MergeHits, LoneLastHitGivesNoEntryButOtherLoneHitsDo) {
  EXPECT_EQ(Merge({0, 1536, 100352}), FragmentList{"0 - 3072"});
  EXPECT_EQ(Merge({512, 100352, 101888}), (FragmentList{"512 - 2048", "100352 - 103424"}));
  EXPECT_EQ(Merge({512, 9216, 100352}), (FragmentList{"512 - 2048", "9216 - 10752"}));
}

TEST(MergeHits, OffsetsBeyond4GiBKeepAllTheirDigits) {
  const std::int64_t start = (std::int64_t{1} << 32) - 1536;  // the run crosses 2^32
  EXPECT_EQ(Merge({start, start + 1536, start + 3072}),
            FragmentList{"4294965760 - 4294970368"});
  const std::int64_t far = std::int64_t{5} << 40;
  EXPECT_EQ(Merge({far, far + 1536}), FragmentList{"5497558138880 - 5497558141952"});
}

TEST(MergeHits, AppendsToWhatTheListHeldAndPumpsTheObserver) {
  HitList hits;
  for (const std::int64_t offset : {0, 1536, 9216, 10752}) {
    hits.Append(offset);
  }
  FragmentList entries{"earlier"};
  test::RecordingObserver observer;
  observer.Stop = true;  // a stop request does not shorten the merge
  MergeHits(hits, entries, &observer);
  EXPECT_EQ(entries, (FragmentList{"earlier", "0 - 3072", "9216 - 12288"}));
  EXPECT_GT(observer.Pumps, 0);
}

TEST(MergeHits, MatchesTheHitByHitWalkOnRandomHitLists) {
  std::mt19937_64 random(2024);
  for (int round = 0; round < 3000; ++round) {
    std::vector<std::int64_t> offsets;
    std::vector<std::string> texts;
    // Mostly group steps, some sector steps and jumps, occasionally far past 4 GiB.
    std::int64_t offset = static_cast<std::int64_t>(random() % 4) * 512;
    if (round % 5 == 0) {
      offset += std::int64_t{3} << 32;
    }
    const int count = static_cast<int>(random() % 12);
    for (int i = 0; i < count; ++i) {
      offsets.push_back(offset);
      texts.push_back(std::to_string(offset));
      switch (random() % 6) {
        case 0: offset += 512; break;
        case 1: offset += 1024 + 512 * static_cast<std::int64_t>(random() % 20); break;
        default: offset += 1536; break;
      }
    }
    ASSERT_EQ(Merge(offsets), ReferenceMerge(texts)) << "round " << round;
  }
}

TEST(HitList, FoldsHitsAtTheGroupPeriodIntoRuns) {
  HitList hits;
  for (const std::int64_t offset : {0, 1536, 3072, 3584, 5120, 10240}) {
    hits.Append(offset);
  }
  ASSERT_EQ(hits.Runs().size(), 3u);
  EXPECT_EQ(hits.Runs()[0].StartOffset, 0);
  EXPECT_EQ(hits.Runs()[0].Count, 3);
  EXPECT_EQ(hits.Runs()[1].StartOffset, 3584);
  EXPECT_EQ(hits.Runs()[1].Count, 2);
  EXPECT_EQ(hits.Runs()[2].StartOffset, 10240);
  EXPECT_EQ(hits.Runs()[2].Count, 1);
  EXPECT_EQ(hits.Count(), 6);
  hits.Clear();
  EXPECT_TRUE(hits.Empty());
  EXPECT_TRUE(hits.Runs().empty());
}

TEST(HitList, MemoryGrowsWithRunsNotHits) {
  HitList hits;
  const std::int64_t hitCount = 3'000'000;  // more than a signed 32-bit count of bytes would hold
  for (std::int64_t i = 0; i < hitCount; ++i) {
    hits.Append(std::int64_t{7} * 512 + i * 1536);
  }
  EXPECT_EQ(hits.Count(), hitCount);
  ASSERT_EQ(hits.Runs().size(), 1u);
  FragmentList entries;
  MergeHits(hits, entries);
  EXPECT_EQ(entries, FragmentList{"3584 - " + std::to_string(3584 + hitCount * 1536)});
}

TEST(HitList, RefusesOffsetsThatDoNotAscend) {
  HitList hits;
  hits.Append(1536);
  hits.Append(3072);
  EXPECT_THROW(hits.Append(3072), std::invalid_argument);
  EXPECT_THROW(hits.Append(1536), std::invalid_argument);
  EXPECT_THROW(hits.Append(0), std::invalid_argument);
  EXPECT_EQ(hits.Count(), 2);
}

TEST(SplitEntry, SplitsAtTheFirstBlankAndKeepsTheBlankBeforeTheEnd) {
  PagePos pos{"stale", "stale"};
  SplitEntry("5120 - 9728", pos);
  EXPECT_EQ(pos.StartText, "5120");
  EXPECT_EQ(pos.EndText, " 9728");
  EXPECT_EQ(ParseOffset(pos.StartText), 5120);
  EXPECT_EQ(ParseOffset(pos.EndText), 9728);

  SplitEntry("4294965760 - 4294970368", pos);
  EXPECT_EQ(ParseOffset(pos.StartText), 4294965760);
  EXPECT_EQ(ParseOffset(pos.EndText), 4294970368);
}

TEST(SplitEntry, TextsWithoutTheUsualShape) {
  PagePos pos{"stale", "stale"};
  SplitEntry("12345", pos);
  EXPECT_EQ(pos.StartText, "12345");
  EXPECT_EQ(pos.EndText, "");
  SplitEntry("", pos);
  EXPECT_EQ(pos.StartText, "");
  EXPECT_EQ(pos.EndText, "");
  SplitEntry("7 -", pos);  // length 3 - 1 - 2 = 0 characters
  EXPECT_EQ(pos.StartText, "7");
  EXPECT_EQ(pos.EndText, "");
  SplitEntry("7 - ", pos);
  EXPECT_EQ(pos.EndText, " ");
  SplitEntry(" 1 - 2", pos);  // a leading blank leaves the start empty
  EXPECT_EQ(pos.StartText, "");
  EXPECT_EQ(pos.EndText, " - 2");
}

TEST(ParseOffset, ReadsSigned64BitDecimalsAfterBlanks) {
  EXPECT_EQ(ParseOffset("0"), 0);
  EXPECT_EQ(ParseOffset("   9728"), 9728);
  EXPECT_EQ(ParseOffset("-512"), -512);
  EXPECT_EQ(ParseOffset("9223372036854775807"), INT64_MAX);
  EXPECT_EQ(ParseOffset("-9223372036854775808"), INT64_MIN);
  EXPECT_EQ(ParseOffset("99999999999999999999"), INT64_MAX);
  EXPECT_EQ(ParseOffset(""), 0);
  EXPECT_EQ(ParseOffset("  "), 0);
  EXPECT_EQ(ParseOffset("x12"), 0);
  EXPECT_EQ(ParseOffset("12 - 34"), 12);
}

}  // namespace
}  // namespace mtsrescue
