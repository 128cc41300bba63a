// Handle resolution as every export sees it: the failure codes in their order,
// the view's contents, and the exports that only resolve or identify.
#include "host/resolve.h"

#include <gtest/gtest.h>

#include <climits>
#include <functional>
#include <string>

#include "test_support.h"
#include "vellora.h"

namespace {

using hostsim::Bitmap;

struct ExportCall {
  std::string name;
  std::function<int32_t(int32_t handle)> call;  // harmless arguments besides the handle
};

// Every export that takes one bitmap handle (or whose first handle is under test).
const std::vector<ExportCall>& exports_taking_a_handle() {
  static const std::vector<ExportCall> calls = {
      {"GetAddress", [](int32_t h) { return GetAddress(h); }},
      {"BlendBlt",
       [](int32_t h) {
         static const hostsim::BitmapPtr source = vtest::random_bitmap(3, 2, 8);
         return BlendBlt(h, 0, 0, hostsim::handle_of(*source), 0, 0, 3, 2, BLEND_NORMAL, 255);
       }},
      {"ChangeTone", [](int32_t h) { return ChangeTone(h, 100, -100, 50, 0); }},
      {"InvertColor", [](int32_t h) { return InvertColor(h); }},
      {"Blur", [](int32_t h) { return Blur(h, 2); }},
      {"Mosaic", [](int32_t h) { return Mosaic(h, 0, 0, 3, 2, 2, 2); }},
      {"ClipMask", [](int32_t h) { return ClipMask(h, 0, 0, 0, 0); }},
      {"GetPixelData",
       [](int32_t h) {
         uint8_t buffer[24];
         return GetPixelData(h, buffer, 24);
       }},
      {"SetPixelData",
       [](int32_t h) {
         const uint8_t buffer[24] = {1, 2, 3};
         return SetPixelData(h, buffer, 24);
       }},
      {"ChangeSize", [](int32_t h) { return ChangeSize(h, 2, 2); }},
  };
  return calls;
}

struct Breakage {
  std::string name;
  std::function<void(Bitmap&)> apply;
  int32_t code;
};

const std::vector<Breakage>& breakages() {
  static const std::vector<Breakage> list = {
      {"flags 0x22", [](Bitmap& b) { hostsim::set_object_flags(b, 0x22); }, ERR_NOT_BITMAP},
      {"flags 0x223", [](Bitmap& b) { hostsim::set_object_flags(b, 0x223); }, ERR_NOT_BITMAP},
      {"flags 0", [](Bitmap& b) { hostsim::set_object_flags(b, 0); }, ERR_NOT_BITMAP},
      {"null record", [](Bitmap& b) { hostsim::clear_bitmap_record(b); }, ERR_NO_BITMAP_RECORD},
      {"null header", [](Bitmap& b) { hostsim::clear_info_header(b); }, ERR_NO_INFO_HEADER},
      {"biSize 0", [](Bitmap& b) { hostsim::set_info_header_size(b, 0); }, ERR_BAD_INFO_HEADER},
      {"biSize 124", [](Bitmap& b) { hostsim::set_info_header_size(b, 124); }, ERR_BAD_INFO_HEADER},
      {"biSize 41", [](Bitmap& b) { hostsim::set_info_header_size(b, 41); }, ERR_BAD_INFO_HEADER},
  };
  return list;
}

TEST(Resolution, NullHandleFailsInEveryExport) {
  for (const ExportCall& e : exports_taking_a_handle()) {
    EXPECT_EQ(e.call(0), ERR_NULL_HANDLE) << e.name;
  }
}

TEST(Resolution, EachBrokenRecordGivesItsCodeAndNothingIsWritten) {
  for (const ExportCall& e : exports_taking_a_handle()) {
    for (const Breakage& b : breakages()) {
      hostsim::BitmapPtr bitmap = vtest::random_bitmap(3, 2, 7);
      b.apply(*bitmap);
      const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
      EXPECT_EQ(e.call(hostsim::handle_of(*bitmap)), b.code) << e.name << ", " << b.name;
      EXPECT_EQ(vtest::snapshot(*bitmap), before) << e.name << ", " << b.name;
    }
  }
}

TEST(Resolution, EarlierTestDecidesWhenSeveralFail) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(2, 2);
  hostsim::set_info_header_size(*bitmap, 12);
  hostsim::clear_info_header(*bitmap);
  EXPECT_EQ(GetAddress(hostsim::handle_of(*bitmap)), ERR_NO_INFO_HEADER);
  hostsim::clear_bitmap_record(*bitmap);
  EXPECT_EQ(GetAddress(hostsim::handle_of(*bitmap)), ERR_NO_BITMAP_RECORD);
  hostsim::set_object_flags(*bitmap, 0x223);
  EXPECT_EQ(GetAddress(hostsim::handle_of(*bitmap)), ERR_NOT_BITMAP);
}

TEST(Resolution, ViewCarriesHeaderSizesAndPixelPointer) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(5, 3);
  vellora::HeaderView view{};
  ASSERT_EQ(vellora::CallResolution().header_view(hostsim::handle_of(*bitmap), &view), VELLORA_OK);
  EXPECT_EQ(view.width, 5);
  EXPECT_EQ(view.height, 3);
  EXPECT_EQ(view.pixels, hostsim::pixels_of(*bitmap));
}

