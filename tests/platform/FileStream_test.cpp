// FileStream on real files in a temporary folder: modes, messages, short reads, 64-bit offsets.
#include "platform/FileStream.h"

#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace mtsrescue {
namespace {

using test::TempFolder;

std::vector<std::uint8_t> Bytes(std::size_t count, std::uint8_t first) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) {
    bytes[i] = static_cast<std::uint8_t>(first + i * 7);
  }
  return bytes;
}

// The message's system text is the platform's own (strerror, FormatMessageW); the code says which error it was.
std::string ExpectedText(const StreamError& error) {
  const std::string text = SystemErrorText(error.Code());
  EXPECT_FALSE(text.empty());
  return text;
}

TEST(FileStream, CreateWritesAndReadsBack) {
  TempFolder folder;
  const std::string path = folder.File("a.bin");
  const std::vector<std::uint8_t> data = Bytes(100000, 3);
  auto stream = FileStream::Open(path, OpenMode::Create);
  EXPECT_EQ(stream->Path(), path);
  const IoResult written = stream->Write(data.data(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(written.Bytes, 100000);
  EXPECT_FALSE(written.Error);
  EXPECT_EQ(stream->Size(), 100000);
  ASSERT_FALSE(stream->Seek(99990));
  std::vector<std::uint8_t> tail(10);
  EXPECT_EQ(stream->Read(tail.data(), 10).Bytes, 10);
  EXPECT_TRUE(std::equal(tail.begin(), tail.end(), data.end() - 10));
  EXPECT_FALSE(stream->Flush());
  stream.reset();
  EXPECT_EQ(TempFolder::ReadFile(path), data);
}

TEST(FileStream, CreateEmptiesAnExistingFile) {
  TempFolder folder;
  const std::string path = folder.WriteFile("old.MTS", Bytes(5000, 1));
  auto stream = FileStream::Open(path, OpenMode::Create);
  EXPECT_EQ(stream->Size(), 0);
  const std::vector<std::uint8_t> data = Bytes(10, 9);
  stream->Write(data.data(), 10);
  stream.reset();
  EXPECT_EQ(TempFolder::ReadFile(path), data);
}

TEST(FileStream, OpeningAMissingFileNamesThePathAndTheSystemText) {
  TempFolder folder;
  const std::string path = folder.File("missing.img");
  for (const OpenMode mode : {OpenMode::ReadShared, OpenMode::ReadWriteShared, OpenMode::ReadWriteExclusive}) {
    try {
      FileStream::Open(path, mode);
      ADD_FAILURE() << "opened a missing file";
    } catch (const StreamError& error) {
      EXPECT_EQ(std::string(error.what()), "Cannot open file \"" + path + "\". " + ExpectedText(error));
      EXPECT_TRUE(error.Code() == std::errc::no_such_file_or_directory) << error.Code();
    }
  }
  EXPECT_FALSE(std::filesystem::exists(path));  // opening never creates
}

TEST(FileStream, CreatingInAMissingFolderSaysCreate) {
  TempFolder folder;
  const std::string path = folder.File("no-such-folder") + PathSeparator() + "0.MTS";
  try {
    FileStream::Open(path, OpenMode::Create);
    FAIL() << "created a file in a missing folder";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + path + "\". " + ExpectedText(error));
    EXPECT_TRUE(error.Code() == std::errc::no_such_file_or_directory) << error.Code();
  }
}

TEST(FileStream, ReadStopsShortAtTheEndWithoutAnError) {
  TempFolder folder;
  const std::string path = folder.WriteFile("short.img", Bytes(1000, 5));
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  std::vector<std::uint8_t> buffer(4096);
  IoResult read = stream->Read(buffer.data(), 4096);
  EXPECT_EQ(read.Bytes, 1000);
  EXPECT_FALSE(read.Error);
  read = stream->Read(buffer.data(), 4096);
  EXPECT_EQ(read.Bytes, 0);
  EXPECT_FALSE(read.Error);
  ASSERT_FALSE(stream->Seek(1 << 20));  // past the end is a valid position with nothing to read
  EXPECT_EQ(stream->Read(buffer.data(), 10).Bytes, 0);
  EXPECT_TRUE(stream->Seek(-1));
}

TEST(FileStream, SharedReadingSeesAFileThatIsBeingWritten) {
  TempFolder folder;
  // Another program writes the image and lets others read and write it (a Create-mode stream would
  // lock it on Windows).
  const std::string path = folder.WriteFile("growing.img", {});
  auto writer = FileStream::Open(path, OpenMode::ReadWriteShared);
  const std::vector<std::uint8_t> data = Bytes(3000, 2);
  writer->Write(data.data(), 3000);
  auto reader = FileStream::Open(path, OpenMode::ReadShared);
  EXPECT_EQ(reader->Size(), 3000);
  std::vector<std::uint8_t> buffer(3000);
  EXPECT_EQ(reader->Read(buffer.data(), 3000).Bytes, 3000);
  EXPECT_EQ(buffer, data);
}

// Reading a recovered file (its picture being made) must not stop the user from renaming or
// deleting it, nor a later run from writing that name again.
TEST(FileStream, AFileBeingReadCanBeRenamedAndDeleted) {
  TempFolder folder;
  const std::string path = folder.WriteFile("0.MTS", Bytes(4096, 5));
  const std::string renamed = path + ".kept";
  for (const OpenMode mode : {OpenMode::ReadShared, OpenMode::ReadSharedScattered}) {
    SCOPED_TRACE(static_cast<int>(mode));
    auto reader = FileStream::Open(path, mode);
    std::error_code error;
    std::filesystem::rename(path, renamed, error);
    EXPECT_FALSE(error) << error.message();
    std::filesystem::remove(renamed, error);
    EXPECT_FALSE(error) << error.message();
    char byte = 0;
    EXPECT_EQ(reader->Read(&byte, 1).Bytes, 1) << "the reader goes on";
    reader.reset();
    EXPECT_FALSE(std::filesystem::exists(renamed));
    folder.WriteFile("0.MTS", Bytes(4096, 5));
  }
}

TEST(FileStream, ReadOnlyImageOpensForSharedReadingAndRefusesWrites) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Bytes(2048, 4));
  std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::group_read |
                                         std::filesystem::perms::others_read);
  for (const OpenMode mode : {OpenMode::ReadShared, OpenMode::ReadSharedScattered}) {
    auto stream = FileStream::Open(path, mode);
    EXPECT_EQ(stream->Size(), 2048);
    char read[16] = {};
    ASSERT_FALSE(stream->Seek(1000));
    EXPECT_EQ(stream->Read(read, sizeof read).Bytes, 16);
    EXPECT_EQ(static_cast<std::uint8_t>(read[15]), Bytes(2048, 4)[1015]);
    const char byte = 0;
    const IoResult written = stream->Write(&byte, 1);
    EXPECT_EQ(written.Bytes, 0);
    EXPECT_TRUE(written.Error);
  }
  EXPECT_EQ(TempFolder::ReadFile(path), Bytes(2048, 4));
}

