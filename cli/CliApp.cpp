// The command's flow: parse, measure the source, make the destination, run, report.
#include "cli/CliApp.h"

#include "cli/CliObserver.h"
#include "cli/ReportFormat.h"
#include "cli/SourceArguments.h"
#include "engine/DestinationPreparation.h"
#include "engine/ExportFragments.h"
#include "engine/RecoveryRun.h"
#include "rebuild/RecordingRebuild.h"
#include "engine/OutputFile.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"
#include "source/SourceSelection.h"
#include "thumbnails/ThumbnailSet.h"

#include <exception>
#include <memory>
#include <optional>
#include <vector>
#include <utility>

namespace mtsrescue {

namespace {

// Whether this run wrote (or tried) the file at path, as a fragment or as a recording.
bool WrittenBy(const CliResult& result, const std::string& path) {
  for (const ExportedEntry& entry : result.Run.Export.Entries) {
    if (entry.FilePath == path || OutputFile::TemporaryName(entry.FilePath) == path) return true;
  }
  for (const RebuiltClip& clip : result.Clips.Recordings) {
    if (clip.FilePath == path) return true;
  }
  return false;
}

}  // namespace

CliApp::CliApp(CliEnvironment environment) : env_(std::move(environment)) {}

int CliApp::Run(const std::vector<std::string>& args) {
  CliOptions options;
  try {
    options = CommandLine::Parse(args);
  } catch (const UsageError& error) {
    *env_.Err << ProgramName << ": " << error.what() << "\nTry '" << ProgramName
              << " --help' for more information.\n";
    return static_cast<int>(ExitCode::Usage);
  }
  if (options.Help) {
    *env_.Out << CommandLine::HelpText(ProgramName);
    return static_cast<int>(ExitCode::Success);
  }
  if (options.Version) {
    *env_.Out << CommandLine::VersionText(ProgramName);
    return static_cast<int>(ExitCode::Success);
  }
  if (options.List) {
    PrintSourceList(*env_.Out, CliSourcePlatform(env_), options.Json);
    return static_cast<int>(ExitCode::Success);
  }
  try {
    return static_cast<int>(Recover(options));
  } catch (const std::exception& error) {
    // Nothing below should throw past the run; if it does, it must not look like success.
    *env_.Err << ProgramName << ": " << error.what() << "\n";
    return static_cast<int>(ExitCode::Export);
  }
}

ExitCode CliApp::PrepareDestination(const CliOptions& options, const std::string& sourcePath, std::string& error) {
  if (options.DryRun) return ExitCode::Success;  // nothing is written, not even the folder
  // A file of an output's name that is the source, or the image behind a loop device that is
  // the source, would be replaced by this run: refused, --force or not.
  const DestinationProblem problem =
      mtsrescue::PrepareDestination(options.DestFolder, sourcePath, env_.Opener, {ClipsFolderName(options.DestFolder)});
  if (!problem) return ExitCode::Success;
  error = problem.Message;
  return ExitCode::SourceOrDest;
}

ExitCode CliApp::Recover(const CliOptions& options) {
  CliResult result;
  result.Options = options;
  RunReport& run = result.Run;
  run.SourcePath = options.Source;
  run.DestFolder = options.DestFolder;
  const bool notes = !options.Quiet;
  bool ran = false;  // a run reports what it found and wrote even when it failed on the way

  const auto finish = [&](ExitCode code) {
    result.Code = code;
    if (options.Json) {
      *env_.Out << ReportFormat::Json(result);
    } else if (ran) {
      *env_.Out << ReportFormat::Text(result);
    }
    env_.Out->flush();
    if (!run.ErrorMessage.empty()) *env_.Err << ProgramName << ": " << run.ErrorMessage << "\n";
    if (code == ExitCode::Interrupted && notes) {
      if (run.Aborted) {
        *env_.Err << ProgramName << ": aborted by a second interrupt; only the files listed as written are whole";
        for (const std::optional<CutShortFile>* cut : {&run.Export.CutShort, &result.Clips.CutShort}) {
          if (!cut->has_value()) continue;
          *env_.Err << "; " << (*cut)->FinalPath << " was cut short and "
                    << ((*cut)->LeftAs.empty() ? "removed" : "stays as " + (*cut)->LeftAs);
        }
        *env_.Err << ".\n";
      } else {
        *env_.Err << ProgramName << ": interrupted after " << run.Scan.BytesRead << " of "
                  << run.SourceLength << " bytes; what was found up to there was "
                  << (options.DryRun ? "listed" : "written") << ".\n";
      }
    }
    // Not a failure: what was found is all in the numbered files; the report lists where.
    if (!result.Clips.Dropped.empty() && notes) {
      *env_.Err << ProgramName << ": not every recording could be rebuilt: " << result.Clips.Dropped.size()
                << " chains of pieces gave none; their bytes stay in the numbered files.\n";
    }
    if (run.UnreadableSectors > 0 && notes) {
      *env_.Err << ProgramName << ": " << run.UnreadableSectors
                << " sectors could not be read; they count as no video and are written as zeros.\n";
    }
    return code;
  };

  // The length is what the opened source says it is; the run opens it again itself.
  // Not for the short forms: on Windows "E:" names the current folder of drive E, a folder.
  if (ResolveShortForm(options.Source) == options.Source && IsFolder(options.Source)) {
    run.Failure = RunFailure::Source;
    run.ErrorMessage = "Cannot open file \"" + options.Source + "\". It is a folder, not a disk or an image.";
    return finish(ExitCode::SourceOrDest);
  }
  // Short forms ("PhysicalDrive1", "E:") resolve and measure as the window's source menu does.
  const SourcePlatform platform = CliSourcePlatform(env_);
  try {
    const CliSource source = ResolveCliSource(options.Source, platform);
    // Named as the system names it (/dev/sdb on Linux) in every message and in the report.
    const std::string native = platform.Query().NativeDevicePath(source.Path);
    run.SourcePath = native.empty() ? source.Path : native;
    run.SourceLength = source.LengthBytes;
  } catch (const StreamError& error) {
    run.Failure = RunFailure::Source;
    run.ErrorMessage = error.what();
    return finish(ExitCode::SourceOrDest);
  }
  if (run.SourceLength < 0) {
    run.Failure = RunFailure::Source;
    run.ErrorMessage = "Cannot tell the length of \"" + options.Source + "\".";
    return finish(ExitCode::SourceOrDest);
  }
  std::string destError;
  if (!options.DryRun && !options.Force) destError = DestinationOnSourceRefusal(options.DestFolder, run.SourcePath, platform);
  if (!destError.empty() || PrepareDestination(options, run.SourcePath, destError) != ExitCode::Success) {
    run.ErrorMessage = destError;
    return finish(ExitCode::SourceOrDest);
  }
  // Files of an earlier run: those of the numbers this run writes are replaced, the rest stay;
  // the report must not pass them off as this run's.
  std::vector<std::string> earlier;
  if (!options.DryRun) {
    earlier = EarlierOutputs(options.DestFolder);
    if (!options.NoClips) {
      const std::vector<std::string> clips = EarlierOutputs(ClipsFolderName(options.DestFolder));
      earlier.insert(earlier.end(), clips.begin(), clips.end());
    }
  }
  if (!earlier.empty() && notes) {
    *env_.Err << ProgramName << ": \"" << options.DestFolder << "\" already holds " << earlier.size()
              << " files of an earlier run (" << earlier.front() << (earlier.size() > 1 ? ", ..." : "")
              << "): those of the numbers this run writes are replaced, the others stay and are not part of "
                 "its report.\n";
  }

  std::ostream* progress = (env_.ErrIsTerminal && !options.Quiet) ? env_.Err : nullptr;
  const auto interrupts = env_.InterruptCount;
  CliObserver observer(progress, notes ? env_.Err : nullptr,
                       [interrupts] { return interrupts && interrupts() > 0; }, env_.Clock,
                       [interrupts] { return interrupts && interrupts() > 1; });
  RunOptions runOptions;
  runOptions.DryRun = options.DryRun;
  RecordingRebuild rebuild(platform.Opener());
  if (!options.NoClips) runOptions.FollowUp = &rebuild;
  run = RunRecovery(run.SourcePath, run.SourceLength, options.DestFolder, observer, runOptions,
                    platform.Opener());
  result.Clips = rebuild.Report();
  ran = true;
  for (const std::string& path : earlier) {
    if (!WrittenBy(result, path)) result.EarlierFiles.push_back(path);
  }

  // The pictures come after the run, of what it wrote; a second Ctrl-C stops them.
  if (options.Thumbnails && !options.DryRun && !run.Aborted && run.Failure == RunFailure::None) {
    const int interruptsBefore = interrupts ? interrupts() : 0;
    result.Thumbnails = ThumbnailSet::Write(
        options.DestFolder, ThumbnailSet::Items(run.Export, result.Clips), platform.Opener(),
        FilesBehindSource(run.SourcePath), Thumbnailer(),
        [interrupts, interruptsBefore] { return interrupts && interrupts() > interruptsBefore; });
    const ThumbnailReport& pictures = *result.Thumbnails;
    if (notes && !pictures.Decoding) {
      *env_.Err << ProgramName << ": this build has no video decoder (built without FFmpeg): no pictures, "
                << "the page lists the recordings without them.\n";
    }
    for (const ThumbnailEntry& entry : pictures.Entries) {
      if (notes && pictures.Decoding && entry.Item.Recording && !entry.Decoded) {
        *env_.Err << ProgramName << ": " << entry.Item.FilePath << ": " << entry.Note
                  << "; a plain picture stands in for it.\n";
      }
    }
    if (!pictures.Error.empty()) {
      *env_.Err << ProgramName << ": " << pictures.Error << "\n";
      return finish(ExitCode::Export);
    }
  }

  if (run.Aborted) return finish(ExitCode::Interrupted);
  switch (run.Failure) {
    case RunFailure::Source: return finish(ExitCode::SourceOrDest);
    case RunFailure::Export: return finish(ExitCode::Export);
    case RunFailure::None: break;
  }
  return finish(run.Scan.Stopped ? ExitCode::Interrupted : ExitCode::Success);
}

}  // namespace mtsrescue
