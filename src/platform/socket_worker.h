#pragma once

#include "platform/websocket.h"

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <utility>

// The worker thread of a connection that lives on one socket at a time (the
// Twitch chat reader, the TikTok client, the EventSub session): its running
// flag, and the socket of the moment published so that `stop` from another
// thread can abort a blocked connect or receive at once. `stop` joins the
// worker, so nothing the worker calls runs after it returns.
//
// Threads: start and stop come from the owner's threads; running, pause and
// publish from the worker.
namespace vanteo::platform {

class SocketWorker
{
public:
	SocketWorker() = default;
	~SocketWorker() { stop(); }
	SocketWorker(const SocketWorker &) = delete;
	SocketWorker &operator=(const SocketWorker &) = delete;

	// Stops a running worker, then runs body on a new thread.
	template <typename Body> void start(Body &&body)
	{
		stop();
		m_running = true;
		m_thread = std::thread(std::forward<Body>(body));
	}

	void stop()
	{
		m_running = false;
		{
			std::lock_guard<std::mutex> guard(m_socketLock);
			if (m_socket)
				m_socket->abort();
		}
		if (m_thread.joinable())
			m_thread.join();
	}

	bool running() const { return m_running; }

	// Sleeps `ticks` ticks of tickMs, ending early once stopped; returns
	// whether still running.
	bool pause(int ticks, int tickMs) const
	{
		for (int i = 0; i < ticks && m_running; ++i)
			std::this_thread::sleep_for(std::chrono::milliseconds(tickMs));
		return m_running;
	}

	// The socket `stop` aborts; nullptr withdraws it (before it is closed
	// or destroyed).
	void publish(WebSocketClient *socket)
	{
		std::lock_guard<std::mutex> guard(m_socketLock);
		m_socket = socket;
	}

private:
	std::thread m_thread;
	std::atomic<bool> m_running{false};
	std::mutex m_socketLock; // guards m_socket
	WebSocketClient *m_socket = nullptr;
};

} // namespace vanteo::platform
