// TfrmMain: layout, start-up, busy state, remaining time, the recovery run and the commands.
#include "ui/Main.h"

#include "mtsrescue/Vendor.h"
#include "engine/DestinationPreparation.h"
#include "engine/EngineConstants.h"
#include "engine/OutputFile.h"
#include "platform/FileStream.h"
#include "rebuild/RecordingRebuild.h"
#include "thumbnails/FrameDecoder.h"
#include "ui/ThumbnailMaker.h"
#include "source/PhysicalDisks.h"
#include "support/ApplicationTitle.h"
#include "platform/TickCount.h"
#include "ui/DatabaseOpenGuard.h"
#include "ui/FailureText.h"
#include "ui/FileTexts.h"
#include "ui/Gauge.h"
#include "ui/LinkOpener.h"
#include "ui/RunSummary.h"
#include "ui/SelectSavePath.h"
#include "ui/ShellList.h"
#include "ui/SourceMenu.h"
#include "ui/StartUp.h"
#include "ui/WindowObserver.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>

namespace mtsrescue {

const QString TfrmMain::DestinationPlaceholder = QStringLiteral("...点击选择目录...");

namespace {

// Design sizes of the window, in pixels.
constexpr int ClientWidth = 1082;
constexpr int ClientHeight = 579;
constexpr int ToolbarHeight = 44;
constexpr int FilePaneHeight = 365;
constexpr int SplitterHeight = 3;
constexpr int LowerPaneHeight = 148;
constexpr int StatusBarHeight = 19;
constexpr int FileToolbarHeight = 29;
constexpr int MenuBarHeight = 20;  // above the client area, whatever the skin
constexpr int ChoiceLabelWidth = 500;  // of the status bar's 1082: the gauge keeps the rest

const QString TimeCaption = QStringLiteral("剩余时间: ");

// The size text the source menu uses: "465.75 GB".
QString SizeText(std::int64_t bytes) { return QString::fromStdString(FormatDiskSize(bytes)); }

// A toolbar picture and its greyed twin for the disabled state.
QIcon LoadIcon(const QString& name) {
  QIcon icon;
  icon.addPixmap(QPixmap(QStringLiteral(":/icons/%1.png").arg(name)), QIcon::Normal);
  icon.addPixmap(QPixmap(QStringLiteral(":/icons/%1_disabled.png").arg(name)), QIcon::Disabled);
  return icon;
}

QFont WindowFont() {
  QFont font;
  // The design font first; on systems without it, an installed CJK font that has the same glyphs.
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("WenQuanYi Zen Hei"),
                    QStringLiteral("Noto Sans CJK SC")});
  font.setPixelSize(12);
  return font;
}

QFont LabelFont() {
  QFont font;
  font.setFamilies({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"),
                    QStringLiteral("Noto Sans CJK SC"), QStringLiteral("WenQuanYi Zen Hei")});
  font.setPixelSize(19);
  return font;
}

QToolButton* MakeToolButton(QToolBar* bar, const char* objectName, const QString& caption,
                            const QString& iconName, int width) {
  auto* button = new QToolButton(bar);
  button->setObjectName(QString::fromLatin1(objectName));
  button->setText(caption);
  button->setIcon(LoadIcon(iconName));
  button->setIconSize(QSize(24, 24));
  button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  button->setFixedSize(width, 40);
  button->setAutoRaise(true);
  return button;
}

}  // namespace

TfrmMain::TfrmMain(TMainEnvironment environment, QWidget* parent)
    : QMainWindow(parent), environment_(std::move(environment)) {
  setObjectName(QStringLiteral("frmMain"));
  if (!environment_.TickSource) environment_.TickSource = [] { return TickCount(); };
  if (!environment_.Opener) environment_.Opener = OpenFileStream;
  if (environment_.Boxes == nullptr) ownBoxes_ = std::make_unique<TQtMessageBoxes>();
  thumbnails_ = new TThumbnailMaker(this);

  QApplication::setFont(WindowFont());
  setWindowIcon(LoadIcon(QStringLiteral("app")));

  BuildMenus();
  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  BuildToolbar();
  layout->addWidget(RzToolbar1);
  Splitter2 = new QSplitter(Qt::Vertical, client);
  Splitter2->setObjectName(QStringLiteral("Splitter2"));
  Splitter2->setHandleWidth(SplitterHeight);
  Splitter2->setChildrenCollapsible(false);
  BuildFilePane();
  BuildLowerPane();
  Splitter2->addWidget(RzPanel1);
  Splitter2->addWidget(RzPanel2);
  Splitter2->setStretchFactor(0, 0);
  Splitter2->setStretchFactor(1, 1);
  Splitter2->setSizes({FilePaneHeight, LowerPaneHeight});
  layout->addWidget(Splitter2, 1);
  setCentralWidget(client);
  BuildStatusBar();
  Sources = new TSourceMenu(
      *this,
      SourcePlatform(environment_.Devices ? environment_.Devices : std::shared_ptr<DeviceQuery>(MakeSystemDeviceQuery()),
                     environment_.Opener),
      [this](const std::function<void()>& handler) { Guarded(handler); });
  Sources->OpenNote = environment_.SourceOpenNote;

  ElapsedTime = new QTimer(this);
  ElapsedTime->setObjectName(QStringLiteral("ElapsedTime"));
  ElapsedTime->setInterval(1000);
  Bind(ElapsedTime, &QTimer::timeout, &TfrmMain::ElapsedTimeTimer);

  Tray = new QSystemTrayIcon(windowIcon(), this);
  Tray->setObjectName(QStringLiteral("Tray"));
  // Without a tip and a menu, the icon alone left the user guessing what it was and how to end it.
  auto* trayMenu = new QMenu(this);
  trayMenu->setObjectName(QStringLiteral("TrayMenu"));
  connect(trayMenu->addAction(QStringLiteral("显示主窗口")), &QAction::triggered, this, [this] { RestoreFromTray(); });
  trayMenu->addSeparator();
  Bind(trayMenu->addAction(QStringLiteral("退出")), &QAction::triggered, &TfrmMain::ExitBtnClick);
  Tray->setContextMenu(trayMenu);
  connect(Tray, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick) RestoreFromTray();
  });
  if (QSystemTrayIcon::isSystemTrayAvailable()) Tray->show();

  // A single fixed border with a system menu and a minimise box; the client area has the design
  // size, the menu bar sits above it.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  const QSize size(ClientWidth, ClientHeight + MenuBarHeight);
  setFixedSize(size);
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size, screen->availableGeometry()));

  FormCreate();
}

