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
  worker_ = std::thread([this, dest = run.DestFolder, items = std::move(items), opener = std::move(opener),
                         protectedFiles = std::move(protectedFiles)] {
    ThumbnailReport report = ThumbnailSet::Write(dest, items, opener, protectedFiles, Thumbnailer(),
                                                 [this] { return stop_.load(); });
    const QString index = QString::fromStdString(report.IndexPath);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      report_ = std::move(report);
    }
    running_ = false;
    QMetaObject::invokeMethod(this, [this, index] { emit Finished(index); }, Qt::QueuedConnection);
  });
}

}  // namespace mtsrescue
