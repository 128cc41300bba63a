// The showcase: draws a small scene with transparency through the library
// itself (pixels uploaded with SetPixelData, shapes cut with ClipMask, layers
// composed with BlendBlt, a cloud softened with Blur), runs every operation
// on it with a few telling arguments, and writes one PNG per result plus a
// contact sheet composed with BlendBlt.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "cli_args.h"
#include "cli_error.h"
#include "commands.h"
#include "hostsim.h"
#include "image_file.h"
#include "status_text.h"
#include "vellora.h"

namespace cli {

namespace {

constexpr int32_t kSceneWidth = 240;
constexpr int32_t kSceneHeight = 160;

struct Color {
  int r, g, b, a;
};

uint8_t byte(int value) { return static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value); }

int32_t handle(const hostsim::BitmapPtr& bitmap) { return hostsim::handle_of(*bitmap); }

// A new bitmap whose image pixel (x, y) is paint(x, y), uploaded in the
// host's bottom-up order with SetPixelData.
hostsim::BitmapPtr painted(int32_t width, int32_t height,
                           const std::function<Color(int x, int y)>& paint) {
  std::vector<uint8_t> data(static_cast<size_t>(width) * height * 4);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = data.data() + static_cast<size_t>(height - 1 - y) * width * 4;
    for (int x = 0; x < width; ++x) {
      const Color c = paint(x, y);
      row[x * 4 + 0] = byte(c.b);
      row[x * 4 + 1] = byte(c.g);
      row[x * 4 + 2] = byte(c.r);
      row[x * 4 + 3] = byte(c.a);
    }
  }
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(width, height);
  check_status("SetPixelData",
               SetPixelData(handle(bitmap), data.data(), static_cast<int32_t>(data.size())));
  return bitmap;
}

hostsim::BitmapPtr copy_of(const hostsim::BitmapPtr& source) {
  const int32_t width = hostsim::width_of(*source), height = hostsim::height_of(*source);
  std::vector<uint8_t> data(static_cast<size_t>(width) * height * 4);
  const int32_t length = static_cast<int32_t>(data.size());
  check_status("GetPixelData", GetPixelData(handle(source), data.data(), length));
  hostsim::BitmapPtr copy = hostsim::make_bitmap(width, height);
  check_status("SetPixelData", SetPixelData(handle(copy), data.data(), length));
  return copy;
}

// A mask's value (its blue byte) from a coverage in 0..1.
Color coverage(double amount) {
  const int v = static_cast<int>(std::lround(255 * std::fmin(1.0, std::fmax(0.0, amount))));
  return {v, v, v, 255};
}

// Covers `solid` with `mask` and lays the result onto `target` at (x, y).
void stamp(const hostsim::BitmapPtr& target, const hostsim::BitmapPtr& solid,
           const hostsim::BitmapPtr& mask, int32_t x, int32_t y) {
  check_status("ClipMask", ClipMask(handle(solid), handle(mask), 0, 0, 0));
  check_status("BlendBlt",
               BlendBlt(handle(target), x, y, handle(solid), 0, 0, hostsim::width_of(*solid),
                        hostsim::height_of(*solid), BLEND_NORMAL, 255));
}

// A small figure, drawn three times larger: '.' transparent.
const char* const kFigure[] = {
    "....kkkk....", "...krrrrk...", "..krrrrrrk..", "..kssssssk..", "..kswsswsk..", "..ksskkssk..",
    "...kssssk...", "..kbbbbbbk..", ".kbbybbybbk.", ".ksbbbbbbsk.", ".ksbbbbbbsk.", "..kbbbbbbk..",
    "..kbbkkbbk..", "..kbbk.kbbk.", "..kkk..kkk..", "............",
};

Color figure_color(char c) {
  switch (c) {
    case 'k':
      return {30, 24, 40, 255};
    case 'r':
      return {200, 40, 50, 255};
    case 's':
      return {250, 200, 160, 255};
    case 'w':
      return {255, 255, 255, 255};
    case 'b':
      return {50, 90, 200, 255};
    case 'y':
      return {250, 210, 60, 255};
    default:
      return {0, 0, 0, 0};
  }
}

