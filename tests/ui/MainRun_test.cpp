// Whole runs from the window over small synthetic camcorder images: export, stop, pause, close
// commands during a scan, pause/stop availability during the export, and errors after the run.
#include "ui/Main.h"

#include "engine/EngineConstants.h"
#include "engine/ExportFragments.h"
#include "ui/Gauge.h"
#include "ui/WindowObserver.h"

#include "engine/OutputFile.h"
#include "rebuild/ClipBuilder.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/rebuild/ClipFixtures.h"

#include "UiTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QTimer>
#include <QToolButton>

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

// Image of 3 MiB + 100 bytes: clip A (200 groups from 4,096, crossing the first block boundary),
// a lone group at 1 MiB (an entry too short to write), clip B (100 groups from 2 MiB + 512).
// Entries: 0 = A, 1 = the lone group, 2 = B.
constexpr std::int64_t ImageBytes = 3 * 1024 * 1024 + 100;
const testing::TClip ClipA{4096, 200, 1000};
const testing::TClip LoneGroup{1024 * 1024, 1, 777777};
const testing::TClip ClipB{2 * 1024 * 1024 + 512, 100, 50000000};

class MainRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::Application();
    image = testing::MakeImage(ImageBytes, {ClipA, LoneGroup, ClipB});
    imagePath = folder / "card.img";
    testing::WriteFile(imagePath, image);
    fs::create_directories(folder.Path() / "out");
    outPath = (folder.Path() / "out").string();

    TMainEnvironment environment;
    environment.Boxes = &boxes;
    environment.OpenLink = [](const QString&) {};
    environment.Opener = opener.Opener();
    form = std::make_unique<TfrmMain>(environment);
    form->show();
    form->FSourcePath = QString::fromStdString(imagePath);
    form->FSourceSize = ImageBytes;
    form->Source->setText(QStringLiteral("card.img"));
    form->Edit1->setText(QString::fromStdString(outPath));
  }

  // The file of entry index, or empty when it was not written.
  std::vector<std::uint8_t> Output(int index) const {
    const fs::path path = fs::path(outPath) / (std::to_string(index) + ".MTS");
    return fs::exists(path) ? testing::ReadFile(path.string()) : std::vector<std::uint8_t>{};
  }

  // True when file holds the source's bytes from startOffset on, and at least the whole groups.
  bool HoldsClip(const std::vector<std::uint8_t>& file, std::int64_t startOffset, std::int64_t groups) const {
    if (static_cast<std::int64_t>(file.size()) < groups * GroupBytes) return false;
    return std::equal(file.begin(), file.end(), image.begin() + startOffset);
  }

  testing::TTempFolder folder;
  std::vector<std::uint8_t> image;
  std::string imagePath;
  std::string outPath;
  testing::TScriptedBoxes boxes;
  testing::TWatchingOpener opener;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(MainRunTest, WholeRunExportsEveryLongFragmentAndLeavesTheBusyState) {
  form->TimeLabel->setText(QStringLiteral("剩余时间: 9 : 9"));
  form->FStopRequest = true;  // left over from a stop while idle: cleared by the run
  form->RunBtn->click();

  // One box at the end says what came back.
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("information"));
  EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(QStringLiteral("已写出 2 个视频碎片文件"))) << boxes.Boxes[0].Text.toStdString();
  const RunReport& report = form->LastRunReport();
  EXPECT_EQ(report.Failure, RunFailure::None);
  EXPECT_FALSE(report.Scan.Stopped);
  EXPECT_EQ(report.Fragments.size(), 3u);
  EXPECT_EQ(form->HitCount, 301);
  EXPECT_EQ(form->SegLabel->text(), QStringLiteral("发现碎片: 301"));

  EXPECT_TRUE(HoldsClip(Output(0), ClipA.StartOffset, ClipA.GroupCount));
  EXPECT_TRUE(Output(1).empty());  // one group: not written, but it keeps its number
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
  EXPECT_FALSE(fs::exists(fs::path(outPath) / "3.MTS"));

  EXPECT_FALSE(form->Busy());
  for (QWidget* control : form->BusyControls()) EXPECT_TRUE(control->isEnabled());
  EXPECT_TRUE(form->PauseBtn->isEnabled());
  EXPECT_TRUE(form->StopBtn->isEnabled());
  EXPECT_FALSE(form->ElapsedTime->isActive());
  EXPECT_EQ(form->TimeLabel->text(), QStringLiteral("剩余时间: "));
  EXPECT_EQ(form->gg->Progress(), 0);
}

