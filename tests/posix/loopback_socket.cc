// POSIX sockets for the loopback test server.
#include "tests/loopback_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace miyi::testing {
namespace {

bool make_non_blocking(int fd) {
  const int flags = fcntl(fd, F_GETFL, 0);
  return flags != -1 && fcntl(fd, F_SETFL, flags | O_NONBLOCK) != -1;
}

bool would_block() { return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR; }

bool wait_for(SocketHandle socket, short events, int timeout_ms) {
  pollfd entry{static_cast<int>(socket), events, 0};
  return poll(&entry, 1, timeout_ms) > 0;
}

sockaddr_in loopback_address(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

SocketHandle listen_on_loopback(int& port) {
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd == -1) return kNoSocket;
  sockaddr_in address = loopback_address(0);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(fd, 64) != 0 || !make_non_blocking(fd) ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    ::close(fd);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return fd;
}

SocketHandle accept_connection(SocketHandle listener) {
  const int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
  if (fd == -1) return kNoSocket;
  if (!make_non_blocking(fd)) {
    ::close(fd);
    return kNoSocket;
  }
  return fd;
}

bool wait_readable(SocketHandle socket, int timeout_ms) {
  return wait_for(socket, POLLIN, timeout_ms);
}

bool wait_writable(SocketHandle socket, int timeout_ms) {
  return wait_for(socket, POLLOUT, timeout_ms);
}

long receive_some(SocketHandle socket, char* buffer, std::size_t size) {
  const ssize_t n = recv(static_cast<int>(socket), buffer, size, 0);
  if (n >= 0) return static_cast<long>(n);
  return would_block() ? kSocketWouldBlock : kSocketError;
}

long send_some(SocketHandle socket, const char* data, std::size_t size) {
  const ssize_t n = send(static_cast<int>(socket), data, size, MSG_NOSIGNAL);
  if (n >= 0) return static_cast<long>(n);
  return would_block() ? kSocketWouldBlock : kSocketError;
}

void close_socket(SocketHandle socket) {
  if (socket != kNoSocket) ::close(static_cast<int>(socket));
}

int unused_loopback_port() {
  int port = 0;
  const SocketHandle listener = listen_on_loopback(port);
  close_socket(listener);
  return listener == kNoSocket ? 0 : port;
}

}  // namespace miyi::testing
