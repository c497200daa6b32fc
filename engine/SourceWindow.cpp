// A cached stretch of a source for short reads that stay close together.
#include "engine/SourceWindow.h"

#include "engine/EngineConstants.h"

#include <algorithm>

namespace mtsrescue {

SourceWindow::SourceWindow(ByteStream& source, std::int64_t sourceLength)
    : source_(source), sourceLength_(sourceLength), buffer_(static_cast<std::size_t>(BlockBytes)) {}

const std::uint8_t* SourceWindow::At(std::int64_t offset, std::int64_t count) {
  if (offset < 0 || count < 0 || count > MaxRequestBytes || offset + count > sourceLength_) {
    return nullptr;
  }
  if (offset < windowOffset_ || offset + count > windowOffset_ + windowBytes_) {
    Fill(offset, count);
    if (offset + count > windowOffset_ + windowBytes_) return nullptr;
  }
  return buffer_.data() + (offset - windowOffset_);
}

// Keeps MaxRequestBytes before offset in the window so that short backward steps need no read.
// A read that fails leaves the window ending where the good bytes end.
void SourceWindow::Fill(std::int64_t offset, std::int64_t count) {
  if (fillHook_) fillHook_();
  const std::int64_t start = std::max<std::int64_t>(0, (offset - MaxRequestBytes) / SectorBytes * SectorBytes);
  std::int64_t end = std::min(start + BlockBytes, sourceLength_);
  if (readLimit_ > 0) {
    const std::int64_t needed = (offset + count + SectorBytes - 1) / SectorBytes * SectorBytes;
    end = std::min(end, std::max(readLimit_, needed));
  }
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
}

}  // namespace mtsrescue
