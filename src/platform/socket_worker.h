#pragma once

#include "common/log.h"
#include "platform/https.h"
#include "platform/websocket.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

// The worker thread of a connection that lives on one socket at a time (the
// Twitch chat reader, the TikTok client, the EventSub session): its running
// flag, and the socket of the moment published so that `stop` from another
// thread can abort a blocked connect or receive at once. The worker's HTTPS
// requests answer to the running flag too (platform/https.h), so a stop
// never waits for a lookup or a request to a stalled host. `stop` joins the
// worker, so nothing the worker calls runs after it returns.
//
// Threads: start and stop come from the owner's threads, in any number:
// each runs whole, one after the other (a start racing a stop or another
// start never leaves a thread unjoined). running, pause and publish come
// from the worker; start and stop never from the worker itself; wake from
// any thread. A pause sleeps on a condition variable that stop and wake
// notify: a waiting worker costs no wake-ups.
namespace vanteo::platform {

class SocketWorker {
public:
	// `name` says whose worker it is in the line logged when an exception
	// ends it.
	explicit SocketWorker(const char *name) : m_name(name) {}
	~SocketWorker() { stop(); }
	SocketWorker(const SocketWorker &) = delete;
	SocketWorker &operator=(const SocketWorker &) = delete;

	// Stops a running worker, then runs body on a new thread.
	template <typename Body> void start(Body &&body)
	{
		std::lock_guard<std::mutex> control(m_controlLock);
		stopLocked();
		{
			std::lock_guard<std::mutex> guard(m_pauseLock);
			m_running = true;
			m_woken = false;
		}
		try {
			m_thread = std::thread([this, body = std::forward<Body>(body)]() mutable {
				AbortScope requests(m_running);
				runGuarded(m_name, body);
			});
		} catch (const std::system_error &e) {
			m_running = false;
			logStopped(m_name, e.what());
		}
	}

	void stop()
	{
		std::lock_guard<std::mutex> control(m_controlLock);
		stopLocked();
	}

	// The first half of stop, without waiting: the worker winds down while
	// the caller stops other things; a later stop joins it.
	void requestStop()
	{
		{
			// Under the pause lock, so that a worker about to pause sees
			// the flag or gets the notification.
			std::lock_guard<std::mutex> guard(m_pauseLock);
			m_running = false;
		}
		m_pauseWake.notify_all();
		std::lock_guard<std::mutex> guard(m_socketLock);
		if (m_socket)
			m_socket->abort();
	}

	bool running() const { return m_running; }

	// Sleeps `ticks` ticks of tickMs, ending early once stopped or woken;
	// returns whether still running.
	bool pause(int ticks, int tickMs)
	{
		return pauseUntil(std::chrono::steady_clock::now() +
				  std::chrono::milliseconds(int64_t(ticks) * tickMs));
	}

	// Sleeps until `until`, ending early once stopped or woken; returns
	// whether still running.
	bool pauseUntil(std::chrono::steady_clock::time_point until)
	{
		std::unique_lock<std::mutex> waiting(m_pauseLock);
		m_pauseWake.wait_until(waiting, until, [this] { return !m_running || m_woken; });
		m_woken = false;
		return m_running;
	}

	// Ends the worker's current or next pause early (any thread).
	void wake()
	{
		{
			std::lock_guard<std::mutex> guard(m_pauseLock);
			m_woken = true;
		}
		m_pauseWake.notify_all();
	}

	// The socket `stop` aborts; nullptr withdraws it (before it is closed
	// or destroyed).
	void publish(WebSocketClient *socket)
	{
		std::lock_guard<std::mutex> guard(m_socketLock);
		m_socket = socket;
	}

	// Publishes a socket for the guard's life. Declared right after the
	// socket, it withdraws it before the socket goes, also when an exception
	// unwinds the worker. Publish before connecting: a stop then aborts the
	// connect, and one that comes while no connection exists makes the next
	// connect fail at once (WebSocketClient::abort).
	class Published {
	public:
		Published(SocketWorker &worker, WebSocketClient &socket) : m_worker(worker) { worker.publish(&socket); }
		~Published() { m_worker.publish(nullptr); }
		Published(const Published &) = delete;
		Published &operator=(const Published &) = delete;

	private:
		SocketWorker &m_worker;
	};

private:
	void stopLocked()
	{
		requestStop();
		if (m_thread.joinable())
			m_thread.join();
	}

	const char *const m_name;
	std::mutex m_controlLock; // serialises start and stop; guards m_thread
	std::thread m_thread;
	std::atomic<bool> m_running{false};
	std::mutex m_pauseLock; // guards m_woken; pairs with m_pauseWake (m_running changes under it)
	std::condition_variable m_pauseWake;
	bool m_woken = false;
	std::mutex m_socketLock; // guards m_socket
	WebSocketClient *m_socket = nullptr;
};

} // namespace vanteo::platform
