// TUDisks2DeviceQuery: the system's disks and volumes, with the disks described by the desktop's
// disk service (UDisks2), so that the source menu lists them without the rights to open them.
#pragma once

#include "platform/DeviceQuery.h"
#include "ui/udisks2/UDisks2Client.h"

#include <chrono>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace mtsrescue {

class TUDisks2DeviceQuery final : public DeviceQuery {
 public:
  // fallback numbers the disks and answers every volume question, so that the window and the
  // command line's --list name each disk and volume alike; the service describes the disks it
  // knows, so that listing them needs no rights to open them. Everything is the fallback's while
  // the service is not there, and for the rest of the session once a listing went unanswered.
  TUDisks2DeviceQuery(TUDisks2Client client, std::shared_ptr<DeviceQuery> fallback);

  std::vector<int> DiskNumbers() override;
  std::optional<DiskDescription> DescribeDisk(int diskNumber) override;
  std::string NativeDevicePath(const std::string& path) override;
  std::optional<DiskGeometry> GetGeometry(ByteStream& device) override;
  std::optional<std::int64_t> GetDeviceLength(ByteStream& device) override;
  std::optional<VolumeInformation> GetVolumeInfo(const std::string& rootPath) override;
  std::optional<VolumeSpace> GetVolumeSpace(const std::string& rootPath) override;
  DriveKind GetDriveKind(const std::string& rootPath) override;
  std::optional<DiskExtent> GetFirstDiskExtent(const std::string& volumeDevicePath) override;
  std::string VolumeDisplayName(char letter) override;
  std::vector<std::string> DevicesHoldingFolder(const std::string& folder) override;
  std::string DeviceKey(const std::string& nativePath) override;

  // For the opener. True when nativePath came from NativeDevicePath for a disk or a volume.
  bool IsDeviceNode(const std::string& nativePath) const { return deviceNodes_.count(nativePath) != 0; }
  // The service's object for a device node; nothing when the service is not there or does not know it.
  std::optional<QString> ObjectFor(const std::string& nativePath);
  // Whether the service answered the latest listing, and why not.
  bool Available();
  std::string WhyUnavailable();
  const TUDisks2Client& Client() const { return client_; }

 private:
  const UDisks2Listing& Take();
  const UDisks2Block* BlockOf(const std::string& device);

  static constexpr std::chrono::milliseconds SnapshotLifetime{500};
  TUDisks2Client client_;
  std::shared_ptr<DeviceQuery> fallback_;
  std::unique_ptr<UDisks2Listing> snapshot_;
  std::chrono::steady_clock::time_point snapshotTime_;
  bool givenUp_ = false;  // a listing went unanswered: not asked again in this session
  std::set<std::string> deviceNodes_;
};

}  // namespace mtsrescue
