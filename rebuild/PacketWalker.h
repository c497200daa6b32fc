// Finds the exact pieces of stream data around and inside each hit run by walking its 192-byte
// packets one by one: sync byte, arrival-stamp steps and per-PID continuity counters.
#pragma once

#include "rebuild/ClipPiece.h"
#include "rebuild/ClusterGrid.h"
#include "rebuild/SourceWindow.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace mtsrescue {

class PacketWalker {
 public:
  explicit PacketWalker(SourceWindow& window);
  ~PacketWalker();
  PacketWalker(const PacketWalker&) = delete;
  PacketWalker& operator=(const PacketWalker&) = delete;

  // Walks the run of hits [runStartOffset, runEndOffset) (runStartOffset is a hit, so a packet
  // begins there) outward and through, and appends the pieces found, in source order. A piece
  // ends where the next packet does not continue it (a foreign packet, a stamp jump, a broken
  // counter); within the run the walk then starts a new piece. Runs must come in ascending order;
  // no piece reaches back into one found before. Returns false when the walk has to wait for
  // bytes still to be fed to the window: it goes on from there when called again for the same
  // run, after more are fed.
  // endKnown false: the run goes on past runEndOffset (it is still being scanned); the walk then
  // waits there, as for bytes still to be fed, instead of ending the run.
  bool WalkRun(std::int64_t runStartOffset, std::int64_t runEndOffset,
               std::vector<ClipPiece>& pieces, bool endKnown = true);

  // Sector boundaries (ascending) that every piece ends or begins at, as if foreign data began
  // there: a piece to be cut where nothing in the stream shows it. An offset that is no sector
  // boundary ends the piece before it.
  void SetJoints(std::vector<std::int64_t> jointOffsets) { joints_ = std::move(jointOffsets); }
  // No piece begins before offset.
  void SetFloor(std::int64_t offset) noexcept { floorOffset_ = offset; }

  // The card's cluster grid, known before the walk.
  void KnowGrid(std::int64_t clusterBytes, std::int64_t baseOffset) {
    for (std::size_t k = 0; k < ClusterGrid::MinEdges; ++k) {
      grid_.Note(baseOffset + static_cast<std::int64_t>(k) * clusterBytes);
    }
  }

  // A chain of fewer verified packets is no piece.
  static constexpr std::int64_t MinPiecePackets = 3;
  // How far back a piece that follows another in the same run may be found to have begun
  // already: the packets after a joint that happen to fit both sides.
  static constexpr std::int64_t MaxOverlapPackets = 256;
  // Packets a chain is followed forward before it is walked back.
  static constexpr std::int64_t LookAheadPackets = 128;

 private:
  class Chain;  // one stream being followed packet by packet

  enum class ChainStart { Started, Skipped, Waiting };

  ClipPiece Finish(const Chain& chain, std::int64_t floorOffset);
  ChainStart StartChain();
  void FinishCurrent(std::vector<ClipPiece>& pieces);

  SourceWindow& window_;
  ClusterGrid grid_;  // from the edges found so far, to place joints the stream cannot
  std::int64_t floorOffset_ = 0;  // no later piece may begin before this (end of verified data)
  std::unique_ptr<Chain> current_;  // the piece before next_, not yet finished when pending_
  std::unique_ptr<Chain> next_;     // the chain being followed

  // Where the walk of the current run stands.
  bool inRun_ = false;
  std::int64_t offset_ = 0;        // where the next chain starts
  bool pending_ = false;           // current_ holds a piece not yet finished
  bool following_ = false;         // next_ has started and is being walked forward
  bool firstOfRun_ = false;        // current_ is its run's first piece
  std::int64_t pendingFloor_ = 0;  // the floor current_'s head was found against
  std::int64_t handOverOffset_ = -1;  // where current_ gives up its last packets to next_
  std::int64_t gridEdge_ = -1;        // a cluster boundary next_'s start has shown
  std::vector<std::int64_t> joints_;
  std::int64_t stopOffset_ = INT64_MAX;  // the joint after next_'s start
};

}  // namespace mtsrescue
