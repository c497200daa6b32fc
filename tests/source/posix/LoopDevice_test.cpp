// A real disk: a small FAT card image on a loop device, listed, chosen by short form and scanned.
// Needs root and working loop devices; skipped with a message otherwise.
#include "engine/RunObserver.h"
#include "engine/ScanSource.h"
#include "platform/FileIdentity.h"
#include "platform/FileStream.h"
#include "source/DestinationCheck.h"
#include "source/SourceMenu.h"
#include "source/SourceSelection.h"
#include "source/WinNTVolumeList.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>

#include <sys/wait.h>
#include <unistd.h>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t CardBytes = 16 * 1024 * 1024;  // not a whole number of 255 x 63 cylinders

// Runs a shell command; its first output line, or nothing when it fails.
std::optional<std::string> Shell(const std::string& command) {
  FILE* pipe = popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return std::nullopt;
  std::array<char, 512> line{};
  std::string first;
  if (fgets(line.data(), static_cast<int>(line.size()), pipe)) first = line.data();
  while (fgets(line.data(), static_cast<int>(line.size()), pipe)) {}
  if (pclose(pipe) != 0) return std::nullopt;
  while (!first.empty() && (first.back() == '\n' || first.back() == ' ')) first.pop_back();
  return first;
}

// 600 packets of 192 bytes, as a camcorder writes them: a 4-byte arrival stamp climbing on a
// 27 MHz clock, then a 188-byte transport packet beginning with the sync byte 0x47.
std::string ClipBytes(std::uint32_t seed) {
  std::mt19937 random(seed);
  std::string clip;
  std::uint32_t stamp = seed & 0x3FFFFFFF;
  for (int i = 0; i < 600; ++i) {
    stamp = (stamp + 2700) & 0x3FFFFFFF;
    char packet[192];
    packet[0] = static_cast<char>(stamp >> 24);
    packet[1] = static_cast<char>(stamp >> 16);
    packet[2] = static_cast<char>(stamp >> 8);
    packet[3] = static_cast<char>(stamp);
    packet[4] = 0x47;
    for (int j = 5; j < 192; ++j) packet[j] = static_cast<char>(random() % 0x40);  // never a stray 0x47
    clip.append(packet, sizeof packet);
  }
  return clip;
}

class LoopDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    if (geteuid() != 0) GTEST_SKIP() << "skipped: attaching a loop device needs root";
    std::random_device random;
    dir = fs::temp_directory_path() / ("mtsrescue-loop-" + std::to_string(random()));
    fs::create_directories(dir);
    image = (dir / "card.img").string();
    std::ofstream(image, std::ios::binary).close();
    fs::resize_file(image, CardBytes);
    if (!Shell("mkfs.vfat -n CARD '" + image + "'")) GTEST_SKIP() << "skipped: mkfs.vfat (dosfstools) is missing";
    std::ofstream(dir / "00001.MTS", std::ios::binary) << ClipBytes(7);
    std::ofstream(dir / "00002.MTS", std::ios::binary) << ClipBytes(11);
    if (!Shell("mcopy -i '" + image + "' '" + (dir / "00001.MTS").string() + "' '" + (dir / "00002.MTS").string() +
               "' ::/"))
      GTEST_SKIP() << "skipped: mcopy (mtools) is missing";
    const auto attached = Shell("losetup -f --show '" + image + "'");
    if (!attached || attached->empty()) GTEST_SKIP() << "skipped: losetup cannot attach a loop device here";
    loop = *attached;
  }
  void TearDown() override {
    if (!mountPoint.empty()) Shell("umount '" + mountPoint + "'");
    if (!loop.empty()) Shell("losetup -d " + loop);
    if (!dir.empty()) fs::remove_all(dir, ignored);
  }

  // The disk entry whose device is the loop device, from a fresh menu.
  std::optional<SourceMenuEntry> LoopEntry(const SourcePlatform& platform) {
    SourceMenu pop;
    BuildSourceMenu(pop, platform);
    for (const auto& entry : pop)
      if (entry.ImageIndex == DiskImageIndex &&
          platform.Query().NativeDevicePath(ResolveShortForm(EntryShortForm(entry.Name))) == loop)
        return entry;
    return std::nullopt;
  }

  std::error_code ignored;
  fs::path dir;
  std::string image;
  std::string loop;
  std::string mountPoint;
};

