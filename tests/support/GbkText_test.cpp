// Byte counts and query escaping of GBK text; expected bytes were taken from iconv's GBK table.
#include "support/GbkText.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

TEST(GbkTextTest, CountsBytesNotCharacters) {
  EXPECT_EQ(GbkLength(QString()), 0);
  EXPECT_EQ(GbkLength(QStringLiteral("abc 123")), 7);
  EXPECT_EQ(GbkLength(QStringLiteral("张三")), 4);
  EXPECT_EQ(GbkLength(QStringLiteral("U盘存储卡")), 9);
  EXPECT_EQ(GbkLength(QStringLiteral("a\r\nb")), 4);
  EXPECT_EQ(GbkLength(QStringLiteral("，")), 2);  // full-width comma
}

TEST(GbkTextTest, ChineseBecomesItsGbkBytes) {
  EXPECT_EQ(GbkBytes(QStringLiteral("张三")), QByteArray("\xD5\xC5\xC8\xFD"));
  EXPECT_EQ(GbkQueryValue(QStringLiteral("照片 ")), QByteArray("%D5%D5%C6%AC%20"));
  EXPECT_EQ(GbkQueryValue(QStringLiteral("卡坏了")), QByteArray("%BF%A8%BB%B5%C1%CB"));
}

TEST(GbkTextTest, QuerySeparatorsBlanksAndLineBreaksAreEscaped) {
  EXPECT_EQ(GbkQueryValue(QStringLiteral("&=#+% \r\n?/")), QByteArray("%26%3D%23%2B%25%20%0D%0A%3F%2F"));
  EXPECT_EQ(GbkQueryValue(QStringLiteral("Az09-._~")), QByteArray("Az09-._~"));
  EXPECT_TRUE(GbkQueryValue(QString()).isEmpty());
}

TEST(GbkTextTest, CharacterOutsideGbkBecomesOneQuestionMark) {
  // U+1F600 (a surrogate pair in UTF-16) has no GBK form.
  const QString text = QStringLiteral("a") + QString::fromUcs4(U"\U0001F600") + QStringLiteral("b");
  EXPECT_EQ(GbkBytes(text), QByteArray("a?b"));
  EXPECT_EQ(GbkLength(text), 3);
}

}  // namespace
}  // namespace mtsrescue
