// The command-line host, run as a program: its outputs against direct calls
// of the exports on the same input, its error messages and exit statuses,
// and the showcase's files.
#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "test_support.h"
#include "vellora.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Decodes a PNG file as 8-bit BGRA, bottom row first: the host's layout.
struct Decoded {
  int32_t width = 0;
  int32_t height = 0;
  Bytes pixels;
};

Decoded decode(const fs::path& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  Decoded result;
  const std::string bytes = read_text(path);
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return result;
  image.format = PNG_FORMAT_BGRA;
  result.width = static_cast<int32_t>(image.width);
  result.height = static_cast<int32_t>(image.height);
  result.pixels.resize(PNG_IMAGE_SIZE(image));
  const png_int_32 stride = -static_cast<png_int_32>(PNG_IMAGE_ROW_STRIDE(image));
  if (!png_image_finish_read(&image, nullptr, result.pixels.data(), stride, nullptr)) {
    result.pixels.clear();
  }
  return result;
}

hostsim::BitmapPtr bitmap_of(const Decoded& image) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(image.width, image.height);
  std::memcpy(hostsim::pixels_of(*bitmap), image.pixels.data(), image.pixels.size());
  return bitmap;
}

// Writes a PNG of another kind than 8-bit RGBA with libpng's writing side.
void write_png_of_kind(const fs::path& path, int color_type, int bit_depth, int32_t w, int32_t h,
                       const Bytes& rows, const std::vector<png_color>& palette = {}) {
  std::FILE* file = std::fopen(path.string().c_str(), "wb");
  ASSERT_NE(file, nullptr);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_init_io(png, file);
  png_set_IHDR(png, info, w, h, bit_depth, color_type, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  if (!palette.empty()) {
    png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
  }
  png_write_info(png, info);
  const size_t row_bytes = rows.size() / static_cast<size_t>(h);
  for (int32_t y = 0; y < h; ++y) {
    png_write_row(png, rows.data() + static_cast<size_t>(y) * row_bytes);
  }
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  std::fclose(file);
}

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / (std::string("vellora-cli-") + info->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path at(const std::string& name) const { return dir_ / name; }

  Outcome run(const std::string& arguments) const {
    const fs::path out = at("stdout.txt"), err = at("stderr.txt");
    const std::string command = "\"" + std::string(VELLORA_CLI) + "\" " + arguments + " > \"" +
                                out.string() + "\" 2> \"" + err.string() + "\"";
#if defined(_WIN32)
    // cmd.exe drops the outer quotes of a line that starts with one.
    const int raw = std::system(("\"" + command + "\"").c_str());
#else
    const int raw = std::system(command.c_str());
#endif
#if defined(_WIN32)
    const int status = raw;
#else
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    return Outcome{status, read_text(out), read_text(err)};
  }

  std::string q(const std::string& name) const { return "\"" + at(name).string() + "\""; }

  // A random image saved as name, and its bitmap.
  hostsim::BitmapPtr input(const std::string& name, int32_t w, int32_t h, uint32_t seed) {
    hostsim::BitmapPtr bitmap = vtest::random_bitmap(w, h, seed);
    EXPECT_EQ(PngSaveA(at(name).string().c_str(), hostsim::handle_of(*bitmap), 1, 0), VELLORA_OK);
    return bitmap;
  }

  fs::path dir_;
};

TEST_F(CliTest, EachSubcommandGivesWhatItsExportGives) {
  struct Case {
    std::string arguments;
    std::function<int32_t(int32_t image, int32_t other)> direct;
  };
  const std::vector<Case> cases = {
      {"blur {in} {out} --radius 2", [](int32_t h, int32_t) { return Blur(h, 2); }},
      {"mosaic {in} {out} --block 3,2 --area -1,2,9,5",
       [](int32_t h, int32_t) { return Mosaic(h, -1, 2, 9, 5, 3, 2); }},
      {"tone {in} {out} --red 64 --green -300 --blue 5 --skip-transparent",
       [](int32_t h, int32_t) { return ChangeTone(h, 64, -300, 5, 1); }},
      {"invert {in} {out}", [](int32_t h, int32_t) { return InvertColor(h); }},
      {"blend {in} {other} {out} --at 2,-1 --from 1,0 --size 5,6 --mode overlay",
       [](int32_t h, int32_t o) { return BlendBlt(h, 2, -1, o, 1, 0, 5, 6, BLEND_OVERLAY, 255); }},
      {"blend {in} {other} {out} --mode 1 --opacity 100",
       [](int32_t h, int32_t o) { return BlendBlt(h, 0, 0, o, 0, 0, 7, 5, BLEND_ADD, 100); }},
      {"clip-mask {in} {other} {out} --offset 3,1 --outside 128",
       [](int32_t h, int32_t o) { return ClipMask(h, o, 3, 1, 128); }},
      {"save {in} {out} --level 0 --filters 1", [](int32_t, int32_t) { return VELLORA_OK; }},
  };
  for (const Case& c : cases) {
    hostsim::BitmapPtr image = input("in.png", 11, 8, 1);
    hostsim::BitmapPtr other = input("other.png", 7, 5, 2);
    std::string arguments = c.arguments;
    for (const char* name : {"in", "other", "out"}) {
      const std::string placeholder = "{" + std::string(name) + "}";
      const size_t at_placeholder = arguments.find(placeholder);
      if (at_placeholder == std::string::npos) continue;
      arguments.replace(at_placeholder, placeholder.size(), q(std::string(name) + ".png"));
    }
    const Outcome result = run(arguments);
    ASSERT_EQ(result.status, 0) << c.arguments << ": " << result.err;
    ASSERT_EQ(c.direct(hostsim::handle_of(*image), hostsim::handle_of(*other)), VELLORA_OK);
    const Decoded out = decode(at("out.png"));
    EXPECT_EQ(out.width, 11) << c.arguments;
    EXPECT_EQ(out.pixels, vtest::snapshot(*image)) << c.arguments;
  }
}

TEST_F(CliTest, PaletteGrayAndSixteenBitInputAreReadAsRgba) {
  // Palette: two opaque colors (no tRNS chunk).
  write_png_of_kind(at("palette.png"), PNG_COLOR_TYPE_PALETTE, 8, 2, 1, {0, 1},
                    {png_color{10, 20, 30}, png_color{200, 100, 50}});
  write_png_of_kind(at("gray.png"), PNG_COLOR_TYPE_GRAY, 8, 2, 1, {0, 77});
  // 16-bit RGBA (R, G, B, A) = (0xFFFF, 0, 0xFFFF, 0xFFFF): 0 and 0xFFFF scale exactly.
  write_png_of_kind(at("wide.png"), PNG_COLOR_TYPE_RGB_ALPHA, 16, 1, 1,
                    {0xFF, 0xFF, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF});
  ASSERT_EQ(run("save " + q("palette.png") + " " + q("p.png")).status, 0);
  ASSERT_EQ(run("save " + q("gray.png") + " " + q("g.png")).status, 0);
  ASSERT_EQ(run("save " + q("wide.png") + " " + q("w.png")).status, 0);
  EXPECT_EQ(decode(at("p.png")).pixels, (Bytes{30, 20, 10, 255, 50, 100, 200, 255}));
  EXPECT_EQ(decode(at("g.png")).pixels, (Bytes{0, 0, 0, 255, 77, 77, 77, 255}));
  EXPECT_EQ(decode(at("w.png")).pixels, (Bytes{255, 0, 255, 255}));
}

TEST_F(CliTest, FailuresNameTheCauseAndLeaveExistingOutputAlone) {
  input("in.png", 4, 4, 3);
  {
    std::ofstream existing(at("out.png"), std::ios::binary);
    existing << "keep me";
  }
  {
    std::ofstream junk(at("junk.png"), std::ios::binary);
    junk << "not a png at all";
  }
  struct Case {
    std::string arguments;
    int status;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"invert " + q("missing.png") + " " + q("out.png"), 1, "missing.png: cannot open"},
      {"invert " + q("junk.png") + " " + q("out.png"), 1, "not a readable PNG"},
      {"blur " + q("in.png") + " " + q("out.png") + " --radius 4x", 2, "--radius"},
      {"blur " + q("in.png") + " " + q("out.png") + " --radius 99999999999", 2, "32-bit"},
      {"blend " + q("in.png") + " " + q("in.png") + " " + q("out.png") + " --mode 9", 2,
       "not a blend mode"},
      {"blend " + q("in.png") + " " + q("in.png") + " " + q("out.png") + " --at 1", 2,
       "comma-separated"},
      {"mosaic " + q("in.png") + " " + q("out.png") + " --colour 3", 2, "unknown option"},
      {"invert " + q("in.png"), 2, "expected 2 file arguments"},
      {"frobnicate", 2, "unknown command"},
      {"invert " + q("in.png") + " " + q("no-such-dir/out.png"), 1, "PngSaveA returned 1"},
  };
  for (const Case& c : cases) {
    const Outcome result = run(c.arguments);
    EXPECT_EQ(result.status, c.status) << c.arguments;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << c.arguments << ": " << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_EQ(read_text(at("out.png")), "keep me") << c.arguments;
  }
  EXPECT_FALSE(fs::exists(at("no-such-dir")));
  EXPECT_FALSE(fs::exists(at("out.png.partial")));
}

