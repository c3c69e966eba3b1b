#pragma once

#include "platform/tcp.h"

#include <atomic>
#include <chrono>
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
// Any web page on the machine can reach it, so everything a client sends is
// bounded: the number of connections and of event streams, the size of a
// request and the time it may take to arrive, and the time a response or an
// event frame may take to leave.
//
// Threads: `start`, `setStreamClientHook`, `addResource` and `stop` are
// called by the owner (the GUI thread in OBS); the hook and the resources
// are set before `start`. The accept thread runs the accept loop; every
// connection runs on a thread of its own and calls the request handler and
// the stream client hook there. Requests to remote hosts made on a
// connection thread end once `stop` begins (platform/https.h). `broadcast`
// may be called from any thread.
namespace vanteo {

class LocalServer {
public:
	using RequestHandler = std::function<std::string(const std::string &path, const std::string &body)>;
	using StreamClientHook = std::function<void()>;

	struct Limits {
		int firstPortCount = 20;
		int backlog = 8;
		int requestDeadlineMs = 10000; // head and body, from the connection's start
		int sendTimeoutMs = 5000;      // one whole response or event frame
		size_t maxHeaderBytes = 65536;
		size_t maxBodyBytes = 1024 * 1024;
		size_t maxConnections = 64; // requests being read or handled
		size_t maxStreams = 32;     // open event streams
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
	// Sends one event to every open stream. A page that does not take the
	// whole frame within the send time-out is dropped; the others get it.
	// Inside a Burst (common/burst.h) the calling thread's events wait for
	// the burst's end and then leave together, in order, in one write per
	// page.
	void broadcast(const std::string &event, const std::string &data);
	// Stops taking connections, waits for the requests still running (their
	// remote calls are aborted), then closes every stream. Joins every thread.
	void stop();

	// Serves one connection on the calling thread exactly as a connection
	// thread does (read, answer or register a stream, close). Lets the HTTP
	// fuzz target drive the whole request path; needs a started server.
	void serveConnection(platform::SocketHandle s);

	uint16_t port() const { return m_port; }
	const std::string &token() const { return m_token; }

private:
	struct Resource {
		std::string contentType;
		std::string body;
	};
	struct Connection {
		std::thread thread;
		std::atomic<bool> done{false};
	};

	using Clock = std::chrono::steady_clock;

	void acceptLoop();
	// The loop's wait after the process ran out of descriptors; false once
	// stopped.
	bool backOff(int &delayMs);
	bool addConnection(platform::SocketHandle client);
	void reapFinished();
	void runConnection(platform::SocketHandle s, Clock::time_point started);
	void handleConnection(platform::SocketHandle s, Clock::time_point started);
	void openStream(platform::SocketHandle s);
	void dropClosedStreamsLocked(); // under m_connLock
	// Sends whole event frames to every stream, dropping pages that fail.
	void sendFrames(const std::string &frames);
	void sendHeldFrames(); // the calling thread's frames of its burst
	void finishConnection(platform::SocketHandle s, const std::string &response);
	void serveGet(platform::SocketHandle s, const std::string &path);
	// Appends the next bytes that arrive before the deadline; false on an
	// orderly close, an error or the deadline.
	bool receiveBy(platform::SocketHandle s, std::string &buffer, Clock::time_point deadline);
	bool readStaticFile(const std::string &name, std::string &bytes) const;
	// Whether s was still among the open connections (it is forgotten now).
	bool forgetOpen(platform::SocketHandle s);

	const Limits m_limits;
	std::string m_staticRoot;
	std::string m_token;
	RequestHandler m_handler;
	StreamClientHook m_streamHook;
	std::atomic<bool> m_running{false};
	uint16_t m_port = 0;
	platform::SocketHandle m_listener = platform::kInvalidSocket;
	std::thread m_acceptThread;

	std::mutex m_connLock;           // guards m_streams, m_open, m_connections; held while broadcasting
	bool m_exhaustionLogged = false; // accept thread only: out of descriptors, said once a run
	std::vector<platform::SocketHandle> m_streams;
	std::vector<platform::SocketHandle> m_open;
	std::list<std::unique_ptr<Connection>> m_connections;

	// Written before start, read-only afterwards.
	std::map<std::string, Resource> m_resources;
	std::map<std::string, std::string> m_fileCache;
};

} // namespace vanteo
