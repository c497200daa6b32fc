// TMessageBoxes: the modal boxes the windows show, behind an interface that tests replace.
#pragma once

#include <QString>

class QWidget;

namespace mtsrescue {

struct ClipReport;
class TThumbnailMaker;

class TMessageBoxes {
 public:
  virtual ~TMessageBoxes() = default;
  // A plain information box: caption, text, no icon, one OK button. Returns when it is closed.
  virtual void Information(QWidget* owner, const QString& caption, const QString& text) = 0;
  // A question box with OK and Cancel and the question icon; true only for OK.
  virtual bool OkCancelQuestion(QWidget* owner, const QString& caption, const QString& text) = 0;
  // An error box with the error icon and one OK button (the top-level error handler's box).
  virtual void Error(QWidget* owner, const QString& caption, const QString& text) = 0;
  // A web address that could not be opened: the text, then the address, selectable, with a
  // button that copies it. By default an information box with both.
  virtual void Address(QWidget* owner, const QString& caption, const QString& text, const QString& url) {
    Information(owner, caption, text + QLatin1Char('\n') + url);
  }
  // The end of a good run: text, then the rebuilt recordings with the pictures that pictures
  // makes of them after the run (null when none are made). By default an information box.
  virtual void Summary(QWidget* owner, const QString& caption, const QString& text, const ClipReport& clips,
                       TThumbnailMaker* pictures) {
    static_cast<void>(clips);
    static_cast<void>(pictures);
    Information(owner, caption, text);
  }
};

// The real boxes (QMessageBox), run modally.
class TQtMessageBoxes final : public TMessageBoxes {
 public:
  void Information(QWidget* owner, const QString& caption, const QString& text) override;
  bool OkCancelQuestion(QWidget* owner, const QString& caption, const QString& text) override;
  void Error(QWidget* owner, const QString& caption, const QString& text) override;
  void Address(QWidget* owner, const QString& caption, const QString& text, const QString& url) override;
  // TRunSummary, its pictures filled in as they are made.
  void Summary(QWidget* owner, const QString& caption, const QString& text, const ClipReport& clips,
               TThumbnailMaker* pictures) override;
};

}  // namespace mtsrescue
