// The file list: start folder, navigation up and into folders, opening, keyboard commands, and
// files appearing while they are written into the folder shown.
#include "ui/ShellList.h"

#include "ui/FileTexts.h"
#include "ui/StartUp.h"

#include "FolderTestSupport.h"
#include "platform/FileTimes.h"
#include "thumbnails/JpegEncoder.h"

#include <QClipboard>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QImage>
#include <QPainter>
#include <QTextDocument>
#include <QLocale>
#include <QRegularExpression>
#include <QTranslator>
#include <QMimeData>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace mtsrescue {
namespace {

class ShellListTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureApp();
    ASSERT_TRUE(dir_.isValid());
    root_ = QDir(dir_.path()).canonicalPath();
    list_ = std::make_unique<TShellList>();
    list_->resize(800, 400);
    list_->show();
    list_->SetFileOpener([this](const QString& path) {
      opened_ << path;
      return openSucceeds_;
    });
  }

  QFileSystemModel* Model() { return qobject_cast<QFileSystemModel*>(list_->model()); }
  QString Native(const QString& name) const { return QDir::toNativeSeparators(root_ + "/" + name); }

  // Names of the rows the list shows now.
  QStringList ShownNames() {
    QStringList names;
    const QModelIndex parent = list_->rootIndex();
    for (int row = 0; row < Model()->rowCount(parent); ++row) names << Model()->index(row, 0, parent).data().toString();
    names.sort();
    return names;
  }
  bool WaitForNames(const QStringList& expected) {
    return uitest::WaitUntil([&] { return ShownNames() == expected; });
  }
  QModelIndex IndexOf(const QString& name) { return Model()->index(root_ + "/" + name); }

  void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(list_.get(), static_cast<Qt::Key>(key), modifiers);
  }
  // A double click as a user makes it: a click that selects, then the double click on the same item.
  void DoubleClick(const QString& name) {
    const QModelIndex index = IndexOf(name);
    list_->scrollTo(index);
    list_->doItemsLayout();
    const QPoint at = list_->visualRect(index).center();
    QTest::mouseClick(list_->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QTest::mouseDClick(list_->viewport(), Qt::LeftButton, Qt::NoModifier, at);
  }
  void Select(const QStringList& names) {
    list_->selectionModel()->clear();
    for (const QString& name : names) {
      list_->selectionModel()->select(IndexOf(name), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
  }

  QTemporaryDir dir_;
  QString root_;
  std::unique_ptr<TShellList> list_;  // made after the application object
  QStringList opened_;
  bool openSucceeds_ = true;
};

// A rebuilt recording's file carries its recording date as modification time; the date column
// shows that time, not when the file was written.
TEST_F(ShellListTest, TheDateColumnShowsTheRecordingDateOfARebuiltRecording) {
  const QString name = QStringLiteral("2024-05-01 09-08-07.MTS");
  QFile file(root_ + "/" + name);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("x");
  file.close();
  ASSERT_FALSE(SetModifiedLocalTime(file.fileName().toStdString(), {2024, 5, 1, 9, 8, 7}));
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({name}));
  const QDateTime recorded(QDate(2024, 5, 1), QTime(9, 8, 7));
  ASSERT_TRUE(uitest::WaitUntil([&] { return Model()->lastModified(IndexOf(name)) == recorded; }))
      << Model()->lastModified(IndexOf(name)).toString().toStdString();
  const QString shown = Model()->index(IndexOf(name).row(), 3, IndexOf(name).parent()).data().toString();
  EXPECT_EQ(shown, FileDateText(recorded)) << shown.toStdString();
  EXPECT_EQ(Model()->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("修改日期"));
}

TEST_F(ShellListTest, StartsAtTheDesktopAndFallsBackToItForBadPaths) {
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(TShellList::DesktopPath()));
  EXPECT_TRUE(QFileInfo(TShellList::DesktopPath()).isDir());

  list_->SetFolder(root_);
  list_->SetFolder(root_ + "/missing");
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(TShellList::DesktopPath()));

  ASSERT_TRUE(uitest::WriteFile(root_ + "/file.bin", "x"));
  list_->SetFolder(root_ + "/file.bin");  // a file is not a folder
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(TShellList::DesktopPath()));
}

TEST_F(ShellListTest, FolderPathHasNoTrailingSeparatorExceptAtARoot) {
  list_->SetFolder(root_ + "/");
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));
  list_->SetFolder(QDir::toNativeSeparators(root_));
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));
  list_->SetFolder(QDir::rootPath());
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(QDir::rootPath()));
}

