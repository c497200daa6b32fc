// Administrator rights on POSIX systems: the effective user is root.
#include "platform/ProcessRights.h"

#include <unistd.h>

namespace mtsrescue {

bool HasAdministratorRights() noexcept { return geteuid() == 0; }

}  // namespace mtsrescue
