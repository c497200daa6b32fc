// VideoStreamReader: which picture a decoder can begin at, and the MDPM dates, read from
// transport packets built here byte by byte.
#include "rebuild/VideoStreamReader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

namespace mtsrescue::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint16_t VideoPid = 0x1011;
constexpr std::uint16_t AudioPid = 0x1100;

// Adds emulation-prevention bytes, as an encoder does.
Bytes Escape(const Bytes& rbsp) {
  Bytes out;
  int zeros = 0;
  for (const std::uint8_t b : rbsp) {
    if (zeros >= 2 && b <= 3) {
      out.push_back(3);
      zeros = 0;
    }
    out.push_back(b);
    zeros = b == 0 ? zeros + 1 : 0;
  }
  return out;
}

Bytes Nal(std::uint8_t header, const Bytes& rbsp) {
  Bytes nal{0, 0, 0, 1, header};
  const Bytes escaped = Escape(rbsp);
  nal.insert(nal.end(), escaped.begin(), escaped.end());
  return nal;
}

// A slice: first_mb_in_slice and slice_type as Exp-Golomb codes, then coded data.
Bytes Slice(bool idr, std::uint32_t firstMb, std::uint32_t sliceType) {
  std::vector<bool> bits;
  for (const std::uint32_t value : {firstMb, sliceType, 0u}) {
    const std::uint32_t code = value + 1;
    int width = 0;
    while ((code >> width) > 1) ++width;
    for (int i = 0; i < width; ++i) bits.push_back(false);
    for (int i = width; i >= 0; --i) bits.push_back(((code >> i) & 1) != 0);
  }
  Bytes rbsp((bits.size() + 7) / 8, 0);
  for (std::size_t i = 0; i < bits.size(); ++i) {
    if (bits[i]) rbsp[i / 8] |= static_cast<std::uint8_t>(0x80 >> (i % 8));
  }
  for (int i = 0; i < 300; ++i) rbsp.push_back(static_cast<std::uint8_t>(i * 37 + 11));
  return Nal(idr ? 0x65 : 0x41, rbsp);
}

std::uint8_t Bcd(int value) { return static_cast<std::uint8_t>((value / 10) << 4 | (value % 10)); }

Bytes Mdpm(const RecordingDate& d) {
  Bytes payload{0x17, 0xee, 0x8c, 0x60, 0xf8, 0x4d, 0x11, 0xd9, 0x8c, 0xd6, 0x08, 0x00, 0x20, 0x0c, 0x9a, 0x66,
                'M', 'D', 'P', 'M', 4,
                0x70, 0x00, 0x00, 0x01, 0x10,  // another tag, whose bytes need escaping too
                0x18, 0x09, Bcd(d.Year / 100), Bcd(d.Year % 100), Bcd(d.Month),
                0x19, Bcd(d.Day), Bcd(d.Hour), Bcd(d.Minute), Bcd(d.Second),
                0xE1, 0x00, 0x00, 0x00, 0x00};
  Bytes rbsp{5, static_cast<std::uint8_t>(payload.size())};
  rbsp.insert(rbsp.end(), payload.begin(), payload.end());
  rbsp.push_back(0x80);
  return Nal(0x06, rbsp);
}

const Bytes Delimiter = Nal(0x09, {0xF0});
const Bytes Sps = Nal(0x67, {0x64, 0x00, 0x28, 0xAC, 0xD9, 0x40, 0x78});
const Bytes Pps = Nal(0x68, {0xEB, 0xE3, 0xCB, 0x22, 0xC0});
const Bytes Recovery = Nal(0x06, {6, 1, 0x84, 0x80});
// A large SEI message: what follows it lies in later packets of the PES packet.
const Bytes Filler = [] {
  Bytes rbsp{5, 200};
  rbsp.resize(2 + 200, 0x5A);
  rbsp.push_back(0x80);
  return Nal(0x06, rbsp);
}();

