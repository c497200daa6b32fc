// Windows file streams: share modes as other programs see them, 64-bit positions, UTF-8 paths
// reaching the system as UTF-16, and the system's own error texts in the open messages.
#include "platform/FileStream.h"
#include "tests/common/TempFolder.h"
#include "tests/common/WideText_win32.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <system_error>
#include <vector>

namespace mtsrescue {
namespace {

using test::TempFolder;
using test::Wide;

std::error_code Win32Error(DWORD code) { return {static_cast<int>(code), std::system_category()}; }

// The system's text for code straight from FormatMessageW, line break and all.
std::string RawSystemText(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string utf8;
  if (n > 0) {
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), nullptr, 0, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(bytes));
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(n), utf8.data(), bytes, nullptr, nullptr);
  }
  LocalFree(text);
  return utf8;
}

// Another program's handle on a file, opened with the given access and sharing.
class OtherHandle {
 public:
  OtherHandle(const std::string& path, DWORD access, DWORD share, DWORD disposition = OPEN_EXISTING)
      : handle_(CreateFileW(Wide(path).c_str(), access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr)),
        error_(handle_ == INVALID_HANDLE_VALUE ? GetLastError() : 0) {}
  ~OtherHandle() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
  DWORD Error() const { return error_; }
  HANDLE Get() const { return handle_; }

 private:
  HANDLE handle_;
  DWORD error_;
};

std::vector<std::uint8_t> Pattern(std::size_t n) {
  std::vector<std::uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  return bytes;
}

TEST(FileStreamWin32, SystemErrorTextIsFormatMessageWithoutTheLineBreak) {
  for (DWORD code : {DWORD{ERROR_FILE_NOT_FOUND}, DWORD{ERROR_ACCESS_DENIED}, DWORD{ERROR_SHARING_VIOLATION},
                     DWORD{ERROR_PATH_NOT_FOUND}, DWORD{ERROR_DISK_FULL}}) {
    std::string expected = RawSystemText(code);
    ASSERT_FALSE(expected.empty()) << code;
    while (!expected.empty() && (expected.back() == '\n' || expected.back() == '\r' || expected.back() == ' ')) {
      expected.pop_back();
    }
    EXPECT_EQ(SystemErrorText(Win32Error(code)), expected) << code;
  }
}

TEST(FileStreamWin32, SystemErrorTextOfAnUnknownCodeIsNotEmpty) {
  EXPECT_FALSE(SystemErrorText(Win32Error(0x2FFFFFFF)).empty());
}

