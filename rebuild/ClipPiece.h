// One piece of a recording on the source: where its packets begin and end, and what a piece
// joined to either side of it must continue.
#pragma once

#include "rebuild/RecordingDate.h"

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace mtsrescue {

// The continuity counter of one PID at a piece's edge.
struct PidCounter {
  std::uint16_t Pid = 0;
  std::uint8_t Counter = 0;
  bool Payload = false;  // of the packet at the edge (the first one, for a piece's head)
};

// Where the last packet of one PID that starts a payload unit lies.
struct PidUnitStart {
  std::uint16_t Pid = 0;
  std::int64_t Offset = 0;
};

// Payload bytes of one PID at a piece's edge.
struct PidUnitBytes {
  std::uint16_t Pid = 0;
  std::int32_t Bytes = 0;
  bool UnitStarts = false;
};

// Offsets are absolute source offsets. Invariant: HeadOffset <= FirstPacketOffset <=
// LastPacketOffset < TailOffset; FirstPacketOffset - HeadOffset < 192.
struct ClipPiece {
  // A piece starts and ends where a cluster of the card starts and ends: at a sector boundary.
  // HeadOffset is the sector boundary within the 191 bytes before the first whole packet (the
  // bytes between are the end of a packet cut there), or the first packet itself when there is
  // none; HeadAtSector tells which.
  std::int64_t HeadOffset = 0;
  bool HeadAtSector = false;
  std::int64_t FirstPacketOffset = 0;
  // The last packet whose header continues the stream; its payload may be cut at TailOffset.
  std::int64_t LastPacketOffset = 0;
  // The sector boundary within the 192 bytes after the last verified header (the piece's data
  // ends there, mid-packet or not), or LastPacketOffset + 192 when there is none.
  std::int64_t TailOffset = 0;
  bool TailAtSector = false;

  std::uint32_t FirstStamp = 0;
  std::uint32_t LastStamp = 0;
  std::uint16_t LastPid = 0;        // of the packet at LastPacketOffset
  std::uint32_t StepMinTicks = 0;  // smallest and largest stamp step between its packets
  std::uint32_t StepMaxTicks = 0;
  std::uint32_t FirstStepTicks = 0;  // between its first two packets, and its last two (0: one packet)
  std::uint32_t LastStepTicks = 0;
  std::int64_t PacketCount = 0;     // packets with verified headers

  std::vector<PidCounter> FirstCounters;  // per PID, its first packet in the piece
  std::vector<PidCounter> LastCounters;   // per PID, its last packet in the piece

  // Header bytes of the packet cut at the tail that lie past the last verified packet
  // (LastPacketOffset + 192 .. TailOffset), when the cut falls inside that header.
  std::array<std::uint8_t, 8> TailHeaderBytes{};
  int TailHeaderCount = 0;
  // Header bytes of the packet cut at the head that lie in the piece (HeadOffset ..
  // FirstPacketOffset - 184), when the cut falls inside that header.
  std::array<std::uint8_t, 8> HeadHeaderBytes{};
  int HeadHeaderCount = 0;

  // The first packet of the picture PID (the H.264 stream's, else the busiest) that begins a
  // payload unit at a random-access point (a picture a decoder can begin at, or a muxer's
  // random-access flag), or -1; and whether a packet of that PID with payload comes before it in
  // the piece, or the rest of another PID's payload unit (then the stream's head is lost and
  // decoding cannot begin earlier).
  std::int64_t FirstRandomAccessOffset = -1;
  std::uint16_t RandomAccessPid = 0;
  bool RandomAccessPidSeenBefore = false;
  // The recording date of the first picture from FirstRandomAccessOffset on that carries one.
  std::optional<RecordingDate> RandomAccessDate;
  // Per PID, the last packet in the piece that starts a payload unit.
  std::vector<PidUnitStart> LastUnitStarts;
  // Per PID whose last payload unit begun in the piece gives its length (a PES packet's length
  // field): the bytes of it that lie past the tail (UnitStarts true).
  std::vector<PidUnitBytes> TailUnitOwed;
  // Per PID, the payload bytes before its first packet in the piece that starts a unit, and
  // whether one does (if not, all its payload bytes in the piece). PIDs left out: unknown.
  std::vector<PidUnitBytes> HeadUnitBytes;
  // The piece follows another in its hit run, and of several sector boundaries where the joint
  // between them may lie, the cluster grid did not tell which: its head is a guess.
  bool HeadGuessed = false;

  // The recording date of the first and of the last picture in the piece that carries one.
  std::optional<RecordingDate> FirstDate;
  std::optional<RecordingDate> LastDate;
};

}  // namespace mtsrescue
