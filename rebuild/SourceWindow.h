// A cached stretch of a source for short reads that stay close together, going either way; and,
// while the export copies the source, the blocks it has just copied.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <set>
#include <vector>

namespace mtsrescue {

class SourceWindow {
 public:
  // Reads at most BlockBytes at a time from source, whose length is sourceLength bytes.
  SourceWindow(ByteStream& source, std::int64_t sourceLength);

  // count bytes (count <= MaxRequestBytes) at offset, or nullptr when any of them lies outside the
  // source or could not be read, or is still to be fed (then Waiting() says so). The pointer stays
  // valid until the next call.
  const std::uint8_t* At(std::int64_t offset, std::int64_t count);

  // The stretches [start, end) whose bytes will be fed, ascending: until then, At() does not read
  // them from the source but waits for them.
  void ExpectFeed(std::vector<std::pair<std::int64_t, std::int64_t>> stretches);
  // The bytes at offset, as the export has just copied them; ascending. The last few blocks are kept.
  void Feed(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count);
  // Nothing more will be fed: what was expected and not fed is read from the source.
  void EndFeed() noexcept { feeding_ = false; }

  // Fed as the scan reads, instead of from a plan made beforehand: bytes from the scan's
  // frontier on are still to come, and so are those of a run from its start until it ends.
  void FeedAsScanned() noexcept;
  void SetFrontier(std::int64_t offset) noexcept { frontier_ = offset; }
  std::int64_t Frontier() const noexcept { return frontier_; }
  // A run begins at startOffset: its bytes may be fed ...
  void ExpectFrom(std::int64_t startOffset);
  // ... up to endOffset, or not at all (endOffset < 0).
  void ExpectUntil(std::int64_t endOffset);
  // Whether an At() since the last ClearWaiting() asked for bytes still to be fed.
  bool Waiting() const noexcept { return waiting_; }
  void ClearWaiting() noexcept { waiting_ = false; }

  // Reads stop at limitOffset unless a request reaches beyond it: the caller knows where the data
  // it wants ends, and the bytes after it need not be read. 0: no limit.
  void SetReadLimit(std::int64_t limitOffset) noexcept { readLimit_ = limitOffset; }

  // Called before each read of the source (to keep a window responsive).
  void SetFillHook(std::function<void()> hook) { fillHook_ = std::move(hook); }

  std::int64_t SourceLength() const noexcept { return sourceLength_; }
  // Sectors of the source that could not be read. Each is read once: a request that touches one
  // is refused without reading, and reads around it begin or end at it.
  std::int64_t UnreadableSectors() const noexcept { return static_cast<std::int64_t>(unreadable_.size()); }
  // Bytes read from the source so far (re-reads included).
  std::int64_t BytesRead() const noexcept { return bytesRead_; }

  static constexpr std::int64_t MaxRequestBytes = 4096;
  // Fed bytes kept: enough for a walk to look back over the joint between two pieces.
  static constexpr std::int64_t KeptFeedBytes = 1024 * 1024;

 private:
  struct FedBlock {
    std::int64_t Offset = 0;
    std::vector<std::uint8_t> Bytes;
  };

  void Fill(std::int64_t offset, std::int64_t count);
  const std::uint8_t* FromFeed(std::int64_t offset, std::int64_t count);
  bool StillToCome(std::int64_t offset, std::int64_t count) const;

  ByteStream& source_;
  std::int64_t sourceLength_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t windowOffset_ = 0;
  std::int64_t windowBytes_ = 0;  // valid bytes from windowOffset_
  std::int64_t bytesRead_ = 0;
  std::int64_t readLimit_ = 0;
  std::function<void()> fillHook_;

  bool feeding_ = false;
  bool waiting_ = false;
  bool asScanned_ = false;
  std::int64_t frontier_ = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> expected_;
  std::int64_t fedEnd_ = 0;  // bytes before it that were expected have been fed
  std::deque<FedBlock> fed_;
  std::int64_t fedBytesKept_ = 0;
  std::vector<std::uint8_t> joined_;  // a request that spans two fed blocks
  std::set<std::int64_t> unreadable_;  // sector offsets
};

}  // namespace mtsrescue
