// FileStream over a FIFO: a read or write that the system moves in pieces, or interrupts by a
// signal, still moves the whole count, and only an end of file stops a read short.
#include "platform/FileStream.h"

#include "tests/common/TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mtsrescue {
namespace {

using namespace std::chrono_literals;

std::vector<std::uint8_t> Pattern(std::size_t count) {
  std::vector<std::uint8_t> bytes(count);
  for (std::size_t i = 0; i < count; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 7);
  return bytes;
}

// A handler installed without SA_RESTART, so that a blocked read() returns EINTR.
extern "C" void IgnoreSignal(int) {}

class InterruptingSignal {
 public:
  InterruptingSignal() {
    struct sigaction action {};
    action.sa_handler = IgnoreSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    sigaction(SIGUSR1, &action, &previous_);
  }
  ~InterruptingSignal() { sigaction(SIGUSR1, &previous_, nullptr); }

 private:
  struct sigaction previous_ {};
};

TEST(FileStreamPosix, ReadGathersPiecesAndSurvivesInterruptsUntilTheEnd) {
  test::TempFolder folder;
  const std::string fifo = folder.File("pieces");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::vector<std::uint8_t> data = Pattern(3000);
  InterruptingSignal signal;
  const pthread_t reader = pthread_self();
  std::atomic<bool> readerWaiting{false};

  std::thread writer([&] {
    const int fd = ::open(fifo.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    // Three pieces with pauses: each read() call sees only what has arrived. Between them the
    // reader, blocked in read(), is interrupted by a signal.
    for (std::size_t at = 0; at < data.size(); at += 1000) {
      while (!readerWaiting) std::this_thread::sleep_for(1ms);
      std::this_thread::sleep_for(20ms);
      pthread_kill(reader, SIGUSR1);
      std::this_thread::sleep_for(20ms);
      ASSERT_EQ(::write(fd, data.data() + at, 1000), 1000);
    }
    std::this_thread::sleep_for(20ms);
    ::close(fd);
  });

  auto stream = FileStream::Open(fifo, OpenMode::ReadShared);
  std::vector<std::uint8_t> buffer(4000, 0xAA);
  readerWaiting = true;
  const IoResult result = stream->Read(buffer.data(), 3000);
  EXPECT_EQ(result.Bytes, 3000);
  EXPECT_FALSE(result.Error) << result.Error.message();
  buffer.resize(3000);
  EXPECT_EQ(buffer, data);

  // The writer has closed its end: now a read comes back short, with no error.
  std::vector<std::uint8_t> more(10);
  const IoResult end = stream->Read(more.data(), 10);
  EXPECT_EQ(end.Bytes, 0);
  EXPECT_FALSE(end.Error);
  writer.join();
}

TEST(FileStreamPosix, WriteMovesTheWholeCountWhenInterruptedPartWay) {
  test::TempFolder folder;
  const std::string fifo = folder.File("sink");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // Far more than a pipe holds (64 KiB on Linux): the writer blocks until the reader drains the
  // pipe, and a signal then makes write() return the part already moved.
  const std::vector<std::uint8_t> data = Pattern(4 << 20);
  InterruptingSignal signal;
  const pthread_t writer = pthread_self();
  std::vector<std::uint8_t> received;
  std::thread reader([&] {
    const int fd = ::open(fifo.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::vector<std::uint8_t> chunk(65536);
    ssize_t got;
    int round = 0;
    while ((got = ::read(fd, chunk.data(), chunk.size())) > 0) {
      received.insert(received.end(), chunk.begin(), chunk.begin() + got);
      if (++round % 8 == 0) {
        std::this_thread::sleep_for(5ms);  // the pipe fills; the writer blocks in write()
        pthread_kill(writer, SIGUSR1);
        std::this_thread::sleep_for(5ms);
      }
    }
    ::close(fd);
  });
  // O_RDWR opens a FIFO without waiting for a reader.
  auto stream = FileStream::Open(fifo, OpenMode::ReadWriteShared);
  const IoResult result = stream->Write(data.data(), static_cast<std::int64_t>(data.size()));
  EXPECT_EQ(result.Bytes, static_cast<std::int64_t>(data.size()));
  EXPECT_FALSE(result.Error) << result.Error.message();
  stream.reset();
  reader.join();
  EXPECT_EQ(received, data);
}

}  // namespace
}  // namespace mtsrescue
