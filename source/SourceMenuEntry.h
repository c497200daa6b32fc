// One entry of the source menu as plain data; the window turns these into menu items.
#pragma once

#include <string>
#include <vector>

namespace mtsrescue {

inline constexpr int DiskImageIndex = 17;
inline constexpr int VolumeImageIndex = 18;
inline constexpr int OpenImageImageIndex = 19;

inline constexpr const char* OpenImageName = "Openimage";
inline constexpr const char* OpenImageCaption = "打开磁盘镜像";
inline constexpr const char* SeparatorCaption = "-";

// Every entry but a separator is handled by SourceItemClick, which reads its Name.
struct SourceMenuEntry {
  std::string Name;     // "Openimage", "Exx" or "PhysicalDriveN"; empty for a separator
  std::string Caption;  // "-" for a separator
  int ImageIndex = -1;  // -1 for a separator

  bool IsSeparator() const { return Name.empty() && Caption == SeparatorCaption; }
  static SourceMenuEntry Separator() { return {"", SeparatorCaption, -1}; }
};

using SourceMenu = std::vector<SourceMenuEntry>;

}  // namespace mtsrescue
