#pragma once

#include "platform/tcp.h"

#include <cstdint>
#include <string>

// Raw loopback HTTP for server tests: exact bytes out, exact bytes back.
namespace vanteo::test {

// Sends `request` as is and reads until the server closes (or the time-out).
std::string rawExchange(uint16_t port, const std::string &request, int timeoutMs = 5000);

// A well-formed request with Host 127.0.0.1:port.
std::string httpGet(uint16_t port, const std::string &target);
std::string httpPost(uint16_t port, const std::string &target, const std::string &body,
		     const std::string &extraHeaders = std::string(), int timeoutMs = 5000);

// Status line's code ("200"), and the body after the blank line.
std::string statusCode(const std::string &response);
std::string bodyOf(const std::string &response);

// An open event stream: reads as events arrive.
class EventStreamClient {
public:
	explicit EventStreamClient(uint16_t port);
	~EventStreamClient();
	bool connected() const { return m_socket != platform::kInvalidSocket; }
	// Reads until the buffer holds `count` complete events ("\n\n"-ended
	// after the head) or the deadline passes; returns everything read.
	const std::string &readEvents(size_t count, int timeoutMs = 20000);
	// Everything after the 101-byte response head.
	std::string events() const;
	const std::string &raw() const { return m_buffer; }
	void close();

private:
	size_t countEvents() const;
	platform::SocketHandle m_socket = platform::kInvalidSocket;
	std::string m_buffer;
};

} // namespace vanteo::test
