// ScanSource: the block loop over a source, with the stop test and progress once per block.
#include "engine/ScanSource.h"

#include "engine/BlockBuffer.h"
#include "engine/EngineConstants.h"
#include "engine/FragmentWriter.h"
#include "engine/IsPacketSector.h"
#include "engine/ReadBlock.h"
#include "engine/RunObserver.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

namespace mtsrescue {

namespace {

// ScanEnd follows ScanBegin however the loop is left.
class ScanEndGuard {
 public:
  explicit ScanEndGuard(RunObserver& observer) : observer_(observer) {}
  ~ScanEndGuard() { observer_.ScanEnd(); }
  ScanEndGuard(const ScanEndGuard&) = delete;
  ScanEndGuard& operator=(const ScanEndGuard&) = delete;

 private:
  RunObserver& observer_;
};

}  // namespace

ScanReport ScanSource(const std::string& sourcePath, std::int64_t sourceLength, HitList& hits,
                      RunObserver& observer, const StreamOpener& opener, const ScanOptions& options) {
  ScanReport report;
  const std::unique_ptr<ByteStream> source = opener(sourcePath, OpenMode::ReadShared);
  observer.ScanBegin(sourceLength);
  ScanEndGuard endGuard(observer);
  FragmentWriter* const writer = options.Writer;

  BlockBuffer buffer(static_cast<std::size_t>(BlockBytes));
  std::int64_t positionBytes = 0;
  std::int64_t hitCount = 0;  // this scan's, whatever hits held before
  // Going round a bad area can take minutes on a dying card: the stop is tested before every
  // read there, and the events handled often enough to keep the window alive, but not for every
  // read of a device that fails at once.
  constexpr auto FallbackPumpInterval = std::chrono::milliseconds(20);
  std::chrono::steady_clock::time_point lastFallbackPump{};
  const SectorPacer pacer = [&] {
    if (observer.StopRequested()) {
      return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (now - lastFallbackPump >= FallbackPumpInterval) {
      lastFallbackPump = now;
      observer.Pump();
    }
    return true;
  };
  SourceReader reader(*source, sourceLength, options.Clock, pacer);
  const auto noteBadAreas = [&] {
    report.SkippedStretches = reader.SkippedStretches();
    report.BadAreaMilliseconds = reader.BadAreaMilliseconds();
  };
  while (positionBytes < sourceLength) {
    if (observer.StopRequested()) {
      report.Stopped = true;
      break;
    }
    observer.Pump();
    observer.ScanProgress(positionBytes);
    const std::int64_t blockBytes = std::min(BlockBytes, sourceLength - positionBytes);
    // A trailing part shorter than a sector is never tested, so it need not be read either,
    // unless a file is to hold it.
    const std::int64_t testedBytes = blockBytes / SectorBytes * SectorBytes;
    const BlockRead read = reader.Read(positionBytes, buffer.data(), writer != nullptr ? blockBytes : testedBytes);

    auto unreadable = read.Unreadable.begin();
    for (std::int64_t sectorAt = 0; sectorAt + SectorBytes <= read.HandledBytes; sectorAt += SectorBytes) {
      const std::int64_t offset = positionBytes + sectorAt;
      while (unreadable != read.Unreadable.end() &&
             unreadable->Offset + unreadable->SectorCount * SectorBytes <= offset) {
        ++unreadable;
      }
      if (unreadable != read.Unreadable.end() && unreadable->Offset <= offset) {
        continue;  // zeros stand in for it; it is no hit
      }
      if (IsPacketSector(buffer.data() + sectorAt)) {
        hits.Append(offset);
        observer.HitFound(offset, ++hitCount);
        if (writer != nullptr) writer->Hit(offset);
      }
    }
    noteBadAreas();
    if (read.Ended) {
      // The zeros past the end stand for sectors that no longer exist, not for unreadable ones.
      report.BytesRead = positionBytes;
      report.SourceEnded = true;
      break;
    }
    for (const UnreadableStretch& stretch : read.Unreadable) {
      observer.SectorsUnreadable(stretch.Offset, stretch.SectorCount);
      if (!report.Unreadable.empty() &&
          report.Unreadable.back().Offset + report.Unreadable.back().SectorCount * SectorBytes == stretch.Offset) {
        report.Unreadable.back().SectorCount += stretch.SectorCount;
      } else {
        report.Unreadable.push_back(stretch);
      }
    }
    report.UnreadableSectors += read.UnreadableSectors;
    if (writer != nullptr) {
      writer->Scanned(positionBytes, buffer.data(), read.HandledBytes, read.Unreadable);
      if (writer->Failed()) {
        report.BytesRead = positionBytes + read.HandledBytes;
        report.WriteFailed = true;
        break;
      }
    }
    if (read.HandledBytes < (writer != nullptr ? blockBytes : testedBytes)) {
      // Stopped inside the block, or the source fell silent: only what was read or tried counts as scanned.
      report.BytesRead = positionBytes + read.HandledBytes;
      (reader.Unanswered() ? report.SourceUnanswered : report.Stopped) = true;
      break;
    }
    positionBytes += blockBytes;
    report.BytesRead = positionBytes;
    if (options.GoOn && !options.GoOn()) {
      report.Declined = true;
      break;
    }
  }
  if (writer != nullptr) {
    // The last run's last group may lie past where the scan ended.
    writer->Finish([&](std::int64_t offset, std::uint8_t* bytes, std::int64_t count) {
      return reader.Read(offset, bytes, count);
    });
  }
  noteBadAreas();
  return report;
}

}  // namespace mtsrescue
