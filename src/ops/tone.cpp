#include "ops/tone.h"

#include <algorithm>

#include "ops/kernels/kernels.h"

namespace vellora {

void change_tone(const BitmapView& view, int32_t red, int32_t green, int32_t blue,
                 bool skip_transparent, InstructionSet set) {
  const auto clamp = [](int32_t amount) {
    return std::clamp(amount, -kToneAmountMax, kToneAmountMax);
  };
  const ToneAmounts amounts{clamp(blue), clamp(green), clamp(red)};
  // Every channel stays as it is.
  if (amounts.blue == 0 && amounts.green == 0 && amounts.red == 0) return;
  with_instruction_set(set, [&](auto isa) {
    ToneKernels<decltype(isa)::value>::tone_pixels(view.pixels, pixel_count(view), amounts,
                                                   skip_transparent);
  });
}

void invert_color(const BitmapView& view, InstructionSet set) {
  with_instruction_set(set, [&](auto isa) {
    ToneKernels<decltype(isa)::value>::invert_pixels(view.pixels, pixel_count(view));
  });
}

}  // namespace vellora
