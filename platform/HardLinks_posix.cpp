// Hard links on POSIX: linkat to a fresh name beside the target, then rename over it.
#include "platform/HardLinks.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mtsrescue {

std::error_code ReplaceWithHardLink(const std::string& existingPath, const std::string& linkPath) {
  struct stat existing {};
  if (::lstat(existingPath.c_str(), &existing) != 0) return {errno, std::generic_category()};
  if (!S_ISREG(existing.st_mode)) return std::make_error_code(std::errc::operation_not_permitted);
  struct stat present {};
  if (::lstat(linkPath.c_str(), &present) == 0 && present.st_dev == existing.st_dev &&
      present.st_ino == existing.st_ino) {
    return {};
  }
  // A new name first, so that a failure leaves linkPath as it was and a success replaces it in
  // one step. linkat without AT_SYMLINK_FOLLOW links the name itself, never a link's target.
  const std::string fresh = LinkTemporaryName(linkPath);
  ::unlink(fresh.c_str());
  if (::linkat(AT_FDCWD, existingPath.c_str(), AT_FDCWD, fresh.c_str(), 0) != 0) {
    return {errno, std::generic_category()};
  }
  if (::rename(fresh.c_str(), linkPath.c_str()) != 0) {
    const int error = errno;
    ::unlink(fresh.c_str());
    return {error, std::generic_category()};
  }
  return {};
}

bool HasOtherNames(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink > 1;
}

}  // namespace mtsrescue
