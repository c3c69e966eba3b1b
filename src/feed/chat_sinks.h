#pragma once

#include "feed/chat_message.h"
#include "feed/link_status.h"

#include <cstdint>
#include <functional>
#include <string>

// What a chat connection that reads without an account (Kick, YouTube)
// reports to its owner. Each may be empty. They are called on the
// connection's worker thread.
namespace vanteo {

struct ChatSinks {
	std::function<void(const ChatMessage &)> message;
	std::function<void(Platform, const LinkStatus &)> status;
	// A moderator's removal: one message (id), one user's messages (userId;
	// a timeout when a duration in seconds is given), or the whole chat.
	std::function<void(Platform, const std::string &id, const std::string &userId, const std::string &name,
			   const std::string &duration)>
	    clear;
	std::function<void(int64_t)> viewers;
};

} // namespace vanteo
