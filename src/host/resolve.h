// Turning bitmap handles into views, one export call at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#include "bitmap_view.h"
#include "host/memory/memory_check.h"
#include "vellora.h"

namespace vellora {

// Where a bitmap's record and info header lie (32-bit host addresses), for
// the resize, which writes fields of both.
struct HostRecords {
  uint32_t record;
  uint32_t header;
};

class CallResolution;

// The image rows of one view that an operation asks for before it touches
// them (the rows_ready of bitmap_view.h): the host's check of their bytes
// with one access. Valid while the CallResolution that made it lives.
class RowProof {
 public:
  // Image rows first .. first + count - 1 (0 <= first, count >= 1,
  // first + count <= the view's height): VELLORA_OK, the refusal code the
  // proof was made with, or ERR_OUT_OF_MEMORY where the system could not be
  // asked. A null buffer, or one that would run past the top of the address
  // space, has no rows that can be touched.
  int32_t operator()(int32_t first, int32_t count) const;

 private:
  friend class CallResolution;
  RowProof(CallResolution* call, const BitmapView& view, host::Access access, int32_t refusal)
      : call_(call), view_(view), access_(access), refusal_(refusal) {}
  CallResolution* call_;
  BitmapView view_;
  host::Access access_;
  int32_t refusal_;
};

// The resolutions of one export call. It owns what the call holds for its
// memory checks (what they have proven, so that what one check proves spares
// the later checks of the same memory, and on Linux the pipe they probe
// through). That proof holds only while the call runs, since memory may be
// unmapped between calls: make one on the stack of each call and let it end
// with the call.
//
// Every check can also fail to be made at all (no file descriptor for the
// pipe, a sandbox that refuses every way of asking): then the call returns
// ERR_OUT_OF_MEMORY, a failure of resources, and not a code that blames the
// bitmap.
class CallResolution {
 public:
  // Walks the host's records in their fixed order; the first failing test
  // decides the code (ERR_NULL_HANDLE ... ERR_BAD_INFO_HEADER). Every record
  // is checked to be readable before it is read: unreadable object memory
  // counts as ERR_NOT_BITMAP, an unreadable data or bitmap record as
  // ERR_NO_BITMAP_RECORD, an unreadable info header as ERR_NO_INFO_HEADER.
  // The buffer is not looked at.
  int32_t header_view(int32_t handle, HeaderView* view);

  // header_view(), and where its record and header lie (for the resize).
  int32_t header_view_with_records(int32_t handle, HeaderView* view, HostRecords* records);

  // header_view(), then, where both sizes are positive, the whole buffer
  // checked for reading (ERR_BAD_PIXEL_BUFFER where width * height * 4 is
  // beyond INT32_MAX or the buffer cannot be read); the sizes stay as the
  // header holds them. For a consumer that judges the sizes itself (the PNG
  // header refuses 0 and negative ones) but must never be let past the
  // buffer.
  int32_t readable_as_stored(int32_t handle, HeaderView* view);

  // header_view(), then the size rules: a width or height of 0 or less means
  // no pixels (the view becomes 0 x 0); a width * height * 4 beyond INT32_MAX
  // gives ERR_BAD_PIXEL_BUFFER. The buffer is not looked at: for an operation
  // that checks only the rows it touches (rows()) before it touches them.
  int32_t sized(int32_t handle, BitmapView* view);

  // The gate of the operations that touch every pixel: sized(), then the
  // whole buffer checked with the given access (ERR_BAD_PIXEL_BUFFER where it
  // cannot be touched).
  int32_t pixels(int32_t handle, host::Access access, BitmapView* view);

  // The two bitmaps of a two-bitmap operation (a blend's destination and
  // source, a mask clip's target and mask) through sized(): `handle`
  // completely, and only then `second_handle`, its failure code 100 lower
  // (ERR_OUT_OF_MEMORY, which names no bitmap, as it stands).
  int32_t sized_pair(int32_t handle, int32_t second_handle, BitmapView* first, BitmapView* second);

  // The rows of a view that sized() gave, checked with `access` when the
  // operation asks for them; `refusal` is the code for rows that cannot be
  // touched.
  RowProof rows(const BitmapView& view, host::Access access, int32_t refusal) {
    return RowProof(this, view, access, refusal);
  }

  // Whether [address, address + size) can be touched with `access`:
  // VELLORA_OK, `refusal`, or ERR_OUT_OF_MEMORY where nothing could tell.
  int32_t check(uintptr_t address, size_t size, host::Access access, int32_t refusal);

  // operation(view) on what pixels() resolves, its status the operation's
  // (VELLORA_OK if it returns none), or the resolution's failure.
  template <typename Operation>
  int32_t with_pixels(int32_t handle, host::Access access, Operation operation) {
    BitmapView view;
    const int32_t status = pixels(handle, access, &view);
    return status != VELLORA_OK ? status : status_of(operation, view);
  }

  // operation(view, rows) on what sized() resolves, for an operation that
  // asks for the rows it touches: rows checks them with `access`
  // (ERR_BAD_PIXEL_BUFFER where they cannot be touched).
  template <typename Operation>
  int32_t with_rows(int32_t handle, host::Access access, Operation operation) {
    BitmapView view;
    const int32_t status = sized(handle, &view);
    if (status != VELLORA_OK) return status;
    return operation(view, rows(view, access, ERR_BAD_PIXEL_BUFFER));
  }

  // operation(first, second, first_rows, second_rows) on what sized_pair()
  // resolves: the first bitmap's rows are checked for reading and writing,
  // the second's for reading, its refusal 100 lower. Buffers are looked at
  // only after both resolutions, and only the rows the operation asks for.
  template <typename Operation>
  int32_t with_pair_rows(int32_t handle, int32_t second_handle, Operation operation) {
    BitmapView first, second;
    const int32_t status = sized_pair(handle, second_handle, &first, &second);
    if (status != VELLORA_OK) return status;
    return operation(
        first, second, rows(first, host::Access::kReadWrite, ERR_BAD_PIXEL_BUFFER),
        rows(second, host::Access::kRead, ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET));
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

  host::CallMemory memory_;
};

}  // namespace vellora
