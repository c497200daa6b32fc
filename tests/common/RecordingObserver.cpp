// RecordingObserver: the log of hooks and the scripted stop request.
#include "tests/common/RecordingObserver.h"

namespace mtsrescue::test {

bool RecordingObserver::StopRequested() {
  ++StopQueries;
  if (StopAtQuery != 0 && StopQueries >= StopAtQuery) {
    Stop = true;
  }
  return Stop;
}

void RecordingObserver::Pump() {
  ++Pumps;
  if (StopAtPump != 0 && Pumps == StopAtPump) {
    Stop = true;
  }
}

void RecordingObserver::ScanBegin(std::int64_t lengthBytes) { Events.push_back("ScanBegin " + std::to_string(lengthBytes)); }

void RecordingObserver::ScanProgress(std::int64_t positionBytes) {
  ScanPositions.push_back(positionBytes);
  Events.push_back("ScanProgress " + std::to_string(positionBytes));
}

void RecordingObserver::ScanEnd() { Events.push_back("ScanEnd"); }

void RecordingObserver::HitFound(std::int64_t offset, std::int64_t hitCount) {
  Hits.emplace_back(offset, hitCount);
  Events.push_back("Hit " + std::to_string(offset) + " " + std::to_string(hitCount));
}

void RecordingObserver::SectorsUnreadable(std::int64_t offset, std::int64_t sectorCount) {
  Events.push_back("Unreadable " + std::to_string(offset) + " " + std::to_string(sectorCount));
}

void RecordingObserver::ExportBegin(std::int64_t entryCount) { Events.push_back("ExportBegin " + std::to_string(entryCount)); }

void RecordingObserver::ExportProgress(std::int64_t entryIndex) {
  Events.push_back("ExportProgress " + std::to_string(entryIndex));
}

void RecordingObserver::FileWritten(std::int64_t entryIndex, const std::string& path, std::int64_t bytes) {
  Events.push_back("FileWritten " + std::to_string(entryIndex) + " " + path + " " + std::to_string(bytes));
}

void RecordingObserver::ExportEnd() { Events.push_back("ExportEnd"); }

std::int64_t RecordingObserver::CountOf(const std::string& prefix) const {
  std::int64_t count = 0;
  for (const std::string& event : Events) {
    count += event.compare(0, prefix.size(), prefix) == 0 ? 1 : 0;
  }
  return count;
}

}  // namespace mtsrescue::test
