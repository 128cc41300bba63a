// PNG files in and out of host bitmaps: reading with libpng's reading side,
// writing through the library's own PngSaveA.
#pragma once

#include <cstdint>
#include <string>

#include "hostsim.h"

namespace cli {

// Reads any PNG (palette, gray, 16-bit and RGB included) as an 8-bit BGRA
// host bitmap, bottom row first as the host stores it. Throws CliError naming
// the file and the cause.
hostsim::BitmapPtr read_png(const std::string& path);

struct SaveSettings {
  int32_t level = -1;      // zlib's default
  int32_t filters = 0xF8;  // let the encoder choose a filter per row
};

// Saves through PngSaveA into a temporary file beside `path`, then moves it
// over `path`: an existing file is replaced only by a complete PNG.
void write_png(const hostsim::Bitmap& bitmap, const std::string& path,
               const SaveSettings& settings = SaveSettings{});

bool file_exists(const std::string& path);
void make_directory(const std::string& path);

}  // namespace cli
