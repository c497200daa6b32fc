// Planning recordings from pieces and writing them out.
#include "rebuild/ClipBuilder.h"

#include "rebuild/ClipLinker.h"
#include "engine/EngineConstants.h"
#include "engine/ExportFragments.h"
#include "rebuild/HiddenJoints.h"
#include "rebuild/PieceSearch.h"
#include "engine/ReadBlock.h"
#include "engine/RunObserver.h"
#include "rebuild/SourceWindow.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"
#include "platform/FileTimes.h"
#include "platform/Folders.h"
#include "platform/HardLinks.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace mtsrescue {
namespace {

// ClipsEnd follows ClipsBegin however the writing is left.
class ClipsEndGuard {
 public:
  explicit ClipsEndGuard(RunObserver& observer) : observer_(observer) {}
  ~ClipsEndGuard() { observer_.ClipsEnd(); }
  ClipsEndGuard(const ClipsEndGuard&) = delete;
  ClipsEndGuard& operator=(const ClipsEndGuard&) = delete;

 private:
  RunObserver& observer_;
};

}  // namespace

ClipBuilder::ClipBuilder(ByteStream& source, std::int64_t sourceLength)
    : source_(source), sourceLength_(sourceLength) {}

void ClipBuilder::Plan(const std::vector<ClipSpan>& hitRuns, RunObserver& observer) {
  PieceSearch search(source_, sourceLength_, hitRuns);
  std::vector<ClipPiece> pieces = search.Finish(observer);
  unreadableSectors_ = search.UnreadableSectors();
  PlanPieces(std::move(pieces), observer);
}

void ClipBuilder::PlanPieces(std::vector<ClipPiece> pieces, RunObserver& observer) {
  observer.Pump();
  pieces_ = std::move(pieces);
  clips_.clear();
  next_ = ClipLinker::Link(pieces_);
  clusterBytes_ = ClipLinker::InferClusterBytes(pieces_, next_, &clusterBase_);
  {
    SourceWindow window(source_, sourceLength_);
    window.SetFillHook([&observer] { observer.Pump(); });
    HiddenJoints hidden(window, clusterBytes_, clusterBase_);
    if (hidden.Split(pieces_, next_)) {
      next_ = ClipLinker::Link(pieces_);
      clusterBytes_ = ClipLinker::InferClusterBytes(pieces_, next_, &clusterBase_);
    }
    unreadableSectors_ += window.UnreadableSectors();
  }
  headOffsets_.clear();
  for (const ClipPiece& piece : pieces_) {
    if (piece.HeadAtSector) headOffsets_.push_back(piece.HeadOffset);
  }
  std::sort(headOffsets_.begin(), headOffsets_.end());

  dropped_.clear();
  for (const std::vector<std::size_t>& chain : ClipLinker::Chains(pieces_, next_)) {
    // Without a single random-access point no picture of it can be shown: no recording.
    const bool showable = std::any_of(chain.begin(), chain.end(), [this](std::size_t piece) {
      return pieces_[piece].FirstRandomAccessOffset >= 0;
    });
    PlannedClip clip = showable ? PlanChain(chain) : PlannedClip();
    const std::string reason = DropReason(showable, clip);
    if (reason.empty()) {
      // The date of its first picture that carries one, as near as the pieces tell it.
      for (std::size_t k = 0; k < clip.PieceIndexes.size() && !clip.Recorded; ++k) {
        clip.Recorded = pieces_[clip.PieceIndexes[k]].FirstDate;
      }
      clips_.push_back(std::move(clip));
      continue;
    }
    DroppedChain dropped;
    dropped.Reason = reason;
    for (const std::size_t index : chain) {
      const ClipPiece& piece = pieces_[index];
      const ClipSpan span{piece.FirstPacketOffset, std::min(piece.LastPacketOffset + PacketBytes, sourceLength_)};
      dropped.Pieces.push_back(span);
      dropped.Bytes += span.EndOffset - span.StartOffset;
    }
    dropped_.push_back(std::move(dropped));
  }
}

