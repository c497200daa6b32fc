// The current source: the user's choice from the source menu, resolved into a path and a length.
#pragma once

#include "source/SourcePlatform.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace mtsrescue {

// Shows the file-open dialog (no filter, no default extension, no preset name) and returns the
// chosen file's full path, or nothing when the user cancels.
using ImageChooser = std::function<std::optional<std::string>()>;

// The short form a menu entry stands for: its name for a disk ("PhysicalDrive1"), letter + ":"
// for a volume ("E:"), empty for the image entry.
std::string EntryShortForm(const std::string& entryName);

// The path a short form stands for: "\\.\" + "PhysicalDriveN", "\\.\" + "E:", or a file path as it is.
std::string ResolveShortForm(const std::string& text);

// Opens a resolved source path read-only and shared and returns its length in bytes: a disk's true
// length, a volume device's length (the file system's total only when the device cannot tell), a
// file's size. Throws StreamError when it cannot be opened, when a file's length cannot be told,
// or when a disk or volume tells none (0 bytes).
std::int64_t MeasureSource(const std::string& sourcePath, const SourcePlatform& platform);

class SourceSelection {
 public:
  explicit SourceSelection(SourcePlatform platform) : platform_(std::move(platform)) {}

  // The user picked an entry of the source menu. May throw StreamError from SourceChange; the
  // choice is kept all the same.
  void SourceItemClick(const std::string& entryName, const ImageChooser& chooseImage);

  // The short form of the current source; setting a different one runs SourceChange.
  const std::string& SourceText() const { return sourceText_; }
  void SetSourceText(const std::string& text);

  // Resolves SourceText() into FSourcePath and measures it into FSourceSize. When the source
  // cannot be opened, FSourcePath holds the new path, FSourceSize the previous length, the source
  // counts as not measured, and StreamError is thrown.
  void SourceChange();
  // The short form became newText (whatever it was before): resolves and measures it as above.
  void SourceChange(const std::string& newText);

  // Before a run: measures again a chosen source that SourceChange could not open, so that no
  // run scans with a length left over from another source. Throws StreamError if it still fails.
  void MeasureIfStale();
  // False while a chosen source's length is left over from before.
  bool Measured() const { return measured_; }

  const SourcePlatform& Platform() const { return platform_; }

  std::string FSourcePath;       // device path or image file path; empty until the first choice
  std::int64_t FSourceSize = 0;  // bytes; 0 until the first choice

 private:
  SourcePlatform platform_;
  std::string sourceText_;
  bool measured_ = true;
};

}  // namespace mtsrescue
