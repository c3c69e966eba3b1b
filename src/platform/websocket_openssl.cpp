#include "platform/websocket.h"

#include "common/endpoints.h"
#include "common/log.h"
#include "platform/https.h"

#include <util/base.h>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <openssl/sha.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

// The client on plain sockets and OpenSSL. No thread of its own: the thread
// that waits for something does the I/O itself, so a message is read,
// decrypted and handed over on the thread that asked for it, at the cost of
// one wait and one read on the socket.
namespace vanteo::platform {

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::milliseconds;

constexpr size_t kReadChunk = 65536;
// The upgrade reply's head; Twitch's and TikTok's are under 1 KiB.
constexpr size_t kMaxReplyHead = 16384;
// Consumed input is dropped from the front of the buffer past this much.
constexpr size_t kCompactAt = 65536;
const char kAcceptGuid[] = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

enum Opcode : uint8_t {
	kContinuation = 0x0,
	kText = 0x1,
	kBinary = 0x2,
	kClose = 0x8,
	kPing = 0x9,
	kPong = 0xA,
};

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

HeaderLines parseHeaderBlock(const std::string &block)
{
	HeaderLines lines;
	for (const std::string &line : headerBlockLines(block)) {
		size_t colon = line.find(':');
		if (colon == std::string::npos || colon == 0)
			continue;
		size_t value = line.find_first_not_of(" \t", colon + 1);
		lines.emplace_back(line.substr(0, colon),
				   value == std::string::npos ? std::string() : line.substr(value));
	}
	return lines;
}

std::string lower(std::string text)
{
	for (char &c : text)
		c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
	return text;
}

std::string base64(const unsigned char *data, size_t size)
{
	std::string out(4 * ((size + 2) / 3) + 1, '\0');
	out.resize(static_cast<size_t>(
	    EVP_EncodeBlock(reinterpret_cast<unsigned char *>(&out[0]), data, static_cast<int>(size))));
	return out;
}

// RFC 6455: the server proves it read our key with base64(SHA-1(key + GUID)).
std::string acceptFor(const std::string &key)
{
	const std::string text = key + kAcceptGuid;
	unsigned char digest[SHA_DIGEST_LENGTH];
	SHA1(reinterpret_cast<const unsigned char *>(text.data()), text.size(), digest);
	return base64(digest, sizeof(digest));
}

// Whether a text message is valid UTF-8 (RFC 6455 fails the connection
// otherwise). ASCII runs are skipped eight bytes at a time.
bool validUtf8(const std::string &text)
{
	const auto *p = reinterpret_cast<const unsigned char *>(text.data());
	const unsigned char *end = p + text.size();
	while (p < end) {
		if (end - p >= 8) {
			uint64_t word;
			std::memcpy(&word, p, 8);
			if ((word & 0x8080808080808080ull) == 0) {
				p += 8;
				continue;
			}
		}
		const unsigned char c = *p;
		if (c < 0x80) {
			++p;
			continue;
		}
		size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : 2;
		if (c < 0xC2 || c > 0xF4 || end - p < static_cast<long>(length))
			return false;
		for (size_t i = 1; i < length; ++i)
			if ((p[i] & 0xC0) != 0x80)
				return false;
		// Overlong forms, surrogates and code points past U+10FFFF.
		if ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] > 0x9F) || (c == 0xF0 && p[1] < 0x90) ||
		    (c == 0xF4 && p[1] > 0x8F))
			return false;
		p += length;
	}
	return true;
}

// A name lookup that a deadline or an abort can give up on: glibc's
// asynchronous getaddrinfo, polled in 100 ms steps. A lookup that cannot be
// cancelled any more is left to finish on its own (its small record then
// stays allocated).
struct Lookup {
	std::string host, service;
	addrinfo hints{};
	gaicb request{};
};

