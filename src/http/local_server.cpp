#include "http/local_server.h"

#include "common/burst.h"
#include "common/json.h"
#include "common/log.h"
#include "platform/files.h"
#include "platform/https.h"
#include "platform/random.h"
#include "http/http_request.h"

#include <util/base.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

namespace vanteo {

namespace {

constexpr size_t kChunk = 4096;
// The page files are small; this only keeps a stray large file out of memory.
constexpr size_t kMaxFileBytes = 32u << 20;

std::string streamsFullResponse()
{
	return httpResponse("503 Service Unavailable", "text/plain", "too many event streams");
}

// The frames this thread broadcast during its current burst, per server.
thread_local std::vector<std::pair<LocalServer *, std::string>> t_heldFrames;
// The room of the last burst's frames, kept for the next burst, so that a
// busy chat does not grow a new buffer of its size every time.
thread_local std::string t_spareFrames;
constexpr size_t kKeptFrameRoom = 1u << 20;

} // namespace

LocalServer::LocalServer() : LocalServer(Limits()) {}

LocalServer::LocalServer(Limits limits) : m_limits(limits) {}

LocalServer::~LocalServer()
{
	stop();
}

uint16_t LocalServer::start(const std::string &staticRoot, uint16_t firstPort, RequestHandler handler)
{
	m_staticRoot = staticRoot;
	m_handler = std::move(handler);

	if (!m_staticRoot.empty()) {
		std::error_code ec;
		for (const auto &entry : std::filesystem::directory_iterator(m_staticRoot, ec)) {
			std::string bytes;
			if (platform::readRegularFile(entry.path().string(), bytes, kMaxFileBytes))
				m_fileCache[entry.path().filename().u8string()] = std::move(bytes);
		}
	}

	// 24 hexadecimal digits (96 bits) that only the pages we open carry.
	m_token = platform::secureRandomHex(12);
	if (m_token.empty()) {
		logLine(LOG_WARNING, "no secure random source; local server not started");
		return 0;
	}

	uint16_t port = 0;
	platform::SocketHandle listener =
	    platform::listenLoopback(firstPort, m_limits.firstPortCount, m_limits.backlog, &port);
	if (listener == platform::kInvalidSocket)
		return 0;
	m_listener = listener;
	m_port = port;
	m_running = true;
	try {
		m_acceptThread = std::thread([this] { runGuarded("local server", [this] { acceptLoop(); }); });
	} catch (const std::system_error &e) {
		logStopped("local server", e.what());
		m_running = false;
		platform::closeSocket(m_listener);
		m_listener = platform::kInvalidSocket;
		m_port = 0;
		return 0;
	}
	return port;
}

void LocalServer::setStreamClientHook(StreamClientHook hook)
{
	m_streamHook = std::move(hook);
}

void LocalServer::addResource(const std::string &path, const std::string &contentType, const std::string &body)
{
	m_resources[path] = Resource{contentType, body};
}

void LocalServer::acceptLoop()
{
	int delayMs = 0;
	while (m_running) {
		platform::SocketHandle client = platform::kInvalidSocket;
		std::string error;
		// Waits without a tick: `stop` shuts the listener down, which ends
		// the wait. Finished connection threads are joined at each accept.
		platform::AcceptResult result = platform::acceptConnection(m_listener, -1, &client, &error);
		reapFinished();
		if (result == platform::AcceptResult::Failed)
			break;
		if (result == platform::AcceptResult::Idle)
			continue;
		if (result == platform::AcceptResult::Exhausted) {
			// The connection stays queued and the listener readable:
			// trying again at once would spin a core, and OBS needs the
			// descriptors more than a page does.
			if (!m_exhaustionLogged)
				logLine(LOG_WARNING, "local server: accept failed (%s); new connections wait",
					error.c_str());
			m_exhaustionLogged = true;
			{
				// Streams of pages that left hold descriptors too.
				std::lock_guard<std::mutex> guard(m_connLock);
				dropClosedStreamsLocked();
			}
			if (!backOff(delayMs))
				break;
			continue;
		}
		delayMs = 0;
		if (!addConnection(client) && !backOff(delayMs))
			break;
	}
}

bool LocalServer::backOff(int &delayMs)
{
	delayMs = std::min(delayMs ? delayMs * 2 : 50, 1000);
	for (int waited = 0; waited < delayMs && m_running; waited += 50)
		std::this_thread::sleep_for(std::chrono::milliseconds(50));
	return m_running;
}

// False when no thread could be started for it (the socket is closed then).
bool LocalServer::addConnection(platform::SocketHandle client)
{
	const Clock::time_point started = Clock::now();
	std::lock_guard<std::mutex> guard(m_connLock);
	size_t busy = std::count_if(m_connections.begin(), m_connections.end(), [](const auto &c) { return !c->done; });
	if (!m_running || busy >= m_limits.maxConnections) {
		platform::closeSocket(client);
		return true;
	}
	m_open.push_back(client);
	auto conn = std::make_unique<Connection>();
	Connection *raw = conn.get();
	try {
		raw->thread = std::thread([this, client, raw, started] {
			runConnection(client, started);
			raw->done = true;
		});
	} catch (const std::system_error &e) {
		if (!m_exhaustionLogged)
			logLine(LOG_WARNING, "local server: no thread for a connection (%s)", e.what());
		m_exhaustionLogged = true;
		m_open.pop_back();
		platform::closeSocket(client);
		return false;
	}
	m_connections.push_back(std::move(conn));
	return true;
}

void LocalServer::reapFinished()
{
	std::list<std::unique_ptr<Connection>> finished;
	{
		std::lock_guard<std::mutex> guard(m_connLock);
		for (auto it = m_connections.begin(); it != m_connections.end();) {
			if ((*it)->done)
				finished.splice(finished.end(), m_connections, it++);
			else
				++it;
		}
	}
	for (auto &conn : finished)
		if (conn->thread.joinable())
			conn->thread.join();
}

void LocalServer::serveConnection(platform::SocketHandle s)
{
	{
		std::lock_guard<std::mutex> guard(m_connLock);
		m_open.push_back(s);
	}
	runConnection(s, Clock::now());
}

// A connection thread's body: remote calls made for this request end when
// the server stops, and nothing thrown leaves the thread.
void LocalServer::runConnection(platform::SocketHandle s, Clock::time_point started)
{
	platform::AbortScope requests(m_running);
	try {
		handleConnection(s, started);
		return;
	} catch (const std::exception &e) {
		logLine(LOG_WARNING, "local server: connection failed: %s", e.what());
	} catch (...) {
		logLine(LOG_WARNING, "local server: connection failed");
	}
	// Every path of handleConnection closes or hands on the socket as its
	// last step, so one still open is ours to close.
	if (forgetOpen(s))
		platform::closeSocket(s);
}

bool LocalServer::forgetOpen(platform::SocketHandle s)
{
	std::lock_guard<std::mutex> guard(m_connLock);
	auto it = std::find(m_open.begin(), m_open.end(), s);
	if (it == m_open.end())
		return false;
	m_open.erase(it);
	return true;
}

void LocalServer::finishConnection(platform::SocketHandle s, const std::string &response)
{
	if (!response.empty())
		platform::sendAllWithin(s, response.data(), response.size(), m_limits.sendTimeoutMs);
	// Forget before closing, so that `stop` never shuts a reused handle.
	forgetOpen(s);
	platform::closeSocket(s);
}

bool LocalServer::receiveBy(platform::SocketHandle s, std::string &buffer, Clock::time_point deadline)
{
	const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
	if (left.count() <= 0)
		return false;
	char chunk[kChunk];
	long n = platform::receiveWithin(s, chunk, sizeof(chunk), static_cast<int>(left.count()));
	if (n <= 0)
		return false;
	buffer.append(chunk, static_cast<size_t>(n));
	return true;
}

void LocalServer::handleConnection(platform::SocketHandle s, Clock::time_point started)
{
	// Head and body must both arrive by then: a client that drips its
	// request must not hold a connection slot for long.
	const Clock::time_point deadline = started + std::chrono::milliseconds(m_limits.requestDeadlineMs);
	std::string buffer;
	size_t headEnd;
	while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
		if (buffer.size() > m_limits.maxHeaderBytes || !receiveBy(s, buffer, deadline)) {
			finishConnection(s, std::string());
			return;
		}
	}
	if (headEnd > m_limits.maxHeaderBytes) {
		finishConnection(s, std::string());
		return;
	}

