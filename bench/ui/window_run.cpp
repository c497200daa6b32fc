// window_run IMAGE FOLDER: shows the main window, clicks 恢复 with IMAGE as the source and FOLDER
// as the destination, and prints the run's wall time in seconds and its counts on one line.
#include "ui/Main.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QLineEdit>
#include <QTimer>
#include <QToolButton>

#include <cstdio>

namespace {

// Errors go to stderr instead of a modal box, so that a benchmark never waits for a user.
class TPrintingBoxes final : public mtsrescue::TMessageBoxes {
 public:
  void Information(QWidget*, const QString&, const QString& text) override { Print(text); }
  bool OkCancelQuestion(QWidget*, const QString&, const QString& text) override {
    Print(text);
    return true;
  }
  void Error(QWidget*, const QString&, const QString& text) override {
    Print(text);
    failed = true;
  }
  bool failed = false;

 private:
  static void Print(const QString& text) { std::fprintf(stderr, "%s\n", text.toUtf8().constData()); }
};

}  // namespace

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  if (argc != 3) {
    std::fprintf(stderr, "usage: window_run IMAGE FOLDER\n");
    return 2;
  }
  TPrintingBoxes boxes;
  mtsrescue::TMainEnvironment environment;
  environment.Boxes = &boxes;
  mtsrescue::TfrmMain form(environment);
  form.show();
  const QString image = QString::fromLocal8Bit(argv[1]);
  form.FSourcePath = image;
  form.FSourceSize = QFileInfo(image).size();
  form.Source->setText(QFileInfo(image).fileName());
  form.Edit1->setText(QString::fromLocal8Bit(argv[2]));

  double seconds = 0;
  QTimer::singleShot(100, &form, [&] {
    QElapsedTimer timer;
    timer.start();
    form.RunBtn->click();
    seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    QApplication::quit();
  });
  QApplication::exec();
  const mtsrescue::RunReport& report = form.LastRunReport();
  std::printf("%.3f seconds, %lld hits, %lld files written\n", seconds, static_cast<long long>(form.HitCount),
              static_cast<long long>(report.Export.FilesWritten));
  return boxes.failed ? 1 : 0;
}