Bytes Join(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

std::uint32_t Crc(const Bytes& bytes) {
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const std::uint8_t b : bytes) {
    crc ^= static_cast<std::uint32_t>(b) << 24;
    for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

// Transport packets of one stream, and where each PES packet of the picture PID begins.
class Stream {
 public:
  void Section(std::uint16_t pid, std::uint8_t tableId, const Bytes& body) {
    const int length = 5 + static_cast<int>(body.size()) + 4;
    Bytes section{tableId, static_cast<std::uint8_t>(0xB0 | (length >> 8)), static_cast<std::uint8_t>(length),
                  0x00, 0x01, 0xC1, 0x00, 0x00};
    section.insert(section.end(), body.begin(), body.end());
    const std::uint32_t crc = Crc(section);
    for (int shift = 24; shift >= 0; shift -= 8) section.push_back(static_cast<std::uint8_t>(crc >> shift));
    section.insert(section.begin(), 0);  // pointer field
    section.resize(184, 0xFF);
    Put(pid, true, section.data(), 184);
  }
  void Tables() {
    Section(0x0000, 0x00, {0x00, 0x01, 0xE1, 0x00});
    Section(0x0100, 0x02, {0xF0, 0x01, 0xF0, 0x00, 0x1B, 0xF0, 0x11, 0xF0, 0x00, 0x81, 0xF1, 0x00, 0xF0, 0x00});
  }

  // A PES packet; its first packet carries firstBytes of it (an adaptation field pads the rest).
  void Pes(std::uint16_t pid, std::uint8_t streamId, const Bytes& es, int firstBytes = 184) {
    Bytes pes{0, 0, 1, streamId, 0, 0, 0x80, 0x80, 5, 0x21, 0x00, 0x01, 0x00, 0x01};
    pes.insert(pes.end(), es.begin(), es.end());
    if (pid == VideoPid) PesStarts.push_back(static_cast<std::int64_t>(packets_.size()) * 192);
    Units(pid, pes, firstBytes, true);
  }
  // The end of a PES packet whose start is not in the stream (a piece begun mid-picture).
  void Tail(std::uint16_t pid, const Bytes& es) { Units(pid, es, 184, false); }

  void Feed(VideoStreamReader& reader) const {
    for (std::size_t k = 0; k < packets_.size(); ++k) {
      reader.Packet(static_cast<std::int64_t>(k) * 192, packets_[k].data());
    }
  }

  std::vector<std::int64_t> PesStarts;

 private:
  void Units(std::uint16_t pid, const Bytes& unit, int firstBytes, bool start) {
    std::size_t at = 0;
    while (at < unit.size()) {
      const std::size_t take = std::min<std::size_t>(unit.size() - at, at == 0 ? firstBytes : 184);
      Put(pid, start && at == 0, unit.data() + at, static_cast<int>(take));
      at += take;
    }
  }
  void Put(std::uint16_t pid, bool unitStart, const std::uint8_t* payload, int count) {
    std::array<std::uint8_t, 188> p{};
    p.fill(0xFF);
    p[0] = 0x47;
    p[1] = static_cast<std::uint8_t>((unitStart ? 0x40 : 0) | (pid >> 8));
    p[2] = static_cast<std::uint8_t>(pid);
    int at = 4;
    if (count < 184) {
      p[3] = static_cast<std::uint8_t>(0x30 | (counter_++ & 0x0F));
      p[4] = static_cast<std::uint8_t>(183 - count);
      if (count < 183) p[5] = 0x00;
      at = 188 - count;
    } else {
      p[3] = static_cast<std::uint8_t>(0x10 | (counter_++ & 0x0F));
    }
    std::copy(payload, payload + count, p.begin() + at);
    packets_.push_back(p);
  }

  std::vector<std::array<std::uint8_t, 188>> packets_;
  int counter_ = 0;
};

const RecordingDate Midnight{2026, 1, 1, 0, 0, 1};  // 00 00 01 in its bytes: escaped
const RecordingDate Later{2026, 1, 1, 0, 0, 2};
const RecordingDate Noon{2025, 12, 31, 12, 34, 56};

struct Case {
  std::string Name;
  Stream Data;
  int ShowablePes;  // index into the PES packets of the picture PID, or -1
  std::optional<RecordingDate> First;
  std::optional<RecordingDate> Last;
  std::optional<RecordingDate> AtShowable;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  {
    Case c{"IdrAfterTablesWithAnEscapedDate", {}, 0, Midnight, Later, Midnight};
    c.Data.Tables();
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Mdpm(Midnight), Slice(true, 0, 7)}));
    c.Data.Pes(AudioPid, 0xBD, Bytes(300, 0x11));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Mdpm(Later), Slice(false, 0, 5)}));
    cases.push_back(std::move(c));
  }
  {
    // The head is lost: the piece begins inside a P picture; an I picture without SPS and PPS
    // before it cannot be decoded; the next one, with them and a recovery point, can.
    Case c{"OpenGopIPictureWithRecoveryPointAfterALostHead", {}, 3, Noon, Midnight, Midnight};
    c.Data.Tail(VideoPid, Join({Bytes(100, 0x44), Slice(false, 30, 5)}));
    c.Data.Tables();
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Mdpm(Noon), Slice(false, 0, 5)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Slice(false, 0, 6)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Recovery, Slice(false, 0, 7)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Recovery, Mdpm(Midnight), Slice(false, 0, 7),
                                     Slice(false, 40, 2)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Slice(false, 0, 6)}));
    cases.push_back(std::move(c));
  }
  {
    // P and B pictures only, and an I picture whose second slice is a P slice.
    Case c{"PAndBPicturesAndAMixedPictureAreNotShowable", {}, -1, Noon, Noon, std::nullopt};
    c.Data.Tables();
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Mdpm(Noon), Slice(false, 0, 5)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Slice(false, 0, 6)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Slice(false, 0, 7), Slice(false, 50, 5)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Slice(false, 0, 5)}));
    cases.push_back(std::move(c));
  }
  {
    // Two field pictures in each PES packet: an I field second in its PES packet cannot be
    // begun at; one first in it, with a P field after it, can.
    Case c{"TwoFieldsPerPesPacket", {}, 1, Noon, Midnight, Midnight};
    c.Data.Tables();
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Mdpm(Noon), Slice(false, 0, 5), Delimiter, Sps, Pps, Recovery,
                                     Slice(false, 0, 7)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Recovery, Mdpm(Midnight), Slice(false, 0, 7), Delimiter,
                                     Slice(false, 0, 5)}));
    cases.push_back(std::move(c));
  }
  {
    // The PES packet spans packets: the slice lies in its third, and the first packet ends
    // between the 00 00 and the 01 of the slice's start code.
    Case c{"StartCodeSplitAcrossPacketsInAPesSpanningThem", {}, 0, std::nullopt, std::nullopt, std::nullopt};
    c.Data.Tables();
    const Bytes head = Join({Delimiter, Sps, Pps, Filler});
    const int beforeOne = 14 + static_cast<int>(head.size()) + 3;  // PES header, 00 00 00
    c.Data.Pes(VideoPid, 0xE0, Join({head, Slice(true, 0, 2)}), beforeOne % 184);
    cases.push_back(std::move(c));
  }
  {
    // No PMT: the picture PID is the one whose PES packets are video and begin with a start
    // code, not the audio PID before it.
    Case c{"NoPmtInThePiece", {}, 0, Later, Later, Later};
    c.Data.Pes(AudioPid, 0xBD, Join({Bytes{0, 0, 1, 0x09}, Bytes(200, 0x22)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Mdpm(Later), Slice(true, 0, 2)}));
    c.Data.Pes(VideoPid, 0xE0, Join({Delimiter, Slice(false, 0, 5)}));
    cases.push_back(std::move(c));
  }
  return cases;
}

