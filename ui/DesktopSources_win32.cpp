// Disks and volumes for the window on Windows: opened directly (the manifest asks for the rights).
#include "ui/DesktopSources.h"

#include "platform/FileStream.h"

namespace mtsrescue {

DesktopSources MakeDesktopSources() {
  DesktopSources sources;
  sources.Devices = std::shared_ptr<DeviceQuery>(MakeSystemDeviceQuery());
  sources.Opener = OpenFileStream;
  sources.LastOpenNote = [] { return std::string(); };
  return sources;
}

}  // namespace mtsrescue
