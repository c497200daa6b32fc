// Physical disks: probing, capacity, media-type and size texts.
#include "source/PhysicalDisks.h"

#include "source/DevicePaths.h"

#include <exception>

namespace mtsrescue {

void AppendDiskEntries(SourceMenu& pop, const SourcePlatform& platform) {
  DeviceQuery& query = platform.Query();
  for (const int n : query.DiskNumbers()) {
    const std::string name = std::string(DiskStem) + std::to_string(n);
    if (const auto described = query.DescribeDisk(n)) {
      // Known without opening it: listed also where the user may not open it directly.
      if (described->LengthBytes <= 0) continue;
      std::string media = MediaTypeText(described->MediaType);
      if (!described->Model.empty()) media += " (" + described->Model + ")";
      pop.push_back({name, "HD" + std::to_string(n) + ", " + media + ", [" + FormatDiskSize(described->LengthBytes) + "]",
                     DiskImageIndex});
      continue;
    }
    try {
      // Read-only and shared: a disk in use elsewhere is listed, and nothing can be written to it.
      const auto device = platform.Open(DiskDevicePath(n), OpenMode::ReadShared);
      const std::string media = GetMediaTypeText(*device, query);
      const std::string size = FormatDiskSize(GetDiskCapacity(*device, query));
      pop.push_back({name,
                     "HD" + std::to_string(n) + ", " + media + ", [" + size + "]", DiskImageIndex});
    } catch (const std::exception&) {
      // A disk that cannot be opened is simply not offered.
    }
  }
}

std::int64_t GetDiskCapacity(ByteStream& device, DeviceQuery& query) {
  if (const auto length = query.GetDeviceLength(device); length && *length > 0) return *length;
  if (const auto g = query.GetGeometry(device)) {
    if (g->DiskSizeBytes > 0) return g->DiskSizeBytes;
    const auto cylinderBytes = static_cast<std::int64_t>(g->TracksPerCylinder) * g->SectorsPerTrack * g->BytesPerSector;
    if (g->Cylinders > 0 && cylinderBytes > 0) return g->Cylinders * cylinderBytes;
  }
  const std::int64_t size = device.Size();
  return size > 0 ? size : 0;
}

std::string MediaTypeText(std::int32_t mediaType) {
  if (mediaType == 0) return "Unknown Media Type";
  if (mediaType >= 1 && mediaType <= 10) return "Floppy Disk";
  if (mediaType == 11) return "Removable Drive";
  if (mediaType == 12) return "Fixed Drive";
  if (mediaType >= 13 && mediaType <= 25) return "Zip / Other";
  return "UNKNOWN";
}

std::string GetMediaTypeText(ByteStream& device, DeviceQuery& query) {
  const auto g = query.GetGeometry(device);
  return MediaTypeText(g ? g->MediaType : media_type::Unknown);
}

std::string FormatDiskSize(std::int64_t bytes) {
  static const char* const units[] = {" B", " KB", " MB", " GB", " TB"};
  auto v = static_cast<std::uint64_t>(bytes);
  std::uint64_t remainder = 0;
  int unit = 0;
  while (v >= 1024 && unit < 4) {
    remainder = v % 1024;
    v /= 1024;
    ++unit;
  }
  std::string text = std::to_string(v);
  // Only the last division's remainder counts, truncated to hundredths.
  const std::uint64_t hundredths = remainder * 100 / 1024;
  if (hundredths != 0) {
    text += '.';
    if (hundredths < 10) text += '0';
    text += std::to_string(hundredths);
  }
  return text + units[unit];
}

}  // namespace mtsrescue