hostsim::BitmapPtr draw_scene() {
  const int W = kSceneWidth, H = kSceneHeight;
  // Sky: a vertical gradient, dusk blue to warm orange.
  hostsim::BitmapPtr scene = painted(W, H, [&](int, int y) {
    const double t = static_cast<double>(y) / (H - 1);
    return Color{static_cast<int>(40 + 210 * t), static_cast<int>(60 + 110 * t),
                 static_cast<int>(150 - 40 * t), 255};
  });

  // Sun: a disc with a soft edge.
  const int sun = 56;
  hostsim::BitmapPtr sun_color = painted(sun, sun, [](int, int) {
    return Color{255, 226, 96, 255};
  });
  hostsim::BitmapPtr sun_mask = painted(sun, sun, [&](int x, int y) {
    const double d = std::hypot(x - sun / 2 + 0.5, y - sun / 2 + 0.5);
    return coverage((sun / 2 - 2) - d);
  });
  stamp(scene, sun_color, sun_mask, 158, 16);

  // Cloud: translucent white ellipses, softened with Blur before laying on.
  hostsim::BitmapPtr cloud = painted(96, 40, [](int, int) { return Color{255, 255, 255, 210}; });
  hostsim::BitmapPtr cloud_mask = painted(96, 40, [](int x, int y) {
    const double a = std::hypot((x - 30) / 24.0, (y - 24) / 11.0);
    const double b = std::hypot((x - 55) / 26.0, (y - 18) / 14.0);
    const double c = std::hypot((x - 74) / 16.0, (y - 26) / 9.0);
    return coverage(std::fmax(std::fmax(1 - a, 1 - b), 1 - c) * 6);
  });
  check_status("ClipMask", ClipMask(handle(cloud), handle(cloud_mask), 0, 0, 0));
  check_status("Blur", Blur(handle(cloud), 2));
  check_status("BlendBlt",
               BlendBlt(handle(scene), 24, 22, handle(cloud), 0, 0, 96, 40, BLEND_NORMAL, 255));

  // Hills: two layers of green, the far one lighter.
  for (int layer = 0; layer < 2; ++layer) {
    const int top = layer == 0 ? 84 : 104;
    const int height = H - top;
    hostsim::BitmapPtr ground = painted(W, height, [&](int, int y) {
      const int shade = layer == 0 ? 150 : 115;
      return Color{60 - y / 3, shade - y / 2, 70 - y / 4, 255};
    });
    hostsim::BitmapPtr ground_mask = painted(W, height, [&](int x, int y) {
      const double ridge = layer == 0 ? 14 + 10 * std::sin(x / 23.0) + 5 * std::sin(x / 7.0)
                                      : 12 + 9 * std::cos(x / 31.0 + 1) + 3 * std::sin(x / 5.0);
      return coverage(y - ridge + 0.5);
    });
    stamp(scene, ground, ground_mask, 0, top);
  }

  // The figure, three times larger.
  const int scale = 3, fw = 12 * scale, fh = 16 * scale;
  hostsim::BitmapPtr figure =
      painted(fw, fh, [&](int x, int y) { return figure_color(kFigure[y / scale][x / scale]); });
  check_status("BlendBlt", BlendBlt(handle(scene), 96, H - fh - 6, handle(figure), 0, 0, fw, fh,
                                    BLEND_NORMAL, 255));

  // A frame with rounded corners: outside it the scene is transparent.
  hostsim::BitmapPtr frame = painted(W, H, [&](int x, int y) {
    const double r = 22;
    const double cx = std::fmin(std::fmax(x + 0.5, r), W - r);
    const double cy = std::fmin(std::fmax(y + 0.5, r), H - r);
    return coverage(r - std::hypot(x + 0.5 - cx, y + 0.5 - cy) + 0.5);
  });
  check_status("ClipMask", ClipMask(handle(scene), handle(frame), 0, 0, 0));
  return scene;
}

