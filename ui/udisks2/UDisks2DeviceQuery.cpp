// TUDisks2DeviceQuery: the system's disks and volumes, with the disks described by UDisks2 where it knows them.
#include "ui/udisks2/UDisks2DeviceQuery.h"

#include "source/DevicePaths.h"

#include <algorithm>
#include <cctype>

namespace mtsrescue {
namespace {

std::string BusText(const std::string& bus) {
  if (bus == "ieee1394") return "FireWire";
  std::string text = bus;
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

}  // namespace

TUDisks2DeviceQuery::TUDisks2DeviceQuery(TUDisks2Client client, std::shared_ptr<DeviceQuery> fallback)
    : client_(std::move(client)), fallback_(std::move(fallback)) {}

// One menu build asks many questions within milliseconds; they share one listing, and a listing
// older than SnapshotLifetime is never used. A service that did not answer once is not asked
// again: each unanswered listing would hold the window up for a second.
const UDisks2Listing& TUDisks2DeviceQuery::Take() {
  const auto now = std::chrono::steady_clock::now();
  if (snapshot_ && (givenUp_ || now - snapshotTime_ <= SnapshotLifetime)) return *snapshot_;
  snapshot_ = std::make_unique<UDisks2Listing>(client_.ListBlocks());
  snapshotTime_ = now;
  if (!snapshot_->Available) {
    givenUp_ = true;
    snapshot_->WhyNot += snapshot_->WhyNot.empty() ? "not asked again" : "; not asked again";
  }
  return *snapshot_;
}

bool TUDisks2DeviceQuery::Available() { return Take().Available; }
std::string TUDisks2DeviceQuery::WhyUnavailable() { return Take().WhyNot; }

const UDisks2Block* TUDisks2DeviceQuery::BlockOf(const std::string& device) {
  if (device.empty() || !Available()) return nullptr;
  for (const UDisks2Block& b : Take().Blocks)
    if (b.Device == device) return &b;
  return nullptr;
}

std::vector<int> TUDisks2DeviceQuery::DiskNumbers() { return fallback_->DiskNumbers(); }

std::optional<DiskDescription> TUDisks2DeviceQuery::DescribeDisk(int diskNumber) {
  const UDisks2Block* b = BlockOf(fallback_->NativeDevicePath(DiskDevicePath(diskNumber)));
  // A disk the service does not know is opened to be described, as without the service.
  if (!b) return fallback_->DescribeDisk(diskNumber);
  DiskDescription d;
  d.MediaType = b->Removable ? media_type::RemovableMedia : media_type::FixedMedia;
  // A reader without its card has no length and nothing to recover.
  d.LengthBytes = b->HintIgnore ? 0 : b->SizeBytes;
  std::string model = b->Vendor;
  if (!b->Model.empty()) model += (model.empty() ? "" : " ") + b->Model;
  if (!b->ConnectionBus.empty()) model += (model.empty() ? "" : ", ") + BusText(b->ConnectionBus);
  d.Model = model;
  return d;
}

std::string TUDisks2DeviceQuery::NativeDevicePath(const std::string& path) {
  const std::string native = fallback_->NativeDevicePath(path);
  if (path.rfind(DevicePrefix, 0) == 0 && !native.empty()) deviceNodes_.insert(native);
  return native;
}

std::optional<QString> TUDisks2DeviceQuery::ObjectFor(const std::string& nativePath) {
  const UDisks2Block* b = BlockOf(nativePath);
  return b ? std::optional<QString>(b->ObjectPath) : std::nullopt;
}

std::optional<DiskGeometry> TUDisks2DeviceQuery::GetGeometry(ByteStream& device) { return fallback_->GetGeometry(device); }

std::optional<std::int64_t> TUDisks2DeviceQuery::GetDeviceLength(ByteStream& device) {
  if (const auto length = fallback_->GetDeviceLength(device)) return length;
  const std::int64_t size = device.Size();
  return size > 0 ? std::optional<std::int64_t>(size) : std::nullopt;
}

std::optional<VolumeInformation> TUDisks2DeviceQuery::GetVolumeInfo(const std::string& rootPath) {
  return fallback_->GetVolumeInfo(rootPath);
}

std::optional<VolumeSpace> TUDisks2DeviceQuery::GetVolumeSpace(const std::string& rootPath) {
  return fallback_->GetVolumeSpace(rootPath);
}

DriveKind TUDisks2DeviceQuery::GetDriveKind(const std::string& rootPath) { return fallback_->GetDriveKind(rootPath); }

std::optional<DiskExtent> TUDisks2DeviceQuery::GetFirstDiskExtent(const std::string& volumeDevicePath) {
  return fallback_->GetFirstDiskExtent(volumeDevicePath);
}

std::string TUDisks2DeviceQuery::VolumeDisplayName(char letter) { return fallback_->VolumeDisplayName(letter); }

std::vector<std::string> TUDisks2DeviceQuery::DevicesHoldingFolder(const std::string& folder) {
  return fallback_->DevicesHoldingFolder(folder);
}

std::string TUDisks2DeviceQuery::DeviceKey(const std::string& nativePath) { return fallback_->DeviceKey(nativePath); }

}  // namespace mtsrescue
