// ExportFragments: one output file per fragment entry of two groups or more, copied block by block.
#include "engine/ExportFragments.h"

#include "engine/BlockBuffer.h"
#include "engine/EngineConstants.h"
#include "engine/ReadBlock.h"
#include "engine/RunObserver.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <algorithm>
#include <chrono>
#include <memory>

namespace mtsrescue {

namespace {

// ExportEnd follows ExportBegin however the export is left.
class ExportEndGuard {
 public:
  explicit ExportEndGuard(RunObserver& observer) : observer_(observer) {}
  ~ExportEndGuard() { observer_.ExportEnd(); }
  ExportEndGuard(const ExportEndGuard&) = delete;
  ExportEndGuard& operator=(const ExportEndGuard&) = delete;

 private:
  RunObserver& observer_;
};

ExportError SourceEndedError(const std::string& sourcePath, std::int64_t endOffset, const ExportedEntry& entry) {
  return ExportError("Cannot read file \"" + sourcePath + "\". It ends at byte " + std::to_string(endOffset) +
                         " now, inside fragment " + std::to_string(entry.StartOffset) + " - " +
                         std::to_string(entry.EndOffset) + " that the scan found: the source shrank or was taken "
                         "away during the run.",
                     std::make_error_code(std::errc::io_error), FailureKind::SourceShrank, sourcePath);
}

// Copies [entry.StartOffset, + lengthBytes) of source into output, counting in entry the sectors
// written as zeros because they could not be read. Throws ExportError when a write falls short or
// the source ends before the range does.
void CopyRange(ByteStream& source, const std::string& sourcePath, ExportedEntry& entry, std::int64_t lengthBytes,
               OutputFile& output, BlockBuffer& buffer, RunObserver& observer, ExportTap* tap,
               std::int64_t& exportedBytes, std::int64_t exportBytes) {
  const std::int64_t startOffset = entry.StartOffset;
  std::int64_t copiedBytes = 0;
  // The sector-by-sector reading of a failing block can take minutes on a dying card: the events
  // keep being handled meanwhile (the export itself cannot be stopped, only aborted).
  constexpr auto FallbackPumpInterval = std::chrono::milliseconds(20);
  std::chrono::steady_clock::time_point lastFallbackPump{};
  const SectorPacer pacer = [&] {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastFallbackPump >= FallbackPumpInterval) {
      lastFallbackPump = now;
      observer.Pump();
    }
    return true;
  };
  while (copiedBytes < lengthBytes) {
    observer.Pump();
    if (observer.AbortRequested()) {
      throw RunAborted("Aborted while writing \"" + output.FinalPath() + "\".");
    }
    const std::int64_t blockBytes = std::min(BlockBytes, lengthBytes - copiedBytes);
    const BlockRead read = ReadBlock(source, startOffset + copiedBytes, buffer.data(), blockBytes, pacer);
    if (read.Ended) throw SourceEndedError(sourcePath, source.Size(), entry);
    entry.UnreadableSectors += read.UnreadableSectors;
    entry.Unreadable.insert(entry.Unreadable.end(), read.Unreadable.begin(), read.Unreadable.end());
    const IoResult written = output.Write(buffer.data(), blockBytes);
    if (written.Bytes != blockBytes) {
      const std::error_code code =
          written.Error ? written.Error : std::make_error_code(std::errc::no_space_on_device);
      throw WriteError(output.FinalPath(), code);
    }
    if (tap != nullptr) tap->Copied(startOffset + copiedBytes, buffer.data(), blockBytes);
    copiedBytes += blockBytes;
    exportedBytes += blockBytes;
    observer.ExportBytes(exportedBytes, exportBytes);
  }
  output.Commit();
}

}  // namespace

ExportError WriteError(const std::string& outputPath, std::error_code code) {
  return ExportError("Cannot write file \"" + outputPath + "\". " + SystemErrorText(code), code,
                     FailureKind::OutputWrite, outputPath);
}

std::string OutputFileName(const std::string& folder, std::int64_t index) {
  return folder + PathSeparator() + std::to_string(index) + ".MTS";
}

