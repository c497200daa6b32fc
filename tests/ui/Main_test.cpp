// TfrmMain without a run: title, layout, busy state, remaining time, pause, stop and the commands.
#include "ui/Main.h"
#include "thumbnails/FrameDecoder.h"

#include "mtsrescue/Vendor.h"
#include "support/ApplicationTitle.h"
#include "engine/EngineConstants.h"
#include "ui/Gauge.h"
#include "ui/WindowObserver.h"

#include "UiTestSupport.h"

#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include <cstdlib>
#include <memory>

namespace mtsrescue {
namespace {

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::Application();
    TMainEnvironment environment;
    environment.Boxes = &boxes;
    environment.ExecutablePath = QStringLiteral("/opt/tools/X.beta.exe");
    environment.TickSource = [this] { return ticks; };
    environment.OpenLink = [this](const QString& url) { links << url; };
    environment.Opener = [this](const std::string& path, OpenMode mode) {
      ++opens;
      return OpenFileStream(path, mode);
    };
    form = std::make_unique<TfrmMain>(environment);
  }

  std::uint32_t ticks = 1234567;  // tens digit 6: "MacOS (internal)"
  testing::TScriptedBoxes boxes;
  QStringList links;
  int opens = 0;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(MainWindowTest, StartUpSetsTitleProgramNameAndTheSkinOfTheTickCount) {
  const QString title = QStringLiteral("X.beta ") + QString::fromUtf8(vendor::SiteAddress);
  EXPECT_EQ(form->ProgramName, QStringLiteral("X.beta"));
  EXPECT_EQ(form->windowTitle(), title);
  // The title is not Qt's application display name, which the window systems would append to
  // the caption of every box and dialog (" — X.beta www…" under X11).
  EXPECT_EQ(ApplicationTitle(), title);
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName());
  EXPECT_EQ(form->sm.ActiveSkin().Name, QStringLiteral("MacOS (internal)"));
  EXPECT_FALSE(form->FStopRequest);
}

