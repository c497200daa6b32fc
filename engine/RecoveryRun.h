// The recovery run: scan, then always merge and export, then report any error.
#pragma once

#include "engine/ExportFragments.h"
#include "engine/FailureDetail.h"
#include "engine/FragmentList.h"
#include "engine/HitList.h"
#include "engine/ScanSource.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <string>

namespace mtsrescue {

class RunObserver;

enum class RunFailure {
  None,
  Source,  // the source could not be opened or read
  Export,  // an output file could not be created or written
};

struct RunReport;

// Work that follows the export over the very bytes it copies (the rebuild of whole recordings):
// the run knows it only through this hook.
class RunFollowUp {
 public:
  virtual ~RunFollowUp() = default;
  // Before the scan, which writes the files. heldSource is the run's own handle on the source
  // (null when it could not be opened), open until Finish returns. Returns the tap the writing
  // feeds, or null.
  virtual ExportTap* Prepare(ByteStream* heldSource, std::int64_t sourceLength) = 0;
  // After the scan and its writing, with all its hits; also after one that failed
  // (report.Failure and report.Detail say how; after an output's failure, only what needs no
  // room may be made). Not after an abort, nor on a dry run. Returns the failure it met (None,
  // or Source or Export with message and detail set); never throws.
  virtual RunFailure Finish(const RunReport& report, const HitList& hits, RunObserver& observer,
                            std::string& message, FailureDetail& detail) = 0;
  // What it will write after an export of fragmentBytes, roughly; for the free-space check.
  virtual std::int64_t EstimatedBytes(std::int64_t /*fragmentBytes*/) const { return 0; }
};

// The destination's room against what the run writes: the free space before the scan, which
// writes the files; while it writes, the run asks SpaceShort once when what it has found outgrows it.
struct SpaceCheck {
  std::int64_t FreeBytes = -1;      // on the destination's file system; -1 when it cannot be told
  std::int64_t FragmentBytes = 0;   // the numbered files, exactly
  std::int64_t RecordingBytes = 0;  // the rebuilt recordings, estimated
  bool Short = false;               // FreeBytes is known and less than the two together
  bool Declined = false;            // SpaceShort said no: the scan ended there
};

struct RunOptions {
  bool DryRun = false;  // scan and merge only; nothing is written
  // Runs after the scan (not on a dry run); owned by the caller.
  RunFollowUp* FollowUp = nullptr;
  MillisecondClock Clock;  // for the scan's bad areas; the system's when empty
};

struct RunReport {
  std::string SourcePath;
  std::int64_t SourceLength = 0;
  std::string DestFolder;
  ScanReport Scan;
  std::int64_t HitCount = 0;
  FragmentList Fragments;
  ExportReport Export;  // empty for a dry run
  // Every sector that could not be read, each once, whichever stage met it (the scan, or only
  // the export's copy: a sector that failed later than it was scanned).
  std::int64_t UnreadableSectors = 0;
  SpaceCheck Space;  // not made for a dry run
  bool Aborted = false;  // the observer asked to abort: the writing was given up where it was
  RunFailure Failure = RunFailure::None;
  std::string ErrorMessage;  // the user-facing text when Failure != None
  FailureDetail Detail;      // the same failure in parts
};

// Runs one recovery: one read of the source, which writes each fragment as the scan goes by it.
// Whatever ends the scan (end, stop, error), everything found up to there is written; the first
// error is returned in the report, never thrown. The caller clears its stop request before
// calling. When what the scan has found outgrows the destination's free space (recordings
// included), observer.SpaceShort decides whether the scan goes on; the files written stay.
RunReport RunRecovery(const std::string& sourcePath, std::int64_t sourceLength,
                      const std::string& destFolder, RunObserver& observer,
                      const RunOptions& options, const StreamOpener& opener);

}  // namespace mtsrescue
