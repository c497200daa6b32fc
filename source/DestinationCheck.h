// Whether a destination folder lies on the disk or volume being recovered.
#pragma once

#include "source/SourcePlatform.h"

#include <string>

namespace mtsrescue {

// True when writing into destFolder could overwrite sourcePath: the folder is on that volume, or
// on a volume of that disk, or in a file system stored in the source (a mounted image that is
// the image being recovered, FolderStoredInSource). Undecidable cases give false. destFolder
// need not exist yet.
bool DestinationOnSource(const std::string& destFolder, const std::string& sourcePath, const SourcePlatform& platform);

// The question the window asks before such a run (OK goes on, Cancel stops).
inline constexpr const char* DestinationOnSourceQuestion =
    "保存目录位于正在恢复的磁盘上。\n向该磁盘写入文件可能会覆盖尚未恢复的视频。\n\n建议选择其他磁盘上的目录。仍要继续吗？";

}  // namespace mtsrescue
