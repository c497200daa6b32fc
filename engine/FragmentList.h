// Fragment entries ("start - end", end = last hit + 1536) made from the hits, and their reading back.
#pragma once

#include "engine/HitList.h"

#include <cstdint>
#include <string>
#include <vector>

namespace mtsrescue {

class RunObserver;

// Entry i names output file i; every entry takes an index, whether or not it is written.
using FragmentList = std::vector<std::string>;

struct PagePos {
  std::string StartText;
  std::string EndText;  // a blank, then the end offset's digits
};

// Appends one entry per run of hits at the group period; a lone last hit gives no entry.
// Pumps the observer once per step when one is given; a stop request does not end it.
void MergeHits(const HitList& hits, FragmentList& fragments, RunObserver* observer = nullptr);

// Splits "start - end" into its two texts (see PagePos). A text without a blank is all StartText.
void SplitEntry(const std::string& entry, PagePos& pos);

// Decimal signed 64-bit value after leading blanks; 0 when there are no digits.
std::int64_t ParseOffset(const std::string& text) noexcept;

}  // namespace mtsrescue