TfrmMain::~TfrmMain() = default;

void TfrmMain::BuildMenus() {
  MainMenu1 = new QMenuBar(this);
  MainMenu1->setObjectName(QStringLiteral("MainMenu1"));
  MainMenu1->setFixedHeight(MenuBarHeight);
  setMenuBar(MainMenu1);
  N1 = MainMenu1->addMenu(QStringLiteral("文件"));
  N1->setObjectName(QStringLiteral("N1"));
  N2 = N1->addAction(LoadIcon(QStringLiteral("exit")), QStringLiteral("关闭"));
  N2->setObjectName(QStringLiteral("N2"));
  N3 = MainMenu1->addMenu(QStringLiteral("帮助"));
  N3->setObjectName(QStringLiteral("N3"));
  N4 = N3->addAction(LoadIcon(QStringLiteral("help")), QStringLiteral("帮助文档"));
  N4->setObjectName(QStringLiteral("N4"));
  N8 = N3->addSeparator();
  N8->setObjectName(QStringLiteral("N8"));
  Update1 = N3->addAction(QStringLiteral("在线升级"));
  Update1->setObjectName(QStringLiteral("Update1"));
  N5 = N3->addAction(QStringLiteral("关于"));
  N5->setObjectName(QStringLiteral("N5"));
  Licences1 = N3->addAction(QStringLiteral("许可证"));
  Licences1->setObjectName(QStringLiteral("Licences1"));
  Bind(N2, &QAction::triggered, &TfrmMain::N2Click);
  Bind(N4, &QAction::triggered, &TfrmMain::N4Click);
  Bind(Update1, &QAction::triggered, &TfrmMain::Update1Click);
  Bind(N5, &QAction::triggered, &TfrmMain::N5Click);
  Bind(Licences1, &QAction::triggered, &TfrmMain::Licences1Click);

  // The vendor's other services; none has an action, and the button that drops it down is hidden.
  PopForTools = new QMenu(this);
  PopForTools->setObjectName(QStringLiteral("PopForTools"));
  QMenu* rescue = PopForTools->addMenu(QStringLiteral("数据恢复服务"));
  rescue->addAction(QStringLiteral("硬盘数据恢复"));
  rescue->addAction(QStringLiteral("存储卡数据恢复"));
  rescue->addAction(QStringLiteral("U盘数据恢复"));
  QMenu* repair = PopForTools->addMenu(QStringLiteral("视频修复服务"));
  repair->addAction(QStringLiteral("MTS视频修复"));
  repair->addAction(QStringLiteral("MP4视频修复"));

  pop = new QMenu(this);
  pop->setObjectName(QStringLiteral("pop"));
  Bind(pop, &QMenu::aboutToShow, &TfrmMain::RecBtnDropDown);

  PopupMenu2 = new QMenu(this);
  PopupMenu2->setObjectName(QStringLiteral("PopupMenu2"));
  N9 = PopupMenu2->addAction(QStringLiteral("全盘恢复"));
  N9->setObjectName(QStringLiteral("N9"));
  N10 = PopupMenu2->addAction(QStringLiteral("恢复剩余空间"));
  N10->setObjectName(QStringLiteral("N10"));
  Bind(N9, &QAction::triggered, &TfrmMain::N9Click);
  Bind(N10, &QAction::triggered, &TfrmMain::N10Click);
}

