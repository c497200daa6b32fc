// FragmentWriter: runs of hits followed as the scan finds them, each written as its bytes go by.
#include "engine/FragmentWriter.h"

#include "engine/EngineConstants.h"
#include "engine/RunObserver.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <utility>

namespace mtsrescue {

FragmentWriter::FragmentWriter(std::string sourcePath, std::string destFolder, std::int64_t sourceLength,
                               RunObserver& observer, ExportReport& report, const StreamOpener& opener,
                               ExportTap* tap)
    : sourcePath_(std::move(sourcePath)),
      destFolder_(std::move(destFolder)),
      sourceLength_(sourceLength),
      observer_(observer),
      report_(report),
      opener_(opener),
      tap_(tap),
      // A name that leads to the source (or the image behind a loop device that is the source) is never written.
      protectedFiles_(FilesBehindSource(sourcePath_)) {}

FragmentWriter::~FragmentWriter() {
  // Cut short by an exception: the unfinished files go with their OutputFiles, never under their final names.
  for (Sink& sink : sinks_) {
    if (sink.Written) report_.Entries[sink.Entry].Outcome = EntryOutcome::Failed;
  }
}

std::int64_t FragmentWriter::PlannedBytes() const noexcept {
  std::int64_t bytes = writtenBytes_;
  for (const Sink& sink : sinks_) {
    if (!sink.Written) continue;
    const ExportedEntry& entry = report_.Entries[sink.Entry];
    bytes += (sink.EndOffset == INT64_MAX ? runStart_ + runCount_ * GroupBytes : sink.EndOffset) - entry.StartOffset;
  }
  return bytes;
}

template <typename Step>
void FragmentWriter::Guarded(Step&& step) {
  if (failed_) return;
  try {
    step();
  } catch (const RunAborted& error) {
    FailAll(error.what(), true);
  } catch (const std::exception& error) {
    failureDetail_ = DetailOf(error, false, sourcePath_);
    FailAll(error.what(), false);
  }
}

void FragmentWriter::Hit(std::int64_t offset) {
  Guarded([&] {
    if (open_ && offset == runStart_ + runCount_ * GroupBytes) {
      if (++runCount_ == 2) {
        // Two groups: more than MinExportBytes, so it is written.
        Sink& sink = sinks_.back();
        sink.Written = true;
        ExportedEntry& entry = report_.Entries[sink.Entry];
        entry.FilePath = OutputFileName(destFolder_, entry.Index);
        entry.Outcome = EntryOutcome::Failed;  // until the file is complete
      }
      return;
    }
    if (open_) CloseRun();
    open_ = true;
    runStart_ = offset;
    runCount_ = 1;
    ExportedEntry entry;
    entry.Index = static_cast<std::int64_t>(report_.Entries.size());
    entry.StartOffset = offset;
    entry.EndOffset = offset + GroupBytes;
    report_.Entries.push_back(entry);
    Sink sink;
    sink.Entry = report_.Entries.size() - 1;
    sink.NextOffset = offset;
    sinks_.push_back(std::move(sink));
    if (tap_ != nullptr) tap_->RunBegun(offset);
  });
}

void FragmentWriter::CloseRun() {
  open_ = false;
  const std::int64_t endOffset = runStart_ + runCount_ * GroupBytes;
  Sink& sink = sinks_.back();
  ExportedEntry& entry = report_.Entries[sink.Entry];
  entry.EndOffset = endOffset;
  if (tap_ != nullptr) tap_->RunEnded(endOffset, sink.Written);
  if (!sink.Written) {
    // One group alone is not worth a file; it still takes its number.
    entry.Outcome = EntryOutcome::TooShort;
    Retire(sinks_.back());
    sinks_.pop_back();
    return;
  }
  // A hit in one of the source's last two sectors begins a group that the source does not hold whole.
  sink.EndOffset = std::min(endOffset, std::max(sourceLength_, entry.StartOffset));
}

void FragmentWriter::Scanned(std::int64_t offset, const std::uint8_t* bytes, std::int64_t count,
                             const std::vector<UnreadableStretch>& unreadable) {
  Guarded([&] {
    // The sector that would have continued the run was tested and is no hit.
    if (open_ && runStart_ + runCount_ * GroupBytes < offset + count / SectorBytes * SectorBytes) CloseRun();
    if (!sinks_.empty() && observer_.AbortRequested()) {
      failing_ = sinks_.front().Entry;
      throw RunAborted("Aborted while writing \"" + OutputFileName(destFolder_, report_.Entries[failing_].Index) +
                       "\".");
    }
    // In index order, each run written before the next one's bytes go out (a run's last group
    // can overlap the next run's first; the next one cannot have a block to write by then).
    for (std::size_t i = 0; i < sinks_.size();) {
      Take(sinks_[i], offset, bytes, count, unreadable);
      if (i == 0 && sinks_[0].NextOffset >= sinks_[0].EndOffset) {
        Complete(sinks_[0]);
        Retire(sinks_[0]);
        sinks_.pop_front();
        continue;
      }
      ++i;
    }
    if (!sinks_.empty() && sinks_.front().Written) EnsureFile(sinks_.front());
  });
  if (tap_ != nullptr && !failed_) tap_->Scanned(offset + count);
}

void FragmentWriter::Take(Sink& sink, std::int64_t offset, const std::uint8_t* bytes, std::int64_t count,
                          const std::vector<UnreadableStretch>& unreadable) {
  std::int64_t from = std::max(sink.NextOffset, offset);
  const std::int64_t to = std::min(sink.EndOffset, offset + count);
  if (to <= from) return;
  failing_ = sink.Entry;
  ExportedEntry& entry = report_.Entries[sink.Entry];
  for (const UnreadableStretch& stretch : unreadable) {
    const std::int64_t first = std::max(stretch.Offset, from);
    const std::int64_t last = std::min(stretch.Offset + stretch.SectorCount * SectorBytes, to);
    if (last <= first) continue;
    const std::int64_t sectors = (last - first + SectorBytes - 1) / SectorBytes;
    entry.UnreadableSectors += sectors;
    entry.Unreadable.push_back({first, sectors});
  }
  if (sink.Stage.empty()) {
    sink.Stage = std::move(spare_);
    sink.Stage.resize(static_cast<std::size_t>(BlockBytes));
  }
  while (from < to) {
    const std::int64_t piece = std::min(to - from, BlockBytes - sink.Staged);
    std::memcpy(sink.Stage.data() + sink.Staged, bytes + (from - offset), static_cast<std::size_t>(piece));
    sink.Staged += piece;
    from += piece;
    if (sink.Staged == BlockBytes) Flush(sink);
  }
  sink.NextOffset = to;
}

void FragmentWriter::Retire(Sink& sink) {
  // A block for the next run: one-group runs come and go by the thousand on some cards.
  if (spare_.empty()) spare_ = std::move(sink.Stage);
}

void FragmentWriter::EnsureFile(Sink& sink) {
  if (sink.File != nullptr) return;
  failing_ = sink.Entry;
  sink.File = std::make_unique<OutputFile>(report_.Entries[sink.Entry].FilePath, protectedFiles_, opener_);
}

void FragmentWriter::Flush(Sink& sink) {
  if (sink.Staged == 0) return;
  EnsureFile(sink);
  const ExportedEntry& entry = report_.Entries[sink.Entry];
  const IoResult written = sink.File->Write(sink.Stage.data(), sink.Staged);
  if (written.Bytes != sink.Staged) {
    const std::error_code code = written.Error ? written.Error : std::make_error_code(std::errc::no_space_on_device);
    throw WriteError(sink.File->FinalPath(), code);
  }
  if (tap_ != nullptr) tap_->Copied(entry.StartOffset + sink.Copied, sink.Stage.data(), sink.Staged);
  sink.Copied += sink.Staged;
  sink.Staged = 0;
}

void FragmentWriter::Complete(Sink& sink) {
  EnsureFile(sink);
  Flush(sink);
  sink.File->Commit();
  sink.File.reset();
  ExportedEntry& entry = report_.Entries[sink.Entry];
  entry.Outcome = EntryOutcome::Written;
  entry.FileBytes = sink.Copied;
  ++report_.FilesWritten;
  report_.BytesWritten += sink.Copied;
  report_.UnreadableSectors += entry.UnreadableSectors;
  writtenBytes_ += sink.Copied;
  observer_.FileWritten(entry.Index, entry.FilePath, sink.Copied);
}

void FragmentWriter::FailAll(const std::string& message, bool aborted) {
  failed_ = true;
  aborted_ = aborted;
  failureMessage_ = message;
  // The entry being written when it failed is the failed one; the others still being written are
  // given up with it, and the one after it is not reached.
  for (Sink& sink : sinks_) {
    ExportedEntry& entry = report_.Entries[sink.Entry];
    const bool failing = sink.Entry == failing_;
    if (!sink.Written) {
      if (failing) entry.Outcome = EntryOutcome::Failed;
      continue;
    }
    entry.Outcome = failing || sink.Entry < failing_ ? EntryOutcome::Failed : EntryOutcome::NotReached;
    if (sink.File == nullptr) continue;
    const CutShortFile cut = sink.File->Abandon();
    if (failing) report_.CutShort = cut;
    sink.File.reset();
  }
  sinks_.clear();
  if (open_) {
    open_ = false;
    report_.Entries.back().EndOffset = runStart_ + runCount_ * GroupBytes;
  }
}

void FragmentWriter::Finish(const TailReader& readTail) {
  if (failed_) return;
  Guarded([&] {
    if (open_) {
      if (runCount_ == 1) {
        // A lone hit at the very end closes no run: no entry, no number.
        open_ = false;
        report_.Entries.pop_back();
        Retire(sinks_.back());
        sinks_.pop_back();
        if (tap_ != nullptr) tap_->RunEnded(runStart_ + GroupBytes, false);
      } else {
        CloseRun();
      }
    }
    BlockBuffer buffer;
    while (!sinks_.empty()) {
      Sink& sink = sinks_.front();
      while (sink.NextOffset < sink.EndOffset) {
        if (buffer.empty()) buffer.resize(static_cast<std::size_t>(BlockBytes));
        const std::int64_t count = std::min(BlockBytes, sink.EndOffset - sink.NextOffset);
        BlockRead read = readTail(sink.NextOffset, buffer.data(), count);
        const ExportedEntry& entry = report_.Entries[sink.Entry];
        failing_ = sink.Entry;
        if (read.Ended) {
          throw ExportError("Cannot read file \"" + sourcePath_ + "\". It ends before byte " +
                                std::to_string(sink.EndOffset) + " now, inside fragment " +
                                std::to_string(entry.StartOffset) + " - " + std::to_string(entry.EndOffset) +
                                " that the scan found: the source shrank or was taken away during the run.",
                            std::make_error_code(std::errc::io_error), FailureKind::SourceShrank, sourcePath_);
        }
        if (read.HandledBytes < count) {
          // Given up (a stop in a bad area, a source that no longer answers): zeros, counted.
          const std::int64_t rest = count - read.HandledBytes;
          read.Unreadable.push_back({sink.NextOffset + read.HandledBytes, (rest + SectorBytes - 1) / SectorBytes});
        }
        Take(sink, sink.NextOffset, buffer.data(), count, read.Unreadable);
      }
      Complete(sink);
      Retire(sink);
      sinks_.pop_front();
    }
  });
}

}  // namespace mtsrescue
