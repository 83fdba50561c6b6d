// The plug-in's random numbers: a linear congruential generator whose state
// belongs to the calling thread, seeded from the millisecond tick count plus
// one process-wide offset that grows at every seeding, so that two seedings
// within the same millisecond still differ.
#pragma once

#include <cstdint>

namespace miyi {

// state = tick + offset; offset += state % 256 + 100 (all wrapping).
void seed_random();

// A number between the two bounds, both included, in either order; negative
// bounds count as 0. Equal bounds give that bound without a draw. Results
// never exceed the lower bound + 32767.
int random_int(int lower, int upper);

// --- Seams for tests only. ---

// Sets the calling thread's generator state directly.
void set_random_state(std::uint32_t state);
std::uint32_t random_state();
// Replaces the tick source of seed_random (null restores the platform's) and
// resets the seeding offset to 0.
void set_tick_source_for_testing(std::uint32_t (*tick)());
std::uint32_t seeding_offset_for_testing();

}  // namespace miyi
