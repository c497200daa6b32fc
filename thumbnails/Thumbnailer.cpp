// Choosing and decoding the picture of a recording.
#include "thumbnails/Thumbnailer.h"

#include "thumbnails/VideoPackets.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <optional>

namespace mtsrescue {
namespace {

constexpr std::int64_t PtsMask = (std::int64_t{1} << 33) - 1;
constexpr double PtsHz = 90000.0;
constexpr std::int64_t EndsBytes = 4LL << 20;  // read at each end for the first and last times
constexpr int EndsUnits = 256;                 // PES packets looked at from the start
constexpr double MaxDuration = 24 * 3600.0;    // longer is two unrelated clocks, not a recording
constexpr double LeadSeconds = 1.5;            // started this much before the picture: a GOP or more
// A picture is taken only as the third or later one in a row that came with no decoding error
// between: random bytes now and then decode without a complaint into a picture of noise, but
// hardly ever three times running.
constexpr int CleanRun = 3;

double SteadySeconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// pts - first in seconds, across the 33-bit wrap.
double Since(std::int64_t first, std::int64_t pts) { return static_cast<double>((pts - first) & PtsMask) / PtsHz; }

}  // namespace

Thumbnailer::Thumbnailer(ThumbnailLimits limits, std::function<double()> clock)
    : limits_(limits), clock_(clock ? std::move(clock) : std::function<double()>(SteadySeconds)) {}

Thumbnail Thumbnailer::Placeholder(std::string note) const {
  Thumbnail thumbnail;
  int width = 0;
  int height = 0;
  ThumbnailSize(limits_.Decoder.PictureWidth, 16, 9, 1, 1, &width, &height);
  if (FrameDecoder::Available()) thumbnail.Image = PlaceholderPicture(width, height);
  thumbnail.Note = std::move(note);
  return thumbnail;
}

Thumbnail Thumbnailer::Make(const std::string& path, const StreamOpener& opener) const {
  std::unique_ptr<ByteStream> stream;
  try {
    stream = opener(path, OpenMode::ReadShared);
  } catch (const std::exception& error) {
    return Placeholder(error.what());
  }
  if (!stream) return Placeholder("cannot open \"" + path + "\"");
  return Make(*stream);
}

Thumbnail Thumbnailer::Make(ByteStream& stream) const {
  if (!FrameDecoder::Available()) return Placeholder("this build has no video decoder (built without FFmpeg)");
  const double deadline = clock_() + limits_.MaxSeconds;
  const std::int64_t length = stream.Size();
  if (length < 3 * VideoPackets::PacketBytes) return Placeholder("too short to hold a picture");
  VideoPackets packets(stream, length);
  if (packets.FindVideoPid(EndsBytes) == VideoPackets::NoPid) return Placeholder("no H.264 video stream found");

  // The first picture's time (the smallest of the first PES packets': B pictures come after the
  // picture they follow) and the last one's.
  std::optional<std::int64_t> first;
  std::optional<std::int64_t> last;
  int units = 0;
  const auto earlier = [&](std::int64_t pts) { return !first || ((*first - pts) & PtsMask) < (PtsMask >> 1); };
  packets.Walk(0, EndsBytes, [&](VideoPes& pes) {
    if (pes.Pts >= 0 && earlier(pes.Pts)) first = pes.Pts;
    return ++units < EndsUnits;
  });
  if (first) {
    packets.Walk(std::max<std::int64_t>(0, length - EndsBytes), EndsBytes, [&](VideoPes& pes) {
      if (pes.Pts >= 0 && (!last || ((pes.Pts - *last) & PtsMask) < (PtsMask >> 1))) last = pes.Pts;
      return true;
    });
  }
  Thumbnail thumbnail;
  if (first && last && Since(*first, *last) < MaxDuration) thumbnail.DurationSeconds = Since(*first, *last);
  const double duration = thumbnail.DurationSeconds;
  const double target = duration > 2 * limits_.FewSeconds ? limits_.FewSeconds
                        : duration > 0                    ? duration / 2
                                                          : limits_.FewSeconds;

  FrameDecoder decoder(limits_.Decoder);
  std::optional<Picture> chosen;
  std::optional<Picture> best;      // the most varied of those at or after the target
  std::optional<Picture> fallback;  // the latest before the target
  bool overTime = false;
  int clean = 0;  // pictures in a row with no decoding error before them
  std::int64_t errorsSeen = 0;
  const auto timeOf = [&](const Picture& picture) { return first && picture.Pts >= 0 ? Since(*first, picture.Pts) : -1.0; };
  const auto consider = [&](Picture& picture) {
    if (chosen) return;
    if (decoder.Errors() != errorsSeen) {
      errorsSeen = decoder.Errors();
      clean = 0;
    }
    if (++clean < CleanRun) return;
    const double at = timeOf(picture);
    if (at >= 0 && at + 1e-6 < target) {
      fallback = std::move(picture);
      return;
    }
    if (LookOf(picture).Shows()) {
      chosen = std::move(picture);
      return;
    }
    const bool later = at >= 0 && at > target + limits_.LookAheadSeconds;
    if (!best || LookOf(picture).Spread > LookOf(*best).Spread) best = std::move(picture);
    if (later) chosen = std::move(*best);  // nothing better came for long enough
  };
  const auto attempt = [&](std::int64_t fromOffset) {
    decoder.Reset();
    clean = 0;
    const std::int64_t framesBefore = decoder.FramesDecoded();
    std::vector<Picture> pictures;
    packets.Walk(fromOffset, limits_.MaxBytesRead, [&](VideoPes& pes) {
      decoder.Feed(pes.Bytes.data(), pes.Bytes.size(), pes.Pts, pictures);
      for (Picture& picture : pictures) consider(picture);
      pictures.clear();
      if (clock_() > deadline) overTime = true;
      return !chosen && !overTime && decoder.FramesDecoded() - framesBefore < limits_.MaxFramesDecoded;
    });
    if (!chosen && !overTime) {
      decoder.Drain(pictures);
      for (Picture& picture : pictures) consider(picture);
    }
  };

  // From a little before the picture's place, guessed from the bytes (camcorders record at a
  // nearly steady rate); from the start when that shows nothing (no picture a decoder can start
  // from after it).
  const std::int64_t near = duration > 0 && target > LeadSeconds
                                ? static_cast<std::int64_t>(static_cast<double>(length) * (target - LeadSeconds) / duration)
                                : 0;
  attempt(near);
  if (!chosen && !best && !overTime && near > 0) attempt(0);

  std::optional<Picture>& picture = chosen ? chosen : best ? best : fallback;
  if (!picture) {
    return Placeholder(overTime ? "no picture could be decoded in the time allowed"
                                : "no picture could be decoded (damaged, or no picture a decoder can start from)");
  }
  thumbnail.Decoded = true;
  thumbnail.PictureSeconds = timeOf(*picture);
  thumbnail.Image = std::move(*picture);
  return thumbnail;
}

}  // namespace mtsrescue
