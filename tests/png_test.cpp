// PNG save: every file the tests write is read back with libpng's reading
// side (pixels) or walked by hand (chunks, deflate blocks, row filters).
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "png/open_output.h"
#include "test_support.h"
#include "vellora.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#endif

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

// ---------------------------------------------------------------------------
// Files

std::FILE* open_file(const fs::path& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wide_mode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wide_mode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

bool file_exists(const fs::path& path) {
  std::error_code error;
  return fs::exists(path, error);
}

Bytes read_file(const fs::path& path) {
  Bytes bytes;
  std::FILE* f = open_file(path, "rb");
  if (f == nullptr) {
    ADD_FAILURE() << "cannot read " << path.u8string();
    return bytes;
  }
  uint8_t block[4096];
  size_t n;
  while ((n = std::fread(block, 1, sizeof block, f)) > 0)
    bytes.insert(bytes.end(), block, block + n);
  std::fclose(f);
  return bytes;
}

void write_file(const fs::path& path, const std::string& text) {
  std::FILE* f = open_file(path, "wb");
  ASSERT_NE(f, nullptr) << path.u8string();
  ASSERT_EQ(std::fwrite(text.data(), 1, text.size(), f), text.size());
  ASSERT_EQ(std::fclose(f), 0);
}

std::string read_text(const fs::path& path) {
  const Bytes bytes = read_file(path);
  return std::string(bytes.begin(), bytes.end());
}

// ---------------------------------------------------------------------------
// Standard error, as the encoder's default handlers write it

#ifdef _WIN32
#define fd_dup _dup
#define fd_dup2 _dup2
#define fd_close _close
#define FD_OPEN_FLAGS (_O_WRONLY | _O_CREAT | _O_TRUNC | _O_BINARY)
int fd_open(const fs::path& path) { return _wopen(path.c_str(), FD_OPEN_FLAGS, 0600); }
#else
#define fd_dup dup
#define fd_dup2 dup2
#define fd_close close
int fd_open(const fs::path& path) { return open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600); }
#endif

// Runs the call with file descriptor 2 sent to a file; returns what reached
// it, line ends as "\n".
template <typename Call>
std::string capture_stderr(const fs::path& file, Call call) {
  std::fflush(stderr);
  const int saved = fd_dup(2);
  const int target = fd_open(file);
  EXPECT_GE(saved, 0);
  EXPECT_GE(target, 0);
  fd_dup2(target, 2);
  call();
  std::fflush(stderr);
  fd_dup2(saved, 2);
  fd_close(saved);
  fd_close(target);
  std::string text = read_text(file);
  text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
  return text;
}

// ---------------------------------------------------------------------------
// What the file holds

struct Image {
  uint32_t width = 0;
  uint32_t height = 0;
  Bytes rgba;  // top row first
};

// libpng's reading side, 8-bit RGBA out.
Image decode(const Bytes& file) {
  Image image;
  png_image reader{};
  reader.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&reader, file.data(), file.size())) {
    ADD_FAILURE() << "not a PNG: " << reader.message;
    return image;
  }
  reader.format = PNG_FORMAT_RGBA;
  image.rgba.resize(PNG_IMAGE_SIZE(reader));
  if (!png_image_finish_read(&reader, nullptr, image.rgba.data(), 0, nullptr)) {
    ADD_FAILURE() << "decoding failed: " << reader.message;
    png_image_free(&reader);
    return Image{};
  }
  image.width = reader.width;
  image.height = reader.height;
  return image;
}

// The bitmap as the file should show it: image row 0 first, each stored
// B, G, R, A pixel as R, G, B, A.
Bytes expected_rgba(const hostsim::Bitmap& bitmap) {
  const int32_t width = hostsim::width_of(bitmap), height = hostsim::height_of(bitmap);
  Bytes rgba(vtest::byte_count(bitmap));
  uint8_t* out = rgba.data();
  for (int32_t y = 0; y < height; ++y) {
    const uint8_t* p = hostsim::pixel_at(bitmap, 0, y);
    for (int32_t x = 0; x < width; ++x, p += 4, out += 4) {
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
      out[3] = p[3];
    }
  }
  return rgba;
}

