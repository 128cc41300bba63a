// Timing an operation against memcpy of the same bytes in the same run.
#pragma once

#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace bench {

// Times `op`, which changes pixels[0 .. bytes) in place, against memcpy of
// those bytes: the counter `ratio` is op's time over memcpy's, both summed
// over the same iterations. The pixels get their first bytes back (untimed)
// before each of the two, so both start from the same cache state. The
// iteration time is op's, so the benchmark's own time is op's too.
void against_memcpy(benchmark::State& state, uint8_t* pixels, size_t bytes,
                    const std::function<void()>& op);

// Times `op` against `anchor`, what a user would pick instead, both changing
// pixels[0 .. bytes) of a bitmap of `pixel_count` pixels in place and taking
// turns from the same first bytes (restored untimed): the counter `ratio` is
// op's time over the anchor's, and `op_ns_per_pixel` and
// `anchor_ns_per_pixel` are each one's time per pixel.
void against_anchor(benchmark::State& state, uint8_t* pixels, size_t bytes, int64_t pixel_count,
                    const std::function<void()>& op, const std::function<void()>& anchor);

// Registers a benchmark timed by hand (against_memcpy), in microseconds.
void add(const std::string& name, std::function<void(benchmark::State&)> body);

}  // namespace bench
