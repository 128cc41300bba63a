/*
 * The runtime's Bitmap and Rect classes for the genuine Ruby 1.8 tests and
 * the script's benchmark, native as the runtime's are. A Bitmap is a T_DATA
 * object whose data pointer leads to records laid out as the RGSS host lays
 * them out (src/host/host_memory.h), so that bitmap.object_id is a handle
 * the library resolves for real. Built against the Ruby 1.8.7 headers as
 * the extension rgss_runtime.
 *
 *   Rect.new(x, y, width, height), with readers and writers of the four
 *
 *   Bitmap.new(width, height)   every pixel byte 0
 *   width, height, rect, dispose, disposed?
 *   host_bytes                  the pixel buffer as a String (bottom row first)
 *   host_bytes = string         overwrites the buffer (same length)
 *   host_pixel_address          where the record's pixels pointer points
 */
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "ruby.h"

/* Every field is a 32-bit word, as in the host. */
typedef struct {
  uint32_t bi_size;
  int32_t bi_width;
  int32_t bi_height;
  uint16_t bi_planes;
  uint16_t bi_bit_count;
  uint32_t rest[6]; /* biCompression .. biClrImportant */
} InfoHeader;

typedef struct {
  uint32_t vtable;
  uint32_t bits_handle;
  uint32_t header; /* -> InfoHeader */
  uint32_t first_row;
  uint32_t pixels; /* -> bottom-up BGRA pixels, from malloc: the library frees it on a resize */
} BitmapRecord;

/* What the object's data pointer points at. */
typedef struct {
  uint32_t vtable;
  uint32_t refcount;
  uint32_t record; /* -> BitmapRecord; 0 once disposed */
  BitmapRecord own_record;
  InfoHeader header;
} HostBitmap;

_Static_assert(offsetof(HostBitmap, record) == 8 && offsetof(BitmapRecord, header) == 8 &&
                   offsetof(BitmapRecord, pixels) == 16 && sizeof(InfoHeader) == 40 &&
                   sizeof(void*) == 4,
               "the host's layout, in a 32-bit process");

static VALUE bitmap_class;
static VALUE rect_class;

static uint32_t word_of(const void* pointer) { return (uint32_t)(uintptr_t)pointer; }
static void* pointer_of(uint32_t word) { return (void*)(uintptr_t)word; }

static void release_pixels(HostBitmap* host) {
  BitmapRecord* record = pointer_of(host->record);
  if (record == NULL) return;
  free(pointer_of(record->pixels));
  record->pixels = 0;
}

static void free_host_bitmap(void* data) {
  HostBitmap* host = data;
  release_pixels(host);
  free(host);
}

static HostBitmap* host_of(VALUE self) {
  HostBitmap* host;
  Data_Get_Struct(self, HostBitmap, host);
  return host;
}

static BitmapRecord* live_record(VALUE self) {
  BitmapRecord* record = pointer_of(host_of(self)->record);
  if (record == NULL) rb_raise(rb_eRuntimeError, "disposed bitmap");
  return record;
}

/* The header's size fields, which the library rewrites on a resize. */
static InfoHeader* header_of(VALUE self) { return pointer_of(live_record(self)->header); }

static long byte_size(VALUE self) {
  const InfoHeader* header = header_of(self);
  return (long)header->bi_width * header->bi_height * 4;
}

static VALUE bitmap_alloc(VALUE klass) {
  HostBitmap* host = calloc(1, sizeof *host);
  if (host == NULL) rb_memerror();
  return Data_Wrap_Struct(klass, 0, free_host_bitmap, host);
}

