// A fuzzer over every export. Each input is decoded into a few host bitmaps,
// sound and broken, and a sequence of export calls whose 32-bit arguments lean
// toward the boundaries. After every call the driver checks what a caller can
// see: the status, which it works out from its own model of each bitmap; every
// byte of every bitmap, which must equal what the plain versions of the
// operations make of a copy; the guard bytes around every pixel buffer; and
// the sizes in the host's headers. A mismatch prints the call and aborts, and
// libFuzzer keeps the input.
//
// Allocation failures: the program is linked with malloc, calloc, realloc and
// free wrapped (--wrap), and libpng and zlib are linked in statically, so that
// the driver can make the n-th allocation of a chosen call fail, or any
// allocation above kAllocationLimit (a resize to 23170 x 23170 runs out of
// memory instead of taking 2 GiB). The leak checker then covers those paths
// as well.
//
// Each input runs the exports on one of the instruction sets the processor
// runs, the input's choice.
//
// Built for x86-64 (the x86_64-fuzz preset), the host's records and buffers
// must lie below 4 GiB, where a 32-bit host has all of its memory: hostsim
// places its records there, and every pixel buffer, the driver's and those
// the library allocates during a call, comes from a low arena (below).
#include <fuzzer/FuzzedDataProvider.h>
#include <png.h>
#include <sanitizer/asan_interface.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cinttypes>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "hostsim.h"
#include "ops/kernels/instruction_set.h"
#include "reference/reference.h"
#include "vellora.h"

using reference::Pixels;

// ---------------------------------------------------------------------------
// Allocation failures on demand.

extern "C" void* __real_malloc(size_t size);
extern "C" void* __real_calloc(size_t count, size_t size);
extern "C" void* __real_realloc(void* block, size_t size);
extern "C" void __real_free(void* block);

namespace {

constexpr size_t kAllocationLimit = size_t{8} << 20;

[[noreturn]] void fail(const char* format, ...);

// Whether pixel buffers must be placed below 4 GiB by the driver.
constexpr bool kWideAddresses = UINTPTR_MAX > UINT32_MAX;
#if UINTPTR_MAX > UINT32_MAX
constexpr int kBelow4GiB = MAP_32BIT;
#else
constexpr int kBelow4GiB = 0;
#endif

// The low arena of a 64-bit build: 512 MiB in the low 2 GiB, handed out in
// order and never reused within an input, so that a block used after its
// release is still poisoned for AddressSanitizer, as are the 64 bytes on
// either side of every block (the heap's redzones, which this memory lacks).
// Emptied between inputs, when every block must have been released: one that
// is not is a leak, which the leak checker cannot see here.
class LowArena {
 public:
  bool owns(const void* p) const {
    const auto* b = static_cast<const uint8_t*>(p);
    return base_ != nullptr && b >= base_ && b < base_ + kBytes;
  }

  void* allocate(size_t size) {
    if (base_ == nullptr) reserve();
    const size_t payload = (size + 15) & ~size_t{15};
    if (kBytes - used_ < payload + 2 * kRedzone) fail("the low arena is used up");
    uint8_t* block = base_ + used_ + kRedzone;
    used_ += payload + 2 * kRedzone;
    store_size(block, size);
    ASAN_UNPOISON_MEMORY_REGION(block, size);
    ++live_;
    return block;
  }

  size_t size_of(const void* p) const { return load_size(p); }

  void release(void* p) {
    ASAN_POISON_MEMORY_REGION(p, size_of(p));
    --live_;
  }

  void empty() {
    if (live_ != 0) fail("%zu blocks of the low arena were never released", live_);
    if (used_ > 0) madvise(base_, used_, MADV_DONTNEED);
    used_ = 0;
  }

 private:
  static constexpr size_t kBytes = size_t{512} << 20;
  static constexpr size_t kRedzone = 64;

  // A block's size, kept in its poisoned left redzone, where only the arena
  // may reach.
  __attribute__((no_sanitize("address"))) static void store_size(uint8_t* block, size_t size) {
    *reinterpret_cast<size_t*>(block - sizeof size) = size;
  }
  __attribute__((no_sanitize("address"))) static size_t load_size(const void* block) {
    return *reinterpret_cast<const size_t*>(static_cast<const uint8_t*>(block) - sizeof(size_t));
  }

  void reserve() {
    void* p = mmap(nullptr, kBytes, PROT_READ | PROT_WRITE,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | kBelow4GiB, -1, 0);
    if (p == MAP_FAILED) fail("no low arena");
    base_ = static_cast<uint8_t*>(p);
    ASAN_POISON_MEMORY_REGION(base_, kBytes);
  }

  uint8_t* base_ = nullptr;
  size_t used_ = 0;
  size_t live_ = 0;
};
LowArena low_arena;

// A pixel buffer for the driver: below 4 GiB in every build.
void* low_malloc(size_t size) {
  return kWideAddresses ? low_arena.allocate(size) : __real_malloc(size);
}

// Armed only around one export call, and only on the thread that makes it.
struct AllocationFaults {
  bool armed;
  int fail_at;  // the index of the allocation to refuse; -1: none
  int count;    // allocations asked for since arming
  bool failed;  // one was refused
};
thread_local AllocationFaults faults;

bool refuse(size_t size) {
  if (!faults.armed) return false;
  const bool refused = faults.count++ == faults.fail_at || size > kAllocationLimit;
  faults.failed = faults.failed || refused;
  return refused;
}

}  // namespace

// During an export call, a 64-bit build takes every allocation from the low
// arena: the library's resize installs what its calloc returns.
extern "C" void* __wrap_malloc(size_t size) {
  if (refuse(size)) return nullptr;
  return kWideAddresses && faults.armed ? low_arena.allocate(size) : __real_malloc(size);
}

extern "C" void* __wrap_calloc(size_t count, size_t size) {
  const size_t bytes = count != 0 && size > SIZE_MAX / count ? SIZE_MAX : count * size;
  if (refuse(bytes)) return nullptr;
  if (!kWideAddresses || !faults.armed) return __real_calloc(count, size);
  void* block = low_arena.allocate(bytes);
  std::memset(block, 0, bytes);
  return block;
}

extern "C" void* __wrap_realloc(void* block, size_t size) {
  if (refuse(size)) return nullptr;
  if (!low_arena.owns(block) && !(kWideAddresses && faults.armed && block == nullptr)) {
    return __real_realloc(block, size);
  }
  void* moved = low_arena.allocate(size);
  if (block != nullptr) {
    std::memcpy(moved, block, std::min(size, low_arena.size_of(block)));
    low_arena.release(block);
  }
  return moved;
}

extern "C" void __wrap_free(void* block) {
  if (low_arena.owns(block)) {
    low_arena.release(block);
  } else {
    __real_free(block);
  }
}

// A refused allocation must come back as null, not end the run.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

