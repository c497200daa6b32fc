// RunRecovery: scan, merge and export, with every failure kept for the report instead of thrown.
#include "engine/RecoveryRun.h"

#include "engine/EngineConstants.h"
#include "engine/HitList.h"
#include "engine/PieceSearch.h"
#include "engine/RunObserver.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

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

std::vector<ClipSpan> HitRunSpans(const HitList& hits) {
  std::vector<ClipSpan> runs;
  runs.reserve(hits.Runs().size());
  for (const HitRun& run : hits.Runs()) {
    runs.push_back({run.StartOffset, run.StartOffset + run.Count * GroupBytes});
  }
  return runs;
}

// The last step: whole recordings from the pieces around the hit runs. The numbered fragment
// files are left as they are whatever happens here.
void RebuildRecordings(RunReport& report, const std::vector<ClipSpan>& hitRuns, RunObserver& observer,
                       const RunOptions& options, const StreamOpener& opener, PieceSearch* search) {
  const FolderMaker makeFolder =
      options.MakeClipsFolder ? options.MakeClipsFolder : FolderMaker(CreateFolderTree);
  // The fragment files just written hold most of the bytes: read them there, not again from a
  // source that may be slow or failing. A file with sectors written as zeros is passed over.
  std::vector<SourceCopy> copies;
  for (const ExportedEntry& entry : report.Export.Entries) {
    if (entry.Outcome == EntryOutcome::Written && entry.UnreadableSectors == 0) {
      copies.push_back({entry.StartOffset, entry.EndOffset, entry.FilePath});
    }
  }
  try {
    RebuildClips(report.SourcePath, report.SourceLength, hitRuns, copies, report.DestFolder, observer,
                 report.Clips, opener, makeFolder, search);
  } catch (const std::exception& error) {
    NoteFailure(report, report.Clips.SourceFailed ? RunFailure::Source : RunFailure::Export, error.what());
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
  std::vector<ClipSpan> hitRuns;
  if (!options.DryRun && options.Clips) hitRuns = HitRunSpans(hits);
  hits.Clear();

  // The pieces of the recordings are looked for in the bytes the export copies, as it copies
  // them: the fragment files need not be read back for it.
  std::unique_ptr<PieceSearch> search;
  if (heldSource && options.Clips) search = std::make_unique<PieceSearch>(*heldSource, sourceLength, hitRuns);
  if (!options.DryRun) {
    try {
      ExportFragments(sourcePath, destFolder, report.Fragments, observer, report.Export, opener, search.get());
    } catch (const std::exception& error) {
      NoteFailure(report, report.Export.SourceFailed ? RunFailure::Source : RunFailure::Export, error.what());
    }
  }
  if (!options.DryRun && options.Clips && report.Failure != RunFailure::Export) {
    RebuildRecordings(report, hitRuns, observer, options, opener, search.get());
  }
  return report;
}

}  // namespace mtsrescue

