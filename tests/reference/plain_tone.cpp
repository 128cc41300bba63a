#include "reference/plain_tone.h"

#include <algorithm>

namespace vellora::plain {

namespace {

int32_t clamp_amount(int32_t amount) { return std::clamp(amount, -kToneAmountMax, kToneAmountMax); }

}  // namespace

void change_tone(const BitmapView& view, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent) {
  const int32_t v_red = clamp_amount(red);
  const int32_t v_green = clamp_amount(green);
  const int32_t v_blue = clamp_amount(blue);

  // Rows play no part: the buffer is one run of pixels.
  uint8_t* p = view.pixels;
  uint8_t* const end = p + byte_size(view);
  for (; p != end; p += kBytesPerPixel) {
    if (skip_transparent && p[kAlpha] == 0) continue;
    p[kBlue] = static_cast<uint8_t>(tone_channel(p[kBlue], v_blue));
    p[kGreen] = static_cast<uint8_t>(tone_channel(p[kGreen], v_green));
    p[kRed] = static_cast<uint8_t>(tone_channel(p[kRed], v_red));
  }
}

void invert_color(const BitmapView& view) {
  uint8_t* p = view.pixels;
  uint8_t* const end = p + byte_size(view);
  for (; p != end; p += kBytesPerPixel) {
    p[kBlue] = static_cast<uint8_t>(~p[kBlue]);
    p[kGreen] = static_cast<uint8_t>(~p[kGreen]);
    p[kRed] = static_cast<uint8_t>(~p[kRed]);
  }
}

}  // namespace vellora::plain
