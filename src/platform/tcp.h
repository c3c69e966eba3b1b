#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

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

enum class AcceptResult { Accepted, Idle, Exhausted, Failed };
// Waits up to timeoutMs (-1: without limit) for a connection; shutting the
// listener down (shutdownSocket) from another thread ends the wait with
// Failed. Idle: nothing arrived in time.
// Exhausted: a connection waits but the process or system is out of
// descriptors or memory (the listener stays readable, so the caller must
// pause before trying again); `error` then names the cause.
AcceptResult acceptConnection(SocketHandle listener, int timeoutMs, SocketHandle *client, std::string *error = nullptr);

bool setReceiveTimeout(SocketHandle s, int milliseconds);
bool setSendTimeout(SocketHandle s, int milliseconds);

// Returns the number of bytes read, 0 on orderly close, -1 on error/time-out.
long receiveSome(SocketHandle s, char *buffer, size_t size);
// As receiveSome, but waits at most timeoutMs (0: only what is there).
long receiveWithin(SocketHandle s, char *buffer, size_t size, int timeoutMs);
// Sends every byte, repeating partial sends; false when a send fails.
bool sendAll(SocketHandle s, const char *data, size_t size);
// Sends every byte to every socket at once, all within one deadline of
// timeoutMs for the whole data: a peer that stops reading costs at most that
// long, however the data is split. Element i tells whether sockets[i] got
// every byte. Never blocks beyond the deadline, whatever the sockets' mode.
std::vector<bool> sendToAllWithin(const std::vector<SocketHandle> &sockets, const char *data, size_t size,
				  int timeoutMs);
bool sendAllWithin(SocketHandle s, const char *data, size_t size, int timeoutMs);

// True when the peer has closed or reset its side (without blocking). Only
// for sockets whose peer is not expected to send anything.
bool peerClosed(SocketHandle s);

// Wakes any thread blocked on the socket without releasing the handle.
void shutdownSocket(SocketHandle s);
void closeSocket(SocketHandle s);

// Client side, for tests and tools: connects to 127.0.0.1:port.
SocketHandle connectLoopback(uint16_t port);

} // namespace vanteo::platform
