// TUDisks2Opener: the service first for devices, the direct open after it, and a note of which.
#include "ui/udisks2/UDisks2Opener.h"

#include "platform/FileStream.h"

namespace mtsrescue {

TUDisks2Opener::TUDisks2Opener(std::shared_ptr<TUDisks2DeviceQuery> devices, StreamOpener direct)
    : devices_(std::move(devices)), direct_(std::move(direct)) {}

std::unique_ptr<ByteStream> TUDisks2Opener::Open(const std::string& nativePath, OpenMode mode) {
  note_.clear();
  const bool reading = mode == OpenMode::ReadShared || mode == OpenMode::ReadSharedScattered;
  // Never ask the service for more than reading; output files are no business of it.
  if (!reading || !devices_->IsDeviceNode(nativePath)) return direct_(nativePath, mode);

  const std::optional<QString> object = devices_->ObjectFor(nativePath);
  if (held_ && heldPath_ == nativePath && object) {
    note_ = "已通过 UDisks2 以只读方式打开 " + nativePath;
    return held_->Share();
  }
  // The service refused or was not there, and the direct way worked: the run's own opens of
  // the same device go the same way, without asking the service (and its prompt) again.
  if (!held_ && heldPath_ == nativePath) {
    std::unique_ptr<ByteStream> stream = direct_(nativePath, mode);
    note_ = heldNote_;
    return stream;
  }
  held_.reset();
  heldPath_.clear();

  bool absent = true;
  std::string whyNot;
  if (!devices_->Available()) {
    whyNot = devices_->WhyUnavailable();
  } else if (!object) {
    whyNot = "it does not know " + nativePath;
  } else {
    UDisks2Open opened = devices_->Client().OpenForBackup(*object, nativePath);
    if (opened.Stream) {
      held_ = std::move(opened.Stream);
      heldPath_ = nativePath;
      note_ = "已通过 UDisks2 以只读方式打开 " + nativePath;
      return held_->Share();
    }
    absent = opened.Absent;
    whyNot = opened.WhyNot;
  }
  const std::string how = absent ? "UDisks2 is not available: " : "UDisks2 refused: ";
  try {
    std::unique_ptr<ByteStream> stream = direct_(nativePath, mode);
    note_ = (absent ? "UDisks2 不可用（" : "UDisks2 拒绝打开（") + whyNot + "），已直接打开 " + nativePath;
    heldPath_ = nativePath;
    heldNote_ = note_;
    return stream;
  } catch (const StreamError& e) {
    const std::error_code code = e.Code();
    throw StreamError("Cannot open file \"" + nativePath + "\". " + SystemErrorText(code) + "; " + how + whyNot, code,
                      nativePath);
  }
}

}  // namespace mtsrescue
