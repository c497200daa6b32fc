// TNTVolumeInfo: label, serial, file system, space, drive type and first disk extent of a letter.
#include "source/WinNTVolumeInfo.h"

#include "source/DevicePaths.h"

#include <cstdio>

namespace mtsrescue {

TNTVolumeInfo::TNTVolumeInfo(const std::string& letter, DeviceQuery& query) : Letter(letter) {
  QueryVolume(query);
  QueryDevice(query);
}

void TNTVolumeInfo::QueryVolume(DeviceQuery& query) {
  const char letter = Letter.empty() ? '\0' : Letter[0];
  if (const auto info = query.GetVolumeInfo(VolumeRootPath(letter))) {
    VolumeLabel = info->Label;
    char hex[9];
    std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(info->SerialNumber));
    SerialNumber = hex;
    FileSystem = info->FileSystem;
  }
  if (const auto space = query.GetVolumeSpace(VolumeRootPath(letter))) {
    TotalBytes = space->TotalBytes;
    FreeBytes = space->FreeBytesAvailable;
  }
}

void TNTVolumeInfo::QueryDevice(DeviceQuery& query) {
  const char letter = Letter.empty() ? '\0' : Letter[0];
  const DriveKind kind = query.GetDriveKind(VolumeRootPath(letter));
  DriveType = DriveTypeCode(kind);
  // Only disks that hold partitions have extents worth asking for.
  if (kind != DriveKind::Removable && kind != DriveKind::Fixed) return;
  if (const auto extent = query.GetFirstDiskExtent(VolumeDevicePath(letter))) {
    DiskNumber = extent->DiskNumber;
    StartingOffset = extent->StartingOffset;
    ExtentLength = extent->ExtentLength;
  }
}

std::string DriveTypeCode(DriveKind kind) {
  switch (kind) {
    case DriveKind::Removable:
    case DriveKind::RamDisk:
      return "RD";
    case DriveKind::Fixed:
      return "HD";
    case DriveKind::Remote:
      return "ND";
    case DriveKind::CdRom:
      return "CD";
    default:
      return "";
  }
}

}  // namespace mtsrescue