// A folder that holds an earlier run's files is asked about before the run starts: Cancel
// starts nothing and leaves them as they were.
TEST_F(MainRunTest, AFolderWithAnEarlierRunsFilesIsAskedAboutFirst) {
  testing::WriteFile((fs::path(outPath) / "2.MTS").string(), {1, 2, 3});
  boxes.Answers = {false};
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, "question");
  EXPECT_TRUE(boxes.Boxes[0].Text.contains(QStringLiteral("以前恢复的文件")));
  EXPECT_EQ(opener.Reads, 0);
  EXPECT_EQ(Output(2), (std::vector<std::uint8_t>{1, 2, 3}));

  boxes.Answers = {true};
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 3u);  // the question, then what came back
  EXPECT_EQ(boxes.Boxes[2].Text, TfrmMain::RunSummaryText(form->LastRunReport(), form->LastClipReport()));
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
}

TEST_F(MainRunTest, ControlsWhileScanningAndWhileWriting) {
  std::vector<bool> scanning;    // states seen at the first pump of the scan
  std::vector<bool> exporting;   // states seen when the scan creates its first file
  QTimer::singleShot(0, form.get(), [&] {
    for (QWidget* control : form->BusyControls()) scanning.push_back(control->isEnabled());
    scanning.push_back(form->PauseBtn->isEnabled());
    scanning.push_back(form->StopBtn->isEnabled());
    scanning.push_back(form->ElapsedTime->isActive());
  });
  opener.OnOpen = [&](const std::string& path, OpenMode mode) {
    // The destination's write probe, before the run, is not the export.
    if (mode != OpenMode::CreateNew || !exporting.empty() || path.find(".mtsrescue-write-test") != std::string::npos) return;
    exporting.push_back(form->Busy());
    exporting.push_back(form->PauseBtn->isEnabled());
    exporting.push_back(form->StopBtn->isEnabled());
    exporting.push_back(form->RunBtn->isEnabled());
    exporting.push_back(form->helpBtn->isEnabled());
  };
  form->RunBtn->click();

  EXPECT_EQ(scanning, std::vector<bool>({false, false, false, false, false, false, false, false, true, true, true}));
  // The files are written during the scan, which pause and stop still reach.
  EXPECT_EQ(exporting, std::vector<bool>({true, true, true, false, true}));
  EXPECT_TRUE(form->PauseBtn->isEnabled());
  EXPECT_TRUE(form->StopBtn->isEnabled());
}

TEST_F(MainRunTest, StopDuringTheScanExportsWhatWasFoundSoFar) {
  // The click lands in the first block's pump: that block is still scanned, the next is not.
  QTimer::singleShot(0, form.get(), [&] { form->StopBtn->click(); });
  form->RunBtn->click();

  const RunReport& report = form->LastRunReport();
  EXPECT_TRUE(report.Scan.Stopped);
  EXPECT_EQ(report.Scan.BytesRead, BlockBytes);
  // Clip A's groups that begin in the first block: 4096 + 1536 k < 262144.
  const std::int64_t groupsInFirstBlock = (BlockBytes - ClipA.StartOffset + GroupBytes - 1) / GroupBytes;
  EXPECT_EQ(form->HitCount, groupsInFirstBlock);
  const auto first = Output(0);
  EXPECT_TRUE(HoldsClip(first, ClipA.StartOffset, groupsInFirstBlock));
  EXPECT_LT(static_cast<std::int64_t>(first.size()), ClipA.GroupCount * GroupBytes);
  EXPECT_FALSE(fs::exists(fs::path(outPath) / "2.MTS"));
  EXPECT_FALSE(form->Busy());
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(QStringLiteral("扫描在读完数据源之前已停止"))) << boxes.Boxes[0].Text.toStdString();
}

TEST_F(MainRunTest, PauseAnsweredOkContinuesWithNothingLost) {
  boxes.Answers = {true};
  QTimer::singleShot(0, form.get(), [&] { form->PauseBtn->click(); });
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 2u);  // the question, then the summary
  EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("是否继续？"));
  EXPECT_FALSE(form->LastRunReport().Scan.Stopped);
  EXPECT_EQ(form->LastRunReport().Scan.BytesRead, ImageBytes);
  EXPECT_EQ(form->HitCount, 301);
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
}