static VALUE bitmap_initialize(VALUE self, VALUE width_value, VALUE height_value) {
  HostBitmap* host = host_of(self);
  const long width = NUM2LONG(width_value);
  const long height = NUM2LONG(height_value);
  void* pixels;
  if (width < 1 || height < 1 || width > 4096 || height > 4096) {
    rb_raise(rb_eArgError, "bitmap size %ldx%ld", width, height);
  }
  pixels = calloc((size_t)(width * height), 4);
  if (pixels == NULL) rb_memerror();
  release_pixels(host);
  host->record = word_of(&host->own_record);
  host->own_record.header = word_of(&host->header);
  host->own_record.pixels = word_of(pixels);
  host->header.bi_size = sizeof(InfoHeader);
  host->header.bi_width = (int32_t)width;
  host->header.bi_height = (int32_t)height;
  host->header.bi_planes = 1;
  host->header.bi_bit_count = 32;
  /* The runtime keeps a Font on every Bitmap as an instance variable; a
     T_DATA object with instance variables carries FL_EXIVAR, and that flags
     word (0x222) is what the library takes for a Bitmap. */
  rb_iv_set(self, "@font", Qnil);
  return self;
}

static VALUE bitmap_width(VALUE self) { return INT2NUM(header_of(self)->bi_width); }
static VALUE bitmap_height(VALUE self) { return INT2NUM(header_of(self)->bi_height); }

static VALUE bitmap_rect(VALUE self) {
  const InfoHeader* header = header_of(self);
  return rb_funcall(rect_class, rb_intern("new"), 4, INT2FIX(0), INT2FIX(0),
                    INT2NUM(header->bi_width), INT2NUM(header->bi_height));
}

static VALUE bitmap_dispose(VALUE self) {
  HostBitmap* host = host_of(self);
  release_pixels(host);
  host->record = 0;
  return Qnil;
}

static VALUE bitmap_disposed_p(VALUE self) { return host_of(self)->record == 0 ? Qtrue : Qfalse; }

static VALUE bitmap_host_bytes(VALUE self) {
  return rb_str_new(pointer_of(live_record(self)->pixels), byte_size(self));
}

static VALUE bitmap_set_host_bytes(VALUE self, VALUE bytes) {
  StringValue(bytes);
  if (RSTRING(bytes)->len != byte_size(self)) rb_raise(rb_eArgError, "wrong length");
  memcpy(pointer_of(live_record(self)->pixels), RSTRING(bytes)->ptr, (size_t)RSTRING(bytes)->len);
  return bytes;
}

static VALUE bitmap_host_pixel_address(VALUE self) {
  return ULONG2NUM((unsigned long)live_record(self)->pixels);
}

static VALUE rect_initialize(VALUE self, VALUE x, VALUE y, VALUE width, VALUE height) {
  rb_iv_set(self, "@x", x);
  rb_iv_set(self, "@y", y);
  rb_iv_set(self, "@width", width);
  rb_iv_set(self, "@height", height);
  return self;
}

#ifdef _WIN32
__declspec(dllexport)
#endif
    void Init_rgss_runtime(void) {
  rect_class = rb_define_class("Rect", rb_cObject);
  rb_define_method(rect_class, "initialize", rect_initialize, 4);
  rb_define_attr(rect_class, "x", 1, 1);
  rb_define_attr(rect_class, "y", 1, 1);
  rb_define_attr(rect_class, "width", 1, 1);
  rb_define_attr(rect_class, "height", 1, 1);

  bitmap_class = rb_define_class("Bitmap", rb_cObject);
  rb_define_alloc_func(bitmap_class, bitmap_alloc);
  rb_define_method(bitmap_class, "initialize", bitmap_initialize, 2);
  rb_define_method(bitmap_class, "width", bitmap_width, 0);
  rb_define_method(bitmap_class, "height", bitmap_height, 0);
  rb_define_method(bitmap_class, "rect", bitmap_rect, 0);
  rb_define_method(bitmap_class, "dispose", bitmap_dispose, 0);
  rb_define_method(bitmap_class, "disposed?", bitmap_disposed_p, 0);
  rb_define_method(bitmap_class, "host_bytes", bitmap_host_bytes, 0);
  rb_define_method(bitmap_class, "host_bytes=", bitmap_set_host_bytes, 1);
  rb_define_method(bitmap_class, "host_pixel_address", bitmap_host_pixel_address, 0);
}
