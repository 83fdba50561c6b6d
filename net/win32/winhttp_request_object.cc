// The Windows request object, on the WinHTTP C API.
//
// It behaves like the libcurl object of the POSIX build as far as
// web_request can tell:
//
// - Timeouts. WinHttpSetTimeouts limits name resolution, connecting, each
//   send and each receive; the wait for the response's headers is bounded
//   by the receive limit too. On top of that the whole exchange is capped
//   at the sum of the four limits, so a server that trickles one byte at a
//   time, in the header block or in the body, cannot hold the caller's
//   thread longer than every phase at its limit would: a timer of the
//   system's thread pool, armed for the length of the exchange and gone
//   before the object returns, cuts WinHTTP's limits to nothing when the
//   sum has passed, so that the next wait inside WinHTTP fails at once.
//   Some WinHTTPs (Wine's) apply the header-block limit to each receive
//   rather than to the whole block, so that limit alone does not do it.
// - Defaults without set_timeouts: resolve 30 s, connect 60 s, send 30 s,
//   receive 30 s: WinHTTP's own, except name resolution, which WinHTTP
//   leaves unbounded and a plug-in must not.
// - Redirects are followed (at most 10, WinHTTP's default policy); option
//   6 = 0 turns that off (WINHTTP_OPTION_DISABLE_FEATURE with
//   WINHTTP_DISABLE_REDIRECTS), and the 3xx response is then what the caller
//   reads.
// - No proxy unless set_proxy names one: the system's proxy settings are
//   ignored, as the plug-in reads no settings of the machine. Proxy
//   credentials answer the proxy's challenge.
// - all_response_headers gives the final response's header lines, without
//   its status line, each ending in "\r\n", then one empty line.
// - The body of the final response only, cut at kMaxResponseBodyBytes. A
//   body shorter than its Content-Length, or two Content-Length lines that
//   disagree, fail the request; a chunked body's end is WinHTTP's to check.
// - A text body goes on the wire as its GBK bytes, unchanged, and so do
//   header values (cookies and the Referer included): each byte becomes the
//   UTF-16 unit of the same value, which WinHTTP writes back out as that
//   byte. The URL goes through the request objects' common rule
//   (http_rules::request_url) and is printable ASCII by then. The proxy's
//   name and the credentials for a proxy's own challenge are converted from
//   the ANSI code page. The response header text comes back as the wire's
//   bytes where WinHTTP gives one unit per byte, else converted to the ANSI
//   code page.
// - Credentials from the URL, and proxy credentials for plain http, go out
//   as Basic with the first request, of the caller's bytes. A proxy that
//   still answers 407 (another scheme, or an https tunnel) is answered once
//   more by WinHTTP in the scheme it names, with the credentials converted
//   from the ANSI code page.
// - No cookie store: cookies move only through request headers.
//
// This is the C API, not the scriptable request object, so no COM is
// needed: nothing is initialised around a request.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/http_client.h"
#include "net/http_rules.h"
#include "net/request_object.h"

namespace miyi {
namespace {

using http_rules::kDefaultConnectMs;
using http_rules::kDefaultReceiveMs;
using http_rules::kDefaultResolveMs;
using http_rules::kDefaultSendMs;

struct InternetHandleCloser {
  void operator()(void* handle) const { WinHttpCloseHandle(handle); }
};
using InternetHandle = std::unique_ptr<void, InternetHandleCloser>;

// ANSI code page text to UTF-16; false when it is not valid in that page.
bool widen(std::string_view text, std::wstring& out) {
  out.clear();
  if (text.empty()) return true;
  const int length = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                                         static_cast<int>(text.size()), nullptr, 0);
  if (length <= 0) return false;
  out.resize(static_cast<std::size_t>(length));
  return MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text.data(),
                             static_cast<int>(text.size()), out.data(), length) == length;
}

