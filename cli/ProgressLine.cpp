// Formatting of the progress line.
#include "cli/ProgressLine.h"

#include <cmath>
#include <cstdio>

namespace mtsrescue {
namespace {

// Below this the rate is mostly start-up noise.
constexpr double MinSecondsForRate = 0.5;

}  // namespace

std::string ProgressLine::Bytes(std::int64_t bytes) {
  static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
  char text[48];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%lld B", static_cast<long long>(bytes));
    return text;
  }
  double value = static_cast<double>(bytes) / 1024.0;
  int unit = 0;
  while (value >= 1024.0 && unit < 5) {
    value /= 1024.0;
    ++unit;
  }
  std::snprintf(text, sizeof text, "%.2f %s", value, units[unit]);
  return text;
}

std::string ProgressLine::Duration(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0 || seconds > 1e9) return "--:--:--";
  const long long whole = static_cast<long long>(std::llround(seconds));
  char text[48];
  std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
  return text;
}

std::string ProgressLine::Format(const ProgressSample& sample) {
  const double percent = sample.LengthBytes > 0
                             ? 100.0 * static_cast<double>(sample.PositionBytes) /
                                   static_cast<double>(sample.LengthBytes)
                             : 100.0;
  std::string rate = "-- MB/s";
  std::string left = "--:--:--";
  if (sample.ElapsedSeconds >= MinSecondsForRate && sample.PositionBytes > 0) {
    const double bytesPerSecond = static_cast<double>(sample.PositionBytes) / sample.ElapsedSeconds;
    char text[48];
    std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / 1e6);
    rate = text;
    left = Duration(static_cast<double>(sample.LengthBytes - sample.PositionBytes) / bytesPerSecond);
  }
  char head[32];
  std::snprintf(head, sizeof head, "%5.1f%%", percent);
  return std::string(head) + "  " + Bytes(sample.PositionBytes) + " of " + Bytes(sample.LengthBytes) +
         "  " + rate + "  " + left + " left  fragments found: " + std::to_string(sample.Fragments);
}

}  // namespace mtsrescue
