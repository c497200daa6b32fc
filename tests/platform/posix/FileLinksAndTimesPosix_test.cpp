// Hard links where POSIX file systems refuse or could mislead them: across file systems, and
// symbolic links on either side, which are never followed; and local times in a zone with
// daylight saving.
#include "platform/FileStream.h"
#include "platform/FileTimes.h"
#include "platform/HardLinks.h"

#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace mtsrescue {
namespace {

using test::TempFolder;

TEST(HardLinksPosix, SymbolicLinksAreNeitherLinkedNorFollowed) {
  TempFolder folder;
  const std::string fragment = folder.WriteFile("3.MTS", {1, 2, 3});
  const std::string elsewhere = folder.WriteFile("precious", {7, 7, 7});
  const std::string pointer = folder.File("pointer.MTS");
  ASSERT_EQ(::symlink(fragment.c_str(), pointer.c_str()), 0);
  EXPECT_TRUE(ReplaceWithHardLink(pointer, folder.File("clip.MTS"))) << "the fragment name is a symbolic link";
  EXPECT_FALSE(SameFile(folder.File("clip.MTS"), fragment));

  // A symbolic link standing at the new name is replaced itself; what it led to stays.
  const std::string clip = folder.File("clip.MTS");
  ASSERT_EQ(::symlink(elsewhere.c_str(), clip.c_str()), 0);
  EXPECT_FALSE(ReplaceWithHardLink(fragment, clip));
  struct stat status {};
  ASSERT_EQ(::lstat(clip.c_str(), &status), 0);
  EXPECT_TRUE(S_ISREG(status.st_mode));
  EXPECT_TRUE(SameFile(clip, fragment));
  EXPECT_EQ(TempFolder::ReadFile(elsewhere), (std::vector<std::uint8_t>{7, 7, 7}));
}

TEST(HardLinksPosix, AcrossFileSystemsTheLinkIsRefusedAndTheNameLeftAsItWas) {
  TempFolder folder;
  const std::string fragment = folder.WriteFile("3.MTS", {1, 2, 3});
  struct stat here {};
  struct stat shm {};
  if (::stat(folder.Path().c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev ||
      ::access("/dev/shm", W_OK) != 0) {
    GTEST_SKIP() << "no second file system at /dev/shm";
  }
  const std::string clip = "/dev/shm/mtsrescue-link-test-" + std::to_string(::getpid()) + ".MTS";
  FILE* earlier = std::fopen(clip.c_str(), "wb");
  ASSERT_NE(earlier, nullptr);
  std::fputc(5, earlier);
  std::fclose(earlier);
  const std::error_code error = ReplaceWithHardLink(fragment, clip);
  EXPECT_EQ(error, std::error_code(EXDEV, std::generic_category()));
  EXPECT_EQ(TempFolder::ReadFile(clip), (std::vector<std::uint8_t>{5}));
  EXPECT_NE(::access((clip + ".link").c_str(), F_OK), 0) << "no name left behind";
  ::unlink(clip.c_str());
}

// A camera's local time is the zone's time of that date: summer time in July, standard in winter.
TEST(FileTimesPosix, LocalTimeFollowsTheZonesRuleForThatDate) {
  if (::access("/usr/share/zoneinfo/Europe/Berlin", R_OK) != 0) GTEST_SKIP() << "no time zone data";
  const char* before = std::getenv("TZ");
  const std::string saved = before != nullptr ? before : "";
  ::setenv("TZ", "Europe/Berlin", 1);
  ::tzset();
  TempFolder folder;
  const std::string file = folder.WriteFile("clip.MTS", {1});
  struct Case {
    WallClockTime Local;
    long long Utc;  // seconds since 1970
  };
  const Case cases[] = {{{2024, 7, 14, 16, 5, 9}, 1720965909LL}, {{2024, 1, 14, 16, 5, 9}, 1705244709LL}};
  for (const Case& c : cases) {
    EXPECT_FALSE(SetModifiedLocalTime(file, c.Local));
    struct stat status {};
    ASSERT_EQ(::stat(file.c_str(), &status), 0);
    EXPECT_EQ(static_cast<long long>(status.st_mtime), c.Utc) << c.Local.Month;
  }
  if (before != nullptr) {
    ::setenv("TZ", saved.c_str(), 1);
  } else {
    ::unsetenv("TZ");
  }
  ::tzset();
}

}  // namespace
}  // namespace mtsrescue
