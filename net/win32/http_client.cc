// WinHTTP has no process-wide state for the plug-in to take or give back:
// each request object opens and closes its own session.
#include "net/http_client.h"

namespace miyi {

void http_client_global_init() noexcept {}

void http_client_global_cleanup() noexcept {}

}  // namespace miyi