TEST_F(MainWindowTest, LayoutHasTheDesignSizesCaptionsAndInitialStates) {
  form->show();
  QCoreApplication::processEvents();
  EXPECT_EQ(form->width(), 1082);
  EXPECT_EQ(form->height() - form->menuBar()->height(), 579);
  EXPECT_EQ(form->RzToolbar1->height(), 44);
  EXPECT_EQ(form->RzPanel1->height(), 365);
  EXPECT_EQ(form->Splitter2->handleWidth(), 3);
  EXPECT_EQ(form->RzPanel2->height(), 148);
  EXPECT_EQ(form->RzStatusBar1->height(), 19);
  EXPECT_EQ(form->RzToolbar2->height(), 29);

  // Toolbar buttons, left to right, with captions and sizes.
  const std::vector<std::pair<QToolButton*, QString>> buttons = {
      {form->RecBtn, "恢复目标"}, {form->SaveBtn, "保存路径"},   {form->RunBtn, "恢复"},
      {form->PauseBtn, "暂停"},   {form->StopBtn, "停止"},       {form->UpdateBtn, "联系QQ"},
      {form->SupportBtn, "技术支持"}, {form->helpBtn, "帮助文档"}, {form->ExitBtn, "退出"}};
  int previousRight = -1;
  for (const auto& [button, caption] : buttons) {
    EXPECT_EQ(button->text(), caption);
    EXPECT_TRUE(button->isVisible()) << caption.toStdString();
    EXPECT_TRUE(button->isEnabled()) << caption.toStdString();
    EXPECT_FALSE(button->icon().isNull()) << caption.toStdString();
    EXPECT_EQ(button->height(), 40);
    EXPECT_GT(button->x(), previousRight) << caption.toStdString();
    previousRight = button->x() + button->width() - 1;
  }
  EXPECT_EQ(form->RecBtn->width(), 74);
  EXPECT_EQ(form->RunBtn->width(), 74);
  EXPECT_EQ(form->SaveBtn->width(), 60);
  EXPECT_FALSE(form->ToolBoxBtn->isVisible());
  EXPECT_EQ(form->ToolBoxBtn->text(), QStringLiteral("工具箱"));
  EXPECT_EQ(form->ToolBoxBtn->menu(), form->PopForTools);
  EXPECT_FALSE(form->PopForTools->actions().isEmpty());
  EXPECT_EQ(form->RecBtn->menu(), form->pop);
  EXPECT_TRUE(form->pop->actions().isEmpty());
  EXPECT_EQ(form->RunBtn->menu(), form->PopupMenu2);
  EXPECT_EQ(form->N9->text(), QStringLiteral("全盘恢复"));
  EXPECT_EQ(form->N10->text(), QStringLiteral("恢复剩余空间"));

  // Main menu.
  EXPECT_EQ(form->N1->title(), QStringLiteral("文件"));
  EXPECT_EQ(form->N2->text(), QStringLiteral("关闭"));
  EXPECT_EQ(form->N3->title(), QStringLiteral("帮助"));
  const QList<QAction*> help = form->N3->actions();
  ASSERT_EQ(help.size(), 5);
  EXPECT_EQ(help[0]->text(), QStringLiteral("帮助文档"));
  EXPECT_TRUE(help[1]->isSeparator());
  EXPECT_EQ(help[2]->text(), QStringLiteral("在线升级"));
  EXPECT_EQ(help[3]->text(), QStringLiteral("关于"));
  EXPECT_EQ(help[4]->text(), QStringLiteral("许可证"));

  // Lower pane and status bar.
  EXPECT_EQ(form->RzBitBtn1->geometry(), QRect(24, 48, 153, 49));
  EXPECT_EQ(form->RzBitBtn2->geometry(), QRect(208, 48, 153, 49));
  EXPECT_EQ(form->RzBitBtn3->geometry(), QRect(392, 48, 153, 49));
  EXPECT_EQ(form->RzBitBtn1->text(), QStringLiteral("开始扫描"));
  EXPECT_EQ(form->RzBitBtn2->text(), QStringLiteral("人工服务"));
  EXPECT_EQ(form->RzBitBtn3->text(), QStringLiteral("访问官网"));
  EXPECT_EQ(form->sLabelFX1->pos(), QPoint(656, 32));
  EXPECT_EQ(form->sLabelFX2->pos(), QPoint(656, 72));
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间:"));
  EXPECT_EQ(form->SegLabel->text(), QStringLiteral("发现碎片:"));
  EXPECT_EQ(form->TimeLabel->width(), 161);
  EXPECT_EQ(form->SegLabel->width(), 183);
  EXPECT_FALSE(form->Source->isVisible());
  EXPECT_FALSE(form->Edit1->isVisible());
  EXPECT_EQ(form->Edit1->text(), QStringLiteral("...点击选择目录..."));
  EXPECT_TRUE(form->gg->isVisible());
  EXPECT_EQ(form->gg->Percent(), 0);
  EXPECT_EQ(form->BtnMoveLeft->text(), QStringLiteral("上一级"));
  EXPECT_FALSE(form->ElapsedTime->isActive());
  EXPECT_EQ(form->ElapsedTime->interval(), 1000);
}

// Every toolbar picture has a greyed twin for the disabled state, and the texts have a font
// that holds Chinese glyphs.
TEST_F(MainWindowTest, DisabledPicturesAreGreyAndTheFontShowsChinese) {
  for (QToolButton* button : {form->ToolBoxBtn, form->RecBtn, form->SaveBtn, form->RunBtn, form->PauseBtn,
                              form->StopBtn, form->UpdateBtn, form->SupportBtn, form->helpBtn, form->ExitBtn}) {
    const QImage normal = button->icon().pixmap(24, QIcon::Normal).toImage();
    const QImage greyed = button->icon().pixmap(24, QIcon::Disabled).toImage();
    int colouredNormal = 0;
    int colouredGreyed = 0;
    for (int y = 0; y < greyed.height(); ++y) {
      for (int x = 0; x < greyed.width(); ++x) {
        const QColor a = normal.pixelColor(x, y);
        const QColor b = greyed.pixelColor(x, y);
        if (a.alpha() > 128 && (std::abs(a.red() - a.green()) > 24 || std::abs(a.green() - a.blue()) > 24))
          ++colouredNormal;
        if (b.alpha() > 128 && (std::abs(b.red() - b.green()) > 8 || std::abs(b.green() - b.blue()) > 8))
          ++colouredGreyed;
      }
    }
    EXPECT_GT(colouredNormal, 0) << button->objectName().toStdString();
    EXPECT_EQ(colouredGreyed, 0) << button->objectName().toStdString();
  }
  const QFontMetrics metrics(form->RunBtn->font());
  for (const QChar glyph : QStringLiteral("恢复目标剩余时间发现碎片"))
    EXPECT_TRUE(metrics.inFont(glyph)) << "no installed font shows U+" << std::hex << static_cast<int>(glyph.unicode());
}

