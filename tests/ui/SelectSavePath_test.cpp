// The folder dialog: what a choice, a cancel or a non-folder returns, and how the real dialog is set up.
#include "ui/SelectSavePath.h"

#include "FolderTestSupport.h"

#include <QFileDialog>
#include <QTemporaryDir>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

const QString kInstruction = QString::fromUtf8("选择保存路径: ");

class SelectSavePathTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureApp();
    ASSERT_TRUE(dir_.isValid());
  }

  // SelectSavePath with a dialog that answers `answer` and remembers what it was shown.
  bool Select(QWidget* owner, const QString& answer, QString& path) {
    return SelectSavePath(owner, kInstruction, path, [this, answer](QWidget* shownOwner, const QString& instruction) {
      seenOwner_ = shownOwner;
      seenInstruction_ = instruction;
      ++shown_;
      return answer;
    });
  }

  QTemporaryDir dir_;
  QWidget* seenOwner_ = nullptr;
  QString seenInstruction_;
  int shown_ = 0;
};

TEST_F(SelectSavePathTest, ChosenFolderComesBackWithoutTrailingSeparator) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir(QString::fromUtf8("恢复 结果")));
  const QString folder = dir_.filePath(QString::fromUtf8("恢复 结果"));
  QWidget owner;
  QString path = "stale";

  EXPECT_TRUE(Select(&owner, folder + "/", path));
  EXPECT_EQ(path, QDir::toNativeSeparators(folder));
  EXPECT_EQ(seenOwner_, &owner);
  EXPECT_EQ(seenInstruction_, kInstruction);

  EXPECT_TRUE(Select(&owner, QDir::toNativeSeparators(folder), path));
  EXPECT_EQ(path, QDir::toNativeSeparators(folder));
}

TEST_F(SelectSavePathTest, RootKeepsItsSeparator) {
  QString path;
  ASSERT_TRUE(Select(nullptr, QDir::rootPath(), path));
  EXPECT_EQ(path, QDir::toNativeSeparators(QDir::rootPath()));
  EXPECT_TRUE(path.endsWith(QDir::separator()));
}

TEST_F(SelectSavePathTest, CancelOrNonFolderIsNoChoiceAndEmptiesThePath) {
  QString path = "earlier";
  EXPECT_FALSE(Select(nullptr, QString(), path));
  EXPECT_TRUE(path.isEmpty());

  path = "earlier";
  EXPECT_FALSE(Select(nullptr, dir_.filePath("does-not-exist"), path));
  EXPECT_TRUE(path.isEmpty());

  ASSERT_TRUE(uitest::WriteFile(dir_.filePath("plain.txt"), "x"));
  EXPECT_FALSE(Select(nullptr, dir_.filePath("plain.txt"), path));
  EXPECT_TRUE(path.isEmpty());
  EXPECT_EQ(shown_, 3);
}

// The real dialog: folders only, the instruction shown, a new-folder button; accepted and cancelled.
TEST_F(SelectSavePathTest, RealDialogChoosesFoldersOnly) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("out"));
  const QString folder = dir_.filePath("out");
  bool inspected = false;
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    ASSERT_NE(dialog, nullptr);
    inspected = true;
    EXPECT_EQ(dialog->windowTitle(), kInstruction);
    EXPECT_EQ(dialog->fileMode(), QFileDialog::Directory);
    EXPECT_TRUE(dialog->testOption(QFileDialog::ShowDirsOnly));
    EXPECT_EQ(dialog->labelText(QFileDialog::LookIn), kInstruction);
    EXPECT_NE(dialog->findChild<QWidget*>("newFolderButton"), nullptr);
    dialog->setDirectory(folder);
    dialog->selectFile(folder);
    static_cast<QDialog*>(dialog)->accept();  // QFileDialog::accept, through the public base
  });
  QString path;
  EXPECT_TRUE(SelectSavePath(nullptr, kInstruction, path));
  EXPECT_TRUE(inspected);
  EXPECT_EQ(path, QDir::toNativeSeparators(folder));

  QTimer::singleShot(0, [] {
    if (auto* dialog = QApplication::activeModalWidget()) dialog->close();
  });
  path = "earlier";
  EXPECT_FALSE(SelectSavePath(nullptr, kInstruction, path));
  EXPECT_TRUE(path.isEmpty());
}

}  // namespace
}  // namespace mtsrescue
