#include "server/local_server.h"

#include "hub/log.h"
#include "platform/random.h"
#include "server/http_request.h"

#include <util/base.h>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vanteo {

namespace {

constexpr size_t kChunk = 4096;

std::string readWholeFile(const std::filesystem::path &path)
{
	std::ifstream in(path, std::ios::binary);
	if (!in)
		return std::string();
	return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string makeToken()
{
	static const char kDigits[] = "0123456789abcdef";
	unsigned char bytes[24] = {};
	if (!platform::secureRandomBytes(bytes, sizeof(bytes)))
		return std::string();
	std::string token;
	for (unsigned char b : bytes)
		token += kDigits[b & 15];
	return token;
}

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
			if (!entry.is_regular_file(ec))
				continue;
			m_fileCache[entry.path().filename().u8string()] = readWholeFile(entry.path());
		}
	}

	m_token = makeToken();
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
	m_acceptThread = std::thread(&LocalServer::acceptLoop, this);
	return port;
}

void LocalServer::setStreamClientHook(StreamClientHook hook)
{
	m_streamHook = std::move(hook);
}

void LocalServer::addResource(const std::string &path, const std::string &contentType,
			      const std::string &body)
{
	m_resources[path] = Resource{contentType, body};
}

size_t LocalServer::streamClientCount()
{
	std::lock_guard<std::mutex> guard(m_connLock);
	return m_streams.size();
}