// The layer blended onto the scene: a colored radial glow, transparent at its rim.
hostsim::BitmapPtr draw_layer() {
  return painted(160, 120, [](int x, int y) {
    const double d = std::hypot((x - 80) / 80.0, (y - 60) / 60.0);
    return Color{80 + x, 220 - y, 255 - x, static_cast<int>(255 * std::fmax(0.0, 1 - d * d))};
  });
}

// Tiny 3 x 5 letters for the contact sheet's labels.
const char* glyph(char c) {
  static const char* const kLetters[] = {
      ".#.#.#####.##.#", "##.#.###.#.###.", ".###..#..#...##", "##.#.##.##.###.", "####..##.#..###",
      "####..##.#..#..", ".###..#.##.#.##", "#.##.#####.##.#", "###.#..#..#.###", "..#..#..##.#.#.",
      "#.##.###.#.##.#", "#..#..#..#..###", "#.########.##.#", "##.#.##.##.##.#", ".#.#.##.##.#.#.",
      "##.#.###.#..#..", ".#.#.##.###..##", "##.#.###.#.##.#", ".###...#...###.", "###.#..#..#..#.",
      "#.##.##.##.####", "#.##.##.##.#.#.", "#.##.########.#", "#.##.#.#.#.##.#", "#.##.#.#..#..#.",
      "###..#.#.#..###",
  };
  static const char* const kDigits[] = {
      "####.##.##.####", ".#.##..#..#.###", "##...#.#.#..###", "##...#.#...###.", "#.##.####..#..#",
      "####..##...###.", ".###..####.####", "###..#.#..#..#.", "####.#####.####", "####.####..###.",
  };
  if (c >= 'a' && c <= 'z') return kLetters[c - 'a'];
  if (c >= '0' && c <= '9') return kDigits[c - '0'];
  if (c == '-') return "......###......";
  return "...............";
}

hostsim::BitmapPtr draw_label(const std::string& text) {
  const int scale = 2, advance = 4 * scale;
  const int width = static_cast<int>(text.size()) * advance, height = 5 * scale;
  return painted(width, height, [&](int x, int y) {
    const char* g = glyph(text[x / advance]);
    const int gx = (x % advance) / scale, gy = y / scale;
    const bool ink = gx < 3 && g[gy * 3 + gx] == '#';
    return ink ? Color{235, 235, 235, 255} : Color{0, 0, 0, 0};
  });
}

struct Result {
  std::string name;
  hostsim::BitmapPtr image;
};

void blend_onto(const hostsim::BitmapPtr& target, const hostsim::BitmapPtr& source, int32_t x,
                int32_t y, int32_t mode, int32_t opacity) {
  check_status("BlendBlt",
               BlendBlt(handle(target), x, y, handle(source), 0, 0, hostsim::width_of(*source),
                        hostsim::height_of(*source), mode, opacity));
}

hostsim::BitmapPtr contact_sheet(const std::vector<Result>& results) {
  const int columns = 5, gap = 8, label_band = 16;
  const int tile_w = kSceneWidth + gap, tile_h = kSceneHeight + label_band + gap;
  const int rows = static_cast<int>((results.size() + columns - 1) / columns);
  hostsim::BitmapPtr sheet = painted(columns * tile_w + gap, rows * tile_h + gap, [](int, int) {
    return Color{38, 38, 44, 255};
  });
  // A checkerboard under every tile shows where the results are transparent.
  hostsim::BitmapPtr checker = painted(kSceneWidth, kSceneHeight, [](int x, int y) {
    const int v = ((x / 8 + y / 8) % 2) ? 200 : 150;
    return Color{v, v, v, 255};
  });
  for (size_t i = 0; i < results.size(); ++i) {
    const int x = gap + static_cast<int>(i % columns) * tile_w;
    const int y = gap + static_cast<int>(i / columns) * tile_h;
    blend_onto(sheet, checker, x, y, BLEND_NORMAL, 255);
    blend_onto(sheet, results[i].image, x, y, BLEND_NORMAL, 255);
    blend_onto(sheet, draw_label(results[i].name), x, y + kSceneHeight + 4, BLEND_NORMAL, 255);
  }
  return sheet;
}

}  // namespace

