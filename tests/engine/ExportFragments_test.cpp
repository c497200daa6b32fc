// The export into an in-memory folder: sizes, names, the source's open mode, and every way it can fail.
#include "engine/ExportFragments.h"

#include "engine/EngineConstants.h"
#include "platform/FileStream.h"
#include "platform/HardLinks.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/common/RecordingObserver.h"
#include "tests/common/TempFolder.h"
#include "tests/engine/StreamFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace mtsrescue {
namespace {

using test::MemoryFileSystem;
using test::RecordingObserver;

std::string Out(std::int64_t index) { return OutputFileName("dest", index); }

// A source whose byte at offset i is a function of i, so any misplaced copy shows.
std::vector<std::uint8_t> Numbered(std::int64_t lengthBytes) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(lengthBytes));
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 9));
  }
  return bytes;
}

class ExportFragmentsTest : public ::testing::Test {
 protected:
  void SetUp() override { source_ = files_.Add("src", Numbered(2 * BlockBytes)); }
  void Export(const FragmentList& fragments) {
    ExportFragments("src", "dest", fragments, observer_, report_, files_.Opener());
  }
  std::vector<std::uint8_t> SourceBytes(std::int64_t offset, std::int64_t count) const {
    return source_->Get(offset, count);
  }

  MemoryFileSystem files_;
  std::shared_ptr<test::MemoryFile> source_;
  RecordingObserver observer_;
  ExportReport report_;
};

TEST(OutputFileName, AppendsTheSeparatorWhateverTheFolderEndsWith) {
  const std::string sep(1, PathSeparator());
  EXPECT_EQ(OutputFileName("dest", 0), "dest" + sep + "0.MTS");
  EXPECT_EQ(OutputFileName("dest" + sep, 12), "dest" + sep + sep + "12.MTS");
  EXPECT_EQ(OutputFileName("d", 5000000000), "d" + sep + "5000000000.MTS");
}

// Earlier runs' files are known by every name a writer gives, rebuilt recordings' dated names
// included: a source bearing one of them must be found before anything is written.
TEST(OutputFileName, EveryNameAWriterGivesIsKnownAsAnOutput) {
  const std::pair<const char*, bool> cases[] = {
      {"0.MTS", true},
      {"12.MTS.part", true},
      {"2024-05-01 09-08-07.MTS", true},
      {"2024-05-01 09-08-07 (2).MTS", true},
      {"2024-05-01 09-08-07.MTS.link", true},
      {"2024-05-01 09-08-07 (2).MTS.part", true},
      {".MTS", false},
      {"card.MTS", false},
      {"2024-05-01 09-08.MTS", false},
      {"2024-05-01 09-08-07 ().MTS", false},
      {"2024-05-01 09-08-07 (x).MTS", false},
      {"0.mts", false},
      {".mtsrescue-write-test", false},
  };
  for (const auto& [name, output] : cases) EXPECT_EQ(IsOutputName(name), output) << name;
}

TEST_F(ExportFragmentsTest, WritesTwoGroupRunsButNotOneGroupRunsAndKeepsTheIndices) {
  Export({"1024 - 2560", "10240 - 13312"});
  EXPECT_FALSE(files_.Exists(Out(0)));
  ASSERT_TRUE(files_.Exists(Out(1)));
  // end - start bytes: the run's two groups and nothing after them.
  EXPECT_EQ(files_.Find(Out(1))->Contents(), SourceBytes(10240, 3072));
  EXPECT_EQ(files_.Find(Out(1))->FlushCalls(), 1);
  ASSERT_EQ(report_.Entries.size(), 2u);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::TooShort);
  EXPECT_EQ(report_.Entries[1].Outcome, EntryOutcome::Written);
  EXPECT_EQ(report_.Entries[1].StartOffset, 10240);
  EXPECT_EQ(report_.Entries[1].EndOffset, 13312);
  EXPECT_EQ(report_.Entries[1].FilePath, Out(1));
  EXPECT_EQ(report_.FilesWritten, 1);
  EXPECT_EQ(report_.BytesWritten, 3072);
  EXPECT_EQ(observer_.Events,
            (std::vector<std::string>{"ExportBegin 2", "ExportProgress 0", "ExportProgress 1",
                                      "FileWritten 1 " + Out(1) + " 3072", "ExportEnd"}));
}

