// How the support form shows its messages and opens web pages; tests put their own in.
#pragma once

#include <QString>
#include <QUrl>

#include <functional>

class QWidget;

namespace mtsrescue {

struct ContactHooks {
  // A plain modal message with an OK button, owned by owner; returns when it is dismissed.
  std::function<void(QWidget* owner, const QString& text)> ShowMessage;
  // Opens address in the default web browser; a browser that cannot start is silently ignored.
  std::function<void(const QUrl& address)> OpenUrl;

  // The real ones: QMessageBox with the application's title and no icon, QDesktopServices.
  static ContactHooks Defaults();
};

}  // namespace mtsrescue
