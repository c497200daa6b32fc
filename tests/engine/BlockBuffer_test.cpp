// The read and copy buffer starts on a page boundary, whatever the allocator hands out around it.
#include "engine/BlockBuffer.h"

#include "engine/EngineConstants.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace mtsrescue {
namespace {

TEST(BlockBufferTest, EveryBufferIsPageAligned) {
  // Small allocations in between shift where an unaligned allocator would place the next one.
  std::vector<std::unique_ptr<char[]>> clutter;
  for (int i = 0; i < 8; ++i) {
    clutter.emplace_back(new char[static_cast<std::size_t>(17 * i + 1)]);
    BlockBuffer buffer(static_cast<std::size_t>(BlockBytes));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(buffer.data()) % BufferAlignment, 0u);
    BlockBuffer grown;
    grown.resize(static_cast<std::size_t>(BlockBytes));
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(grown.data()) % BufferAlignment, 0u);
  }
}

}  // namespace
}  // namespace mtsrescue
