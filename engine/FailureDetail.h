// A run's failure in parts (what failed, on which path, with which system error), for callers
// that word it themselves, such as the window in its own language.
#pragma once

#include <exception>
#include <string>
#include <system_error>

namespace mtsrescue {

enum class FailureKind {
  None,
  SourceOpen,        // the source could not be opened or measured
  SourceUnreadable,  // not one sector of the source could be read
  SourceShrank,      // the source ended before the length it had when the run began
  FolderCreate,      // the destination folder (or its clips folder) could not be made
  OutputCreate,      // a file could not be created in the destination
  OutputIsSource,    // a file the run would write is the source, or the file behind it
  OutputWrite,       // a file could not be written to its end or flushed (a full disk)
  SpaceDeclined,     // the destination had too little room and the user chose to write nothing
  Other,             // anything else: only the message tells
};

struct FailureDetail {
  FailureKind Kind = FailureKind::None;
  std::string Path;      // the source, the folder or the file it concerns
  std::error_code Code;  // the system's error, when there was one
};

// The parts of an exception thrown by a stage of the run. fromSource: it came from opening or
// reading the source (Path falls back to sourcePath when the exception names none).
FailureDetail DetailOf(const std::exception& error, bool fromSource, const std::string& sourcePath);

// True for the kinds that concern the destination rather than the source.
bool OutputFailure(FailureKind kind) noexcept;

}  // namespace mtsrescue
