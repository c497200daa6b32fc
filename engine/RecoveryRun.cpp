// RunRecovery: scan, merge and export, with every failure kept for the report instead of thrown.
#include "engine/RecoveryRun.h"

#include "engine/EngineConstants.h"
#include "engine/FragmentWriter.h"
#include "engine/HitList.h"
#include "engine/RunObserver.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

namespace mtsrescue {

namespace {

void NoteFailure(RunReport& report, RunFailure failure, const std::string& message, FailureDetail detail) {
  if (report.Failure == RunFailure::None) {
    report.Failure = failure;
    report.ErrorMessage = message;
    report.Detail = std::move(detail);
  }
}

// The sectors of stretch that known (ascending, not overlapping) does not hold.
std::int64_t SectorsNotIn(const std::vector<UnreadableStretch>& known, const UnreadableStretch& stretch) {
  const std::int64_t endOffset = stretch.Offset + stretch.SectorCount * SectorBytes;
  std::int64_t coveredBytes = 0;
  auto at = std::upper_bound(known.begin(), known.end(), stretch.Offset,
                             [](std::int64_t offset, const UnreadableStretch& k) { return offset < k.Offset; });
  if (at != known.begin()) --at;
  for (; at != known.end() && at->Offset < endOffset; ++at) {
    const std::int64_t from = std::max(at->Offset, stretch.Offset);
    const std::int64_t to = std::min(at->Offset + at->SectorCount * SectorBytes, endOffset);
    if (to > from) coveredBytes += to - from;
  }
  return stretch.SectorCount - coveredBytes / SectorBytes;
}

// The bytes the export will write: every entry long enough, up to the source's end.
std::int64_t FragmentBytes(const FragmentList& fragments, std::int64_t sourceLength) {
  std::int64_t total = 0;
  PagePos pos;
  for (const std::string& entry : fragments) {
    SplitEntry(entry, pos);
    const std::int64_t startOffset = ParseOffset(pos.StartText);
    const std::int64_t lengthBytes = ParseOffset(pos.EndText) - startOffset;
    if (lengthBytes <= MinExportBytes || startOffset < 0) continue;
    total += std::clamp<std::int64_t>(sourceLength - startOffset, 0, lengthBytes);
  }
  return total;
}

}  // namespace

RunReport RunRecovery(const std::string& sourcePath, std::int64_t sourceLength,
                      const std::string& destFolder, RunObserver& observer,
                      const RunOptions& options, const StreamOpener& opener) {
  RunReport report;
  report.SourcePath = sourcePath;
  report.SourceLength = sourceLength;
  report.DestFolder = destFolder;

  // A handle on the source held from before the scan to the end of the run: the search for
  // recordings' pieces reads its few scattered bytes through it.
  std::unique_ptr<ByteStream> heldSource;
  if (!options.DryRun) {
    try {
      heldSource = opener(sourcePath, OpenMode::ReadSharedScattered);
    } catch (const std::exception&) {
      // The scan meets the same failure and reports it.
    }
  }
  RunFollowUp* const followUp = options.DryRun ? nullptr : options.FollowUp;
  ExportTap* const tap = followUp != nullptr ? followUp->Prepare(heldSource.get(), sourceLength) : nullptr;

  HitList hits;
  SpaceCheck& space = report.Space;
  std::unique_ptr<FragmentWriter> writer;
  ScanOptions scanOptions;
  scanOptions.Clock = options.Clock;
  if (!options.DryRun) {
    space.FreeBytes = FreeBytesAt(destFolder);
    writer = std::make_unique<FragmentWriter>(sourcePath, destFolder, sourceLength, observer, report.Export, opener, tap);
    scanOptions.Writer = writer.get();
    bool asked = false;
    scanOptions.GoOn = [&] {
      if (asked || space.FreeBytes < 0) return true;
      const std::int64_t fragmentBytes = writer->PlannedBytes();
      const std::int64_t neededBytes =
          fragmentBytes + (followUp != nullptr ? followUp->EstimatedBytes(fragmentBytes) : 0);
      if (neededBytes <= space.FreeBytes) return true;
      asked = true;
      space.Declined = !observer.SpaceShort(neededBytes, space.FreeBytes);
      return !space.Declined;
    };
  }
  try {
    report.Scan = ScanSource(sourcePath, sourceLength, hits, observer, opener, scanOptions);
  } catch (const std::exception& error) {
    // Stopping or failing ends the reading, not the recovery: what was found is still written.
    NoteFailure(report, RunFailure::Source, error.what(), DetailOf(error, true, sourcePath));
  }
  report.HitCount = hits.Count();
  // A source of which not one sector could be read (a reader without its card, a dead card) has
  // not been scanned: finding nothing there must not pass for success.
  const std::int64_t testedSectors = report.Scan.BytesRead / SectorBytes;
  if (testedSectors > 0 && report.Scan.UnreadableSectors >= testedSectors) {
    NoteFailure(report, RunFailure::Source, "Cannot read file \"" + sourcePath + "\". No sector of it could be read.",
                {FailureKind::SourceUnreadable, sourcePath, std::make_error_code(std::errc::io_error)});
  }
  if (report.Scan.SourceEnded) {
    // Not the source's failure to open or be read: what it held when the run began is lost.
    NoteFailure(report, RunFailure::Export,
                ("Cannot read file \"" + sourcePath + "\". It ended before its length of " +
                 std::to_string(sourceLength) + " bytes: it shrank or was taken away during the run."),
                {FailureKind::SourceShrank, sourcePath, std::make_error_code(std::errc::io_error)});
  }
  if (report.Scan.SourceUnanswered) {
    NoteFailure(report, RunFailure::Source,
                "Cannot read file \"" + sourcePath + "\". It has answered no read for " +
                    std::to_string(SourceReader::GiveUpMilliseconds / 1000) + " seconds from byte " +
                    std::to_string(report.Scan.BytesRead) + " on; what was found before that was written.",
                {FailureKind::SourceUnreadable, sourcePath, std::make_error_code(std::errc::io_error)});
  }
  if (writer != nullptr && writer->Failed() && !writer->Aborted()) {
    NoteFailure(report, RunFailure::Export, writer->FailureMessage(), writer->Detail());
  } else if (writer != nullptr && writer->Failed()) {
    NoteFailure(report, RunFailure::Export, writer->FailureMessage(), {FailureKind::Other, destFolder, {}});
  }
  try {
    MergeHits(hits, report.Fragments, &observer);
  } catch (const std::exception& error) {
    NoteFailure(report, RunFailure::Source, error.what(), DetailOf(error, true, sourcePath));
  }
  if (!options.DryRun) {
    space.FragmentBytes = FragmentBytes(report.Fragments, sourceLength);
    space.RecordingBytes = followUp != nullptr ? followUp->EstimatedBytes(space.FragmentBytes) : 0;
    space.Short = space.FreeBytes >= 0 && space.FragmentBytes + space.RecordingBytes > space.FreeBytes;
    if (space.Declined) {
      NoteFailure(report, RunFailure::Export,
                  "Stopped at byte " + std::to_string(report.Scan.BytesRead) + ": \"" + destFolder + "\" has " +
                      std::to_string(space.FreeBytes) + " bytes free, and the run had found about " +
                      std::to_string(writer->PlannedBytes()) + " bytes to write. The files written until then stay.",
                  {FailureKind::SpaceDeclined, destFolder, std::make_error_code(std::errc::no_space_on_device)});
    }
  }
  // Also after a failed writing: the files written whole still make recordings, as far as the
  // failure leaves room (a second name of a fragment file needs none).
  if (followUp != nullptr && !observer.AbortRequested() && !(writer != nullptr && writer->Aborted())) {
    std::string message;
    FailureDetail detail;
    const RunFailure failure = followUp->Finish(report, hits, observer, message, detail);
    if (failure != RunFailure::None) NoteFailure(report, failure, message, detail);
  }
  // A sector that failed only when the export copied it counts as much as one the scan met.
  report.UnreadableSectors = report.Scan.UnreadableSectors;
  for (const ExportedEntry& entry : report.Export.Entries) {
    for (const UnreadableStretch& stretch : entry.Unreadable) {
      report.UnreadableSectors += SectorsNotIn(report.Scan.Unreadable, stretch);
    }
  }
  report.Aborted = !options.DryRun && observer.AbortRequested();
  return report;
}

}  // namespace mtsrescue
