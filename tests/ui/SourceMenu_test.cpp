// The window's source menu over a fake machine whose disks and volumes are image files: building
// `pop`, choosing entries, the image dialog, failures, the stale length and the destination question.
#include "ui/Main.h"
#include "ui/SourceMenu.h"
#include "ui/ThumbnailMaker.h"

#include "engine/EngineConstants.h"
#include "tests/source/FakePlatform.h"

#include "UiTestSupport.h"

#include <QAction>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

// Disk 1 is a card reader whose card is disk1.img (1 MiB + 512 bytes, two clips); volume E: is
// its partition, vol.img (the second clip only). Disk 0 cannot be opened. Volume C: is the system.
constexpr std::int64_t DiskBytes = 1024 * 1024 + 512;
const testing::TClip ClipA{8192, 40, 1000};
const testing::TClip ClipB{512 * 1024, 30, 90000000};

class SourceMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::Application();
    disk = testing::MakeImage(DiskBytes, {ClipA, ClipB});
    testing::WriteFile(folder / "disk1.img", disk);
    testing::WriteFile(folder / "vol.img", std::vector<std::uint8_t>(disk.begin() + 512 * 1024, disk.end()));
    testing::WriteFile(folder / "card.img", std::vector<std::uint8_t>(disk.begin(), disk.begin() + 4096));
    fs::create_directories(folder.Path() / "out");
    outPath = folder / "out";

    devices = std::make_shared<test::FakeDeviceQuery>();
    devices->Disks[0] = test::DiskOf(500107862016, media_type::FixedMedia);
    devices->Disks[0].Opens = false;
    devices->Disks[1] = test::DiskOf(DiskBytes, media_type::RemovableMedia);
    devices->Volumes['C'] = test::VolumeOf("System", "NTFS", DriveKind::Fixed, 0, 10737418240, 107374182400);
    devices->Volumes['E'] = test::VolumeOf("", "FAT32", DriveKind::Removable, 1, 1024, 2048);
    devices->Volumes['E'].DeviceLength = DiskBytes - 512 * 1024;
    devices->NativeNames["\\\\.\\PhysicalDrive1"] = folder / "disk1.img";
    devices->NativeNames["\\\\.\\E:"] = folder / "vol.img";
    devices->DataOpener = OpenFileStream;

    TMainEnvironment environment;
    environment.Boxes = &boxes;
    environment.OpenLink = [](const QString&) {};
    environment.Devices = devices;
    environment.Opener = [d = devices](const std::string& path, OpenMode mode) { return d->Open(path, mode); };
    form = std::make_unique<TfrmMain>(environment);
    form->show();
    form->Edit1->setText(QString::fromStdString(outPath));
  }

  void OpenMenu() { emit form->pop->aboutToShow(); }
  QAction* Entry(const QString& name) {
    for (QAction* action : form->pop->actions())
      if (action->objectName() == name) return action;
    return nullptr;
  }
  void Choose(const QString& name) {
    OpenMenu();
    QAction* action = Entry(name);
    ASSERT_NE(action, nullptr) << name.toStdString();
    action->trigger();
  }
  std::vector<QString> Errors() const {
    std::vector<QString> errors;
    for (const auto& box : boxes.Boxes)
      if (box.Kind == QLatin1String("error")) errors.push_back(box.Text);
    return errors;
  }
  bool Written(int index) const { return fs::exists(fs::path(outPath) / (std::to_string(index) + ".MTS")); }

  testing::TTempFolder folder;
  std::vector<std::uint8_t> disk;
  std::string outPath;
  std::shared_ptr<test::FakeDeviceQuery> devices;
  testing::TScriptedBoxes boxes;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(SourceMenuTest, EachOpeningRebuildsTheMenuInItsOrder) {
  OpenMenu();
  OpenMenu();  // entries are replaced, not added again
  const QList<QAction*> actions = form->pop->actions();
  ASSERT_EQ(actions.size(), 6);
  EXPECT_EQ(actions[0]->objectName(), QStringLiteral("Openimage"));
  EXPECT_EQ(actions[0]->text(), QStringLiteral("打开磁盘镜像"));
  EXPECT_TRUE(actions[1]->isSeparator());
  EXPECT_EQ(actions[2]->objectName(), QStringLiteral("Cxx"));
  EXPECT_EQ(actions[2]->text(), QStringLiteral("System (C:), HD0, NTFS, [10.00 GB/100.00 GB]"));
  EXPECT_EQ(actions[3]->text(), QStringLiteral(" (E:), RD1, FAT32, [0.00 MB/0.00 MB]"));
  EXPECT_TRUE(actions[4]->isSeparator());
  EXPECT_EQ(actions[5]->objectName(), QStringLiteral("PhysicalDrive1"));  // disk 0 cannot be opened
  EXPECT_EQ(actions[5]->text(), QStringLiteral("HD1, Removable Drive, [1 MB]"));
  for (int i : {0, 2, 5}) EXPECT_FALSE(actions[i]->icon().isNull());
  EXPECT_NE(TSourceMenu::EntryIcon(17).pixmap(16).toImage(), TSourceMenu::EntryIcon(18).pixmap(16).toImage());
}

