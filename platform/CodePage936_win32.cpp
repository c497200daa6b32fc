// ToCodePage936 on Windows: WideCharToMultiByte with code page 936, whatever the ANSI code page.
#include "platform/CodePage936.h"

#include <windows.h>

namespace mtsrescue {

std::optional<std::string> ToCodePage936(const std::u16string& text) {
  // Code page 936 holds no character beyond the BMP: each surrogate (pair or lone) is made one
  // "?" first, so that the result does not hang on how the system counts a pair.
  std::wstring wide;
  wide.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDFFF) {
      if (unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) ++i;
      wide.push_back(L'?');
    } else {
      wide.push_back(static_cast<wchar_t>(unit));
    }
  }
  if (wide.empty()) return std::string();
  const int length = static_cast<int>(wide.size());
  const int bytes = WideCharToMultiByte(936, 0, wide.data(), length, nullptr, 0, "?", nullptr);
  if (bytes <= 0) return std::nullopt;  // code page 936 is not installed
  std::string out(static_cast<std::size_t>(bytes), '\0');
  WideCharToMultiByte(936, 0, wide.data(), length, out.data(), bytes, "?", nullptr);
  return out;
}

}  // namespace mtsrescue
