// DescriptorStream over POSIX descriptors: positional reads, so that streams can share one.
#include "platform/DescriptorStream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mtsrescue {

namespace {

constexpr std::int64_t MaxCallBytes = std::int64_t{1} << 30;

std::error_code LastError() { return std::error_code(errno, std::system_category()); }

}  // namespace

struct DescriptorStream::Owner {
  explicit Owner(int fd) : Fd(fd) {}
  ~Owner() { ::close(Fd); }
  Owner(const Owner&) = delete;
  Owner& operator=(const Owner&) = delete;
  int Fd;
};

std::unique_ptr<DescriptorStream> DescriptorStream::CopyOf(NativeHandle handle, const std::string& path) {
  const int fd = static_cast<int>(handle);
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0) {
    const std::error_code code = LastError();
    throw StreamError("Cannot open file \"" + path + "\". " + SystemErrorText(code), code);
  }
  // A source is never written; a descriptor that could write is not taken, whoever offers it.
  if ((flags & O_ACCMODE) != O_RDONLY) {
    throw StreamError("Cannot open file \"" + path + "\". The descriptor handed over is open for writing",
                      std::make_error_code(std::errc::permission_denied));
  }
  const int copy = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
  if (copy < 0) {
    const std::error_code code = LastError();
    throw StreamError("Cannot open file \"" + path + "\". " + SystemErrorText(code), code);
  }
  (void)::posix_fadvise(copy, 0, 0, POSIX_FADV_SEQUENTIAL);  // advice only, as for sources opened by path
  return std::unique_ptr<DescriptorStream>(new DescriptorStream(std::make_shared<Owner>(copy), path));
}

std::unique_ptr<DescriptorStream> DescriptorStream::Share() const {
  return std::unique_ptr<DescriptorStream>(new DescriptorStream(owner_, path_));
}

NativeHandle DescriptorStream::Handle() const noexcept { return owner_->Fd; }

std::error_code DescriptorStream::Seek(std::int64_t offset) {
  if (offset < 0) return std::make_error_code(std::errc::invalid_argument);
  positionBytes_ = offset;
  return {};
}

std::int64_t DescriptorStream::Size() {
  struct stat info {};
  if (::fstat(owner_->Fd, &info) != 0) return -1;
  if (S_ISREG(info.st_mode)) return static_cast<std::int64_t>(info.st_size);
  if (S_ISBLK(info.st_mode)) {
    std::uint64_t lengthBytes = 0;
    if (::ioctl(owner_->Fd, BLKGETSIZE64, &lengthBytes) != 0 || lengthBytes > INT64_MAX) return -1;
    return static_cast<std::int64_t>(lengthBytes);
  }
  return -1;
}

IoResult DescriptorStream::Read(void* buffer, std::int64_t count) {
  IoResult result;
  auto* bytes = static_cast<char*>(buffer);
  while (result.Bytes < count) {
    const std::int64_t want = std::min(count - result.Bytes, MaxCallBytes);
    const ssize_t got = ::pread(owner_->Fd, bytes + result.Bytes, static_cast<size_t>(want),
                                static_cast<off_t>(positionBytes_));
    if (got < 0) {
      if (errno == EINTR) continue;
      result.Error = LastError();
      break;
    }
    if (got == 0) break;  // end of file
    result.Bytes += got;
    positionBytes_ += got;
  }
  return result;
}

IoResult DescriptorStream::Write(const void*, std::int64_t) {
  return {0, std::make_error_code(std::errc::bad_file_descriptor)};
}

}  // namespace mtsrescue
