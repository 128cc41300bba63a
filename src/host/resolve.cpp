#include "host/resolve.h"

#include <limits>

#include "host/host_layout.h"
#include "vellora.h"

namespace vellora {

namespace {

using host::Access;
using host::Address;

// Both sizes positive: does width * height * 4 fit in int32_t? The pixel
// count is below 2^62, so the 64-bit product cannot wrap; width * height * 4
// could, for a header of INT32_MAX x INT32_MAX.
bool byte_size_fits(int32_t width, int32_t height) {
  return int64_t{width} * height <= std::numeric_limits<int32_t>::max() / kBytesPerPixel;
}

}  // namespace

int32_t CallResolution::check(uintptr_t address, size_t size, Access access, int32_t refusal) {
  const host::Verdict verdict = host::check_access(address, size, access, memory_);
  if (verdict == host::Verdict::kAccessible) return VELLORA_OK;
  return verdict == host::Verdict::kInaccessible ? refusal : ERR_OUT_OF_MEMORY;
}

int32_t CallResolution::header_view(int32_t handle, HeaderView* view) {
  HostRecords records;
  return header_view_with_records(handle, view, &records);
}

int32_t CallResolution::header_view_with_records(int32_t handle, HeaderView* view,
                                                 HostRecords* records) {
  using namespace host;
  if (handle == 0) return ERR_NULL_HANDLE;

  // Reads a host field once it is known to be readable, in 32-bit address
  // arithmetic, as the host's: VELLORA_OK, or `unreadable` (ERR_OUT_OF_MEMORY
  // where nothing could tell).
  int32_t status = VELLORA_OK;
  const auto read = [&](Address base, uint32_t offset, int32_t unreadable, uint32_t* value) {
    status = check(base + offset, sizeof *value, Access::kRead, unreadable);
    if (status == VELLORA_OK) *value = read_word(base, offset);
    return status == VELLORA_OK;
  };
  const Address object = object_address(handle);
  uint32_t flags = 0;
  if (!read(object, kObjectFlags, ERR_NOT_BITMAP, &flags)) return status;
  if (flags != kHostObjectFlagsBitmap) return ERR_NOT_BITMAP;

  // The data pointer is not tested for null: a Bitmap object always has one,
  // and a wrong one fails the readability check of the next read.
  Address data = 0;
  if (!read(object, kObjectData, ERR_NOT_BITMAP, &data)) return status;
  Address record = 0;
  if (!read(data, kDataRecord, ERR_NO_BITMAP_RECORD, &record)) return status;
  if (record == 0) return ERR_NO_BITMAP_RECORD;

  Address header = 0;
  if (!read(record, kRecordHeader, ERR_NO_BITMAP_RECORD, &header)) return status;
  if (header == 0) return ERR_NO_INFO_HEADER;
  uint32_t header_size = 0;
  if (!read(header, kHeaderSize, ERR_NO_INFO_HEADER, &header_size)) return status;
  if (header_size != kInfoHeaderSize) return ERR_BAD_INFO_HEADER;

  uint32_t width = 0, height = 0;
  if (!read(header, kHeaderWidth, ERR_NO_INFO_HEADER, &width) ||
      !read(header, kHeaderHeight, ERR_NO_INFO_HEADER, &height)) {
    return status;
  }
  Address pixels = 0;
  if (!read(record, kRecordPixels, ERR_NO_BITMAP_RECORD, &pixels)) return status;

  view->width = static_cast<int32_t>(width);
  view->height = static_cast<int32_t>(height);
  view->pixels = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(pixels));
  *records = HostRecords{record, header};
  return VELLORA_OK;
}

int32_t CallResolution::readable_as_stored(int32_t handle, HeaderView* view) {
  const int32_t status = header_view(handle, view);
  if (status != VELLORA_OK || view->width <= 0 || view->height <= 0) return status;
  if (!byte_size_fits(view->width, view->height)) return ERR_BAD_PIXEL_BUFFER;
  const size_t bytes =
      size_t{kBytesPerPixel} * static_cast<size_t>(view->width) * static_cast<size_t>(view->height);
  return check(reinterpret_cast<uintptr_t>(view->pixels), bytes, Access::kRead,
               ERR_BAD_PIXEL_BUFFER);
}

int32_t CallResolution::sized(int32_t handle, BitmapView* view) {
  HeaderView header;
  const int32_t status = header_view(handle, &header);
  if (status != VELLORA_OK) return status;
  if (header.width <= 0 || header.height <= 0) {
    *view = BitmapView{0, 0, header.pixels};
    return VELLORA_OK;
  }
  if (!byte_size_fits(header.width, header.height)) return ERR_BAD_PIXEL_BUFFER;
  *view = BitmapView{header.width, header.height, header.pixels};
  return VELLORA_OK;
}

int32_t CallResolution::pixels(int32_t handle, Access access, BitmapView* view) {
  const int32_t status = sized(handle, view);
  if (status != VELLORA_OK || view->height == 0) return status;
  return rows(*view, access, ERR_BAD_PIXEL_BUFFER)(0, view->height);
}

int32_t CallResolution::sized_pair(int32_t handle, int32_t second_handle, BitmapView* first,
                                   BitmapView* second) {
  const int32_t status = sized(handle, first);
  if (status != VELLORA_OK) return status;
  // A check that could not be made is no code of the second bitmap.
  const int32_t second_status = sized(second_handle, second);
  if (second_status == VELLORA_OK || second_status == ERR_OUT_OF_MEMORY) return second_status;
  return second_status - ERR_SECOND_BITMAP_OFFSET;
}

int32_t RowProof::operator()(int32_t first, int32_t count) const {
  const auto start = reinterpret_cast<uintptr_t>(view_.pixels);
  const auto size = static_cast<size_t>(byte_size(view_));
  if (start == 0 || start + (size - 1) < start) return refusal_;
  // Image rows are stored bottom-up: rows first .. first + count - 1 are the
  // stored rows height - first - count .. height - 1 - first, one run of bytes.
  const auto row = static_cast<size_t>(row_bytes(view_));
  const auto lowest = static_cast<size_t>(view_.height - first - count);
  return call_->check(start + lowest * row, static_cast<size_t>(count) * row, access_, refusal_);
}

}  // namespace vellora
