// A recording's date and time as the camera wrote it into the video: its own local time.
#pragma once

#include <cstdint>

namespace mtsrescue {

struct RecordingDate {
  int Year = 0;  // four digits
  int Month = 0;  // 1..12
  int Day = 0;    // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;

  // One number that orders dates as time does (not a count of seconds).
  std::int64_t Key() const noexcept {
    return ((((static_cast<std::int64_t>(Year) * 100 + Month) * 100 + Day) * 100 + Hour) * 100 + Minute) * 100 + Second;
  }
  friend bool operator==(const RecordingDate& x, const RecordingDate& y) noexcept { return x.Key() == y.Key(); }
  friend bool operator<(const RecordingDate& x, const RecordingDate& y) noexcept { return x.Key() < y.Key(); }
};

}  // namespace mtsrescue
