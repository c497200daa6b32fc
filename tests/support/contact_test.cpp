// The support form end to end: its layout, its checks, and what a local HTTP server receives.
#include "support/contact.h"

#include "support/GbkText.h"

#include "LocalHttpServer.h"
#include "TestApplication.h"

#include "mtsrescue/Vendor.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <gtest/gtest.h>

#include <memory>

namespace mtsrescue {
namespace {

using test::LocalHttpServer;
using test::WaitFor;

const QString Sent = QStringLiteral("发送成功！");
const QString Failed = QStringLiteral("提交失败！请检查网络");
const QString TooLong = QStringLiteral("内容超长");

// The keys and the value bytes of "GET /index.php?k=v&… HTTP/1.1", split and unescaped the way a
// service does. Values stay bytes: Qt on Windows has no GBK decoder, and the GBK form of a text is
// checked against iconv's bytes on its own.
struct ReceivedQuery {
  QStringList Keys;
  QList<QByteArray> Values;
};

ReceivedQuery ParseRequestLine(const QByteArray& line) {
  ReceivedQuery query;
  const QByteArray prefix = "GET /index.php?";
  const QByteArray suffix = " HTTP/1.1";
  EXPECT_TRUE(line.startsWith(prefix) && line.endsWith(suffix)) << line.toStdString();
  const QByteArray target = line.mid(prefix.size(), line.size() - prefix.size() - suffix.size());
  for (const QByteArray& pair : target.split('&')) {
    const qsizetype equals = pair.indexOf('=');
    query.Keys.append(QString::fromLatin1(pair.left(equals)));
    query.Values.append(QByteArray::fromPercentEncoding(pair.mid(equals + 1)));
  }
  return query;
}

const QStringList AllKeys = {"pname", "custname", "fkind", "skind", "memo", "qq", "tel"};

class ContactFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.Listening());
    form = std::make_unique<TForm3>(QStringLiteral("mtsrescue"));
    ContactHooks hooks;
    hooks.ShowMessage = [this](QWidget* owner, const QString& text) {
      EXPECT_EQ(owner, form.get());
      messages.append(text);
    };
    hooks.OpenUrl = [this](const QUrl& address) { opened.append(address); };
    form->SetHooks(hooks);
    form->SetServiceEndpoint(QStringLiteral("127.0.0.1"), server.Port());
    form->show();
  }

  void Fill(const QString& name, const QString& phone, const QString& qq = {}, const QString& memo = {}) {
    form->sEdit1->setText(name);
    form->sEdit2->setText(phone);
    form->sEdit3->setText(qq);
    form->Memo1->setPlainText(memo);
  }

  // Presses the submit button and waits for the message it leads to; returns that message.
  QString SubmitAndWait() {
    const qsizetype before = messages.size();
    form->sButton1->click();
    EXPECT_TRUE(WaitFor([&] { return messages.size() > before; }));
    EXPECT_EQ(messages.size(), before + 1) << "one click must give exactly one message";
    return messages.size() > before ? messages.back() : QString();
  }

  // Presses the submit button when the entries should be refused: nothing may be sent.
  QString SubmitRefused() {
    const qsizetype before = messages.size();
    form->sButton1->click();
    EXPECT_FALSE(form->RequestRunning());
    EXPECT_TRUE(form->sButton1->isEnabled());
    EXPECT_EQ(messages.size(), before + 1);
    return messages.size() > before ? messages.back() : QString();
  }

  LocalHttpServer server;
  std::unique_ptr<TForm3> form;
  QStringList messages;
  QList<QUrl> opened;
};

