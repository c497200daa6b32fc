// The window's disk access through UDisks2, against a private bus with a stand-in service: the
// listing behind the source menu, a descriptor of a card image handed over, refusals, and no
// service at all.
#include "ui/udisks2/UDisks2DeviceQuery.h"
#include "ui/udisks2/UDisks2Opener.h"

#include "platform/FileStream.h"
#include "source/SourceMenu.h"
#include "source/SourceSelection.h"
#include "tests/common/TempFolder.h"
#include "tests/source/FakePlatform.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

namespace mtsrescue {
namespace {

using test::TempFolder;

QCoreApplication& Application() {
  static int argc = 1;
  static char name[] = "udisks2_tests";
  static char* argv[] = {name, nullptr};
  static auto* app = new QCoreApplication(argc, argv);
  return *app;
}

// The bytes of the stand-in card: 3 MiB of counting bytes, enough to tell any offset from another.
std::vector<std::uint8_t> CardBytes() {
  std::vector<std::uint8_t> bytes(3 * 1024 * 1024);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>((i / 512) * 31 + i);
  return bytes;
}

std::vector<std::uint8_t> ReadAll(ByteStream& stream) {
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stream.Size() > 0 ? stream.Size() : 0));
  const IoResult read = stream.Read(bytes.data(), static_cast<std::int64_t>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(read.Bytes));
  return bytes;
}

// A Python with the D-Bus bindings: Debian's packages serve the system's own interpreter, which
// another one first on PATH may hide. Empty when there is none.
QString PythonWithDBus() {
  for (const QString& candidate : {QStringLiteral("/usr/bin/python3"), QStringLiteral("python3")}) {
    QProcess probe;
    probe.setStandardErrorFile(QProcess::nullDevice());
    probe.start(candidate, {QStringLiteral("-c"), QStringLiteral("import dbus, dbus.mainloop.glib, gi")});
    if (probe.waitForFinished(10000) && probe.exitStatus() == QProcess::NormalExit && probe.exitCode() == 0) return candidate;
  }
  return {};
}

// A dbus-daemon of the test's own, and on it, when asked, the stand-in service.
class PrivateBus {
 public:
  PrivateBus() {
    daemon_.start(QStringLiteral("dbus-daemon"), {QStringLiteral("--session"), QStringLiteral("--nofork"),
                                                   QStringLiteral("--print-address=1")});
    if (!daemon_.waitForStarted(5000) || !daemon_.waitForReadyRead(5000)) return;
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
    connection_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address_, Name()));
  }
  ~PrivateBus() {
    if (service_.state() != QProcess::NotRunning) {
      service_.kill();
      service_.waitForFinished(5000);
    }
    connection_.reset();
    QDBusConnection::disconnectFromBus(Name());
    daemon_.kill();
    daemon_.waitForFinished(5000);
  }

  bool Connected() const { return connection_ && connection_->isConnected(); }
  QDBusConnection Connection() const { return *connection_; }

  // Starts the stand-in with a description (see udisks2_standin.py); false when it did not come up.
  bool StartService(const std::string& descriptionPath) {
    service_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    service_.start(PythonWithDBus(), {QStringLiteral(MTSRESCUE_UDISKS2_STANDIN), address_,
                                                QString::fromStdString(descriptionPath)});
    if (!service_.waitForStarted(5000)) return false;
    QElapsedTimer waited;
    waited.start();
    while (!service_.canReadLine() && waited.elapsed() < 10000) service_.waitForReadyRead(200);
    return service_.readLine().trimmed() == "ready";
  }

 private:
  QString Name() const { return QStringLiteral("udisks2-test-%1").arg(reinterpret_cast<quintptr>(this)); }
  QProcess daemon_;
  QProcess service_;
  QString address_;
  std::unique_ptr<QDBusConnection> connection_;
};

// How the stand-in answers OpenForBackup for the card.
enum class Answer { HandsOver, HandsOverWritable, Refuses, NoService };

