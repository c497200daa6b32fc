// HitList: hits folded into runs at the group period as they arrive.
#include "engine/HitList.h"

#include "engine/EngineConstants.h"

#include <stdexcept>
#include <string>

namespace mtsrescue {

void HitList::Append(std::int64_t offset) {
  if (!runs_.empty()) {
    HitRun& last = runs_.back();
    const std::int64_t nextOffset = last.StartOffset + last.Count * GroupBytes;
    const std::int64_t lastOffset = nextOffset - GroupBytes;
    if (offset <= lastOffset) {
      throw std::invalid_argument("hit offset " + std::to_string(offset) + " does not ascend");
    }
    if (offset == nextOffset) {
      ++last.Count;
      ++count_;
      return;
    }
  }
  runs_.push_back(HitRun{offset, 1});
  ++count_;
}

void HitList::Clear() {
  runs_.clear();
  count_ = 0;
}

}  // namespace mtsrescue
