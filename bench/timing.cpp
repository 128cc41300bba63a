#include "timing.h"

#include <chrono>
#include <cstring>
#include <ctime>
#include <vector>

namespace bench {

namespace {

// On Linux each timing is the thread's own processor time, so that the other
// work of a shared machine (another process on the same core) does not count
// in it; elsewhere it is the time that passed.
#if defined(__linux__)
struct Clock {
  using time_point = double;
  static time_point now() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
  }
};
double seconds(Clock::time_point a, Clock::time_point b) { return b - a; }
#else
using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}
#endif

// Runs first and second in turns, each from the pixels' first bytes
// (restored untimed), once an iteration; the iteration's time is first's.
// Adds each one's seconds to *first_seconds and *second_seconds.
void in_turns(benchmark::State& state, uint8_t* pixels, size_t bytes,
              const std::function<void()>& first, const std::function<void()>& second,
              double* first_seconds, double* second_seconds) {
  const std::vector<uint8_t> original(pixels, pixels + bytes);
  for (auto _ : state) {
    std::memcpy(pixels, original.data(), bytes);
    const Clock::time_point t0 = Clock::now();
    first();
    benchmark::ClobberMemory();
    const Clock::time_point t1 = Clock::now();

    std::memcpy(pixels, original.data(), bytes);
    const Clock::time_point t2 = Clock::now();
    second();
    benchmark::ClobberMemory();
    const Clock::time_point t3 = Clock::now();

    state.SetIterationTime(seconds(t0, t1));
    *first_seconds += seconds(t0, t1);
    *second_seconds += seconds(t2, t3);
  }
}

}  // namespace

void against_memcpy(benchmark::State& state, uint8_t* pixels, size_t bytes,
                    const std::function<void()>& op) {
  std::vector<uint8_t> copy(bytes);
  double op_seconds = 0, memcpy_seconds = 0;
  in_turns(
      state, pixels, bytes, op,
      [&] {
        std::memcpy(copy.data(), pixels, bytes);
        benchmark::DoNotOptimize(copy.data());
      },
      &op_seconds, &memcpy_seconds);
  state.counters["ratio"] = op_seconds / memcpy_seconds;
  state.SetLabel("x memcpy");
}

void against_anchor(benchmark::State& state, uint8_t* pixels, size_t bytes, int64_t pixel_count,
                    const std::function<void()>& op, const std::function<void()>& anchor) {
  double op_seconds = 0, anchor_seconds = 0;
  in_turns(state, pixels, bytes, op, anchor, &op_seconds, &anchor_seconds);
  const double per_pixel = 1e9 / static_cast<double>(state.iterations() * pixel_count);
  state.counters["ratio"] = op_seconds / anchor_seconds;
  state.counters["op_ns_per_pixel"] = op_seconds * per_pixel;
  state.counters["anchor_ns_per_pixel"] = anchor_seconds * per_pixel;
  state.SetLabel("x anchor");
}

void add(const std::string& name, std::function<void(benchmark::State&)> body) {
  benchmark::RegisterBenchmark(name.c_str(), std::move(body))
      ->UseManualTime()
      ->Unit(benchmark::kMicrosecond);
}

}  // namespace bench
