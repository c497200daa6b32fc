// TNTVolumeList: examining the drive letters and building the volume captions.
#include "source/WinNTVolumeList.h"

#include <charconv>

namespace mtsrescue {

TNTVolumeList::TNTVolumeList(DeviceQuery& query) { Enumerate(query); }

void TNTVolumeList::Enumerate(DeviceQuery& query) {
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    Current = std::make_unique<TNTVolumeInfo>(std::string(1, letter), query);
    if (Current->DiskNumber != UnknownDiskNumber || !Current->VolumeLabel.empty()) {
      Item.Letter = Current->Letter;
      Item.VolumeLabel = Current->VolumeLabel;
      Item.DriveType = Current->DriveType;
      Item.FileSystem = Current->FileSystem;
      Item.SerialNumber = Current->SerialNumber;
      Item.TotalBytes = Current->TotalBytes;
      Item.FreeBytes = Current->FreeBytes;
      Item.DiskTag = Current->DriveType + std::to_string(Current->DiskNumber);
      Item.Filled = true;
      Letters.push_back(Current->Letter);
      // Windows names the volume by its letter; elsewhere by where it is mounted.
      std::string where = query.VolumeDisplayName(letter);
      if (where.empty()) where = Current->Letter + ":";
      Captions.push_back(Item.VolumeLabel + " (" + where + "), " + Item.DiskTag + ", " + Item.FileSystem + ", [" +
                         FormatSpace(static_cast<double>(Item.FreeBytes)) + "/" +
                         FormatSpace(static_cast<double>(Item.TotalBytes)) + "]");
    }
    Current.reset();
  }
}

std::string TNTVolumeList::FormatSpace(double bytes) {
  const bool gigabytes = bytes >= 1048576.0;
  const double value = gigabytes ? bytes / 1024 / 1024 / 1024 : bytes / 1024 / 1024;
  char text[64];
  // to_chars is locale-independent, so the separator is "." on every system.
  const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 2);
  return std::string(text, result.ptr) + (gigabytes ? " GB" : " MB");
}

}  // namespace mtsrescue
