// Follows the H.264 pictures in one stream's transport packets: where a decoder can begin from a
// cold start, and the recording dates the camera wrote into the pictures.
#pragma once

#include "rebuild/RecordingDate.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace mtsrescue {

class VideoStreamReader {
 public:
  VideoStreamReader() { Reset(); }

  // Forgets everything: a new stream begins.
  void Reset();

  // The 188-byte transport packet ts of the 192-byte packet at offset. Packets come in stream
  // order, every packet of the stream from the first one given (a gap would join unrelated bytes).
  void Packet(std::int64_t offset, const std::uint8_t* ts);

  // A packet of the stream could not be read: the PES packet it was part of is passed over.
  void Skip() noexcept { inPes_ = inNal_ = unitOpen_ = inPicture_ = provisional_ = false; }

  // Forgets what the packets from offset on showed (they turned out to be another stream's).
  void ForgetFrom(std::int64_t offset);

  // The picture PID: the PMT's H.264 stream, or before a PMT is seen, the first PID whose
  // payload units are video PES packets that begin with a NAL unit.
  bool HasVideoPid() const noexcept { return videoPid_ >= 0; }
  std::uint16_t VideoPid() const noexcept { return static_cast<std::uint16_t>(videoPid_); }

  // The first packet of the first PES packet that begins with a picture a decoder can start at
  // (an IDR, or an I picture with SPS and PPS before it and a recovery point where the stream
  // has them), or -1.
  std::int64_t FirstShowableOffset() const noexcept { return firstShowable_; }

  // The recording date of the first and the last picture that carries one, and of the first one
  // from the first showable picture on.
  std::optional<RecordingDate> FirstDate() const;
  std::optional<RecordingDate> LastDate() const;
  std::optional<RecordingDate> ShowableDate() const { return showableDate_; }

  // Bytes of a NAL unit kept for reading: enough for a slice header, and for the SEI messages
  // that carry the date.
  static constexpr int SliceKeptBytes = 32;
  static constexpr int SeiKeptBytes = 1024;

 private:
  void Tables(std::uint16_t pid, const std::uint8_t* payload, int count);
  void UseVideoPid(int pid);
  void BeginPes(std::int64_t offset, const std::uint8_t* payload, int count);
  void Scan(const std::uint8_t* bytes, int count);
  void Take(const std::uint8_t* bytes, int count);
  void BeginNal();
  void EndNal();
  void Read();
  void Nal(const std::uint8_t* rbsp, int count);
  void Sei(const std::uint8_t* rbsp, int count);
  void OpenUnit();
  void EndPicture();
  void Showable();
  void NoteDate(const RecordingDate& date);

  std::vector<std::uint16_t> pmtPids_;
  int videoPid_ = -1;
  bool videoFromPmt_ = false;

  // The PES packet being read.
  bool inPes_ = false;
  std::int64_t pesOffset_ = 0;
  int pesSkipBytes_ = 0;   // of its header, still to come
  int nalsInPes_ = 0;
  std::int64_t zeroRun_ = 0;  // zero bytes just before the next byte

  // The NAL unit being read: its first bytes.
  bool inNal_ = false;
  bool nalFirstInPes_ = false;
  bool nalRead_ = false;  // read from its first bytes already
  int nalKeep_ = 0;
  int nalKept_ = 0;
  std::int64_t nalBytes_ = 0;
  std::array<std::uint8_t, SeiKeptBytes> nal_{};

  // The access unit and picture being read.
  bool unitOpen_ = false;
  std::int64_t unitOffset_ = -1;  // its PES packet's, when it begins one; else -1
  bool unitSps_ = false;
  bool unitPps_ = false;
  bool unitRecovery_ = false;
  std::optional<RecordingDate> unitDate_;
  bool inPicture_ = false;
  bool pictureIntra_ = false;  // all its slices so far I (or SI), its first one seen
  bool pictureIdr_ = false;
  bool streamHasRecovery_ = false;
  bool provisional_ = false;  // firstShowable_ is the picture being read, its slices I so far

  std::int64_t firstShowable_ = -1;
  std::optional<RecordingDate> showableDate_;
  std::int64_t showableDateOffset_ = -1;
  bool wantShowableDate_ = false;
  std::optional<RecordingDate> firstDate_;
  std::int64_t firstDateOffset_ = -1;
  std::vector<std::pair<std::int64_t, RecordingDate>> dateChanges_;  // the latest few
};

}  // namespace mtsrescue