TEST(FileStream, OffsetsBeyond4GiB) {
  TempFolder folder;
  const std::string path = folder.File("sparse.img");
  const std::int64_t farOffset = (std::int64_t{5} << 30) + 3;
  {
    auto stream = FileStream::Open(path, OpenMode::Create);
    ASSERT_FALSE(stream->Seek(farOffset));
    const char mark = 'M';
    ASSERT_EQ(stream->Write(&mark, 1).Bytes, 1);
  }
  auto stream = FileStream::Open(path, OpenMode::ReadWriteExclusive);
  EXPECT_EQ(stream->Size(), farOffset + 1);
  ASSERT_FALSE(stream->Seek(farOffset - 1));
  char bytes[4] = {1, 1, 1, 1};
  const IoResult read = stream->Read(bytes, 4);
  EXPECT_EQ(read.Bytes, 2);
  EXPECT_EQ(bytes[0], 0);
  EXPECT_EQ(bytes[1], 'M');
}

TEST(FileStream, DefaultOpenerAndPlatformHelpers) {
  TempFolder folder;
  const std::string path = folder.WriteFile("x", Bytes(10, 0));
  auto stream = OpenFileStream(path, OpenMode::ReadWriteShared);
  EXPECT_EQ(stream->Size(), 10);
  const std::string text = SystemErrorText(std::make_error_code(std::errc::no_space_on_device));
  EXPECT_FALSE(text.empty());
  EXPECT_NE(text.back(), '\n');
}

}  // namespace
}  // namespace mtsrescue

namespace mtsrescue {
namespace {

TEST(SameFile, OneFileWhateverThePathAndNeverAMissingOne) {
  test::TempFolder folder;
  const std::string path = folder.WriteFile("a.img", std::vector<std::uint8_t>(10, 1));
  const std::string other = folder.WriteFile("b.img", std::vector<std::uint8_t>(10, 1));
  std::filesystem::create_hard_link(path, folder.File("hard.img"));
  // Windows grants symbolic links only to administrators and developer mode (MinGW: not at all).
  std::error_code noSymlink;
  std::filesystem::create_symlink(path, folder.File("soft.img"), noSymlink);
  EXPECT_TRUE(SameFile(path, path));
  EXPECT_TRUE(SameFile(path, folder.Path() + "/./a.img"));
  EXPECT_TRUE(SameFile(path, folder.File("hard.img")));
  if (!noSymlink) {
    EXPECT_TRUE(SameFile(folder.File("soft.img"), path));
  }
  EXPECT_FALSE(SameFile(path, other));  // equal contents are not the same file
  EXPECT_FALSE(SameFile(path, folder.File("missing.img")));
  EXPECT_FALSE(SameFile(folder.File("missing.img"), folder.File("missing.img")));
}

}  // namespace
}  // namespace mtsrescue
