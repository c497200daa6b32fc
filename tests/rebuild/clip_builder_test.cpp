// RebuildClips: recordings written into the clips folder, numbered by their first byte on the
// source, and the failures of folder, files and writes.
#include "rebuild/ClipBuilder.h"

#include "engine/ExportFragments.h"
#include "engine/RunObserver.h"
#include "platform/FileStream.h"
#include "platform/FileTimes.h"
#include "platform/Folders.h"
#include "rebuild/PieceSearch.h"
#include "tests/common/MemoryFileSystem.h"
#include "tests/common/TempFolder.h"
#include "tests/rebuild/ClipFixtures.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>

namespace mtsrescue::test {
namespace {

constexpr std::uint32_t Step = 6768;
constexpr std::int64_t Cluster = 16384;

class ClipEvents : public RunObserver {
 public:
  std::vector<std::string> Events;
  std::int64_t Pumps = 0;
  void Pump() override { ++Pumps; }
  void ClipsBegin(std::int64_t count) override { Events.push_back("ClipsBegin " + std::to_string(count)); }
  void ClipsProgress(std::int64_t index) override { Events.push_back("ClipsProgress " + std::to_string(index)); }
  void ClipWritten(std::int64_t index, const std::string& path, std::int64_t bytes) override {
    Events.push_back("ClipWritten " + std::to_string(index) + " " + path + " " + std::to_string(bytes));
  }
  void ClipsEnd() override { Events.push_back("ClipsEnd"); }
};

// Two recordings scattered over a card: "late" has its first cluster at slot 9, "early" at 2.
struct TwoRecordingCard {
  std::vector<std::uint8_t> Late = SyntheticStream(288, 10, Step, 41);
  std::vector<std::uint8_t> Early = SyntheticStream(256, 90'000'000, Step, 42);
  CardImage Card{24 * Cluster};
  TwoRecordingCard() {
    for (const auto& [index, slot] : std::vector<std::pair<int, int>>{{0, 9}, {1, 4}, {2, 15}, {3, 20}}) {
      Card.Place(Late, index * Cluster, Cluster, slot * Cluster);
    }
    for (const auto& [index, slot] : std::vector<std::pair<int, int>>{{0, 2}, {1, 17}, {2, 6}}) {
      Card.Place(Early, index * Cluster, Cluster, slot * Cluster);
    }
  }
};

std::string Sep() { return std::string(1, PathSeparator()); }

// What the export leaves: one file per hit run, holding exactly the run's bytes. damage(i, file)
// may spoil the i-th.
std::vector<SourceCopy> ExportedCopies(const TwoRecordingCard& setup, MemoryFileSystem& files,
                                       const std::function<void(std::size_t, const std::string&,
                                                                test::MemoryFile&)>& damage = {}) {
  std::vector<SourceCopy> copies;
  for (const ClipSpan& run : setup.Card.HitRuns()) {
    const std::string path = "dest" + Sep() + std::to_string(copies.size()) + ".MTS";
    auto copy = files.Add(path, Slice(setup.Card.Bytes(), run.StartOffset, run.EndOffset));
    if (damage) damage(copies.size(), path, *copy);
    copies.push_back({run.StartOffset, run.EndOffset, path});
  }
  return copies;
}

TEST(ClipBuilder, WritesEachRecordingIntoTheClipsFolderNumberedByItsFirstByte) {
  TwoRecordingCard setup;
  MemoryFileSystem files;
  files.Add("card", setup.Card.Bytes());
  std::vector<std::string> folders;
  ClipEvents observer;
  ClipReport report;
  RebuildClips("card", static_cast<std::int64_t>(setup.Card.Bytes().size()), setup.Card.HitRuns(), {}, "dest",
               observer, report, files.Opener(), [&](const std::string& path) {
                 folders.push_back(path);
                 return std::error_code();
               });

  const std::string folder = "dest" + Sep() + "clips";
  EXPECT_EQ(folders, std::vector<std::string>{folder});
  EXPECT_EQ(report.Folder, folder);
  ASSERT_EQ(report.Recordings.size(), 2u);
  const std::string first = folder + Sep() + "0.MTS";
  const std::string second = folder + Sep() + "1.MTS";
  ASSERT_TRUE(files.Exists(first));
  ASSERT_TRUE(files.Exists(second));
  EXPECT_EQ(files.Find(first)->Contents(), setup.Early);
  EXPECT_EQ(files.Find(second)->Contents(), setup.Late);

  EXPECT_EQ(report.PieceCount, 7);
  EXPECT_EQ(report.JoinedPieceCount, 7);
  EXPECT_TRUE(report.UnjoinedPieces.empty());
  EXPECT_EQ(report.Recordings[0].Pieces.size(), 3u);
  EXPECT_EQ(report.Recordings[0].Pieces[0].StartOffset, 2 * Cluster);
  EXPECT_EQ(report.Recordings[1].Pieces.size(), 4u);
  EXPECT_EQ(report.Recordings[1].Bytes, static_cast<std::int64_t>(setup.Late.size()));
  EXPECT_EQ(report.BytesWritten, static_cast<std::int64_t>(setup.Late.size() + setup.Early.size()));
  EXPECT_EQ(observer.Events,
            (std::vector<std::string>{"ClipsBegin 2", "ClipsProgress 0",
                                      "ClipWritten 0 " + first + " " + std::to_string(setup.Early.size()),
                                      "ClipsProgress 1",
                                      "ClipWritten 1 " + second + " " + std::to_string(setup.Late.size()),
                                      "ClipsEnd"}));
  EXPECT_GT(observer.Pumps, 0);
  // The source is only ever read.
  EXPECT_EQ(files.OpenCount("card", OpenMode::ReadSharedScattered), 1);
  EXPECT_EQ(files.Opens().size(), 3u);
}

TEST(ClipBuilder, ReadsThePiecesAndOneCopyOfEachRecordingNotTheWholeSource) {
  TwoRecordingCard setup;
  // Pad the card with 4 MiB of foreign data that holds no stream.
  setup.Card.Bytes().resize(setup.Card.Bytes().size() + 4 * 1024 * 1024, 0x5A);
  MemoryFileSystem files;
  auto card = files.Add("card", setup.Card.Bytes());
  ClipEvents observer;
  ClipReport report;
  RebuildClips("card", card->Length(), setup.Card.HitRuns(), {}, "dest", observer, report, files.Opener(),
               [](const std::string&) { return std::error_code(); });
  ASSERT_EQ(report.Recordings.size(), 2u);
  const std::int64_t recordingBytes = static_cast<std::int64_t>(setup.Late.size() + setup.Early.size());
  // Walking reads the runs with some margin; the copy reads each recording once.
  EXPECT_LE(card->BytesRead(), 3 * recordingBytes + 7 * 2 * 262144);
  EXPECT_LT(card->BytesRead(), card->Length());
}

// Rebuilds the recordings of setup's card ("card" in files), reading what copies hold from them.
ClipReport RebuildWithCopies(const TwoRecordingCard& setup, MemoryFileSystem& files,
                             const std::vector<SourceCopy>& copies) {
  ClipEvents observer;
  ClipReport report;
  RebuildClips("card", static_cast<std::int64_t>(setup.Card.Bytes().size()), setup.Card.HitRuns(), copies, "dest",
               observer, report, files.Opener(), [](const std::string&) { return std::error_code(); });
  return report;
}

TEST(ClipBuilder, BytesTheFragmentFilesHoldAreReadFromThemAndOnlyTheEdgesFromTheSource) {
  TwoRecordingCard setup;
  MemoryFileSystem files;
  auto card = files.Add("card", setup.Card.Bytes());
  const std::vector<SourceCopy> copies = ExportedCopies(setup, files);
  const ClipReport report = RebuildWithCopies(setup, files, copies);
  ASSERT_EQ(report.Recordings.size(), 2u);
  EXPECT_EQ(files.Find(report.Recordings[0].FilePath)->Contents(), setup.Early);
  EXPECT_EQ(files.Find(report.Recordings[1].FilePath)->Contents(), setup.Late);
  // Seven pieces: at most a few KiB at each edge come from the source.
  EXPECT_EQ(card->BytesRead(), report.SourceBytesRead);
  EXPECT_LE(card->BytesRead(), 7 * 2 * 8192);
  EXPECT_GT(report.BytesRead, static_cast<std::int64_t>(setup.Late.size() + setup.Early.size()));
}

TEST(ClipBuilder, AFragmentFileThatCannotBeReadIsPassedOverForTheSource) {
  TwoRecordingCard setup;
  MemoryFileSystem files;
  auto card = files.Add("card", setup.Card.Bytes());
  const std::vector<SourceCopy> copies =
      ExportedCopies(setup, files, [&](std::size_t i, const std::string& path, test::MemoryFile& copy) {
        if (i == 1) copy.FailReads(4096, 512);
        if (i == 2) files.FailOpen(path);
      });
  const ClipReport report = RebuildWithCopies(setup, files, copies);
  ASSERT_EQ(report.Recordings.size(), 2u);
  EXPECT_EQ(files.Find(report.Recordings[0].FilePath)->Contents(), setup.Early);
  EXPECT_EQ(files.Find(report.Recordings[1].FilePath)->Contents(), setup.Late);
  EXPECT_GT(report.SourceBytesRead, 2 * Cluster);
}

TEST(ClipBuilder, ARecordingFileThatIsTheSourceItselfIsRefusedAndTheSourceKept) {
  // A rebuilt recording scanned again into the folder it was written to.
  TwoRecordingCard setup;
  TempFolder dest;
  std::filesystem::create_directory(dest.File("clips"));
  const std::string source = dest.WriteFile("clips" + Sep() + "0.MTS", setup.Card.Bytes());
  ClipEvents observer;
  ClipReport report;
  EXPECT_THROW(RebuildClips(source, static_cast<std::int64_t>(setup.Card.Bytes().size()), setup.Card.HitRuns(), {},
                            dest.Path(), observer, report, OpenFileStream,
                            [](const std::string&) { return std::error_code(); }),
               StreamError);
  EXPECT_EQ(TempFolder::ReadFile(source), setup.Card.Bytes());
}

TEST(ClipBuilder, NoRecordingMeansNoFolderAndNoFile) {
  CardImage card(8 * Cluster);
  MemoryFileSystem files;
  files.Add("card", card.Bytes());
  int folderCalls = 0;
  ClipEvents observer;
  ClipReport report;
  RebuildClips("card", 8 * Cluster, card.HitRuns(), {}, "dest", observer, report, files.Opener(),
               [&](const std::string&) {
                 ++folderCalls;
                 return std::error_code();
               });
  EXPECT_EQ(folderCalls, 0);
  EXPECT_TRUE(report.Recordings.empty());
  EXPECT_EQ(files.Paths(), std::vector<std::string>{"card"});
  EXPECT_TRUE(observer.Events.empty());
}

TEST(ClipBuilder, AFolderThatCannotBeMadeIsReportedWithItsPath) {
  TwoRecordingCard setup;
  MemoryFileSystem files;
  files.Add("card", setup.Card.Bytes());
  ClipEvents observer;
  ClipReport report;
  try {
    RebuildClips("card", static_cast<std::int64_t>(setup.Card.Bytes().size()), setup.Card.HitRuns(), {}, "dest",
                 observer, report, files.Opener(),
                 [](const std::string&) { return std::make_error_code(std::errc::permission_denied); });
    FAIL() << "no error";
  } catch (const StreamError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot create file \"dest" + Sep() + "clips\". " +
                  SystemErrorText(std::make_error_code(std::errc::permission_denied)));
  }
  EXPECT_EQ(report.PieceCount, 7);
  EXPECT_TRUE(report.Recordings.empty());
}

TEST(ClipBuilder, AFailedWriteStopsWithTheFilesBeforeItKept) {
  TwoRecordingCard setup;
  MemoryFileSystem files;
  files.Add("card", setup.Card.Bytes());
  const std::string second = "dest" + Sep() + "clips" + Sep() + "1.MTS";
  files.Add(second)->FailWritesAfter(1000);
  ClipEvents observer;
  ClipReport report;
  EXPECT_THROW(RebuildClips("card", static_cast<std::int64_t>(setup.Card.Bytes().size()), setup.Card.HitRuns(), {},
                            "dest", observer, report, files.Opener(),
                            [](const std::string&) { return std::error_code(); }),
               ExportError);
  ASSERT_EQ(report.Recordings.size(), 1u);
  EXPECT_EQ(files.Find("dest" + Sep() + "clips" + Sep() + "0.MTS")->Contents(), setup.Early);
  EXPECT_EQ(observer.Events.back(), "ClipsEnd");
}

// Rebuilds the recordings of a 16-cluster card stored in files as "card", into "dest".
ClipReport RebuildSmallCard(const CardImage& card, MemoryFileSystem& files) {
  files.Add("card", card.Bytes());
  ClipEvents observer;
  ClipReport report;
  RebuildClips("card", 16 * Cluster, card.HitRuns(), {}, "dest", observer, report, files.Opener(),
               [](const std::string&) { return std::error_code(); });
  return report;
}

TEST(ClipBuilder, AnUnjoinedPieceIsListedAndWrittenAsWhatSurvived) {
  const auto recording = SyntheticStream(416, 1000, Step, 43);
  CardImage card(16 * Cluster);
  card.Place(recording, 0, 4 * Cluster, 3 * Cluster);  // the rest of it is lost
  // A remnant of a few kilobytes that begins with a picture is a recording too, however short.
  const auto remnant = SyntheticStream(24, 700'000'000, Step, 44);
  card.Place(remnant, 0, 24 * 192, 10 * Cluster);
  MemoryFileSystem files;
  const ClipReport report = RebuildSmallCard(card, files);
  ASSERT_EQ(report.UnjoinedPieces.size(), 2u);
  EXPECT_EQ(report.UnjoinedPieces[0].StartOffset, 3 * Cluster);
  EXPECT_EQ(report.UnjoinedPieces[1].StartOffset, 10 * Cluster);
  EXPECT_EQ(report.JoinedPieceCount, 0);
  ASSERT_EQ(report.Recordings.size(), 2u);
  // The cluster's end cuts packet 341, and random bytes follow: nothing in the stream shows that
  // the packet did not end there, so it is kept whole, as the card holds it.
  EXPECT_FALSE(report.Recordings[0].TailTrimmed);
  EXPECT_EQ(files.Find("dest" + Sep() + "clips" + Sep() + "0.MTS")->Contents(),
            Slice(card.Bytes(), 3 * Cluster, 3 * Cluster + 342 * 192));
  EXPECT_EQ(files.Find("dest" + Sep() + "clips" + Sep() + "1.MTS")->Contents(), remnant);
}

TEST(ClipBuilder, JoinedPiecesOfNoRecordingAreListedAsUnused) {
  // 100 packets over two clusters: joined, but with no picture to begin a recording at.
  const auto remnant = WithoutRandomAccess(SyntheticStream(100, 5000, Step, 45));
  CardImage card(16 * Cluster);
  card.Place(remnant, 0, Cluster, 3 * Cluster);
  card.Place(remnant, Cluster, 100 * 192 - Cluster, 10 * Cluster);
  MemoryFileSystem files;
  const ClipReport report = RebuildSmallCard(card, files);
  EXPECT_TRUE(report.Recordings.empty());
  EXPECT_EQ(report.JoinedPieceCount, 2);
  EXPECT_TRUE(report.UnjoinedPieces.empty());
  ASSERT_EQ(report.UnusedPieces.size(), 2u);
  EXPECT_EQ(report.UnusedPieces[0].StartOffset, 3 * Cluster);
  EXPECT_EQ(report.UnusedPieces[1].StartOffset, 10 * Cluster + 128);  // after the cut packet's end
  EXPECT_EQ(report.UnusedPieces[1].EndOffset, 10 * Cluster + 100 * 192 - Cluster);
}

// Every chain of pieces that gives no recording is listed with why, and with the numbered files
// that hold its bytes; the recordings beside them are written as ever.
TEST(ClipBuilder, AChainThatGivesNoRecordingIsListedWithItsReasonAndFiles) {
  const auto blind = WithoutRandomAccess(SyntheticStream(256, 2'000'000, Step, 48));
  const auto remnant = SyntheticStream(100, 5000, Step, 45);  // two clusters, short but whole
  const auto good = SyntheticStream(224, 600'000'000, Step, 49);
  CardImage card(24 * Cluster);
  card.Place(remnant, 0, Cluster, 3 * Cluster);
  card.Place(remnant, Cluster, 100 * 192 - Cluster, 10 * Cluster);
  card.Place(blind, 0, Cluster, 6 * Cluster);
  card.Place(blind, Cluster, 2 * Cluster, 14 * Cluster);
  card.Place(good, 0, 224 * 192, 18 * Cluster);
  MemoryFileSystem files;
  files.Add("card", card.Bytes());
  std::vector<SourceCopy> copies;
  for (const ClipSpan& run : card.HitRuns()) {
    const std::string path = "dest" + Sep() + std::to_string(copies.size()) + ".MTS";
    files.Add(path, Slice(card.Bytes(), run.StartOffset, run.EndOffset));
    copies.push_back({run.StartOffset, run.EndOffset, path});
  }
  ASSERT_EQ(copies.size(), 5u);
  ClipEvents observer;
  ClipReport report;
  RebuildClips("card", static_cast<std::int64_t>(card.Bytes().size()), card.HitRuns(), copies, "dest", observer,
               report, files.Opener(), [](const std::string&) { return std::error_code(); });
  ASSERT_EQ(report.Recordings.size(), 2u);
  EXPECT_EQ(files.Find(report.Recordings[0].FilePath)->Contents(), remnant);
  EXPECT_EQ(files.Find(report.Recordings[1].FilePath)->Contents(), good);
  struct Expected {
    std::string ReasonStart;
    std::int64_t FirstOffset;
    std::int64_t Bytes;
    std::vector<std::string> Files;
  };
  const Expected expected[] = {
      {"no picture that can be shown", 6 * Cluster, 256 * 192, {copies[1].FilePath, copies[3].FilePath}},
  };
  ASSERT_EQ(report.Dropped.size(), std::size(expected));
  for (std::size_t i = 0; i < report.Dropped.size(); ++i) {
    const DroppedChain& dropped = report.Dropped[i];
    EXPECT_EQ(dropped.Reason.rfind(expected[i].ReasonStart, 0), 0u) << dropped.Reason;
    ASSERT_EQ(dropped.Pieces.size(), 2u);
    EXPECT_EQ(dropped.Pieces[0].StartOffset, expected[i].FirstOffset);
    EXPECT_EQ(dropped.Bytes, expected[i].Bytes) << i;
    EXPECT_EQ(dropped.FragmentFiles, expected[i].Files) << i;
  }
}

TEST(ClipBuilder, DatedRecordingsAreNamedByTheirDateInSourceOrderAndUndatedOnesByNumber) {
  const RecordingDate noon{2024, 5, 1, 12, 0, 0};
  const RecordingDate later{2024, 5, 1, 12, 0, 1};
  const RecordingDate broken{2024, 13, 1, 12, 0, 0};  // a month read from damaged data
  const RecordingDate leap{2024, 2, 29, 8, 0, 0};
  const RecordingDate noLeap{2023, 2, 29, 8, 0, 0};
  const std::vector<std::optional<RecordingDate>> dates = {noon, std::nullopt, noon, later, noon,
                                                           broken, later, leap, noLeap};
  EXPECT_EQ(ClipFileNames(dates),
            (std::vector<std::string>{"2024-05-01 12-00-00.MTS", "1.MTS", "2024-05-01 12-00-00 (2).MTS",
                                      "2024-05-01 12-00-01.MTS", "2024-05-01 12-00-00 (3).MTS", "5.MTS",
                                      "2024-05-01 12-00-01 (2).MTS", "2024-02-29 08-00-00.MTS", "8.MTS"}));
}

// The card of TwoRecordingCard and a third recording lying whole in three clusters, exported
// into real files; rebuilt with dates given to the pieces by the recording they belong to.
class DatedCardRun {
 public:
  DatedCardRun() {
    setup_.Card.Bytes().resize(32 * Cluster);
    setup_.Card.Place(Whole, 0, 3 * Cluster, 26 * Cluster);
    card_ = dest_.WriteFile("card.img", setup_.Card.Bytes());
    for (const ClipSpan& run : setup_.Card.HitRuns()) {
      const std::string name = std::to_string(copies_.size()) + ".MTS";
      copies_.push_back({run.StartOffset, run.EndOffset,
                         dest_.WriteFile(name, Slice(setup_.Card.Bytes(), run.StartOffset, run.EndOffset))});
    }
  }

