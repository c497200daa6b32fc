// What mtsrescue-cli prints when a run is over: a text listing or a JSON report.
#pragma once

#include "cli/CommandLine.h"
#include "engine/RecoveryRun.h"
#include "rebuild/ClipBuilder.h"
#include "thumbnails/ThumbnailSet.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mtsrescue {

// Everything the report is made from.
struct CliResult {
  CliOptions Options;
  RunReport Run;
  ClipReport Clips;  // the rebuilt recordings; empty when they were not rebuilt
  std::optional<ThumbnailReport> Thumbnails;  // with --thumbnails, after a run that wrote files
  // Output-named files that DEST (and DEST/clips) held before the run and that this run did not
  // write again: an earlier run's, still there, not of this report.
  std::vector<std::string> EarlierFiles;
  ExitCode Code = ExitCode::Success;
};

enum class EntryStatus { Written, WouldWrite, TooShort, Failed, NotReached };

// One fragment entry as the report shows it.
struct EntryView {
  std::int64_t Index = 0;
  std::int64_t StartOffset = 0;
  std::int64_t EndOffset = 0;
  std::int64_t Length = 0;  // end - start
  // The bytes its file holds (or would): Length, less what lies past the end of the source.
  std::int64_t FileBytes = 0;
  EntryStatus Status = EntryStatus::NotReached;
  std::string File;         // the output file written, tried or planned; empty when none
  std::string Reason;       // why it was not written; empty when it was (or would be)
  std::int64_t UnreadableSectors = 0;  // written as zeros
};

class ReportFormat {
 public:
  static std::vector<EntryView> Entries(const CliResult& result);
  // Lines for a person: source, reading, hits, then one line per entry, then the totals.
  static std::string Text(const CliResult& result);
  // One JSON object (UTF-8, ending with a line break): source, length, destination (null for a dry
  // run without one), dry_run, bytes_read, unreadable_sectors (every stage's, each sector once),
  // stopped, hits, fragments (each: index, start, end, length, status, file, reason,
  // unreadable_sectors), files_written, bytes_written, cut_short (the file a failure cut short:
  // file, left_as, null when removed; or null), space (free_bytes, fragment_bytes,
  // recording_bytes_estimated, short; null for a dry run), earlier_files, clips, thumbnails (null
  // without --thumbnails), aborted, result,
  // exit_code, error (null on success). Offsets and lengths in bytes.
  static std::string Json(const CliResult& result);
  // The rebuilt recordings: empty text / "null" when they were not rebuilt (dry run, --no-clips).
  static std::string ClipsText(const CliResult& result);
  static std::string ClipsJson(const CliResult& result);
  // The pictures: empty text / "null" without --thumbnails. JSON: index (the page, or null),
  // decoding (whether the build has a decoder), error, pictures (each: file, picture or null,
  // decoded, duration and picture_at in seconds or null, note or null).
  static std::string ThumbnailsText(const CliResult& result);
  static std::string ThumbnailsJson(const CliResult& result);
  // text as a JSON string literal with its quotes; bytes that are not UTF-8 become U+FFFD.
  static std::string JsonString(const std::string& text);
  static const char* StatusName(EntryStatus status);
  static const char* ResultName(ExitCode code);
};

}  // namespace mtsrescue
