// Every export through its public name on hostsim bitmaps (resolution
// included, the best kernels this processor runs), timed as a ratio to
// memcpy of the same bitmap's bytes in the same benchmark (bench/timing.h);
// PngSaveA against libpng itself; resolution on its own; and soft-edged
// sprites blitted onto an opaque screen, per call, beside noise sprites onto
// noise. The kernel variants are timed without the host layer in
// kernel_bench.cpp.
//
// Run through scripts/bench.sh, which prints the table of medians.
#include <benchmark/benchmark.h>
#include <png.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <deque>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "content.h"
#include "host/resolve.h"
#include "hostsim.h"
#include "timing.h"
#include "vellora.h"

#if defined(__linux__)
#include "host/memory/linux_page_probes.h"
#endif

namespace {

using bench::Content;
using bench::Size;
using Clock = std::chrono::steady_clock;

constexpr Size kSizes[] = {{32, 32}, {640, 480}, {2048, 2048}};

std::string size_name(Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

hostsim::BitmapPtr make(Size s, Content content, uint32_t seed) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(s.width, s.height);
  bench::fill(hostsim::pixels_of(*bitmap), s.width, s.height, content, seed);
  return bitmap;
}

size_t bytes_of(const hostsim::Bitmap& b) {
  return size_t{4} * static_cast<size_t>(hostsim::width_of(b)) *
         static_cast<size_t>(hostsim::height_of(b));
}

void against_memcpy(benchmark::State& state, hostsim::Bitmap& target,
                    const std::function<void()>& op) {
  bench::against_memcpy(state, hostsim::pixels_of(target), bytes_of(target), op);
}

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Where encoded bytes go to be discarded.
#if defined(_WIN32)
constexpr char kNullDevice[] = "NUL";
#else
constexpr char kNullDevice[] = "/dev/null";
#endif

// libpng writing the bitmap's rows with the settings PngSaveA gives it, to
// the same kind of stream: the yardstick of the PNG save.
void libpng_write(const hostsim::Bitmap& bitmap, int level) {
  std::FILE* stream = std::fopen(kNullDevice, "wb");
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    std::fclose(stream);
    return;
  }
  png_init_io(png, stream);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_NONE);
  png_set_compression_level(png, level);
  const int32_t w = hostsim::width_of(bitmap), h = hostsim::height_of(bitmap);
  png_set_IHDR(png, info, static_cast<png_uint_32>(w), static_cast<png_uint_32>(h), 8,
               PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  std::vector<png_bytep> rows(static_cast<size_t>(h));
  for (int32_t i = 0; i < h; ++i) rows[static_cast<size_t>(i)] = hostsim::pixel_at(bitmap, 0, i);
  png_set_bgr(png);
  png_write_image(png, rows.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(stream);
}

// PngSaveA against libpng driven directly: `ratio` is PngSaveA's time over
// libpng's.
void png_against_libpng(benchmark::State& state, hostsim::Bitmap& bitmap, int32_t level) {
  double save_seconds = 0, libpng_seconds = 0;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    benchmark::DoNotOptimize(PngSaveA(kNullDevice, hostsim::handle_of(bitmap), level, 0));
    const Clock::time_point t1 = Clock::now();
    libpng_write(bitmap, level);
    const Clock::time_point t2 = Clock::now();
    state.SetIterationTime(seconds(t0, t1));
    save_seconds += seconds(t0, t1);
    libpng_seconds += seconds(t1, t2);
  }
  state.counters["ratio"] = save_seconds / libpng_seconds;
  state.SetLabel("x libpng");
}