TEST_F(MainWindowTest, BusyStateDisablesExactlyTheEightInputControls) {
  form->show();
  form->TimeLabel->setText(QStringLiteral("剩余时间: 1 : 2"));
  form->BeginBusy();
  EXPECT_TRUE(form->Busy());
  for (QWidget* control : {static_cast<QWidget*>(form->Source), static_cast<QWidget*>(form->Edit1),
                           static_cast<QWidget*>(form->ToolBoxBtn), static_cast<QWidget*>(form->RecBtn),
                           static_cast<QWidget*>(form->SaveBtn), static_cast<QWidget*>(form->RunBtn),
                           static_cast<QWidget*>(form->UpdateBtn), static_cast<QWidget*>(form->SupportBtn)})
    EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
  for (QWidget* control : {static_cast<QWidget*>(form->PauseBtn), static_cast<QWidget*>(form->StopBtn),
                           static_cast<QWidget*>(form->helpBtn), static_cast<QWidget*>(form->ExitBtn),
                           static_cast<QWidget*>(form->MainMenu1), static_cast<QWidget*>(form->RzBitBtn1),
                           static_cast<QWidget*>(form->RzBitBtn2), static_cast<QWidget*>(form->RzBitBtn3),
                           static_cast<QWidget*>(form->RzPanel1)})
    EXPECT_TRUE(control->isEnabled()) << control->objectName().toStdString();
  EXPECT_EQ(form->FElapsedSeconds, 1);
  EXPECT_TRUE(form->ElapsedTime->isActive());
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间: 1 : 2"));  // not reset on entry

  form->SegLabel->setText(QStringLiteral("发现碎片: 9"));
  form->EndBusy();
  EXPECT_FALSE(form->Busy());
  for (QWidget* control : form->BusyControls()) EXPECT_TRUE(control->isEnabled());
  EXPECT_FALSE(form->ElapsedTime->isActive());
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间: "));
  EXPECT_EQ(form->SegLabel->text(), QStringLiteral("发现碎片: 9"));  // the count stays shown
}

// Seconds of the estimate that TimeLabel shows ("剩余时间: m : s"), or -1 for none.
int ShownSeconds(const QLabel* label) {
  const QStringList parts = label->text().mid(QStringLiteral("剩余时间: ").size()).split(QStringLiteral(" : "));
  return parts.size() == 2 ? parts[0].toInt() * 60 + parts[1].toInt() : -1;
}