int run_showcase(const Words& words) {
  static const char kHelp[] =
      "usage: vellora showcase OUT_DIR\n"
      "Draws a scene with the library, runs every operation on it, and writes\n"
      "one PNG per result and contact-sheet.png into OUT_DIR.\n";
  const Arguments args = parse_arguments(words, {});
  if (args.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (args.positional.size() != 1) throw UsageError("expected OUT_DIR (see --help)");
  const std::string dir = args.positional[0];
  make_directory(dir);

  std::vector<Result> results;
  const hostsim::BitmapPtr scene = draw_scene();
  const hostsim::BitmapPtr layer = draw_layer();
  results.push_back({"scene", copy_of(scene)});
  results.push_back({"layer", copy_of(layer)});
  const int32_t layer_x = (kSceneWidth - 160) / 2, layer_y = (kSceneHeight - 120) / 2;

  const auto derive = [&](const std::string& name, const std::function<int32_t(int32_t)>& op) {
    hostsim::BitmapPtr image = copy_of(scene);
    check_status(name.c_str(), op(handle(image)));
    results.push_back({name, std::move(image)});
  };
  for (int32_t mode = 0; mode < BLEND_MODE_COUNT; ++mode) {
    derive(std::string("blend-") + blend_mode_name(mode), [&](int32_t h) {
      return BlendBlt(h, layer_x, layer_y, handle(layer), 0, 0, 160, 120, mode, 255);
    });
  }
  derive("blend-normal-128", [&](int32_t h) {
    return BlendBlt(h, layer_x, layer_y, handle(layer), 0, 0, 160, 120, BLEND_NORMAL, 128);
  });
  for (int32_t radius : {1, 3, 8}) {
    derive("blur-" + std::to_string(radius), [&](int32_t h) { return Blur(h, radius); });
  }
  derive("mosaic-6x6", [](int32_t h) { return Mosaic(h, 0, 0, kSceneWidth, kSceneHeight, 6, 6); });
  derive("mosaic-12x8-area", [](int32_t h) { return Mosaic(h, 70, 40, 110, 100, 12, 8); });
  derive("tone-warm", [](int32_t h) { return ChangeTone(h, 64, 0, -64, 0); });
  derive("tone-night", [](int32_t h) { return ChangeTone(h, -150, -120, 40, 1); });
  derive("tone-flash", [](int32_t h) { return ChangeTone(h, 170, 170, 170, 1); });
  derive("invert", [](int32_t h) { return InvertColor(h); });
  const hostsim::BitmapPtr spotlight = painted(kSceneWidth, kSceneHeight, [](int x, int y) {
    return coverage(1.6 - std::hypot((x - 120) / 80.0, (y - 80) / 60.0));
  });
  derive("clip-mask", [&](int32_t h) { return ClipMask(h, handle(spotlight), 0, 0, 0); });
  const hostsim::BitmapPtr stripes = painted(kSceneWidth / 2, kSceneHeight, [](int x, int) {
    return coverage((x / 10) % 2 ? 1.0 : 0.25);
  });
  derive("clip-mask-offset", [&](int32_t h) { return ClipMask(h, handle(stripes), 60, 0, 255); });

  for (const Result& result : results) {
    write_png(*result.image, dir + "/" + result.name + ".png");
  }
  write_png(*contact_sheet(results), dir + "/contact-sheet.png");
  std::printf("showcase: %zu results and contact-sheet.png written to %s\n", results.size(),
              dir.c_str());
  return 0;
}

}  // namespace cli