// Each byte as the UTF-16 unit of the same value: WinHTTP writes header
// text out one byte per unit, so the caller's bytes reach the wire as they
// are.
std::wstring byte_units(std::string_view text) {
  std::wstring out;
  out.reserve(text.size());
  for (const char c : text) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
  return out;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

// A Content-Length value: decimal digits only, blanks around them allowed.
bool parse_length(std::wstring_view text, std::uint64_t& length) {
  while (!text.empty() && (text.front() == L' ' || text.front() == L'\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == L' ' || text.back() == L'\t')) text.remove_suffix(1);
  if (text.empty() || text.size() > 18) return false;
  length = 0;
  for (const wchar_t c : text) {
    if (c < L'0' || c > L'9') return false;
    length = length * 10 + static_cast<std::uint64_t>(c - L'0');
  }
  return true;
}

// Arms a one-shot timer of the system's thread pool for the lifetime of the
// object; destruction waits for a callback that is running. Without a timer
// (the system has none to give) the deadline is still checked between
// reads.
class DeadlineTimer {
 public:
  DeadlineTimer(WAITORTIMERCALLBACK callback, void* context, std::uint64_t due_ms) {
    const DWORD due = static_cast<DWORD>(std::min<std::uint64_t>(due_ms, 0xFFFFFFF0u));
    if (!CreateTimerQueueTimer(&timer_, nullptr, callback, context, due, 0, WT_EXECUTEONLYONCE)) {
      timer_ = nullptr;
    }
  }
  DeadlineTimer(const DeadlineTimer&) = delete;
  DeadlineTimer& operator=(const DeadlineTimer&) = delete;
  ~DeadlineTimer() {
    if (timer_) DeleteTimerQueueTimer(nullptr, timer_, INVALID_HANDLE_VALUE);
  }

 private:
  HANDLE timer_ = nullptr;
};

Text narrow(std::wstring_view text) {
  if (text.empty()) return Text();
  const int length = WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
  if (length <= 0) return Text();
  Text out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), length,
                      nullptr, nullptr);
  return out;
}

// Header text from WinHTTP back to bytes. A WinHTTP that hands the wire's
// bytes over one unit per byte (no unit above 0xFF) gets them back as they
// were, GBK included; other text is converted to the ANSI code page.
Text header_text_bytes(std::wstring_view text) {
  if (std::any_of(text.begin(), text.end(), [](wchar_t unit) { return unit > 0xFF; })) {
    return narrow(text);
  }
  Text out;
  out.reserve(text.size());
  for (const wchar_t unit : text) out += static_cast<char>(static_cast<unsigned char>(unit));
  return out;
}

// A response's raw header block without its status line: "Name: value"
// lines, each ending in "\r\n", then one empty line.
Text header_lines(std::wstring_view raw) {
  const auto first_break = raw.find(L"\r\n");
  if (first_break == std::wstring_view::npos) return Text();
  std::wstring_view lines = raw.substr(first_break + 2);
  // WinHTTP ends the block with one or two empty lines; exactly one is kept.
  while (lines.ends_with(L"\r\n")) lines.remove_suffix(2);
  if (lines.empty()) return Text("\r\n");
  return header_text_bytes(lines) + "\r\n\r\n";
}

class WinHttpRequestObject final : public RequestObject {
 public:
  bool set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) override {
    if (!http_rules::timeouts_acceptable(resolve_ms, connect_ms, send_ms, receive_ms)) return false;
    resolve_ms_ = resolve_ms;
    connect_ms_ = connect_ms;
    send_ms_ = send_ms;
    receive_ms_ = receive_ms;
    return true;
  }

  bool set_proxy(int setting, const Text& server) override {
    std::wstring wide;
    if (!http_rules::proxy_acceptable(setting, server) || !widen(server, wide)) return false;
    proxy_ = std::move(wide);
    return true;
  }

  bool set_proxy_credentials(const Text& user, const Text& password) override {
    if (!http_rules::credentials_acceptable(user, password)) return false;
    // The ANSI text only serves a proxy's challenge (see exchange); bytes
    // that are no text there leave it empty.
    if (!widen(user, proxy_user_) || !widen(password, proxy_password_)) {
      proxy_user_.clear();
      proxy_password_.clear();
    }
    proxy_basic_ = http_rules::basic_credentials(user, password);
    has_proxy_credentials_ = true;
    return true;
  }

  bool open(const Text& method, const Text& url, bool asynchronous) override {
    if (opened_ || !http_rules::request_acceptable(method, url, asynchronous)) return false;
    const http_rules::RequestUrl wire = http_rules::request_url(url);
    const std::wstring wide_url = byte_units(wire.url);
    method_ = byte_units(method);
    if (wire.has_credentials) url_basic_ = http_rules::basic_credentials(wire.user, wire.password);

    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wide_url.c_str(), static_cast<DWORD>(wide_url.size()), 0, &parts)) {
      return false;
    }
    if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) {
      return false;
    }
    host_.assign(parts.lpszHostName, parts.dwHostNameLength);
    target_.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
    target_.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    if (target_.empty() || target_.front() == L'?') target_.insert(0, L"/");
    head_request_ = method == "HEAD";
    secure_ = parts.nScheme == INTERNET_SCHEME_HTTPS;
    // The scheme's own port is left unnamed, so that a proxy is asked for
    // "http://host/path" rather than "http://host:80/path".
    const INTERNET_PORT scheme_port =
        secure_ ? INTERNET_DEFAULT_HTTPS_PORT : INTERNET_DEFAULT_HTTP_PORT;
    port_ = parts.nPort == scheme_port ? INTERNET_DEFAULT_PORT : parts.nPort;
    opened_ = true;
    return true;
  }

  bool set_option(int index, int value) override {
    if (index != kOptionEnableRedirects) return false;
    follow_redirects_ = value != 0;
    return true;
  }

  bool set_request_header(const Text& name, const Text& value) override {
    if (!opened_ || sent_ || !http_rules::header_acceptable(name, value)) return false;
    header_lines_ += byte_units(name + ":" + value) + L"\r\n";
    if (equal_ignoring_case(name, "Authorization")) has_authorization_ = true;
    return true;
  }

  bool send(const Text& body) override { return perform(body); }

  bool send(const Bytes& body) override {
    return perform(std::string_view(reinterpret_cast<const char*>(body.data()), body.size()));
  }

  Bytes response_body() override { return succeeded_ ? body_ : Bytes(); }

  Text all_response_headers() override { return succeeded_ ? headers_ : Text(); }

 private:
  bool perform(std::string_view body) {
    if (!opened_ || sent_) return false;
    sent_ = true;
    start_ = GetTickCount64();
    {
      const DeadlineTimer deadline(&WinHttpRequestObject::on_deadline, this, total_ms());
      succeeded_ = prepare() && exchange(body);
    }  // no callback runs past here
    if (!succeeded_) {
      body_.clear();
      headers_.clear();
    }
    // Nothing is kept: the object serves one request.
    request_.reset();
    connection_.reset();
    session_.reset();
    return succeeded_;
  }

  // The session, connection and request handles, configured.
  bool prepare() {
    // No user agent of WinHTTP's own (the caller's headers carry one) and
    // the named proxy or none: the machine's proxy settings are not read.
    const bool named = !proxy_.empty();
    session_.reset(WinHttpOpen(nullptr,
                               named ? WINHTTP_ACCESS_TYPE_NAMED_PROXY : WINHTTP_ACCESS_TYPE_NO_PROXY,
                               named ? proxy_.c_str() : WINHTTP_NO_PROXY_NAME,
                               WINHTTP_NO_PROXY_BYPASS, 0));
    if (!session_) return false;
    if (!WinHttpSetTimeouts(session_.get(), resolve_ms_, connect_ms_, send_ms_, receive_ms_)) {
      return false;
    }
    connection_.reset(WinHttpConnect(session_.get(), host_.c_str(), port_, 0));
    if (!connection_) return false;
    // The target goes out as the caller wrote it: no escaping of its own.
    request_.reset(WinHttpOpenRequest(connection_.get(), method_.c_str(), target_.c_str(), nullptr,
                                      WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                      (secure_ ? WINHTTP_FLAG_SECURE : 0) |
                                          WINHTTP_FLAG_ESCAPE_DISABLE));
    if (!request_) return false;
    request_handle_ = request_.get();

    HINTERNET request = request_.get();
    if (!WinHttpSetTimeouts(request, resolve_ms_, connect_ms_, send_ms_, receive_ms_)) return false;
    DWORD receive_response = static_cast<DWORD>(receive_ms_);
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &receive_response,
                     sizeof receive_response);  // not every WinHTTP knows it
    if (!follow_redirects_) {
      DWORD feature = WINHTTP_DISABLE_REDIRECTS;
      if (!WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &feature, sizeof feature)) {
        return false;
      }
    }
    // Credentials of our own go first; the caller's Authorization line
    // wins over the URL's.
    std::wstring lines;
    if (!url_basic_.empty() && !has_authorization_) {
      lines += L"Authorization: " + byte_units(url_basic_) + L"\r\n";
    }
    // Only where the proxy reads the request itself: through a tunnel
    // (https) the line would reach the origin server instead, so there the
    // proxy's challenge is answered by WinHTTP.
    if (!proxy_.empty() && has_proxy_credentials_ && !secure_) {
      lines += L"Proxy-Authorization: " + byte_units(proxy_basic_) + L"\r\n";
    }
    lines += header_lines_;
    return lines.empty() ||
           WinHttpAddRequestHeaders(request, lines.c_str(), static_cast<DWORD>(lines.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD) != 0;
  }

  // The deadline timer's callback, on a thread of the pool: from now on
  // every wait inside WinHTTP gives up at once.
  static void CALLBACK on_deadline(void* self_pointer, BOOLEAN) {
    auto& self = *static_cast<WinHttpRequestObject*>(self_pointer);
    self.deadline_passed_ = true;
    HINTERNET request = self.request_handle_.load();
    if (!request) return;
    WinHttpSetTimeouts(request, 1, 1, 1, 1);
    DWORD at_once = 1;
    WinHttpSetOption(request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &at_once, sizeof at_once);
  }

  bool exchange(std::string_view body) {
    HINTERNET request = request_.get();
    const DWORD length = static_cast<DWORD>(body.size());
    // A proxy that asks for credentials gets them, in the scheme it names,
    // with the request sent once more.
    for (bool answered_proxy = false;;) {
      // WinHTTP keeps the pointer only for the length of the call.
      if (!WinHttpSendRequest(request, WINHTTP_NO_ADDITIONAL_HEADERS, 0,
                              length ? const_cast<char*>(body.data()) : WINHTTP_NO_REQUEST_DATA,
                              length, length, 0) ||
          !WinHttpReceiveResponse(request, nullptr) || past_deadline()) {
        return false;
      }
      if (answered_proxy || !has_proxy_credentials_ || status() != HTTP_STATUS_PROXY_AUTH_REQ) {
        break;
      }
      DWORD schemes = 0, first = 0, target = 0;
      if (!WinHttpQueryAuthSchemes(request, &schemes, &first, &target)) break;
      const DWORD scheme = (schemes & first) ? first : (schemes & -schemes);
      // WinHTTP's own answer replaces the Basic line sent with the request.
      WinHttpAddRequestHeaders(request, L"Proxy-Authorization:", static_cast<DWORD>(-1),
                               WINHTTP_ADDREQ_FLAG_REPLACE);
      if (!WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, proxy_user_.c_str(),
                                 proxy_password_.c_str(), nullptr)) {
        break;
      }
      answered_proxy = true;
    }
    return read_headers() && read_body() && body_as_promised();
  }

  // Every value of one response header, in order.
  std::vector<std::wstring> header_values(DWORD query) {
    std::vector<std::wstring> values;
    HINTERNET request = request_.get();
    for (DWORD index = 0;;) {
      DWORD size = 0;
      const DWORD at = index;
      WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                          &size, &index);
      if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
      std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
      if (!WinHttpQueryHeaders(request, query, WINHTTP_HEADER_NAME_BY_INDEX, value.data(), &size,
                               &index) ||
          index == at) {
        break;
      }
      value.resize(size / sizeof(wchar_t));
      values.push_back(std::move(value));
    }
    return values;
  }

  // Whether the body that arrived is the one the header block promised.
  // WinHTTP ends a body quietly when the connection closes early, so the
  // length is compared here. A response without a body (to HEAD, 1xx, 204,
  // 304) and a body cut at kMaxResponseBodyBytes are as promised; a chunked
  // body's framing is WinHTTP's to check, and its Content-Length lines do
  // not count.
  bool body_as_promised() {
    const DWORD code = status();
    if (head_request_ || code / 100 == 1 || code == 204 || code == 304) return true;
    if (!header_values(WINHTTP_QUERY_TRANSFER_ENCODING).empty()) return true;
    const std::vector<std::wstring> lengths = header_values(WINHTTP_QUERY_CONTENT_LENGTH);
    if (lengths.empty()) return true;
    std::uint64_t promised = 0;
    for (std::size_t i = 0; i < lengths.size(); ++i) {
      std::uint64_t length = 0;
      if (!parse_length(lengths[i], length) || (i > 0 && length != promised)) return false;
      promised = length;
    }
    return body_.size() == std::min<std::uint64_t>(promised, kMaxResponseBodyBytes);
  }

  DWORD status() {
    DWORD code = 0, size = sizeof code;
    WinHttpQueryHeaders(request_.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &code, &size, WINHTTP_NO_HEADER_INDEX);
    return code;
  }

  bool read_headers() {
    HINTERNET request = request_.get();
    DWORD size = 0;
    WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                        WINHTTP_NO_OUTPUT_BUFFER, &size, WINHTTP_NO_HEADER_INDEX);
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return false;
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                             raw.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
      return false;
    }
    raw.resize(size / sizeof(wchar_t));
    headers_ = header_lines(raw);
    // WinHTTP takes header blocks far larger than a plug-in wants to hold.
    return headers_.size() <= kMaxResponseHeaderBytes;
  }

  bool read_body() {
    HINTERNET request = request_.get();
    char buffer[16 * 1024];
    for (;;) {
      const std::size_t room = kMaxResponseBodyBytes - body_.size();
      if (room == 0) return true;  // cut at the cap; the rest is never read
      // What has arrived, so that each read returns at once and the
      // deadline is checked between the pieces of a slow body.
      DWORD available = 0;
      if (!WinHttpQueryDataAvailable(request, &available)) return false;
      if (available == 0) return true;  // the end of the body
      if (past_deadline()) return false;
      DWORD got = 0;
      const DWORD wanted = static_cast<DWORD>(std::min({room, sizeof buffer, std::size_t{available}}));
      if (!WinHttpReadData(request, buffer, wanted, &got)) return false;
      if (got == 0) return true;
      body_.insert(body_.end(), buffer, buffer + got);
    }
  }

  // Whether the exchange has taken longer than all four phases at their
  // limits together.
  bool past_deadline() const { return deadline_passed_ || GetTickCount64() - start_ > total_ms(); }

  std::uint64_t total_ms() const {
    return std::uint64_t(resolve_ms_) + connect_ms_ + send_ms_ + receive_ms_;
  }

  InternetHandle session_;
  InternetHandle connection_;
  InternetHandle request_;

  int resolve_ms_ = kDefaultResolveMs;
  int connect_ms_ = kDefaultConnectMs;
  int send_ms_ = kDefaultSendMs;
  int receive_ms_ = kDefaultReceiveMs;
  std::wstring proxy_;
  std::wstring proxy_user_;
  std::wstring proxy_password_;
  std::string proxy_basic_;
  bool has_proxy_credentials_ = false;
  std::string url_basic_;
  bool has_authorization_ = false;
  bool head_request_ = false;
  std::wstring method_;
  std::wstring host_;
  std::wstring target_;
  INTERNET_PORT port_ = 0;
  bool secure_ = false;
  bool opened_ = false;
  bool follow_redirects_ = true;
  std::wstring header_lines_;
  bool sent_ = false;
  std::uint64_t start_ = 0;
  // Shared with the deadline timer's callback.
  std::atomic<HINTERNET> request_handle_{nullptr};
  std::atomic<bool> deadline_passed_{false};

  Text headers_;
  Bytes body_;
  bool succeeded_ = false;
};

}  // namespace

std::unique_ptr<RequestObject> make_platform_request_object() {
  // Only where WinHTTP can work at all; the handles are opened by send.
  if (!WinHttpCheckPlatform()) return nullptr;
  return std::make_unique<WinHttpRequestObject>();
}

}  // namespace miyi
