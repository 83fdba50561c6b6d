// A small HTTP/1.1 server on 127.0.0.1 for the network tests.
//
// It listens on a port that the system picks, serves each connection in a
// thread of its own and answers every request with whatever the test's
// handler returns, byte for byte, so a test can send malformed, stalled,
// trickled or oversized replies as easily as well-formed ones. It records
// every request it has read. The same server can act as an HTTP proxy:
// a proxied request simply arrives with an absolute URI as its target.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/loopback_socket.h"
#include "tests/thread.h"

namespace miyi::testing {

struct HttpRequest {
  std::string method;
  std::string target;   // as on the request line: a path, or an absolute URI
  std::string head;     // request line and header lines, as received
  std::string body;     // Content-Length bytes after the head

  // The value of the first header called `name` (letter case ignored),
  // exactly as sent after the colon, leading blank included.
  std::optional<std::string> header(std::string_view name) const;
};

struct HttpReply {
  std::string bytes;               // sent as they are
  int trickle_interval_ms = 0;     // > 0: one byte per interval
  std::size_t trickle_after = 0;   // bytes sent at once before trickling
  bool close_after = false;        // close the connection once sent
  bool hold_open = false;          // once sent, stay silent until the client
                                   // closes or the server stops
};

// A complete reply: the status line, the header lines and a Content-Length
// line, an empty line, the body.
std::string http_reply(std::string_view status_line, const std::vector<std::string>& header_lines,
                       std::string_view body);

class HttpServer {
 public:
  using Handler = std::function<HttpReply(const HttpRequest&)>;

  explicit HttpServer(Handler handler);
  HttpServer(const HttpServer&) = delete;
  HttpServer& operator=(const HttpServer&) = delete;
  // Stops listening, drops open connections and waits for every thread.
  ~HttpServer();

  int port() const { return port_; }
  // "127.0.0.1:port"
  std::string authority() const;
  // "http://127.0.0.1:port" followed by `path`.
  std::string url(std::string_view path = "/") const;

  // Every request read so far, in arrival order.
  std::vector<HttpRequest> requests() const;

  // How many reply bytes have been handed to the sockets so far, counted
  // before each send: once a client has read a reply through, all of its
  // bytes are counted.
  std::size_t bytes_offered() const { return bytes_offered_; }

 private:
  void accept_loop();
  void serve(SocketHandle connection);
  bool send_reply(SocketHandle connection, const HttpReply& reply);
  // Reads one request into `request`; false when the connection ends first.
  bool read_request(SocketHandle connection, std::string& pending, HttpRequest& request);

  Handler handler_;
  int port_ = 0;
  SocketHandle listener_ = kNoSocket;
  std::atomic<bool> stopping_{false};
  std::atomic<std::size_t> bytes_offered_{0};
  mutable Mutex mutex_;
  std::vector<HttpRequest> requests_;
  std::vector<Thread> connection_threads_;
  Thread accept_thread_;
};

}  // namespace miyi::testing
