// What both platforms' request objects (net/posix/curl_request_object.cc,
// net/win32/winhttp_request_object.cc) check of the texts they are given,
// and the limits they keep without set_timeouts: portable rules in one
// place, so that both objects refuse and accept the same things.
#pragma once

#include <string>
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

// What a request object requests for the URL it is given; both objects
// apply these rules before their client library sees the URL, so that a URL
// reaches the server the same way from every platform:
//
// - A URL without "://" before its first '/', '?' or '#' is plain HTTP:
//   "host:port/path" is requested as "http://host:port/path".
// - The fragment ('#' and all after it) is never sent, to a proxy neither.
// - "user:password@" before the host is taken out of the URL and becomes
//   Basic credentials for the server, sent with the first request;
//   percent escapes in them are decoded.
// - Blanks, control bytes and 0x7F go out percent-encoded. The URL is
//   code page 936 (GBK) text: each character of 0x80 and above goes out as
//   its UTF-8 bytes, percent-encoded (as a client that takes URLs as
//   Unicode text sends them, and as servers for the robots' platform expect
//   them); a byte that makes no character goes out percent-encoded as it
//   is. Escapes already in the URL, and every other byte, stay as written.
struct RequestUrl {
  std::string url;  // absolute, printable ASCII only
  bool has_credentials = false;
  std::string user;      // the caller's bytes
  std::string password;  // the caller's bytes
};
RequestUrl request_url(std::string_view url);

// The value of a Basic Authorization or Proxy-Authorization header: "Basic "
// and the base64 of user ":" password, of the bytes exactly as given.
std::string basic_credentials(std::string_view user, std::string_view password);

}  // namespace miyi::http_rules