TEST_F(CliTest, EverySubcommandHasHelp) {
  for (const char* command :
       {"blend", "blur", "mosaic", "tone", "invert", "clip-mask", "save", "info", "showcase"}) {
    const Outcome result = run(std::string(command) + " --help");
    EXPECT_EQ(result.status, 0) << command;
    EXPECT_EQ(result.out.rfind(std::string("usage: vellora ") + command, 0), 0u) << result.out;
  }
}

TEST_F(CliTest, InfoCountsAlphaKinds) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(3, 1);
  vtest::put(*bitmap, 0, 0, {1, 2, 3, 0});
  vtest::put(*bitmap, 1, 0, {1, 2, 3, 128});
  vtest::put(*bitmap, 2, 0, {1, 2, 3, 255});
  ASSERT_EQ(PngSaveA(at("a.png").string().c_str(), hostsim::handle_of(*bitmap), -1, 0), 0);
  const Outcome result = run("info " + q("a.png"));
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_NE(result.out.find("3 x 1, 3 pixels: 1 transparent, 1 translucent, 1 opaque"),
            std::string::npos)
      << result.out;
}

// The showcase's results are what the exports give on its own scene.
TEST_F(CliTest, ShowcaseResultsMatchDirectCalls) {
  const Outcome result = run("showcase " + q("show"));
  ASSERT_EQ(result.status, 0) << result.err;
  const Decoded scene = decode(at("show/scene.png"));
  const Decoded layer = decode(at("show/layer.png"));
  ASSERT_EQ(scene.width, 240);
  ASSERT_EQ(layer.width, 160);
  hostsim::BitmapPtr layer_bitmap = bitmap_of(layer);
  struct Check {
    std::string file;
    std::function<int32_t(int32_t)> op;
  };
  const std::vector<Check> checks = {
      {"blur-3", [](int32_t h) { return Blur(h, 3); }},
      {"mosaic-12x8-area", [](int32_t h) { return Mosaic(h, 70, 40, 110, 100, 12, 8); }},
      {"tone-warm", [](int32_t h) { return ChangeTone(h, 64, 0, -64, 0); }},
      {"invert", [](int32_t h) { return InvertColor(h); }},
      {"blend-overlay",
       [&](int32_t h) {
         return BlendBlt(h, 40, 20, hostsim::handle_of(*layer_bitmap), 0, 0, 160, 120,
                         BLEND_OVERLAY, 255);
       }},
      {"blend-normal-128",
       [&](int32_t h) {
         return BlendBlt(h, 40, 20, hostsim::handle_of(*layer_bitmap), 0, 0, 160, 120, BLEND_NORMAL,
                         128);
       }},
  };
  for (const Check& check : checks) {
    hostsim::BitmapPtr bitmap = bitmap_of(scene);
    ASSERT_EQ(check.op(hostsim::handle_of(*bitmap)), VELLORA_OK);
    EXPECT_EQ(decode(at("show/" + check.file + ".png")).pixels, vtest::snapshot(*bitmap))
        << check.file;
  }
  const Decoded sheet = decode(at("show/contact-sheet.png"));
  EXPECT_GT(sheet.width, 5 * 240);
  EXPECT_FALSE(sheet.pixels.empty());
}

}  // namespace
