// The folder choice on Windows: drive roots keep their backslash, other folders lose a trailing
// one, whichever separators the dialog answered with.
#include "ui/SelectSavePath.h"

#include "FolderTestSupport.h"

#include <QDir>

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

TEST(SelectSavePathWin32, DriveRootsAndFoldersInEitherSeparator) {
  uitest::EnsureApp();
  const QString windows = QDir::toNativeSeparators(QDir::cleanPath(qEnvironmentVariable("SystemRoot")));
  ASSERT_EQ(windows.mid(1, 2), QStringLiteral(":\\")) << windows.toStdString();
  const QString drive = windows.left(3);  // "C:\"
  const QString forward = QDir::fromNativeSeparators(windows);
  struct Case {
    QString Answer;
    QString Expected;
  };
  const Case cases[] = {
      {drive, drive},
      {QDir::fromNativeSeparators(drive), drive},
      {windows + QStringLiteral("\\"), windows},
      {forward + QStringLiteral("/"), windows},
      {windows + QStringLiteral("\\System32\\..\\"), windows},
  };
  for (const Case& c : cases) {
    QString path;
    EXPECT_TRUE(SelectSavePath(nullptr, QStringLiteral("x"), path, [&](QWidget*, const QString&) { return c.Answer; }))
        << c.Answer.toStdString();
    EXPECT_EQ(path, c.Expected) << c.Answer.toStdString();
  }
}

}  // namespace
}  // namespace mtsrescue
