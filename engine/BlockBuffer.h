// The read and copy buffer: page-aligned, because the kernel copies into a misaligned buffer
// about a third slower (measured: 31 vs 21 GB/s from the page cache into a buffer 16 bytes off).
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace mtsrescue {

inline constexpr std::size_t BufferAlignment = 4096;

template <typename T>
struct PageAlignedAllocator {
  using value_type = T;
  PageAlignedAllocator() noexcept = default;
  template <typename U>
  PageAlignedAllocator(const PageAlignedAllocator<U>&) noexcept {}
  T* allocate(std::size_t count) {
    return static_cast<T*>(::operator new(count * sizeof(T), std::align_val_t{BufferAlignment}));
  }
  void deallocate(T* pointer, std::size_t) noexcept {
    ::operator delete(pointer, std::align_val_t{BufferAlignment});
  }
  template <typename U>
  bool operator==(const PageAlignedAllocator<U>&) const noexcept { return true; }
};

using BlockBuffer = std::vector<std::uint8_t, PageAlignedAllocator<std::uint8_t>>;

}  // namespace mtsrescue
