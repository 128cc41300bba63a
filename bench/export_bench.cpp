// Every export on hostsim bitmaps, and the kernel variants of those that have
// them, each timed as a ratio to memcpy of the same bitmap's bytes in the same
// benchmark: the counter `ratio` is the
// export's time divided by memcpy's over the same iterations. Before each
// timed call the bitmap gets its original bytes back (untimed), and so it
// does before each memcpy, so both start from the same cache state.
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

#include "host/resolve.h"
#include "hostsim.h"
#include "ops/blend_blt.h"
#include "ops/blur.h"
#include "ops/clip_mask.h"
#include "ops/instruction_set.h"
#include "ops/mosaic.h"
#include "ops/tone.h"
#include "vellora.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Size {
  int32_t width;
  int32_t height;
};
constexpr Size kSizes[] = {{32, 32}, {640, 480}, {2048, 2048}};

enum class Content { kSprite, kNoise };

std::string size_name(Size s) { return std::to_string(s.width) + "x" + std::to_string(s.height); }

// Sprite-like content: discs that are opaque inside, transparent outside,
// with a soft rim; most pixels are fully opaque or fully transparent. Noise:
// random bytes, every alpha equally often.
void fill(hostsim::Bitmap& bitmap, Content content, uint32_t seed) {
  std::mt19937 rng(seed);
  const int32_t w = hostsim::width_of(bitmap), h = hostsim::height_of(bitmap);
  const int32_t cell = w < 64 ? w : 64;  // one disc per cell
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      uint8_t* p = hostsim::pixel_at(bitmap, x, y);
      const uint32_t bits = rng();
      if (content == Content::kNoise) {
        std::memcpy(p, &bits, 4);
        continue;
      }
      const int32_t dx = x % cell - cell / 2, dy = y % cell - cell / 2;
      const int32_t d2 = dx * dx + dy * dy;
      // Edges two pixels wide, as antialiased sprites have.
      const int32_t inner = (cell / 2 - 2) * (cell / 2 - 2), outer = (cell / 2) * (cell / 2);
      p[0] = static_cast<uint8_t>(40 + (x * 3) % 200);
      p[1] = static_cast<uint8_t>(90 + (y * 5) % 160);
      p[2] = static_cast<uint8_t>(200 - (x + y) % 150);
      p[3] = d2 <= inner   ? 255
             : d2 >= outer ? 0
                           : static_cast<uint8_t>(255 * (outer - d2) / (outer - inner));
    }
  }
}

hostsim::BitmapPtr make(Size s, Content content, uint32_t seed) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(s.width, s.height);
  fill(*bitmap, content, seed);
  return bitmap;
}

size_t bytes_of(const hostsim::Bitmap& b) {
  return size_t{4} * static_cast<size_t>(hostsim::width_of(b)) *
         static_cast<size_t>(hostsim::height_of(b));
}