namespace {

// ---------------------------------------------------------------------------
// Reporting.

char current_call[512];

[[noreturn]] void fail(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::printf("fuzz_exports: FAILED in %s on the %s kernels: ", current_call,
              vellora::instruction_set_name(vellora::best_instruction_set()));
  std::vprintf(format, args);
  std::printf("\n");
  va_end(args);
  std::fflush(stdout);
  std::abort();
}

void describe_call(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::vsnprintf(current_call, sizeof current_call, format, args);
  va_end(args);
}

void expect_status(int32_t got, int32_t expected) {
  if (got != expected) fail("status %" PRId32 ", expected %" PRId32, got, expected);
}

// ---------------------------------------------------------------------------
// Figures printed at the end of a run.

enum Export {
  kGetAddress,
  kVersion,
  kBlendBlt,
  kChangeTone,
  kInvertColor,
  kBlur,
  kMosaic,
  kPngSaveA,
  kPngSave,
  kClipMask,
  kGetPixelData,
  kSetPixelData,
  kChangeSize,
  kGetGameHWND,
  kExportCount
};

constexpr std::array<const char*, kExportCount> kExportNames = {
    "GetAddress",   "Version",      "BlendBlt",   "ChangeTone", "InvertColor",
    "Blur",         "Mosaic",       "PngSaveA",   "PngSave",    "ClipMask",
    "GetPixelData", "SetPixelData", "ChangeSize", "GetGameHWND"};

// The instruction sets this processor runs, slowest first: each input runs
// on one of them.
const std::vector<vellora::InstructionSet>& runnable_sets() {
  static const std::vector<vellora::InstructionSet> sets = [] {
    std::vector<vellora::InstructionSet> list;
    vellora::for_each_instruction_set_that_runs(
        [&](vellora::InstructionSet set) { list.push_back(set); });
    return list;
  }();
  return sets;
}

struct Figures {
  std::string run;  // the seed and corpus directories, as libFuzzer was given them
  uint64_t inputs;
  std::vector<uint64_t> inputs_by_set;  // as runnable_sets() lists them
  uint64_t calls[kExportCount];
  uint64_t succeeded[kExportCount];
  uint64_t refused_allocations;
};
Figures figures;

void print_figures() {
  uint64_t total = 0;
  int covered = 0;
  for (int e = 0; e < kExportCount; ++e) {
    total += figures.calls[e];
    covered += figures.calls[e] > 0;
  }
  std::printf("fuzz_exports: %s\n", figures.run.c_str());
  std::printf("fuzz_exports: %" PRIu64 " inputs, %" PRIu64
              " calls, %d of %d exports called, %" PRIu64 " allocations refused on purpose\n",
              figures.inputs, total, covered, int{kExportCount}, figures.refused_allocations);
  for (int e = 0; e < kExportCount; ++e) {
    std::printf("fuzz_exports:   %-13s %10" PRIu64 " calls, %10" PRIu64 " succeeded\n",
                kExportNames[e], figures.calls[e], figures.succeeded[e]);
  }
  for (size_t i = 0; i < figures.inputs_by_set.size(); ++i) {
    std::printf("fuzz_exports:   %10" PRIu64 " inputs on the %s kernels\n",
                figures.inputs_by_set[i], vellora::instruction_set_name(runnable_sets()[i]));
  }
  std::fflush(stdout);
}

// ---------------------------------------------------------------------------
// Memory the library must not be able to touch, or only read.

constexpr size_t kPage = 4096;

// Pages, from a fixed base: 0 read-write (objects and headers cut off by page
// 1), 1 unmapped; then for each slot a read-write page between two unmapped
// spans, each longer than any buffer a slot gets, for the buffers that run
// from the page into the span after it or from the span before it into the
// page (one page per slot, so that what one slot's buffer is written with
// never lands in another's, and no row of such a buffer lies on mapped
// memory but the slot's page); then a read-only page (pixel buffers, shared:
// nothing can write them), a read-only page (headers, records) and an
// unmapped page.
constexpr int kMaxSlots = 4;
constexpr int kMaxSide = 260;  // Input::side()
constexpr int kSpanPages = 70;
static_assert(kSpanPages * kPage >= size_t{4} * kMaxSide * kMaxSide);
constexpr int kSlotPages = kSpanPages + 1 + kSpanPages;
constexpr int kReadOnlyPixelsPage = 2 + kMaxSlots * kSlotPages;
constexpr int kReadOnlyRecordsPage = kReadOnlyPixelsPage + 1;
constexpr int kPageCount = kReadOnlyRecordsPage + 2;

// The read-write page of slot `index`, between its two unmapped spans.
int page_of_slot(int index) { return 2 + index * kSlotPages + kSpanPages; }

struct Pages {
  uint8_t* base;
  uint8_t* page(int i) const { return base + i * kPage; }
};

Pages make_pages() {
  void* p = mmap(nullptr, kPageCount * kPage, PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_ANONYMOUS | kBelow4GiB, -1, 0);
  if (p == MAP_FAILED) {
    std::printf("fuzz_exports: no pages\n");
    std::abort();
  }
  Pages pages{static_cast<uint8_t*>(p)};
  mprotect(pages.page(1), kPage, PROT_NONE);
  for (int i = 0; i < kMaxSlots; ++i) {
    mprotect(pages.page(page_of_slot(i) - kSpanPages), kSpanPages * kPage, PROT_NONE);
    mprotect(pages.page(page_of_slot(i) + 1), kSpanPages * kPage, PROT_NONE);
  }
  mprotect(pages.page(kPageCount - 1), kPage, PROT_NONE);
  return pages;
}

const Pages& pages() {
  static const Pages instance = make_pages();
  return instance;
}

void set_read_only_pages_writable(bool writable) {
  mprotect(pages().page(kReadOnlyPixelsPage), 2 * kPage,
           writable ? PROT_READ | PROT_WRITE : PROT_READ);
}

uint32_t address_of(const void* p) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(p)); }

// ---------------------------------------------------------------------------
// Pixel buffers with guard bytes on both sides, in one malloc block.

constexpr size_t kGuard = 32;

uint8_t guard_byte(size_t i) { return static_cast<uint8_t>(0xA5 ^ (i * 29)); }

uint8_t* guarded_block(const uint8_t* payload, size_t bytes) {
  auto* block = static_cast<uint8_t*>(low_malloc(kGuard + bytes + kGuard));
  if (block == nullptr) fail("driver out of memory");
  for (size_t i = 0; i < kGuard; ++i) block[i] = block[kGuard + bytes + i] = guard_byte(i);
  if (bytes > 0) std::memcpy(block + kGuard, payload, bytes);
  return block;
}

bool guards_intact(const uint8_t* block, size_t bytes) {
  for (size_t i = 0; i < kGuard; ++i) {
    if (block[i] != guard_byte(i) || block[kGuard + bytes + i] != guard_byte(i)) return false;
  }
  return true;
}

