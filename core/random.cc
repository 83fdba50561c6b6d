#include "core/random.h"

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/clock.h"

namespace miyi {
namespace {

// Each thread draws from its own state; one never seeded starts from 1.
thread_local std::uint32_t generator_state = 1;

// One offset for the whole plug-in. The host never overlaps calls; the
// atomic only keeps a host that does from undefined behaviour.
std::atomic<std::uint32_t> seeding_offset{0};

std::uint32_t (*tick_source)() = nullptr;

std::uint32_t next_output() {
  generator_state = generator_state * 214013u + 2531011u;
  return (generator_state >> 16) & 0x7FFFu;
}

}  // namespace

void seed_random() {
  const std::uint32_t tick = tick_source ? tick_source() : platform::tick_count();
  const std::uint32_t offset = seeding_offset.load(std::memory_order_relaxed);
  const std::uint32_t seed = tick + offset;
  seeding_offset.store(offset + seed % 256u + 100u, std::memory_order_relaxed);
  generator_state = seed;
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

void set_random_state(std::uint32_t state) { generator_state = state; }

std::uint32_t random_state() { return generator_state; }

void set_tick_source_for_testing(std::uint32_t (*tick)()) {
  tick_source = tick;
  seeding_offset.store(0, std::memory_order_relaxed);
}

std::uint32_t seeding_offset_for_testing() { return seeding_offset.load(std::memory_order_relaxed); }

}  // namespace miyi
