// In-memory files behind a StreamOpener, for running the command line without touching a disk.
#pragma once

#include "platform/ByteStream.h"
#include "platform/FileStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace mtsrescue::test {

using Bytes = std::vector<std::uint8_t>;

class FakeStream final : public ByteStream {
 public:
  // A read that reaches a sector in badSectors (offsets) stops before it with an I/O error.
  explicit FakeStream(std::shared_ptr<Bytes> data, std::set<std::int64_t> badSectors = {})
      : data_(std::move(data)), badSectors_(std::move(badSectors)) {}
  std::error_code Seek(std::int64_t offset) override {
    position_ = offset;
    return {};
  }
  std::int64_t Size() override { return static_cast<std::int64_t>(data_->size()); }
  IoResult Read(void* buffer, std::int64_t count) override {
    const std::int64_t size = Size();
    std::int64_t n = std::max<std::int64_t>(0, std::min(count, size - position_));
    std::error_code error;
    const auto bad = badSectors_.lower_bound(position_ / 512 * 512);
    if (bad != badSectors_.end() && *bad < position_ + n) {
      n = std::max<std::int64_t>(0, *bad - position_);
      error = std::make_error_code(std::errc::io_error);
    }
    if (n > 0) std::memcpy(buffer, data_->data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return {n, error};
  }
  IoResult Write(const void* buffer, std::int64_t count) override {
    const auto end = static_cast<std::size_t>(position_ + count);
    if (data_->size() < end) data_->resize(end);
    std::memcpy(data_->data() + position_, buffer, static_cast<std::size_t>(count));
    position_ += count;
    return {count, {}};
  }
  std::error_code CloseAs(const std::string& finalPath) override { return Rename ? Rename(finalPath) : ByteStream::CloseAs(finalPath); }
  std::error_code CloseAndRemove() override { return Remove ? Remove() : ByteStream::CloseAndRemove(); }

  // What renaming and removing the stream's file do to the files it came from.
  std::function<std::error_code(const std::string&)> Rename;
  std::function<std::error_code()> Remove;

 private:
  std::shared_ptr<Bytes> data_;
  std::set<std::int64_t> badSectors_;
  std::int64_t position_ = 0;
};

// Paths map to shared byte vectors. Opening a missing file, or creating one listed in
// FailCreate, throws StreamError with the program's messages.
class FakeFiles {
 public:
  std::map<std::string, std::shared_ptr<Bytes>> Files;
  std::set<std::string> FailCreate;
  std::map<std::string, int> OpensLeft;  // a path listed here fails to open once these are used
  std::map<std::string, std::set<std::int64_t>> BadSectors;  // per path: unreadable sector offsets
  std::vector<std::string> Created;  // every Create, in order
  std::vector<std::pair<std::string, OpenMode>> Opened;

  void Add(const std::string& path, Bytes data) { Files[path] = std::make_shared<Bytes>(std::move(data)); }
  bool Has(const std::string& path) const { return Files.count(path) != 0; }
  const Bytes& At(const std::string& path) const { return *Files.at(path); }

  StreamOpener Opener() {
    return [this](const std::string& path, OpenMode mode) -> std::unique_ptr<ByteStream> {
      Opened.emplace_back(path, mode);
      if (mode == OpenMode::CreateNew && Has(path)) {
        throw StreamError("Cannot create file \"" + path + "\". File exists", std::make_error_code(std::errc::file_exists));
      }
      if (mode == OpenMode::Create || mode == OpenMode::CreateNew) {
        Created.push_back(path);
        // An output's temporary file "<name>.part" fails as "<name>" would.
        const bool temporary = path.size() > 5 && path.compare(path.size() - 5, 5, ".part") == 0;
        if (FailCreate.count(path) != 0 || (temporary && FailCreate.count(path.substr(0, path.size() - 5)) != 0)) {
          throw StreamError("Cannot create file \"" + path + "\". Permission denied",
                            std::make_error_code(std::errc::permission_denied));
        }
        Files[path] = std::make_shared<Bytes>();
      } else if (!Has(path) || (OpensLeft.count(path) != 0 && OpensLeft[path]-- <= 0)) {
        throw StreamError("Cannot open file \"" + path + "\". No such file or directory",
                          std::make_error_code(std::errc::no_such_file_or_directory));
      }
      auto stream = std::make_unique<FakeStream>(Files[path], BadSectors[path]);
      stream->Rename = [this, path](const std::string& to) {
        Files[to] = Files[path];
        Files.erase(path);
        return std::error_code();
      };
      stream->Remove = [this, path] { return Files.erase(path) != 0 ? std::error_code() : std::make_error_code(std::errc::no_such_file_or_directory); };
      return stream;
    };
  }
};

// groups whole groups (8 packets each) of a packet stream at offset: a hit every 1536 bytes.
// Each packet gets a distinct payload byte so that copies can be told apart.
inline void PutStream(Bytes& data, std::size_t offset, std::size_t groups, std::uint8_t tag) {
  for (std::size_t packet = 0; packet < groups * 8; ++packet) {
    std::uint8_t* p = data.data() + offset + packet * 192;
    p[0] = 0x00;
    p[1] = static_cast<std::uint8_t>(packet / 64);  // arrival word climbs slowly
    p[4] = 0x47;
    std::memset(p + 5, static_cast<int>(tag + packet % 7), 187);
  }
}

}  // namespace mtsrescue::test
