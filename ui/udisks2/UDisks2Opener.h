// TUDisks2Opener: opens disks and volumes for reading through UDisks2 (a read-only descriptor after
// the desktop's password prompt), directly where the service is not there or refuses.
#pragma once

#include "platform/ByteStream.h"
#include "platform/DescriptorStream.h"
#include "ui/udisks2/UDisks2DeviceQuery.h"

#include <memory>
#include <string>

namespace mtsrescue {

class TUDisks2Opener {
 public:
  // direct opens everything that is not a disk or volume for reading, and what the service will not.
  TUDisks2Opener(std::shared_ptr<TUDisks2DeviceQuery> devices, StreamOpener direct);

  // A StreamOpener over native paths. Device nodes that devices handed out, opened for reading,
  // go to the service first; the descriptor it hands over serves every later open of the same
  // device, so one run asks once; a device opened directly after a refusal is
  // opened directly again without asking. Writing modes and other paths open directly, untouched.
  // Throws StreamError "Cannot open file "<path>". <reason>; UDisks2 refused: <its reason>" (or
  // "UDisks2 is not available: ...") when neither way opens a device.
  std::unique_ptr<ByteStream> Open(const std::string& nativePath, OpenMode mode);

  // Which of the two ways opened the device of the latest open; empty when that was no device.
  const std::string& LastNote() const { return note_; }

 private:
  std::shared_ptr<TUDisks2DeviceQuery> devices_;
  StreamOpener direct_;
  std::string heldPath_;                    // the latest device opened, either way
  std::unique_ptr<DescriptorStream> held_;  // its descriptor, when the service opened it
  std::string heldNote_;
  std::string note_;
};

}  // namespace mtsrescue