uint32_t big_endian(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

struct Chunk {
  std::string type;
  Bytes data;
};

// The chunks after the signature, each with its length and CRC checked.
std::vector<Chunk> chunks_of(const Bytes& file) {
  static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
  std::vector<Chunk> chunks;
  if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0) {
    ADD_FAILURE() << "no PNG signature";
    return chunks;
  }
  size_t pos = 8;
  while (pos < file.size()) {
    if (file.size() - pos < 12) {
      ADD_FAILURE() << "chunk header cut short at " << pos;
      break;
    }
    const uint32_t length = big_endian(&file[pos]);
    if (length > file.size() - pos - 12) {
      ADD_FAILURE() << "chunk data cut short at " << pos;
      break;
    }
    const uint8_t* type = &file[pos + 4];
    const uint8_t* data = type + 4;
    const uint32_t crc = big_endian(data + length);
    EXPECT_EQ(crc32(crc32(0, type, 4), data, length), crc) << "CRC of the chunk at " << pos;
    chunks.push_back({std::string(type, type + 4), Bytes(data, data + length)});
    pos += 12 + size_t{length};
  }
  return chunks;
}

Bytes zlib_stream(const Bytes& file) {
  Bytes stream;
  for (const Chunk& c : chunks_of(file)) {
    if (c.type == "IDAT") stream.insert(stream.end(), c.data.begin(), c.data.end());
  }
  return stream;
}

// The filtered rows, each a filter type byte and width * 4 bytes.
Bytes inflate_rows(const Bytes& file, uint32_t width, uint32_t height) {
  const Bytes stream = zlib_stream(file);
  Bytes raw(size_t{height} * (1 + size_t{width} * 4) + 1);  // one spare: catches extra data
  uLongf raw_size = static_cast<uLongf>(raw.size());
  const int result =
      uncompress(raw.data(), &raw_size, stream.data(), static_cast<uLong>(stream.size()));
  EXPECT_EQ(result, Z_OK);
  EXPECT_EQ(raw_size, raw.size() - 1);
  raw.resize(raw_size);
  return raw;
}

std::vector<int> row_filter_types(const Bytes& file, uint32_t width, uint32_t height) {
  const Bytes raw = inflate_rows(file, width, height);
  std::vector<int> types;
  const size_t stride = 1 + size_t{width} * 4;
  for (size_t row = 0; row * stride < raw.size(); ++row) types.push_back(raw[row * stride]);
  return types;
}

// Walks a zlib stream made only of stored deflate blocks: each header's type
// bits must be 00, and the blocks' lengths add up to the raw size. Returns
// that size, or -1 at the first block of another type.
int64_t stored_size(const Bytes& stream) {
  size_t pos = 2;  // the zlib header
  int64_t total = 0;
  for (;;) {
    if (pos >= stream.size()) return -1;
    // A stored block ends on a byte boundary, so the next header starts one.
    const uint8_t header = stream[pos];
    const bool final_block = (header & 1) != 0;
    if (((header >> 1) & 3) != 0) return -1;
    if (stream.size() - pos < 5) return -1;
    const uint32_t length = stream[pos + 1] | uint32_t{stream[pos + 2]} << 8;
    const uint32_t complement = stream[pos + 3] | uint32_t{stream[pos + 4]} << 8;
    EXPECT_EQ(length ^ 0xFFFF, complement);
    pos += 5 + size_t{length};
    total += length;
    if (final_block) break;
  }
  EXPECT_EQ(pos + 4, stream.size()) << "Adler-32 and nothing after";
  return total;
}

int first_block_type(const Bytes& stream) { return stream.size() > 2 ? (stream[2] >> 1) & 3 : -1; }

// ---------------------------------------------------------------------------
// The fixture: a fresh directory per test, and a save that checks the host's
// buffer comes through unchanged.

std::string utf8(const fs::path& path) { return path.u8string(); }

class PngSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
    dir_ = fs::temp_directory_path() /
           ("vellora-png-" + name + "-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code error;
    fs::remove_all(long_name(dir_), error);
  }

  // On Windows, the form of a path that escapes the 260-unit limit.
  static fs::path long_name(const fs::path& path) {
#ifdef _WIN32
    return fs::path(L"\\\\?\\" + fs::absolute(path).make_preferred().wstring());
#else
    return path;
#endif
  }

  fs::path file(const std::string& name) const { return dir_ / name; }

  // Saves through PngSaveA (or PngSave) and checks that the pixels were only read.
  static int32_t save(const std::string& path, const hostsim::Bitmap& bitmap, int32_t level = -1,
                      int32_t filters = 0, bool second_name = false) {
    const Bytes before = vtest::snapshot(bitmap);
    const int32_t handle = hostsim::handle_of(bitmap);
    const int32_t result = second_name ? PngSave(path.c_str(), handle, level, filters)
                                       : PngSaveA(path.c_str(), handle, level, filters);
    EXPECT_EQ(vtest::snapshot(bitmap), before) << "the host's pixels changed";
    return result;
  }

  // Saves, expects success, and returns the file.
  Bytes save_bytes(const hostsim::Bitmap& bitmap, int32_t level, int32_t filters) {
    const fs::path path =
        file("out-" + std::to_string(level) + "-" + std::to_string(filters) + ".png");
    EXPECT_EQ(save(utf8(path), bitmap, level, filters), VELLORA_OK) << level << ", " << filters;
    return read_file(path);
  }

  std::string stderr_of_save(const std::string& path, const hostsim::Bitmap& bitmap, int32_t level,
                             int32_t filters, int32_t* result) {
    return capture_stderr(file("stderr.txt"),
                          [&] { *result = save(path, bitmap, level, filters); });
  }

  fs::path dir_;
};

