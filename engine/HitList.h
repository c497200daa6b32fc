// The scan's hits, kept as runs at the group period so memory grows with runs, not hits.
#pragma once

#include <cstdint>
#include <vector>

namespace mtsrescue {

// Count hits at StartOffset, StartOffset + GroupBytes, ... (Count >= 1).
struct HitRun {
  std::int64_t StartOffset = 0;
  std::int64_t Count = 0;
};

class HitList {
 public:
  // offset must be greater than every offset appended before.
  void Append(std::int64_t offset);
  std::int64_t Count() const noexcept { return count_; }
  bool Empty() const noexcept { return count_ == 0; }
  const std::vector<HitRun>& Runs() const noexcept { return runs_; }
  void Clear();

 private:
  std::vector<HitRun> runs_;
  std::int64_t count_ = 0;
};

}  // namespace mtsrescue