TEST_F(ExportFragmentsTest, SizeRuleIsStrictlyMoreThan2048Bytes) {
  Export({"0 - 2048", "0 - 2049", "4096 - 4096", "8192 - 4096"});
  EXPECT_FALSE(files_.Exists(Out(0)));
  ASSERT_TRUE(files_.Exists(Out(1)));
  EXPECT_EQ(files_.Find(Out(1))->Length(), 2049);
  EXPECT_FALSE(files_.Exists(Out(2)));
  EXPECT_FALSE(files_.Exists(Out(3)));
}

TEST_F(ExportFragmentsTest, A171GroupRunIsCopiedAsOneFullBlockAndOneOf512Bytes) {
  const std::int64_t lengthBytes = 171 * GroupBytes;
  ASSERT_EQ(lengthBytes, BlockBytes + 512);
  Export({"512 - " + std::to_string(512 + lengthBytes)});
  EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(512, lengthBytes));
  ASSERT_EQ(source_->Reads().size(), 2u);
  EXPECT_EQ(source_->Reads()[0].Offset, 512);
  EXPECT_EQ(source_->Reads()[0].Count, BlockBytes);
  EXPECT_EQ(source_->Reads()[1].Offset, 512 + BlockBytes);
  EXPECT_EQ(source_->Reads()[1].Count, 512);
}

TEST_F(ExportFragmentsTest, SourceIsReopenedForSharedReadingForEachFileAndNeverWritten) {
  Export({"0 - 3072", "3072 - 4608", "6144 - 9216"});
  EXPECT_EQ(files_.OpenCount("src", OpenMode::ReadShared), 2);
  EXPECT_EQ(files_.OpenCount("src", OpenMode::ReadWriteShared), 0);
  EXPECT_EQ(files_.OpenCount("src", OpenMode::ReadWriteExclusive), 0);
  // Each output is made new under its temporary name, never opened where it will end up.
  EXPECT_EQ(files_.OpenCount(OutputFile::TemporaryName(Out(0)), OpenMode::CreateNew), 1);
  EXPECT_EQ(files_.OpenCount(OutputFile::TemporaryName(Out(2)), OpenMode::CreateNew), 1);
  EXPECT_EQ(files_.OpenCount(Out(0), OpenMode::Create), 0);
  EXPECT_EQ(files_.Paths(), std::vector<std::string>({Out(0), Out(2), "src"}));
  EXPECT_EQ(source_->WriteCalls(), 0);
}

TEST_F(ExportFragmentsTest, ReplacesEarlierOutputOfTheSameNumberAndLeavesOtherFiles) {
  files_.Add(Out(0), std::vector<std::uint8_t>(100000, 0xEE));
  files_.Add(Out(1), std::vector<std::uint8_t>(10, 0xEE));
  files_.Add("dest/notes.txt", std::vector<std::uint8_t>(10, 0xDD));
  Export({"0 - 3072"});
  EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(0, 3072));
  EXPECT_EQ(files_.Find(Out(1))->Contents(), std::vector<std::uint8_t>(10, 0xEE));
  EXPECT_EQ(files_.Find("dest/notes.txt")->Contents(), std::vector<std::uint8_t>(10, 0xDD));
}

TEST_F(ExportFragmentsTest, EmptyListWritesNothingAndStillEnds) {
  Export({});
  EXPECT_EQ(observer_.Events, (std::vector<std::string>{"ExportBegin 0", "ExportEnd"}));
  EXPECT_TRUE(files_.Opens().empty());
  EXPECT_TRUE(report_.Entries.empty());
}

TEST_F(ExportFragmentsTest, FileThatCannotBeCreatedEndsTheExportAndEarlierFilesStay) {
  files_.FailOpen(Out(2), std::errc::permission_denied);
  try {
    Export({"0 - 3072", "4096 - 5632", "8192 - 12800", "16384 - 19456"});
    FAIL() << "no error";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot create file \"" + Out(2) + "\". " +
                                             SystemErrorText(std::make_error_code(std::errc::permission_denied)));
  }
  EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(0, 3072));
  EXPECT_FALSE(files_.Exists(Out(3)));
  ASSERT_EQ(report_.Entries.size(), 4u);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Written);
  EXPECT_EQ(report_.Entries[1].Outcome, EntryOutcome::TooShort);
  EXPECT_EQ(report_.Entries[2].Outcome, EntryOutcome::Failed);
  EXPECT_EQ(report_.Entries[2].FilePath, Out(2));
  EXPECT_EQ(report_.Entries[3].Outcome, EntryOutcome::NotReached);
  EXPECT_FALSE(report_.SourceFailed);
  EXPECT_EQ(observer_.Events.back(), "ExportEnd");
}