bool lookUp(const Endpoint &target, Clock::time_point deadline, const std::atomic<bool> &aborted,
	    std::vector<sockaddr_storage> &addresses, std::vector<socklen_t> &lengths)
{
	auto *lookup = new Lookup;
	lookup->host = target.host;
	lookup->service = std::to_string(target.port);
	lookup->hints.ai_family = AF_UNSPEC;
	lookup->hints.ai_socktype = SOCK_STREAM;
	lookup->request.ar_name = lookup->host.c_str();
	lookup->request.ar_service = lookup->service.c_str();
	lookup->request.ar_request = &lookup->hints;
	gaicb *list[] = {&lookup->request};
	if (getaddrinfo_a(GAI_NOWAIT, list, 1, nullptr) != 0) {
		delete lookup;
		return false;
	}
	while (gai_error(&lookup->request) == EAI_INPROGRESS) {
		if (aborted || Clock::now() >= deadline) {
			const int cancelled = gai_cancel(&lookup->request);
			if (cancelled == EAI_CANCELED || cancelled == EAI_ALLDONE) {
				if (cancelled == EAI_ALLDONE && lookup->request.ar_result)
					freeaddrinfo(lookup->request.ar_result);
				delete lookup;
			}
			return false;
		}
		timespec tick{0, 100 * 1000 * 1000};
		const gaicb *const waiting[] = {&lookup->request};
		gai_suspend(waiting, 1, &tick);
	}
	addrinfo *results = gai_error(&lookup->request) == 0 ? lookup->request.ar_result : nullptr;
	for (addrinfo *a = results; a; a = a->ai_next) {
		if (a->ai_addrlen > sizeof(sockaddr_storage))
			continue;
		sockaddr_storage address{};
		std::memcpy(&address, a->ai_addr, a->ai_addrlen);
		addresses.push_back(address);
		lengths.push_back(a->ai_addrlen);
	}
	if (results)
		freeaddrinfo(results);
	delete lookup;
	return !addresses.empty();
}

} // namespace

// One connection attempt: a non-blocking socket, OpenSSL over two memory
// BIOs (the socket I/O stays ours: MSG_NOSIGNAL, deadlines, one read per
// wake), and the frame reader.
//
// Threads: the owner thread runs connect, receive and shutdown and alone
// touches the read state (in, message). Senders come from any thread;
// m_sendMutex in the client serialises them. Everything of OpenSSL and the
// outgoing bytes is under ioMutex, never held while waiting; a whole frame
// goes into OpenSSL under one hold, so frames never interleave. abort makes
// every wait of every thread end at once through the wake pipe. The socket
// is closed only by the destructor, when no thread uses the object.
struct WebSocketClient::Connection {
	enum class Wait { Ready, Timeout, Aborted };

	explicit Connection(const WebSocketTimings &t) : timings(t) {}
	~Connection() { release(); }
	Connection(const Connection &) = delete;
	Connection &operator=(const Connection &) = delete;

	const WebSocketTimings timings;
	int wake[2] = {-1, -1}; // abort writes to wake[1]; every wait watches wake[0]
	int fd = -1;            // set by the owner while connecting, then fixed
	std::atomic<bool> aborted{false};
	std::atomic<bool> open{false};
	std::atomic<bool> dead{false};

	// Guards ssl, ctx, its BIOs, out and the byte counts.
	std::mutex ioMutex;
	SSL_CTX *ctx = nullptr;
	SSL *ssl = nullptr;
	BIO *network = nullptr; // what came from the socket, for OpenSSL to read
	BIO *pending = nullptr; // what OpenSSL wrote, for the socket
	std::string out;        // bytes taken from `pending`, not yet sent
	uint64_t produced = 0;  // bytes ever moved into `out`
	uint64_t sent = 0;      // bytes ever sent from it
	bool sendFailed = false;

