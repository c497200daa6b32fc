// The Linux disk and volume queries over a fixture tree of /sys/block, /proc/self/mountinfo and /dev/disk.
#include "platform/DeviceQuery.h"
#include "source/WinNTVolumeList.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

// A machine with: an NVMe system disk (nvme0n1, partitions p1 and p2), a SATA disk (sda, one
// partition), a card reader (sdb, removable, one FAT partition labelled "CARD X"), a DVD drive
// (sr0), a bound loop device (loop2) and an unbound one (loop10), a RAM disk and a zram device.
class PosixFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    std::random_device random;
    root = fs::temp_directory_path() / ("mtsrescue-sys-" + std::to_string(random()));
    Disk("nvme0n1", "259:0", 0, 1000215216);
    Partition("nvme0n1", "nvme0n1p1", "259:1", 2048, 1048576);
    Partition("nvme0n1", "nvme0n1p2", "259:2", 1050624, 999161856);
    Disk("sda", "8:0", 0, 3907029168);
    Partition("sda", "sda1", "8:1", 2048, 3907027120);
    Disk("sdb", "8:16", 1, 31116288);
    Partition("sdb", "sdb1", "8:17", 8192, 31108096);
    Disk("sr0", "11:0", 1, 2097152);
    Disk("loop2", "7:2", 0, 16384);
    Write("sys/block/loop2/loop/backing_file", "/home/me/card.img\n");
    Disk("loop10", "7:10", 0, 0);
    Disk("ram0", "1:0", 0, 8192);
    Disk("zram0", "252:0", 0, 8192);
    // Mount points: "/" (nvme0n1p2), "/boot/efi" (nvme0n1p1), "/data" (sda1), the card twice,
    // a bind mount of a sub-folder, and file systems on no block device.
    mountPoint = fs::temp_directory_path().string();
    Write("proc/self/mountinfo",
          "21 1 259:2 / / rw,relatime shared:1 - ext4 /dev/nvme0n1p2 rw\n"
          "22 21 0:21 / /proc rw,nosuid - proc proc rw\n"
          "23 21 259:1 / /boot/efi rw,relatime shared:2 - vfat /dev/nvme0n1p1 rw\n"
          "24 21 8:1 / " + mountPoint + " rw,relatime shared:3 - ext4 /dev/sda1 rw\n"
          "25 21 8:17 / /media/me/CARD\\040X rw,nosuid shared:4 - vfat /dev/sdb1 rw\n"
          "26 21 8:17 / /zz/card-again rw - vfat /dev/sdb1 rw\n"
          "27 21 8:1 /sub /aa/bind rw - ext4 /dev/sda1 rw\n"
          "28 21 0:44 / /run rw - tmpfs tmpfs rw\n");
    fs::create_directories(root / "dev/disk/by-label");
    fs::create_directories(root / "dev/disk/by-uuid");
    fs::create_symlink("../../sdb1", root / "dev/disk/by-label/CARD\\x20X");
    fs::create_symlink("../../sdb1", root / "dev/disk/by-uuid/1A2B-3C4D");
    fs::create_symlink("../../nvme0n1p2", root / "dev/disk/by-uuid/0f1e2d3c-aaaa-bbbb-cccc-0123456789ab");
    query = MakeSystemDeviceQuery(root.string());
  }
  void TearDown() override { fs::remove_all(root); }

  void Write(const std::string& relative, const std::string& text) {
    fs::create_directories((root / relative).parent_path());
    std::ofstream(root / relative) << text;
  }
  void Disk(const std::string& name, const std::string& dev, int removable, std::int64_t sectors) {
    Write("sys/block/" + name + "/dev", dev + "\n");
    Write("sys/block/" + name + "/removable", std::to_string(removable) + "\n");
    Write("sys/block/" + name + "/size", std::to_string(sectors) + "\n");
  }
  void Partition(const std::string& disk, const std::string& name, const std::string& dev, std::int64_t start,
                 std::int64_t sectors) {
    const std::string dir = "sys/block/" + disk + "/" + name + "/";
    Write(dir + "dev", dev + "\n");
    Write(dir + "partition", "1\n");
    Write(dir + "start", std::to_string(start) + "\n");
    Write(dir + "size", std::to_string(sectors) + "\n");
  }

  fs::path root;
  std::string mountPoint;
  std::unique_ptr<DeviceQuery> query;
};

