// The ".mdb" rule and when its question is asked.
#include "ui/DatabaseOpenGuard.h"

#include "FolderTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

TEST(OpenExtension, TakesTheLastDotAfterTheLastSeparator) {
  EXPECT_EQ(OpenExtension("C:\\video\\old.mdb"), ".mdb");
  EXPECT_EQ(OpenExtension("/home/u/x.mdb.bak"), ".bak");
  EXPECT_EQ(OpenExtension("C:\\data.mdb\\notes"), "");       // the dot is in a folder name
  EXPECT_EQ(OpenExtension("/srv/data.mdb/notes"), "");
  EXPECT_EQ(OpenExtension("D:old.mdb"), ".mdb");              // drive-relative, after ':'
  EXPECT_EQ(OpenExtension("D:.hidden"), ".hidden");
  EXPECT_EQ(OpenExtension("C:\\dir\\name."), ".");
  EXPECT_EQ(OpenExtension("C:\\dir\\README"), "");
  EXPECT_EQ(OpenExtension(""), "");
}

TEST(OpenExtension, LowerCasesAsciiLettersOnly) {
  EXPECT_EQ(OpenExtension("C:\\A\\OLD.MDB"), ".mdb");
  EXPECT_EQ(OpenExtension("C:\\A\\old.MdB"), ".mdb");
  // Other letters stay as they are, so no other alphabet can turn into "mdb".
  EXPECT_EQ(OpenExtension(QString::fromUtf8("x.MDÄ")), QString::fromUtf8(".mdÄ"));
  EXPECT_EQ(OpenExtension(QString::fromUtf8("x.ＭＤＢ")), QString::fromUtf8(".ＭＤＢ"));
  EXPECT_FALSE(IsDatabaseFile(QString::fromUtf8("x.ＭＤＢ")));
  EXPECT_TRUE(IsDatabaseFile("X.MDB"));
  EXPECT_FALSE(IsDatabaseFile("x.mdb.bak"));
  EXPECT_FALSE(IsDatabaseFile("x.mdbx"));
}

class ConfirmOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureApp();
    ASSERT_TRUE(dir_.isValid());
  }

  QString Path(const QString& name) const { return QDir::toNativeSeparators(dir_.filePath(name)); }
  bool Confirm(const QStringList& paths) { return ConfirmOpen(nullptr, boxes_, paths); }

  testing::TScriptedBoxes boxes_;
  QTemporaryDir dir_;
};

TEST_F(ConfirmOpenTest, DatabaseFileAsksAndTheAnswerDecides) {
  boxes_.Answers = {true, false};
  EXPECT_TRUE(Confirm({Path("Repaired.MDB")}));
  ASSERT_EQ(boxes_.Boxes.size(), 1u);
  EXPECT_EQ(boxes_.Boxes[0].Kind, "question");
  EXPECT_EQ(boxes_.Boxes[0].Text, QString::fromUtf8("是否将修复后的数据库文件导入重组?"));
  EXPECT_EQ(boxes_.Boxes[0].Caption, QString::fromUtf8("重组"));

  EXPECT_FALSE(Confirm({Path("old.mDb"), Path("0.MTS")}));
  EXPECT_EQ(boxes_.Boxes.size(), 2u);
}

TEST_F(ConfirmOpenTest, OnlyTheFirstSelectedItemDecides) {
  boxes_.Answers = {false, false, false};
  EXPECT_TRUE(Confirm({Path("0.MTS"), Path("old.mdb")}));
  EXPECT_TRUE(Confirm({Path("x.mdb.bak")}));
  EXPECT_TRUE(Confirm({}));
  EXPECT_TRUE(boxes_.Boxes.empty());
}

TEST_F(ConfirmOpenTest, FolderNamedLikeADatabaseOpensWithoutQuestion) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("archive.mdb"));
  boxes_.Answers = {false};
  EXPECT_TRUE(Confirm({Path("archive.mdb")}));
  EXPECT_TRUE(boxes_.Boxes.empty());
}

}  // namespace
}  // namespace mtsrescue
