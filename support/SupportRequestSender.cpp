// The HTTP side of a support request, on Qt Network.
#include "support/SupportRequestSender.h"

#include <QNetworkReply>
#include <QNetworkRequest>

namespace mtsrescue {

SupportRequestSender::SupportRequestSender(QObject* parent) : QObject(parent) {
  deadline_.setSingleShot(true);
  connect(&deadline_, &QTimer::timeout, this, [this] {
    if (reply_) reply_->abort();  // finishes the reply with OperationCanceledError
  });
}

SupportRequestSender::~SupportRequestSender() {
  if (reply_) {
    // No Finished from a sender that is going away.
    reply_->disconnect(this);
    reply_->abort();
    reply_->deleteLater();
  }
}

bool SupportRequestSender::Send(const QUrl& url) {
  if (Busy()) return false;
  QNetworkRequest request(url);
  // A cached page would report success without the service seeing the request.
  request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
  reply_ = manager_.get(request);
  connect(reply_, &QNetworkReply::finished, this, &SupportRequestSender::OnReplyFinished);
  deadline_.start(timeout_);
  return true;
}

void SupportRequestSender::OnReplyFinished() {
  deadline_.stop();
  QNetworkReply* reply = reply_;
  reply_ = nullptr;
  if (reply == nullptr) return;
  const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  const bool succeeded = reply->error() == QNetworkReply::NoError && status >= 200 && status < 300;
  reply->deleteLater();
  emit Finished(succeeded);
}

}  // namespace mtsrescue
