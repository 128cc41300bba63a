// Memory that a mapping's flags call accessible but a touch does not reach:
// the check must prove every page it says yes to, through the exports, and
// remember nothing it did not prove. Linux only: Windows keeps such rights
// per region, which VirtualQuery reports.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "guarded_pages.h"
#include "test_support.h"
#include "vellora.h"

#if !defined(MADV_GUARD_INSTALL)
#define MADV_GUARD_INSTALL 102  // Linux 6.13
#endif

namespace {

using vtest::kPage;
using vtest::Pages;

// Whether reading a byte at `p` faults: write() from it into a pipe then
// fails with EFAULT instead of raising a signal.
bool read_faults(const uint8_t* p) {
  int ends[2];
  if (pipe(ends) != 0) return false;
  const bool faults = write(ends[1], p, 1) < 0 && errno == EFAULT;
  close(ends[0]);
  close(ends[1]);
  return faults;
}

// A guard region on one page of a read-write mapping: the mapping keeps its
// flags, and a touch of the page raises SIGSEGV. False where no guard is in
// force: a kernel before 6.13, or a user-mode emulator that answers the
// advice with success and does nothing.
bool install_guard(uint8_t* page) {
  return madvise(page, kPage, MADV_GUARD_INSTALL) == 0 && read_faults(page);
}

#define SKIP_WITHOUT_GUARD_REGIONS(page)                                                   \
  if (!install_guard(page)) {                                                              \
    GTEST_SKIP() << "skipped: no guard region is in force here (MADV_GUARD_INSTALL needs " \
                    "Linux 6.13 and a kernel that runs this program natively)";            \
  }

// 640 x 480 is 300 pages, 257 x 256 just over 64.
void expect_buffer_refused(uint8_t* pixels, int32_t width, int32_t height) {
  hostsim::BitmapPtr bitmap = hostsim::make_bitmap(width, height);
  hostsim::set_pixels_pointer(*bitmap, pixels);
  const int32_t handle = hostsim::handle_of(*bitmap);
  std::vector<uint8_t> transfer(size_t{4} * static_cast<size_t>(width * height));
  const auto length = static_cast<int32_t>(transfer.size());
  EXPECT_EQ(InvertColor(handle), ERR_BAD_PIXEL_BUFFER) << width << " x " << height;
  EXPECT_EQ(Blur(handle, 2), ERR_BAD_PIXEL_BUFFER) << width << " x " << height;
  EXPECT_EQ(GetPixelData(handle, transfer.data(), length), ERR_BAD_PIXEL_BUFFER)
      << width << " x " << height;
  hostsim::set_pixels_pointer(*bitmap, nullptr);
}

TEST(MemoryProof, LargeBufferOverAGuardRegionIsRefused) {
  Pages pages(460);
  SKIP_WITHOUT_GUARD_REGIONS(pages.page(150));
  expect_buffer_refused(pages.page(0), 640, 480);
  expect_buffer_refused(pages.page(100), 257, 256);
  // The pages around the guard still serve.
  hostsim::BitmapPtr beside = hostsim::make_bitmap(640, 480);
  hostsim::set_pixels_pointer(*beside, pages.page(151));
  EXPECT_EQ(InvertColor(hostsim::handle_of(*beside)), VELLORA_OK);
  hostsim::set_pixels_pointer(*beside, nullptr);
}

// A file one page long, mapped for 300: every page past the first lies past
// the end of the file, and a touch of it raises SIGBUS.
TEST(MemoryProof, LargeBufferOverFilePagesPastTheEndIsRefused) {
  char path[] = "/tmp/vellora-past-end-XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  unlink(path);
  ASSERT_EQ(ftruncate(fd, kPage), 0);
  void* mapped =
      mmap(nullptr, 300 * kPage, PROT_READ | PROT_WRITE, MAP_SHARED | vtest::kBelow4GiB, fd, 0);
  close(fd);
  ASSERT_NE(mapped, MAP_FAILED);
  auto* pages = static_cast<uint8_t*>(mapped);
  expect_buffer_refused(pages, 640, 480);
  // The page the file has serves.
  hostsim::BitmapPtr in_file = hostsim::make_bitmap(32, 32);
  hostsim::set_pixels_pointer(*in_file, pages);
  EXPECT_EQ(InvertColor(hostsim::handle_of(*in_file)), VELLORA_OK);
  hostsim::set_pixels_pointer(*in_file, nullptr);
  munmap(mapped, 300 * kPage);
}

// A sound destination in a mapping that also holds a guard region proves
// its own pages, and nothing else: a source handle that points into the
// guard is refused, as it is on its own.
TEST(MemoryProof, ADestinationProvesOnlyItsOwnPagesForTheSource) {
  Pages pages(600);
  SKIP_WITHOUT_GUARD_REGIONS(pages.page(450));
  hostsim::BitmapPtr destination = hostsim::make_bitmap(640, 480);
  hostsim::set_pixels_pointer(*destination, pages.page(0));
  const int32_t wild_source = hostsim::handle_at(pages.page(450) + 64);
  EXPECT_EQ(GetAddress(wild_source), ERR_NOT_BITMAP);
  EXPECT_EQ(BlendBlt(hostsim::handle_of(*destination), 0, 0, wild_source, 0, 0, 8, 8, 0, 255),
            ERR_NOT_BITMAP - ERR_SECOND_BITMAP_OFFSET);
  EXPECT_EQ(ClipMask(hostsim::handle_of(*destination), wild_source, 0, 0, 255),
            ERR_NOT_BITMAP - ERR_SECOND_BITMAP_OFFSET);
  hostsim::set_pixels_pointer(*destination, nullptr);
}

// After the main thread has exited (the leader of the thread group gone,
// the others running on), /proc/self names a thread that is gone: its
// mapping list reads empty and process_vm_readv on the process id fails.
// Sound bitmaps must still serve the threads that remain. The main thread
// leaves by the exit system call itself: pthread_exit would unwind through
// the test framework, which takes the unwinding for an exception.
hostsim::Bitmap* g_bitmaps[2];

bool main_thread_gone() {
  const int fd = open("/proc/self/maps", O_RDONLY);
  if (fd < 0) return true;
  char byte;
  const bool empty = read(fd, &byte, 1) == 0;
  close(fd);
  return empty;
}

void* use_bitmaps_after_main(void*) {
  for (int wait = 0; !main_thread_gone(); ++wait) {
    if (wait == 5000) _exit(101);  // five seconds
    usleep(1000);
  }
  int failures = 0;
  for (hostsim::Bitmap* bitmap : g_bitmaps) {
    const int32_t handle = hostsim::handle_of(*bitmap);
    std::vector<uint8_t> data(vtest::byte_count(*bitmap));
    const auto length = static_cast<int32_t>(data.size());
    failures += InvertColor(handle) != VELLORA_OK;
    failures += Blur(handle, 1) != VELLORA_OK;
    failures += GetPixelData(handle, data.data(), length) != VELLORA_OK;
  }
  failures += BlendBlt(hostsim::handle_of(*g_bitmaps[0]), 0, 0, hostsim::handle_of(*g_bitmaps[1]),
                       0, 0, 640, 480, 0, 128) != VELLORA_OK;
  _exit(failures);
}

TEST(MemoryProof, SoundBitmapsServeAThreadAfterTheMainThreadHasExited) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    g_bitmaps[0] = hostsim::create_bitmap(640, 480);  // 300 pages
    g_bitmaps[1] = hostsim::create_bitmap(16, 16);
    pthread_t worker;
    if (pthread_create(&worker, nullptr, use_bitmaps_after_main, nullptr) != 0) _exit(100);
    syscall(SYS_exit, 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "the child died of signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0)
      << "exports that failed after the main thread had exited (101: it never did)";
}

}  // namespace