	// Owner thread only.
	std::string in; // decrypted bytes not yet parsed, from inStart
	size_t inStart = 0;
	std::string message; // the fragmented message being assembled
	bool messageBinary = false;
	bool inMessage = false;
	bool closeSent = false;
	bool socketDrained = true; // the last read left nothing behind
	char chunk[kReadChunk];

	bool init()
	{
		if (pipe2(wake, O_CLOEXEC | O_NONBLOCK) != 0) {
			wake[0] = wake[1] = -1;
			return false;
		}
		return true;
	}

	void release()
	{
		if (ssl)
			SSL_free(ssl); // frees both BIOs
		if (ctx)
			SSL_CTX_free(ctx);
		ssl = nullptr;
		ctx = nullptr;
		if (fd >= 0)
			::close(fd);
		for (int &end : wake)
			if (end >= 0)
				::close(end);
		fd = wake[0] = wake[1] = -1;
	}

	// Any thread.
	void abort()
	{
		aborted = true;
		dead = true;
		const char byte = 1;
		if (wake[1] >= 0 && ::write(wake[1], &byte, 1) < 0) {
			// The pipe already holds a byte: every wait ends anyway.
		}
	}

	// Waits until the socket is ready for `events`, the deadline passes or
	// the connection is aborted.
	Wait waitFor(short events, Clock::time_point deadline)
	{
		for (;;) {
			if (aborted)
				return Wait::Aborted;
			const auto left = std::chrono::duration_cast<Milliseconds>(deadline - Clock::now()).count();
			if (left <= 0)
				return Wait::Timeout;
			pollfd fds[2] = {{fd, events, 0}, {wake[0], POLLIN, 0}};
			const int ready = ::poll(fds, 2, static_cast<int>(std::min<long long>(left, 1 << 30)));
			if (ready < 0 && errno != EINTR)
				return Wait::Aborted;
			if (fds[1].revents)
				return Wait::Aborted;
			if (ready > 0 && fds[0].revents)
				return Wait::Ready;
		}
	}

	// Under ioMutex: moves what OpenSSL wrote into `out` and sends what the
	// socket takes now.
	void pushOutLocked()
	{
		const size_t waiting = BIO_ctrl_pending(pending);
		if (waiting > 0) {
			const size_t at = out.size();
			out.resize(at + waiting);
			const int moved = BIO_read(pending, &out[at], static_cast<int>(waiting));
			out.resize(at + static_cast<size_t>(std::max(moved, 0)));
			produced += static_cast<uint64_t>(std::max(moved, 0));
		}
		size_t done = 0;
		while (done < out.size() && !sendFailed) {
			const ssize_t n = ::send(fd, out.data() + done, out.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
			if (n > 0)
				done += static_cast<size_t>(n);
			else if (n < 0 && errno == EINTR)
				continue;
			else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
				break;
			else
				sendFailed = true;
		}
		out.erase(0, done);
		sent += done;
	}

	// Waits until the socket has taken every byte up to `target`.
	bool flushTo(uint64_t target, Clock::time_point deadline)
	{
		for (;;) {
			{
				std::lock_guard<std::mutex> lock(ioMutex);
				pushOutLocked();
				if (sendFailed)
					return false;
				if (sent >= target)
					return true;
			}
			if (waitFor(POLLOUT, deadline) != Wait::Ready)
				return false;
		}
	}

	// Reads what the socket has into OpenSSL, waiting for it first unless
	// the last read may have left some behind. False on a time-out, an
	// abort, the end of the connection or an error (`timedOut` tells).
	bool readSocket(Clock::time_point deadline, bool *timedOut = nullptr)
	{
		for (;;) {
			if (socketDrained) {
				const Wait wait = waitFor(POLLIN, deadline);
				if (wait != Wait::Ready) {
					if (timedOut)
						*timedOut = wait == Wait::Timeout;
					return false;
				}
			}
			const ssize_t n = ::recv(fd, chunk, sizeof(chunk), MSG_DONTWAIT);
			if (n > 0) {
				socketDrained = static_cast<size_t>(n) < sizeof(chunk);
				std::lock_guard<std::mutex> lock(ioMutex);
				BIO_write(network, chunk, static_cast<int>(n));
				return true;
			}
			if (n < 0 && errno == EINTR)
				continue;
			if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
				socketDrained = true;
				continue;
			}
			return false; // closed by the peer, or an error
		}
	}