void LocalServer::acceptLoop()
{
	while (m_running) {
		platform::SocketHandle client = platform::kInvalidSocket;
		// The 100 ms tick lets `stop` end the loop and finished connection
		// threads be joined without waiting for the next client.
		platform::AcceptResult result = platform::acceptConnection(m_listener, 100, &client);
		reapFinished();
		if (result == platform::AcceptResult::Failed)
			break;
		if (result == platform::AcceptResult::Idle)
			continue;

		platform::setReceiveTimeout(client, m_limits.receiveTimeoutMs);
		std::lock_guard<std::mutex> guard(m_connLock);
		size_t busy = std::count_if(m_connections.begin(), m_connections.end(),
					    [](const auto &c) { return !c->done; });
		if (!m_running || busy >= m_limits.maxConnections) {
			platform::closeSocket(client);
			continue;
		}
		m_open.push_back(client);
		auto conn = std::make_unique<Connection>();
		Connection *raw = conn.get();
		m_connections.push_back(std::move(conn));
		raw->thread = std::thread([this, client, raw] {
			handleConnection(client);
			raw->done = true;
		});
	}
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

void LocalServer::forgetOpen(platform::SocketHandle s)
{
	std::lock_guard<std::mutex> guard(m_connLock);
	m_open.erase(std::remove(m_open.begin(), m_open.end(), s), m_open.end());
}

void LocalServer::finishConnection(platform::SocketHandle s, const std::string &response)
{
	if (!response.empty())
		platform::sendAll(s, response.data(), response.size());
	// Forget before closing, so that `stop` never shuts a reused handle.
	forgetOpen(s);
	platform::closeSocket(s);
}

bool LocalServer::readBody(platform::SocketHandle s, std::string &body, size_t length)
{
	char chunk[kChunk];
	while (body.size() < length) {
		long n = platform::receiveSome(s, chunk, sizeof(chunk));
		if (n <= 0)
			return false;
		body.append(chunk, static_cast<size_t>(n));
		if (body.size() > m_limits.maxBodyBytes)
			return false;
	}
	body.resize(length);
	return true;
}

void LocalServer::handleConnection(platform::SocketHandle s)
{
	std::string buffer;
	char chunk[kChunk];
	size_t headEnd;
	while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
		if (buffer.size() > m_limits.maxHeaderBytes) {
			finishConnection(s, std::string());
			return;
		}
		long n = platform::receiveSome(s, chunk, sizeof(chunk));
		if (n <= 0) {
			finishConnection(s, std::string());
			return;
		}
		buffer.append(chunk, static_cast<size_t>(n));
	}
	if (headEnd > m_limits.maxHeaderBytes) {
		finishConnection(s, std::string());
		return;
	}

	HttpRequestHead req = parseRequestHead(buffer.substr(0, headEnd));
	const std::string *hostHeader = req.header("Host");
	if (!hostHeader || !isAllowedHost(*hostHeader)) {
		finishConnection(s, httpResponse("403 Forbidden", "application/json", "{\"error\":\"host\"}"));
		return;
	}

	if (req.method == "GET" && req.path == "/api/events") {
		if (!platform::sendAll(s, kEventStreamHead.data(), kEventStreamHead.size())) {
			finishConnection(s, std::string());
			return;
		}
		// A page that stops reading must not stall every broadcaster.
		platform::setSendTimeout(s, m_limits.streamSendTimeoutMs);
		{
			std::lock_guard<std::mutex> guard(m_connLock);
			m_open.erase(std::remove(m_open.begin(), m_open.end(), s), m_open.end());
			if (!m_running) {
				platform::closeSocket(s);
				return;
			}
			m_streams.push_back(s);
		}
		if (m_streamHook)
			m_streamHook();
		return;
	}

	if (req.method == "POST") {
		const std::string *origin = req.header("Origin");
		if (origin && !isAllowedOrigin(*origin, m_port)) {
			finishConnection(s, httpResponse("403 Forbidden", "application/json",
							 "{\"error\":\"origin\"}"));
			return;
		}
		if (req.path != "/api/token" && !queryHasToken(req.query, m_token)) {
			finishConnection(s, httpResponse("403 Forbidden", "application/json",
							 "{\"error\":\"token\"}"));
			return;
		}
		std::string body = buffer.substr(headEnd + 4);
		if (const std::string *lengthText = req.header("Content-Length")) {
			size_t length = 0;
			if (!parseContentLength(*lengthText, length)) {
				finishConnection(s, httpResponse("400 Bad Request", "text/plain", "no"));
				return;
			}
			if (length > m_limits.maxBodyBytes) {
				finishConnection(s, httpResponse("413 Payload Too Large", "text/plain",
								 "too large"));
				return;
			}
			if (!readBody(s, body, length)) {
				// Half a body would read as empty fields (and clear settings).
				if (body.size() > m_limits.maxBodyBytes)
					finishConnection(s, httpResponse("413 Payload Too Large",
									 "text/plain", "too large"));
				else
					finishConnection(s, std::string());
				return;
			}
		} else if (body.size() > m_limits.maxBodyBytes) {
			finishConnection(s, httpResponse("413 Payload Too Large", "text/plain", "too large"));
			return;
		}

		std::string reply = "{}";
		if (m_handler) {
			try {
				reply = m_handler(req.path, body);
			} catch (const std::exception &e) {
				logLine(LOG_WARNING, "request %s failed: %s", req.path.c_str(), e.what());
				reply = "{\"error\":\"Request failed\"}";
			} catch (...) {
				logLine(LOG_WARNING, "request %s failed", req.path.c_str());
				reply = "{\"error\":\"Request failed\"}";
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
	auto cached = m_fileCache.find(name);
	if (cached != m_fileCache.end())
		bytes = cached->second;
	else if (!m_staticRoot.empty() && !name.empty())
		// Without a static root nothing is read from disk: "" + "/" + name
		// would reach any file of the machine.
		bytes = readWholeFile(std::filesystem::u8path(m_staticRoot + "/" + name));
	if (bytes.empty()) {
		finishConnection(s, httpResponse("404 Not Found", "text/plain", "not found"));
		return;
	}
	finishConnection(s, httpResponse("200 OK", contentTypeFor(name), bytes));
}

void LocalServer::broadcast(const std::string &event, const std::string &data)
{
	const std::string frame = eventFrame(event, data);
	std::lock_guard<std::mutex> guard(m_connLock);
	for (auto it = m_streams.begin(); it != m_streams.end();) {
		if (platform::sendAll(*it, frame.data(), frame.size())) {
			++it;
			continue;
		}
		platform::closeSocket(*it);
		it = m_streams.erase(it);
	}
}

void LocalServer::stop()
{
	if (!m_running.exchange(false))
		return;
	if (m_acceptThread.joinable())
		m_acceptThread.join();
	platform::closeSocket(m_listener);
	m_listener = platform::kInvalidSocket;
	{
		std::lock_guard<std::mutex> guard(m_connLock);
		for (platform::SocketHandle s : m_streams)
			platform::closeSocket(s);
		m_streams.clear();
		// Connection threads own their sockets; waking them is enough.
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
}

} // namespace vanteo