// A bitmap whose rows compress well, unlike random bytes.
hostsim::BitmapPtr gradient_bitmap(int32_t w, int32_t h) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(w, h);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      vtest::put(
          *bitmap, x, y,
          {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x + y), 255});
    }
  }
  return bitmap;
}

// ---------------------------------------------------------------------------
// Pixels

TEST_F(PngSaveTest, OnePixelBecomesRGBA) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(1, 1);
  vtest::put(*bitmap, 0, 0, {10, 20, 30, 40});
  const Image image = decode(save_bytes(*bitmap, -1, 0));
  EXPECT_EQ(image.width, 1u);
  EXPECT_EQ(image.height, 1u);
  EXPECT_EQ(image.rgba, (Bytes{30, 20, 10, 40}));
}

TEST_F(PngSaveTest, BottomUpRowsComeOutUpright) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(2, 3);
  uint8_t* stored = hostsim::pixels_of(*bitmap);
  for (int i = 0; i < 24; ++i) stored[i] = static_cast<uint8_t>(100 + i);
  const Image image = decode(save_bytes(*bitmap, -1, 0));
  ASSERT_EQ(image.width, 2u);
  ASSERT_EQ(image.height, 3u);
  // The first row is stored row 2 (bytes 16..23), the last is stored row 0.
  EXPECT_EQ(image.rgba, (Bytes{118, 117, 116, 119, 122, 121, 120, 123,  //
                               110, 109, 108, 111, 114, 113, 112, 115,  //
                               102, 101, 100, 103, 106, 105, 104, 107}));
}

TEST_F(PngSaveTest, ExistingFileIsReplacedWhole) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(4, 4, 10);
  const Bytes fresh = save_bytes(*bitmap, -1, 0);
  const fs::path path = file("replaced.png");
  write_file(path, std::string(fresh.size() * 3, 'x'));
  ASSERT_EQ(save(utf8(path), *bitmap), VELLORA_OK);
  EXPECT_EQ(read_file(path), fresh);
}

TEST_F(PngSaveTest, TransparentPixelsKeepTheirColors) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(3, 1);
  vtest::put(*bitmap, 0, 0, {200, 100, 50, 0});
  vtest::put(*bitmap, 1, 0, {255, 255, 255, 0});
  vtest::put(*bitmap, 2, 0, {7, 8, 9, 1});
  const Image image = decode(save_bytes(*bitmap, 9, 0xF8));
  EXPECT_EQ(image.rgba, (Bytes{50, 100, 200, 0, 255, 255, 255, 0, 9, 8, 7, 1}));
}

TEST_F(PngSaveTest, EveryLevelAndFilterChoiceKeepsEveryByte) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(37, 23, 11);
  // Some rows that the filters treat differently from noise.
  for (int32_t x = 0; x < 37; ++x) vtest::put(*bitmap, x, 5, {0, 0, 0, 0});
  for (int32_t x = 0; x < 37; ++x) vtest::put(*bitmap, x, 6, {uint8_t(x), uint8_t(x), 9, 255});
  const Bytes expected = expected_rgba(*bitmap);
  for (int32_t level : {-1, 0, 1, 6, 9}) {
    for (int32_t filters : {0, 1, 2, 3, 4, 8, 0x18, 0x30, 0x60, 0xC0, 0xF8, 0xFF, -1}) {
      const Image image = decode(save_bytes(*bitmap, level, filters));
      EXPECT_EQ(image.width, 37u);
      EXPECT_EQ(image.height, 23u);
      EXPECT_EQ(image.rgba, expected) << "level " << level << ", filters " << filters;
    }
  }
}