  ClipReport Rebuild(const ClipFileSystem& files) {
    const auto source = OpenFileStream(card_, OpenMode::ReadShared);
    FragmentBackedSource reader(*source, copies_, OpenFileStream);
    const std::int64_t length = static_cast<std::int64_t>(setup_.Card.Bytes().size());
    RunObserver observer;
    PieceSearch search(reader, length, setup_.Card.HitRuns());
    std::vector<ClipPiece> pieces = search.Finish(observer);
    for (ClipPiece& piece : pieces) {
      const std::int64_t slot = piece.HeadOffset / Cluster;
      // Late (slots 9, 4, 15, 20) and the whole one (26 on) began in the same second.
      if (slot >= 26 || slot == 9 || slot == 4 || slot == 15 || slot == 20) piece.FirstDate = piece.LastDate = Noon;
    }
    ClipBuilder builder(reader, length);
    builder.PlanPieces(std::move(pieces), observer);
    EXPECT_FALSE(CreateFolderTree(Folder()));
    builder.UseFragmentFiles(copies_, files);
    ClipReport report;
    builder.Write(Folder(), observer, report, OpenFileStream);
    return report;
  }

  std::string Folder() const { return dest_.File("clips"); }
  const std::vector<SourceCopy>& Copies() const { return copies_; }
  const TwoRecordingCard& Setup() const { return setup_; }