std::string ClipBuilder::DropReason(bool showable, const PlannedClip& clip) {
  if (!showable) return "no picture that can be shown";
  if (clip.Spans.empty()) return "nothing whole after its first picture that can be shown";
  return "";
}

// Where a recording whose last piece (pieces_[index]) nothing is joined to ends. Its stream was
// cut inside its last packet only where the stream shows it: the source ends there, or another
// stream's packets begin there (another piece's head). Then it ends with its last whole packet
// and *cut says so. Otherwise it ends after its last verified packet, whole: a stream that merely
// stops, or whose end is followed by bytes that are no packet, may have ended there, and its
// bytes are kept.
std::int64_t ClipBuilder::UnjoinedTailEnd(std::size_t index, bool* cut) const {
  const ClipPiece& piece = pieces_[index];
  const std::int64_t packetEnd = piece.LastPacketOffset + PacketBytes;
  const bool cutBySource = packetEnd > sourceLength_;
  const bool cutByStream = piece.TailAtSector && piece.TailOffset < packetEnd &&
                           std::binary_search(headOffsets_.begin(), headOffsets_.end(), piece.TailOffset);
  *cut = cutBySource || cutByStream;
  return *cut ? piece.LastPacketOffset : packetEnd;
}

PlannedClip ClipBuilder::PlanChain(const std::vector<std::size_t>& chain) const {
  PlannedClip clip;
  // A recording whose head is lost begins mid-picture; players and decoders can start only at a
  // random-access point, so the bytes before the first one are left out.
  std::size_t firstPiece = 0;
  std::int64_t startOffset = pieces_[chain.front()].FirstPacketOffset;
  const ClipPiece& head = pieces_[chain.front()];
  std::uint16_t videoPid = head.RandomAccessPid;
  bool haveVideoPid = head.FirstRandomAccessOffset >= 0;
  if (head.FirstRandomAccessOffset < 0 || head.RandomAccessPidSeenBefore) {
    for (std::size_t k = 0; k < chain.size(); ++k) {
      const ClipPiece& piece = pieces_[chain[k]];
      if (piece.FirstRandomAccessOffset < 0) continue;
      firstPiece = k;
      startOffset = piece.FirstRandomAccessOffset;
      videoPid = piece.RandomAccessPid;
      haveVideoPid = true;
      clip.HeadTrimmed = true;
      break;
    }
  }

  for (std::size_t k = firstPiece; k < chain.size(); ++k) {
    const ClipPiece& piece = pieces_[chain[k]];
    ClipSpan span;
    span.StartOffset = k == firstPiece ? startOffset : piece.HeadOffset;
    if (k + 1 < chain.size()) {
      span.EndOffset = piece.TailOffset;
    } else {
      bool cut = false;
      span.EndOffset = UnjoinedTailEnd(chain[k], &cut);
      if (cut && haveVideoPid && piece.LastPid == videoPid) {
        // The cut packet was the picture's: the picture lost its end, so its start goes too, even
        // where it is the first picture (a cut picture alone decodes to nothing).
        for (const PidUnitStart& unit : piece.LastUnitStarts) {
          if (unit.Pid == videoPid && unit.Offset >= span.StartOffset && unit.Offset < span.EndOffset) {
            span.EndOffset = unit.Offset;
            clip.TailTrimmed = true;
          }
        }
      }
    }
    if (span.EndOffset <= span.StartOffset) continue;
    clip.PieceIndexes.push_back(chain[k]);
    clip.Spans.push_back(span);
    clip.Bytes += span.EndOffset - span.StartOffset;
    // Its date is that of its first kept picture that carries one.
    if (!clip.Recorded) {
      const bool fromPicture =
          clip.HeadTrimmed && clip.Spans.size() == 1 && span.StartOffset == piece.FirstRandomAccessOffset;
      clip.Recorded = fromPicture ? piece.RandomAccessDate : piece.FirstDate;
    }
  }
  return clip;
}

