// RunRecovery: scan, merge and export, with every failure kept for the report instead of thrown.
#include "engine/RecoveryRun.h"

#include "engine/EngineConstants.h"
#include "engine/HitList.h"
#include "engine/RunObserver.h"
#include "platform/FileStream.h"

#include <exception>
#include <memory>
#include <vector>

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

  // A handle on the source held from before the scan to the end of the run: the last handle of a
  // disk closing can drop its cached sectors (Linux does), and the export would read them from
  // the card again. The search for recordings' pieces reads its few scattered bytes through it.
  std::unique_ptr<ByteStream> heldSource;
  if (!options.DryRun) {
    try {
      heldSource = opener(sourcePath, OpenMode::ReadSharedScattered);
    } catch (const std::exception&) {
      // The scan meets the same failure and reports it.
    }
  }

  HitList hits;
  try {
    report.Scan = ScanSource(sourcePath, sourceLength, hits, observer, opener);
  } catch (const std::exception& error) {
    // Stopping or failing ends the reading, not the recovery: what was found is still written.
    NoteFailure(report, RunFailure::Source, error.what());
  }
  report.HitCount = hits.Count();
  // A source of which not one sector could be read (a reader without its card, a dead card) has
  // not been scanned: finding nothing there must not pass for success.
  const std::int64_t testedSectors = report.Scan.BytesRead / SectorBytes;
  if (testedSectors > 0 && report.Scan.UnreadableSectors >= testedSectors) {
    NoteFailure(report, RunFailure::Source,
                ("Cannot read file \"" + sourcePath + "\". No sector of it could be read.").c_str());
  }

  try {
    MergeHits(hits, report.Fragments, &observer);
  } catch (const std::exception& error) {
    NoteFailure(report, RunFailure::Source, error.what());
  }
  RunFollowUp* const followUp = options.DryRun ? nullptr : options.FollowUp;
  ExportTap* tap = nullptr;
  if (followUp != nullptr) tap = followUp->Prepare(heldSource.get(), sourceLength, hits);
  hits.Clear();

  if (!options.DryRun) {
    try {
      ExportFragments(sourcePath, destFolder, report.Fragments, observer, report.Export, opener, tap);
    } catch (const std::exception& error) {
      NoteFailure(report, report.Export.SourceFailed ? RunFailure::Source : RunFailure::Export, error.what());
    }
  }
  if (followUp != nullptr && report.Failure != RunFailure::Export) {
    std::string message;
    const RunFailure failure = followUp->Finish(report, observer, message);
    if (failure != RunFailure::None) NoteFailure(report, failure, message.c_str());
  }
  return report;
}

}  // namespace mtsrescue

