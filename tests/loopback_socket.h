// The handful of socket calls that the loopback HTTP server needs, so that
// the server itself is the same on every platform: one file per platform
// (tests/posix, tests/win32) implements them. Sockets are non-blocking;
// callers wait with wait_readable / wait_writable.
#pragma once

#include <cstddef>
#include <cstdint>

namespace miyi::testing {

using SocketHandle = std::intptr_t;
inline constexpr SocketHandle kNoSocket = -1;

// Results of receive_some and send_some besides a byte count.
inline constexpr long kSocketWouldBlock = -2;
inline constexpr long kSocketError = -1;

// A socket listening on 127.0.0.1 at a port that the system picks, which is
// stored in `port`; kNoSocket on failure.
SocketHandle listen_on_loopback(int& port);

// A waiting connection, or kNoSocket when there is none.
SocketHandle accept_connection(SocketHandle listener);

// True when the socket has something to read (or the peer has closed) or
// room to write, within `timeout_ms`.
bool wait_readable(SocketHandle socket, int timeout_ms);
bool wait_writable(SocketHandle socket, int timeout_ms);

// Bytes received (more than 0), 0 when the peer has closed, or
// kSocketWouldBlock / kSocketError.
long receive_some(SocketHandle socket, char* buffer, std::size_t size);

// Bytes sent (0 or more), or kSocketWouldBlock / kSocketError. Never raises a
// signal when the peer has gone.
long send_some(SocketHandle socket, const char* data, std::size_t size);

void close_socket(SocketHandle socket);

// A loopback port on which nothing listens: bound and released at once.
int unused_loopback_port();

}  // namespace miyi::testing
