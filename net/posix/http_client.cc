// libcurl's process-wide state, taken and given back once for the plug-in.
#include "net/http_client.h"

#include <curl/curl.h>

#include <atomic>

namespace miyi {
namespace {

// Whether the plug-in holds one of libcurl's global-init references.
std::atomic<bool> holds_global_init{false};

}  // namespace

void http_client_global_init() noexcept {
  if (holds_global_init.exchange(true)) return;
  if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) holds_global_init = false;
}

void http_client_global_cleanup() noexcept {
  if (holds_global_init.exchange(false)) curl_global_cleanup();
}

}  // namespace miyi
