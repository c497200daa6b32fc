// A RunObserver for tests: records every hook as a line of text and can request a stop on cue.
#pragma once

#include "engine/RunObserver.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace mtsrescue::test {

// Events reads like a log: "ScanBegin 1024", "ScanProgress 0", "Hit 512 1", "Unreadable 1024 2",
// "ScanEnd", "ExportBegin 3", "ExportProgress 0", "FileWritten 1 <path> 3072", "ExportEnd".
// Pump and StopRequested are counted, not logged, since they come once per block.
class RecordingObserver : public RunObserver {
 public:
  // StopRequested() answers true from this call on (1 = the first call); 0 = never.
  std::int64_t StopAtQuery = 0;
  // Sets the stop request from inside the pump with this number (1 = the first pump); 0 = never.
  std::int64_t StopAtPump = 0;

  std::vector<std::string> Events;
  std::vector<std::int64_t> ScanPositions;
  std::vector<std::pair<std::int64_t, std::int64_t>> Hits;  // offset, running count
  std::int64_t Pumps = 0;
  std::int64_t StopQueries = 0;
  bool Stop = false;

  bool StopRequested() override;
  void Pump() override;
  void ScanBegin(std::int64_t lengthBytes) override;
  void ScanProgress(std::int64_t positionBytes) override;
  void ScanEnd() override;
  void HitFound(std::int64_t offset, std::int64_t hitCount) override;
  void SectorsUnreadable(std::int64_t offset, std::int64_t sectorCount) override;
  void ExportBegin(std::int64_t entryCount) override;
  void ExportProgress(std::int64_t entryIndex) override;
  void FileWritten(std::int64_t entryIndex, const std::string& path, std::int64_t bytes) override;
  void ExportEnd() override;

  // How many events begin with prefix (e.g. "ScanProgress").
  std::int64_t CountOf(const std::string& prefix) const;
};

}  // namespace mtsrescue::test
