// The real window on a real card image, on a real display (run by window_end_to_end.py under
// Xvfb): source and destination chosen through the toolbar, a whole run, and a summary that
// agrees with the command-line program's --json report of the same image and shows the pictures
// made after it. With screenshots asked for, the screen is saved before the run and once the
// summary's pictures are in (the README's pictures).
// Without the environment that the script sets, the test is skipped.
#include "ui/Main.h"
#include "ui/RunSummary.h"
#include "ui/ThumbnailMaker.h"
#include "ui/ShellList.h"
#include "ui/SourceMenu.h"
#include "ui/StartUp.h"
#include "thumbnails/FrameDecoder.h"

#include "FolderTestSupport.h"

#include <QAction>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QJsonArray>
#include <QLabel>
#include <QListWidget>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMenu>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QTranslator>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

QString Setting(const char* name) { return qEnvironmentVariable(name); }

// The screen where window is, with the window manager's frame and any box over it, into folder/name.
void SaveScreen(const QString& folder, const QString& name, const QWidget* window) {
  if (folder.isEmpty()) return;
  QCoreApplication::processEvents();
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  const QRect frame = window->frameGeometry();
  ASSERT_TRUE(screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height())
                  .save(folder + QLatin1Char('/') + name));
}

// Real boxes, closed by themselves after a moment: the summary as the user sees it.
class TSelfClosingBoxes final : public TMessageBoxes {
 public:
  explicit TSelfClosingBoxes(QString screenshots) : screenshots_(std::move(screenshots)) {}
  void Information(QWidget* owner, const QString& caption, const QString& text) override {
    Texts.push_back(text);
    Captions.push_back(caption);
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    QTimer::singleShot(800, &box, [this, &box, owner] {
      SaveScreen(screenshots_, QStringLiteral("window-after-run.png"), owner->window());
      box.accept();
    });
    box.exec();
  }
  // The real summary, left open until its pictures are in (two minutes at most), then saved.
  void Summary(QWidget* owner, const QString& caption, const QString& text, const ClipReport& clips,
               TThumbnailMaker* pictures) override {
    Texts.push_back(text);
    Captions.push_back(caption);
    TRunSummary box(owner, caption, text, clips);
    if (pictures != nullptr && pictures->Running()) {
      QObject::connect(pictures, &TThumbnailMaker::PictureMade, &box, [&](const QString& path, const QImage& picture, double seconds) {
        box.ShowPicture(path, picture, seconds);
        for (const RebuiltClip& clip : clips.Recordings)
          if (!picture.isNull() && QString::fromStdString(clip.FilePath) == path) Pictured.insert(path);
      });
      QObject::connect(pictures, &TThumbnailMaker::Finished, &box, [&] {
        box.PicturesDone();
        QTimer::singleShot(300, &box, [this, &box, owner] {
          SaveScreen(screenshots_, QStringLiteral("window-after-run.png"), owner->window());
          box.accept();
        });
      });
      QTimer::singleShot(120000, &box, &QDialog::reject);
    } else {
      QTimer::singleShot(800, &box, &QDialog::accept);
    }
    if (box.Recordings != nullptr) SummaryItems = box.Recordings->count();
    box.exec();
  }
  bool OkCancelQuestion(QWidget*, const QString& caption, const QString& text) override {
    Texts.push_back(caption + QLatin1Char(' ') + text);
    return true;
  }
  void Error(QWidget*, const QString& caption, const QString& text) override {
    Texts.push_back(caption + QLatin1Char(' ') + text);
  }
  std::vector<QString> Texts;
  std::vector<QString> Captions;
  int SummaryItems = 0;        // the recordings the summary showed
  std::set<QString> Pictured;  // the files it showed a picture of

 private:
  QString screenshots_;
};