TEST_F(MainRunTest, PauseAnsweredCancelStopsLikeStop) {
  boxes.Answers = {false};
  QTimer::singleShot(0, form.get(), [&] { form->PauseBtn->click(); });
  form->RunBtn->click();
  EXPECT_TRUE(form->LastRunReport().Scan.Stopped);
  EXPECT_EQ(form->LastRunReport().Scan.BytesRead, BlockBytes);
  EXPECT_FALSE(Output(0).empty());
  EXPECT_FALSE(fs::exists(fs::path(outPath) / "2.MTS"));
}

TEST_F(MainRunTest, StopPressedWhileIdleDoesNotShortenTheNextRun) {
  form->StopBtn->click();
  boxes.Answers = {false};
  form->PauseBtn->click();  // Cancel while idle
  form->RunBtn->click();
  EXPECT_FALSE(form->LastRunReport().Scan.Stopped);
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
}

TEST_F(MainRunTest, CloseMenuDuringTheScanStopsExportsAndThenCloses) {
  QString noticeAtClose;
  QString noticeWhileExporting;
  QTimer::singleShot(0, form.get(), [&] {
    form->N2->trigger();
    if (form->RunNotice->isVisible()) noticeAtClose = form->RunNotice->text();
  });
  opener.OnOpen = [&](const std::string& path, OpenMode mode) {
    if ((mode == OpenMode::Create || mode == OpenMode::CreateNew) && noticeWhileExporting.isEmpty() &&
        form->RunNotice->isVisible())
      noticeWhileExporting = form->RunNotice->text();
    (void)path;
  };
  form->RunBtn->click();
  // Said at once, and kept current while the files are written.
  EXPECT_TRUE(noticeAtClose.startsWith(QStringLiteral("正在结束恢复：扫描即将停止，已发现的"))) << noticeAtClose.toStdString();
  EXPECT_TRUE(noticeAtClose.endsWith(QStringLiteral("个视频扇区还要写成文件并重组录像，随后程序关闭。")));
  // The files are written as the scan goes, so the notice of the stopping scan stays meanwhile.
  EXPECT_EQ(noticeWhileExporting, noticeAtClose);
  EXPECT_FALSE(form->RunNotice->isVisible());
  EXPECT_TRUE(form->LastRunReport().Scan.Stopped);
  EXPECT_FALSE(Output(0).empty());
  EXPECT_FALSE(fs::exists(fs::path(outPath) / "2.MTS"));
  EXPECT_FALSE(form->isVisible());  // closed once the run was over
}

TEST_F(MainRunTest, ExitButtonDuringTheScanLetsTheRunFinishThenCloses) {
  bool visibleAfterExit = false;
  QString notice;
  QTimer::singleShot(0, form.get(), [&] {
    form->ExitBtn->click();
    visibleAfterExit = form->isVisible();
    notice = form->RunNotice->isVisible() ? form->RunNotice->text() : QString();
  });
  form->RunBtn->click();
  EXPECT_TRUE(visibleAfterExit);  // the close waited for the run
  EXPECT_TRUE(notice.startsWith(QStringLiteral("恢复结束后程序才关闭：扫描继续到数据源末尾"))) << notice.toStdString();
  EXPECT_FALSE(form->LastRunReport().Scan.Stopped);
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
  EXPECT_FALSE(form->isVisible());
}

TEST_F(MainRunTest, RunMenuEntriesRunTheSameWholeScanAsTheButton) {
  form->N10->trigger();
  EXPECT_EQ(form->LastRunReport().Scan.BytesRead, ImageBytes);
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
  fs::remove(fs::path(outPath) / "2.MTS");
  form->N9->trigger();
  EXPECT_TRUE(HoldsClip(Output(2), ClipB.StartOffset, ClipB.GroupCount));
}

