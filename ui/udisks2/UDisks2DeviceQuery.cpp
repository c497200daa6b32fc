// TUDisks2DeviceQuery: the source menu's questions answered from UDisks2's block devices and drives.
#include "ui/udisks2/UDisks2DeviceQuery.h"

#include "platform/NaturalOrder.h"

#include <QStorageInfo>

#include <algorithm>
#include <cctype>

namespace mtsrescue {
namespace {

constexpr std::size_t MaxVolumes = 24;  // letters C to Z

std::string BusText(const std::string& bus) {
  if (bus == "ieee1394") return "FireWire";
  std::string text = bus;
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

// FAT and exFAT identifiers ("1A2B-3C4D") are the volume serial; NTFS ones (16 digits) hold it in their low half.
std::uint32_t SerialFromUuid(const std::string& uuid) {
  std::string hex;
  if (uuid.size() == 9 && uuid[4] == '-') hex = uuid.substr(0, 4) + uuid.substr(5);
  else if (uuid.size() == 16) hex = uuid.substr(8);
  if (hex.size() != 8 || !std::all_of(hex.begin(), hex.end(), [](unsigned char c) { return std::isxdigit(c) != 0; })) return 0;
  return static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
}

char LetterOf(const std::string& rootPath) { return rootPath.size() >= 2 && rootPath[1] == ':' ? rootPath[0] : '\0'; }

}  // namespace

TUDisks2DeviceQuery::TUDisks2DeviceQuery(TUDisks2Client client, std::shared_ptr<DeviceQuery> fallback)
    : client_(std::move(client)), fallback_(std::move(fallback)) {}

// One menu build asks many questions within milliseconds; they share one listing, and a listing
// older than SnapshotLifetime is never used.
const TUDisks2DeviceQuery::Snapshot& TUDisks2DeviceQuery::Take() {
  const auto now = std::chrono::steady_clock::now();
  if (snapshot_ && now - snapshotTime_ <= SnapshotLifetime) return *snapshot_;
  auto s = std::make_unique<Snapshot>();
  s->Listing = client_.ListBlocks();
  const std::vector<UDisks2Block>& blocks = s->Listing.Blocks;
  for (std::size_t i = 0; i < blocks.size(); ++i) {
    const UDisks2Block& b = blocks[i];
    // A reader without its card has no length and nothing to recover.
    if (!b.IsPartition && !b.HintIgnore && b.SizeBytes > 0 && !b.Device.empty()) s->Disks.push_back(i);
    if (b.IdUsage == "filesystem" && !b.MountPoints.empty() && !b.Device.empty()) s->Volumes.push_back(i);
  }
  std::sort(s->Disks.begin(), s->Disks.end(),
            [&](std::size_t x, std::size_t y) { return NaturalLess(blocks[x].Device, blocks[y].Device); });
  std::sort(s->Volumes.begin(), s->Volumes.end(),
            [&](std::size_t x, std::size_t y) { return blocks[x].MountPoints.front() < blocks[y].MountPoints.front(); });
  if (s->Volumes.size() > MaxVolumes) s->Volumes.resize(MaxVolumes);
  snapshot_ = std::move(s);
  snapshotTime_ = now;
  return *snapshot_;
}

bool TUDisks2DeviceQuery::Available() { return Take().Listing.Available; }
std::string TUDisks2DeviceQuery::WhyUnavailable() { return Take().Listing.WhyNot; }

const UDisks2Block* TUDisks2DeviceQuery::DiskBlock(int diskNumber) {
  const Snapshot& s = Take();
  if (diskNumber < 0 || static_cast<std::size_t>(diskNumber) >= s.Disks.size()) return nullptr;
  return &s.Listing.Blocks[s.Disks[static_cast<std::size_t>(diskNumber)]];
}

const UDisks2Block* TUDisks2DeviceQuery::VolumeBlock(char letter) {
  const Snapshot& s = Take();
  const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
  if (upper < 'C' || upper > 'Z') return nullptr;
  const auto index = static_cast<std::size_t>(upper - 'C');
  return index < s.Volumes.size() ? &s.Listing.Blocks[s.Volumes[index]] : nullptr;
}

int TUDisks2DeviceQuery::DiskNumberOf(const QString& objectPath) {
  const Snapshot& s = Take();
  for (std::size_t n = 0; n < s.Disks.size(); ++n)
    if (s.Listing.Blocks[s.Disks[n]].ObjectPath == objectPath) return static_cast<int>(n);
  return -1;
}

std::vector<int> TUDisks2DeviceQuery::DiskNumbers() {
  if (!Available()) return fallback_->DiskNumbers();
  std::vector<int> numbers;
  for (std::size_t n = 0; n < Take().Disks.size(); ++n) numbers.push_back(static_cast<int>(n));
  return numbers;
}

std::optional<DiskDescription> TUDisks2DeviceQuery::DescribeDisk(int diskNumber) {
  if (!Available()) return fallback_->DescribeDisk(diskNumber);
  const UDisks2Block* b = DiskBlock(diskNumber);
  if (!b) return std::nullopt;
  DiskDescription d;
  d.MediaType = b->Removable ? media_type::RemovableMedia : media_type::FixedMedia;
  d.LengthBytes = b->SizeBytes;
  std::string model = b->Vendor;
  if (!b->Model.empty()) model += (model.empty() ? "" : " ") + b->Model;
  if (!b->ConnectionBus.empty()) model += (model.empty() ? "" : ", ") + BusText(b->ConnectionBus);
  d.Model = model;
  return d;
}

std::string TUDisks2DeviceQuery::NativeDevicePath(const std::string& path) {
  static const std::string prefix = "\\\\.\\";
  static const std::string stem = "PhysicalDrive";
  if (path.compare(0, prefix.size(), prefix) != 0) return path;
  std::string native;
  if (!Available()) {
    native = fallback_->NativeDevicePath(path);
  } else {
    const std::string rest = path.substr(prefix.size());
    if (rest.compare(0, stem.size(), stem) == 0) {
      const std::string digits = rest.substr(stem.size());
      const bool number = !digits.empty() && digits.size() <= 6 &&
                          std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c) != 0; }) &&
                          (digits == "0" || digits[0] != '0');
      const UDisks2Block* b = number ? DiskBlock(std::stoi(digits)) : nullptr;
      native = b ? b->Device : "";
    } else if (rest.size() == 2 && rest[1] == ':') {
      const UDisks2Block* b = VolumeBlock(rest[0]);
      native = b ? b->Device : "";
    }
  }
  if (!native.empty()) deviceNodes_.insert(native);
  return native;
}

