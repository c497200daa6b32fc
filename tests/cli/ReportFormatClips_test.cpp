// The reports' part on rebuilt recordings, and the option that turns the rebuilding off.
#include "cli/CommandLine.h"
#include "cli/ReportFormat.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

CliResult WithRecordings() {
  CliResult result;
  result.Options.Source = "card.img";
  result.Options.DestFolder = "out";
  ClipReport& clips = result.Clips;
  clips.Folder = "out/clips";
  clips.PieceCount = 5;
  clips.JoinedPieceCount = 4;
  clips.ClusterBytes = 32768;
  RebuiltClip first;
  first.Index = 0;
  first.FilePath = "out/clips/2024-05-01 09-08-07.MTS";
  first.Bytes = 98304;
  first.Recorded = RecordingDate{2024, 5, 1, 9, 8, 7};
  first.Pieces = {{5000000000, 5000032768}, {65536, 131072}};
  RebuiltClip second;
  second.Index = 1;
  second.FilePath = "out/clips/1.MTS";
  second.Bytes = 3072;
  second.HeadTrimmed = true;
  second.Pieces = {{200192, 203264}};
  second.LinkedTo = "out/7.MTS";
  clips.Recordings = {first, second};
  clips.UnjoinedPieces = {{200064, 203264}};
  return result;
}

TEST(ReportFormatClipsTest, JsonListsEveryRecordingWithItsPiecesAndTheUnjoinedPieces) {
  const std::string json = ReportFormat::Json(WithRecordings());
  EXPECT_NE(json.find("\"clips\": {\"folder\": \"out/clips\", \"pieces\": 5, \"joined_pieces\": 4, "
                      "\"cluster_bytes\": 32768"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("{\"index\": 0, \"file\": \"out/clips/2024-05-01 09-08-07.MTS\", \"bytes\": 98304, "
                      "\"head_trimmed\": false, \"tail_trimmed\": false, \"unreadable_sectors\": 0, "
                      "\"recorded\": \"2024-05-01T09:08:07\", \"stored\": \"copy\", \"linked_to\": null, "
                      "\"time_error\": null, \"pieces\": [{\"start\": 5000000000, "
                      "\"end\": 5000032768}, {\"start\": 65536, \"end\": 131072}]}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"head_trimmed\": true, \"tail_trimmed\": false, \"unreadable_sectors\": 0, "
                      "\"recorded\": null, \"stored\": \"link\", \"linked_to\": \"out/7.MTS\","),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"unjoined_pieces\": [{\"start\": 200064, \"end\": 203264}],"), std::string::npos) << json;
  EXPECT_NE(json.find("\"unused_pieces\": [],\n    \"all_rebuilt\": true,\n    \"dropped\": []}"),
            std::string::npos)
      << json;
}

// A chain that gave no recording is listed with why and where its bytes are, and the run says
// that not everything was rebuilt.
TEST(ReportFormatClipsTest, ChainsThatGaveNoRecordingAreListedWithReasonAndFiles) {
  CliResult result = WithRecordings();
  DroppedChain dropped;
  dropped.Reason = "no picture that can be shown";
  dropped.Pieces = {{600000, 632000}, {700000, 710000}};
  dropped.Bytes = 42000;
  dropped.FragmentFiles = {"out/4.MTS", "out/6.MTS"};
  result.Clips.Dropped = {dropped};
  const std::string json = ReportFormat::Json(result);
  EXPECT_NE(json.find("\"all_rebuilt\": false,\n    \"dropped\": [\n      {\"reason\": \"no picture that can be "
                      "shown\", \"bytes\": 42000, \"pieces\": [{\"start\": 600000, \"end\": 632000}, {\"start\": "
                      "700000, \"end\": 710000}], \"files\": [\"out/4.MTS\", \"out/6.MTS\"]}\n    ]}"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"result\": \"success\""), std::string::npos) << json;
  const std::string text = ReportFormat::Text(result);
  EXPECT_NE(text.find("Not rebuilt:  1 chains of pieces gave no recording"), std::string::npos) << text;
  EXPECT_NE(text.find("42000 bytes    2 pieces  (no picture that can be shown)\n            600000 - 632000\n"
                      "            700000 - 710000\n            in: out/4.MTS, out/6.MTS\n"),
            std::string::npos)
      << text;
}

