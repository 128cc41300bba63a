// Raw pixel transfer and resize: the bytes exchanged with the caller's memory,
// the checks that keep a wrong length or a missing buffer from copying, and
// the replacement of a bitmap's buffer.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <vector>

#include "host/replace_pixels.h"
#include "test_support.h"
#include "vellora.h"

#if !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>

#include <fstream>
#endif

namespace {

using hostsim::BitmapPtr;
using vtest::Pixel;

int32_t handle(const BitmapPtr& bitmap) { return hostsim::handle_of(*bitmap); }

int32_t length_of(const std::vector<uint8_t>& bytes) { return static_cast<int32_t>(bytes.size()); }

TEST(GetPixelData, DeliversTheBytesAsStoredBottomRowFirst) {
  BitmapPtr bitmap = vtest::random_bitmap(5, 3, 1);
  vtest::put(*bitmap, 0, 2, {11, 12, 13, 14});  // bottom-left
  vtest::put(*bitmap, 0, 1, {21, 22, 23, 24});  // left end of the row above it
  vtest::put(*bitmap, 4, 0, {31, 32, 33, 34});  // top-right
  std::vector<uint8_t> out(60, 0xEE);
  ASSERT_EQ(GetPixelData(handle(bitmap), out.data(), 60), VELLORA_OK);
  EXPECT_EQ(out, vtest::snapshot(*bitmap));
  EXPECT_EQ((std::vector<uint8_t>(out.begin(), out.begin() + 4)),
            (std::vector<uint8_t>{11, 12, 13, 14}));
  EXPECT_EQ((std::vector<uint8_t>(out.begin() + 20, out.begin() + 24)),
            (std::vector<uint8_t>{21, 22, 23, 24}));
  EXPECT_EQ((std::vector<uint8_t>(out.end() - 4, out.end())),
            (std::vector<uint8_t>{31, 32, 33, 34}));
}

TEST(SetPixelData, PlacesTheBytesAsGetPixelDataDeliversThem) {
  BitmapPtr bitmap = hostsim::make_bitmap(3, 2);
  std::vector<uint8_t> data(24);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i + 1);
  ASSERT_EQ(SetPixelData(handle(bitmap), data.data(), 24), VELLORA_OK);
  EXPECT_EQ(vtest::get(*bitmap, 0, 1), (Pixel{1, 2, 3, 4}));  // bottom-left
  EXPECT_EQ(vtest::get(*bitmap, 2, 1), (Pixel{9, 10, 11, 12}));
  EXPECT_EQ(vtest::get(*bitmap, 0, 0), (Pixel{13, 14, 15, 16}));  // top-left
  EXPECT_EQ(vtest::get(*bitmap, 2, 0), (Pixel{21, 22, 23, 24}));
}

TEST(RawTransfer, GetThenSetRestoresTheBitmap) {
  BitmapPtr bitmap = vtest::random_bitmap(17, 9, 2);
  const std::vector<uint8_t> original = vtest::snapshot(*bitmap);
  std::vector<uint8_t> data(original.size());
  ASSERT_EQ(GetPixelData(handle(bitmap), data.data(), length_of(data)), VELLORA_OK);
  ASSERT_EQ(InvertColor(handle(bitmap)), VELLORA_OK);
  ASSERT_NE(vtest::snapshot(*bitmap), original);
  ASSERT_EQ(SetPixelData(handle(bitmap), data.data(), length_of(data)), VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*bitmap), original);
}

TEST(RawTransfer, AnyOtherLengthIsRefusedAndNothingIsCopied) {
  BitmapPtr bitmap = vtest::random_bitmap(4, 3, 3);
  const std::vector<uint8_t> pixels_before = vtest::snapshot(*bitmap);
  for (int32_t length : {47, 49, 0, -48, -1, INT_MIN, INT_MAX, 12}) {
    std::vector<uint8_t> memory(64, 0xA5);
    EXPECT_EQ(GetPixelData(handle(bitmap), memory.data(), length), ERR_SIZE_MISMATCH) << length;
    EXPECT_EQ(memory, std::vector<uint8_t>(64, 0xA5)) << length;
    EXPECT_EQ(SetPixelData(handle(bitmap), memory.data(), length), ERR_SIZE_MISMATCH) << length;
    EXPECT_EQ(vtest::snapshot(*bitmap), pixels_before) << length;
  }
}

TEST(RawTransfer, NullBufferIsRefusedAfterTheLengthCheck) {
  BitmapPtr bitmap = vtest::random_bitmap(2, 2, 4);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  EXPECT_EQ(GetPixelData(handle(bitmap), nullptr, 16), ERR_NULL_BUFFER);
  EXPECT_EQ(SetPixelData(handle(bitmap), nullptr, 16), ERR_NULL_BUFFER);
  EXPECT_EQ(GetPixelData(handle(bitmap), nullptr, 15), ERR_SIZE_MISMATCH);
  EXPECT_EQ(SetPixelData(handle(bitmap), nullptr, 0), ERR_SIZE_MISMATCH);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);
  // The handle is resolved before either.
  EXPECT_EQ(GetPixelData(0, nullptr, 15), ERR_NULL_HANDLE);
  EXPECT_EQ(SetPixelData(0, nullptr, 16), ERR_NULL_HANDLE);
}

