// TUDisks2DeviceQuery: disks and volumes as the desktop's disk service (UDisks2) knows them, so that
// the source menu lists them without the rights to open them; the system's own queries stand in
// while the service is not there.
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
  // fallback answers everything while the service is not there, and always what it does not
  // tell: device lengths and geometry, the devices under a folder, device keys.
  TUDisks2DeviceQuery(TUDisks2Client client, std::shared_ptr<DeviceQuery> fallback);

  // Disks: whole block devices holding a medium, by device name ("sda" before "sdb", "loop2"
  // before "loop10"). Volumes: mounted file systems by mount point, as letters C to Z.
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
  struct Snapshot {
    UDisks2Listing Listing;
    std::vector<std::size_t> Disks;    // indices into Listing.Blocks, by disk number
    std::vector<std::size_t> Volumes;  // indices into Listing.Blocks, index 0 = letter C
  };
  const Snapshot& Take();
  const UDisks2Block* DiskBlock(int diskNumber);
  const UDisks2Block* VolumeBlock(char letter);
  int DiskNumberOf(const QString& objectPath);

  static constexpr std::chrono::milliseconds SnapshotLifetime{500};
  TUDisks2Client client_;
  std::shared_ptr<DeviceQuery> fallback_;
  std::unique_ptr<Snapshot> snapshot_;
  std::chrono::steady_clock::time_point snapshotTime_;
  std::set<std::string> deviceNodes_;
};

}  // namespace mtsrescue
