#include "platform/websocket.h"

#include "hub/endpoints.h"
#include "hub/log.h"
#include "platform/https.h"

#include <util/base.h>

#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/ssl.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/ssl.hpp>
#include <boost/beast/websocket.hpp>
#include <boost/beast/websocket/ssl.hpp>

#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <chrono>
#include <condition_variable>
#include <thread>
#include <utility>
#include <vector>

namespace vanteo::platform
{

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace websocket = beast::websocket;
namespace ssl = asio::ssl;
using tcp = asio::ip::tcp;
using Milliseconds = std::chrono::milliseconds;

namespace
{

using HeaderLines = std::vector<std::pair<std::string, std::string>>;

HeaderLines parseHeaderBlock(const std::string &block)
{
	HeaderLines lines;
	size_t start = 0;
	while (start < block.size()) {
		size_t end = block.find('\n', start);
		if (end == std::string::npos)
			end = block.size();
		std::string line = block.substr(start, end - start);
		start = end + 1;
		if (!line.empty() && line.back() == '\r')
			line.pop_back();
		size_t colon = line.find(':');
		if (colon == std::string::npos || colon == 0)
			continue;
		size_t value = line.find_first_not_of(" \t", colon + 1);
		lines.emplace_back(line.substr(0, colon),
				   value == std::string::npos ? std::string() : line.substr(value));
	}
	return lines;
}

} // namespace

// One connection attempt. It has no thread of its own: the thread that waits
// for something of the connection runs its I/O itself (the owner in connect,
// receive and close, any thread in a send), one thread at a time. A message
// is thus read, decrypted and handed over on the thread that asked for it,
// with no hand-over between threads. Whoever runs the I/O ("drives") is the
// only thread touching the stream; a thread that finds another one driving
// waits on the condition variable until its result is published there or the
// driving is free to take over. Work for the stream is posted to the
// io_context, so it runs on whichever thread drives next.
struct WebSocketClient::Connection {
	using Stream = websocket::stream<beast::ssl_stream<beast::tcp_stream>>;
	using Clock = std::chrono::steady_clock;

	explicit Connection(const WebSocketTimings &t)
	    : timings(t), ioc(1), tls(ssl::context::tls_client), resolver(ioc), resolveTimer(ioc),
	      ws(ioc, tls), work(asio::make_work_guard(ioc))
	{
	}

	~Connection() { shutdown(false); }

	const WebSocketTimings timings;
	asio::io_context ioc;
	ssl::context tls;
	tcp::resolver resolver;
	asio::steady_timer resolveTimer;
	Stream ws;
	beast::flat_buffer readBuffer; // driving thread only
	// Keeps run_one waiting for I/O instead of returning when nothing is
	// pending.
	asio::executor_work_guard<asio::io_context::executor_type> work;
	bool stopped = false; // owner thread only

	// Guards the fields below, which handlers publish and waiting threads
	// read through cv.
	std::mutex mutex;
	std::condition_variable cv;
	enum class Phase { Connecting, Open, Dead } phase = Phase::Connecting;
	bool aborted = false;
	bool driving = false; // a thread runs the I/O now
	bool retired = false; // shut down: nobody drives any more
	bool readPending = false;
	bool haveMessage = false;
	std::string message;
	bool binary = false;

	// Runs the I/O on the calling thread until done() holds or the deadline
	// passes, or waits while another thread runs it. `lock` holds `mutex`;
	// done() is checked under it. Returns done().
	template <typename Done>
	bool drive(std::unique_lock<std::mutex> &lock, Clock::time_point deadline, Done done)
	{
		while (!done()) {
			if (Clock::now() >= deadline)
				return false;
			if (driving || retired) {
				cv.wait_until(lock, deadline);
				continue;
			}
			driving = true;
			lock.unlock();
			runOne(deadline);
			lock.lock();
			driving = false;
			// A waiting thread may take over, or find its result.
			cv.notify_all();
		}
		return true;
	}

	// Driving thread, without `mutex`: one handler, or nothing until the
	// deadline.
	void runOne(Clock::time_point deadline)
	{
		try {
			ioc.run_one_until(deadline);
		} catch (const std::exception &e) {
			logLine(LOG_WARNING, "websocket: I/O failed: %s", e.what());
			markDead();
		} catch (...) {
			logLine(LOG_WARNING, "websocket: I/O failed");
			markDead();
		}
	}

	void markDead()
	{
		std::lock_guard<std::mutex> lock(mutex);
		phase = Phase::Dead;
		cv.notify_all();
	}

	void finishConnect(bool ok)
	{
		std::lock_guard<std::mutex> lock(mutex);
		phase = ok && !aborted ? Phase::Open : Phase::Dead;
		cv.notify_all();
	}

