// The library's entry points: each resolves its handles for this one call
// (CallResolution), calls one operation and returns its status.
#include "host/game_window.h"
#include "host/replace_pixels.h"
#include "host/resolve.h"
#include "ops/blend_blt.h"
#include "ops/blur.h"
#include "ops/clip_mask.h"
#include "ops/mosaic.h"
#include "ops/raw_transfer.h"
#include "ops/tone.h"
#include "png/png_save.h"
#include "vellora.h"

using namespace vellora;

extern "C" {

VELLORA_API int32_t VELLORA_CALL GetAddress(int32_t handle) {
  HeaderView bitmap;
  const int32_t status = CallResolution().header_view(handle, &bitmap);
  if (status != VELLORA_OK) return status;
  return static_cast<int32_t>(reinterpret_cast<uintptr_t>(bitmap.pixels));
}

VELLORA_API int32_t VELLORA_CALL Version(void) { return VELLORA_VERSION; }

VELLORA_API int32_t VELLORA_CALL BlendBlt(int32_t dst_handle, int32_t dst_x, int32_t dst_y,
                                          int32_t src_handle, int32_t src_x, int32_t src_y,
                                          int32_t area_width, int32_t area_height, int32_t mode,
                                          int32_t opacity) {
  // Only the rows of each buffer that the clipped area covers are checked: a
  // sprite drawn onto the screen proves a few of the screen's pages, not all.
  return CallResolution().with_pair_rows(dst_handle, src_handle,
                                         [&](const BitmapView& dst, const BitmapView& src,
                                             const RowProof& dst_rows, const RowProof& src_rows) {
                                           return blend_blt(dst, src, dst_x, dst_y, src_x, src_y,
                                                            area_width, area_height, mode, opacity,
                                                            dst_rows, src_rows);
                                         });
}

VELLORA_API int32_t VELLORA_CALL ChangeTone(int32_t handle, int32_t red, int32_t green,
                                            int32_t blue, int32_t skip_transparent) {
  return CallResolution().with_pixels(
      handle, host::Access::kReadWrite,
      [&](const BitmapView& view) { change_tone(view, red, green, blue, skip_transparent != 0); });
}

VELLORA_API int32_t VELLORA_CALL InvertColor(int32_t handle) {
  return CallResolution().with_pixels(handle, host::Access::kReadWrite,
                                      [](const BitmapView& view) { invert_color(view); });
}

VELLORA_API int32_t VELLORA_CALL Blur(int32_t handle, int32_t radius) {
  return CallResolution().with_pixels(handle, host::Access::kReadWrite,
                                      [&](const BitmapView& view) { return blur(view, radius); });
}

VELLORA_API int32_t VELLORA_CALL Mosaic(int32_t handle, int32_t x, int32_t y, int32_t area_width,
                                        int32_t area_height, int32_t block_width,
                                        int32_t block_height) {
  return CallResolution().with_rows(
      handle, host::Access::kReadWrite, [&](const BitmapView& view, const RowProof& rows) {
        return mosaic(view, x, y, area_width, area_height, block_width, block_height, rows);
      });
}

VELLORA_API int32_t VELLORA_CALL PngSaveA(const char* path, int32_t handle, int32_t level,
                                          int32_t filters) {
  HeaderView bitmap;
  // The header's sizes reach the encoder as they stand: it refuses 0 and
  // negative ones itself.
  const int32_t status = CallResolution().readable_as_stored(handle, &bitmap);
  if (status != VELLORA_OK) return status;
  return png_save(path, bitmap, level, filters);
}

// PngSave is PngSaveA's own entry under a second name: one function, two
// symbols. The alias names the assembler symbol, which carries the stdcall
// decoration on Windows.
#ifdef _WIN32
#define VELLORA_PNG_SAVE_A_SYMBOL "PngSaveA@16"
#else
#define VELLORA_PNG_SAVE_A_SYMBOL "PngSaveA"
#endif
VELLORA_API int32_t VELLORA_CALL PngSave(const char* path, int32_t handle, int32_t level,
                                         int32_t filters)
    __attribute__((alias(VELLORA_PNG_SAVE_A_SYMBOL)));

VELLORA_API int32_t VELLORA_CALL ClipMask(int32_t handle, int32_t mask_handle, int32_t offset_x,
                                          int32_t offset_y, int32_t outside_value) {
  return CallResolution().with_pair_rows(
      handle, mask_handle,
      [&](const BitmapView& target, const BitmapView& mask, const RowProof& target_rows,
          const RowProof& mask_rows) {
        return clip_mask(target, mask, offset_x, offset_y, outside_value, target_rows, mask_rows);
      });
}

VELLORA_API int32_t VELLORA_CALL GetPixelData(int32_t handle, uint8_t* buffer, int32_t length) {
  return CallResolution().with_pixels(handle, host::Access::kRead, [&](const BitmapView& view) {
    return get_pixel_data(view, buffer, length);
  });
}

VELLORA_API int32_t VELLORA_CALL SetPixelData(int32_t handle, const uint8_t* buffer,
                                              int32_t length) {
  return CallResolution().with_pixels(
      handle, host::Access::kReadWrite,
      [&](const BitmapView& view) { return set_pixel_data(view, buffer, length); });
}

VELLORA_API int32_t VELLORA_CALL ChangeSize(int32_t handle, int32_t new_width, int32_t new_height) {
  return replace_pixel_buffer(handle, new_width, new_height);
}

VELLORA_API int32_t VELLORA_CALL GetGameHWND(void) { return find_game_window(); }

}  // extern "C"
