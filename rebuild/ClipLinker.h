// Decides which piece continues which: stamps, the packet cut between them, and every PID's
// continuity counter must all agree, and the match must be the only one either way.
#pragma once

#include "rebuild/ClipPiece.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <vector>

namespace mtsrescue {

class ClipLinker {
 public:
  static constexpr std::size_t NoPiece = std::numeric_limits<std::size_t>::max();

  // Does b's head continue a's tail, as far as the stream shows? Both edges must be sector
  // boundaries; the packet cut at a's tail and the rest of it at b's head must make exactly one
  // packet (or neither be cut); the stamps must step forward across the joint by no more than a
  // recorder steps (modulo 2^30); every PID seen on both sides must continue its counter, and at
  // least one PID must be seen on both, unless b holds stuffing packets alone; a PES packet whose
  // length a shows must go on in b with exactly the bytes it lacks.
  // Where both pieces carry dates, b's first must follow a's last by 0 to
  // MaxJointDateGapSeconds: two recordings alike in every header are told apart by them.
  static bool Fits(const ClipPiece& a, const ClipPiece& b);

  // Whether the dates allow b to follow a (true when either is missing).
  static bool DatesAllow(const ClipPiece& a, const ClipPiece& b);
  // Between two pictures on either side of a joint lie a cluster's worth of pictures at most,
  // well under a second; a few seconds allow for pieces whose edge pictures carry no date.
  static constexpr std::int64_t MaxJointDateGapSeconds = 3;

  // Whether the stamps step across the joint as they step inside both pieces. The pace is no
  // evidence by itself: it only ranks pieces that all fit.
  static bool KeepsPace(const ClipPiece& a, const ClipPiece& b);

  // For each piece, the index of the piece that continues it, or NoPiece. A link is made only
  // when b is a's one candidate and a is b's: the only piece that fits, or of several that fit,
  // the only one that keeps the pace. Pieces already linked are no longer candidates, so links
  // are made until none is added; a fit a-c is no candidate where a fits another piece that fits
  // c (a-b-c); and where another candidate of a has only a to go to, a candidate of a that has
  // another piece with only it to go to is left to that piece. Links that would close a loop are
  // dropped. b may lie anywhere on the source.
  static std::vector<std::size_t> Link(const std::vector<ClipPiece>& pieces);

  // For each piece, every piece whose tail it fits.
  static std::vector<std::vector<std::size_t>> Predecessors(const std::vector<ClipPiece>& pieces);

  // Calls fit(a, b) for every pair where Fits(a, b).
  static void ForEachFit(const std::vector<ClipPiece>& pieces,
                         const std::function<void(std::size_t a, std::size_t b)>& fit);

  // The recordings: chains of linked pieces, each in playing order, the chains ordered by the
  // source offset of their first byte (the head of their first piece).
  static std::vector<std::vector<std::size_t>> Chains(const std::vector<ClipPiece>& pieces,
                                                      const std::vector<std::size_t>& next);

  // The card's cluster size as the joints made show it (each joint is a cluster boundary on both
  // sides), as ClusterGrid reads it from their edges, and their offset modulo it in *baseOffset.
  // With fewer than four joints (or no grid among them), the heads of recordings that begin with
  // their first packet (files begin at cluster starts) are counted in, eight edges at least; 0
  // when the pieces do not show the grid.
  static std::int64_t InferClusterBytes(const std::vector<ClipPiece>& pieces,
                                        const std::vector<std::size_t>& next,
                                        std::int64_t* baseOffset = nullptr);
};

}  // namespace mtsrescue
