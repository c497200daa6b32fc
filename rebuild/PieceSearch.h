// Finds the pieces of recordings around the hit runs: while the export copies the source, in the
// very bytes it copies; the rest (the pieces' edges, or everything when nothing is fed) read.
// Fed either from a plan (Planned, then Copied) or as the scan goes (RunBegun, Copied, RunEnded,
// Scanned), when the runs are learnt one by one.
#pragma once

#include "rebuild/ClipBuilder.h"
#include "rebuild/ClipPiece.h"
#include "engine/ExportFragments.h"
#include "rebuild/PacketWalker.h"
#include "rebuild/SourceWindow.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <vector>

namespace mtsrescue {

class RunObserver;

class PieceSearch final : public ExportTap {
 public:
  // source is read for bytes the export does not copy; it stays owned by the caller and must
  // outlive the search. hitRuns: [start, end) each, ascending and not overlapping.
  PieceSearch(ByteStream& source, std::int64_t sourceLength, std::vector<ClipSpan> hitRuns);

  void Planned(const std::vector<ExportedEntry>& entries) override;
  void Copied(std::int64_t sourceOffset, const std::uint8_t* bytes, std::int64_t count) override;
  void RunBegun(std::int64_t startOffset) override;
  void RunEnded(std::int64_t endOffset, bool copied) override;
  void Scanned(std::int64_t offset) override;

  // Walks what is left, reading it from the source (nothing more will be fed), with observer
  // pumped before each read; returns the pieces in source order.
  std::vector<ClipPiece> Finish(RunObserver& observer);

  // Bytes read from the source (fed bytes are not read).
  std::int64_t SourceBytesRead() const noexcept { return window_.BytesRead(); }
  // Sectors of the source that could not be read (the pieces end there).
  std::int64_t UnreadableSectors() const noexcept { return window_.UnreadableSectors(); }

 private:
  void Walk();

  SourceWindow window_;
  PacketWalker walker_;
  std::vector<ClipSpan> runs_;
  std::size_t nextRun_ = 0;
  bool lastRunOpen_ = false;  // the last of runs_ is still being scanned
  std::vector<ClipPiece> pieces_;
};

}  // namespace mtsrescue
