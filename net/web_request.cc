#include "net/web_request.h"

#include <cstdint>
#include <limits>
#include <utility>

#include "core/text.h"
#include "net/request_object.h"

namespace miyi {
namespace {

constexpr int kDefaultTimeoutMs = 15000;

// The header lines after the Referer line of the default header text.
constexpr char kDefaultHeaderTail[] =
    "\r\nAccept-Language: zh-cn"
    "\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1)"
    "\r\nAccept: image/jpeg, application/x-ms-application, image/gif, application/xaml+xml, "
    "image/pjpeg, application/x-ms-xbap, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*"
    "\r\nContent-Type: application/x-www-form-urlencoded";

RequestObjectFactory& factory_slot() {
  static RequestObjectFactory factory;
  return factory;
}

std::unique_ptr<RequestObject> create_request_object() {
  try {
    const RequestObjectFactory& factory = factory_slot();
    return factory ? factory() : make_platform_request_object();
  } catch (...) {
    return nullptr;
  }
}

// Runs one operation on the request object. A failure, thrown or reported,
// leaves `result` as it was, which the callers set to the empty value first.
template <class Operation>
void attempt(Operation&& operation) {
  try {
    std::forward<Operation>(operation)();
  } catch (...) {
  }
}

// Milliseconds per phase, or -1 when the object keeps its own defaults.
int timeout_ms(int timeout_seconds) {
  if (timeout_seconds == 1) return -1;
  if (timeout_seconds <= 0) return kDefaultTimeoutMs;
  const std::int64_t ms = std::int64_t{timeout_seconds} * 1000;
  return ms > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max()
                                              : static_cast<int>(ms);
}

// One request header line: the name is the piece before the first ":", the
// value the remaining pieces joined by ":" again. A line that splits into a
// single piece ("X-Empty:") has no value and is skipped.
void apply_header_line(RequestObject& object, const Text& line) {
  const TextList pieces = text_split(line, ":");
  if (pieces.size() < 2) return;
  Text value = pieces[1];
  for (std::size_t i = 2; i < pieces.size(); ++i) value = text_concat(value, ":", pieces[i]);
  attempt([&] { object.set_request_header(pieces[0], value); });
}

void apply_request_headers(RequestObject& object, const Text& headers) {
  if (text_find(headers, "\r\n") != -1) {
    for (const Text& line : text_split(headers, "\r\n")) {
      if (text_find(line, ":") != -1) apply_header_line(object, line);
    }
  } else if (text_find(headers, ":") != -1) {
    apply_header_line(object, headers);
  }
}

// Picks the redirect target and the cookies out of the response header text.
void read_response_headers(const Text& response_headers, Text& location, Text& returned_cookies) {
  for (const Text& line : text_split(response_headers, "\r\n")) {
    if (text_find(line, "Location:") != -1) {
      location = text_trim(text_replace(line, "Location:", "", 0, 1, true));
    }
    if (text_find(line, "Set-Cookie") != -1 && !text_between(line, "=", ";", 0).empty()) {
      if (!returned_cookies.empty()) returned_cookies += "; ";
      returned_cookies += text_trim(text_between(line, "Set-Cookie:", ";", 0));
    }
  }
  if (location.empty()) location = response_headers;
}

Bytes run_request(const Text& url, Text& method, const Text& post_text, const Text& cookies,
                  Text& returned_cookies, Text& headers, Text& location, bool no_redirect,
                  const Text& proxy, const Text& proxy_user, const Text& proxy_password,
                  int timeout_seconds, Text& returned_headers, const Bytes& post_bytes) {
  // Released before returning on every path, and with it whatever the
  // platform set up around it.
  const std::unique_ptr<RequestObject> object = create_request_object();
  if (!object) return Bytes();

  method = text_upper(method);
  if (method.empty()) method = "GET";

  if (const int ms = timeout_ms(timeout_seconds); ms != -1) {
    attempt([&] { object->set_timeouts(ms, ms, ms, ms); });
  }

  if (!proxy.empty()) {
    attempt([&] { object->set_proxy(kProxySettingNamed, proxy); });
    if (!proxy_user.empty()) {
      attempt([&] { object->set_proxy_credentials(proxy_user, proxy_password); });
    }
  }

  attempt([&] { object->open(method, url, false); });

  if (no_redirect) attempt([&] { object->set_option(kOptionEnableRedirects, 0); });

  if (headers.empty()) headers = default_request_headers(url);
  if (!cookies.empty()) attempt([&] { object->set_request_header("Cookie", cookies); });
  apply_request_headers(*object, headers);

  if (!post_bytes.empty()) {
    attempt([&] { object->send(post_bytes); });
  } else {
    attempt([&] { object->send(post_text); });
  }

  Bytes body;
  attempt([&] { body = object->response_body(); });

  Text response_headers;
  attempt([&] { response_headers = object->all_response_headers(); });
  returned_headers = response_headers;

  read_response_headers(returned_headers, location, returned_cookies);
  return body;
}

}  // namespace

Text default_request_headers(const Text& url) {
  return text_concat("Referer: ", url, kDefaultHeaderTail);
}

Bytes web_request(const Text& url, Text* method, const Text& post_text, const Text& cookies,
                  Text* returned_cookies, Text* headers, Text* location, bool no_redirect,
                  const Text& proxy, const Text& proxy_user, const Text& proxy_password,
                  int timeout_seconds, Text* returned_headers, const Bytes& post_bytes) noexcept {
  try {
    // Omitted variables are stand-ins that start empty and are dropped.
    Text omitted_method, omitted_returned_cookies, omitted_headers, omitted_location,
        omitted_returned_headers;
    return run_request(url, method ? *method : omitted_method, post_text, cookies,
                       returned_cookies ? *returned_cookies : omitted_returned_cookies,
                       headers ? *headers : omitted_headers,
                       location ? *location : omitted_location, no_redirect, proxy, proxy_user,
                       proxy_password, timeout_seconds,
                       returned_headers ? *returned_headers : omitted_returned_headers,
                       post_bytes);
  } catch (...) {
    // Only running out of memory gets here; the host must never see it.
    return Bytes();
  }
}

RequestObjectFactory swap_request_object_factory(RequestObjectFactory factory) {
  return std::exchange(factory_slot(), std::move(factory));
}

}  // namespace miyi
