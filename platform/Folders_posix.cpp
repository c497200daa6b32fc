// Folders on POSIX: mkdir one level at a time, stat, unlink, readdir, statvfs.
#include "platform/Folders.h"

#include <cerrno>
#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace mtsrescue {
namespace {

std::error_code LastError() { return {errno, std::generic_category()}; }

}  // namespace

std::error_code CreateFolderTree(const std::string& path) {
  if (path.empty()) return std::make_error_code(std::errc::invalid_argument);
  if (IsFolder(path)) return {};
  // Every prefix that ends before a '/' is a parent; the loop ends with the whole path.
  for (std::size_t end = 1; end <= path.size(); ++end) {
    if (end != path.size() && path[end] != '/') continue;
    std::string prefix = path.substr(0, end);
    if (prefix.back() == '/') continue;  // "a//b": the empty step between two slashes
    if (mkdir(prefix.c_str(), 0777) != 0) {
      int error = errno;
      if (error != EEXIST) return {error, std::generic_category()};
      if (!IsFolder(prefix)) return std::make_error_code(std::errc::not_a_directory);
    }
  }
  return {};
}

bool IsFolder(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::error_code RemoveFile(const std::string& path) {
  if (unlink(path.c_str()) != 0) return LastError();
  return {};
}

std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  DIR* folder = opendir(path.c_str());
  if (folder == nullptr) return names;
  while (const dirent* entry = readdir(folder)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(folder);
  return names;
}

std::int64_t FreeBytesAt(const std::string& path) {
  struct statvfs info {};
  if (statvfs(path.c_str(), &info) != 0) return -1;
  return static_cast<std::int64_t>(info.f_bavail) * static_cast<std::int64_t>(info.f_frsize);
}

}  // namespace mtsrescue
