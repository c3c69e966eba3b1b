#pragma once

#include "feed/chat_message.h"
#include "feed/link_status.h"
#include "platform/socket_worker.h"
#include "platform/websocket.h"

#include <functional>
#include <string>

// The anonymous, read-only connection to the configured channel's Twitch
// chat: IRC lines over a WebSocket. It logs in with a guest nick, joins,
// answers PINGs, turns lines into feed records and removals, reports its
// state and reconnects by itself after a fixed pause until stopped.
//
// Threads: `start` and `stop` are called by the owner's threads (never from
// a sink) and are serialised; the sinks run on the worker thread, the status
// sink also on the join watchdog. `stop` aborts the published socket, so a
// blocked connect or receive ends at once, and returns only after every
// sink call has finished.
namespace vanteo {

class TwitchChatReader {
public:
	using MessageSink = std::function<void(const ChatMessage &)>;
	using StatusSink = std::function<void(Platform, const LinkStatus &)>;
	using ClearSink = std::function<void(Platform, const std::string &id, const std::string &userId,
					     const std::string &name, const std::string &duration)>;

	// Waits and caps; the defaults are the product's values.
	struct Timings {
		int tickMs = 100;         // the unit of the waits below; a stop ends any of them at once
		int joinTicks = 150;      // 15 s for the join reply
		int retryTicks = 100;     // 10 s between attempts
		int idleLimitMs = 360000; // nothing received for 6 min: the socket is dead
		size_t lineBufferCap = 200000;
		platform::WebSocketTimings socket;
	};

	using RoomSink = std::function<void(const std::string &roomId)>;

	TwitchChatReader(MessageSink message, StatusSink status, ClearSink clear);
	TwitchChatReader(MessageSink message, StatusSink status, ClearSink clear, Timings timings);
	~TwitchChatReader();
	TwitchChatReader(const TwitchChatReader &) = delete;
	TwitchChatReader &operator=(const TwitchChatReader &) = delete;

	// Told the channel's Twitch id ("room-id" of ROOMSTATE) on every
	// ROOMSTATE. Set before the first start.
	void setRoomSink(RoomSink room) { m_room = std::move(room); }

	// Stops any session, then connects to `channel` (empty: reports "Not
	// configured" and starts nothing).
	void start(const std::string &channel);
	void stop();
	// Tells the worker to end without waiting for it (stop still joins).
	void requestStop() { m_worker.requestStop(); }

private:
	struct Attempt;
	void run(std::string channel);
	void session(platform::WebSocketClient &socket, const std::string &channel, std::string &buffer);
	// Adds a received message to `buffer` and dispatches its complete
	// lines; false after RECONNECT or when a line outgrows the cap.
	bool takeMessage(platform::WebSocketClient &socket, Attempt &attempt, const std::string &channel,
			 std::string &buffer, std::string &payload);
	// Dispatches the complete lines of `buffer`; false after RECONNECT.
	bool dispatchLines(platform::WebSocketClient &socket, Attempt &attempt, const std::string &channel,
			   std::string &buffer);
	void watchJoin(platform::WebSocketClient *socket, Attempt *attempt);
	void status(LinkState state, const std::string &detail);

	MessageSink m_message;
	StatusSink m_status;
	ClearSink m_clear;
	RoomSink m_room;
	const Timings m_timings;
	platform::SocketWorker m_worker;
};

// The guest login line: "NICK justinfan" + six digits (100000-999998).
std::string guestNickLine();

} // namespace vanteo
