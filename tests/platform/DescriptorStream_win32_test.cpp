// DescriptorStream over a Windows handle: the copy only reads, and shared streams keep their own offsets.
#include "platform/DescriptorStream.h"
#include "tests/common/TempFolder.h"
#include "tests/common/WideText_win32.h"

#include <gtest/gtest.h>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <vector>

namespace mtsrescue {
namespace {

using test::TempFolder;
using test::Wide;

TEST(DescriptorStreamWin32, ACopyOfAWritableHandleOnlyReadsAtItsOwnOffsets) {
  TempFolder folder;
  std::vector<std::uint8_t> bytes(5000);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 1);
  const std::string path = folder.WriteFile("card.img", bytes);
  // The original could write; the copy must not.
  const HANDLE original = CreateFileW(Wide(path).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(original, INVALID_HANDLE_VALUE);
  auto first = DescriptorStream::CopyOf(reinterpret_cast<NativeHandle>(original), path);
  CloseHandle(original);
  auto second = first->Share();
  EXPECT_EQ(first->Size(), 5000);

  std::vector<std::uint8_t> a(3000), b(100);
  ASSERT_EQ(first->Read(a.data(), 2000).Bytes, 2000);
  ASSERT_FALSE(second->Seek(4950));
  EXPECT_EQ(second->Read(b.data(), 100).Bytes, 50);
  ASSERT_EQ(first->Read(a.data() + 2000, 1000).Bytes, 1000);
  EXPECT_TRUE(std::equal(a.begin(), a.end(), bytes.begin()));
  EXPECT_TRUE(std::equal(b.begin(), b.begin() + 50, bytes.begin() + 4950));

  EXPECT_EQ(second->Write(b.data(), 10).Bytes, 0);
  // Not even the handle itself writes.
  DWORD written = 0;
  EXPECT_FALSE(WriteFile(reinterpret_cast<HANDLE>(second->Handle()), b.data(), 10, &written, nullptr));
  first.reset();
  second.reset();
  EXPECT_EQ(TempFolder::ReadFile(path), bytes);
}

}  // namespace
}  // namespace mtsrescue
