// Fragment entries from the hit runs, and the reading of an entry back into its two offsets.
#include "engine/FragmentList.h"

#include "engine/EngineConstants.h"
#include "engine/RunObserver.h"

#include <limits>

namespace mtsrescue {

void MergeHits(const HitList& hits, FragmentList& fragments, RunObserver* observer) {
  // HitList already holds the maximal runs at the group period, which are exactly the entries
  // a hit-by-hit walk makes, save one case: a lone hit at the very end of the list closes no
  // run and so gives no entry. A lone hit anywhere else gives a one-group entry.
  const std::vector<HitRun>& runs = hits.Runs();
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (observer != nullptr) {
      observer->Pump();
    }
    const HitRun& run = runs[i];
    if (i + 1 == runs.size() && run.Count == 1) {
      break;
    }
    const std::int64_t endOffset = run.StartOffset + run.Count * GroupBytes;
    fragments.push_back(std::to_string(run.StartOffset) + " - " + std::to_string(endOffset));
  }
}

void SplitEntry(const std::string& entry, PagePos& pos) {
  pos.StartText.clear();
  pos.EndText.clear();
  const std::size_t blank = entry.find(' ');
  pos.StartText = entry.substr(0, blank);
  // The end text starts two characters after the start text (at the blank after the hyphen),
  // so that a reader skipping leading blanks sees the end offset's digits.
  const std::size_t endAt = pos.StartText.size() + 2;
  if (endAt < entry.size()) {
    pos.EndText = entry.substr(endAt);
  }
}

std::int64_t ParseOffset(const std::string& text) noexcept {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') {
    ++at;
  }
  bool negative = false;
  if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
    negative = text[at] == '-';
    ++at;
  }
  // Accumulate downwards so that INT64_MIN fits; saturate on overflow.
  constexpr std::int64_t Lowest = std::numeric_limits<std::int64_t>::min();
  std::int64_t value = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    const int digit = text[at] - '0';
    if (value < (Lowest + digit) / 10) {
      return negative ? Lowest : std::numeric_limits<std::int64_t>::max();
    }
    value = value * 10 - digit;
  }
  if (negative) {
    return value;
  }
  return value == Lowest ? std::numeric_limits<std::int64_t>::max() : -value;
}

}  // namespace mtsrescue
