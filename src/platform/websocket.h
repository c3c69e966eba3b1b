#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

// A secure WebSocket client (wss only, certificate and host-name verified,
// SNI set; VANTEO_CA_FILE adds one trusted CA).
//
// Threads: one owning worker thread calls connect, receive and close (and
// destroys the object). Any other thread may call abort, sendText and
// sendBinary at any time, also while receive is blocked. There is no thread
// of its own: each call does its I/O on the calling thread. The object is
// reusable: connect tears down whatever it still holds.
namespace vanteo::platform {

enum class ReceiveResult {
	Message = 0, // one complete message is in the output
	Timeout = 1, // nothing arrived within the receive time-out; still connected
	Failed = 2,  // error, close frame, no connection, aborted, or message too large
};

// Time-outs; the defaults are the product's values.
struct WebSocketTimings {
	int connectMs = 20000; // each of resolve, TCP connect, TLS handshake, upgrade
	int receiveMs = 2000;  // how long one receive waits for a message
	int sendMs = 20000;    // how long one send may take
	int closeMs = 2000;    // how long close waits for the peer's close reply
};

class WebSocketClient {
public:
	static constexpr size_t kMaxMessageBytes = 0x800000; // 8 MiB

	explicit WebSocketClient(WebSocketTimings timings = WebSocketTimings());
	~WebSocketClient();
	WebSocketClient(const WebSocketClient &) = delete;
	WebSocketClient &operator=(const WebSocketClient &) = delete;

	// Opens wss://host:port/path. host is an endpoint name from
	// common/endpoints.h or a literal host; a literal "host:port" connects to
	// that port. extraHeaders: "Name: value\r\n" lines, may be empty. Only
	// the completion of the upgrade decides success. An abort from another
	// thread while connecting makes it return false.
	bool connect(const std::string &host, uint16_t port, const std::string &path,
		     const std::string &extraHeaders = std::string());

	// Waits up to the receive time-out for the next complete message
	// (fragments are assembled). When connected, messageOut is cleared and
	// isBinaryOut set to false first. A Timeout leaves the connection and
	// any partly received message intact for the next call.
	ReceiveResult receive(std::string &messageOut, bool &isBinaryOut);
	// The next message only if the reads so far hold all of it: never
	// touches the socket nor waits (Timeout when none is complete). Lets a
	// caller take the messages that came together as one batch.
	ReceiveResult receiveBuffered(std::string &messageOut, bool &isBinaryOut);

	// One whole message each; false without a connection, after abort, or
	// when the send fails or exceeds the send time-out. Frames of
	// concurrent sends never interleave.
	bool sendText(const std::string &payload);
	bool sendBinary(const std::string &payload);

	// Orderly close (close frame 1000, then everything released). Safe to
	// call repeatedly and after abort.
	void close();

	// Breaks the connection without a close frame; a receive blocked in
	// another thread returns Failed at once. Called while no connection
	// exists (before or between connects), it makes the next connect fail at
	// once instead, so that a stop never has to wait for a connect.
	void abort();

private:
	struct Connection;
	bool send(const std::string &payload, bool binary);
	ReceiveResult receiveFrom(std::string &messageOut, bool &isBinaryOut, bool wait);

	const WebSocketTimings m_timings;
	// Guards m_current: held only to publish, fetch or retire the connection,
	// never during a blocking wait, so abort always proceeds at once.
	std::mutex m_handleMutex;
	std::shared_ptr<Connection> m_current;
	bool m_abortPending = false; // under m_handleMutex: an abort found no connection
	// Serialises outgoing messages: held for the whole of one send.
	std::mutex m_sendMutex;
};

} // namespace vanteo::platform
