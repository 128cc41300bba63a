// The host stand-in: lays out Bitmap objects in memory exactly as the RGSS
// host does, so tests, benchmarks and tools can pass real handles to the
// library. Not part of the shipped library.
#pragma once

#include <cstdint>
#include <memory>

namespace hostsim {

struct Bitmap;  // one host Bitmap: object, data record, bitmap record, info header, pixels

// A w x h bitmap with every pixel byte 0; the pixel buffer comes from malloc,
// as a resized bitmap's does. A width or height of 0 or less gets no buffer.
Bitmap* create_bitmap(int32_t width, int32_t height);
// Releases the records and, with free, whatever pixel buffer is installed now.
void destroy_bitmap(Bitmap* bitmap);

// The handle a script would pass: the host object's address divided by 2.
int32_t handle_of(const Bitmap& bitmap);
// The handle whose host object would lie at `object` (wild handles).
int32_t handle_at(const void* object);

// What the host's records hold now (a resize may have changed all three).
int32_t width_of(const Bitmap& bitmap);
int32_t height_of(const Bitmap& bitmap);
uint8_t* pixels_of(const Bitmap& bitmap);
uint32_t image_size_field_of(const Bitmap& bitmap);  // biSizeImage, never written by the library

// Image pixel (x, y), y counted from the top, in the bottom-up buffer.
uint8_t* pixel_at(const Bitmap& bitmap, int32_t x, int32_t y);

// The flags word of a Bitmap's host object.
inline constexpr uint32_t kBitmapObjectFlags = 0x222;

// Breakages, one per resolution failure.
void set_object_flags(Bitmap& bitmap, uint32_t flags);
void restore_object_flags(Bitmap& bitmap);  // kBitmapObjectFlags again
void clear_bitmap_record(Bitmap& bitmap);   // HostBitmap's record pointer -> null
void clear_info_header(Bitmap& bitmap);     // BitmapRecord's header pointer -> null
void set_info_header_size(Bitmap& bitmap, uint32_t bi_size);
// Overwrites biWidth and biHeight without touching the buffer (corrupt headers).
void set_header_dimensions(Bitmap& bitmap, int32_t width, int32_t height);
// Points a record's pointer field anywhere (wild pointers). The bitmap still
// frees its own pixel buffer when destroyed, whatever the pixels pointer says.
void set_data_pointer(Bitmap& bitmap, const void* data);
void set_record_pointer(Bitmap& bitmap, const void* record);
void set_header_pointer(Bitmap& bitmap, const void* header);
void set_pixels_pointer(Bitmap& bitmap, const void* pixels);

// Records placed at chosen addresses: a read-only page, the edge of an
// unmapped one. The memory at `at` must outlive the bitmap (it is read when
// the bitmap is destroyed) and be writable while the record is placed.
// Copies the info header to `at` and points the bitmap record at the copy;
// the size accessors and set_header_dimensions follow it there.
void move_info_header(Bitmap& bitmap, void* at);
// Copies the bitmap record (its header and pixels pointers as they are now)
// to `at` and points the data record at the copy; pixels_of and
// set_pixels_pointer follow it there.
void move_bitmap_record(Bitmap& bitmap, void* at);
// An info header cut off after its first field: writes biSize (a valid 40)
// at `at`, nothing after it, and points the bitmap record there. The size
// accessors stay with the bitmap's own header.
void cut_off_info_header(Bitmap& bitmap, void* at);
// An object cut off after its first field: writes a Bitmap's flags word at
// `at` (an even address), nothing after it, and returns the handle of an
// object there. No Bitmap owns it.
int32_t cut_off_object(void* at);

struct BitmapDeleter {
  void operator()(Bitmap* bitmap) const { destroy_bitmap(bitmap); }
};
using BitmapPtr = std::unique_ptr<Bitmap, BitmapDeleter>;

inline BitmapPtr make_bitmap(int32_t width, int32_t height) {
  return BitmapPtr(create_bitmap(width, height));
}

}  // namespace hostsim
