// Disks and volumes for the window on Linux: through UDisks2, so that no root rights are needed.
#include "ui/DesktopSources.h"

#include "platform/FileStream.h"
#include "ui/udisks2/UDisks2DeviceQuery.h"
#include "ui/udisks2/UDisks2Opener.h"

namespace mtsrescue {

DesktopSources MakeDesktopSources() {
  auto devices = std::make_shared<TUDisks2DeviceQuery>(TUDisks2Client::System(),
                                                       std::shared_ptr<DeviceQuery>(MakeSystemDeviceQuery()));
  auto opener = std::make_shared<TUDisks2Opener>(devices, OpenFileStream);
  DesktopSources sources;
  sources.Devices = devices;
  sources.Opener = [opener](const std::string& path, OpenMode mode) { return opener->Open(path, mode); };
  sources.LastOpenNote = [opener] { return opener->LastNote(); };
  return sources;
}

}  // namespace mtsrescue