	// Owner thread: decrypts what OpenSSL holds into `in`. 1: bytes were
	// added; 0: OpenSSL needs more from the socket; -1: the connection failed.
	int decryptBuffered()
	{
		int got = 0;
		int error = SSL_ERROR_WANT_READ;
		{
			std::lock_guard<std::mutex> lock(ioMutex);
			// Usually the last record was taken whole and nothing waits
			// in OpenSSL: then only the socket can bring more.
			if (SSL_has_pending(ssl) || BIO_ctrl_pending(network) > 0) {
				// SSL_get_error needs an empty error queue. It nearly always
				// is, and looking costs less than clearing all its slots.
				if (ERR_peek_error() != 0)
					ERR_clear_error();
				got = SSL_read(ssl, chunk, sizeof(chunk));
				error = got > 0 ? SSL_ERROR_NONE : SSL_get_error(ssl, got);
				// Reading may make OpenSSL answer something (a key update).
				if (BIO_ctrl_pending(pending) > 0)
					pushOutLocked();
			}
		}
		if (got > 0) {
			in.append(chunk, static_cast<size_t>(got));
			return 1;
		}
		return error == SSL_ERROR_WANT_READ ? 0 : -1;
	}

	// Owner thread: decrypts what is there into `in`; when nothing is,
	// reads the socket (waiting up to the deadline). False on a time-out
	// (`timedOut`), an abort, the end of the connection or an error.
	bool decryptMore(Clock::time_point deadline, bool *timedOut = nullptr)
	{
		for (;;) {
			const int decrypted = decryptBuffered();
			if (decrypted != 0)
				return decrypted > 0;
			if (!readSocket(deadline, timedOut))
				return false;
		}
	}

	// Any thread: one frame into OpenSSL; returns the byte count the socket
	// must reach for it to have left, or 0 when the connection is gone.
	uint64_t queueFrame(uint8_t opcode, const char *payload, size_t size)
	{
		std::string frame;
		frame.reserve(size + 14);
		frame.push_back(static_cast<char>(0x80 | opcode));
		if (size < 126) {
			frame.push_back(static_cast<char>(0x80 | size));
		} else if (size <= 0xFFFF) {
			frame.push_back(static_cast<char>(0x80 | 126));
			frame.push_back(static_cast<char>(size >> 8));
			frame.push_back(static_cast<char>(size & 0xFF));
		} else {
			frame.push_back(static_cast<char>(0x80 | 127));
			for (int shift = 56; shift >= 0; shift -= 8)
				frame.push_back(static_cast<char>((static_cast<uint64_t>(size) >> shift) & 0xFF));
		}
		// Client frames are masked with a key the network cannot predict.
		unsigned char mask[4];
		if (RAND_bytes(mask, sizeof(mask)) != 1)
			return 0;
		frame.append(reinterpret_cast<const char *>(mask), sizeof(mask));
		const size_t start = frame.size();
		frame.append(payload, size);
		for (size_t i = 0; i < size; ++i)
			frame[start + i] = static_cast<char>(frame[start + i] ^ mask[i & 3]);

		std::lock_guard<std::mutex> lock(ioMutex);
		if (!ssl || sendFailed)
			return 0;
		ERR_clear_error();
		// Memory BIOs take the whole frame at once.
		if (SSL_write(ssl, frame.data(), static_cast<int>(frame.size())) <= 0)
			return 0;
		const uint64_t target = produced + BIO_ctrl_pending(pending);
		pushOutLocked();
		return target;
	}

