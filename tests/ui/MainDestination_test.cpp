// The destination folder on the real window: SaveBtn's choice, cancel, going up, the refusal
// before a choice, the database question, and exported files appearing in the list mid-export.
#include "ui/Main.h"

#include "ui/ShellList.h"

#include "FolderTestSupport.h"
#include "UiTestSupport.h"

#include <QFileSystemModel>
#include <QLineEdit>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

const QString kInstruction = QString::fromUtf8("选择保存路径: ");

// Image of 1 MiB: three clips of 60, 90 and 40 groups, so three files are written.
constexpr std::int64_t ImageBytes = 1024 * 1024;
const std::vector<testing::TClip> Clips = {{8192, 60, 5000}, {300 * 1024, 90, 900000}, {700 * 1024, 40, 42}};

class MainDestinationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::Application();
    fs::create_directories(folder.Path() / "out");
    outPath = QString::fromStdString((folder.Path() / "out").string());
    imagePath = folder / "card.img";
    testing::WriteFile(imagePath, testing::MakeImage(ImageBytes, Clips));

    TMainEnvironment environment;
    environment.Boxes = &boxes;
    environment.OpenLink = [](const QString&) {};
    environment.Opener = opener.Opener();
    environment.ChooseFolder = [this](QWidget* owner, const QString& instruction) {
      dialogOwner = owner;
      dialogInstruction = instruction;
      ++dialogsShown;
      return dialogAnswer;
    };
    environment.OpenFile = [this](const QString& path) {
      opened << path;
      return openSucceeds;
    };
    form = std::make_unique<TfrmMain>(environment);
    form->show();
  }

  void ChooseSource() {
    form->FSourcePath = QString::fromStdString(imagePath);
    form->FSourceSize = ImageBytes;
    form->Source->setText(QStringLiteral("card.img"));
  }

  void Choose(const QString& answer) {
    dialogAnswer = answer;
    form->SaveBtn->click();
  }

  QFileSystemModel* Model() const { return qobject_cast<QFileSystemModel*>(form->Shelllist->model()); }

  // True when the list shows a row called name.
  bool ListShows(const QString& name) const {
    const QModelIndex parent = form->Shelllist->rootIndex();
    for (int row = 0; row < Model()->rowCount(parent); ++row) {
      if (Model()->index(row, 0, parent).data().toString() == name) return true;
    }
    return false;
  }

  testing::TTempFolder folder;
  QString outPath;
  std::string imagePath;
  testing::TScriptedBoxes boxes;
  testing::TWatchingOpener opener;
  std::unique_ptr<TfrmMain> form;

  QString dialogAnswer;
  QWidget* dialogOwner = nullptr;
  QString dialogInstruction;
  int dialogsShown = 0;
  QStringList opened;
  bool openSucceeds = true;
};

TEST_F(MainDestinationTest, BeforeAnyChoiceTheRunIsRefusedThoughDestinationShowsTheDesktop) {
  const QString desktop = QDir::toNativeSeparators(TShellList::DesktopPath());
  EXPECT_EQ(form->Shelllist->FolderPath(), desktop);
  EXPECT_EQ(form->Destination->text(), desktop);
  EXPECT_EQ(form->Edit1->text(), TfrmMain::DestinationPlaceholder);

  ChooseSource();
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, QString::fromUtf8("请选择保存路径!"));
  EXPECT_EQ(opener.Opens, 0);
}

TEST_F(MainDestinationTest, ChoiceSetsEdit1ThenTheListThenDestination) {
  // What the other two showed at the moment each of them took the new folder.
  QString listWhenEdit1Changed;
  QString edit1WhenListChanged;
  QObject::connect(form->Edit1, &QLineEdit::textChanged, [&](const QString& text) {
    if (text == outPath) listWhenEdit1Changed = form->Shelllist->FolderPath();
  });
  QObject::connect(form->Shelllist, &TShellList::Change, [&] {
    if (form->Shelllist->FolderPath() == outPath && edit1WhenListChanged.isEmpty())
      edit1WhenListChanged = form->Edit1->text();
  });

  Choose(outPath + "/");
  EXPECT_EQ(dialogsShown, 1);
  EXPECT_EQ(dialogOwner, form.get());
  EXPECT_EQ(dialogInstruction, kInstruction);
  EXPECT_EQ(listWhenEdit1Changed, QDir::toNativeSeparators(TShellList::DesktopPath()));
  EXPECT_EQ(edit1WhenListChanged, outPath);
  EXPECT_EQ(form->Edit1->text(), outPath);
  EXPECT_EQ(form->Shelllist->FolderPath(), outPath);
  EXPECT_EQ(form->Destination->text(), outPath);
}

TEST_F(MainDestinationTest, CancelOrANonFolderKeepsTheEarlierChoice) {
  Choose(outPath);
  form->Destination->setText(QStringLiteral("typed by the user"));
  Choose(QString());
  Choose(QString::fromStdString(imagePath));  // a file, not a folder
  EXPECT_EQ(dialogsShown, 3);
  EXPECT_EQ(form->Edit1->text(), outPath);
  EXPECT_EQ(form->Shelllist->FolderPath(), outPath);
  EXPECT_EQ(form->Destination->text(), QStringLiteral("typed by the user"));
}

