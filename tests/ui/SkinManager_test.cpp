// Start-up: the skin chosen from the tick count, the skin table and the program name.
#include "ui/SkinManager.h"
#include "ui/StartUp.h"

#include "UiTestSupport.h"

#include <QPalette>

#include <gtest/gtest.h>

#include <set>

namespace mtsrescue {
namespace {

TEST(SkinChoiceTest, TakesTheTensDigitOfTheMillisecondCount) {
  EXPECT_EQ(TSkinManager::StartUpDigit(123456, 123456), 5);
  EXPECT_EQ(TSkinManager::StartUpDigit(1070, 1079), 7);
  EXPECT_EQ(TSkinManager::StartUpSkinName(7), QStringLiteral("Office12Style (internal)"));
  // The position comes from the first reading's length, the digit from the second reading.
  EXPECT_EQ(TSkinManager::StartUpDigit(99999, 100003), 0);
  EXPECT_EQ(TSkinManager::StartUpDigit(4000000000u, 4000000095u), 9);
}

TEST(SkinChoiceTest, SingleDigitAndWrappedCountsStillGiveADigit) {
  EXPECT_EQ(TSkinManager::StartUpDigit(7, 7), 7);  // position 0 reads as 1
  EXPECT_EQ(TSkinManager::StartUpDigit(9, 10), 1);
  // The count wrapped at 2^32 between the readings: the second text is shorter than the position.
  EXPECT_EQ(TSkinManager::StartUpDigit(4294967295u, 5), 5);
  EXPECT_EQ(TSkinManager::StartUpDigit(4294967295u, 42), 2);
}

TEST(SkinManagerTest, HoldsTheElevenSkinsInOrderAndEveryDigitNamesOne) {
  TSkinManager sm;
  const QStringList expected = {
      "BlueIce (internal)", "WMP11 (internal)",         "Acryl (internal)",   "Beijing (internal)",
      "BlueGauze (internal)", "Desert (internal)",      "Golden (internal)",  "Office12Style (internal)",
      "MacOS (internal)",   "TheFrog (internal)",       "Office2007 Black (internal)"};
  EXPECT_EQ(sm.SkinNames(), expected);
  EXPECT_EQ(sm.ActiveSkin().Name, QStringLiteral("BlueIce (internal)"));

  const QStringList byDigit = {"Acryl (internal)",  "Beijing (internal)", "BlueGauze (internal)",
                               "BlueIce (internal)", "Desert (internal)", "Golden (internal)",
                               "MacOS (internal)",  "Office12Style (internal)", "WMP11 (internal)",
                               "Office2007 Black (internal)"};
  for (int digit = 0; digit <= 9; ++digit) {
    EXPECT_EQ(TSkinManager::StartUpSkinName(digit), byDigit[digit]);
    EXPECT_NE(sm.Find(TSkinManager::StartUpSkinName(digit)), nullptr) << digit;
  }
}

TEST(SkinManagerTest, EachSkinPaintsInItsOwnColours) {
  QApplication& app = testing::Application();
  TSkinManager sm;
  std::set<QString> sheets;
  std::set<QString> faces;
  for (const QString& name : sm.SkinNames()) {
    const TSkin* skin = sm.Find(name);
    ASSERT_NE(skin, nullptr);
    sheets.insert(TSkinManager::StyleSheet(*skin));
    faces.insert(skin->Face.name() + skin->BarBottom.name());
  }
  EXPECT_EQ(sheets.size(), 11u);
  EXPECT_EQ(faces.size(), 11u);

  ASSERT_TRUE(sm.SetActiveSkin(QStringLiteral("WMP11 (internal)"), &app));
  EXPECT_EQ(app.palette().color(QPalette::Window), sm.Find(QStringLiteral("WMP11 (internal)"))->Face);
  EXPECT_TRUE(app.styleSheet().contains(sm.Find(QStringLiteral("WMP11 (internal)"))->BarTop.name()));
  EXPECT_FALSE(sm.SetActiveSkin(QStringLiteral("Nonesuch"), &app));
  EXPECT_EQ(sm.ActiveSkin().Name, QStringLiteral("WMP11 (internal)"));
}

TEST(ProgramNameTest, DropsTheFolderAndTheLastExtensionOnly) {
  EXPECT_EQ(ProgramNameFromPath(QStringLiteral("D:\\tools\\X.exe")), QStringLiteral("X"));
  EXPECT_EQ(ProgramNameFromPath(QStringLiteral("D:\\tools\\X.beta.exe")), QStringLiteral("X.beta"));
  EXPECT_EQ(ProgramNameFromPath(QStringLiteral("/usr/local/bin/mtsrescue")), QStringLiteral("mtsrescue"));
  EXPECT_EQ(ProgramNameFromPath(QStringLiteral("/opt/v1.2/Y.exe")), QStringLiteral("Y"));  // dot in a folder
  EXPECT_EQ(ProgramNameFromPath(QStringLiteral("Z")), QStringLiteral("Z"));
}

}  // namespace
}  // namespace mtsrescue
