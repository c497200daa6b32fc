// A file kept in memory for tests: sparse, so a source of many GiB costs only the bytes put into it,
// with read and write faults placed at chosen offsets.
#pragma once

#include <cstdint>
#include <map>
#include <system_error>
#include <vector>

namespace mtsrescue::test {

// One read made through a stream: where, how much was asked, how much came back.
struct ReadRecord {
  std::int64_t Offset = 0;
  std::int64_t Count = 0;
  std::int64_t Bytes = 0;
};

class MemoryFile {
 public:
  // A file of lengthBytes zero bytes; nothing is allocated until bytes are put.
  explicit MemoryFile(std::int64_t lengthBytes = 0) : length_(lengthBytes) {}

  std::int64_t Length() const noexcept { return length_; }
  // Grows with zeros or cuts off the end.
  void SetLength(std::int64_t lengthBytes);
  // Stores bytes at offset, growing the file if they reach past its end. Ignores faults.
  void Put(std::int64_t offset, const void* bytes, std::int64_t count);
  void Put(std::int64_t offset, const std::vector<std::uint8_t>& bytes) {
    Put(offset, bytes.data(), static_cast<std::int64_t>(bytes.size()));
  }
  // The bytes at [offset, offset + count) clipped to the file's end. Ignores faults.
  std::vector<std::uint8_t> Get(std::int64_t offset, std::int64_t count) const;
  // The whole file; for small files.
  std::vector<std::uint8_t> Contents() const { return Get(0, length_); }

  // A read through a stream that touches [offset, offset + count) delivers only the bytes before
  // the range and reports error. times: how many such reads fail before the fault heals
  // (-1: never heals).
  void FailReads(std::int64_t offset, std::int64_t count, int times = -1,
                 std::errc error = std::errc::io_error);
  // The same, but the read just comes back short with no error, as at an end of file.
  void ShortReads(std::int64_t offset, std::int64_t count, int times = -1);
  // Writes through streams stop with error once bytesAllowed bytes have been written in all
  // since this call; the bytes before that point are kept, as on a disk that fills up.
  void FailWritesAfter(std::int64_t bytesAllowed, std::errc error = std::errc::no_space_on_device);
  // Every flush through a stream reports error, as a write-back that failed after the writes.
  void FailFlushes(std::errc error = std::errc::io_error) { flushError_ = std::make_error_code(error); }

  // Used by the streams: reads and writes at offset with the faults applied. Return the bytes moved.
  std::int64_t StreamRead(std::int64_t offset, void* buffer, std::int64_t count, std::error_code& error);
  std::int64_t StreamWrite(std::int64_t offset, const void* bytes, std::int64_t count, std::error_code& error);
  std::error_code StreamFlush() {
    ++flushCalls_;
    return flushError_;
  }
  // Used by the Create mode: the file becomes empty; faults set on it stay.
  void Truncate() { SetLength(0); }

  // What the streams did.
  const std::vector<ReadRecord>& Reads() const noexcept { return reads_; }
  std::int64_t BytesRead() const noexcept { return bytesRead_; }
  std::int64_t WriteCalls() const noexcept { return writeCalls_; }
  std::int64_t BytesWritten() const noexcept { return bytesWritten_; }
  std::int64_t FlushCalls() const noexcept { return flushCalls_; }

 private:
  static constexpr std::int64_t PageBytes = 4096;
  struct ReadFault {
    std::int64_t Offset;
    std::int64_t EndOffset;
    int TimesLeft;
    std::error_code Error;  // empty for a short read
  };

  std::int64_t length_ = 0;
  std::map<std::int64_t, std::vector<std::uint8_t>> pages_;  // page index -> PageBytes bytes
  std::vector<ReadFault> readFaults_;
  std::int64_t writeBudget_ = -1;  // bytes still allowed; -1: no limit
  std::error_code writeError_;
  std::vector<ReadRecord> reads_;
  std::int64_t bytesRead_ = 0;
  std::int64_t writeCalls_ = 0;
  std::int64_t bytesWritten_ = 0;
  std::int64_t flushCalls_ = 0;
  std::error_code flushError_;
};

}  // namespace mtsrescue::test