TEST_F(ExportFragmentsTest, SourceThatCannotBeReopenedLeavesNoEmptyFile) {
  files_.FailOpen("src", std::errc::no_such_device);
  EXPECT_THROW(
      {
        try {
          Export({"0 - 3072"});
        } catch (const StreamError& error) {
          EXPECT_EQ(std::string(error.what()).rfind("Cannot open file \"src\". ", 0), 0u) << error.what();
          throw;
        }
      },
      StreamError);
  EXPECT_FALSE(files_.Exists(Out(0)));
  EXPECT_TRUE(report_.SourceFailed);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Failed);
  EXPECT_EQ(observer_.Events.back(), "ExportEnd");
}

TEST_F(ExportFragmentsTest, FullDiskNamesTheFileAndTheReasonAndEarlierFilesStay) {
  files_.Add(Out(1))->FailWritesAfter(1000, std::errc::no_space_on_device);
  try {
    Export({"0 - 3072", "3072 - 6144", "6144 - 9216"});
    FAIL() << "no error";
  } catch (const ExportError& error) {
    EXPECT_EQ(std::string(error.what()), "Cannot write file \"" + Out(1) + "\". " +
                                             SystemErrorText(std::make_error_code(std::errc::no_space_on_device)));
    EXPECT_EQ(error.Code(), std::make_error_code(std::errc::no_space_on_device));
  }
  EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(0, 3072));
  EXPECT_EQ(report_.Entries[1].Outcome, EntryOutcome::Failed);
  EXPECT_EQ(report_.Entries[2].Outcome, EntryOutcome::NotReached);
  EXPECT_FALSE(files_.Exists(Out(2)));
  EXPECT_EQ(report_.FilesWritten, 1);
  EXPECT_EQ(observer_.CountOf("FileWritten"), 1);
  EXPECT_EQ(observer_.Events.back(), "ExportEnd");
}

TEST_F(ExportFragmentsTest, WriteBackFailureAtTheEndOfAFileIsAWriteFailure) {
  files_.Add(Out(0))->FailFlushes(std::errc::io_error);
  EXPECT_THROW(Export({"0 - 3072"}), ExportError);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Failed);
  EXPECT_EQ(report_.FilesWritten, 0);
  EXPECT_EQ(observer_.CountOf("FileWritten"), 0);
}

TEST_F(ExportFragmentsTest, UnreadableSectorsAreWrittenAsZerosAndCounted) {
  // A copy block that fails after a full block was read into the buffer: its bad sectors must
  // come out as zeros, not as the previous block's bytes.
  const std::int64_t startOffset = 0;
  const std::int64_t lengthBytes = 180 * GroupBytes;
  source_->FailReads(BlockBytes + 1024, 1024);
  source_->FailReads(512, 512);
  Export({"0 - " + std::to_string(lengthBytes)});
  std::vector<std::uint8_t> expected = SourceBytes(startOffset, lengthBytes);
  std::fill(expected.begin() + 512, expected.begin() + 1024, std::uint8_t{0});
  std::fill(expected.begin() + BlockBytes + 1024, expected.begin() + BlockBytes + 2048, std::uint8_t{0});
  EXPECT_EQ(files_.Find(Out(0))->Contents(), expected);
  EXPECT_EQ(report_.UnreadableSectors, 3);
  EXPECT_EQ(report_.Entries[0].UnreadableSectors, 3);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Written);
}

TEST_F(ExportFragmentsTest, UnreadableStretchesKeepTheEventsFlowingAndAreNotStopped) {
  source_->FailReads(0, 3072);
  observer_.Stop = true;  // the export cannot be stopped; a stop request changes nothing
  Export({"0 - 3072"});
  EXPECT_GE(observer_.Pumps, 3);  // the entry's, the block's, and at least one inside the fallback
  EXPECT_EQ(files_.Find(Out(0))->Contents(), std::vector<std::uint8_t>(3072, 0));
  EXPECT_EQ(report_.UnreadableSectors, 6);
}

TEST_F(ExportFragmentsTest, FragmentReachingPastTheSourceEndStopsAtTheEndWithoutUnreadableSectors) {
  // A hit in one of a source's last two sectors begins a group that runs past the end. Those
  // bytes do not exist: they are neither unreadable sectors nor zeros in the file.
  source_->SetLength(4096);
  Export({"3072 - 6144"});
  EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(3072, 1024));
  EXPECT_EQ(report_.UnreadableSectors, 0);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Written);
  EXPECT_EQ(report_.Entries[0].FileBytes, 1024);
  EXPECT_EQ(report_.BytesWritten, 1024);
  EXPECT_EQ(observer_.Events[2], "FileWritten 0 " + Out(0) + " 1024");
}

