// PrepareDestination: the folder, the source's own files, and the write probe, in that order.
#include "engine/DestinationPreparation.h"

#include "engine/OutputFile.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <vector>

namespace mtsrescue {

DestinationProblem PrepareDestination(const std::string& destFolder, const std::string& sourcePath,
                                      const StreamOpener& opener, const std::vector<std::string>& moreFolders) {
  DestinationProblem problem;
  const std::vector<FileIdentity> sourceFiles = FilesBehindSource(sourcePath);
  if (LeadsToAnyOf(destFolder, sourceFiles)) {
    problem.Detail = {FailureKind::OutputIsSource, destFolder, std::make_error_code(std::errc::file_exists)};
    problem.Message = "DEST \"" + destFolder + "\" is the source being recovered. Choose a folder for DEST.";
    return problem;
  }
  if (const std::error_code code = CreateFolderTree(destFolder)) {
    problem.Detail = {FailureKind::FolderCreate, destFolder, code};
    problem.Message = "Cannot create folder \"" + destFolder + "\". " + SystemErrorText(code);
    return problem;
  }
  std::vector<std::string> names = EarlierOutputs(destFolder);
  for (const std::string& folder : moreFolders) {
    const std::vector<std::string> more = EarlierOutputs(folder);
    names.insert(names.end(), more.begin(), more.end());
  }
  for (const std::string& name : names) {
    if (LeadsToAnyOf(name, sourceFiles)) {
      problem.Detail = {FailureKind::OutputIsSource, name, std::make_error_code(std::errc::file_exists)};
      problem.Message = "\"" + name +
                        "\" is the source being recovered, or the file behind it, and this run would replace it. "
                        "Choose another folder for DEST.";
      return problem;
    }
  }
  // Found now, not after hours of reading. Never through a link, and never where the source is.
  try {
    OutputFile probe(destFolder + PathSeparator() + ".mtsrescue-write-test", sourceFiles, opener);
    probe.Abandon();
  } catch (const StreamError& failure) {
    problem.Detail = {FailureKind::OutputCreate, destFolder, failure.Code()};
    problem.Message = failure.what();
  }
  return problem;
}

}  // namespace mtsrescue