void TfrmMain::BuildToolbar() {
  RzToolbar1 = new QToolBar(this);
  RzToolbar1->setObjectName(QStringLiteral("RzToolbar1"));
  RzToolbar1->setMovable(false);
  RzToolbar1->setFloatable(false);
  RzToolbar1->setFixedHeight(ToolbarHeight);
  RzToolbar1->setContextMenuPolicy(Qt::PreventContextMenu);
  QToolBar* bar = RzToolbar1;

  ToolBoxBtn = MakeToolButton(bar, "ToolBoxBtn", QStringLiteral("工具箱"), QStringLiteral("toolbox"), 74);
  ToolBoxBtn->setMenu(PopForTools);
  ToolBoxBtn->setPopupMode(QToolButton::InstantPopup);
  bar->addWidget(ToolBoxBtn)->setVisible(false);

  RecBtn = MakeToolButton(bar, "RecBtn", QStringLiteral("恢复目标"), QStringLiteral("source"), 74);
  RecBtn->setMenu(pop);
  RecBtn->setPopupMode(QToolButton::InstantPopup);
  bar->addWidget(RecBtn);

  SaveBtn = MakeToolButton(bar, "SaveBtn", QStringLiteral("保存路径"), QStringLiteral("save"), 60);
  SaveBtn->setToolTip(QStringLiteral("Save"));
  bar->addWidget(SaveBtn);
  RzSpacer1 = bar->addSeparator();

  RunBtn = MakeToolButton(bar, "RunBtn", QStringLiteral("恢复"), QStringLiteral("run"), 74);
  RunBtn->setMenu(PopupMenu2);
  RunBtn->setPopupMode(QToolButton::MenuButtonPopup);
  bar->addWidget(RunBtn);
  PauseBtn = MakeToolButton(bar, "PauseBtn", QStringLiteral("暂停"), QStringLiteral("pause"), 60);
  bar->addWidget(PauseBtn);
  StopBtn = MakeToolButton(bar, "StopBtn", QStringLiteral("停止"), QStringLiteral("stop"), 60);
  bar->addWidget(StopBtn);
  RzSpacer3 = bar->addSeparator();

  UpdateBtn = MakeToolButton(bar, "UpdateBtn", QStringLiteral("联系QQ"), QStringLiteral("chat"), 60);
  bar->addWidget(UpdateBtn);
  SupportBtn = MakeToolButton(bar, "SupportBtn", QStringLiteral("技术支持"), QStringLiteral("support"), 60);
  bar->addWidget(SupportBtn);
  RzSpacer2 = bar->addSeparator();

  helpBtn = MakeToolButton(bar, "helpBtn", QStringLiteral("帮助文档"), QStringLiteral("help"), 60);
  bar->addWidget(helpBtn);
  ExitBtn = MakeToolButton(bar, "ExitBtn", QStringLiteral("退出"), QStringLiteral("exit"), 60);
  bar->addWidget(ExitBtn);

  Bind(SaveBtn, &QToolButton::clicked, &TfrmMain::SaveBtnClick);
  Bind(RunBtn, &QToolButton::clicked, &TfrmMain::RunBtnClick);
  Bind(PauseBtn, &QToolButton::clicked, &TfrmMain::PauseBtnClick);
  Bind(StopBtn, &QToolButton::clicked, &TfrmMain::StopBtnClick);
  Bind(UpdateBtn, &QToolButton::clicked, &TfrmMain::UpdateBtnClick);
  Bind(SupportBtn, &QToolButton::clicked, &TfrmMain::SupportBtnClick);
  Bind(helpBtn, &QToolButton::clicked, &TfrmMain::helpBtnClick);
  Bind(ExitBtn, &QToolButton::clicked, &TfrmMain::ExitBtnClick);
}

void TfrmMain::BuildFilePane() {
  RzPanel1 = new QFrame(Splitter2);
  RzPanel1->setObjectName(QStringLiteral("RzPanel1"));
  RzPanel1->setFrameShape(QFrame::Box);
  RzPanel1->setMinimumHeight(FileToolbarHeight + 40);
  auto* layout = new QVBoxLayout(RzPanel1);
  layout->setContentsMargins(1, 1, 1, 1);
  layout->setSpacing(0);

  RzToolbar2 = new QToolBar(RzPanel1);
  RzToolbar2->setObjectName(QStringLiteral("RzToolbar2"));
  RzToolbar2->setMovable(false);
  RzToolbar2->setFixedHeight(FileToolbarHeight);
  RzToolbar2->setContextMenuPolicy(Qt::PreventContextMenu);
  BtnMoveLeft = new QToolButton(RzToolbar2);
  BtnMoveLeft->setObjectName(QStringLiteral("BtnMoveLeft"));
  BtnMoveLeft->setText(QStringLiteral("上一级"));
  BtnMoveLeft->setToolTip(QStringLiteral("转到上一级文件夹"));
  BtnMoveLeft->setIcon(LoadIcon(QStringLiteral("up")));
  BtnMoveLeft->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  BtnMoveLeft->setIconSize(QSize(16, 16));
  RzToolbar2->addWidget(BtnMoveLeft);
  Destination = new QLineEdit(RzToolbar2);
  Destination->setObjectName(QStringLiteral("Destination"));
  Destination->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
  RzToolbar2->addWidget(Destination);
  layout->addWidget(RzToolbar2);

  Shelllist = new TShellList(RzPanel1);
  Shelllist->setObjectName(QStringLiteral("Shelllist"));
  if (environment_.OpenFile) Shelllist->SetFileOpener(environment_.OpenFile);
  layout->addWidget(Shelllist, 1);

  Bind(BtnMoveLeft, &QToolButton::clicked, &TfrmMain::BtnMoveLeftClick);
  // Not through Guarded: these throw nothing, and a list change during a nested box must not
  // set off a close that waits for the end of a run.
  connect(Shelllist, &TShellList::Change, this, &TfrmMain::ShelllistChange);
  Shelllist->OnDblClickOpen = [this](TShellList* sender, bool& handled) { ShelllistDblClickOpen(sender, handled); };
  connect(Shelllist, &TShellList::OpenFailed, this, [this](const QString& path) {
    ShowException(QStringLiteral("无法用默认程序打开 \"%1\"").arg(path));
  });
  ShelllistChange();  // the list already shows the desktop
}

