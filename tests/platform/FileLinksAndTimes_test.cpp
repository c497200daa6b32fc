// Hard links and modification times on the real file system: a second name made or refused
// with what stood at the new name, and a local wall-clock time set and read back.
#include "platform/FileStream.h"
#include "platform/FileTimes.h"
#include "platform/HardLinks.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace mtsrescue {
namespace {

using test::TempFolder;

TEST(HardLinks, ALinkIsTheSameFileAndReplacesWhatStoodAtItsName) {
  TempFolder folder;
  const std::string fragment = folder.WriteFile("3.MTS", {1, 2, 3, 4});
  const std::string clip = folder.WriteFile("clip.MTS", {9, 9});  // an earlier run's copy
  EXPECT_FALSE(ReplaceWithHardLink(fragment, clip));
  EXPECT_TRUE(SameFile(fragment, clip));
  EXPECT_EQ(TempFolder::ReadFile(clip), (std::vector<std::uint8_t>{1, 2, 3, 4}));
  EXPECT_FALSE(ReplaceWithHardLink(fragment, clip)) << "linked already";
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"3.MTS", "clip.MTS"})) << "no name left behind";

  EXPECT_TRUE(ReplaceWithHardLink(folder.File("missing.MTS"), folder.File("other.MTS")));
  EXPECT_TRUE(ReplaceWithHardLink(folder.Path(), folder.File("folder.MTS"))) << "a folder is no file to link";
  EXPECT_EQ(folder.Names(), (std::vector<std::string>{"3.MTS", "clip.MTS"}));
}

TEST(FileTimes, ALocalTimeIsSetAndReadBackInSummerAndWinter) {
  TempFolder folder;
  const std::string file = folder.WriteFile("clip.MTS", {1});
  const WallClockTime times[] = {{2024, 7, 14, 16, 5, 9}, {2023, 12, 31, 23, 59, 58}, {2011, 2, 28, 0, 0, 0}};
  for (const WallClockTime& time : times) {
    ASSERT_FALSE(SetModifiedLocalTime(file, time));
    WallClockTime back;
    ASSERT_TRUE(ModifiedLocalTime(file, back));
    EXPECT_EQ(back.Year, time.Year);
    EXPECT_EQ(back.Month, time.Month);
    EXPECT_EQ(back.Day, time.Day);
    EXPECT_EQ(back.Hour, time.Hour);
    EXPECT_EQ(back.Minute, time.Minute);
    EXPECT_EQ(back.Second, time.Second);
  }
  EXPECT_TRUE(SetModifiedLocalTime(folder.File("missing.MTS"), times[0]));
}

}  // namespace
}  // namespace mtsrescue
