// The source menu's order and the choice of a source: resolution, measuring, failures and stale lengths.
#include "source/DestinationCheck.h"
#include "source/SourceMenu.h"
#include "source/SourceSelection.h"

#include "FakePlatform.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

using test::DiskOf;
using test::FakeDeviceQuery;
using test::VolumeOf;

std::vector<std::string> Names(const SourceMenu& pop) {
  std::vector<std::string> names;
  for (const auto& e : pop) names.push_back(e.IsSeparator() ? "-" : e.Name);
  return names;
}

TEST(BuildSourceMenu, ImageThenVolumesThenDisks) {
  FakeDeviceQuery query;
  query.Volumes['C'] = VolumeOf("System", "NTFS", DriveKind::Fixed, 0, 0, 1048576);
  query.Volumes['E'] = VolumeOf("", "FAT32", DriveKind::Removable, 1, 0, 1048576);
  query.Disks[0] = DiskOf(500105249280, media_type::FixedMedia);
  query.Disks[1] = DiskOf(1048576, media_type::RemovableMedia);
  SourceMenu pop{{"stale", "left from the last opening", 17}};
  BuildSourceMenu(pop, query.Platform());

  EXPECT_EQ(Names(pop), (std::vector<std::string>{"Openimage", "-", "Cxx", "Exx", "-", "PhysicalDrive0", "PhysicalDrive1"}));
  EXPECT_EQ(pop[0].Caption, "打开磁盘镜像");
  EXPECT_EQ(pop[0].ImageIndex, 19);
  EXPECT_EQ(pop[1].Caption, "-");
  EXPECT_EQ(pop[1].ImageIndex, -1);
  EXPECT_EQ(pop[3].Caption, " (E:), RD1, FAT32, [0.00 MB/0.00 GB]");
  EXPECT_EQ(pop[3].ImageIndex, 18);
  EXPECT_EQ(pop[5].Caption, "HD0, Fixed Drive, [465.75 GB]");
  EXPECT_EQ(pop[6].ImageIndex, 17);
}

TEST(BuildSourceMenu, WithoutVolumesOneSeparatorStandsBeforeTheDisks) {
  FakeDeviceQuery query;
  SourceMenu pop;
  BuildSourceMenu(pop, query.Platform());
  EXPECT_EQ(Names(pop), (std::vector<std::string>{"Openimage", "-"}));
  query.Disks[4] = DiskOf(1048576, media_type::RemovableMedia);
  BuildSourceMenu(pop, query.Platform());
  EXPECT_EQ(Names(pop), (std::vector<std::string>{"Openimage", "-", "PhysicalDrive4"}));
}

TEST(ResolveShortForm, FollowsTheFormOfTheText) {
  EXPECT_EQ(ResolveShortForm("PhysicalDrive1"), "\\\\.\\PhysicalDrive1");
  EXPECT_EQ(ResolveShortForm("E:"), "\\\\.\\E:");
  EXPECT_EQ(ResolveShortForm("E:\\"), "\\\\.\\E:");               // three characters still name the volume
  EXPECT_EQ(ResolveShortForm("E:\\a"), "E:\\a");                  // a file on E: is a file
  EXPECT_EQ(ResolveShortForm("C:\\cards\\card.img"), "C:\\cards\\card.img");
  EXPECT_EQ(ResolveShortForm("/home/me/card.img"), "/home/me/card.img");
  EXPECT_EQ(ResolveShortForm("physicaldrive1"), "physicaldrive1");  // case counts
  EXPECT_EQ(EntryShortForm("PhysicalDrive12"), "PhysicalDrive12");
  EXPECT_EQ(EntryShortForm("Exx"), "E:");
  EXPECT_EQ(EntryShortForm("Openimage"), "");
}

class Selection : public ::testing::Test {
 protected:
  Selection() : selection(query.Platform()) {
    query.Disks[0] = DiskOf(500107862016, media_type::FixedMedia);
    query.Disks[1] = DiskOf(15931539456, media_type::RemovableMedia);
    auto card = VolumeOf("", "FAT32", DriveKind::Removable, 1, 1288490189, 4026531840);
    card.DeviceLength = 4031774720;  // the partition is longer than what FAT32 manages
    query.Volumes['E'] = card;
    query.Files["/cards/a.img"] = 8388608;
    query.Files["/cards/empty.img"] = 0;
  }
  static ImageChooser Choose(std::optional<std::string> file) {
    return [file] { return file; };
  }
  FakeDeviceQuery query;
  SourceSelection selection;
};