TEST_F(ExportFragmentsTest, TheBytesOfAPartialLastSectorAreKept) {
  // An image whose length is no multiple of 512 (an .MTS file scanned as the source): the bytes
  // of its last, partial sector belong to the stream.
  source_->SetLength(4096 + 64);
  Export({"1536 - 4608", "4608 - 4608"});
  EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(1536, 2560 + 64));
  EXPECT_EQ(report_.UnreadableSectors, 0);
  EXPECT_EQ(report_.Entries[0].FileBytes, 2560 + 64);
  EXPECT_EQ(report_.Entries[1].FileBytes, 0);  // not written
}

// An earlier run made a rebuilt recording a second name of 0.MTS; exporting another card into
// the same folder writes a new 0.MTS and leaves that recording as it was.
TEST(ExportFragmentsOnDisk, AFragmentFileThatIsAlsoARebuiltRecordingKeepsThatRecording) {
  test::TempFolder folder;
  const std::vector<std::uint8_t> earlier = test::PacketStream(6);
  const std::string fragment = folder.WriteFile("0.MTS", earlier);
  const std::string recording = folder.File("recording.MTS");
  ASSERT_FALSE(ReplaceWithHardLink(fragment, recording));
  std::vector<std::uint8_t> image(4096, 0);
  const std::vector<std::uint8_t> stream = test::PacketStream(4);
  image.insert(image.end(), stream.begin(), stream.end());
  const std::string sourcePath = folder.WriteFile("card.img", image);
  RecordingObserver observer;
  ExportReport report;
  ExportFragments(sourcePath, folder.Path(), {"4096 - 10240"}, observer, report, OpenFileStream);
  EXPECT_EQ(test::TempFolder::ReadFile(fragment), std::vector<std::uint8_t>(image.begin() + 4096, image.end()));
  EXPECT_EQ(test::TempFolder::ReadFile(recording), earlier);
  EXPECT_FALSE(SameFile(fragment, recording));
}

// However the writing of 1.MTS ends short (a full disk, a failed write-back, a rename refused,
// an abort), no file under that name holds part of it: an earlier run's 1.MTS stays as it was,
// the part written is removed, and the report says so.
TEST_F(ExportFragmentsTest, AFileCutShortNeverCarriesItsFinalName) {
  struct AbortOnSecondFile : RecordingObserver {
    bool Abort = false;
    bool AbortRequested() override { return Abort && CountOf("FileWritten") == 1; }
  };
  const std::vector<std::uint8_t> earlier = {'o', 'l', 'd'};
  const std::vector<std::string> cases = {"full disk", "write-back", "rename", "abort"};
  for (const std::string& fault : cases) {
    SCOPED_TRACE(fault);
    files_ = MemoryFileSystem();
    source_ = files_.Add("src", Numbered(2 * BlockBytes));
    std::shared_ptr<test::MemoryFile> old = files_.Add(Out(1), earlier);
    if (fault == "full disk") old->FailWritesAfter(BlockBytes + 100, std::errc::no_space_on_device);
    if (fault == "write-back") old->FailFlushes(std::errc::io_error);
    if (fault == "rename") files_.FailRename(Out(1), std::errc::permission_denied);
    AbortOnSecondFile observer;
    observer.Abort = fault == "abort";
    report_ = ExportReport();
    const FragmentList fragments = {"0 - 3072", "3072 - " + std::to_string(3072 + 2 * BlockBytes), "9216 - 12288"};
    if (fault == "abort") {
      EXPECT_THROW(ExportFragments("src", "dest", fragments, observer, report_, files_.Opener()), RunAborted);
    } else {
      EXPECT_THROW(ExportFragments("src", "dest", fragments, observer, report_, files_.Opener()), ExportError);
    }
    EXPECT_EQ(files_.Find(Out(0))->Contents(), SourceBytes(0, 3072));
    EXPECT_EQ(files_.Find(Out(1))->Contents(), earlier);
    EXPECT_EQ(files_.Paths(), std::vector<std::string>({Out(0), Out(1), "src"}));
    ASSERT_TRUE(report_.CutShort.has_value());
    EXPECT_EQ(report_.CutShort->FinalPath, Out(1));
    EXPECT_EQ(report_.CutShort->LeftAs, "");
    EXPECT_EQ(report_.Entries[1].Outcome, EntryOutcome::Failed);
    EXPECT_EQ(report_.FilesWritten, 1);
  }
}

