// Opening source paths through the device they name, with messages that say which device and why.
#include "source/SourcePlatform.h"

#include "platform/FileStream.h"
#include "platform/ProcessRights.h"

namespace mtsrescue {

SourcePlatform::SourcePlatform(std::shared_ptr<DeviceQuery> query, StreamOpener baseOpener)
    : query_(std::move(query)), baseOpener_(std::move(baseOpener)) {}

SourcePlatform SourcePlatform::System() {
  return SourcePlatform(std::shared_ptr<DeviceQuery>(MakeSystemDeviceQuery()), OpenFileStream);
}

std::unique_ptr<ByteStream> SourcePlatform::Open(const std::string& path, OpenMode mode) const {
  const std::string native = query_->NativeDevicePath(path);
  if (native.empty()) {
    const auto code = std::make_error_code(std::errc::no_such_device);
    throw StreamError("Cannot open file \"" + path + "\". No such disk or volume is present", code);
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
    std::string notes;
    if (native != path) notes = "device " + native;
    if (noRights) {
      const bool hasRights = hasRights_ ? hasRights_() : HasAdministratorRights();
      // A refusal despite the rights has another cause (in use, locked); asking for rights the
      // program already has would send the user the wrong way.
      notes += std::string(notes.empty() ? "" : "; ") +
               (hasRights ? "the system refused it although the program runs with administrator (root) rights"
                          : DeviceRightsText());
    }
    throw StreamError("Cannot open file \"" + path + "\". " + reason + " (" + notes + ")", code);
  }
}

StreamOpener SourcePlatform::Opener() const {
  SourcePlatform self = *this;
  return [self](const std::string& path, OpenMode mode) { return self.Open(path, mode); };
}

}  // namespace mtsrescue