// ---------------------------------------------------------------------------
// The bitmaps of one input.

enum class Kind : uint8_t {
  kSound,
  kNullHandle,
  kWildHandle,    // handle * 2 unmapped
  kObjectCutOff,  // flags readable, data pointer on an unmapped page
  kWrongFlags,
  kNullRecord,
  kUnmappedData,    // the data pointer leads to unmapped memory
  kUnmappedRecord,  // the record pointer does
  kNullHeader,
  kUnmappedHeader,
  kHeaderCutOff,  // biSize readable, biWidth on an unmapped page
  kBadHeaderSize,
  kNoPixels,        // width or height 0 or less
  kOversized,       // width * height * 4 beyond INT32_MAX
  kNullPixels,      // sizes positive, pixels pointer null
  kUnmappedPixels,  // the buffer runs into (or lies in) an unmapped span
  kUnmappedStart,   // the buffer starts in an unmapped span
  kReadOnlyPixels,  // the buffer is mapped read-only
  kReadOnlyHeader,  // sound, but biWidth and biHeight cannot be written
  kReadOnlyRecord,  // sound, but the pixels pointer cannot be written
  kCount
};

struct Slot {
  Kind kind = Kind::kSound;
  hostsim::Bitmap* bitmap = nullptr;
  int32_t handle = 0;
  int32_t width = 0;  // what the header says
  int32_t height = 0;
  // The driver's malloc block behind the pixels pointer: guarded between
  // calls; plain (exactly the payload, for the library to free) around a
  // resize. Null when the buffer is not the driver's heap memory.
  uint8_t* block = nullptr;
  bool guarded = false;
  uint8_t* pixels = nullptr;   // the pixels pointer as installed
  std::vector<uint8_t> model;  // what the bytes at `pixels` must hold
  // The bytes of the model that exist: [mapped_first, mapped_end); the rest
  // lie in an unmapped span.
  size_t mapped_first = 0;
  size_t mapped_end = 0;
};

bool has_pixels(const Slot& s) { return s.width > 0 && s.height > 0; }

bool byte_size_fits(int32_t width, int32_t height) {
  return int64_t{width} * height <= INT32_MAX / 4;
}

// Argument values that sit on the rules' edges.
constexpr int32_t kEdges[] = {2,
                              3,
                              4,
                              181,
                              182,
                              254,
                              255,
                              256,
                              257,
                              -255,
                              -256,
                              -257,
                              999,
                              1000,
                              1001,
                              33025,
                              33026,
                              46341,
                              65536,
                              23170,
                              23171,
                              1000000,
                              1000001,
                              8421504,
                              8421505,
                              -8421504,
                              -8421505,
                              536870911,
                              536870912,
                              INT32_MAX - 1,
                              INT32_MIN + 1,
                              0x7FFFF,
                              -2147483647 / 2};

struct Input {
  FuzzedDataProvider& data;
  std::vector<Slot>& slots;

  // A 32-bit argument leaning toward the boundaries and the bitmaps' sizes.
  int32_t argument() {
    switch (data.ConsumeIntegralInRange<int>(0, 15)) {
      case 0:
        return 0;
      case 1:
        return 1;
      case 2:
        return -1;
      case 3:
        return INT32_MIN;
      case 4:
        return INT32_MAX;
      case 5:
      case 6: {  // a side of one of the bitmaps, or next to it, or its negative
        if (slots.empty()) return side();
        const Slot& s = slots[data.ConsumeIntegralInRange<size_t>(0, slots.size() - 1)];
        const int32_t side = data.ConsumeBool() ? s.width : s.height;
        const int32_t near = static_cast<int32_t>(static_cast<uint32_t>(side) +
                                                  data.ConsumeIntegralInRange<uint32_t>(0, 2) - 1u);
        return data.ConsumeBool() ? near : static_cast<int32_t>(0u - static_cast<uint32_t>(near));
      }
      case 7:
        return kEdges[data.ConsumeIntegralInRange<size_t>(0, std::size(kEdges) - 1)];
      case 8:
      case 9:
      case 10:
      case 11:
        return data.ConsumeIntegralInRange<int32_t>(-70, 70);
      default:
        return data.ConsumeIntegral<int32_t>();
    }
  }

  // A side of a sound bitmap: often 1, mostly small, now and then larger than
  // a mosaic block of 33,025 pixels can be square.
  int32_t side() {
    switch (data.ConsumeIntegralInRange<int>(0, 15)) {
      case 0:
      case 1:
      case 2:
        return 1;
      case 3:
        return data.ConsumeIntegralInRange<int32_t>(182, 260);
      case 4:
      case 5:
      case 6:
        return data.ConsumeIntegralInRange<int32_t>(17, 64);
      default:
        return data.ConsumeIntegralInRange<int32_t>(2, 16);
    }
  }

  // Pixel bytes: from a generator seeded by the input (so that large bitmaps
  // cost the input four bytes), with the alphas often all opaque, all
  // transparent, or at the edges of the weighting rules, or opaque but for
  // one run of pixels (so that opaque rows, windows and groups of pixels
  // meet mixed ones); their start now and then straight from the input.
  std::vector<uint8_t> bytes(size_t count) {
    constexpr uint8_t kAlphas[] = {0, 1, 254, 255};
    std::vector<uint8_t> out(count);
    const int mode = data.ConsumeIntegralInRange<int>(0, 5);
    std::minstd_rand rng(data.ConsumeIntegral<uint32_t>());
    const size_t pixels = count / 4;
    const size_t mixed_first = pixels > 0 ? rng() % pixels : 0;
    const size_t mixed_end =
        mixed_first + (pixels > 0 ? rng() % (pixels - mixed_first + 1) / 4 : 0);
    for (size_t i = 0; i < count; ++i) {
      auto b = static_cast<uint8_t>(rng() >> 7);
      if (i % 4 == 3) {
        if (mode == 0) b = 255;
        if (mode == 1) b = 0;
        if (mode == 2) b = kAlphas[b & 3];
        if (mode == 5 && (i / 4 < mixed_first || i / 4 >= mixed_end)) b = 255;
      }
      out[i] = b;
    }
    if (mode == 4) {
      const std::vector<uint8_t> raw = data.ConsumeBytes<uint8_t>(std::min<size_t>(count, 256));
      std::copy(raw.begin(), raw.end(), out.begin());
    }
    return out;
  }

  Slot& pick_slot() { return slots[data.ConsumeIntegralInRange<size_t>(0, slots.size() - 1)]; }
};

void install_guarded(Slot& s, std::vector<uint8_t> payload) {
  s.model = std::move(payload);
  s.mapped_end = s.model.size();
  s.block = guarded_block(s.model.data(), s.model.size());
  s.guarded = true;
  s.pixels = s.block + kGuard;
  hostsim::set_pixels_pointer(*s.bitmap, s.pixels);
}