void ClipBuilder::UseFragmentFiles(std::vector<SourceCopy> copies, ClipFileSystem files) {
  copies_ = std::move(copies);
  files_ = std::move(files);
  if (!files_.Link) files_.Link = ReplaceWithHardLink;
  if (!files_.SetModified) {
    files_.SetModified = [](const std::string& path, const RecordingDate& date) {
      return SetModifiedLocalTime(path, {date.Year, date.Month, date.Day, date.Hour, date.Minute, date.Second});
    };
  }
}

std::vector<std::string> ClipBuilder::FileNames() const {
  std::vector<std::optional<RecordingDate>> dates;
  dates.reserve(clips_.size());
  for (const PlannedClip& clip : clips_) dates.push_back(clip.Recorded);
  return ClipFileNames(dates);
}

const SourceCopy* ClipBuilder::WholeFragment(const PlannedClip& clip) const {
  if (clip.Spans.size() != 1) return nullptr;
  const ClipSpan& span = clip.Spans.front();
  for (const SourceCopy& copy : copies_) {
    if (copy.StartOffset == span.StartOffset && span.EndOffset <= copy.EndOffset) return &copy;
  }
  return nullptr;
}

std::size_t ClipBuilder::WholeFragmentCount() const {
  return static_cast<std::size_t>(
      std::count_if(clips_.begin(), clips_.end(), [this](const PlannedClip& clip) { return WholeFragment(clip) != nullptr; }));
}

bool ClipBuilder::LinkInstead(const PlannedClip& clip, const std::string& path, const StreamOpener& opener,
                              std::string& linkedTo) const {
  const SourceCopy* whole = WholeFragment(clip);
  if (whole != nullptr && files_.Link) {
    // The copy must hold the recording's bytes and no more: it ends where the recording does.
    std::int64_t fileBytes = -1;
    try {
      fileBytes = opener(whole->FilePath, OpenMode::ReadShared)->Size();
    } catch (const StreamError&) {
    }
    if (fileBytes == clip.Bytes && !files_.Link(whole->FilePath, path)) {
      linkedTo = whole->FilePath;
      return true;
    }
  }
  // A copy is written beside the name and renamed over it, so a second name of a fragment file
  // left there by an earlier run is replaced, never emptied; it is taken away first all the same,
  // as Windows refuses to rename over a name of a file that is open (the fragment file is).
  const bool shared = HasOtherNames(path) || std::any_of(copies_.begin(), copies_.end(), [&](const SourceCopy& copy) {
                        return SameFile(path, copy.FilePath);
                      });
  if (shared) RemoveFile(path);
  return false;
}

