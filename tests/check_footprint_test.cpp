// What the memory check needs and leaves behind, through the exports: a want
// of resources is reported as one, a refused buffer commits no memory, a
// small operation copies no more than the pages it touches, and nothing is
// written outside the bitmap. Each case runs in a child process of its own,
// so that it starts with the process-wide trust in madvise undecided, and
// the limits and filters it sets end with it; this process calls no export.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "guarded_pages.h"
#include "test_support.h"
#include "vellora.h"

namespace {

using vtest::kPage;

int g_wrong = 0;  // wrong answers of the child, printed as they come

void expect_status(const char* what, int32_t got, int32_t want) {
  if (got == want) return;
  std::fprintf(stderr, "%s gave %d, expected %d\n", what, got, want);
  ++g_wrong;
}

void expect_true(const char* what, bool holds) {
  if (holds) return;
  std::fprintf(stderr, "%s\n", what);
  ++g_wrong;
}

constexpr int kSkip = 77;
constexpr int kSetUpFailed = 100;

// Runs `body` in a child, which exits with the number of wrong answers
// (kSkip: the case does not apply here; kSetUpFailed: it could not be set
// up, said on standard error).
template <typename Body>
int in_child(Body body) {
  const pid_t child = fork();
  if (child == 0) _exit(body());
  int status = 0;
  if (child < 0 || waitpid(child, &status, 0) != child) return kSetUpFailed;
  if (!WIFEXITED(status)) {
    std::fprintf(stderr, "the child died of signal %d\n", WTERMSIG(status));
    return kSetUpFailed;
  }
  return WEXITSTATUS(status);
}

#define EXPECT_CHILD_PASSES(...)                                              \
  do {                                                                        \
    const int wrong = in_child(__VA_ARGS__);                                  \
    if (wrong == kSkip) GTEST_SKIP() << "does not apply here (see above)";    \
    EXPECT_EQ(wrong, 0) << "wrong answers or a failed set-up, printed above"; \
  } while (0)

// Whether madvise refuses to populate a page no access may touch, as a
// kernel does and an emulator does not: where it does not, the library
// probes through its pipe already.
bool madvise_answers_truly() {
  void* page = mmap(nullptr, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  const bool refused = madvise(page, kPage, MADV_POPULATE_READ) != 0;
  munmap(page, kPage);
  return refused;
}

// Makes the library probe through its pipe: a seccomp filter refuses
// madvise's populate advice, as a sandbox might.
bool take_the_pipe_way() {
  if (!madvise_answers_truly()) return true;
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (filter == nullptr) return false;
  bool loaded = true;
  for (const int advice : {MADV_POPULATE_READ, MADV_POPULATE_WRITE}) {
    loaded =
        loaded && seccomp_rule_add(filter, SCMP_ACT_ERRNO(EPERM), SCMP_SYS(madvise), 1,
                                   SCMP_A2(SCMP_CMP_EQ, static_cast<scmp_datum_t>(advice))) == 0;
  }
  loaded = loaded && seccomp_load(filter) == 0;
  seccomp_release(filter);
  return loaded;
}

// Lets the process open at most `spare` more file descriptors. dup gives the
// lowest free descriptor, so every one below it is taken.
bool leave_descriptors(int spare) {
  const int lowest_free = dup(0);
  if (lowest_free < 0) return false;
  close(lowest_free);
  rlimit limit{};
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return false;
  limit.rlim_cur = static_cast<rlim_t>(lowest_free + spare);
  return setrlimit(RLIMIT_NOFILE, &limit) == 0;
}

// The process's resident memory and the part of it that is its own (not
// file pages, not shared), in bytes.
struct Resident {
  long long all;
  long long own;
};

Resident resident() {
  long long size = 0, all = 0, shared = 0;
  std::FILE* statm = std::fopen("/proc/self/statm", "r");
  if (statm == nullptr || std::fscanf(statm, "%lld %lld %lld", &size, &all, &shared) != 3) {
    std::fprintf(stderr, "/proc/self/statm cannot be read\n");
    _exit(kSetUpFailed);
  }
  std::fclose(statm);
  const long long page = sysconf(_SC_PAGESIZE);
  return Resident{all * page, (all - shared) * page};
}

// With no file descriptor left for its pipe, the library cannot ask about
// memory: every export says so with ERR_OUT_OF_MEMORY and changes nothing,
// and blames no bitmap. One pipe, two descriptors, serves a whole call.
TEST(CheckFootprint, NoDescriptorForThePipeIsAFailureOfResources) {
  EXPECT_CHILD_PASSES([] {
    hostsim::BitmapPtr sound = vtest::random_bitmap(40, 30, 1);
    hostsim::BitmapPtr other = vtest::random_bitmap(40, 30, 2);
    const int32_t h = hostsim::handle_of(*sound), o = hostsim::handle_of(*other);
    const std::vector<uint8_t> before = vtest::snapshot(*sound);
    std::vector<uint8_t> data(before.size());
    const auto length = static_cast<int32_t>(data.size());
    if (!take_the_pipe_way() || !leave_descriptors(1)) return kSetUpFailed;
    expect_status("GetAddress", GetAddress(h), ERR_OUT_OF_MEMORY);
    expect_status("InvertColor", InvertColor(h), ERR_OUT_OF_MEMORY);
    expect_status("BlendBlt", BlendBlt(h, 0, 0, o, 0, 0, 40, 30, BLEND_NORMAL, 255),
                  ERR_OUT_OF_MEMORY);
    expect_status("GetPixelData", GetPixelData(h, data.data(), length), ERR_OUT_OF_MEMORY);
    expect_status("ChangeSize", ChangeSize(h, 2, 2), ERR_OUT_OF_MEMORY);
    expect_true("a refused call changed the bitmap",
                hostsim::width_of(*sound) == 40 && vtest::snapshot(*sound) == before);
    if (!leave_descriptors(2)) return kSetUpFailed;
    expect_status("BlendBlt with one pipe", BlendBlt(h, 0, 0, o, 0, 0, 40, 30, BLEND_NORMAL, 255),
                  VELLORA_OK);
    expect_status("ChangeSize with one pipe", ChangeSize(h, 2, 2), VELLORA_OK);
    return g_wrong;
  });
}

// The trust in madvise is decided by madvise's answer alone: when the test
// cannot even get its page (the address space is capped), the call is
// answered through the pipe and the next call tests again, and then trusts
// madvise, which needs no descriptor.
TEST(CheckFootprint, ATrustTestThatCannotRunIsMadeAgain) {
  if (!madvise_answers_truly()) {
    GTEST_SKIP() << "madvise answers success for any page here (an emulator): it is never trusted";
  }
  EXPECT_CHILD_PASSES([] {
    hostsim::BitmapPtr sound = vtest::random_bitmap(40, 30, 3);
    const int32_t h = hostsim::handle_of(*sound);
    long long pages = 0;
    std::FILE* statm = std::fopen("/proc/self/statm", "r");
    if (statm == nullptr || std::fscanf(statm, "%lld", &pages) != 1) return kSetUpFailed;
    std::fclose(statm);
    rlimit unlimited{}, capped{};
    if (getrlimit(RLIMIT_AS, &unlimited) != 0) return kSetUpFailed;
    capped = unlimited;
    capped.rlim_cur = static_cast<rlim_t>(pages * sysconf(_SC_PAGESIZE));
    if (setrlimit(RLIMIT_AS, &capped) != 0) return kSetUpFailed;
    void* page = mmap(nullptr, kPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (page != MAP_FAILED) return kSetUpFailed;  // the cap does not hold
    expect_status("GetAddress, the address space capped", GetAddress(h),
                  static_cast<int32_t>(reinterpret_cast<uintptr_t>(hostsim::pixels_of(*sound))));
    if (setrlimit(RLIMIT_AS, &unlimited) != 0 || !leave_descriptors(0)) return kSetUpFailed;
    expect_status("InvertColor without descriptors", InvertColor(h), VELLORA_OK);
    return g_wrong;
  });
}

// A header that claims 1 GiB over a 256 MiB reservation that nothing has
// touched and that ends in a hole: the buffer is refused, and the check
// leaves no more memory resident than before, on either way of asking.
TEST(CheckFootprint, ARefusedBufferCommitsNoMemory) {
  for (const bool through_the_pipe : {false, true}) {
    SCOPED_TRACE(through_the_pipe ? "through the pipe" : "the first way the library takes");
    EXPECT_CHILD_PASSES([through_the_pipe] {
      constexpr size_t kReserved = size_t{256} << 20;
      hostsim::BitmapPtr bitmap = hostsim::make_bitmap(1, 1);
      void* reserved = mmap(nullptr, kReserved + kPage, PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | vtest::kBelow4GiB, -1, 0);
      if (reserved == MAP_FAILED) return kSetUpFailed;
      munmap(static_cast<uint8_t*>(reserved) + kReserved, kPage);  // the hole
      hostsim::set_pixels_pointer(*bitmap, reserved);
      hostsim::set_header_dimensions(*bitmap, 16384, 16384);  // 1 GiB
      const int32_t h = hostsim::handle_of(*bitmap);
      std::vector<uint8_t> data(1);
      if (through_the_pipe && !take_the_pipe_way()) return kSetUpFailed;
      InvertColor(hostsim::handle_of(*vtest::random_bitmap(4, 4, 4)));  // the code, run once
      const Resident before = resident();
      expect_status("InvertColor", InvertColor(h), ERR_BAD_PIXEL_BUFFER);
      expect_status("GetPixelData", GetPixelData(h, data.data(), 1), ERR_BAD_PIXEL_BUFFER);
      expect_status("Mosaic", Mosaic(h, 0, 0, 16384, 16384, 8, 8), ERR_BAD_PIXEL_BUFFER);
      const long long grown = resident().all - before.all;
      if (grown > (16 << 20)) {
        std::fprintf(stderr, "resident memory grew by %lld bytes\n", grown);
        ++g_wrong;
      }
      hostsim::set_pixels_pointer(*bitmap, nullptr);
      return g_wrong;
    });
  }
}

// A one-pixel Mosaic of a 16 MiB bitmap on a private file mapping copies
// the pages of its row, and not the other 4,000 pages of the buffer.
TEST(CheckFootprint, AOnePixelMosaicCopiesOnlyThePagesOfItsRow) {
  EXPECT_CHILD_PASSES([] {
    constexpr int32_t kSide = 2048;
    constexpr size_t kBytes = size_t{4} * kSide * kSide;
    char path[] = "/tmp/vellora-private-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return kSetUpFailed;
    unlink(path);
    if (ftruncate(fd, static_cast<off_t>(kBytes)) != 0) return kSetUpFailed;
    void* mapped =
        mmap(nullptr, kBytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | vtest::kBelow4GiB, fd, 0);
    close(fd);
    if (mapped == MAP_FAILED) return kSetUpFailed;
    // The same call once on the bitmap's own heap buffer first: an
    // emulator's translations of the code it runs take memory of the
    // process's own too.
    hostsim::BitmapPtr bitmap = hostsim::make_bitmap(kSide, kSide);
    Mosaic(hostsim::handle_of(*bitmap), 700, 1000, 1, 1, 1, 1);
    hostsim::set_pixels_pointer(*bitmap, mapped);
    const Resident before = resident();
    expect_status("Mosaic", Mosaic(hostsim::handle_of(*bitmap), 700, 1000, 1, 1, 1, 1), VELLORA_OK);
    const long long copied = resident().own - before.own;
    if (copied > (8 << 20)) {  // half of what a proof of the whole buffer copies
      std::fprintf(stderr, "%lld bytes of the process's own memory more\n", copied);
      ++g_wrong;
    }
    hostsim::set_pixels_pointer(*bitmap, nullptr);
    munmap(mapped, kBytes);
    return g_wrong;
  });
}

// The heap's words just before a buffer are only read by a resize, never
// written, not even with the value they hold: on i386 glibc the first of them
// is the last word of the previous allocation, whose owner may be writing it
// or, as here, may have made it read-only. The heap is laid out so that a
// page holds nothing but the previous allocation's bytes and the buffer's
// chunk header, and the buffer starts on the next page; with that page
// read-only, the resize must go ahead.
TEST(CheckFootprint, AResizeWritesNothingBeforeTheBuffer) {
  EXPECT_CHILD_PASSES([] {
    constexpr size_t kWord = sizeof(size_t);  // glibc's size field
    constexpr size_t kHeader = 2 * kWord;     // a chunk's header, before its bytes
    constexpr size_t kBufferBytes = 64;       // a chunk the thread's cache takes back
    std::vector<void*> kept;
    for (int i = 0; i < 8; ++i) kept.push_back(std::malloc(kBufferBytes));  // empties that cache
    uint8_t* buffer = nullptr;
    uint8_t* previous = nullptr;
    for (int attempt = 0; attempt < 16 && buffer == nullptr; ++attempt) {
      // Where the heap's top lies now, and a previous allocation that ends
      // one header short of the second page boundary after it.
      auto* marker = static_cast<uint8_t*>(std::malloc(16));
      kept.push_back(marker);
      const uintptr_t top =
          reinterpret_cast<uintptr_t>(marker) + malloc_usable_size(marker) - kWord;
      const uintptr_t boundary = (top + kHeader + 2 * kPage) & ~(kPage - 1);
      previous = static_cast<uint8_t*>(std::malloc(boundary - kHeader - top - kWord));
      kept.push_back(previous);
      auto* candidate = static_cast<uint8_t*>(std::malloc(kBufferBytes));
      if (reinterpret_cast<uintptr_t>(previous) == top + kHeader &&
          reinterpret_cast<uintptr_t>(candidate) == boundary) {
        buffer = candidate;
      } else {
        kept.push_back(candidate);
      }
    }
    if (buffer == nullptr) {
      std::fprintf(stderr, "the heap did not take the layout (not glibc?)\n");
      return kSkip;
    }
    hostsim::BitmapPtr bitmap = hostsim::make_bitmap(4, 4);
    hostsim::set_pixels_pointer(*bitmap, buffer);
    uint8_t* const header_page = buffer - kPage;
    if (mprotect(header_page, kPage, PROT_READ) != 0) return kSetUpFailed;
    expect_status("ChangeSize", ChangeSize(hostsim::handle_of(*bitmap), 8, 8), VELLORA_OK);
    mprotect(header_page, kPage, PROT_READ | PROT_WRITE);
    expect_true("the resize installed no new buffer", hostsim::pixels_of(*bitmap) != buffer);
    std::free(hostsim::pixels_of(*bitmap));  // the library's buffer; it freed ours
    hostsim::set_pixels_pointer(*bitmap, nullptr);
    for (void* p : kept) std::free(p);
    return g_wrong;
  });
}

}  // namespace
