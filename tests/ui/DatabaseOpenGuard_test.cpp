// The ".mdb" rule (when the question is asked is tested on the window).
#include "ui/DatabaseOpenGuard.h"

#include "FolderTestSupport.h"

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

}  // namespace
}  // namespace mtsrescue
