// OutputFile: refuse the source, create exclusively, flush, rename; or remove what was cut short.
#include "engine/OutputFile.h"

#include "engine/ExportFragments.h"
#include "platform/FileStream.h"
#include "platform/Folders.h"

#include <algorithm>
#include <string_view>
#include <tuple>
#include <utility>

namespace mtsrescue {
namespace {

bool AllDigits(std::string_view text) {
  return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The stems the writers give: a number, or a recording date with " (N)" for a second one that
// began in the same second.
bool IsOutputStem(std::string_view stem) {
  if (AllDigits(stem)) return true;
  static constexpr std::string_view DateShape = "dddd-dd-dd dd-dd-dd";
  if (stem.size() < DateShape.size()) return false;
  for (std::size_t i = 0; i < DateShape.size(); ++i) {
    if (DateShape[i] == 'd' ? !AllDigits(stem.substr(i, 1)) : stem[i] != DateShape[i]) return false;
  }
  const std::string_view rest = stem.substr(DateShape.size());
  return rest.empty() || (rest.size() > 3 && rest.substr(0, 2) == " (" && rest.back() == ')' &&
                          AllDigits(rest.substr(2, rest.size() - 3)));
}

}  // namespace

bool IsOutputName(const std::string& name) {
  // The final name, the temporary one it is written under, and the one a link is made under.
  for (const std::string_view suffix : {".MTS", ".MTS.part", ".MTS.link"}) {
    if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0 &&
        IsOutputStem(std::string_view(name).substr(0, name.size() - suffix.size()))) {
      return true;
    }
  }
  return false;
}

std::vector<std::string> EarlierOutputs(const std::string& folder) {
  // Numbered files by number, then dated ones by date.
  std::vector<std::tuple<bool, std::int64_t, std::string>> found;
  for (const std::string& name : FolderNames(folder)) {
    if (!IsOutputName(name)) continue;
    const std::size_t digits = name.find_first_not_of("0123456789");
    const bool numbered = name.compare(digits, 4, ".MTS") == 0;
    if (numbered && digits > 18) continue;  // no index of this run's can be that long
    found.emplace_back(!numbered, numbered ? std::stoll(name) : 0, folder + PathSeparator() + name);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  for (auto& entry : found) paths.push_back(std::move(std::get<2>(entry)));
  return paths;
}

std::string OutputFile::TemporaryName(const std::string& finalPath) { return finalPath + ".part"; }

void OutputFile::RefuseProtected(const std::string& path, const std::vector<FileIdentity>& protectedFiles) {
  if (LeadsToAnyOf(path, protectedFiles)) {
    throw ProtectedFileError("Cannot create file \"" + path +
                                 "\". It is the source being recovered, or the file behind it; writing it would "
                                 "destroy what is being recovered.",
                             std::make_error_code(std::errc::file_exists), path);
  }
}

OutputFile::OutputFile(std::string finalPath, const std::vector<FileIdentity>& protectedFiles,
                       const StreamOpener& opener)
    : finalPath_(std::move(finalPath)), temporaryPath_(TemporaryName(finalPath_)) {
  // The final name is replaced by the rename, and a file of that name that is the source (or
  // backs it) would lose its name and, with a loop device over it, its contents.
  for (const std::string* path : {&finalPath_, &temporaryPath_}) RefuseProtected(*path, protectedFiles);
  // Found now, not after the whole file has been written beside it.
  if (KindOf(finalPath_) == PathKind::Folder) {
    const std::error_code code = std::make_error_code(std::errc::is_a_directory);
    throw StreamError("Cannot create file \"" + finalPath_ + "\". " + SystemErrorText(code), code, finalPath_);
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
    throw StreamError("Cannot create file \"" + finalPath_ + "\". " + SystemErrorText(error.Code()), error.Code(),
                      finalPath_);
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
  throw ExportError("Cannot write file \"" + finalPath_ + "\". " + SystemErrorText(code), code,
                    FailureKind::OutputWrite, finalPath_);
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
