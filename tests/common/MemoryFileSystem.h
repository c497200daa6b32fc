// An in-memory set of files opened by path, standing in for the disk behind a StreamOpener in tests.
#pragma once

#include "platform/ByteStream.h"
#include "tests/common/MemoryFile.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace mtsrescue::test {

// One open asked of the file system, whether it succeeded or not.
struct OpenRecord {
  std::string Path;
  OpenMode Mode = OpenMode::ReadShared;
};

// Paths are plain keys: no folders, no separators interpreted. Opening behaves like FileStream:
// a missing path throws StreamError "Cannot open file "<path>". <text>", OpenMode::Create makes
// or empties the file (keeping faults set on it), OpenMode::CreateNew fails on an existing one
// (a new "<name>.part", an output's temporary file, fails to open as "<name>" would, and starts
// empty with the faults set on "<name>"; "<name>" itself stays as it is until renamed over), and a failed open of any mode throws the
// message of that mode. Streams opened OpenMode::ReadShared refuse writes (EBADF).
class MemoryFileSystem {
 public:
  // Adds (or replaces) a file of lengthBytes zero bytes.
  std::shared_ptr<MemoryFile> Add(const std::string& path, std::int64_t lengthBytes = 0);
  std::shared_ptr<MemoryFile> Add(const std::string& path, const std::vector<std::uint8_t>& contents);
  // The file at path, or null.
  std::shared_ptr<MemoryFile> Find(const std::string& path) const;
  bool Exists(const std::string& path) const { return Find(path) != nullptr; }
  std::vector<std::string> Paths() const;

  // Every later open of path, in any mode, fails with error.
  void FailOpen(const std::string& path, std::errc error = std::errc::permission_denied);

  // What a stream's CloseAs and CloseAndRemove do. A rename onto a path given to FailRename fails.
  std::error_code Rename(const std::string& from, const std::string& to);
  std::error_code Remove(const std::string& path);
  void FailRename(const std::string& to, std::errc error) { failingRenames_[to] = std::make_error_code(error); }

  // Opens like FileStream::Open; the stream shares the file, which outlives it.
  std::unique_ptr<ByteStream> Open(const std::string& path, OpenMode mode);
  // A StreamOpener over Open; the file system must outlive it.
  StreamOpener Opener();

  const std::vector<OpenRecord>& Opens() const noexcept { return opens_; }
  // How many opens of path in mode were asked.
  std::int64_t OpenCount(const std::string& path, OpenMode mode) const;

 private:
  std::map<std::string, std::shared_ptr<MemoryFile>> files_;
  std::map<std::string, std::error_code> failingOpens_;
  std::map<std::string, std::error_code> failingRenames_;
  std::vector<OpenRecord> opens_;
};

}  // namespace mtsrescue::test
