// TThumbnailMaker: ThumbnailSet::Write on a worker thread, its end posted to the window's thread.
#include "ui/ThumbnailMaker.h"

#include "platform/FileIdentity.h"

#include <QMetaObject>

#include <utility>

namespace mtsrescue {

TThumbnailMaker::TThumbnailMaker(QObject* parent) : QObject(parent) {}

TThumbnailMaker::~TThumbnailMaker() { Stop(); }

void TThumbnailMaker::Stop() {
  stop_ = true;
  if (worker_.joinable()) worker_.join();
  stop_ = false;
  running_ = false;
  ++generation_;  // what the stopped worker still posts is of no run any more
}

ThumbnailReport TThumbnailMaker::Report() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return report_;
}

void TThumbnailMaker::Start(const RunReport& run, const ClipReport& clips, StreamOpener opener) {
  Stop();
  if (run.DestFolder.empty() || run.Export.Entries.empty()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    report_ = ThumbnailReport();
  }
  std::vector<ThumbnailItem> items = ThumbnailSet::Items(run.Export, clips);
  std::vector<FileIdentity> protectedFiles = FilesBehindSource(run.SourcePath);
  running_ = true;
  const int generation = generation_;
  worker_ = std::thread([this, generation, dest = run.DestFolder, items = std::move(items), opener = std::move(opener),
                         protectedFiles = std::move(protectedFiles)] {
    const auto made = [this, generation](const ThumbnailEntry& entry, const Picture& picture) {
      QImage image;
      if (!picture.Empty())
        image = QImage(picture.Rgb.data(), picture.Width, picture.Height, picture.Width * 3, QImage::Format_RGB888)
                    .copy();  // the picture's bytes go with this thread's frame
      const QString path = QString::fromStdString(entry.Item.FilePath);
      const double duration = entry.DurationSeconds;
      QMetaObject::invokeMethod(
          this,
          [this, generation, path, image, duration] {
            if (generation == generation_) emit PictureMade(path, image, duration);
          },
          Qt::QueuedConnection);
    };
    ThumbnailReport report = ThumbnailSet::Write(dest, items, opener, protectedFiles, Thumbnailer(),
                                                 [this] { return stop_.load(); }, made);
    const QString index = QString::fromStdString(report.IndexPath);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      report_ = std::move(report);
    }
    QMetaObject::invokeMethod(
        this,
        [this, generation, index] {
          if (generation != generation_) return;
          running_ = false;
          emit Finished(index);
        },
        Qt::QueuedConnection);
  });
}

}  // namespace mtsrescue
