// Decoding with FFmpeg's H.264 parser and decoder, one thread, frames shrunk with libswscale.
#include "thumbnails/FrameDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cstdarg>
#include <map>
#include <mutex>
#include <unordered_map>

namespace mtsrescue {
namespace {

constexpr std::int64_t PtsMask = (std::int64_t{1} << 33) - 1;
constexpr std::size_t MaxUnitsKept = 512;

// The decoder tells of a slice it could not decode only in its log, and without error
// concealment (interlaced MBAFF pictures get none) hands the picture out unmarked, grey where the
// slices failed. So the errors each decoder logs are counted; the log itself is silenced: garbled
// input would fill the user's terminal. FFmpeg's log callback is one for the process, hence the
// one registry here.
class DecoderErrors {
 public:
  static DecoderErrors& Instance() {
    static DecoderErrors instance;
    return instance;
  }
  void Watch(const void* context, std::int64_t* counter) {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_[context] = counter;
  }
  void Forget(const void* context) {
    std::lock_guard<std::mutex> lock(mutex_);
    counters_.erase(context);
  }

 private:
  DecoderErrors() { av_log_set_callback(&DecoderErrors::Log); }

  static void Log(void* context, int level, const char*, va_list) {
    if (level > AV_LOG_ERROR || context == nullptr) return;
    DecoderErrors& self = Instance();
    std::lock_guard<std::mutex> lock(self.mutex_);
    const auto found = self.counters_.find(context);
    if (found != self.counters_.end()) ++*found->second;
  }

  std::mutex mutex_;
  std::unordered_map<const void*, std::int64_t*> counters_;
};

bool FullRange(const AVFrame& frame) {
  switch (frame.format) {
    case AV_PIX_FMT_YUVJ420P:
    case AV_PIX_FMT_YUVJ422P:
    case AV_PIX_FMT_YUVJ444P:
    case AV_PIX_FMT_YUVJ440P:
      return true;
    default:
      return frame.color_range == AVCOL_RANGE_JPEG;
  }
}

}  // namespace

struct FrameDecoder::State {
  AVCodecParserContext* Parser = nullptr;
  AVCodecContext* Codec = nullptr;
  AVPacket* Packet = nullptr;
  AVFrame* Frame = nullptr;
  SwsContext* Scaler = nullptr;
  std::vector<std::uint8_t> Rows;  // the scaler's output, rows padded to aligned strides
  std::int64_t Errors = 0;         // logged by the decoder since it was opened
  std::int64_t EarlierErrors = 0;  // before that
  // Whether the pictures decoded from the last intra or recovery picture up to each one (by
  // its PTS, decoding order) met an error: those refer to what a failed slice left.
  bool Damaged = true;
  std::map<std::int64_t, bool> DamagedAt;

  ~State() { Close(); }

  void Close() {
    if (Codec != nullptr) DecoderErrors::Instance().Forget(Codec);
    EarlierErrors += Errors;
    Errors = 0;
    if (Parser != nullptr) av_parser_close(Parser);
    Parser = nullptr;
    avcodec_free_context(&Codec);
    av_packet_free(&Packet);
    av_frame_free(&Frame);
    sws_freeContext(Scaler);
    Scaler = nullptr;
  }