// Makes one bitmap. Every hostsim bitmap starts without a buffer of its own
// and gets the driver's: hostsim then never frees a pixel buffer, and the
// driver frees what is installed when the input is done.
Slot make_slot(Input& in, int index) {
  Slot s;
  const int kind_pick = in.data.ConsumeIntegralInRange<int>(0, 2 * static_cast<int>(Kind::kCount));
  s.kind = kind_pick < static_cast<int>(Kind::kCount) ? static_cast<Kind>(kind_pick) : Kind::kSound;
  const Pages& p = pages();

  switch (s.kind) {
    case Kind::kNullHandle:
      s.handle = 0;
      return s;
    case Kind::kWildHandle: {
      const int32_t in_hole =
          hostsim::handle_at(p.page(1) + in.data.ConsumeIntegralInRange<uint32_t>(0, kPage - 16));
      const int32_t wild[] = {1, 2, 3, -1, in_hole, in_hole + 1};
      s.handle = wild[in.data.ConsumeIntegralInRange<size_t>(0, std::size(wild) - 1)];
      return s;
    }
    case Kind::kObjectCutOff:
      s.handle = hostsim::cut_off_object(p.page(1) - 8);
      return s;
    default:
      break;
  }

  s.bitmap = hostsim::create_bitmap(0, 0);
  hostsim::set_pixels_pointer(*s.bitmap, nullptr);
  s.handle = hostsim::handle_of(*s.bitmap);
  s.width = in.side();
  s.height = in.side();
  // One pixel wide or high now and then.
  switch (in.data.ConsumeIntegralInRange<int>(0, 7)) {
    case 0:
      s.width = 1;
      break;
    case 1:
      s.height = 1;
      break;
    default:
      break;
  }
  std::vector<uint8_t> payload = in.bytes(size_t{4} * s.width * s.height);
  uint8_t* const hole = p.page(1) + 4 * in.data.ConsumeIntegralInRange<uint32_t>(0, 1000) +
                        in.data.ConsumeIntegralInRange<uint32_t>(0, 3);

  switch (s.kind) {
    case Kind::kWrongFlags: {
      const uint32_t flags[] = {0x22,       0x223,  0,
                                0xFFFFFFFF, 0x2222, in.data.ConsumeIntegral<uint32_t>()};
      uint32_t f = flags[in.data.ConsumeIntegralInRange<size_t>(0, std::size(flags) - 1)];
      if (f == hostsim::kBitmapObjectFlags) f ^= 1;
      hostsim::set_object_flags(*s.bitmap, f);
      break;
    }
    case Kind::kNullRecord:
      hostsim::clear_bitmap_record(*s.bitmap);
      break;
    case Kind::kUnmappedData:
      hostsim::set_data_pointer(*s.bitmap, hole);
      break;
    case Kind::kUnmappedRecord:
      hostsim::set_record_pointer(*s.bitmap, hole);
      break;
    case Kind::kNullHeader:
      hostsim::clear_info_header(*s.bitmap);
      break;
    case Kind::kUnmappedHeader:
      hostsim::set_header_pointer(*s.bitmap, hole);
      break;
    case Kind::kHeaderCutOff:
      hostsim::cut_off_info_header(*s.bitmap, p.page(1) - 4);
      break;
    case Kind::kBadHeaderSize: {
      uint32_t size = in.data.ConsumeBool() ? 41 : in.data.ConsumeIntegral<uint32_t>();
      if (size == 40) size = 0;
      hostsim::set_info_header_size(*s.bitmap, size);
      break;
    }
    case Kind::kNoPixels: {
      const int32_t none[] = {0, -1, INT32_MIN, -s.width};
      const int32_t bad = none[in.data.ConsumeIntegralInRange<size_t>(0, std::size(none) - 1)];
      const int32_t other = in.data.ConsumeBool() ? s.width : in.argument();
      if (in.data.ConsumeBool()) {
        s.width = bad;
        s.height = other;
      } else {
        s.width = other;
        s.height = bad;
      }
      payload.resize(16);
      break;
    }
    case Kind::kOversized: {
      const std::array<int32_t, 2> sizes[] = {
          {INT32_MAX, INT32_MAX}, {65536, 8192},  {46341, 46341}, {23171, 23171},
          {1, 536870912},         {536870912, 1}, {23170, 23171}, {1000001, 537}};
      const auto& wh = sizes[in.data.ConsumeIntegralInRange<size_t>(0, std::size(sizes) - 1)];
      s.width = wh[0];
      s.height = wh[1];
      payload.resize(16);
      break;
    }
    default:
      break;
  }

  hostsim::set_header_dimensions(*s.bitmap, s.width, s.height);

  switch (s.kind) {
    case Kind::kNullPixels:
      s.model.clear();
      return s;
    case Kind::kUnmappedPixels: {
      // The first bytes of the buffer lie at the end of the slot's page, the
      // rest (one byte at least) in the span after it; often whole rows.
      const size_t bytes = payload.size();
      s.mapped_end = in.data.ConsumeIntegralInRange<size_t>(0, std::min(bytes - 1, kPage));
      if (in.data.ConsumeBool()) s.mapped_end -= s.mapped_end % (size_t{4} * s.width);
      s.pixels = p.page(page_of_slot(index) + 1) - s.mapped_end;
      std::memcpy(s.pixels, payload.data(), s.mapped_end);
      s.model = std::move(payload);
      hostsim::set_pixels_pointer(*s.bitmap, s.pixels);
      return s;
    }
    case Kind::kUnmappedStart: {
      // The last bytes of the buffer lie at the start of the slot's page, the
      // rest (one byte at least) in the span before it.
      const size_t bytes = payload.size();
      s.mapped_first =
          in.data.ConsumeIntegralInRange<size_t>(bytes > kPage ? bytes - kPage : 1, bytes);
      const size_t row = size_t{4} * s.width;
      if (in.data.ConsumeBool() && s.mapped_first % row != 0) {
        s.mapped_first += row - s.mapped_first % row;  // whole rows, the last one at least
      }
      s.mapped_end = bytes;
      s.pixels = p.page(page_of_slot(index)) - s.mapped_first;
      std::memcpy(s.pixels + s.mapped_first, payload.data() + s.mapped_first,
                  bytes - s.mapped_first);
      s.model = std::move(payload);
      hostsim::set_pixels_pointer(*s.bitmap, s.pixels);
      return s;
    }
    case Kind::kReadOnlyPixels: {
      // The read-only page holds one buffer per input, shared by every such
      // bitmap; it is written before the page is made read-only.
      while (int64_t{s.width} * s.height * 4 > static_cast<int64_t>(kPage)) {
        s.width = (s.width + 1) / 2;
        s.height = (s.height + 1) / 2;
      }
      hostsim::set_header_dimensions(*s.bitmap, s.width, s.height);
      s.pixels = p.page(kReadOnlyPixelsPage);
      s.model.assign(s.pixels, s.pixels + size_t{4} * s.width * s.height);
      s.mapped_end = s.model.size();
      hostsim::set_pixels_pointer(*s.bitmap, s.pixels);
      return s;
    }
    case Kind::kReadOnlyHeader:
      hostsim::move_info_header(*s.bitmap, p.page(kReadOnlyRecordsPage) + 64 * index);
      break;
    default:
      break;
  }

  install_guarded(s, std::move(payload));
  if (s.kind == Kind::kReadOnlyRecord) {
    hostsim::move_bitmap_record(*s.bitmap, p.page(kReadOnlyRecordsPage) + 2048 + 64 * index);
  }
  return s;
}