TEST(FileStreamWin32, OpenMessagesCarryThePathAndTheSystemText) {
  TempFolder folder;
  const std::string missing = folder.File("missing.img");
  try {
    FileStream::Open(missing, OpenMode::ReadShared);
    FAIL() << "a missing file opened";
  } catch (const StreamError& e) {
    EXPECT_EQ(e.Code(), Win32Error(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + missing + "\". " + SystemErrorText(e.Code()));
  }
  const std::string inMissingFolder = folder.File("no such folder") + "\\0.MTS";
  try {
    FileStream::Open(inMissingFolder, OpenMode::Create);
    FAIL() << "a file was created in a missing folder";
  } catch (const StreamError& e) {
    EXPECT_EQ(e.Code(), Win32Error(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(std::string(e.what()), "Cannot create file \"" + inMissingFolder + "\". " + SystemErrorText(e.Code()));
  }
}

TEST(FileStreamWin32, MissingDeviceGivesTheOpenMessage) {
  const std::string device = "\\\\.\\PhysicalDrive99";
  try {
    FileStream::Open(device, OpenMode::ReadShared);
    FAIL() << "disk 99 opened";
  } catch (const StreamError& e) {
    EXPECT_TRUE(e.Code());
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + device + "\". " + SystemErrorText(e.Code()));
  }
}

TEST(FileStreamWin32, ImageHeldOpenForWritingByAnotherProgramCanBeScanned) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Pattern(4096));
  OtherHandle writer(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  ASSERT_TRUE(writer.Open()) << writer.Error();

  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  std::vector<std::uint8_t> buffer(4096);
  const IoResult read = stream->Read(buffer.data(), 4096);
  EXPECT_EQ(read.Bytes, 4096);
  EXPECT_FALSE(read.Error);
  EXPECT_EQ(buffer, Pattern(4096));
}

TEST(FileStreamWin32, ImageBeingWrittenByAProgramThatSharesOnlyReadingCanBeScanned) {
  TempFolder folder;
  const std::string path = folder.File("recording.img");
  OtherHandle recorder(path, GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  ASSERT_TRUE(recorder.Open()) << recorder.Error();
  const auto bytes = Pattern(2048);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(recorder.Get(), bytes.data(), 2048, &put, nullptr));
  // Our shared read lets others write, so it does not clash with the recorder's write access.
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  EXPECT_EQ(stream->Size(), 2048);
  std::vector<std::uint8_t> buffer(2048);
  EXPECT_EQ(stream->Read(buffer.data(), 2048).Bytes, 2048);
  EXPECT_EQ(buffer, bytes);
  // Opening it for writing as well would need the recorder to share writing: refused.
  EXPECT_THROW(FileStream::Open(path, OpenMode::ReadWriteShared), StreamError);
}

// A source that breaks off in the middle of a read, as a dying card does: a pipe whose writer goes
// away. The read returns what came before the break and the system's error, and throws nothing.
TEST(FileStreamWin32, ReadThatBreaksOffIsAnErrorValueWithTheBytesBeforeIt) {
  const std::string name = "\\\\.\\pipe\\mtsrescue-test-" + std::to_string(GetCurrentProcessId());
  const HANDLE server = CreateNamedPipeW(Wide(name).c_str(), PIPE_ACCESS_OUTBOUND, PIPE_TYPE_BYTE | PIPE_WAIT, 1,
                                         4096, 4096, 0, nullptr);
  ASSERT_NE(server, INVALID_HANDLE_VALUE) << GetLastError();
  auto stream = FileStream::Open(name, OpenMode::ReadShared);
  const auto bytes = Pattern(100);
  DWORD put = 0;
  ASSERT_TRUE(WriteFile(server, bytes.data(), 100, &put, nullptr));
  CloseHandle(server);

  std::vector<std::uint8_t> buffer(4096);
  IoResult read;
  EXPECT_NO_THROW(read = stream->Read(buffer.data(), 4096));
  EXPECT_EQ(read.Bytes, 100);
  EXPECT_EQ(read.Error, Win32Error(ERROR_BROKEN_PIPE));
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), buffer.begin()));
}

TEST(FileStreamWin32, SharedReadLetsOthersWriteButNotLock) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Pattern(512));
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  EXPECT_TRUE(OtherHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE).Open());
  // Our handle reads: an exclusive opener, or one that refuses to share reading, must be turned away.
  const OtherHandle exclusive(path, GENERIC_READ, 0);
  EXPECT_FALSE(exclusive.Open());
  EXPECT_EQ(exclusive.Error(), DWORD{ERROR_SHARING_VIOLATION});
  const OtherHandle noReaders(path, GENERIC_WRITE, FILE_SHARE_WRITE);
  EXPECT_FALSE(noReaders.Open());
}

TEST(FileStreamWin32, SharedReadIsRefusedWhenAnotherProgramLocksTheFile) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Pattern(512));
  const OtherHandle locker(path, GENERIC_READ | GENERIC_WRITE, 0);
  ASSERT_TRUE(locker.Open());
  try {
    FileStream::Open(path, OpenMode::ReadShared);
    FAIL() << "opened a file that another program holds exclusively";
  } catch (const StreamError& e) {
    EXPECT_EQ(e.Code(), Win32Error(ERROR_SHARING_VIOLATION));
    EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
  }
}