TEST_F(ContactFormTest, FormHasEveryControlInPlace) {
  EXPECT_EQ(form->windowTitle(), QStringLiteral("联系工程师"));
  EXPECT_EQ(form->font().pixelSize(), 12);
  struct Expected {
    const char* Name;
    QRect Geometry;
    QString Caption;
  };
  const Expected controls[] = {
      {"sLabel1", {24, 24, 305, 13}, QStringLiteral("填写表单内容，工程师将在5分钟内与您联系：")},
      {"sLabel2", {24, 56, 97, 13}, QStringLiteral("*  您的称呼：")},
      {"sEdit1", {136, 56, 201, 20}, {}},
      {"sLabel3", {24, 80, 97, 13}, QStringLiteral("*  您的电话号码：")},
      {"sEdit2", {136, 80, 201, 20}, {}},
      {"sLabel4", {24, 112, 137, 13}, QStringLiteral("QQ号码(没有可以不填)：")},
      {"sEdit3", {160, 112, 177, 20}, {}},
      {"sGroupBox1", {24, 136, 321, 161}, QStringLiteral("要恢复的类型")},
      {"sGroupBox2", {24, 304, 321, 105}, QStringLiteral("存储介质")},
      {"sLabel5", {16, 416, 329, 13}, QStringLiteral("备注：（可以填写详细一点的情况，方便工程师了解情况）")},
      {"Memo1", {16, 432, 329, 57}, {}},
      {"sButton1", {96, 496, 169, 33}, QStringLiteral("提交表单")},
      {"Button1", {288, 512, 67, 17}, QStringLiteral("联系客服QQ")},
  };
  for (const Expected& expected : controls) {
    auto* control = form->findChild<QWidget*>(QString::fromLatin1(expected.Name));
    ASSERT_NE(control, nullptr) << expected.Name;
    EXPECT_EQ(control->parentWidget(), form->sPanel1) << expected.Name;
    EXPECT_EQ(control->geometry(), expected.Geometry) << expected.Name;
    QString caption;
    if (auto* label = qobject_cast<QLabel*>(control)) caption = label->text();
    if (auto* button = qobject_cast<QPushButton*>(control)) caption = button->text();
    if (auto* group = qobject_cast<QGroupBox*>(control)) caption = group->title();
    EXPECT_EQ(caption, expected.Caption) << expected.Name;
  }
  EXPECT_TRUE(form->sEdit1->text().isEmpty());
  EXPECT_TRUE(form->Memo1->toPlainText().isEmpty());

  struct ExpectedBox {
    const char* Name;
    QGroupBox* Group;
    int Left;
    int Top;
    QString Caption;
  };
  const ExpectedBox boxes[] = {
      {"s1", form->sGroupBox1, 16, 32, "照片"},          {"s2", form->sGroupBox1, 16, 56, "视频"},
      {"s3", form->sGroupBox1, 16, 80, "手机数据"},      {"s4", form->sGroupBox1, 16, 104, "数据库"},
      {"s5", form->sGroupBox1, 16, 128, "office文档"},   {"s6", form->sGroupBox1, 184, 32, "文件解密"},
      {"s7", form->sGroupBox1, 184, 56, "U盘无法识别"},  {"s8", form->sGroupBox1, 184, 80, "硬盘无法识别"},
      {"s9", form->sGroupBox1, 184, 104, "其他"},        {"s10", form->sGroupBox2, 16, 24, "硬盘，固态盘"},
      {"s11", form->sGroupBox2, 16, 48, "手机"},         {"s12", form->sGroupBox2, 16, 72, "U盘，存储卡"},
      {"s13", form->sGroupBox2, 184, 24, "服务器"},      {"s14", form->sGroupBox2, 184, 48, "NAS，阵列柜"},
      {"s15", form->sGroupBox2, 184, 72, "其他"},
  };
  for (const ExpectedBox& expected : boxes) {
    auto* box = form->findChild<QCheckBox*>(QString::fromLatin1(expected.Name));
    ASSERT_NE(box, nullptr) << expected.Name;
    EXPECT_EQ(box->parentWidget(), expected.Group) << expected.Name;
    EXPECT_EQ(box->pos(), QPoint(expected.Left, expected.Top)) << expected.Name;
    EXPECT_EQ(box->text(), expected.Caption) << expected.Name;
    EXPECT_FALSE(box->isChecked()) << expected.Name;
    // The caption must fit: a clipped "U盘无法识别" would hide what the box means.
    EXPECT_GE(box->width(), box->sizeHint().width()) << expected.Name;
    EXPECT_TRUE(expected.Group->rect().contains(box->geometry())) << expected.Name;
  }

  ASSERT_NE(form->sStatusBar1, nullptr);
  EXPECT_EQ(form->sStatusBar1->height(), 19);
  EXPECT_EQ(form->sStatusBar1->geometry().bottom(), form->height() - 1);
  auto* contactPanel = form->sStatusBar1->findChild<QLabel*>(QStringLiteral("sStatusBar1Panel1"));
  ASSERT_NE(contactPanel, nullptr);
  EXPECT_EQ(contactPanel->text(), QStringLiteral("客服电话：") + QString::fromUtf8(vendor::ServicePhone) +
                                      QStringLiteral("，客服QQ:") + QString::fromUtf8(vendor::QqAccount));
  // Nothing on the panel may reach under the status bar.
  for (QWidget* child : form->sPanel1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    EXPECT_LE(child->geometry().bottom(), form->sStatusBar1->geometry().top()) << child->objectName().toStdString();
    EXPECT_LE(child->geometry().right(), form->width()) << child->objectName().toStdString();
  }
}