void TfrmMain::BuildLowerPane() {
  RzPanel2 = new QFrame(Splitter2);
  RzPanel2->setObjectName(QStringLiteral("RzPanel2"));
  RzPanel2->setMinimumHeight(LowerPaneHeight / 2);
  auto* layout = new QVBoxLayout(RzPanel2);
  layout->setContentsMargins(0, 0, 0, 0);
  Panel1 = new QWidget(RzPanel2);
  Panel1->setObjectName(QStringLiteral("Panel1"));
  layout->addWidget(Panel1);

  const auto makeButton = [this](const char* name, const QString& caption, const QString& icon, int left) {
    auto* button = new QPushButton(LoadIcon(icon), caption, Panel1);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(left, 48, 153, 49);
    button->setIconSize(QSize(32, 32));
    button->setCursor(Qt::PointingHandCursor);
    return button;
  };
  RzBitBtn1 = makeButton("RzBitBtn1", QStringLiteral("开始扫描"), QStringLiteral("scan"), 24);
  RzBitBtn2 = makeButton("RzBitBtn2", QStringLiteral("人工服务"), QStringLiteral("service"), 208);
  RzBitBtn3 = makeButton("RzBitBtn3", QStringLiteral("访问官网"), QStringLiteral("website"), 392);
  Bind(RzBitBtn1, &QPushButton::clicked, &TfrmMain::RzBitBtn1Click);
  Bind(RzBitBtn2, &QPushButton::clicked, &TfrmMain::RzBitBtn2Click);
  Bind(RzBitBtn3, &QPushButton::clicked, &TfrmMain::RzBitBtn3Click);

  sLabelFX1 = new QLabel(QString::fromUtf8(vendor::ContactLine), Panel1);
  sLabelFX1->setObjectName(QStringLiteral("sLabelFX1"));
  sLabelFX2 = new QLabel(QStringLiteral("官方网站: ") + QString::fromUtf8(vendor::SiteAddress), Panel1);
  sLabelFX2->setObjectName(QStringLiteral("sLabelFX2"));
  for (QLabel* label : {sLabelFX1, sLabelFX2}) {
    label->setFont(LabelFont());
    label->adjustSize();
  }
  sLabelFX1->move(656, 32);
  sLabelFX2->move(656, 72);

  RunNotice = new QLabel(Panel1);
  RunNotice->setObjectName(QStringLiteral("RunNotice"));
  RunNotice->setGeometry(24, 104, ClientWidth - 48, 36);
  RunNotice->setWordWrap(true);
  RunNotice->hide();
}

void TfrmMain::BuildStatusBar() {
  RzStatusBar1 = new QStatusBar(this);
  RzStatusBar1->setObjectName(QStringLiteral("RzStatusBar1"));
  RzStatusBar1->setSizeGripEnabled(false);
  RzStatusBar1->setFixedHeight(StatusBarHeight);
  RzStatusBar1->setContentsMargins(0, 0, 0, 0);
  setStatusBar(RzStatusBar1);

  TimeLabel = new QLabel(QStringLiteral("剩余时间:"), RzStatusBar1);
  TimeLabel->setObjectName(QStringLiteral("TimeLabel"));
  TimeLabel->setFixedWidth(161);
  SegLabel = new QLabel(QStringLiteral("发现碎片:"), RzStatusBar1);
  SegLabel->setObjectName(QStringLiteral("SegLabel"));
  SegLabel->setFixedWidth(183);
  Source = new QLineEdit(RzStatusBar1);
  Source->setObjectName(QStringLiteral("Source"));
  Source->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(Source, &QWidget::customContextMenuRequested, this,
          [this](const QPoint& at) { pop->popup(Source->mapToGlobal(at)); });
  Edit1 = new QLineEdit(DestinationPlaceholder, RzStatusBar1);
  Edit1->setObjectName(QStringLiteral("Edit1"));
  ChoiceLabel = new QLabel(RzStatusBar1);
  ChoiceLabel->setObjectName(QStringLiteral("ChoiceLabel"));
  ChoiceLabel->setFixedWidth(ChoiceLabelWidth);
  gg = new TGauge(RzStatusBar1);
  gg->setObjectName(QStringLiteral("gg"));

  RzStatusBar1->addWidget(TimeLabel);
  RzStatusBar1->addWidget(SegLabel);
  RzStatusBar1->addWidget(Source);
  RzStatusBar1->addWidget(Edit1);
  RzStatusBar1->addWidget(ChoiceLabel);
  RzStatusBar1->addWidget(gg, 1);
  Source->hide();
  Edit1->hide();

  // The choice is shown once it is complete: the source's length is known only after its change
  // handler, which runs inside the menu's click.
  connect(Edit1, &QLineEdit::textChanged, this, &TfrmMain::ShowChoice);
  connect(Source, &QLineEdit::textChanged, this, &TfrmMain::ShowChoice, Qt::QueuedConnection);
  connect(pop, &QMenu::triggered, this, [this](QAction* entry) {
    sourceShortForm_ = Source->text();
    sourceCaption_ = entry->objectName() == QStringLiteral("Openimage") ? Source->text() : entry->text();
    ShowChoice();
  });
  ShowChoice();
}

