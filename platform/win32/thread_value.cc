// Each thread's value on Windows: one TLS index, taken at first use and given
// back at unload, the value held in the slot itself (no memory per thread).
#include <windows.h>

#include <atomic>

#include "platform/thread_value.h"

namespace miyi::platform {
namespace {

std::atomic<DWORD> tls_index{TLS_OUT_OF_INDEXES};
// Where the values live when the system has no index left to give: one for
// all threads, which still draws numbers, only not a sequence per thread.
std::atomic<std::uint32_t> shared_value{0};

DWORD index() {
  DWORD current = tls_index.load(std::memory_order_acquire);
  if (current != TLS_OUT_OF_INDEXES) return current;
  const DWORD fresh = TlsAlloc();
  if (fresh == TLS_OUT_OF_INDEXES) return fresh;
  // Two threads may get here at once: one index is kept, the other freed.
  if (!tls_index.compare_exchange_strong(current, fresh, std::memory_order_acq_rel)) {
    TlsFree(fresh);
    return current;
  }
  return fresh;
}

}  // namespace

std::uint32_t thread_value() {
  const DWORD slot = index();
  if (slot == TLS_OUT_OF_INDEXES) return shared_value.load(std::memory_order_relaxed);
  return static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(TlsGetValue(slot)));
}

void set_thread_value(std::uint32_t value) {
  const DWORD slot = index();
  if (slot == TLS_OUT_OF_INDEXES) {
    shared_value.store(value, std::memory_order_relaxed);
    return;
  }
  TlsSetValue(slot, reinterpret_cast<void*>(static_cast<std::uintptr_t>(value)));
}

void release_thread_values() {
  const DWORD slot = tls_index.exchange(TLS_OUT_OF_INDEXES, std::memory_order_acq_rel);
  if (slot != TLS_OUT_OF_INDEXES) TlsFree(slot);  // every thread's slot reads 0 again
  shared_value.store(0, std::memory_order_relaxed);
}

}  // namespace miyi::platform
