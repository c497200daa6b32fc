// Helpers that the Win32 files of platform/ share: UTF-8 paths to the wide API, and the last error.
#pragma once

#include <algorithm>
#include <string>
#include <system_error>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace mtsrescue::win32 {

// Paths arrive as UTF-8; the wide API takes every name the system can hold.
inline std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int wideCount = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(std::max(wideCount, 0)), L'\0');
  if (wideCount > 0) {
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), wideCount);
  }
  return wide;
}

inline std::error_code LastError() {
  return std::error_code(static_cast<int>(::GetLastError()), std::system_category());
}

}  // namespace mtsrescue::win32