	HttpRequestHead req = parseRequestHead(buffer.substr(0, headEnd));
	const std::string *hostHeader = req.header("Host");
	if (!hostHeader || !isAllowedHost(*hostHeader)) {
		finishConnection(s, httpResponse("403 Forbidden", "application/json", errorReply("host")));
		return;
	}

	if (req.method == "GET" && req.path == "/api/events") {
		openStream(s);
		return;
	}

	if (req.method == "POST") {
		const std::string *origin = req.header("Origin");
		if (origin && !isAllowedOrigin(*origin, m_port)) {
			finishConnection(s, httpResponse("403 Forbidden", "application/json", errorReply("origin")));
			return;
		}
		if (req.path != "/api/token" && !queryHasToken(req.query, m_token)) {
			finishConnection(s, httpResponse("403 Forbidden", "application/json", errorReply("token")));
			return;
		}
		std::string body = buffer.substr(headEnd + 4);
		size_t length = body.size();
		if (const std::string *lengthText = req.header("Content-Length")) {
			if (!parseContentLength(*lengthText, length)) {
				finishConnection(s, httpResponse("400 Bad Request", "text/plain", "no"));
				return;
			}
		}
		if (length > m_limits.maxBodyBytes || body.size() > m_limits.maxBodyBytes) {
			finishConnection(s, httpResponse("413 Payload Too Large", "text/plain", "too large"));
			return;
		}
		while (body.size() < length) {
			// Half a body would read as empty fields (and clear settings).
			if (!receiveBy(s, body, deadline)) {
				finishConnection(s, std::string());
				return;
			}
			if (body.size() > m_limits.maxBodyBytes) {
				finishConnection(s, httpResponse("413 Payload Too Large", "text/plain", "too large"));
				return;
			}
		}
		body.resize(length);

		std::string reply = "{}";
		if (m_handler) {
			try {
				reply = m_handler(req.path, body);
			} catch (const std::exception &e) {
				logLine(LOG_WARNING, "request %s failed: %s", req.path.c_str(), e.what());
				reply = errorReply("Request failed");
			} catch (...) {
				logLine(LOG_WARNING, "request %s failed", req.path.c_str());
				reply = errorReply("Request failed");
			}
		}
		finishConnection(s, httpResponse("200 OK", "application/json", reply));
		return;
	}

