// ToCodePage936 on POSIX systems: none is offered here; Qt's ICU converter serves instead.
#include "platform/CodePage936.h"

namespace mtsrescue {

std::optional<std::string> ToCodePage936(const std::u16string&) { return std::nullopt; }

}  // namespace mtsrescue
