// ToCodePage936: text in GBK (code page 936) by the system's own conversion, for where the
// toolkit has none (Qt without ICU on Windows).
#pragma once

#include <optional>
#include <string>

namespace mtsrescue {

// The code-page-936 bytes of text (UTF-16); a character that code page cannot hold, a surrogate
// pair included, becomes one "?". Empty where the system offers no such conversion.
std::optional<std::string> ToCodePage936(const std::u16string& text);

}  // namespace mtsrescue
