// DEST/index.html: every recording with its picture, date, length, size and file name, in the
// order recorded. One file with its style inside, no script, links relative to it: it opens
// offline in any browser, and wherever the folder is moved.
#pragma once

#include "thumbnails/ThumbnailEntry.h"

#include <string>
#include <vector>

namespace mtsrescue {

class IndexPage {
 public:
  static constexpr const char* FileName = "index.html";

  // The page for entries: the recordings by recording date (undated ones after, by number), then
  // the numbered fragment files that have a picture and are not a recording's second name, by
  // number.
  static std::string Html(const std::vector<ThumbnailEntry>& entries);
  // entries in the page's order (see Html).
  static std::vector<const ThumbnailEntry*> Order(const std::vector<ThumbnailEntry>& entries);
  // A relative URL for a '/'-separated path: each byte outside the unreserved set as %XX.
  static std::string Url(const std::string& relativePath);
  // text with &, <, > and " as entities.
  static std::string Escape(const std::string& text);
  // "m:ss" or "h:mm:ss"; "" for a negative duration.
  static std::string DurationText(double seconds);
  // "850 KB", "12.3 MB", "1.50 GB" (powers of 1000, as file managers show them).
  static std::string SizeText(std::int64_t bytes);
};

}  // namespace mtsrescue
