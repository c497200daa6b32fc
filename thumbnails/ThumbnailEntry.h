// A recovered file and its picture, as the thumbnails' writer and the index page see them.
#pragma once

#include "rebuild/RecordingDate.h"

#include <cstdint>
#include <optional>
#include <string>

namespace mtsrescue {

// A file the run wrote, to make a picture of.
struct ThumbnailItem {
  std::string FilePath;      // as written
  std::string RelativePath;  // under the destination, '/' between folders: "clips/x.MTS", "3.MTS"
  bool Recording = false;    // a rebuilt recording; otherwise a numbered fragment file
  std::int64_t Index = 0;    // its number: the order the recordings (or fragments) begin on the source
  std::optional<RecordingDate> Recorded;
  std::int64_t Bytes = 0;
  // A fragment file that a recording is a second name of (a hard link): the page shows it once,
  // as the recording.
  bool LinkedByRecording = false;
};

struct ThumbnailEntry {
  ThumbnailItem Item;
  std::string PicturePath;      // the picture file written; empty when none was
  std::string PictureRelative;  // the same under the destination, '/' between folders
  bool Decoded = false;         // the picture shows the file; a recording's placeholder otherwise
  double DurationSeconds = -1;  // -1 unknown
  double PictureSeconds = -1;   // where in the file the picture was taken; -1 unknown
  std::string Note;             // why there is no picture of it; empty when there is
};

}  // namespace mtsrescue
