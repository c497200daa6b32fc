// JPEG files made by FFmpeg's MJPEG encoder (one picture, one thread).
#include "thumbnails/JpegEncoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libswscale/swscale.h>
}

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
struct ScalerFree {
  void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};

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
  std::unique_ptr<SwsContext, ScalerFree> scaler(sws_getContext(width, height, AV_PIX_FMT_RGB24, width, height,
                                                                AV_PIX_FMT_YUVJ420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler) return {};
  const std::uint8_t* source[4] = {picture.Rgb.data(), nullptr, nullptr, nullptr};
  const int sourceStrides[4] = {width * 3, 0, 0, 0};
  if (sws_scale(scaler.get(), source, sourceStrides, 0, height, frame->data, frame->linesize) != height) return {};

  if (avcodec_send_frame(context.get(), frame.get()) < 0 || avcodec_send_frame(context.get(), nullptr) < 0) return {};
  std::vector<std::uint8_t> bytes;
  while (avcodec_receive_packet(context.get(), packet.get()) == 0) {
    bytes.insert(bytes.end(), packet->data, packet->data + packet->size);
    av_packet_unref(packet.get());
  }
  return bytes;
}

}  // namespace mtsrescue
