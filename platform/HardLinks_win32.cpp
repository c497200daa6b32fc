// Hard links on Windows: CreateHardLinkW to a fresh name beside the target, then MoveFileExW over it.
#include "platform/HardLinks.h"
#include "platform/Win32Text_win32.h"

#include <algorithm>

namespace mtsrescue {

using win32::Widen;
using win32::LastError;

namespace {

// The volume and file index of path itself (a reparse point is not followed), or false.
bool Identity(const std::wstring& path, BY_HANDLE_FILE_INFORMATION& info) {
  const HANDLE file = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  const bool known = ::GetFileInformationByHandle(file, &info) != 0;
  ::CloseHandle(file);
  return known;
}

}  // namespace

std::error_code ReplaceWithHardLink(const std::string& existingPath, const std::string& linkPath) {
  const std::wstring existing = Widen(existingPath);
  const std::wstring target = Widen(linkPath);
  const DWORD attributes = ::GetFileAttributesW(existing.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return LastError();
  // CreateHardLinkW would link what a reparse point leads to.
  if ((attributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return std::error_code(ERROR_ACCESS_DENIED, std::system_category());
  }
  BY_HANDLE_FILE_INFORMATION from{};
  BY_HANDLE_FILE_INFORMATION to{};
  if (Identity(existing, from) && Identity(target, to) && from.dwVolumeSerialNumber == to.dwVolumeSerialNumber &&
      from.nFileIndexHigh == to.nFileIndexHigh && from.nFileIndexLow == to.nFileIndexLow) {
    return {};
  }
  const std::wstring fresh = target + L".link";
  ::DeleteFileW(fresh.c_str());
  if (!::CreateHardLinkW(fresh.c_str(), existing.c_str(), nullptr)) return LastError();
  if (!::MoveFileExW(fresh.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    const std::error_code error = LastError();
    ::DeleteFileW(fresh.c_str());
    return error;
  }
  return {};
}

bool HasOtherNames(const std::string& path) {
  BY_HANDLE_FILE_INFORMATION info{};
  return Identity(Widen(path), info) && (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         info.nNumberOfLinks > 1;
}

}  // namespace mtsrescue