// A destination that cannot take the run's files is refused before the busy state, with one
// message in the window's language, and not one byte of the source is read: a read-only disk, a
// folder the user may not write, a folder that cannot be made, and a card image kept in the
// destination under a name the run would write (which an earlier-files question would have
// offered to replace).
TEST_F(MainRunTest, AnUnusableDestinationIsRefusedBeforeAnythingIsRead) {
  std::optional<std::errc> refuseCreates;
  opener.OnOpen = [&](const std::string& path, OpenMode mode) {
    if (refuseCreates && (mode == OpenMode::Create || mode == OpenMode::CreateNew)) {
      const auto code = std::make_error_code(*refuseCreates);
      throw StreamError("Cannot create file \"" + path + "\". " + SystemErrorText(code), code, path);
    }
  };
  const std::string underAFile = (fs::path(imagePath) / "out").string();
  const std::string inside = (fs::path(outPath) / "0.MTS").string();
  struct Case {
    const char* name;
    std::function<void()> arrange;
    QString expected;  // how the message begins
  };
  const std::vector<Case> cases = {
      {"read-only", [&] { refuseCreates = std::errc::read_only_file_system; },
       QStringLiteral("无法在 “%1” 中写入文件：该磁盘是只读的").arg(QString::fromStdString(outPath))},
      {"no permission", [&] { refuseCreates = std::errc::permission_denied; },
       QStringLiteral("无法在 “%1” 中写入文件：当前用户没有权限").arg(QString::fromStdString(outPath))},
      {"cannot be made", [&] { form->Edit1->setText(QString::fromStdString(underAFile)); },
       QStringLiteral("无法创建保存目录 “%1”").arg(QString::fromStdString(underAFile))},
      {"source inside",
       [&] {
         fs::rename(imagePath, inside);
         form->FSourcePath = QString::fromStdString(inside);
       },
       QStringLiteral("“%1” 就是正在恢复的数据源").arg(QString::fromStdString(inside))},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    refuseCreates.reset();
    form->Edit1->setText(QString::fromStdString(outPath));
    boxes.Boxes.clear();
    c.arrange();
    std::vector<bool> busyAtTheBox;
    boxes.OnShow = [&](const testing::TScriptedBoxes::Shown&) { busyAtTheBox.push_back(form->Busy()); };
    opener.Reads = 0;
    form->RunBtn->click();
    ASSERT_EQ(boxes.Boxes.size(), 1u) << "one message, and no question about earlier files";
    EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("error"));
    EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(c.expected)) << boxes.Boxes[0].Text.toStdString();
    EXPECT_EQ(busyAtTheBox, std::vector<bool>{false});
    EXPECT_EQ(opener.Reads, 0) << "nothing is read from the source";
    EXPECT_FALSE(form->ElapsedTime->isActive());
    for (const auto& file : fs::directory_iterator(outPath))
      EXPECT_EQ(file.path().string(), inside) << "nothing is written";
  }
  EXPECT_EQ(testing::ReadFile(inside), image) << "the source stays as it was";
}

TEST_F(MainRunTest, MissingSourceIsReportedAndNothingIsWritten) {
  const std::string missing = (folder.Path() / "gone.img").string();
  form->FSourcePath = QString::fromStdString(missing);
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("error"));
  EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(QStringLiteral("无法打开数据源 “%1”：该路径不存在。").arg(QString::fromStdString(missing))))
      << boxes.Boxes[0].Text.toStdString();
  EXPECT_TRUE(fs::is_empty(outPath));
  EXPECT_FALSE(form->Busy());
  EXPECT_TRUE(form->RunBtn->isEnabled());
}

TEST_F(MainRunTest, EmptySourceFindsNothingAndEndsNormally) {
  testing::WriteFile(imagePath, {});
  form->FSourceSize = 0;
  form->SegLabel->setText(QStringLiteral("发现碎片: 12"));  // from an earlier run
  form->RunBtn->click();
  EXPECT_EQ(form->SegLabel->text(), QStringLiteral("发现碎片: 12"));
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Text, QStringLiteral("没有找到任何视频：整个数据源中没有 MTS 视频的痕迹，什么也没有写出。"));
  EXPECT_EQ(form->gg->MaxValue(), 0);
  EXPECT_TRUE(fs::is_empty(outPath));
  EXPECT_FALSE(form->Busy());
}

