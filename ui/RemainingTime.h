// TRemainingTime: the estimate of a run's remaining seconds from the bytes it has read and written.
#pragma once

#include <cstdint>
#include <optional>

namespace mtsrescue {

// The work of a run in bytes: the scan reads the whole source, the export then writes every long
// fragment. Until the export begins its size is foreseen from the hits found so far, as if the
// rest of the source held them as densely. The rate is the work done per elapsed second.
class TRemainingTime {
 public:
  // A run over sourceBytes begins: nothing done, no estimate given yet.
  void Begin(std::int64_t sourceBytes);
  // The scan has read positionBytes and found hitCount hit sectors so far.
  void Scanned(std::int64_t positionBytes, std::int64_t hitCount);
  // The export has written copiedBytes of the totalBytes it writes.
  void Exported(std::int64_t copiedBytes, std::int64_t totalBytes);

  // Seconds left after elapsedSeconds of the run; nothing while less than a byte a second was
  // done. Never more than an earlier estimate of the same run: a pause or a slower stretch holds
  // the countdown rather than sending it back up.
  std::optional<std::int32_t> Estimate(std::int32_t elapsedSeconds);

 private:
  std::int64_t sourceBytes_ = 0;
  std::int64_t scannedBytes_ = 0;
  std::int64_t hitCount_ = 0;
  std::int64_t exportTotalBytes_ = -1;  // unknown until the export begins
  std::int64_t exportedBytes_ = 0;
  std::optional<std::int32_t> last_;
};

}  // namespace mtsrescue