TEST_F(PosixFixture, DisksAreTheWholeDevicesInNameOrder) {
  // loop2, nvme0n1, sda, sdb, sr0: no RAM disks, no unbound loop device.
  EXPECT_EQ(query->DiskNumbers(), (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive0"), "/dev/loop2");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive1"), "/dev/nvme0n1");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive3"), "/dev/sdb");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive4"), "/dev/sr0");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive5"), "");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive03"), "");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive"), "");
  EXPECT_EQ(query->NativeDevicePath("/home/me/card.img"), "/home/me/card.img");
}

TEST_F(PosixFixture, LoopDevicesSortByNumber) {
  Disk("loop9", "7:9", 0, 16384);
  Write("sys/block/loop9/loop/backing_file", "/a.img\n");
  Write("sys/block/loop10/loop/backing_file", "/b.img\n");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive0"), "/dev/loop2");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive1"), "/dev/loop9");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\PhysicalDrive2"), "/dev/loop10");
}

TEST_F(PosixFixture, VolumesTakeLettersInOrderOfMountPoint) {
  // "/", "/boot/efi", mountPoint (under /tmp), "/media/me/CARD X"; the second mount of the card and
  // the bind mount of a sub-folder are no volumes of their own.
  EXPECT_EQ(query->VolumeDisplayName('C'), "/");
  EXPECT_EQ(query->VolumeDisplayName('D'), "/boot/efi");
  EXPECT_EQ(query->VolumeDisplayName('E'), "/media/me/CARD X");
  EXPECT_EQ(query->VolumeDisplayName('F'), mountPoint);
  EXPECT_EQ(query->VolumeDisplayName('G'), "");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\C:"), "/dev/nvme0n1p2");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\E:"), "/dev/sdb1");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\G:"), "");
}

TEST_F(PosixFixture, VolumeInformationComesFromMountsAndLinks) {
  const auto card = query->GetVolumeInfo("E:\\");
  ASSERT_TRUE(card.has_value());
  EXPECT_EQ(card->Label, "CARD X");
  EXPECT_EQ(card->SerialNumber, 0x1A2B3C4Du);
  EXPECT_EQ(card->FileSystem, "vfat");
  const auto system = query->GetVolumeInfo("C:\\");
  ASSERT_TRUE(system.has_value());
  EXPECT_EQ(system->Label, "");
  EXPECT_EQ(system->SerialNumber, 0u);  // not a FAT or NTFS identifier
  EXPECT_FALSE(query->GetVolumeInfo("G:\\").has_value());

  EXPECT_EQ(query->GetDriveKind("C:\\"), DriveKind::Fixed);
  EXPECT_EQ(query->GetDriveKind("E:\\"), DriveKind::Removable);
  EXPECT_EQ(query->GetDriveKind("G:\\"), DriveKind::NoRootDir);

  const auto extent = query->GetFirstDiskExtent("\\\\.\\E:");
  ASSERT_TRUE(extent.has_value());
  EXPECT_EQ(extent->DiskNumber, 3u);
  EXPECT_EQ(extent->StartingOffset, 8192 * 512);
  EXPECT_EQ(extent->ExtentLength, std::int64_t{31108096} * 512);

  EXPECT_FALSE(query->GetVolumeSpace("E:\\").has_value());  // its mount point does not exist here
  const auto space = query->GetVolumeSpace("F:\\");           // a real folder
  ASSERT_TRUE(space.has_value());
  EXPECT_GT(space->TotalBytes, 0);
  EXPECT_LE(space->FreeBytesAvailable, space->TotalFreeBytes);
}

TEST_F(PosixFixture, VolumeListCaptionsNameTheMountPoint) {
  const TNTVolumeList list(*query);
  ASSERT_EQ(list.Count(), 4);
  EXPECT_EQ(list.GetLetter(2), "E");
  EXPECT_EQ(list.GetCaption(2), "CARD X (/media/me/CARD X), RD3, vfat, [0.00 MB/0.00 MB]");
  EXPECT_EQ(list.GetCaption(1), " (/boot/efi), HD1, vfat, [0.00 MB/0.00 MB]");
  EXPECT_EQ(list.GetCaption(3).rfind(" (" + mountPoint + "), HD2, ext4, [", 0), 0u) << list.GetCaption(3);
}

TEST_F(PosixFixture, AnEmptyOrMissingTreeGivesNothing) {
  const auto empty = MakeSystemDeviceQuery((root / "nothing").string());
  EXPECT_TRUE(empty->DiskNumbers().empty());
  EXPECT_EQ(empty->VolumeDisplayName('C'), "");
  EXPECT_EQ(empty->GetDriveKind("C:\\"), DriveKind::NoRootDir);
  EXPECT_EQ(TNTVolumeList(*empty).Count(), 0);
}

}  // namespace
}  // namespace mtsrescue