void ClipBuilder::Write(const std::string& folder, RunObserver& observer, ClipReport& report,
                        const StreamOpener& opener) {
  observer.ClipsBegin(static_cast<std::int64_t>(clips_.size()));
  ClipsEndGuard endGuard(observer);
  const std::vector<std::string> names = FileNames();
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(BlockBytes));
  for (std::size_t i = 0; i < clips_.size(); ++i) {
    const PlannedClip& clip = clips_[i];
    observer.Pump();
    observer.ClipsProgress(static_cast<std::int64_t>(i));
    RebuiltClip rebuilt;
    rebuilt.Index = static_cast<std::int64_t>(i);
    rebuilt.FilePath = folder + PathSeparator() + names[i];
    rebuilt.Pieces = clip.Spans;
    rebuilt.HeadTrimmed = clip.HeadTrimmed;
    rebuilt.TailTrimmed = clip.TailTrimmed;
    if (clip.Recorded && UsableDate(*clip.Recorded)) rebuilt.Recorded = clip.Recorded;
    const auto done = [&] {
      // Set last: closing a file it was written through may move its time again.
      if (rebuilt.Recorded && files_.SetModified) {
        if (const std::error_code code = files_.SetModified(rebuilt.FilePath, *rebuilt.Recorded)) {
          rebuilt.TimeError = SystemErrorText(code);
        }
      }
      rebuilt.Bytes = clip.Bytes;
      report.BytesWritten += rebuilt.LinkedTo.empty() ? clip.Bytes : 0;
      report.Recordings.push_back(rebuilt);
      observer.ClipWritten(rebuilt.Index, rebuilt.FilePath, rebuilt.Bytes);
    };
    // A link replaces what has the name as a copy would: never the source or what backs it.
    OutputFile::RefuseProtected(rebuilt.FilePath, protectedFiles_);
    OutputFile::RefuseProtected(LinkTemporaryName(rebuilt.FilePath), protectedFiles_);
    if (LinkInstead(clip, rebuilt.FilePath, opener, rebuilt.LinkedTo)) {
      done();
      continue;
    }
    if (linksOnly_) {
      ++report.NotWritten;
      continue;
    }
    OutputFile output(rebuilt.FilePath, protectedFiles_, opener);
    try {
      for (const ClipSpan& span : clip.Spans) {
        for (std::int64_t offset = span.StartOffset; offset < span.EndOffset;) {
          observer.Pump();
          if (observer.AbortRequested()) throw RunAborted("Aborted while writing \"" + rebuilt.FilePath + "\".");
          const std::int64_t blockBytes = std::min(BlockBytes, span.EndOffset - offset);
          rebuilt.UnreadableSectors += ReadBlock(source_, offset, buffer.data(), blockBytes).UnreadableSectors;
          const IoResult written = output.Write(buffer.data(), blockBytes);
          if (written.Bytes != blockBytes) {
            throw WriteError(rebuilt.FilePath, written.Error ? written.Error
                                                            : std::make_error_code(std::errc::no_space_on_device));
          }
          offset += blockBytes;
        }
      }
      output.Commit();
    } catch (...) {
      report.CutShort = output.Abandon();
      throw;
    }
    done();
  }
}

std::string ClipsFolderName(const std::string& destFolder) {
  return destFolder + PathSeparator() + "clips";
}

std::string RecordingDateText(const RecordingDate& date, char between, char timeSeparator) {
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d%c%02d%c%02d%c%02d", date.Year, date.Month, date.Day, between,
                date.Hour, timeSeparator, date.Minute, timeSeparator, date.Second);
  return text;
}

