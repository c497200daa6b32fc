// mtsrescue-cli's whole flow on in-memory sources: exit codes, what is written, what is printed.
#include "cli/CliApp.h"

#include "FakeFiles.h"
#include "engine/EngineConstants.h"
#include "engine/ExportFragments.h"
#include "platform/FileStream.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// The JSON line of fragment entry index.
std::string ReportLine(const std::string& json, int index) {
  const std::size_t at = json.find("{\"index\": " + std::to_string(index) + ",");
  return at == std::string::npos ? std::string() : json.substr(at, json.find('\n', at) - at);
}

// A fresh real folder per test: the destination is created and probed on the real file system.
class CliAppTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("mtsrescue_cli_test_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }

  int Run(std::vector<std::string> args) {
    CliEnvironment env;
    env.Out = &out_;
    env.Err = &err_;
    env.ErrIsTerminal = terminal_;
    env.InterruptCount = [this] { return interrupts_ ? interrupts_(++stopChecks_) : 0; };
    env.Clock = [this] { return now_ += 0.05; };
    env.Opener = files_.Opener();
    return CliApp(env).Run(args);
  }

  std::string Dest(const std::string& name = "out") const { return (root_ / name).string(); }

  // Three blocks: a 3-group run at 0, a lone group at 100000 (too short), a 4-group run in block 2.
  Bytes SampleSource() {
    Bytes data(3 * BlockBytes, 0);
    test::PutStream(data, 0, 3, 1);
    test::PutStream(data, 100352, 1, 2);
    test::PutStream(data, 2 * BlockBytes + 4096, 4, 3);
    return data;
  }

  fs::path root_;
  test::FakeFiles files_;
  std::ostringstream out_;
  std::ostringstream err_;
  bool terminal_ = false;
  std::function<int(int)> interrupts_;
  int stopChecks_ = 0;
  double now_ = 0;
};

TEST_F(CliAppTest, RecoversEachRunIntoItsIndexedFileOfExactlyTheRunsBytes) {
  const Bytes source = SampleSource();
  files_.Add("card.img", source);
  EXPECT_EQ(Run({"card.img", Dest()}), 0) << err_.str();

  const std::string file0 = OutputFileName(Dest(), 0);
  const std::string file2 = OutputFileName(Dest(), 2);
  ASSERT_TRUE(files_.Has(file0));
  EXPECT_EQ(files_.At(file0), Bytes(source.begin(), source.begin() + 3 * GroupBytes));
  EXPECT_FALSE(files_.Has(OutputFileName(Dest(), 1))) << "a lone group is not written";
  ASSERT_TRUE(files_.Has(file2));
  const auto start = source.begin() + 2 * BlockBytes + 4096;
  EXPECT_EQ(files_.At(file2), Bytes(start, start + 4 * GroupBytes));
  // The source was only ever opened for reading.
  for (const auto& [path, mode] : files_.Opened) {
    if (path == "card.img") {
      EXPECT_TRUE(mode == OpenMode::ReadShared || mode == OpenMode::ReadSharedScattered);
    }
  }
  EXPECT_NE(out_.str().find("Written:      2 files, 10752 bytes"), std::string::npos) << out_.str();
  EXPECT_TRUE(fs::is_directory(Dest())) << "the destination folder is made";
}

TEST_F(CliAppTest, MissingSourceIsASourceErrorAndMakesNoDestination) {
  EXPECT_EQ(Run({"nowhere.img", Dest("new")}), 2);
  EXPECT_NE(err_.str().find("Cannot open file \"nowhere.img\"."), std::string::npos) << err_.str();
  EXPECT_FALSE(fs::exists(Dest("new")));
  EXPECT_TRUE(files_.Created.empty());
}

TEST_F(CliAppTest, AFolderIsNoSource) {
  EXPECT_EQ(Run({root_.string(), Dest()}), 2);
  EXPECT_NE(err_.str().find("folder"), std::string::npos) << err_.str();
}

