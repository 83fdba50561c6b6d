// One 32-bit value of each thread's own: the random generator's state.
//
// A thread_local variable would do, but in the Windows DLL it costs a TLS
// index that the compiler's runtime (emulated TLS) allocates on first use and
// never gives back: a host that unloads and reloads the plug-in runs out of
// indexes after about a thousand reloads. Here the platform holds the values
// and gives back what it took when the plug-in is unloaded.
#pragma once

#include <cstdint>

namespace miyi::platform {

// The calling thread's value; 0 for a thread that has set none.
std::uint32_t thread_value();
void set_thread_value(std::uint32_t value);

// Gives back what holding the values took from the system. Called at unload;
// every thread's value reads 0 afterwards.
void release_thread_values();

}  // namespace miyi::platform