TEST_F(ShellListTest, MoveUpAndBackspaceGoToTheParentAndStopAtTheTop) {
  // Without an overview of drives (the POSIX shape; the overview has its own test).
  list_ = std::make_unique<TShellList>(nullptr, /*hasDriveOverview=*/false);
  list_->resize(800, 400);
  list_->show();
  ASSERT_TRUE(QDir(root_).mkpath("a/b"));
  list_->SetFolder(root_ + "/a/b");
  QSignalSpy changes(list_.get(), &TShellList::Change);

  list_->MoveUp(1);
  EXPECT_EQ(list_->FolderPath(), Native("a"));
  EXPECT_GE(changes.count(), 1);
  // The folder just left is the one selected, so Enter goes straight back.
  EXPECT_EQ(list_->SelectedPaths(), QStringList{Native("a/b")});

  list_->setFocus();
  Press(Qt::Key_Backspace);
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));

  list_->SetFolder(root_ + "/a/b");
  list_->MoveUp(2);
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));

  // A root is the top: going up from it changes nothing.
  QDir top(root_);
  while (top.cdUp()) {
  }
  const QString topPath = QDir::toNativeSeparators(top.absolutePath());
  list_->SetFolder(top.absolutePath());
  list_->MoveUp(1);
  EXPECT_EQ(list_->FolderPath(), topPath);
  list_->SetFolder(root_);
  list_->MoveUp(100);
  EXPECT_EQ(list_->FolderPath(), topPath);
}

// Where roots sit under an overview of drives, going up from a root shows it (no file-system
// path), going up from it does nothing, and the root left behind is selected to go back in.
TEST_F(ShellListTest, WithADriveOverviewARootGoesUpToItAndItIsTheTop) {
  TShellList list(nullptr, /*hasDriveOverview=*/true);
  list.resize(600, 300);
  list.show();
  list.SetFolder(QDir::rootPath());
  QSignalSpy changes(&list, &TShellList::Change);

  list.MoveUp(1);
  EXPECT_TRUE(list.FolderPath().isEmpty());
  EXPECT_GE(changes.count(), 1);
  EXPECT_EQ(list.SelectedPaths(), QStringList{QDir::toNativeSeparators(QDir::rootPath())});
  list.MoveUp(1);
  EXPECT_TRUE(list.FolderPath().isEmpty());

  list.setFocus();
  QTest::keyClick(&list, Qt::Key_Return);
  EXPECT_EQ(list.FolderPath(), QDir::toNativeSeparators(QDir::rootPath()));
}

TEST_F(ShellListTest, EnterAndDoubleClickEnterASingleFolder) {
  ASSERT_TRUE(QDir(root_).mkpath("sub/inner"));
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({"sub"}));
  bool hookRaised = false;
  list_->OnDblClickOpen = [&](TShellList*, bool&) { hookRaised = true; };

  Select({"sub"});
  Press(Qt::Key_Return);
  EXPECT_EQ(list_->FolderPath(), Native("sub"));

  ASSERT_TRUE(WaitForNames({"inner"}));
  QSignalSpy changes(list_.get(), &TShellList::Change);
  DoubleClick("sub/inner");
  EXPECT_EQ(list_->FolderPath(), Native("sub/inner"));
  EXPECT_GE(changes.count(), 1);  // even though the folder entered is empty
  EXPECT_FALSE(hookRaised);
  EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(ShellListTest, OpeningFilesRaisesTheHookOnceAndItCanCancel) {
  ASSERT_TRUE(uitest::WriteFile(root_ + "/0.MTS", "a"));
  ASSERT_TRUE(uitest::WriteFile(root_ + "/1.MTS", "b"));
  ASSERT_TRUE(QDir(root_).mkdir("folder"));
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({"0.MTS", "1.MTS", "folder"}));
  int raised = 0;
  bool cancel = false;
  QStringList selectedAtHook;
  list_->OnDblClickOpen = [&](TShellList* sender, bool& handled) {
    EXPECT_EQ(sender, list_.get());
    EXPECT_FALSE(handled);
    ++raised;
    selectedAtHook = sender->SelectedPaths();
    handled = cancel;
  };

  DoubleClick("1.MTS");
  EXPECT_EQ(raised, 1);
  EXPECT_EQ(opened_, QStringList{Native("1.MTS")});
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));

  // Several items, a folder among them: one hook, then every item opened, in list order.
  opened_.clear();
  Select({"folder", "1.MTS", "0.MTS"});
  Press(Qt::Key_Enter);
  EXPECT_EQ(raised, 2);
  EXPECT_EQ(selectedAtHook.size(), 3);
  EXPECT_EQ(opened_.size(), 3);
  EXPECT_EQ(opened_.first(), selectedAtHook.first());
  EXPECT_TRUE(opened_.contains(Native("folder")));
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));

  cancel = true;
  opened_.clear();
  Select({"0.MTS"});
  Press(Qt::Key_Return);
  EXPECT_EQ(raised, 3);
  EXPECT_TRUE(opened_.isEmpty());
}

