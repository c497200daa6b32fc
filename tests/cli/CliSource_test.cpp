// mtsrescue-cli with the source menu's names: --list, short forms as SOURCE, and the refusal of a
// destination on the source being recovered.
#include "cli/CliApp.h"

#include "FakeFiles.h"
#include "engine/EngineConstants.h"
#include "engine/ExportFragments.h"
#include "tests/source/FakePlatform.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

// A machine with a card reader as disk 1 (/mem/sdb in memory) holding volume E: (/mem/sdb1), and
// a system disk 0 that cannot be opened.
class CliSourceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("mtsrescue_cli_source_" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    devices_ = std::make_shared<test::FakeDeviceQuery>();
    devices_->Disks[0] = test::DiskOf(500107862016, media_type::FixedMedia);
    devices_->Disks[1] = test::DiskOf(3 * BlockBytes, media_type::RemovableMedia);
    devices_->Volumes['E'] = test::VolumeOf("CARD", "FAT32", DriveKind::Removable, 1, 1048576, 2 * BlockBytes);
    devices_->NativeNames["\\\\.\\PhysicalDrive0"] = "/mem/sda";
    devices_->NativeNames["\\\\.\\PhysicalDrive1"] = "/mem/sdb";
    devices_->NativeNames["\\\\.\\E:"] = "/mem/sdb1";
    card_ = Bytes(3 * BlockBytes, 0);
    test::PutStream(card_, 0, 3, 1);
    test::PutStream(card_, 2 * BlockBytes + 4096, 4, 3);
    files_.Add("/mem/sdb", card_);
    files_.Add("/mem/sdb1", Bytes(card_.begin() + BlockBytes, card_.end()));
  }
  void TearDown() override { fs::remove_all(root_); }

  int Run(std::vector<std::string> args) {
    CliEnvironment env;
    env.Out = &out_;
    env.Err = &err_;
    env.InterruptCount = [] { return 0; };
    env.Clock = [this] { return now_ += 0.05; };
    devices_->DataOpener = files_.Opener();
    env.Opener = [devices = devices_](const std::string& path, OpenMode mode) { return devices->Open(path, mode); };
    env.Devices = devices_;
    return CliApp(env).Run(args);
  }
  std::string Dest() const { return (root_ / "out").string(); }

  fs::path root_;
  std::shared_ptr<test::FakeDeviceQuery> devices_;
  test::FakeFiles files_;
  Bytes card_;
  std::ostringstream out_;
  std::ostringstream err_;
  double now_ = 0;
};

