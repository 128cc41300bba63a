#include "host/resolve.h"

#include <limits>

#include "host/host_memory.h"
#include "vellora.h"

namespace vellora {

namespace {

using host::Address;

// Reads host fields after making sure they can be read; what one check
// proves (a whole region on Windows, whole pages on Linux) spares the checks
// of the fields that lie in it.
struct GuardedReader {
  host::ProvenRanges* proven;

  bool read(Address base, uint32_t offset, uint32_t* value) {
    const Address first = base + offset;  // 32-bit address arithmetic, as the host's
    if (!host::is_accessible(first, sizeof *value, host::Access::kRead, proven)) return false;
    *value = host::read_word(base, offset);
    return true;
  }
};

// Both sizes positive: does width * height * 4 fit in int32_t? The pixel
// count is below 2^62, so the 64-bit product cannot wrap; width * height * 4
// could, for a header of INT32_MAX x INT32_MAX.
bool byte_size_fits(const BitmapView& view) {
  return int64_t{view.width} * view.height <= std::numeric_limits<int32_t>::max() / kBytesPerPixel;
}

// Both sizes positive and the byte size fits: is every byte of the buffer
// mapped with the access the operation needs?
bool buffer_accessible(const BitmapView& view, host::Access access, host::ProvenRanges* proven) {
  return host::is_accessible(reinterpret_cast<uintptr_t>(view.pixels),
                             static_cast<size_t>(byte_size(view)), access, proven);
}

}  // namespace

int32_t resolve_bitmap(int32_t handle, BitmapView* view, host::ProvenRanges* proven,
                       HostRecords* records) {
  using namespace host;
  if (handle == 0) return ERR_NULL_HANDLE;

  ProvenRanges own;
  GuardedReader reader{proven != nullptr ? proven : &own};
  const Address object = object_address(handle);
  uint32_t flags = 0;
  if (!reader.read(object, kObjectFlags, &flags) || flags != kHostObjectFlagsBitmap) {
    return ERR_NOT_BITMAP;
  }

  // The data pointer is not tested for null: a Bitmap object always has one,
  // and a wrong one fails the readability check of the next read.
  Address data = 0;
  if (!reader.read(object, kObjectData, &data)) return ERR_NOT_BITMAP;
  Address record = 0;
  if (!reader.read(data, kDataRecord, &record) || record == 0) return ERR_NO_BITMAP_RECORD;

  Address header = 0;
  if (!reader.read(record, kRecordHeader, &header)) return ERR_NO_BITMAP_RECORD;
  if (header == 0) return ERR_NO_INFO_HEADER;
  uint32_t header_size = 0;
  if (!reader.read(header, kHeaderSize, &header_size)) return ERR_NO_INFO_HEADER;
  if (header_size != kInfoHeaderSize) return ERR_BAD_INFO_HEADER;

  uint32_t width = 0, height = 0;
  if (!reader.read(header, kHeaderWidth, &width) || !reader.read(header, kHeaderHeight, &height)) {
    return ERR_NO_INFO_HEADER;
  }
  Address pixels = 0;
  if (!reader.read(record, kRecordPixels, &pixels)) return ERR_NO_BITMAP_RECORD;

  view->width = static_cast<int32_t>(width);
  view->height = static_cast<int32_t>(height);
  view->pixels = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(pixels));
  if (records != nullptr) *records = HostRecords{record, header};
  return VELLORA_OK;
}

int32_t resolve_pixels(int32_t handle, BitmapView* view, host::Access access,
                       host::ProvenRanges* proven) {
  host::ProvenRanges own;
  if (proven == nullptr) proven = &own;
  const int32_t status = resolve_bitmap(handle, view, proven);
  if (status != VELLORA_OK) return status;

  if (view->width <= 0 || view->height <= 0) {
    view->width = 0;
    view->height = 0;
    return VELLORA_OK;
  }
  if (!byte_size_fits(*view) || !buffer_accessible(*view, access, proven)) {
    return ERR_BAD_PIXEL_BUFFER;
  }
  return VELLORA_OK;
}

int32_t resolve_bitmap_bounded(int32_t handle, BitmapView* view) {
  host::ProvenRanges proven;
  const int32_t status = resolve_bitmap(handle, view, &proven);
  if (status != VELLORA_OK) return status;
  if (view->width > 0 && view->height > 0 &&
      (!byte_size_fits(*view) || !buffer_accessible(*view, host::Access::kRead, &proven))) {
    return ERR_BAD_PIXEL_BUFFER;
  }
  return VELLORA_OK;
}

int32_t second_bitmap_status(int32_t status) {
  return status == VELLORA_OK ? status : status - ERR_SECOND_BITMAP_OFFSET;
}

int32_t resolve_pixels_pair(int32_t handle, int32_t second_handle, BitmapView* first,
                            BitmapView* second) {
  host::ProvenRanges proven;
  const int32_t status = resolve_pixels(handle, first, host::Access::kReadWrite, &proven);
  if (status != VELLORA_OK) return status;
  return second_bitmap_status(resolve_pixels(second_handle, second, host::Access::kRead, &proven));
}

}  // namespace vellora
