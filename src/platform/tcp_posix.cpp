#include "platform/tcp.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <optional>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace vanteo::platform {

namespace {

sockaddr_in loopback(uint16_t port)
{
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_port = htons(port);
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	return addr;
}

void setTimeout(int fd, int option, int milliseconds, bool *ok)
{
	timeval tv{};
	tv.tv_sec = milliseconds / 1000;
	tv.tv_usec = (milliseconds % 1000) * 1000;
	*ok = setsockopt(fd, SOL_SOCKET, option, &tv, sizeof(tv)) == 0;
}

} // namespace

SocketHandle listenLoopback(uint16_t firstPort, int count, int backlog, uint16_t *boundPort)
{
	for (int i = 0; i < count; ++i) {
		uint16_t port = static_cast<uint16_t>(firstPort + i);
		// A fresh socket per attempt: a failed listen can leave a bound one.
		int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
		if (fd < 0)
			return kInvalidSocket;
		int one = 1;
		// Lets a restarted OBS take its port back while old connections
		// sit in TIME_WAIT; it does not allow two listeners on one port.
		setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof(one));
		sockaddr_in addr = loopback(port);
		if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) == 0 && listen(fd, backlog) == 0) {
			if (boundPort)
				*boundPort = port;
			return fd;
		}
		close(fd);
	}
	return kInvalidSocket;
}

AcceptResult acceptConnection(SocketHandle listener, int timeoutMs, SocketHandle *client, std::string *error)
{
	pollfd pfd{static_cast<int>(listener), POLLIN, 0};
	int ready = poll(&pfd, 1, timeoutMs);
	if (ready == 0 || (ready < 0 && errno == EINTR))
		return AcceptResult::Idle;
	if (ready < 0 || (pfd.revents & (POLLERR | POLLNVAL)))
		return AcceptResult::Failed;
	int fd = accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC);
	if (fd < 0) {
		const int cause = errno;
		if (cause == EINTR || cause == EAGAIN || cause == ECONNABORTED)
			return AcceptResult::Idle;
		if (cause == EMFILE || cause == ENFILE || cause == ENOBUFS || cause == ENOMEM) {
			if (error)
				*error = std::strerror(cause);
			return AcceptResult::Exhausted;
		}
		return AcceptResult::Failed;
	}
	int one = 1;
	setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
	*client = fd;
	return AcceptResult::Accepted;
}

bool setReceiveTimeout(SocketHandle s, int milliseconds)
{
	bool ok = false;
	setTimeout(static_cast<int>(s), SO_RCVTIMEO, milliseconds, &ok);
	return ok;
}

bool setSendTimeout(SocketHandle s, int milliseconds)
{
	bool ok = false;
	setTimeout(static_cast<int>(s), SO_SNDTIMEO, milliseconds, &ok);
	return ok;
}

long receiveSome(SocketHandle s, char *buffer, size_t size)
{
	for (;;) {
		ssize_t n = recv(static_cast<int>(s), buffer, size, 0);
		if (n < 0 && errno == EINTR)
			continue;
		return n < 0 ? -1 : static_cast<long>(n);
	}
}

long receiveWithin(SocketHandle s, char *buffer, size_t size, int timeoutMs)
{
	pollfd pfd{static_cast<int>(s), POLLIN, 0};
	for (;;) {
		int ready = poll(&pfd, 1, timeoutMs < 0 ? 0 : timeoutMs);
		if (ready < 0 && errno == EINTR)
			continue;
		if (ready <= 0)
			return -1;
		ssize_t n = recv(static_cast<int>(s), buffer, size, MSG_DONTWAIT);
		if (n < 0 && errno == EINTR)
			continue;
		return n < 0 ? -1 : static_cast<long>(n);
	}
}

bool sendAll(SocketHandle s, const char *data, size_t size)
{
	size_t sent = 0;
	while (sent < size) {
		// MSG_NOSIGNAL: a page that went away must not raise SIGPIPE in OBS.
		ssize_t n = send(static_cast<int>(s), data + sent, size - sent, MSG_NOSIGNAL);
		if (n < 0 && errno == EINTR)
			continue;
		if (n <= 0)
			return false;
		sent += static_cast<size_t>(n);
	}
	return true;
}

std::vector<bool> sendToAllWithin(const std::vector<SocketHandle> &sockets, const char *data, size_t size,
				  int timeoutMs)
{
	using Clock = std::chrono::steady_clock;
	// Read from the clock only when some page has no room at once.
	std::optional<Clock::time_point> deadline;
	std::vector<bool> ok(sockets.size(), false);
	std::vector<size_t> sent(sockets.size(), 0);
	std::vector<size_t> pending;
	for (size_t i = 0; i < sockets.size(); ++i)
		pending.push_back(i);
	std::vector<pollfd> fds;
	while (!pending.empty()) {
		// Each socket takes what fits now; the ones still short wait together.
		std::vector<size_t> waiting;
		for (size_t i : pending) {
			const int fd = static_cast<int>(sockets[i]);
			bool failed = false;
			while (sent[i] < size) {
				// MSG_NOSIGNAL: a page that went away must not raise
				// SIGPIPE in OBS.
				ssize_t n = send(fd, data + sent[i], size - sent[i], MSG_NOSIGNAL | MSG_DONTWAIT);
				if (n < 0 && errno == EINTR)
					continue;
				if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
					break;
				if (n <= 0) {
					failed = true;
					break;
				}
				sent[i] += static_cast<size_t>(n);
			}
			if (failed)
				continue;
			if (sent[i] == size)
				ok[i] = true;
			else
				waiting.push_back(i);
		}
		pending.swap(waiting);
		if (pending.empty())
			break;
		const Clock::time_point now = Clock::now();
		if (!deadline)
			deadline = now + std::chrono::milliseconds(timeoutMs);
		const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - now).count();
		if (left <= 0)
			break;
		fds.clear();
		for (size_t i : pending)
			fds.push_back(pollfd{static_cast<int>(sockets[i]), POLLOUT, 0});
		// The deadline is the deadline: a peer that had no room all this
		// time fails, even if room appears just after.
		const int ready = poll(fds.data(), fds.size(), static_cast<int>(left));
		if (ready == 0 || (ready < 0 && errno != EINTR))
			break;
	}
	return ok;
}

bool sendAllWithin(SocketHandle s, const char *data, size_t size, int timeoutMs)
{
	return sendToAllWithin({s}, data, size, timeoutMs)[0];
}

bool peerClosed(SocketHandle s)
{
	pollfd pfd{static_cast<int>(s), POLLIN | POLLRDHUP, 0};
	if (poll(&pfd, 1, 0) <= 0)
		return false;
	if (pfd.revents & (POLLHUP | POLLERR | POLLRDHUP | POLLNVAL))
		return true;
	char byte;
	ssize_t n = recv(static_cast<int>(s), &byte, 1, MSG_PEEK | MSG_DONTWAIT);
	return n == 0 || (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR);
}

void shutdownSocket(SocketHandle s)
{
	if (s != kInvalidSocket)
		shutdown(static_cast<int>(s), SHUT_RDWR);
}

void closeSocket(SocketHandle s)
{
	if (s != kInvalidSocket)
		close(static_cast<int>(s));
}

SocketHandle connectLoopback(uint16_t port)
{
	int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	if (fd < 0)
		return kInvalidSocket;
	sockaddr_in addr = loopback(port);
	if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
		close(fd);
		return kInvalidSocket;
	}
	return fd;
}

} // namespace vanteo::platform