TEST(WindowEndToEnd, ARunOnACardImageSaysWhatTheCommandLineReports) {
  const QString card = Setting("MTSRESCUE_E2E_CARD");
  const QString reportPath = Setting("MTSRESCUE_E2E_REPORT");
  const QString destination = Setting("MTSRESCUE_E2E_DEST");
  const QString cliDestination = Setting("MTSRESCUE_E2E_CLI_DEST");
  if (card.isEmpty() || reportPath.isEmpty() || destination.isEmpty())
    GTEST_SKIP() << "run by tests/ui/window_end_to_end.py";
  const QString screenshots = Setting("MTSRESCUE_SCREENSHOTS");
  uitest::EnsureApp();
  QTranslator qtTexts;  // as the program starts
  UseChineseTexts(qtTexts);

  QFile reportFile(reportPath);
  ASSERT_TRUE(reportFile.open(QIODevice::ReadOnly));
  const QJsonObject report = QJsonDocument::fromJson(reportFile.readAll()).object();
  ASSERT_EQ(report.value(QStringLiteral("result")).toString(), QStringLiteral("success"));

  TSelfClosingBoxes boxes(screenshots);
  TMainEnvironment environment;
  environment.Boxes = &boxes;
  environment.OpenLink = [](const QString&) {};
  environment.TickSource = [] { return std::uint32_t{1030}; };  // tens digit 3: "BlueIce (internal)"
  environment.ExecutablePath = QStringLiteral("/usr/bin/mtsrescue");
  environment.ChooseFolder = [&](QWidget*, const QString&) { return destination; };
  TfrmMain form(environment);
  form.show();
  ASSERT_TRUE(uitest::WaitUntil([&] { return form.isVisible() && form.windowHandle()->isExposed(); }));

  // The image through the source menu, the folder through the toolbar, as a user picks them.
  form.Sources->ChooseImage = [&] { return std::optional<QString>(card); };
  emit form.pop->aboutToShow();
  QAction* image = nullptr;
  for (QAction* entry : form.pop->actions())
    if (entry->objectName() == QStringLiteral("Openimage")) image = entry;
  ASSERT_NE(image, nullptr);
  image->trigger();
  form.SaveBtn->click();
  ASSERT_TRUE(uitest::WaitUntil([&] { return form.Shelllist->FolderPath() == destination; }));
  QTest::qWait(300);
  SaveScreen(screenshots, QStringLiteral("window-before-run.png"), &form);
  EXPECT_EQ(form.FSourceSize, report.value(QStringLiteral("length")).toInteger());
  EXPECT_TRUE(form.ChoiceLabel->toolTip().contains(card));

  form.RunBtn->click();

  ASSERT_EQ(boxes.Texts.size(), 1u);
  const QString summary = boxes.Texts.front();
  EXPECT_EQ(boxes.Captions.front(), form.ApplicationTitle());
  const RunReport& run = form.LastRunReport();
  EXPECT_EQ(run.Failure, RunFailure::None);
  EXPECT_EQ(run.HitCount, report.value(QStringLiteral("hits")).toInteger());
  const qint64 files = report.value(QStringLiteral("files_written")).toInteger();
  ASSERT_GT(files, 0);
  EXPECT_EQ(run.Export.FilesWritten, files);
  EXPECT_TRUE(summary.startsWith(QStringLiteral("已写出 %1 个视频碎片文件").arg(files))) << summary.toStdString();
  EXPECT_EQ(run.Scan.UnreadableSectors, report.value(QStringLiteral("unreadable_sectors")).toInteger());
  EXPECT_FALSE(summary.contains(QStringLiteral("无法读取")));

  // The same files as the command line's, byte for byte.
  for (const QJsonValue& value : report.value(QStringLiteral("fragments")).toArray()) {
    const QJsonObject entry = value.toObject();
    if (entry.value(QStringLiteral("status")).toString() != QStringLiteral("written")) continue;
    const QString name = QStringLiteral("%1.MTS").arg(entry.value(QStringLiteral("index")).toInteger());
    QFile ours(destination + QLatin1Char('/') + name);
    QFile theirs(cliDestination + QLatin1Char('/') + name);
    ASSERT_TRUE(ours.open(QIODevice::ReadOnly)) << name.toStdString();
    ASSERT_TRUE(theirs.open(QIODevice::ReadOnly)) << name.toStdString();
    EXPECT_TRUE(ours.readAll() == theirs.readAll()) << name.toStdString();
  }

  // The recordings, each named in the summary; the list shows their folder first.
  const QJsonValue clips = report.value(QStringLiteral("clips"));
  const QJsonArray recordings = clips.toObject().value(QStringLiteral("recordings")).toArray();
  EXPECT_EQ(static_cast<qsizetype>(form.LastClipReport().Recordings.size()), recordings.size());
  if (!recordings.isEmpty()) {
    EXPECT_TRUE(summary.contains(QStringLiteral("重组出 %1 段完整录像").arg(recordings.size()))) << summary.toStdString();
    for (const QJsonValue& recording : recordings) {
      const QString file = recording.toObject().value(QStringLiteral("file")).toString();
      EXPECT_TRUE(summary.contains(QStringLiteral("    ") + file.mid(file.lastIndexOf(QLatin1Char('/')) + 1)))
          << file.toStdString();
    }
    ASSERT_FALSE(form.Shelllist->SelectedPaths().isEmpty());
    EXPECT_TRUE(form.Shelllist->SelectedPaths().first().endsWith(QStringLiteral("clips")));
  }
  EXPECT_EQ(form.Shelllist->FolderPath(), destination);

  // After the run, on their own thread, a picture of each recording, shown as its tooltip in the
  // list; the page that lists them all is written last.
  EXPECT_EQ(boxes.SummaryItems, recordings.size());
  if (FrameDecoder::Available()) {
    EXPECT_EQ(static_cast<qsizetype>(boxes.Pictured.size()), recordings.size()) << "the summary shows each recording's picture";
    ASSERT_TRUE(uitest::WaitUntil([&] { return QFileInfo::exists(destination + QStringLiteral("/index.html")); }, 120000));
    for (const QJsonValue& recording : recordings) {
      const QString name = recording.toObject().value(QStringLiteral("file")).toString().section(QLatin1Char('/'), -1);
      const QString picture = TShellList::PictureOf(destination + QStringLiteral("/clips/") + name);
      ASSERT_FALSE(picture.isEmpty()) << name.toStdString();
      const QImage image(picture);
      EXPECT_EQ(image.width(), 160) << picture.toStdString();
      EXPECT_GE(image.height(), 80) << picture.toStdString();
    }
    form.Shelllist->SetFolder(destination + QStringLiteral("/clips"));
    ASSERT_TRUE(uitest::WaitUntil([&] { return form.Shelllist->model()->rowCount(form.Shelllist->rootIndex()) > 0; }));
    const QModelIndex first = form.Shelllist->model()->index(0, 0, form.Shelllist->rootIndex());
    EXPECT_TRUE(form.Shelllist->PictureTip(first).startsWith(QStringLiteral("<img src=")));
  }
}

}  // namespace
}  // namespace mtsrescue
