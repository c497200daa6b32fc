// Folders of the file system: creating a whole path, telling a folder, removing a file.
#pragma once

#include <string>
#include <system_error>

namespace mtsrescue {

// Creates path (UTF-8) and every missing folder above it. Success when it exists as a folder
// already; an error when it or a parent exists as something else, or may not be created.
std::error_code CreateFolderTree(const std::string& path);

// True when path names an existing folder (following links).
bool IsFolder(const std::string& path);

// Removes a file (not a folder); an error when it cannot be removed.
std::error_code RemoveFile(const std::string& path);

}  // namespace mtsrescue
