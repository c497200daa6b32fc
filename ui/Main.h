// TfrmMain: the main window, its controls, the busy state, the recovery run and the commands.
#pragma once

#include "engine/RecoveryRun.h"
#include "rebuild/ClipBuilder.h"
#include "ui/MainEnvironment.h"
#include "ui/MessageBoxes.h"
#include "ui/RemainingTime.h"
#include "ui/SkinManager.h"

#include <QMainWindow>
#include <QString>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>

class QAction;
class QFileDialog;
class QFrame;
class QLabel;
class QLineEdit;
class QMenu;
class QMenuBar;
class QPushButton;
class QSplitter;
class QStatusBar;
class QSystemTrayIcon;
class QTimer;
class QToolBar;
class QToolButton;

namespace mtsrescue {

class TThumbnailMaker;

class TGauge;
class TShellList;
class TSourceMenu;

class TfrmMain : public QMainWindow {
  Q_OBJECT

 public:
  // The initial text of Edit1: no destination folder chosen yet.
  static const QString DestinationPlaceholder;

  explicit TfrmMain(TMainEnvironment environment = {}, QWidget* parent = nullptr);
  ~TfrmMain() override;

  // ---- State shared by the window's parts; fields live as long as the window. ----
  QString ProgramName;        // executable's base name, set by FormCreate
  QString FSourcePath;        // file or device path of the chosen source (UTF-8 on the way down)
  std::int64_t FSourceSize = 0;  // its length in bytes
  bool FStopRequest = false;  // set by pause/stop/close; cleared by each run; read once per block
  std::int64_t HitCount = 0;  // hits of the current scan
  std::int32_t FElapsedSeconds = 0;  // 1 when the busy state begins, +1 per timer tick
  TRemainingTime FRemaining;  // fed by the run with the bytes it reads and writes

  // What the run is doing, for the notice that a close during it shows.
  enum class TRunStage { Idle, Scanning, Exporting, Rebuilding };
  TRunStage RunStage = TRunStage::Idle;
  std::int64_t StageItems = 0;  // files the export or the rebuild writes
  std::int64_t StageIndex = 0;  // the one at hand

  // ---- Controls, named as the window's design names them. ----
  QMenuBar* MainMenu1 = nullptr;
  QMenu* N1 = nullptr;  // "文件"
  QAction* N2 = nullptr;  // "关闭"
  QMenu* N3 = nullptr;  // "帮助"
  QAction* N4 = nullptr;
  QAction* N8 = nullptr;  // separator
  QAction* Update1 = nullptr;
  QAction* N5 = nullptr;
  QAction* Licences1 = nullptr;  // after "关于": the licences of the program and its libraries

  QToolBar* RzToolbar1 = nullptr;
  QToolButton* ToolBoxBtn = nullptr;
  QToolButton* RecBtn = nullptr;
  QToolButton* SaveBtn = nullptr;
  QAction* RzSpacer1 = nullptr;
  QToolButton* RunBtn = nullptr;
  QToolButton* PauseBtn = nullptr;
  QToolButton* StopBtn = nullptr;
  QAction* RzSpacer3 = nullptr;
  QToolButton* UpdateBtn = nullptr;
  QToolButton* SupportBtn = nullptr;
  QAction* RzSpacer2 = nullptr;
  QToolButton* helpBtn = nullptr;
  QToolButton* ExitBtn = nullptr;

  QMenu* PopForTools = nullptr;  // drop-down of the hidden ToolBoxBtn
  QMenu* pop = nullptr;          // source menu, filled when it drops down
  QFileDialog* od = nullptr;     // chooses a disk-image file as the source
  QMenu* PopupMenu2 = nullptr;   // drop-down of RunBtn
  QAction* N9 = nullptr;         // "全盘恢复"
  QAction* N10 = nullptr;        // "恢复剩余空间"

  QSplitter* Splitter2 = nullptr;
  QFrame* RzPanel1 = nullptr;
  QToolBar* RzToolbar2 = nullptr;
  QToolButton* BtnMoveLeft = nullptr;
  QLineEdit* Destination = nullptr;
  TShellList* Shelllist = nullptr;  // the list of a folder, at first the desktop

  QFrame* RzPanel2 = nullptr;
  QWidget* Panel1 = nullptr;
  QPushButton* RzBitBtn1 = nullptr;
  QPushButton* RzBitBtn2 = nullptr;
  QPushButton* RzBitBtn3 = nullptr;
  QLabel* sLabelFX1 = nullptr;
  QLabel* sLabelFX2 = nullptr;

  QStatusBar* RzStatusBar1 = nullptr;
  QLabel* TimeLabel = nullptr;
  QLabel* SegLabel = nullptr;
  QLineEdit* Source = nullptr;  // hidden; the chosen source's short form
  QLineEdit* Edit1 = nullptr;   // hidden; the destination folder
  QLabel* ChoiceLabel = nullptr;  // the chosen source with its size, and the destination
  TGauge* gg = nullptr;
  QLabel* RunNotice = nullptr;    // lower pane: what a close during a run still does