QString TfrmMain::ChoiceText() const {
  QString source = QStringLiteral("未选择");
  if (!Source->text().isEmpty()) {
    source = Source->text() == sourceShortForm_ ? sourceCaption_ : Source->text();
    // How it was opened, where there was a choice of ways (the desktop's disk service or directly).
    const QString note = Sources != nullptr ? QString::fromStdString(Sources->LastOpenNote()) : QString();
    source += Sources != nullptr && !Sources->Measured()
                  ? QStringLiteral(" (无法打开)")
                  : QStringLiteral(" (%1%2)").arg(SizeText(FSourceSize), note.isEmpty() ? QString() : QStringLiteral("，") + note);
  }
  const QString destination = Edit1->text() == DestinationPlaceholder ? QStringLiteral("未选择") : Edit1->text();
  return QStringLiteral("数据源: %1    保存到: %2").arg(source, destination);
}

void TfrmMain::ShowChoice() {
  const QString text = ChoiceText();
  ChoiceLabel->setToolTip(text);
  // Long paths lose their middle, where they are least telling; the tip holds them whole.
  const int room = ChoiceLabel->width() - 8;
  ChoiceLabel->setText(ChoiceLabel->fontMetrics().elidedText(text, Qt::ElideMiddle, room));
}

void TfrmMain::FormCreate() {
  const std::uint32_t firstTicks = environment_.TickSource();
  const std::uint32_t secondTicks = environment_.TickSource();
  sm.SetActiveSkin(TSkinManager::StartUpSkinName(TSkinManager::StartUpDigit(firstTicks, secondTicks)), qApp);

  const QString executable =
      environment_.ExecutablePath.isEmpty() ? QCoreApplication::applicationFilePath() : environment_.ExecutablePath;
  ProgramName = ProgramNameFromPath(executable);
  const QString title = ApplicationTitle();
  setWindowTitle(title);
  SetApplicationTitle(title);
  Tray->setToolTip(title);
}

QString TfrmMain::ApplicationTitle() const {
  return ProgramName + QLatin1Char(' ') + QString::fromUtf8(vendor::SiteAddress);
}

TMessageBoxes& TfrmMain::Boxes() {
  return environment_.Boxes != nullptr ? *environment_.Boxes : *ownBoxes_;
}

void TfrmMain::ShowException(const QString& message) { Boxes().Error(this, ApplicationTitle(), message); }

void TfrmMain::Guarded(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowException(QString::fromUtf8(error.what()));
  } catch (...) {
    ShowException(QStringLiteral("Unknown error"));
  }
  // A close that arrived during a run takes effect once the run and its messages are over.
  if (closeAfterRun_ && !busy_) {
    closeAfterRun_ = false;
    close();
  }
}

template <typename Sender, typename Signal>
void TfrmMain::Bind(Sender* sender, Signal signal, void (TfrmMain::*handler)()) {
  connect(sender, signal, this, [this, handler] { Guarded([this, handler] { (this->*handler)(); }); });
}

// ---- The recovery run ----

void TfrmMain::RunBtnClick() {
  if (busy_) return;  // a run is already going on in an outer handler
  if (Source->text().isEmpty()) {
    Boxes().Information(this, ApplicationTitle(), QStringLiteral("请选择数据源!"));
    return;
  }
  if (Edit1->text() == DestinationPlaceholder) {
    Boxes().Information(this, ApplicationTitle(), QStringLiteral("请选择保存路径!"));
    return;
  }
  if (!CheckBeforeRun()) return;
  thumbnails_->Stop();  // the previous run's pictures: this run may replace their files
  BeginBusy();
  FStopRequest = false;
  HitCount = 0;
  {
    // The busy state is left whatever ends the run, before any error reaches the user.
    struct LeaveBusy {
      TfrmMain& form;
      ~LeaveBusy() { form.EndBusy(); }
    } leaveBusy{*this};
    TWindowObserver observer(*this);
    RecordingRebuild rebuild(Sources->Opener());
    RunOptions options;
    options.FollowUp = &rebuild;
    lastRun_ = RunRecovery(Sources->RunSourcePath(), FSourceSize, Edit1->text().toStdString(), observer, options,
                           Sources->Opener());
    lastClips_ = rebuild.Report();
  }
  ShowRecoveredFiles();
  // Made while the summary is read and after: the list shows each as its file's tooltip. They
  // read and write only the destination's files, never the source, so plainly.
  if (lastRun_.Failure == RunFailure::None && !lastRun_.Aborted) thumbnails_->Start(lastRun_, lastClips_, OpenFileStream);
  ShowRunSummary();
}

