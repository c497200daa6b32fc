// Telling whether a destination folder shares a device with the source.
#include "source/DestinationCheck.h"

#include "platform/FileIdentity.h"

namespace mtsrescue {

bool DestinationOnSource(const std::string& destFolder, const std::string& sourcePath, const SourcePlatform& platform) {
  // A folder in a mounted image that is the image being recovered: its files go into the source.
  if (FolderStoredInSource(destFolder, sourcePath)) return true;
  DeviceQuery& query = platform.Query();
  const std::string native = query.NativeDevicePath(sourcePath);
  if (native.empty()) return false;
  const std::string sourceKey = query.DeviceKey(native);
  for (const std::string& device : query.DevicesHoldingFolder(destFolder))
    if (query.DeviceKey(device) == sourceKey) return true;
  return false;
}

}  // namespace mtsrescue
