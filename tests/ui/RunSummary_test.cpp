// The end-of-run box: the recordings in date order, their pictures and durations as they come,
// and a double-click that plays one.
#include "ui/RunSummary.h"

#include "UiTestSupport.h"

#include <QLabel>
#include <QListWidget>

#include <gtest/gtest.h>

namespace mtsrescue {
namespace {

RebuiltClip Clip(const char* path, std::optional<RecordingDate> date) {
  RebuiltClip clip;
  clip.FilePath = path;
  clip.Recorded = date;
  return clip;
}

TEST(RunSummary, ShowsTheRecordingsByDateAndFillsInTheirPicturesAndPlaysThem) {
  testing::Application();
  ClipReport clips;
  clips.Recordings = {Clip("/out/clips/undated.MTS", std::nullopt),
                      Clip("/out/clips/2021-08-01 10-00-05.MTS", RecordingDate{2021, 8, 1, 10, 0, 5}),
                      Clip("/out/clips/2019-04-24 22-24-00.MTS", RecordingDate{2019, 4, 24, 22, 24, 0})};
  std::vector<QString> opened;
  bool opens = true;
  TRunSummary box(nullptr, QStringLiteral("caption"), QStringLiteral("summary"), clips, [&](const QString& path) {
    opened.push_back(path);
    return opens;
  });
  ASSERT_NE(box.Recordings, nullptr);
  ASSERT_EQ(box.Recordings->count(), 3);
  const auto text = [&](int row) { return box.Recordings->item(row)->text(); };
  const auto path = [&](int row) { return box.Recordings->item(row)->data(Qt::UserRole).toString(); };
  EXPECT_EQ(text(0), QStringLiteral("2019年4月24日 22:24:00\n时长 …"));
  EXPECT_EQ(text(1), QStringLiteral("2021年8月1日 10:00:05\n时长 …"));
  EXPECT_EQ(text(2), QStringLiteral("拍摄时间未知\n时长 …"));
  EXPECT_EQ(path(2), QStringLiteral("/out/clips/undated.MTS"));

  const QImage placeholder = box.Recordings->item(0)->icon().pixmap(160, 90).toImage();
  QImage red(160, 90, QImage::Format_RGB888);
  red.fill(Qt::red);
  box.ShowPicture(QStringLiteral("/out/clips/2021-08-01 10-00-05.MTS"), red, 65.4);
  box.ShowPicture(QStringLiteral("/out/clips/undated.MTS"), QImage(), -1);  // none could be decoded
  EXPECT_EQ(text(1), QStringLiteral("2021年8月1日 10:00:05\n时长 1:05"));
  EXPECT_EQ(text(2), QStringLiteral("拍摄时间未知\n时长未知"));
  EXPECT_EQ(box.Recordings->item(1)->icon().pixmap(160, 90).toImage().pixelColor(80, 45), QColor(Qt::red));
  EXPECT_EQ(box.Recordings->item(2)->icon().pixmap(160, 90).toImage(), placeholder);
  EXPECT_EQ(text(0), QStringLiteral("2019年4月24日 22:24:00\n时长 …")) << "only the file's own item changes";

  EXPECT_TRUE(box.PicturesNote->text().startsWith(QStringLiteral("正在生成")));
  box.PicturesDone();
  EXPECT_EQ(box.PicturesNote->text(), QStringLiteral("双击录像即可播放。"));
  EXPECT_EQ(text(0), QStringLiteral("2019年4月24日 22:24:00\n时长未知")) << "no length will come";
  EXPECT_EQ(text(1), QStringLiteral("2021年8月1日 10:00:05\n时长 1:05"));
  emit box.Recordings->itemActivated(box.Recordings->item(0));
  EXPECT_EQ(opened, std::vector<QString>{path(0)});
  opens = false;
  emit box.Recordings->itemActivated(box.Recordings->item(1));
  EXPECT_EQ(box.PicturesNote->text(), QStringLiteral("无法打开 2021-08-01 10-00-05.MTS。"));

  TRunSummary plain(nullptr, QStringLiteral("caption"), QStringLiteral("no recordings"), ClipReport());
  EXPECT_EQ(plain.Recordings, nullptr) << "no grid without recordings";
}

}  // namespace
}  // namespace mtsrescue