TEST_F(LoopDevice, IsListedAsADiskWithItsTrueSize) {
  const SourcePlatform platform = SourcePlatform::System();
  const auto entry = LoopEntry(platform);
  ASSERT_TRUE(entry.has_value()) << loop << " is not in the source menu";
  const std::string number = entry->Name.substr(13);
  EXPECT_EQ(entry->Caption, "HD" + number + ", Fixed Drive, [16 MB]");
}

TEST_F(LoopDevice, ChosenByShortFormScansLikeTheImageFile) {
  const SourcePlatform platform = SourcePlatform::System();
  const auto entry = LoopEntry(platform);
  ASSERT_TRUE(entry.has_value()) << loop << " is not in the source menu";
  SourceSelection selection(platform);
  selection.SetSourceText(entry->Name);
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\" + entry->Name);
  EXPECT_EQ(selection.FSourceSize, CardBytes);  // whole cylinders would give 16,450,560

  RunObserver quiet;
  HitList fromDisk, fromImage;
  const ScanReport disk = ScanSource(selection.FSourcePath, selection.FSourceSize, fromDisk, quiet, platform.Opener());
  const ScanReport file = ScanSource(image, CardBytes, fromImage, quiet, OpenFileStream);
  EXPECT_EQ(disk.BytesRead, CardBytes);
  EXPECT_EQ(file.BytesRead, CardBytes);
  EXPECT_EQ(fromDisk.Count(), fromImage.Count());
  EXPECT_GE(fromDisk.Count(), 2 * 600 * 192 / 1536 - 4);  // both clips, one hit per 1,536 bytes
  ASSERT_EQ(fromDisk.Runs().size(), fromImage.Runs().size());
  for (std::size_t i = 0; i < fromDisk.Runs().size(); ++i) {
    EXPECT_EQ(fromDisk.Runs()[i].StartOffset, fromImage.Runs()[i].StartOffset);
    EXPECT_EQ(fromDisk.Runs()[i].Count, fromImage.Runs()[i].Count);
  }
}

