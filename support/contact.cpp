// TForm3: layout of the support-request form, its checks, and the submission of its values.
#include "support/contact.h"

#include "support/GbkText.h"

#include "mtsrescue/Vendor.h"

#include <QCheckBox>
#include <QEvent>
#include <QFont>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>

#include <utility>

namespace mtsrescue {

namespace {

// Client area: the designed outer size of 371 x 590 less a single sizeable frame and the caption.
constexpr int ClientWidth = 363;
constexpr int ClientHeight = 556;
constexpr int StatusBarHeight = 19;
constexpr int BoxWidth = 128;  // the right column (left 184) must end inside its group box (width 321)
constexpr int BoxHeight = 17;

// Byte limits of the GBK text.
constexpr std::int64_t MaxNameBytes = 20;
constexpr std::int64_t MaxPhoneBytes = 20;
constexpr std::int64_t MaxMemoBytes = 500;

const QString NameMissing = QStringLiteral("称呼不能为空，谢谢");
const QString PhoneMissing = QStringLiteral("联系电话不能为空，谢谢");
const QString TooLong = QStringLiteral("内容超长");
const QString SentMessage = QStringLiteral("发送成功！");
const QString FailedMessage = QStringLiteral("提交失败！请检查网络");

template <typename T>
T* Place(QWidget* parent, const char* name, int left, int top, int width, int height) {
  auto* control = new T(parent);
  control->setObjectName(QString::fromLatin1(name));
  control->setGeometry(left, top, width, height);
  return control;
}

QLabel* PlaceLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                   const QString& caption) {
  auto* label = Place<QLabel>(parent, name, left, top, width, height);
  label->setText(caption);
  return label;
}

}  // namespace

TForm3::TForm3(const QString& programName, QWidget* parent)
    : QDialog(parent),
      hooks_(ContactHooks::Defaults()),
      serviceHost_(QString::fromUtf8(vendor::ServiceHost)),
      servicePort_(vendor::ServicePort) {
  request_.ProgramName = programName;
  setObjectName(QStringLiteral("Form3"));
  setWindowTitle(QStringLiteral("联系工程师"));
  QFont font;
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("NSimSun")});
  font.setPixelSize(12);
  setFont(font);
  setFixedSize(ClientWidth, ClientHeight);
  // Its designed place on the screen, not centred on the owner.
  move(192, 124);
  CreateControls();
  SetTabOrder();
  connect(&sender_, &SupportRequestSender::Finished, this, &TForm3::OnRequestFinished);
}

TForm3::~TForm3() = default;

