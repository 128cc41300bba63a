#include "host/resolve.h"

#include <limits>

#include "host/host_memory.h"
#include "vellora.h"

namespace vellora {

namespace {

using host::Address;

// Both sizes positive: does width * height * 4 fit in int32_t? The pixel
// count is below 2^62, so the 64-bit product cannot wrap; width * height * 4
// could, for a header of INT32_MAX x INT32_MAX.
bool byte_size_fits(const BitmapView& view) {
  return int64_t{view.width} * view.height <= std::numeric_limits<int32_t>::max() / kBytesPerPixel;
}

}  // namespace

bool CallResolution::accessible(uintptr_t address, size_t size, host::Access access) {
  return host::is_accessible(address, size, access, proven_);
}

int32_t CallResolution::bitmap(int32_t handle, BitmapView* view) {
  HostRecords records;
  return bitmap_with_records(handle, view, &records);
}

int32_t CallResolution::bitmap_with_records(int32_t handle, BitmapView* view,
                                            HostRecords* records) {
  using namespace host;
  if (handle == 0) return ERR_NULL_HANDLE;

  // Reads a host field once it is known to be readable; 32-bit address
  // arithmetic, as the host's.
  const auto read = [this](Address base, uint32_t offset, uint32_t* value) {
    if (!accessible(base + offset, sizeof *value, Access::kRead)) return false;
    *value = read_word(base, offset);
    return true;
  };
  const Address object = object_address(handle);
  uint32_t flags = 0;
  if (!read(object, kObjectFlags, &flags) || flags != kHostObjectFlagsBitmap) {
    return ERR_NOT_BITMAP;
  }

  // The data pointer is not tested for null: a Bitmap object always has one,
  // and a wrong one fails the readability check of the next read.
  Address data = 0;
  if (!read(object, kObjectData, &data)) return ERR_NOT_BITMAP;
  Address record = 0;
  if (!read(data, kDataRecord, &record) || record == 0) return ERR_NO_BITMAP_RECORD;

  Address header = 0;
  if (!read(record, kRecordHeader, &header)) return ERR_NO_BITMAP_RECORD;
  if (header == 0) return ERR_NO_INFO_HEADER;
  uint32_t header_size = 0;
  if (!read(header, kHeaderSize, &header_size)) return ERR_NO_INFO_HEADER;
  if (header_size != kInfoHeaderSize) return ERR_BAD_INFO_HEADER;

  uint32_t width = 0, height = 0;
  if (!read(header, kHeaderWidth, &width) || !read(header, kHeaderHeight, &height)) {
    return ERR_NO_INFO_HEADER;
  }
  Address pixels = 0;
  if (!read(record, kRecordPixels, &pixels)) return ERR_NO_BITMAP_RECORD;

  view->width = static_cast<int32_t>(width);
  view->height = static_cast<int32_t>(height);
  view->pixels = reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(pixels));
  *records = HostRecords{record, header};
  return VELLORA_OK;
}

int32_t CallResolution::sized(int32_t handle, BitmapView* view) {
  const int32_t status = bitmap(handle, view);
  if (status != VELLORA_OK) return status;
  if (view->width <= 0 || view->height <= 0) {
    view->width = 0;
    view->height = 0;
    return VELLORA_OK;
  }
  return byte_size_fits(*view) ? VELLORA_OK : ERR_BAD_PIXEL_BUFFER;
}

bool CallResolution::rows_accessible(const BitmapView& view, int32_t first, int32_t count,
                                     host::Access access) {
  // Image rows are stored bottom-up: rows first .. first + count - 1 are the
  // stored rows height - first - count .. height - 1 - first, one run of bytes.
  const auto row = static_cast<size_t>(row_bytes(view));
  const auto lowest = static_cast<size_t>(view.height - first - count);
  return accessible(reinterpret_cast<uintptr_t>(view.pixels) + lowest * row,
                    static_cast<size_t>(count) * row, access);
}

int32_t CallResolution::pixels(int32_t handle, host::Access access, BitmapView* view) {
  const int32_t status = sized(handle, view);
  if (status != VELLORA_OK || view->height == 0) return status;
  return rows_accessible(*view, 0, view->height, access) ? VELLORA_OK : ERR_BAD_PIXEL_BUFFER;
}

int32_t CallResolution::bounded(int32_t handle, BitmapView* view) {
  const int32_t status = bitmap(handle, view);
  if (status != VELLORA_OK) return status;
  if (view->width > 0 && view->height > 0 &&
      (!byte_size_fits(*view) ||
       !accessible(reinterpret_cast<uintptr_t>(view->pixels), static_cast<size_t>(byte_size(*view)),
                   host::Access::kRead))) {
    return ERR_BAD_PIXEL_BUFFER;
  }
  return VELLORA_OK;
}

int32_t CallResolution::pair(int32_t handle, int32_t second_handle, BitmapView* first,
                             BitmapView* second) {
  const int32_t status = pixels(handle, host::Access::kReadWrite, first);
  if (status != VELLORA_OK) return status;
  const int32_t second_status = pixels(second_handle, host::Access::kRead, second);
  return second_status == VELLORA_OK ? VELLORA_OK : second_status - ERR_SECOND_BITMAP_OFFSET;
}

int32_t CallResolution::sized_pair(int32_t handle, int32_t second_handle, BitmapView* first,
                                   BitmapView* second) {
  const int32_t status = sized(handle, first);
  if (status != VELLORA_OK) return status;
  const int32_t second_status = sized(second_handle, second);
  return second_status == VELLORA_OK ? VELLORA_OK : second_status - ERR_SECOND_BITMAP_OFFSET;
}

}  // namespace vellora
