// The plug-in's general HTTP routine.
//
// web_request sends one synchronous HTTP request through a fresh request
// object (net/request_object.h), returns the response body and hands back,
// through the caller's variables, the normalised method and header text, the
// raw response header text, the redirect target and the cookies that the
// response set. Nothing is kept between calls: there is no cookie store, and
// cookies travel from one call to the next only through `cookies` and
// `returned_cookies`.
//
// Nothing is ever reported and nothing is thrown: an object that cannot be
// made, an unreachable server, a timeout or any failed step leaves the
// corresponding result empty and the routine goes on. The status code is
// never looked at, so an error page's body comes back like any other.
//
// The call blocks the calling thread until the response is complete or a
// timeout has passed.
#pragma once

#include "core/types.h"

namespace miyi {

// The header text used when the caller gives none: five lines (Referer with
// the URL, Accept-Language, User-Agent, Accept, Content-Type), separated by
// "\r\n", without a line break after the last one.
Text default_request_headers(const Text& url);

// Sends one request and returns the response body, or empty Bytes.
//
// The fourteen parameters keep their fixed order. Parameters that the
// routine reads and replaces (in/out) or only replaces (out) are pointers to
// the caller's variables; a null pointer means the parameter is omitted,
// which behaves like a variable holding the empty text whose final value is
// discarded. Every parameter after `url` may be omitted, so web_request(url)
// is a plain GET with the default headers and a 15-second limit per phase.
//
//  1 url              in      handed to the request object unchanged.
//  2 method           in/out  upper-cased; empty becomes "GET".
//  3 post_text        in      body, when post_bytes is empty.
//  4 cookies          in      when not empty, one "Cookie" header, set first.
//  5 returned_cookies in/out  "name=value" of each Set-Cookie line that has a
//                             value and a ";" after it is appended, joined by
//                             "; "; never cleared.
//  6 headers          in/out  request header lines separated by "\r\n"; a
//                             line's name is what comes before its first ":",
//                             its value the rest (a single ":" ending the line
//                             is lost), neither trimmed. Lines without ":" are
//                             skipped, and so is a line whose only ":" ends it
//                             ("X-Empty:"). Empty becomes
//                             default_request_headers(url).
//  7 location         in/out  the trimmed target of the last line holding
//                             "Location:"; if still empty afterwards, the
//                             whole response header text. Never cleared.
//  8 no_redirect      in      true switches automatic redirects off.
//  9 proxy            in      when not empty, the request goes through it.
// 10 proxy_user       in      proxy credentials, used only with a proxy and
// 11 proxy_password   in      only when proxy_user is not empty.
// 12 timeout_seconds  in      1: the object's own default timeouts; 2 or
//                             more: that many seconds for each phase (capped
//                             at INT32_MAX milliseconds); 0 or less: 15 s.
// 13 returned_headers out     the response header text as the object gives
//                             it (empty when the request failed).
// 14 post_bytes       in      body, sent instead of post_text when not empty.
//
// When no request object can be made the result is empty and no variable is
// changed (method and headers are not normalised either).
Bytes web_request(const Text& url,
                  Text* method = nullptr,
                  const Text& post_text = Text(),
                  const Text& cookies = Text(),
                  Text* returned_cookies = nullptr,
                  Text* headers = nullptr,
                  Text* location = nullptr,
                  bool no_redirect = false,
                  const Text& proxy = Text(),
                  const Text& proxy_user = Text(),
                  const Text& proxy_password = Text(),
                  int timeout_seconds = 0,
                  Text* returned_headers = nullptr,
                  const Bytes& post_bytes = Bytes()) noexcept;

}  // namespace miyi
