// The POSIX request object, on libcurl's easy interface.
//
// It behaves like the request objects of the Windows platform as far as
// web_request can tell:
//
// - Timeouts. curl's connect timeout covers name resolution and connecting
//   together, so it is set to resolve + connect. Sending and receiving are
//   bounded by stall time: from the moment the connection is ready
//   (CURLOPT_PREREQFUNCTION) a progress callback measures how long nothing
//   has moved (no request body byte sent, no response header line and no
//   body data received) and aborts once that exceeds the send limit (while
//   the request body is still going out) or the receive limit (afterwards).
//   A single header line that takes longer than the limit to arrive counts
//   as a stall too. curl calls the callback about once a second while a
//   transfer is idle, so a stalled server is dropped within about a second
//   after the limit. On top of that the whole transfer is
//   capped at the sum of the four limits (CURLOPT_TIMEOUT_MS), so a server
//   that trickles one byte at a time cannot hold the caller's thread longer
//   than every phase at its limit would. Low-speed limits were not enough:
//   they count whole seconds and do not tell sending from receiving.
// - Defaults without set_timeouts: resolve 30 s, connect 60 s, send 30 s,
//   receive 30 s. The connect, send and receive values are those of the
//   Windows request object, so a request that keeps the object's defaults
//   behaves alike on both platforms; that object leaves name resolution
//   unbounded, which a plug-in must not, so it gets 30 s here.
// - Redirects are followed (at most 10, http and https only); option 6 = 0
//   turns that off, and the 3xx response is then what the caller reads.
// - No proxy unless set_proxy names one: the proxy environment variables of
//   the host process are ignored, as the plug-in reads no environment.
// - all_response_headers gives the final response's header lines, without
//   its status line, each ending in "\r\n", then one empty line.
// - The body of the final response only, cut at kMaxResponseBodyBytes. A
//   text body goes on the wire as its GBK bytes, unchanged.
// - A transfer that breaks off (a body short of its Content-Length, a
//   chunked body without its last chunk) or that promises two different
//   lengths fails: curl reports it, and what arrived is dropped.
// - A request header goes out as name ":" value, nothing added in between;
//   names that are not HTTP tokens and values with line breaks are refused.
//   Headers that curl would add of its own (Expect, a default Content-Type)
//   are not sent; Host, Content-Length and, without one from the caller,
//   "Accept: */*" are.
// - No cookie store: cookies move only through request headers.
// - The URL goes through the request objects' common rule (http_rules::
//   request_url): no fragment, "user:password@" as Basic credentials,
//   http:// when no scheme is given, and blanks, control bytes and
//   characters of 0x80 and above percent-encoded, the last as UTF-8. The
//   libcurl in use would send bytes of 0x80 and above raw, so nothing of
//   that is left to it.
// - Proxy credentials go out as Basic with the first request to the proxy,
//   of the caller's bytes, as do all header values.
#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/http_client.h"
#include "net/http_rules.h"
#include "net/request_object.h"

namespace miyi {
namespace {

using Clock = std::chrono::steady_clock;

using http_rules::kDefaultConnectMs;
using http_rules::kDefaultReceiveMs;
using http_rules::kDefaultResolveMs;
using http_rules::kDefaultSendMs;

constexpr long kMaxRedirects = 10;

struct EasyDeleter {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct HeaderListDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, HeaderListDeleter>;

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

long saturating_long(std::int64_t value) {
  return static_cast<long>(std::min<std::int64_t>(value, 0x7FFFFFFF));
}

class CurlRequestObject final : public RequestObject {
 public:
  explicit CurlRequestObject(EasyHandle easy) : easy_(std::move(easy)) {}

  bool set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override {
    if (!http_rules::timeouts_acceptable(resolve_ms, connect_ms, send_ms, receive_ms)) return false;
    resolve_ms_ = resolve_ms;
    connect_ms_ = connect_ms;
    send_ms_ = send_ms;
    receive_ms_ = receive_ms;
    return true;
  }

  bool set_proxy(int setting, const Text& server) override {
    if (!http_rules::proxy_acceptable(setting, server)) return false;
    proxy_ = server;
    return true;
  }

  bool set_proxy_credentials(const Text& user, const Text& password) override {
    if (!http_rules::credentials_acceptable(user, password)) return false;
    proxy_user_ = user;
    proxy_password_ = password;
    has_proxy_credentials_ = true;
    return true;
  }

  bool open(const Text& method, const Text& url, bool asynchronous) override {
    if (!http_rules::request_acceptable(method, url, asynchronous)) return false;
    method_ = method;
    // curl gets an absolute URL of printable ASCII and the credentials
    // apart: it would send bytes of 0x80 and above raw, and take the
    // fragment and the credentials by rules of its own.
    http_rules::RequestUrl wire = http_rules::request_url(url);
    url_ = std::move(wire.url);
    has_url_credentials_ = wire.has_credentials;
    url_user_ = std::move(wire.user);
    url_password_ = std::move(wire.password);
    opened_ = true;
    return true;
  }

