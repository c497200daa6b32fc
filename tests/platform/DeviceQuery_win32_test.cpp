// The Windows disk and volume queries against the running system (real Windows or Wine): drive
// types, volume information and space, extents of missing drives, the disks' numbers and geometry,
// and which devices hold a folder.
#include "platform/DeviceQuery.h"
#include "platform/FileStream.h"
#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>

namespace mtsrescue {
namespace {

using test::TempFolder;

// The letter of the drive that holds the temporary folder ("C" as a rule), or 0.
char TempDriveLetter() {
  wchar_t path[MAX_PATH + 1] = {};
  if (GetTempPathW(MAX_PATH + 1, path) == 0 || path[1] != L':') return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
}

// A letter that names no drive, or 0 when all are taken.
char UnusedLetter() {
  const DWORD drives = GetLogicalDrives();
  for (int i = 25; i >= 3; --i) {
    if ((drives & (1u << i)) == 0) return static_cast<char>('A' + i);
  }
  return 0;
}

class DeviceQueryWin32 : public ::testing::Test {
 protected:
  std::unique_ptr<DeviceQuery> query = MakeSystemDeviceQuery();
};

TEST_F(DeviceQueryWin32, TheTemporaryFoldersDriveIsAFixedVolumeWithSpaceAndAFileSystem) {
  const char letter = TempDriveLetter();
  ASSERT_NE(letter, 0);
  const std::string root = std::string(1, letter) + ":\\";
  EXPECT_EQ(query->GetDriveKind(root), DriveKind::Fixed);
  const auto info = query->GetVolumeInfo(root);
  ASSERT_TRUE(info.has_value());
  EXPECT_FALSE(info->FileSystem.empty());
  const auto space = query->GetVolumeSpace(root);
  ASSERT_TRUE(space.has_value());
  EXPECT_GT(space->TotalBytes, 0);
  EXPECT_GE(space->TotalBytes, space->TotalFreeBytes);
  EXPECT_GE(space->TotalFreeBytes, space->FreeBytesAvailable);
  EXPECT_GE(space->FreeBytesAvailable, 0);
}

TEST_F(DeviceQueryWin32, AMissingDriveAnswersNothing) {
  const char letter = UnusedLetter();
  if (letter == 0) GTEST_SKIP() << "every drive letter is in use";
  const std::string root = std::string(1, letter) + ":\\";
  EXPECT_EQ(query->GetDriveKind(root), DriveKind::NoRootDir);
  EXPECT_FALSE(query->GetVolumeInfo(root).has_value());
  EXPECT_FALSE(query->GetVolumeSpace(root).has_value());
  EXPECT_FALSE(query->GetFirstDiskExtent("\\\\.\\" + std::string(1, letter) + ":").has_value());
}

TEST_F(DeviceQueryWin32, AnOrdinaryFileHasNoGeometryAndItsSizeAsLength) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", std::vector<std::uint8_t>(5000, 7));
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  EXPECT_FALSE(query->GetGeometry(*stream).has_value());
  const auto length = query->GetDeviceLength(*stream);
  if (length.has_value()) {
    EXPECT_EQ(*length, 5000);
  }
}

// Disk numbers come ascending and once each. A disk that opens (real Windows with administrator
// rights, or Wine's stand-in disk) answers the geometry, and whole cylinders never exceed the
// disk's true size.
TEST_F(DeviceQueryWin32, DisksComeInOrderAndTheirGeometryIsConsistent) {
  const std::vector<int> numbers = query->DiskNumbers();
  EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
  EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());
  int opened = 0;
  for (const int n : numbers) {
    const std::string path = "\\\\.\\PhysicalDrive" + std::to_string(n);
    ASSERT_EQ(query->NativeDevicePath(path), path);
    std::unique_ptr<FileStream> disk;
    try {
      disk = FileStream::Open(path, OpenMode::ReadShared);
    } catch (const StreamError&) {
      continue;  // missing, or no rights: the source menu leaves it out
    }
    ++opened;
    const auto geometry = query->GetGeometry(*disk);
    ASSERT_TRUE(geometry.has_value()) << path;
    EXPECT_GT(geometry->BytesPerSector, 0u) << path;
    EXPECT_GT(geometry->Cylinders, 0) << path;
    if (geometry->DiskSizeBytes > 0) {
      const std::int64_t wholeCylinders = geometry->Cylinders * geometry->TracksPerCylinder *
                                          geometry->SectorsPerTrack * geometry->BytesPerSector;
      EXPECT_LE(wholeCylinders, geometry->DiskSizeBytes) << path;
    }
  }
  RecordProperty("DisksOpened", opened);
}

TEST_F(DeviceQueryWin32, AFolderIsHeldByTheVolumeOfItsDriveAlsoBeforeItExists) {
  const char letter = TempDriveLetter();
  ASSERT_NE(letter, 0);
  TempFolder folder;
  const std::string volume = "\\\\.\\" + std::string(1, letter) + ":";
  const std::vector<std::string> devices = query->DevicesHoldingFolder(folder.Path());
  ASSERT_FALSE(devices.empty());
  EXPECT_EQ(query->DeviceKey(devices.front()), query->DeviceKey(volume));
  // A destination not made yet is judged by the nearest folder that exists.
  EXPECT_EQ(query->DevicesHoldingFolder(folder.Path() + "\\not\\made\\yet"), devices);
}

TEST_F(DeviceQueryWin32, DeviceKeysIgnoreCaseAndTheLongPathPrefix) {
  EXPECT_EQ(query->DeviceKey("\\\\?\\e:"), query->DeviceKey("\\\\.\\E:"));
  EXPECT_EQ(query->DeviceKey("\\\\.\\physicaldrive1"), query->DeviceKey("\\\\.\\PhysicalDrive1"));
  EXPECT_NE(query->DeviceKey("\\\\.\\PhysicalDrive1"), query->DeviceKey("\\\\.\\PhysicalDrive11"));
}

TEST_F(DeviceQueryWin32, VolumesAreNamedByTheirLetterAndColon) {
  EXPECT_EQ(query->VolumeDisplayName('E'), "E:");
  EXPECT_EQ(query->NativeDevicePath("\\\\.\\E:"), "\\\\.\\E:");
  EXPECT_EQ(query->NativeDevicePath("D:\\images\\card.img"), "D:\\images\\card.img");
}

}  // namespace
}  // namespace mtsrescue