// A clock under the test's control (each tick one second) and a run at a steady 4 MiB a second:
// a 100 MiB scan that finds 128 hits per MiB and writes them as it goes. The estimate is that of
// the one read, however many hits: it falls tick by tick and stays near the true time left (the
// elapsed count runs one ahead of the ticks, as designed).
TEST_F(MainWindowTest, RemainingTimeFallsSteadilyThroughTheOneRead) {
  constexpr std::int64_t MiB = 1024 * 1024;
  constexpr std::int64_t SourceBytes = 100 * MiB;
  constexpr std::int64_t WorkPerSecond = 4 * MiB;
  constexpr std::int64_t HitsPerMiB = 128;
  const double totalSeconds = static_cast<double>(SourceBytes) / WorkPerSecond;

  TWindowObserver observer(*form);
  form->BeginBusy();
  observer.ScanBegin(SourceBytes);
  int previous = std::numeric_limits<int>::max();
  for (int second = 1; second < static_cast<int>(totalSeconds); ++second) {
    const std::int64_t done = WorkPerSecond * second;
    observer.HitFound(done - 512, HitsPerMiB * done / MiB);
    observer.ScanProgress(done);
    form->ElapsedTimeTimer();
    const int shown = ShownSeconds(form->TimeLabel);
    const double left = totalSeconds - second;
    SCOPED_TRACE(::testing::Message() << "second " << second << ", shown " << shown << ", left " << left);
    ASSERT_GE(shown, 0);
    EXPECT_LE(shown, previous);
    EXPECT_GE(shown, left - 1);
    EXPECT_LE(shown, left * (second + 1) / second + 1);
    previous = shown;
  }
  EXPECT_LE(previous, 2);
  form->EndBusy();
}

// Less than a byte a second shows nothing; a standing run (a pause box open) holds the estimate
// instead of letting it grow tick by tick.
TEST_F(MainWindowTest, RemainingTimeShowsNothingAtFirstAndHoldsDuringAPause) {
  constexpr std::int64_t MiB = 1024 * 1024;
  TWindowObserver observer(*form);
  form->BeginBusy();
  observer.ScanBegin(10 * MiB);
  observer.ScanProgress(1);
  form->ElapsedTimeTimer();  // 1 byte in 2 seconds
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间:"));
  observer.ScanProgress(3 * MiB);
  form->ElapsedTimeTimer();  // 1 MiB a second, 7 MiB left
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间: 0 : 7"));
  for (int tick = 0; tick < 3; ++tick) form->ElapsedTimeTimer();
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间: 0 : 7"));
  form->EndBusy();
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间: "));
}

TEST_F(MainWindowTest, FormatMinSecHasNoHoursAndNoLeadingZeros) {
  EXPECT_EQ(TfrmMain::FormatMinSec(187), QStringLiteral("3 : 7"));
  EXPECT_EQ(TfrmMain::FormatMinSec(3725), QStringLiteral("62 : 5"));
  EXPECT_EQ(TfrmMain::FormatMinSec(0), QStringLiteral("0 : 0"));
  EXPECT_EQ(TfrmMain::FormatMinSec(60), QStringLiteral("1 : 0"));
}

TEST_F(MainWindowTest, PauseAsksAndOnlyCancelSetsTheStopRequest) {
  boxes.Answers = {true, false};
  form->PauseBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("question"));
  EXPECT_EQ(boxes.Boxes[0].Caption, QStringLiteral("暂停"));
  EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("是否继续？"));
  EXPECT_FALSE(form->FStopRequest);
  form->PauseBtn->click();
  EXPECT_TRUE(form->FStopRequest);
}

TEST_F(MainWindowTest, StopSetsTheRequestAndEmptiesTheGauge) {
  form->gg->SetProgress(70);
  form->StopBtn->click();
  EXPECT_TRUE(form->FStopRequest);
  EXPECT_EQ(form->gg->Progress(), 0);
}

TEST_F(MainWindowTest, RunRefusesWithoutSourceThenWithoutDestination) {
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("information"));
  EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("请选择数据源!"));
  EXPECT_EQ(boxes.Boxes[0].Caption, form->windowTitle());

  form->Source->setText(QStringLiteral("image.img"));
  form->FSourcePath = QStringLiteral("/nonexistent/image.img");
  form->FStopRequest = true;
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 2u);
  EXPECT_EQ(boxes.Boxes[1].Text, QStringLiteral("请选择保存路径!"));

  // Neither refusal touched anything: no stream opened, not busy, the flag as it was.
  EXPECT_EQ(opens, 0);
  EXPECT_FALSE(form->Busy());
  EXPECT_TRUE(form->FStopRequest);
  EXPECT_FALSE(form->ElapsedTime->isActive());
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间:"));
}

