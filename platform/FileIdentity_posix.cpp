// FileIdentity on Linux: stat for identities, /sys/dev/block for partitions and loop devices' files.
#include "platform/FileIdentity.h"

#include <fstream>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace mtsrescue {
namespace {

std::string SysBlockFolder(dev_t device) {
  return "/sys/dev/block/" + std::to_string(major(device)) + ":" + std::to_string(minor(device));
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// The sysfs folder of the whole device a partition belongs to (the device's own when it is none).
std::string WholeDeviceFolder(dev_t device) {
  const std::string folder = SysBlockFolder(device);
  return Exists(folder + "/partition") ? folder + "/.." : folder;
}

// The file a loop device (or a partition of one) reads, as the kernel names it; empty for none.
std::string LoopBackingFile(dev_t device) {
  std::ifstream in(WholeDeviceFolder(device) + "/loop/backing_file");
  std::string path;
  if (!in || !std::getline(in, path)) return "";
  return path;
}

std::optional<dev_t> BlockDeviceOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return std::nullopt;
  return info.st_rdev;
}

FileIdentity IdentityOfStat(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

}  // namespace

PathKind KindOf(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return PathKind::Missing;
  if (S_ISREG(info.st_mode)) return PathKind::File;
  if (S_ISBLK(info.st_mode)) return PathKind::BlockDevice;
  if (S_ISDIR(info.st_mode)) return PathKind::Folder;
  return PathKind::Other;
}

std::optional<FileIdentity> IdentityOf(const std::string& path, bool followLink) {
  struct stat info {};
  if ((followLink ? ::stat(path.c_str(), &info) : ::lstat(path.c_str(), &info)) != 0) return std::nullopt;
  return IdentityOfStat(info);
}

std::vector<FileIdentity> FilesBehindSource(const std::string& sourcePath) {
  std::vector<FileIdentity> files;
  std::string path = sourcePath;
  // A loop over a loop over a file: a few steps are all that anyone sets up.
  for (int depth = 0; depth < 8 && !path.empty(); ++depth) {
    const std::optional<FileIdentity> identity = IdentityOf(path, true);
    if (!identity) break;
    files.push_back(*identity);
    const std::optional<dev_t> device = BlockDeviceOf(path);
    if (!device) break;
    path = LoopBackingFile(*device);
  }
  return files;
}

bool FolderStoredInSource(const std::string& folder, const std::string& sourcePath) {
  std::string existing = folder.empty() ? "." : folder;
  struct stat info {};
  while (::stat(existing.c_str(), &info) != 0) {
    const std::string::size_type slash = existing.find_last_of('/');
    if (slash == std::string::npos) {
      existing = ".";
    } else if (slash == 0) {
      existing = "/";
    } else {
      existing = existing.substr(0, slash);
    }
    if (existing == "." || existing == "/") {
      if (::stat(existing.c_str(), &info) != 0) return false;
      break;
    }
  }
  const dev_t holder = info.st_dev;
  const std::optional<dev_t> sourceDevice = BlockDeviceOf(sourcePath);
  if (sourceDevice) {
    if (holder == *sourceDevice) return true;
    // A partition of the source disk.
    const std::optional<FileIdentity> holderDisk = IdentityOf(WholeDeviceFolder(holder), true);
    if (holderDisk && holderDisk == IdentityOf(SysBlockFolder(*sourceDevice), true)) return true;
  }
  const std::string backing = LoopBackingFile(holder);
  if (backing.empty()) return false;
  const std::optional<FileIdentity> image = IdentityOf(backing, true);
  if (!image) return false;
  for (const FileIdentity& file : FilesBehindSource(sourcePath)) {
    if (file == *image) return true;
  }
  return false;
}

}  // namespace mtsrescue