TEST_F(MainDestinationTest, DestinationFollowsTheListIntoAnEmptyFolder) {
  Choose(outPath);
  form->BtnMoveLeft->click();
  ASSERT_TRUE(uitest::WaitUntil([&] { return ListShows("out"); }));
  form->Destination->setText(QStringLiteral("typed"));
  form->Shelllist->selectionModel()->select(Model()->index(outPath),
                                            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  form->Shelllist->setFocus();
  QTest::keyClick(form->Shelllist, Qt::Key_Return);
  EXPECT_EQ(form->Shelllist->FolderPath(), outPath);
  EXPECT_EQ(form->Destination->text(), outPath);  // "out" is empty: no item changes, the folder does
}

// Going up and typing into Destination move only what the list shows; the run writes into the
// chosen folder, and its files appear in the list while the export is still going on.
TEST_F(MainDestinationTest, ExportGoesToTheChoiceAndItsFilesAppearDuringTheExport) {
  ChooseSource();
  Choose(outPath);
  form->BtnMoveLeft->click();
  const QString parent = QString::fromStdString(folder.Path().string());
  EXPECT_EQ(form->Shelllist->FolderPath(), parent);
  EXPECT_EQ(form->Destination->text(), parent);
  EXPECT_EQ(form->Edit1->text(), outPath);
  form->Destination->setText(QStringLiteral("/somewhere/else"));

  // Back to the chosen folder through the list, while the scan runs, as a user would.
  bool listUsableWhileBusy = false;
  opener.OnRead = [&](std::int64_t reads) {
    if (reads != 1) return;
    listUsableWhileBusy = form->Busy() && form->Shelllist->isEnabled() && form->BtnMoveLeft->isEnabled() &&
                          form->Destination->isEnabled() && !form->SaveBtn->isEnabled();
    form->Shelllist->SetFolder(outPath);
  };
  // When the last file is created, the first two must be in the list already (given time to
  // arrive, as the export's pumping gives it).
  bool earlierFilesShownMidExport = false;
  opener.OnOpen = [&](const std::string& path, OpenMode mode) {
    if (mode != OpenMode::CreateNew || fs::path(path).filename() != "2.MTS.part") return;
    earlierFilesShownMidExport =
        uitest::WaitUntil([&] { return ListShows("0.MTS") && ListShows("1.MTS"); }) && form->Busy();
  };

  form->RunBtn->click();
  EXPECT_TRUE(listUsableWhileBusy);
  EXPECT_TRUE(earlierFilesShownMidExport);
  ASSERT_EQ(form->LastRunReport().Failure, RunFailure::None);
  EXPECT_EQ(form->LastRunReport().Export.FilesWritten, 3);
  for (const char* name : {"0.MTS", "1.MTS", "2.MTS"}) EXPECT_TRUE(fs::exists(folder.Path() / "out" / name)) << name;
  EXPECT_FALSE(fs::exists(folder.Path() / "0.MTS"));

  // After the run the list shows every file with its final size.
  const QString last = outPath + "/2.MTS";
  EXPECT_TRUE(uitest::WaitUntil([&] {
    return ListShows("2.MTS") && Model()->size(Model()->index(last)) == static_cast<qint64>(fs::file_size(last.toStdString()));
  }));
}

// The question comes only when the first selected item is a database file (in any case of its
// letters), and its answer decides for the whole open.
TEST_F(MainDestinationTest, DatabaseFileAsksBeforeOpeningAndTheFirstSelectedItemDecides) {
  for (const char* name : {"out/Repaired.MdB", "out/0.MTS", "out/x.mdb.bak"}) testing::WriteFile(folder / name, {1, 2});
  fs::create_directories(folder.Path() / "out" / "archive.mdb");
  Choose(outPath);
  ASSERT_TRUE(uitest::WaitUntil([&] { return ListShows("Repaired.MdB") && ListShows("archive.mdb"); }));
  auto open = [&](const QStringList& names) {
    opened.clear();
    form->Shelllist->selectionModel()->clear();
    for (const QString& name : names) {
      form->Shelllist->selectionModel()->select(Model()->index(outPath + "/" + name),
                                                QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    form->Shelllist->setFocus();
    QTest::keyClick(form->Shelllist, Qt::Key_Return);
  };

  boxes.Answers = {false, true};
  open({"Repaired.MdB"});
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, "question");
  EXPECT_EQ(boxes.Boxes[0].Caption, QString::fromUtf8("重组"));
  EXPECT_EQ(boxes.Boxes[0].Text, QString::fromUtf8("是否将修复后的数据库文件导入重组?"));
  EXPECT_TRUE(opened.isEmpty());

  // "First" is the list's order (folders, then names), not the order of selecting.
  open({"x.mdb.bak", "Repaired.MdB"});
  EXPECT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(opened, (QStringList{QDir::toNativeSeparators(outPath + "/Repaired.MdB"),
                                 QDir::toNativeSeparators(outPath + "/x.mdb.bak")}));

  boxes.Answers = {false, false, false};
  open({"Repaired.MdB", "0.MTS"});
  EXPECT_EQ(opened.size(), 2);
  open({"x.mdb.bak"});
  EXPECT_EQ(opened.size(), 1);
  open({"archive.mdb", "0.MTS"});  // a folder is no database, whatever its name
  EXPECT_EQ(opened.size(), 2);
  EXPECT_EQ(boxes.Boxes.size(), 2u);
}

TEST_F(MainDestinationTest, FileWithoutAProgramToOpenItIsReported) {
  testing::WriteFile(folder / "out/0.MTS", {1});
  Choose(outPath);
  ASSERT_TRUE(uitest::WaitUntil([&] { return ListShows("0.MTS"); }));
  openSucceeds = false;
  form->Shelllist->selectionModel()->select(Model()->index(outPath + "/0.MTS"),
                                            QItemSelectionModel::Select | QItemSelectionModel::Rows);
  form->Shelllist->setFocus();
  QTest::keyClick(form->Shelllist, Qt::Key_Return);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, "error");
  EXPECT_TRUE(boxes.Boxes[0].Text.contains(QDir::toNativeSeparators(outPath + "/0.MTS")));
}

}  // namespace
}  // namespace mtsrescue