	if (req.method == "GET") {
		serveGet(s, req.path);
		return;
	}
	finishConnection(s, httpResponse("405 Method Not Allowed", "text/plain", "no"));
}

void LocalServer::openStream(platform::SocketHandle s)
{
	enum class Outcome { Open, Full, Failed } outcome = Outcome::Failed;
	{
		std::lock_guard<std::mutex> guard(m_connLock);
		// Look for pages that went away before turning one away.
		if (m_running && m_streams.size() >= m_limits.maxStreams)
			dropClosedStreamsLocked();
		if (!m_running) {
			outcome = Outcome::Failed;
		} else if (m_streams.size() >= m_limits.maxStreams) {
			outcome = Outcome::Full;
		} else if (platform::sendAllWithin(s, kEventStreamHead.data(), kEventStreamHead.size(),
						   m_limits.sendTimeoutMs)) {
			// Under the lock: no frame may reach the page before its head.
			m_open.erase(std::remove(m_open.begin(), m_open.end(), s), m_open.end());
			m_streams.push_back(s);
			outcome = Outcome::Open;
		}
	}
	if (outcome != Outcome::Open) {
		finishConnection(s, outcome == Outcome::Full ? streamsFullResponse() : std::string());
		return;
	}
	if (m_streamHook)
		runGuarded("event stream snapshot", m_streamHook);
}

void LocalServer::dropClosedStreamsLocked()
{
	// A page that went away is otherwise noticed only at the next broadcast.
	auto gone = std::remove_if(m_streams.begin(), m_streams.end(), [](platform::SocketHandle t) {
		if (!platform::peerClosed(t))
			return false;
		platform::closeSocket(t);
		return true;
	});
	m_streams.erase(gone, m_streams.end());
}

