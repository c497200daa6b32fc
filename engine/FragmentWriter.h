// The export done during the scan: each run of hits is written from the bytes the scan has just read.
#pragma once

#include "engine/BlockBuffer.h"
#include "engine/ExportFragments.h"
#include "engine/FailureDetail.h"
#include "engine/OutputFile.h"
#include "engine/ReadBlock.h"
#include "platform/ByteStream.h"
#include "platform/FileIdentity.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mtsrescue {

class RunObserver;

// Reads [offset, offset + count) of the source for the bytes the scan did not reach.
using TailReader = std::function<BlockRead(std::int64_t offset, std::uint8_t* buffer, std::int64_t count)>;

// Gives the same entries, numbers, files and tap calls as merging all the hits and exporting the
// list afterwards, with one read of the source: a run's file is created under its temporary name
// once the run has two groups (and the run before it is written), filled in BlockBytes pieces
// counted from its start as the scan reads on, and named N.MTS when the run ends. Memory: a block for each run still being written (two at most:
// a run's last group can overlap the next run's first).
class FragmentWriter {
 public:
  FragmentWriter(std::string sourcePath, std::string destFolder, std::int64_t sourceLength, RunObserver& observer,
                 ExportReport& report, const StreamOpener& opener, ExportTap* tap = nullptr);
  ~FragmentWriter();
  FragmentWriter(const FragmentWriter&) = delete;
  FragmentWriter& operator=(const FragmentWriter&) = delete;

  // A hit sector of the block being scanned; ascending.
  void Hit(std::int64_t offset);
  // The scan has read [offset, offset + count) into bytes, unreadable sectors as zeros, and given
  // the hits among its whole sectors.
  void Scanned(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count,
               const std::vector<UnreadableStretch>& unreadable);
  // The scan has ended: the last run ends; the bytes of the runs' last groups that it did not
  // reach are read through readTail. A source that has shrunk fails the run it cuts.
  void Finish(const TailReader& readTail);

  // A file could not be created or written, or the writing was aborted: nothing more is written,
  // and the scan need not go on.
  bool Failed() const noexcept { return failed_; }
  bool Aborted() const noexcept { return aborted_; }
  const std::string& FailureMessage() const noexcept { return failureMessage_; }
  const FailureDetail& Detail() const noexcept { return failureDetail_; }  // of a failure, not an abort
  // The bytes of the files written and being written, as far as their runs are known.
  std::int64_t PlannedBytes() const noexcept;

 private:
  struct Sink {
    std::size_t Entry = 0;                 // in report_.Entries
    bool Written = false;                  // from the run's second hit
    std::unique_ptr<OutputFile> File;      // created once the runs before it are written
    BlockBuffer Stage;
    std::int64_t Staged = 0;               // bytes in Stage
    std::int64_t Copied = 0;               // bytes written to File
    std::int64_t NextOffset = 0;           // the next source byte it takes
    std::int64_t EndOffset = INT64_MAX;    // known once the run ends; clipped to the source
  };

  void CloseRun();
  void Take(Sink& sink, std::int64_t offset, const std::uint8_t* bytes, std::int64_t count,
            const std::vector<UnreadableStretch>& unreadable);
  void Retire(Sink& sink);
  void EnsureFile(Sink& sink);
  void Flush(Sink& sink);
  void Complete(Sink& sink);
  void FailAll(const std::string& message, bool aborted);
  template <typename Step>
  void Guarded(Step&& step);

  std::string sourcePath_;
  FailureDetail failureDetail_;
  std::string destFolder_;
  std::int64_t sourceLength_;
  RunObserver& observer_;
  ExportReport& report_;
  StreamOpener opener_;
  ExportTap* tap_;
  std::vector<FileIdentity> protectedFiles_;

  bool open_ = false;  // a run of hits is open
  std::int64_t runStart_ = 0;
  std::int64_t runCount_ = 0;
  std::deque<Sink> sinks_;  // runs whose bytes are still being taken, in index order
  BlockBuffer spare_;       // a staging block kept from a run done with it
  std::int64_t writtenBytes_ = 0;
  std::size_t failing_ = 0;  // the entry being worked on, should it fail
  bool failed_ = false;
  bool aborted_ = false;
  std::string failureMessage_;
};

}  // namespace mtsrescue
