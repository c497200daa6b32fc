// One picture for one recording: where in it to take the picture from, and what stands in for it
// when none can be decoded. Decoding is bounded in bytes, frames and time.
#pragma once

#include "thumbnails/FrameDecoder.h"
#include "thumbnails/Picture.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>
#include <string>

namespace mtsrescue {

struct ThumbnailLimits {
  // The picture is taken this far in, or from the middle of a recording shorter than twice it:
  // the first frames are often black or still settling.
  double FewSeconds = 3.0;
  // A black or one-colour picture there is passed over for a later one, up to this much later.
  double LookAheadSeconds = 10.0;
  // Per attempt (a recording gets at most two: from near the picture, then from its start).
  std::int64_t MaxBytesRead = 48LL << 20;
  std::int64_t MaxFramesDecoded = 1200;
  // For the whole recording, by the clock given to the Thumbnailer.
  double MaxSeconds = 30.0;
  DecoderLimits Decoder;
};

struct Thumbnail {
  bool Decoded = false;         // Image shows the recording; otherwise it is the placeholder
  Picture Image;                // empty only in a build without a decoder
  double DurationSeconds = -1;  // from the first picture's time to the last one's; -1 unknown
  double PictureSeconds = -1;   // Image's time after the first picture; -1 unknown
  std::string Note;             // why no picture was decoded; empty when one was
};

class Thumbnailer {
 public:
  // clock: seconds, monotonic (the steady clock when empty).
  explicit Thumbnailer(ThumbnailLimits limits = {}, std::function<double()> clock = {});

  // The thumbnail of the 192-byte-packet stream in stream (read from its start; never written).
  Thumbnail Make(ByteStream& stream) const;
  // The same for the file at path, opened OpenMode::ReadShared through opener; a file that cannot
  // be opened gets the placeholder and a note.
  Thumbnail Make(const std::string& path, const StreamOpener& opener) const;

  const ThumbnailLimits& Limits() const noexcept { return limits_; }

 private:
  Thumbnail Placeholder(std::string note) const;

  ThumbnailLimits limits_;
  std::function<double()> clock_;
};

}  // namespace mtsrescue
