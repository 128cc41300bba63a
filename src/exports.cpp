// The library's entry points: each resolves its handles, calls one operation
// and returns its status.
#include "host/resolve.h"
#include "ops/blend_blt.h"
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

VELLORA_API int32_t VELLORA_CALL BlendBlt(int32_t dst_handle, int32_t dst_x, int32_t dst_y,
                                          int32_t src_handle, int32_t src_x, int32_t src_y,
                                          int32_t area_width, int32_t area_height, int32_t mode,
                                          int32_t opacity) {
  BitmapView dst;
  int32_t status = resolve_pixels(dst_handle, &dst);
  if (status != VELLORA_OK) return status;
  // Resolved before any coordinate is looked at: a bad source is reported
  // even when the area misses the destination.
  BitmapView src;
  status = resolve_pixels(src_handle, &src);
  if (status != VELLORA_OK) return second_bitmap_status(status);
  blend_blt(dst, src, dst_x, dst_y, src_x, src_y, area_width, area_height, mode, opacity);
  return VELLORA_OK;
}

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

}  // extern "C"
