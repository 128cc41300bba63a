#include "ops/raw_transfer.h"

#include <cstring>

#include "vellora.h"

namespace vellora {

namespace {

// The checks both directions share, in the order they are reported.
int32_t check_transfer(const BitmapView& view, const void* buffer, int32_t length) {
  if (length != byte_size(view)) return ERR_SIZE_MISMATCH;
  if (buffer == nullptr && length != 0) return ERR_NULL_BUFFER;
  return VELLORA_OK;
}

}  // namespace

int32_t get_pixel_data(const BitmapView& view, uint8_t* buffer, int32_t length) {
  const int32_t status = check_transfer(view, buffer, length);
  if (status != VELLORA_OK) return status;
  // A bitmap without pixels may come with no buffer at all: copy nothing.
  if (length > 0) std::memcpy(buffer, view.pixels, static_cast<size_t>(length));
  return VELLORA_OK;
}

int32_t set_pixel_data(const BitmapView& view, const uint8_t* buffer, int32_t length) {
  const int32_t status = check_transfer(view, buffer, length);
  if (status != VELLORA_OK) return status;
  if (length > 0) std::memcpy(view.pixels, buffer, static_cast<size_t>(length));
  return VELLORA_OK;
}

}  // namespace vellora
