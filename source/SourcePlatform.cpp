// Opening source paths through the device they name, with messages that say which device and why.
#include "source/SourcePlatform.h"

#include "source/DevicePaths.h"

#include "platform/FileStream.h"
#include "platform/ProcessRights.h"

namespace mtsrescue {

namespace {

// "\\.\PhysicalDrive1" as the menu and the command line name it: "PhysicalDrive1", "E:".
std::string MenuName(const std::string& devicePath) {
  return devicePath.rfind(DevicePrefix, 0) == 0 ? devicePath.substr(DevicePrefix.size()) : devicePath;
}

}  // namespace

SourcePlatform::SourcePlatform(std::shared_ptr<DeviceQuery> query, StreamOpener baseOpener)
    : query_(std::move(query)), baseOpener_(std::move(baseOpener)) {}

SourcePlatform SourcePlatform::System() {
  return SourcePlatform(std::shared_ptr<DeviceQuery>(MakeSystemDeviceQuery()), OpenFileStream);
}

std::unique_ptr<ByteStream> SourcePlatform::Open(const std::string& path, OpenMode mode) const {
  const std::string native = query_->NativeDevicePath(path);
  if (native.empty()) {
    const auto code = std::make_error_code(std::errc::no_such_device);
    throw StreamError("Cannot open file \"" + MenuName(path) + "\". No such disk or volume is present", code, MenuName(path));
  }
  try {
    return baseOpener_(native, mode);
  } catch (const StreamError& e) {
    const std::error_code code = e.Code();
    const bool noRights = code == std::errc::permission_denied || code == std::errc::operation_not_permitted;
    // Output files keep their own message; only sources are worth the extra words.
    if (mode == OpenMode::Create || (native == path && !noRights)) throw;
    // The opener's own reason when it gives one (how it tried), else the system's text.
    const std::string own = e.what();
    const std::string head = "Cannot open file \"" + native + "\". ";
    std::string reason = own.rfind(head, 0) == 0 && own.size() > head.size() ? own.substr(head.size()) : SystemErrorText(code);
    // Named as the system names it (/dev/sdb on Linux), with the menu's name beside it.
    std::string notes;
    if (native != path) notes = MenuName(path);
    if (noRights) {
      const bool hasRights = hasRights_ ? hasRights_() : HasAdministratorRights();
      // A refusal despite the rights has another cause (in use, locked); asking for rights the
      // program already has would send the user the wrong way.
      notes += std::string(notes.empty() ? "" : "; ") +
               (hasRights ? "the system refused it although the program runs with administrator (root) rights"
                          : DeviceRightsText());
    }
    throw StreamError("Cannot open file \"" + native + "\". " + reason + " (" + notes + ")", code, native);
  }
}

StreamOpener SourcePlatform::Opener() const {
  SourcePlatform self = *this;
  return [self](const std::string& path, OpenMode mode) { return self.Open(path, mode); };
}

}  // namespace mtsrescue
