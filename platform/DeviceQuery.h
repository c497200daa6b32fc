// What the system tells about disks and volumes: the queries behind the source menu; one implementation per OS.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace mtsrescue {

// Values of Windows' MEDIA_TYPE that the media-type text tells apart; other values pass through as they come.
namespace media_type {
inline constexpr std::int32_t Unknown = 0;
inline constexpr std::int32_t RemovableMedia = 11;
inline constexpr std::int32_t FixedMedia = 12;
}  // namespace media_type

// The disk geometry as Windows' DISK_GEOMETRY_EX gives it. The cylinder count is rounded down to
// whole cylinders, so the product of the four counts can be shorter than DiskSizeBytes.
struct DiskGeometry {
  std::int64_t Cylinders = 0;
  std::uint32_t TracksPerCylinder = 0;
  std::uint32_t SectorsPerTrack = 0;
  std::uint32_t BytesPerSector = 0;
  std::int32_t MediaType = media_type::Unknown;
  std::int64_t DiskSizeBytes = 0;  // the true length; 0 when the system does not say
};

// Windows' drive types (GetDriveType), by value.
enum class DriveKind : std::int32_t {
  Unknown = 0,
  NoRootDir = 1,
  Removable = 2,
  Fixed = 3,
  Remote = 4,
  CdRom = 5,
  RamDisk = 6,
};

struct VolumeInformation {
  std::string Label;               // UTF-8; empty when the volume has none
  std::uint32_t SerialNumber = 0;  // 0 when the system does not give one
  std::string FileSystem;          // as the system names it ("NTFS", "vfat", ...)
};

struct VolumeSpace {
  std::int64_t FreeBytesAvailable = 0;  // to the calling user (quotas apply)
  std::int64_t TotalBytes = 0;          // what the file system manages, not the device's length
  std::int64_t TotalFreeBytes = 0;
};

// The first extent of a volume on its disk.
struct DiskExtent {
  std::uint32_t DiskNumber = 0;
  std::int64_t StartingOffset = 0;
  std::int64_t ExtentLength = 0;
};

// What a disk service tells about a disk without opening it.
struct DiskDescription {
  std::int32_t MediaType = media_type::Unknown;
  std::int64_t LengthBytes = 0;
  std::string Model;  // vendor, model and connection ("Generic SD Card Reader, USB"); empty when unknown
};

// Paths given to and returned by these queries are UTF-8. Device paths are in the form the source
// menu uses ("\\.\PhysicalDriveN", "\\.\L:"), root paths "L:\"; NativeDevicePath turns them into
// what the system opens. Every query answers std::nullopt (or an empty value) when it fails; none throws.
class DeviceQuery {
 public:
  virtual ~DeviceQuery() = default;

  // The numbers N of the disks that "\\.\PhysicalDriveN" may open, ascending; gaps are possible.
  virtual std::vector<int> DiskNumbers() = 0;

  // Disk N as a disk service knows it, so that listing it needs no rights to open it. Nothing
  // by default: the disk is then opened to be described.
  virtual std::optional<DiskDescription> DescribeDisk(int /*diskNumber*/) { return std::nullopt; }

  // The path to hand to the system for a device path; any other path comes back unchanged.
  // Empty when a device path names no present device.
  virtual std::string NativeDevicePath(const std::string& path) = 0;

  // Geometry and media type of an opened disk device.
  virtual std::optional<DiskGeometry> GetGeometry(ByteStream& device) = 0;
  // The true length in bytes of an opened disk or volume device.
  virtual std::optional<std::int64_t> GetDeviceLength(ByteStream& device) = 0;

  // Volume queries by root path ("E:\").
  virtual std::optional<VolumeInformation> GetVolumeInfo(const std::string& rootPath) = 0;
  virtual std::optional<VolumeSpace> GetVolumeSpace(const std::string& rootPath) = 0;
  virtual DriveKind GetDriveKind(const std::string& rootPath) = 0;
  // The first extent of a volume device ("\\.\E:"). The device is opened for queries only:
  // never for writing, never exclusively.
  virtual std::optional<DiskExtent> GetFirstDiskExtent(const std::string& volumeDevicePath) = 0;
  // How a caption names the volume of a letter: "E:" on Windows, the mount point elsewhere.
  virtual std::string VolumeDisplayName(char letter) = 0;

  // The devices (native paths, as NativeDevicePath gives them) whose writing could change a
  // folder's contents: its volume and the disks that hold it. A folder that does not exist yet is
  // taken at its nearest existing parent. Empty when this cannot be told.
  virtual std::vector<std::string> DevicesHoldingFolder(const std::string& folder) = 0;
  // A key equal for two native paths that open the same device (symbolic links, case).
  virtual std::string DeviceKey(const std::string& nativePath) = 0;
};

// The system's own answers. On POSIX, /sys, /proc and /dev/disk are read under systemRoot ("" for
// the real ones), so that tests can point it at a fixture tree; device nodes are opened as they are.
std::unique_ptr<DeviceQuery> MakeSystemDeviceQuery(const std::string& systemRoot = "");

}  // namespace mtsrescue
