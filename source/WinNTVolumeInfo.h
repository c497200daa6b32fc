// TNTVolumeInfo: what the system tells about one drive letter, gathered once at creation.
#pragma once

#include "platform/DeviceQuery.h"

#include <cstdint>
#include <string>

namespace mtsrescue {

// The disk number of a volume whose disk is not known.
inline constexpr std::uint32_t UnknownDiskNumber = 255;

class TNTVolumeInfo {
 public:
  // Runs QueryVolume, then QueryDevice. Never fails: a query that fails leaves its fields at their
  // defaults. letter is one upper-case character.
  TNTVolumeInfo(const std::string& letter, DeviceQuery& query);

  std::string Letter;
  std::string VolumeLabel;   // empty when unknown
  std::string SerialNumber;  // 8 upper-case hexadecimal digits; empty when unknown
  std::string FileSystem;    // empty when unknown
  std::int64_t TotalBytes = 0;  // what the file system manages (free-space query); 0 when unknown
  std::int64_t FreeBytes = 0;   // available to the calling user; 0 when unknown
  std::string DriveType;        // "RD", "HD", "ND", "CD", or empty
  // The volume's first extent; DiskNumber 255 when unknown.
  std::uint32_t DiskNumber = UnknownDiskNumber;
  std::int64_t StartingOffset = 0;
  std::int64_t ExtentLength = 0;

 private:
  void QueryVolume(DeviceQuery& query);
  void QueryDevice(DeviceQuery& query);
};

// The two-letter code of a drive type; empty for types without one.
std::string DriveTypeCode(DriveKind kind);

}  // namespace mtsrescue