TEST_F(ShellListTest, FailedOpenIsReported) {
  ASSERT_TRUE(uitest::WriteFile(root_ + "/0.MTS", "a"));
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({"0.MTS"}));
  openSucceeds_ = false;
  QSignalSpy failed(list_.get(), &TShellList::OpenFailed);
  Select({"0.MTS"});
  Press(Qt::Key_Return);
  ASSERT_EQ(failed.count(), 1);
  EXPECT_EQ(failed.first().first().toString(), Native("0.MTS"));
}

TEST_F(ShellListTest, FilesWrittenIntoTheShownFolderAppearWhileEventsArePumped) {
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({}));
  QSignalSpy changes(list_.get(), &TShellList::Change);

  ASSERT_TRUE(uitest::WriteFile(root_ + "/0.MTS", QByteArray(4096, 'x')));
  EXPECT_TRUE(WaitForNames({"0.MTS"}));
  ASSERT_TRUE(uitest::WriteFile(root_ + "/1.MTS", QByteArray(4096, 'y')));
  EXPECT_TRUE(WaitForNames({"0.MTS", "1.MTS"}));
  EXPECT_GE(changes.count(), 2);

  ASSERT_TRUE(QFile::remove(root_ + "/0.MTS"));
  EXPECT_TRUE(WaitForNames({"1.MTS"}));
}

TEST_F(ShellListTest, RefreshReadsSizesAgainAndKeepsFolderAndSelection) {
  ASSERT_TRUE(uitest::WriteFile(root_ + "/growing.MTS", QByteArray(100, 'x')));
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({"growing.MTS"}));
  ASSERT_TRUE(uitest::WaitUntil([&] { return Model()->size(IndexOf("growing.MTS")) == 100; }));
  Select({"growing.MTS"});

  {
    QFile file(root_ + "/growing.MTS");
    ASSERT_TRUE(file.open(QIODevice::Append));
    ASSERT_EQ(file.write(QByteArray(9900, 'y')), 9900);
  }
  list_->setFocus();
  Press(Qt::Key_F5);
  EXPECT_EQ(list_->FolderPath(), QDir::toNativeSeparators(root_));
  EXPECT_TRUE(uitest::WaitUntil([&] { return Model()->size(IndexOf("growing.MTS")) == 10000; }));
  EXPECT_EQ(list_->SelectedPaths(), QStringList{Native("growing.MTS")});
}

TEST_F(ShellListTest, SelectAllAndCopy) {
  for (const char* name : {"0.MTS", "1.MTS", "2.MTS"}) ASSERT_TRUE(uitest::WriteFile(root_ + "/" + name, "z"));
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({"0.MTS", "1.MTS", "2.MTS"}));
  list_->setFocus();
  Press(Qt::Key_A, Qt::ControlModifier);
  ASSERT_EQ(list_->SelectedPaths(), (QStringList{Native("0.MTS"), Native("1.MTS"), Native("2.MTS")}));

  Press(Qt::Key_C, Qt::ControlModifier);
  const QMimeData* data = QApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  ASSERT_EQ(data->urls().size(), 3);
  EXPECT_EQ(data->urls().first().toLocalFile(), root_ + "/0.MTS");
}