bool UsableDate(const RecordingDate& date) {
  static constexpr int DaysIn[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (date.Year < 1970 || date.Year > 9999 || date.Month < 1 || date.Month > 12) return false;
  const bool leap = date.Year % 4 == 0 && (date.Year % 100 != 0 || date.Year % 400 == 0);
  const int days = DaysIn[date.Month - 1] + (date.Month == 2 && leap ? 1 : 0);
  return date.Day >= 1 && date.Day <= days && date.Hour >= 0 && date.Hour <= 23 && date.Minute >= 0 &&
         date.Minute <= 59 && date.Second >= 0 && date.Second <= 59;
}

std::vector<std::string> ClipFileNames(const std::vector<std::optional<RecordingDate>>& dates) {
  std::vector<std::string> names;
  names.reserve(dates.size());
  std::map<std::int64_t, int> begunInSecond;
  for (std::size_t i = 0; i < dates.size(); ++i) {
    if (!dates[i] || !UsableDate(*dates[i])) {
      names.push_back(std::to_string(i) + ".MTS");
      continue;
    }
    const int count = ++begunInSecond[dates[i]->Key()];
    names.push_back(RecordingDateText(*dates[i], ' ', '-') + (count > 1 ? " (" + std::to_string(count) + ")" : "") +
                    ".MTS");
  }
  return names;
}

std::vector<std::string> FilesHolding(const std::vector<ClipSpan>& spans, const std::vector<SourceCopy>& files) {
  std::vector<std::string> holding;
  for (const SourceCopy& file : files) {
    const bool holds = std::any_of(spans.begin(), spans.end(), [&](const ClipSpan& span) {
      return span.StartOffset < file.EndOffset && file.StartOffset < span.EndOffset;
    });
    if (holds) holding.push_back(file.FilePath);
  }
  return holding;
}

void RebuildClips(const std::string& sourcePath, std::int64_t sourceLength,
                  const std::vector<ClipSpan>& hitRuns, const std::vector<SourceCopy>& copies,
                  const std::string& destFolder, RunObserver& observer, ClipReport& report,
                  const StreamOpener& opener, const FolderMaker& makeFolder, PieceSearch* search,
                  const ClipFileSystem& files, bool linksOnly) {
  report = ClipReport();
  report.Folder = ClipsFolderName(destFolder);
  report.SourceFailed = true;
  // Read here only where no copy holds the bytes: at the pieces' edges, here and there.
  const std::unique_ptr<ByteStream> source = opener(sourcePath, OpenMode::ReadSharedScattered);
  report.SourceFailed = false;
  FragmentBackedSource reader(*source, copies, opener);
  // Whatever leaves this function, the report says what was read from where.
  struct ReadCount {
    FragmentBackedSource& Reader;
    PieceSearch* Search;
    ClipReport& Report;
    ~ReadCount() {
      Report.SourceBytesRead = Reader.SourceBytesRead() + (Search != nullptr ? Search->SourceBytesRead() : 0);
      Report.BytesRead = Report.SourceBytesRead + Reader.CopyBytesRead();
    }
  } readCount{reader, search, report};
  ClipBuilder builder(reader, sourceLength);
  if (search != nullptr) {
    builder.PlanPieces(search->Finish(observer), observer);
  } else {
    builder.Plan(hitRuns, observer);
  }
  report.PieceCount = static_cast<std::int64_t>(builder.Pieces().size());
  report.UnreadableSectors = builder.UnreadableSectors() + (search != nullptr ? search->UnreadableSectors() : 0);
  report.ClusterBytes = builder.ClusterBytes();
  std::vector<bool> written(builder.Pieces().size(), false);
  for (const PlannedClip& clip : builder.Clips()) {
    for (const std::size_t piece : clip.PieceIndexes) written[piece] = true;
  }
  const auto packets = [&](std::size_t index) {
    const ClipPiece& piece = builder.Pieces()[index];
    return ClipSpan{piece.FirstPacketOffset, std::min(piece.LastPacketOffset + PacketBytes, sourceLength)};
  };
  for (const std::vector<std::size_t>& chain : ClipLinker::Chains(builder.Pieces(), builder.Next())) {
    if (chain.size() == 1) {
      report.UnjoinedPieces.push_back(packets(chain.front()));
      continue;
    }
    report.JoinedPieceCount += static_cast<std::int64_t>(chain.size());
    for (const std::size_t piece : chain) {
      if (!written[piece]) report.UnusedPieces.push_back(packets(piece));
    }
  }
  std::sort(report.UnusedPieces.begin(), report.UnusedPieces.end(),
            [](const ClipSpan& x, const ClipSpan& y) { return x.StartOffset < y.StartOffset; });
  report.Dropped = builder.Dropped();
  for (DroppedChain& dropped : report.Dropped) dropped.FragmentFiles = FilesHolding(dropped.Pieces, copies);
  if (builder.Clips().empty()) return;
  builder.UseFragmentFiles(copies, files);
  builder.LinksOnly(linksOnly);
  if (linksOnly && builder.WholeFragmentCount() == 0) {
    report.NotWritten = static_cast<std::int64_t>(builder.Clips().size());
    return;
  }
  if (const std::error_code code = makeFolder(report.Folder)) {
    throw StreamError("Cannot create file \"" + report.Folder + "\". " + SystemErrorText(code), code, report.Folder);
  }
  // A recording's file replaces what has its name: when that is the source itself (a rebuilt
  // recording scanned again into the folder it came from) or backs it, the source would be destroyed.
  builder.Protect(FilesBehindSource(sourcePath));
  builder.Write(report.Folder, observer, report, opener);
}

}  // namespace mtsrescue
