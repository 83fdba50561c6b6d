// The HTTP request object that web_request drives.
//
// web_request never speaks HTTP itself: it creates one request object per
// call, hands it the request piece by piece and reads the response back,
// exactly through the operations below and in the order that web_request
// documents. Each platform supplies one implementation (libcurl on POSIX,
// WinHTTP on Windows, picked by the build), and tests supply a recording
// fake through the factory seam at the end of this file.
//
// Every operation may fail. A failure is never an error for the caller:
// web_request takes the failed operation's result as empty (false, the empty
// text, empty Bytes) and goes on with its next step. Implementations should
// report failure through the result rather than by throwing, but web_request
// also survives an exception from any operation.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "core/types.h"

namespace miyi {

// The option index that switches automatic redirect following on (value not
// 0) or off (value 0).
inline constexpr int kOptionEnableRedirects = 6;

// The SetProxy setting that names a proxy server.
inline constexpr int kProxySettingNamed = 2;

// Every platform object stops reading a response body at this many bytes: a
// longer body is cut to this length and the transfer ends there, so that a
// hostile or broken server cannot fill the host process's memory. The
// portrait service's replies are a few hundred bytes.
inline constexpr std::size_t kMaxResponseBodyBytes = std::size_t{1} << 20;

// Likewise for the header block of one response; a longer one fails the
// request.
inline constexpr std::size_t kMaxResponseHeaderBytes = std::size_t{64} << 10;

class RequestObject {
 public:
  RequestObject() = default;
  RequestObject(const RequestObject&) = delete;
  RequestObject& operator=(const RequestObject&) = delete;
  virtual ~RequestObject() = default;

  // Limits, in milliseconds, the name resolution, the connection, each stall
  // while sending and each stall while receiving. Without this call the
  // object's own defaults apply, and those are never unbounded.
  virtual bool set_timeouts(int resolve_ms, int connect_ms, int send_ms, int receive_ms) = 0;

  // With `setting` kProxySettingNamed the request goes through `server`
  // ("host" or "host:port").
  virtual bool set_proxy(int setting, const Text& server) = 0;

  // The credentials that the proxy receives.
  virtual bool set_proxy_credentials(const Text& user, const Text& password) = 0;

  // Prepares a request; `asynchronous` false is the only mode web_request
  // uses.
  virtual bool open(const Text& method, const Text& url, bool asynchronous) = 0;

  // Writes an indexed option (see kOptionEnableRedirects).
  virtual bool set_option(int index, int value) = 0;

  // Adds one request header, sent as `name` ":" `value` with both exactly as
  // given (a leading blank in the value stays).
  virtual bool set_request_header(const Text& name, const Text& value) = 0;

  // Sends the request with a text body or a byte body and returns only when
  // the whole response has arrived, or the request has failed or timed out.
  virtual bool send(const Text& body) = 0;
  virtual bool send(const Bytes& body) = 0;

  // The response body's raw bytes, at most kMaxResponseBodyBytes of them;
  // empty when there is none or the request failed.
  virtual Bytes response_body() = 0;

  // The final response's header lines, lines separated by "\r\n"; empty when
  // the request failed.
  virtual Text all_response_headers() = 0;
};

// Makes a fresh request object, or null when none can be made. Whatever the
// platform needs around its objects belongs to the factory and to the object
// it returns, set up for one request and gone with the object. Neither of
// our objects needs any: libcurl's easy handles and the WinHTTP C API work
// without COM, so no thread's COM state is ever touched.
using RequestObjectFactory = std::function<std::unique_ptr<RequestObject>()>;

// The platform's own factory: net/posix or net/win32, chosen by the build.
std::unique_ptr<RequestObject> make_platform_request_object();

// Seam for tests: replaces the factory that web_request uses and returns the
// one it replaced. An empty function restores the platform's factory.
// REQUIRES: no web_request is running while the factory is swapped (the
// plug-in runs one command at a time and takes no locks).
RequestObjectFactory swap_request_object_factory(RequestObjectFactory factory);

// Installs a factory for the lifetime of a scope, then restores the previous
// one.
class ScopedRequestObjectFactory {
 public:
  explicit ScopedRequestObjectFactory(RequestObjectFactory factory)
      : previous_(swap_request_object_factory(std::move(factory))) {}
  ScopedRequestObjectFactory(const ScopedRequestObjectFactory&) = delete;
  ScopedRequestObjectFactory& operator=(const ScopedRequestObjectFactory&) = delete;
  ~ScopedRequestObjectFactory() { swap_request_object_factory(std::move(previous_)); }

 private:
  RequestObjectFactory previous_;
};

}  // namespace miyi
