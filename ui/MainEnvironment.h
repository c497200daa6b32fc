// TMainEnvironment: what the main window takes from outside (clock, executable path, boxes, links,
// streams), so that tests can put controllable stand-ins in its place.
#pragma once

#include "platform/ByteStream.h"
#include "platform/DeviceQuery.h"
#include "ui/SelectSavePath.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace mtsrescue {

class TMessageBoxes;

struct TMainEnvironment {
  // The millisecond tick count read twice by the skin choice; empty: the system's TickCount.
  std::function<std::uint32_t()> TickSource;
  // The running executable's full path; empty: the application's own.
  QString ExecutablePath;
  // The modal boxes, not owned; null: real message boxes.
  TMessageBoxes* Boxes = nullptr;
  // Opens a web address; empty: the user's default browser, and a box with the address to copy
  // when no browser takes it.
  std::function<void(const QString& url)> OpenLink;
  // Opens sources and output files; empty: OpenFileStream.
  StreamOpener Opener;
  // The folder dialog of SaveBtn; empty: the real one.
  FolderDialog ChooseFolder;
  // Opens a file of the list with its default program, false when it could not; empty: the system's.
  std::function<bool(const QString& path)> OpenFile;
  // Disks and volumes for the source menu; null: the system's.
  std::shared_ptr<DeviceQuery> Devices;
  // How the device of the latest open was opened (through the desktop's disk service or
  // directly), shown when a source is chosen; empty: nothing to tell.
  std::function<std::string()> SourceOpenNote;
};

}  // namespace mtsrescue
