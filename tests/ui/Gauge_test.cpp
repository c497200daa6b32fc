// TGauge: clamping, refused maxima, the percentage and its inverted drawing.
#include "ui/Gauge.h"

#include "UiTestSupport.h"

#include <QImage>

#include <gtest/gtest.h>

#include <limits>

namespace mtsrescue {
namespace {

class GaugeTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::Application(); }
};

TEST_F(GaugeTest, StartsAtZeroOfHundredAndClampsProgressToItsRange) {
  TGauge gauge;
  EXPECT_EQ(gauge.MinValue(), 0);
  EXPECT_EQ(gauge.MaxValue(), 100);
  EXPECT_EQ(gauge.Progress(), 0);

  gauge.SetProgress(150);
  EXPECT_EQ(gauge.Progress(), 100);
  gauge.SetProgress(-5);
  EXPECT_EQ(gauge.Progress(), 0);
  // A 64-bit value far past the 32-bit range is clamped, not wrapped.
  gauge.SetProgress(std::int64_t{1} << 40);
  EXPECT_EQ(gauge.Progress(), 100);

  gauge.SetProgress(80);
  gauge.SetMaxValue(30);  // lowering the maximum drags the progress down
  EXPECT_EQ(gauge.Progress(), 30);
  gauge.SetMaxValue(1000);
  EXPECT_EQ(gauge.Progress(), 30);  // raising it again does not move it back up
  gauge.SetMinValue(50);            // raising the minimum drags it up
  EXPECT_EQ(gauge.Progress(), 50);
}

TEST_F(GaugeTest, RefusesAMaximumBelowTheMinimumWithTheRangeInTheMessage) {
  TGauge gauge;
  gauge.SetProgress(40);
  try {
    gauge.SetMaxValue(-1);
    FAIL() << "a maximum below the minimum was accepted";
  } catch (const GaugeRangeError& error) {
    EXPECT_STREQ(error.what(), "Value must be between 1 and 2147483647");
  }
  EXPECT_EQ(gauge.MaxValue(), 100);  // nothing changed
  EXPECT_EQ(gauge.Progress(), 40);

  gauge.SetMinValue(10);
  EXPECT_THROW(gauge.SetMaxValue(9), GaugeRangeError);
  EXPECT_NO_THROW(gauge.SetMaxValue(10));  // equal bounds: an empty source
  EXPECT_EQ(gauge.Percent(), 0);
  EXPECT_THROW(gauge.SetMinValue(11), GaugeRangeError);
}

TEST_F(GaugeTest, PercentIsTruncatedAndMeasuredFromTheMinimum) {
  TGauge gauge;
  gauge.SetMaxValue(3);
  gauge.SetProgress(2);
  EXPECT_EQ(gauge.Percent(), 66);
  gauge.SetMaxValue(std::numeric_limits<std::int32_t>::max());  // no overflow in 100 * progress
  gauge.SetProgress(std::numeric_limits<std::int32_t>::max() - 1);
  EXPECT_EQ(gauge.Percent(), 99);
  gauge.SetMaxValue(300);
  gauge.SetMinValue(100);
  gauge.SetProgress(150);
  EXPECT_EQ(gauge.Percent(), 25);
}

// The text reads black over the empty part and white over the filled part.
TEST_F(GaugeTest, DrawsTheFilledPartBlackAndTheTextInvertedOverIt) {
  TGauge gauge;
  gauge.resize(200, 20);
  gauge.SetProgress(50);
  const QImage image = gauge.grab().toImage();

  EXPECT_EQ(QColor(image.pixel(10, 10)), QColor(Qt::black));   // filled
  EXPECT_EQ(QColor(image.pixel(190, 10)), QColor(Qt::white));  // empty
  int lightInFilled = 0;
  int darkInEmpty = 0;
  for (int y = 2; y < 18; ++y) {
    for (int x = 60; x < 140; ++x) {
      const int grey = qGray(image.pixel(x, y));
      if (x < 99 && grey > 128) ++lightInFilled;
      if (x > 101 && grey < 128) ++darkInEmpty;
    }
  }
  EXPECT_GT(lightInFilled, 0) << "no text drawn in white over the filled half";
  EXPECT_GT(darkInEmpty, 0) << "no text drawn in black over the empty half";
}

}  // namespace
}  // namespace mtsrescue