class UDisks2Test : public ::testing::Test {
 protected:
  void SetUp() override {
    Application();
    static const bool usable =
        !QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty() && !PythonWithDBus().isEmpty();
    if (!usable)
      GTEST_SKIP() << "skipped: needs dbus-daemon and python3-dbus (apt-get install dbus-daemon python3-dbus python3-gi)";
    card = folder.WriteFile("card.img", CardBytes());
    mountPoint = folder.Path() + "/CANON";
    std::filesystem::create_directories(mountPoint);
    bus = std::make_unique<PrivateBus>();
    ASSERT_TRUE(bus->Connected()) << "the private bus did not start";
  }

  // Disk 0 an internal SSD with the root file system; disk 1 a USB card reader whose card
  // (device node cardDevice) holds a FAT partition labelled CANON; an empty reader and an unbound
  // loop device, neither with a medium.
  // silent: the service never answers a listing.
  void StartService(Answer answer, const std::string& cardDevice, bool silent = false) {
    const std::string drives = "/org/freedesktop/UDisks2/drives/", blocks = "/org/freedesktop/UDisks2/block_devices/";
    std::string open;
    switch (answer) {
      case Answer::HandsOver: open = R"({"file": ")" + card + R"("})"; break;
      case Answer::HandsOverWritable: open = R"({"file": ")" + card + R"(", "writable": true})"; break;
      default:
        open = R"({"error": "org.freedesktop.UDisks2.Error.NotAuthorizedDismissed", "message": "The authentication dialog was dismissed"})";
    }
    const std::string description = R"({
      "silent": )" + std::string(silent ? "true" : "false") + R"(,
      "log": ")" + folder.File("calls.log") + R"(",
      "open": {")" + blocks + R"(sdb": )" + open + R"(},
      "objects": {
        ")" + drives + R"(SSD": {"org.freedesktop.UDisks2.Drive": {"Vendor": ["s", ""], "Model": ["s", "Samsung SSD 870 EVO 500GB"],
            "ConnectionBus": ["s", ""], "Removable": ["b", false], "MediaRemovable": ["b", false], "Size": ["t", 500107862016]}},
        ")" + drives + R"(Reader": {"org.freedesktop.UDisks2.Drive": {"Vendor": ["s", "Generic"], "Model": ["s", "STORAGE DEVICE"],
            "ConnectionBus": ["s", "usb"], "Removable": ["b", true], "MediaRemovable": ["b", true], "Size": ["t", 3145728]}},
        ")" + drives + R"(Empty": {"org.freedesktop.UDisks2.Drive": {"Vendor": ["s", "Generic"], "Model": ["s", "MS Reader"],
            "ConnectionBus": ["s", "usb"], "Removable": ["b", true], "MediaRemovable": ["b", true], "Size": ["t", 0]}},
        ")" + blocks + R"(sda": {"org.freedesktop.UDisks2.Block": {"Device": ["ay", "/dev/mtsrescue-test-sda"], "Size": ["t", 500107862016],
            "Drive": ["o", ")" + drives + R"(SSD"], "IdUsage": ["s", ""], "IdType": ["s", ""], "IdLabel": ["s", ""], "IdUUID": ["s", ""], "HintIgnore": ["b", false]},
            "org.freedesktop.UDisks2.PartitionTable": {"Type": ["s", "gpt"]}},
        ")" + blocks + R"(sda1": {"org.freedesktop.UDisks2.Block": {"Device": ["ay", "/dev/mtsrescue-test-sda1"], "Size": ["t", 500106788864],
            "Drive": ["o", ")" + drives + R"(SSD"], "IdUsage": ["s", "filesystem"], "IdType": ["s", "ext4"], "IdLabel": ["s", ""], "IdUUID": ["s", "0f3a"], "HintIgnore": ["b", false]},
            "org.freedesktop.UDisks2.Partition": {"Table": ["o", ")" + blocks + R"(sda"], "Offset": ["t", 1048576], "Size": ["t", 500106788864]},
            "org.freedesktop.UDisks2.Filesystem": {"MountPoints": ["aay", ["/"]]}},
        ")" + blocks + R"(sdb": {"org.freedesktop.UDisks2.Block": {"Device": ["ay", ")" + cardDevice + R"("], "Size": ["t", 3145728],
            "Drive": ["o", ")" + drives + R"(Reader"], "IdUsage": ["s", ""], "IdType": ["s", ""], "IdLabel": ["s", ""], "IdUUID": ["s", ""], "HintIgnore": ["b", false]}},
        ")" + blocks + R"(sdb1": {"org.freedesktop.UDisks2.Block": {"Device": ["ay", "/dev/mtsrescue-test-sdb1"], "Size": ["t", 3141632],
            "Drive": ["o", ")" + drives + R"(Reader"], "IdUsage": ["s", "filesystem"], "IdType": ["s", "vfat"], "IdLabel": ["s", "CANON"], "IdUUID": ["s", "1A2B-3C4D"], "HintIgnore": ["b", false]},
            "org.freedesktop.UDisks2.Partition": {"Table": ["o", ")" + blocks + R"(sdb"], "Offset": ["t", 4096], "Size": ["t", 3141632]},
            "org.freedesktop.UDisks2.Filesystem": {"MountPoints": ["aay", [")" + mountPoint + R"("]]}},
        ")" + blocks + R"(sdc": {"org.freedesktop.UDisks2.Block": {"Device": ["ay", "/dev/mtsrescue-test-sdc"], "Size": ["t", 0],
            "Drive": ["o", ")" + drives + R"(Empty"], "IdUsage": ["s", ""], "IdType": ["s", ""], "IdLabel": ["s", ""], "IdUUID": ["s", ""], "HintIgnore": ["b", false]}},
        ")" + blocks + R"(loop0": {"org.freedesktop.UDisks2.Block": {"Device": ["ay", "/dev/mtsrescue-test-loop0"], "Size": ["t", 0],
            "Drive": ["o", "/"], "IdUsage": ["s", ""], "IdType": ["s", ""], "IdLabel": ["s", ""], "IdUUID": ["s", ""], "HintIgnore": ["b", false]},
            "org.freedesktop.UDisks2.Loop": {"BackingFile": ["ay", ""]}}
      }})";
    std::ofstream(folder.File("udisks2.json")) << description;
    ASSERT_TRUE(bus->StartService(folder.File("udisks2.json"))) << "the stand-in service did not start";
  }

  // The OpenForBackup calls the stand-in received.
  int ServiceOpens() const {
    std::ifstream log(folder.File("calls.log"));
    int lines = 0;
    for (std::string line; std::getline(log, line);) ++lines;
    return lines;
  }

  // The window's view: queries and opener over the bus, direct opens of plain files.
  void MakeSources(std::shared_ptr<DeviceQuery> fallback = std::make_shared<test::FakeDeviceQuery>()) {
    devices = std::make_shared<TUDisks2DeviceQuery>(TUDisks2Client(bus->Connection()), std::move(fallback));
    opener = std::make_shared<TUDisks2Opener>(devices, OpenFileStream);
  }
  SourcePlatform Platform() const {
    return SourcePlatform(devices, [o = opener](const std::string& path, OpenMode mode) { return o->Open(path, mode); });
  }

  TempFolder folder;
  std::string card;
  std::string mountPoint;
  std::unique_ptr<PrivateBus> bus;
  std::shared_ptr<TUDisks2DeviceQuery> devices;
  std::shared_ptr<TUDisks2Opener> opener;
};