TEST(ReportFormatClipsTest, SectorsThatCouldNotBeReadWhileFindingPiecesAreReported) {
  CliResult result = WithRecordings();
  result.Clips.UnreadableSectors = 4;
  EXPECT_NE(ReportFormat::Text(result).find("[4 unreadable sectors passed over while finding the pieces]"),
            std::string::npos);
  EXPECT_NE(ReportFormat::Json(result).find("\"bytes_written\": 0, \"unreadable_sectors\": 4,"),
            std::string::npos)
      << ReportFormat::Json(result);
}

TEST(ReportFormatClipsTest, JoinedPiecesOfNoRecordingAreListedAndCounted) {
  CliResult result = WithRecordings();
  result.Clips.UnusedPieces = {{300000, 310000}, {400000, 402000}};
  const std::string json = ReportFormat::Json(result);
  EXPECT_NE(json.find("\"unused_pieces\": [{\"start\": 300000, \"end\": 310000}, {\"start\": 400000, "
                      "\"end\": 402000}],"),
            std::string::npos)
      << json;
  const std::string text = ReportFormat::Text(result);
  EXPECT_NE(text.find("(4 joined, 1 unjoined; 2 joined but in no recording) in out/clips\n"), std::string::npos)
      << text;
}

TEST(ReportFormatClipsTest, TextSaysHowManyRecordingsFromHowManyPieces) {
  const std::string text = ReportFormat::Text(WithRecordings());
  EXPECT_NE(text.find("Recordings:   2 rebuilt from 5 pieces (4 joined, 1 unjoined) in out/clips\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("5000000000 - 5000032768"), std::string::npos) << text;
  EXPECT_NE(text.find("head lost"), std::string::npos) << text;
  EXPECT_NE(text.find("out/clips/2024-05-01 09-08-07.MTS  recorded 2024-05-01 09:08:07  (copy)"), std::string::npos)
      << text;
  EXPECT_NE(text.find("out/clips/1.MTS  (hard link to out/7.MTS: no second copy)"), std::string::npos) << text;
}

// A recording holding zeros where the source could not be read must not read as a whole copy.
TEST(ReportFormatClipsTest, TextShowsTheUnreadableSectorsOfARecording) {
  CliResult result = WithRecordings();
  result.Clips.Recordings[1].UnreadableSectors = 3;
  const std::string text = ReportFormat::Text(result);
  const std::size_t second = text.find("out/clips/1.MTS");
  ASSERT_NE(second, std::string::npos) << text;
  const std::string line = text.substr(second, text.find('\n', second) - second);
  EXPECT_NE(line.find("[3 unreadable sectors written as zeros]"), std::string::npos) << text;
  const std::size_t first = text.find("out/clips/2024-05-01");
  EXPECT_EQ(text.substr(first, text.find('\n', first) - first).find("unreadable"), std::string::npos) << text;
}

TEST(ReportFormatClipsTest, NoRebuildingShowsNoRecordingsAndJsonSaysNull) {
  CliResult dry = WithRecordings();
  dry.Options.DryRun = true;
  EXPECT_NE(ReportFormat::Json(dry).find("\"clips\": null,"), std::string::npos);
  EXPECT_EQ(ReportFormat::Text(dry).find("Recordings:"), std::string::npos);

  CliResult off = WithRecordings();
  off.Options.NoClips = true;
  EXPECT_NE(ReportFormat::Json(off).find("\"clips\": null,"), std::string::npos);

  CliResult failedBefore;
  failedBefore.Options.DestFolder = "out";
  failedBefore.Run.Failure = RunFailure::Export;
  EXPECT_NE(ReportFormat::Json(failedBefore).find("\"clips\": null,"), std::string::npos);
}

TEST(ReportFormatClipsTest, NoClipsIsAnOptionAndInTheHelp) {
  EXPECT_TRUE(CommandLine::Parse({"--no-clips", "card.img", "out"}).NoClips);
  EXPECT_FALSE(CommandLine::Parse({"card.img", "out"}).NoClips);
  EXPECT_THROW(CommandLine::Parse({"--no-clips=yes", "card.img", "out"}), UsageError);
  const std::string help = CommandLine::HelpText("mtsrescue-cli");
  EXPECT_NE(help.find("      --no-clips"), std::string::npos) << help;
  EXPECT_NE(help.find("DEST/clips"), std::string::npos) << help;
}

}  // namespace
}  // namespace mtsrescue
