// TGauge: the horizontal progress gauge of the status bar (MinValue, MaxValue, Progress).
#pragma once

#include <QElapsedTimer>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <stdexcept>

namespace mtsrescue {

// A value the gauge refuses: "Value must be between <low> and <high>".
class GaugeRangeError : public std::range_error {
 public:
  using std::range_error::range_error;
};

// Progress always lies within MinValue..MaxValue: values outside are stored as the nearer bound.
// Drawn black on white with a single border and the whole percentage centred, inverted over the
// filled part.
class TGauge : public QWidget {
  Q_OBJECT

 public:
  explicit TGauge(QWidget* parent = nullptr);

  std::int32_t MinValue() const noexcept { return minValue_; }
  std::int32_t MaxValue() const noexcept { return maxValue_; }
  std::int32_t Progress() const noexcept { return progress_; }

  // Throws GaugeRangeError when value > MaxValue; raises Progress with it.
  void SetMinValue(std::int32_t value);
  // Throws GaugeRangeError ("between MinValue + 1 and 2147483647") when value < MinValue;
  // MaxValue == MinValue is allowed (an empty source). Lowers Progress with it.
  void SetMaxValue(std::int32_t value);
  void SetProgress(std::int64_t value) noexcept;

  // 100 * (Progress - MinValue) / (MaxValue - MinValue), truncated; 0 when MaxValue == MinValue.
  int Percent() const noexcept;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  // Pixels of the bar inside the border that are filled.
  int FilledWidth() const noexcept;
  // Repaints now, or once RepaintIntervalMs after the last repaint: a scan from the page cache
  // moves the gauge every tenth of a millisecond, and painting that often would slow it by a fifth.
  void RequestRepaint();

  static constexpr int RepaintIntervalMs = 40;
  QElapsedTimer sinceRepaint_;
  QTimer repaintTimer_;

  std::int32_t minValue_ = 0;
  std::int32_t maxValue_ = 100;
  std::int32_t progress_ = 0;
};

}  // namespace mtsrescue
