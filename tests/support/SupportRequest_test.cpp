// The request address: key order, empty values, and escapes that survive QUrl unchanged.
#include "support/SupportRequest.h"

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

TEST(SupportRequestTest, AllKeysInOrderEvenWhenEmpty) {
  SupportRequest request;
  request.ProgramName = QStringLiteral("mtsrescue");
  request.CustName = QStringLiteral("x");
  request.Tel = QStringLiteral("1");
  const QUrl url = SupportRequestUrl(QStringLiteral("127.0.0.1"), 8080, request);
  EXPECT_EQ(url.toEncoded(),
            QByteArray("http://127.0.0.1:8080/index.php?pname=mtsrescue&custname=x&fkind=&skind=&memo=&qq=&tel=1"));
}

TEST(SupportRequestTest, EscapedGbkBytesReachTheEncodedFormUnchanged) {
  SupportRequest request;
  request.ProgramName = QStringLiteral("恢复");
  request.CustName = QStringLiteral("张三");
  request.Kind = QStringLiteral("office 文档 ");
  request.Medium = QStringLiteral("nas,阵列柜 ");
  request.Memo = QStringLiteral("a&b=c\r\n#1+%");
  request.Qq = QStringLiteral("~10000");
  request.Tel = QStringLiteral("138-0013");
  const QUrl url = SupportRequestUrl(QStringLiteral("service.example.com"), 8080, request);
  ASSERT_TRUE(url.isValid()) << url.errorString().toStdString();
  EXPECT_EQ(url.host(), QStringLiteral("service.example.com"));
  EXPECT_EQ(url.port(), 8080);
  EXPECT_EQ(url.path(), QStringLiteral("/index.php"));
  EXPECT_EQ(url.query(QUrl::FullyEncoded).toLatin1(),
            QByteArray("pname=%BB%D6%B8%B4&custname=%D5%C5%C8%FD"
                       "&fkind=office%20%CE%C4%B5%B5%20"
                       "&skind=nas%2C%D5%F3%C1%D0%B9%F1%20"
                       "&memo=a%26b%3Dc%0D%0A%231%2B%25&qq=~10000&tel=138-0013"));
}

}  // namespace
}  // namespace mtsrescue
