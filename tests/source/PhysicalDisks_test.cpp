// Disk probe, capacity, media-type and size texts, against a fake system.
#include "source/PhysicalDisks.h"

#include "FakePlatform.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

using test::DiskOf;
using test::FakeDeviceQuery;

TEST(FormatDiskSize, MatchesTheTableToTheCharacter) {
  const std::pair<std::int64_t, const char*> cases[] = {
      {0, "0 B"},
      {1023, "1023 B"},
      {1024, "1 KB"},
      {1034, "1 KB"},  // remainder 10: hundredths 0, no fraction
      {1035, "1.01 KB"},
      {1536, "1.50 KB"},
      {1048575, "1023.99 KB"},
      {1048576, "1 MB"},
      {8589934592, "8 GB"},
      {500105249280, "465.75 GB"},
      {1000204886016, "931.51 GB"},
      {2000398934016, "1.81 TB"},
      {1099511627776, "1 TB"},
      {1125899906842624, "1024 TB"},  // no unit above TB
      {4000784417280, "3.63 TB"},
      {1024 + 102, "1.09 KB"},  // hundredths below 10 keep their leading zero
  };
  for (const auto& [bytes, text] : cases) EXPECT_EQ(FormatDiskSize(bytes), text) << bytes;
}

TEST(MediaTypeText, MapsEachRangeAndRejectsTheRest) {
  EXPECT_EQ(MediaTypeText(0), "Unknown Media Type");
  EXPECT_EQ(MediaTypeText(1), "Floppy Disk");
  EXPECT_EQ(MediaTypeText(10), "Floppy Disk");
  EXPECT_EQ(MediaTypeText(11), "Removable Drive");
  EXPECT_EQ(MediaTypeText(12), "Fixed Drive");
  EXPECT_EQ(MediaTypeText(13), "Zip / Other");
  EXPECT_EQ(MediaTypeText(25), "Zip / Other");
  EXPECT_EQ(MediaTypeText(26), "UNKNOWN");
  EXPECT_EQ(MediaTypeText(-1), "UNKNOWN");
}

class DiskCapacity : public ::testing::Test {
 protected:
  std::int64_t CapacityOf(const test::FakeDisk& disk) {
    query.Disks[0] = disk;
    const auto device = query.Open("\\\\.\\PhysicalDrive0", OpenMode::ReadShared);
    return GetDiskCapacity(*device, query);
  }
  FakeDeviceQuery query;
};

TEST_F(DiskCapacity, IsTheTrueLengthNotWholeCylinders) {
  // 60,801 whole cylinders make 500,105,249,280 bytes; the disk holds 2,612,736 more.
  const auto disk = DiskOf(500107862016, media_type::FixedMedia);
  ASSERT_EQ(disk.Geometry->Cylinders, 60801);
  EXPECT_EQ(CapacityOf(disk), 500107862016);
}

TEST_F(DiskCapacity, FallsBackFromLengthToDiskSizeToCylindersToStream) {
  auto disk = DiskOf(500107862016, media_type::FixedMedia);
  disk.Length.reset();
  EXPECT_EQ(CapacityOf(disk), 500107862016);  // extended geometry's disk size

  disk.Geometry->DiskSizeBytes = 0;
  EXPECT_EQ(CapacityOf(disk), 500105249280);  // whole cylinders, the last resort of the geometry

  disk.Geometry.reset();
  EXPECT_EQ(CapacityOf(disk), 500107862016);  // the stream's own size

  disk.StreamSize = -1;
  EXPECT_EQ(CapacityOf(disk), 0);
}

TEST_F(DiskCapacity, CylinderProductBeyondTwoTebibytesDoesNotOverflow) {
  test::FakeDisk disk;
  disk.Geometry = DiskGeometry{486401, 255, 63, 512, media_type::FixedMedia, 0};
  EXPECT_EQ(CapacityOf(disk), 4000784417280);
}

TEST(AppendDiskEntries, ListsEveryDiskThatOpensWithItsCaption) {
  FakeDeviceQuery query;
  query.Disks[0] = DiskOf(500105249280, media_type::FixedMedia);
  query.Disks[1] = DiskOf(1000204886016, media_type::FixedMedia);
  query.Disks[2] = DiskOf(2000398934016, media_type::FixedMedia);
  query.Disks[3] = DiskOf(15931539456, media_type::RemovableMedia);  // the card reader
  SourceMenu pop{{"Openimage", "x", 19}};
  AppendDiskEntries(pop, query.Platform());

  ASSERT_EQ(pop.size(), 5u);
  EXPECT_EQ(pop[0].Name, "Openimage");  // entries already there stay first
  EXPECT_EQ(pop[1].Name, "PhysicalDrive0");
  EXPECT_EQ(pop[1].Caption, "HD0, Fixed Drive, [465.75 GB]");
  EXPECT_EQ(pop[1].ImageIndex, 17);
  EXPECT_EQ(pop[3].Caption, "HD2, Fixed Drive, [1.81 TB]");
  EXPECT_EQ(pop[4].Name, "PhysicalDrive3");
  EXPECT_EQ(pop[4].Caption, "HD3, Removable Drive, [14.83 GB]");
}

TEST(AppendDiskEntries, ADiskThatFailsDoesNotHideTheOnesAfterIt) {
  FakeDeviceQuery query;
  query.Disks[0] = DiskOf(500105249280, media_type::FixedMedia);
  query.Disks[0].Opens = false;  // in use, or no rights
  query.Disks[2] = DiskOf(1048576, media_type::RemovableMedia);
  query.Disks[7] = DiskOf(2048, media_type::RemovableMedia);
  SourceMenu pop;
  AppendDiskEntries(pop, query.Platform());
  ASSERT_EQ(pop.size(), 2u);
  EXPECT_EQ(pop[0].Caption, "HD2, Removable Drive, [1 MB]");
  EXPECT_EQ(pop[1].Name, "PhysicalDrive7");
  EXPECT_EQ(pop[1].Caption, "HD7, Removable Drive, [2 KB]");
}

TEST(AppendDiskEntries, ProbesReadOnlyAndSharedOnly) {
  FakeDeviceQuery query;
  query.Disks[0] = DiskOf(500105249280, media_type::FixedMedia);
  query.Disks[1] = DiskOf(1048576, media_type::RemovableMedia);
  SourceMenu pop;
  AppendDiskEntries(pop, query.Platform());
  ASSERT_EQ(query.Opens.size(), 2u);
  for (const auto& [path, mode] : query.Opens) EXPECT_EQ(mode, OpenMode::ReadShared) << path;
}

TEST(AppendDiskEntries, ADiskWithoutGeometryIsStillListed) {
  FakeDeviceQuery query;
  test::FakeDisk disk;
  disk.StreamSize = 1536;
  query.Disks[0] = disk;
  SourceMenu pop;
  AppendDiskEntries(pop, query.Platform());
  ASSERT_EQ(pop.size(), 1u);
  EXPECT_EQ(pop[0].Caption, "HD0, Unknown Media Type, [1.50 KB]");
}

}  // namespace
}  // namespace mtsrescue
