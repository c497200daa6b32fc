// FileStream over POSIX file descriptors: files and block devices, 64-bit offsets.
#include "platform/FileStream.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

namespace mtsrescue {

static_assert(sizeof(off_t) == 8, "64-bit file offsets are required");

namespace {

// One read() or write() call moves at most this much; larger requests loop.
constexpr std::int64_t MaxCallBytes = std::int64_t{1} << 30;

std::error_code LastError() { return std::error_code(errno, std::system_category()); }

bool IsBlockDevice(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISBLK(info.st_mode);
}

int OpenFlags(const std::string& path, OpenMode mode) {
  switch (mode) {
    case OpenMode::ReadShared:
    case OpenMode::ReadSharedScattered:
      return O_RDONLY;
    case OpenMode::ReadWriteShared:
      return O_RDWR;
    case OpenMode::ReadWriteExclusive:
      // Without share modes, O_EXCL on a block device is the one exclusivity Linux enforces:
      // it fails with EBUSY while the device is mounted or held open exclusively elsewhere.
      return IsBlockDevice(path) ? (O_RDWR | O_EXCL) : O_RDWR;
    case OpenMode::Create:
      // A link in the output's place is never followed: it could lead to the source.
      return O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW;
    case OpenMode::CreateNew:
      return O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW;
  }
  return O_RDONLY;
}

}  // namespace

std::unique_ptr<FileStream> FileStream::Open(const std::string& path, OpenMode mode) {
  const bool creating = mode == OpenMode::Create || mode == OpenMode::CreateNew;
  int fd;
  do {
    fd = ::open(path.c_str(), OpenFlags(path, mode) | O_CLOEXEC, 0644);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    const std::error_code code = LastError();
    const char* verb = creating ? "Cannot create file \"" : "Cannot open file \"";
    throw StreamError(verb + path + "\". " + SystemErrorText(code), code, path);
  }
  if (mode == OpenMode::ReadShared) {
    // Sources are read front to back; a larger read-ahead helps the scan. Advice only.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  } else if (mode == OpenMode::ReadSharedScattered) {
    // A few KiB here and there while another stream reads the source front to back: read-ahead
    // for each would fetch megabytes that slow a card reader down.
    (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_RANDOM);
  }
  return std::unique_ptr<FileStream>(new FileStream(fd, path));
}

FileStream::~FileStream() {
  if (handle_ >= 0) {
    ::close(static_cast<int>(handle_));
  }
}

std::error_code FileStream::Seek(std::int64_t offset) {
  if (offset < 0) {
    return std::make_error_code(std::errc::invalid_argument);
  }
  if (::lseek(static_cast<int>(handle_), static_cast<off_t>(offset), SEEK_SET) < 0) {
    return LastError();
  }
  return {};
}

std::int64_t FileStream::Size() {
  const int fd = static_cast<int>(handle_);
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    return -1;
  }
  if (S_ISREG(info.st_mode)) {
    return static_cast<std::int64_t>(info.st_size);
  }
  if (S_ISBLK(info.st_mode)) {
    std::uint64_t lengthBytes = 0;
    if (::ioctl(fd, BLKGETSIZE64, &lengthBytes) != 0 || lengthBytes > INT64_MAX) {
      return -1;
    }
    return static_cast<std::int64_t>(lengthBytes);
  }
  // Anything else: the end as seek sees it, keeping the current position.
  const off_t here = ::lseek(fd, 0, SEEK_CUR);
  const off_t end = here < 0 ? -1 : ::lseek(fd, 0, SEEK_END);
  if (here >= 0) {
    ::lseek(fd, here, SEEK_SET);
  }
  return end < 0 ? -1 : static_cast<std::int64_t>(end);
}

IoResult FileStream::Read(void* buffer, std::int64_t count) {
  IoResult result;
  auto* bytes = static_cast<char*>(buffer);
  while (result.Bytes < count) {
    const std::int64_t want = std::min(count - result.Bytes, MaxCallBytes);
    const ssize_t got = ::read(static_cast<int>(handle_), bytes + result.Bytes, static_cast<size_t>(want));
    if (got < 0) {
      if (errno == EINTR) {
        continue;
      }
      result.Error = LastError();
      break;
    }
    if (got == 0) {
      break;  // end of file
    }
    result.Bytes += got;
  }
  return result;
}

IoResult FileStream::Write(const void* buffer, std::int64_t count) {
  IoResult result;
  const auto* bytes = static_cast<const char*>(buffer);
  while (result.Bytes < count) {
    const std::int64_t want = std::min(count - result.Bytes, MaxCallBytes);
    const ssize_t put = ::write(static_cast<int>(handle_), bytes + result.Bytes, static_cast<size_t>(want));
    if (put < 0) {
      if (errno == EINTR) {
        continue;
      }
      result.Error = LastError();
      break;
    }
    if (put == 0) {
      // write() promises progress or an error; treat a stall as a full device rather than spin.
      result.Error = std::make_error_code(std::errc::no_space_on_device);
      break;
    }
    result.Bytes += put;
  }
  return result;
}

std::error_code FileStream::Flush() {
  int synced = ::fsync(static_cast<int>(handle_));
  while (synced != 0 && errno == EINTR) {
    synced = ::fsync(static_cast<int>(handle_));
  }
  if (synced != 0 && errno != EINVAL && errno != EROFS) {
    return LastError();  // EINVAL/EROFS: the file cannot be synced at all, which is no write failure
  }
  return {};
}

std::error_code FileStream::CloseAs(const std::string& finalPath) {
  std::error_code code;
  if (::rename(path_.c_str(), finalPath.c_str()) != 0) {
    code = LastError();
  } else {
    path_ = finalPath;
    // The new name is on the disk only once its folder is: a crash must not leave the old one.
    const std::string::size_type slash = finalPath.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : finalPath.substr(0, slash);
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
      (void)::fsync(folderFd);  // advice: a folder that cannot be synced is no failed write
      ::close(folderFd);
    }
  }
  ::close(static_cast<int>(handle_));
  handle_ = -1;
  return code;
}

std::error_code FileStream::CloseAndRemove() {
  ::close(static_cast<int>(handle_));
  handle_ = -1;
  if (::unlink(path_.c_str()) != 0) return LastError();
  return {};
}

std::unique_ptr<ByteStream> OpenFileStream(const std::string& path, OpenMode mode) {
  return FileStream::Open(path, mode);
}

std::string SystemErrorText(std::error_code code) {
  std::string text = code.message();
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
    text.pop_back();
  }
  return text;
}

bool SameFile(const std::string& firstPath, const std::string& secondPath) {
  struct stat first {};
  struct stat second {};
  return ::stat(firstPath.c_str(), &first) == 0 && ::stat(secondPath.c_str(), &second) == 0 &&
         first.st_dev == second.st_dev && first.st_ino == second.st_ino;
}

std::string DeviceRightsText() { return "reading disks and volumes needs root rights or membership of the group disk"; }

char PathSeparator() noexcept { return '/'; }

}  // namespace mtsrescue
