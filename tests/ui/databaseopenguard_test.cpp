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

// Counts the questions and answers them as told.
struct FakeQuestion {
  int asked = 0;
  bool answer = false;
  QString text;
  QString caption;
};

class ConfirmOpenTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::EnsureApp();
    previous_ = SetQuestionBox([this](QWidget*, const QString& text, const QString& caption) {
      ++fake_.asked;
      fake_.text = text;
      fake_.caption = caption;
      return fake_.answer;
    });
    ASSERT_TRUE(dir_.isValid());
  }
  void TearDown() override { SetQuestionBox(previous_); }

  QString Path(const QString& name) const { return QDir::toNativeSeparators(dir_.filePath(name)); }

  FakeQuestion fake_;
  QuestionBox previous_;
  QTemporaryDir dir_;
};

TEST_F(ConfirmOpenTest, DatabaseFileAsksAndTheAnswerDecides) {
  fake_.answer = true;
  EXPECT_TRUE(ConfirmOpen(nullptr, {Path("Repaired.MDB")}));
  EXPECT_EQ(fake_.asked, 1);
  EXPECT_EQ(fake_.text, QString::fromUtf8("是否将修复后的数据库文件导入重组?"));
  EXPECT_EQ(fake_.caption, QString::fromUtf8("重组"));

  fake_.answer = false;
  EXPECT_FALSE(ConfirmOpen(nullptr, {Path("old.mDb"), Path("0.MTS")}));
  EXPECT_EQ(fake_.asked, 2);
}

TEST_F(ConfirmOpenTest, OnlyTheFirstSelectedItemDecides) {
  EXPECT_TRUE(ConfirmOpen(nullptr, {Path("0.MTS"), Path("old.mdb")}));
  EXPECT_TRUE(ConfirmOpen(nullptr, {Path("x.mdb.bak")}));
  EXPECT_TRUE(ConfirmOpen(nullptr, {}));
  EXPECT_EQ(fake_.asked, 0);
}

TEST_F(ConfirmOpenTest, FolderNamedLikeADatabaseOpensWithoutQuestion) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("archive.mdb"));
  EXPECT_TRUE(ConfirmOpen(nullptr, {Path("archive.mdb")}));
  EXPECT_EQ(fake_.asked, 0);
}

}  // namespace
}  // namespace mtsrescue