void release_slot(Slot& s) {
  std::free(s.block);
  s.block = nullptr;
  if (s.bitmap != nullptr) hostsim::destroy_bitmap(s.bitmap);
  s.bitmap = nullptr;
}

// ---------------------------------------------------------------------------
// What the library must answer, from the model.

// The order of resolution's tests decides; a broken record wins over sizes.
int32_t expected_resolution(const Slot& s) {
  switch (s.kind) {
    case Kind::kNullHandle:
      return ERR_NULL_HANDLE;
    case Kind::kWildHandle:
    case Kind::kObjectCutOff:
    case Kind::kWrongFlags:
      return ERR_NOT_BITMAP;
    case Kind::kNullRecord:
    case Kind::kUnmappedData:
    case Kind::kUnmappedRecord:
      return ERR_NO_BITMAP_RECORD;
    case Kind::kNullHeader:
    case Kind::kUnmappedHeader:
    case Kind::kHeaderCutOff:
      return ERR_NO_INFO_HEADER;
    case Kind::kBadHeaderSize:
      return ERR_BAD_INFO_HEADER;
    default:
      return VELLORA_OK;
  }
}

// Image rows first .. end - 1 of a clipped area; empty when end <= first.
struct Rows {
  int64_t first;
  int64_t end;
};

bool any(const Rows& rows) { return rows.first < rows.end; }

// Whether the rows of a slot with pixels can be touched (written too, if
// `write`): the check proves the bytes of exactly those rows.
bool rows_usable(const Slot& s, const Rows& rows, bool write) {
  switch (s.kind) {
    case Kind::kNullPixels:
      return false;
    case Kind::kReadOnlyPixels:
      return !write;
    default: {
      // Stored bottom-up, the rows' bytes run from where image row end - 1
      // starts to where image row first ends.
      const int64_t row = int64_t{4} * s.width;
      return (s.height - rows.end) * row >= static_cast<int64_t>(s.mapped_first) &&
             (s.height - rows.first) * row <= static_cast<int64_t>(s.mapped_end);
    }
  }
}

// The resolution and size rules, the buffer not looked at; on success *view
// is the model's view.
int32_t expected_sized(Slot& s, Pixels* view) {
  const int32_t status = expected_resolution(s);
  if (status != VELLORA_OK) return status;
  if (!has_pixels(s)) {
    *view = Pixels{0, 0, nullptr};
    return VELLORA_OK;
  }
  if (!byte_size_fits(s.width, s.height)) return ERR_BAD_PIXEL_BUFFER;
  *view = Pixels{s.width, s.height, s.model.data()};
  return VELLORA_OK;
}

// The gate of the operations that touch every pixel: the whole buffer must
// be usable.
int32_t expected_gate(Slot& s, bool write, Pixels* view) {
  const int32_t status = expected_sized(s, view);
  if (status != VELLORA_OK || view->width == 0) return status;
  return rows_usable(s, Rows{0, s.height}, write) ? VELLORA_OK : ERR_BAD_PIXEL_BUFFER;
}

// A blend's pairs on one axis: offsets i with 0 <= i < n, 0 <= d + i <
// dst_size and 0 <= s + i < src_size; the destination's and the source's
// rows (or columns) they cover.
void blend_axis(int64_t d, int64_t s, int64_t n, int64_t dst_size, int64_t src_size, Rows* dst,
                Rows* src) {
  const int64_t lo = std::max({int64_t{0}, -d, -s});
  const int64_t hi = std::min({n, dst_size - d, src_size - s});
  *dst = Rows{d + lo, d + hi};
  *src = Rows{s + lo, s + hi};
}

// The PNG save's gate: the sizes stay as they are, the whole buffer is read.
int32_t expected_bounded(const Slot& s) {
  const int32_t status = expected_resolution(s);
  if (status != VELLORA_OK) return status;
  if (has_pixels(s) &&
      (!byte_size_fits(s.width, s.height) || !rows_usable(s, Rows{0, s.height}, false))) {
    return ERR_BAD_PIXEL_BUFFER;
  }
  return VELLORA_OK;
}

// ---------------------------------------------------------------------------
// Checks after every call.

void check_slots(const std::vector<Slot>& slots) {
  for (size_t i = 0; i < slots.size(); ++i) {
    const Slot& s = slots[i];
    if (s.bitmap == nullptr) continue;
    if (s.block != nullptr && s.guarded && !guards_intact(s.block, s.model.size())) {
      fail("guard bytes of bitmap %zu overwritten", i);
    }
    const int32_t width = hostsim::width_of(*s.bitmap), height = hostsim::height_of(*s.bitmap);
    if (width != s.width || height != s.height) {
      fail("bitmap %zu's header says %" PRId32 " x %" PRId32 ", expected %" PRId32 " x %" PRId32, i,
           width, height, s.width, s.height);
    }
    const size_t first = s.mapped_first;
    if (s.mapped_end > first &&
        std::memcmp(s.pixels + first, s.model.data() + first, s.mapped_end - first) != 0) {
      size_t at = first;
      while (s.pixels[at] == s.model[at]) ++at;
      fail("bitmap %zu (%" PRId32 " x %" PRId32 ") differs at byte %zu: %u, expected %u", i,
           s.width, s.height, at, s.pixels[at], s.model[at]);
    }
  }
}

// A status that reports a refusal (GetAddress returns an address otherwise,
// Version its number).
bool is_failure(int32_t status) {
  const int32_t first = ERR_NULL_HANDLE - ERR_SECOND_BITMAP_OFFSET - 5;
  return (status >= first && status <= ERR_NULL_HANDLE) || status == PNG_SAVE_FAILED ||
         status == ERR_BAD_SIZE || status == ERR_OUT_OF_MEMORY || status == ERR_NULL_BUFFER ||
         status == ERR_SIZE_MISMATCH;
}

// Runs one export call with the allocation faults armed as chosen.
template <typename Call>
int32_t call_export(Export e, int fail_at, Call&& call) {
  faults = AllocationFaults{true, fail_at, 0, false};
  const int32_t status = call();
  const bool refused = faults.failed;
  faults = AllocationFaults{};
  ++figures.calls[e];
  figures.succeeded[e] += !is_failure(status);
  figures.refused_allocations += refused;
  faults.failed = refused;  // read by the caller, unarmed
  return status;
}

