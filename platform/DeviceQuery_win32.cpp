// Disk and volume queries on Windows: DeviceIoControl, GetVolumeInformationW, GetDiskFreeSpaceExW, GetDriveTypeW.
#include "platform/DeviceQuery.h"

#include "platform/FileStream.h"

#include <algorithm>
#include <cctype>
#include <cwctype>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <winioctl.h>

namespace mtsrescue {
namespace {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty()) return {};
  const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), out.data(), n);
  return out;
}

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  out.pop_back();  // the terminating zero
  return out;
}

HANDLE HandleOf(ByteStream& device) {
  const auto* file = dynamic_cast<FileStream*>(&device);
  return file ? reinterpret_cast<HANDLE>(file->Handle()) : INVALID_HANDLE_VALUE;
}

// Opens a device for control queries only: no read or write access is asked for, so nothing can
// be written through it and a device in use elsewhere is not disturbed.
HANDLE OpenForQuery(const std::wstring& path) {
  return CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
}

// The extents of an opened volume; the buffer grows for volumes of many extents.
std::vector<DISK_EXTENT> VolumeExtents(HANDLE volume) {
  std::vector<unsigned char> buffer(sizeof(VOLUME_DISK_EXTENTS) + 15 * sizeof(DISK_EXTENT));
  for (int attempt = 0; attempt < 4; ++attempt) {
    DWORD returned = 0;
    if (DeviceIoControl(volume, IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
      const auto* extents = reinterpret_cast<const VOLUME_DISK_EXTENTS*>(buffer.data());
      return std::vector<DISK_EXTENT>(extents->Extents, extents->Extents + extents->NumberOfDiskExtents);
    }
    if (GetLastError() != ERROR_MORE_DATA) break;
    buffer.resize(buffer.size() * 8);
  }
  return {};
}

class Win32DeviceQuery final : public DeviceQuery {
 public:
  std::vector<int> DiskNumbers() override {
    std::vector<wchar_t> names(64 * 1024);
    DWORD length = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
      length = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()));
      if (length != 0 || GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
      names.resize(names.size() * 4);
    }
    std::vector<int> numbers;
    if (length == 0) {
      // Without the device list, try the numbers a machine plausibly has.
      for (int n = 0; n < 32; ++n) numbers.push_back(n);
      return numbers;
    }
    const std::wstring stem = L"PhysicalDrive";
    for (const wchar_t* p = names.data(); *p != L'\0' && p < names.data() + length; p += wcslen(p) + 1) {
      const std::wstring name = p;
      if (name.compare(0, stem.size(), stem) != 0 || name.size() == stem.size()) continue;
      const std::wstring digits = name.substr(stem.size());
      if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), [](wchar_t c) { return iswdigit(c) != 0; }))
        continue;
      numbers.push_back(std::stoi(digits));
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
  }

  std::string NativeDevicePath(const std::string& path) override { return path; }

  std::optional<DiskGeometry> GetGeometry(ByteStream& device) override {
    const HANDLE h = HandleOf(device);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    DiskGeometry g;
    std::vector<unsigned char> buffer(256);
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY_EX, nullptr, 0, buffer.data(),
                        static_cast<DWORD>(buffer.size()), &returned, nullptr)) {
      const auto* ex = reinterpret_cast<const DISK_GEOMETRY_EX*>(buffer.data());
      Fill(g, ex->Geometry);
      g.DiskSizeBytes = ex->DiskSize.QuadPart;
      return g;
    }
    DISK_GEOMETRY plain{};
    if (!DeviceIoControl(h, IOCTL_DISK_GET_DRIVE_GEOMETRY, nullptr, 0, &plain, sizeof plain, &returned, nullptr))
      return std::nullopt;
    Fill(g, plain);
    return g;
  }

  std::optional<std::int64_t> GetDeviceLength(ByteStream& device) override {
    const HANDLE h = HandleOf(device);
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    GET_LENGTH_INFORMATION info{};
    DWORD returned = 0;
    if (DeviceIoControl(h, IOCTL_DISK_GET_LENGTH_INFO, nullptr, 0, &info, sizeof info, &returned, nullptr))
      return info.Length.QuadPart;
    LARGE_INTEGER size{};
    if (GetFileType(h) == FILE_TYPE_DISK && GetFileSizeEx(h, &size) && size.QuadPart > 0) return size.QuadPart;
    return std::nullopt;
  }

  std::optional<VolumeInformation> GetVolumeInfo(const std::string& rootPath) override {
    wchar_t label[MAX_PATH + 1] = {};
    wchar_t fileSystem[MAX_PATH + 1] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!GetVolumeInformationW(Wide(rootPath).c_str(), label, MAX_PATH + 1, &serial, &maxComponent, &flags,
                               fileSystem, MAX_PATH + 1))
      return std::nullopt;
    VolumeInformation info;
    info.Label = Utf8(label);
    info.SerialNumber = serial;
    info.FileSystem = Utf8(fileSystem);
    return info;
  }

  std::optional<VolumeSpace> GetVolumeSpace(const std::string& rootPath) override {
    ULARGE_INTEGER available{}, total{}, totalFree{};
    if (!GetDiskFreeSpaceExW(Wide(rootPath).c_str(), &available, &total, &totalFree)) return std::nullopt;
    VolumeSpace space;
    space.FreeBytesAvailable = static_cast<std::int64_t>(available.QuadPart);
    space.TotalBytes = static_cast<std::int64_t>(total.QuadPart);
    space.TotalFreeBytes = static_cast<std::int64_t>(totalFree.QuadPart);
    return space;
  }

  DriveKind GetDriveKind(const std::string& rootPath) override {
    return static_cast<DriveKind>(GetDriveTypeW(Wide(rootPath).c_str()));
  }

  std::optional<DiskExtent> GetFirstDiskExtent(const std::string& volumeDevicePath) override {
    const HANDLE h = OpenForQuery(Wide(volumeDevicePath));
    if (h == INVALID_HANDLE_VALUE) return std::nullopt;
    const std::vector<DISK_EXTENT> extents = VolumeExtents(h);
    CloseHandle(h);
    if (extents.empty()) return std::nullopt;
    DiskExtent first;
    first.DiskNumber = extents.front().DiskNumber;
    first.StartingOffset = extents.front().StartingOffset.QuadPart;
    first.ExtentLength = extents.front().ExtentLength.QuadPart;
    return first;
  }

  std::string VolumeDisplayName(char letter) override { return std::string(1, letter) + ":"; }

  std::vector<std::string> DevicesHoldingFolder(const std::string& folder) override {
    std::wstring at = Wide(folder.empty() ? std::string(".") : folder);
    wchar_t full[32768];
    if (GetFullPathNameW(at.c_str(), 32768, full, nullptr) == 0) return {};
    at = full;
    while (GetFileAttributesW(at.c_str()) == INVALID_FILE_ATTRIBUTES) {
      const auto cut = at.find_last_of(L"\\/");
      if (cut == std::wstring::npos || cut < 3) break;
      at.resize(cut);
    }
    wchar_t volumePath[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(at.c_str(), volumePath, MAX_PATH + 1)) return {};
    std::vector<std::string> devices;
    std::wstring volumeDevice;
    const std::wstring root = volumePath;
    if (root.size() == 3 && root[1] == L':') {
      volumeDevice = L"\\\\.\\" + root.substr(0, 2);
    } else {
      wchar_t guidPath[MAX_PATH + 1] = {};
      if (!GetVolumeNameForVolumeMountPointW(volumePath, guidPath, MAX_PATH + 1)) return {};
      volumeDevice = guidPath;
      if (!volumeDevice.empty() && volumeDevice.back() == L'\\') volumeDevice.pop_back();
    }
    devices.push_back(Utf8(volumeDevice.c_str()));
    const HANDLE h = OpenForQuery(volumeDevice);
    if (h != INVALID_HANDLE_VALUE) {
      for (const DISK_EXTENT& e : VolumeExtents(h)) {
        const std::string disk = "\\\\.\\PhysicalDrive" + std::to_string(e.DiskNumber);
        if (std::find(devices.begin(), devices.end(), disk) == devices.end()) devices.push_back(disk);
      }
      CloseHandle(h);
    }
    return devices;
  }

  std::string DeviceKey(const std::string& nativePath) override {
    std::string key = nativePath;
    if (key.compare(0, 4, "\\\\?\\") == 0) key[2] = '.';
    std::transform(key.begin(), key.end(), key.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
  }

 private:
  static void Fill(DiskGeometry& g, const DISK_GEOMETRY& d) {
    g.Cylinders = d.Cylinders.QuadPart;
    g.TracksPerCylinder = d.TracksPerCylinder;
    g.SectorsPerTrack = d.SectorsPerTrack;
    g.BytesPerSector = d.BytesPerSector;
    g.MediaType = static_cast<std::int32_t>(d.MediaType);
  }
};

}  // namespace

std::unique_ptr<DeviceQuery> MakeSystemDeviceQuery(const std::string& /*systemRoot*/) {
  return std::make_unique<Win32DeviceQuery>();
}

}  // namespace mtsrescue
