// Finds the exact pieces of stream data around and inside each hit run by walking its 192-byte
// packets one by one: sync byte, arrival-stamp steps and per-PID continuity counters.
#pragma once

#include "engine/ClipPiece.h"
#include "engine/PacketHeader.h"
#include "engine/SourceWindow.h"

#include <array>
#include <cstdint>
#include <vector>

namespace mtsrescue {

class PacketWalker {
 public:
  explicit PacketWalker(SourceWindow& window);

  // Walks the run of hits [runStartOffset, runEndOffset) (runStartOffset is a hit, so a packet
  // begins there) outward and through, and appends the pieces found, in source order. A piece
  // ends where the next packet does not continue it (a foreign packet, a stamp jump, a broken
  // counter); within the run the walk then starts a new piece. Runs must come in ascending order;
  // no piece reaches back into one found before.
  void WalkRun(std::int64_t runStartOffset, std::int64_t runEndOffset,
               std::vector<ClipPiece>& pieces);

  // A chain of fewer verified packets is no piece.
  static constexpr std::int64_t MinPiecePackets = 3;
  // More PIDs than this in one chain is not a camcorder stream.
  static constexpr std::size_t MaxPids = 64;

 private:
  void StartChain(std::int64_t offset, const PacketHeader& header);
  bool Continues(const PacketHeader& header) const noexcept;
  bool Precedes(const PacketHeader& header) const noexcept;
  void Append(std::int64_t offset, const PacketHeader& header);
  void Prepend(std::int64_t offset, const PacketHeader& header);
  void NotePid(std::uint16_t pid, std::int64_t offset, const PacketHeader& header);
  void WalkBack(std::int64_t floorOffset);
  std::int64_t WalkForward();  // the offset of the first packet that does not continue
  ClipPiece Finish(std::int64_t floorOffset);
  void ClearPids();

  SourceWindow& window_;
  std::int64_t floorOffset_ = 0;  // no later piece may begin before this (end of verified data)

  // The chain being walked.
  std::int64_t firstOffset_ = 0;
  std::int64_t lastOffset_ = 0;
  std::uint32_t firstStamp_ = 0;
  std::uint32_t lastStamp_ = 0;
  std::uint32_t stepMin_ = 0;
  std::uint32_t stepMax_ = 0;
  std::int64_t packets_ = 0;
  std::int64_t randomAccessOffset_ = -1;
  std::uint16_t randomAccessPid_ = 0;
  std::vector<std::uint16_t> pids_;  // the PIDs with entries in the tables below
  std::array<std::int8_t, 8192> firstCounter_;   // -1: PID not in the chain
  std::array<std::int8_t, 8192> lastCounter_;
  std::array<std::uint8_t, 8192> firstPayload_;
  std::array<std::uint8_t, 8192> lastPayload_;
  std::array<std::int64_t, 8192> firstPidOffset_;
  std::array<std::int64_t, 8192> lastUnitStart_;  // -1: none
};

}  // namespace mtsrescue