// The gauge stays exact for sources past the 32-bit KiB range.
TEST_F(MainRunTest, RebuildingRecordingsCannotBePausedOrStoppedAndCountsRecordings) {
  TWindowObserver observer(*form);
  observer.ClipsBegin(4);
  EXPECT_FALSE(form->PauseBtn->isEnabled());
  EXPECT_FALSE(form->StopBtn->isEnabled());
  EXPECT_EQ(form->gg->MaxValue(), 4);
  observer.ClipsProgress(2);
  EXPECT_EQ(form->gg->Percent(), 50);
  observer.ClipsEnd();
  EXPECT_TRUE(form->PauseBtn->isEnabled());
  EXPECT_TRUE(form->StopBtn->isEnabled());
  EXPECT_EQ(form->gg->Progress(), 0);
}

// What the box at the end of a run says, from the two reports: files, recordings with their
// dates, what could not be made into recordings, unreadable sectors, a stop, and nothing at all.
TEST(RunSummary, SaysWhatCameBack) {
  struct Case {
    const char* name;
    std::function<void(RunReport&, ClipReport&)> fill;
    QString expected;
  };
  const auto wrote = [](RunReport& run) {
    run.DestFolder = "/out";
    run.HitCount = 2000;
    run.Export.FilesWritten = 3;
    run.Export.BytesWritten = 3 * 1024 * 1024;
  };
  const std::vector<Case> cases = {
      {"nothing", [](RunReport&, ClipReport&) {},
       QStringLiteral("没有找到任何视频：整个数据源中没有 MTS 视频的痕迹，什么也没有写出。")},
      {"nothing before a stop",
       [](RunReport& run, ClipReport&) {
         run.Scan.Stopped = true;
         run.Scan.BytesRead = 512 * 1024;
       },
       QStringLiteral("扫描在读完数据源之前已停止（读了 512 KB），只恢复了此前找到的部分。\n"
                      "没有找到任何视频：已读的部分中没有 MTS 视频的痕迹，什么也没有写出。")},
      {"hits too scattered",
       [](RunReport& run, ClipReport&) { run.HitCount = 4; },
       QStringLiteral("发现 4 个视频扇区，但都太零散，没有可以写出的片段。")},
      {"files, recordings, left-overs and bad sectors",
       [&](RunReport& run, ClipReport& clips) {
         wrote(run);
         run.Scan.UnreadableSectors = 4;
         run.Export.UnreadableSectors = 1;
         run.UnreadableSectors = 5;  // each once, whichever stage met it
         clips.Folder = "/out/clips";
         clips.PieceCount = 5;
         clips.Dropped.resize(2);
         RebuiltClip dated;
         dated.FilePath = "/out/clips/0.MTS";
         dated.Pieces.resize(2);
         dated.Recorded = RecordingDate{2026, 12, 9, 14, 3, 5};
         RebuiltClip undated;
         undated.FilePath = "/out/clips/1.MTS";
         undated.Pieces.resize(1);
         clips.Recordings = {dated, undated};
       },
       QStringLiteral("已写出 3 个视频碎片文件（共 3 MB），保存在 /out。\n"
                      "重组出 2 段完整录像，保存在 /out/clips：\n"
                      "    0.MTS    2026年12月9日 14:03:05\n"
                      "    1.MTS    拍摄时间未知\n"
                      "有 2 段视频无法重组为完整录像，它们的数据仍在上面的碎片文件中。\n"
                      "有 5 个扇区无法读取：扫描时按无数据处理，导出的文件中以零填充。")},
      {"files only", [&](RunReport& run, ClipReport&) { wrote(run); },
       QStringLiteral("已写出 3 个视频碎片文件（共 3 MB），保存在 /out。")},
  };
  for (const Case& c : cases) {
    RunReport run;
    ClipReport clips;
    c.fill(run, clips);
    EXPECT_EQ(TfrmMain::RunSummaryText(run, clips).toStdString(), c.expected.toStdString()) << c.name;
  }
}

TEST_F(MainRunTest, GaugeKeepsItsProportionForSourcesOfSeveralTebibytes) {
  TWindowObserver observer(*form);
  const std::int64_t length = std::int64_t{6} << 40;  // 6 TiB
  observer.ScanBegin(length);
  EXPECT_GT(form->gg->MaxValue(), 0);
  observer.ScanProgress(length / 2);
  EXPECT_EQ(form->gg->Percent(), 50);
  observer.ScanProgress(length - 1);
  EXPECT_EQ(form->gg->Percent(), 99);
  observer.ScanEnd();
  EXPECT_EQ(form->gg->Progress(), 0);
}

}  // namespace
}  // namespace mtsrescue