	bool sendFrame(uint8_t opcode, const char *payload, size_t size, Clock::time_point deadline)
	{
		const uint64_t target = queueFrame(opcode, payload, size);
		return target != 0 && flushTo(target, deadline);
	}

	// Owner thread: the next complete message from `in`, answering pings
	// and the peer's close on the way. 1: a message; 0: more input needed;
	// -1: the connection is over (a close frame, a protocol error, a message
	// over the cap).
	int nextMessage(std::string &messageOut, bool &binaryOut)
	{
		for (;;) {
			const size_t avail = in.size() - inStart;
			if (avail < 2)
				return 0;
			const auto *p = reinterpret_cast<const unsigned char *>(in.data() + inStart);
			const bool fin = p[0] & 0x80;
			const uint8_t opcode = p[0] & 0x0F;
			// No extension was agreed, and a server never masks.
			if ((p[0] & 0x70) || (p[1] & 0x80))
				return -1;
			uint64_t length = p[1] & 0x7F;
			size_t head = 2;
			if (length == 126) {
				if (avail < 4)
					return 0;
				length = (uint64_t(p[2]) << 8) | p[3];
				head = 4;
			} else if (length == 127) {
				if (avail < 10)
					return 0;
				length = 0;
				for (int i = 2; i < 10; ++i)
					length = (length << 8) | p[i];
				head = 10;
			}
			const bool control = opcode & 0x8;
			if (control) {
				if (!fin || length > 125 || (opcode != kClose && opcode != kPing && opcode != kPong))
					return -1;
			} else {
				if (opcode > kBinary || (opcode == kContinuation) != inMessage)
					return -1;
				if (length > kMaxMessageBytes - (inMessage ? message.size() : 0))
					return -1;
			}
			if (avail - head < length)
				return 0;
			const char *payload = in.data() + inStart + head;
			const size_t size = static_cast<size_t>(length);
			inStart += head + size;

			if (opcode == kPing) {
				queueFrame(kPong, payload, size);
			} else if (opcode == kClose) {
				if (!closeSent) {
					// Answer with the peer's own code, as the protocol asks.
					closeSent = true;
					queueFrame(kClose, payload, std::min<size_t>(size, 2));
				}
				return -1;
			} else if (opcode != kPong) {
				if (opcode != kContinuation) {
					inMessage = true;
					messageBinary = opcode == kBinary;
					message.clear();
				}
				if (fin && opcode != kContinuation) {
					messageOut.assign(payload,
							  size); // the usual case: one frame
				} else {
					message.append(payload, size);
					if (fin)
						messageOut.swap(message);
				}
				if (fin) {
					inMessage = false;
					message.clear();
					binaryOut = messageBinary;
					compact();
					if (!binaryOut && !validUtf8(messageOut))
						return -1;
					return 1;
				}
			}
			compact();
		}
	}

	void compact()
	{
		if (inStart == in.size()) {
			in.clear();
			inStart = 0;
		} else if (inStart > kCompactAt) {
			in.erase(0, inStart);
			inStart = 0;
		}
	}

	// Owner thread. Without `wait`, only what was read before is looked at.
	ReceiveResult receive(std::string &messageOut, bool &binaryOut, bool wait)
	{
		// Read from the clock only once a wait is due: most receives of a
		// busy chat find their message already read.
		std::optional<Clock::time_point> deadline;
		for (;;) {
			if (aborted || dead)
				return ReceiveResult::Failed;
			const int parsed = nextMessage(messageOut, binaryOut);
			if (parsed > 0)
				return ReceiveResult::Message;
			if (parsed < 0) {
				messageOut.clear();
				binaryOut = false;
				dead = true;
				return ReceiveResult::Failed;
			}
			if (!wait) {
				const int decrypted = decryptBuffered();
				if (decrypted > 0)
					continue;
				if (decrypted == 0)
					return ReceiveResult::Timeout;
				dead = true;
				return ReceiveResult::Failed;
			}
			if (!deadline)
				deadline = Clock::now() + Milliseconds(timings.receiveMs);
			bool timedOut = false;
			if (!decryptMore(*deadline, &timedOut)) {
				if (timedOut && !aborted)
					return ReceiveResult::Timeout;
				dead = true;
				return ReceiveResult::Failed;
			}
		}
	}

