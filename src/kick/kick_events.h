#pragma once

#include "feed/chat_message.h"

#include <cstdint>
#include <string>
#include <vector>

// Kick's chat arrives as Pusher frames: a JSON envelope {"event":..,
// "channel":..,"data":..} whose data is itself JSON written into a string.
// This reads one frame into what the connection acts on: the protocol's own
// events (connection established, ping, subscription answers, errors) and the
// chatroom's events as feed records and removals.
namespace vanteo {

// A removal by a moderator, in the hub's onClear terms: one message (id),
// one user's messages (userId; a timeout when a duration in seconds is
// given, a ban otherwise), or the whole chat (both empty).
struct KickClear {
	std::string id;
	std::string userId;
	std::string name;
	std::string duration;
};

struct KickFrame {
	enum class Kind {
		Ignored,     // unreadable, another channel's, or an event of no interest
		Established, // pusher:connection_established
		Ping,        // pusher:ping: answer with a pong
		Pong,        // pusher:pong
		Subscribed,  // pusher_internal:subscription_succeeded
		Error,       // pusher:error or pusher:subscription_error
		Record,      // `record` holds a chat line or an activity item
		Clear,       // `clear` holds a removal
	};
	Kind kind = Kind::Ignored;
	int activityTimeoutSeconds = 0; // Established: how long the server tolerates silence
	std::string error;              // Error: the server's message
	ChatMessage record;
	KickClear clear;
};

// The Pusher channel of a chatroom's events.
std::string kickChatChannel(const std::string &chatroomId);

// The subscribe and ping frames the client sends.
std::string kickSubscribeFrame(const std::string &chatroomId);
extern const char kKickPingFrame[];
extern const char kKickPongFrame[];

// One received text frame. Events of channels other than `channel` are
// ignored. Never fails: junk gives Ignored.
KickFrame readKickFrame(const std::string &text, const std::string &channel);

// Kick's chat text with its emote markup "[emote:ID:name]" turned into the
// emote's name with a span over it; the rest stays as written.
void kickTextWithEmotes(const std::string &content, ChatMessage &record);

} // namespace vanteo
