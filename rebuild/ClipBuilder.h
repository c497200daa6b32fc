// Rebuilds whole recordings from the pieces around the hit runs and writes each as one file.
#pragma once

#include "rebuild/ClipPiece.h"
#include "rebuild/FragmentBackedSource.h"
#include "engine/OutputFile.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace mtsrescue {

class RunObserver;

// [StartOffset, EndOffset) on the source.
struct ClipSpan {
  std::int64_t StartOffset = 0;
  std::int64_t EndOffset = 0;
};

// One recording: the stretches of the source that make it, in playing order.
struct PlannedClip {
  std::vector<std::size_t> PieceIndexes;  // into ClipBuilder::Pieces(), in playing order
  std::vector<ClipSpan> Spans;            // one per piece, as copied
  std::int64_t Bytes = 0;
  bool HeadTrimmed = false;  // begins at the first random-access point, its head being lost
  bool TailTrimmed = false;  // ends before its last, cut-off payload unit
  std::optional<RecordingDate> Recorded;  // of its first picture that carries a date
};

struct RebuiltClip {
  std::int64_t Index = 0;  // file name number, in the order of the first byte on the source
  std::string FilePath;
  std::int64_t Bytes = 0;
  std::vector<ClipSpan> Pieces;
  bool HeadTrimmed = false;
  bool TailTrimmed = false;
  std::int64_t UnreadableSectors = 0;  // written as zeros
  std::optional<RecordingDate> Recorded;
};

struct ClipReport {
  std::string Folder;                   // where the recordings were written
  std::vector<RebuiltClip> Recordings;  // in file-number order
  std::vector<ClipSpan> UnjoinedPieces; // pieces no other piece joins, whole packets
  // Joined pieces that no recording was written from (their chain holds no picture that can be
  // shown, or too little; or they come before its first one), whole packets.
  std::vector<ClipSpan> UnusedPieces;
  std::int64_t PieceCount = 0;          // pieces found around the hit runs
  std::int64_t JoinedPieceCount = 0;    // pieces in recordings of two pieces or more
  std::int64_t ClusterBytes = 0;        // the card's cluster size as the pieces show it; 0 unknown
  std::int64_t BytesRead = 0;         // by the walk and the copy, wherever from
  std::int64_t SourceBytesRead = 0;   // of those, from the source itself (the rest: fragment files)
  std::int64_t BytesWritten = 0;
  std::int64_t UnreadableSectors = 0;   // passed over while finding and planning the pieces
  bool SourceFailed = false;            // the failure thrown was the source's, not an output's
  std::optional<CutShortFile> CutShort; // the recording a failure cut short
};

// Creates a folder (and its parents); an error when it cannot.
using FolderMaker = std::function<std::error_code(const std::string& path)>;

class ClipBuilder {
 public:
  // source stays owned by the caller and must outlive the builder.
  ClipBuilder(ByteStream& source, std::int64_t sourceLength);

  // Walks the hit runs ([start, end) each, ascending and not overlapping) and plans as
  // PlanPieces does.
  void Plan(const std::vector<ClipSpan>& hitRuns, RunObserver& observer);
  // Links the pieces (in source order) and plans the recordings: those with a random-access point
  // and at least 32 KiB.
  void PlanPieces(std::vector<ClipPiece> pieces, RunObserver& observer);

  const std::vector<ClipPiece>& Pieces() const noexcept { return pieces_; }
  const std::vector<std::size_t>& Next() const noexcept { return next_; }
  const std::vector<PlannedClip>& Clips() const noexcept { return clips_; }
  std::int64_t ClusterBytes() const noexcept { return clusterBytes_; }
  // Sectors that could not be read while planning (the pieces end there).
  std::int64_t UnreadableSectors() const noexcept { return unreadableSectors_; }

  // Files that Write must never create or replace (the source and what backs it).
  void Protect(std::vector<FileIdentity> files) { protectedFiles_ = std::move(files); }
  // Writes planned recording i as folder + separator + i + ".MTS", each through an OutputFile,
  // and fills report as it goes. Throws StreamError when a file cannot be created (or would be a
  // protected one), ExportError when a write fails, RunAborted when the observer asks; files
  // written before stay, the one cut short is removed (report.CutShort).
  void Write(const std::string& folder, RunObserver& observer, ClipReport& report,
             const StreamOpener& opener);

 private:
  PlannedClip PlanChain(const std::vector<std::size_t>& chain) const;
  std::int64_t UnjoinedTailEnd(const ClipPiece& piece, std::int64_t spanStart, std::int64_t bytesBefore,
                               bool headKept, bool* cut) const;

  ByteStream& source_;
  std::int64_t sourceLength_;
  std::vector<ClipPiece> pieces_;
  std::vector<std::size_t> next_;
  std::vector<PlannedClip> clips_;
  std::vector<std::int64_t> headOffsets_;  // sorted heads at sector boundaries
  std::int64_t clusterBytes_ = 0;
  std::int64_t clusterBase_ = 0;
  std::int64_t unreadableSectors_ = 0;
  std::vector<FileIdentity> protectedFiles_;
};

// The subfolder of the destination that receives the recordings.
std::string ClipsFolderName(const std::string& destFolder);

class PieceSearch;

// Opens the source (OpenMode::ReadShared), plans the recordings of hitRuns and writes them into
// ClipsFolderName(destFolder), made with makeFolder when recordings are found. Bytes that copies
// (the fragment files just written) hold are read from them, not from the source. With search
// (fed by the export as it copied the source; then hitRuns are the ones it was given), the pieces
// are what it found. Throws StreamError when the source cannot be opened or a file created (with
// the folder's error when the folder cannot be made), ExportError when a write fails; report holds
// what was done so far.
void RebuildClips(const std::string& sourcePath, std::int64_t sourceLength,
                  const std::vector<ClipSpan>& hitRuns, const std::vector<SourceCopy>& copies,
                  const std::string& destFolder, RunObserver& observer, ClipReport& report,
                  const StreamOpener& opener, const FolderMaker& makeFolder,
                  PieceSearch* search = nullptr);

}  // namespace mtsrescue
