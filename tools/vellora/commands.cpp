#include "commands.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "cli_args.h"
#include "cli_error.h"
#include "hostsim.h"
#include "image_file.h"
#include "status_text.h"
#include "vellora.h"

namespace cli {

namespace {

// Parses the words, prints the help text and returns false for --help, and
// checks the number of positional arguments.
bool parse(const Words& words, const OptionNames& options, size_t positional, const char* help,
           Arguments* args) {
  *args = parse_arguments(words, options);
  if (args->help) {
    std::fputs(help, stdout);
    return false;
  }
  if (args->positional.size() != positional) {
    throw UsageError("expected " + std::to_string(positional) + " file arguments, got " +
                     std::to_string(args->positional.size()) + " (see --help)");
  }
  return true;
}

int32_t int_option(const Arguments& args, const std::string& name, int32_t fallback) {
  const auto found = args.values.find(name);
  return found == args.values.end() ? fallback : parse_int(name, found->second);
}

template <size_t N>
std::array<int32_t, N> ints_option(const Arguments& args, const std::string& name,
                                   std::array<int32_t, N> fallback) {
  const auto found = args.values.find(name);
  return found == args.values.end() ? fallback : parse_ints<N>(name, found->second);
}

int32_t handle(const hostsim::BitmapPtr& bitmap) { return hostsim::handle_of(*bitmap); }

}  // namespace

int run_blend(const Words& words) {
  static const char kHelp[] =
      "usage: vellora blend DST SRC OUT [--at X,Y] [--from X,Y] [--size W,H]\n"
      "                     [--mode MODE] [--opacity N]\n"
      "Blends an area of SRC onto DST (BlendBlt) and writes the result to OUT.\n"
      "  --at X,Y      destination position of the area (default 0,0)\n"
      "  --from X,Y    source position of the area (default 0,0)\n"
      "  --size W,H    size of the area (default: the whole of SRC)\n"
      "  --mode MODE   normal, add, subtract, multiply, color-dodge, color-burn,\n"
      "                screen, overlay, or 0..7 (default normal)\n"
      "  --opacity N   0..255, the source's strength in modes 0..2 (default 255)\n";
  Arguments args;
  if (!parse(words, {{"at", "from", "size", "mode", "opacity"}, {}}, 3, kHelp, &args)) return 0;
  hostsim::BitmapPtr dst = read_png(args.positional[0]);
  hostsim::BitmapPtr src = read_png(args.positional[1]);
  const auto at = ints_option<2>(args, "at", {0, 0});
  const auto from = ints_option<2>(args, "from", {0, 0});
  const auto size =
      ints_option<2>(args, "size", {hostsim::width_of(*src), hostsim::height_of(*src)});
  const int32_t mode = args.has("mode") ? parse_blend_mode(args.values["mode"]) : BLEND_NORMAL;
  const int32_t opacity = int_option(args, "opacity", 255);
  check_status("BlendBlt", BlendBlt(handle(dst), at[0], at[1], handle(src), from[0], from[1],
                                    size[0], size[1], mode, opacity));
  write_png(*dst, args.positional[2]);
  return 0;
}

int run_blur(const Words& words) {
  static const char kHelp[] =
      "usage: vellora blur IN OUT [--radius N]\n"
      "Box-blurs the whole image, alpha-weighted (Blur), and writes OUT.\n"
      "  --radius N   half the side of the box, 1..1000 (default 1; 0 or less: no change)\n";
  Arguments args;
  if (!parse(words, {{"radius"}, {}}, 2, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  check_status("Blur", Blur(handle(image), int_option(args, "radius", 1)));
  write_png(*image, args.positional[1]);
  return 0;
}

int run_mosaic(const Words& words) {
  static const char kHelp[] =
      "usage: vellora mosaic IN OUT [--block W,H] [--area X,Y,W,H]\n"
      "Replaces an area with alpha-weighted block means (Mosaic) and writes OUT.\n"
      "  --block W,H      block size (default 8,8; below 1 acts as 1)\n"
      "  --area X,Y,W,H   the area (default: the whole image)\n";
  Arguments args;
  if (!parse(words, {{"block", "area"}, {}}, 2, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  const auto block = ints_option<2>(args, "block", {8, 8});
  const auto area =
      ints_option<4>(args, "area", {0, 0, hostsim::width_of(*image), hostsim::height_of(*image)});
  check_status("Mosaic",
               Mosaic(handle(image), area[0], area[1], area[2], area[3], block[0], block[1]));
  write_png(*image, args.positional[1]);
  return 0;
}

int run_tone(const Words& words) {
  static const char kHelp[] =
      "usage: vellora tone IN OUT [--red N] [--green N] [--blue N] [--skip-transparent]\n"
      "Moves each color channel toward white (positive) or black (negative) on a\n"
      "scale of 256 (ChangeTone) and writes OUT.\n"
      "  --red/--green/--blue N   -256..256 (default 0; larger values act as the bound)\n"
      "  --skip-transparent       leave pixels of alpha 0 unchanged\n";
  Arguments args;
  if (!parse(words, {{"red", "green", "blue"}, {"skip-transparent"}}, 2, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  check_status("ChangeTone",
               ChangeTone(handle(image), int_option(args, "red", 0), int_option(args, "green", 0),
                          int_option(args, "blue", 0), args.flags.count("skip-transparent")));
  write_png(*image, args.positional[1]);
  return 0;
}

int run_invert(const Words& words) {
  static const char kHelp[] =
      "usage: vellora invert IN OUT\n"
      "Inverts every color channel, keeping alpha (InvertColor), and writes OUT.\n";
  Arguments args;
  if (!parse(words, {}, 2, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  check_status("InvertColor", InvertColor(handle(image)));
  write_png(*image, args.positional[1]);
  return 0;
}

int run_clip_mask(const Words& words) {
  static const char kHelp[] =
      "usage: vellora clip-mask IN MASK OUT [--offset X,Y] [--outside N]\n"
      "Scales IN's alpha by MASK's blue channel laid over it at the offset\n"
      "(ClipMask) and writes OUT. White keeps, black clears.\n"
      "  --offset X,Y   where MASK's top-left pixel lies over IN (default 0,0)\n"
      "  --outside N    mask value where MASK does not cover IN (default 0)\n";
  Arguments args;
  if (!parse(words, {{"offset", "outside"}, {}}, 3, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  hostsim::BitmapPtr mask = read_png(args.positional[1]);
  const auto offset = ints_option<2>(args, "offset", {0, 0});
  check_status("ClipMask", ClipMask(handle(image), handle(mask), offset[0], offset[1],
                                    int_option(args, "outside", 0)));
  write_png(*image, args.positional[2]);
  return 0;
}

int run_save(const Words& words) {
  static const char kHelp[] =
      "usage: vellora save IN OUT [--level N] [--filters N]\n"
      "Writes IN again through PngSaveA with the given encoder settings.\n"
      "  --level N     deflate level -1..9 (default -1, zlib's default; others act as -1)\n"
      "  --filters N   row filters: 0 none, 1 sub, 2 up, 3 average, 4 paeth, or flag\n"
      "                bits 0x08..0x80 for the encoder to choose from (default 248: all)\n";
  Arguments args;
  if (!parse(words, {{"level", "filters"}, {}}, 2, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  write_png(*image, args.positional[1],
            SaveSettings{int_option(args, "level", -1), int_option(args, "filters", 0xF8)});
  return 0;
}

int run_info(const Words& words) {
  static const char kHelp[] =
      "usage: vellora info IN\n"
      "Prints the image's size and how many of its pixels are transparent,\n"
      "translucent and opaque, as the library sees it.\n";
  Arguments args;
  if (!parse(words, {}, 1, kHelp, &args)) return 0;
  hostsim::BitmapPtr image = read_png(args.positional[0]);
  const int32_t width = hostsim::width_of(*image), height = hostsim::height_of(*image);
  const int32_t length = width * height * 4;
  std::vector<uint8_t> data(static_cast<size_t>(length));
  check_status("GetPixelData", GetPixelData(handle(image), data.data(), length));
  size_t transparent = 0, opaque = 0;
  for (size_t i = 3; i < data.size(); i += 4) {
    transparent += data[i] == 0;
    opaque += data[i] == 255;
  }
  const size_t pixels = data.size() / 4;
  std::printf("%s: %d x %d, %zu pixels: %zu transparent, %zu translucent, %zu opaque\n",
              args.positional[0].c_str(), width, height, pixels, transparent,
              pixels - transparent - opaque, opaque);
  return 0;
}

}  // namespace cli
