// JPEG files made by FFmpeg's MJPEG encoder (one picture, one thread).
#include "thumbnails/JpegEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <algorithm>
#include <cmath>
#include <memory>

namespace mtsrescue {
namespace {

struct CodecFree {
  void operator()(AVCodecContext* codec) const { avcodec_free_context(&codec); }
};
struct FrameFree {
  void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
  void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
std::uint8_t Clamp(double value) { return static_cast<std::uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

// picture into the frame's planes as JPEG's full-range BT.601 YCbCr, chroma averaged over each
// 2x2 block. Done here rather than by libswscale: its filtered RGB-to-YUV path, built without
// assembler for MinGW (FFmpeg 5.1.9), writes chroma of 0.
void ToYCbCr(const Picture& picture, AVFrame& frame) {
  const auto pixel = [&](int x, int y) { return picture.Rgb.data() + (static_cast<std::size_t>(y) * picture.Width + x) * 3; };
  for (int y = 0; y < picture.Height; ++y) {
    for (int x = 0; x < picture.Width; ++x) {
      const std::uint8_t* p = pixel(x, y);
      frame.data[0][y * frame.linesize[0] + x] = Clamp(0.299 * p[0] + 0.587 * p[1] + 0.114 * p[2]);
    }
  }
  for (int y = 0; y < picture.Height / 2; ++y) {
    for (int x = 0; x < picture.Width / 2; ++x) {
      double r = 0, g = 0, b = 0;
      for (int k = 0; k < 4; ++k) {
        const std::uint8_t* p = pixel(2 * x + (k & 1), 2 * y + (k >> 1));
        r += p[0] / 4.0;
        g += p[1] / 4.0;
        b += p[2] / 4.0;
      }
      frame.data[1][y * frame.linesize[1] + x] = Clamp(128 - 0.168736 * r - 0.331264 * g + 0.5 * b);
      frame.data[2][y * frame.linesize[2] + x] = Clamp(128 + 0.5 * r - 0.418688 * g - 0.081312 * b);
    }
  }
}

}  // namespace

std::vector<std::uint8_t> JpegEncoder::Encode(const Picture& picture) {
  const int width = picture.Width;
  const int height = picture.Height;
  if (width < 2 || height < 2 || width % 2 != 0 || height % 2 != 0 ||
      picture.Rgb.size() < static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3) {
    return {};
  }
  const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
  if (codec == nullptr) return {};
  std::unique_ptr<AVCodecContext, CodecFree> context(avcodec_alloc_context3(codec));
  std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
  std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
  if (!context || !frame || !packet) return {};
  context->width = width;
  context->height = height;
  context->pix_fmt = AV_PIX_FMT_YUVJ420P;
  context->color_range = AVCOL_RANGE_JPEG;
  context->time_base = AVRational{1, 25};
  context->thread_count = 1;
  context->flags |= AV_CODEC_FLAG_QSCALE;
  context->global_quality = FF_QP2LAMBDA * 3;  // small files that still show detail at 160 px
  if (avcodec_open2(context.get(), codec, nullptr) < 0) return {};

  frame->format = AV_PIX_FMT_YUVJ420P;
  frame->width = width;
  frame->height = height;
  if (av_frame_get_buffer(frame.get(), 0) < 0) return {};
  frame->quality = context->global_quality;
  frame->pts = 0;
  if (av_frame_make_writable(frame.get()) < 0) return {};
  ToYCbCr(picture, *frame);

  if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_send_frame(context.get(), nullptr) < 0) return {};
  std::vector<std::uint8_t> bytes;
  while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
    bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
    av_packet_unref(packet.get());
  }
  return bytes;
}

}  // namespace mtsrescue
