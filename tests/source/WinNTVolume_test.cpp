// Volume information and the volume list: which letters are listed and how their captions read.
#include "source/WinNTVolumeInfo.h"
#include "source/WinNTVolumeList.h"

#include "FakePlatform.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

using test::FakeDeviceQuery;
using test::VolumeOf;

TEST(FormatSpace, MatchesTheTableToTheCharacter) {
  // The decimal separator is "." on this build (C locale rules), whatever the user's settings.
  EXPECT_EQ(TNTVolumeList::FormatSpace(0), "0.00 MB");
  EXPECT_EQ(TNTVolumeList::FormatSpace(524288), "0.50 MB");
  EXPECT_EQ(TNTVolumeList::FormatSpace(1048575), "1.00 MB");  // still MB, rounded
  EXPECT_EQ(TNTVolumeList::FormatSpace(1048576), "0.00 GB");  // the threshold is 1 MiB
  EXPECT_EQ(TNTVolumeList::FormatSpace(524288000), "0.49 GB");
  EXPECT_EQ(TNTVolumeList::FormatSpace(15931539456), "14.84 GB");
  EXPECT_EQ(TNTVolumeList::FormatSpace(107374182400), "100.00 GB");
  EXPECT_EQ(TNTVolumeList::FormatSpace(1099511627776.0 * 2), "2048.00 GB");  // no thousands separator
}

TEST(TNTVolumeInfo, TakesWhatTheQueriesSay) {
  FakeDeviceQuery query;
  auto volume = VolumeOf("Data", "NTFS", DriveKind::Fixed, 1, 500, 1000);
  volume.Info->SerialNumber = 0x00ABCDEF;
  query.Volumes['D'] = volume;
  const TNTVolumeInfo info("D", query);
  EXPECT_EQ(info.Letter, "D");
  EXPECT_EQ(info.VolumeLabel, "Data");
  EXPECT_EQ(info.SerialNumber, "00ABCDEF");
  EXPECT_EQ(info.FileSystem, "NTFS");
  EXPECT_EQ(info.TotalBytes, 1000);
  EXPECT_EQ(info.FreeBytes, 500);
  EXPECT_EQ(info.DriveType, "HD");
  EXPECT_EQ(info.DiskNumber, 1u);
  EXPECT_EQ(info.StartingOffset, 1048576);
  EXPECT_EQ(info.ExtentLength, 1000);
  EXPECT_EQ(query.RootsQueried, std::vector<std::string>{"D:\\"});
  EXPECT_EQ(query.ExtentQueries, std::vector<std::string>{"\\\\.\\D:"});
}

TEST(TNTVolumeInfo, FailedQueriesLeaveTheDefaults) {
  FakeDeviceQuery query;
  test::FakeVolume volume;  // no information, no space, no extent
  volume.Kind = DriveKind::Removable;
  query.Volumes['E'] = volume;
  const TNTVolumeInfo info("E", query);
  EXPECT_EQ(info.VolumeLabel, "");
  EXPECT_EQ(info.SerialNumber, "");
  EXPECT_EQ(info.FileSystem, "");
  EXPECT_EQ(info.TotalBytes, 0);
  EXPECT_EQ(info.FreeBytes, 0);
  EXPECT_EQ(info.DriveType, "RD");
  EXPECT_EQ(info.DiskNumber, UnknownDiskNumber);
}

TEST(TNTVolumeInfo, AsksForExtentsOnlyOnRemovableAndFixedDrives) {
  FakeDeviceQuery query;
  query.Volumes['F'] = VolumeOf("DVD", "UDF", DriveKind::CdRom, 0, 0, 100);
  query.Volumes['G'] = VolumeOf("RAM", "FAT", DriveKind::RamDisk, 0, 0, 100);
  query.Volumes['H'] = VolumeOf("Share", "NTFS", DriveKind::Remote, 0, 0, 100);
  EXPECT_EQ(TNTVolumeInfo("F", query).DiskNumber, UnknownDiskNumber);
  EXPECT_EQ(TNTVolumeInfo("G", query).DriveType, "RD");
  EXPECT_EQ(TNTVolumeInfo("H", query).DriveType, "ND");
  EXPECT_TRUE(query.ExtentQueries.empty());
  EXPECT_EQ(DriveTypeCode(DriveKind::NoRootDir), "");
  EXPECT_EQ(DriveTypeCode(DriveKind::Unknown), "");
  EXPECT_EQ(DriveTypeCode(static_cast<DriveKind>(9)), "");
}