	// Driving thread. Closing the TCP socket fails every pending operation.
	void closeSocket()
	{
		resolveTimer.cancel();
		resolver.cancel();
		beast::error_code ignored;
		beast::get_lowest_layer(ws).socket().close(ignored);
	}

	// Driving thread: resolve, TCP connect, TLS handshake, upgrade; each step
	// under its own deadline.
	void startConnect(const Endpoint &target, const std::string &path,
			  const HeaderLines &headers)
	{
		resolveTimer.expires_after(Milliseconds(timings.connectMs));
		resolveTimer.async_wait([this](beast::error_code ec) {
			if (!ec)
				resolver.cancel();
		});
		resolver.async_resolve(
		    target.host, std::to_string(target.port),
		    [this, target, path, headers](beast::error_code ec,
						  tcp::resolver::results_type results) {
			    resolveTimer.cancel();
			    if (ec)
				    return finishConnect(false);
			    beast::get_lowest_layer(ws).expires_after(
				Milliseconds(timings.connectMs));
			    beast::get_lowest_layer(ws).async_connect(
				results, [this, target, path, headers](beast::error_code ec,
								       const tcp::endpoint &) {
					if (ec)
						return finishConnect(false);
					startTls(target, path, headers);
				});
		    });
	}

	void startTls(const Endpoint &target, const std::string &path, const HeaderLines &headers)
	{
		SSL *handle = ws.next_layer().native_handle();
		beast::error_code ec;
		asio::ip::make_address(target.host, ec);
		if (ec) {
			// A name: send it as SNI and check the certificate against it.
			SSL_set_tlsext_host_name(handle, target.host.c_str());
			SSL_set1_host(handle, target.host.c_str());
		} else {
			X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(handle), target.host.c_str());
		}
		ws.next_layer().set_verify_mode(ssl::verify_peer);
		beast::get_lowest_layer(ws).expires_after(Milliseconds(timings.connectMs));
		ws.next_layer().async_handshake(
		    ssl::stream_base::client, [this, target, path, headers](beast::error_code ec) {
			    if (ec)
				    return finishConnect(false);
			    startUpgrade(target, path, headers);
		    });
	}

	void startUpgrade(const Endpoint &target, const std::string &path,
			  const HeaderLines &headers)
	{
		// From here the WebSocket layer keeps its own time: the upgrade and
		// the closing handshake are bounded, an idle connection is not (a
		// receive time-out is the caller's business and leaves it open).
		beast::get_lowest_layer(ws).expires_never();
		websocket::stream_base::timeout limits{};
		limits.handshake_timeout = Milliseconds(timings.connectMs);
		limits.idle_timeout = websocket::stream_base::none();
		limits.keep_alive_pings = false;
		ws.set_option(limits);
		ws.set_option(
		    websocket::stream_base::decorator([headers](websocket::request_type &request) {
			    request.set(beast::http::field::user_agent, BrowserUserAgent);
			    for (const auto &header : headers)
				    request.set(header.first, header.second);
		    }));
		ws.read_message_max(kMaxMessageBytes);
		ws.auto_fragment(false);
		ws.async_handshake(target.authority(), path.empty() ? "/" : path,
				   [this](beast::error_code ec) { finishConnect(!ec); });
	}

	// Driving thread: one pending read at a time; its result waits in
	// `message` until a receive takes it.
	void startRead()
	{
		ws.async_read(readBuffer, [this](beast::error_code ec, size_t) {
			std::lock_guard<std::mutex> lock(mutex);
			readPending = false;
			if (ec) {
				phase = Phase::Dead;
			} else {
				const auto data = readBuffer.data();
				message.assign(static_cast<const char *>(data.data()), data.size());
				binary = ws.got_binary();
				haveMessage = true;
			}
			readBuffer.consume(readBuffer.size());
			cv.notify_all();
		});
	}

	// Any thread, under `mutex`.
	void requestReadLocked()
	{
		if (readPending || haveMessage || phase != Phase::Open)
			return;
		readPending = true;
		asio::post(ioc, [this] { startRead(); });
	}

	// Any thread. Posting the close wakes a thread waiting in the I/O.
	void abort()
	{
		{
			std::lock_guard<std::mutex> lock(mutex);
			aborted = true;
			phase = Phase::Dead;
			cv.notify_all();
		}
		asio::post(ioc, [this] { closeSocket(); });
	}

