// The library's blur and normal blend beside what a user would pick instead,
// on the same images, in one process, on one thread: OpenCV's box blur
// (cv::blur) and pixman's OVER. Their semantics differ (cv::blur weighs no
// alpha; pixman composites premultiplied pixels, so it never divides), so the
// ratio compares cost only. Every kernel tier the processor runs is timed,
// each against the anchor in the same benchmark.
//
// x86-64 only (the anchors come from Debian's x86-64 packages): built by the
// x86_64-kernels preset with VELLORA_ANCHORS, run by scripts/bench.sh --anchors.
#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdint>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <string>
#include <vector>

#include "bitmap_view.h"
#include "content.h"
#include "ops/blend_blt.h"
#include "ops/blur.h"
#include "ops/kernels/instruction_set.h"
#include "timing.h"
#include "vellora.h"

namespace {

using bench::bytes_of;
using bench::Content;
using bench::Size;
using vellora::BitmapView;
using vellora::InstructionSet;

// Every tier the processor runs against `anchor`, named name/size/content/tier.
template <typename Op, typename Anchor>
void add_against(const std::string& name, const std::string& content, const BitmapView& a, Op op,
                 Anchor anchor) {
  vellora::for_each_instruction_set_that_runs([&](InstructionSet set) {
    const std::string full =
        name + "/" + bench::size_name(a) + "/" + content + "/" + vellora::instruction_set_name(set);
    bench::add(full, [a, op, anchor, set](benchmark::State& state) {
      bench::against_anchor(
          state, a.pixels, bytes_of(a), int64_t{a.width} * a.height, [&] { op(set); }, anchor);
    });
  });
}

// cv::blur in place over the box of side 2r + 1.
void add_blur(const std::string& content, const BitmapView& a, int32_t radius) {
  const std::string name = "Blur_r" + std::to_string(radius) + "_vs_cv_blur";
  add_against(
      name, content, a, [a, radius](InstructionSet set) { vellora::blur(a, radius, set); },
      [a, radius] {
        cv::Mat image(a.height, a.width, CV_8UC4, a.pixels);
        cv::blur(image, image, cv::Size(2 * radius + 1, 2 * radius + 1));
      });
}

// pixman's OVER of the whole source onto the destination.
void add_over(const std::string& content, const BitmapView& dst, const BitmapView& src) {
  add_against(
      "Normal_op255_vs_pixman_over", content, dst,
      [dst, src](InstructionSet set) {
        vellora::blend_blt(dst, src, 0, 0, 0, 0, dst.width, dst.height, BLEND_NORMAL, 255, set);
      },
      [dst, src] {
        const int stride = dst.width * 4;
        pixman_image_t* d =
            pixman_image_create_bits(PIXMAN_a8r8g8b8, dst.width, dst.height,
                                     reinterpret_cast<uint32_t*>(dst.pixels), stride);
        pixman_image_t* s =
            pixman_image_create_bits(PIXMAN_a8r8g8b8, src.width, src.height,
                                     reinterpret_cast<uint32_t*>(src.pixels), stride);
        pixman_image_composite32(PIXMAN_OP_OVER, s, nullptr, d, 0, 0, 0, 0, 0, 0, dst.width,
                                 dst.height);
        pixman_image_unref(s);
        pixman_image_unref(d);
      });
}

void register_all() {
  for (const Size size : {Size{640, 480}, Size{2048, 2048}}) {
    const BitmapView screen = bench::kept_bitmap(size.width, size.height, Content::kScreen, 3);
    const BitmapView noise = bench::kept_bitmap(size.width, size.height, Content::kNoise, 5);
    std::vector<int32_t> radii = {1, 2, 8};
    if (size.width == 2048) radii.push_back(1000);
    for (const int32_t radius : radii) {
      add_blur("opaque_screen", screen, radius);
      add_blur("translucent_noise", noise, radius);
    }
    const BitmapView layer = bench::kept_bitmap(size.width, size.height, Content::kLayer, 4);
    add_over("layer_on_opaque_screen", screen, layer);
    add_over("layer_on_translucent_noise", noise, layer);
  }
}

}  // namespace

int main(int argc, char** argv) {
  cv::setNumThreads(0);  // one thread, as the library runs
  benchmark::Initialize(&argc, argv);
  register_all();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
