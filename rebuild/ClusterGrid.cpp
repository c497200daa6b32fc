// Inferring the cluster grid from edges.
#include "rebuild/ClusterGrid.h"

#include <algorithm>

namespace mtsrescue {

void ClusterGrid::Note(std::int64_t edgeOffset) {
  if (edges_.size() >= MaxEdges) return;
  edges_.push_back(edgeOffset);
  inferred_ = false;
}

std::int64_t ClusterGrid::ClusterBytes(std::int64_t* baseOffset) const {
  if (!inferred_) Infer();
  if (baseOffset != nullptr) *baseOffset = baseOffset_;
  return clusterBytes_;
}

bool ClusterGrid::OnGrid(std::int64_t offset) const {
  const std::int64_t size = ClusterBytes();
  return size > 0 && ((offset - baseOffset_) % size + size) % size == 0;
}

// Grids larger than the true one split the edges among their residues, so the largest size on
// which most edges still agree is the cluster size.
void ClusterGrid::Infer() const {
  inferred_ = true;
  clusterBytes_ = 0;
  baseOffset_ = 0;
  if (edges_.size() < MinEdges) return;
  std::vector<std::int64_t> residues(edges_.size());
  for (std::int64_t size = std::int64_t{1} << 20; size >= 4096; size /= 2) {
    std::transform(edges_.begin(), edges_.end(), residues.begin(),
                   [size](std::int64_t edge) { return (edge % size + size) % size; });
    std::sort(residues.begin(), residues.end());
    std::size_t best = 0;
    std::int64_t bestResidue = 0;
    for (std::size_t i = 0; i < residues.size();) {
      std::size_t j = i;
      while (j < residues.size() && residues[j] == residues[i]) ++j;
      if (j - i > best) {
        best = j - i;
        bestResidue = residues[i];
      }
      i = j;
    }
    if (best >= MinEdges && best * 10 >= edges_.size() * 9) {
      clusterBytes_ = size;
      baseOffset_ = bestResidue;
      return;
    }
  }
}

}  // namespace mtsrescue