// The system numbers the disks and lists the volumes, as it does for the command line's --list;
// the service describes the disks it knows, so that none is opened for the menu.
TEST_F(UDisks2Test, TheMenuNumbersDisksAsTheSystemDoesAndDescribesThemWithoutOpeningAny) {
  StartService(Answer::HandsOver, card);
  auto system = std::make_shared<test::FakeDeviceQuery>();
  // The system's order: the empty reader first (the service's own order would put it last), a
  // disk the service does not know (it cannot be opened either), then the SSD and the card.
  const std::vector<std::string> nodes = {"/dev/mtsrescue-test-sdc", "/dev/mtsrescue-test-sdx", "/dev/mtsrescue-test-sda", card};
  for (int n = 0; n < 4; ++n) {
    system->Disks[n] = test::DiskOf(3145728, media_type::RemovableMedia);
    system->NativeNames["\\\\.\\PhysicalDrive" + std::to_string(n)] = nodes[static_cast<std::size_t>(n)];
  }
  system->Volumes['C'] = test::VolumeOf("", "ext4", DriveKind::Fixed, 2, 1048576, 500106788864);
  system->Volumes['C'].DisplayName = "/";
  system->Volumes['D'] = test::VolumeOf("CANON", "vfat", DriveKind::Removable, 3, 1048576, 3141632);
  system->Volumes['D'].DisplayName = mountPoint;
  system->NativeNames["\\\\.\\D:"] = "/dev/mtsrescue-test-sdb1";
  MakeSources(system);
  SourceMenu pop;
  BuildSourceMenu(pop, Platform());

  ASSERT_EQ(pop.size(), 7u);
  EXPECT_EQ(pop[0].Name, OpenImageName);
  EXPECT_TRUE(pop[1].IsSeparator());
  EXPECT_EQ(pop[2].Name, "Cxx");
  EXPECT_TRUE(std::regex_match(pop[2].Caption, std::regex(R"( \(/\), HD2, ext4, \[\d+\.\d\d [GM]B/\d+\.\d\d [GM]B\])")))
      << pop[2].Caption;
  EXPECT_EQ(pop[3].Name, "Dxx");
  EXPECT_EQ(pop[3].Caption.rfind("CANON (" + mountPoint + "), RD3, vfat, [", 0), 0u) << pop[3].Caption;
  EXPECT_TRUE(pop[4].IsSeparator());
  // The empty reader and the disk that neither the service knows nor opens are left out.
  EXPECT_EQ(pop[5].Name, "PhysicalDrive2");
  EXPECT_EQ(pop[5].Caption, "HD2, Fixed Drive (Samsung SSD 870 EVO 500GB), [465.76 GB]");
  EXPECT_EQ(pop[6].Name, "PhysicalDrive3");
  EXPECT_EQ(pop[6].Caption, "HD3, Removable Drive (Generic STORAGE DEVICE, USB), [3 MB]");
  EXPECT_EQ(ServiceOpens(), 0) << "looking at the menu must not ask for a password";
  EXPECT_EQ(devices->NativeDevicePath("\\\\.\\D:"), "/dev/mtsrescue-test-sdb1");
}

