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
  std::optional<RecordingDate> Recorded;  // also the file's modification time
  // The numbered fragment file this recording is a second name of (a hard link: it held exactly
  // the recording's bytes); empty when the bytes were copied.
  std::string LinkedTo;
  std::string TimeError;  // why the modification time could not be set; empty when it was
};

// A chain of pieces that gave no recording, and why.
struct DroppedChain {
  std::string Reason;
  std::vector<ClipSpan> Pieces;  // its pieces' whole packets, in playing order
  std::int64_t Bytes = 0;        // in those
  std::vector<std::string> FragmentFiles;  // the numbered fragment files holding any of them
};

struct ClipReport {
  std::string Folder;                   // where the recordings were written
  std::vector<RebuiltClip> Recordings;  // in file-number order
  std::vector<ClipSpan> UnjoinedPieces; // pieces no other piece joins, whole packets
  // Joined pieces that no recording was written from (their chain holds no picture that can be
  // shown, or too little; or they come before its first one), whole packets.
  std::vector<ClipSpan> UnusedPieces;
  // Every chain of pieces (a single piece too) that gave no recording, by its first byte.
  std::vector<DroppedChain> Dropped;
  std::int64_t PieceCount = 0;          // pieces found around the hit runs
  std::int64_t JoinedPieceCount = 0;    // pieces in recordings of two pieces or more
  std::int64_t ClusterBytes = 0;        // the card's cluster size as the pieces show it; 0 unknown
  std::int64_t BytesRead = 0;         // by the walk and the copy, wherever from
  std::int64_t SourceBytesRead = 0;   // of those, from the source itself (the rest: fragment files)
  std::int64_t BytesWritten = 0;
  std::int64_t UnreadableSectors = 0;   // passed over while finding and planning the pieces
  // Planned recordings not written because only second names of fragment files were to be made
  // (after the export failed for want of room, or an output that could not be written).
  std::int64_t NotWritten = 0;
  bool SourceFailed = false;            // the failure thrown was the source's, not an output's
  std::optional<CutShortFile> CutShort; // the recording a failure cut short
};

// Creates a folder (and its parents); an error when it cannot.
using FolderMaker = std::function<std::error_code(const std::string& path)>;

// What a rebuilt recording's file needs beside its bytes; empty members: the platform's own
// (ReplaceWithHardLink, SetModifiedLocalTime).
struct ClipFileSystem {
  // Makes linkPath a hard link to existingPath (replacing what is there); an error where the
  // file system cannot, linkPath then left as it was.
  std::function<std::error_code(const std::string& existingPath, const std::string& linkPath)> Link;
  std::function<std::error_code(const std::string& path, const RecordingDate& local)> SetModified;
};

// date as "YYYY-MM-DD" + between + "HH" + timeSeparator + "MM" + timeSeparator + "SS".
std::string RecordingDateText(const RecordingDate& date, char between, char timeSeparator);
// Whether date names a real moment (one a file may be named after); dates read from a damaged
// stream may not.
bool UsableDate(const RecordingDate& date);

class ClipBuilder {
 public:
  // source stays owned by the caller and must outlive the builder.
  ClipBuilder(ByteStream& source, std::int64_t sourceLength);

  // Walks the hit runs ([start, end) each, ascending and not overlapping) and plans as
  // PlanPieces does.
  void Plan(const std::vector<ClipSpan>& hitRuns, RunObserver& observer);
  // Links the pieces (in source order) and plans the recordings: every chain with a picture that
  // can be shown and something whole after it.
  void PlanPieces(std::vector<ClipPiece> pieces, RunObserver& observer);

  const std::vector<ClipPiece>& Pieces() const noexcept { return pieces_; }
  const std::vector<std::size_t>& Next() const noexcept { return next_; }
  const std::vector<PlannedClip>& Clips() const noexcept { return clips_; }
  // The chains of pieces that gave no recording (Reason and Pieces filled), by their first byte.
  const std::vector<DroppedChain>& Dropped() const noexcept { return dropped_; }
  std::int64_t ClusterBytes() const noexcept { return clusterBytes_; }
  // Sectors that could not be read while planning (the pieces end there).
  std::int64_t UnreadableSectors() const noexcept { return unreadableSectors_; }

