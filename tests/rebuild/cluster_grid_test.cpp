// ClusterGrid: the cluster size and where the clusters begin, from edges of which a few are wrong.
#include "rebuild/ClusterGrid.h"

#include <gtest/gtest.h>

namespace mtsrescue::test {
namespace {

TEST(ClusterGrid, FindsTheLargestSizeMostEdgesAgreeOnDespiteAStrayOne) {
  ClusterGrid grid;
  const std::int64_t base = 63 * 512;  // a partition that does not begin on a cluster boundary
  for (const std::int64_t cluster : {3, 4, 9, 10, 17, 30, 31, 44, 45, 60}) grid.Note(base + cluster * 32768);
  grid.Note(base + 5 * 32768 + 1024);  // a joint misjudged by a sector or two
  std::int64_t found = -1;
  EXPECT_EQ(grid.ClusterBytes(&found), 32768);
  EXPECT_EQ(found, base);
  EXPECT_TRUE(grid.OnGrid(base + 1000 * 32768));
  EXPECT_FALSE(grid.OnGrid(base + 1000 * 32768 + 16384));
}

TEST(ClusterGrid, KnowsNothingFromTooFewOrScatteredEdges) {
  ClusterGrid grid;
  for (const std::int64_t edge : {8192, 40960, 73728}) grid.Note(edge);
  EXPECT_EQ(grid.ClusterBytes(), 0) << "three edges";
  EXPECT_FALSE(grid.OnGrid(8192));
  ClusterGrid scattered;
  for (const std::int64_t edge : {512, 4608, 9728, 20992, 33280, 40448}) scattered.Note(edge);
  EXPECT_EQ(scattered.ClusterBytes(), 0) << "no size of 4 KiB or more fits them";
}

}  // namespace
}  // namespace mtsrescue::test