TEST_F(Selection, ADiskIsItsDevicePathAndItsTrueLength) {
  selection.SourceItemClick("PhysicalDrive1", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\PhysicalDrive1");
  EXPECT_EQ(selection.SourceText(), "PhysicalDrive1");
  EXPECT_EQ(selection.FSourceSize, 15931539456);
  selection.SourceItemClick("PhysicalDrive0", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourceSize, 500107862016);  // not the 500,105,249,280 of whole cylinders
}

TEST_F(Selection, AVolumeIsMeasuredByItsDevice) {
  selection.SourceItemClick("Exx", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\E:");
  EXPECT_EQ(selection.SourceText(), "E:");
  EXPECT_EQ(selection.FSourceSize, 4031774720);
}

TEST_F(Selection, AVolumeWithADamagedFileSystemIsStillScannedWhole) {
  query.Volumes['E'].Info.reset();
  query.Volumes['E'].Space.reset();  // the file system is not recognised: its total is 0
  selection.SourceItemClick("Exx", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourceSize, 4031774720);
}

TEST_F(Selection, TheFileSystemTotalServesOnlyWhenTheDeviceCannotTell) {
  query.Volumes['E'].DeviceLength.reset();
  selection.SourceItemClick("Exx", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourceSize, 4026531840);
}

TEST_F(Selection, AnImageIsItsPathAndItsFileLength) {
  selection.SourceItemClick("Openimage", Choose("/cards/a.img"));
  EXPECT_EQ(selection.FSourcePath, "/cards/a.img");
  EXPECT_EQ(selection.SourceText(), "/cards/a.img");
  EXPECT_EQ(selection.FSourceSize, 8388608);
  selection.SourceItemClick("Openimage", Choose("/cards/empty.img"));
  EXPECT_EQ(selection.FSourceSize, 0);
}

TEST_F(Selection, CancellingTheDialogChangesNothing) {
  selection.SourceItemClick("PhysicalDrive1", Choose(std::nullopt));
  const auto opens = query.Opens.size();
  selection.SourceItemClick("Openimage", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\PhysicalDrive1");
  EXPECT_EQ(selection.SourceText(), "PhysicalDrive1");
  EXPECT_EQ(query.Opens.size(), opens);
}

TEST_F(Selection, ChoosingTheCurrentSourceAgainDoesNotMeasureAgain) {
  selection.SourceItemClick("PhysicalDrive1", Choose(std::nullopt));
  query.Disks[1].Length = 1;  // would show if it were measured again
  query.Disks[1].Geometry->DiskSizeBytes = 1;
  selection.SourceItemClick("PhysicalDrive1", Choose(std::nullopt));
  EXPECT_EQ(selection.FSourceSize, 15931539456);
  EXPECT_EQ(query.Opens.size(), 1u);
}

TEST_F(Selection, SourcesAreOpenedReadOnlyAndShared) {
  selection.SourceItemClick("PhysicalDrive0", Choose(std::nullopt));
  selection.SourceItemClick("Exx", Choose(std::nullopt));
  selection.SourceItemClick("Openimage", Choose("/cards/a.img"));
  ASSERT_EQ(query.Opens.size(), 3u);
  for (const auto& [path, mode] : query.Opens) EXPECT_EQ(mode, OpenMode::ReadShared) << path;
}

TEST_F(Selection, AFailedOpenKeepsTheChoiceAndTheOldLengthAndIsReported) {
  selection.SourceItemClick("Openimage", Choose("/cards/a.img"));
  query.Volumes['E'].Opens = false;  // the card is not in the reader yet
  try {
    selection.SourceItemClick("Exx", Choose(std::nullopt));
    FAIL() << "no error for a source that cannot be opened";
  } catch (const StreamError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"\\\\.\\E:\". ", 0), 0u) << e.what();
  }
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\E:");
  EXPECT_EQ(selection.SourceText(), "E:");
  EXPECT_EQ(selection.FSourceSize, 8388608);  // the image's, left over
  EXPECT_FALSE(selection.Measured());
}

TEST_F(Selection, ARunMeasuresAStaleSourceAgainOrReportsIt) {
  query.Volumes['E'].Opens = false;
  EXPECT_THROW(selection.SourceItemClick("Exx", Choose(std::nullopt)), StreamError);
  EXPECT_EQ(selection.FSourceSize, 0);
  EXPECT_THROW(selection.MeasureIfStale(), StreamError);  // still missing: the run must not go on
  EXPECT_FALSE(selection.Measured());

  query.Volumes['E'].Opens = true;  // the card is in now
  selection.MeasureIfStale();
  EXPECT_TRUE(selection.Measured());
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\E:");
  EXPECT_EQ(selection.FSourceSize, 4031774720);

  const auto opens = query.Opens.size();
  selection.MeasureIfStale();  // measured: nothing to do
  EXPECT_EQ(query.Opens.size(), opens);
}

TEST_F(Selection, ADeviceThatTellsNoLengthIsAnErrorNotAnEmptySource) {
  // A card reader without its card opens on some systems but knows no length; scanning it as
  // 0 bytes would end "successfully" with nothing found, as if the card held no video.
  selection.SourceItemClick("Openimage", Choose("/cards/a.img"));
  query.Disks[2] = test::FakeDisk{};  // opens; no length, no geometry, no stream size
  try {
    selection.SourceItemClick("PhysicalDrive2", Choose(std::nullopt));
    FAIL() << "a disk without a length was taken as an empty source";
  } catch (const StreamError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot tell the length of \"\\\\.\\PhysicalDrive2\"", 0), 0u)
        << e.what();
  }
  EXPECT_EQ(selection.FSourceSize, 8388608);
  EXPECT_FALSE(selection.Measured());  // so the run measures it again and reports it

  query.Volumes['E'].DeviceLength.reset();
  query.Volumes['E'].Space.reset();  // neither the device nor a file system tells a length
  EXPECT_THROW(selection.SourceItemClick("Exx", Choose(std::nullopt)), StreamError);
  EXPECT_FALSE(selection.Measured());
}

