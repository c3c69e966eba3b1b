#pragma once

#include "feed/chat_sinks.h"
#include "kick/kick_events.h"
#include "platform/socket_worker.h"
#include "platform/websocket.h"

#include <cstdint>
#include <functional>
#include <string>

// Follows one Kick channel: checks whether it is live, and while it is,
// reads its chatroom on Kick's public Pusher socket (no account needed) and
// turns the chatroom's events into feed records and removals. Between
// sessions it waits and checks again by itself, as the TikTok client does.
//
//   Checking ── offline / lookup failed ──► wait 2 min ──► Checking
//      └── live ──► socket, subscribe ── refused ──► wait 2 min
//                      └── subscribed (Listening) ── closed ──► wait 5 s
//
// While listening, the channel is looked up again every 2 minutes for its
// viewer count; a channel that went offline ends the session.
//
// Threads: `start` and `stop` come from the owner's threads (never from a
// sink) and are serialised. The worker thread runs everything and calls the
// sinks; `stop` aborts whatever runs within about a second and returns only
// after every sink call has finished.
namespace vanteo {

class KickClient {
public:
	// Waits; the defaults are the product's values.
	struct Timings {
		int tickMs = 100;        // every wait sleeps in ticks that check `running`
		int recheckTicks = 1200; // 2 min between live checks
		int afterLiveTicks = 50; // 5 s after a session that had subscribed
		int pingAfterMs = 0;     // silence before we ping; 0: the server's activity timeout
		int pongWaitMs = 30000;  // no answer to our ping within this: the socket is dead
		platform::WebSocketTimings socket;
	};

	explicit KickClient(ChatSinks sinks);
	KickClient(ChatSinks sinks, Timings timings);
	~KickClient();
	KickClient(const KickClient &) = delete;
	KickClient &operator=(const KickClient &) = delete;

	// Stops whatever runs, then follows `slug` (empty: reports "Not
	// configured" and starts nothing).
	void start(const std::string &slug);
	void stop();
	// Tells the worker to end without waiting for it (stop still joins).
	void requestStop() { m_worker.requestStop(); }

private:
	void liveStatusLoop(std::string slug);
	// One session on the chatroom; true once it had subscribed.
	bool runLive(const std::string &slug, const std::string &username, const std::string &chatroomId);
	// Acts on one frame; false when the session must end.
	bool handle(const KickFrame &frame, platform::WebSocketClient &socket, const std::string &username,
		    bool &subscribed, int &pingAfterMs);
	void status(LinkState state, const std::string &detail);

	const ChatSinks m_sinks;
	const Timings m_timings;
	platform::SocketWorker m_worker;
};

} // namespace vanteo