// Every file of a folder, by name, with its bytes.
std::map<std::string, std::string> FolderContents(const fs::path& folder) {
  std::map<std::string, std::string> contents;
  for (const auto& entry : fs::directory_iterator(folder)) {
    std::ifstream in(entry.path(), std::ios::binary);
    contents[entry.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return contents;
}

TEST_F(LoopDevice, TheCommandLineListsItAndRecoversFromItWhatTheImageGives) {
  const SourcePlatform platform = SourcePlatform::System();
  const auto entry = LoopEntry(platform);
  ASSERT_TRUE(entry.has_value()) << loop << " is not in the source menu";
  const std::string cli = MTSRESCUE_CLI_BINARY;

  const std::string listing = (dir / "list.txt").string();
  ASSERT_TRUE(Shell(cli + " --list > '" + listing + "'"));
  std::ifstream listed(listing);
  const std::string all((std::istreambuf_iterator<char>(listed)), {});
  EXPECT_NE(all.find(entry->Name + "\tHD" + entry->Name.substr(13) + ", Fixed Drive, [16 MB]\t" + loop + "\n"),
            std::string::npos)
      << all;

  const fs::path fromDisk = dir / "from-disk", fromImage = dir / "from-image";
  ASSERT_TRUE(Shell(cli + " --quiet " + entry->Name + " '" + fromDisk.string() + "'"));
  ASSERT_TRUE(Shell(cli + " --quiet '" + image + "' '" + fromImage.string() + "'"));
  const auto disk = FolderContents(fromDisk);
  EXPECT_EQ(disk.size(), 2u);  // the two clips, each one unbroken run
  EXPECT_EQ(disk, FolderContents(fromImage));
}

TEST_F(LoopDevice, AMountedVolumeIsMeasuredByItsDeviceAndGuardedAsADestination) {
  // The kernel here may lack FAT, so the volume test mounts an ext4 file system on the device.
  if (!Shell("mkfs.ext4 -q -F -L EXTCARD " + loop)) GTEST_SKIP() << "skipped: mkfs.ext4 (e2fsprogs) is missing";
  const std::string where = (dir / "mnt").string();
  fs::create_directories(where);
  if (!Shell("mount " + loop + " '" + where + "'")) GTEST_SKIP() << "skipped: mounting is not allowed here";
  mountPoint = where;

  const SourcePlatform platform = SourcePlatform::System();
  const TNTVolumeList volumes(platform.Query());
  int found = -1;
  for (int i = 0; i < volumes.Count(); ++i)
    if (volumes.GetCaption(i).find("(" + where + ")") != std::string::npos) found = i;
  ASSERT_GE(found, 0) << "the mounted card is not listed";
  const auto entry = LoopEntry(platform);
  ASSERT_TRUE(entry.has_value());
  EXPECT_EQ(volumes.GetCaption(found).rfind(" (" + where + "), HD" + entry->Name.substr(13) + ", ext4, [", 0), 0u)
      << volumes.GetCaption(found);

  SourceSelection selection(platform);
  selection.SetSourceText(volumes.GetLetter(found) + ":");
  EXPECT_EQ(selection.FSourcePath, "\\\\.\\" + volumes.GetLetter(found) + ":");
  EXPECT_EQ(selection.FSourceSize, CardBytes);  // the device, not the smaller total of ext4

  EXPECT_TRUE(DestinationOnSource(where + "/out/new", selection.FSourcePath, platform));
  EXPECT_TRUE(DestinationOnSource(where, "\\\\.\\" + entry->Name, platform));
  EXPECT_TRUE(DestinationOnSource(where, loop, platform));
  EXPECT_FALSE(DestinationOnSource(dir.string(), selection.FSourcePath, platform));
  // The image file behind the mounted card is what the files would be written into.
  EXPECT_TRUE(DestinationOnSource(where, image, platform));

  // The command line refuses to write onto the volume it recovers, and makes nothing there.
  const std::string cli = std::string(MTSRESCUE_CLI_BINARY) + " --quiet " + volumes.GetLetter(found) + ": '" + where + "/out'";
  const int refused = std::system((cli + " 2>/dev/null").c_str());
  ASSERT_TRUE(WIFEXITED(refused));
  EXPECT_EQ(WEXITSTATUS(refused), 2);
  EXPECT_FALSE(fs::exists(where + "/out"));
  EXPECT_EQ(std::system((cli + " --force 2>/dev/null").c_str()), 0);
  EXPECT_TRUE(fs::is_directory(where + "/out"));
}

}  // namespace
}  // namespace mtsrescue

namespace mtsrescue {
namespace {

// A loop device whose file is one the run would write (an earlier run's 0.MTS, attached to be
// scanned again): writing it would empty the source behind the device's back. Refused, --force or not.
TEST_F(LoopDevice, AFileBehindTheLoopDeviceBeingRecoveredIsNeverWritten) {
  const fs::path out = dir / "out";
  fs::create_directories(out);
  const std::string earlier = (out / "0.MTS").string();
  fs::copy_file(image, earlier);
  const auto attached = Shell("losetup -r -f --show '" + earlier + "'");
  ASSERT_TRUE(attached && !attached->empty()) << "losetup -r";
  struct Detach {
    std::string device;
    ~Detach() { Shell("losetup -d " + device); }
  } detach{*attached};

  const std::vector<FileIdentity> behind = FilesBehindSource(*attached);
  ASSERT_EQ(behind.size(), 2u);
  EXPECT_EQ(behind[1], IdentityOf(earlier, true));

  const std::string before = FolderContents(out).at("0.MTS");
  for (const std::string force : {"", " --force"}) {
    const int status = std::system((std::string(MTSRESCUE_CLI_BINARY) + " --quiet" + force + " " + *attached + " '" +
                                    out.string() + "' > /dev/null 2>&1")
                                       .c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2) << force;
  }
  EXPECT_EQ(FolderContents(out), (std::map<std::string, std::string>{{"0.MTS", before}}));
}

}  // namespace
}  // namespace mtsrescue