TEST_F(PngSaveTest, SizesAtTheHeaderLimitAreAccepted) {
  for (auto [w, h] : {std::pair{1000000, 1}, {1, 1000000}}) {
    hostsim::BitmapPtr bitmap = vtest::random_bitmap(w, h, 12);
    const Image image = decode(save_bytes(*bitmap, 1, 0));
    EXPECT_EQ(image.width, static_cast<uint32_t>(w));
    EXPECT_EQ(image.height, static_cast<uint32_t>(h));
    EXPECT_TRUE(image.rgba == expected_rgba(*bitmap)) << w << " x " << h;
  }
}

// ---------------------------------------------------------------------------
// The file's layout

TEST_F(PngSaveTest, FileHoldsOnlyHeaderDataAndEnd) {
  // Large enough, stored, to need several IDAT chunks.
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(120, 90, 13);
  for (int32_t level : {0, -1}) {
    const std::vector<Chunk> chunks = chunks_of(save_bytes(*bitmap, level, 0));
    ASSERT_GE(chunks.size(), 3u);
    EXPECT_EQ(chunks.front().type, "IHDR");
    EXPECT_EQ(chunks.front().data, (Bytes{0, 0, 0, 120, 0, 0, 0, 90, 8, 6, 0, 0, 0}));
    EXPECT_EQ(chunks.back().type, "IEND");
    EXPECT_TRUE(chunks.back().data.empty());
    for (size_t i = 1; i + 1 < chunks.size(); ++i) EXPECT_EQ(chunks[i].type, "IDAT") << i;
    if (level == 0) {
      EXPECT_GT(chunks.size(), 3u) << "several IDAT chunks";
    }
  }
}

// ---------------------------------------------------------------------------
// Compression level

TEST_F(PngSaveTest, LevelsOutsideTheRangeMeanTheDefault) {
  hostsim::BitmapPtr bitmap = gradient_bitmap(64, 40);
  const Bytes by_default = save_bytes(*bitmap, -1, 0);
  for (int32_t level : {10, 100, -2, INT_MAX, INT_MIN}) {
    EXPECT_EQ(save_bytes(*bitmap, level, 0), by_default) << level;
  }
  // zlib's default level is 6.
  EXPECT_EQ(save_bytes(*bitmap, 6, 0), by_default);
  EXPECT_NE(save_bytes(*bitmap, 1, 0), by_default);
  EXPECT_NE(save_bytes(*bitmap, 9, 0), save_bytes(*bitmap, 1, 0));
}

TEST_F(PngSaveTest, LevelZeroStoresTheRowsUncompressed) {
  hostsim::BitmapPtr bitmap = gradient_bitmap(64, 40);
  EXPECT_EQ(stored_size(zlib_stream(save_bytes(*bitmap, 0, 0))), 40 * (1 + 64 * 4));
  // The same walk rejects a compressed stream.
  const Bytes compressed = zlib_stream(save_bytes(*bitmap, -1, 0));
  EXPECT_NE(first_block_type(compressed), 0);
  EXPECT_EQ(stored_size(compressed), -1);
}

// ---------------------------------------------------------------------------
// Row filters

TEST_F(PngSaveTest, SmallFilterValuesFilterEveryRowWithTheirTypeByTheLowByte) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(9, 6, 14);
  for (auto [filters, type] : {std::pair{0, 0},
                               {1, 1},
                               {2, 2},
                               {3, 3},
                               {4, 4},
                               {256, 0},
                               {257, 1},
                               {0x7FFFFF04, 4},
                               {-256, 0},
                               {-255, 1}}) {
    const std::vector<int> types = row_filter_types(save_bytes(*bitmap, -1, filters), 9, 6);
    EXPECT_EQ(types, std::vector<int>(6, type)) << filters;
  }
}

TEST_F(PngSaveTest, FlagBitsChooseTheSetAndTheLowThreeBitsCountForNothing) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(9, 6, 16);
  for (auto [flag, type] : {std::pair{0x08, 0}, {0x10, 1}, {0x20, 2}, {0x40, 3}, {0x80, 4}}) {
    const Bytes alone = save_bytes(*bitmap, -1, flag);
    EXPECT_EQ(row_filter_types(alone, 9, 6), std::vector<int>(6, type)) << flag;
    for (int32_t low = 1; low <= 7; ++low) EXPECT_EQ(save_bytes(*bitmap, -1, flag | low), alone);
  }
  // A set: every row uses one of its members.
  for (int type : row_filter_types(save_bytes(*bitmap, -1, 0x18), 9, 6)) {
    EXPECT_TRUE(type == 0 || type == 1) << type;
  }
}

