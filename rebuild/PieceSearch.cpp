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

void PieceSearch::RunBegun(std::int64_t startOffset) {
  window_.FeedAsScanned();
  runs_.push_back({startOffset, INT64_MAX});
  lastRunOpen_ = true;
  window_.ExpectFrom(startOffset);
  Walk();
}

void PieceSearch::RunEnded(std::int64_t endOffset, bool copied) {
  if (runs_.empty()) return;
  runs_.back().EndOffset = endOffset;
  lastRunOpen_ = false;
  window_.ExpectUntil(copied ? std::min(endOffset, window_.SourceLength()) : -1);
  Walk();
}

void PieceSearch::Scanned(std::int64_t offset) {
  window_.FeedAsScanned();
  window_.SetFrontier(offset);
  Walk();
}

void PieceSearch::Walk() {
  while (nextRun_ < runs_.size()) {
    const ClipSpan& run = runs_[nextRun_];
    // A run still being scanned reaches at least to the frontier.
    const bool open = lastRunOpen_ && nextRun_ + 1 == runs_.size();
    if (!walker_.WalkRun(run.StartOffset, open ? window_.Frontier() : run.EndOffset, pieces_, !open)) break;
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