bool TfrmMain::CheckBeforeRun() {
  // Everything that can be found out without reading the source is, before the busy state: a
  // card read for an hour into a folder that takes no file is an hour lost, and wear on the card.
  try {
    if (!Sources->BeforeRun()) return false;
  } catch (const StreamError& error) {
    ShowChoice();
    ShowException(FailureText(
        {FailureKind::SourceOpen, error.Path().empty() ? Sources->RunSourcePath() : error.Path(), error.Code()},
        error.what()));
    return false;
  }
  const std::string dest = Edit1->text().toStdString();
  const DestinationProblem problem =
      PrepareDestination(dest, Sources->RunSourcePath(), Sources->Opener(), {ClipsFolderName(dest)});
  if (problem) {
    ShowException(FailureText(problem.Detail, problem.Message));
    return false;
  }
  // An earlier run's files: those of the numbers this run writes are replaced, the rest stay.
  if ((!EarlierOutputs(dest).empty() || !EarlierOutputs(ClipsFolderName(dest)).empty()) &&
      !Boxes().OkCancelQuestion(this, ApplicationTitle(),
                                QStringLiteral("保存目录中已有以前恢复的文件。\n本次恢复将替换编号相同的文件，其余文件保留，"
                                               "但不属于本次恢复。\n\n仍要继续吗？")))
    return false;
  return true;
}

void TfrmMain::ShowRecoveredFiles() {
  RunNotice->hide();
  if (lastRun_.DestFolder.empty()) return;
  const QString destination = QString::fromStdString(lastRun_.DestFolder);
  // The rebuilt recordings are what most users came for: their folder comes first.
  QString first;
  if (!lastClips_.Recordings.empty()) {
    first = QString::fromStdString(lastClips_.Folder);
  } else {
    for (const ExportedEntry& entry : lastRun_.Export.Entries)
      if (entry.Outcome == EntryOutcome::Written) {
        first = QString::fromStdString(entry.FilePath);
        break;
      }
  }
  Shelllist->ShowItem(destination, first);
}

void TfrmMain::ShowRunSummary() {
  const QString text = RunOutcomeText(lastRun_, lastClips_);
  if (lastRun_.Failure != RunFailure::None) {
    ShowException(text);
  } else {
    Boxes().Summary(this, ApplicationTitle(), text, lastClips_, thumbnails_);
  }
}

namespace {

QString FileName(const std::string& path) {
  const QString text = QString::fromStdString(path);
  return text.mid(std::max(text.lastIndexOf(QLatin1Char('/')), text.lastIndexOf(QLatin1Char('\\'))) + 1);
}

}  // namespace

QString TfrmMain::RunOutcomeText(const RunReport& run, const ClipReport& clips) {
  if (run.Failure == RunFailure::None) return RunSummaryText(run, clips);
  const QString failure = FailureText(run.Detail, run.ErrorMessage);
  // Nothing came of the run: the failure is all there is to say.
  const bool wroteSomething = run.Export.FilesWritten > 0 || !clips.Recordings.empty();
  if (!wroteSomething) return failure;
  return failure + QStringLiteral("\n\n") + RunSummaryText(run, clips);
}

QString TfrmMain::RunSummaryText(const RunReport& run, const ClipReport& clips) {
  constexpr std::size_t ListedRecordings = 12;  // a box taller than the screen helps nobody
  QStringList lines;
  const bool failed = run.Failure != RunFailure::None;
  if (run.Scan.Stopped)
    lines << QStringLiteral("扫描在读完数据源之前已停止（读了 %1），只恢复了此前找到的部分。")
                 .arg(SizeText(run.Scan.BytesRead));
  if (run.HitCount == 0 && !failed) {
    lines << QStringLiteral("没有找到任何视频：%1中没有 MTS 视频的痕迹，什么也没有写出。")
                 .arg(run.Scan.Stopped ? QStringLiteral("已读的部分") : QStringLiteral("整个数据源"));
  } else if (run.Export.FilesWritten == 0 && failed) {
    lines << QStringLiteral("没有写出任何视频碎片文件。");
  } else if (run.Export.FilesWritten == 0) {
    lines << QStringLiteral("发现 %1 个视频扇区，但都太零散，没有可以写出的片段。").arg(run.HitCount);
  } else {
    lines << QStringLiteral("已写出 %1 个视频碎片文件（共 %2），保存在 %3。")
                 .arg(run.Export.FilesWritten)
                 .arg(SizeText(run.Export.BytesWritten))
                 .arg(QString::fromStdString(run.DestFolder));
  }
  // The fragments the failure left unwritten, and why each is missing.
  std::int64_t cutShort = 0;
  std::int64_t notReached = 0;
  std::string cutPath;
  for (const ExportedEntry& entry : run.Export.Entries) {
    const bool longEnough = entry.EndOffset - entry.StartOffset > MinExportBytes;
    if (entry.Outcome == EntryOutcome::Failed) {
      ++cutShort;
      cutPath = entry.FilePath;
    } else if (entry.Outcome == EntryOutcome::NotReached && longEnough) {
      ++notReached;
    }
  }
  if (failed && run.Export.Entries.empty() && !run.Fragments.empty())
    lines << QStringLiteral("找到的 %1 个片段都没有写出。").arg(run.Fragments.size());
  if (const std::optional<CutShortFile>& cut = run.Export.CutShort) {
    lines << (cut->LeftAs.empty()
                  ? QStringLiteral("%1 在出错时没有写完，已删除，以免留下不完整的文件。").arg(FileName(cut->FinalPath))
                  : QStringLiteral("%1 在出错时没有写完，不完整的数据留在 %2 中。").arg(FileName(cut->FinalPath), FileName(cut->LeftAs)));
  } else if (cutShort > 0) {
    lines << QStringLiteral("%1 没有写出。").arg(FileName(cutPath));
  }
  if (notReached > 0) lines << QStringLiteral("其后的 %1 个碎片文件因此没有写出。").arg(notReached);
  if (!clips.Recordings.empty()) {
    lines << QStringLiteral("重组出 %1 段完整录像，保存在 %2：")
                 .arg(clips.Recordings.size())
                 .arg(QString::fromStdString(clips.Folder));
    const std::vector<const RebuiltClip*> byDate = RecordingsByDate(clips);
    for (std::size_t i = 0; i < byDate.size() && i < ListedRecordings; ++i) {
      const RebuiltClip& clip = *byDate[i];
      lines << QStringLiteral("    %1    %2")
                   .arg(FileName(clip.FilePath), clip.Recorded ? RecordedText(*clip.Recorded) : QStringLiteral("拍摄时间未知"));
    }
    if (clips.Recordings.size() > ListedRecordings)
      lines << QStringLiteral("    …… 另有 %1 段").arg(clips.Recordings.size() - ListedRecordings);
  }
  // The chains of pieces that gave no recording, as the command line's report lists them.
  if (!clips.Dropped.empty())
    lines << QStringLiteral("有 %1 段视频无法重组为完整录像，它们的数据仍在上面的碎片文件中。").arg(clips.Dropped.size());
  if (clips.NotWritten > 0)
    lines << QStringLiteral("另有 %1 段录像因这次出错没有重组：重组它们需要新的磁盘空间。")
                 .arg(clips.NotWritten);
  // Each sector once, whichever stage met it.
  const std::int64_t unreadable = run.UnreadableSectors;
  if (unreadable > 0)
    lines << QStringLiteral("有 %1 个扇区无法读取：扫描时按无数据处理，导出的文件中以零填充。").arg(unreadable);
  if (run.Scan.SkippedStretches > 0)
    lines << QStringLiteral("其中 %1 处坏区被跳过（不逐个扇区重读），查找坏区边界用了 %2 秒。")
                 .arg(run.Scan.SkippedStretches)
                 .arg(QString::number(static_cast<double>(run.Scan.BadAreaMilliseconds) / 1000.0, 'f', 1));
  return lines.join(QLatin1Char('\n'));
}

