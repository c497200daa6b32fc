// The source as the rebuilding reads it: bytes that the export has already copied into fragment
// files come from those files, so the (slow, perhaps failing) source is read only where no
// fragment file holds the bytes, at the pieces' edges.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mtsrescue {

// A file that holds the source bytes [StartOffset, EndOffset) from its first byte on.
struct SourceCopy {
  std::int64_t StartOffset = 0;
  std::int64_t EndOffset = 0;
  std::string FilePath;
};

class FragmentBackedSource final : public ByteStream {
 public:
  // source stays owned by the caller. copies: ascending, not overlapping. A copy that cannot be
  // opened or read is passed over and the source read instead.
  FragmentBackedSource(ByteStream& source, std::vector<SourceCopy> copies, StreamOpener opener);

  std::error_code Seek(std::int64_t offset) override;
  std::int64_t Size() override { return source_.Size(); }
  IoResult Read(void* buffer, std::int64_t count) override;
  IoResult Write(const void*, std::int64_t) override {
    return {0, std::make_error_code(std::errc::bad_file_descriptor)};
  }

  // Bytes read from the source itself and from the copies.
  std::int64_t SourceBytesRead() const noexcept { return sourceBytes_; }
  std::int64_t CopyBytesRead() const noexcept { return copyBytes_; }

 private:
  IoResult ReadSource(std::uint8_t* buffer, std::int64_t count);
  // Reads from copy index; false when the copy failed (then it is not used again).
  bool ReadCopy(std::size_t index, std::uint8_t* buffer, std::int64_t count);

  ByteStream& source_;
  std::vector<SourceCopy> copies_;
  std::vector<bool> copyFailed_;
  StreamOpener opener_;
  std::int64_t position_ = 0;
  std::size_t openIndex_ = 0;
  std::unique_ptr<ByteStream> openCopy_;
  std::int64_t sourceBytes_ = 0;
  std::int64_t copyBytes_ = 0;
};

}  // namespace mtsrescue
