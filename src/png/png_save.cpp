#include "png/png_save.h"

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <cstdio>

#include "png/open_output.h"
#include "vellora.h"

namespace vellora {

namespace {

// zlib's levels: -1 its default (6), 0 stored, 1 fastest ... 9 strongest.
constexpr int32_t kDefaultLevel = -1;
constexpr int32_t kMaxLevel = 9;

// A level outside -1..9 becomes -1.
int32_t clamp_level(int32_t level) {
  return (level < kDefaultLevel || level > kMaxLevel) ? kDefaultLevel : level;
}

// The filter set that `filters` stands for, by its low byte (the meaning that
// libpng 1.4, which the runtime's scripts were written against, gave it):
// 0 None, 1 Sub, 2 Up, 3 Average, 4 Paeth, each on every row; 5..7 None after
// a warning; 8..255 a set of flag bits (0x08 None ... 0x80 Paeth, the encoder
// picking one per row; bits 0x01..0x04 count for nothing). libpng 1.6 reads
// the small values otherwise (0 lets it choose among all filters, 1..4 give
// None, 5..7 abort the save), so it is always handed the flag set itself.
int row_filter_flags(png_structp png, int32_t filters) {
  const int32_t low = filters & 0xFF;
  switch (low) {
    case PNG_FILTER_VALUE_NONE:
      return PNG_FILTER_NONE;
    case PNG_FILTER_VALUE_SUB:
      return PNG_FILTER_SUB;
    case PNG_FILTER_VALUE_UP:
      return PNG_FILTER_UP;
    case PNG_FILTER_VALUE_AVG:
      return PNG_FILTER_AVG;
    case PNG_FILTER_VALUE_PAETH:
      return PNG_FILTER_PAETH;
    case 5:
    case 6:
    case 7:
      // Through the encoder's own warning path: its default handler prints it.
      png_warning(png, "Unknown row filter for method 0");
      return PNG_FILTER_NONE;
    default:
      return low & PNG_ALL_FILTERS;
  }
}

// Drives the encoder over an open stream. Whatever it allocates (the row
// table, then its structures) is released before it returns, on every path.
int32_t write_png(std::FILE* stream, const HeaderView& bitmap, int32_t level, int32_t filters) {
  // Null error and warning functions: the encoder's default handlers print
  // "libpng warning: ..." / "libpng error: ..." on standard error.
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (png == nullptr) return PNG_SAVE_FAILED;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return PNG_SAVE_FAILED;
  }

  // Set after setjmp and read after a longjmp: it must live in memory.
  png_bytep* volatile rows = nullptr;
  if (setjmp(png_jmpbuf(png))) {
    png_free(png, rows);
    png_destroy_write_struct(&png, &info);
    return PNG_SAVE_FAILED;
  }

  png_init_io(png, stream);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, row_filter_flags(png, filters));
  png_set_compression_level(png, level);
  // The header's own values, its signed sizes taken as unsigned: the encoder
  // refuses 0 and anything beyond its limit of 1,000,000 (negative included)
  // here, before a byte is written.
  png_set_IHDR(png, info, static_cast<png_uint_32>(bitmap.width),
               static_cast<png_uint_32>(bitmap.height), 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  // The encoder took the sizes: both positive, so the bitmap has pixels.
  const BitmapView view{bitmap.width, bitmap.height, bitmap.pixels};

  // The PNG's row i is the image's row i, stored height - 1 - i rows from
  // the start of the bottom-up buffer: the encoder reads the host's rows in
  // place, and turns B, G, R into R, G, B on the bytes it writes.
  const auto height = static_cast<size_t>(view.height);
  rows = static_cast<png_bytep*>(png_malloc(png, height * sizeof(png_bytep)));
  for (size_t i = 0; i < height; ++i) {
    rows[i] = stored_row(view, static_cast<int32_t>(height - 1 - i));
  }
  png_set_bgr(png);
  png_write_image(png, rows);
  png_write_end(png, info);

  png_free(png, rows);
  rows = nullptr;
  png_destroy_write_struct(&png, &info);
  return VELLORA_OK;
}

}  // namespace

int32_t png_save(const char* path, const HeaderView& bitmap, int32_t level, int32_t filters) {
  const int32_t clamped_level = clamp_level(level);
  std::FILE* stream = open_output(path);
  if (stream == nullptr) return PNG_SAVE_FAILED;
  const int32_t status = write_png(stream, bitmap, clamped_level, filters);
  // The close writes the last buffered bytes: if it fails, the file may be
  // incomplete, and that is no success.
  const bool closed = std::fclose(stream) == 0;
  return (status == VELLORA_OK && closed) ? VELLORA_OK : PNG_SAVE_FAILED;
}

}  // namespace vellora
