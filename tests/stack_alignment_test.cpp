// The exports as a game calls them on Windows: the runtime's scripting bridge
// keeps the stack aligned to 4 bytes only, and the vector kernels keep 32-
// and 64-byte vectors on it. Every export with kernels runs here from each
// 4-byte offset of a 64-byte boundary, with the best tier the processor has,
// and must give the same bytes as from an aligned stack.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "test_support.h"
#include "vellora.h"

namespace {

struct StackCall {
  void (*function)(void*);
  void* argument;
  uint32_t adjust;  // 4 .. 64: the stack at the call is `adjust - 4` past a 64-byte boundary
};

void call_with_stack_at(const StackCall* call) {
  __asm__ volatile(
      "movl %%esp, %%esi\n\t"
      "andl $-64, %%esp\n\t"
      "subl $128, %%esp\n\t"
      "addl 8(%0), %%esp\n\t"
      "pushl 4(%0)\n\t"
      "calll *(%0)\n\t"
      "movl %%esi, %%esp\n\t"
      :
      : "D"(call)
      : "eax", "ecx", "edx", "esi", "memory", "cc");
}

struct Scene {
  hostsim::BitmapPtr canvas, layer, mask;
};

Scene make_scene() {
  return {vtest::random_bitmap(37, 21, 61), vtest::random_bitmap(37, 21, 62),
          vtest::random_bitmap(37, 21, 63)};
}

void run_every_kernel_export(void* scene_pointer) {
  Scene& scene = *static_cast<Scene*>(scene_pointer);
  const int32_t canvas = hostsim::handle_of(*scene.canvas);
  const int32_t layer = hostsim::handle_of(*scene.layer);
  for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
    BlendBlt(canvas, 1, 2, layer, 0, 0, 37, 21, mode, 200);
  }
  Blur(canvas, 3);
  Mosaic(canvas, 0, 0, 37, 21, 5, 3);
  ChangeTone(canvas, 40, -60, 100, 0);
  InvertColor(canvas);
  ClipMask(canvas, hostsim::handle_of(*scene.mask), 2, 1, 128);
}

TEST(MisalignedStack, EveryExportWithKernelsGivesTheSameBytes) {
  Scene aligned = make_scene();
  run_every_kernel_export(&aligned);
  const std::vector<uint8_t> expected = vtest::snapshot(*aligned.canvas);
  for (uint32_t adjust = 4; adjust <= 64; adjust += 4) {
    Scene scene = make_scene();
    const StackCall call{run_every_kernel_export, &scene, adjust};
    call_with_stack_at(&call);
    EXPECT_EQ(vtest::snapshot(*scene.canvas), expected) << "stack offset " << adjust - 4;
  }
}

}  // namespace
