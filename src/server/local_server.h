#pragma once

#include "platform/tcp.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// The HTTP/1.1 server on 127.0.0.1 that serves the pages, the control API
// and the event stream. One request per connection, one thread per
// connection.
//
// Threads: `start`, `addResource` and `stop` are called by the owner (the
// GUI thread in OBS); the accept thread runs the accept loop; every
// connection runs on a thread of its own and calls the request handler and
// the stream client hook there. `broadcast` may be called from any thread.
namespace vanteo {

class LocalServer {
public:
	using RequestHandler = std::function<std::string(const std::string &path, const std::string &body)>;
	using StreamClientHook = std::function<void()>;

	struct Limits {
		int firstPortCount = 20;
		int backlog = 8;
		int receiveTimeoutMs = 15000;
		int streamSendTimeoutMs = 5000;
		size_t maxHeaderBytes = 65536;
		size_t maxBodyBytes = 1024 * 1024;
		size_t maxConnections = 64;
	};

	LocalServer();
	explicit LocalServer(Limits limits);
	~LocalServer();
	LocalServer(const LocalServer &) = delete;
	LocalServer &operator=(const LocalServer &) = delete;

	// Returns the bound port, or 0 when no port of the range was free.
	uint16_t start(const std::string &staticRoot, uint16_t firstPort, RequestHandler handler);
	void setStreamClientHook(StreamClientHook hook);
	void addResource(const std::string &path, const std::string &contentType, const std::string &body);
	void broadcast(const std::string &event, const std::string &data);
	void stop();

	uint16_t port() const { return m_port; }
	const std::string &token() const { return m_token; }
	size_t streamClientCount();

private:
	struct Resource {
		std::string contentType;
		std::string body;
	};
	struct Connection {
		std::thread thread;
		std::atomic<bool> done{false};
	};

	void acceptLoop();
	void reapFinished();
	void handleConnection(platform::SocketHandle s);
	void finishConnection(platform::SocketHandle s, const std::string &response);
	void serveGet(platform::SocketHandle s, const std::string &path);
	bool readBody(platform::SocketHandle s, std::string &body, size_t length);
	void forgetOpen(platform::SocketHandle s);

	const Limits m_limits;
	std::string m_staticRoot;
	std::string m_token;
	RequestHandler m_handler;
	StreamClientHook m_streamHook;
	std::atomic<bool> m_running{false};
	uint16_t m_port = 0;
	platform::SocketHandle m_listener = platform::kInvalidSocket;
	std::thread m_acceptThread;

	std::mutex m_connLock; // guards m_streams, m_open, m_connections; held while broadcasting
	std::vector<platform::SocketHandle> m_streams;
	std::vector<platform::SocketHandle> m_open;
	std::list<std::unique_ptr<Connection>> m_connections;

	// Written before start, read-only afterwards.
	std::map<std::string, Resource> m_resources;
	std::map<std::string, std::string> m_fileCache;
};

} // namespace vanteo