namespace mtsrescue {
namespace {

// Runs over an in-memory source with faults placed in it.
class MainRunFaultTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::Application();
    source = files.Add("card", testing::MakeImage(ImageBytes, {ClipA, LoneGroup, ClipB}));
    TMainEnvironment environment;
    environment.Boxes = &boxes;
    environment.OpenLink = [](const QString&) {};
    environment.Opener = files.Opener();
    form = std::make_unique<TfrmMain>(environment);
    form->FSourcePath = QStringLiteral("card");
    form->FSourceSize = ImageBytes;
    form->Source->setText(QStringLiteral("card"));
    // A real folder, as the destination's checks look at it; its files are the memory's.
    dest = (folder.Path() / "dest").string();
    form->Edit1->setText(QString::fromStdString(dest));
  }

  testing::TTempFolder folder;
  std::string dest;
  test::MemoryFileSystem files;
  std::shared_ptr<test::MemoryFile> source;
  testing::TScriptedBoxes boxes;
  std::unique_ptr<TfrmMain> form;
};

TEST_F(MainRunFaultTest, UnreadableSectorsAreToldAfterAnOtherwiseGoodRun) {
  source->FailReads(2 * 1024 * 1024 + 512 + 10 * 512, 512);  // one sector inside clip B
  form->RunBtn->click();
  EXPECT_EQ(form->LastRunReport().Failure, RunFailure::None);
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("information"));
  EXPECT_TRUE(boxes.Boxes[0].Text.contains(QStringLiteral("无法读取"))) << boxes.Boxes[0].Text.toStdString();
  EXPECT_TRUE(files.Exists(OutputFileName(dest, 0)));
}

TEST_F(MainRunFaultTest, AFullDestinationIsAnErrorShownAfterTheBusyStateWithEarlierFilesKept) {
  // Clip A's file fits; clip B's file meets a full disk after 1,000 bytes.
  files.Add(OutputFileName(dest, 2))->FailWritesAfter(1000);
  std::vector<bool> stateAtTheBox;
  boxes.OnShow = [&](const testing::TScriptedBoxes::Shown&) {
    stateAtTheBox = {form->Busy(), form->RunBtn->isEnabled(), form->StopBtn->isEnabled()};
  };
  form->RunBtn->click();
  ASSERT_EQ(boxes.Boxes.size(), 1u);
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("error"));
  EXPECT_EQ(form->LastRunReport().Failure, RunFailure::Export);
  EXPECT_EQ(boxes.Boxes[0].Text, TfrmMain::RunOutcomeText(form->LastRunReport(), form->LastClipReport()));
  EXPECT_TRUE(boxes.Boxes[0].Text.startsWith(QStringLiteral("保存目录所在的磁盘已满")));
  EXPECT_EQ(stateAtTheBox, std::vector<bool>({false, true, true}));
  ASSERT_TRUE(files.Exists(OutputFileName(dest, 0)));
  EXPECT_GE(files.Find(OutputFileName(dest, 0))->Length(), ClipA.GroupCount * GroupBytes);
}

}  // namespace
}  // namespace mtsrescue

namespace mtsrescue {
namespace {

namespace fs = std::filesystem;

// Real files, except that one output's temporary file meets a full disk after fullAfter bytes.
class TFullDiskOpener {
 public:
  TFullDiskOpener(std::string fullPath, std::int64_t fullAfter) : fullPath_(std::move(fullPath)), fullAfter_(fullAfter) {}
  StreamOpener Opener() {
    return [this](const std::string& path, OpenMode mode) -> std::unique_ptr<ByteStream> {
      std::unique_ptr<ByteStream> inner = OpenFileStream(path, mode);
      if (path != OutputFile::TemporaryName(fullPath_)) return inner;
      return std::make_unique<Full>(std::move(inner), fullAfter_);
    };
  }

