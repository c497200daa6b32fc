// A read-only stream over a descriptor that another process opened and handed over (a desktop
// disk service); several streams may share it, each reading at its own position.
#pragma once

#include "platform/ByteStream.h"
#include "platform/FileStream.h"

#include <cstdint>
#include <memory>
#include <string>

namespace mtsrescue {

class DescriptorStream final : public ByteStream {
 public:
  // A stream over a copy of handle (the caller keeps and closes its own); path names it in
  // messages. The copy can only read: on POSIX a descriptor open for writing is refused, on
  // Windows the copy is made with read access alone. Throws StreamError
  // "Cannot open file "<path>". <reason>".
  static std::unique_ptr<DescriptorStream> CopyOf(NativeHandle handle, const std::string& path);
  // Another stream over the same descriptor, at position 0; the descriptor closes with the last.
  std::unique_ptr<DescriptorStream> Share() const;

  std::error_code Seek(std::int64_t offset) override;
  // A file's size or a block device's length; -1 when it cannot be told.
  std::int64_t Size() override;
  // Reads at this stream's own position, so streams sharing the descriptor never disturb each other.
  IoResult Read(void* buffer, std::int64_t count) override;
  // Always fails: nothing is ever written through a handed-over source.
  IoResult Write(const void* buffer, std::int64_t count) override;

  // For device queries; stays owned by the stream.
  NativeHandle Handle() const noexcept;
  const std::string& Path() const noexcept { return path_; }

 private:
  struct Owner;
  DescriptorStream(std::shared_ptr<Owner> owner, std::string path) : owner_(std::move(owner)), path_(std::move(path)) {}
  std::shared_ptr<Owner> owner_;
  std::string path_;
  std::int64_t positionBytes_ = 0;  // 0 <= positionBytes_
};

}  // namespace mtsrescue
