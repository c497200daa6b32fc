// TNTVolumeList: the drive letters C to Z worth listing in the source menu, with their captions.
#pragma once

#include "platform/DeviceQuery.h"
#include "source/WinNTVolumeInfo.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtsrescue {

// One listed volume.
struct VolumeItem {
  std::string Letter;
  std::string VolumeLabel;
  std::string DiskTag;  // DriveType followed by DiskNumber ("HD0", "CD255")
  std::string DriveType;
  std::string FileSystem;
  std::string SerialNumber;
  std::int64_t TotalBytes = 0;
  std::int64_t FreeBytes = 0;
  bool Filled = false;
};

class TNTVolumeList {
 public:
  // Examines the letters C to Z once. A letter is listed when its disk is known or it has a label.
  explicit TNTVolumeList(DeviceQuery& query);

  int Count() const { return static_cast<int>(Captions.size()); }
  // i from 0 to Count() - 1.
  const std::string& GetCaption(int i) const { return Captions.at(static_cast<std::size_t>(i)); }
  const std::string& GetLetter(int i) const { return Letters.at(static_cast<std::size_t>(i)); }

  // Bytes as "%.2f GB" from 1 MiB up, else "%.2f MB" (units of 1024). The decimal separator is
  // always "." here, whatever the user's number settings.
  static std::string FormatSpace(double bytes);

  VolumeItem Item;  // the last volume listed
  std::vector<std::string> Captions;
  std::vector<std::string> Letters;  // parallel to Captions

 private:
  void Enumerate(DeviceQuery& query);
  std::unique_ptr<TNTVolumeInfo> Current;
};

}  // namespace mtsrescue
