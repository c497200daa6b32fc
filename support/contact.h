// TForm3: the support-request form that sends the user's contact details and problem to the vendor.
#pragma once

#include "support/ContactHooks.h"
#include "support/SupportRequest.h"
#include "support/SupportRequestSender.h"

#include <QDialog>
#include <QString>

#include <array>
#include <chrono>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QStatusBar;

namespace mtsrescue {

class TForm3 : public QDialog {
  Q_OBJECT

 public:
  // programName is the executable's base name; every request carries it as pname.
  explicit TForm3(const QString& programName, QWidget* parent = nullptr);
  ~TForm3() override;

  // Replaces the message box and the browser; a hook left empty keeps the real one.
  void SetHooks(ContactHooks hooks);
  // Where requests go; the vendor's service host and port until changed.
  void SetServiceEndpoint(const QString& host, int port);
  // How long a request may take before it counts as failed (15 s until changed).
  void SetRequestTimeout(std::chrono::milliseconds timeout);

  const QString& ProgramName() const noexcept { return request_.ProgramName; }
  // The values of the last request that passed the checks (empty before the first).
  const SupportRequest& LastRequest() const noexcept { return request_; }
  // True from a submission until its answer, timeout or failure.
  bool RequestRunning() const noexcept { return sender_.Busy(); }

  // Validates the entries and, when they pass, submits them; the outcome is shown as a message.
  void sButton1Click();
  // Sends the request values with the note as it reads now; the message follows asynchronously.
  void SubmitRequest();
  void Button1Click();
  void sStatusBar1Click();

  // The controls, named as on the form.
  QFrame* sPanel1 = nullptr;
  QLabel* sLabel1 = nullptr;
  QLabel* sLabel2 = nullptr;
  QLabel* sLabel3 = nullptr;
  QLabel* sLabel4 = nullptr;
  QLabel* sLabel5 = nullptr;
  QLineEdit* sEdit1 = nullptr;  // name (required)
  QLineEdit* sEdit2 = nullptr;  // telephone (required)
  QLineEdit* sEdit3 = nullptr;  // QQ number (optional)
  QGroupBox* sGroupBox1 = nullptr;
  QGroupBox* sGroupBox2 = nullptr;
  QCheckBox* s1 = nullptr;
  QCheckBox* s2 = nullptr;
  QCheckBox* s3 = nullptr;
  QCheckBox* s4 = nullptr;
  QCheckBox* s5 = nullptr;
  QCheckBox* s6 = nullptr;
  QCheckBox* s7 = nullptr;
  QCheckBox* s8 = nullptr;
  QCheckBox* s9 = nullptr;
  QCheckBox* s10 = nullptr;
  QCheckBox* s11 = nullptr;
  QCheckBox* s12 = nullptr;
  QCheckBox* s13 = nullptr;
  QCheckBox* s14 = nullptr;
  QCheckBox* s15 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPushButton* sButton1 = nullptr;
  QPushButton* Button1 = nullptr;
  QStatusBar* sStatusBar1 = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CreateControls();
  void SetTabOrder();
  void OnRequestFinished(bool succeeded);
  void ShowMessage(const QString& text);
  // The note with its lines joined by "\r\n", the form it has on the wire and in the byte limit.
  QString MemoText() const;

  // The check boxes of one group in order, with what each sends when it is the first ticked.
  struct Box {
    QCheckBox* Control = nullptr;
    QString RequestText;
  };
  std::array<Box, 9> kindBoxes_;
  std::array<Box, 6> mediumBoxes_;

  SupportRequest request_;
  ContactHooks hooks_;
  SupportRequestSender sender_;
  QString serviceHost_;
  int servicePort_ = 0;
};

}  // namespace mtsrescue
