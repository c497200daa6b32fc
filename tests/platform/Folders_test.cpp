// Folders on the real file system: a whole path created at once, what stands in its way, removal.
#include "platform/FileStream.h"
#include "platform/Folders.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace mtsrescue {
namespace {

using test::TempFolder;

std::string Join(const std::string& folder, const std::string& name) { return folder + PathSeparator() + name; }

TEST(Folders, CreatesEveryMissingLevelAndAcceptsAnExistingFolder) {
  TempFolder folder;
  const std::string deep = Join(Join(Join(folder.Path(), "a"), "b"), "c");
  EXPECT_FALSE(IsFolder(deep));
  EXPECT_FALSE(CreateFolderTree(deep));
  EXPECT_TRUE(IsFolder(deep));
  EXPECT_TRUE(IsFolder(Join(folder.Path(), "a")));
  EXPECT_FALSE(CreateFolderTree(deep)) << "an existing folder is success";
  EXPECT_FALSE(CreateFolderTree(deep + PathSeparator())) << "a trailing separator";
}

TEST(Folders, AFileInTheWayIsAnErrorAndStaysAsItWas) {
  TempFolder folder;
  const std::string file = folder.WriteFile("plain", {1, 2, 3});
  EXPECT_FALSE(IsFolder(file));
  EXPECT_TRUE(CreateFolderTree(file));
  EXPECT_TRUE(CreateFolderTree(Join(file, "below")));
  EXPECT_EQ(TempFolder::ReadFile(file), (std::vector<std::uint8_t>{1, 2, 3}));
  EXPECT_TRUE(CreateFolderTree("")) << "no path is no folder";
}

TEST(Folders, RemovesFilesButNotFoldersOrMissingNames) {
  TempFolder folder;
  const std::string file = folder.WriteFile("probe", {0});
  EXPECT_FALSE(RemoveFile(file));
  EXPECT_TRUE(folder.Names().empty());
  EXPECT_TRUE(RemoveFile(file)) << "already gone";
  const std::string sub = Join(folder.Path(), "sub");
  ASSERT_FALSE(CreateFolderTree(sub));
  EXPECT_TRUE(RemoveFile(sub));
  EXPECT_TRUE(IsFolder(sub));
}

}  // namespace
}  // namespace mtsrescue