TEST_F(ContactFormTest, TabKeyVisitsControlsInTheFormsOrder) {
  form->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));
  form->s1->setFocus();
  ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() == form->s1; }));
  const QStringList expected = {"s1",  "s2",  "s3",  "s4",  "s5",  "s6",  "s7",       "s8",     "s9",
                                "sEdit1", "sEdit2", "sEdit3", "s10", "s11", "s12", "s13", "s14", "s15",
                                "sButton1", "Memo1", "Button1", "s1"};
  QStringList visited = {QApplication::focusWidget()->objectName()};
  for (qsizetype i = 1; i < expected.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.append(QApplication::focusWidget() ? QApplication::focusWidget()->objectName() : QString());
  }
  EXPECT_EQ(visited, expected);
}

TEST_F(ContactFormTest, TypicalEntriesSendTheExactRequestLine) {
  Fill(QStringLiteral("张三"), QStringLiteral("13800138000"), QStringLiteral("12345"),
       QStringLiteral("卡坏了\n帮忙"));
  form->s2->setChecked(true);
  form->s10->setChecked(true);
  EXPECT_EQ(SubmitAndWait(), Sent);
  ASSERT_EQ(server.RequestLines().size(), 1);
  // Expected bytes: iconv's GBK for each value, percent-encoded by hand.
  EXPECT_EQ(server.RequestLines()[0],
            QByteArray("GET /index.php?pname=mtsrescue&custname=%D5%C5%C8%FD&fkind=%CA%D3%C6%B5%20"
                       "&skind=%D3%B2%C5%CC%A3%AC%B9%CC%CC%AC%C5%CC%20"
                       "&memo=%BF%A8%BB%B5%C1%CB%0D%0A%B0%EF%C3%A6&qq=12345&tel=13800138000 HTTP/1.1"));
  EXPECT_EQ(messages, QStringList{Sent});
  EXPECT_TRUE(form->sButton1->isEnabled());
}

TEST_F(ContactFormTest, EmptyValuesKeepTheirKeysInOrder) {
  Fill(QStringLiteral("Li"), QStringLiteral("110"));
  EXPECT_EQ(SubmitAndWait(), Sent);
  ASSERT_EQ(server.RequestLines().size(), 1);
  EXPECT_TRUE(server.RequestLines()[0].contains("&fkind=&skind=&memo=&qq=&tel=110 "));
  const ReceivedQuery query = ParseRequestLine(server.RequestLines()[0]);
  EXPECT_EQ(query.Keys, AllKeys);
  EXPECT_EQ(query.Values, (QList<QByteArray>{"mtsrescue", "Li", "", "", "", "", "110"}));
}

