// The command line's observer: fragment counting, redraw throttle, stop acknowledgement.
#include "cli/CliObserver.h"

#include <gtest/gtest.h>

#include <sstream>

namespace mtsrescue {
namespace {

struct Harness {
  double now = 100.0;
  bool stop = false;
  std::ostringstream progress;
  std::ostringstream notes;
  CliObserver observer{&progress, &notes, [this] { return stop; }, [this] { return now; }};
};

TEST(CliObserverTest, CountsRunsOfHitsTheWayTheMergeDoes) {
  Harness h;
  h.observer.ScanBegin(1 << 20);
  std::int64_t count = 0;
  for (std::int64_t offset : {0, 1536, 3072}) h.observer.HitFound(offset, ++count);
  EXPECT_EQ(h.observer.FragmentsFound(), 1);
  h.observer.HitFound(5120, 4);  // 2048 after the last: a new run
  EXPECT_EQ(h.observer.FragmentsFound(), 2);
  h.observer.HitFound(5632, 5);  // 512 after: also a new run, distance decides, not alignment
  EXPECT_EQ(h.observer.FragmentsFound(), 3);
  h.observer.HitFound(7168, 6);  // continues
  EXPECT_EQ(h.observer.FragmentsFound(), 3);
  EXPECT_EQ(h.observer.HitsFound(), 6);
}

TEST(CliObserverTest, FirstHitAtAnyOffsetOpensARun) {
  Harness h;
  h.observer.ScanBegin(1 << 20);
  h.observer.HitFound(0, 1);
  EXPECT_EQ(h.observer.FragmentsFound(), 1);
  Harness far;
  far.observer.ScanBegin(std::int64_t{1} << 40);
  far.observer.HitFound((std::int64_t{1} << 35) + 512, 1);  // beyond 4 GiB
  far.observer.HitFound((std::int64_t{1} << 35) + 512 + 1536, 2);
  EXPECT_EQ(far.observer.FragmentsFound(), 1);
}

TEST(CliObserverTest, RedrawsAtMostFiveTimesASecond) {
  Harness h;
  h.observer.ScanBegin(100 << 20);
  const std::int64_t afterBegin = h.observer.Redraws();
  EXPECT_EQ(afterBegin, 1);
  for (int block = 0; block < 100; ++block) {  // 100 blocks in 1 s of the mock clock
    h.observer.ScanProgress(block * 262144);
    h.observer.Pump();
    h.now += 0.01;
  }
  EXPECT_GE(h.observer.Redraws() - afterBegin, 4);
  EXPECT_LE(h.observer.Redraws() - afterBegin, 5);
  h.observer.ScanEnd();
  const std::string out = h.progress.str();
  EXPECT_NE(out.find("100.0%"), std::string::npos) << "the last line shows the whole source read";
  EXPECT_EQ(out.back(), '\n');
}

TEST(CliObserverTest, WithoutAProgressStreamNothingIsDrawn) {
  double now = 0;
  std::ostringstream notes;
  CliObserver observer(nullptr, &notes, [] { return false; }, [&] { return now += 1; });
  observer.ScanBegin(1 << 20);
  observer.Pump();
  observer.ScanEnd();
  observer.ExportBegin(3);
  observer.ExportEnd();
  EXPECT_EQ(observer.Redraws(), 0);
  EXPECT_TRUE(notes.str().empty());
}

TEST(CliObserverTest, StopIsReportedEveryTimeButAcknowledgedOnce) {
  Harness h;
  h.observer.ScanBegin(1 << 20);
  EXPECT_FALSE(h.observer.StopRequested());
  h.stop = true;
  EXPECT_TRUE(h.observer.StopRequested());
  EXPECT_TRUE(h.observer.StopRequested());
  const std::string notes = h.notes.str();
  EXPECT_NE(notes.find("Stopping"), std::string::npos);
  EXPECT_EQ(notes.find("Stopping"), notes.rfind("Stopping"));
  // A stopped scan does not claim to have read everything.
  h.observer.ScanEnd();
  EXPECT_EQ(h.progress.str().find("100.0%"), std::string::npos) << h.progress.str();
}

// Ctrl-C after the scan can end no reading: it is acknowledged once with what will happen, the
// writing goes on, and only a second one asks to abort it.
TEST(CliObserverTest, StopDuringTheExportSaysOnceThatTheExportWillFinish) {
  Harness h;
  bool abort = false;
  CliObserver observer{&h.progress, &h.notes, [&h] { return h.stop; }, [&h] { return h.now; }, [&abort] { return abort; }};
  observer.ScanBegin(1 << 20);
  observer.ScanEnd();
  observer.ExportBegin(3);
  observer.Pump();
  EXPECT_EQ(h.notes.str(), "");
  h.stop = true;
  for (int i = 0; i < 3; ++i) observer.Pump();
  EXPECT_EQ(h.notes.str(),
            "The source has been read and the fragments written: the rest of the run will finish. Press Ctrl-C "
            "again to abort it (the file being "
            "written is removed).\n");
  EXPECT_FALSE(observer.AbortRequested());
  abort = true;
  EXPECT_TRUE(observer.AbortRequested());
}

TEST(CliObserverTest, EmptyExportDrawsNothing) {
  Harness h;
  h.observer.ExportBegin(0);
  h.now += 1;
  h.observer.Pump();
  h.observer.ExportEnd();
  EXPECT_TRUE(h.progress.str().empty()) << h.progress.str();
}

TEST(CliObserverTest, ExportShowsItsEntryAndClearsTheLineAtTheEnd) {
  Harness h;
  h.observer.ExportBegin(12);
  h.observer.ExportProgress(4);
  h.now += 1;
  h.observer.Pump();
  EXPECT_NE(h.progress.str().find("writing entry 5 of 12"), std::string::npos) << h.progress.str();
  h.observer.ExportEnd();
  const std::string out = h.progress.str();
  EXPECT_EQ(out.substr(out.size() - 4), "\r\x1b[K");
}

}  // namespace
}  // namespace mtsrescue