TEST_F(SourceMenuTest, ChoosingADiskOrAVolumeSetsPathShortFormAndLength) {
  Choose(QStringLiteral("PhysicalDrive1"));
  EXPECT_EQ(form->FSourcePath, QStringLiteral("\\\\.\\PhysicalDrive1"));
  EXPECT_EQ(form->Source->text(), QStringLiteral("PhysicalDrive1"));
  EXPECT_EQ(form->FSourceSize, DiskBytes);
  Choose(QStringLiteral("Exx"));
  EXPECT_EQ(form->FSourcePath, QStringLiteral("\\\\.\\E:"));
  EXPECT_EQ(form->Source->text(), QStringLiteral("E:"));
  EXPECT_EQ(form->FSourceSize, DiskBytes - 512 * 1024);  // the device, not the file system's 2 KiB
  EXPECT_TRUE(Errors().empty());
}

TEST_F(SourceMenuTest, TheStatusBarTellsHowTheChosenDiskWasOpened) {
  std::string note = "已通过 UDisks2 以只读方式打开 /dev/sdb";
  form->Sources->OpenNote = [&note] { return note; };
  const auto shown = [this] {
    QCoreApplication::processEvents();
    return form->ChoiceLabel->toolTip();
  };
  Choose(QStringLiteral("PhysicalDrive1"));
  EXPECT_TRUE(shown().contains(QString::fromStdString(note))) << shown().toStdString();
  // Not a message that goes away after a while and hides the rest of the bar meanwhile.
  EXPECT_TRUE(form->RzStatusBar1->currentMessage().isEmpty());
  note.clear();  // an image file, or nothing worth telling
  Choose(QStringLiteral("Exx"));
  EXPECT_FALSE(shown().contains(QStringLiteral("UDisks2"))) << shown().toStdString();
}

// Choosing the same entry again tries it again: after a refusal (no card yet, a password prompt
// cancelled) the menu is the user's way to ask once more, and the status bar follows.
TEST_F(SourceMenuTest, ChoosingASourceAgainAfterARefusalTriesAgain) {
  const auto shown = [this] {
    QCoreApplication::processEvents();
    return form->ChoiceLabel->toolTip();
  };
  devices->Volumes['E'].Opens = false;
  Choose(QStringLiteral("Exx"));
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_TRUE(Errors()[0].startsWith(QStringLiteral("无法打开数据源 “%1”").arg(QString::fromStdString(folder / "vol.img"))))
      << Errors()[0].toStdString();
  EXPECT_TRUE(shown().contains(QStringLiteral("(无法打开)"))) << shown().toStdString();

  devices->Volumes['E'].Opens = true;  // the card is in now
  const auto opens = devices->Opens.size();
  Choose(QStringLiteral("Exx"));
  EXPECT_EQ(Errors().size(), 1u);
  EXPECT_GT(devices->Opens.size(), opens + 2) << "measured again, beyond the menu's probe of disks 0 and 1";
  EXPECT_EQ(form->FSourceSize, DiskBytes - 512 * 1024);
  EXPECT_TRUE(shown().contains(QStringLiteral("(512.50 KB)"))) << shown().toStdString();
}

TEST_F(SourceMenuTest, TheImageEntryUsesAClearedDialog) {
  form->od->setDefaultSuffix(QStringLiteral("img"));
  form->od->setNameFilter(QStringLiteral("Images (*.img)"));
  int asked = 0;
  form->Sources->ChooseImage = [&]() -> std::optional<QString> {
    ++asked;
    EXPECT_TRUE(form->od->defaultSuffix().isEmpty());
    EXPECT_FALSE(form->od->nameFilters().contains(QStringLiteral("Images (*.img)")));
    return QString::fromStdString(folder / "card.img");
  };
  Choose(QStringLiteral("Openimage"));
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(form->FSourcePath, QString::fromStdString(folder / "card.img"));
  EXPECT_EQ(form->Source->text(), form->FSourcePath);
  EXPECT_EQ(form->FSourceSize, 4096);

  form->Sources->ChooseImage = [] { return std::optional<QString>(); };  // cancelled
  Choose(QStringLiteral("Openimage"));
  EXPECT_EQ(form->FSourcePath, QString::fromStdString(folder / "card.img"));
  EXPECT_EQ(form->FSourceSize, 4096);
}