TEST(VideoStreamReader, FindsTheFirstShowablePictureAndTheDates) {
  // The date's bytes and the other tag's do need escaping: the case tests the unescaping.
  const Bytes sei = Mdpm(Midnight);
  const Bytes marker{0x00, 0x00, 0x03};
  ASSERT_NE(std::search(sei.begin() + 4, sei.end(), marker.begin(), marker.end()), sei.end());

  for (const Case& c : Cases()) {
    SCOPED_TRACE(c.Name);
    VideoStreamReader reader;
    c.Data.Feed(reader);
    ASSERT_TRUE(reader.HasVideoPid());
    EXPECT_EQ(reader.VideoPid(), VideoPid);
    EXPECT_EQ(reader.FirstShowableOffset(), c.ShowablePes < 0 ? -1 : c.Data.PesStarts[c.ShowablePes]);
    EXPECT_EQ(reader.FirstDate(), c.First);
    EXPECT_EQ(reader.LastDate(), c.Last);
    EXPECT_EQ(reader.ShowableDate(), c.AtShowable);
  }
}

TEST(VideoStreamReader, PacketsFoundToBeAnotherStreamsAreForgotten) {
  Stream data;
  data.Tables();
  data.Pes(VideoPid, 0xE0, Join({Delimiter, Mdpm(Noon), Slice(false, 0, 5)}));
  data.Pes(VideoPid, 0xE0, Join({Delimiter, Sps, Pps, Recovery, Mdpm(Midnight), Slice(false, 0, 2)}));
  VideoStreamReader reader;
  data.Feed(reader);
  ASSERT_EQ(reader.FirstShowableOffset(), data.PesStarts[1]);
  ASSERT_EQ(reader.LastDate(), Midnight);
  reader.ForgetFrom(data.PesStarts[1]);
  EXPECT_EQ(reader.FirstShowableOffset(), -1);
  EXPECT_EQ(reader.ShowableDate(), std::nullopt);
  EXPECT_EQ(reader.FirstDate(), Noon);
  EXPECT_EQ(reader.LastDate(), Noon);
}

}  // namespace
}  // namespace mtsrescue::test

namespace mtsrescue::test {
namespace {

// Recordings of real cameras of other makers, read where the project's shared test data lies
// (they may not be copied into the project): the date each camera wrote into its pictures.
TEST(VideoStreamReader, ReadsTheDatesOtherMakersWrite) {
  struct Case {
    const char* File;
    RecordingDate Date;
  };
  const Case cases[] = {
      {"panasonic-aghmc151-1080ifrag-00002.MTS", {2009, 7, 9, 14, 33, 35}},
      {"canon-unknown-1080ifrag-00003.MTS", {2008, 12, 31, 23, 16, 24}},
  };
  for (const Case& c : cases) {
    const std::string path = std::string(MTSRESCUE_REAL_STREAMS) + "/" + c.File;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) GTEST_SKIP() << path << " is not there: the real recordings are not at hand";
    Bytes data(1 << 16);
    data.resize(std::fread(data.data(), 1, data.size(), file));
    std::fclose(file);
    VideoStreamReader reader;
    for (std::size_t at = 0; at + 192 <= data.size(); at += 192) {
      reader.Packet(static_cast<std::int64_t>(at), data.data() + at + 4);
    }
    ASSERT_TRUE(reader.FirstDate().has_value()) << c.File;
    EXPECT_EQ(reader.FirstDate()->Key(), c.Date.Key()) << c.File;
  }
}

}  // namespace
}  // namespace mtsrescue::test
