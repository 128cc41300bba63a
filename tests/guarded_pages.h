// Pages with chosen access rights, for handing the library wild pointers.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#include <windows.h>
#else
#include <sys/mman.h>
#endif

namespace vtest {

inline constexpr size_t kPage = 4096;

#if !defined(_WIN32)
// Host memory lies below 4 GiB, where a 32-bit host has all of its memory: a
// 64-bit build (x86_64-host) maps its test pages in the low 2 GiB.
#if UINTPTR_MAX > UINT32_MAX
inline constexpr int kBelow4GiB = MAP_32BIT;
#else
inline constexpr int kBelow4GiB = 0;
#endif
#endif

enum class PageAccess { kNone, kRead, kReadWrite };

// `count` pages of read-write memory, released on destruction.
class Pages {
 public:
  explicit Pages(size_t count) : size_(count * kPage) {
#if defined(_WIN32)
    base_ = static_cast<uint8_t*>(
        VirtualAlloc(nullptr, size_, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
#else
    void* p = mmap(nullptr, size_, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | kBelow4GiB, -1, 0);
    base_ = p == MAP_FAILED ? nullptr : static_cast<uint8_t*>(p);
#endif
  }
  ~Pages() {
#if defined(_WIN32)
    VirtualFree(base_, 0, MEM_RELEASE);
#else
    munmap(base_, size_);
#endif
  }
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;

  uint8_t* page(size_t index) const { return base_ + index * kPage; }
  uintptr_t address(size_t index, size_t offset) const {
    return reinterpret_cast<uintptr_t>(page(index)) + offset;
  }

  void protect(size_t index, PageAccess access) const {
#if defined(_WIN32)
    const DWORD flags = access == PageAccess::kNone   ? PAGE_NOACCESS
                        : access == PageAccess::kRead ? PAGE_READONLY
                                                      : PAGE_READWRITE;
    DWORD old = 0;
    VirtualProtect(page(index), kPage, flags, &old);
#else
    const int flags = access == PageAccess::kNone   ? PROT_NONE
                      : access == PageAccess::kRead ? PROT_READ
                                                    : PROT_READ | PROT_WRITE;
    mprotect(page(index), kPage, flags);
#endif
  }

 private:
  size_t size_;
  uint8_t* base_;
};

// Takes all the address space it can, reserved without access, in blocks
// from 256 MiB down to 64 KiB, and gives it back on destruction: while it
// lives, no allocation of 64 KiB or more can be had from the system.
class AddressSpaceFiller {
 public:
  AddressSpaceFiller() {
    for (size_t size = size_t{256} << 20; size >= (size_t{64} << 10); size /= 2) {
      while (count_ < kMaxBlocks) {
        void* p = reserve(size);
        if (p == nullptr) break;
        blocks_[count_] = p;
        sizes_[count_] = size;
        ++count_;
      }
    }
  }
  ~AddressSpaceFiller() {
    for (size_t i = 0; i < count_; ++i) {
#if defined(_WIN32)
      VirtualFree(blocks_[i], 0, MEM_RELEASE);
#else
      munmap(blocks_[i], sizes_[i]);
#endif
    }
  }
  AddressSpaceFiller(const AddressSpaceFiller&) = delete;
  AddressSpaceFiller& operator=(const AddressSpaceFiller&) = delete;

 private:
  static void* reserve(size_t size) {
#if defined(_WIN32)
    return VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
#else
    void* p = mmap(nullptr, size, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
    return p == MAP_FAILED ? nullptr : p;
#endif
  }
  // The bookkeeping lives in the object itself: nothing is allocated while
  // the address space runs out.
  static constexpr size_t kMaxBlocks = 4096;
  void* blocks_[kMaxBlocks] = {};
  size_t sizes_[kMaxBlocks] = {};
  size_t count_ = 0;
};

}  // namespace vtest
