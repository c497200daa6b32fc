// Which file a name leads to and what a source stands on: the checks that keep every output off the source.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace mtsrescue {

// Equal for two names of one file: device and inode on POSIX, volume serial and file index on Windows.
struct FileIdentity {
  std::uint64_t Volume = 0;
  std::uint64_t Index = 0;
  bool operator==(const FileIdentity& other) const noexcept { return Volume == other.Volume && Index == other.Index; }
};

enum class PathKind {
  Missing,      // nothing of that name, or it cannot be examined
  File,         // a regular file
  BlockDevice,  // a disk, a partition or a volume
  Folder,
  Other,        // a pipe, a character device (/dev/zero, NUL), a socket
};

// True when path, followed through links or taken as it is, is one of files.
bool LeadsToAnyOf(const std::string& path, const std::vector<FileIdentity>& files);

// What path (UTF-8) names, following links. Never opens it, so a pipe cannot block here.
PathKind KindOf(const std::string& path);

// The file path names; with followLink false, a link itself rather than what it leads to.
std::optional<FileIdentity> IdentityOf(const std::string& path, bool followLink);

// The files whose writing would change the source: the source itself and, for a loop device or
// one of its partitions, the file behind it (and behind that, for loops over loops). POSIX reads
// /sys/dev/block; Windows gives the source alone (it does not tell here which image file backs a
// mounted virtual disk).
std::vector<FileIdentity> FilesBehindSource(const std::string& sourcePath);

// True when the file system holding folder (or its nearest existing parent) is stored in the
// source: its device is the source device or one of its partitions, or a loop device backed by
// one of FilesBehindSource(sourcePath) (a mounted image that is the image being recovered).
// Always false on Windows, where the volume check of DestinationOnSource stands alone.
bool FolderStoredInSource(const std::string& folder, const std::string& sourcePath);

}  // namespace mtsrescue
