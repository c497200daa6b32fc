// The JPEG encoder of a build without FFmpeg: no pictures are written.
#include "thumbnails/JpegEncoder.h"

namespace mtsrescue {

std::vector<std::uint8_t> JpegEncoder::Encode(const Picture&) { return {}; }

}  // namespace mtsrescue
