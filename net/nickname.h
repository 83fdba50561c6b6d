// A member's nickname, as the chat network's public portrait service reports
// it for an account number.
//
// The service's host is ours to choose: the setting "头像服务" in section
// "觅异" of the puzzle store ("/觅异.ini" under the run directory), a host
// name or "host:port"; when that is missing or empty, the host the build was
// configured with (CMake cache variable MIYI_PORTRAIT_HOST). When both are
// empty no request is sent at all.
#pragma once

#include "core/types.h"

namespace miyi {

// The nickname for `account`, or the empty text when there is no host, the
// service cannot be reached, or its reply lacks the markers around the
// nickname. Sends one plain-HTTP GET to
// "http://" host "/fcg-bin/cgi_get_portrait.fcg?uins=" account, with the
// account text unchanged (not trimmed, not escaped), and blocks until it
// ends. Never throws.
Text lookup_nickname(const Text& account) noexcept;

}  // namespace miyi