  static constexpr RecordingDate Noon{2024, 5, 1, 12, 0, 0};
  const std::vector<std::uint8_t> Whole = SyntheticStream(256, 400'000'000, Step, 47);

 private:
  TwoRecordingCard setup_;
  TempFolder dest_;
  std::string card_;
  std::vector<SourceCopy> copies_;
};

// A recording that one fragment file holds exactly becomes a second name of that file where
// links can be made, and a copy where not, also over a name an earlier run linked; the fragment
// file stays whole either way. Dated recordings are named and timed by their date.
TEST(ClipBuilder, ARecordingHeldWholeByAFragmentFileIsLinkedWhereLinksCanBeMadeElseCopied) {
  DatedCardRun run;
  const std::string folder = run.Folder() + Sep();
  const std::string early = folder + "0.MTS";
  const std::string late = folder + "2024-05-01 12-00-00.MTS";
  const std::string whole = folder + "2024-05-01 12-00-00 (2).MTS";
  struct Case {
    const char* Name;
    ClipFileSystem Files;
    bool Linked;
  };
  const ClipFileSystem noLinks{[](const std::string&, const std::string&) {
                                 return std::make_error_code(std::errc::cross_device_link);
                               },
                               {}};
  // The second run goes over the first one's link: copying must not empty the fragment file.
  const Case cases[] = {{"links", {}, true}, {"no links", noLinks, false}, {"links again", {}, true}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Name);
    const ClipReport report = run.Rebuild(c.Files);
    ASSERT_EQ(report.Recordings.size(), 3u);
    EXPECT_EQ(report.Recordings[0].FilePath, early);
    EXPECT_EQ(report.Recordings[1].FilePath, late);
    EXPECT_EQ(report.Recordings[2].FilePath, whole);
    EXPECT_EQ(TempFolder::ReadFile(early), run.Setup().Early);
    EXPECT_EQ(TempFolder::ReadFile(late), run.Setup().Late);
    EXPECT_EQ(TempFolder::ReadFile(whole), run.Whole);

    const SourceCopy& fragment = run.Copies().back();
    EXPECT_EQ(TempFolder::ReadFile(fragment.FilePath), run.Whole) << "the fragment file is kept whole";
    EXPECT_EQ(SameFile(whole, fragment.FilePath), c.Linked);
    EXPECT_EQ(report.Recordings[2].LinkedTo, c.Linked ? fragment.FilePath : "");
    EXPECT_EQ(report.Recordings[0].LinkedTo, "");
    EXPECT_EQ(report.Recordings[1].LinkedTo, "");
    EXPECT_EQ(report.BytesWritten, static_cast<std::int64_t>(run.Setup().Early.size() + run.Setup().Late.size() +
                                                             (c.Linked ? 0 : run.Whole.size())));

    EXPECT_FALSE(report.Recordings[0].Recorded.has_value());
    for (const std::string& dated : {late, whole}) {
      WallClockTime modified;
      ASSERT_TRUE(ModifiedLocalTime(dated, modified));
      EXPECT_EQ(RecordingDateText({modified.Year, modified.Month, modified.Day, modified.Hour, modified.Minute,
                                   modified.Second},
                                  ' ', ':'),
                "2024-05-01 12:00:00")
          << dated;
    }
    WallClockTime modified;
    ASSERT_TRUE(ModifiedLocalTime(early, modified));
    EXPECT_GE(modified.Year, 2025) << "an undated recording keeps the time it was written";
  }
}