void TForm3::CreateControls() {
  sPanel1 = Place<QFrame>(this, "sPanel1", 0, 0, ClientWidth, ClientHeight - StatusBarHeight);
  sPanel1->setFrameStyle(QFrame::Panel | QFrame::Raised);

  sLabel1 = PlaceLabel(sPanel1, "sLabel1", 24, 24, 305, 13,
                       QStringLiteral("填写表单内容，工程师将在5分钟内与您联系："));
  sLabel2 = PlaceLabel(sPanel1, "sLabel2", 24, 56, 97, 13, QStringLiteral("*  您的称呼："));
  sEdit1 = Place<QLineEdit>(sPanel1, "sEdit1", 136, 56, 201, 20);
  sLabel3 = PlaceLabel(sPanel1, "sLabel3", 24, 80, 97, 13, QStringLiteral("*  您的电话号码："));
  sEdit2 = Place<QLineEdit>(sPanel1, "sEdit2", 136, 80, 201, 20);
  sLabel4 = PlaceLabel(sPanel1, "sLabel4", 24, 112, 137, 13,
                       QStringLiteral("QQ号码(没有可以不填)："));
  sEdit3 = Place<QLineEdit>(sPanel1, "sEdit3", 160, 112, 177, 20);

  sGroupBox1 = Place<QGroupBox>(sPanel1, "sGroupBox1", 24, 136, 321, 161);
  sGroupBox1->setTitle(QStringLiteral("要恢复的类型"));
  sGroupBox2 = Place<QGroupBox>(sPanel1, "sGroupBox2", 24, 304, 321, 105);
  sGroupBox2->setTitle(QStringLiteral("存储介质"));

  struct BoxLayout {
    QCheckBox* TForm3::*Field;
    const char* Name;
    int Left;
    int Top;
    const char* Caption;
    const char* RequestText;  // what is sent; every one ends in an ASCII blank
  };
  static const BoxLayout kinds[] = {
      {&TForm3::s1, "s1", 16, 32, "照片", "照片 "},
      {&TForm3::s2, "s2", 16, 56, "视频", "视频 "},
      {&TForm3::s3, "s3", 16, 80, "手机数据", "手机数据 "},
      {&TForm3::s4, "s4", 16, 104, "数据库", "数据库 "},
      {&TForm3::s5, "s5", 16, 128, "office文档", "office 文档 "},
      {&TForm3::s6, "s6", 184, 32, "文件解密", "文件解密 "},
      {&TForm3::s7, "s7", 184, 56, "U盘无法识别", "U盘无法识别 "},
      {&TForm3::s8, "s8", 184, 80, "硬盘无法识别", "硬盘无法识别 "},
      {&TForm3::s9, "s9", 184, 104, "其他", "其他 "},
  };
  static const BoxLayout media[] = {
      {&TForm3::s10, "s10", 16, 24, "硬盘，固态盘", "硬盘，固态盘 "},
      {&TForm3::s11, "s11", 16, 48, "手机", "手机 "},
      {&TForm3::s12, "s12", 16, 72, "U盘，存储卡", "U盘存储卡 "},
      {&TForm3::s13, "s13", 184, 24, "服务器", "服务器 "},
      {&TForm3::s14, "s14", 184, 48, "NAS，阵列柜", "nas,阵列柜 "},
      {&TForm3::s15, "s15", 184, 72, "其他", "其他 "},
  };
  auto makeBox = [this](QGroupBox* group, const BoxLayout& layout) {
    QCheckBox* box = Place<QCheckBox>(group, layout.Name, layout.Left, layout.Top, BoxWidth, BoxHeight);
    box->setText(QString::fromUtf8(layout.Caption));
    this->*layout.Field = box;
    return Box{box, QString::fromUtf8(layout.RequestText)};
  };
  for (std::size_t i = 0; i < kindBoxes_.size(); ++i) kindBoxes_[i] = makeBox(sGroupBox1, kinds[i]);
  for (std::size_t i = 0; i < mediumBoxes_.size(); ++i) mediumBoxes_[i] = makeBox(sGroupBox2, media[i]);

  sLabel5 = PlaceLabel(sPanel1, "sLabel5", 16, 416, 329, 13,
                       QStringLiteral("备注：（可以填写详细一点的情况，方便工程师了解情况）"));
  Memo1 = Place<QPlainTextEdit>(sPanel1, "Memo1", 16, 432, 329, 57);
  Memo1->setTabChangesFocus(true);

  sButton1 = Place<QPushButton>(sPanel1, "sButton1", 96, 496, 169, 33);
  sButton1->setText(QStringLiteral("提交表单"));
  Button1 = Place<QPushButton>(sPanel1, "Button1", 288, 512, 67, 17);
  Button1->setText(QStringLiteral("联系客服QQ"));
  // Enter in an edit must not submit: neither button is a default button.
  for (QPushButton* button : {sButton1, Button1}) {
    button->setAutoDefault(false);
    button->setDefault(false);
  }
  connect(sButton1, &QPushButton::clicked, this, &TForm3::sButton1Click);
  connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);

  sStatusBar1 = Place<QStatusBar>(this, "sStatusBar1", 0, ClientHeight - StatusBarHeight, ClientWidth,
                                  StatusBarHeight);
  sStatusBar1->setSizeGripEnabled(false);
  auto* contactPanel = new QLabel(QStringLiteral("客服电话：") + QString::fromUtf8(vendor::ServicePhone) +
                                      QStringLiteral("，客服QQ:") + QString::fromUtf8(vendor::QqAccount),
                                  sStatusBar1);
  contactPanel->setObjectName(QStringLiteral("sStatusBar1Panel1"));
  contactPanel->setFixedWidth(300);
  auto* emptyPanel = new QLabel(sStatusBar1);
  emptyPanel->setObjectName(QStringLiteral("sStatusBar1Panel2"));
  emptyPanel->setFixedWidth(50);
  sStatusBar1->addWidget(contactPanel);
  sStatusBar1->addWidget(emptyPanel);
  // The panels pass their clicks on to the bar, so one filter sees a click anywhere on it.
  sStatusBar1->installEventFilter(this);
}

