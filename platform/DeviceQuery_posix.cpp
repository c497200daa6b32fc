// Disk and volume queries on Linux: sysfs, /proc/self/mountinfo, statvfs and block-device ioctls.
#include "platform/DeviceQuery.h"

#include "platform/DescriptorStream.h"
#include "platform/FileStream.h"
#include "platform/NaturalOrder.h"

#include <algorithm>
#include <chrono>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

// sysfs counts partition start and size in 512-byte units whatever the device's sector size.
constexpr std::int64_t SysfsUnitBytes = 512;
constexpr std::size_t MaxVolumes = 24;  // letters C to Z

std::optional<std::string> ReadFirstLine(const fs::path& path) {
  std::ifstream in(path);
  if (!in) return std::nullopt;
  std::string line;
  std::getline(in, line);
  while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
  return line;
}

std::int64_t ReadNumber(const fs::path& path) {
  const auto line = ReadFirstLine(path);
  if (!line) return 0;
  try {
    return std::stoll(*line);
  } catch (...) {
    return 0;
  }
}

// sysfs writes '/' in device names as '!' (cciss!c0d0 is /dev/cciss/c0d0).
std::string DeviceNode(const std::string& sysfsName) {
  std::string name = sysfsName;
  std::replace(name.begin(), name.end(), '!', '/');
  return "/dev/" + name;
}

std::string DevText(dev_t dev) {
  return std::to_string(major(dev)) + ":" + std::to_string(minor(dev));
}

// One whole device of /sys/block or one of its partitions.
struct BlockNode {
  std::string Name;      // sysfs name ("sdb", "sdb1")
  std::string DiskName;  // the whole device it belongs to (itself for a whole device)
  bool IsPartition = false;
  std::int64_t StartBytes = 0;
  std::int64_t LengthBytes = 0;
};

struct MountedVolume {
  std::string MountPoint;
  std::string FileSystem;
  std::string DeviceName;  // sysfs name of the mounted block device
};

// What sysfs and mountinfo say at one moment; rebuilt for every query, since nothing is cached.
struct Snapshot {
  std::vector<std::string> Disks;            // listed disks, index = disk number
  std::map<std::string, BlockNode> ByDev;    // "major:minor" -> node
  std::map<std::string, BlockNode> ByName;   // sysfs name -> node
  std::vector<MountedVolume> Volumes;        // index 0 = letter C
};

// Decodes the octal escapes (\040 and the like) of a mountinfo field.
std::string UnescapeMountField(const std::string& field) {
  std::string out;
  for (std::size_t i = 0; i < field.size(); ++i) {
    if (field[i] == '\\' && i + 3 < field.size() &&
        std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
        std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
      out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
      i += 3;
    } else {
      out += field[i];
    }
  }
  return out;
}

struct MountLine {
  std::string Dev;
  std::string Root;
  std::string MountPoint;
  std::string FileSystem;
  std::string Source;
};

std::vector<MountLine> ReadMountInfo(const fs::path& file) {
  std::vector<MountLine> mounts;
  std::ifstream in(file);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> f;
    std::string word;
    while (fields >> word) f.push_back(word);
    const auto dash = std::find(f.begin(), f.end(), "-");
    if (f.size() < 6 || dash == f.end() || f.end() - dash < 3) continue;
    MountLine m;
    m.Dev = f[2];
    m.Root = UnescapeMountField(f[3]);
    m.MountPoint = UnescapeMountField(f[4]);
    m.FileSystem = *(dash + 1);
    m.Source = UnescapeMountField(*(dash + 2));
    mounts.push_back(std::move(m));
  }
  return mounts;
}

class PosixDeviceQuery final : public DeviceQuery {
 public:
  explicit PosixDeviceQuery(std::string root) : root_(std::move(root)) {}

  std::vector<int> DiskNumbers() override {
    const Snapshot& s = Take();
    std::vector<int> numbers;
    for (std::size_t i = 0; i < s.Disks.size(); ++i) numbers.push_back(static_cast<int>(i));
    return numbers;
  }

  std::string NativeDevicePath(const std::string& path) override {
    static const std::string prefix = "\\\\.\\";
    static const std::string stem = "PhysicalDrive";
    if (path.compare(0, prefix.size(), prefix) != 0) return path;
    const std::string rest = path.substr(prefix.size());
    const Snapshot& s = Take();
    if (rest.compare(0, stem.size(), stem) == 0) {
      const std::string digits = rest.substr(stem.size());
      if (digits.empty() || digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) return "";
      const std::size_t n = std::stoul(digits);
      if (std::to_string(n) != digits || n >= s.Disks.size()) return "";
      return DeviceNode(s.Disks[n]);
    }
    if (rest.size() == 2 && rest[1] == ':') {
      const MountedVolume* v = VolumeOf(s, rest[0]);
      return v ? DeviceNode(v->DeviceName) : "";
    }
    return "";
  }

