// FileIdentity on Windows: volume serial and file index through GetFileInformationByHandle.
#include "platform/FileIdentity.h"
#include "platform/Win32Text_win32.h"

namespace mtsrescue {

using win32::Widen;
namespace {

// A handle for queries only: no read or write access, every sharing allowed, folders too.
HANDLE OpenForQuery(const std::string& path, bool followLink) {
  const DWORD flags = FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT);
  return ::CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_EXISTING, flags, nullptr);
}

}  // namespace

PathKind KindOf(const std::string& path) {
  if (path.rfind("\\\\.\\", 0) == 0) {
    // Disks and volumes; "\\.\pipe\..." and the like are not.
    return path.rfind("\\\\.\\pipe\\", 0) == 0 ? PathKind::Other : PathKind::BlockDevice;
  }
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::Missing;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::Folder;
  // NUL, CON and pipes answer the attribute query too; the handle's type tells them apart.
  const HANDLE handle = OpenForQuery(path, true);
  if (handle == INVALID_HANDLE_VALUE) return PathKind::File;
  const DWORD type = ::GetFileType(handle);
  ::CloseHandle(handle);
  return type == FILE_TYPE_DISK ? PathKind::File : PathKind::Other;
}

std::optional<FileIdentity> IdentityOf(const std::string& path, bool followLink) {
  const HANDLE handle = OpenForQuery(path, followLink);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  if (!known) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

std::vector<FileIdentity> FilesBehindSource(const std::string& sourcePath) {
  std::vector<FileIdentity> files;
  if (const std::optional<FileIdentity> identity = IdentityOf(sourcePath, true)) files.push_back(*identity);
  return files;
}

bool FolderStoredInSource(const std::string& /*folder*/, const std::string& /*sourcePath*/) { return false; }

}  // namespace mtsrescue
