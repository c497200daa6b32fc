// Whole runs: scan, merge and export in order, with stops and failures ending in a report, not a throw.
#include "engine/RecoveryRun.h"

#include "engine/EngineConstants.h"
#include "platform/FileStream.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/common/RecordingObserver.h"
#include "tests/common/TempFolder.h"
#include "tests/engine/StreamFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

namespace mtsrescue {
namespace {

using test::MemoryFileSystem;
using test::RecordingObserver;

std::string Out(std::int64_t index) { return OutputFileName("dest", index); }

class RecoveryRunTest : public ::testing::Test {
 protected:
  // Three blocks: a 4-group stream at 0, a lone hit at 20480, a 20-group stream in block 2.
  void SetUp() override {
    source_ = files_.Add("src", 3 * BlockBytes);
    source_->Put(0, test::PacketStream(4));
    source_->Put(20480, test::HitSector());
    source_->Put(2 * BlockBytes + 4096, test::PacketStream(20, 0x2000000));
  }
  RunReport Run(const RunOptions& options = {}) {
    return RunRecovery("src", 3 * BlockBytes, "dest", observer_, options, files_.Opener());
  }

  MemoryFileSystem files_;
  std::shared_ptr<test::MemoryFile> source_;
  RecordingObserver observer_;
};

TEST_F(RecoveryRunTest, WritesEachFragmentDuringTheOneReadOfTheSource) {
  const RunReport report = Run();
  EXPECT_EQ(report.Failure, RunFailure::None);
  EXPECT_EQ(report.ErrorMessage, "");
  EXPECT_EQ(report.HitCount, 4 + 1 + 20);
  const std::int64_t secondAt = 2 * BlockBytes + 4096;
  EXPECT_EQ(report.Fragments, (FragmentList{"0 - 6144", "20480 - 22016",
                                            std::to_string(secondAt) + " - " + std::to_string(secondAt + 20 * GroupBytes)}));
  EXPECT_EQ(files_.Find(Out(0))->Contents(), source_->Get(0, 6144));
  EXPECT_FALSE(files_.Exists(Out(1)));
  EXPECT_EQ(files_.Find(Out(2))->Contents(), source_->Get(secondAt, 20 * GroupBytes));
  EXPECT_EQ(report.Export.FilesWritten, 2);
  EXPECT_EQ(report.Scan.BytesRead, 3 * BlockBytes);
  // Each sector is read once, and each file is named as soon as the scan has read past its run:
  // 0.MTS before the third block is read, 2.MTS before the scan ends. No export follows.
  EXPECT_EQ(source_->BytesRead(), 3 * BlockBytes);
  const auto& events = observer_.Events;
  const auto at = [&](const std::string& event) { return std::find(events.begin(), events.end(), event); };
  ASSERT_NE(at("FileWritten 0 " + Out(0) + " 6144"), events.end());
  EXPECT_LT(at("FileWritten 0 " + Out(0) + " 6144"), at("ScanProgress " + std::to_string(2 * BlockBytes)));
  EXPECT_LT(at("FileWritten 2 " + Out(2) + " " + std::to_string(20 * GroupBytes)), at("ScanEnd"));
  EXPECT_EQ(observer_.CountOf("ExportBegin"), 0);
  EXPECT_EQ(events.back(), "ScanEnd");
}

TEST_F(RecoveryRunTest, StoppedScanStillExportsWhatItFound) {
  observer_.StopAtPump = 1;  // during the first block: it is scanned, the second is not
  const RunReport report = Run();
  EXPECT_TRUE(report.Scan.Stopped);
  EXPECT_EQ(report.Failure, RunFailure::None);
  EXPECT_EQ(report.Fragments, (FragmentList{"0 - 6144"}));  // the lone hit at 20480 is last: no entry
  EXPECT_TRUE(files_.Exists(Out(0)));
  EXPECT_EQ(report.Export.FilesWritten, 1);
}

TEST_F(RecoveryRunTest, SourceThatCannotBeOpenedIsReportedAfterAnEmptyExport) {
  files_.FailOpen("src", std::errc::permission_denied);
  const RunReport report = Run();
  EXPECT_EQ(report.Failure, RunFailure::Source);
  EXPECT_EQ(report.ErrorMessage, "Cannot open file \"src\". " +
                                     SystemErrorText(std::make_error_code(std::errc::permission_denied)));
  EXPECT_TRUE(source_->Reads().empty());
  EXPECT_TRUE(report.Fragments.empty());
  EXPECT_TRUE(observer_.Events.empty());
}

TEST_F(RecoveryRunTest, ASourceOfWhichNothingCanBeReadIsAFailureNotAnEmptySuccess) {
  source_->FailReads(0, 3 * BlockBytes);
  const RunReport report = Run();
  EXPECT_EQ(report.Scan.UnreadableSectors, 3 * BlockBytes / SectorBytes);
  EXPECT_EQ(report.Failure, RunFailure::Source);
  EXPECT_EQ(report.ErrorMessage, "Cannot read file \"src\". No sector of it could be read.");

  // One readable sector is a scan, however poor: the unreadable ones are reported, not failed.
  files_ = MemoryFileSystem();
  source_ = files_.Add("src", 3 * BlockBytes);
  source_->FailReads(SectorBytes, 3 * BlockBytes - SectorBytes);
  EXPECT_EQ(Run().Failure, RunFailure::None);
}

// An unreadable sector inside a fragment is written as zeros and counted once, for the run and
// for its entry; a source that shrinks during the scan fails the entry it cuts, and the earlier
// files stay.
TEST_F(RecoveryRunTest, ChangesOfTheSourceDuringTheScanReachTheReport) {
  struct BeforeBlock : RecordingObserver {
    std::int64_t AtPosition = -1;
    std::function<void()> Change;
    void ScanProgress(std::int64_t positionBytes) override {
      RecordingObserver::ScanProgress(positionBytes);
      if (positionBytes == AtPosition) Change();
    }
  };
  const std::int64_t secondAt = 2 * BlockBytes + 4096;
  {
    source_->FailReads(secondAt + 2 * SectorBytes, SectorBytes);
    RecordingObserver observer;
    const RunReport report = RunRecovery("src", 3 * BlockBytes, "dest", observer, {}, files_.Opener());
    EXPECT_EQ(report.Failure, RunFailure::None);
    EXPECT_EQ(report.Scan.UnreadableSectors, 1);
    EXPECT_EQ(report.Export.Entries[2].UnreadableSectors, 1);
    EXPECT_EQ(report.UnreadableSectors, 1);
    std::vector<std::uint8_t> expected = source_->Get(secondAt, 20 * GroupBytes);
    std::fill(expected.begin() + 2 * SectorBytes, expected.begin() + 3 * SectorBytes, 0);
    EXPECT_EQ(files_.Find(Out(2))->Contents(), expected);
  }
  {
    files_ = MemoryFileSystem();
    SetUp();
    BeforeBlock observer;
    observer.AtPosition = 2 * BlockBytes;
    observer.Change = [&] { source_->SetLength(secondAt + 4000); };
    const RunReport report = RunRecovery("src", 3 * BlockBytes, "dest", observer, {}, files_.Opener());
    EXPECT_EQ(report.Failure, RunFailure::Export);
    EXPECT_NE(report.ErrorMessage.find("shrank"), std::string::npos) << report.ErrorMessage;
    EXPECT_EQ(report.Export.Entries[2].Outcome, EntryOutcome::Failed);
    EXPECT_EQ(report.Export.FilesWritten, 1);
  }
}

TEST_F(RecoveryRunTest, DestinationThatCannotBeWrittenIsReportedAndTheRunCompletes) {
  files_.FailOpen(Out(0), std::errc::read_only_file_system);
  const RunReport report = Run();
  EXPECT_EQ(report.Failure, RunFailure::Export);
  EXPECT_EQ(report.ErrorMessage, "Cannot create file \"" + Out(0) + "\". " +
                                     SystemErrorText(std::make_error_code(std::errc::read_only_file_system)));
  EXPECT_EQ(report.Export.Entries[0].Outcome, EntryOutcome::Failed);
  EXPECT_EQ(observer_.Events.back(), "ScanEnd");
}

TEST_F(RecoveryRunTest, SourceLostBeforeTheExportIsASourceFailure) {
  // The scan opens the source once; the export's own open is the second one.
  int opens = 0;
  const StreamOpener opener = [&](const std::string& path, OpenMode mode) {
    if (path == "src" && ++opens == 2) {
      files_.FailOpen("src", std::errc::no_such_device);
    }
    return files_.Open(path, mode);
  };
  const RunReport report = RunRecovery("src", 3 * BlockBytes, "dest", observer_, {}, opener);
  EXPECT_EQ(report.Failure, RunFailure::Source);
  EXPECT_EQ(report.ErrorMessage.rfind("Cannot open file \"src\". ", 0), 0u) << report.ErrorMessage;
  EXPECT_FALSE(files_.Exists(Out(0)));
}

TEST_F(RecoveryRunTest, DryRunScansAndMergesButCreatesNothing) {
  RunOptions options;
  options.DryRun = true;
  const RunReport report = Run(options);
  EXPECT_EQ(report.Fragments.size(), 3u);
  EXPECT_TRUE(report.Export.Entries.empty());
  for (const test::OpenRecord& open : files_.Opens()) {
    EXPECT_EQ(open.Mode, OpenMode::ReadShared) << open.Path;
  }
  EXPECT_EQ(observer_.CountOf("ExportBegin"), 0);
}

TEST_F(RecoveryRunTest, EmptySourceFindsAndExportsNothing) {
  files_.Add("empty", 0);
  const RunReport report = RunRecovery("empty", 0, "dest", observer_, {}, files_.Opener());
  EXPECT_EQ(report.Failure, RunFailure::None);
  EXPECT_EQ(report.HitCount, 0);
  EXPECT_TRUE(report.Fragments.empty());
  EXPECT_EQ(files_.Paths().size(), 2u);  // "empty" and "src" only
}

TEST(RecoveryRunOnDisk, RecoversStreamsFromAnImageFileIntoAFolder) {
  // An image of 600 KiB: random-looking filler, a 30-group stream, and a 3-group stream that
  // starts at an odd sector; both written from sector boundaries.
  test::TempFolder folder;
  std::vector<std::uint8_t> image(600 * 1024);
  for (std::size_t i = 0; i < image.size(); ++i) {
    image[i] = static_cast<std::uint8_t>((i * 2654435761u) >> 13);
  }
  const std::vector<std::uint8_t> first = test::PacketStream(30, 0x100);
  const std::vector<std::uint8_t> second = test::PacketStream(3, 0x30000000);
  std::copy(first.begin(), first.end(), image.begin() + 8192);
  std::copy(second.begin(), second.end(), image.begin() + 400 * 1024 + 512);
  const std::string imagePath = folder.WriteFile("card.img", image);
  std::filesystem::create_directory(folder.File("out"));

  RecordingObserver observer;
  const RunReport report = RunRecovery(imagePath, static_cast<std::int64_t>(image.size()), folder.File("out"),
                                       observer, {}, OpenFileStream);
  ASSERT_EQ(report.Failure, RunFailure::None) << report.ErrorMessage;
  ASSERT_EQ(report.Fragments.size(), 2u) << "filler bytes made stray hits";
  EXPECT_EQ(test::TempFolder::ReadFile(OutputFileName(folder.File("out"), 0)), first);
  EXPECT_EQ(test::TempFolder::ReadFile(OutputFileName(folder.File("out"), 1)), second);
  EXPECT_EQ(test::TempFolder::ReadFile(imagePath), image);  // the source is untouched
}

}  // namespace
}  // namespace mtsrescue