std::optional<QString> TUDisks2DeviceQuery::ObjectFor(const std::string& nativePath) {
  if (!Available()) return std::nullopt;
  for (const UDisks2Block& b : Take().Listing.Blocks)
    if (b.Device == nativePath) return b.ObjectPath;
  return std::nullopt;
}

std::optional<DiskGeometry> TUDisks2DeviceQuery::GetGeometry(ByteStream& device) { return fallback_->GetGeometry(device); }

std::optional<std::int64_t> TUDisks2DeviceQuery::GetDeviceLength(ByteStream& device) {
  if (const auto length = fallback_->GetDeviceLength(device)) return length;
  const std::int64_t size = device.Size();
  return size > 0 ? std::optional<std::int64_t>(size) : std::nullopt;
}

std::optional<VolumeInformation> TUDisks2DeviceQuery::GetVolumeInfo(const std::string& rootPath) {
  if (!Available()) return fallback_->GetVolumeInfo(rootPath);
  const UDisks2Block* b = VolumeBlock(LetterOf(rootPath));
  if (!b) return std::nullopt;
  VolumeInformation info;
  info.Label = b->IdLabel;
  info.FileSystem = b->IdType;
  info.SerialNumber = SerialFromUuid(b->IdUuid);
  return info;
}

std::optional<VolumeSpace> TUDisks2DeviceQuery::GetVolumeSpace(const std::string& rootPath) {
  if (!Available()) return fallback_->GetVolumeSpace(rootPath);
  const UDisks2Block* b = VolumeBlock(LetterOf(rootPath));
  if (!b) return std::nullopt;
  const QStorageInfo storage(QString::fromStdString(b->MountPoints.front()));
  if (!storage.isValid() || !storage.isReady()) return std::nullopt;
  VolumeSpace space;
  space.TotalBytes = storage.bytesTotal();
  space.FreeBytesAvailable = storage.bytesAvailable();
  space.TotalFreeBytes = storage.bytesFree();
  return space;
}

DriveKind TUDisks2DeviceQuery::GetDriveKind(const std::string& rootPath) {
  if (!Available()) return fallback_->GetDriveKind(rootPath);
  const UDisks2Block* b = VolumeBlock(LetterOf(rootPath));
  if (!b) return DriveKind::NoRootDir;
  if (b->Optical) return DriveKind::CdRom;
  return b->Removable ? DriveKind::Removable : DriveKind::Fixed;
}

std::optional<DiskExtent> TUDisks2DeviceQuery::GetFirstDiskExtent(const std::string& volumeDevicePath) {
  if (!Available()) return fallback_->GetFirstDiskExtent(volumeDevicePath);
  // "\\.\E:": the letter is the fifth character.
  if (volumeDevicePath.size() != 6 || volumeDevicePath.compare(0, 4, "\\\\.\\") != 0) return std::nullopt;
  const UDisks2Block* b = VolumeBlock(volumeDevicePath[4]);
  if (!b) return std::nullopt;
  // A card formatted without a partition table is its own disk.
  const int disk = DiskNumberOf(b->IsPartition ? b->PartitionTable : b->ObjectPath);
  if (disk < 0) return std::nullopt;
  DiskExtent extent;
  extent.DiskNumber = static_cast<std::uint32_t>(disk);
  extent.StartingOffset = b->IsPartition ? b->PartitionOffsetBytes : 0;
  extent.ExtentLength = b->SizeBytes;
  return extent;
}

std::string TUDisks2DeviceQuery::VolumeDisplayName(char letter) {
  if (!Available()) return fallback_->VolumeDisplayName(letter);
  const UDisks2Block* b = VolumeBlock(letter);
  return b ? b->MountPoints.front() : std::string();
}

std::vector<std::string> TUDisks2DeviceQuery::DevicesHoldingFolder(const std::string& folder) {
  return fallback_->DevicesHoldingFolder(folder);
}

std::string TUDisks2DeviceQuery::DeviceKey(const std::string& nativePath) { return fallback_->DeviceKey(nativePath); }

}  // namespace mtsrescue
