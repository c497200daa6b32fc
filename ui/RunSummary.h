// TRunSummary: the box at the end of a good run: what was written, then the rebuilt recordings as
// pictures with their dates and durations, filled in while the pictures are made after the run.
#pragma once

#include "rebuild/ClipBuilder.h"

#include <QDialog>
#include <QImage>
#include <QString>

#include <functional>
#include <vector>

class QLabel;
class QListWidget;
class QListWidgetItem;

namespace mtsrescue {

// The recordings as a user looks for them: by date, those without one after, in file order.
std::vector<const RebuiltClip*> RecordingsByDate(const ClipReport& clips);

class TRunSummary final : public QDialog {
  Q_OBJECT

 public:
  // Opens a recording in the system's player; false when it could not.
  using FileOpener = std::function<bool(const QString& path)>;

  TRunSummary(QWidget* owner, const QString& caption, const QString& text, const ClipReport& clips,
              FileOpener opener = {});

  // The picture of the file at filePath is made (null: none could be); durationSeconds -1 unknown.
  void ShowPicture(const QString& filePath, const QImage& picture, double durationSeconds);
  // No more pictures will come.
  void PicturesDone();

  // One item per recording, in date order; the path is the item's Qt::UserRole data.
  QListWidget* Recordings = nullptr;
  QLabel* PicturesNote = nullptr;

 private:
  void Open(QListWidgetItem* item);

  FileOpener opener_;
};

}  // namespace mtsrescue
