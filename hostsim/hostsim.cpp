#include "hostsim.h"

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#if UINTPTR_MAX > UINT32_MAX
#include <malloc.h>
#include <sys/mman.h>
#endif

namespace hostsim {

namespace {

// Pointers are stored as the host stores them: 32-bit words. The host is a
// 32-bit process; a 64-bit build (x86_64-host, x86_64-fuzz) must keep every
// record and buffer it hands over below 4 GiB, and one that does not would
// silently test other memory than it means to.
uint32_t address_of(const void* p) {
  const auto address = reinterpret_cast<uintptr_t>(p);
  if (address > UINT32_MAX) {
    std::fprintf(stderr, "hostsim: %p lies above 4 GiB, where no 32-bit host has memory\n", p);
    std::abort();
  }
  return static_cast<uint32_t>(address);
}

#if UINTPTR_MAX > UINT32_MAX
// A 64-bit build places the records in the low 2 GiB (MAP_32BIT) itself,
// and takes the pixel buffers from a heap kept there too: one arena that
// grows from the end of a program linked at a fixed low address (-no-pie),
// never by mmap.
[[maybe_unused]] const bool g_heap_kept_low =
    mallopt(M_MMAP_MAX, 0) == 1 && mallopt(M_ARENA_MAX, 1) == 1;

void* allocate_records(size_t size) {
  void* p =
      mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (p == MAP_FAILED) throw std::bad_alloc();
  return p;
}

void release_records(void* p, size_t size) { munmap(p, size); }
#else
void* allocate_records(size_t size) { return ::operator new(size); }
void release_records(void* p, size_t) { ::operator delete(p); }
#endif

struct HostObject {
  uint32_t flags;  // kBitmapObjectFlags for a Bitmap
  uint32_t klass;
  uint32_t ivars[2];
  uint32_t data;  // -> HostBitmapData
};

struct HostBitmapData {
  uint32_t vtable;
  uint32_t refcount;
  uint32_t record;  // -> BitmapRecord, may be null
};

struct BitmapRecord {
  uint32_t vtable;
  uint32_t bits_handle;
  uint32_t header;  // -> InfoHeader, may be null
  uint32_t first_row;
  uint32_t pixels;  // -> bottom-up BGRA pixels
};

struct InfoHeader {  // BITMAPINFOHEADER
  uint32_t bi_size;
  int32_t bi_width;
  int32_t bi_height;
  uint16_t bi_planes;
  uint16_t bi_bit_count;
  uint32_t bi_compression;
  uint32_t bi_size_image;
  int32_t bi_x_pels_per_meter;
  int32_t bi_y_pels_per_meter;
  uint32_t bi_clr_used;
  uint32_t bi_clr_important;
};

static_assert(offsetof(HostObject, data) == 16);
static_assert(offsetof(HostBitmapData, record) == 8);
static_assert(offsetof(BitmapRecord, header) == 8);
static_assert(offsetof(BitmapRecord, pixels) == 16);
static_assert(sizeof(InfoHeader) == 40);

// Host fields are read and written bytewise: a test may place a record at
// any address.
template <typename T>
T load(const uint8_t* base, size_t offset) {
  T value;
  std::memcpy(&value, base + offset, sizeof value);
  return value;
}

template <typename T>
void store(uint8_t* base, size_t offset, T value) {
  std::memcpy(base + offset, &value, sizeof value);
}

}  // namespace

struct Bitmap {
  HostObject object;
  HostBitmapData data;
  BitmapRecord record;
  InfoHeader header;
  // The records in use: the bitmap's own, or copies a test placed elsewhere.
  uint8_t* record_at;
  uint8_t* header_at;
  // Set when a test points the pixels pointer elsewhere: the bitmap then
  // still owns (and frees) the buffer it had.
  bool pixels_redirected;
  void* buffer_before_redirect;
};

Bitmap* create_bitmap(int32_t width, int32_t height) {
  auto* bitmap = new (allocate_records(sizeof(Bitmap))) Bitmap{};
  bitmap->object.flags = kBitmapObjectFlags;
  bitmap->object.data = address_of(&bitmap->data);
  bitmap->data.record = address_of(&bitmap->record);
  bitmap->record.header = address_of(&bitmap->header);
  bitmap->record_at = reinterpret_cast<uint8_t*>(&bitmap->record);
  bitmap->header_at = reinterpret_cast<uint8_t*>(&bitmap->header);
  bitmap->header.bi_size = sizeof(InfoHeader);
  bitmap->header.bi_width = width;
  bitmap->header.bi_height = height;
  bitmap->header.bi_planes = 1;
  bitmap->header.bi_bit_count = 32;
  if (width > 0 && height > 0) {
    const size_t bytes = size_t{4} * static_cast<size_t>(width) * static_cast<size_t>(height);
    void* pixels = std::calloc(bytes, 1);
    if (pixels == nullptr) {
      release_records(bitmap, sizeof(Bitmap));
      throw std::bad_alloc();
    }
    bitmap->record.pixels = address_of(pixels);
    bitmap->header.bi_size_image = static_cast<uint32_t>(bytes);
  }
  return bitmap;
}

void destroy_bitmap(Bitmap* bitmap) {
  if (bitmap == nullptr) return;
  // Whatever buffer is installed now belongs to the bitmap (a resize may have
  // replaced it), unless a test pointed it at memory of its own.
  std::free(bitmap->pixels_redirected ? bitmap->buffer_before_redirect : pixels_of(*bitmap));
  release_records(bitmap, sizeof(Bitmap));
}

int32_t handle_of(const Bitmap& bitmap) { return handle_at(&bitmap.object); }

int32_t handle_at(const void* object) { return static_cast<int32_t>(address_of(object) / 2); }

int32_t width_of(const Bitmap& bitmap) {
  return load<int32_t>(bitmap.header_at, offsetof(InfoHeader, bi_width));
}

int32_t height_of(const Bitmap& bitmap) {
  return load<int32_t>(bitmap.header_at, offsetof(InfoHeader, bi_height));
}

uint8_t* pixels_of(const Bitmap& bitmap) {
  const uint32_t pixels = load<uint32_t>(bitmap.record_at, offsetof(BitmapRecord, pixels));
  return reinterpret_cast<uint8_t*>(static_cast<uintptr_t>(pixels));
}

uint32_t image_size_field_of(const Bitmap& bitmap) {
  return load<uint32_t>(bitmap.header_at, offsetof(InfoHeader, bi_size_image));
}

uint8_t* pixel_at(const Bitmap& bitmap, int32_t x, int32_t y) {
  const int32_t stored_row = height_of(bitmap) - 1 - y;
  return pixels_of(bitmap) + (static_cast<size_t>(stored_row) * width_of(bitmap) + x) * 4;
}

void set_object_flags(Bitmap& bitmap, uint32_t flags) { bitmap.object.flags = flags; }
void restore_object_flags(Bitmap& bitmap) { bitmap.object.flags = kBitmapObjectFlags; }
void clear_bitmap_record(Bitmap& bitmap) { bitmap.data.record = 0; }

void clear_info_header(Bitmap& bitmap) {
  store<uint32_t>(bitmap.record_at, offsetof(BitmapRecord, header), 0);
}

void set_info_header_size(Bitmap& bitmap, uint32_t bi_size) {
  store(bitmap.header_at, offsetof(InfoHeader, bi_size), bi_size);
}

void set_header_dimensions(Bitmap& bitmap, int32_t width, int32_t height) {
  store(bitmap.header_at, offsetof(InfoHeader, bi_width), width);
  store(bitmap.header_at, offsetof(InfoHeader, bi_height), height);
}

void set_data_pointer(Bitmap& bitmap, const void* data) { bitmap.object.data = address_of(data); }

void set_record_pointer(Bitmap& bitmap, const void* record) {
  bitmap.data.record = address_of(record);
}

void set_header_pointer(Bitmap& bitmap, const void* header) {
  store(bitmap.record_at, offsetof(BitmapRecord, header), address_of(header));
}

void set_pixels_pointer(Bitmap& bitmap, const void* pixels) {
  if (!bitmap.pixels_redirected) {
    bitmap.pixels_redirected = true;
    bitmap.buffer_before_redirect = pixels_of(bitmap);
  }
  store(bitmap.record_at, offsetof(BitmapRecord, pixels), address_of(pixels));
}

void move_info_header(Bitmap& bitmap, void* at) {
  std::memcpy(at, bitmap.header_at, sizeof(InfoHeader));
  set_header_pointer(bitmap, at);
  bitmap.header_at = static_cast<uint8_t*>(at);
}

void move_bitmap_record(Bitmap& bitmap, void* at) {
  std::memcpy(at, bitmap.record_at, sizeof(BitmapRecord));
  set_record_pointer(bitmap, at);
  bitmap.record_at = static_cast<uint8_t*>(at);
}

void cut_off_info_header(Bitmap& bitmap, void* at) {
  store(static_cast<uint8_t*>(at), offsetof(InfoHeader, bi_size), uint32_t{sizeof(InfoHeader)});
  set_header_pointer(bitmap, at);
}

int32_t cut_off_object(void* at) {
  store(static_cast<uint8_t*>(at), offsetof(HostObject, flags), kBitmapObjectFlags);
  return handle_at(at);
}

}  // namespace hostsim
