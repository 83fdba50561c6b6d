// The Windows request object, on the WinHTTP C API.
//
// It behaves like the libcurl object of the POSIX build as far as
// web_request can tell:
//
// - Timeouts. WinHttpSetTimeouts limits name resolution, connecting, each
//   send and each receive; the wait for the response's headers is bounded
//   by the receive limit too. On top of that the whole exchange is capped
//   at the sum of the four limits, checked between reads, so a server that
//   trickles one byte at a time cannot hold the caller's thread longer than
//   every phase at its limit would.
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
//   text body goes on the wire as its GBK bytes, unchanged; texts that
//   WinHTTP takes as UTF-16 (URL, method, header lines, proxy and
//   credentials) are converted from the ANSI code page, and the response
//   header text back to it.
// - No cookie store: cookies move only through request headers.
//
// This is the C API, not the scriptable request object, so no COM is
// needed: nothing is initialised around a request.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

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

// A response's raw header block without its status line: "Name: value"
// lines, each ending in "\r\n", then one empty line.
Text header_lines(std::wstring_view raw) {
  const auto first_break = raw.find(L"\r\n");
  if (first_break == std::wstring_view::npos) return Text();
  std::wstring_view lines = raw.substr(first_break + 2);
  // WinHTTP ends the block with one or two empty lines; exactly one is kept.
  while (lines.ends_with(L"\r\n")) lines.remove_suffix(2);
  if (lines.empty()) return Text("\r\n");
  return narrow(lines) + "\r\n\r\n";
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
    std::wstring wide_user, wide_password;
    if (!http_rules::credentials_acceptable(user, password) || !widen(user, wide_user) ||
        !widen(password, wide_password)) {
      return false;
    }
    proxy_user_ = std::move(wide_user);
    proxy_password_ = std::move(wide_password);
    has_proxy_credentials_ = true;
    return true;
  }

  bool open(const Text& method, const Text& url, bool asynchronous) override {
    if (opened_ || !http_rules::request_acceptable(method, url, asynchronous)) return false;
    std::wstring wide_url;
    if (!widen(url, wide_url) || !widen(method, method_)) return false;

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
    if (target_.empty()) target_ = L"/";
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
    std::wstring line;
    if (!widen(name + ":" + value, line)) return false;
    header_lines_ += line + L"\r\n";
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
    succeeded_ = prepare() && exchange(body);
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
    return header_lines_.empty() ||
           WinHttpAddRequestHeaders(request, header_lines_.c_str(),
                                    static_cast<DWORD>(header_lines_.size()),
                                    WINHTTP_ADDREQ_FLAG_ADD) != 0;
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
      if (!WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_PROXY, scheme, proxy_user_.c_str(),
                                 proxy_password_.c_str(), nullptr)) {
        break;
      }
      answered_proxy = true;
    }
    return read_headers() && read_body();
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
  bool past_deadline() const {
    const std::uint64_t total =
        std::uint64_t(resolve_ms_) + connect_ms_ + send_ms_ + receive_ms_;
    return GetTickCount64() - start_ > total;
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
  bool has_proxy_credentials_ = false;
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