TEST_F(PngSaveTest, FiltersFiveToSevenWarnAndFilterNothing) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(9, 6, 17);
  const Bytes unfiltered = save_bytes(*bitmap, -1, 0);
  for (int32_t filters : {5, 6, 7, 0x105}) {
    const fs::path path = file("warned.png");
    int32_t result = -1;
    const std::string errors = stderr_of_save(utf8(path), *bitmap, -1, filters, &result);
    EXPECT_EQ(result, VELLORA_OK);
    EXPECT_EQ(errors, "libpng warning: Unknown row filter for method 0\n") << filters;
    EXPECT_EQ(read_file(path), unfiltered) << filters;
  }
  // A plain save prints nothing.
  int32_t result = -1;
  EXPECT_EQ(stderr_of_save(utf8(file("quiet.png")), *bitmap, -1, 0, &result), "");
  EXPECT_EQ(result, VELLORA_OK);
}

// ---------------------------------------------------------------------------
// Failures: the result, what is left on disk, and what is printed

TEST_F(PngSaveTest, UnresolvedHandleTouchesNoFile) {
  const fs::path existing = file("existing.png");
  write_file(existing, "keep me");
  const fs::path missing = file("missing.png");
  EXPECT_EQ(PngSaveA(utf8(existing).c_str(), 0, -1, 0), ERR_NULL_HANDLE);
  EXPECT_EQ(PngSaveA(utf8(missing).c_str(), 0, -1, 0), ERR_NULL_HANDLE);
  EXPECT_EQ(PngSaveA(nullptr, 0, -1, 0), ERR_NULL_HANDLE);

  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(2, 2);
  hostsim::set_object_flags(*bitmap, 0x223);
  EXPECT_EQ(save(utf8(existing), *bitmap), ERR_NOT_BITMAP);
  hostsim::restore_object_flags(*bitmap);
  hostsim::clear_info_header(*bitmap);
  EXPECT_EQ(save(utf8(missing), *bitmap), ERR_NO_INFO_HEADER);

  EXPECT_EQ(read_text(existing), "keep me");
  EXPECT_FALSE(file_exists(missing));
}

TEST_F(PngSaveTest, BufferBeyondInt32IsRefusedBeforeTheFile) {
  // The PNG header would take 1,000,000 x 1,000,000; no buffer that size
  // can exist in a 32-bit process, and the encoder must not walk off this one.
  const fs::path existing = file("existing.png");
  write_file(existing, "keep me");
  const fs::path missing = file("missing.png");
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(1, 1);
  vtest::put(*bitmap, 0, 0, {1, 2, 3, 4});
  const int32_t handle = hostsim::handle_of(*bitmap);
  for (auto [w, h] : {std::pair{1000000, 1000000}, {1000000, 537}, {65536, 65536}}) {
    hostsim::set_header_dimensions(*bitmap, w, h);
    EXPECT_EQ(PngSaveA(utf8(existing).c_str(), handle, -1, 0), ERR_BAD_PIXEL_BUFFER) << w;
    EXPECT_EQ(PngSaveA(utf8(missing).c_str(), handle, -1, 0), ERR_BAD_PIXEL_BUFFER) << w;
  }
  hostsim::set_header_dimensions(*bitmap, 1, 1);
  EXPECT_EQ(vtest::get(*bitmap, 0, 0), (vtest::Pixel{1, 2, 3, 4}));
  EXPECT_EQ(read_text(existing), "keep me");
  EXPECT_FALSE(file_exists(missing));
}

TEST_F(PngSaveTest, RefusedHeaderLeavesAnEmptyFileAndSaysWhy) {
  hostsim::BitmapPtr wide = hostsim::make_bitmap(1000001, 1);
  const fs::path path = file("wide.png");
  write_file(path, "old content");
  int32_t result = 0;
  const std::string errors = stderr_of_save(utf8(path), *wide, -1, 0, &result);
  EXPECT_EQ(result, PNG_SAVE_FAILED);
  EXPECT_EQ(errors,
            "libpng warning: Image width exceeds user limit in IHDR\n"
            "libpng error: Invalid IHDR data\n");
  EXPECT_TRUE(file_exists(path));
  EXPECT_EQ(read_file(path).size(), 0u);
}

