// The file list's start folder where the desktop and the videos folder come from HOME (on Windows
// the shell knows them, and a desktop always exists).
#include "ui/ShellList.h"

#include "FolderTestSupport.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

TEST(ShellListStartFolder, TheDesktopElseTheVideosFolderElseHome) {
  uitest::EnsureApp();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString home = QDir(dir.path()).canonicalPath();
  struct Restore {
    QByteArray home = qgetenv("HOME");
    QByteArray config = qgetenv("XDG_CONFIG_HOME");
    ~Restore() {
      qputenv("HOME", home);
      if (!config.isEmpty()) qputenv("XDG_CONFIG_HOME", config);
    }
  } restore;
  qputenv("HOME", home.toUtf8());
  qunsetenv("XDG_CONFIG_HOME");
  const QString withNeither = TShellList::DesktopPath();
  ASSERT_TRUE(QDir(home).mkdir("Videos"));
  const QString withVideos = TShellList::DesktopPath();
  ASSERT_TRUE(QDir(home).mkdir("Desktop"));
  const QString withDesktop = TShellList::DesktopPath();
  EXPECT_EQ(withNeither, home);
  EXPECT_EQ(withVideos, home + "/Videos");
  EXPECT_EQ(withDesktop, home + "/Desktop");
}

}  // namespace
}  // namespace mtsrescue