// ---------------------------------------------------------------------------
// The resize: the library frees the old buffer and installs one of its own.

// Swaps a guarded block for a plain one holding the same bytes, so that the
// library may free it.
void unguard(Slot& s) {
  if (s.block == nullptr || !s.guarded) return;
  auto* plain = static_cast<uint8_t*>(low_malloc(s.model.empty() ? 1 : s.model.size()));
  if (plain == nullptr) fail("driver out of memory");
  if (!s.model.empty()) std::memcpy(plain, s.pixels, s.model.size());
  if (!guards_intact(s.block, s.model.size())) fail("guard bytes overwritten before a resize");
  std::free(s.block);
  s.block = plain;
  s.guarded = false;
  s.pixels = plain;
  hostsim::set_pixels_pointer(*s.bitmap, plain);
}

// And back: whatever plain block is installed now (the driver's, or the one
// the library allocated) is copied into a guarded one and freed.
void reguard(Slot& s) {
  if (s.block == nullptr || s.guarded) return;
  uint8_t* const installed = hostsim::pixels_of(*s.bitmap);
  s.block = guarded_block(installed, s.model.size());
  s.guarded = true;
  std::free(installed);
  s.pixels = s.block + kGuard;
  hostsim::set_pixels_pointer(*s.bitmap, s.pixels);
}

// A buffer that is mapped but not the heap's cannot be handed to free, and
// the library cannot tell it from one that is: the caller's guarantee, which
// the driver keeps. One that is not mapped at all must be refused.
bool may_be_handed_to_free(const Slot& s) {
  return s.kind != Kind::kReadOnlyPixels && (s.kind != Kind::kUnmappedPixels || s.mapped_end == 0);
}

void change_size(Input& in, int fail_at) {
  Slot& s = in.pick_slot();
  if (!may_be_handed_to_free(s)) return;
  const int32_t w = in.argument(), h = in.argument();
  describe_call("ChangeSize(%" PRId32 ", %" PRId32 ", %" PRId32 ") fail_at %d", s.handle, w, h,
                fail_at);

  int32_t expected = VELLORA_OK;
  if (w <= 0 || h <= 0 || !byte_size_fits(w, h)) {
    expected = ERR_BAD_SIZE;
  } else if (expected_resolution(s) != VELLORA_OK) {
    expected = expected_resolution(s);
  } else if (s.kind == Kind::kReadOnlyHeader) {
    expected = ERR_NO_INFO_HEADER;
  } else if (s.kind == Kind::kReadOnlyRecord) {
    expected = ERR_NO_BITMAP_RECORD;
  } else if (s.kind == Kind::kUnmappedPixels || s.kind == Kind::kUnmappedStart) {
    expected = ERR_BAD_PIXEL_BUFFER;
  }
  if (expected == VELLORA_OK) unguard(s);
  uint8_t* const before = s.bitmap != nullptr ? hostsim::pixels_of(*s.bitmap) : nullptr;

  const int32_t status =
      call_export(kChangeSize, fail_at, [&] { return ChangeSize(s.handle, w, h); });
  if (expected == VELLORA_OK && faults.failed) expected = ERR_OUT_OF_MEMORY;
  expect_status(status, expected);

  if (status == VELLORA_OK) {
    // The old buffer is gone (freed by the library); the new one is cleared.
    s.kind = Kind::kSound;
    s.width = w;
    s.height = h;
    s.model.assign(size_t{4} * w * h, 0);
    s.mapped_first = 0;
    s.mapped_end = s.model.size();
    s.block = hostsim::pixels_of(*s.bitmap);
    s.pixels = s.block;
    if (s.pixels == nullptr) fail("no buffer installed");
    check_slots(in.slots);
    reguard(s);
  } else if (s.bitmap != nullptr && hostsim::pixels_of(*s.bitmap) != before) {
    fail("a refused resize replaced the buffer");
  } else {
    reguard(s);
  }
}

// ---------------------------------------------------------------------------
// The other exports.

void blend_blt(Input& in, int fail_at) {
  Slot& dst = in.pick_slot();
  Slot& src = in.pick_slot();
  int32_t a[8];
  for (int32_t& v : a) v = in.argument();
  // The mode: often a real one.
  if (in.data.ConsumeBool()) a[6] = in.data.ConsumeIntegralInRange<int32_t>(-1, 8);
  if (in.data.ConsumeBool()) a[7] = in.data.ConsumeIntegralInRange<int32_t>(-2, 257);
  describe_call("BlendBlt(%" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32
                ", %" PRId32 ", %" PRId32 ", mode %" PRId32 ", opacity %" PRId32 ")",
                dst.handle, a[0], a[1], src.handle, a[2], a[3], a[4], a[5], a[6], a[7]);
  // Only the buffers' rows that the pairs cover are checked, after both
  // resolutions, so an area without pairs leaves unusable buffers alone.
  Pixels dv{}, sv{};
  int32_t expected = expected_sized(dst, &dv);
  if (expected == VELLORA_OK) {
    expected = expected_sized(src, &sv);
    if (expected != VELLORA_OK) expected -= ERR_SECOND_BITMAP_OFFSET;
  }
  Rows dst_columns{}, src_columns{}, dst_rows{}, src_rows{};
  blend_axis(a[0], a[2], a[4], dv.width, sv.width, &dst_columns, &src_columns);
  blend_axis(a[1], a[3], a[5], dv.height, sv.height, &dst_rows, &src_rows);
  if (expected == VELLORA_OK && any(dst_columns) && any(dst_rows)) {
    if (!rows_usable(dst, dst_rows, true)) {
      expected = ERR_BAD_PIXEL_BUFFER;
    } else if (!rows_usable(src, src_rows, false)) {
      expected = ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET;
    }
  }
  const int32_t status = call_export(kBlendBlt, fail_at, [&] {
    return BlendBlt(dst.handle, a[0], a[1], src.handle, a[2], a[3], a[4], a[5], a[6], a[7]);
  });
  expect_status(status, expected);
  if (status == VELLORA_OK) {
    reference::blend_blt(dv, sv, a[0], a[1], a[2], a[3], a[4], a[5], a[6], a[7]);
  }
}

