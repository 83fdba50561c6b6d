#include "core/random.h"

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/clock.h"
#include "platform/thread_value.h"

namespace miyi {
namespace {

// Each thread draws from its own state; one never seeded starts from 1. The
// platform holds each thread's value (platform/thread_value.h), which reads
// 0 for a thread that has set none: the value kept is the state with its
// lowest bit flipped, so that 0 stands for the state 1.
constexpr std::uint32_t kUnseeded = 1;
std::uint32_t state() { return platform::thread_value() ^ kUnseeded; }
void set_state(std::uint32_t value) { platform::set_thread_value(value ^ kUnseeded); }

// One offset for the whole plug-in. The host never overlaps calls; the
// atomic only keeps a host that does from undefined behaviour.
std::atomic<std::uint32_t> seeding_offset{0};

std::uint32_t (*tick_source)() = nullptr;

std::uint32_t next_output() {
  const std::uint32_t next = state() * 214013u + 2531011u;
  set_state(next);
  return (next >> 16) & 0x7FFFu;
}

}  // namespace

void seed_random() {
  const std::uint32_t tick = tick_source ? tick_source() : platform::tick_count();
  const std::uint32_t offset = seeding_offset.load(std::memory_order_relaxed);
  const std::uint32_t seed = tick + offset;
  seeding_offset.store(offset + seed % 256u + 100u, std::memory_order_relaxed);
  set_state(seed);
}

int random_int(int lower, int upper) {
  std::int64_t lo = lower < 0 ? 0 : lower;
  std::int64_t hi = upper < 0 ? 0 : upper;
  if (lo > hi) std::swap(lo, hi);
  if (lo == hi) return static_cast<int>(lo);
  std::int64_t span = hi - lo;
  if (span > 2147483646) span = 2147483646;
  const std::uint32_t r = next_output();
  return static_cast<int>(lo + static_cast<std::int64_t>(r % static_cast<std::uint32_t>(span + 1)));
}

void set_random_state(std::uint32_t new_state) { set_state(new_state); }

std::uint32_t random_state() { return state(); }

void set_tick_source_for_testing(std::uint32_t (*tick)()) {
  tick_source = tick;
  seeding_offset.store(0, std::memory_order_relaxed);
}

std::uint32_t seeding_offset_for_testing() { return seeding_offset.load(std::memory_order_relaxed); }

}  // namespace miyi
