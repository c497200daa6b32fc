// The byte-stream interface that every read of a source and every write of an output goes through.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <system_error>

namespace mtsrescue {

// One read or write: the bytes really moved, and the OS error when it stopped short.
// A short count with no error means end of file.
struct IoResult {
  std::int64_t Bytes = 0;
  std::error_code Error;
};

class ByteStream {
 public:
  virtual ~ByteStream() = default;

  // Moves to an absolute byte offset (0 <= offset).
  virtual std::error_code Seek(std::int64_t offset) = 0;
  // Length in bytes: a file's size or a block device's true length; -1 when it cannot be told.
  virtual std::int64_t Size() = 0;
  // Reads up to count bytes at the current position; never throws.
  virtual IoResult Read(void* buffer, std::int64_t count) = 0;
  // Writes count bytes at the current position; never throws.
  virtual IoResult Write(const void* buffer, std::int64_t count) = 0;
  // Waits until the bytes written so far are on the device; reports what a delayed write-back
  // hit (a full or failing disk). Streams that write straight through need not override it.
  virtual std::error_code Flush() { return {}; }
  // A file being written under a temporary name: closes it and gives it finalPath, replacing
  // what had that name (a link itself, never what it points to). Streams that are no such file
  // answer operation_not_supported. The stream cannot be used afterwards.
  virtual std::error_code CloseAs(const std::string& /*finalPath*/) {
    return std::make_error_code(std::errc::operation_not_supported);
  }
  // The same file abandoned: closes and removes it; an error when it stays behind.
  virtual std::error_code CloseAndRemove() { return std::make_error_code(std::errc::operation_not_supported); }
};

// How a stream is opened (access, sharing, disposition).
enum class OpenMode {
  ReadShared,          // read; others may read and write; open existing
  ReadSharedScattered, // the same, for short reads here and there: no read-ahead
  ReadWriteShared,     // read and write; others may read and write; open existing
  ReadWriteExclusive,  // read and write; no sharing; open existing
  Create,              // read and write; no sharing; create always (an existing file is emptied)
  CreateNew,           // read and write; no sharing; fails when the name exists, also as a link
};

// Opens a path (UTF-8) in a mode; throws StreamError. Tests substitute streams through this seam.
using StreamOpener = std::function<std::unique_ptr<ByteStream>(const std::string& path, OpenMode mode)>;

}  // namespace mtsrescue
