// Setting a file's modification time from a wall-clock time of the system's own time zone.
#pragma once

#include <string>
#include <system_error>

namespace mtsrescue {

// A date and time as a clock shows it, without a time zone.
struct WallClockTime {
  int Year = 0;
  int Month = 0;  // 1..12
  int Day = 0;    // 1..31
  int Hour = 0;
  int Minute = 0;
  int Second = 0;
};

// Sets the modification time of the file at path (UTF-8) to local, read as the local time of
// this system's time zone (with its daylight saving at that date). The file's other times stay.
// An error when the time cannot be represented or the file cannot be changed.
std::error_code SetModifiedLocalTime(const std::string& path, const WallClockTime& local);

// The modification time of the file at path (not of what a symbolic link leads to) as this
// system's local time; false when it cannot be read.
bool ModifiedLocalTime(const std::string& path, WallClockTime& local);

}  // namespace mtsrescue
