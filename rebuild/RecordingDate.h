// A recording's date and time as the camera wrote it into the video: its own local time.
#pragma once

#include <compare>
#include <cstdint>

namespace mtsrescue {

struct RecordingDate {
  int Year = 0;  // four digits
  int Month = 0;  // 1..12
  int Day = 0;    // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;

  auto operator<=>(const RecordingDate&) const = default;
};

}  // namespace mtsrescue
