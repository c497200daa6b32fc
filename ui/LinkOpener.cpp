// OpenInBrowser: xdg-open's exit code tells a desktop without a browser; the shell's result elsewhere.
#include "ui/LinkOpener.h"

#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace mtsrescue {

void OpenInBrowser(const QString& url, QObject* context, std::function<void()> failed) {
  const QPointer<QObject> alive(context);
  const auto fail = [alive, failed = std::move(failed)] {
    if (alive && failed) failed();
  };
  const QString opener = QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
  if (opener.isEmpty()) {
    // Windows' shell (or a desktop without xdg-open) says at once whether it could.
    if (!QDesktopServices::openUrl(QUrl(url))) QTimer::singleShot(0, context, fail);
    return;
  }
  // xdg-open ends with 3 or 4 when no program takes the address, and may wait for the browser
  // when one does: its end is awaited on the event loop, never here.
  auto* process = new QProcess();
  QObject::connect(process, &QProcess::finished, process, [process, fail](int exitCode, QProcess::ExitStatus status) {
    if (status != QProcess::NormalExit || exitCode != 0) fail();
    process->deleteLater();
  });
  QObject::connect(process, &QProcess::errorOccurred, process, [process, fail](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) {
      fail();
      process->deleteLater();
    }
  });
  process->setStandardOutputFile(QProcess::nullDevice());
  process->setStandardErrorFile(QProcess::nullDevice());
  process->start(opener, {url});
}

}  // namespace mtsrescue
