// The recovery run: scan, then always merge and export, then report any error.
#pragma once

#include "rebuild/ClipBuilder.h"
#include "engine/ExportFragments.h"
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
  // Before the export, with the scan's hits. heldSource is the run's own handle on the source
  // (null when it could not be opened), open until Finish returns. Returns the tap the export
  // feeds, or null.
  virtual ExportTap* Prepare(ByteStream* heldSource, std::int64_t sourceLength, const HitList& hits) = 0;
  // After an export that ended without an output's failure. Returns the failure it met (None,
  // or Source or Export with message set); never throws.
  virtual RunFailure Finish(const RunReport& report, RunObserver& observer, std::string& message) = 0;
};

struct RunOptions {
  bool DryRun = false;  // scan and merge only; nothing is written
  // Runs after the export (not on a dry run); owned by the caller.
  RunFollowUp* FollowUp = nullptr;
};

struct RunReport {
  std::string SourcePath;
  std::int64_t SourceLength = 0;
  std::string DestFolder;
  ScanReport Scan;
  std::int64_t HitCount = 0;
  FragmentList Fragments;
  ExportReport Export;  // empty for a dry run
  RunFailure Failure = RunFailure::None;
  std::string ErrorMessage;  // the user-facing text when Failure != None
};

// Runs one recovery. Whatever ends the scan (end, stop, error), the hits found are merged and
// exported; the first error is returned in the report, never thrown. The caller clears its stop
// request before calling.
RunReport RunRecovery(const std::string& sourcePath, std::int64_t sourceLength,
                      const std::string& destFolder, RunObserver& observer,
                      const RunOptions& options, const StreamOpener& opener);

}  // namespace mtsrescue