void clip_mask(Input& in, int fail_at) {
  Slot& target = in.pick_slot();
  Slot& mask = in.pick_slot();
  const int32_t ox = in.argument(), oy = in.argument();
  const int32_t outside =
      in.data.ConsumeBool() ? in.data.ConsumeIntegralInRange<int32_t>(-1, 256) : in.argument();
  describe_call("ClipMask(%" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ")",
                target.handle, mask.handle, ox, oy, outside);
  // After both resolutions, the target's rows that change (all of them, but
  // only those under the mask where the outside value of 255 changes
  // nothing), then the mask's rows over the target.
  Pixels tv{}, mv{};
  int32_t expected = expected_sized(target, &tv);
  if (expected == VELLORA_OK) {
    expected = expected_sized(mask, &mv);
    if (expected != VELLORA_OK) expected -= ERR_SECOND_BITMAP_OFFSET;
  }
  if (expected == VELLORA_OK) {
    const auto clamp = [](int64_t v, int64_t size) { return std::clamp<int64_t>(v, 0, size); };
    const Rows covered{clamp(oy, tv.height), clamp(int64_t{oy} + mv.height, tv.height)};
    const bool covers =
        any(covered) && clamp(ox, tv.width) < clamp(int64_t{ox} + mv.width, tv.width);
    const Rows changed = outside != 255 ? Rows{0, tv.height} : covers ? covered : Rows{0, 0};
    if (any(changed) && !rows_usable(target, changed, true)) {
      expected = ERR_BAD_PIXEL_BUFFER;
    } else if (any(changed) && covers &&
               !rows_usable(mask, Rows{covered.first - oy, covered.end - oy}, false)) {
      expected = ERR_BAD_PIXEL_BUFFER - ERR_SECOND_BITMAP_OFFSET;
    }
  }
  const int32_t status = call_export(
      kClipMask, fail_at, [&] { return ClipMask(target.handle, mask.handle, ox, oy, outside); });
  expect_status(status, expected);
  // A target without a buffer passes only where nothing changes (an outside
  // value of 255 and no mask over it): the reference, which writes every
  // alpha, has nothing to write into then.
  if (status == VELLORA_OK && tv.bytes != nullptr) reference::clip_mask(tv, mv, ox, oy, outside);
}

void change_tone(Input& in, int fail_at) {
  Slot& s = in.pick_slot();
  const int32_t r = in.argument(), g = in.argument(), b = in.argument(), skip = in.argument();
  describe_call("ChangeTone(%" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ")",
                s.handle, r, g, b, skip);
  Pixels v{};
  const int32_t expected = expected_gate(s, true, &v);
  const int32_t status =
      call_export(kChangeTone, fail_at, [&] { return ChangeTone(s.handle, r, g, b, skip); });
  expect_status(status, expected);
  if (status == VELLORA_OK) reference::change_tone(v, r, g, b, skip != 0);
}

void invert_color(Input& in, int fail_at) {
  Slot& s = in.pick_slot();
  describe_call("InvertColor(%" PRId32 ")", s.handle);
  Pixels v{};
  const int32_t expected = expected_gate(s, true, &v);
  const int32_t status = call_export(kInvertColor, fail_at, [&] { return InvertColor(s.handle); });
  expect_status(status, expected);
  if (status == VELLORA_OK) reference::invert_color(v);
}

void blur(Input& in, int fail_at) {
  Slot& s = in.pick_slot();
  const int32_t radius =
      in.data.ConsumeBool() ? in.data.ConsumeIntegralInRange<int32_t>(-1, 70) : in.argument();
  describe_call("Blur(%" PRId32 ", %" PRId32 ") fail_at %d", s.handle, radius, fail_at);
  Pixels v{};
  int32_t expected = expected_gate(s, true, &v);
  const int32_t status = call_export(kBlur, fail_at, [&] { return Blur(s.handle, radius); });
  if (expected == VELLORA_OK && faults.failed) expected = ERR_OUT_OF_MEMORY;
  expect_status(status, expected);
  if (status == VELLORA_OK) reference::blur(v, radius);
}

void mosaic(Input& in, int fail_at) {
  Slot& s = in.pick_slot();
  int32_t a[6];
  for (int32_t& v : a) v = in.argument();
  describe_call("Mosaic(%" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32 ", %" PRId32
                ", %" PRId32 ")",
                s.handle, a[0], a[1], a[2], a[3], a[4], a[5]);
  // Only the rows of the clipped area are checked.
  Pixels v{};
  int32_t expected = expected_sized(s, &v);
  const Rows rows{std::max<int64_t>(a[1], 0), std::min<int64_t>(int64_t{a[1]} + a[3], v.height)};
  const bool columns =
      std::max<int64_t>(a[0], 0) < std::min<int64_t>(int64_t{a[0]} + a[2], v.width);
  if (expected == VELLORA_OK && columns && any(rows) && !rows_usable(s, rows, true)) {
    expected = ERR_BAD_PIXEL_BUFFER;
  }
  const int32_t status = call_export(
      kMosaic, fail_at, [&] { return Mosaic(s.handle, a[0], a[1], a[2], a[3], a[4], a[5]); });
  expect_status(status, expected);
  if (status == VELLORA_OK) reference::mosaic(v, a[0], a[1], a[2], a[3], a[4], a[5]);
}

void get_address(Input& in, int fail_at) {
  Slot& s = in.pick_slot();
  describe_call("GetAddress(%" PRId32 ")", s.handle);
  const int32_t status = call_export(kGetAddress, fail_at, [&] { return GetAddress(s.handle); });
  const int32_t resolved = expected_resolution(s);
  expect_status(status,
                resolved != VELLORA_OK ? resolved : static_cast<int32_t>(address_of(s.pixels)));
}

// GetPixelData and SetPixelData, on a guarded caller buffer of the bitmap's
// byte size.
void transfer(Input& in, int fail_at, bool get) {
  Slot& s = in.pick_slot();
  Pixels v{};
  const int32_t gate = expected_gate(s, !get, &v);
  const size_t size = gate == VELLORA_OK ? size_t{4} * v.width * v.height : 64;
  std::vector<uint8_t> payload = in.bytes(size);
  uint8_t* block = guarded_block(payload.data(), size);
  uint8_t* buffer = in.data.ConsumeIntegralInRange<int>(0, 7) == 0 ? nullptr : block + kGuard;
  const int32_t length =
      in.data.ConsumeBool() ? static_cast<int32_t>(gate == VELLORA_OK ? size : 0) : in.argument();
  describe_call("%s(%" PRId32 ", %p, %" PRId32 ")", get ? "GetPixelData" : "SetPixelData", s.handle,
                static_cast<void*>(buffer), length);

  int32_t expected = gate;
  if (expected == VELLORA_OK) {
    if (static_cast<size_t>(static_cast<uint32_t>(length)) != size || length < 0) {
      expected = ERR_SIZE_MISMATCH;
    } else if (buffer == nullptr && length != 0) {
      expected = ERR_NULL_BUFFER;
    }
  }
  const int32_t status = get ? call_export(kGetPixelData, fail_at,
                                           [&] { return GetPixelData(s.handle, buffer, length); })
                             : call_export(kSetPixelData, fail_at,
                                           [&] { return SetPixelData(s.handle, buffer, length); });
  expect_status(status, expected);
  if (!guards_intact(block, size)) fail("guard bytes of the caller's buffer overwritten");
  if (status == VELLORA_OK && size > 0) {
    if (get) {
      payload.assign(v.bytes, v.bytes + size);
    } else {
      std::memcpy(v.bytes, payload.data(), size);
    }
  }
  if (size > 0 && std::memcmp(block + kGuard, payload.data(), size) != 0) {
    fail("caller's buffer is wrong");
  }
  std::free(block);
}

