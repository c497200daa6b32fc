// Whether this process runs with the rights that opening raw disks and volumes takes.
#pragma once

namespace mtsrescue {

// True when the process runs elevated (Windows) or as root (elsewhere). A device that refuses
// such a process refuses for a reason of its own (in use, locked, write-protected media policy).
bool HasAdministratorRights() noexcept;

}  // namespace mtsrescue
