// Joints the stream does not show. Two recordings whose stamps lie within a step of each other
// can also have the same counters across a cluster boundary for a while: where a cluster of one
// lies right after a cluster of the other on the card, the walk reads them as one piece. Other pieces then show the
// joint: a head that the stretch before a cluster boundary inside that piece continues, and a
// tail that continues the stretch after it, neither with another partner. Such a piece is split
// there; the linker, finding two fits on either side, joins none of them, so the recordings come
// back in parts rather than mixed. Pieces whose head the walk had to guess are walked again too,
// now that the grid is known.
#pragma once

#include "rebuild/ClipBuilder.h"
#include "rebuild/ClipPiece.h"
#include "rebuild/SourceWindow.h"

#include <cstdint>
#include <map>
#include <vector>

namespace mtsrescue {

class HiddenJoints {
 public:
  // window reads the source; clusterBytes and clusterBase give the grid (0: any sector boundary
  // may be a joint).
  HiddenJoints(SourceWindow& window, std::int64_t clusterBytes, std::int64_t clusterBase);

  // pieces, in source order, with every piece that has a hidden joint (or a guessed head) walked
  // again and split there; next: the links made between them. Returns whether any changed.
  bool Split(std::vector<ClipPiece>& pieces, const std::vector<std::size_t>& next);

  // Stretch walked on either side of a candidate joint to check it: enough to meet every PID.
  static constexpr std::int64_t CheckBytes = 8 * 1024;
  // Places inside other pieces looked at for one head at most. More only come with many
  // recordings alike in their stamps, where nothing can be joined anyway; looking would read the
  // fragment files over and over.
  static constexpr int MaxChecksPerHead = 16;

 private:
  // The cluster boundaries inside piece p at which a packet with stamp lies at the boundary's
  // offset - delta.
  void Candidates(const ClipPiece& p, std::uint32_t stamp, std::int64_t delta, std::vector<std::int64_t>& joints);
  bool OnGrid(std::int64_t offset) const;
  bool EndsBefore(const ClipPiece& p, std::int64_t joint, const ClipPiece& head);
  // The pieces walking piece index (p) from CheckBytes before joint to CheckBytes after it finds.
  const std::vector<ClipPiece>& Around(std::size_t index, const ClipPiece& p, std::int64_t joint);
  // The pieces the runs hold (ascending; the last one's end is a joint too), none beginning
  // before floorOffset.
  std::vector<ClipPiece> Walk(const std::vector<ClipSpan>& runs, std::int64_t floorOffset,
                              std::vector<std::int64_t> joints);

  static constexpr std::size_t MaxWalksKept = 4096;

  SourceWindow& window_;
  std::map<std::pair<std::size_t, std::int64_t>, std::vector<ClipPiece>> walked_;  // by (piece, joint)
  std::int64_t clusterBytes_;
  std::int64_t clusterBase_;
};

}  // namespace mtsrescue