TEST_F(PngSaveTest, SizesThePngHeaderRefusesGiveOne) {
  // 0 and negative sizes reach the header as they stand and are refused there.
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(3, 3);
  for (auto [w, h, message] : {std::tuple{3, 0, "Image height is zero in IHDR"},
                               {0, 3, "Image width is zero in IHDR"},
                               {-1, 3, "Invalid image width in IHDR"},
                               {3, INT_MIN, "Invalid image height in IHDR"}}) {
    hostsim::set_header_dimensions(*bitmap, w, h);
    const fs::path path = file("refused.png");
    int32_t result = 0;
    const std::string errors = stderr_of_save(utf8(path), *bitmap, -1, 0, &result);
    EXPECT_EQ(result, PNG_SAVE_FAILED) << w << " x " << h;
    EXPECT_NE(errors.find(std::string("libpng warning: ") + message + "\n"), std::string::npos)
        << errors;
    EXPECT_NE(errors.find("libpng error: Invalid IHDR data\n"), std::string::npos) << errors;
    EXPECT_TRUE(file_exists(path));
    EXPECT_EQ(read_file(path).size(), 0u);
  }
}

TEST_F(PngSaveTest, UnopenablePathsGiveOneSilentlyAndCreateNothing) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(4, 4, 18);
  const fs::path in_missing_dir = file("no-such-dir") / "out.png";
  for (const std::string& path : {utf8(in_missing_dir), std::string(""), utf8(dir_)}) {
    int32_t result = 0;
    EXPECT_EQ(stderr_of_save(path, *bitmap, -1, 0, &result), "") << path;
    EXPECT_EQ(result, PNG_SAVE_FAILED) << path;
  }
  EXPECT_FALSE(file_exists(in_missing_dir.parent_path()));
  EXPECT_TRUE(fs::is_directory(dir_));
  EXPECT_EQ(PngSaveA(nullptr, hostsim::handle_of(*bitmap), -1, 0), PNG_SAVE_FAILED);
  EXPECT_EQ(PngSave(nullptr, hostsim::handle_of(*bitmap), -1, 0), PNG_SAVE_FAILED);
}

// ---------------------------------------------------------------------------
// Paths

// A UTF-8 path below dir that needs exactly `units` UTF-16 units with its
// terminator: ASCII directories, then a name with characters outside the
// basic plane (4 bytes, 2 units each) and an accented letter (2 bytes, 1 unit).
std::string path_of_units(const fs::path& dir, size_t units) {
  fs::create_directory(dir);
  std::string path = utf8(dir);
  const std::string separator = utf8(fs::path("/").make_preferred());
  for (char c : path) {
    if (static_cast<unsigned char>(c) >= 0x80) ADD_FAILURE() << "the base must be ASCII";
  }
  const size_t target = units - 1;
  while (target - path.size() > 150) {
    path += separator + std::string(100, 'd');
    std::error_code error;
    fs::create_directory(fs::u8path(path), error);
  }
  const std::string name_head = separator + u8"\U0001F600\U0001F600\u00e9";  // 1+2+2+1 units
  const size_t filler = target - path.size() - 6 - 4;
  return path + name_head + std::string(filler, 'a') + ".png";
}

TEST_F(PngSaveTest, PathsUpTo1023Utf16UnitsAreAccepted) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(3, 2, 19);
  // On Windows in the form that escapes the 260-unit limit of plain paths.
  const fs::path base = long_name(dir_);
  const std::string fits = path_of_units(base / "fits", 1024);
  const std::string too_long = path_of_units(base / "long", 1025);
  EXPECT_EQ(vellora::utf16_units(fits.c_str()), 1024u);
  EXPECT_EQ(vellora::utf16_units(too_long.c_str()), 1025u);

  EXPECT_EQ(save(too_long, *bitmap), PNG_SAVE_FAILED);
  EXPECT_FALSE(file_exists(fs::u8path(too_long)));
  EXPECT_EQ(save(fits, *bitmap), VELLORA_OK);
  EXPECT_EQ(decode(read_file(fs::u8path(fits))).rgba, expected_rgba(*bitmap));
}

TEST(Utf16Units, CountsUnitsNotBytes) {
  EXPECT_EQ(vellora::utf16_units(""), 1u);
  EXPECT_EQ(vellora::utf16_units("abc"), 4u);
  EXPECT_EQ(vellora::utf16_units("\xC3\xA9"), 2u);          // U+00E9
  EXPECT_EQ(vellora::utf16_units("\xE2\x82\xAC"), 2u);      // U+20AC
  EXPECT_EQ(vellora::utf16_units("\xF0\x9F\x98\x80"), 3u);  // U+1F600, a surrogate pair
  EXPECT_EQ(vellora::utf16_units("\xF4\x8F\xBF\xBF"), 3u);  // U+10FFFF
}