#if defined(__linux__)
// The memory check of one whole buffer, in the stages every check takes,
// asked one way only: madvise's populate advice, or a byte of each page
// through a pipe that the call opens once, as an export call does.
void check_one_way(benchmark::State& state, hostsim::Bitmap& bitmap, bool through_pipe,
                   vellora::host::Access access) {
  using namespace vellora::host;
  if (!through_pipe && !madvise_is_trusted()) {
    state.SkipWithError("madvise answers yes for any page here (an emulator)");
    return;
  }
  const auto first = reinterpret_cast<uintptr_t>(hostsim::pixels_of(bitmap));
  const uintptr_t last = first + bytes_of(bitmap) - 1;
  against_memcpy(state, bitmap, [&] {
    ProbePipe pipe;
    const Answer answer =
        ask_in_stages(first, last, access, [&](uintptr_t f, uintptr_t l, Access a) {
          return through_pipe ? copy_pages_through_pipe(pipe, f, l, a) : populate_pages(f, l, a);
        });
    if (answer != Answer::kYes) state.SkipWithError("the check refused a sound buffer");
  });
}
#endif

// The bitmaps and buffers live for the whole run; benchmarks refer to them.
std::vector<hostsim::BitmapPtr> g_bitmaps;
std::deque<std::vector<uint8_t>> g_buffers;

hostsim::Bitmap& keep(hostsim::BitmapPtr b) {
  g_bitmaps.push_back(std::move(b));
  return *g_bitmaps.back();
}

using bench::add;

// An export with pixel kernels, called on bitmap a (changed) and b.
struct KernelExport {
  std::string name;
  std::function<void(int32_t a, int32_t b, int32_t w, int32_t h)> call;
};

std::vector<KernelExport> kernel_exports() {
  std::vector<KernelExport> list = {
      {"InvertColor", [](int32_t a, int32_t, int32_t, int32_t) { InvertColor(a); }},
      {"ChangeTone", [](int32_t a, int32_t, int32_t, int32_t) { ChangeTone(a, 64, -48, 128, 1); }},
      {"ClipMask", [](int32_t a, int32_t b, int32_t, int32_t) { ClipMask(a, b, 0, 0, 0); }},
      {"Mosaic_8x8", [](int32_t a, int32_t, int32_t w, int32_t h) { Mosaic(a, 0, 0, w, h, 8, 8); }},
  };
  for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
    list.push_back({"BlendBlt_mode" + std::to_string(mode),
                    [mode](int32_t a, int32_t b, int32_t w, int32_t h) {
                      BlendBlt(a, 0, 0, b, 0, 0, w, h, mode, 200);
                    }});
  }
  for (const int32_t radius : {1, 16, 1000}) {
    list.push_back({"Blur_r" + std::to_string(radius),
                    [radius](int32_t a, int32_t, int32_t, int32_t) { Blur(a, radius); }});
  }
  return list;
}

// A game drawing sprites: a 32 x 32 sprite blitted in mode 0 at opacity 255
// onto a 640 x 480 screen at 64 places per iteration, each call timed as a
// share of the iteration: the time reported is a call's mean time.
void sprite_blits(benchmark::State& state, hostsim::Bitmap& screen, hostsim::Bitmap& sprite) {
  constexpr int kCalls = 64;
  const int32_t hs = hostsim::handle_of(screen), hp = hostsim::handle_of(sprite);
  uint8_t* pixels = hostsim::pixels_of(screen);
  const size_t n = bytes_of(screen);
  const std::vector<uint8_t> original(pixels, pixels + n);
  for (auto _ : state) {
    std::memcpy(pixels, original.data(), n);
    const Clock::time_point t0 = Clock::now();
    for (int k = 0; k < kCalls; ++k) {
      benchmark::DoNotOptimize(
          BlendBlt(hs, 9 + 73 * (k % 8), 7 + 53 * (k / 8), hp, 0, 0, 32, 32, BLEND_NORMAL, 255));
    }
    benchmark::ClobberMemory();
    const Clock::time_point t1 = Clock::now();
    state.SetIterationTime(seconds(t0, t1) / kCalls);
  }
  state.SetLabel("per call");
}