// No pixels means 0 bytes, also for a corrupt header whose signed product
// would be positive (-2 x -3): the buffer behind it is never touched.
TEST(RawTransfer, BitmapWithoutPixelsTransfersZeroBytes) {
  BitmapPtr empty = hostsim::make_bitmap(0, 5);
  uint8_t byte = 0x5A;
  EXPECT_EQ(GetPixelData(handle(empty), &byte, 0), VELLORA_OK);
  EXPECT_EQ(SetPixelData(handle(empty), &byte, 0), VELLORA_OK);
  EXPECT_EQ(GetPixelData(handle(empty), nullptr, 0), VELLORA_OK);
  EXPECT_EQ(SetPixelData(handle(empty), nullptr, 0), VELLORA_OK);
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(GetPixelData(handle(empty), &byte, 4), ERR_SIZE_MISMATCH);

  BitmapPtr corrupt = vtest::random_bitmap(4, 4, 5);
  const std::vector<uint8_t> before = vtest::snapshot(*corrupt);
  hostsim::set_header_dimensions(*corrupt, -2, -3);
  std::vector<uint8_t> memory(24, 0x11);
  EXPECT_EQ(GetPixelData(handle(corrupt), memory.data(), 24), ERR_SIZE_MISMATCH);
  EXPECT_EQ(SetPixelData(handle(corrupt), memory.data(), 24), ERR_SIZE_MISMATCH);
  EXPECT_EQ(SetPixelData(handle(corrupt), memory.data(), 0), VELLORA_OK);
  hostsim::set_header_dimensions(*corrupt, 4, 4);
  EXPECT_EQ(vtest::snapshot(*corrupt), before);
  EXPECT_EQ(memory, std::vector<uint8_t>(24, 0x11));
}

TEST(ChangeSize, SizeIsCheckedBeforeTheHandle) {
  EXPECT_EQ(ChangeSize(0, 0, 5), ERR_BAD_SIZE);
  EXPECT_EQ(ChangeSize(0, 5, 0), ERR_BAD_SIZE);
  EXPECT_EQ(ChangeSize(0, 65536, 65536), ERR_BAD_SIZE);
  EXPECT_EQ(ChangeSize(0, 5, 5), ERR_NULL_HANDLE);

  BitmapPtr bitmap = vtest::random_bitmap(4, 3, 6);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  uint8_t* const pixels = hostsim::pixels_of(*bitmap);
  for (auto [w, h] : {std::pair{0, 10},
                      {10, -1},
                      {-1, -1},
                      {INT_MIN, 5},
                      {5, INT_MIN},
                      {INT_MAX, INT_MAX},
                      {46341, 46341},
                      {536870912, 1},
                      {1, 536870912}}) {
    EXPECT_EQ(ChangeSize(handle(bitmap), w, h), ERR_BAD_SIZE) << w << " x " << h;
    EXPECT_EQ(hostsim::width_of(*bitmap), 4);
    EXPECT_EQ(hostsim::height_of(*bitmap), 3);
    EXPECT_EQ(hostsim::pixels_of(*bitmap), pixels);
    EXPECT_EQ(vtest::snapshot(*bitmap), before);
  }
}

// The largest byte count is 2^31 - 4: 536870911 pixels.
TEST(ChangeSize, SizeLimitIsTheSigned32BitByteCount) {
  EXPECT_EQ(vellora::check_new_size(1, 1), VELLORA_OK);
  EXPECT_EQ(vellora::check_new_size(536870911, 1), VELLORA_OK);
  EXPECT_EQ(vellora::check_new_size(1, 536870911), VELLORA_OK);
  EXPECT_EQ(vellora::check_new_size(23170, 23170), VELLORA_OK);
  EXPECT_EQ(vellora::check_new_size(536870912, 1), ERR_BAD_SIZE);
  EXPECT_EQ(vellora::check_new_size(23171, 23170), ERR_BAD_SIZE);
  EXPECT_EQ(vellora::check_new_size(65536, 8192), ERR_BAD_SIZE);  // 2^31 bytes
  EXPECT_EQ(vellora::check_new_size(INT_MAX, INT_MAX), ERR_BAD_SIZE);
  EXPECT_EQ(vellora::check_new_size(0, 1), ERR_BAD_SIZE);
}

TEST(ChangeSize, InstallsAClearedBufferAndWritesOnlyTheSize) {
  BitmapPtr bitmap = vtest::random_bitmap(5, 5, 7);
  const uint32_t size_image = hostsim::image_size_field_of(*bitmap);
  ASSERT_EQ(ChangeSize(handle(bitmap), 3, 2), VELLORA_OK);
  EXPECT_EQ(hostsim::width_of(*bitmap), 3);
  EXPECT_EQ(hostsim::height_of(*bitmap), 2);
  EXPECT_EQ(hostsim::image_size_field_of(*bitmap), size_image);

  std::vector<uint8_t> data(24, 0xCC);
  for (int32_t length : {100, 23, 25}) {
    EXPECT_EQ(GetPixelData(handle(bitmap), data.data(), length), ERR_SIZE_MISMATCH) << length;
  }
  ASSERT_EQ(GetPixelData(handle(bitmap), data.data(), 24), VELLORA_OK);
  EXPECT_EQ(data, std::vector<uint8_t>(24, 0));
}