// Under an English or C locale the list still reads Chinese: types from Qt's translations and the
// shared MIME names, dates in the Chinese form; and no column cuts its texts off.
TEST_F(ShellListTest, TypesAndDatesAreChineseAndTheColumnsHoldTheirTexts) {
  const QLocale systemDefault;
  QTranslator qtTexts;
  const bool loaded = UseChineseTexts(qtTexts);
  struct Restore {
    QTranslator& texts;
    QLocale locale;
    ~Restore() {
      QCoreApplication::removeTranslator(&texts);
      QLocale::setDefault(locale);
    }
  } restore{qtTexts, systemDefault};
  if (!loaded) GTEST_SKIP() << "Qt's Chinese translations are not installed";

  ASSERT_TRUE(QDir(root_).mkdir(QStringLiteral("clips")));
  ASSERT_TRUE(uitest::WriteFile(root_ + "/0.MTS", QByteArray(5000, '\x47')));
  list_ = std::make_unique<TShellList>();  // made after the locale, as at start-up
  list_->resize(1078, 300);
  list_->show();
  list_->SetFolder(root_);
  ASSERT_TRUE(WaitForNames({QStringLiteral("0.MTS"), QStringLiteral("clips")}));
  ASSERT_TRUE(uitest::WaitUntil([&] { return !IndexOf("0.MTS").siblingAtColumn(3).data().toString().isEmpty(); }));
  QCoreApplication::processEvents();

  const auto text = [&](const QString& name, int column) {
    return IndexOf(name).siblingAtColumn(column).data().toString();
  };
  EXPECT_EQ(text("clips", 2), QStringLiteral("文件夹"));
  // "MPEG-2 传输流" where the MIME names have it in Chinese, "MTS 文件" where not; never English.
  const QRegularExpression chinese(QStringLiteral("[\\x{4e00}-\\x{9fff}]"));
  EXPECT_TRUE(text("0.MTS", 2).contains(chinese)) << text("0.MTS", 2).toStdString();
  const QRegularExpression chineseDate(QStringLiteral("^\\d{4}/\\d{1,2}/\\d{1,2} \\d{1,2}:\\d{2}$"));
  EXPECT_TRUE(chineseDate.match(text("0.MTS", 3)).hasMatch()) << text("0.MTS", 3).toStdString();
  EXPECT_TRUE(chineseDate.match(text("clips", 3)).hasMatch()) << text("clips", 3).toStdString();

  QHeaderView* header = list_->header();
  for (int column = 1; column <= 3; ++column) {
    const QAbstractItemView* view = list_.get();  // where the size hint is public
    const int needed = std::max(view->sizeHintForColumn(column), header->sectionSizeHint(column));
    EXPECT_GE(header->sectionSize(column), needed) << "column " << column;
  }
  EXPECT_LE(header->sectionPosition(3) + header->sectionSize(3), list_->viewport()->width());
}

// A recording's tooltip is its picture, as the pictures are written: the build's Qt must read
// them (a Qt without JPEG support shows a broken image).
TEST_F(ShellListTest, ARecordingsTooltipIsItsPictureAndQtReadsIt) {
  Picture picture = PlaceholderPicture(160, 90);
  const std::vector<std::uint8_t> jpeg = JpegEncoder::Encode(picture);
  if (jpeg.empty()) GTEST_SKIP() << "this build writes no pictures";
  ASSERT_TRUE(QDir(root_).mkpath(QStringLiteral("clips")) && QDir(root_).mkpath(QStringLiteral("thumbnails/clips")));
  uitest::WriteFile(root_ + "/clips/2019-04-24 22-24-00.MTS", QByteArray(192, '\x47'));
  uitest::WriteFile(root_ + "/clips/undated.MTS", QByteArray(192, '\x47'));
  uitest::WriteFile(root_ + "/thumbnails/clips/2019-04-24 22-24-00.jpg",
                    QByteArray(reinterpret_cast<const char*>(jpeg.data()), static_cast<qsizetype>(jpeg.size())));
  list_->SetFolder(root_ + "/clips");
  ASSERT_TRUE(WaitForNames({QStringLiteral("2019-04-24 22-24-00.MTS"), QStringLiteral("undated.MTS")}));

  const QString shown = TShellList::PictureOf(root_ + "/clips/2019-04-24 22-24-00.MTS");
  EXPECT_EQ(QFileInfo(shown).canonicalFilePath(), root_ + "/thumbnails/clips/2019-04-24 22-24-00.jpg");
  EXPECT_EQ(QImage(shown).size(), QSize(160, 90));
  // The tooltip drawn as a tooltip draws it: the picture's grey, not a broken image's icon.
  QTextDocument tip;
  tip.setHtml(list_->PictureTip(IndexOf(QStringLiteral("clips/2019-04-24 22-24-00.MTS"))));
  QImage drawn(200, 140, QImage::Format_RGB32);
  drawn.fill(Qt::white);
  QPainter painter(&drawn);
  tip.drawContents(&painter);
  painter.end();
  const QColor inside = drawn.pixelColor(40, 8);
  EXPECT_NEAR(inside.red(), 128, 6);
  EXPECT_NEAR(inside.green(), 128, 6);
  EXPECT_TRUE(tip.toPlainText().contains(QStringLiteral("2019-04-24 22-24-00.MTS")));
  EXPECT_TRUE(list_->PictureTip(IndexOf(QStringLiteral("clips/undated.MTS"))).isEmpty()) << "no picture, no tooltip";
}

}  // namespace
}  // namespace mtsrescue
