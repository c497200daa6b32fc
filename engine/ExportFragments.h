// The export of a fragment list: copies every entry long enough out of the source into
// "<index>.MTS". A run does not call it (it writes during its one read, see FragmentWriter); it
// stays as the plain two-pass reference that the run's output is held to.
#pragma once

#include "engine/FailureDetail.h"
#include "engine/FragmentList.h"
#include "engine/OutputFile.h"
#include "engine/ReadBlock.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <system_error>
#include <vector>

namespace mtsrescue {

class RunObserver;

// A write to an output file failed (a full disk): "Cannot write file "<path>". <system text>";
// or the source ended before a fragment's end (it shrank): "Cannot read file "<source>". ...".
// Kind() and Path() say which of the two, and of which file.
class ExportError : public std::runtime_error {
 public:
  ExportError(const std::string& message, std::error_code code, FailureKind kind = FailureKind::OutputWrite,
              std::string path = {})
      : std::runtime_error(message), code_(code), kind_(kind), path_(std::move(path)) {}
  const std::error_code& Code() const noexcept { return code_; }
  FailureKind Kind() const noexcept { return kind_; }
  const std::string& Path() const noexcept { return path_; }

 private:
  std::error_code code_;
  FailureKind kind_;
  std::string path_;
};

enum class EntryOutcome {
  Written,     // the file holds the fragment: end - start bytes, or up to the source's end
  TooShort,    // one group: not written
  Failed,      // this entry's file or source failed; the export ended here
  NotReached,  // after a failure
};

struct ExportedEntry {
  std::int64_t Index = 0;
  std::int64_t StartOffset = 0;
  std::int64_t EndOffset = 0;
  EntryOutcome Outcome = EntryOutcome::NotReached;
  std::string FilePath;                // for Written and Failed
  std::int64_t UnreadableSectors = 0;  // written as zeros
  std::vector<UnreadableStretch> Unreadable;  // the same sectors, where they are on the source
  // The file's length: end - start, less what lies past the source's end (a hit in one of its
  // last two sectors begins a group that the source does not hold whole). 0 when not written.
  std::int64_t FileBytes = 0;
};

struct ExportReport {
  std::vector<ExportedEntry> Entries;  // one per FragmentList entry, in order
  std::int64_t FilesWritten = 0;
  std::int64_t BytesWritten = 0;
  std::int64_t UnreadableSectors = 0;
  bool SourceFailed = false;  // the export ended because the source could not be opened again
  std::optional<CutShortFile> CutShort;  // the file the failure cut short, when it had been created
};

// Sees the source's bytes as the export copies them, so that they need not be read again.
class ExportTap {
 public:
  virtual ~ExportTap() = default;
  // The entries, before any is copied; those of more than MinExportBytes are copied in order.
  virtual void Planned(const std::vector<ExportedEntry>& entries) = 0;
  // count bytes of the source at sourceOffset, just written (unreadable sectors as zeros).
  virtual void Copied(std::int64_t sourceOffset, const std::uint8_t* bytes, std::int64_t count) = 0;

  // When the files are written during the scan, Planned is not called; instead, in source order:
  // a run of hits begins at startOffset (its bytes are copied if it grows to two groups) ...
  virtual void RunBegun(std::int64_t /*startOffset*/) {}
  // ... and ends at endOffset; copied tells whether its bytes were (or are still being) copied.
  virtual void RunEnded(std::int64_t /*endOffset*/, bool /*copied*/) {}
  // The scan has read the source up to offset: bytes before it that are not copied can be read.
  virtual void Scanned(std::int64_t /*offset*/) {}
};

// "Cannot write file "<outputPath>". <system text>": an output that could not be written to its end.
ExportError WriteError(const std::string& outputPath, std::error_code code);

// folder + PathSeparator() + index + ".MTS"; the separator is added whatever folder ends with.
std::string OutputFileName(const std::string& folder, std::int64_t index);

// Writes each entry longer than MinExportBytes, in index order, each through an OutputFile: under
// a temporary name first, so that a file under its final name is always whole, and an existing
// file of that name is replaced only then. The source is opened OpenMode::ReadShared, never for
// writing. report is filled as it goes. Throws StreamError when a file cannot be created (also
// when it is the source, or the file behind a loop device that is the source, which creating
// would destroy) or the source opened; ExportError when a write or the final flush fails, or when
// the source no longer holds a fragment's bytes (it shrank: that entry fails, it is never
// "written" with zeros); RunAborted when the observer asks to abort. Earlier files stay; the one
// cut short is removed (report.CutShort says so). The source is opened before each output file is
// created, so a source that cannot be opened leaves no empty file behind. Source sectors that
// cannot be read are written as zeros and counted; a range that runs past the source's end (a
// hit in one of its last two sectors) is copied up to that end only. ExportBegin and ExportEnd
// bracket the whole export, also when it fails. tap, when given, sees every block copied.
// sourceLength, the source's length when the run measured it (-1: unknown), tells a source that
// shrank since from one that always ended inside its last group.
void ExportFragments(const std::string& sourcePath, const std::string& destFolder,
                     const FragmentList& fragments, RunObserver& observer, ExportReport& report,
                     const StreamOpener& opener, ExportTap* tap = nullptr, std::int64_t sourceLength = -1);

}  // namespace mtsrescue