// The temporary directory the saves write into, removed at exit.
std::string& save_directory() {
  static std::string dir;
  return dir;
}

void remove_save_directory() {
  const std::string& dir = save_directory();
  if (dir.empty()) return;
  unlink((dir + "/out.png").c_str());
  rmdir(dir.c_str());
}

// The file must decode to the bitmap's bytes: libpng's reading side, asked
// for B, G, R, A rows bottom-up, gives exactly the stored buffer.
void check_png(const char* path, const Slot& s) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&image, path)) fail("the PNG does not decode");
  image.format = PNG_FORMAT_BGRA;
  if (image.width != static_cast<uint32_t>(s.width) ||
      image.height != static_cast<uint32_t>(s.height)) {
    png_image_free(&image);
    fail("the PNG is %u x %u", image.width, image.height);
  }
  std::vector<uint8_t> rows(PNG_IMAGE_SIZE(image));
  const int32_t stride = -static_cast<int32_t>(PNG_IMAGE_ROW_STRIDE(image));
  if (!png_image_finish_read(&image, nullptr, rows.data(), stride, nullptr)) {
    fail("the PNG's rows do not decode");
  }
  if (rows != s.model) fail("the PNG's pixels differ from the bitmap's");
}

void png_save(Input& in, int fail_at, bool second_name) {
  Slot& s = in.pick_slot();
  const int32_t level =
      in.data.ConsumeBool() ? in.data.ConsumeIntegralInRange<int32_t>(-2, 10) : in.argument();
  const int32_t filters =
      in.data.ConsumeBool() ? in.data.ConsumeIntegralInRange<int32_t>(0, 256) : in.argument();
  const std::string good = save_directory() + "/out.png";
  const std::string missing = save_directory() + "/missing/out.png";
  const int which = in.data.ConsumeIntegralInRange<int>(0, 9);
  const char* path = which == 0 ? nullptr : which == 1 ? missing.c_str() : good.c_str();
  describe_call("%s(%s, %" PRId32 ", %" PRId32 ", %" PRId32 ") fail_at %d",
                second_name ? "PngSave" : "PngSaveA", path ? path : "null", s.handle, level,
                filters, fail_at);

  int32_t expected = expected_bounded(s);
  const auto save = [&] {
    return second_name ? PngSave(path, s.handle, level, filters)
                       : PngSaveA(path, s.handle, level, filters);
  };
  const int32_t status = call_export(second_name ? kPngSave : kPngSaveA, fail_at, save);
  if (expected == VELLORA_OK) {
    const bool sizes_ok =
        s.width >= 1 && s.width <= 1000000 && s.height >= 1 && s.height <= 1000000;
    if (which <= 1 || !sizes_ok || faults.failed) expected = PNG_SAVE_FAILED;
  }
  expect_status(status, expected);
  if (status == VELLORA_OK) check_png(path, s);
}

// ---------------------------------------------------------------------------

void run_input(FuzzedDataProvider& data) {
  std::vector<Slot> slots;
  Input in{data, slots};

  const size_t set = data.ConsumeIntegralInRange<size_t>(0, runnable_sets().size() - 1);
  vellora::choose_instruction_set_for_fuzzing(runnable_sets()[set]);
  ++figures.inputs_by_set[set];

  // The read-only pages are written while the bitmaps are made.
  set_read_only_pages_writable(true);
  {
    const std::vector<uint8_t> ro = in.bytes(kPage);
    std::memcpy(pages().page(kReadOnlyPixelsPage), ro.data(), kPage);
  }
  const int count = data.ConsumeIntegralInRange<int>(1, kMaxSlots);
  for (int i = 0; i < count; ++i) slots.push_back(make_slot(in, i));
  set_read_only_pages_writable(false);

  const int calls = data.ConsumeIntegralInRange<int>(1, 16);
  for (int c = 0; c < calls && data.remaining_bytes() > 0; ++c) {
    // Now and then one allocation of the call is refused.
    const int fail_at =
        data.ConsumeIntegralInRange<int>(0, 7) == 0 ? data.ConsumeIntegralInRange<int>(0, 12) : -1;
    const auto e = static_cast<Export>(data.ConsumeIntegralInRange<int>(0, kExportCount - 1));
    switch (e) {
      case kGetAddress:
        get_address(in, fail_at);
        break;
      case kVersion:
        describe_call("Version()");
        expect_status(call_export(kVersion, fail_at, [] { return Version(); }), VELLORA_VERSION);
        break;
      case kBlendBlt:
        blend_blt(in, fail_at);
        break;
      case kChangeTone:
        change_tone(in, fail_at);
        break;
      case kInvertColor:
        invert_color(in, fail_at);
        break;
      case kBlur:
        blur(in, fail_at);
        break;
      case kMosaic:
        mosaic(in, fail_at);
        break;
      case kPngSaveA:
      case kPngSave:
        png_save(in, fail_at, e == kPngSave);
        break;
      case kClipMask:
        clip_mask(in, fail_at);
        break;
      case kGetPixelData:
      case kSetPixelData:
        transfer(in, fail_at, e == kGetPixelData);
        break;
      case kChangeSize:
        change_size(in, fail_at);
        break;
      case kGetGameHWND:
        describe_call("GetGameHWND()");
        expect_status(call_export(kGetGameHWND, fail_at, [] { return GetGameHWND(); }), 0);
        break;
      case kExportCount:
        break;
    }
    check_slots(slots);
  }

  for (Slot& s : slots) release_slot(s);
  low_arena.empty();
  ++figures.inputs;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  std::string seed = "seed chosen by libFuzzer (see its INFO line)", corpus;
  for (int i = 1; i < *argc; ++i) {
    const std::string arg = (*argv)[i];
    if (arg.rfind("-seed=", 0) == 0 && arg != "-seed=0") {
      seed = "seed " + arg.substr(6);
    } else if (!arg.empty() && arg[0] != '-') {
      corpus += " " + arg;
    }
  }
  figures.run = seed + (corpus.empty() ? ", no corpus" : ", corpus" + corpus);
  char pattern[] = "/tmp/vellora-fuzz-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    std::printf("fuzz_exports: no temporary directory\n");
    return 1;
  }
  save_directory() = pattern;
  pages();
  figures.inputs_by_set.assign(runnable_sets().size(), 0);
  std::atexit(remove_save_directory);
  std::atexit(print_figures);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  FuzzedDataProvider data(bytes, size);
  run_input(data);
  return 0;
}
