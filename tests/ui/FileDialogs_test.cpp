// The window's file dialogs as the toolkit draws them: the image dialog opens without the previous
// file's name, and the completion list of the name box goes away with the dialog.
#include "ui/FileDialogs.h"
#include "ui/Main.h"
#include "ui/SourceMenu.h"

#include "FolderTestSupport.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QFileDialog>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

namespace mtsrescue {
namespace {

class FileDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureApp();
    ASSERT_TRUE(dir_.isValid());
    for (const char* name : {"first.img", "second.img"})
      ASSERT_TRUE(uitest::WriteFile(dir_.filePath(QString::fromLatin1(name)), QByteArray(512, 0)));
    TMainEnvironment environment;
    environment.Boxes = &boxes_;
    form_ = std::make_unique<TfrmMain>(environment);
  }

  QLineEdit* NameBox() const { return form_->od->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")); }
  // Items of the folder shown that are selected (the folder itself may be, invisibly).
  int SelectedItems() const {
    int count = 0;
    for (QAbstractItemView* view : form_->od->findChildren<QAbstractItemView*>()) {
      if (view->window() != form_->od || view->selectionModel() == nullptr) continue;
      for (const QModelIndex& index : view->selectionModel()->selectedIndexes())
        if (index.parent() == view->rootIndex()) ++count;
    }
    return count;
  }

  QTemporaryDir dir_;
  testing::TScriptedBoxes boxes_;
  std::unique_ptr<TfrmMain> form_;
};

TEST_F(FileDialogsTest, TheImageDialogOpensWithoutThePreviousFileName) {
  QFileDialog& od = *form_->od;
  od.setOption(QFileDialog::DontUseNativeDialog);
  od.setDirectory(dir_.path());
  od.show();
  ASSERT_NE(NameBox(), nullptr);
  // A file chosen on the last use, and another merely highlighted afterwards.
  od.selectFile(dir_.filePath(QStringLiteral("first.img")));
  ASSERT_TRUE(uitest::WaitUntil([&] { return SelectedItems() > 0; }));
  ASSERT_EQ(NameBox()->text(), QStringLiteral("first.img"));
  static_cast<QDialog&>(od).done(QDialog::Accepted);
  od.show();
  od.selectFile(dir_.filePath(QStringLiteral("second.img")));
  ASSERT_TRUE(uitest::WaitUntil([&] { return NameBox()->text() == QStringLiteral("second.img"); }));
  od.reject();

  form_->Sources->PrepareImageDialog();
  od.show();
  QCoreApplication::processEvents();
  EXPECT_EQ(NameBox()->text(), QString());
  EXPECT_EQ(SelectedItems(), 0);
  EXPECT_EQ(QDir(od.directory()).canonicalPath(), QDir(dir_.path()).canonicalPath());  // the folder stays
  od.reject();
}

TEST_F(FileDialogsTest, TheCompletionListLeavesWithTheDialogAndDoesNotComeBack) {
  QFileDialog& od = *form_->od;
  od.setOption(QFileDialog::DontUseNativeDialog);
  od.setDirectory(dir_.path());
  od.show();
  QCompleter* completer = NameBox()->completer();
  ASSERT_NE(completer, nullptr);
  NameBox()->setText(QStringLiteral("fir"));
  completer->setCompletionPrefix(QStringLiteral("fir"));
  // Asked again until the folder is read and the list has something to show.
  ASSERT_TRUE(uitest::WaitUntil([&] {
    if (!completer->popup()->isVisible()) completer->complete();
    return completer->popup()->isVisible();
  }));

  static_cast<QDialog&>(od).done(QDialog::Accepted);  // Return in the name box
  QCoreApplication::processEvents();
  EXPECT_FALSE(completer->popup()->isVisible());
  // The folder it waited for is read only now, and the list opens itself again.
  completer->complete();
  QCoreApplication::processEvents();
  EXPECT_FALSE(completer->popup()->isVisible());

  od.show();  // the next use still completes
  EXPECT_TRUE(uitest::WaitUntil([&] {
    if (!completer->popup()->isVisible()) completer->complete();
    return completer->popup()->isVisible();
  }));
  od.reject();
  QCoreApplication::processEvents();
  EXPECT_FALSE(completer->popup()->isVisible());
}

}  // namespace
}  // namespace mtsrescue
