// What both platforms' request objects (net/posix/curl_request_object.cc,
// net/win32/winhttp_request_object.cc) check of the texts they are given,
// and the limits they keep without set_timeouts: portable rules in one
// place, so that both objects refuse and accept the same things.
#pragma once

#include <string_view>

namespace miyi::http_rules {

// The limits a request object keeps until set_timeouts changes them:
// resolve 30 s, connect 60 s, send 30 s, receive 30 s.
inline constexpr int kDefaultResolveMs = 30000;
inline constexpr int kDefaultConnectMs = 60000;
inline constexpr int kDefaultSendMs = 30000;
inline constexpr int kDefaultReceiveMs = 30000;

// Whether `text` is an HTTP token: what a method or a header name may
// consist of. The empty text is not one.
bool is_token(std::string_view text);

// Whether `text` holds CR, LF or NUL, which no URL, header value, proxy or
// credential may hold.
bool has_line_break_or_nul(std::string_view text);

}  // namespace miyi::http_rules
