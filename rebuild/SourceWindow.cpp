// A cached stretch of a source for short reads that stay close together.
#include "rebuild/SourceWindow.h"

#include "engine/EngineConstants.h"

#include <algorithm>

namespace mtsrescue {

SourceWindow::SourceWindow(ByteStream& source, std::int64_t sourceLength)
    : source_(source), sourceLength_(sourceLength), buffer_(static_cast<std::size_t>(BlockBytes)) {}

const std::uint8_t* SourceWindow::At(std::int64_t offset, std::int64_t count) {
  if (offset < 0 || count < 0 || count > MaxRequestBytes || offset + count > sourceLength_) {
    return nullptr;
  }
  if (!fed_.empty()) {
    if (const std::uint8_t* bytes = FromFeed(offset, count)) return bytes;
  }
  if (feeding_ && StillToCome(offset, count)) {
    waiting_ = true;
    return nullptr;
  }
  if (offset < windowOffset_ || offset + count > windowOffset_ + windowBytes_) {
    if (!unreadable_.empty()) {
      const auto after = unreadable_.lower_bound(offset + count);
      if (after != unreadable_.begin() && *std::prev(after) + SectorBytes > offset) return nullptr;
    }
    Fill(offset, count);
    if (offset + count > windowOffset_ + windowBytes_) return nullptr;
  }
  return buffer_.data() + (offset - windowOffset_);
}

// Keeps MaxRequestBytes before offset in the window so that short backward steps need no read.
// A read that fails leaves the window ending where the good bytes end, at the sector that failed.
void SourceWindow::Fill(std::int64_t offset, std::int64_t count) {
  if (fillHook_) fillHook_();
  std::int64_t start = std::max<std::int64_t>(0, (offset - MaxRequestBytes) / SectorBytes * SectorBytes);
  // A sector that failed once is not read again.
  const auto bad = unreadable_.lower_bound(offset + count);
  if (bad != unreadable_.begin()) start = std::max(start, *std::prev(bad) + SectorBytes);
  std::int64_t end = std::min(start + BlockBytes, sourceLength_);
  const std::int64_t needed = (offset + count + SectorBytes - 1) / SectorBytes * SectorBytes;
  if (readLimit_ > 0) end = std::min(end, std::max(readLimit_, needed));
  // Bytes the export copies come fed: the source is read only up to the next stretch of them, or
  // (for fed bytes no longer kept) little more than asked for.
  const auto stretch = std::upper_bound(expected_.begin(), expected_.end(), offset,
                                        [](std::int64_t at, const auto& s) { return at < s.second; });
  if (stretch != expected_.end()) {
    end = std::min(end, std::max(needed, stretch->first > offset ? stretch->first : needed + MaxRequestBytes));
  }
  if (bad != unreadable_.end()) end = std::min(end, *bad);
  if (feeding_ && asScanned_) end = std::min(end, std::max(frontier_, needed));
  const std::int64_t wanted = std::min(end, sourceLength_) - start;
  windowOffset_ = start;
  windowBytes_ = 0;
  if (wanted <= 0 || source_.Seek(start)) return;
  while (windowBytes_ < wanted) {
    const IoResult got = source_.Read(buffer_.data() + windowBytes_, wanted - windowBytes_);
    bytesRead_ += got.Bytes;
    windowBytes_ += got.Bytes;
    if (got.Bytes <= 0 || got.Error) break;
  }
  if (windowBytes_ >= wanted) return;
  // Which sector failed: the rest of what was asked for is read one sector at a time.
  windowBytes_ = windowBytes_ / SectorBytes * SectorBytes;
  while (windowBytes_ < wanted && start + windowBytes_ < needed) {
    const std::int64_t at = start + windowBytes_;
    const std::int64_t sectorBytes = std::min(SectorBytes, wanted - windowBytes_);
    IoResult got;
    if (!source_.Seek(at)) got = source_.Read(buffer_.data() + windowBytes_, sectorBytes);
    bytesRead_ += std::max<std::int64_t>(0, got.Bytes);
    if (got.Bytes != sectorBytes || got.Error) {
      unreadable_.insert(at);
      return;
    }
    windowBytes_ += sectorBytes;
  }
}

}  // namespace mtsrescue

namespace mtsrescue {

void SourceWindow::ExpectFeed(std::vector<std::pair<std::int64_t, std::int64_t>> stretches) {
  expected_ = std::move(stretches);
  feeding_ = true;
  fedEnd_ = 0;
}

void SourceWindow::Feed(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count) {
  if (count <= 0) return;
  FedBlock block;
  while (!fed_.empty() && fedBytesKept_ - static_cast<std::int64_t>(fed_.front().Bytes.size()) >= KeptFeedBytes) {
    fedBytesKept_ -= static_cast<std::int64_t>(fed_.front().Bytes.size());
    block = std::move(fed_.front());  // its buffer is reused
    fed_.pop_front();
  }
  block.Offset = offset;
  block.Bytes.assign(bytes, bytes + count);
  fedBytesKept_ += count;
  fed_.push_back(std::move(block));
  fedEnd_ = std::max(fedEnd_, offset + count);
}

const std::uint8_t* SourceWindow::FromFeed(std::int64_t offset, std::int64_t count) {
  // Most requests are for the bytes fed last.
  for (std::size_t i = fed_.size(); i-- > 0;) {
    const FedBlock& block = fed_[i];
    const std::int64_t blockEnd = block.Offset + static_cast<std::int64_t>(block.Bytes.size());
    if (offset < block.Offset || offset >= blockEnd) continue;
    if (offset + count <= blockEnd) return block.Bytes.data() + (offset - block.Offset);
    // Across the end of this block into the next one fed, if that one follows on.
    if (i + 1 == fed_.size() || fed_[i + 1].Offset != blockEnd) return nullptr;
    const FedBlock& next = fed_[i + 1];
    const std::int64_t inFirst = blockEnd - offset;
    if (count - inFirst > static_cast<std::int64_t>(next.Bytes.size())) return nullptr;
    joined_.assign(block.Bytes.begin() + (offset - block.Offset), block.Bytes.end());
    joined_.insert(joined_.end(), next.Bytes.begin(), next.Bytes.begin() + (count - inFirst));
    return joined_.data();
  }
  return nullptr;
}

void SourceWindow::FeedAsScanned() noexcept {
  if (asScanned_) return;
  asScanned_ = true;
  feeding_ = true;
  frontier_ = 0;
}

void SourceWindow::ExpectFrom(std::int64_t startOffset) { expected_.emplace_back(startOffset, INT64_MAX); }

void SourceWindow::ExpectUntil(std::int64_t endOffset) {
  if (expected_.empty()) return;
  if (endOffset < 0) {
    expected_.pop_back();
  } else {
    expected_.back().second = endOffset;
  }
}

bool SourceWindow::StillToCome(std::int64_t offset, std::int64_t count) const {
  const std::int64_t end = offset + count;
  if (asScanned_ && end > frontier_) return true;
  if (end <= fedEnd_) return false;
  // The first expected stretch that ends after what has been fed or after offset.
  const std::int64_t from = std::max(offset, fedEnd_);
  const auto stretch = std::upper_bound(expected_.begin(), expected_.end(), from,
                                        [](std::int64_t at, const auto& s) { return at < s.second; });
  return stretch != expected_.end() && stretch->first < end;
}

}  // namespace mtsrescue
