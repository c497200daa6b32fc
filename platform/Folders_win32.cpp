// Folders on Windows: CreateDirectoryW one level at a time, GetFileAttributesW, DeleteFileW,
// FindFirstFileW, GetDiskFreeSpaceExW.
#include "platform/Folders.h"

#include <windows.h>

namespace mtsrescue {
namespace {

std::wstring Wide(const std::string& text) {
  int count = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(count), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), count);
  return out;
}

std::string Narrow(const wchar_t* wide) {
  const int count = WideCharToMultiByte(CP_UTF8, 0, wide, -1, nullptr, 0, nullptr, nullptr);
  if (count <= 1) return std::string();
  std::string out(static_cast<std::size_t>(count - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, -1, out.data(), count, nullptr, nullptr);
  return out;
}

std::error_code LastError() { return {static_cast<int>(GetLastError()), std::system_category()}; }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

std::error_code CreateFolderTree(const std::string& path) {
  if (path.empty()) return std::make_error_code(std::errc::invalid_argument);
  if (IsFolder(path)) return {};
  // "\\server\share" cannot be created: start past its share name.
  std::size_t first = 1;
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    int separators = 0;
    for (first = 2; first < path.size() && separators < 2; ++first) {
      if (IsSeparator(path[first])) ++separators;
    }
  }
  for (std::size_t end = first; end <= path.size(); ++end) {
    if (end != path.size() && !IsSeparator(path[end])) continue;
    std::string prefix = path.substr(0, end);
    // Skip drive roots ("C:") and the empty steps of "\\server\share" and doubled separators.
    if (IsSeparator(prefix.back()) || prefix.back() == ':') continue;
    if (!CreateDirectoryW(Wide(prefix).c_str(), nullptr)) {
      DWORD error = GetLastError();
      if (error != ERROR_ALREADY_EXISTS && error != ERROR_ACCESS_DENIED) {
        return {static_cast<int>(error), std::system_category()};
      }
      // A share or drive root answers "access denied" although it exists.
      if (!IsFolder(prefix)) {
        return {static_cast<int>(error == ERROR_ALREADY_EXISTS ? ERROR_DIRECTORY : error),
                std::system_category()};
      }
    }
  }
  return {};
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::error_code RemoveFile(const std::string& path) {
  if (!DeleteFileW(Wide(path).c_str())) return LastError();
  return {};
}

std::vector<std::string> FolderNames(const std::string& path) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found{};
  const HANDLE search = FindFirstFileW(Wide(path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    const std::string name = Narrow(found.cFileName);
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileW(search, &found));
  FindClose(search);
  return names;
}

std::int64_t FreeBytesAt(const std::string& path) {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(Wide(path).c_str(), &available, nullptr, nullptr)) return -1;
  return static_cast<std::int64_t>(available.QuadPart);
}

}  // namespace mtsrescue