TEST(Utf16Units, EachMaximalIllFormedPartIsOneUnit) {
  EXPECT_EQ(vellora::utf16_units("\x80"), 2u);              // a lone trail byte
  EXPECT_EQ(vellora::utf16_units("\xFF\xFE"), 3u);          // never valid
  EXPECT_EQ(vellora::utf16_units("\xE2\x82"), 2u);          // cut short at the end
  EXPECT_EQ(vellora::utf16_units("\xE2\x82z"), 3u);         // cut short before ASCII
  EXPECT_EQ(vellora::utf16_units("\xF0\x9F\x98z"), 3u);     // likewise, 4-byte form
  EXPECT_EQ(vellora::utf16_units("\xC0\xAF"), 3u);          // overlong: lead invalid
  EXPECT_EQ(vellora::utf16_units("\xE0\x80\xAF"), 4u);      // overlong 3-byte form
  EXPECT_EQ(vellora::utf16_units("\xED\xA0\x80"), 4u);      // a surrogate
  EXPECT_EQ(vellora::utf16_units("\xF4\x90\x80\x80"), 5u);  // above U+10FFFF
  EXPECT_EQ(vellora::utf16_units("\xF0\x9F\x98\xF0\x9F\x98\x80"), 4u);
}

#ifdef _WIN32

int wide_units(const std::string& utf8_text) {
  return MultiByteToWideChar(CP_UTF8, 0, utf8_text.c_str(), -1, nullptr, 0);
}

// Three-byte overlong forms (E0 80..9F), encoded surrogates (ED A0..BF) and
// sequences beyond U+10FFFF (F4 90..) are left out: Wine's converter groups
// their bytes otherwise than the maximal subparts that the count follows.
TEST(Utf16Units, AgreesWithTheWindowsConversion) {
  for (const char* text :
       {"", "abc", "\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9F\x98\x80", "\x80", "\xFF\xFE", "\xE2\x82",
        "\xE2\x82z", "\xF0\x9F\x98z", "\xC0\xAF", "\xF0\x9F\x98\xF0\x9F\x98\x80"}) {
    EXPECT_EQ(vellora::utf16_units(text), static_cast<size_t>(wide_units(text)))
        << testing::PrintToString(std::string(text));
  }
}

TEST_F(PngSaveTest, NonAsciiPathCreatesTheMatchingWideName) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(3, 3, 20);
  const std::string path = utf8(dir_) + u8"\\\u00e9t\u00e9 \u65e5\u672c \U0001F600.png";
  ASSERT_EQ(save(path, *bitmap), VELLORA_OK);
  const std::wstring wide = dir_.wstring() + L"\\\u00e9t\u00e9 \u65e5\u672c \U0001F600.png";
  struct _stat64 status;
  EXPECT_EQ(_wstat64(wide.c_str(), &status), 0);
  EXPECT_EQ(decode(read_file(fs::path(wide))).rgba, expected_rgba(*bitmap));
}

TEST_F(PngSaveTest, FileHeldOpenElsewhereGivesOneAndKeepsItsContent) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(3, 3, 21);
  const fs::path path = file("held.png");
  write_file(path, "held");
  // The save shares with no one, so even an opener that shares everything
  // keeps it out.
  for (DWORD share : {DWORD{0}, DWORD{FILE_SHARE_READ},
                      DWORD{FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}}) {
    HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(save(utf8(path), *bitmap), PNG_SAVE_FAILED) << share;
    CloseHandle(held);
    EXPECT_EQ(read_text(path), "held");
  }
  // Once let go, the file is saved, and the save leaves it closed.
  EXPECT_EQ(save(utf8(path), *bitmap), VELLORA_OK);
  std::FILE* exclusive = _wfsopen(path.c_str(), L"rb", _SH_DENYRW);
  EXPECT_NE(exclusive, nullptr);
  if (exclusive != nullptr) std::fclose(exclusive);
}

TEST_F(PngSaveTest, OutputStreamIsSharedWithNoOne) {
  const fs::path path = file("exclusive.png");
  std::FILE* stream = vellora::open_output(utf8(path).c_str());
  ASSERT_NE(stream, nullptr);
  for (int share : {_SH_DENYNO, _SH_DENYWR}) {
    std::FILE* other = _wfsopen(path.c_str(), L"rb", share);
    EXPECT_EQ(other, nullptr) << share;
    if (other != nullptr) std::fclose(other);
  }
  std::fclose(stream);
}

