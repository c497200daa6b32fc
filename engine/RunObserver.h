// How the engine reports to whoever drives it (window or command line) and learns of a stop.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace mtsrescue {

// The writing was given up because AbortRequested() said so.
class RunAborted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Every hook runs on the caller's thread. Defaults do nothing.
class RunObserver {
 public:
  virtual ~RunObserver() = default;

  // Asked once per scan block, before Pump(); true ends the scan before that block. Also asked
  // before each read of the search round a bad area.
  virtual bool StopRequested() { return false; }
  // Once per scan block, merge step, export entry and copied block, and every few milliseconds
  // while the scan goes round a bad area: the window handles its events here.
  virtual void Pump() {}
  // Asked before each block that the scan, the export or the rebuild writes: true gives up the
  // writing there (a second Ctrl-C). The file being written is removed, never left under its final name.
  virtual bool AbortRequested() { return false; }
  // Before the export, when the destination has less room than the run is about to write
  // (estimated; recordings included). True goes on, false writes nothing.
  virtual bool SpaceShort(std::int64_t /*neededBytes*/, std::int64_t /*freeBytes*/) { return true; }

  // Scan: the length to be read, then the position before each block, then ScanEnd (gauge back to 0).
  virtual void ScanBegin(std::int64_t /*lengthBytes*/) {}
  virtual void ScanProgress(std::int64_t /*positionBytes*/) {}
  virtual void ScanEnd() {}
  // Each hit sector, with the running count of hits of this scan.
  virtual void HitFound(std::int64_t /*offset*/, std::int64_t /*hitCount*/) {}
  // Sectors that could not be read even one by one; they are treated as no hit.
  virtual void SectorsUnreadable(std::int64_t /*offset*/, std::int64_t /*sectorCount*/) {}

  // Export of a list after its scan (ExportFragments): pause and stop are unavailable between
  // ExportBegin and ExportEnd (ExportEnd also follows a failure). A run writes its files during
  // its scan instead, and calls only FileWritten, as each file is complete.
  virtual void ExportBegin(std::int64_t /*entryCount*/) {}
  virtual void ExportProgress(std::int64_t /*entryIndex*/) {}
  virtual void FileWritten(std::int64_t /*entryIndex*/, const std::string& /*path*/, std::int64_t /*bytes*/) {}
  // Bytes of the whole export written so far, of totalBytes it means to write: once with 0 after
  // ExportBegin, then after each copied block.
  virtual void ExportBytes(std::int64_t /*copiedBytes*/, std::int64_t /*totalBytes*/) {}
  virtual void ExportEnd() {}

  // Rebuilding recordings, after the export: the number of recordings to write, the index of
  // each before it is written and each file once complete; ClipsEnd also follows a failure.
  virtual void ClipsBegin(std::int64_t /*recordingCount*/) {}
  virtual void ClipsProgress(std::int64_t /*recordingIndex*/) {}
  virtual void ClipWritten(std::int64_t /*recordingIndex*/, const std::string& /*path*/, std::int64_t /*bytes*/) {}
  virtual void ClipsEnd() {}
};

}  // namespace mtsrescue
