// Process-wide set-up of the platform's HTTP client, for the plug-in's load
// and unload routines.
//
// The plug-in is a library loaded into someone else's process, and other
// code in that process may use the same HTTP client library. These two
// calls therefore only ever add and remove the plug-in's own share of its
// global state:
//
// - POSIX (libcurl): http_client_global_init calls curl_global_init once and
//   remembers that it did; http_client_global_cleanup calls curl_global_cleanup
//   once for that init and forgets it. libcurl counts these calls and tears
//   its state down only when the last user's cleanup arrives, so another
//   user's init and cleanup in the same process are unaffected. Since
//   libcurl 7.84 both are thread-safe (libcurl reports this with the
//   CURL_VERSION_THREADSAFE feature); older versions require that no other
//   thread is inside libcurl at that moment. The first request object also
//   calls http_client_global_init, so a load routine that does not call it
//   is still correct; the unload routine must then still call the cleanup.
// - Windows (WinHTTP): nothing to do; COM is set up around each request by
//   the request object factory.
//
// Both are idempotent: a second init without a cleanup in between, or a
// cleanup without an init, does nothing. Neither throws.
#pragma once

namespace miyi {

void http_client_global_init() noexcept;
void http_client_global_cleanup() noexcept;

}  // namespace miyi