	// Owner thread: resolve, TCP connect, TLS handshake, upgrade; each step
	// under its own deadline.
	bool connect(const Endpoint &target, const std::string &path, const std::string &extraHeaders)
	{
		return connectTcp(target) && startTls(target) && upgrade(target, path, extraHeaders);
	}

	bool connectTcp(const Endpoint &target)
	{
		const Clock::time_point deadline = Clock::now() + Milliseconds(timings.connectMs);
		std::vector<sockaddr_storage> addresses;
		std::vector<socklen_t> lengths;
		sockaddr_storage literal{};
		auto *v4 = reinterpret_cast<sockaddr_in *>(&literal);
		auto *v6 = reinterpret_cast<sockaddr_in6 *>(&literal);
		if (inet_pton(AF_INET, target.host.c_str(), &v4->sin_addr) == 1) {
			v4->sin_family = AF_INET;
			v4->sin_port = htons(target.port);
			addresses.push_back(literal);
			lengths.push_back(sizeof(sockaddr_in));
		} else if (inet_pton(AF_INET6, target.host.c_str(), &v6->sin6_addr) == 1) {
			v6->sin6_family = AF_INET6;
			v6->sin6_port = htons(target.port);
			addresses.push_back(literal);
			lengths.push_back(sizeof(sockaddr_in6));
		} else if (!lookUp(target, deadline, aborted, addresses, lengths)) {
			return false;
		}
		for (size_t i = 0; i < addresses.size(); ++i) {
			const int s = ::socket(addresses[i].ss_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
			if (s < 0)
				continue;
			const int one = 1;
			setsockopt(s, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
			fd = s;
			if (::connect(s, reinterpret_cast<const sockaddr *>(&addresses[i]), lengths[i]) == 0)
				return true;
			if (errno == EINPROGRESS) {
				const Wait wait = waitFor(POLLOUT, deadline);
				int error = 0;
				socklen_t size = sizeof(error);
				if (wait == Wait::Ready && getsockopt(s, SOL_SOCKET, SO_ERROR, &error, &size) == 0 &&
				    error == 0)
					return true;
				if (wait != Wait::Ready)
					i = addresses.size(); // out of time or aborted
			}
			::close(s);
			fd = -1;
		}
		return false;
	}

	bool startTls(const Endpoint &target)
	{
		const Clock::time_point deadline = Clock::now() + Milliseconds(timings.connectMs);
		{
			std::lock_guard<std::mutex> lock(ioMutex);
			ctx = SSL_CTX_new(TLS_client_method());
			if (!ctx)
				return false;
			SSL_CTX_set_default_verify_paths(ctx);
			const std::string caFile = extraCaFile();
			if (!caFile.empty() && SSL_CTX_load_verify_locations(ctx, caFile.c_str(), nullptr) != 1)
				logLine(LOG_WARNING, "websocket: cannot load CA file %s", caFile.c_str());
			SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
			ssl = SSL_new(ctx);
			network = BIO_new(BIO_s_mem());
			pending = BIO_new(BIO_s_mem());
			if (!ssl || !network || !pending) {
				BIO_free(network);
				BIO_free(pending);
				network = pending = nullptr;
				return false;
			}
			// An empty input means "more to come", not the end.
			BIO_set_mem_eof_return(network, -1);
			SSL_set_bio(ssl, network, pending);
			in6_addr ip6;
			in_addr ip4;
			if (inet_pton(AF_INET, target.host.c_str(), &ip4) == 1 ||
			    inet_pton(AF_INET6, target.host.c_str(), &ip6) == 1) {
				X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), target.host.c_str());
			} else {
				// A name: send it as SNI and check the certificate against it.
				SSL_set_tlsext_host_name(ssl, target.host.c_str());
				SSL_set1_host(ssl, target.host.c_str());
			}
			SSL_set_connect_state(ssl);
		}
		for (;;) {
			int result;
			int error;
			uint64_t target;
			{
				std::lock_guard<std::mutex> lock(ioMutex);
				ERR_clear_error();
				result = SSL_do_handshake(ssl);
				error = result == 1 ? SSL_ERROR_NONE : SSL_get_error(ssl, result);
				target = produced + BIO_ctrl_pending(pending);
			}
			if (!flushTo(target, deadline))
				return false;
			if (result == 1)
				return true;
			if (error != SSL_ERROR_WANT_READ || !readSocket(deadline))
				return false;
		}
	}