// The source ends before what the scan found there: the entry fails; it is never "written" with
// fewer bytes or zeros, and the file is not left behind.
TEST_F(ExportFragmentsTest, ASourceThatShrankSinceTheScanFailsTheEntryItLost) {
  const std::int64_t measuredBytes = 2 * BlockBytes;
  for (const std::int64_t shrunkTo : {std::int64_t{0}, std::int64_t{4000}}) {
    SCOPED_TRACE(shrunkTo);
    source_->SetLength(shrunkTo);
    report_ = ExportReport();
    EXPECT_THROW(ExportFragments("src", "dest", {"3072 - 6144", "9216 - 12288"}, observer_, report_,
                                 files_.Opener(), nullptr, measuredBytes),
                 ExportError);
    EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Failed);
    EXPECT_EQ(report_.FilesWritten, 0);
    EXPECT_FALSE(files_.Exists(Out(0)));
  }
  // Shrinking inside the copy: the block read comes back short with no error.
  files_ = MemoryFileSystem();
  source_ = files_.Add("src", Numbered(measuredBytes));
  source_->ShortReads(BlockBytes + 4096, measuredBytes);
  report_ = ExportReport();
  EXPECT_THROW(ExportFragments("src", "dest", {"0 - " + std::to_string(BlockBytes + 3 * 4096)}, observer_, report_,
                               files_.Opener(), nullptr, measuredBytes),
               ExportError);
  EXPECT_EQ(report_.Entries[0].Outcome, EntryOutcome::Failed);
  EXPECT_FALSE(files_.Exists(Out(0)));
}

// A link where an output (or its temporary file, left by a run cut short) goes is replaced,
// never written through: what it points to stays as it was.
TEST(ExportFragmentsOnDisk, LinksInAnOutputsPlaceAreReplacedNeverFollowed) {
  test::TempFolder folder;
  std::vector<std::uint8_t> image(4096, 0);
  const std::vector<std::uint8_t> stream = test::PacketStream(4);
  image.insert(image.end(), stream.begin(), stream.end());
  const std::string sourcePath = folder.WriteFile("card.img", image);
  const std::vector<std::uint8_t> precious = {'k', 'e', 'e', 'p'};
  const std::string victim = folder.WriteFile("precious.bin", precious);
  std::filesystem::create_directory(folder.File("out"));
  const std::string out = folder.File("out");
  std::error_code noLinks;
  std::filesystem::create_symlink(victim, OutputFileName(out, 0), noLinks);
  if (noLinks) GTEST_SKIP() << "skipped: no symbolic links here (" << noLinks.message() << ")";
  std::filesystem::create_symlink(victim, OutputFile::TemporaryName(OutputFileName(out, 0)));
  RecordingObserver observer;
  ExportReport report;
  ExportFragments(sourcePath, out, {"4096 - 10240"}, observer, report, OpenFileStream);
  EXPECT_EQ(test::TempFolder::ReadFile(victim), precious);
  EXPECT_FALSE(std::filesystem::is_symlink(OutputFileName(out, 0)));
  EXPECT_EQ(test::TempFolder::ReadFile(OutputFileName(out, 0)),
            std::vector<std::uint8_t>(image.begin() + 4096, image.begin() + 10240));
  EXPECT_FALSE(std::filesystem::exists(OutputFile::TemporaryName(OutputFileName(out, 0))));
}

TEST(ExportFragmentsOnDisk, AnOutputNameThatIsTheSourceItselfIsRefusedAndTheSourceKept) {
  // A recovered file scanned again into its own folder: writing 0.MTS would empty the source.
  test::TempFolder folder;
  std::vector<std::uint8_t> image(4096, 0);
  const std::vector<std::uint8_t> stream = test::PacketStream(4);
  image.insert(image.end(), stream.begin(), stream.end());
  const std::string sourcePath = folder.WriteFile("0.MTS", image);
  RecordingObserver observer;
  ExportReport report;
  try {
    ExportFragments(sourcePath, folder.Path(), {"4096 - 10240"}, observer, report, OpenFileStream);
    FAIL() << "the source was overwritten without an error";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()).rfind("Cannot create file \"" + OutputFileName(folder.Path(), 0) + "\". ", 0),
              0u)
        << error.what();
  }
  EXPECT_EQ(test::TempFolder::ReadFile(sourcePath), image);
  ASSERT_EQ(report.Entries.size(), 1u);
  EXPECT_EQ(report.Entries[0].Outcome, EntryOutcome::Failed);
  EXPECT_EQ(report.FilesWritten, 0);
  EXPECT_EQ(observer.Events.back(), "ExportEnd");
}

}  // namespace
}  // namespace mtsrescue