  bool set_option(int index, int value) override {
    if (index != kOptionEnableRedirects) return false;
    follow_redirects_ = value != 0;
    return true;
  }

  bool set_request_header(const Text& name, const Text& value) override {
    if (!http_rules::header_acceptable(name, value)) return false;
    // curl drops a header written "name:" with nothing but blanks after
    // the colon; "name;" is its way of sending one with an empty value.
    const bool blank = value.find_first_not_of(" \t") == Text::npos;
    const std::string line = blank ? name + ";" : name + ":" + value;
    if (!append_raw_header(line.c_str())) return false;
    if (equal_ignoring_case(name, "Content-Type")) has_content_type_ = true;
    return true;
  }

  bool send(const Text& body) override { return perform(body); }

  bool send(const Bytes& body) override {
    return perform(std::string(body.begin(), body.end()));
  }

  Bytes response_body() override { return succeeded_ ? body_ : Bytes(); }

  Text all_response_headers() override { return succeeded_ ? headers_ : Text(); }

 private:
  bool perform(std::string body) {
    if (!opened_ || sent_) return false;
    sent_ = true;
    request_body_ = std::move(body);
    if (!configure()) return false;

    const CURLcode code = curl_easy_perform(easy_.get());
    succeeded_ = code == CURLE_OK || (code == CURLE_WRITE_ERROR && body_capped_);
    if (!succeeded_) {
      body_.clear();
      headers_.clear();
    }
    return succeeded_;
  }

