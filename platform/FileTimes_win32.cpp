// File times on Windows: the time zone's own rules convert local time, SetFileTime sets it.
#include "platform/FileTimes.h"
#include "platform/Win32Text_win32.h"

#include <algorithm>

namespace mtsrescue {

using win32::Widen;
using win32::LastError;

namespace {

// The file itself, never what a reparse point leads to, opened only to change its attributes.
HANDLE OpenAttributes(const std::string& path, DWORD access) {
  return ::CreateFileW(Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

}  // namespace

std::error_code SetModifiedLocalTime(const std::string& path, const WallClockTime& local) {
  SYSTEMTIME wall{};
  wall.wYear = static_cast<WORD>(local.Year);
  wall.wMonth = static_cast<WORD>(local.Month);
  wall.wDay = static_cast<WORD>(local.Day);
  wall.wHour = static_cast<WORD>(local.Hour);
  wall.wMinute = static_cast<WORD>(local.Minute);
  wall.wSecond = static_cast<WORD>(local.Second);
  // The zone's rule for that date, not today's offset: a summer recording keeps its summer time.
  SYSTEMTIME universal{};
  if (!::TzSpecificLocalTimeToSystemTime(nullptr, &wall, &universal)) return LastError();
  FILETIME stamp{};
  if (!::SystemTimeToFileTime(&universal, &stamp)) return LastError();
  const HANDLE file = OpenAttributes(path, FILE_WRITE_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  const bool set = ::SetFileTime(file, nullptr, nullptr, &stamp) != 0;
  const std::error_code error = set ? std::error_code() : LastError();
  ::CloseHandle(file);
  return error;
}

bool ModifiedLocalTime(const std::string& path, WallClockTime& local) {
  const HANDLE file = OpenAttributes(path, FILE_READ_ATTRIBUTES);
  if (file == INVALID_HANDLE_VALUE) return false;
  FILETIME stamp{};
  const bool read = ::GetFileTime(file, nullptr, nullptr, &stamp) != 0;
  ::CloseHandle(file);
  SYSTEMTIME universal{};
  SYSTEMTIME wall{};
  if (!read || !::FileTimeToSystemTime(&stamp, &universal) ||
      !::SystemTimeToTzSpecificLocalTime(nullptr, &universal, &wall)) {
    return false;
  }
  local = {wall.wYear, wall.wMonth, wall.wDay, wall.wHour, wall.wMinute, wall.wSecond};
  return true;
}

}  // namespace mtsrescue
