// Reading the source through the fragment files that already hold its bytes.
#include "rebuild/FragmentBackedSource.h"

#include <algorithm>
#include <exception>

namespace mtsrescue {

FragmentBackedSource::FragmentBackedSource(ByteStream& source, std::vector<SourceCopy> copies,
                                           StreamOpener opener)
    : source_(source), copies_(std::move(copies)), copyFailed_(copies_.size(), false),
      opener_(std::move(opener)) {}

std::error_code FragmentBackedSource::Seek(std::int64_t offset) {
  if (offset < 0) return std::make_error_code(std::errc::invalid_argument);
  position_ = offset;
  return {};
}

IoResult FragmentBackedSource::ReadSource(std::uint8_t* buffer, std::int64_t count) {
  if (const std::error_code error = source_.Seek(position_)) return {0, error};
  std::int64_t done = 0;
  while (done < count) {
    const IoResult got = source_.Read(buffer + done, count - done);
    done += got.Bytes;
    sourceBytes_ += got.Bytes;
    if (got.Error) return {done, got.Error};
    if (got.Bytes <= 0) break;
  }
  return {done, {}};
}

bool FragmentBackedSource::ReadCopy(std::size_t index, std::uint8_t* buffer, std::int64_t count) {
  if (copyFailed_[index]) return false;
  try {
    if (!openCopy_ || openIndex_ != index) {
      openCopy_.reset();
      openCopy_ = opener_(copies_[index].FilePath, OpenMode::ReadShared);
      openIndex_ = index;
    }
    if (!openCopy_->Seek(position_ - copies_[index].StartOffset)) {
      std::int64_t done = 0;
      while (done < count) {
        const IoResult got = openCopy_->Read(buffer + done, count - done);
        if (got.Error || got.Bytes <= 0) break;
        done += got.Bytes;
      }
      if (done == count) {
        copyBytes_ += count;
        return true;
      }
    }
  } catch (const std::exception&) {
    // A copy that cannot be opened: the source still has the bytes.
  }
  copyFailed_[index] = true;
  openCopy_.reset();
  return false;
}

IoResult FragmentBackedSource::Read(void* buffer, std::int64_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::int64_t done = 0;
  while (done < count) {
    // The first copy that ends after the position.
    const auto copy = std::upper_bound(copies_.begin(), copies_.end(), position_,
                                       [](std::int64_t at, const SourceCopy& c) { return at < c.EndOffset; });
    const std::size_t index = static_cast<std::size_t>(copy - copies_.begin());
    std::int64_t stretch = count - done;
    if (copy != copies_.end() && copy->StartOffset <= position_) {
      stretch = std::min(stretch, copy->EndOffset - position_);
      if (ReadCopy(index, out + done, stretch)) {
        done += stretch;
        position_ += stretch;
        continue;
      }
    } else if (copy != copies_.end()) {
      stretch = std::min(stretch, copy->StartOffset - position_);
    }
    const IoResult got = ReadSource(out + done, stretch);
    done += got.Bytes;
    position_ += got.Bytes;
    if (got.Error || got.Bytes < stretch) return {done, got.Error};
  }
  return {done, {}};
}

}  // namespace mtsrescue