void TForm3::SetTabOrder() {
  QList<QWidget*> order;
  for (const Box& box : kindBoxes_) order.append(box.Control);
  order.append({sEdit1, sEdit2, sEdit3});
  for (const Box& box : mediumBoxes_) order.append(box.Control);
  order.append({sButton1, Memo1, Button1});
  for (qsizetype i = 1; i < order.size(); ++i) setTabOrder(order[i - 1], order[i]);
}

void TForm3::SetHooks(ContactHooks hooks) {
  ContactHooks defaults = ContactHooks::Defaults();
  if (!hooks.ShowMessage) hooks.ShowMessage = std::move(defaults.ShowMessage);
  if (!hooks.OpenUrl) hooks.OpenUrl = std::move(defaults.OpenUrl);
  hooks_ = std::move(hooks);
}

void TForm3::SetServiceEndpoint(const QString& host, int port) {
  serviceHost_ = host;
  servicePort_ = port;
}

void TForm3::SetRequestTimeout(std::chrono::milliseconds timeout) { sender_.SetTimeout(timeout); }

QString TForm3::MemoText() const {
  QString text = Memo1->toPlainText();
  text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return text;
}

void TForm3::sButton1Click() {
  if (sender_.Busy()) return;  // one request at a time; the button is disabled meanwhile anyway
  request_.Kind.clear();
  request_.Medium.clear();
  const QString name = sEdit1->text();
  const QString phone = sEdit2->text();
  // Emptiness before length, the name before the phone; nothing is trimmed.
  if (name.isEmpty()) return ShowMessage(NameMissing);
  if (phone.isEmpty()) return ShowMessage(PhoneMissing);
  if (GbkLength(name) > MaxNameBytes) return ShowMessage(TooLong);
  if (GbkLength(phone) > MaxPhoneBytes) return ShowMessage(TooLong);
  if (GbkLength(MemoText()) > MaxMemoBytes) return ShowMessage(TooLong);
  for (const Box& box : kindBoxes_) {
    if (box.Control->isChecked()) {
      request_.Kind = box.RequestText;
      break;
    }
  }
  for (const Box& box : mediumBoxes_) {
    if (box.Control->isChecked()) {
      request_.Medium = box.RequestText;
      break;
    }
  }
  request_.Tel = phone;
  request_.Qq = sEdit3->text();
  request_.CustName = name;
  SubmitRequest();
}

void TForm3::SubmitRequest() {
  request_.Memo = MemoText();
  if (!sender_.Send(SupportRequestUrl(serviceHost_, servicePort_, request_))) return;
  sButton1->setEnabled(false);
}

void TForm3::OnRequestFinished(bool succeeded) {
  sButton1->setEnabled(true);
  ShowMessage(succeeded ? SentMessage : FailedMessage);
}

void TForm3::Button1Click() { hooks_.OpenUrl(QUrl(QString::fromUtf8(vendor::ChatLinkUrl))); }

void TForm3::sStatusBar1Click() { hooks_.OpenUrl(QUrl(QString::fromUtf8(vendor::SecondSiteUrl))); }

void TForm3::ShowMessage(const QString& text) { hooks_.ShowMessage(this, text); }

bool TForm3::eventFilter(QObject* watched, QEvent* event) {
  if (watched == sStatusBar1 && event->type() == QEvent::MouseButtonRelease &&
      static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
    sStatusBar1Click();
  }
  return QDialog::eventFilter(watched, event);
}

}  // namespace mtsrescue
