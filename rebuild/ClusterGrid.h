// The card's cluster grid as the edges of its stretches of stream show it: where files start and
// where one file's data gives way to another's.
#pragma once

#include <cstdint>
#include <vector>

namespace mtsrescue {

class ClusterGrid {
 public:
  // An offset at which a cluster begins, as far as the caller can tell. The first MaxEdges are kept.
  void Note(std::int64_t edgeOffset);

  // The largest power of two from 4 KiB to 1 MiB on which at least nine in ten of the edges noted
  // agree (at least four of them), or 0; and their common offset modulo it in *baseOffset. An
  // edge or two misjudged by the caller do not hide the grid.
  std::int64_t ClusterBytes(std::int64_t* baseOffset = nullptr) const;

  // Whether offset lies on the grid; false while no grid is known.
  bool OnGrid(std::int64_t offset) const;

  static constexpr std::size_t MaxEdges = 512;
  static constexpr std::size_t MinEdges = 4;

 private:
  void Infer() const;

  std::vector<std::int64_t> edges_;
  mutable bool inferred_ = true;
  mutable std::int64_t clusterBytes_ = 0;
  mutable std::int64_t baseOffset_ = 0;
};

}  // namespace mtsrescue
