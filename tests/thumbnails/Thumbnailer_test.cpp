// Input no picture can come from: every kind gets the plain placeholder and a note, reads no more
// than the limits allow, and stops at the time limit; the stream is never written.
#include "thumbnails/Thumbnailer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace mtsrescue {
namespace {

constexpr int Packet = 192;
constexpr std::uint16_t VideoPid = 0x1011;

// A read-only stream of lengthBytes whose bytes a function makes, 192-byte packet by packet, so
// that a source of a GiB costs nothing; counts what is read.
class MadeStream final : public ByteStream {
 public:
  using Maker = std::function<void(std::int64_t packet, std::uint8_t* bytes)>;
  MadeStream(std::int64_t lengthBytes, Maker maker) : length_(lengthBytes), maker_(std::move(maker)) {}
  std::error_code Seek(std::int64_t offset) override {
    position_ = offset;
    return {};
  }
  std::int64_t Size() override { return length_; }
  IoResult Read(void* buffer, std::int64_t count) override {
    const std::int64_t end = std::min(length_, position_ + count);
    auto* out = static_cast<std::uint8_t*>(buffer);
    std::uint8_t packet[Packet];
    for (std::int64_t at = position_; at < end;) {
      maker_(at / Packet, packet);
      const std::int64_t within = at % Packet;
      const std::int64_t take = std::min<std::int64_t>(Packet - within, end - at);
      std::memcpy(out + (at - position_), packet + within, static_cast<std::size_t>(take));
      at += take;
    }
    const std::int64_t got = std::max<std::int64_t>(0, end - position_);
    position_ += got;
    bytesRead_ += got;
    return {got, {}};
  }
  IoResult Write(const void*, std::int64_t) override {
    ++writes_;
    return {0, std::make_error_code(std::errc::permission_denied)};
  }
  std::int64_t BytesRead() const { return bytesRead_; }
  int Writes() const { return writes_; }

