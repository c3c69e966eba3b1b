#pragma once

#include "platform/socket_worker.h"
#include "platform/websocket.h"
#include "twitch/helix.h"

#include <functional>
#include <memory>
#include <string>

// Twitch EventSub over a WebSocket: AutoMod holds and their resolution,
// follows, channel-point redemptions, polls, predictions and hype trains.
// One session per connected account; it subscribes at every welcome and
// reconnects by itself until stopped.
//
// Threads: the worker runs the loop and calls every sink; start and stop come
// from the hub's threads and are serialised (see platform/socket_worker.h).
// A stop ends any phase (connect, subscriptions, receive) within about a
// second.
namespace vanteo {

struct HeldMessage {
	std::string id;
	std::string userId;
	std::string name;
	std::string text;
	std::string reason;
	std::string category;
	bool resolved = false;
	bool approved = false;
};

// {"id":..,"userId":..,"name":..,"text":..,"reason":..,"category":..,
//  "resolved":..,"approved":..}: the "held" event of the pages.
std::string heldMessageJson(const HeldMessage &held);

class EventSubSession {
public:
	using HeldSink = std::function<void(const HeldMessage &)>;
	using TextSink = std::function<void(const std::string &)>;

	struct Timings {
		int tickMs = 100;
		int droppedPauseTicks = 50; // after a lost socket
		int failedPauseTicks = 300; // after a failed connect
		// A socket silent for the keep-alive time Twitch announced plus this
		// grace is dead; Twitch itself gives up on it then.
		int keepaliveGraceMs = 5000;
		platform::WebSocketTimings socket;
	};

	EventSubSession();
	explicit EventSubSession(Timings timings);
	~EventSubSession();
	EventSubSession(const EventSubSession &) = delete;
	EventSubSession &operator=(const EventSubSession &) = delete;

	// Stops any running session, then starts one when the token and the
	// broadcaster id are both set; otherwise nothing starts or is reported.
	void start(const HelixContext &ctx, HeldSink held, TextSink automod, TextSink activity, TextSink highlight);
	void stop();
	// Tells the worker to end without waiting for it (stop still joins).
	void requestStop() { m_worker.requestStop(); }

private:
	struct Run;
	void worker(std::shared_ptr<Run> run);
	bool awaitWelcome(platform::WebSocketClient &socket, int keepaliveMs, std::string &welcome);
	void subscribeAll(const Run &run, const std::string &sessionId);

	const Timings m_timings;
	platform::SocketWorker m_worker;
};

// Creates one subscription for the session on the broadcaster's channel;
// false with Twitch's reason.
bool subscribe(const HelixContext &ctx, const std::string &sessionId, const std::string &type,
	       const std::string &version, std::string &errorOut, bool withModerator);

// The outputs of one notification message ("metadata" + "payload"), for the
// session and for tests.
void dispatchNotification(const std::string &message, const EventSubSession::HeldSink &held,
			  const EventSubSession::TextSink &activity, const EventSubSession::TextSink &highlight);

} // namespace vanteo
