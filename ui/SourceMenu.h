// TSourceMenu: the window's side of choosing a source: the menu `pop`, the dialog `od`, the short
// form in `Source`, and the checks a run makes of its source before it starts.
#pragma once

#include "platform/ByteStream.h"
#include "source/SourcePlatform.h"
#include "source/SourceSelection.h"

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class QAction;

namespace mtsrescue {

class TfrmMain;

class TSourceMenu : public QObject {
  Q_OBJECT

 public:
  // Runs a handler so that its exception reaches the window's top-level error box.
  using Guard = std::function<void(const std::function<void()>&)>;

  // Creates form.od and takes over the keys of form.Source; form must outlive this object.
  TSourceMenu(TfrmMain& form, SourcePlatform platform, Guard guard);

  // Rebuilds form.pop: the image entry, the volumes, the disks (pictures 19, 18, 17).
  void RecBtnDropDown();
  // An entry of pop was chosen: sets FSourcePath and the short form, measuring a new one.
  void SourceItemClick(QAction* sender);
  // The short form in Source changed: resolves and measures it into FSourcePath and FSourceSize.
  // Throws StreamError when the source cannot be opened (the previous length stays).
  void SourceChange();
  // Before a run: measures again a source that could not be opened when chosen, and opens the
  // source once, so that a run never starts on a source that cannot be read (throws StreamError);
  // then asks OK/Cancel when the destination folder lies on the source. False: the run must not start.
  bool BeforeRun();
  // The source as the run opens it and its messages name it: the device node where the system
  // has one for a device path (/dev/sdb on Linux), else FSourcePath.
  std::string RunSourcePath() const;
  // How the current source's device was opened the last time (through the desktop's disk service
  // or directly); empty for a file, or before it could be opened.
  const std::string& LastOpenNote() const noexcept { return openNote_; }

  // False while the chosen source's length is left over from an earlier choice (it could not be opened).
  bool Measured() const { return selection_.Measured(); }
  // Opens sources (device paths included) and output files, for the run.
  StreamOpener Opener() const { return platform_.Opener(); }
  const SourcePlatform& Platform() const { return platform_; }

  // Clears od's default extension and file name and sets its file types, as before every use.
  void PrepareImageDialog();
  // Asks for an image file; the full path, or nothing when cancelled. Shows od modally unless a
  // test puts something else here.
  std::function<std::optional<QString>()> ChooseImage;

  // How the latest device was opened; shown in the status bar while its source is chosen. May be empty.
  std::function<std::string()> OpenNote;

  // The pictures of the menu's entries by image index (17 disk, 18 volume, 19 image file).
  static QIcon EntryIcon(int imageIndex);

 protected:
  // SourceKeyPress: Source takes no typing.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void CopyToForm();
  void TakeOpenNote();

  TfrmMain& form_;
  QObject* sourceEdit_ = nullptr;  // the window's Source edit, whose keys are swallowed
  SourcePlatform platform_;
  Guard guard_;
  SourceSelection selection_;
  std::string openNote_;
};

}  // namespace mtsrescue
