#include "host/resolve.h"

#include <limits>

#include "host/host_memory.h"
#include "vellora.h"

namespace vellora {

int32_t resolve_bitmap(int32_t handle, BitmapView* view) {
  using namespace host;
  if (handle == 0) return ERR_NULL_HANDLE;

  const Address object = object_address(handle);
  if (read_word(object, kObjectFlags) != kHostObjectFlagsBitmap) return ERR_NOT_BITMAP;

  // The data pointer itself is not tested: a Bitmap object always has one.
  const Address data = read_word(object, kObjectData);
  const Address record = read_word(data, kDataRecord);
  if (record == 0) return ERR_NO_BITMAP_RECORD;

  const Address header = read_word(record, kRecordHeader);
  if (header == 0) return ERR_NO_INFO_HEADER;
  if (read_word(header, kHeaderSize) != kInfoHeaderSize) return ERR_BAD_INFO_HEADER;

  view->width = static_cast<int32_t>(read_word(header, kHeaderWidth));
  view->height = static_cast<int32_t>(read_word(header, kHeaderHeight));
  view->pixels =
      reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(read_word(record, kRecordPixels)));
  return VELLORA_OK;
}

int32_t resolve_pixels(int32_t handle, BitmapView* view) {
  const int32_t status = resolve_bitmap(handle, view);
  if (status != VELLORA_OK) return status;

  if (view->width <= 0 || view->height <= 0) {
    view->width = 0;
    view->height = 0;
    return VELLORA_OK;
  }
  // The pixel count of two int32_t sides fits in 64 bits; its byte count
  // might not, so the bound is divided instead.
  const int64_t pixels = int64_t{view->width} * view->height;
  if (pixels > std::numeric_limits<int32_t>::max() / kBytesPerPixel) return ERR_BAD_PIXEL_BUFFER;
  return VELLORA_OK;
}

int32_t second_bitmap_status(int32_t status) {
  return status == VELLORA_OK ? status : status - ERR_SECOND_BITMAP_OFFSET;
}

}  // namespace vellora