TEST_F(CliSourceTest, ListShowsTheMenuEntriesWithTheirDevices) {
  EXPECT_EQ(Run({"--list"}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "Exx\tCARD (E:), RD1, FAT32, [0.00 GB/0.50 MB]\t/mem/sdb1\n"
            "PhysicalDrive1\tHD1, Removable Drive, [768 KB]\t/mem/sdb\n");
  EXPECT_TRUE(files_.Created.empty());
  // Every name it lists is taken back as SOURCE.
  for (const std::string name : {"Exx", "PhysicalDrive1"}) {
    err_.str("");
    EXPECT_EQ(Run({"--dry-run", name}), 0) << name << ": " << err_.str();
  }
}

TEST_F(CliSourceTest, ListAsJson) {
  EXPECT_EQ(Run({"--list", "--json"}), 0) << err_.str();
  EXPECT_EQ(out_.str(),
            "[\n"
            "  {\"name\": \"Exx\", \"caption\": \"CARD (E:), RD1, FAT32, [0.00 GB/0.50 MB]\", \"device\": \"/mem/sdb1\"},\n"
            "  {\"name\": \"PhysicalDrive1\", \"caption\": \"HD1, Removable Drive, [768 KB]\", \"device\": \"/mem/sdb\"}\n"
            "]\n");
}

TEST_F(CliSourceTest, ADiskShortFormIsRecoveredFromItsDevice) {
  EXPECT_EQ(Run({"PhysicalDrive1", Dest()}), 0) << err_.str();
  ASSERT_TRUE(files_.Has(OutputFileName(Dest(), 0)));
  EXPECT_EQ(files_.At(OutputFileName(Dest(), 0)), Bytes(card_.begin(), card_.begin() + 3 * GroupBytes));
  ASSERT_TRUE(files_.Has(OutputFileName(Dest(), 1)));
  EXPECT_EQ(files_.At(OutputFileName(Dest(), 1)).size(), 4 * GroupBytes);
  for (const auto& [path, mode] : files_.Opened) {
    if (path == "/mem/sdb") {
      EXPECT_TRUE(mode == OpenMode::ReadShared || mode == OpenMode::ReadSharedScattered);
    }
  }
}

TEST_F(CliSourceTest, AVolumeShortFormIsMeasuredByItsDevice) {
  // The file system manages only 1 KiB of it (damaged); the device holds 512 KiB.
  devices_->Volumes['E'].Space->TotalBytes = 1024;
  devices_->Volumes['E'].DeviceLength = 2 * BlockBytes;
  EXPECT_EQ(Run({"--dry-run", "--json", "E:"}), 0) << err_.str();
  EXPECT_NE(out_.str().find("\"length\": 524288"), std::string::npos) << out_.str();
  EXPECT_TRUE(files_.Created.empty());
}

// On Windows "E:" also names the current folder of drive E, so the text "E:" is a folder whenever
// drive E exists. A folder called "E:" in the current folder is the same situation on POSIX.
TEST_F(CliSourceTest, AVolumeShortFormIsNotTakenForAFolderOfTheSameName) {
  std::error_code made;
  fs::create_directory(root_ / "E:", made);
  if (made) GTEST_SKIP() << "no folder can be called E: here";
  const fs::path before = fs::current_path();
  fs::current_path(root_);
  const int code = Run({"--dry-run", "--json", "E:"});
  fs::current_path(before);
  EXPECT_EQ(code, 0) << err_.str();
  EXPECT_NE(out_.str().find("\"length\": 524288"), std::string::npos) << out_.str();
  EXPECT_EQ(err_.str().find("folder"), std::string::npos) << err_.str();
}

TEST_F(CliSourceTest, ASourceThatCannotBeOpenedNamesItsShortFormsDevice) {
  EXPECT_EQ(Run({"PhysicalDrive0", Dest()}), 2);
  // The system's name for it, and the one the user gave.
  EXPECT_NE(err_.str().find("Cannot open file \"/mem/sda\"."), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("PhysicalDrive0"), std::string::npos) << err_.str();
}

TEST_F(CliSourceTest, ADestinationOnTheSourceIsRefusedUnlessForced) {
  devices_->FolderDevices = {"/mem/sdb1", "/mem/sdb"};  // DEST is on E:, which is on disk 1
  EXPECT_EQ(Run({"PhysicalDrive1", Dest()}), 2);
  EXPECT_NE(err_.str().find("lies on the disk or volume being recovered"), std::string::npos) << err_.str();
  EXPECT_NE(err_.str().find("--force"), std::string::npos) << err_.str();
  EXPECT_TRUE(files_.Created.empty()) << "nothing may be written on the source";
  EXPECT_FALSE(fs::exists(Dest())) << "not even the folder";

  err_.str("");
  EXPECT_EQ(Run({"E:", Dest()}), 2);
  EXPECT_NE(err_.str().find("lies on the disk or volume being recovered"), std::string::npos) << err_.str();

  EXPECT_EQ(Run({"--dry-run", "PhysicalDrive1", Dest()}), 0) << "a dry run writes nothing";
  EXPECT_EQ(Run({"--force", "PhysicalDrive1", Dest()}), 0) << err_.str();
  EXPECT_TRUE(files_.Has(OutputFileName(Dest(), 0)));
}

TEST_F(CliSourceTest, ADestinationElsewhereIsNotRefused) {
  devices_->FolderDevices = {"/mem/sdc1", "/mem/sdc"};
  EXPECT_EQ(Run({"PhysicalDrive1", Dest()}), 0) << err_.str();
  devices_->FolderDevices = {"/mem/sda2", "/mem/sda"};  // disk 0 holds DEST; disk 1 is the source
  EXPECT_EQ(Run({"PhysicalDrive1", Dest()}), 0) << err_.str();
}

}  // namespace
}  // namespace mtsrescue