TEST(TNTVolumeList, ListsLettersWithAKnownDiskOrALabel) {
  FakeDeviceQuery query;
  query.Volumes['C'] = VolumeOf("System", "NTFS", DriveKind::Fixed, 0, 10737418240, 107374182400);
  query.Volumes['D'] = VolumeOf("Data", "NTFS", DriveKind::Fixed, 0, 53687091200, 107374182400);
  query.Volumes['E'] = VolumeOf("", "FAT32", DriveKind::Removable, 1, 1288490189, 4026531840);
  query.Volumes['F'] = VolumeOf("DISC", "CDFS", DriveKind::CdRom, std::nullopt, 0, 734003200);
  query.Volumes['G'] = VolumeOf("", "CDFS", DriveKind::CdRom, std::nullopt, 0, 734003200);  // no label: left out
  query.Volumes['H'] = VolumeOf("Share", "NTFS", DriveKind::Remote, std::nullopt, 1048576, 2097152);
  query.Volumes['I'] = VolumeOf("", "FAT32", DriveKind::Removable, std::nullopt, 0, 0);  // extents fail, no label
  query.Volumes['J'] = VolumeOf("RAM", "FAT", DriveKind::RamDisk, std::nullopt, 0, 524288);
  query.Volumes['K'] = VolumeOf("", "", DriveKind::Fixed, 2, 0, 0);
  query.Volumes['K'].Info.reset();   // file system not recognised
  query.Volumes['K'].Space.reset();
  query.Volumes['L'] = VolumeOf("", "NTFS", DriveKind::Fixed, 255, 0, 1048576);  // disk 255 is no disk
  query.Volumes['Z'] = VolumeOf("Last", "exFAT", DriveKind::Removable, 3, 0, 1048576);

  const TNTVolumeList list(query);
  const std::vector<std::string> letters{"C", "D", "E", "F", "H", "J", "K", "Z"};
  EXPECT_EQ(list.Letters, letters);
  ASSERT_EQ(list.Count(), 8);
  EXPECT_EQ(list.GetCaption(0), "System (C:), HD0, NTFS, [10.00 GB/100.00 GB]");
  EXPECT_EQ(list.GetCaption(1), "Data (D:), HD0, NTFS, [50.00 GB/100.00 GB]");
  EXPECT_EQ(list.GetCaption(2), " (E:), RD1, FAT32, [1.20 GB/3.75 GB]");
  EXPECT_EQ(list.GetCaption(3), "DISC (F:), CD255, CDFS, [0.00 MB/0.68 GB]");
  EXPECT_EQ(list.GetCaption(4), "Share (H:), ND255, NTFS, [0.00 GB/0.00 GB]");
  EXPECT_EQ(list.GetCaption(5), "RAM (J:), RD255, FAT, [0.00 MB/0.50 MB]");
  EXPECT_EQ(list.GetCaption(6), " (K:), HD2, , [0.00 MB/0.00 MB]");
  EXPECT_EQ(list.GetLetter(7), "Z");
  EXPECT_EQ(list.Item.Letter, "Z");  // the last one listed
  EXPECT_EQ(list.Item.DiskTag, "RD3");
  EXPECT_TRUE(list.Item.Filled);
}

TEST(TNTVolumeList, ExaminesCToZOnlyAndListsNothingOnAnEmptySystem) {
  FakeDeviceQuery query;
  query.Volumes['A'] = VolumeOf("Floppy", "FAT", DriveKind::Removable, 0, 0, 1474560);
  const TNTVolumeList list(query);
  EXPECT_EQ(list.Count(), 0);
  EXPECT_FALSE(list.Item.Filled);
  ASSERT_EQ(query.RootsQueried.size(), 24u);
  EXPECT_EQ(query.RootsQueried.front(), "C:\\");
  EXPECT_EQ(query.RootsQueried.back(), "Z:\\");
}

TEST(TNTVolumeList, CaptionNamesTheMountPointWhereTheSystemHasNoLetters) {
  FakeDeviceQuery query;
  query.Volumes['D'] = VolumeOf("CARD", "vfat", DriveKind::Removable, 1, 1048576, 3221225472);
  query.Volumes['D'].DisplayName = "/media/user/CARD";
  const TNTVolumeList list(query);
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.GetCaption(0), "CARD (/media/user/CARD), RD1, vfat, [0.00 GB/3.00 GB]");
  EXPECT_EQ(list.GetLetter(0), "D");
}

}  // namespace
}  // namespace mtsrescue
