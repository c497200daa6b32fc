// RecordingRebuild: hands the export a piece search, then writes the recordings it planned.
#include "rebuild/RecordingRebuild.h"

#include "engine/EngineConstants.h"
#include "platform/Folders.h"

#include <exception>
#include <utility>

namespace mtsrescue {

RecordingRebuild::RecordingRebuild(StreamOpener opener, FolderMaker makeFolder, ClipFileSystem files)
    : opener_(std::move(opener)),
      makeFolder_(makeFolder ? std::move(makeFolder) : FolderMaker(CreateFolderTree)),
      files_(std::move(files)) {}

ExportTap* RecordingRebuild::Prepare(ByteStream* heldSource, std::int64_t sourceLength) {
  search_.reset();
  // Without a handle held through the scan the pieces are found afterwards, from the files.
  if (heldSource != nullptr) search_ = std::make_unique<PieceSearch>(*heldSource, sourceLength, std::vector<ClipSpan>{});
  return search_.get();
}

RunFailure RecordingRebuild::Finish(const RunReport& report, const HitList& hits, RunObserver& observer,
                                    std::string& message, FailureDetail& detail) {
  ran_ = true;
  hitRuns_.clear();
  hitRuns_.reserve(hits.Runs().size());
  for (const HitRun& run : hits.Runs()) {
    hitRuns_.push_back({run.StartOffset, run.StartOffset + run.Count * GroupBytes});
  }
  // The fragment files just written hold most of the bytes: read them there, not again from a
  // source that may be slow or failing. A file with sectors written as zeros is passed over.
  std::vector<SourceCopy> copies;
  for (const ExportedEntry& entry : report.Export.Entries) {
    if (entry.Outcome == EntryOutcome::Written && entry.UnreadableSectors == 0) {
      copies.push_back({entry.StartOffset, entry.EndOffset, entry.FilePath});
    }
  }
  // A dropped chain's bytes also lie in fragment files that are not read here.
  std::vector<SourceCopy> written;
  for (const ExportedEntry& entry : report.Export.Entries) {
    if (entry.Outcome == EntryOutcome::Written) written.push_back({entry.StartOffset, entry.EndOffset, entry.FilePath});
  }
  const auto listFiles = [&] {
    for (DroppedChain& dropped : report_.Dropped) dropped.FragmentFiles = FilesHolding(dropped.Pieces, written);
  };
  // A full or unwritable destination has room for nothing new, but a second name takes none.
  const bool linksOnly = report.Failure == RunFailure::Export && OutputFailure(report.Detail.Kind);
  try {
    RebuildClips(report.SourcePath, report.SourceLength, hitRuns_, copies, report.DestFolder, observer,
                 report_, opener_, makeFolder_, search_.get(), files_, linksOnly);
  } catch (const std::exception& error) {
    listFiles();
    message = error.what();
    detail = DetailOf(error, report_.SourceFailed, report.SourcePath);
    return report_.SourceFailed ? RunFailure::Source : RunFailure::Export;
  }
  listFiles();
  return RunFailure::None;
}

}  // namespace mtsrescue
