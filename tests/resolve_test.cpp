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
  vellora::BitmapView view{};
  ASSERT_EQ(vellora::CallResolution().bitmap(hostsim::handle_of(*bitmap), &view), VELLORA_OK);
  EXPECT_EQ(view.width, 5);
  EXPECT_EQ(view.height, 3);
  EXPECT_EQ(view.pixels, hostsim::pixels_of(*bitmap));
}

TEST(Resolution, BitmapWithoutPixelsResolvesAsEmpty) {
  for (auto [w, h] : {std::pair{0, 5}, {5, 0}, {-2, -3}, {-1, 4}, {INT_MIN, 1}}) {
    hostsim::BitmapPtr bitmap = hostsim::make_bitmap(1, 1);
    hostsim::set_header_dimensions(*bitmap, w, h);
    vellora::BitmapView view{};
    ASSERT_EQ(vellora::CallResolution().pixels(hostsim::handle_of(*bitmap),
                                               vellora::host::Access::kReadWrite, &view),
              VELLORA_OK);
    EXPECT_EQ(view.width, 0) << w << " x " << h;
    EXPECT_EQ(view.height, 0) << w << " x " << h;
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

TEST(Version, Is10200) { EXPECT_EQ(Version(), 10200); }

}  // namespace
