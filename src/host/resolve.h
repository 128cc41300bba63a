// Turning bitmap handles into BitmapViews, one export call at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "bitmap_view.h"
#include "host/memory_probe.h"
#include "vellora.h"

namespace vellora {

// Where a bitmap's record and info header lie (32-bit host addresses), for
// the resize, which writes fields of both.
struct HostRecords {
  uint32_t record;
  uint32_t header;
};

// The resolutions of one export call. It owns what the call has proven about
// the host's memory, so that what one check proves spares the later checks
// of the same memory (a bitmap's records, a blend's source after its
// destination). That proof holds only while the call runs, since memory may
// be unmapped between calls: make one on the stack of each call and let it
// end with the call.
class CallResolution {
 public:
  // Walks the host's records in their fixed order; the first failing test
  // decides the code (ERR_NULL_HANDLE ... ERR_BAD_INFO_HEADER). Every record
  // is checked to be readable before it is read: unreadable object memory
  // counts as ERR_NOT_BITMAP, an unreadable data or bitmap record as
  // ERR_NO_BITMAP_RECORD, an unreadable info header as ERR_NO_INFO_HEADER.
  // On success the view holds the header's width and height as stored.
  int32_t bitmap(int32_t handle, BitmapView* view);

  // bitmap(), and where its record and header lie (for the resize).
  int32_t bitmap_with_records(int32_t handle, BitmapView* view, HostRecords* records);

  // The gate of every pixel operation: sized(), then the whole buffer
  // checked with the given access (ERR_BAD_PIXEL_BUFFER where it cannot be
  // touched).
  int32_t pixels(int32_t handle, host::Access access, BitmapView* view);

  // bitmap(), then the size rules: a width or height of 0 or less means no
  // pixels (the view becomes 0 x 0); a width * height * 4 beyond INT32_MAX
  // gives ERR_BAD_PIXEL_BUFFER. The buffer is not looked at: for an operation
  // that checks only the rows it touches (rows_accessible) before it touches
  // them.
  int32_t sized(int32_t handle, BitmapView* view);

  // Whether image rows first .. first + count - 1 of a view that sized()
  // gave (0 <= first, count >= 1, first + count <= its height) can be touched
  // with `access`.
  bool rows_accessible(const BitmapView& view, int32_t first, int32_t count, host::Access access);

  // bitmap() with pixels()' buffer rules for reading, the sizes left as the
  // header holds them: for a consumer that judges the sizes itself (the PNG
  // header refuses 0 and negative ones) but must never be let past the
  // buffer.
  int32_t bounded(int32_t handle, BitmapView* view);

  // The two bitmaps of a two-bitmap operation (a blend's destination and
  // source, a mask clip's target and mask): `handle` through pixels()
  // completely, for reading and writing, and only then `second_handle`, for
  // reading, its failure code 100 lower.
  int32_t pair(int32_t handle, int32_t second_handle, BitmapView* first, BitmapView* second);

  // pair() with sized() in place of pixels(): the buffers are not looked at.
  int32_t sized_pair(int32_t handle, int32_t second_handle, BitmapView* first, BitmapView* second);

  // Whether [address, address + size) can be touched with `access`.
  bool accessible(uintptr_t address, size_t size, host::Access access);

  // operation(view) on what pixels() resolves, its status the operation's
  // (VELLORA_OK if it returns none), or the resolution's failure.
  template <typename Operation>
  int32_t with_pixels(int32_t handle, host::Access access, Operation operation) {
    BitmapView view;
    const int32_t status = pixels(handle, access, &view);
    return status != VELLORA_OK ? status : status_of(operation, view);
  }

  // operation(first, second) on what pair() resolves, likewise.
  template <typename Operation>
  int32_t with_pair(int32_t handle, int32_t second_handle, Operation operation) {
    BitmapView first, second;
    const int32_t status = pair(handle, second_handle, &first, &second);
    return status != VELLORA_OK ? status : status_of(operation, first, second);
  }

 private:
  template <typename Operation, typename... Views>
  static int32_t status_of(Operation& operation, const Views&... views) {
    if constexpr (std::is_void_v<decltype(operation(views...))>) {
      operation(views...);
      return VELLORA_OK;
    } else {
      return operation(views...);
    }
  }

  host::ProvenRanges proven_;
};

}  // namespace vellora