void TfrmMain::N9Click() { RunBtn->click(); }

void TfrmMain::N10Click() { RunBtn->click(); }  // the same run over the whole source

// ---- Busy state, pause, stop, remaining time ----

std::array<QWidget*, 8> TfrmMain::BusyControls() const {
  return {Source, Edit1, ToolBoxBtn, RecBtn, SaveBtn, RunBtn, UpdateBtn, SupportBtn};
}

void TfrmMain::BeginBusy() {
  busy_ = true;
  for (QWidget* control : BusyControls())
    control->setEnabled(false);
  FElapsedSeconds = 1;
  RunStage = TRunStage::Scanning;
  ElapsedTime->start();
}

void TfrmMain::EndBusy() {
  for (QWidget* control : BusyControls())
    control->setEnabled(true);
  ElapsedTime->stop();
  RunStage = TRunStage::Idle;
  TimeLabel->setText(TimeCaption);
  Shelllist->Refresh();  // final sizes of the files just written
  busy_ = false;
}

void TfrmMain::ElapsedTimeTimer() {
  ++FElapsedSeconds;
  // From the bytes read and written, not from the gauge, which counts files during the export.
  const std::optional<std::int32_t> remaining = FRemaining.Estimate(FElapsedSeconds);
  if (!remaining) return;
  TimeLabel->setText(TimeCaption + FormatMinSec(*remaining));
}

QString TfrmMain::FormatMinSec(std::int32_t seconds) {
  return QString::number(seconds / 60) + QStringLiteral(" : ") + QString::number(seconds % 60);
}

void TfrmMain::PauseBtnClick() {
  if (!Boxes().OkCancelQuestion(this, QStringLiteral("暂停"), QStringLiteral("是否继续？"))) FStopRequest = true;
}

void TfrmMain::StopBtnClick() {
  FStopRequest = true;
  gg->SetProgress(0);
}

// ---- Closing ----

void TfrmMain::ExitBtnClick() { close(); }

void TfrmMain::N2Click() {
  FStopRequest = true;
  close();
}

void TfrmMain::closeEvent(QCloseEvent* event) {
  if (busy_) {
    // The run goes on inside this very handler's caller; end the program after it, and say at
    // once what is still to come, since that can take a while.
    closeAfterRun_ = true;
    ShowClosingNotice(FStopRequest);
    event->ignore();
    return;
  }
  Tray->hide();
  event->accept();
}

QString TfrmMain::ClosingText(bool stopping) const {
  const QString after = QStringLiteral("，随后程序关闭。");
  switch (RunStage) {
    case TRunStage::Idle:
      return QString();
    case TRunStage::Scanning:
      if (stopping)
        return QStringLiteral("正在结束恢复：扫描即将停止，已发现的 %1 个视频扇区还要写成文件并重组录像").arg(HitCount) + after;
      return QStringLiteral("恢复结束后程序才关闭：扫描继续到数据源末尾，再写出找到的全部视频文件并重组录像。"
                            "要提前结束，请点击“停止”。");
    case TRunStage::Exporting:
      return QStringLiteral("正在结束恢复：还在写出碎片文件（第 %1 个，共 %2 个），写完后还要重组录像")
                 .arg(StageIndex + 1)
                 .arg(StageItems) +
             after;
    case TRunStage::Rebuilding:
      return QStringLiteral("正在结束恢复：还在重组录像（第 %1 段，共 %2 段）").arg(StageIndex + 1).arg(StageItems) + after;
  }
  return QString();
}

