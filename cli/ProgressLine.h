// The one-line progress text of a scan, and the byte and duration texts it is made of.
#pragma once

#include <cstdint>
#include <string>

namespace mtsrescue {

struct ProgressSample {
  std::int64_t PositionBytes = 0;  // bytes read so far
  std::int64_t LengthBytes = 0;    // the whole source
  double ElapsedSeconds = 0;       // since the scan began
  std::int64_t Fragments = 0;      // runs of hits found so far
};

class ProgressLine {
 public:
  // " 42.3%  1.20 GiB of 2.84 GiB  512.3 MB/s  0:00:03 left  fragments found: 123".
  // Rate and time left read "--" until there is a rate to go by.
  static std::string Format(const ProgressSample& sample);
  // 1536 -> "1.50 KiB"; below 1 KiB plain "512 B".
  static std::string Bytes(std::int64_t bytes);
  // Whole seconds as "H:MM:SS"; negative or not finite -> "--:--:--".
  static std::string Duration(double seconds);
};

}  // namespace mtsrescue