TEST_F(CliAppTest, DestinationThatCannotBeAFolderIsADestinationError) {
  files_.Add("card.img", SampleSource());
  std::ofstream(Dest("plain-file")) << "x";
  EXPECT_EQ(Run({"card.img", Dest("plain-file")}), 2);
  EXPECT_NE(err_.str().find("Cannot create folder"), std::string::npos) << err_.str();
  EXPECT_EQ(Run({"card.img", Dest("plain-file") + "/below"}), 2);
  EXPECT_TRUE(files_.Created.empty()) << "nothing is scanned or written";
}

TEST_F(CliAppTest, DestinationWhereFilesCannotBeMadeFailsBeforeTheScan) {
  files_.Add("card.img", SampleSource());
  files_.FailCreate.insert(Dest() + PathSeparator() + ".mtsrescue-write-test");
  EXPECT_EQ(Run({"--json", "card.img", Dest()}), 2);
  EXPECT_NE(out_.str().find("\"bytes_read\": 0"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("\"exit_code\": 2"), std::string::npos) << out_.str();
}

TEST_F(CliAppTest, WriteTestFileDoesNotStayBehind) {
  files_.Add("card.img", SampleSource());
  ASSERT_EQ(Run({"card.img", Dest()}), 0);
  // The probe is created through the opener, which here is in memory; on disk it is removed.
  EXPECT_TRUE(fs::is_empty(Dest()));
}

TEST_F(CliAppTest, ExportFailureExitsThreeAndKeepsEarlierFiles) {
  files_.Add("card.img", SampleSource());
  files_.FailCreate.insert(OutputFileName(Dest(), 2));
  EXPECT_EQ(Run({"card.img", Dest()}), 3);
  EXPECT_TRUE(files_.Has(OutputFileName(Dest(), 0)));
  EXPECT_NE(err_.str().find("Cannot create file \"" + OutputFileName(Dest(), 2) + "\"."), std::string::npos)
      << err_.str();
  EXPECT_NE(out_.str().find("failed"), std::string::npos) << out_.str();
}

TEST_F(CliAppTest, DryRunWritesNothingNotEvenTheFolder) {
  files_.Add("card.img", SampleSource());
  EXPECT_EQ(Run({"--dry-run", "card.img", Dest("planned")}), 0) << err_.str();
  EXPECT_TRUE(files_.Created.empty());
  EXPECT_FALSE(fs::exists(Dest("planned")));
  const std::string text = out_.str();
  EXPECT_NE(text.find("would be written  " + OutputFileName(Dest("planned"), 0)), std::string::npos) << text;
  EXPECT_NE(text.find("Would write:  2 files, 10752 bytes"), std::string::npos) << text;
}

TEST_F(CliAppTest, InterruptBeforeTheFirstBlockReadsNothingAndExitsFour) {
  files_.Add("card.img", SampleSource());
  interrupts_ = [](int) { return 1; };
  EXPECT_EQ(Run({"--json", "card.img", Dest()}), 4);
  const std::string json = out_.str();
  EXPECT_NE(json.find("\"bytes_read\": 0"), std::string::npos) << json;
  EXPECT_NE(json.find("\"stopped\": true"), std::string::npos) << json;
  EXPECT_NE(json.find("\"result\": \"interrupted\""), std::string::npos) << json;
  EXPECT_NE(err_.str().find("interrupted"), std::string::npos) << err_.str();
}

TEST_F(CliAppTest, InterruptMidScanStillWritesWhatWasFound) {
  files_.Add("card.img", SampleSource());
  interrupts_ = [](int check) { return check > 1 ? 1 : 0; };  // Ctrl-C while the first block is read
  EXPECT_EQ(Run({"card.img", Dest()}), 4);
  EXPECT_TRUE(files_.Has(OutputFileName(Dest(), 0))) << "the run found before the stop is exported";
  EXPECT_FALSE(files_.Has(OutputFileName(Dest(), 2))) << "block 2 was never read";
}

TEST_F(CliAppTest, SourceLostBeforeTheExportIsASourceErrorAndStillReported) {
  files_.Add("card.img", SampleSource());
  files_.OpensLeft["card.img"] = 2;  // measured and scanned, then gone (a card pulled out)
  EXPECT_EQ(Run({"card.img", Dest()}), 2);
  EXPECT_NE(err_.str().find("Cannot open file \"card.img\"."), std::string::npos) << err_.str();
  const std::string text = out_.str();
  EXPECT_NE(text.find("Hits:"), std::string::npos) << "what the scan found is still reported";
  EXPECT_EQ(text.find("  written  "), std::string::npos) << text;
  EXPECT_NE(text.find("Written:      0 files"), std::string::npos) << text;
}

TEST_F(CliAppTest, UnreadableSectorsAreCountedReportedAndWrittenAsZeros) {
  const Bytes source = SampleSource();
  files_.Add("card.img", source);
  // One bad sector inside the first run but not a hit sector (the second of group 1), one in
  // empty space.
  files_.BadSectors["card.img"] = {2048, 200704};
  EXPECT_EQ(Run({"--json", "card.img", Dest()}), 0) << err_.str();
  const std::string json = out_.str();
  EXPECT_NE(json.find("\"unreadable_sectors\": 2,"), std::string::npos) << json;
  EXPECT_NE(err_.str().find("2 sectors could not be read"), std::string::npos) << err_.str();
  // The run keeps its three groups; the file holds zeros where the sector could not be read.
  EXPECT_NE(json.find("{\"index\": 0, \"start\": 0, \"end\": 4608, \"length\": 4608, "
                      "\"file_bytes\": 4608, \"status\": \"written\""),
            std::string::npos) << json;
  ASSERT_TRUE(files_.Has(OutputFileName(Dest(), 0)));
  Bytes expected(source.begin(), source.begin() + 3 * GroupBytes);
  std::fill(expected.begin() + 2048, expected.begin() + 2560, 0);
  EXPECT_EQ(files_.At(OutputFileName(Dest(), 0)), expected);
  EXPECT_NE(ReportLine(json, 0).find("\"unreadable_sectors\": 1}"), std::string::npos) << json;
}

TEST_F(CliAppTest, EmptySourceSucceedsWithNothingWritten) {
  files_.Add("empty.img", {});
  EXPECT_EQ(Run({"--json", "empty.img", Dest()}), 0);
  EXPECT_NE(out_.str().find("\"fragments\": [],"), std::string::npos) << out_.str();
  EXPECT_NE(out_.str().find("\"files_written\": 0"), std::string::npos) << out_.str();
}

TEST_F(CliAppTest, ProgressOnlyOnATerminalAndNeverWithQuiet) {
  files_.Add("card.img", SampleSource());
  terminal_ = false;
  ASSERT_EQ(Run({"--dry-run", "card.img"}), 0);
  EXPECT_EQ(err_.str().find('\r'), std::string::npos) << "no progress when stderr is not a terminal";

  err_.str("");
  terminal_ = true;
  ASSERT_EQ(Run({"--dry-run", "card.img"}), 0);
  EXPECT_NE(err_.str().find("fragments found: "), std::string::npos) << err_.str();
  EXPECT_EQ(out_.str().find('\r'), std::string::npos) << "progress never reaches stdout";

  err_.str("");
  ASSERT_EQ(Run({"--dry-run", "--quiet", "card.img"}), 0);
  EXPECT_TRUE(err_.str().empty()) << err_.str();
}

TEST_F(CliAppTest, UsageErrorsAndInformationalOptions) {
  EXPECT_EQ(Run({}), 1);
  EXPECT_NE(err_.str().find("--help"), std::string::npos);
  EXPECT_TRUE(out_.str().empty());
  EXPECT_EQ(Run({"--help"}), 0);
  EXPECT_NE(out_.str().find("Exit status"), std::string::npos);
  out_.str("");
  EXPECT_EQ(Run({"--version"}), 0);
  EXPECT_EQ(out_.str().rfind("mtsrescue-cli ", 0), 0u) << out_.str();
}

}  // namespace
}  // namespace mtsrescue
