// Each thread's value on POSIX: a thread_local variable. The C library gives
// the shared object's thread storage back when it is unloaded.
#include "platform/thread_value.h"

namespace miyi::platform {
namespace {

thread_local std::uint32_t value = 0;

}  // namespace

std::uint32_t thread_value() { return value; }
void set_thread_value(std::uint32_t new_value) { value = new_value; }
void release_thread_values() {}

}  // namespace miyi::platform
