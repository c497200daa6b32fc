// MemoryFileSystem and the stream it hands out.
#include "tests/common/MemoryFileSystem.h"

#include "platform/FileStream.h"

namespace mtsrescue::test {

namespace {

class MemoryStream final : public ByteStream {
 public:
  MemoryStream(std::shared_ptr<MemoryFile> file, OpenMode mode, MemoryFileSystem& files, std::string path)
      : file_(std::move(file)), mode_(mode), files_(files), path_(std::move(path)) {}

  std::error_code Seek(std::int64_t offset) override {
    if (offset < 0) {
      return std::make_error_code(std::errc::invalid_argument);
    }
    position_ = offset;
    return {};
  }
  std::int64_t Size() override { return file_->Length(); }
  IoResult Read(void* buffer, std::int64_t count) override {
    IoResult result;
    result.Bytes = file_->StreamRead(position_, buffer, count, result.Error);
    position_ += result.Bytes;
    return result;
  }
  IoResult Write(const void* buffer, std::int64_t count) override {
    IoResult result;
    if (mode_ == OpenMode::ReadShared || mode_ == OpenMode::ReadSharedScattered) {
      result.Error = std::make_error_code(std::errc::bad_file_descriptor);
      return result;
    }
    result.Bytes = file_->StreamWrite(position_, buffer, count, result.Error);
    position_ += result.Bytes;
    return result;
  }

  std::error_code Flush() override { return file_->StreamFlush(); }
  std::error_code CloseAs(const std::string& finalPath) override { return files_.Rename(path_, finalPath); }
  std::error_code CloseAndRemove() override { return files_.Remove(path_); }

 private:
  std::shared_ptr<MemoryFile> file_;
  OpenMode mode_;
  MemoryFileSystem& files_;
  std::string path_;
  std::int64_t position_ = 0;
};

[[noreturn]] void ThrowOpenError(const std::string& path, OpenMode mode, std::error_code code) {
  const bool creating = mode == OpenMode::Create || mode == OpenMode::CreateNew;
  const char* verb = creating ? "Cannot create file \"" : "Cannot open file \"";
  throw StreamError(verb + path + "\". " + SystemErrorText(code), code);
}

}  // namespace

std::shared_ptr<MemoryFile> MemoryFileSystem::Add(const std::string& path, std::int64_t lengthBytes) {
  auto file = std::make_shared<MemoryFile>(lengthBytes);
  files_[path] = file;
  return file;
}

std::shared_ptr<MemoryFile> MemoryFileSystem::Add(const std::string& path, const std::vector<std::uint8_t>& contents) {
  auto file = Add(path, 0);
  file->Put(0, contents);
  return file;
}

std::shared_ptr<MemoryFile> MemoryFileSystem::Find(const std::string& path) const {
  const auto found = files_.find(path);
  return found == files_.end() ? nullptr : found->second;
}

std::vector<std::string> MemoryFileSystem::Paths() const {
  std::vector<std::string> paths;
  for (const auto& [path, file] : files_) {
    paths.push_back(path);
  }
  return paths;
}

void MemoryFileSystem::FailOpen(const std::string& path, std::errc error) {
  failingOpens_[path] = std::make_error_code(error);
}

std::unique_ptr<ByteStream> MemoryFileSystem::Open(const std::string& path, OpenMode mode) {
  opens_.push_back(OpenRecord{path, mode});
  if (const auto failing = failingOpens_.find(path); failing != failingOpens_.end()) {
    ThrowOpenError(path, mode, failing->second);
  }
  std::shared_ptr<MemoryFile> file = Find(path);
  if (mode == OpenMode::CreateNew) {
    if (file != nullptr) ThrowOpenError(path, mode, std::make_error_code(std::errc::file_exists));
    // An output written under its temporary name meets the faults set on its final name.
    const std::string suffix = ".part";
    const bool temporary = path.size() > suffix.size() && path.compare(path.size() - suffix.size(), suffix.size(), suffix) == 0;
    const std::string finalPath = temporary ? path.substr(0, path.size() - suffix.size()) : path;
    if (const auto failing = failingOpens_.find(finalPath); failing != failingOpens_.end()) {
      ThrowOpenError(path, mode, failing->second);
    }
    const std::shared_ptr<MemoryFile> earlier = Find(finalPath);
    file = earlier != nullptr ? std::make_shared<MemoryFile>(*earlier) : std::make_shared<MemoryFile>();
    file->Truncate();
    files_[path] = file;
  } else if (mode == OpenMode::Create) {
    if (file == nullptr) {
      file = Add(path, 0);
    }
    file->Truncate();
  } else if (file == nullptr) {
    ThrowOpenError(path, mode, std::make_error_code(std::errc::no_such_file_or_directory));
  }
  return std::make_unique<MemoryStream>(file, mode, *this, path);
}

std::error_code MemoryFileSystem::Rename(const std::string& from, const std::string& to) {
  const auto found = files_.find(from);
  if (found == files_.end()) return std::make_error_code(std::errc::no_such_file_or_directory);
  if (failingRenames_.count(to) != 0) return failingRenames_[to];
  std::shared_ptr<MemoryFile> file = found->second;
  files_.erase(found);
  files_[to] = std::move(file);
  return {};
}

std::error_code MemoryFileSystem::Remove(const std::string& path) {
  return files_.erase(path) == 0 ? std::make_error_code(std::errc::no_such_file_or_directory) : std::error_code();
}

StreamOpener MemoryFileSystem::Opener() {
  return [this](const std::string& path, OpenMode mode) { return Open(path, mode); };
}

std::int64_t MemoryFileSystem::OpenCount(const std::string& path, OpenMode mode) const {
  std::int64_t count = 0;
  for (const OpenRecord& record : opens_) {
    count += record.Path == path && record.Mode == mode ? 1 : 0;
  }
  return count;
}

}  // namespace mtsrescue::test
