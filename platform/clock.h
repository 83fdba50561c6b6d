// The operating system's clocks. One implementation per platform, chosen by
// the build.
#pragma once

#include <cstdint>

#include "core/types.h"

namespace miyi::platform {

// Milliseconds since some fixed point (system start), cut to 32 bits: wraps
// to 0 about every 49.7 days. Never goes backwards between wraps.
std::uint32_t tick_count();

// The local wall-clock time (time zone and daylight-saving rules applied),
// fraction of a second dropped. Outside the years 100..9999 the nearest end
// of that range is given.
DateTime local_clock();

}  // namespace miyi::platform
