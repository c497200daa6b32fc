// The recovery run: scan, then always merge and export, then report any error.
#pragma once

#include "engine/ClipBuilder.h"
#include "engine/ExportFragments.h"
#include "engine/FragmentList.h"
#include "engine/ScanSource.h"
#include "platform/ByteStream.h"

#include <cstdint>
#include <string>

namespace mtsrescue {

class RunObserver;

struct RunOptions {
  bool DryRun = false;  // scan and merge only; nothing is written
  // After the export, rebuild whole recordings from their pieces into ClipsFolderName(dest).
  bool Clips = true;
  // Makes that folder; when empty, CreateFolderTree.
  FolderMaker MakeClipsFolder;
};

enum class RunFailure {
  None,
  Source,  // the source could not be opened or read
  Export,  // an output file could not be created or written
};

struct RunReport {
  std::string SourcePath;
  std::int64_t SourceLength = 0;
  std::string DestFolder;
  ScanReport Scan;
  std::int64_t HitCount = 0;
  FragmentList Fragments;
  ExportReport Export;  // empty for a dry run
  ClipReport Clips;     // empty for a dry run, without Clips, or after a failed export
  RunFailure Failure = RunFailure::None;
  std::string ErrorMessage;  // the user-facing text when Failure != None
};

// Runs one recovery. Whatever ends the scan (end, stop, error), the hits found are merged and
// exported; the first error is returned in the report, never thrown. The caller clears its stop
// request before calling.
RunReport RunRecovery(const std::string& sourcePath, std::int64_t sourceLength,
                      const std::string& destFolder, RunObserver& observer,
                      const RunOptions& options, const StreamOpener& opener);

}  // namespace mtsrescue
