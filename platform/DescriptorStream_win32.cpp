// DescriptorStream over Win32 handles: a read-only copy, read at each stream's own offset.
#include "platform/DescriptorStream.h"
#include "platform/Win32Text_win32.h"

#include <algorithm>

#include <winioctl.h>

namespace mtsrescue {

using win32::LastError;

namespace {

constexpr std::int64_t MaxCallBytes = std::int64_t{1} << 30;

}  // namespace

struct DescriptorStream::Owner {
  explicit Owner(HANDLE handle) : Handle(handle) {}
  ~Owner() { ::CloseHandle(Handle); }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  HANDLE Handle;
};

std::unique_ptr<DescriptorStream> DescriptorStream::CopyOf(NativeHandle handle, const std::string& path) {
  HANDLE copy = nullptr;
  // Read access alone, whatever the original may do: nothing can be written through the copy.
  if (!::DuplicateHandle(::GetCurrentProcess(), reinterpret_cast<HANDLE>(handle), ::GetCurrentProcess(), &copy,
                         GENERIC_READ, FALSE, 0)) {
    const std::error_code code = LastError();
    throw StreamError("Cannot open file \"" + path + "\". " + SystemErrorText(code), code);
  }
  return std::unique_ptr<DescriptorStream>(new DescriptorStream(std::make_shared<Owner>(copy), path));
}

std::unique_ptr<DescriptorStream> DescriptorStream::Share() const {
  return std::unique_ptr<DescriptorStream>(new DescriptorStream(owner_, path_));
}

NativeHandle DescriptorStream::Handle() const noexcept { return reinterpret_cast<NativeHandle>(owner_->Handle); }

std::error_code DescriptorStream::Seek(std::int64_t offset) {
  if (offset < 0) return std::make_error_code(std::errc::invalid_argument);
  positionBytes_ = offset;
  return {};
}

std::int64_t DescriptorStream::Size() {
  LARGE_INTEGER size{};
  if (::GetFileSizeEx(owner_->Handle, &size)) return size.QuadPart;
  GET_LENGTH_INFORMATION length{};
  DWORD returned = 0;
  if (::DeviceIoControl(owner_->Handle, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &length, sizeof length, &returned,
                        nullptr)) {
    return length.Length.QuadPart;
  }
  return -1;
}

IoResult DescriptorStream::Read(void* buffer, std::int64_t count) {
  IoResult result;
  auto* bytes = static_cast<char*>(buffer);
  while (result.Bytes < count) {
    const auto want = static_cast<DWORD>(std::min(count - result.Bytes, MaxCallBytes));
    // The offset in OVERLAPPED makes the read positional on a synchronous handle.
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(positionBytes_ & 0xffffffff);
    at.OffsetHigh = static_cast<DWORD>(positionBytes_ >> 32);
    DWORD got = 0;
    if (!::ReadFile(owner_->Handle, bytes + result.Bytes, want, &got, &at)) {
      if (::GetLastError() == ERROR_HANDLE_EOF) break;
      result.Error = LastError();
      break;
    }
    if (got == 0) break;
    result.Bytes += got;
    positionBytes_ += got;
  }
  return result;
}

IoResult DescriptorStream::Write(const void*, std::int64_t) {
  return {0, std::make_error_code(std::errc::bad_file_descriptor)};
}

}  // namespace mtsrescue