  // False when FFmpeg lacks the H.264 decoder or parser, or cannot allocate them.
  bool Open(const DecoderLimits& limits) {
    Close();
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (codec == nullptr) return false;
    Parser = av_parser_init(AV_CODEC_ID_H264);
    Codec = avcodec_alloc_context3(codec);
    Packet = av_packet_alloc();
    Frame = av_frame_alloc();
    if (Parser == nullptr || Codec == nullptr || Packet == nullptr || Frame == nullptr) return false;
    // One thread: the time a picture takes is the time its bytes take, and memory stays small.
    Codec->thread_count = 1;
    Codec->max_pixels = limits.MaxFramePixels;
    Codec->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    Codec->flags2 &= ~AV_CODEC_FLAG2_SHOW_ALL;
    DecoderErrors::Instance().Watch(Codec, &Errors);
    if (avcodec_open2(Codec, codec, nullptr) < 0) {
      Close();
      return false;
    }
    Damaged = true;
    DamagedAt.clear();
    return true;
  }
};

bool FrameDecoder::Available() { return avcodec_find_decoder(AV_CODEC_ID_H264) != nullptr; }

std::string FrameDecoder::LibraryVersion() {
  const unsigned version = avcodec_version();
  return std::string("FFmpeg ") + av_version_info() + " (libavcodec " + std::to_string(version >> 16) + "." +
         std::to_string((version >> 8) & 0xFF) + "." + std::to_string(version & 0xFF) + ")";
}

FrameDecoder::FrameDecoder(const DecoderLimits& limits) : state_(std::make_unique<State>()), limits_(limits) {
  DecoderErrors::Instance();
  if (!state_->Open(limits_)) state_->Close();
}

FrameDecoder::~FrameDecoder() = default;

std::int64_t FrameDecoder::Errors() const noexcept { return state_->EarlierErrors + state_->Errors; }

void FrameDecoder::Reset() {
  if (!state_->Open(limits_)) state_->Close();
}

namespace {

// frame shrunk to picture: one field of an interlaced frame, the display's aspect ratio.
bool Shrink(const AVFrame& frame, int pictureWidth, SwsContext*& scaler, std::vector<std::uint8_t>& rows, Picture& picture) {
  if (frame.width < 2 || frame.height < 2) return false;
  // The top field alone: the two fields of a moving picture were taken 1/50 or 1/60 s apart and
  // woven together comb; one field has half the lines, which a thumbnail does not miss.
  const bool oneField = frame.interlaced_frame != 0 && frame.height >= 4;
  const int sourceHeight = oneField ? frame.height / 2 : frame.height;
  int width = 0;
  int height = 0;
  ThumbnailSize(pictureWidth, frame.width, frame.height, frame.sample_aspect_ratio.num,
                frame.sample_aspect_ratio.den, &width, &height);
  scaler = sws_getCachedContext(scaler, frame.width, sourceHeight, static_cast<AVPixelFormat>(frame.format), width,
                                height, AV_PIX_FMT_RGB24, SWS_AREA, nullptr, nullptr, nullptr);
  if (scaler == nullptr) return false;
  const int space = frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : static_cast<int>(frame.colorspace);
  sws_setColorspaceDetails(scaler, sws_getCoefficients(space), FullRange(frame) ? 1 : 0,
                           sws_getCoefficients(SWS_CS_DEFAULT), 1, 0, 1 << 16, 1 << 16);
  int strides[4] = {0, 0, 0, 0};
  for (int i = 0; i < 4 && frame.data[i] != nullptr; ++i) strides[i] = frame.linesize[i] * (oneField ? 2 : 1);
  const int rowBytes = (width * 3 + 63) / 64 * 64;
  rows.assign(static_cast<std::size_t>(rowBytes) * static_cast<std::size_t>(height + 1), 0);
  std::uint8_t* target[4] = {rows.data(), nullptr, nullptr, nullptr};
  const int targetStrides[4] = {rowBytes, 0, 0, 0};
  if (sws_scale(scaler, frame.data, strides, 0, sourceHeight, target, targetStrides) != height) return false;
  picture.Width = width;
  picture.Height = height;
  picture.Rgb.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    std::copy_n(rows.data() + static_cast<std::size_t>(y) * rowBytes, width * 3,
                picture.Rgb.data() + static_cast<std::size_t>(y) * width * 3);
  }
  const std::int64_t pts = frame.best_effort_timestamp != AV_NOPTS_VALUE ? frame.best_effort_timestamp : frame.pts;
  picture.Pts = pts == AV_NOPTS_VALUE ? -1 : (pts & PtsMask);
  return true;
}

}  // namespace

