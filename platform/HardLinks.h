// Giving an existing file a second name on the same file system.
#pragma once

#include <string>
#include <system_error>

namespace mtsrescue {

// Makes linkPath (UTF-8) a hard link to the regular file existingPath, replacing whatever file
// or symbolic link stood at linkPath (never what that one leads to). A symbolic link at
// existingPath is neither followed nor linked. An error, and linkPath as it was, where the
// file system has no hard links or they cannot span the two paths (EXDEV, EPERM, FAT...).
// When linkPath already names existingPath's file, nothing changes.
std::error_code ReplaceWithHardLink(const std::string& existingPath, const std::string& linkPath);
// The fresh name beside linkPath that ReplaceWithHardLink links first (and removes).
inline std::string LinkTemporaryName(const std::string& linkPath) { return linkPath + ".link"; }

// True when path (not followed if a symbolic link) is a regular file with more names than this
// one: emptying it in place would empty it under every name.
bool HasOtherNames(const std::string& path);

}  // namespace mtsrescue
