// TGauge: clamping rules, the refused ranges and the inverted percentage text.
#include "ui/Gauge.h"

#include <QPainter>
#include <QPaintEvent>

#include <algorithm>
#include <limits>

namespace mtsrescue {

namespace {

QString RangeText(std::int64_t low, std::int64_t high) {
  return QStringLiteral("Value must be between %1 and %2").arg(low).arg(high);
}

}  // namespace

TGauge::TGauge(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumHeight(12);
  repaintTimer_.setSingleShot(true);
  connect(&repaintTimer_, &QTimer::timeout, this, [this] { RequestRepaint(); });
}

void TGauge::RequestRepaint() {
  if (sinceRepaint_.isValid() && !sinceRepaint_.hasExpired(RepaintIntervalMs)) {
    if (!repaintTimer_.isActive()) repaintTimer_.start(RepaintIntervalMs);
    return;
  }
  sinceRepaint_.start();
  update();
}

void TGauge::SetMinValue(std::int32_t value) {
  if (value > maxValue_)
    throw GaugeRangeError(RangeText(std::numeric_limits<std::int32_t>::min(), maxValue_).toStdString());
  minValue_ = value;
  if (progress_ < minValue_) progress_ = minValue_;
  update();
}

void TGauge::SetMaxValue(std::int32_t value) {
  if (value < minValue_)
    throw GaugeRangeError(
        RangeText(std::int64_t{minValue_} + 1, std::numeric_limits<std::int32_t>::max()).toStdString());
  maxValue_ = value;
  if (progress_ > maxValue_) progress_ = maxValue_;
  update();
}

void TGauge::SetProgress(std::int64_t value) noexcept {
  const auto clamped = static_cast<std::int32_t>(std::clamp<std::int64_t>(value, minValue_, maxValue_));
  if (clamped == progress_) return;
  const int percentBefore = Percent();
  const int filledBefore = FilledWidth();
  progress_ = clamped;
  // Repaint only what the eye can see change: the scan moves the gauge thousands of times.
  if (Percent() != percentBefore || FilledWidth() != filledBefore) RequestRepaint();
}

int TGauge::Percent() const noexcept {
  const std::int64_t span = std::int64_t{maxValue_} - minValue_;
  if (span == 0) return 0;
  return static_cast<int>(100 * (std::int64_t{progress_} - minValue_) / span);
}

int TGauge::FilledWidth() const noexcept {
  const std::int64_t span = std::int64_t{maxValue_} - minValue_;
  const int innerWidth = std::max(0, width() - 2);
  return span == 0 ? 0 : static_cast<int>(innerWidth * (std::int64_t{progress_} - minValue_) / span);
}

QSize TGauge::sizeHint() const { return {200, 17}; }

void TGauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect frame = rect();
  const QRect inner = frame.adjusted(1, 1, -1, -1);
  painter.fillRect(frame, Qt::black);  // the single border
  painter.fillRect(inner, Qt::white);

  const int filledWidth = FilledWidth();
  const QRect filled(inner.left(), inner.top(), filledWidth, inner.height());
  painter.fillRect(filled, Qt::black);

  const QString text = QStringLiteral("%1%").arg(Percent());
  painter.setFont(font());
  // Black over the empty part, white over the filled part.
  painter.save();
  painter.setClipRect(inner.adjusted(filledWidth, 0, 0, 0));
  painter.setPen(Qt::black);
  painter.drawText(inner, Qt::AlignCenter, text);
  painter.restore();
  painter.setClipRect(filled);
  painter.setPen(Qt::white);
  painter.drawText(inner, Qt::AlignCenter, text);
}

}  // namespace mtsrescue