void ExportFragments(const std::string& sourcePath, const std::string& destFolder,
                     const FragmentList& fragments, RunObserver& observer, ExportReport& report,
                     const StreamOpener& opener, ExportTap* tap, std::int64_t sourceLength) {
  const std::int64_t entryCount = static_cast<std::int64_t>(fragments.size());
  report.Entries.clear();
  report.Entries.reserve(fragments.size());
  PagePos pos;
  for (std::int64_t index = 0; index < entryCount; ++index) {
    SplitEntry(fragments[static_cast<std::size_t>(index)], pos);
    ExportedEntry entry;
    entry.Index = index;
    entry.StartOffset = ParseOffset(pos.StartText);
    entry.EndOffset = ParseOffset(pos.EndText);
    report.Entries.push_back(entry);
  }

  // Compared with every name about to be created: a name that leads to the source (or to the
  // image behind a loop device that is the source) is never written.
  const std::vector<FileIdentity> protectedFiles = FilesBehindSource(sourcePath);
  if (tap != nullptr) tap->Planned(report.Entries);
  std::int64_t exportBytes = 0;
  for (const ExportedEntry& entry : report.Entries) {
    const std::int64_t lengthBytes = entry.EndOffset - entry.StartOffset;
    if (lengthBytes > MinExportBytes && entry.StartOffset >= 0) exportBytes += lengthBytes;
  }
  std::int64_t exportedBytes = 0;
  observer.ExportBegin(entryCount);
  ExportEndGuard endGuard(observer);
  observer.ExportBytes(0, exportBytes);
  BlockBuffer buffer;
  for (ExportedEntry& entry : report.Entries) {
    observer.Pump();
    observer.ExportProgress(entry.Index);
    // The file holds the run's groups, end - start bytes; one group alone is not worth a file.
    const std::int64_t lengthBytes = entry.EndOffset - entry.StartOffset;
    if (lengthBytes <= MinExportBytes || entry.StartOffset < 0) {
      entry.Outcome = EntryOutcome::TooShort;
      continue;
    }
    if (buffer.empty()) {
      buffer.resize(static_cast<std::size_t>(BlockBytes));
    }
    entry.Outcome = EntryOutcome::Failed;  // until the file is complete
    const std::string outputPath = OutputFileName(destFolder, entry.Index);
    entry.FilePath = outputPath;
    report.SourceFailed = true;
    const std::unique_ptr<ByteStream> source = opener(sourcePath, OpenMode::ReadShared);
    report.SourceFailed = false;
    // Bytes past the source's end do not exist: copying them would add zeros to the file and
    // count them as unreadable sectors. A source that cannot tell its length is copied whole.
    const std::int64_t sourceBytes = source->Size();
    // A source that ends before the range, or before its own measured end, has shrunk (or is
    // gone) since the scan: what the file would hold is not what was found.
    if (sourceLength >= 0 && sourceBytes >= 0 && sourceBytes < std::min(entry.EndOffset, sourceLength)) {
      throw SourceEndedError(sourcePath, sourceBytes, entry);
    }
    const std::int64_t fileBytes =
        sourceBytes >= 0 ? std::clamp<std::int64_t>(sourceBytes - entry.StartOffset, 0, lengthBytes) : lengthBytes;
    OutputFile output(outputPath, protectedFiles, opener);
    try {
      // The rename at the end replaces whatever stood at the name, a second name of an earlier
      // run's recording included, without emptying it.
      CopyRange(*source, sourcePath, entry, fileBytes, output, buffer, observer, tap, exportedBytes, exportBytes);
    } catch (...) {
      report.CutShort = output.Abandon();
      throw;
    }
    entry.Outcome = EntryOutcome::Written;
    entry.FileBytes = fileBytes;
    ++report.FilesWritten;
    report.BytesWritten += fileBytes;
    report.UnreadableSectors += entry.UnreadableSectors;
    observer.FileWritten(entry.Index, outputPath, fileBytes);
  }
}

}  // namespace mtsrescue