TEST(FileStreamWin32, ExclusiveOpenFailsWhileAnotherProgramHoldsTheFileAndThenLocksIt) {
  TempFolder folder;
  const std::string path = folder.WriteFile("disk.img", Pattern(512));
  {
    const OtherHandle reader(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_TRUE(reader.Open());
    EXPECT_THROW(FileStream::Open(path, OpenMode::ReadWriteExclusive), StreamError);
  }
  auto stream = FileStream::Open(path, OpenMode::ReadWriteExclusive);
  const OtherHandle late(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_FALSE(late.Open());
  EXPECT_EQ(late.Error(), DWORD{ERROR_SHARING_VIOLATION});
}

TEST(FileStreamWin32, ReadWriteSharedWritesAndLetsOthersIn) {
  TempFolder folder;
  const std::string path = folder.WriteFile("rw.img", Pattern(1024));
  auto stream = FileStream::Open(path, OpenMode::ReadWriteShared);
  EXPECT_TRUE(OtherHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE).Open());
  ASSERT_FALSE(stream->Seek(100));
  const std::uint8_t mark[3] = {0xAA, 0xBB, 0xCC};
  EXPECT_EQ(stream->Write(mark, 3).Bytes, 3);
  stream.reset();
  const auto bytes = TempFolder::ReadFile(path);
  ASSERT_EQ(bytes.size(), 1024u);
  EXPECT_EQ(bytes[99], Pattern(1024)[99]);
  EXPECT_EQ(bytes[100], 0xAA);
  EXPECT_EQ(bytes[102], 0xCC);
  EXPECT_EQ(bytes[103], Pattern(1024)[103]);
}

TEST(FileStreamWin32, CreateEmptiesAnExistingFileAndKeepsOthersOut) {
  TempFolder folder;
  const std::string path = folder.WriteFile("0.MTS", Pattern(10000));
  auto stream = FileStream::Open(path, OpenMode::Create);
  EXPECT_EQ(stream->Size(), 0);
  EXPECT_FALSE(OtherHandle(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE).Open());
  const auto bytes = Pattern(300);
  EXPECT_EQ(stream->Write(bytes.data(), 300).Bytes, 300);
  stream.reset();
  EXPECT_EQ(TempFolder::ReadFile(path), bytes);
}

TEST(FileStreamWin32, WriteThroughAReadOnlyStreamFailsWithoutThrowing) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Pattern(512));
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  const std::uint8_t byte = 1;
  IoResult result;
  EXPECT_NO_THROW(result = stream->Write(&byte, 1));
  EXPECT_EQ(result.Bytes, 0);
  EXPECT_EQ(result.Error, Win32Error(ERROR_ACCESS_DENIED));
  EXPECT_EQ(TempFolder::ReadFile(path), Pattern(512));
}

TEST(FileStreamWin32, ReadsAtAndNearTheEndComeBackShortWithoutError) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Pattern(1000));
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  EXPECT_EQ(stream->Size(), 1000);
  std::vector<std::uint8_t> buffer(512, 0xEE);
  ASSERT_FALSE(stream->Seek(800));
  IoResult read = stream->Read(buffer.data(), 512);
  EXPECT_EQ(read.Bytes, 200);
  EXPECT_FALSE(read.Error);
  EXPECT_EQ(buffer[0], Pattern(1000)[800]);
  read = stream->Read(buffer.data(), 512);
  EXPECT_EQ(read.Bytes, 0);
  EXPECT_FALSE(read.Error);
}

