// The system as source access sees it: device queries, and an opener that understands device paths.
#pragma once

#include "platform/ByteStream.h"
#include "platform/DeviceQuery.h"

#include <functional>
#include <memory>
#include <string>

namespace mtsrescue {

class SourcePlatform {
 public:
  // baseOpener opens native paths (FileStream::Open in the program, fakes in tests).
  SourcePlatform(std::shared_ptr<DeviceQuery> query, StreamOpener baseOpener);
  // The running system: its device queries and its file streams.
  static SourcePlatform System();

  DeviceQuery& Query() const { return *query_; }

  // Opens a source path: device paths ("\\.\PhysicalDrive1", "\\.\E:") through the device they
  // name, other paths as they are. Throws StreamError "Cannot open file "<path>". <reason>", where
  // the reason names the device node when it differs from the path, and for a refusal says
  // whether rights are missing or the system refused although the program has them.
  std::unique_ptr<ByteStream> Open(const std::string& path, OpenMode mode) const;
  // Whether the program runs with administrator rights; HasAdministratorRights unless a test
  // says otherwise.
  void SetRightsCheck(std::function<bool()> hasRights) { hasRights_ = std::move(hasRights); }
  // Open as a StreamOpener, for the engine; it shares this platform's query.
  StreamOpener Opener() const;

 private:
  std::shared_ptr<DeviceQuery> query_;
  StreamOpener baseOpener_;
  std::function<bool()> hasRights_;
};

}  // namespace mtsrescue