	// Owner thread. With graceful, an open connection first sends a close
	// frame (1000) and waits a little for the peer's reply.
	void shutdown(bool graceful)
	{
		if (stopped)
			return;
		stopped = true;
		std::unique_lock<std::mutex> lock(mutex);
		if (graceful && phase == Phase::Open && !aborted) {
			auto closed = std::make_shared<bool>(false);
			asio::post(ioc, [this, closed] {
				ws.async_close(websocket::close_code::normal,
					       [this, closed](beast::error_code) {
						       std::lock_guard<std::mutex> lock(mutex);
						       *closed = true;
						       cv.notify_all();
					       });
			});
			drive(lock, Clock::now() + Milliseconds(timings.closeMs),
			      [&] { return *closed || aborted; });
		}
		// Every wait ends on a dead connection; the posted close wakes a
		// sender driving the I/O, and once it lets go nobody drives again.
		phase = Phase::Dead;
		retired = true;
		cv.notify_all();
		asio::post(ioc, [this] { closeSocket(); });
		cv.wait(lock, [this] { return !driving; });
		lock.unlock();
		// Close the socket here and let the failed operations finish, so
		// nothing refers to the stream when it goes.
		work.reset();
		closeSocket();
		ioc.restart();
		for (int i = 0; i < 1000 && ioc.poll() > 0; ++i) {
		}
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
	Endpoint target = resolveRemote(host, port);
	std::shared_ptr<Connection> connection;
	try {
		connection = std::make_shared<Connection>(m_timings);
		std::string caFile = extraCaFile();
		connection->tls.set_default_verify_paths();
		if (!caFile.empty()) {
			beast::error_code ec;
			connection->tls.load_verify_file(caFile, ec);
			if (ec)
				logLine(LOG_WARNING, "websocket: cannot load CA file %s",
					caFile.c_str());
		}
		connection->tls.set_verify_mode(ssl::verify_peer);
	} catch (const std::exception &e) {
		logLine(LOG_WARNING, "websocket: cannot start a connection: %s", e.what());
		return false;
	}
	{
		// Published before the wait so that abort can cut a connect short.
		std::lock_guard<std::mutex> lock(m_handleMutex);
		if (m_abortPending) {
			m_abortPending = false;
			return false;
		}
		m_current = connection;
	}
	HeaderLines headers = parseHeaderBlock(extraHeaders);
	Connection *raw = connection.get();
	asio::post(raw->ioc,
		   [raw, target, path, headers] { raw->startConnect(target, path, headers); });

	bool open = false;
	{
		std::unique_lock<std::mutex> lock(raw->mutex);
		// Each of the four steps has its own deadline; this bound only
		// guards against a step that ignores it.
		const auto backstop = Milliseconds(4 * m_timings.connectMs + 1000);
		raw->drive(lock, Connection::Clock::now() + backstop,
			   [raw] { return raw->phase != Connection::Phase::Connecting; });
		open = raw->phase == Connection::Phase::Open && !raw->aborted;
	}
	if (!open)
		close();
	return open;
}

ReceiveResult WebSocketClient::receive(std::string &messageOut, bool &isBinaryOut)
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

	Connection &c = *connection;
	std::unique_lock<std::mutex> lock(c.mutex);
	c.requestReadLocked();
	c.drive(lock, Connection::Clock::now() + Milliseconds(m_timings.receiveMs),
		[&c] { return c.haveMessage || c.aborted || c.phase != Connection::Phase::Open; });
	if (c.aborted)
		return ReceiveResult::Failed;
	if (c.haveMessage) {
		messageOut.swap(c.message);
		c.message.clear();
		isBinaryOut = c.binary;
		c.haveMessage = false;
		return ReceiveResult::Message;
	}
	if (c.phase != Connection::Phase::Open)
		return ReceiveResult::Failed;
	return ReceiveResult::Timeout;
}

bool WebSocketClient::send(const std::string &payload, bool binary)
{
	std::lock_guard<std::mutex> sendLock(m_sendMutex);
	std::shared_ptr<Connection> connection;
	{
		std::lock_guard<std::mutex> lock(m_handleMutex);
		connection = m_current;
	}
	if (!connection)
		return false;
	Connection &c = *connection;
	struct Outcome {
		bool done = false;
		bool ok = false;
	};
	auto outcome = std::make_shared<Outcome>();
	auto data = std::make_shared<std::string>(payload);
	std::unique_lock<std::mutex> lock(c.mutex);
	if (c.aborted || c.phase != Connection::Phase::Open)
		return false;
	Connection *raw = connection.get();
	asio::post(c.ioc, [raw, data, outcome, binary] {
		raw->ws.binary(binary);
		raw->ws.async_write(asio::buffer(*data),
				    [raw, data, outcome](beast::error_code ec, size_t) {
					    std::lock_guard<std::mutex> lock(raw->mutex);
					    outcome->done = true;
					    outcome->ok = !ec;
					    if (ec)
						    raw->phase = Connection::Phase::Dead;
					    raw->cv.notify_all();
				    });
	});
	const bool finished =
	    c.drive(lock, Connection::Clock::now() + Milliseconds(m_timings.sendMs), [&] {
		    return outcome->done || c.aborted || c.phase == Connection::Phase::Dead;
	    });
	if (finished && outcome->done)
		return outcome->ok && !c.aborted;
	if (!finished) {
		// A send that cannot finish in time means the peer is gone.
		lock.unlock();
		c.abort();
	}
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
