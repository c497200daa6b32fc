// MemoryFile: sparse pages and the read/write faults.
#include "tests/common/MemoryFile.h"

#include <algorithm>
#include <cstring>

namespace mtsrescue::test {

void MemoryFile::SetLength(std::int64_t lengthBytes) {
  if (lengthBytes < length_) {
    // Bytes past the new end must read as zeros if the file grows again.
    pages_.erase(pages_.lower_bound((lengthBytes + PageBytes - 1) / PageBytes), pages_.end());
    const std::int64_t partialPage = lengthBytes / PageBytes;
    if (auto page = pages_.find(partialPage); page != pages_.end()) {
      const std::int64_t keep = lengthBytes - partialPage * PageBytes;
      std::fill(page->second.begin() + keep, page->second.end(), std::uint8_t{0});
    }
  }
  length_ = lengthBytes;
}

void MemoryFile::Put(std::int64_t offset, const void* bytes, std::int64_t count) {
  if (count <= 0) {
    return;
  }
  const auto* from = static_cast<const std::uint8_t*>(bytes);
  for (std::int64_t done = 0; done < count;) {
    const std::int64_t at = offset + done;
    const std::int64_t inPage = at % PageBytes;
    const std::int64_t piece = std::min(count - done, PageBytes - inPage);
    std::vector<std::uint8_t>& page = pages_[at / PageBytes];
    if (page.empty()) {
      page.assign(PageBytes, 0);
    }
    std::memcpy(page.data() + inPage, from + done, static_cast<std::size_t>(piece));
    done += piece;
  }
  length_ = std::max(length_, offset + count);
}

std::vector<std::uint8_t> MemoryFile::Get(std::int64_t offset, std::int64_t count) const {
  const std::int64_t endOffset = std::min(length_, offset + count);
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, endOffset - offset)), 0);
  for (std::int64_t at = offset; at < endOffset;) {
    const std::int64_t inPage = at % PageBytes;
    const std::int64_t piece = std::min(endOffset - at, PageBytes - inPage);
    if (auto page = pages_.find(at / PageBytes); page != pages_.end()) {
      std::memcpy(bytes.data() + (at - offset), page->second.data() + inPage, static_cast<std::size_t>(piece));
    }
    at += piece;
  }
  return bytes;
}

void MemoryFile::FailReads(std::int64_t offset, std::int64_t count, int times, std::errc error) {
  readFaults_.push_back(ReadFault{offset, offset + count, times, std::make_error_code(error)});
}

void MemoryFile::ShortReads(std::int64_t offset, std::int64_t count, int times) {
  readFaults_.push_back(ReadFault{offset, offset + count, times, {}});
}

void MemoryFile::FailWritesAfter(std::int64_t bytesAllowed, std::errc error) {
  writeBudget_ = bytesAllowed;
  writeError_ = std::make_error_code(error);
}

std::int64_t MemoryFile::StreamRead(std::int64_t offset, void* buffer, std::int64_t count, std::error_code& error) {
  error.clear();
  std::int64_t endOffset = std::min(length_, offset + count);
  // The first live fault the read runs into decides where it stops.
  ReadFault* hit = nullptr;
  for (ReadFault& fault : readFaults_) {
    if (fault.TimesLeft != 0 && fault.Offset < endOffset && fault.EndOffset > offset &&
        (hit == nullptr || fault.Offset < hit->Offset)) {
      hit = &fault;
    }
  }
  if (hit != nullptr) {
    endOffset = std::max(offset, hit->Offset);
    error = hit->Error;
    if (hit->TimesLeft > 0) {
      --hit->TimesLeft;
    }
  }
  // Straight into the caller's buffer: scans of many GiB of unwritten zeros stay quick.
  const std::int64_t moved = std::max<std::int64_t>(0, endOffset - offset);
  auto* into = static_cast<std::uint8_t*>(buffer);
  for (std::int64_t at = offset; at < offset + moved;) {
    const std::int64_t inPage = at % PageBytes;
    const std::int64_t piece = std::min(offset + moved - at, PageBytes - inPage);
    if (auto page = pages_.find(at / PageBytes); page != pages_.end()) {
      std::memcpy(into + (at - offset), page->second.data() + inPage, static_cast<std::size_t>(piece));
    } else {
      std::memset(into + (at - offset), 0, static_cast<std::size_t>(piece));
    }
    at += piece;
  }
  reads_.push_back(ReadRecord{offset, count, moved});
  bytesRead_ += moved;
  return moved;
}

std::int64_t MemoryFile::StreamWrite(std::int64_t offset, const void* bytes, std::int64_t count, std::error_code& error) {
  error.clear();
  ++writeCalls_;
  std::int64_t allowed = count;
  if (writeBudget_ >= 0 && writeBudget_ < count) {
    allowed = writeBudget_;
    error = writeError_;
  }
  if (writeBudget_ >= 0) {
    writeBudget_ -= allowed;
  }
  Put(offset, bytes, allowed);
  bytesWritten_ += allowed;
  return allowed;
}

}  // namespace mtsrescue::test
