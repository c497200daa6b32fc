// H.264 elementary-stream bytes in, small pictures out: FFmpeg's parser and decoder behind a
// header free of it. FrameDecoder_ffmpeg.cpp decodes; FrameDecoder_none.cpp stands in where the
// build has no FFmpeg.
#pragma once

#include "thumbnails/Picture.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtsrescue {

struct DecoderLimits {
  int PictureWidth = 160;  // of the pictures handed out
  // A frame larger than this (in luma samples) is not decoded: its buffers would be the memory
  // a garbled SPS can ask for. 4096 x 2304 is more than any camcorder writes.
  std::int64_t MaxFramePixels = 4096LL * 2304;
};

class FrameDecoder {
 public:
  // False in a build without FFmpeg: then Feed never hands out a picture.
  static bool Available();
  // The decoding library and its version, for the about box ("FFmpeg libavcodec 59.37.100");
  // empty without one.
  static std::string LibraryVersion();

  explicit FrameDecoder(const DecoderLimits& limits = {});
  ~FrameDecoder();
  FrameDecoder(const FrameDecoder&) = delete;
  FrameDecoder& operator=(const FrameDecoder&) = delete;

  // Feeds count bytes of the elementary stream that a PES packet with pts (90 kHz, or -1) began;
  // appends the pictures finished so far to out, in display order, each shrunk to
  // limits.PictureWidth with the display's aspect ratio and, for interlaced frames, made of one
  // field (no combing). Frames the decoder marks as corrupt are not handed out.
  void Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t pts, std::vector<Picture>& out);
  // The end of the stream: the pictures the decoder still holds.
  void Drain(std::vector<Picture>& out);
  // Forgets the stream (before feeding bytes from elsewhere in it).
  void Reset();
  // Frames decoded so far, shown or not.
  std::int64_t FramesDecoded() const noexcept { return framesDecoded_; }
  // Errors the decoder met so far (slices it could not decode, units it refused).
  std::int64_t Errors() const noexcept;

 private:
  struct State;
  // Takes the frames the decoder has ready, keeping the clean ones; with errorsBefore, any error
  // logged since marks the stream damaged.
  void TakeFrames(std::vector<Picture>& out, const std::int64_t* errorsBefore);
  std::unique_ptr<State> state_;
  DecoderLimits limits_;
  std::int64_t framesDecoded_ = 0;
};

}  // namespace mtsrescue
