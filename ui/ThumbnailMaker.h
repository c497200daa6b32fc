// TThumbnailMaker: the pictures of a run's files, made after the run on a thread of their own so
// that the window stays responsive; the file list shows them (TShellList's tooltips).
#pragma once

#include "engine/RecoveryRun.h"
#include "rebuild/ClipBuilder.h"
#include "thumbnails/ThumbnailSet.h"

#include <QImage>
#include <QObject>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

namespace mtsrescue {

class TThumbnailMaker : public QObject {
  Q_OBJECT

 public:
  explicit TThumbnailMaker(QObject* parent = nullptr);
  // Stops the pictures and waits for the one being made (bounded in time by the Thumbnailer).
  ~TThumbnailMaker() override;

  // Begins the pictures of what run wrote (its fragments and clips' recordings) into
  // run.DestFolder; one still being made for an earlier run is stopped first. Does nothing
  // after a dry run or without a destination.
  void Start(const RunReport& run, const ClipReport& clips, StreamOpener opener);
  // Stops them at the next file and waits; what was made stays.
  void Stop();
  // From Start until Finished is emitted (or Stop): pictures are still to come.
  bool Running() const noexcept { return running_; }
  // What the latest pictures came to; empty until they are done.
  ThumbnailReport Report() const;

 signals:
  // The picture of the file at filePath is done: picture is null when none was made;
  // durationSeconds is -1 when unknown.
  void PictureMade(const QString& filePath, const QImage& picture, double durationSeconds);
  // The pictures are done (or stopped); indexPath: the page, empty when it was not written.
  void Finished(const QString& indexPath);

 private:
  std::thread worker_;
  std::atomic<bool> stop_{false};
  bool running_ = false;  // these two only on the window's thread
  int generation_ = 0;
  mutable std::mutex mutex_;
  ThumbnailReport report_;
};

}  // namespace mtsrescue
