// Sends one support request as an HTTP GET and tells whether the service accepted it.
#pragma once

#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <chrono>

class QNetworkReply;

namespace mtsrescue {

class SupportRequestSender : public QObject {
  Q_OBJECT

 public:
  explicit SupportRequestSender(QObject* parent = nullptr);
  ~SupportRequestSender() override;

  // Starts a GET to url and returns at once; Finished follows on this thread's event loop.
  // Returns false, sending nothing, while an earlier request still runs.
  bool Send(const QUrl& url);
  bool Busy() const noexcept { return !reply_.isNull(); }

  // Longest wait for the whole answer; a request still open then counts as failed.
  void SetTimeout(std::chrono::milliseconds timeout) { timeout_ = timeout; }
  std::chrono::milliseconds Timeout() const noexcept { return timeout_; }

 signals:
  // Once per accepted Send: true only for a complete answer with a 2xx status; a refused
  // connection, a timeout, a broken transfer or any other status give false.
  void Finished(bool succeeded);

 private:
  void OnReplyFinished();

  QNetworkAccessManager manager_;
  QPointer<QNetworkReply> reply_;
  QTimer deadline_;
  std::chrono::milliseconds timeout_{std::chrono::seconds(15)};
};

}  // namespace mtsrescue
