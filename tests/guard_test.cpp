// Wild handles and wild pointers in the host's records: each gives a status
// code where reading it would fault.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "guarded_pages.h"
#include "host/memory/memory_check.h"
#include "test_support.h"
#include "vellora.h"

namespace {

using vellora::host::Access;
using vellora::host::CallMemory;
using vellora::host::Verdict;
using vtest::PageAccess;
using vtest::Pages;

// One check on its own, as the first of an export call.
Verdict check(uintptr_t address, size_t size, Access access) {
  CallMemory memory;
  return vellora::host::check_access(address, size, access, memory);
}

constexpr Verdict kYes = Verdict::kAccessible;
constexpr Verdict kNo = Verdict::kInaccessible;

TEST(MemoryProbe, TellsMappedFromUnmappedAndReadOnly) {
  Pages pages(3);
  pages.protect(1, PageAccess::kNone);
  pages.protect(2, PageAccess::kRead);
  const auto at = [&](size_t page, size_t offset) { return pages.address(page, offset); };
  EXPECT_EQ(check(at(0, 0), vtest::kPage, Access::kReadWrite), kYes);
  EXPECT_EQ(check(at(0, 4093), 4, Access::kRead), kNo);  // its last byte is unmapped
  EXPECT_EQ(check(at(1, 100), 1, Access::kRead), kNo);
  EXPECT_EQ(check(at(2, 0), vtest::kPage, Access::kRead), kYes);
  EXPECT_EQ(check(at(2, 0), 1, Access::kReadWrite), kNo);
  EXPECT_EQ(check(at(0, 0), 3 * vtest::kPage, Access::kRead), kNo);
  EXPECT_EQ(check(at(1, 0), 0, Access::kRead), kYes);        // nothing to touch
  EXPECT_EQ(check(UINTPTR_MAX - 2, 8, Access::kRead), kNo);  // wraps
}

// One bad page anywhere in a long run of good ones is found, whichever way
// the system is asked.
TEST(MemoryProbe, LongRangesFindTheirOneBadPage) {
  constexpr size_t kCount = 300;
  Pages pages(kCount);
  const uintptr_t base = reinterpret_cast<uintptr_t>(pages.page(0));
  const size_t all = kCount * vtest::kPage;
  EXPECT_EQ(check(base, all, Access::kReadWrite), kYes);
  EXPECT_EQ(check(base + 5, all - 9, Access::kRead), kYes);
  for (const size_t bad : {size_t{0}, size_t{150}, kCount - 1}) {
    pages.protect(bad, PageAccess::kRead);
    EXPECT_EQ(check(base, all, Access::kRead), kYes) << "read-only page " << bad;
    EXPECT_EQ(check(base, all, Access::kReadWrite), kNo) << "read-only page " << bad;
    pages.protect(bad, PageAccess::kNone);
    EXPECT_EQ(check(base, all, Access::kRead), kNo) << "unmapped page " << bad;
    pages.protect(bad, PageAccess::kReadWrite);
  }
  // Around the bad page, but not touching it.
  pages.protect(200, PageAccess::kNone);
  EXPECT_EQ(check(base, 200 * vtest::kPage, Access::kReadWrite), kYes);
  EXPECT_EQ(check(base + 201 * vtest::kPage, 99 * vtest::kPage, Access::kReadWrite), kYes);
  EXPECT_EQ(check(base, 200 * vtest::kPage + 1, Access::kRead), kNo);
}

// What one check proves is remembered for the call and answers later checks
// without asking the system again, but only for what it proved: a range
// readable is not taken as writable, and a range that runs past what was
// proven is asked about again.
TEST(MemoryProbe, ProvenRangesAnswerOnlyWhatWasProven) {
  Pages pages(3);
  pages.protect(1, PageAccess::kRead);
  pages.protect(2, PageAccess::kNone);
  const auto at = [&](size_t page, size_t offset) { return pages.address(page, offset); };
  CallMemory memory;
  const auto check_in_call = [&](uintptr_t address, size_t size, Access access) {
    return vellora::host::check_access(address, size, access, memory);
  };
  EXPECT_EQ(check_in_call(at(0, 0), 16, Access::kReadWrite), kYes);
  EXPECT_EQ(check_in_call(at(1, 0), 16, Access::kRead), kYes);
  // Page 0 was proven whole: the call takes the proof's word for it even
  // after the page has gone, where a new call asks and is refused.
  pages.protect(0, PageAccess::kNone);
  EXPECT_EQ(check_in_call(at(0, 100), 4, Access::kRead), kYes);
  EXPECT_EQ(check_in_call(at(0, 4000), 96, Access::kReadWrite), kYes);
  EXPECT_EQ(check(at(0, 100), 4, Access::kRead), kNo);
  EXPECT_EQ(check_in_call(at(1, 8), 4, Access::kReadWrite), kNo);
  EXPECT_EQ(check_in_call(at(1, 4000), 200, Access::kRead), kNo);
  EXPECT_EQ(check_in_call(at(2, 0), 1, Access::kRead), kNo);
}

// Handles whose object address (handle * 2) is not mapped, odd and even.
TEST(WildHandles, UnmappedObjectIsNotABitmap) {
  Pages pages(1);
  pages.protect(0, PageAccess::kNone);
  const int32_t handle = hostsim::handle_at(pages.page(0));
  for (int32_t h : {handle, handle + 1, handle + 2, handle + 1001, 1, 2, 3, -1}) {
    EXPECT_EQ(GetAddress(h), ERR_NOT_BITMAP) << h;
    EXPECT_EQ(InvertColor(h), ERR_NOT_BITMAP) << h;
    EXPECT_EQ(ChangeTone(h, 1, 2, 3, 0), ERR_NOT_BITMAP) << h;
  }
}

// An object whose flags are readable but whose data pointer lies on the
// next, unmapped page.
TEST(WildHandles, ObjectCutOffByAnUnmappedPageIsNotABitmap) {
  Pages pages(2);
  pages.protect(1, PageAccess::kNone);
  EXPECT_EQ(GetAddress(hostsim::cut_off_object(pages.page(1) - 8)), ERR_NOT_BITMAP);
}

TEST(WildHandles, UnreadableRecordsAndHeaderGiveTheirCodes) {
  Pages pages(1);
  pages.protect(0, PageAccess::kNone);
  const uint8_t* unmapped = pages.page(0) + 64;

  hostsim::BitmapPtr data = hostsim::make_bitmap(2, 2);
  hostsim::set_data_pointer(*data, unmapped);
  EXPECT_EQ(GetAddress(hostsim::handle_of(*data)), ERR_NO_BITMAP_RECORD);

  hostsim::BitmapPtr record = hostsim::make_bitmap(2, 2);
  hostsim::set_record_pointer(*record, unmapped);
  EXPECT_EQ(GetAddress(hostsim::handle_of(*record)), ERR_NO_BITMAP_RECORD);

  hostsim::BitmapPtr header = hostsim::make_bitmap(2, 2);
  hostsim::set_header_pointer(*header, unmapped);
  EXPECT_EQ(GetAddress(hostsim::handle_of(*header)), ERR_NO_INFO_HEADER);
}

TEST(WildPixels, NullOrUnmappedBufferIsRefusedBeforeAnyWrite) {
  Pages pages(2);
  pages.protect(1, PageAccess::kNone);
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(4, 4);
  const int32_t handle = hostsim::handle_of(*bitmap);

  hostsim::set_pixels_pointer(*bitmap, nullptr);
  EXPECT_EQ(InvertColor(handle), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(GetAddress(handle), 0);  // resolution itself does not look at the buffer

  hostsim::set_pixels_pointer(*bitmap, pages.page(1));
  EXPECT_EQ(InvertColor(handle), ERR_BAD_PIXEL_BUFFER);

  // The first 32 bytes are mapped, the last 32 are not: nothing may be written.
  uint8_t* straddling = pages.page(1) - 32;
  std::memset(straddling, 7, 32);
  hostsim::set_pixels_pointer(*bitmap, straddling);
  EXPECT_EQ(ChangeTone(handle, 256, 256, 256, 0), ERR_BAD_PIXEL_BUFFER);
  for (int i = 0; i < 32; ++i) ASSERT_EQ(straddling[i], 7) << i;
}

TEST(WildPixels, ReadOnlyBufferIsNotWritten) {
  Pages pages(1);
  std::memset(pages.page(0), 9, vtest::kPage);
  pages.protect(0, PageAccess::kRead);
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(16, 16);  // exactly one page
  hostsim::set_pixels_pointer(*bitmap, pages.page(0));
  EXPECT_EQ(InvertColor(hostsim::handle_of(*bitmap)), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(pages.page(0)[0], 9);
}

// Bitmaps that are only read (a blend source, a mask, a transfer out) need
// only read access; the ones written need write access too.
TEST(WildPixels, ReadOnlyBufferServesWhereItIsOnlyRead) {
  Pages pages(1);
  std::memset(pages.page(0), 200, vtest::kPage);
  pages.protect(0, PageAccess::kRead);
  hostsim::BitmapPtr read_only = hostsim::make_bitmap(16, 16);
  hostsim::set_pixels_pointer(*read_only, pages.page(0));
  hostsim::BitmapPtr writable = hostsim::make_bitmap(16, 16);
  const int32_t ro = hostsim::handle_of(*read_only), rw = hostsim::handle_of(*writable);

  EXPECT_EQ(BlendBlt(rw, 0, 0, ro, 0, 0, 16, 16, BLEND_NORMAL, 255), VELLORA_OK);
  EXPECT_EQ(vtest::get(*writable, 3, 3), (vtest::Pixel{200, 200, 200, 200}));
  EXPECT_EQ(BlendBlt(ro, 0, 0, rw, 0, 0, 16, 16, BLEND_NORMAL, 255), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(ClipMask(rw, ro, 0, 0, 0), VELLORA_OK);
  EXPECT_EQ(ClipMask(ro, rw, 0, 0, 0), ERR_BAD_PIXEL_BUFFER);

  std::vector<uint8_t> data(16 * 16 * 4);
  EXPECT_EQ(GetPixelData(ro, data.data(), 1024), VELLORA_OK);
  EXPECT_EQ(data[1023], 200);
  EXPECT_EQ(SetPixelData(ro, data.data(), 1024), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(ChangeTone(ro, 1, 1, 1, 0), ERR_BAD_PIXEL_BUFFER);
}

// A blend checks only the rows its pairs cover, in either bitmap: rows of
// 1024 pixels, one page each, stored bottom-up, so image row 0 (the top) is
// the last page, made unreachable.
TEST(WildPixels, BlendChecksOnlyTheRowsItsPairsCover) {
  Pages pages(4);
  pages.protect(3, PageAccess::kNone);
  hostsim::BitmapPtr wild = hostsim::make_bitmap(1024, 4);
  hostsim::set_pixels_pointer(*wild, pages.page(0));
  hostsim::BitmapPtr sprite = hostsim::make_bitmap(32, 4);
  vtest::fill(*sprite, {10, 20, 30, 255});
  const int32_t w = hostsim::handle_of(*wild), s = hostsim::handle_of(*sprite);
  const int32_t second = ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET;

  // Image rows 1..3 of the wild bitmap: blended.
  EXPECT_EQ(BlendBlt(w, 100, 1, s, 0, 0, 32, 8, BLEND_NORMAL, 255), VELLORA_OK);
  const uint8_t* row1 = pages.page(2) + 4 * 100;  // image row 1, x = 100
  EXPECT_EQ((vtest::Pixel{row1[0], row1[1], row1[2], row1[3]}), (vtest::Pixel{10, 20, 30, 255}));
  // Rows 1..3 as a source onto the sprite's rows 1..3.
  EXPECT_EQ(BlendBlt(s, 0, 1, w, 100, 1, 32, 3, BLEND_NORMAL, 255), VELLORA_OK);
  // One pair on row 0 is enough to refuse the call, with nothing written.
  std::memset(pages.page(0), 0, 3 * vtest::kPage);
  EXPECT_EQ(BlendBlt(w, 100, 0, s, 0, 0, 32, 4, BLEND_NORMAL, 255), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(BlendBlt(s, 0, 0, w, 0, 0, 1, 1, BLEND_NORMAL, 255), second);
  EXPECT_EQ(std::count(pages.page(0), pages.page(3), 0), static_cast<ptrdiff_t>(3 * vtest::kPage));
  // No pair at all: nothing is touched, nothing refused.
  EXPECT_EQ(BlendBlt(w, 2000, 0, s, 0, 0, 32, 4, BLEND_NORMAL, 255), VELLORA_OK);
  EXPECT_EQ(BlendBlt(s, 0, 0, w, 0, 0, 0, 4, BLEND_NORMAL, 255), VELLORA_OK);

  // The bottom row (stored first) unreachable instead: an area that reaches
  // it is refused, one that stops a row short is not.
  pages.protect(3, PageAccess::kReadWrite);
  pages.protect(0, PageAccess::kNone);
  EXPECT_EQ(BlendBlt(w, 100, 1, s, 0, 0, 32, 8, BLEND_NORMAL, 255), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(BlendBlt(s, 0, 1, w, 100, 1, 32, 3, BLEND_NORMAL, 255), second);
  EXPECT_EQ(BlendBlt(w, 100, 0, s, 0, 0, 32, 3, BLEND_NORMAL, 255), VELLORA_OK);
  EXPECT_EQ(BlendBlt(s, 0, 0, w, 100, 0, 32, 3, BLEND_NORMAL, 255), VELLORA_OK);
}

// Every export that touches pixels goes through the buffer check, in either
// position of a two-bitmap export, and leaves the other bitmap alone.
TEST(WildPixels, EveryPixelExportRefusesAnUnmappedBuffer) {
  Pages pages(1);
  pages.protect(0, PageAccess::kNone);
  hostsim::BitmapPtr wild = hostsim::make_bitmap(4, 4);
  hostsim::set_pixels_pointer(*wild, pages.page(0));
  hostsim::BitmapPtr sound = vtest::random_bitmap(4, 4, 3);
  const std::vector<uint8_t> before = vtest::snapshot(*sound);
  const int32_t w = hostsim::handle_of(*wild), s = hostsim::handle_of(*sound);
  const int32_t second = ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET;
  std::vector<uint8_t> data(64);

  EXPECT_EQ(BlendBlt(w, 0, 0, s, 0, 0, 4, 4, BLEND_NORMAL, 255), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(BlendBlt(s, 0, 0, w, 0, 0, 4, 4, BLEND_NORMAL, 255), second);
  EXPECT_EQ(ClipMask(w, s, 0, 0, 0), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(ClipMask(s, w, 0, 0, 0), second);
  EXPECT_EQ(ChangeTone(w, 9, 9, 9, 0), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(InvertColor(w), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(Blur(w, 1), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(Mosaic(w, 0, 0, 4, 4, 2, 2), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(GetPixelData(w, data.data(), 64), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(SetPixelData(w, data.data(), 64), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(vtest::snapshot(*sound), before);

  // The save is refused before the file is opened.
  const std::string path = testing::TempDir() + "vellora_guard_unmapped.png";
  std::remove(path.c_str());
  EXPECT_EQ(PngSaveA(path.c_str(), w, -1, 0), ERR_BAD_PIXEL_BUFFER);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  EXPECT_EQ(file, nullptr);
  if (file != nullptr) std::fclose(file);
}

// A resize writes biWidth, biHeight and the pixels pointer, and frees the old
// buffer: each must be possible before anything is released.
TEST(WildResize, ReadOnlyFieldsAndUnmappedBuffersAreRefusedWithNothingReleased) {
  Pages pages(4);
  pages.protect(2, PageAccess::kNone);

  // The info header on a read-only page.
  hostsim::BitmapPtr bitmap = vtest::random_bitmap(3, 2, 5);
  const int32_t handle = hostsim::handle_of(*bitmap);
  uint8_t* const pixels = hostsim::pixels_of(*bitmap);
  const std::vector<uint8_t> before = vtest::snapshot(*bitmap);
  hostsim::move_info_header(*bitmap, pages.page(0));
  pages.protect(0, PageAccess::kRead);
  EXPECT_EQ(ChangeSize(handle, 5, 5), ERR_NO_INFO_HEADER);
  EXPECT_EQ(hostsim::width_of(*bitmap), 3);
  EXPECT_EQ(hostsim::height_of(*bitmap), 2);
  EXPECT_EQ(hostsim::pixels_of(*bitmap), pixels);
  EXPECT_EQ(vtest::snapshot(*bitmap), before);

  // The bitmap record (and so its pixels pointer) on a read-only page, its
  // header writable.
  hostsim::BitmapPtr read_only_record = vtest::random_bitmap(3, 2, 6);
  uint8_t* const its_pixels = hostsim::pixels_of(*read_only_record);
  const std::vector<uint8_t> its_before = vtest::snapshot(*read_only_record);
  hostsim::move_bitmap_record(*read_only_record, pages.page(1));
  pages.protect(1, PageAccess::kRead);
  EXPECT_EQ(ChangeSize(hostsim::handle_of(*read_only_record), 5, 5), ERR_NO_BITMAP_RECORD);
  EXPECT_EQ(hostsim::width_of(*read_only_record), 3);
  EXPECT_EQ(hostsim::pixels_of(*read_only_record), its_pixels);
  EXPECT_EQ(vtest::snapshot(*read_only_record), its_before);  // still allocated: not freed

  // The info header across a page boundary: biWidth at the end of a
  // writable page, biHeight at the start of a read-only one. Both fields are
  // written, so both must be checked.
  Pages straddled(2);
  hostsim::BitmapPtr split = vtest::random_bitmap(3, 2, 7);
  uint8_t* const split_pixels = hostsim::pixels_of(*split);
  hostsim::move_info_header(*split, straddled.page(1) - 8);
  straddled.protect(1, PageAccess::kRead);
  EXPECT_EQ(ChangeSize(hostsim::handle_of(*split), 5, 5), ERR_NO_INFO_HEADER);
  EXPECT_EQ(hostsim::width_of(*split), 3);
  EXPECT_EQ(hostsim::height_of(*split), 2);
  EXPECT_EQ(hostsim::pixels_of(*split), split_pixels);

  // A pixels pointer into unmapped memory: free() would fault on it.
  hostsim::BitmapPtr wild = hostsim::make_bitmap(2, 2);
  hostsim::set_pixels_pointer(*wild, pages.page(2) + 16);
  EXPECT_EQ(ChangeSize(hostsim::handle_of(*wild), 5, 5), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(hostsim::width_of(*wild), 2);
  EXPECT_EQ(hostsim::pixels_of(*wild), pages.page(2) + 16);

  // A pixels pointer at the start of a page that follows an unmapped one:
  // the buffer's first bytes can be touched, but free() reads the heap's
  // header just before them, on the unmapped page.
  hostsim::BitmapPtr headless = hostsim::make_bitmap(2, 2);
  hostsim::set_pixels_pointer(*headless, pages.page(3));
  EXPECT_EQ(ChangeSize(hostsim::handle_of(*headless), 5, 5), ERR_BAD_PIXEL_BUFFER);
  EXPECT_EQ(hostsim::width_of(*headless), 2);
  EXPECT_EQ(hostsim::pixels_of(*headless), pages.page(3));

  // A null pixels pointer is nothing to release: the resize goes ahead.
  hostsim::BitmapPtr none = hostsim::make_bitmap(2, 2);
  hostsim::set_pixels_pointer(*none, nullptr);
  EXPECT_EQ(ChangeSize(hostsim::handle_of(*none), 1, 3), VELLORA_OK);
  EXPECT_EQ(hostsim::height_of(*none), 3);
  EXPECT_NE(hostsim::pixels_of(*none), nullptr);
  std::free(hostsim::pixels_of(*none));  // hostsim frees only the buffer it had
}

}  // namespace