TEST_F(ContactFormTest, SeparatorsAndLineBreaksArriveAsTheirOwnValues) {
  const QString name = QStringLiteral("a&tel=9");
  const QString phone = QStringLiteral("1+2 #3");
  const QString qq = QStringLiteral("50%=x?");
  Fill(name, phone, qq, QStringLiteral("line one&qq=1\nline two\n\n=end"));
  EXPECT_EQ(SubmitAndWait(), Sent);
  ASSERT_EQ(server.RequestLines().size(), 1);
  const ReceivedQuery query = ParseRequestLine(server.RequestLines()[0]);
  EXPECT_EQ(query.Keys, AllKeys);
  ASSERT_EQ(query.Values.size(), AllKeys.size());
  EXPECT_EQ(query.Values[1], name.toLatin1());
  EXPECT_EQ(query.Values[4], QByteArray("line one&qq=1\r\nline two\r\n\r\n=end"));
  EXPECT_EQ(query.Values[5], qq.toLatin1());
  EXPECT_EQ(query.Values[6], phone.toLatin1());
}

TEST_F(ContactFormTest, NameAndPhoneMayHoldTwentyBytesNotMore) {
  const QString tenChinese = QStringLiteral("一二三四五六七八九十");
  Fill(tenChinese, QStringLiteral("12345678901234567890"));
  EXPECT_EQ(SubmitAndWait(), Sent);

  form->sEdit1->setText(tenChinese + QStringLiteral("百"));  // 22 bytes, 11 characters
  EXPECT_EQ(SubmitRefused(), TooLong);
  form->sEdit1->setText(tenChinese + QStringLiteral("a"));  // 21 bytes
  EXPECT_EQ(SubmitRefused(), TooLong);

  form->sEdit1->setText(QStringLiteral("Li"));
  form->sEdit2->setText(tenChinese);  // 20 bytes
  EXPECT_EQ(SubmitAndWait(), Sent);
  form->sEdit2->setText(QStringLiteral("123456789012345678901"));
  EXPECT_EQ(SubmitRefused(), TooLong);
  EXPECT_EQ(server.RequestLines().size(), 2);
  // Refused entries stay for correction.
  EXPECT_EQ(form->sEdit2->text(), QStringLiteral("123456789012345678901"));
}

TEST_F(ContactFormTest, NoteMayHoldFiveHundredBytesWithLineBreaksCountingTwo) {
  Fill(QStringLiteral("Li"), QStringLiteral("110"));
  const QString chinese249 = QString(249, QChar(0x4E2D));  // "中" x 249 = 498 bytes
  form->Memo1->setPlainText(chinese249 + QStringLiteral("\n"));  // 500 bytes
  EXPECT_EQ(SubmitAndWait(), Sent);
  form->Memo1->setPlainText(chinese249 + QStringLiteral("\na"));  // 501 bytes
  EXPECT_EQ(SubmitRefused(), TooLong);
  // 500 characters but 501 bytes: the line break is CR LF on the wire.
  form->Memo1->setPlainText(QString(498, QLatin1Char('a')) + QStringLiteral("\na"));
  EXPECT_EQ(SubmitRefused(), TooLong);
  form->Memo1->setPlainText(QString(500, QLatin1Char('a')));
  EXPECT_EQ(SubmitAndWait(), Sent);
  ASSERT_EQ(server.RequestLines().size(), 2);
  EXPECT_EQ(ParseRequestLine(server.RequestLines()[0]).Values.value(4), GbkBytes(chinese249 + QStringLiteral("\r\n")));
}

