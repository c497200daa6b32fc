// Pictures as JPEG files: FFmpeg's own encoder behind a header free of it (JpegEncoder_ffmpeg.cpp;
// JpegEncoder_none.cpp where the build has no FFmpeg).
#pragma once

#include "thumbnails/Picture.h"

#include <cstdint>
#include <vector>

namespace mtsrescue {

class JpegEncoder {
 public:
  // The bytes of a baseline JPEG file of picture (even sides); empty when it cannot be encoded
  // (an empty picture, or a build without FFmpeg).
  static std::vector<std::uint8_t> Encode(const Picture& picture);
};

}  // namespace mtsrescue
