// Folders of the file system: creating a whole path, telling a folder, removing a file, listing, free space.
#pragma once

#include <cstdint>
#include <string>
#include <vector>
#include <system_error>

namespace mtsrescue {

// Creates path (UTF-8) and every missing folder above it. Success when it exists as a folder
// already; an error when it or a parent exists as something else, or may not be created.
std::error_code CreateFolderTree(const std::string& path);

// True when path names an existing folder (following links).
bool IsFolder(const std::string& path);

// Removes a file (not a folder); an error when it cannot be removed.
std::error_code RemoveFile(const std::string& path);

// The names in a folder (not "." and ".."), in no particular order; empty when it cannot be read.
std::vector<std::string> FolderNames(const std::string& path);

// Bytes the calling user may still write on the file system holding path (an existing folder);
// -1 when it cannot be told.
std::int64_t FreeBytesAt(const std::string& path);

}  // namespace mtsrescue
