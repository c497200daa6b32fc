// The recovery run's last step: recordings rebuilt after the export, which it leaves as it was.
#include "engine/RecoveryRun.h"

#include "engine/RunObserver.h"
#include "platform/FileStream.h"
#include "rebuild/RecordingRebuild.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/rebuild/ClipFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace mtsrescue::test {
namespace {

constexpr std::int64_t Cluster = 16384;

class ClipRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // One recording in three clusters, stored last-first between foreign clusters.
    card_.Place(recording_, 0, Cluster, 9 * Cluster);
    card_.Place(recording_, Cluster, Cluster, 5 * Cluster);
    card_.Place(recording_, 2 * Cluster, Cluster, 1 * Cluster);
    files_.Add("card", card_.Bytes());
  }
  struct Outcome {
    RunReport Run;
    ClipReport Clips;
  };
  Outcome Run(RunOptions options, FolderMaker makeFolder = {}) {
    if (!makeFolder) {
      makeFolder = [this](const std::string& path) {
        folders_.push_back(path);
        return std::error_code();
      };
    }
    RecordingRebuild rebuild(files_.Opener(), makeFolder);
    options.FollowUp = &rebuild;
    RunObserver observer;
    Outcome outcome;
    outcome.Run = RunRecovery("card", 12 * Cluster, "dest", observer, options, files_.Opener());
    outcome.Clips = rebuild.Report();
    return outcome;
  }
  std::string ClipFile(int index) const { return OutputFileName(ClipsFolderName("dest"), index); }

  std::vector<std::uint8_t> recording_ = SyntheticStream(224, 123, 6768, 51);  // 43,008 bytes
  CardImage card_{12 * Cluster};
  MemoryFileSystem files_;
  std::vector<std::string> folders_;
};

TEST_F(ClipRunTest, ARunRebuildsRecordingsAfterTheExportAndLeavesItsFilesAlone) {
  const Outcome withClips = Run(RunOptions{});
  ASSERT_EQ(withClips.Run.Failure, RunFailure::None) << withClips.Run.ErrorMessage;
  ASSERT_EQ(withClips.Clips.Recordings.size(), 1u);
  EXPECT_EQ(files_.Find(ClipFile(0))->Contents(), recording_);
  EXPECT_EQ(folders_, std::vector<std::string>{ClipsFolderName("dest")});
  EXPECT_EQ(withClips.Clips.PieceCount, 3);
  // The pieces are found in the bytes the export copies: the rebuild reads one copy of the
  // recording and, from the source, only the pieces' edges.
  const auto recordingBytes = static_cast<std::int64_t>(recording_.size());
  EXPECT_LE(withClips.Clips.BytesRead - withClips.Clips.SourceBytesRead, recordingBytes);
  EXPECT_LE(withClips.Clips.SourceBytesRead, 3 * 12 * 1024);

  // The numbered fragment files are the same files, whether recordings are rebuilt or not.
  std::vector<std::pair<std::string, std::vector<std::uint8_t>>> fragmentFiles;
  for (const ExportedEntry& entry : withClips.Run.Export.Entries) {
    if (entry.Outcome == EntryOutcome::Written) {
      fragmentFiles.emplace_back(entry.FilePath, files_.Find(entry.FilePath)->Contents());
    }
  }
  ASSERT_FALSE(fragmentFiles.empty());
  MemoryFileSystem plainFiles;
  plainFiles.Add("card", card_.Bytes());
  RunObserver observer;
  const RunReport plain = RunRecovery("card", 12 * Cluster, "dest", observer, RunOptions{}, plainFiles.Opener());
  EXPECT_EQ(plain.Fragments, withClips.Run.Fragments);
  for (const auto& [path, contents] : fragmentFiles) {
    ASSERT_TRUE(plainFiles.Exists(path)) << path;
    EXPECT_EQ(plainFiles.Find(path)->Contents(), contents) << path;
  }
  EXPECT_FALSE(plainFiles.Exists(ClipFile(0)));
}

TEST_F(ClipRunTest, ADryRunRebuildsNothing) {
  RunOptions options;
  options.DryRun = true;
  const Outcome report = Run(options);
  EXPECT_TRUE(report.Clips.Recordings.empty());
  EXPECT_TRUE(folders_.empty());
  EXPECT_EQ(files_.Paths(), std::vector<std::string>{"card"});
}

// After an output's failure only second names of fragment files written whole are made, which
// take no room; with no fragment file written there is nothing to make, not even the folder.
TEST_F(ClipRunTest, AFailedExportMakesNoRecordingThatNeedsRoom) {
  // Whichever fragment file comes first fails.
  for (int index = 0; index < 8; ++index) files_.FailOpen(OutputFileName("dest", index), std::errc::read_only_file_system);
  const Outcome report = Run(RunOptions{});
  EXPECT_EQ(report.Run.Failure, RunFailure::Export);
  EXPECT_TRUE(folders_.empty());
  EXPECT_FALSE(files_.Exists(ClipFile(0)));
}

TEST_F(ClipRunTest, AClipsFolderThatCannotBeMadeIsTheRunsExportFailure) {
  const Outcome report =
      Run(RunOptions{}, [](const std::string&) { return std::make_error_code(std::errc::permission_denied); });
  EXPECT_EQ(report.Run.Failure, RunFailure::Export);
  EXPECT_EQ(report.Run.ErrorMessage.rfind("Cannot create file \"" + ClipsFolderName("dest") + "\". ", 0), 0u)
      << report.Run.ErrorMessage;
  // The fragment files were written before and stay.
  EXPECT_GT(report.Run.Export.FilesWritten, 0);
  EXPECT_EQ(report.Clips.PieceCount, 3);
}

}  // namespace
}  // namespace mtsrescue::test