 private:
  class Full final : public ByteStream {
   public:
    Full(std::unique_ptr<ByteStream> inner, std::int64_t room) : inner_(std::move(inner)), room_(room) {}
    std::error_code Seek(std::int64_t offset) override { return inner_->Seek(offset); }
    std::int64_t Size() override { return inner_->Size(); }
    IoResult Read(void* buffer, std::int64_t count) override { return inner_->Read(buffer, count); }
    IoResult Write(const void* buffer, std::int64_t count) override {
      const std::int64_t fits = std::min(count, room_);
      IoResult result = inner_->Write(buffer, fits);
      room_ -= result.Bytes;
      if (result.Bytes < count && !result.Error) result.Error = std::make_error_code(std::errc::no_space_on_device);
      return result;
    }
    std::error_code Flush() override { return inner_->Flush(); }
    std::error_code CloseAs(const std::string& finalPath) override { return inner_->CloseAs(finalPath); }
    std::error_code CloseAndRemove() override { return inner_->CloseAndRemove(); }

   private:
    std::unique_ptr<ByteStream> inner_;
    std::int64_t room_;
  };
  std::string fullPath_;
  std::int64_t fullAfter_;
};

// A card with two whole recordings; the destination fills up while the second one's fragment
// file is written. The box says so first, then what was written and what not; the first
// recording, which its fragment file holds exactly, is in clips/ all the same, as a second name
// of 0.MTS that takes no room.
TEST(MainRunFullDisk, TheSummaryFollowsAndTheWholeRecordingIsRebuiltByALink) {
  testing::Application();
  testing::TTempFolder folder;
  const std::vector<std::uint8_t> first = test::SyntheticStream(224, 123, 6768, 51);        // 43,008 bytes
  const std::vector<std::uint8_t> second = test::SyntheticStream(448, 90000000, 6768, 77);  // 86,016 bytes
  test::CardImage card(512 * 1024);
  card.Place(first, 0, static_cast<std::int64_t>(first.size()), 64 * 1024);
  card.Place(second, 0, static_cast<std::int64_t>(second.size()), 256 * 1024);
  const std::string imagePath = folder / "card.img";
  testing::WriteFile(imagePath, card.Bytes());
  const std::string dest = folder / "out";
  TFullDiskOpener opener(OutputFileName(dest, 1), 10000);

  testing::TScriptedBoxes boxes;
  TMainEnvironment environment;
  environment.Boxes = &boxes;
  environment.OpenLink = [](const QString&) {};
  environment.Opener = opener.Opener();
  TfrmMain form(environment);
  form.FSourcePath = QString::fromStdString(imagePath);
  form.FSourceSize = static_cast<std::int64_t>(card.Bytes().size());
  form.Source->setText(QStringLiteral("card.img"));
  form.Edit1->setText(QString::fromStdString(dest));
  form.RunBtn->click();

  const RunReport& run = form.LastRunReport();
  ASSERT_EQ(run.Failure, RunFailure::Export) << run.ErrorMessage;
  EXPECT_EQ(run.Detail.Kind, FailureKind::OutputWrite);
  EXPECT_EQ(run.Export.FilesWritten, 1);
  EXPECT_FALSE(fs::exists(OutputFileName(dest, 1)));
  EXPECT_FALSE(fs::exists(OutputFile::TemporaryName(OutputFileName(dest, 1))));

  const std::string clip = OutputFileName(ClipsFolderName(dest), 0);
  ASSERT_TRUE(fs::exists(clip));
  EXPECT_EQ(testing::ReadFile(clip), first);
  EXPECT_TRUE(fs::equivalent(clip, OutputFileName(dest, 0))) << "a second name of the fragment file";
  EXPECT_EQ(std::distance(fs::directory_iterator(ClipsFolderName(dest)), fs::directory_iterator()), 1);

  ASSERT_EQ(boxes.Boxes.size(), 1u);
  const QString text = boxes.Boxes[0].Text;
  EXPECT_EQ(boxes.Boxes[0].Kind, QStringLiteral("error"));
  EXPECT_TRUE(text.startsWith(QStringLiteral("保存目录所在的磁盘已满，“%1” 没能写完。")
                                  .arg(QString::fromStdString(OutputFileName(dest, 1)))))
      << text.toStdString();
  for (const QString& part : {QStringLiteral("已写出 1 个视频碎片文件"), QStringLiteral("1.MTS 在出错时没有写完，已删除"),
                              QStringLiteral("重组出 1 段完整录像"), QStringLiteral("    0.MTS    拍摄时间未知")})
    EXPECT_TRUE(text.contains(part)) << part.toStdString() << "\n" << text.toStdString();
}

}  // namespace
}  // namespace mtsrescue
