// The decoder of a build without FFmpeg: it takes the bytes and never makes a picture.
#include "thumbnails/FrameDecoder.h"

namespace mtsrescue {

struct FrameDecoder::State {};

bool FrameDecoder::Available() { return false; }
std::string FrameDecoder::LibraryVersion() { return {}; }
FrameDecoder::FrameDecoder(const DecoderLimits& limits) : limits_(limits) {}
FrameDecoder::~FrameDecoder() = default;
void FrameDecoder::Feed(const std::uint8_t*, std::size_t, std::int64_t, std::vector<Picture>&) {}
void FrameDecoder::Drain(std::vector<Picture>&) {}
void FrameDecoder::Reset() {}
std::int64_t FrameDecoder::Errors() const noexcept { return 0; }

}  // namespace mtsrescue
