// A fake system for source-access tests: disks, volumes and files with chosen answers and failures.
#pragma once

#include "platform/DeviceQuery.h"
#include "platform/FileStream.h"
#include "source/SourcePlatform.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

namespace mtsrescue::test {

// A stream that knows which fake device it stands for; its bytes come from Inner when there is one.
class FakeDeviceStream final : public ByteStream {
 public:
  FakeDeviceStream(std::string path, std::int64_t sizeBytes, std::unique_ptr<ByteStream> inner = nullptr)
      : Path(std::move(path)), SizeBytes(sizeBytes), Inner(std::move(inner)) {}
  std::error_code Seek(std::int64_t offset) override { return Inner ? Inner->Seek(offset) : std::error_code(); }
  std::int64_t Size() override { return Inner ? Inner->Size() : SizeBytes; }
  IoResult Read(void* buffer, std::int64_t count) override { return Inner ? Inner->Read(buffer, count) : IoResult{}; }
  IoResult Write(const void*, std::int64_t) override { return {0, std::make_error_code(std::errc::read_only_file_system)}; }
  std::string Path;
  std::int64_t SizeBytes;
  std::unique_ptr<ByteStream> Inner;
};

struct FakeDisk {
  bool Opens = true;
  std::optional<DiskGeometry> Geometry;
  std::optional<std::int64_t> Length;  // the system's disk length
  std::int64_t StreamSize = -1;
};

struct FakeVolume {
  std::optional<VolumeInformation> Info;
  std::optional<VolumeSpace> Space;
  DriveKind Kind = DriveKind::Fixed;
  std::optional<DiskExtent> Extent;
  bool Opens = true;                         // the volume device, as a source
  std::optional<std::int64_t> DeviceLength;  // the volume device's own length
  std::string DisplayName;                   // empty: the letter and colon
};

class FakeDeviceQuery final : public DeviceQuery {
 public:
  std::map<int, FakeDisk> Disks;
  std::map<char, FakeVolume> Volumes;
  std::map<std::string, std::int64_t> Files;       // image files and their sizes
  std::map<std::string, std::string> NativeNames;  // device path -> node, as on Linux
  std::vector<std::string> FolderDevices;          // answer of DevicesHoldingFolder
  std::error_code OpenFailure = std::make_error_code(std::errc::permission_denied);
  // Where the bytes of devices and files come from, by native path; none: devices read as empty.
  StreamOpener DataOpener;

  // What was asked: opens with their modes, volume roots queried, extent queries.
  std::vector<std::pair<std::string, OpenMode>> Opens;
  std::vector<std::string> RootsQueried;
  std::vector<std::string> ExtentQueries;

  std::vector<int> DiskNumbers() override {
    std::vector<int> numbers;
    for (const auto& [n, disk] : Disks) numbers.push_back(n);
    return numbers;
  }
  std::string NativeDevicePath(const std::string& path) override {
    const auto it = NativeNames.find(path);
    return it == NativeNames.end() ? path : it->second;
  }
  std::optional<DiskGeometry> GetGeometry(ByteStream& device) override {
    const FakeDisk* disk = DiskFor(device);
    return disk ? disk->Geometry : std::nullopt;
  }
  std::optional<std::int64_t> GetDeviceLength(ByteStream& device) override {
    if (const FakeDisk* disk = DiskFor(device)) return disk->Length;
    const auto* fake = dynamic_cast<FakeDeviceStream*>(&device);
    if (const FakeVolume* volume = fake ? VolumeFor(Unnative(fake->Path)) : nullptr) return volume->DeviceLength;
    return std::nullopt;
  }
  std::optional<VolumeInformation> GetVolumeInfo(const std::string& rootPath) override {
    RootsQueried.push_back(rootPath);
    const FakeVolume* v = VolumeAt(rootPath);
    return v ? v->Info : std::nullopt;
  }
  std::optional<VolumeSpace> GetVolumeSpace(const std::string& rootPath) override {
    const FakeVolume* v = VolumeAt(rootPath);
    return v ? v->Space : std::nullopt;
  }
  DriveKind GetDriveKind(const std::string& rootPath) override {
    const FakeVolume* v = VolumeAt(rootPath);
    return v ? v->Kind : DriveKind::NoRootDir;
  }
  std::optional<DiskExtent> GetFirstDiskExtent(const std::string& volumeDevicePath) override {
    ExtentQueries.push_back(volumeDevicePath);
    const FakeVolume* v = VolumeFor(volumeDevicePath);
    return v ? v->Extent : std::nullopt;
  }
  std::string VolumeDisplayName(char letter) override {
    const auto it = Volumes.find(letter);
    return it == Volumes.end() ? std::string() : it->second.DisplayName;
  }
  std::vector<std::string> DevicesHoldingFolder(const std::string&) override { return FolderDevices; }
  std::string DeviceKey(const std::string& nativePath) override { return nativePath; }

