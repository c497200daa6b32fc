// OutputFile: refuse the source, create exclusively, flush, rename; or remove what was cut short.
#include "engine/OutputFile.h"

#include "engine/ExportFragments.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <algorithm>
#include <utility>

namespace mtsrescue {
bool IsOutputName(const std::string& name) {
  std::size_t digits = 0;
  while (digits < name.size() && name[digits] >= '0' && name[digits] <= '9') ++digits;
  if (digits == 0) return false;
  const std::string rest = name.substr(digits);
  return rest == ".MTS" || rest == ".MTS.part";
}

std::vector<std::string> EarlierOutputs(const std::string& folder) {
  std::vector<std::pair<std::int64_t, std::string>> found;
  for (const std::string& name : FolderNames(folder)) {
    if (!IsOutputName(name) || name.size() > 18) continue;
    found.emplace_back(std::stoll(name), folder + PathSeparator() + name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& [number, path] : found) paths.push_back(std::move(path));
  return paths;
}

std::string OutputFile::TemporaryName(const std::string& finalPath) { return finalPath + ".part"; }

OutputFile::OutputFile(std::string finalPath, const std::vector<FileIdentity>& protectedFiles,
                       const StreamOpener& opener)
    : finalPath_(std::move(finalPath)), temporaryPath_(TemporaryName(finalPath_)) {
  // The final name is replaced by the rename, and a file of that name that is the source (or
  // backs it) would lose its name and, with a loop device over it, its contents.
  for (const std::string* path : {&finalPath_, &temporaryPath_}) {
    if (LeadsToAnyOf(*path, protectedFiles)) {
      throw StreamError("Cannot create file \"" + *path +
                            "\". It is the source being recovered, or the file behind it; writing it would destroy "
                            "what is being recovered.",
                        std::make_error_code(std::errc::file_exists));
    }
  }
  // Found now, not after the whole file has been written beside it.
  if (KindOf(finalPath_) == PathKind::Folder) {
    const std::error_code code = std::make_error_code(std::errc::is_a_directory);
    throw StreamError("Cannot create file \"" + finalPath_ + "\". " + SystemErrorText(code), code);
  }
  try {
    try {
      stream_ = opener(temporaryPath_, OpenMode::CreateNew);
    } catch (const StreamError& error) {
      // Windows' codes do not all map onto the portable ones: the name's presence decides too.
      if (error.Code() != std::errc::file_exists && KindOf(temporaryPath_) == PathKind::Missing) throw;
      // Left by a run that was cut short (it is none of the protected files: see above). A link
      // is removed itself; what the opener alone knows is removed through its stream.
      if (RemoveFile(temporaryPath_)) opener(temporaryPath_, OpenMode::Create)->CloseAndRemove();
      stream_ = opener(temporaryPath_, OpenMode::CreateNew);
    }
  } catch (const StreamError& error) {
    // The user knows the file by its final name.
    throw StreamError("Cannot create file \"" + finalPath_ + "\". " + SystemErrorText(error.Code()), error.Code());
  }
}

OutputFile::~OutputFile() {
  if (stream_ != nullptr) (void)stream_->CloseAndRemove();
}

void OutputFile::Commit() {
  // A file is named as written only once its bytes are on the disk, not merely in the cache.
  std::error_code code = stream_->Flush();
  if (!code) {
    code = stream_->CloseAs(finalPath_);
    if (!code) {
      stream_.reset();
      return;
    }
  }
  throw ExportError("Cannot write file \"" + finalPath_ + "\". " + SystemErrorText(code), code);
}

CutShortFile OutputFile::Abandon() {
  CutShortFile cut{finalPath_, ""};
  if (stream_ != nullptr) {
    // Also after a failed rename, which leaves the file closed under its temporary name.
    if (stream_->CloseAndRemove()) cut.LeftAs = temporaryPath_;
    stream_.reset();
  }
  return cut;
}

}  // namespace mtsrescue
