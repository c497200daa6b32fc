// Administrator rights on Windows: the process token is elevated.
#include "platform/ProcessRights.h"

#include <windows.h>

namespace mtsrescue {

bool HasAdministratorRights() noexcept {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  TOKEN_ELEVATION elevation{};
  DWORD size = 0;
  const BOOL ok = GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size);
  CloseHandle(token);
  return ok && elevation.TokenIsElevated != 0;
}

}  // namespace mtsrescue
