// RunRecovery: scan, merge and export, with every failure kept for the report instead of thrown.
#include "engine/RecoveryRun.h"

#include "engine/HitList.h"
#include "engine/RunObserver.h"

#include <exception>

namespace mtsrescue {

namespace {

void NoteFailure(RunReport& report, RunFailure failure, const char* message) {
  if (report.Failure == RunFailure::None) {
    report.Failure = failure;
    report.ErrorMessage = message;
  }
}

}  // namespace

RunReport RunRecovery(const std::string& sourcePath, std::int64_t sourceLength,
                      const std::string& destFolder, RunObserver& observer,
                      const RunOptions& options, const StreamOpener& opener) {
  RunReport report;
  report.SourcePath = sourcePath;
  report.SourceLength = sourceLength;
  report.DestFolder = destFolder;

  HitList hits;
  try {
    report.Scan = ScanSource(sourcePath, sourceLength, hits, observer, opener);
  } catch (const std::exception& error) {
    // Stopping or failing ends the reading, not the recovery: what was found is still written.
    NoteFailure(report, RunFailure::Source, error.what());
  }
  report.HitCount = hits.Count();

  try {
    MergeHits(hits, report.Fragments, &observer);
  } catch (const std::exception& error) {
    NoteFailure(report, RunFailure::Source, error.what());
  }
  hits.Clear();

  if (!options.DryRun) {
    try {
      ExportFragments(sourcePath, destFolder, report.Fragments, observer, report.Export, opener);
    } catch (const std::exception& error) {
      NoteFailure(report, report.Export.SourceFailed ? RunFailure::Source : RunFailure::Export, error.what());
    }
  }
  return report;
}

}  // namespace mtsrescue

