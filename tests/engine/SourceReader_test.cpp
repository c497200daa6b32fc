// Going round a bad area: its edges found to the sector with few reads, nothing inside it read.
#include "engine/SourceReader.h"

#include "engine/BlockBuffer.h"
#include "engine/EngineConstants.h"
#include "tests/common/MemoryFileSystem.h"

#include <gtest/gtest.h>

#include <vector>

namespace mtsrescue {
namespace {

std::int64_t FailedReads(const test::MemoryFile& file) {
  std::int64_t failed = 0;
  for (const test::ReadRecord& read : file.Reads()) failed += read.Bytes < read.Count ? 1 : 0;
  return failed;
}

TEST(SourceReader, FindsABadAreasEdgesToTheSectorWithFewReadsAndReadsNothingInside) {
  constexpr std::int64_t B = BlockBytes;
  constexpr std::int64_t Length = 64 * B;
  struct Case {
    std::int64_t Offset;
    std::int64_t Bytes;
  };
  for (const Case bad : {Case{5 * B + 512, 512}, Case{B + 7 * 512, 3 * 512}, Case{4 * B - 512, B + 1024},
                         Case{20 * B + 4096, 32 * B}, Case{0, 3 * 512}, Case{Length - 2 * B, 2 * B}}) {
    SCOPED_TRACE("bad area at " + std::to_string(bad.Offset) + ", " + std::to_string(bad.Bytes) + " bytes");
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Length));
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i * 7 + (i >> 9)) | 1);
    test::MemoryFileSystem files;
    const auto file = files.Add("src", bytes);
    file->FailReads(bad.Offset, bad.Bytes);
    const auto stream = files.Open("src", OpenMode::ReadShared);
    // Every failed read takes 10 ms, as a card reader takes its time to give up.
    SourceReader reader(*stream, Length, [&] { return FailedReads(*file) * 10; }, {});

    BlockBuffer buffer(static_cast<std::size_t>(B));
    std::vector<UnreadableStretch> unreadable;
    for (std::int64_t at = 0; at < Length; at += B) {
      const BlockRead read = reader.Read(at, buffer.data(), B);
      ASSERT_EQ(read.HandledBytes, B);
      ASSERT_FALSE(read.Ended);
      for (const UnreadableStretch& stretch : read.Unreadable) {
        if (!unreadable.empty() && unreadable.back().Offset + unreadable.back().SectorCount * SectorBytes == stretch.Offset) {
          unreadable.back().SectorCount += stretch.SectorCount;
        } else {
          unreadable.push_back(stretch);
        }
      }
      std::vector<std::uint8_t> expected(bytes.begin() + at, bytes.begin() + at + B);
      for (std::int64_t i = std::max(bad.Offset, at); i < std::min(bad.Offset + bad.Bytes, at + B); ++i) {
        expected[static_cast<std::size_t>(i - at)] = 0;
      }
      ASSERT_EQ(std::vector<std::uint8_t>(buffer.begin(), buffer.end()), expected) << "block at " << at;
    }
    ASSERT_EQ(unreadable.size(), 1u);
    EXPECT_EQ(unreadable[0].Offset, bad.Offset);
    EXPECT_EQ(unreadable[0].SectorCount * SectorBytes, bad.Bytes);
    EXPECT_EQ(reader.SkippedStretches(), 1);
    EXPECT_EQ(reader.BadAreaMilliseconds(), FailedReads(*file) * 10);
    EXPECT_FALSE(reader.Unanswered());
    // A few dozen failures, never one per sector; the good sectors read once, and a few again.
    EXPECT_LE(FailedReads(*file), 64);
    EXPECT_LE(file->BytesRead(), Length - bad.Bytes + 48 * SectorBytes);
  }
}

TEST(SourceReader, ASourceThatAnswersNoReadForHalfAMinuteIsGivenUp) {
  constexpr std::int64_t Length = std::int64_t{64} << 30;  // sparse: a card that died part way
  test::MemoryFileSystem files;
  const auto file = files.Add("src", Length);
  file->FailReads(3 * BlockBytes, Length);
  const auto stream = files.Open("src", OpenMode::ReadShared);
  SourceReader reader(*stream, Length, [&] { return FailedReads(*file) * 1000; }, {});
  BlockBuffer buffer(static_cast<std::size_t>(BlockBytes));
  std::int64_t at = 0;
  BlockRead read;
  for (; at < Length; at += BlockBytes) {
    read = reader.Read(at, buffer.data(), BlockBytes);
    if (read.HandledBytes < BlockBytes) break;
  }
  EXPECT_EQ(at, 3 * BlockBytes);
  EXPECT_EQ(read.HandledBytes, 0);
  EXPECT_TRUE(reader.Unanswered());
  EXPECT_EQ(FailedReads(*file), SourceReader::GiveUpMilliseconds / 1000);
}

}  // namespace
}  // namespace mtsrescue
