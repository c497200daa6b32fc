// SourceWindow: sectors that cannot be read are read once, and fed bytes are never read.
#include "rebuild/SourceWindow.h"

#include "engine/EngineConstants.h"
#include "tests/common/MemoryFileSystem.h"

#include <gtest/gtest.h>

namespace mtsrescue::test {
namespace {

constexpr std::int64_t Length = 64 * SectorBytes;

std::vector<std::uint8_t> Numbered() {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(Length));
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
  return bytes;
}

TEST(SourceWindow, AnUnreadableSectorIsReadOnceAndTheBytesAroundItStillCome) {
  MemoryFileSystem files;
  const auto bytes = Numbered();
  const auto file = files.Add("card", bytes);
  const std::int64_t bad = 20 * SectorBytes;
  file->FailReads(bad + 100, 1);
  const auto stream = files.Open("card", OpenMode::ReadShared);
  SourceWindow window(*stream, Length);
  // Packet by packet across it, as a walk that skips what it cannot read.
  for (std::int64_t at = 0; at + 10 <= Length; at += 192) {
    const std::uint8_t* got = window.At(at, 10);
    if (at + 10 > bad && at < bad + SectorBytes) {
      EXPECT_EQ(got, nullptr) << at;
    } else {
      ASSERT_NE(got, nullptr) << at;
      EXPECT_EQ(got[9], bytes[static_cast<std::size_t>(at + 9)]) << at;
    }
  }
  EXPECT_EQ(window.UnreadableSectors(), 1);
  int readsOfIt = 0;
  for (const ReadRecord& read : file->Reads()) {
    if (read.Offset <= bad + 100 && read.Offset + read.Count > bad + 100) ++readsOfIt;
  }
  // The block it failed in; the bytes up to it again when a request needs them; then the sector
  // alone. Never again after that, however many packets the walk skips over it.
  EXPECT_LE(readsOfIt, 3);
}

TEST(SourceWindow, BytesStillToBeFedAreWaitedForAndFedBytesAreNotRead) {
  MemoryFileSystem files;
  const auto bytes = Numbered();
  const auto file = files.Add("card", bytes);
  const auto stream = files.Open("card", OpenMode::ReadShared);
  SourceWindow window(*stream, Length);
  window.ExpectFeed({{8 * SectorBytes, 40 * SectorBytes}});
  EXPECT_EQ(window.At(10 * SectorBytes, 8), nullptr);
  EXPECT_TRUE(window.Waiting());
  window.ClearWaiting();
  window.Feed(8 * SectorBytes, bytes.data() + 8 * SectorBytes, 16 * SectorBytes);
  window.Feed(24 * SectorBytes, bytes.data() + 24 * SectorBytes, 16 * SectorBytes);
  // Across the two blocks fed.
  const std::uint8_t* got = window.At(24 * SectorBytes - 4, 8);
  ASSERT_NE(got, nullptr);
  EXPECT_TRUE(std::equal(got, got + 8, bytes.begin() + 24 * SectorBytes - 4));
  EXPECT_FALSE(window.Waiting());
  EXPECT_EQ(window.BytesRead(), 0);
  // Bytes outside the stretch come from the source, and so do those expected once feeding ends.
  window.EndFeed();
  ASSERT_NE(window.At(50 * SectorBytes, 8), nullptr);
  EXPECT_GT(window.BytesRead(), 0);
  EXPECT_FALSE(window.Waiting());
}

}  // namespace
}  // namespace mtsrescue::test
