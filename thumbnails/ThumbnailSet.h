// The pictures of a run's files written beside them, DEST/thumbnails/<path>.jpg, and the page
// DEST/index.html that shows them.
#pragma once

#include "thumbnails/ThumbnailEntry.h"
#include "thumbnails/Thumbnailer.h"
#include "engine/ExportFragments.h"
#include "engine/OutputFile.h"
#include "rebuild/ClipBuilder.h"
#include "platform/FileIdentity.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mtsrescue {

struct ThumbnailReport {
  bool Decoding = false;  // the build has a decoder; without one there are no pictures
  std::string IndexPath;  // the page written; empty when it was not
  std::vector<ThumbnailEntry> Entries;  // one per item, in the items' order
  std::string Error;      // the file that could not be written and why; empty when all were
  std::optional<CutShortFile> CutShort;
};

class ThumbnailSet {
 public:
  static constexpr const char* FolderName = "thumbnails";

  // What a run wrote: its numbered fragment files, then its rebuilt recordings (in clips/).
  static std::vector<ThumbnailItem> Items(const ExportReport& fragments, const ClipReport& recordings);

  // The picture's path under the destination for a file's: "clips/x.MTS" -> "thumbnails/clips/x.jpg".
  static std::string PictureRelative(const std::string& relativePath);

  // Makes the picture of each item and writes it (a recording always: its placeholder when none
  // decodes; a fragment only when it shows a picture), then the page. Every file is written as
  // the run's files are (under a temporary name, never one of protectedFiles). Stops writing at
  // the first file that cannot be written (report.Error). stop, when it returns true, ends the
  // pictures early; the page is still written with those made. made, when given, is told of each
  // item as its picture is done (written or not), with the picture itself (empty when none).
  using MadeCallback = std::function<void(const ThumbnailEntry& entry, const Picture& picture)>;
  static ThumbnailReport Write(const std::string& destFolder, const std::vector<ThumbnailItem>& items,
                               const StreamOpener& opener, const std::vector<FileIdentity>& protectedFiles,
                               const Thumbnailer& thumbnailer = Thumbnailer(),
                               const std::function<bool()>& stop = {}, const MadeCallback& made = {});
};

}  // namespace mtsrescue
