// The device-path constants shared by the disk probe, the volumes and the source selection.
#pragma once

#include <string>
#include <string_view>

namespace mtsrescue {

inline constexpr std::string_view DevicePrefix = "\\\\.\\";  // \\.\ (4 characters)
inline constexpr std::string_view DiskStem = "PhysicalDrive";
inline constexpr std::string_view DriveColon = ":";
inline constexpr std::string_view RootSuffix = ":\\";

// "\\.\PhysicalDriveN"
inline std::string DiskDevicePath(int diskNumber) {
  return std::string(DevicePrefix) + std::string(DiskStem) + std::to_string(diskNumber);
}
// "\\.\L:"
inline std::string VolumeDevicePath(char letter) {
  return std::string(DevicePrefix) + letter + std::string(DriveColon);
}
// "L:\"
inline std::string VolumeRootPath(char letter) { return letter + std::string(RootSuffix); }

}  // namespace mtsrescue