 private:
  std::int64_t length_;
  Maker maker_;
  std::int64_t position_ = 0;
  std::int64_t bytesRead_ = 0;
  int writes_ = 0;
};

std::uint32_t Hash(std::int64_t k) {
  std::uint64_t x = static_cast<std::uint64_t>(k) * 0x9E3779B97F4A7C15ull;
  x ^= x >> 29;
  x *= 0xBF58476D1CE4E5B9ull;
  return static_cast<std::uint32_t>(x ^ (x >> 32));
}

void Fill(std::uint8_t* bytes, int count, std::int64_t seed) {
  std::mt19937 random(Hash(seed));
  for (int i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(random());
}

// A transport packet with a 4-byte stamp; payloadStart sets the unit-start flag.
void Head(std::uint8_t* p, std::int64_t k, int pid, bool payloadStart) {
  p[0] = p[1] = 0;
  p[2] = static_cast<std::uint8_t>(k >> 8);
  p[3] = static_cast<std::uint8_t>(k);
  p[4] = 0x47;
  p[5] = static_cast<std::uint8_t>((payloadStart ? 0x40 : 0) | (pid >> 8));
  p[6] = static_cast<std::uint8_t>(pid);
  p[7] = static_cast<std::uint8_t>(0x10 | (k & 0x0F));
}

// Every 40th packet a PAT or PMT naming H.264 on 0x1011 (type 0x1B), the rest that PID's packets
// with a video PES header every 20th; payload comes from fill.
MadeStream::Maker VideoPackets(std::function<void(std::int64_t, std::uint8_t*, int)> fill) {
  return [fill](std::int64_t k, std::uint8_t* p) {
    if (k % 40 == 0 || k % 40 == 1) {
      static const std::uint8_t pat[] = {0x00, 0x00, 0xB0, 0x0D, 0x00, 0x01, 0xC1, 0x00, 0x00, 0x00, 0x01, 0xE1, 0x00, 0, 0, 0, 0};
      static const std::uint8_t pmt[] = {0x00, 0x02, 0xB0, 0x12, 0x00, 0x01, 0xC1, 0x00, 0x00, 0xF0, 0x11, 0xF0, 0x00,
                                         0x1B, 0xF0, 0x11, 0xF0, 0x00, 0, 0, 0, 0};
      Head(p, k, k % 40 == 0 ? 0x0000 : 0x0100, true);
      std::memset(p + 8, 0xFF, Packet - 8);
      if (k % 40 == 0) std::memcpy(p + 8, pat, sizeof pat);
      else std::memcpy(p + 8, pmt, sizeof pmt);
      return;
    }
    const bool start = k % 20 == 2;
    Head(p, k, VideoPid, start);
    int at = 8;
    if (start) {
      // PES header with a PTS that climbs by a frame per unit.
      const std::int64_t pts = 90000 + (k / 20) * 3003;
      const std::uint8_t header[] = {0, 0, 1, 0xE0, 0, 0, 0x80, 0x80, 5,
                                     static_cast<std::uint8_t>(0x21 | ((pts >> 29) & 0x0E)),
                                     static_cast<std::uint8_t>(pts >> 22), static_cast<std::uint8_t>((pts >> 14) | 1),
                                     static_cast<std::uint8_t>(pts >> 7), static_cast<std::uint8_t>((pts << 1) | 1)};
      std::memcpy(p + at, header, sizeof header);
      at += static_cast<int>(sizeof header);
    }
    fill(k, p + at, Packet - at);
  };
}

// Bits of an H.264 header, most significant first, with Exp-Golomb codes.
class BitWriter {
 public:
  void Bits(std::uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) bits_.push_back(((value >> i) & 1) != 0);
  }
  void Ue(std::uint32_t value) {
    const std::uint32_t coded = value + 1;
    int length = 0;
    while ((coded >> length) > 1) ++length;
    Bits(0, length);
    Bits(coded, length + 1);
  }
  // The NAL unit: header byte, the bits with a stop bit, emulation prevention.
  std::vector<std::uint8_t> Nal(std::uint8_t header) {
    Bits(1, 1);
    while (bits_.size() % 8 != 0) bits_.push_back(false);
    std::vector<std::uint8_t> out = {0, 0, 0, 1, header};
    int zeros = 0;
    for (std::size_t i = 0; i < bits_.size(); i += 8) {
      std::uint8_t byte = 0;
      for (int b = 0; b < 8; ++b) byte = static_cast<std::uint8_t>((byte << 1) | (bits_[i + b] ? 1 : 0));
      if (zeros >= 2 && byte <= 3) {
        out.push_back(3);
        zeros = 0;
      }
      out.push_back(byte);
      zeros = byte == 0 ? zeros + 1 : 0;
    }
    bits_.clear();
    return out;
  }

 private:
  std::vector<bool> bits_;
};

// A valid SPS (Baseline, 512 x 272 macroblocks: 8192 x 4352), its PPS and the head of an IDR slice.
std::vector<std::uint8_t> HugeFrameUnits() {
  BitWriter w;
  w.Bits(66, 8);   // profile_idc
  w.Bits(0, 8);    // constraint flags
  w.Bits(51, 8);   // level_idc
  w.Ue(0);         // seq_parameter_set_id
  w.Ue(0);         // log2_max_frame_num_minus4
  w.Ue(2);         // pic_order_cnt_type
  w.Ue(1);         // max_num_ref_frames
  w.Bits(0, 1);    // gaps_in_frame_num_value_allowed_flag
  w.Ue(511);       // pic_width_in_mbs_minus1
  w.Ue(271);       // pic_height_in_map_units_minus1
  w.Bits(0b1100, 4);  // frame_mbs_only, direct_8x8_inference, no cropping, no VUI
  std::vector<std::uint8_t> units = w.Nal(0x67);
  w.Ue(0);
  w.Ue(0);
  w.Bits(0, 2);  // CAVLC, no bottom_field_pic_order_in_frame_present
  w.Ue(0);
  w.Ue(0);
  w.Ue(0);
  w.Bits(0, 3);  // no weighted prediction
  w.Ue(0);       // pic_init_qp_minus26 (se 0)
  w.Ue(0);
  w.Ue(0);
  w.Bits(0b100, 3);  // deblocking_filter_control_present, no constrained intra, no redundant_pic_cnt
  const std::vector<std::uint8_t> pps = w.Nal(0x68);
  units.insert(units.end(), pps.begin(), pps.end());
  w.Ue(0);       // first_mb_in_slice
  w.Ue(7);       // slice_type I (all)
  w.Ue(0);       // pic_parameter_set_id
  w.Bits(0, 4);  // frame_num
  w.Ue(0);       // idr_pic_id
  w.Bits(0, 2);  // no_output_of_prior_pics, long_term_reference
  w.Ue(0);       // slice_qp_delta (se 0)
  w.Ue(1);       // disable_deblocking_filter_idc
  w.Bits(0xA5A5A5, 24);  // macroblocks: noise
  const std::vector<std::uint8_t> slice = w.Nal(0x65);
  units.insert(units.end(), slice.begin(), slice.end());
  return units;
}

struct BadInput {
  const char* Name;
  std::int64_t LengthBytes;
  MadeStream::Maker Maker;
};

TEST(Thumbnailer, InputWithoutAPictureGetsThePlaceholderWithinItsLimits) {
  if (!FrameDecoder::Available()) GTEST_SKIP() << "built without FFmpeg: no pictures at all";
  ThumbnailLimits limits;
  limits.MaxBytesRead = 4 << 20;
  const std::int64_t endsBytes = 4 << 20;  // what is read at each end for the times
  const std::vector<BadInput> inputs = {
      {"random bytes", 8 << 20, [](std::int64_t k, std::uint8_t* p) { Fill(p, Packet, k); }},
      {"zeros", 8 << 20, [](std::int64_t, std::uint8_t* p) { std::memset(p, 0, Packet); }},
      {"too short for three packets", 2 * Packet, [](std::int64_t k, std::uint8_t* p) { Head(p, k, VideoPid, true); }},
      {"sync bytes but no tables and no PES", 8 << 20,
       [](std::int64_t k, std::uint8_t* p) {
         Head(p, k, 0x1100 + static_cast<int>(k % 3), false);
         Fill(p + 8, Packet - 8, k);
       }},
      {"video PES holding random bytes (a GiB)", 1LL << 30,
       VideoPackets([](std::int64_t k, std::uint8_t* bytes, int count) { Fill(bytes, count, k); })},
      {"H.264 start codes before random NAL units: SPS, PPS, IDR slices", 64 << 20,
       VideoPackets([](std::int64_t k, std::uint8_t* bytes, int count) {
         Fill(bytes, count, k);
         static const std::uint8_t types[] = {0x67, 0x68, 0x65, 0x41, 0x06};
         for (int at = 0; at + 8 < count; at += 37) {
           bytes[at] = 0;
           bytes[at + 1] = 0;
           bytes[at + 2] = 1;
           bytes[at + 3] = types[Hash(k + at) % 5];
         }
       })},
      {"SPS of a 8192x4352 frame, more than a decoder is allowed, before IDR slices", 64 << 20,
       VideoPackets([](std::int64_t k, std::uint8_t* bytes, int count) {
         Fill(bytes, count, k);
         static const std::vector<std::uint8_t> units = HugeFrameUnits();
         if (count > static_cast<int>(units.size())) std::memcpy(bytes, units.data(), units.size());
       })},
  };
  for (const BadInput& input : inputs) {
    SCOPED_TRACE(input.Name);
    MadeStream stream(input.LengthBytes, input.Maker);
    const Thumbnail thumbnail = Thumbnailer(limits).Make(stream);
    EXPECT_FALSE(thumbnail.Decoded);
    EXPECT_FALSE(thumbnail.Note.empty());
    const Picture placeholder = PlaceholderPicture(160, 90);
    EXPECT_EQ(thumbnail.Image.Width, 160);
    EXPECT_EQ(thumbnail.Image.Height, 90);
    EXPECT_TRUE(thumbnail.Image.Rgb == placeholder.Rgb);
    EXPECT_EQ(stream.Writes(), 0);
    // Each end once for the times, then at most two attempts, each to its limit and the chunk
    // read last; with the boundary search's look-ahead.
    EXPECT_LE(stream.BytesRead(), 2 * endsBytes + 2 * (limits.MaxBytesRead + (1 << 20))) << stream.BytesRead();
  }
}

TEST(Thumbnailer, StopsDecodingAtItsTimeLimit) {
  if (!FrameDecoder::Available()) GTEST_SKIP() << "built without FFmpeg: no pictures at all";
  MadeStream stream(1LL << 30, VideoPackets([](std::int64_t k, std::uint8_t* bytes, int count) { Fill(bytes, count, k); }));
  double now = 0;
  ThumbnailLimits limits;
  limits.MaxSeconds = 5;
  const Thumbnail thumbnail = Thumbnailer(limits, [&now] { return now += 1; }).Make(stream);
  EXPECT_FALSE(thumbnail.Decoded);
  EXPECT_NE(thumbnail.Note.find("time"), std::string::npos) << thumbnail.Note;
  // The clock is asked once per PES packet: a few of them and the times at both ends were read.
  EXPECT_LT(stream.BytesRead(), 9 << 20) << stream.BytesRead();
}

}  // namespace
}  // namespace mtsrescue