void FrameDecoder::TakeFrames(std::vector<Picture>& out, const std::int64_t* errorsBefore) {
  State& s = *state_;
  while (avcodec_receive_frame(s.Codec, s.Frame) == 0) {
    ++framesDecoded_;
    if (errorsBefore != nullptr && s.Errors != *errorsBefore) s.Damaged = true;
    const auto at = s.DamagedAt.find(s.Frame->pts);
    const bool damaged = at != s.DamagedAt.end() ? at->second : s.Damaged;
    if (!damaged && (s.Frame->flags & AV_FRAME_FLAG_CORRUPT) == 0 && s.Frame->decode_error_flags == 0) {
      Picture picture;
      if (Shrink(*s.Frame, limits_.PictureWidth, s.Scaler, s.Rows, picture)) out.push_back(std::move(picture));
    }
    av_frame_unref(s.Frame);
  }
}

void FrameDecoder::Feed(const std::uint8_t* bytes, std::size_t count, std::int64_t pts, std::vector<Picture>& out) {
  State& s = *state_;
  if (s.Codec == nullptr) return;
  const auto receive = [&] { TakeFrames(out, nullptr); };
  const auto decode = [&](std::uint8_t* data, int size, std::int64_t unitPts, std::int64_t unitDts) {
    s.Packet->data = data;
    s.Packet->size = size;
    s.Packet->pts = unitPts;
    s.Packet->dts = unitDts;
    // An intra picture (or one after a recovery point) refers to nothing before it.
    if (s.Parser->key_frame == 1 || s.Parser->pict_type == AV_PICTURE_TYPE_I) s.Damaged = false;
    const std::int64_t errorsBefore = s.Errors;
    int sent = avcodec_send_packet(s.Codec, s.Packet);
    if (sent == AVERROR(EAGAIN)) {
      receive();
      sent = avcodec_send_packet(s.Codec, s.Packet);
    }
    // A unit the decoder refuses is garbled input: the next one may do.
    if (sent < 0 && s.Errors == errorsBefore) ++s.Errors;
    if (s.Errors != errorsBefore) s.Damaged = true;
    if (unitPts != AV_NOPTS_VALUE) {
      if (s.DamagedAt.size() >= MaxUnitsKept) s.DamagedAt.erase(s.DamagedAt.begin());
      s.DamagedAt[unitPts] = s.Damaged;
    }
    receive();
  };
  // The parser cuts the bytes into whole pictures and carries pts to the picture it began.
  const std::uint8_t* data = bytes;
  std::size_t left = count;
  std::int64_t givenPts = pts >= 0 ? pts : AV_NOPTS_VALUE;
  while (left > 0) {
    std::uint8_t* unit = nullptr;
    int unitSize = 0;
    const int take = static_cast<int>(std::min<std::size_t>(left, 1 << 20));
    const int used = av_parser_parse2(s.Parser, s.Codec, &unit, &unitSize, data, take, givenPts, AV_NOPTS_VALUE, 0);
    givenPts = AV_NOPTS_VALUE;
    if (used < 0) break;
    data += used;
    left -= static_cast<std::size_t>(used);
    if (unitSize > 0) decode(unit, unitSize, s.Parser->pts, s.Parser->dts);
    if (used == 0 && unitSize == 0) break;
  }
}

void FrameDecoder::Drain(std::vector<Picture>& out) {
  State& s = *state_;
  if (s.Codec == nullptr) return;
  std::uint8_t* unit = nullptr;
  int unitSize = 0;
  av_parser_parse2(s.Parser, s.Codec, &unit, &unitSize, nullptr, 0, AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
  if (unitSize > 0) {
    s.Packet->data = unit;
    s.Packet->size = unitSize;
    s.Packet->pts = s.Parser->pts;
    s.Packet->dts = s.Parser->dts;
    avcodec_send_packet(s.Codec, s.Packet);
  }
  avcodec_send_packet(s.Codec, nullptr);
  const std::int64_t errorsBefore = s.Errors;
  TakeFrames(out, &errorsBefore);
  Reset();  // a decoder past its end takes no more input until it is opened again
}

}  // namespace mtsrescue