  bool configure() {
    CURL* easy = easy_.get();
    // Suppress what curl would add of its own accord: "Expect: 100-continue"
    // would delay bodies, and a default Content-Type would be a header the
    // caller never gave.
    if (!append_raw_header("Expect:")) return false;
    if (!has_content_type_ && !append_raw_header("Content-Type:")) return false;

    const std::int64_t total_ms =
        std::int64_t{resolve_ms_} + connect_ms_ + send_ms_ + receive_ms_;
    bool ok = true;
    const auto set = [&](CURLoption option, auto value) {
      ok = ok && curl_easy_setopt(easy, option, value) == CURLE_OK;
    };
    set(CURLOPT_NOSIGNAL, 1L);
    set(CURLOPT_URL, url_.c_str());
    set(CURLOPT_PROTOCOLS_STR, "http,https");
    set(CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    set(CURLOPT_FOLLOWLOCATION, follow_redirects_ ? 1L : 0L);
    set(CURLOPT_MAXREDIRS, kMaxRedirects);
    set(CURLOPT_CONNECTTIMEOUT_MS, saturating_long(std::int64_t{resolve_ms_} + connect_ms_));
    set(CURLOPT_TIMEOUT_MS, saturating_long(total_ms));
    // An empty proxy turns the proxy environment variables off; an empty
    // no-proxy list makes a named proxy serve every host, whatever the
    // environment says.
    set(CURLOPT_PROXY, proxy_.c_str());
    if (!proxy_.empty()) {
      set(CURLOPT_NOPROXY, "");
      if (has_proxy_credentials_) {
        set(CURLOPT_PROXYUSERNAME, proxy_user_.c_str());
        set(CURLOPT_PROXYPASSWORD, proxy_password_.c_str());
      }
    }
    if (has_url_credentials_) {
      // Basic, sent with the first request (curl's default scheme), and
      // never to another host that a redirect leads to.
      set(CURLOPT_USERNAME, url_user_.c_str());
      set(CURLOPT_PASSWORD, url_password_.c_str());
    }
    set(CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    set(CURLOPT_HTTPHEADER, header_list_.get());
    set(CURLOPT_HEADERFUNCTION, &CurlRequestObject::on_header);
    set(CURLOPT_HEADERDATA, this);
    set(CURLOPT_WRITEFUNCTION, &CurlRequestObject::on_body);
    set(CURLOPT_WRITEDATA, this);
    set(CURLOPT_PREREQFUNCTION, &CurlRequestObject::on_connected);
    set(CURLOPT_PREREQDATA, this);
    set(CURLOPT_XFERINFOFUNCTION, &CurlRequestObject::on_progress);
    set(CURLOPT_XFERINFODATA, this);
    set(CURLOPT_NOPROGRESS, 0L);

    // A GET or HEAD without a body sends none at all; anything else sends
    // its body, possibly empty, with its length.
    if (request_body_.empty() && method_ == "GET") {
      set(CURLOPT_HTTPGET, 1L);
    } else if (request_body_.empty() && method_ == "HEAD") {
      set(CURLOPT_NOBODY, 1L);
    } else {
      set(CURLOPT_POST, 1L);
      set(CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(request_body_.size()));
      set(CURLOPT_POSTFIELDS, request_body_.c_str());
      if (method_ != "POST") set(CURLOPT_CUSTOMREQUEST, method_.c_str());
    }
    return ok;
  }

  bool append_raw_header(const char* line) {
    // curl_slist_append returns the list's head: the same one as before, or
    // a new one for an empty list; null means nothing was added.
    curl_slist* head = curl_slist_append(header_list_.get(), line);
    if (!head) return false;
    if (!header_list_) header_list_.reset(head);
    return true;
  }

  // A new response starts (the first one, the next one after a redirect,
  // or the real one after "100 Continue"): only the last one counts.
  void start_response() {
    headers_.clear();
    body_.clear();
    body_capped_ = false;
    in_header_block_ = true;
  }

  static size_t on_header(char* data, size_t size, size_t count, void* self_pointer) {
    auto& self = *static_cast<CurlRequestObject*>(self_pointer);
    const size_t length = size * count;
    try {
      self.last_activity_ = Clock::now();
      std::string_view line(data, length);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
      if (line.starts_with("HTTP/")) {
        self.start_response();
      } else if (!self.in_header_block_) {
        // Trailers after a chunked body are not part of the header text.
      } else if (line.empty()) {
        self.headers_ += "\r\n";
        self.in_header_block_ = false;
      } else {
        if (self.headers_.size() + line.size() + 2 > kMaxResponseHeaderBytes) return 0;
        self.headers_.append(line).append("\r\n");
      }
      return length;
    } catch (...) {
      return 0;
    }
  }

  static size_t on_body(char* data, size_t size, size_t count, void* self_pointer) {
    auto& self = *static_cast<CurlRequestObject*>(self_pointer);
    const size_t length = size * count;
    try {
      self.last_activity_ = Clock::now();
      const size_t room = kMaxResponseBodyBytes - self.body_.size();
      const size_t taken = std::min(room, length);
      self.body_.insert(self.body_.end(), data, data + taken);
      if (taken < length) self.body_capped_ = true;
      // Taking less than was offered ends the transfer.
      return taken;
    } catch (...) {
      return CURL_WRITEFUNC_ERROR;
    }
  }

  static int on_connected(void* self_pointer, char*, char*, int, int) {
    auto& self = *static_cast<CurlRequestObject*>(self_pointer);
    self.exchanging_ = true;
    self.last_activity_ = Clock::now();
    self.last_sent_ = 0;
    self.last_received_ = 0;
    return CURL_PREREQFUNC_OK;
  }

  static int on_progress(void* self_pointer, curl_off_t, curl_off_t received, curl_off_t to_send,
                         curl_off_t sent) {
    auto& self = *static_cast<CurlRequestObject*>(self_pointer);
    // Until the connection is ready the connect timeout is in charge.
    if (!self.exchanging_) return 0;
    const Clock::time_point now = Clock::now();
    if (sent != self.last_sent_ || received != self.last_received_) {
      self.last_sent_ = sent;
      self.last_received_ = received;
      self.last_activity_ = now;
    }
    const bool sending = to_send > 0 && sent < to_send;
    const auto limit = std::chrono::milliseconds(sending ? self.send_ms_ : self.receive_ms_);
    return now - self.last_activity_ > limit ? 1 : 0;
  }

  EasyHandle easy_;
  HeaderList header_list_;

  int resolve_ms_ = kDefaultResolveMs;
  int connect_ms_ = kDefaultConnectMs;
  int send_ms_ = kDefaultSendMs;
  int receive_ms_ = kDefaultReceiveMs;
  Text proxy_;
  Text proxy_user_;
  Text proxy_password_;
  bool has_proxy_credentials_ = false;
  Text method_;
  Text url_;
  bool has_url_credentials_ = false;
  Text url_user_;
  Text url_password_;
  bool opened_ = false;
  bool follow_redirects_ = true;
  bool has_content_type_ = false;
  std::string request_body_;
  bool sent_ = false;

  bool exchanging_ = false;
  Clock::time_point last_activity_;
  curl_off_t last_sent_ = 0;
  curl_off_t last_received_ = 0;

  Text headers_;
  Bytes body_;
  bool in_header_block_ = false;
  bool body_capped_ = false;
  bool succeeded_ = false;
};

}  // namespace

std::unique_ptr<RequestObject> make_platform_request_object() {
  http_client_global_init();
  EasyHandle easy(curl_easy_init());
  if (!easy) return nullptr;
  return std::make_unique<CurlRequestObject>(std::move(easy));
}

}  // namespace miyi
