// TRemainingTime: the estimate of a run's remaining seconds from the bytes it has read.
#pragma once

#include <cstdint>
#include <optional>

namespace mtsrescue {

// The work of a run in bytes: one read of the whole source, which writes the fragments as it
// goes. The rate is the bytes read per elapsed second.
class TRemainingTime {
 public:
  // A run over sourceBytes begins: nothing done, no estimate given yet.
  void Begin(std::int64_t sourceBytes);
  // The scan has read positionBytes.
  void Scanned(std::int64_t positionBytes);

  // Seconds left after elapsedSeconds of the run; nothing while less than a byte a second was
  // done. Never more than an earlier estimate of the same run: a pause or a slower stretch holds
  // the countdown rather than sending it back up.
  std::optional<std::int32_t> Estimate(std::int32_t elapsedSeconds);

 private:
  std::int64_t sourceBytes_ = 0;
  std::int64_t scannedBytes_ = 0;
  std::optional<std::int32_t> last_;
};

}  // namespace mtsrescue
