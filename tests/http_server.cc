#include "tests/http_server.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <stdexcept>
#include <thread>

namespace miyi::testing {
namespace {

// How often waiting threads look at the stop flag.
constexpr int kPollMs = 20;

char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return lower(x) == lower(y); });
}

// The header lines of a head (request line excluded), without their CR LF.
std::vector<std::string_view> header_lines(std::string_view head) {
  std::vector<std::string_view> lines;
  std::size_t start = head.find("\r\n");
  while (start != std::string_view::npos) {
    start += 2;
    const std::size_t end = head.find("\r\n", start);
    const std::string_view line =
        head.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (!line.empty()) lines.push_back(line);
    start = end;
  }
  return lines;
}

}  // namespace

std::optional<std::string> HttpRequest::header(std::string_view name) const {
  for (const std::string_view line : header_lines(head)) {
    const std::size_t colon = line.find(':');
    if (colon != std::string_view::npos && equal_ignoring_case(line.substr(0, colon), name)) {
      return std::string(line.substr(colon + 1));
    }
  }
  return std::nullopt;
}

std::string http_reply(std::string_view status_line, const std::vector<std::string>& header_lines,
                       std::string_view body) {
  std::string reply(status_line);
  reply += "\r\n";
  for (const std::string& line : header_lines) reply.append(line).append("\r\n");
  reply += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n";
  reply += body;
  return reply;
}

HttpServer::HttpServer(Handler handler) : handler_(std::move(handler)) {
  listener_ = listen_on_loopback(port_);
  if (listener_ == kNoSocket) throw std::runtime_error("cannot listen on 127.0.0.1");
  accept_thread_ = Thread([this] { accept_loop(); });
}

HttpServer::~HttpServer() {
  stopping_ = true;
  accept_thread_.join();
  // No new connection threads appear once the accept loop has ended.
  for (Thread& thread : connection_threads_) thread.join();
  close_socket(listener_);
}

std::string HttpServer::authority() const { return "127.0.0.1:" + std::to_string(port_); }

std::string HttpServer::url(std::string_view path) const {
  return "http://" + authority() + std::string(path);
}

std::vector<HttpRequest> HttpServer::requests() const {
  const Lock lock(mutex_);
  return requests_;
}

void HttpServer::accept_loop() {
  while (!stopping_) {
    if (!wait_readable(listener_, kPollMs)) continue;
    const SocketHandle connection = accept_connection(listener_);
    if (connection == kNoSocket) continue;
    const Lock lock(mutex_);
    connection_threads_.emplace_back([this, connection] {
      serve(connection);
      close_socket(connection);
    });
  }
}

void HttpServer::serve(SocketHandle connection) {
  std::string pending;
  HttpRequest request;
  while (!stopping_ && read_request(connection, pending, request)) {
    {
      const Lock lock(mutex_);
      requests_.push_back(request);
    }
    const HttpReply reply = handler_(request);
    if (!send_reply(connection, reply)) return;
    if (reply.hold_open) {
      // Silent until the client gives up (its read gives 0) or we stop.
      char byte;
      while (!stopping_) {
        if (wait_readable(connection, kPollMs) && receive_some(connection, &byte, 1) <= 0) break;
      }
      return;
    }
    if (reply.close_after) return;
  }
}

bool HttpServer::send_reply(SocketHandle connection, const HttpReply& reply) {
  const std::string_view bytes = reply.bytes;
  const bool trickling = reply.trickle_interval_ms > 0;
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    if (stopping_) return false;
    if (!wait_writable(connection, kPollMs)) continue;
    const bool in_trickle = trickling && sent >= reply.trickle_after;
    const std::size_t step = in_trickle ? 1
                             : trickling ? reply.trickle_after - sent
                                         : bytes.size() - sent;
    const std::size_t offered = std::min(step, bytes.size() - sent);
    bytes_offered_ += offered;
    const long n = send_some(connection, bytes.data() + sent, offered);
    bytes_offered_ -= n > 0 ? offered - static_cast<std::size_t>(n) : offered;
    if (n == kSocketError) return false;
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      if (in_trickle) {
        std::this_thread::sleep_for(std::chrono::milliseconds(reply.trickle_interval_ms));
      }
    }
  }
  return true;
}

bool HttpServer::read_request(SocketHandle connection, std::string& pending,
                              HttpRequest& request) {
  std::size_t head_end = std::string::npos;
  std::size_t body_length = 0;
  char buffer[16384];
  while (!stopping_) {
    if (head_end == std::string::npos) {
      head_end = pending.find("\r\n\r\n");
      if (head_end != std::string::npos) {
        request = HttpRequest();
        request.head = pending.substr(0, head_end + 2);
        const std::size_t first_blank = request.head.find(' ');
        const std::size_t second_blank = request.head.find(' ', first_blank + 1);
        request.method = request.head.substr(0, first_blank);
        request.target = request.head.substr(first_blank + 1, second_blank - first_blank - 1);
        const std::optional<std::string> length = request.header("Content-Length");
        body_length = length ? std::strtoul(length->c_str(), nullptr, 10) : 0;
      }
    }
    if (head_end != std::string::npos && pending.size() >= head_end + 4 + body_length) {
      request.body = pending.substr(head_end + 4, body_length);
      pending.erase(0, head_end + 4 + body_length);
      return true;
    }
    if (!wait_readable(connection, kPollMs)) continue;
    const long n = receive_some(connection, buffer, sizeof buffer);
    if (n == 0 || n == kSocketError) return false;
    if (n > 0) pending.append(buffer, static_cast<std::size_t>(n));
  }
  return false;
}

}  // namespace miyi::testing
