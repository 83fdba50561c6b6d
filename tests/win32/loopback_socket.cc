// Winsock for the loopback test server.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "tests/loopback_socket.h"

namespace miyi::testing {
namespace {

SOCKET as_socket(SocketHandle handle) { return static_cast<SOCKET>(handle); }

// Winsock is started once per process and left running until the process
// ends; WSAStartup counts its calls, so other users are unaffected.
bool winsock_ready() {
  static const bool ready = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  return ready;
}

bool make_non_blocking(SOCKET socket) {
  u_long on = 1;
  return ioctlsocket(socket, FIONBIO, &on) == 0;
}

bool would_block() {
  const int error = WSAGetLastError();
  return error == WSAEWOULDBLOCK || error == WSAEINTR || error == WSAEINPROGRESS;
}

// One socket waited on for reading or writing.
bool wait_for(SocketHandle handle, bool for_writing, int timeout_ms) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(as_socket(handle), &set);
  timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  // The first argument is ignored by Winsock.
  const int ready = for_writing ? select(0, nullptr, &set, nullptr, &limit)
                                : select(0, &set, nullptr, nullptr, &limit);
  return ready > 0;
}

sockaddr_in loopback_address(int port) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

}  // namespace

SocketHandle listen_on_loopback(int& port) {
  if (!winsock_ready()) return kNoSocket;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return kNoSocket;
  // Without this, Windows lets a second socket bind the same port.
  BOOL exclusive = TRUE;
  setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&exclusive),
             sizeof exclusive);
  sockaddr_in address = loopback_address(0);
  int length = sizeof address;
  if (bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(s, 64) != 0 || !make_non_blocking(s) ||
      getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(s);
    return kNoSocket;
  }
  port = ntohs(address.sin_port);
  return static_cast<SocketHandle>(s);
}

SocketHandle accept_connection(SocketHandle listener) {
  const SOCKET s = accept(as_socket(listener), nullptr, nullptr);
  if (s == INVALID_SOCKET) return kNoSocket;
  // A socket accepted from a non-blocking listener is non-blocking too, but
  // saying so costs nothing.
  if (!make_non_blocking(s)) {
    closesocket(s);
    return kNoSocket;
  }
  return static_cast<SocketHandle>(s);
}

bool wait_readable(SocketHandle socket, int timeout_ms) { return wait_for(socket, false, timeout_ms); }

bool wait_writable(SocketHandle socket, int timeout_ms) { return wait_for(socket, true, timeout_ms); }

long receive_some(SocketHandle socket, char* buffer, std::size_t size) {
  const int wanted = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  const int n = recv(as_socket(socket), buffer, wanted, 0);
  if (n >= 0) return n;
  return would_block() ? kSocketWouldBlock : kSocketError;
}

long send_some(SocketHandle socket, const char* data, std::size_t size) {
  // Winsock raises no signal when the peer has gone.
  const int wanted = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  const int n = send(as_socket(socket), data, wanted, 0);
  if (n >= 0) return n;
  return would_block() ? kSocketWouldBlock : kSocketError;
}

void close_socket(SocketHandle socket) {
  if (socket != kNoSocket) closesocket(as_socket(socket));
}

int unused_loopback_port() {
  int port = 0;
  const SocketHandle listener = listen_on_loopback(port);
  close_socket(listener);
  return listener == kNoSocket ? 0 : port;
}

}  // namespace miyi::testing
