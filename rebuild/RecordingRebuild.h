// The rebuild of whole recordings as the follow-up of a recovery run.
#pragma once

#include "engine/RecoveryRun.h"
#include "rebuild/ClipBuilder.h"
#include "rebuild/PieceSearch.h"

#include <memory>
#include <vector>

namespace mtsrescue {

class RecordingRebuild final : public RunFollowUp {
 public:
  // opener opens what the rebuild reads (the source, the fragment files); makeFolder makes
  // ClipsFolderName(dest), CreateFolderTree when empty; files links and dates the recordings'
  // files (the platform's own where empty).
  explicit RecordingRebuild(StreamOpener opener, FolderMaker makeFolder = {}, ClipFileSystem files = {});

  // Looks for the pieces in the bytes the scan writes, through heldSource when there is one.
  ExportTap* Prepare(ByteStream* heldSource, std::int64_t sourceLength) override;
  // Writes the recordings into ClipsFolderName(report.DestFolder). The numbered fragment files
  // are left as they are whatever happens here. After an output's failure only the recordings
  // that a fragment file written whole holds exactly are made, as second names of those files.
  RunFailure Finish(const RunReport& report, const HitList& hits, RunObserver& observer, std::string& message,
                    FailureDetail& detail) override;
  // The recordings are made of the fragments' pieces: about as many bytes again.
  std::int64_t EstimatedBytes(std::int64_t fragmentBytes) const override { return fragmentBytes; }

  // What was rebuilt; empty until Finish.
  const ClipReport& Report() const noexcept { return report_; }
  // Whether Finish ran (it does not after a dry run or a failed export).
  bool Ran() const noexcept { return ran_; }

 private:
  StreamOpener opener_;
  FolderMaker makeFolder_;
  ClipFileSystem files_;
  std::vector<ClipSpan> hitRuns_;
  std::unique_ptr<PieceSearch> search_;
  ClipReport report_;
  bool ran_ = false;
};

}  // namespace mtsrescue
