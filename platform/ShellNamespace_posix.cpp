// The folder namespace on POSIX systems: one tree under "/", nothing above it.
#include "platform/ShellNamespace.h"

namespace mtsrescue {

bool HasDriveOverview() { return false; }

}  // namespace mtsrescue