// A header whose sides give no pixels (one of 0 or less; -2 x -3 is not 6
// pixels): every pixel export takes the bitmap as empty, in either place of a
// two-bitmap export, and touches none of the buffer behind it.
TEST(Resolution, BitmapWithoutPixelsIsLeftAloneByEveryExport) {
  struct Case {
    std::string name;
    std::function<int32_t(int32_t empty, int32_t sound)> call;
    int32_t expected;
  };
  const Case cases[] = {
      {"BlendBlt onto it",
       [](int32_t e, int32_t s) { return BlendBlt(e, -1, -1, s, 0, 0, 9, 9, BLEND_NORMAL, 255); },
       VELLORA_OK},
      {"BlendBlt from it",
       [](int32_t e, int32_t s) { return BlendBlt(s, 0, 0, e, -1, -1, 9, 9, BLEND_NORMAL, 255); },
       VELLORA_OK},
      {"ClipMask of it", [](int32_t e, int32_t s) { return ClipMask(e, s, 0, 0, 0); }, VELLORA_OK},
      {"ClipMask by it", [](int32_t e, int32_t s) { return ClipMask(s, e, -1, -1, 255); },
       VELLORA_OK},
      {"ChangeTone", [](int32_t e, int32_t) { return ChangeTone(e, 256, 256, 256, 0); },
       VELLORA_OK},
      {"InvertColor", [](int32_t e, int32_t) { return InvertColor(e); }, VELLORA_OK},
      {"Blur", [](int32_t e, int32_t) { return Blur(e, 2); }, VELLORA_OK},
      {"Mosaic", [](int32_t e, int32_t) { return Mosaic(e, -2, -2, 10, 10, 3, 3); }, VELLORA_OK},
      {"SetPixelData of 0 bytes",
       [](int32_t e, int32_t) {
         const uint8_t byte = 0;
         return SetPixelData(e, &byte, 0);
       },
       VELLORA_OK},
      {"SetPixelData of 24 bytes",
       [](int32_t e, int32_t) {
         const uint8_t bytes[24] = {};
         return SetPixelData(e, bytes, 24);
       },
       ERR_SIZE_MISMATCH},
  };
  for (auto [w, h] : {std::pair{0, 3}, {3, 0}, {-2, -3}, {-1, 4}, {INT_MIN, INT_MIN}}) {
    for (const Case& c : cases) {
      hostsim::BitmapPtr empty = vtest::random_bitmap(4, 4, 16);
      const hostsim::BitmapPtr sound = vtest::random_bitmap(4, 4, 17);
      const std::vector<uint8_t> before = vtest::snapshot(*empty);
      hostsim::set_header_dimensions(*empty, w, h);
      EXPECT_EQ(c.call(hostsim::handle_of(*empty), hostsim::handle_of(*sound)), c.expected)
          << c.name << ", " << w << " x " << h;
      hostsim::set_header_dimensions(*empty, 4, 4);
      EXPECT_EQ(vtest::snapshot(*empty), before) << c.name << ", " << w << " x " << h;
    }
  }
}

TEST(Resolution, ByteSizeBeyondInt32IsRefused) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(1, 1);
  vellora::BitmapView view{};
  const int32_t handle = hostsim::handle_of(*bitmap);

  hostsim::set_header_dimensions(*bitmap, 32768, 16384);  // exactly 2^31 bytes
  EXPECT_EQ(vellora::CallResolution().pixels(handle, vellora::host::Access::kReadWrite, &view),
            ERR_BAD_PIXEL_BUFFER);
  hostsim::set_header_dimensions(*bitmap, 65536, 65536);  // 2^32 pixels: 0 when wrapped
  EXPECT_EQ(vellora::CallResolution().pixels(handle, vellora::host::Access::kReadWrite, &view),
            ERR_BAD_PIXEL_BUFFER);
  hostsim::set_header_dimensions(*bitmap, INT_MAX, INT_MAX);  // beyond 64 bits too
  EXPECT_EQ(vellora::CallResolution().pixels(handle, vellora::host::Access::kReadWrite, &view),
            ERR_BAD_PIXEL_BUFFER);
  // 2^31 - 4 bytes is representable, but the 4-byte buffer is not that long.
  hostsim::set_header_dimensions(*bitmap, 536870911, 1);
  EXPECT_EQ(vellora::CallResolution().pixels(handle, vellora::host::Access::kReadWrite, &view),
            ERR_BAD_PIXEL_BUFFER);
  hostsim::set_header_dimensions(*bitmap, 1, 1);
  EXPECT_EQ(vellora::CallResolution().pixels(handle, vellora::host::Access::kReadWrite, &view),
            VELLORA_OK);
}

TEST(GetAddress, ReturnsThePixelBufferAddress) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(4, 4);
  const int32_t address = GetAddress(hostsim::handle_of(*bitmap));
  EXPECT_EQ(static_cast<uint32_t>(address),
            static_cast<uint32_t>(reinterpret_cast<uintptr_t>(hostsim::pixels_of(*bitmap))));
}

}  // namespace
