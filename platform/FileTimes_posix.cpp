// File times on POSIX: mktime/localtime_r for the time zone, utimensat to set.
#include "platform/FileTimes.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>

namespace mtsrescue {

std::error_code SetModifiedLocalTime(const std::string& path, const WallClockTime& local) {
  std::tm parts{};
  parts.tm_year = local.Year - 1900;
  parts.tm_mon = local.Month - 1;
  parts.tm_mday = local.Day;
  parts.tm_hour = local.Hour;
  parts.tm_min = local.Minute;
  parts.tm_sec = local.Second;
  parts.tm_isdst = -1;  // whatever the zone's rule says for that date
  errno = 0;
  const std::time_t seconds = std::mktime(&parts);
  if (seconds == static_cast<std::time_t>(-1) && errno != 0) return {errno, std::generic_category()};
  timespec times[2];
  times[0].tv_sec = 0;
  times[0].tv_nsec = UTIME_OMIT;
  times[1].tv_sec = seconds;
  times[1].tv_nsec = 0;
  if (::utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) != 0) return {errno, std::generic_category()};
  return {};
}

bool ModifiedLocalTime(const std::string& path, WallClockTime& local) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return false;
  std::tm parts{};
  if (::localtime_r(&status.st_mtime, &parts) == nullptr) return false;
  local = {parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec};
  return true;
}

}  // namespace mtsrescue
