// Shared by the file-list and folder tests: the application object, waiting while events are pumped.
#pragma once

#include "UiTestSupport.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTest>

#include <functional>
#include <ostream>

// Readable QString values in test failures.
inline void PrintTo(const QString& text, std::ostream* out) { *out << '"' << text.toStdString() << '"'; }
inline void PrintTo(const QStringList& list, std::ostream* out) {
  *out << '{';
  for (const QString& text : list) *out << ' ' << '"' << text.toStdString() << '"';
  *out << " }";
}

namespace mtsrescue::uitest {

// The one QApplication of the test program (shared with the window tests).
inline void EnsureApp() { mtsrescue::testing::Application(); }

// Pumps events until done() holds or timeoutMs passes; returns done() at the end.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = 5000) {
  QDeadlineTimer deadline(timeoutMs);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QTest::qWait(10);
  }
  return true;
}

// Writes bytes into a new file at path; false when it could not.
inline bool WriteFile(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  return file.write(bytes) == bytes.size();
}

}  // namespace mtsrescue::uitest