  QTimer* ElapsedTime = nullptr;
  QSystemTrayIcon* Tray = nullptr;
  TSkinManager sm;
  TSourceMenu* Sources = nullptr;  // the source menu's handlers and the run's source checks

  // Shows the support-request form modally; set by whoever creates that form.
  std::function<void()> ShowSupportForm;

  // ---- Handlers. ----
  void RunBtnClick();
  void N9Click();
  void N10Click();
  void PauseBtnClick();
  void StopBtnClick();
  void ExitBtnClick();
  void N2Click();
  void UpdateBtnClick();
  void SupportBtnClick();
  void helpBtnClick();
  void N4Click();
  void Update1Click();
  void N5Click();
  void Licences1Click();
  void RzBitBtn1Click();
  void RzBitBtn2Click();
  void RzBitBtn3Click();
  void RecBtnDropDown();  // builds the source menu `pop`
  void SaveBtnClick();    // chooses the destination folder
  void BtnMoveLeftClick();  // the list goes up one folder; the destination stays
  void ShelllistChange();   // Destination follows the folder the list shows
  // Before the list opens files: a database file asks first; Cancel sets handled.
  void ShelllistDblClickOpen(TShellList* sender, bool& handled);

  // ---- Busy state and remaining time. ----
  void BeginBusy();
  void EndBusy();
  bool Busy() const noexcept { return busy_; }
  void ElapsedTimeTimer();
  // The controls the busy state disables, in their order.
  std::array<QWidget*, 8> BusyControls() const;
  // s div 60, " : ", s mod 60, without leading zeros: 187 gives "3 : 7".
  static QString FormatMinSec(std::int32_t seconds);

  // The caption of the window and of its information boxes: "ProgramName SiteAddress".
  QString ApplicationTitle() const;
  // The top-level error handler: shows message in an error box captioned with the title.
  void ShowException(const QString& message);
  // What the last run brought back, as the box at its end says it: what was written, and after
  // a failure what was not and why (the failure's own text comes first, from FailureText).
  static QString RunSummaryText(const RunReport& run, const ClipReport& clips);
  // The box at the end of a run: the summary, headed by the failure when there was one.
  static QString RunOutcomeText(const RunReport& run, const ClipReport& clips);
  // The source (its menu caption or image path, and its size) and the destination, as shown.
  QString ChoiceText() const;
  // The run moved on to another stage (the observer tells): a closing notice follows it.
  void RunStageChanged();
  // The notice a close shows during a run; empty while idle. stopping: the close also stops the scan.
  QString ClosingText(bool stopping) const;
  // The program's licence and its libraries' (Qt, FFmpeg), and where their texts are
  // (licencesFolder; not named when empty).
  static QString LicenceText(const QString& licencesFolder);
  // The report of the last run that finished.
  const RunReport& LastRunReport() const noexcept { return lastRun_; }
  // The recordings the last run rebuilt.
  const ClipReport& LastClipReport() const noexcept { return lastClips_; }
  // The pictures of the last run's files, made after it.
  TThumbnailMaker& Pictures() noexcept { return *thumbnails_; }
  TMessageBoxes& Boxes();
  // Shows the chosen source and destination in the status bar, with how the source was opened.
  void ShowChoice();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;

 private:
  void BuildMenus();
  void BuildToolbar();
  void BuildFilePane();
  void BuildLowerPane();
  void BuildStatusBar();
  void FormCreate();
  void OpenLink(const char* url);
  // After a run: the list shows the destination with `clips` first, and a box says what came back.
  void ShowRecoveredFiles();
  void ShowRunSummary();
  // The checks a run makes before it reads anything; false (after saying why) when it must not start.
  bool CheckBeforeRun();
  void ShowClosingNotice(bool stopping);
  void RestoreFromTray();
  // Runs a handler; an exception reaches the top-level handler instead of the event loop.
  void Guarded(const std::function<void()>& handler);
  template <typename Sender, typename Signal>
  void Bind(Sender* sender, Signal signal, void (TfrmMain::*handler)());

  TMainEnvironment environment_;
  std::unique_ptr<TQtMessageBoxes> ownBoxes_;
  bool busy_ = false;
  bool closeAfterRun_ = false;  // a close arrived during the run; it takes effect after it
  bool stopOnClose_ = false;    // that close also stopped the scan (the menu's close)
  QString sourceCaption_;       // the menu caption of the chosen source, for sourceShortForm_
  QString sourceShortForm_;
  RunReport lastRun_;
  ClipReport lastClips_;
  TThumbnailMaker* thumbnails_ = nullptr;  // the pictures of the latest run's files, made after it
};

}  // namespace mtsrescue
