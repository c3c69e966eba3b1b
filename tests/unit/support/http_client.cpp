#include "support/http_client.h"

#include "http/http_request.h"

#include <chrono>

namespace vanteo::test {

std::string rawExchange(uint16_t port, const std::string &request, int timeoutMs)
{
	platform::SocketHandle s = platform::connectLoopback(port);
	if (s == platform::kInvalidSocket)
		return std::string();
	platform::sendAll(s, request.data(), request.size());
	platform::setReceiveTimeout(s, timeoutMs);
	std::string out;
	char buf[8192];
	long n;
	while ((n = platform::receiveSome(s, buf, sizeof(buf))) > 0)
		out.append(buf, static_cast<size_t>(n));
	platform::closeSocket(s);
	return out;
}

std::string httpGet(uint16_t port, const std::string &target)
{
	return rawExchange(port, "GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) + "\r\n\r\n");
}

std::string httpPost(uint16_t port, const std::string &target, const std::string &body, const std::string &extraHeaders,
		     int timeoutMs)
{
	return rawExchange(port,
			   "POST " + target + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
			       "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
			       "\r\n" + extraHeaders + "\r\n" + body,
			   timeoutMs);
}

std::string statusCode(const std::string &response)
{
	size_t sp = response.find(' ');
	return sp == std::string::npos ? std::string() : response.substr(sp + 1, 3);
}

std::string bodyOf(const std::string &response)
{
	size_t end = response.find("\r\n\r\n");
	return end == std::string::npos ? std::string() : response.substr(end + 4);
}

EventStreamClient::EventStreamClient(uint16_t port)
{
	m_socket = platform::connectLoopback(port);
	if (m_socket == platform::kInvalidSocket)
		return;
	const std::string request = "GET /api/events HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
				    "\r\nAccept: text/event-stream\r\n\r\n";
	platform::sendAll(m_socket, request.data(), request.size());
	platform::setReceiveTimeout(m_socket, 50);
}

EventStreamClient::~EventStreamClient()
{
	close();
}

void EventStreamClient::close()
{
	platform::closeSocket(m_socket);
	m_socket = platform::kInvalidSocket;
}

std::string EventStreamClient::events() const
{
	return m_buffer.size() >= kEventStreamHead.size() ? m_buffer.substr(kEventStreamHead.size()) : "";
}

size_t EventStreamClient::countEvents() const
{
	std::string body = events();
	size_t count = 0;
	for (size_t pos = body.find("\n\n"); pos != std::string::npos; pos = body.find("\n\n", pos + 2))
		++count;
	return count;
}

const std::string &EventStreamClient::readEvents(size_t count, int timeoutMs)
{
	auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
	char buf[8192];
	while (countEvents() < count && std::chrono::steady_clock::now() < deadline) {
		long n = platform::receiveSome(m_socket, buf, sizeof(buf));
		if (n > 0)
			m_buffer.append(buf, static_cast<size_t>(n));
		else if (n == 0)
			break;
	}
	return m_buffer;
}

} // namespace vanteo::test