double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Times `op` on `target` against memcpy of target's bytes; the bitmap is
// restored from its first bytes before each of the two.
void against_memcpy(benchmark::State& state, hostsim::Bitmap& target,
                    const std::function<void()>& op) {
  const size_t n = bytes_of(target);
  uint8_t* pixels = hostsim::pixels_of(target);
  const std::vector<uint8_t> original(pixels, pixels + n);
  std::vector<uint8_t> copy(n);
  double op_seconds = 0, memcpy_seconds = 0;
  for (auto _ : state) {
    std::memcpy(pixels, original.data(), n);
    const Clock::time_point t0 = Clock::now();
    op();
    benchmark::ClobberMemory();
    const Clock::time_point t1 = Clock::now();

    std::memcpy(pixels, original.data(), n);
    const Clock::time_point t2 = Clock::now();
    std::memcpy(copy.data(), pixels, n);
    benchmark::DoNotOptimize(copy.data());
    benchmark::ClobberMemory();
    const Clock::time_point t3 = Clock::now();

    state.SetIterationTime(seconds(t0, t1));
    op_seconds += seconds(t0, t1);
    memcpy_seconds += seconds(t2, t3);
  }
  state.counters["ratio"] = op_seconds / memcpy_seconds;
  state.SetLabel("x memcpy");
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

// The bitmaps and buffers live for the whole run; benchmarks refer to them.
std::vector<hostsim::BitmapPtr> g_bitmaps;
std::deque<std::vector<uint8_t>> g_buffers;

hostsim::Bitmap& keep(hostsim::BitmapPtr b) {
  g_bitmaps.push_back(std::move(b));
  return *g_bitmaps.back();
}

void add(const std::string& name, std::function<void(benchmark::State&)> body) {
  benchmark::RegisterBenchmark(name.c_str(), std::move(body))
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
}

vellora::BitmapView view_of(hostsim::Bitmap& bitmap) {
  return {hostsim::width_of(bitmap), hostsim::height_of(bitmap), hostsim::pixels_of(bitmap)};
}

// An export with pixel kernels: timed through its public name (resolution
// included, the best kernels this machine runs) and through its operation
// with each kernel variant this machine runs (no resolution).
struct KernelExport {
  std::string name;
  std::function<void(int32_t a, int32_t b, int32_t w, int32_t h)> call;
  std::function<void(const vellora::BitmapView& a, const vellora::BitmapView& b,
                     vellora::InstructionSet set)>
      operation;
};

std::vector<KernelExport> kernel_exports() {
  using vellora::BitmapView;
  using vellora::InstructionSet;
  std::vector<KernelExport> list = {
      {"InvertColor", [](int32_t a, int32_t, int32_t, int32_t) { InvertColor(a); },
       [](const BitmapView& a, const BitmapView&, InstructionSet set) {
         vellora::invert_color(a, set);
       }},
      {"ChangeTone", [](int32_t a, int32_t, int32_t, int32_t) { ChangeTone(a, 64, -48, 128, 1); },
       [](const BitmapView& a, const BitmapView&, InstructionSet set) {
         vellora::change_tone(a, 64, -48, 128, true, set);
       }},
      {"ClipMask", [](int32_t a, int32_t b, int32_t, int32_t) { ClipMask(a, b, 0, 0, 0); },
       [](const BitmapView& a, const BitmapView& b, InstructionSet set) {
         vellora::clip_mask(a, b, 0, 0, 0, set);
       }},
      {"Mosaic_8x8", [](int32_t a, int32_t, int32_t w, int32_t h) { Mosaic(a, 0, 0, w, h, 8, 8); },
       [](const BitmapView& a, const BitmapView&, InstructionSet set) {
         vellora::mosaic(a, 0, 0, a.width, a.height, 8, 8, set);
       }},
  };
  for (int32_t mode = 0; mode <= 7; ++mode) {
    list.push_back({"BlendBlt_mode" + std::to_string(mode),
                    [mode](int32_t a, int32_t b, int32_t w, int32_t h) {
                      BlendBlt(a, 0, 0, b, 0, 0, w, h, mode, 200);
                    },
                    [mode](const BitmapView& a, const BitmapView& b, InstructionSet set) {
                      vellora::blend_blt(a, b, 0, 0, 0, 0, a.width, a.height, mode, 200, set);
                    }});
  }
  for (const int32_t radius : {1, 16, 1000}) {
    list.push_back({"Blur_r" + std::to_string(radius),
                    [radius](int32_t a, int32_t, int32_t, int32_t) { Blur(a, radius); },
                    [radius](const BitmapView& a, const BitmapView&, InstructionSet set) {
                      vellora::blur(a, radius, set);
                    }});
  }
  return list;
}

const char* variant_name(vellora::InstructionSet set) {
  switch (set) {
    case vellora::InstructionSet::kAvx2:
      return "avx2";
    case vellora::InstructionSet::kSse2:
      return "sse2";
    default:
      return "plain";
  }
}

void register_all() {
  const std::vector<KernelExport> exports = kernel_exports();
  for (const Size size : kSizes) {
    for (const Content content : {Content::kSprite, Content::kNoise}) {
      const std::string tail =
          "/" + size_name(size) + (content == Content::kSprite ? "/sprite" : "/noise");
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
        if (size.width < 640) continue;  // the variants on the larger sizes only
        for (const auto set : {vellora::InstructionSet::kPlain, vellora::InstructionSet::kSse2,
                               vellora::InstructionSet::kAvx2}) {
          if (!vellora::instruction_set_runs(set)) continue;
          add(e.name + tail + "/" + variant_name(set),
              [&a, &b, operation = e.operation, set](benchmark::State& s) {
                against_memcpy(s, a, [&] { operation(view_of(a), view_of(b), set); });
              });
        }
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
        // BlendBlt whose area is empty (both handles resolved and checked, no
        // pixel visited).
        add("GetAddress" + tail + "/export", [&a, ha](benchmark::State& s) {
          against_memcpy(s, a, [ha] { benchmark::DoNotOptimize(GetAddress(ha)); });
        });
        add("resolve_read_write" + tail + "/internal", [&a, ha](benchmark::State& s) {
          against_memcpy(s, a, [ha] {
            vellora::BitmapView view;
            benchmark::DoNotOptimize(
                vellora::resolve_pixels(ha, &view, vellora::host::Access::kReadWrite));
          });
        });
        add("BlendBlt_resolve_only" + tail + "/export", [&a, ha, hb](benchmark::State& s) {
          against_memcpy(s, a, [ha, hb] { BlendBlt(ha, 0, 0, hb, 0, 0, 0, 0, 0, 200); });
        });
      }
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