// A service that is installed but cannot be started (a container without systemd) leaves a
// listing unanswered: the menu waits about a second for it once, and never again in the session;
// the disks are then listed and opened the direct way at once.
TEST_F(UDisks2Test, AServiceThatNeverAnswersHoldsTheMenuUpOnceForAboutASecond) {
  StartService(Answer::HandsOver, card, /*silent=*/true);
  auto system = std::make_shared<test::FakeDeviceQuery>();
  system->Disks[0] = test::DiskOf(3145728, media_type::RemovableMedia);
  system->NativeNames["\\\\.\\PhysicalDrive0"] = card;
  MakeSources(system);
  QElapsedTimer clock;
  clock.start();
  SourceMenu pop;
  BuildSourceMenu(pop, Platform());
  const qint64 firstMs = clock.restart();
  BuildSourceMenu(pop, Platform());
  SourceSelection selection(Platform());
  selection.SourceItemClick("PhysicalDrive0", nullptr);
  const auto stream = selection.Platform().Open(selection.FSourcePath, OpenMode::ReadShared);
  const qint64 laterMs = clock.elapsed();
  EXPECT_LT(firstMs, 2500) << "the first listing gives up after about a second";
  EXPECT_LT(laterMs, 500) << "a service that did not answer is not asked again";
  ASSERT_EQ(pop.back().Name, "PhysicalDrive0");
  EXPECT_EQ(selection.FSourceSize, 3145728);
  EXPECT_NE(opener->LastNote().find("UDisks2 不可用"), std::string::npos) << opener->LastNote();
  EXPECT_EQ(ServiceOpens(), 0);
}

