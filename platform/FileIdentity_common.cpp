// FileIdentity: what both systems share.
#include "platform/FileIdentity.h"

#include <algorithm>

namespace mtsrescue {

bool LeadsToAnyOf(const std::string& path, const std::vector<FileIdentity>& files) {
  for (const bool followLink : {true, false}) {
    const std::optional<FileIdentity> identity = IdentityOf(path, followLink);
    if (identity && std::find(files.begin(), files.end(), *identity) != files.end()) return true;
  }
  return false;
}

}  // namespace mtsrescue