  // The opener of this fake system, taking native paths as NativeDevicePath gives them.
  std::unique_ptr<ByteStream> Open(const std::string& native, OpenMode mode) {
    Opens.emplace_back(native, mode);
    const std::string path = Unnative(native);
    const FakeDisk* disk = DiskAt(path);
    const FakeVolume* volume = VolumeFor(path);
    if (!disk && !volume && DataOpener) return DataOpener(native, mode);
    const auto file = Files.find(path);
    const bool opens = disk ? disk->Opens : volume ? volume->Opens : file != Files.end();
    if (!opens) throw StreamError("Cannot open file \"" + native + "\". " + OpenFailure.message(), OpenFailure);
    const std::int64_t size = disk ? disk->StreamSize : volume ? -1 : file->second;
    return std::make_unique<FakeDeviceStream>(native, size, DataOpener ? DataOpener(native, mode) : nullptr);
  }

  SourcePlatform Platform() {
    std::shared_ptr<DeviceQuery> self(this, [](DeviceQuery*) {});
    return SourcePlatform(self, [this](const std::string& p, OpenMode m) { return Open(p, m); });
  }

 private:
  std::string Unnative(const std::string& native) const {
    for (const auto& [device, node] : NativeNames)
      if (node == native) return device;
    return native;
  }
  const FakeDisk* DiskAt(const std::string& path) const {
    const std::string stem = "\\\\.\\PhysicalDrive";
    if (path.compare(0, stem.size(), stem) != 0) return nullptr;
    const auto it = Disks.find(std::stoi(path.substr(stem.size())));
    return it == Disks.end() ? nullptr : &it->second;
  }
  const FakeDisk* DiskFor(ByteStream& device) const {
    const auto* fake = dynamic_cast<FakeDeviceStream*>(&device);
    return fake ? DiskAt(Unnative(fake->Path)) : nullptr;
  }
  const FakeVolume* VolumeFor(const std::string& devicePath) const {
    if (devicePath.size() != 6 || devicePath.compare(0, 4, "\\\\.\\") != 0 || devicePath[5] != ':') return nullptr;
    const auto it = Volumes.find(devicePath[4]);
    return it == Volumes.end() ? nullptr : &it->second;
  }
  const FakeVolume* VolumeAt(const std::string& rootPath) const {
    if (rootPath.size() != 3 || rootPath.substr(1) != ":\\") return nullptr;
    const auto it = Volumes.find(rootPath[0]);
    return it == Volumes.end() ? nullptr : &it->second;
  }
};

// A disk whose geometry counts whole cylinders of 255 x 63 sectors of 512 bytes.
inline FakeDisk DiskOf(std::int64_t lengthBytes, std::int32_t mediaType) {
  FakeDisk disk;
  DiskGeometry g;
  g.TracksPerCylinder = 255;
  g.SectorsPerTrack = 63;
  g.BytesPerSector = 512;
  g.Cylinders = lengthBytes / (255 * 63 * 512);
  g.MediaType = mediaType;
  g.DiskSizeBytes = lengthBytes;
  disk.Geometry = g;
  disk.Length = lengthBytes;
  disk.StreamSize = lengthBytes;
  return disk;
}

inline FakeVolume VolumeOf(const std::string& label, const std::string& fileSystem, DriveKind kind,
                           std::optional<std::uint32_t> diskNumber, std::int64_t freeBytes, std::int64_t totalBytes) {
  FakeVolume v;
  v.Info = VolumeInformation{label, 0x1234ABCD, fileSystem};
  v.Space = VolumeSpace{freeBytes, totalBytes, freeBytes};
  v.Kind = kind;
  if (diskNumber) v.Extent = DiskExtent{*diskNumber, 1048576, totalBytes};
  return v;
}

}  // namespace mtsrescue::test
