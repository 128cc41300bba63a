// The library's entry points: each resolves its handles, calls one operation
// and returns its status.
#include "host/resolve.h"
#include "ops/blur.h"
#include "ops/mosaic.h"
#include "ops/tone.h"
#include "vellora.h"

using namespace vellora;

extern "C" {

VELLORA_API int32_t VELLORA_CALL GetAddress(int32_t handle) {
  BitmapView view;
  const int32_t status = resolve_bitmap(handle, &view);
  if (status != VELLORA_OK) return status;
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(view.pixels));
}

VELLORA_API int32_t VELLORA_CALL Version(void) { return VELLORA_VERSION; }

VELLORA_API int32_t VELLORA_CALL ChangeTone(int32_t handle, int32_t red, int32_t green,
                                            int32_t blue, int32_t skip_transparent) {
  BitmapView view;
  const int32_t status = resolve_pixels(handle, &view);
  if (status != VELLORA_OK) return status;
  change_tone(view, red, green, blue, skip_transparent != 0);
  return VELLORA_OK;
}

VELLORA_API int32_t VELLORA_CALL InvertColor(int32_t handle) {
  BitmapView view;
  const int32_t status = resolve_pixels(handle, &view);
  if (status != VELLORA_OK) return status;
  invert_color(view);
  return VELLORA_OK;
}

VELLORA_API int32_t VELLORA_CALL Blur(int32_t handle, int32_t radius) {
  BitmapView view;
  const int32_t status = resolve_pixels(handle, &view);
  if (status != VELLORA_OK) return status;
  return blur(view, radius);
}

VELLORA_API int32_t VELLORA_CALL Mosaic(int32_t handle, int32_t x, int32_t y, int32_t area_width,
                                        int32_t area_height, int32_t block_width,
                                        int32_t block_height) {
  BitmapView view;
  const int32_t status = resolve_pixels(handle, &view);
  if (status != VELLORA_OK) return status;
  mosaic(view, x, y, area_width, area_height, block_width, block_height);
  return VELLORA_OK;
}

}  // extern "C"