TEST_F(UDisks2Test, ChoosingTheCardOpensItTheWayTheServiceAllows) {
  const std::string missing = folder.File("no-such-device");
  struct Row {
    const char* What;
    Answer How;
    bool DirectOpens;     // the device node opens without the service (root, the group disk)
    const char* Outcome;  // a text the note (opened) or the error (not opened) must hold
    int ServiceOpens;
  };
  const Row rows[] = {
      {"handed over", Answer::HandsOver, false, "已通过 UDisks2 以只读方式打开", 1},
      {"refused, opened directly", Answer::Refuses, true, "UDisks2 拒绝打开（The authentication dialog was dismissed）", 1},
      {"refused, no direct way either", Answer::Refuses, false, "UDisks2 refused: The authentication dialog was dismissed", 1},
      {"a writable descriptor is not taken", Answer::HandsOverWritable, false, "UDisks2 refused: The descriptor handed over is open for writing", 1},
      {"no service, opened directly", Answer::NoService, true, "UDisks2 不可用（", 0},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.What);
    std::remove(folder.File("calls.log").c_str());
    const std::string node = row.DirectOpens ? card : missing;
    auto fallback = std::make_shared<test::FakeDeviceQuery>();
    fallback->Disks[0] = test::DiskOf(3145728, media_type::RemovableMedia);
    fallback->Disks[1] = fallback->Disks[0];
    fallback->NativeNames["\\\\.\\PhysicalDrive1"] = node;
    bus = std::make_unique<PrivateBus>();
    if (row.How != Answer::NoService) StartService(row.How, node);
    MakeSources(fallback);
    SourceSelection selection(Platform());
    std::string error;
    try {
      selection.SourceItemClick("PhysicalDrive1", nullptr);
    } catch (const StreamError& e) {
      error = e.what();
    }
    const bool opens = std::string(row.Outcome).find("refused") == std::string::npos;
    EXPECT_EQ(ServiceOpens(), row.ServiceOpens);
    if (!opens) {
      EXPECT_EQ(error.rfind("Cannot open file \"" + missing + "\". No such file or directory; ", 0), 0u) << error;
      EXPECT_NE(error.find(row.Outcome), std::string::npos) << error;
      continue;
    }
    ASSERT_EQ(error, "");
    EXPECT_NE(opener->LastNote().find(row.Outcome), std::string::npos) << opener->LastNote();
    EXPECT_EQ(selection.FSourceSize, 3145728);
    // Read like any source, by the run's own opens: the card's bytes, and nothing written.
    auto scan = selection.Platform().Open(selection.FSourcePath, OpenMode::ReadShared);
    auto pieces = selection.Platform().Open(selection.FSourcePath, OpenMode::ReadSharedScattered);
    EXPECT_FALSE(pieces->Seek(1000000));
    EXPECT_EQ(ReadAll(*scan), CardBytes());
    std::uint8_t byte = 0;
    EXPECT_EQ(pieces->Read(&byte, 1).Bytes, 1);
    EXPECT_EQ(byte, CardBytes()[1000000]);
    EXPECT_EQ(pieces->Write(&byte, 1).Bytes, 0);
    EXPECT_EQ(ServiceOpens(), row.ServiceOpens) << "one choice and its run ask the service once";
  }
}

}  // namespace
}  // namespace mtsrescue
