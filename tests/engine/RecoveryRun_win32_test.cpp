// Whole runs on Windows files: output names joined with "\" (twice after a drive root), folders
// given with a trailing separator, with "/" or with a name outside the ANSI code page.
#include "engine/RecoveryRun.h"

#include "engine/EngineConstants.h"
#include "platform/FileStream.h"
#include "tests/common/RecordingObserver.h"
#include "tests/common/TempFolder.h"
#include "tests/common/WideText_win32.h"
#include "tests/engine/StreamFixtures.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <string>

namespace mtsrescue {
namespace {

using test::RecordingObserver;
using test::TempFolder;
using test::Wide;

// The bytes of a file named in UTF-16, read straight through the system; empty if it is missing.
std::vector<std::uint8_t> ReadWide(const std::wstring& path) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  std::vector<std::uint8_t> bytes(1 << 20);
  DWORD got = 0;
  ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr);
  CloseHandle(file);
  bytes.resize(got);
  return bytes;
}

TEST(OutputFileNameWin32, JoinsWithABackslashAndDoublesItAfterADriveRoot) {
  EXPECT_EQ(OutputFileName("D:\\Video", 12), "D:\\Video\\12.MTS");
  EXPECT_EQ(OutputFileName("E:\\", 0), "E:\\\\0.MTS");
  EXPECT_EQ(OutputFileName("\\\\server\\share\\out", 3), "\\\\server\\share\\out\\3.MTS");
}

// An image with a 4-group stream at 0 and a 20-group one in its second block, recovered into dest.
class RecoveryRunWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = std::vector<std::uint8_t>(static_cast<std::size_t>(2 * BlockBytes), 0);
    const auto first = test::PacketStream(4);
    const auto second = test::PacketStream(20, 0x2000000);
    std::copy(first.begin(), first.end(), image_.begin());
    std::copy(second.begin(), second.end(), image_.begin() + BlockBytes + 4096);
    imagePath_ = folder_.WriteFile("card.img", image_);
  }
  RunReport Run(const std::string& dest) {
    return RunRecovery(imagePath_, static_cast<std::int64_t>(image_.size()), dest, observer_, RunOptions{},
                       OpenFileStream);
  }
  std::vector<std::uint8_t> Stretch(std::int64_t offset, std::int64_t count) const {
    return std::vector<std::uint8_t>(image_.begin() + offset, image_.begin() + offset + count);
  }
  // Both files of the run, looked up under their plain names in the folder.
  void ExpectTheTwoFilesIn(const std::wstring& folder) {
    EXPECT_EQ(ReadWide(folder + L"\\0.MTS"), Stretch(0, 4 * GroupBytes));
    EXPECT_EQ(ReadWide(folder + L"\\1.MTS"), Stretch(BlockBytes + 4096, 20 * GroupBytes));
  }

  TempFolder folder_;
  std::vector<std::uint8_t> image_;
  std::string imagePath_;
  RecordingObserver observer_;
};

TEST_F(RecoveryRunWin32, AFolderEndingInABackslashGetsTheSeparatorTwiceAndWindowsTakesIt) {
  const std::string dest = folder_.Path() + "\\out\\";
  ASSERT_TRUE(CreateDirectoryW(Wide(dest).c_str(), nullptr));
  const RunReport report = Run(dest);
  ASSERT_EQ(report.Failure, RunFailure::None) << report.ErrorMessage;
  EXPECT_EQ(report.Export.FilesWritten, 2);
  ASSERT_EQ(report.Export.Entries.size(), 2u);
  EXPECT_EQ(report.Export.Entries[0].FilePath, dest + "\\0.MTS");
  ExpectTheTwoFilesIn(Wide(folder_.Path() + "\\out"));
}

TEST_F(RecoveryRunWin32, AFolderWrittenWithSlashesWorks) {
  std::string dest = folder_.Path() + "\\slashed";
  ASSERT_TRUE(CreateDirectoryW(Wide(dest).c_str(), nullptr));
  std::replace(dest.begin(), dest.end(), '\\', '/');
  const RunReport report = Run(dest);
  ASSERT_EQ(report.Failure, RunFailure::None) << report.ErrorMessage;
  EXPECT_EQ(report.Export.Entries[1].FilePath, dest + "\\1.MTS");
  ExpectTheTwoFilesIn(Wide(folder_.Path() + "\\slashed"));
}

TEST_F(RecoveryRunWin32, AFolderNamedInChineseReceivesTheFiles) {
  const std::string dest = folder_.Path() + "\\\xE6\x81\xA2\xE5\xA4\x8D\xE7\x9A\x84\xE8\xA7\x86\xE9\xA2\x91";  // "恢复的视频"
  ASSERT_TRUE(CreateDirectoryW(Wide(dest).c_str(), nullptr));
  const RunReport report = Run(dest);
  ASSERT_EQ(report.Failure, RunFailure::None) << report.ErrorMessage;
  ExpectTheTwoFilesIn(Wide(folder_.Path()) + L"\\\x6062\x590D\x7684\x89C6\x9891");
}

TEST_F(RecoveryRunWin32, AMissingDestinationFolderIsAnExportFailureWithTheSystemsText) {
  const std::string dest = folder_.Path() + "\\never made";
  const RunReport report = Run(dest);
  EXPECT_EQ(report.Failure, RunFailure::Export);
  EXPECT_EQ(report.ErrorMessage.rfind("Cannot create file \"" + dest + "\\0.MTS\". ", 0), 0u) << report.ErrorMessage;
  EXPECT_GT(report.ErrorMessage.size(), ("Cannot create file \"" + dest + "\\0.MTS\". ").size());
}

}  // namespace
}  // namespace mtsrescue