TEST_F(ContactFormTest, NameIsCheckedBeforePhoneAndEmptinessBeforeLength) {
  Fill({}, {});
  EXPECT_EQ(SubmitRefused(), QStringLiteral("称呼不能为空，谢谢"));
  EXPECT_EQ(messages.size(), 1);
  Fill(QStringLiteral("一二三四五六七八九十百"), {});  // too long, but the empty phone comes first
  EXPECT_EQ(SubmitRefused(), QStringLiteral("联系电话不能为空，谢谢"));
  Fill({}, QStringLiteral("123456789012345678901"));
  EXPECT_EQ(SubmitRefused(), QStringLiteral("称呼不能为空，谢谢"));
  EXPECT_TRUE(server.RequestLines().isEmpty());

  Fill(QStringLiteral(" "), QStringLiteral("110"));  // a blank is not empty: no trimming
  EXPECT_EQ(SubmitAndWait(), Sent);
  ASSERT_EQ(server.RequestLines().size(), 1);
  EXPECT_TRUE(server.RequestLines()[0].contains("&custname=%20&"));
}

TEST_F(ContactFormTest, FirstTickedBoxOfEachGroupIsSent) {
  Fill(QStringLiteral("Li"), QStringLiteral("110"));
  form->s2->setChecked(true);
  form->s4->setChecked(true);
  form->s12->setChecked(true);
  form->s15->setChecked(true);
  EXPECT_EQ(SubmitAndWait(), Sent);
  ASSERT_EQ(server.RequestLines().size(), 1);
  ReceivedQuery query = ParseRequestLine(server.RequestLines()[0]);
  EXPECT_EQ(query.Values.value(2), GbkBytes(QStringLiteral("视频 ")));
  EXPECT_EQ(query.Values.value(3), GbkBytes(QStringLiteral("U盘存储卡 ")));

  // Each box alone sends its own request text, which is not always its caption.
  const std::pair<QCheckBox*, QString> sends[] = {
      {form->s1, "照片 "},          {form->s2, "视频 "},          {form->s3, "手机数据 "},
      {form->s4, "数据库 "},        {form->s5, "office 文档 "},   {form->s6, "文件解密 "},
      {form->s7, "U盘无法识别 "},   {form->s8, "硬盘无法识别 "},  {form->s9, "其他 "},
      {form->s10, "硬盘，固态盘 "}, {form->s11, "手机 "},         {form->s12, "U盘存储卡 "},
      {form->s13, "服务器 "},       {form->s14, "nas,阵列柜 "},   {form->s15, "其他 "},
  };
  for (qsizetype i = 0; i < qsizetype(std::size(sends)); ++i) {
    for (QCheckBox* box : form->findChildren<QCheckBox*>()) box->setChecked(false);
    sends[i].first->setChecked(true);
    EXPECT_EQ(SubmitAndWait(), Sent);
    ASSERT_EQ(server.RequestLines().size(), i + 2);
    query = ParseRequestLine(server.RequestLines().back());
    const bool kind = i < 9;
    EXPECT_EQ(query.Values.value(kind ? 2 : 3), GbkBytes(sends[i].second)) << sends[i].first->objectName().toStdString();
    EXPECT_EQ(query.Values.value(kind ? 3 : 2), QByteArray()) << sends[i].first->objectName().toStdString();
  }
}

TEST_F(ContactFormTest, KindIsForgottenAtEveryClickButNameOnlyWhenChecksPass) {
  Fill(QStringLiteral("Li"), QStringLiteral("110"));
  form->s1->setChecked(true);
  EXPECT_EQ(SubmitAndWait(), Sent);
  EXPECT_EQ(form->LastRequest().Kind, QStringLiteral("照片 "));
  form->s1->setChecked(false);
  form->sEdit1->setText(QStringLiteral("Wang"));
  form->sEdit2->clear();
  EXPECT_EQ(SubmitRefused(), QStringLiteral("联系电话不能为空，谢谢"));
  EXPECT_TRUE(form->LastRequest().Kind.isEmpty());
  EXPECT_EQ(form->LastRequest().CustName, QStringLiteral("Li"));
}

