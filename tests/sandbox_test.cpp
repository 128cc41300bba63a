// The memory check inside a sandbox that refuses, one after another, the
// system calls it asks with: each refused way hands over to the next, wild
// handles and unmapped buffers keep their codes, sound bitmaps keep working,
// and once no way is left every call fails for want of resources rather
// than trust a bitmap.
#include <gtest/gtest.h>
#include <seccomp.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <vector>

#include "guarded_pages.h"
#include "test_support.h"
#include "vellora.h"

namespace {

using vtest::PageAccess;
using vtest::Pages;

int g_failures = 0;

void expect_status(const char* stage, const char* what, int32_t got, int32_t want) {
  if (got == want) return;
  std::fprintf(stderr, "%s: %s gave %d, expected %d\n", stage, what, got, want);
  ++g_failures;
}

// Adds a filter (seccomp filters stack) that makes `syscall` fail with
// `error`, for every call or for those whose argument `index` is `value`.
bool refuse(int syscall, int error, int index = -1, scmp_datum_t value = 0) {
  scmp_filter_ctx filter = seccomp_init(SCMP_ACT_ALLOW);
  if (filter == nullptr) return false;
  const int added =
      index < 0
          ? seccomp_rule_add(filter, SCMP_ACT_ERRNO(error), syscall, 0)
          : seccomp_rule_add(filter, SCMP_ACT_ERRNO(error), syscall, 1,
                             scmp_arg_cmp{static_cast<unsigned>(index), SCMP_CMP_EQ, value, 0});
  const bool loaded = added == 0 && seccomp_load(filter) == 0;
  seccomp_release(filter);
  return loaded;
}

// Sound, wild and half-mapped bitmaps, small (a page or two) and large (300
// pages), made before any filter is installed.
struct Bitmaps {
  Pages edge{2};     // page 1 unmapped
  Pages long_{300};  // one page made read-only or unmapped below
  Pages read_only{1};
  hostsim::BitmapPtr small = vtest::random_bitmap(4, 4, 1);
  hostsim::BitmapPtr large = vtest::random_bitmap(640, 480, 2);
  hostsim::BitmapPtr straddling = hostsim::make_bitmap(4, 4);  // half on page 1
  hostsim::BitmapPtr one_bad_page = hostsim::make_bitmap(640, 480);
  hostsim::BitmapPtr on_read_only = hostsim::make_bitmap(16, 16);
  std::vector<uint8_t> transfer = std::vector<uint8_t>(640 * 480 * 4);

  Bitmaps() {
    edge.protect(1, PageAccess::kNone);
    hostsim::set_pixels_pointer(*straddling, edge.page(1) - 32);
    hostsim::set_pixels_pointer(*one_bad_page, long_.page(0));
    read_only.protect(0, PageAccess::kRead);
    hostsim::set_pixels_pointer(*on_read_only, read_only.page(0));
  }
};

// What every stage must answer while some way is left.
void expect_answers(const char* stage, Bitmaps& b) {
  using hostsim::handle_of;
  expect_status(stage, "unmapped object", GetAddress(hostsim::handle_at(b.edge.page(1))),
                ERR_NOT_BITMAP);
  expect_status(stage, "object cut off", GetAddress(hostsim::cut_off_object(b.edge.page(1) - 8)),
                ERR_NOT_BITMAP);

  for (hostsim::Bitmap* sound : {b.small.get(), b.large.get()}) {
    const vtest::Pixel before = vtest::get(*sound, 3, 2);
    expect_status(stage, "sound bitmap", InvertColor(handle_of(*sound)), VELLORA_OK);
    const vtest::Pixel after = vtest::get(*sound, 3, 2);
    if (after[0] != 255 - before[0] || after[3] != before[3]) {
      std::fprintf(stderr, "%s: a sound bitmap was not inverted\n", stage);
      ++g_failures;
    }
  }
  expect_status(stage, "straddling buffer", InvertColor(handle_of(*b.straddling)),
                ERR_BAD_PIXEL_BUFFER);

  const int32_t bad = handle_of(*b.one_bad_page);
  const int32_t length = static_cast<int32_t>(b.transfer.size());
  b.long_.protect(150, PageAccess::kRead);
  expect_status(stage, "read-only page written", InvertColor(bad), ERR_BAD_PIXEL_BUFFER);
  expect_status(stage, "read-only page read", GetPixelData(bad, b.transfer.data(), length),
                VELLORA_OK);
  b.long_.protect(150, PageAccess::kNone);
  expect_status(stage, "unmapped page read", GetPixelData(bad, b.transfer.data(), length),
                ERR_BAD_PIXEL_BUFFER);
  b.long_.protect(150, PageAccess::kReadWrite);

  const int32_t read_only = handle_of(*b.on_read_only);
  expect_status(stage, "read-only buffer written", InvertColor(read_only), ERR_BAD_PIXEL_BUFFER);
  expect_status(stage, "read-only buffer read", GetPixelData(read_only, b.transfer.data(), 1024),
                VELLORA_OK);
}

int run_sandboxed() {
  Bitmaps bitmaps;
  expect_answers("no sandbox", bitmaps);

  // Faulting pages in, as a kernel before 5.14 or a sandbox would refuse it.
  if (!refuse(SCMP_SYS(madvise), EPERM, 2, MADV_POPULATE_READ) ||
      !refuse(SCMP_SYS(madvise), EPERM, 2, MADV_POPULATE_WRITE)) {
    return 100;
  }
  expect_answers("madvise populate refused", bitmaps);

  // The ways that the check no longer asks change nothing when refused.
  if (!refuse(SCMP_SYS(process_vm_readv), EPERM)) return 100;
  if (!refuse(SCMP_SYS(open), EACCES) || !refuse(SCMP_SYS(openat), EACCES)) return 100;
  expect_answers("process_vm_readv and /proc refused too", bitmaps);

  // No pipe either: nothing can tell, so every call fails for want of
  // resources at its first record, sound or not, and blames no bitmap.
  if (!refuse(SCMP_SYS(pipe2), EPERM) || !refuse(SCMP_SYS(pipe), EPERM)) return 100;
  const char* stage = "no way left";
  expect_status(stage, "sound bitmap", InvertColor(hostsim::handle_of(*bitmaps.small)),
                ERR_OUT_OF_MEMORY);
  expect_status(stage, "large sound bitmap", GetAddress(hostsim::handle_of(*bitmaps.large)),
                ERR_OUT_OF_MEMORY);
  expect_status(stage, "unmapped object", GetAddress(hostsim::handle_at(bitmaps.edge.page(1))),
                ERR_OUT_OF_MEMORY);
  return g_failures;
}

// A filter cannot be taken back: the stages run in a child process, which
// prints each wrong answer and exits with their number (100: no filter).
TEST(Sandbox, EachRefusedWayHandsOverAndNoWayLeftRefuses) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) _exit(run_sandboxed());
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0) << "wrong answers, printed above";
}

}  // namespace