// A recording kept from its first byte takes its first piece's first date; one whose head was
// lost, the date of its first picture from where it now begins.
TEST(ClipBuilder, ARecordingIsDatedByItsFirstKeptPicture) {
  const RecordingDate first{2026, 3, 14, 9, 26, 53};
  const RecordingDate atPicture{2026, 3, 14, 9, 26, 54};
  const RecordingDate lost{2026, 8, 9, 7, 8, 9};
  const RecordingDate kept{2026, 8, 9, 7, 8, 10};
  const auto piece = [](std::int64_t at, std::uint32_t stamp, std::int64_t showable, bool seenBefore,
                        RecordingDate firstDate, RecordingDate showableDate) {
    ClipPiece p;
    p.HeadOffset = p.FirstPacketOffset = at;
    p.LastPacketOffset = at + 255 * 192;
    p.TailOffset = at + 256 * 192;
    p.FirstStamp = stamp;
    p.LastStamp = stamp + 255 * Step;
    p.StepMinTicks = p.StepMaxTicks = Step;
    p.PacketCount = 256;
    p.FirstRandomAccessOffset = at + showable * 192;
    p.RandomAccessPid = 0x1011;
    p.RandomAccessPidSeenBefore = seenBefore;
    p.RandomAccessDate = showableDate;
    p.FirstDate = firstDate;
    p.LastDate = showableDate;
    return p;
  };
  MemoryFileSystem files;
  files.Add("card", std::vector<std::uint8_t>(8 * Cluster, 0));
  auto source = files.Open("card", OpenMode::ReadShared);
  ClipBuilder builder(*source, 8 * Cluster);
  ClipEvents observer;
  builder.PlanPieces({piece(0, 1000, 0, false, first, atPicture),
                      piece(2 * Cluster, 500'000'000, 20, true, lost, kept)}, observer);
  ASSERT_EQ(builder.Clips().size(), 2u);
  EXPECT_FALSE(builder.Clips()[0].HeadTrimmed);
  EXPECT_EQ(builder.Clips()[0].Recorded, first);
  EXPECT_TRUE(builder.Clips()[1].HeadTrimmed);
  EXPECT_EQ(builder.Clips()[1].Recorded, kept);
}

}  // namespace
}  // namespace mtsrescue::test
