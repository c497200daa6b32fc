// Files and devices opened by path as byte streams; one implementation per OS.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace mtsrescue {

// An open that failed. what() is the user-facing text:
// "Cannot open file "<path>". <system text>" or, for OpenMode::Create and CreateNew, "Cannot create
// file "<path>". <system text>". Path() is the path the message names, for callers that word the
// failure themselves; empty where the thrower gave none.
class StreamError : public std::runtime_error {
 public:
  StreamError(const std::string& message, std::error_code code, std::string path = {})
      : std::runtime_error(message), code_(code), path_(std::move(path)) {}
  const std::error_code& Code() const noexcept { return code_; }
  const std::string& Path() const noexcept { return path_; }

 private:
  std::error_code code_;
  std::string path_;
};

// The OS handle of an open stream: a file descriptor on POSIX, a HANDLE on Windows.
using NativeHandle = std::intptr_t;

class FileStream final : public ByteStream {
 public:
  // Opens path (UTF-8) in mode; throws StreamError with the message above.
  static std::unique_ptr<FileStream> Open(const std::string& path, OpenMode mode);
  ~FileStream() override;
  FileStream(const FileStream&) = delete;
  FileStream& operator=(const FileStream&) = delete;

  std::error_code Seek(std::int64_t offset) override;
  std::int64_t Size() override;
  IoResult Read(void* buffer, std::int64_t count) override;
  IoResult Write(const void* buffer, std::int64_t count) override;
  std::error_code Flush() override;
  std::error_code CloseAs(const std::string& finalPath) override;
  std::error_code CloseAndRemove() override;

  // For device queries; stays owned by the stream.
  NativeHandle Handle() const noexcept { return handle_; }
  const std::string& Path() const noexcept { return path_; }

 private:
  FileStream(NativeHandle handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  NativeHandle handle_;
  std::string path_;
};

// The default StreamOpener: FileStream::Open.
std::unique_ptr<ByteStream> OpenFileStream(const std::string& path, OpenMode mode);

// The system's text for an OS error (strerror, FormatMessageW), in UTF-8, without a trailing line break.
std::string SystemErrorText(std::error_code code);

// True when both paths name one existing file (also through links or other spellings); false
// when either does not exist or cannot be examined.
bool SameFile(const std::string& firstPath, const std::string& secondPath);

// What reading disks and volumes directly takes, for messages when it was refused: "reading disks
// and volumes needs administrator rights" on Windows, root or the group disk on Linux.
std::string DeviceRightsText();

// The separator between a folder and a file name: '\\' on Windows, '/' elsewhere.
char PathSeparator() noexcept;

}  // namespace mtsrescue
