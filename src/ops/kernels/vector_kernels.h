// The vector kernels that SSE2 and AVX2 both have, written once over the
// helpers of kernels/simd.h and compiled once per tier: kernels/sse2.cpp and
// kernels/avx2.cpp include this with VELLORA_ISA naming the namespace of
// their helpers and VELLORA_ISA_SET their InstructionSet, and each adds its
// blur (kernels/blur_vector.h for SSE2, kernels/blur_channels_vector.h for
// AVX2). Each *_vector.h keeps its own helpers in that namespace, and its
// kernels define the tier's members of the families of kernels.h.
#include <algorithm>
#include <cstring>

#include "bitmap_view.h"
#include "ops/kernels/blend_pixel.h"
#include "ops/kernels/blur_means.h"
#include "ops/kernels/kernels.h"
#include "ops/kernels/opaque_mean.h"
#include "ops/kernels/simd.h"

namespace vellora {
#include "ops/kernels/blend_vector.h"
#include "ops/kernels/clip_mask_vector.h"
#include "ops/kernels/mosaic_vector.h"
#include "ops/kernels/tone_vector.h"
}  // namespace vellora
