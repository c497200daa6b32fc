// Folders on Windows: drive roots, both separators, UTF-8 names reaching the system as UTF-16.
#include "platform/Folders.h"
#include "tests/common/TempFolder.h"
#include "tests/common/WideText_win32.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <string>

namespace mtsrescue {
namespace {

using test::TempFolder;
using test::Wide;

bool IsFolderW(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string TempDriveRoot() {
  wchar_t path[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH + 1, path);
  return path[1] == L':' ? std::string{static_cast<char>(path[0]), ':', '\\'} : std::string();
}

TEST(FoldersWin32, ADriveRootIsAFolderThatNeedsNoCreating) {
  const std::string root = TempDriveRoot();
  ASSERT_FALSE(root.empty());
  EXPECT_TRUE(IsFolder(root));
  EXPECT_FALSE(CreateFolderTree(root));
}

TEST(FoldersWin32, BothSeparatorsAndDoubledOnesAreTakenAsOne) {
  TempFolder folder;
  EXPECT_FALSE(CreateFolderTree(folder.Path() + "/one\\two//three"));
  EXPECT_TRUE(IsFolderW(Wide(folder.Path()) + L"\\one\\two\\three"));
}

TEST(FoldersWin32, Utf8NamesAreCreatedAsThemselves) {
  TempFolder folder;
  // "恢复" (recovered) and "视频" (video).
  EXPECT_FALSE(CreateFolderTree(folder.Path() + "\\\xE6\x81\xA2\xE5\xA4\x8D\\\xE8\xA7\x86\xE9\xA2\x91"));
  EXPECT_TRUE(IsFolderW(Wide(folder.Path()) + L"\\\x6062\x590D\\\x89C6\x9891"));
  EXPECT_TRUE(IsFolder(folder.Path() + "\\\xE6\x81\xA2\xE5\xA4\x8D"));
}

TEST(FoldersWin32, AFolderOnAMissingDriveCannotBeMade) {
  const DWORD drives = GetLogicalDrives();
  char letter = 0;
  for (int i = 25; i >= 3 && letter == 0; --i) {
    if ((drives & (1u << i)) == 0) letter = static_cast<char>('A' + i);
  }
  if (letter == 0) GTEST_SKIP() << "every drive letter is in use";
  EXPECT_TRUE(CreateFolderTree(std::string(1, letter) + ":\\recovered\\video"));
  EXPECT_FALSE(IsFolder(std::string(1, letter) + ":\\"));
}

}  // namespace
}  // namespace mtsrescue
