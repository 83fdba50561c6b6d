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

// What each operation of a request object accepts. A request object refuses
// (returns false from) any call these reject, before it changes anything.
//
// Every phase limited, none unbounded: 0 means "no limit" to some clients.
bool timeouts_acceptable(int resolve_ms, int connect_ms, int send_ms, int receive_ms);
// A named proxy server.
bool proxy_acceptable(int setting, std::string_view server);
bool credentials_acceptable(std::string_view user, std::string_view password);
// The method becomes the request line's first word: anything but a token
// could smuggle further lines into the request.
bool request_acceptable(std::string_view method, std::string_view url, bool asynchronous);
bool header_acceptable(std::string_view name, std::string_view value);

}  // namespace miyi::http_rules
