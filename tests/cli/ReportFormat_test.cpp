// The reports: entry statuses for runs, dry runs and failed exports; JSON string safety.
#include "cli/ReportFormat.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

CliResult ResultWith(std::vector<std::string> fragments, bool dryRun) {
  CliResult result;
  result.Options.Source = "card.img";
  result.Options.DestFolder = "out";
  result.Options.DryRun = dryRun;
  result.Run.SourceLength = 1 << 20;
  result.Run.Scan.BytesRead = 1 << 20;
  result.Run.Fragments = std::move(fragments);
  return result;
}

TEST(ReportFormatTest, DryRunPlansTwoGroupsAndMoreAndSkipsLoneGroups) {
  CliResult result = ResultWith({"1024 - 2560", "10240 - 13312", "5000000000 - 5000004608"}, true);
  const std::vector<EntryView> views = ReportFormat::Entries(result);
  ASSERT_EQ(views.size(), 3u);
  EXPECT_EQ(views[0].Status, EntryStatus::TooShort);
  EXPECT_EQ(views[0].Length, 1536);
  EXPECT_TRUE(views[0].File.empty());
  EXPECT_FALSE(views[0].Reason.empty());
  EXPECT_EQ(views[1].Status, EntryStatus::WouldWrite);
  EXPECT_EQ(views[1].Length, 3072);  // exactly the run, not one byte more
  EXPECT_EQ(views[1].File, OutputFileName("out", 1));
  // Beyond 4 GiB nothing wraps.
  EXPECT_EQ(views[2].StartOffset, 5000000000);
  EXPECT_EQ(views[2].Length, 4608);

  const std::string text = ReportFormat::Text(result);
  EXPECT_NE(text.find("Would write:  2 files, 7680 bytes"), std::string::npos) << text;
  EXPECT_NE(text.find("nothing written"), std::string::npos) << text;
}

TEST(ReportFormatTest, ExportOutcomesAreShownPerEntry) {
  CliResult result = ResultWith({"0 - 4608", "10240 - 11776", "20480 - 26624", "30720 - 36864"}, false);
  result.Run.Failure = RunFailure::Export;
  result.Run.ErrorMessage = "Cannot create file \"out/2.MTS\". Permission denied";
  ExportReport& exported = result.Run.Export;
  exported.Entries.resize(4);
  exported.Entries[0].Outcome = EntryOutcome::Written;
  exported.Entries[0].FilePath = "out/0.MTS";
  exported.Entries[0].UnreadableSectors = 2;
  exported.Entries[1].Outcome = EntryOutcome::TooShort;
  exported.Entries[2].Outcome = EntryOutcome::Failed;
  exported.Entries[2].FilePath = "out/2.MTS";
  exported.Entries[3].Outcome = EntryOutcome::NotReached;
  exported.FilesWritten = 1;
  exported.BytesWritten = 4608;

  const std::vector<EntryView> views = ReportFormat::Entries(result);
  ASSERT_EQ(views.size(), 4u);
  EXPECT_EQ(views[0].Status, EntryStatus::Written);
  EXPECT_EQ(views[0].UnreadableSectors, 2);
  EXPECT_EQ(views[1].Status, EntryStatus::TooShort);
  EXPECT_EQ(views[2].Status, EntryStatus::Failed);
  EXPECT_EQ(views[2].Reason, result.Run.ErrorMessage);
  EXPECT_EQ(views[3].Status, EntryStatus::NotReached);
  EXPECT_FALSE(views[3].Reason.empty());

  result.Code = ExitCode::Export;
  const std::string json = ReportFormat::Json(result);
  EXPECT_NE(json.find("\"result\": \"export error\""), std::string::npos);
  EXPECT_NE(json.find("\"exit_code\": 3"), std::string::npos);
  EXPECT_NE(json.find("\"error\": \"Cannot create file \\\"out/2.MTS\\\". Permission denied\""),
            std::string::npos) << json;
  EXPECT_NE(json.find("{\"index\": 2, \"start\": 20480, \"end\": 26624, \"length\": 6144, "
                      "\"status\": \"failed\", \"file\": \"out/2.MTS\""),
            std::string::npos) << json;
}

TEST(ReportFormatTest, EntriesTheExportNeverSawAreNotReportedAsWritten) {
  // A run whose export did not run at all (the report holds no export entries).
  CliResult result = ResultWith({"0 - 4608", "8192 - 9728"}, false);
  result.Run.Failure = RunFailure::Source;
  result.Run.ErrorMessage = "Cannot open file \"card.img\". Input/output error";
  const std::vector<EntryView> views = ReportFormat::Entries(result);
  EXPECT_EQ(views[0].Status, EntryStatus::NotReached);
  EXPECT_NE(views[0].Reason.find("Input/output error"), std::string::npos);
  EXPECT_EQ(views[1].Status, EntryStatus::TooShort);
}

TEST(ReportFormatTest, JsonStringsEscapeWhatJsonForbids) {
  EXPECT_EQ(ReportFormat::JsonString("plain"), "\"plain\"");
  EXPECT_EQ(ReportFormat::JsonString("a\"b\\c"), "\"a\\\"b\\\\c\"");
  EXPECT_EQ(ReportFormat::JsonString("line\nnext\ttab\x01"), "\"line\\nnext\\ttab\\u0001\"");
  // UTF-8 passes through: a Chinese folder name.
  EXPECT_EQ(ReportFormat::JsonString("\xe8\xa7\x86\xe9\xa2\x91"), "\"\xe8\xa7\x86\xe9\xa2\x91\"");
  // Bytes that are not UTF-8 (a GBK name, a cut sequence, an overlong form, a surrogate) would make
  // the whole report unparseable; each becomes U+FFFD.
  EXPECT_EQ(ReportFormat::JsonString("\xca\xd3"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(ReportFormat::JsonString("x\xe8\xa7"), "\"x\\ufffd\\ufffd\"");
  EXPECT_EQ(ReportFormat::JsonString("\xc0\xaf"), "\"\\ufffd\\ufffd\"");
  EXPECT_EQ(ReportFormat::JsonString("\xed\xa0\x80"), "\"\\ufffd\\ufffd\\ufffd\"");
}

TEST(ReportFormatTest, JsonOfAnEmptyRunIsCompleteAndSaysSo) {
  CliResult result = ResultWith({}, true);
  result.Options.DestFolder.clear();
  const std::string json = ReportFormat::Json(result);
  EXPECT_NE(json.find("\"fragments\": [],"), std::string::npos) << json;
  EXPECT_NE(json.find("\"destination\": null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"dry_run\": true"), std::string::npos) << json;
  EXPECT_EQ(json.substr(json.size() - 2), "}\n");
}

}  // namespace
}  // namespace mtsrescue