bool LocalServer::readStaticFile(const std::string &name, std::string &bytes) const
{
	auto cached = m_fileCache.find(name);
	if (cached != m_fileCache.end()) {
		bytes = cached->second;
		return true;
	}
	// Without a static root nothing is read from disk: "" + "/" + name
	// would reach any file of the machine. Only regular files are served:
	// a folder, a pipe or a device under the web folder is "not found".
	if (m_staticRoot.empty() || name.empty())
		return false;
	return platform::readRegularFile(m_staticRoot + "/" + name, bytes, kMaxFileBytes);
}

void LocalServer::serveGet(platform::SocketHandle s, const std::string &path)
{
	auto resource = m_resources.find(path);
	if (resource != m_resources.end()) {
		finishConnection(s, httpResponse("200 OK", resource->second.contentType, resource->second.body));
		return;
	}
	std::string name = fileNameForPath(path);
	if (isForbiddenFileName(name)) {
		finishConnection(s, httpResponse("400 Bad Request", "text/plain", "no"));
		return;
	}
	std::string bytes;
	if (!readStaticFile(name, bytes) || bytes.empty()) {
		finishConnection(s, httpResponse("404 Not Found", "text/plain", "not found"));
		return;
	}
	finishConnection(s, httpResponse("200 OK", contentTypeFor(name), bytes));
}

void LocalServer::broadcast(const std::string &event, const std::string &data)
{
	if (!Burst::active()) {
		std::string frame;
		appendEventFrame(frame, event, data);
		sendFrames(frame);
		return;
	}
	for (auto &held : t_heldFrames) {
		if (held.first == this) {
			appendEventFrame(held.second, event, data);
			return;
		}
	}
	t_heldFrames.emplace_back(this, std::string());
	t_heldFrames.back().second.swap(t_spareFrames);
	appendEventFrame(t_heldFrames.back().second, event, data);
	Burst::atEnd([this] { sendHeldFrames(); });
}

void LocalServer::sendHeldFrames()
{
	std::string frames;
	for (auto held = t_heldFrames.begin(); held != t_heldFrames.end(); ++held) {
		if (held->first == this) {
			frames.swap(held->second);
			t_heldFrames.erase(held);
			break;
		}
	}
	if (frames.empty())
		return;
	sendFrames(frames);
	if (frames.capacity() <= kKeptFrameRoom) {
		frames.clear();
		t_spareFrames.swap(frames);
	}
}

void LocalServer::sendFrames(const std::string &frames)
{
	std::lock_guard<std::mutex> guard(m_connLock);
	if (m_streams.empty())
		return;
	// Every page gets the frames at once, under one deadline: a page that
	// stopped reading costs one time-out once, and is then gone.
	const std::vector<bool> sent =
	    platform::sendToAllWithin(m_streams, frames.data(), frames.size(), m_limits.sendTimeoutMs);
	std::vector<platform::SocketHandle> kept;
	for (size_t i = 0; i < m_streams.size(); ++i) {
		if (sent[i])
			kept.push_back(m_streams[i]);
		else
			platform::closeSocket(m_streams[i]);
	}
	m_streams.swap(kept);
}

void LocalServer::stop()
{
	if (!m_running.exchange(false))
		return;
	// No new connections: the accept loop's wait ends at once.
	platform::shutdownSocket(m_listener);
	if (m_acceptThread.joinable())
		m_acceptThread.join();
	platform::closeSocket(m_listener);
	m_listener = platform::kInvalidSocket;
	{
		// Requests still being read end at once; the ones being handled see
		// their remote calls aborted (the running flag is clear). Connection
		// threads own their sockets, so waking them is enough.
		std::lock_guard<std::mutex> guard(m_connLock);
		for (platform::SocketHandle s : m_open)
			platform::shutdownSocket(s);
	}
	std::list<std::unique_ptr<Connection>> all;
	{
		std::lock_guard<std::mutex> guard(m_connLock);
		all.swap(m_connections);
	}
	for (auto &conn : all)
		if (conn->thread.joinable())
			conn->thread.join();
	// Only once no request can reach the caller's objects any more.
	std::lock_guard<std::mutex> guard(m_connLock);
	for (platform::SocketHandle s : m_streams)
		platform::closeSocket(s);
	m_streams.clear();
}

} // namespace vanteo