	bool upgrade(const Endpoint &target, const std::string &path, const std::string &extraHeaders)
	{
		const Clock::time_point deadline = Clock::now() + Milliseconds(timings.connectMs);
		unsigned char nonce[16];
		if (RAND_bytes(nonce, sizeof(nonce)) != 1)
			return false;
		const std::string key = base64(nonce, sizeof(nonce));
		const HeaderLines extra = parseHeaderBlock(extraHeaders);
		const bool ownAgent = std::none_of(extra.begin(), extra.end(),
						   [](const auto &h) { return lower(h.first) == "user-agent"; });
		std::string request = "GET " + (path.empty() ? std::string("/") : path) + " HTTP/1.1\r\n" +
				      "Host: " + target.authority() + "\r\n" +
				      "Upgrade: websocket\r\nConnection: Upgrade\r\n" + "Sec-WebSocket-Key: " + key +
				      "\r\nSec-WebSocket-Version: 13\r\n";
		if (ownAgent)
			request += std::string("User-Agent: ") + BrowserUserAgent + "\r\n";
		for (const auto &header : extra)
			request += header.first + ": " + header.second + "\r\n";
		request += "\r\n";
		uint64_t sentTo;
		{
			std::lock_guard<std::mutex> lock(ioMutex);
			ERR_clear_error();
			if (SSL_write(ssl, request.data(), static_cast<int>(request.size())) <= 0)
				return false;
			sentTo = produced + BIO_ctrl_pending(pending);
		}
		if (!flushTo(sentTo, deadline))
			return false;

		size_t headEnd;
		while ((headEnd = in.find("\r\n\r\n")) == std::string::npos) {
			if (in.size() > kMaxReplyHead || !decryptMore(deadline))
				return false;
		}
		const std::string head = in.substr(0, headEnd + 2);
		in.erase(0, headEnd + 4);
		if (head.compare(0, 13, "HTTP/1.1 101 ") != 0 && head.compare(0, 14, "HTTP/1.1 101\r\n") != 0)
			return false;
		const HeaderLines reply = parseHeaderBlock(head.substr(head.find("\r\n") + 2));
		bool upgraded = false, connectionUpgrade = false, accepted = false;
		for (const auto &header : reply) {
			const std::string name = lower(header.first);
			if (name == "upgrade")
				upgraded = lower(header.second) == "websocket";
			else if (name == "connection")
				connectionUpgrade = lower(header.second).find("upgrade") != std::string::npos;
			else if (name == "sec-websocket-accept")
				accepted = header.second == acceptFor(key);
		}
		return upgraded && connectionUpgrade && accepted;
	}

