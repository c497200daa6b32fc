// FileStream behaviour that only POSIX systems show: folders that open, the '/' separator.
#include "platform/FileStream.h"

#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

using test::TempFolder;

TEST(FileStreamPosix, FailedReadIsAValueNotAnException) {
  TempFolder folder;
  // A folder opens for reading on POSIX but every read of it fails.
  auto stream = FileStream::Open(folder.Path(), OpenMode::ReadShared);
  char byte = 0;
  const IoResult read = stream->Read(&byte, 1);
  EXPECT_EQ(read.Bytes, 0);
  EXPECT_TRUE(read.Error);
}

TEST(FileStreamPosix, SeparatorIsTheSlash) { EXPECT_EQ(PathSeparator(), '/'); }

}  // namespace
}  // namespace mtsrescue
