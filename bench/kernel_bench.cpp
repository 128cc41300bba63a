// The operations on plain pixel buffers, without the host layer, each timed
// with every kernel variant this processor runs (plain, SSE2, AVX2) as a
// ratio to memcpy of the same bytes in the same run: the noise and sprites
// of every operation, and the workloads games run most, each beside its
// noise counterpart: a snapshot of the opaque screen blurred, and
// translucent layers blended over the screen.
//
// It builds for i386 (the linux32-release preset, beside the exports'
// benchmark) and for x86-64 (the x86_64-kernels preset), so that kernels can
// be compared on a machine that runs no 32-bit code. Run through
// scripts/bench.sh.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bitmap_view.h"
#include "content.h"
#include "ops/blend_blt.h"
#include "ops/blur.h"
#include "ops/clip_mask.h"
#include "ops/kernels/instruction_set.h"
#include "ops/mosaic.h"
#include "ops/tone.h"
#include "timing.h"
#include "vellora.h"

namespace {

using bench::bytes_of;
using bench::Content;
using bench::Size;
using vellora::BitmapView;
using vellora::InstructionSet;

// An operation on a bitmap `a` (changed) and a second one `b` (read), with
// the kernels of the instruction set given.
using Operation = std::function<void(const BitmapView& a, const BitmapView& b, InstructionSet)>;

struct NamedOperation {
  std::string name;
  Operation run;
};

Operation blend(int32_t mode, int32_t opacity) {
  return [mode, opacity](const BitmapView& a, const BitmapView& b, InstructionSet set) {
    vellora::blend_blt(a, b, 0, 0, 0, 0, a.width, a.height, mode, opacity, set);
  };
}

Operation blur(int32_t radius) {
  return [radius](const BitmapView& a, const BitmapView&, InstructionSet set) {
    vellora::blur(a, radius, set);
  };
}

std::vector<NamedOperation> every_operation() {
  std::vector<NamedOperation> list = {
      {"InvertColor", [](const BitmapView& a, const BitmapView&,
                         InstructionSet set) { vellora::invert_color(a, set); }},
      {"ChangeTone", [](const BitmapView& a, const BitmapView&,
                        InstructionSet set) { vellora::change_tone(a, 64, -48, 128, true, set); }},
      {"ClipMask", [](const BitmapView& a, const BitmapView& b,
                      InstructionSet set) { vellora::clip_mask(a, b, 0, 0, 0, set); }},
      {"Mosaic_8x8",
       [](const BitmapView& a, const BitmapView&, InstructionSet set) {
         vellora::mosaic(a, 0, 0, a.width, a.height, 8, 8, set);
       }},
  };
  for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
    list.push_back({"BlendBlt_mode" + std::to_string(mode), blend(mode, 200)});
  }
  for (const int32_t radius : {1, 16, 1000}) {
    list.push_back({"Blur_r" + std::to_string(radius), blur(radius)});
  }
  return list;
}

// `operation` on a (changed) and b, once per kernel variant this processor
// runs, named name/size/content/variant.
void add_variants(const std::string& name, const std::string& content, BitmapView a, BitmapView b,
                  const Operation& operation) {
  vellora::for_each_instruction_set_that_runs([&](InstructionSet set) {
    const std::string full =
        name + "/" + bench::size_name(a) + "/" + content + "/" + vellora::instruction_set_name(set);
    bench::add(full, [a, b, operation, set](benchmark::State& state) {
      bench::against_memcpy(state, a.pixels, bytes_of(a), [&] { operation(a, b, set); });
    });
  });
}

void register_all() {
  for (const Size size : {Size{640, 480}, Size{2048, 2048}}) {
    for (const Content content : {Content::kSprite, Content::kNoise}) {
      const BitmapView a = bench::kept_bitmap(size.width, size.height, content, 1),
                       b = bench::kept_bitmap(size.width, size.height, content, 2);
      for (const NamedOperation& op : every_operation()) {
        add_variants(op.name, bench::name_of(content), a, b, op.run);
      }
    }
  }

  // The workloads, each beside the same call on noise. The runtimes' screens
  // are 640 x 480 (VX Ace: 544 x 416); 2048 x 2048 is a large map or layer.
  for (const Size size : {Size{640, 480}, Size{544, 416}, Size{2048, 2048}}) {
    const BitmapView screen = bench::kept_bitmap(size.width, size.height, Content::kScreen, 3);
    const BitmapView layer = bench::kept_bitmap(size.width, size.height, Content::kLayer, 4);
    const BitmapView noise = bench::kept_bitmap(size.width, size.height, Content::kNoise, 5);
    const BitmapView other_noise = bench::kept_bitmap(size.width, size.height, Content::kNoise, 6);
    std::vector<int32_t> radii = {1, 2, 8};
    if (size.width == 2048) radii.push_back(1000);
    for (const int32_t radius : radii) {
      const std::string name = "Snapshot_blur_r" + std::to_string(radius);
      add_variants(name, "screen", screen, screen, blur(radius));
      add_variants(name, "noise", noise, noise, blur(radius));
    }
    struct LayerBlend {
      int32_t mode;
      int32_t opacity;
    };
    for (const LayerBlend lb : {LayerBlend{0, 255}, LayerBlend{0, 128}, LayerBlend{1, 255},
                                LayerBlend{3, 255}, LayerBlend{6, 255}}) {
      const std::string name =
          "Layer_mode" + std::to_string(lb.mode) + "_op" + std::to_string(lb.opacity);
      add_variants(name, "layer_on_screen", screen, layer, blend(lb.mode, lb.opacity));
      add_variants(name, "noise", noise, other_noise, blend(lb.mode, lb.opacity));
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