// The new buffer is allocated while the old one is still held, so it is
// always another block, even for the same size.
TEST(ChangeSize, SameSizeStillReplacesAndClearsTheBuffer) {
  BitmapPtr bitmap = vtest::random_bitmap(6, 4, 8);
  uint8_t* const old_pixels = hostsim::pixels_of(*bitmap);
  ASSERT_EQ(ChangeSize(handle(bitmap), 6, 4), VELLORA_OK);
  EXPECT_NE(hostsim::pixels_of(*bitmap), old_pixels);
  EXPECT_EQ(vtest::snapshot(*bitmap), std::vector<uint8_t>(96, 0));
}

TEST(ChangeSize, LaterCallsSeeTheNewSizeAndBuffer) {
  BitmapPtr bitmap = vtest::random_bitmap(2, 2, 9);
  const int32_t h = handle(bitmap);
  ASSERT_EQ(ChangeSize(h, 5, 4), VELLORA_OK);
  EXPECT_EQ(static_cast<uint32_t>(GetAddress(h)),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hostsim::pixels_of(*bitmap))));

  ASSERT_EQ(InvertColor(h), VELLORA_OK);
  std::vector<uint8_t> data(80);
  ASSERT_EQ(GetPixelData(h, data.data(), 80), VELLORA_OK);
  for (size_t i = 0; i < data.size(); ++i) ASSERT_EQ(data[i], i % 4 == 3 ? 0 : 255) << i;

  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i);
  ASSERT_EQ(SetPixelData(h, data.data(), 80), VELLORA_OK);
  EXPECT_EQ(vtest::get(*bitmap, 4, 0), (Pixel{76, 77, 78, 79}));

  // As a mask of a 6 x 5 target: it covers columns 0..4 and rows 0..3.
  BitmapPtr target = hostsim::make_bitmap(6, 5);
  vtest::fill(*target, {0, 0, 0, 255});
  ASSERT_EQ(ClipMask(handle(target), h, 0, 0, 0), VELLORA_OK);
  EXPECT_EQ(vtest::get(*target, 4, 0)[3], 76);
  EXPECT_EQ(vtest::get(*target, 5, 0)[3], 0);
  EXPECT_EQ(vtest::get(*target, 0, 4)[3], 0);

  ASSERT_EQ(ChangeSize(h, 1, 1), VELLORA_OK);
  EXPECT_EQ(GetPixelData(h, data.data(), 80), ERR_SIZE_MISMATCH);
  EXPECT_EQ(GetPixelData(h, data.data(), 4), VELLORA_OK);
}

TEST(ChangeSize, GivesABitmapWithoutPixelsItsFirstBuffer) {
  BitmapPtr bitmap = hostsim::make_bitmap(0, 0);
  ASSERT_EQ(hostsim::pixels_of(*bitmap), nullptr);
  ASSERT_EQ(ChangeSize(handle(bitmap), 2, 3), VELLORA_OK);
  EXPECT_EQ(vtest::snapshot(*bitmap), std::vector<uint8_t>(24, 0));
}

#if !defined(_WIN32)
// Caps this process's address space a little above what it uses now, so that
// a large allocation fails however the address space is laid out; restores
// the old cap when it goes.
class AddressSpaceCap {
 public:
  AddressSpaceCap() {
    getrlimit(RLIMIT_AS, &old_);
    size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit cap = old_;
    cap.rlim_cur = static_cast<rlim_t>(pages * static_cast<size_t>(sysconf(_SC_PAGESIZE)) +
                                       (size_t{64} << 20));
    applied_ = pages > 0 && setrlimit(RLIMIT_AS, &cap) == 0;
  }
  ~AddressSpaceCap() { setrlimit(RLIMIT_AS, &old_); }
  bool applied() const { return applied_; }

 private:
  rlimit old_{};
  bool applied_ = false;
};
#endif

// 23170 x 23170 pixels are 2,147,395,600 bytes: a valid size, but no 32-bit
// Windows process without large-address awareness can hold it, and on Linux
// the cap above rules it out.
TEST(ChangeSize, AllocationFailureLeavesTheBitmapAsItWas) {
  BitmapPtr bitmap = vtest::random_bitmap(7, 3, 10);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  uint8_t* const pixels = hostsim::pixels_of(*bitmap);
  int32_t status;
  {
#if !defined(_WIN32)
    AddressSpaceCap cap;
    ASSERT_TRUE(cap.applied());
#endif
    status = ChangeSize(handle(bitmap), 23170, 23170);
  }
  EXPECT_EQ(status, ERR_OUT_OF_MEMORY);
  EXPECT_EQ(hostsim::width_of(*bitmap), 7);
  EXPECT_EQ(hostsim::height_of(*bitmap), 3);
  EXPECT_EQ(hostsim::pixels_of(*bitmap), pixels);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);
}

}  // namespace