void register_all() {
  const std::vector<KernelExport> exports = kernel_exports();
  for (const Size size : kSizes) {
    for (const Content content : {Content::kSprite, Content::kNoise}) {
      const std::string tail = "/" + size_name(size) + "/" + bench::name_of(content);
      hostsim::Bitmap& a = keep(make(size, content, 1));
      hostsim::Bitmap& b = keep(make(size, content, 2));
      const int32_t ha = hostsim::handle_of(a), hb = hostsim::handle_of(b);
      const int32_t w = size.width, h = size.height;
      const int32_t n = static_cast<int32_t>(bytes_of(a));
      std::vector<uint8_t>* buffer = &g_buffers.emplace_back(bytes_of(a), 7);

      for (const KernelExport& e : exports) {
        add(e.name + tail + "/export", [&a, call = e.call, ha, hb, w, h](benchmark::State& s) {
          against_memcpy(s, a, [&] { call(ha, hb, w, h); });
        });
      }
      add("GetPixelData" + tail + "/export", [&a, ha, n, buffer](benchmark::State& s) {
        against_memcpy(s, a, [ha, n, buffer] { GetPixelData(ha, buffer->data(), n); });
      });
      add("SetPixelData" + tail + "/export", [&a, ha, n, buffer](benchmark::State& s) {
        against_memcpy(s, a, [ha, n, buffer] { SetPixelData(ha, buffer->data(), n); });
      });
      for (const int32_t level : {1, 6}) {
        add("PngSaveA_level" + std::to_string(level) + tail + "/export",
            [&a, level](benchmark::State& s) { png_against_libpng(s, a, level); });
      }
      if (content == Content::kNoise) {
        // Resolution alone: GetAddress (the records only), one bitmap
        // resolved for reading and writing with its buffer checked, and a
        // BlendBlt of the whole bitmap in a mode that writes nothing (both
        // handles resolved, both buffers checked under the area, no pixel
        // visited).
        add("GetAddress" + tail + "/export", [&a, ha](benchmark::State& s) {
          against_memcpy(s, a, [ha] { benchmark::DoNotOptimize(GetAddress(ha)); });
        });
        add("resolve_read_write" + tail + "/internal", [&a, ha](benchmark::State& s) {
          against_memcpy(s, a, [ha] {
            vellora::BitmapView view;
            benchmark::DoNotOptimize(
                vellora::CallResolution().pixels(ha, vellora::host::Access::kReadWrite, &view));
          });
        });
        add("BlendBlt_resolve_only" + tail + "/export", [&a, ha, hb, w, h](benchmark::State& s) {
          against_memcpy(s, a, [ha, hb, w, h] { BlendBlt(ha, 0, 0, hb, 0, 0, w, h, 8, 200); });
        });
#if defined(__linux__)
        // The check of the whole buffer on each of the two ways.
        for (const bool pipe : {false, true}) {
          for (const auto access :
               {vellora::host::Access::kRead, vellora::host::Access::kReadWrite}) {
            const std::string name =
                std::string("Check_") + (pipe ? "pipe" : "madvise") +
                (access == vellora::host::Access::kRead ? "_read" : "_read_write");
            add(name + tail + "/internal",
                [&a, pipe, access](benchmark::State& s) { check_one_way(s, a, pipe, access); });
          }
        }
#endif
      }
    }
  }
  // Sprites onto the screen, beside noise sprites onto noise.
  struct Blits {
    Content screen, sprite, label;
  };
  for (const Blits b : {Blits{Content::kScreen, Content::kSoftSprite, Content::kSoftSprite},
                        Blits{Content::kNoise, Content::kNoise, Content::kNoise}}) {
    hostsim::Bitmap& screen = keep(make({640, 480}, b.screen, 7));
    hostsim::Bitmap& sprite = keep(make({32, 32}, b.sprite, 8));
    add("Sprite_blit_32x32/640x480/" + bench::name_of(b.label) + "/export",
        [&screen, &sprite](benchmark::State& s) { sprite_blits(s, screen, sprite); });
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
