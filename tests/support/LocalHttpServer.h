// A minimal HTTP server on 127.0.0.1 for the tests: records each request line and answers with a
// chosen status, or never answers at all.
#pragma once

#include <QByteArray>
#include <QList>
#include <QTcpServer>
#include <QTcpSocket>

#include <memory>

namespace mtsrescue::test {

class LocalHttpServer {
 public:
  // status < 0: accept the connection and read the request, but never answer.
  explicit LocalHttpServer(int status = 200) : status_(status) {
    server_.listen(QHostAddress::LocalHost, 0);
    QObject::connect(&server_, &QTcpServer::newConnection, [this] { Accept(); });
  }

  bool Listening() const { return server_.isListening(); }
  quint16 Port() const { return server_.serverPort(); }
  void SetStatus(int status) { status_ = status; }
  // "GET /index.php?… HTTP/1.1" of each request, in arrival order.
  const QList<QByteArray>& RequestLines() const { return requestLines_; }

 private:
  void Accept() {
    while (QTcpSocket* socket = server_.nextPendingConnection()) {
      auto received = std::make_shared<QByteArray>();
      QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, received] {
        received->append(socket->readAll());
        if (!received->contains("\r\n\r\n")) return;
        requestLines_.append(received->left(received->indexOf("\r\n")));
        received->clear();
        if (status_ < 0) return;
        socket->write("HTTP/1.1 " + QByteArray::number(status_) +
                      " Test\r\nContent-Length: 2\r\nConnection: close\r\n\r\nok");
        socket->disconnectFromHost();
      });
      QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    }
  }

  QTcpServer server_;
  int status_;
  QList<QByteArray> requestLines_;
};

}  // namespace mtsrescue::test