void TfrmMain::ShowClosingNotice(bool stopping) {
  const QString text = ClosingText(stopping);
  RunNotice->setText(text);
  RunNotice->setVisible(!text.isEmpty());
  RunNotice->raise();
  RunNotice->repaint();  // now: the run may not pump again for a while
}

void TfrmMain::RunStageChanged() {
  if (closeAfterRun_) ShowClosingNotice(FStopRequest);
}

void TfrmMain::changeEvent(QEvent* event) {
  QMainWindow::changeEvent(event);
  // Minimised, only the tray icon stays; without a tray the taskbar button must stay, or the
  // window could not be brought back.
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMinimized) && Tray->isVisible())
    QTimer::singleShot(0, this, [this] {
      if (windowState() & Qt::WindowMinimized) hide();
    });
}

void TfrmMain::RestoreFromTray() {
  showNormal();
  raise();
  activateWindow();
}

// ---- Links and the lower pane ----

void TfrmMain::OpenLink(const char* url) {
  const QString address = QString::fromUtf8(url);
  if (environment_.OpenLink) {
    environment_.OpenLink(address);
    return;
  }
  OpenInBrowser(address, this, [this, address] {
    // No browser took it: the address is shown, to be copied into one by hand.
    Boxes().Address(this, ApplicationTitle(), QStringLiteral("无法打开网页：本机没有可用的浏览器。\n请把下面的网址复制到浏览器中打开："),
                    address);
  });
}

void TfrmMain::UpdateBtnClick() { OpenLink(vendor::ChatLinkUrl); }
void TfrmMain::SupportBtnClick() { OpenLink(vendor::HomePageUrl); }
void TfrmMain::helpBtnClick() { OpenLink(vendor::HomePageUrl); }
void TfrmMain::N4Click() { OpenLink(vendor::HomePageUrl); }
void TfrmMain::Update1Click() { OpenLink(vendor::HomePageUrl); }
void TfrmMain::N5Click() { OpenLink(vendor::HomePageUrl); }

QString TfrmMain::LicenceText(const QString& licencesFolder) {
  QStringList lines;
  lines << QStringLiteral("本程序是自由软件，按 GNU 通用公共许可证第 3 版或（由您选择）任何更高版本发布，不提供任何担保。")
        << QString() << QStringLiteral("本程序使用以下库，它们保留各自的许可证：")
        << QStringLiteral("    Qt %1 —— GNU 宽通用公共许可证第 3 版（LGPL-3.0）").arg(QString::fromLatin1(qVersion()));
  const std::string decoder = FrameDecoder::LibraryVersion();
  if (!decoder.empty())
    lines << QStringLiteral("    %1 —— GNU 宽通用公共许可证第 2.1 版或更高版本（LGPL-2.1-or-later）")
                 .arg(QString::fromStdString(decoder));
  if (!licencesFolder.isEmpty()) lines << QString() << QStringLiteral("许可证全文见 %1。").arg(licencesFolder);
  return lines.join(QLatin1Char('\n'));
}

void TfrmMain::Licences1Click() {
  // The Windows packages put the texts in licenses/ beside bin/; Debian's in its copyright file.
  QString folder;
  const QString app = QCoreApplication::applicationDirPath();
  for (const QString& candidate : {app + QStringLiteral("/../licenses"), QStringLiteral("/usr/share/doc/mtsrescue/copyright")}) {
    if (QFileInfo::exists(candidate)) {
      folder = QDir::toNativeSeparators(QDir::cleanPath(candidate));
      break;
    }
  }
  Boxes().Information(this, QStringLiteral("许可证"), LicenceText(folder));
}
void TfrmMain::RzBitBtn3Click() { OpenLink(vendor::HomePageUrl); }

void TfrmMain::RzBitBtn1Click() {
  Boxes().Information(this, ApplicationTitle(),
                      QStringLiteral("请点击快捷方式栏中的恢复目标按钮，选择需要扫描的磁盘！"));
}

void TfrmMain::RzBitBtn2Click() {
  Boxes().Information(this, ApplicationTitle(),
                      QStringLiteral("即将为您接通人工服务，请如实填写资料，工程师将主动与您联系。"));
  if (ShowSupportForm) ShowSupportForm();
}

// ---- Source menu ----

void TfrmMain::RecBtnDropDown() { Sources->RecBtnDropDown(); }

// ---- Destination folder and file list ----

void TfrmMain::SaveBtnClick() {
  QString path;
  if (!SelectSavePath(this, QStringLiteral("选择保存路径: "), path, environment_.ChooseFolder)) return;
  Edit1->setText(path);
  Shelllist->SetFolder(path);
  Destination->setText(path);
}

void TfrmMain::BtnMoveLeftClick() { Shelllist->MoveUp(1); }

void TfrmMain::ShelllistChange() { Destination->setText(Shelllist->FolderPath()); }

void TfrmMain::ShelllistDblClickOpen(TShellList* sender, bool& handled) {
  if (!ConfirmOpen(this, Boxes(), sender->SelectedPaths())) handled = true;
}

}  // namespace mtsrescue
