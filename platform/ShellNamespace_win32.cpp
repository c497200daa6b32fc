// The folder namespace on Windows: each drive root sits under the computer's overview of drives.
#include "platform/ShellNamespace.h"

namespace mtsrescue {

bool HasDriveOverview() { return true; }

}  // namespace mtsrescue
