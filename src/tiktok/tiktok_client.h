#pragma once

#include "feed/chat_message.h"
#include "feed/link_status.h"
#include "platform/socket_worker.h"
#include "platform/websocket.h"
#include "tiktok/room_lookup.h"

#include <cstdint>
#include <functional>
#include <string>

// Follows one TikTok account: checks whether it is live, and while it is,
// holds the room's push socket and turns its frames into feed records and
// viewer counts. Between sessions it waits and checks again by itself.
//
//   Checking ── offline / lookup failed ──► wait 2 min ──► Checking
//      └── live ──► signing ── failed ──► wait 2 min
//                      └── socket open (Listening) ── closed ──► wait 5 s
//
// Threads: `start` and `stop` are called by the owner's threads (never from
// a sink) and are serialised. The worker thread runs the checks and the live
// session and calls the three sinks; while a socket is open a heartbeat
// thread only sends on it. `stop` aborts whatever runs (the room lookup, the
// signing request, the connect, a blocked receive) within about a second and
// returns only after every sink call has finished.
namespace vanteo {

class TikTokClient {
public:
	using MessageSink = std::function<void(const ChatMessage &)>;
	using StatusSink = std::function<void(Platform, const LinkStatus &)>;
	using ViewerSink = std::function<void(int64_t)>;

	// Waits; the defaults are the product's values.
	struct Timings {
		int tickMs = 100;           // every wait sleeps in ticks that check `running`
		int recheckTicks = 1200;    // 2 min after an offline answer or a failed set-up
		int afterLiveTicks = 50;    // 5 s after a live session that had connected
		int heartbeatTicks = 100;   // 10 s between heartbeats
		int silenceLimitMs = 60000; // no frame for 60 s: the socket is dead
		platform::WebSocketTimings socket;
	};

	TikTokClient(MessageSink message, StatusSink status, ViewerSink viewers);
	TikTokClient(MessageSink message, StatusSink status, ViewerSink viewers, Timings timings);
	~TikTokClient();
	TikTokClient(const TikTokClient &) = delete;
	TikTokClient &operator=(const TikTokClient &) = delete;

	// Stops whatever runs, then follows `uniqueId` (empty: reports "Not
	// configured" and starts nothing).
	void start(const std::string &uniqueId);
	void stop();
	// Tells the worker to end without waiting for it (stop still joins).
	void requestStop() { m_worker.requestStop(); }

	// One look at the account's room on the TikTok web host. Blocking; any
	// thread.
	static RoomLookup lookupRoom(const std::string &uniqueId);

private:
	struct Heartbeat;

	void liveStatusLoop(std::string uniqueId);
	// One live session; true once the socket had been opened, false when
	// the set-up failed (already reported).
	bool runLive(const std::string &uniqueId, const std::string &roomId);
	void receiveLoop(platform::WebSocketClient &socket);
	void heartbeatLoop(Heartbeat *beat);
	void status(LinkState state, const std::string &detail);

	MessageSink m_message;
	StatusSink m_status;
	ViewerSink m_viewers;
	const Timings m_timings;
	platform::SocketWorker m_worker;
};

} // namespace vanteo
