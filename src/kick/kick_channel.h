#pragma once

#include <cstdint>
#include <string>

// Kick's public channel answer (GET /api/v2/channels/<slug> on the Kick
// host): who the channel is, the chatroom its chat is in, and whether and
// how many watch now. Setup's channel check and the chat connection read it
// the same way.
namespace vanteo {

struct KickChannel {
	bool ok = false;
	std::string error;      // why not ok, as the pages show it
	std::string chatroomId; // digits
	std::string username;
	std::string avatar;
	bool live = false;
	int64_t viewers = -1; // while live, when the answer has a count
};

std::string kickChannelPath(const std::string &slug);

// Judges one answer: `completed` and `httpStatus` as the request reported.
// Never fails: junk gives a not-ok result.
KickChannel readKickChannel(bool completed, uint32_t httpStatus, const std::string &body);

// One look at the channel. Blocking; any thread (a worker's stop aborts it).
KickChannel lookupKickChannel(const std::string &slug);

} // namespace vanteo