// A position past 4 GiB must not lose its high 32 bits on the way to the system. The file is
// sparse where the file system allows, so it costs a few bytes of disk.
TEST(FileStreamWin32, PositionsBeyondFourGiBKeepTheirHighBits) {
  TempFolder folder;
  const std::string path = folder.File("big.img");
  const std::int64_t farOffset = (std::int64_t{5} << 30) + 12345;
  {
    auto stream = FileStream::Open(path, OpenMode::Create);
    DWORD ignored = 0;
    DeviceIoControl(reinterpret_cast<HANDLE>(stream->Handle()), FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
    ASSERT_FALSE(stream->Seek(farOffset));
    const std::uint8_t mark[4] = {'M', 'A', 'R', 'K'};
    ASSERT_EQ(stream->Write(mark, 4).Bytes, 4);
    ASSERT_FALSE(stream->Seek(12345));
    const std::uint8_t low[3] = {'L', 'O', 'W'};
    ASSERT_EQ(stream->Write(low, 3).Bytes, 3);
  }
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  EXPECT_EQ(stream->Size(), farOffset + 4);
  char buffer[4] = {};
  ASSERT_FALSE(stream->Seek(farOffset));
  EXPECT_EQ(stream->Read(buffer, 4).Bytes, 4);
  EXPECT_EQ(std::string(buffer, 4), "MARK");
  ASSERT_FALSE(stream->Seek(12345));
  EXPECT_EQ(stream->Read(buffer, 3).Bytes, 3);
  EXPECT_EQ(std::string(buffer, 3), "LOW");
}

TEST(FileStreamWin32, HandleIsTheSystemHandleOfTheFile) {
  TempFolder folder;
  const std::string path = folder.WriteFile("card.img", Pattern(777));
  auto stream = FileStream::Open(path, OpenMode::ReadShared);
  LARGE_INTEGER size{};
  ASSERT_TRUE(GetFileSizeEx(reinterpret_cast<HANDLE>(stream->Handle()), &size));
  EXPECT_EQ(size.QuadPart, 777);
}

TEST(FileStreamWin32, Utf8NamesReachTheSystemAsUtf16) {
  TempFolder folder;
  // "视频" (video) as a folder, "片段.MTS" (fragment) as a file: not representable in most ANSI code pages.
  const std::string sub = folder.Path() + "\\\xE8\xA7\x86\xE9\xA2\x91";
  ASSERT_TRUE(CreateDirectoryW(Wide(sub).c_str(), nullptr));
  const std::string path = sub + "\\\xE7\x89\x87\xE6\xAE\xB5.MTS";
  {
    auto stream = FileStream::Open(path, OpenMode::Create);
    EXPECT_EQ(stream->Path(), path);
    EXPECT_EQ(stream->Write("abc", 3).Bytes, 3);
  }
  WIN32_FILE_ATTRIBUTE_DATA data{};
  ASSERT_TRUE(GetFileAttributesExW((Wide(sub) + L"\\\x7247\x6BB5.MTS").c_str(), GetFileExInfoStandard, &data));
  EXPECT_EQ(data.nFileSizeLow, 3u);
  EXPECT_EQ(FileStream::Open(path, OpenMode::ReadShared)->Size(), 3);

  const std::string missing = sub + "\\\xE6\xB2\xA1\xE6\x9C\x89.img";  // "没有" (none)
  try {
    FileStream::Open(missing, OpenMode::ReadShared);
    FAIL();
  } catch (const StreamError& e) {
    EXPECT_EQ(std::string(e.what()).rfind("Cannot open file \"" + missing + "\". ", 0), 0u) << e.what();
  }
}

// The test helpers pass UTF-8 too: a Chinese name written through them is the name the system shows.
TEST(FileStreamWin32, TestFoldersKeepUtf8NamesIntact) {
  TempFolder folder;
  const std::string name = "\xE7\x89\x87\xE6\xAE\xB5.img";  // "片段.img"
  const std::string path = folder.WriteFile(name, Pattern(64));
  EXPECT_EQ(path, folder.Path() + "\\" + name);
  EXPECT_NE(GetFileAttributesW((Wide(folder.Path()) + L"\\\x7247\x6BB5.img").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(folder.Names(), std::vector<std::string>{name});
  EXPECT_EQ(FileStream::Open(path, OpenMode::ReadShared)->Size(), 64);
  EXPECT_EQ(TempFolder::ReadFile(path), Pattern(64));
}

TEST(FileStreamWin32, SeparatorIsTheBackslash) { EXPECT_EQ(PathSeparator(), '\\'); }

}  // namespace
}  // namespace mtsrescue
