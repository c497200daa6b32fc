// A cached stretch of a source for short reads that stay close together, going either way.
#pragma once

#include "platform/ByteStream.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace mtsrescue {

class SourceWindow {
 public:
  // Reads at most BlockBytes at a time from source, whose length is sourceLength bytes.
  SourceWindow(ByteStream& source, std::int64_t sourceLength);

  // count bytes (count <= MaxRequestBytes) at offset, or nullptr when any of them lies outside the
  // source or could not be read. The pointer stays valid until the next call.
  const std::uint8_t* At(std::int64_t offset, std::int64_t count);

  // Reads stop at limitOffset unless a request reaches beyond it: the caller knows where the data
  // it wants ends, and the bytes after it need not be read. 0: no limit.
  void SetReadLimit(std::int64_t limitOffset) noexcept { readLimit_ = limitOffset; }

  // Called before each read of the source (to keep a window responsive).
  void SetFillHook(std::function<void()> hook) { fillHook_ = std::move(hook); }

  std::int64_t SourceLength() const noexcept { return sourceLength_; }
  // Bytes read from the source so far (re-reads included).
  std::int64_t BytesRead() const noexcept { return bytesRead_; }

  static constexpr std::int64_t MaxRequestBytes = 4096;

 private:
  void Fill(std::int64_t offset, std::int64_t count);

  ByteStream& source_;
  std::int64_t sourceLength_;
  std::vector<std::uint8_t> buffer_;
  std::int64_t windowOffset_ = 0;
  std::int64_t windowBytes_ = 0;  // valid bytes from windowOffset_
  std::int64_t bytesRead_ = 0;
  std::int64_t readLimit_ = 0;
  std::function<void()> fillHook_;
};

}  // namespace mtsrescue
