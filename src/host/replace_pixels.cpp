#include "host/replace_pixels.h"

#include <cstdlib>
#include <limits>

#include "host/host_layout.h"
#include "host/memory/memory_check.h"
#include "host/resolve.h"
#include "vellora.h"

namespace vellora {

int32_t check_new_size(int32_t new_width, int32_t new_height) {
  if (new_width <= 0 || new_height <= 0) return ERR_BAD_SIZE;
  // Both sides are below 2^31, so the pixel count fits in 64 bits; the byte
  // count might not.
  const int64_t pixels = int64_t{new_width} * new_height;
  if (pixels > std::numeric_limits<int32_t>::max() / kBytesPerPixel) return ERR_BAD_SIZE;
  return VELLORA_OK;
}

int32_t replace_pixel_buffer(int32_t handle, int32_t new_width, int32_t new_height) {
  using namespace host;
  const int32_t size_status = check_new_size(new_width, new_height);
  if (size_status != VELLORA_OK) return size_status;
  // The old size plays no part: its pixels are discarded, not read.
  HeaderView old{};
  HostRecords records{};
  CallResolution call;
  int32_t status = call.header_view_with_records(handle, &old, &records);
  if (status != VELLORA_OK) return status;
  const Address record = records.record;
  const Address header = records.header;
  // The three fields written below must take a write, not only a read:
  // biWidth and biHeight, 8 bytes that may lie on two pages, and the
  // pixels pointer.
  status = call.check(header + kHeaderWidth, 2 * sizeof(uint32_t), Access::kReadWrite,
                      ERR_NO_INFO_HEADER);
  if (status != VELLORA_OK) return status;
  status = call.check(record + kRecordPixels, sizeof(uint32_t), Access::kReadWrite,
                      ERR_NO_BITMAP_RECORD);
  if (status != VELLORA_OK) return status;
  // free() works on the heap's bookkeeping around the block before it gives
  // the block back: a pixels pointer into memory it cannot touch there would
  // fault inside free, so it is refused, not released. It reads the chunk's
  // header of two words just before the pointer (glibc's size and previous
  // size; the heap entry of Windows' heap, under msvcrt's free), and writes
  // the links of its free lists into the block's first two words. Those
  // header words are only read, never written, not even by the check: on
  // i386 glibc the first of them is the last word of the previous chunk,
  // another allocation that another thread may be writing. What lies further
  // (the next chunk's header, at a distance that the header's own size
  // gives) and whether a mapped pointer is the heap's at all cannot be
  // checked.
  constexpr uint32_t kHeapWords = 2 * sizeof(uint32_t);
  const auto block = reinterpret_cast<uintptr_t>(old.pixels);
  if (old.pixels != nullptr) {
    if (block < kHeapWords) return ERR_BAD_PIXEL_BUFFER;
    status = call.check(block - kHeapWords, kHeapWords, Access::kRead, ERR_BAD_PIXEL_BUFFER);
    if (status != VELLORA_OK) return status;
    status = call.check(block, kHeapWords, Access::kReadWrite, ERR_BAD_PIXEL_BUFFER);
    if (status != VELLORA_OK) return status;
  }

  // calloc: malloc and a clear in one, from the same heap the host frees to.
  const size_t bytes = static_cast<size_t>(new_width) * static_cast<size_t>(new_height) * 4u;
  void* fresh = std::calloc(bytes, 1);
  if (fresh == nullptr) return ERR_OUT_OF_MEMORY;

  std::free(old.pixels);
  write_word(header, kHeaderWidth, static_cast<uint32_t>(new_width));
  write_word(header, kHeaderHeight, static_cast<uint32_t>(new_height));
  write_word(record, kRecordPixels, static_cast<uint32_t>(reinterpret_cast<uintptr_t>(fresh)));
  return VELLORA_OK;
}

}  // namespace vellora
