// ExportFragments: one output file per fragment entry of two groups or more, copied block by block.
#include "engine/ExportFragments.h"

#include "engine/BlockBuffer.h"
#include "engine/EngineConstants.h"
#include "engine/ReadBlock.h"
#include "engine/RunObserver.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"
#include "platform/HardLinks.h"

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

ExportError WriteError(const std::string& outputPath, std::error_code code) {
  return ExportError("Cannot write file \"" + outputPath + "\". " + SystemErrorText(code), code);
}

// Copies [startOffset, startOffset + lengthBytes) of source into output; returns the sectors
// written as zeros because they could not be read. Throws ExportError when a write falls short.
std::int64_t CopyRange(ByteStream& source, std::int64_t startOffset, std::int64_t lengthBytes,
                       ByteStream& output, const std::string& outputPath, BlockBuffer& buffer,
                       RunObserver& observer, ExportTap* tap, std::int64_t& exportedBytes,
                       std::int64_t exportBytes) {
  std::int64_t unreadableSectors = 0;
  std::int64_t copiedBytes = 0;
  // The sector-by-sector reading of a failing block can take minutes on a dying card: the events
  // keep being handled meanwhile (the export itself cannot be stopped).
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
    const std::int64_t blockBytes = std::min(BlockBytes, lengthBytes - copiedBytes);
    unreadableSectors +=
        ReadBlock(source, startOffset + copiedBytes, buffer.data(), blockBytes, pacer).UnreadableSectors;
    const IoResult written = output.Write(buffer.data(), blockBytes);
    if (written.Bytes != blockBytes) {
      const std::error_code code =
          written.Error ? written.Error : std::make_error_code(std::errc::no_space_on_device);
      throw WriteError(outputPath, code);
    }
    if (tap != nullptr) tap->Copied(startOffset + copiedBytes, buffer.data(), blockBytes);
    copiedBytes += blockBytes;
    exportedBytes += blockBytes;
    observer.ExportBytes(exportedBytes, exportBytes);
  }
  // A file is reported written only once its bytes are on the disk, not merely in the cache.
  if (const std::error_code code = output.Flush()) {
    throw WriteError(outputPath, code);
  }
  return unreadableSectors;
}

}  // namespace

std::string OutputFileName(const std::string& folder, std::int64_t index) {
  return folder + PathSeparator() + std::to_string(index) + ".MTS";
}

void ExportFragments(const std::string& sourcePath, const std::string& destFolder,
                     const FragmentList& fragments, RunObserver& observer, ExportReport& report,
                     const StreamOpener& opener, ExportTap* tap) {
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
    // The source is opened before the output is created, so a source that cannot be opened
    // leaves no empty file behind.
    const std::string outputPath = OutputFileName(destFolder, entry.Index);
    entry.FilePath = outputPath;
    report.SourceFailed = true;
    const std::unique_ptr<ByteStream> source = opener(sourcePath, OpenMode::ReadShared);
    report.SourceFailed = false;
    // Creating the output empties it: when it is the source itself (a recovered file scanned again
    // into its own folder), that would destroy what is being recovered.
    if (SameFile(outputPath, sourcePath)) {
      throw StreamError("Cannot create file \"" + outputPath + "\". It is the source being recovered.",
                        std::make_error_code(std::errc::file_exists));
    }
    // Bytes past the source's end do not exist: copying them would add zeros to the file and
    // count them as unreadable sectors. A source that cannot tell its length is copied whole.
    const std::int64_t sourceBytes = source->Size();
    const std::int64_t fileBytes =
        sourceBytes >= 0 ? std::clamp<std::int64_t>(sourceBytes - entry.StartOffset, 0, lengthBytes) : lengthBytes;
    // A fragment file that an earlier run made a rebuilt recording's second name keeps that
    // recording: this name is taken away and made anew, not emptied in place.
    if (HasOtherNames(outputPath)) RemoveFile(outputPath);
    const std::unique_ptr<ByteStream> output = opener(outputPath, OpenMode::Create);
    entry.UnreadableSectors =
        CopyRange(*source, entry.StartOffset, fileBytes, *output, outputPath, buffer, observer, tap,
                  exportedBytes, exportBytes);
    entry.Outcome = EntryOutcome::Written;
    entry.FileBytes = fileBytes;
    ++report.FilesWritten;
    report.BytesWritten += fileBytes;
    report.UnreadableSectors += entry.UnreadableSectors;
    observer.FileWritten(entry.Index, outputPath, fileBytes);
  }
}

}  // namespace mtsrescue
