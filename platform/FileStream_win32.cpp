// FileStream over Win32 handles: files, physical disks and volumes, with share modes and 64-bit offsets.
#include "platform/FileStream.h"
#include "platform/Win32Text_win32.h"

#include <algorithm>
#include <climits>

#include <winioctl.h>

namespace mtsrescue {

using win32::Widen;
using win32::LastError;

namespace {

// One ReadFile or WriteFile call moves at most this much (a DWORD count); larger requests loop.
constexpr std::int64_t MaxCallBytes = std::int64_t{1} << 30;

HANDLE AsHandle(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

std::string Narrow(const wchar_t* wide, int wideCount) {
  if (wideCount <= 0) {
    return std::string();
  }
  const int count = ::WideCharToMultiByte(CP_UTF8, 0, wide, wideCount, nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(std::max(count, 0)), '\0');
  if (count > 0) {
    ::WideCharToMultiByte(CP_UTF8, 0, wide, wideCount, text.data(), count, nullptr, nullptr);
  }
  return text;
}

struct ModeFlags {
  DWORD Access;
  DWORD Share;
  DWORD Disposition;
};

ModeFlags FlagsOf(OpenMode mode) {
  switch (mode) {
    case OpenMode::ReadShared:
    case OpenMode::ReadSharedScattered:
      // A recovered file whose picture is being made can still be renamed or deleted.
      return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING};
    case OpenMode::ReadWriteShared:
      return {GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING};
    case OpenMode::ReadWriteExclusive:
      return {GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING};
    case OpenMode::Create:
      return {GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS};
    case OpenMode::CreateNew:
      return {GENERIC_READ | GENERIC_WRITE, 0, CREATE_NEW};
  }
  return {GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, OPEN_EXISTING};
}

}  // namespace

std::unique_ptr<FileStream> FileStream::Open(const std::string& path, OpenMode mode) {
  const ModeFlags flags = FlagsOf(mode);
  // Sources are read front to back; the hint lets the cache read ahead further.
  // Scattered short reads ask it not to.
  const DWORD attributes = FILE_ATTRIBUTE_NORMAL | (mode == OpenMode::ReadShared ? FILE_FLAG_SEQUENTIAL_SCAN : 0) |
                           (mode == OpenMode::ReadSharedScattered ? FILE_FLAG_RANDOM_ACCESS : 0);
  const HANDLE handle = ::CreateFileW(Widen(path).c_str(), flags.Access, flags.Share, nullptr, flags.Disposition,
                                      attributes, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const std::error_code code = LastError();
    const bool creating = mode == OpenMode::Create || mode == OpenMode::CreateNew;
    const char* verb = creating ? "Cannot create file \"" : "Cannot open file \"";
    throw StreamError(verb + path + "\". " + SystemErrorText(code), code, path);
  }
  const bool readOnly = mode == OpenMode::ReadShared || mode == OpenMode::ReadSharedScattered;
  if (readOnly && path.rfind("\\\\.\\", 0) == 0) {
    // A volume's length is its device's, so reads must reach past the file system's end, which
    // Windows refuses on a volume handle unless asked. Disks and files refuse the code; no harm.
    DWORD returned = 0;
    ::DeviceIoControl(handle, FSCTL_ALLOW_EXTENDED_DASD_IO, nullptr, 0, nullptr, 0, &returned, nullptr);
  }
  return std::unique_ptr<FileStream>(new FileStream(reinterpret_cast<NativeHandle>(handle), path));
}

FileStream::~FileStream() {
  if (AsHandle(handle_) != INVALID_HANDLE_VALUE) {
    ::CloseHandle(AsHandle(handle_));
  }
}

std::error_code FileStream::Seek(std::int64_t offset) {
  if (offset < 0) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  LARGE_INTEGER distance;
  distance.QuadPart = offset;
  if (!::SetFilePointerEx(AsHandle(handle_), distance, nullptr, FILE_BEGIN)) {
    return LastError();
  }
  return {};
}

std::int64_t FileStream::Size() {
  // Disks and volumes answer the length query; files do not, and take the file size instead.
  GET_LENGTH_INFORMATION lengthInfo{};
  DWORD returned = 0;
  if (::DeviceIoControl(AsHandle(handle_), IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &lengthInfo,
                        sizeof(lengthInfo), &returned, nullptr)) {
    return static_cast<std::int64_t>(lengthInfo.Length.QuadPart);
  }
  LARGE_INTEGER fileSize;
  if (::GetFileSizeEx(AsHandle(handle_), &fileSize)) {
    return static_cast<std::int64_t>(fileSize.QuadPart);
  }
  return -1;
}

IoResult FileStream::Read(void* buffer, std::int64_t count) {
  IoResult result;
  auto* bytes = static_cast<char*>(buffer);
  while (result.Bytes < count) {
    const auto want = static_cast<DWORD>(std::min(count - result.Bytes, MaxCallBytes));
    DWORD got = 0;
    if (!::ReadFile(AsHandle(handle_), bytes + result.Bytes, want, &got, nullptr)) {
      const DWORD error = ::GetLastError();
      result.Bytes += got;
      if (error != ERROR_HANDLE_EOF) {
        result.Error = std::error_code(static_cast<int>(error), std::system_category());
      }
      break;
    }
    if (got == 0) {
      break;  // end of file
    }
    result.Bytes += got;
  }
  return result;
}

IoResult FileStream::Write(const void* buffer, std::int64_t count) {
  IoResult result;
  const auto* bytes = static_cast<const char*>(buffer);
  while (result.Bytes < count) {
    const auto want = static_cast<DWORD>(std::min(count - result.Bytes, MaxCallBytes));
    DWORD put = 0;
    if (!::WriteFile(AsHandle(handle_), bytes + result.Bytes, want, &put, nullptr)) {
      result.Bytes += put;
      result.Error = LastError();
      break;
    }
    if (put == 0) {
      // No progress and no error: treat it as a full disk rather than spin.
      result.Error = std::error_code(ERROR_DISK_FULL, std::system_category());
      break;
    }
    result.Bytes += put;
  }
  return result;
}

std::error_code FileStream::Flush() {
  if (!::FlushFileBuffers(AsHandle(handle_))) {
    const DWORD error = ::GetLastError();
    // Handles opened for reading only cannot be flushed; nothing of theirs is waiting.
    if (error != ERROR_ACCESS_DENIED && error != ERROR_INVALID_HANDLE) {
      return std::error_code(static_cast<int>(error), std::system_category());
    }
  }
  return {};
}

std::error_code FileStream::CloseAs(const std::string& finalPath) {
  // Windows renames only a file nobody holds open without delete sharing: close it first.
  ::CloseHandle(AsHandle(handle_));
  handle_ = reinterpret_cast<NativeHandle>(INVALID_HANDLE_VALUE);
  if (!::MoveFileExW(Widen(path_).c_str(), Widen(finalPath).c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return LastError();
  }
  path_ = finalPath;
  return {};
}

std::error_code FileStream::CloseAndRemove() {
  ::CloseHandle(AsHandle(handle_));
  handle_ = reinterpret_cast<NativeHandle>(INVALID_HANDLE_VALUE);
  if (!::DeleteFileW(Widen(path_).c_str())) return LastError();
  return {};
}

std::unique_ptr<ByteStream> OpenFileStream(const std::string& path, OpenMode mode) {
  return FileStream::Open(path, mode);
}

std::string SystemErrorText(std::error_code code) {
  if (code.category() != std::system_category()) {
    return code.message();
  }
  wchar_t* wide = nullptr;
  const DWORD wideCount = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(code.value()), 0, reinterpret_cast<wchar_t*>(&wide), 0, nullptr);
  std::string text;
  if (wideCount > 0 && wide != nullptr) {
    text = Narrow(wide, static_cast<int>(wideCount));
  }
  if (wide != nullptr) {
    ::LocalFree(wide);
  }
  // The system's texts end with a line break; the sentence's own full stop stays.
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.pop_back();
  }
  if (text.empty()) {
    text = "System error " + std::to_string(code.value()) + ".";
  }
  return text;
}

bool SameFile(const std::string& firstPath, const std::string& secondPath) {
  // Opened for no access at all, so neither file is disturbed; the volume serial and file index
  // tell one file from another whatever path leads to it.
  const auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
    const HANDLE handle = ::CreateFileW(Widen(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      return false;
    }
    const bool known = ::GetFileInformationByHandle(handle, &info) != 0;
    ::CloseHandle(handle);
    return known;
  };
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return identify(firstPath, first) && identify(secondPath, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

std::string DeviceRightsText() { return "reading disks and volumes needs administrator rights"; }

char PathSeparator() noexcept { return '\\'; }

}  // namespace mtsrescue
