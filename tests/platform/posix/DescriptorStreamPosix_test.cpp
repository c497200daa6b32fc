// DescriptorStream over descriptors handed over by another process: read-only, shared, each at its own position.
#include "platform/DescriptorStream.h"

#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace mtsrescue {
namespace {

using test::TempFolder;

std::vector<std::uint8_t> Counting(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

TEST(DescriptorStreamPosix, SharedStreamsReadAtTheirOwnPositionsAndNeverWrite) {
  TempFolder folder;
  const auto bytes = Counting(10000);
  const std::string path = folder.WriteFile("card.img", bytes);
  const int fd = ::open(path.c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  auto first = DescriptorStream::CopyOf(fd, path);
  ::close(fd);  // the caller's own goes; the copy lives on
  auto second = first->Share();
  EXPECT_EQ(first->Size(), 10000);

  // Interleaved as a scan and the export's short reads are: neither moves the other.
  std::vector<std::uint8_t> a(4000), b(100);
  ASSERT_EQ(first->Read(a.data(), 3000).Bytes, 3000);
  ASSERT_FALSE(second->Seek(9950));
  const IoResult tail = second->Read(b.data(), 100);
  EXPECT_EQ(tail.Bytes, 50);  // a short count at the end, no error
  EXPECT_FALSE(tail.Error);
  ASSERT_EQ(first->Read(a.data() + 3000, 1000).Bytes, 1000);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin()));
  EXPECT_TRUE(std::equal(b.begin(), b.begin() + 50, bytes.begin() + 9950));

  first.reset();  // the descriptor stays open while a stream shares it
  const IoResult written = second->Write(b.data(), 10);
  EXPECT_EQ(written.Bytes, 0);
  EXPECT_TRUE(written.Error);
  ASSERT_FALSE(second->Seek(0));
  EXPECT_EQ(second->Read(a.data(), 10).Bytes, 10);
  EXPECT_EQ(TempFolder::ReadFile(path), bytes);
}

TEST(DescriptorStreamPosix, ADescriptorThatCouldWriteIsRefused) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Counting(512));
  for (const int flags : {O_RDWR, O_WRONLY}) {
    const int fd = ::open(path.c_str(), flags);
    ASSERT_GE(fd, 0);
    try {
      DescriptorStream::CopyOf(fd, "/dev/sdb");
      ADD_FAILURE() << "took a descriptor open for writing, flags " << flags;
    } catch (const StreamError& e) {
      EXPECT_EQ(std::string(e.what()), "Cannot open file \"/dev/sdb\". The descriptor handed over is open for writing");
    }
    ::close(fd);
  }
  EXPECT_THROW(DescriptorStream::CopyOf(-1, "/dev/sdb"), StreamError);
}

}  // namespace
}  // namespace mtsrescue