#else

// /dev/full takes every write and fails it: what stays in the stream's
// buffer fails at the close, more fails inside the encoder.
TEST_F(PngSaveTest, FailedWritesAndClosesGiveOne) {
  hostsim::BitmapPtr small = vtest::random_bitmap(2, 2, 22);
  int32_t result = 0;
  EXPECT_EQ(stderr_of_save("/dev/full", *small, -1, 0, &result), "");
  EXPECT_EQ(result, PNG_SAVE_FAILED) << "the close failed: the file is incomplete";

  hostsim::BitmapPtr large = vtest::random_bitmap(200, 200, 23);
  EXPECT_EQ(stderr_of_save("/dev/full", *large, 0, 0, &result), "libpng error: Write Error\n");
  EXPECT_EQ(result, PNG_SAVE_FAILED);
}

int open_descriptors() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

TEST_F(PngSaveTest, EveryPathClosesItsStream) {
  hostsim::BitmapPtr good = vtest::random_bitmap(50, 50, 24);
  hostsim::BitmapPtr refused = hostsim::make_bitmap(1000001, 1);
  const int before = open_descriptors();
  const std::string errors = capture_stderr(file("stderr.txt"), [&] {
    for (int i = 0; i < 5; ++i) {
      EXPECT_EQ(save(utf8(file("good.png")), *good), VELLORA_OK);
      EXPECT_EQ(save(utf8(file("refused.png")), *refused), PNG_SAVE_FAILED);
      EXPECT_EQ(save("/dev/full", *good, 0, 0), PNG_SAVE_FAILED);
    }
  });
  EXPECT_NE(errors.find("libpng error: Write Error"), std::string::npos);
  EXPECT_EQ(open_descriptors(), before);
}

#endif

// ---------------------------------------------------------------------------
// Two names

#if !defined(_WIN32)
// The encoder out of memory, in a child whose address space is capped at what
// it uses and whose heap is used up but for 32 KB: enough to open the file
// and start libpng, not for zlib's compressor. The save must fail with 1 and
// leave the file cut short, never a complete PNG, and must not crash.
TEST_F(PngSaveTest, OutOfMemoryFailsAndLeavesTheFileIncomplete) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(64, 64, 26);
  const int32_t handle = hostsim::handle_of(*bitmap);
  const std::string path = utf8(file("oom.png"));
  size_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  ASSERT_GT(pages, 0u);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    rlimit cap{};
    getrlimit(RLIMIT_AS, &cap);
    cap.rlim_cur = static_cast<rlim_t>((pages + 256) * static_cast<size_t>(sysconf(_SC_PAGESIZE)));
    if (setrlimit(RLIMIT_AS, &cap) != 0) _exit(100);
    void* reserve = std::malloc(32 << 10);
    void* used = nullptr;  // a list through the blocks themselves
    for (size_t size = size_t{1} << 20; size >= 16; size /= 2) {
      while (void* block = std::malloc(size)) {
        *static_cast<void**>(block) = used;
        used = block;
      }
    }
    std::free(reserve);
    _exit(PngSaveA(path.c_str(), handle, 9, 0xF8) == PNG_SAVE_FAILED ? 0 : 101);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  ASSERT_NE(WEXITSTATUS(status), 100) << "the address space could not be capped";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not return PNG_SAVE_FAILED";
  ASSERT_TRUE(fs::exists(file("oom.png"))) << "the file was not even opened";
  const Bytes bytes = read_file(file("oom.png"));
  const bool ends_with_iend =
      bytes.size() >= 12 && std::memcmp(bytes.data() + bytes.size() - 8, "IEND", 4) == 0;
  EXPECT_FALSE(ends_with_iend) << "a complete PNG of " << bytes.size() << " bytes";
}
#endif

// PngSave is PngSaveA under a second exported name: one call through it
// with each argument in its place.
TEST_F(PngSaveTest, PngSaveTakesTheSameArguments) {
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(17, 5, 25);
  EXPECT_EQ(save(utf8(file("b.png")), *bitmap, 9, 0xF8, true), VELLORA_OK);
  EXPECT_EQ(decode(read_file(file("b.png"))).rgba, expected_rgba(*bitmap));
  EXPECT_EQ(PngSave(utf8(file("b.png")).c_str(), 0, -1, 0), ERR_NULL_HANDLE);
}

}  // namespace