TEST_F(MainWindowTest, LinkCommandsOpenTheVendorPages) {
  form->SupportBtn->click();
  form->helpBtn->click();
  form->N4->trigger();
  form->Update1->trigger();
  form->N5->trigger();
  form->RzBitBtn3->click();
  form->UpdateBtn->click();
  const QString home = QString::fromUtf8(vendor::HomePageUrl);
  EXPECT_EQ(links, QStringList({home, home, home, home, home, home, QString::fromUtf8(vendor::ChatLinkUrl)}));
  EXPECT_TRUE(links.last().endsWith(QStringLiteral("/msgrd?v=3&uin=") + QString::fromUtf8(vendor::QqAccount) +
                                    QStringLiteral("&site=qq&menu=yes")));
  EXPECT_TRUE(boxes.Boxes.empty());
}

// Programs linked with LGPL libraries (statically on Windows) must say so where the user looks.
TEST_F(MainWindowTest, TheLicencesEntryNamesTheProgramsAndTheLibrariesLicences) {
  form->Licences1->trigger();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Caption, QStringLiteral("许可证"));
  const QString text = boxes.Boxes[0].Text;
  EXPECT_TRUE(text.contains(QStringLiteral("GNU 通用公共许可证第 3 版")));
  EXPECT_TRUE(text.contains(QStringLiteral("Qt %1 —— GNU 宽通用公共许可证第 3 版").arg(QString::fromLatin1(qVersion()))));
  EXPECT_EQ(text.contains(QStringLiteral("FFmpeg")), FrameDecoder::Available()) << text.toStdString();
  EXPECT_TRUE(links.isEmpty());
  EXPECT_TRUE(TfrmMain::LicenceText(QStringLiteral("C:\\mtsrescue\\licenses")).endsWith(QStringLiteral("许可证全文见 C:\\mtsrescue\\licenses。")));
}

TEST_F(MainWindowTest, StartScanButtonOnlyTellsTheUserWhatToDo) {
  form->Source->setText(QStringLiteral("image.img"));
  form->Edit1->setText(QStringLiteral("/tmp"));
  form->RzBitBtn1->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("information"));
  EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("请点击快捷方式栏中的恢复目标按钮，选择需要扫描的磁盘！"));
  EXPECT_EQ(opens, 0);  // no scan started, though a source and a folder are set
}

TEST_F(MainWindowTest, ManualServiceShowsItsMessageBeforeTheSupportForm) {
  QStringList order;
  boxes.OnShow = [&](const testing::TScriptedBoxes::Shown& shown) { order << shown.Text; };
  form->ShowSupportForm = [&] { order << QStringLiteral("form"); };
  form->RzBitBtn2->click();
  EXPECT_EQ(order, QStringList({QStringLiteral("即将为您接通人工服务，请如实填写资料，工程师将主动与您联系。"),
                                QStringLiteral("form")}));
}

TEST_F(MainWindowTest, MinimisedWindowLeavesOnlyTheTrayIconUntilItIsDoubleClicked) {
  form->show();
  form->showMinimized();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_TRUE(form->isVisible()) << "without a tray icon the taskbar button must stay";

  form->showNormal();
  form->Tray->show();  // as where the desktop has a notification area
  form->showMinimized();
  QCoreApplication::processEvents();
  QCoreApplication::processEvents();
  EXPECT_FALSE(form->isVisible());
  emit form->Tray->activated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(form->isVisible());  // a single click does nothing
  emit form->Tray->activated(QSystemTrayIcon::DoubleClick);
  EXPECT_TRUE(form->isVisible());
  EXPECT_FALSE(form->windowState() & Qt::WindowMinimized);
}

TEST_F(MainWindowTest, CloseCommandsWhileIdle) {
  form->show();
  form->ExitBtn->click();
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(form->FStopRequest);  // 退出 does not set the stop request

  form->show();
  form->N2->trigger();
  EXPECT_FALSE(form->isVisible());
  EXPECT_TRUE(form->FStopRequest);  // 关闭 does
}

}  // namespace
}  // namespace mtsrescue