TEST_F(Selection, NoChoiceYetIsNotStale) {
  EXPECT_TRUE(selection.Measured());
  selection.MeasureIfStale();
  EXPECT_TRUE(query.Opens.empty());
  EXPECT_EQ(selection.FSourceSize, 0);
  EXPECT_EQ(selection.FSourcePath, "");
}

TEST(SourcePlatform, MessagesNameTheDeviceNodeAndMissingRights) {
  FakeDeviceQuery query;
  query.Disks[1] = DiskOf(1048576, media_type::RemovableMedia);
  query.Disks[1].Opens = false;
  query.NativeNames["\\\\.\\PhysicalDrive1"] = "/dev/sdb";
  query.NativeNames["\\\\.\\PhysicalDrive5"] = "";  // no such disk
  SourcePlatform platform = query.Platform();
  // Without the rights the message asks for them; with them it says the system refused anyway.
  for (const bool hasRights : {false, true}) {
    platform.SetRightsCheck([hasRights] { return hasRights; });
    try {
      platform.Open("\\\\.\\PhysicalDrive1", OpenMode::ReadShared);
      FAIL() << "opened a disk that refuses";
    } catch (const StreamError& e) {
      const std::string message = e.what();
      // Named as the system names it, with the menu's name beside it.
      EXPECT_EQ(message.rfind("Cannot open file \"/dev/sdb\". ", 0), 0u) << message;
      EXPECT_NE(message.find("(PhysicalDrive1; "), std::string::npos) << message;
      EXPECT_EQ(e.Path(), "/dev/sdb");
      // What it takes on this system: root or the group disk on Linux, an administrator on Windows.
      EXPECT_EQ(message.find(DeviceRightsText()) != std::string::npos, !hasRights) << message;
      EXPECT_EQ(message.find("refused it although the program runs with administrator (root) rights") !=
                    std::string::npos,
                hasRights)
          << message;
      EXPECT_EQ(e.Code(), std::errc::permission_denied);
    }
  }
  try {
    platform.Open("\\\\.\\PhysicalDrive5", OpenMode::ReadShared);
    FAIL() << "opened a disk that is not there";
  } catch (const StreamError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"PhysicalDrive5\". ", 0), 0u) << e.what();
  }
}

TEST(DestinationOnSource, TellsTheSourceDiskAndVolumeApart) {
  FakeDeviceQuery query;
  query.FolderDevices = {"\\\\.\\E:", "\\\\.\\PhysicalDrive1"};  // the folder is on E:, which is on disk 1
  const SourcePlatform platform = query.Platform();
  EXPECT_TRUE(DestinationOnSource("E:\\out", "\\\\.\\E:", platform));
  EXPECT_TRUE(DestinationOnSource("E:\\out", "\\\\.\\PhysicalDrive1", platform));
  EXPECT_FALSE(DestinationOnSource("E:\\out", "\\\\.\\F:", platform));  // another partition of disk 1
  EXPECT_FALSE(DestinationOnSource("E:\\out", "\\\\.\\PhysicalDrive0", platform));
  EXPECT_FALSE(DestinationOnSource("E:\\out", "E:\\card.img", platform));  // an image is not overwritten by new files
  query.FolderDevices.clear();  // cannot be told
  EXPECT_FALSE(DestinationOnSource("E:\\out", "\\\\.\\E:", platform));
}

}  // namespace
}  // namespace mtsrescue