TEST_F(ContactFormTest, SuccessOnlyWhenTheServiceAnswers2xx) {
  Fill(QStringLiteral("Li"), QStringLiteral("110"));
  server.SetStatus(204);
  EXPECT_EQ(SubmitAndWait(), Sent);
  for (int status : {500, 404, 403, 300}) {
    server.SetStatus(status);
    EXPECT_EQ(SubmitAndWait(), Failed) << status;
    EXPECT_TRUE(form->sButton1->isEnabled());
  }
  server.SetStatus(200);
  EXPECT_EQ(SubmitAndWait(), Sent);
  EXPECT_EQ(server.RequestLines().size(), 6);
  EXPECT_EQ(form->sEdit1->text(), QStringLiteral("Li"));
}

TEST_F(ContactFormTest, RefusedConnectionFails) {
  quint16 closedPort = 0;
  {
    LocalHttpServer gone;
    closedPort = gone.Port();
  }
  form->SetServiceEndpoint(QStringLiteral("127.0.0.1"), closedPort);
  Fill(QStringLiteral("Li"), QStringLiteral("110"), QStringLiteral("1"), QStringLiteral("note"));
  EXPECT_EQ(SubmitAndWait(), Failed);
  EXPECT_EQ(messages, QStringList{Failed});
  EXPECT_EQ(form->sEdit3->text(), QStringLiteral("1"));
  EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("note"));
}

TEST_F(ContactFormTest, SilentServiceTimesOutWhileTheFormStaysUsable) {
  server.SetStatus(-1);
  form->SetRequestTimeout(std::chrono::milliseconds(400));
  Fill(QStringLiteral("张三"), QStringLiteral("110"), {}, QStringLiteral("note"));
  form->s3->setChecked(true);
  form->sButton1->click();
  EXPECT_TRUE(form->RequestRunning());
  EXPECT_FALSE(form->sButton1->isEnabled());
  ASSERT_TRUE(WaitFor([&] { return server.RequestLines().size() == 1; }));
  // Still waiting for the answer, the form takes input.
  form->sEdit3->setFocus();
  QTest::keyClicks(form->sEdit3, QStringLiteral("777"));
  EXPECT_EQ(form->sEdit3->text(), QStringLiteral("777"));
  EXPECT_TRUE(messages.isEmpty());
  // A second click while it runs sends nothing more.
  form->sButton1Click();
  ASSERT_TRUE(WaitFor([&] { return !messages.isEmpty(); }));
  EXPECT_EQ(messages, QStringList{Failed});
  EXPECT_EQ(server.RequestLines().size(), 1);
  EXPECT_TRUE(form->sButton1->isEnabled());
  EXPECT_FALSE(form->RequestRunning());
  EXPECT_EQ(form->sEdit1->text(), QStringLiteral("张三"));
  EXPECT_TRUE(form->s3->isChecked());
  EXPECT_EQ(form->Memo1->toPlainText(), QStringLiteral("note"));
}

TEST_F(ContactFormTest, LinksOpenTheChatAndTheSecondSite) {
  QTest::mouseClick(form->Button1, Qt::LeftButton);
  ASSERT_EQ(opened.size(), 1);
  EXPECT_EQ(opened[0], QUrl(QString::fromUtf8(vendor::ChatLinkUrl)));
  EXPECT_TRUE(opened[0].query().startsWith(QStringLiteral("v=3&uin=")));

  auto* contactPanel = form->sStatusBar1->findChild<QLabel*>(QStringLiteral("sStatusBar1Panel1"));
  ASSERT_NE(contactPanel, nullptr);
  QTest::mouseClick(contactPanel, Qt::LeftButton);
  QTest::mouseClick(form->sStatusBar1, Qt::LeftButton, {}, QPoint(form->sStatusBar1->width() - 3, 9));
  ASSERT_EQ(opened.size(), 3);
  EXPECT_EQ(opened[1], QUrl(QString::fromUtf8(vendor::SecondSiteUrl)));
  EXPECT_EQ(opened[2], QUrl(QString::fromUtf8(vendor::SecondSiteUrl)));
  EXPECT_TRUE(messages.isEmpty());
  EXPECT_TRUE(server.RequestLines().isEmpty());
}

}  // namespace
}  // namespace mtsrescue
