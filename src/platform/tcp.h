#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Plain TCP sockets for the local server: loopback listening, accept with a
// wake-up tick, blocking receive and send with time-outs. A socket is an
// opaque handle; kInvalidSocket marks "none".
namespace vanteo::platform {

using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

// Binds 127.0.0.1 on the first port of [firstPort, firstPort + count) where
// bind and listen both succeed; returns the socket and stores the port, or
// kInvalidSocket when none did. The handle is not inherited by children.
SocketHandle listenLoopback(uint16_t firstPort, int count, int backlog, uint16_t *boundPort);

enum class AcceptResult { Accepted, Idle, Failed };
// Waits up to timeoutMs for a connection. Idle: nothing arrived in time.
AcceptResult acceptConnection(SocketHandle listener, int timeoutMs, SocketHandle *client);

bool setReceiveTimeout(SocketHandle s, int milliseconds);
bool setSendTimeout(SocketHandle s, int milliseconds);

// Returns the number of bytes read, 0 on orderly close, -1 on error/time-out.
long receiveSome(SocketHandle s, char *buffer, size_t size);
// Sends every byte, repeating partial sends; false when a send fails.
bool sendAll(SocketHandle s, const char *data, size_t size);

// Wakes any thread blocked on the socket without releasing the handle.
void shutdownSocket(SocketHandle s);
void closeSocket(SocketHandle s);

// Client side, for tests and tools: connects to 127.0.0.1:port.
SocketHandle connectLoopback(uint16_t port);

} // namespace vanteo::platform
