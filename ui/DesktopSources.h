// How the window reaches disks and volumes on this system: the queries behind the source menu and
// the opener of sources, with a note of how the latest device was opened.
#pragma once

#include "platform/ByteStream.h"
#include "platform/DeviceQuery.h"

#include <functional>
#include <memory>
#include <string>

namespace mtsrescue {

struct DesktopSources {
  std::shared_ptr<DeviceQuery> Devices;
  StreamOpener Opener;
  // How the device of the latest open was opened (through the disk service or directly); empty
  // when the latest open was no device or there is nothing to tell.
  std::function<std::string()> LastOpenNote;
};

// Linux: UDisks2 where it runs, the direct way where it does not. Windows: the direct way.
DesktopSources MakeDesktopSources();

}  // namespace mtsrescue