  std::optional<DiskGeometry> GetGeometry(ByteStream& device) override {
    const int fd = DescriptorOf(device);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISBLK(st.st_mode)) return std::nullopt;
    std::uint64_t sizeBytes = 0;
    if (ioctl(fd, BLKGETSIZE64, &sizeBytes) != 0) return std::nullopt;
    int sectorBytes = 512;
    if (ioctl(fd, BLKSSZGET, &sectorBytes) != 0 || sectorBytes <= 0) sectorBytes = 512;
    // The geometry Windows reports for a modern disk: 255 heads, 63 sectors, whole cylinders.
    DiskGeometry g;
    g.TracksPerCylinder = 255;
    g.SectorsPerTrack = 63;
    g.BytesPerSector = static_cast<std::uint32_t>(sectorBytes);
    g.Cylinders = static_cast<std::int64_t>(sizeBytes / (255ull * 63ull * static_cast<std::uint64_t>(sectorBytes)));
    g.DiskSizeBytes = static_cast<std::int64_t>(sizeBytes);
    const Snapshot& s = Take();
    const auto node = s.ByDev.find(DevText(st.st_rdev));
    const bool removable =
        node != s.ByDev.end() && ReadNumber(SysBlock() / node->second.DiskName / "removable") == 1;
    g.MediaType = removable ? media_type::RemovableMedia : media_type::FixedMedia;
    return g;
  }

  std::optional<std::int64_t> GetDeviceLength(ByteStream& device) override {
    const int fd = DescriptorOf(device);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) return std::nullopt;
    if (S_ISREG(st.st_mode)) return static_cast<std::int64_t>(st.st_size);
    if (!S_ISBLK(st.st_mode)) return std::nullopt;
    std::uint64_t sizeBytes = 0;
    if (ioctl(fd, BLKGETSIZE64, &sizeBytes) != 0) return std::nullopt;
    return static_cast<std::int64_t>(sizeBytes);
  }

  std::optional<VolumeInformation> GetVolumeInfo(const std::string& rootPath) override {
    const Snapshot& s = Take();
    const MountedVolume* v = VolumeOf(s, LetterOf(rootPath));
    if (!v) return std::nullopt;
    VolumeInformation info;
    info.FileSystem = v->FileSystem;
    info.Label = LinkNameFor(Root("/dev/disk/by-label"), v->DeviceName);
    info.SerialNumber = SerialFromUuid(LinkNameFor(Root("/dev/disk/by-uuid"), v->DeviceName));
    return info;
  }

  std::optional<VolumeSpace> GetVolumeSpace(const std::string& rootPath) override {
    const Snapshot& s = Take();
    const MountedVolume* v = VolumeOf(s, LetterOf(rootPath));
    struct statvfs st {};
    if (!v || statvfs(v->MountPoint.c_str(), &st) != 0) return std::nullopt;
    const auto unit = static_cast<std::int64_t>(st.f_frsize ? st.f_frsize : st.f_bsize);
    VolumeSpace space;
    space.TotalBytes = static_cast<std::int64_t>(st.f_blocks) * unit;
    space.FreeBytesAvailable = static_cast<std::int64_t>(st.f_bavail) * unit;
    space.TotalFreeBytes = static_cast<std::int64_t>(st.f_bfree) * unit;
    return space;
  }

  DriveKind GetDriveKind(const std::string& rootPath) override {
    const Snapshot& s = Take();
    const MountedVolume* v = VolumeOf(s, LetterOf(rootPath));
    if (!v) return DriveKind::NoRootDir;
    const auto node = s.ByName.find(v->DeviceName);
    const std::string disk = node != s.ByName.end() ? node->second.DiskName : v->DeviceName;
    if (disk.compare(0, 2, "sr") == 0) return DriveKind::CdRom;
    if (ReadNumber(SysBlock() / disk / "removable") == 1) return DriveKind::Removable;
    return DriveKind::Fixed;
  }

  std::optional<DiskExtent> GetFirstDiskExtent(const std::string& volumeDevicePath) override {
    // "\\.\E:": the letter is the fifth character.
    if (volumeDevicePath.size() != 6 || volumeDevicePath.compare(0, 4, "\\\\.\\") != 0) return std::nullopt;
    const Snapshot& s = Take();
    const MountedVolume* v = VolumeOf(s, volumeDevicePath[4]);
    if (!v) return std::nullopt;
    const auto node = s.ByName.find(v->DeviceName);
    if (node == s.ByName.end()) return std::nullopt;
    const auto disk = std::find(s.Disks.begin(), s.Disks.end(), node->second.DiskName);
    if (disk == s.Disks.end()) return std::nullopt;
    DiskExtent extent;
    extent.DiskNumber = static_cast<std::uint32_t>(disk - s.Disks.begin());
    extent.StartingOffset = node->second.StartBytes;
    extent.ExtentLength = node->second.LengthBytes;
    return extent;
  }

  std::string VolumeDisplayName(char letter) override {
    const Snapshot& s = Take();
    const MountedVolume* v = VolumeOf(s, letter);
    return v ? v->MountPoint : std::string();
  }

  std::vector<std::string> DevicesHoldingFolder(const std::string& folder) override {
    std::error_code ec;
    fs::path at = fs::absolute(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    struct stat st {};
    while (stat(at.c_str(), &st) != 0) {
      if (!at.has_relative_path()) return {};
      at = at.parent_path();
    }
    const Snapshot& s = Take();
    std::string dev = DevText(st.st_dev);
    if (!s.ByDev.count(dev)) {
      // File systems such as btrfs report an anonymous device; their mount names the real one.
      for (const MountLine& m : ReadMountInfo(Root("/proc/self/mountinfo"))) {
        struct stat src {};
        if (m.Dev == dev && m.Source.compare(0, 5, "/dev/") == 0 && stat(m.Source.c_str(), &src) == 0 &&
            S_ISBLK(src.st_mode)) {
          dev = DevText(src.st_rdev);
          break;
        }
      }
    }
    const auto node = s.ByDev.find(dev);
    if (node == s.ByDev.end()) return {};
    std::vector<std::string> devices;
    AddHolders(s, node->second.Name, devices, 0);
    return devices;
  }

  std::string DeviceKey(const std::string& nativePath) override {
    struct stat st {};
    if (stat(nativePath.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) return "block " + DevText(st.st_rdev);
    std::error_code ec;
    const fs::path canonical = fs::weakly_canonical(nativePath, ec);
    return ec ? nativePath : canonical.string();
  }

 private:
  fs::path Root(const std::string& absolute) const { return fs::path(root_ + absolute); }
  fs::path SysBlock() const { return Root("/sys/block"); }

  static int DescriptorOf(ByteStream& device) {
    if (const auto* file = dynamic_cast<FileStream*>(&device)) return static_cast<int>(file->Handle());
    // A device the desktop's disk service opened for us.
    if (const auto* handed = dynamic_cast<DescriptorStream*>(&device)) return static_cast<int>(handed->Handle());
    return -1;
  }

  static char LetterOf(const std::string& rootPath) {
    return rootPath.size() >= 2 && rootPath[1] == ':' ? rootPath[0] : '\0';
  }

  static const MountedVolume* VolumeOf(const Snapshot& s, char letter) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    if (upper < 'C' || upper > 'Z') return nullptr;
    const std::size_t index = static_cast<std::size_t>(upper - 'C');
    return index < s.Volumes.size() ? &s.Volumes[index] : nullptr;
  }

  // Whole devices of /sys/block that can be listed as disks: not RAM disks, not unbound loop devices.
  bool Listable(const std::string& name) const {
    if (name.compare(0, 3, "ram") == 0 || name.compare(0, 4, "zram") == 0) return false;
    if (name.compare(0, 4, "loop") == 0) {
      std::error_code ec;
      return fs::exists(SysBlock() / name / "loop" / "backing_file", ec);
    }
    return true;
  }

  // One menu build asks a hundred questions within a few milliseconds; they share one reading of
  // the system, and a reading older than SnapshotLifetime is never used.
  const Snapshot& Take() {
    const auto now = std::chrono::steady_clock::now();
    if (!snapshot_ || now - snapshotTime_ > SnapshotLifetime) {
      snapshot_ = std::make_unique<Snapshot>(Read());
      snapshotTime_ = now;
    }
    return *snapshot_;
  }

  Snapshot Read() const {
    Snapshot s;
    std::error_code ec;
    std::vector<std::string> wholeNames;
    for (const auto& entry : fs::directory_iterator(SysBlock(), ec)) wholeNames.push_back(entry.path().filename().string());
    std::sort(wholeNames.begin(), wholeNames.end(), NaturalLess);
    for (const std::string& name : wholeNames) {
      const fs::path dir = SysBlock() / name;
      BlockNode whole;
      whole.Name = name;
      whole.DiskName = name;
      whole.LengthBytes = ReadNumber(dir / "size") * SysfsUnitBytes;
      if (const auto dev = ReadFirstLine(dir / "dev")) s.ByDev[*dev] = whole;
      s.ByName[name] = whole;
      if (Listable(name)) s.Disks.push_back(name);
      for (const auto& sub : fs::directory_iterator(dir, ec)) {
        // Partitions are named after their disk (sdb1, nvme0n1p1); the other entries are attributes.
        const std::string subName = sub.path().filename().string();
        std::error_code subEc;
        if (subName.compare(0, name.size(), name) != 0 || !fs::exists(sub.path() / "partition", subEc)) continue;
        BlockNode part;
        part.Name = sub.path().filename().string();
        part.DiskName = name;
        part.IsPartition = true;
        part.StartBytes = ReadNumber(sub.path() / "start") * SysfsUnitBytes;
        part.LengthBytes = ReadNumber(sub.path() / "size") * SysfsUnitBytes;
        if (const auto dev = ReadFirstLine(sub.path() / "dev")) s.ByDev[*dev] = part;
        s.ByName[part.Name] = part;
      }
    }
    std::vector<MountedVolume> volumes;
    for (const MountLine& m : ReadMountInfo(Root("/proc/self/mountinfo"))) {
      // Bind mounts of a sub-folder show the same device again; only whole mounts count.
      if (m.Root != "/") continue;
      const auto node = s.ByDev.find(m.Dev);
      if (node == s.ByDev.end()) continue;
      volumes.push_back({m.MountPoint, m.FileSystem, node->second.Name});
    }
    std::stable_sort(volumes.begin(), volumes.end(),
                     [](const MountedVolume& a, const MountedVolume& b) { return a.MountPoint < b.MountPoint; });
    for (const MountedVolume& v : volumes) {
      const bool seen = std::any_of(s.Volumes.begin(), s.Volumes.end(),
                                    [&](const MountedVolume& w) { return w.DeviceName == v.DeviceName; });
      if (!seen && s.Volumes.size() < MaxVolumes) s.Volumes.push_back(v);
    }
    return s;
  }

  // The node itself, the disk of a partition, and what a mapped device (dm, md) is built on.
  void AddHolders(const Snapshot& s, const std::string& name, std::vector<std::string>& out, int depth) const {
    const auto node = s.ByName.find(name);
    if (node == s.ByName.end() || depth > 8) return;
    auto add = [&out](const std::string& path) {
      if (std::find(out.begin(), out.end(), path) == out.end()) out.push_back(path);
    };
    add(DeviceNode(name));
    if (node->second.IsPartition) add(DeviceNode(node->second.DiskName));
    std::error_code ec;
    for (const auto& slave : fs::directory_iterator(SysBlock() / node->second.DiskName / "slaves", ec))
      AddHolders(s, slave.path().filename().string(), out, depth + 1);
  }

  // The name of the link in folder (udev's /dev/disk/by-label and the like) that leads to the
  // device, with udev's \xHH escapes decoded; empty when none does.
  static std::string LinkNameFor(const fs::path& folder, const std::string& deviceName) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
      std::error_code linkEc;
      const fs::path target = fs::read_symlink(entry.path(), linkEc);
      if (linkEc || target.filename().string() != deviceName) continue;
      const std::string raw = entry.path().filename().string();
      std::string name;
      for (std::size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\\' && i + 3 < raw.size() && raw[i + 1] == 'x' && std::isxdigit(static_cast<unsigned char>(raw[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(raw[i + 3]))) {
          name += static_cast<char>(std::stoi(raw.substr(i + 2, 2), nullptr, 16));
          i += 3;
        } else {
          name += raw[i];
        }
      }
      return name;
    }
    return "";
  }

  // FAT and exFAT identifiers ("1A2B-3C4D") are the volume serial; NTFS ones (16 digits) hold it in their low half.
  static std::uint32_t SerialFromUuid(const std::string& uuid) {
    std::string hex;
    if (uuid.size() == 9 && uuid[4] == '-') hex = uuid.substr(0, 4) + uuid.substr(5);
    else if (uuid.size() == 16) hex = uuid.substr(8);
    if (hex.size() != 8 || !std::all_of(hex.begin(), hex.end(), ::isxdigit)) return 0;
    return static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16));
  }

  static constexpr std::chrono::milliseconds SnapshotLifetime{500};
  std::string root_;
  std::unique_ptr<Snapshot> snapshot_;
  std::chrono::steady_clock::time_point snapshotTime_;
};

}  // namespace

std::unique_ptr<DeviceQuery> MakeSystemDeviceQuery(const std::string& systemRoot) {
  return std::make_unique<PosixDeviceQuery>(systemRoot);
}

}  // namespace mtsrescue
