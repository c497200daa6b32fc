// Walking the hit runs as the export feeds their bytes.
#include "rebuild/PieceSearch.h"

#include "engine/EngineConstants.h"
#include "engine/RunObserver.h"

#include <algorithm>

namespace mtsrescue {

PieceSearch::PieceSearch(ByteStream& source, std::int64_t sourceLength, std::vector<ClipSpan> hitRuns)
    : window_(source, sourceLength), walker_(window_), runs_(std::move(hitRuns)) {}

void PieceSearch::Planned(const std::vector<ExportedEntry>& entries) {
  std::vector<std::pair<std::int64_t, std::int64_t>> copied;
  for (const ExportedEntry& entry : entries) {
    const std::int64_t end = std::min(entry.EndOffset, window_.SourceLength());
    if (entry.EndOffset - entry.StartOffset > MinExportBytes && entry.StartOffset >= 0 && end > entry.StartOffset) {
      copied.emplace_back(entry.StartOffset, end);
    }
  }
  window_.ExpectFeed(std::move(copied));
}

void PieceSearch::Copied(std::int64_t sourceOffset, const std::uint8_t* bytes, std::int64_t count) {
  window_.Feed(sourceOffset, bytes, count);
  Walk();
}

void PieceSearch::Walk() {
  while (nextRun_ < runs_.size() && walker_.WalkRun(runs_[nextRun_].StartOffset, runs_[nextRun_].EndOffset, pieces_)) {
    ++nextRun_;
  }
}

std::vector<ClipPiece> PieceSearch::Finish(RunObserver& observer) {
  window_.EndFeed();
  window_.SetFillHook([&observer] { observer.Pump(); });
  Walk();
  window_.SetFillHook({});
  return std::move(pieces_);
}

}  // namespace mtsrescue