TEST_F(SourceMenuTest, AFailedOpenIsReportedAndARunMeasuresTheSourceAgain) {
  form->Sources->ChooseImage = [this] { return std::optional<QString>(QString::fromStdString(folder / "card.img")); };
  Choose(QStringLiteral("Openimage"));
  devices->Volumes['E'].Opens = false;  // the card is not in the reader yet
  Choose(QStringLiteral("Exx"));
  const QString refused = QStringLiteral("无法打开数据源 “%1”").arg(QString::fromStdString(folder / "vol.img"));
  ASSERT_EQ(Errors().size(), 1u);
  EXPECT_TRUE(Errors()[0].startsWith(refused)) << Errors()[0].toStdString();
  EXPECT_EQ(form->FSourcePath, QStringLiteral("\\\\.\\E:"));
  EXPECT_EQ(form->FSourceSize, 4096);  // left over from the image

  form->RunBtn->click();  // still no card: the run does not start on the stale length
  ASSERT_EQ(Errors().size(), 2u);
  EXPECT_TRUE(Errors()[1].startsWith(refused)) << Errors()[1].toStdString();
  EXPECT_FALSE(form->Busy());
  EXPECT_FALSE(Written(0));

  devices->Volumes['E'].Opens = true;  // the card is in
  form->RunBtn->click();
  EXPECT_EQ(Errors().size(), 2u);
  QCoreApplication::processEvents();
  EXPECT_FALSE(form->ChoiceLabel->toolTip().contains(QStringLiteral("(无法打开)"))) << "the status follows the retry";
  EXPECT_EQ(form->FSourceSize, DiskBytes - 512 * 1024);
  EXPECT_EQ(form->LastRunReport().SourceLength, DiskBytes - 512 * 1024);
  EXPECT_TRUE(Written(0)) << "the clip on the volume is recovered";
  EXPECT_EQ(testing::ReadFile((fs::path(outPath) / "0.MTS").string()).size(), static_cast<std::size_t>(ClipB.GroupCount * GroupBytes));
}

TEST_F(SourceMenuTest, ADestinationOnTheSourceAsksBeforeTheRun) {
  Choose(QStringLiteral("PhysicalDrive1"));
  devices->FolderDevices = {folder / "vol.img", folder / "disk1.img"};  // Edit1 lies on E:, on disk 1
  boxes.Answers = {false};
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("question"));
  EXPECT_TRUE(boxes.Boxes[0].Text.contains(QStringLiteral("覆盖")));
  EXPECT_FALSE(Written(0)) << "Cancel: no run";

  const auto questions = [this] {
    return std::count_if(boxes.Boxes.begin(), boxes.Boxes.end(),
                         [](const auto& box) { return box.Kind == QStringLiteral("question"); });
  };
  boxes.Answers = {true};
  form->RunBtn->click();
  EXPECT_EQ(questions(), 2);
  EXPECT_TRUE(Written(0));
  EXPECT_TRUE(Written(1));

  devices->FolderDevices = {folder / "elsewhere"};
  form->Pictures().Stop();  // nothing writes into the folder while it is emptied
  for (const auto& file : fs::directory_iterator(outPath)) fs::remove_all(file.path());  // no earlier run's files to ask about
  form->RunBtn->click();
  EXPECT_EQ(questions(), 2) << "no question for a folder on another disk";
}

// The status bar always shows what a run would read and where it would write.
TEST_F(SourceMenuTest, TheStatusBarShowsTheChosenSourceItsSizeAndTheDestination) {
  const auto shown = [this] {
    QCoreApplication::processEvents();  // the length is known once the choice is complete
    return form->ChoiceLabel->toolTip();
  };
  const QString destination = QString::fromStdString(outPath);
  EXPECT_EQ(shown(), QStringLiteral("数据源: 未选择    保存到: ") + destination);

  Choose(QStringLiteral("PhysicalDrive1"));
  const QString caption = Entry(QStringLiteral("PhysicalDrive1"))->text();
  EXPECT_EQ(shown(), QStringLiteral("数据源: %1 (1 MB)    保存到: %2").arg(caption, destination));

  const QString image = QString::fromStdString(folder / "card.img");
  form->Sources->ChooseImage = [&] { return std::optional<QString>(image); };
  Choose(QStringLiteral("Openimage"));
  EXPECT_EQ(shown(), QStringLiteral("数据源: %1 (4 KB)    保存到: %2").arg(image, destination));

  devices->Volumes['E'].Opens = false;  // chosen, but its length is not known
  Choose(QStringLiteral("Exx"));
  EXPECT_TRUE(shown().startsWith(QStringLiteral("数据源: %1 (无法打开)").arg(Entry(QStringLiteral("Exx"))->text())))
      << shown().toStdString();
  EXPECT_FALSE(form->ChoiceLabel->text().isEmpty());
}

TEST_F(SourceMenuTest, SourceTakesNoTyping) {
  Choose(QStringLiteral("PhysicalDrive1"));
  form->Source->show();
  QTest::keyClicks(form->Source, QStringLiteral("xyz"));
  QTest::keyClick(form->Source, Qt::Key_Backspace);
  EXPECT_EQ(form->Source->text(), QStringLiteral("PhysicalDrive1"));
}

}  // namespace
}  // namespace mtsrescue