	// Owner thread. With graceful, an open connection first sends a close
	// frame (1000) and waits a little for the peer's reply.
	void shutdown(bool graceful)
	{
		if (graceful && open && !dead && !aborted && !closeSent) {
			const Clock::time_point deadline = Clock::now() + Milliseconds(timings.closeMs);
			closeSent = true;
			const char normal[2] = {0x03, static_cast<char>(0xE8)}; // 1000
			if (sendFrame(kClose, normal, sizeof(normal), deadline)) {
				// Read until the peer's close frame (or anything final).
				std::string ignored;
				bool binary = false;
				for (;;) {
					const int parsed = nextMessage(ignored, binary);
					if (parsed < 0 || (parsed == 0 && !decryptMore(deadline)))
						break;
				}
			}
		}
		dead = true;
		open = false;
		// Other threads stop using the connection; the socket itself goes
		// with the object, but the peer sees the end now.
		abort();
		if (fd >= 0)
			::shutdown(fd, SHUT_RDWR);
	}
};

WebSocketClient::WebSocketClient(WebSocketTimings timings) : m_timings(timings) {}

WebSocketClient::~WebSocketClient()
{
	close();
}

bool WebSocketClient::connect(const std::string &host, uint16_t port, const std::string &path,
			      const std::string &extraHeaders)
{
	close();
	const Endpoint target = resolveRemote(host, port);
	std::shared_ptr<Connection> connection;
	try {
		connection = std::make_shared<Connection>(m_timings);
	} catch (const std::exception &e) {
		logLine(LOG_WARNING, "websocket: cannot start a connection: %s", e.what());
		return false;
	}
	if (!connection->init())
		return false;
	{
		// Published before connecting so that abort can cut a connect short.
		std::lock_guard<std::mutex> lock(m_handleMutex);
		if (m_abortPending) {
			m_abortPending = false;
			return false;
		}
		m_current = connection;
	}
	const bool ok = connection->connect(target, path, extraHeaders) && !connection->aborted;
	connection->open = ok;
	if (!ok)
		close();
	return ok;
}

ReceiveResult WebSocketClient::receive(std::string &messageOut, bool &isBinaryOut)
{
	return receiveFrom(messageOut, isBinaryOut, true);
}

ReceiveResult WebSocketClient::receiveBuffered(std::string &messageOut, bool &isBinaryOut)
{
	return receiveFrom(messageOut, isBinaryOut, false);
}

ReceiveResult WebSocketClient::receiveFrom(std::string &messageOut, bool &isBinaryOut, bool wait)
{
	std::shared_ptr<Connection> connection;
	{
		std::lock_guard<std::mutex> lock(m_handleMutex);
		connection = m_current;
	}
	if (!connection)
		return ReceiveResult::Failed;
	messageOut.clear();
	isBinaryOut = false;
	if (!connection->open)
		return ReceiveResult::Failed;
	return connection->receive(messageOut, isBinaryOut, wait);
}

bool WebSocketClient::send(const std::string &payload, bool binary)
{
	std::lock_guard<std::mutex> sendLock(m_sendMutex);
	std::shared_ptr<Connection> connection;
	{
		std::lock_guard<std::mutex> lock(m_handleMutex);
		connection = m_current;
	}
	if (!connection || !connection->open || connection->dead)
		return false;
	const auto deadline = Clock::now() + Milliseconds(m_timings.sendMs);
	if (connection->sendFrame(binary ? kBinary : kText, payload.data(), payload.size(), deadline))
		return !connection->aborted;
	// A send that cannot finish in time means the peer is gone.
	connection->abort();
	return false;
}

bool WebSocketClient::sendText(const std::string &payload)
{
	return send(payload, false);
}

bool WebSocketClient::sendBinary(const std::string &payload)
{
	return send(payload, true);
}

void WebSocketClient::close()
{
	std::shared_ptr<Connection> connection;
	{
		std::lock_guard<std::mutex> lock(m_handleMutex);
		connection.swap(m_current);
	}
	if (connection)
		connection->shutdown(true);
}

void WebSocketClient::abort()
{
	std::lock_guard<std::mutex> lock(m_handleMutex);
	if (m_current)
		m_current->abort();
	else
		m_abortPending = true;
}

} // namespace vanteo::platform
