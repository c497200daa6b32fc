// Reading H.264 pictures and MDPM dates out of transport packets.
#include "rebuild/VideoStreamReader.h"

#include <algorithm>
#include <cstring>

namespace mtsrescue {
namespace {

constexpr int TsBytes = 188;
constexpr std::size_t MaxPmtPids = 8;
constexpr std::size_t MaxDateChanges = 64;

// NAL unit types.
constexpr int NalSlice = 1;
constexpr int NalIdr = 5;
constexpr int NalSei = 6;
constexpr int NalSps = 7;
constexpr int NalPps = 8;
constexpr int NalDelimiter = 9;

// SEI payload types.
constexpr int SeiUserDataUnregistered = 5;
constexpr int SeiRecoveryPoint = 6;

constexpr std::uint8_t MdpmUuid[16] = {0x17, 0xee, 0x8c, 0x60, 0xf8, 0x4d, 0x11, 0xd9,
                                       0x8c, 0xd6, 0x08, 0x00, 0x20, 0x0c, 0x9a, 0x66};

constexpr std::array<std::uint32_t, 256> CrcTable() {
  std::array<std::uint32_t, 256> table{};
  for (std::uint32_t i = 0; i < 256; ++i) {
    std::uint32_t crc = i << 24;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    table[i] = crc;
  }
  return table;
}

// The tables' CRC over a whole section, its CRC included, is 0.
bool SectionIntact(const std::uint8_t* bytes, int count) {
  static constexpr std::array<std::uint32_t, 256> Table = CrcTable();
  std::uint32_t crc = 0xFFFFFFFFu;
  for (int i = 0; i < count; ++i) crc = (crc << 8) ^ Table[((crc >> 24) ^ bytes[i]) & 0xFF];
  return crc == 0;
}

// Reads the Exp-Golomb code at bit *at of bits bits; false when it runs past them.
bool ReadUe(const std::uint8_t* bytes, int bits, int* at, std::uint32_t* value) {
  const auto bit = [&] {
    const int b = (bytes[*at >> 3] >> (7 - (*at & 7))) & 1;
    ++*at;
    return b;
  };
  int zeros = 0;
  while (true) {
    if (*at >= bits || zeros > 31) return false;
    if (bit() != 0) break;
    ++zeros;
  }
  if (*at + zeros > bits) return false;
  std::uint64_t rest = 0;
  for (int i = 0; i < zeros; ++i) rest = rest * 2 + static_cast<std::uint64_t>(bit());
  *value = static_cast<std::uint32_t>((std::uint64_t{1} << zeros) - 1 + rest);
  return true;
}

// Removes emulation-prevention bytes (00 00 03 -> 00 00); returns the RBSP's length.
int Unescape(const std::uint8_t* bytes, int count, std::uint8_t* out) {
  int length = 0;
  int zeros = 0;
  for (int i = 0; i < count; ++i) {
    if (zeros >= 2 && bytes[i] == 3) {
      zeros = 0;
      continue;
    }
    out[length++] = bytes[i];
    zeros = bytes[i] == 0 ? zeros + 1 : 0;
  }
  return length;
}

bool Bcd(std::uint8_t byte, int low, int high, int& value) {
  if ((byte >> 4) > 9 || (byte & 0x0F) > 9) return false;
  value = (byte >> 4) * 10 + (byte & 0x0F);
  return value >= low && value <= high;
}

// The date of an MDPM message's records (count of them, 5 bytes each): tag 0x18 holds the time
// zone, then the year in two BCD bytes, then the month; tag 0x19 the day, hour, minute, second.
std::optional<RecordingDate> MdpmDate(const std::uint8_t* records, int count) {
  const std::uint8_t* ymd = nullptr;
  const std::uint8_t* hms = nullptr;
  for (int i = 0; i < count; ++i) {
    const std::uint8_t* record = records + 5 * i;
    if (record[0] == 0x18) ymd = record + 1;
    if (record[0] == 0x19) hms = record + 1;
  }
  if (ymd == nullptr || hms == nullptr) return std::nullopt;
  RecordingDate date;
  int century = 0;
  int year = 0;
  if (!Bcd(ymd[1], 0, 99, century) || !Bcd(ymd[2], 0, 99, year) || !Bcd(ymd[3], 1, 12, date.Month) ||
      !Bcd(hms[0], 1, 31, date.Day) || !Bcd(hms[1], 0, 23, date.Hour) || !Bcd(hms[2], 0, 59, date.Minute) ||
      !Bcd(hms[3], 0, 59, date.Second)) {
    return std::nullopt;
  }
  date.Year = century * 100 + year;
  return date;
}

}  // namespace

void VideoStreamReader::Reset() {
  pmtPids_.clear();
  videoPid_ = -1;
  videoFromPmt_ = false;
  UseVideoPid(-1);
}

// Everything learnt from the pictures starts again: they were another PID's.
void VideoStreamReader::UseVideoPid(int pid) {
  videoPid_ = pid;
  inPes_ = false;
  inNal_ = false;
  zeroRun_ = 0;
  unitOpen_ = inPicture_ = provisional_ = false;
  streamHasRecovery_ = false;
  firstShowable_ = -1;
  showableDate_.reset();
  showableDateOffset_ = -1;
  wantShowableDate_ = false;
  firstDate_.reset();
  firstDateOffset_ = -1;
  dateChanges_.clear();
}

std::optional<RecordingDate> VideoStreamReader::FirstDate() const { return firstDate_; }

std::optional<RecordingDate> VideoStreamReader::LastDate() const {
  if (dateChanges_.empty()) return std::nullopt;
  return dateChanges_.back().second;
}

void VideoStreamReader::Packet(std::int64_t offset, const std::uint8_t* ts) {
  if (ts[0] != 0x47 || (ts[1] & 0x80) != 0) return;
  const std::uint16_t pid = static_cast<std::uint16_t>(((ts[1] & 0x1F) << 8) | ts[2]);
  const bool unitStart = (ts[1] & 0x40) != 0;
  const int control = (ts[3] >> 4) & 3;
  if ((control & 1) == 0) return;
  const int start = (control & 2) != 0 ? 5 + ts[4] : 4;
  if (start >= TsBytes) return;
  const std::uint8_t* payload = ts + start;
  const int count = TsBytes - start;

  if (unitStart && pid != videoPid_) Tables(pid, payload, count);
  if (pid != videoPid_) return;
  if (unitStart) {
    BeginPes(offset, payload, count);
  } else if (inPes_) {
    const int skip = std::min(pesSkipBytes_, count);
    pesSkipBytes_ -= skip;
    Scan(payload + skip, count - skip);
  }
}

// PAT, PMT, or a PES packet that shows the picture PID before any PMT does.
void VideoStreamReader::Tables(std::uint16_t pid, const std::uint8_t* payload, int count) {
  const bool isPmt = std::find(pmtPids_.begin(), pmtPids_.end(), pid) != pmtPids_.end();
  if (pid == 0 || isPmt) {
    const int at = 1 + payload[0];
    if (at + 12 > count) return;
    const std::uint8_t* table = payload + at;
    const int length = 3 + (((table[1] & 0x0F) << 8) | table[2]);
    if (length < 16 || at + length > count || !SectionIntact(table, length)) return;
    const int entriesEnd = length - 4;
    if (pid == 0 && table[0] == 0x00) {
      for (int i = 8; i + 4 <= entriesEnd; i += 4) {
        const int program = (table[i] << 8) | table[i + 1];
        const std::uint16_t mapPid = static_cast<std::uint16_t>(((table[i + 2] & 0x1F) << 8) | table[i + 3]);
        if (program != 0 && pmtPids_.size() < MaxPmtPids &&
            std::find(pmtPids_.begin(), pmtPids_.end(), mapPid) == pmtPids_.end()) {
          pmtPids_.push_back(mapPid);
        }
      }
    } else if (isPmt && table[0] == 0x02) {
      int i = 12 + (((table[10] & 0x0F) << 8) | table[11]);
      for (; i + 5 <= entriesEnd; i += 5 + (((table[i + 3] & 0x0F) << 8) | table[i + 4])) {
        if (table[i] != 0x1B) continue;  // H.264
        const int video = ((table[i + 1] & 0x1F) << 8) | table[i + 2];
        if (video != videoPid_) UseVideoPid(video);
        videoFromPmt_ = true;
        return;
      }
    }
    return;
  }
  if (videoFromPmt_ || videoPid_ >= 0 || count < 14) return;
  // A video PES header (stream_id 0xE0..0xEF) whose data begins with a start code.
  if (payload[0] != 0 || payload[1] != 0 || payload[2] != 1 || (payload[3] & 0xF0) != 0xE0 ||
      (payload[6] & 0xC0) != 0x80) {
    return;
  }
  const int es = 9 + payload[8];
  if (es + 4 > count) return;
  const std::uint8_t* code = payload + es;
  if (code[0] == 0 && code[1] == 0 && (code[2] == 1 || (code[2] == 0 && code[3] == 1))) UseVideoPid(pid);
}

void VideoStreamReader::BeginPes(std::int64_t offset, const std::uint8_t* payload, int count) {
  EndNal();  // a NAL unit ends with its PES packet
  inPes_ = false;
  if (count < 9 || payload[0] != 0 || payload[1] != 0 || payload[2] != 1) return;
  inPes_ = true;
  pesOffset_ = offset;
  nalsInPes_ = 0;
  zeroRun_ = 0;
  const int header = 9 + payload[8];
  pesSkipBytes_ = std::max(0, header - count);
  if (header < count) Scan(payload + header, count - header);
}

// Finds the start codes (00 00 01): 0x01 bytes are rare in coded data, so they are searched for
// and the zeros before each checked, wherever a packet boundary split them.
void VideoStreamReader::Scan(const std::uint8_t* bytes, int count) {
  int i = 0;
  while (i < count) {
    const void* found = std::memchr(bytes + i, 1, static_cast<std::size_t>(count - i));
    if (found == nullptr) {
      Take(bytes + i, count - i);
      break;
    }
    const int one = static_cast<int>(static_cast<const std::uint8_t*>(found) - bytes);
    Take(bytes + i, one - i);
    std::int64_t zeros = 0;
    int k = one;
    while (k > 0 && zeros < 2 && bytes[k - 1] == 0) {
      --k;
      ++zeros;
    }
    if (k == 0) zeros += zeroRun_;
    if (zeros >= 2) {
      EndNal();
      BeginNal();
    } else {
      Take(bytes + one, 1);
    }
    i = one + 1;
  }
  int trailing = 0;
  while (trailing < count && bytes[count - 1 - trailing] == 0) ++trailing;
  zeroRun_ = trailing == count ? zeroRun_ + count : trailing;
}

void VideoStreamReader::Take(const std::uint8_t* bytes, int count) {
  if (!inNal_ || count <= 0) return;
  if (nalBytes_ == 0) nalKeep_ = (bytes[0] & 0x1F) == NalSei ? SeiKeptBytes : SliceKeptBytes;
  const int copy = std::min(count, nalKeep_ - nalKept_);
  if (copy > 0) {
    std::memcpy(nal_.data() + nalKept_, bytes, static_cast<std::size_t>(copy));
    nalKept_ += copy;
  }
  nalBytes_ += count;
  // All but SEI is read from its first bytes, right away: the piece may end before the unit does.
  if (nalKept_ == SliceKeptBytes && nalKeep_ == SliceKeptBytes && !nalRead_) {
    nalRead_ = true;
    Read();
  }
}

void VideoStreamReader::BeginNal() {
  inNal_ = true;
  nalFirstInPes_ = nalsInPes_++ == 0;
  nalKept_ = 0;
  nalBytes_ = 0;
  nalRead_ = false;
}

void VideoStreamReader::EndNal() {
  if (!inNal_) return;
  inNal_ = false;
  // The zeros of the next start code were taken as this unit's bytes.
  if (nalRead_) return;
  if (nalKept_ == nalBytes_) {
    while (nalKept_ > 0 && nal_[static_cast<std::size_t>(nalKept_ - 1)] == 0) --nalKept_;
  }
  Read();
}

void VideoStreamReader::Read() {
  if (nalKept_ < 2 || (nal_[0] & 0x80) != 0) return;
  std::array<std::uint8_t, SeiKeptBytes> rbsp;
  Nal(rbsp.data(), Unescape(nal_.data(), nalKept_, rbsp.data()));
}

void VideoStreamReader::OpenUnit() {
  unitOpen_ = true;
  unitOffset_ = nalFirstInPes_ ? pesOffset_ : -1;
  unitSps_ = unitPps_ = unitRecovery_ = false;
  unitDate_.reset();
}

// One NAL unit, its header byte first. An access unit begins with the first of a delimiter, SEI,
// SPS or PPS after the last picture, or with a picture's first slice.
void VideoStreamReader::Nal(const std::uint8_t* rbsp, int count) {
  const int type = rbsp[0] & 0x1F;
  if (type == NalSlice || type == NalIdr) {
    int at = 0;
    std::uint32_t firstMb = 0;
    std::uint32_t sliceType = 0;
    const int bits = (count - 1) * 8;
    const bool read = ReadUe(rbsp + 1, bits, &at, &firstMb) && ReadUe(rbsp + 1, bits, &at, &sliceType) &&
                      sliceType <= 9;
    const bool intra = read && (sliceType % 5 == 2 || sliceType % 5 == 4);
    if (read && firstMb == 0) {
      if (inPicture_) EndPicture();
      if (!unitOpen_) OpenUnit();
      inPicture_ = true;
      pictureIdr_ = type == NalIdr;
      pictureIntra_ = intra && unitOffset_ >= 0 && unitSps_ && unitPps_;
      // Taken at its first slice: a piece may end before the picture does.
      if (pictureIntra_ && (pictureIdr_ || unitRecovery_ || !streamHasRecovery_)) Showable();
    } else if (!inPicture_) {
      inPicture_ = true;  // its first slice was not seen
      pictureIntra_ = false;
    } else if (!intra && pictureIntra_) {
      pictureIntra_ = false;
      // A picture of I and P slices cannot be decoded alone after all.
      if (provisional_) {
        firstShowable_ = -1;
        showableDate_.reset();
        showableDateOffset_ = -1;
        wantShowableDate_ = false;
      }
    }
    return;
  }
  const bool startsUnit = type == NalDelimiter || type == NalSei || type == NalSps || type == NalPps ||
                          (type >= 14 && type <= 18);
  if (!startsUnit) return;
  if (inPicture_) EndPicture();
  if (!unitOpen_ || type == NalDelimiter) OpenUnit();
  if (type == NalSps) unitSps_ = true;
  if (type == NalPps) unitPps_ = true;
  if (type == NalSei) Sei(rbsp + 1, count - 1);
}

void VideoStreamReader::Sei(const std::uint8_t* rbsp, int count) {
  int at = 0;
  while (at < count && rbsp[at] != 0x80) {
    int type = 0;
    while (at < count && rbsp[at] == 0xFF) type += rbsp[at++];
    if (at >= count) return;
    type += rbsp[at++];
    int size = 0;
    while (at < count && rbsp[at] == 0xFF) size += rbsp[at++];
    if (at >= count) return;
    size += rbsp[at++];
    if (size > count - at) return;  // cut, or more than was kept
    const std::uint8_t* message = rbsp + at;
    if (type == SeiRecoveryPoint) {
      unitRecovery_ = true;
      streamHasRecovery_ = true;
    } else if (type == SeiUserDataUnregistered && size >= 21 && std::memcmp(message, MdpmUuid, 16) == 0 &&
               std::memcmp(message + 16, "MDPM", 4) == 0) {
      const int records = std::min<int>(message[20], (size - 21) / 5);
      if (const std::optional<RecordingDate> date = MdpmDate(message + 21, records)) {
        unitDate_ = date;
        NoteDate(*date);
      }
    }
    at += size;
  }
}

void VideoStreamReader::EndPicture() {
  inPicture_ = false;
  unitOpen_ = false;
  provisional_ = false;
}

void VideoStreamReader::Showable() {
  if (firstShowable_ >= 0) return;
  firstShowable_ = unitOffset_;
  provisional_ = true;
  if (unitDate_) {
    showableDate_ = unitDate_;
    showableDateOffset_ = unitOffset_;
  } else {
    wantShowableDate_ = true;
  }
}

void VideoStreamReader::NoteDate(const RecordingDate& date) {
  const std::int64_t offset = unitOffset_ >= 0 ? unitOffset_ : pesOffset_;
  if (!firstDate_) {
    firstDate_ = date;
    firstDateOffset_ = offset;
  }
  if (wantShowableDate_) {
    showableDate_ = date;
    showableDateOffset_ = offset;
    wantShowableDate_ = false;
  }
  if (!dateChanges_.empty() && dateChanges_.back().second == date) return;
  if (dateChanges_.size() >= MaxDateChanges) {
    dateChanges_.erase(dateChanges_.begin(), dateChanges_.begin() + MaxDateChanges / 2);
  }
  dateChanges_.emplace_back(offset, date);
}

void VideoStreamReader::ForgetFrom(std::int64_t offset) {
  inPes_ = inNal_ = unitOpen_ = inPicture_ = false;
  provisional_ = false;
  if (firstShowable_ >= offset) {
    firstShowable_ = -1;
    wantShowableDate_ = false;
  }
  if (showableDateOffset_ >= offset) {
    showableDate_.reset();
    showableDateOffset_ = -1;
  }
  if (firstDateOffset_ >= offset) {
    firstDate_.reset();
    firstDateOffset_ = -1;
  }
  while (!dateChanges_.empty() && dateChanges_.back().first >= offset) dateChanges_.pop_back();
  if (dateChanges_.empty() && firstDate_) dateChanges_.emplace_back(firstDateOffset_, *firstDate_);
}

}  // namespace mtsrescue