  // The fragment files Write may link a recording to instead of copying it (ascending, each
  // holding its source bytes from its first byte on), and how it links and dates the files.
  void UseFragmentFiles(std::vector<SourceCopy> copies, ClipFileSystem files);
  // Files that Write must never create or replace (the source and what backs it).
  void Protect(std::vector<FileIdentity> files) { protectedFiles_ = std::move(files); }
  // With linksOnly, Write makes only the recordings a fragment file holds exactly, as second
  // names of those files: it needs no room. The others are counted in ClipReport::NotWritten.
  void LinksOnly(bool linksOnly) { linksOnly_ = linksOnly; }
  // How many planned recordings a fragment file given to UseFragmentFiles holds exactly.
  std::size_t WholeFragmentCount() const;

  // The file name in the folder of each planned recording (see ClipFileName).
  std::vector<std::string> FileNames() const;

  // Writes planned recording i as folder + separator + FileNames()[i] and fills report as it
  // goes: a hard link to the fragment file that holds exactly its bytes where the file system
  // allows, else a copy through an OutputFile; dated ones get their date as modification time.
  // Throws StreamError when a file cannot be created (or would be a protected one), ExportError
  // when a write fails, RunAborted when the observer asks; files written before stay, the one
  // cut short is removed (report.CutShort).
  void Write(const std::string& folder, RunObserver& observer, ClipReport& report,
             const StreamOpener& opener);

 private:
  PlannedClip PlanChain(const std::vector<std::size_t>& chain) const;
  // Why chain gives no recording, or empty when clip (its plan) is one.
  static std::string DropReason(bool showable, const PlannedClip& clip);
  // The fragment file that holds exactly clip's bytes, or null.
  const SourceCopy* WholeFragment(const PlannedClip& clip) const;
  // Makes path a link to the fragment file holding exactly clip's bytes; false when the bytes are
  // to be copied (then nothing at path is left that shares a fragment file's data).
  bool LinkInstead(const PlannedClip& clip, const std::string& path, const StreamOpener& opener,
                   std::string& linkedTo) const;
  std::int64_t UnjoinedTailEnd(std::size_t index, bool* cut) const;

  ByteStream& source_;
  std::int64_t sourceLength_;
  std::vector<ClipPiece> pieces_;
  std::vector<std::size_t> next_;
  std::vector<PlannedClip> clips_;
  std::vector<DroppedChain> dropped_;
  std::vector<SourceCopy> copies_;
  ClipFileSystem files_;
  std::vector<std::int64_t> headOffsets_;  // sorted heads at sector boundaries
  std::int64_t clusterBytes_ = 0;
  std::int64_t clusterBase_ = 0;
  std::int64_t unreadableSectors_ = 0;
  std::vector<FileIdentity> protectedFiles_;
  bool linksOnly_ = false;
};

// The subfolder of the destination that receives the recordings.
std::string ClipsFolderName(const std::string& destFolder);

// The file name of each recording in the clips folder, in the recordings' source order: its date
// where it has a usable one, "YYYY-MM-DD HH-MM-SS.MTS", with " (2)", " (3)"... before the
// extension for later ones that begin in the same second; otherwise its number, index + ".MTS".
std::vector<std::string> ClipFileNames(const std::vector<std::optional<RecordingDate>>& dates);

// Of files, those that hold any of the source bytes in spans.
std::vector<std::string> FilesHolding(const std::vector<ClipSpan>& spans, const std::vector<SourceCopy>& files);

class PieceSearch;

// Opens the source (OpenMode::ReadShared), plans the recordings of hitRuns and writes them into
// ClipsFolderName(destFolder), made with makeFolder when recordings are found; a recording that a
// copy holds exactly becomes a second name of it where files allow. Bytes that copies
// (the fragment files just written) hold are read from them, not from the source. With search
// (fed by the export as it copied the source; then hitRuns are the ones it was given), the pieces
// are what it found. Throws StreamError when the source cannot be opened or a file created (with
// the folder's error when the folder cannot be made), ExportError when a write fails; report holds
// what was done so far. linksOnly: see ClipBuilder::LinksOnly; the folder is then made only when
// there is a link to put in it.
void RebuildClips(const std::string& sourcePath, std::int64_t sourceLength,
                  const std::vector<ClipSpan>& hitRuns, const std::vector<SourceCopy>& copies,
                  const std::string& destFolder, RunObserver& observer, ClipReport& report,
                  const StreamOpener& opener, const FolderMaker& makeFolder,
                  PieceSearch* search = nullptr, const ClipFileSystem& files = {}, bool linksOnly = false);

}  // namespace mtsrescue
