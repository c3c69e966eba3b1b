#pragma once

#include "feed/chat_message.h"

#include <cstdint>
#include <string>
#include <vector>

// YouTube's live chat as its own web player reads it, without an API key of
// ours: the channel's live page names the stream, the player's key and
// client version and the first continuation; each poll of get_live_chat with
// the latest continuation answers the chat actions since, the next
// continuation and how long to wait before asking again.
namespace vanteo {

struct YouTubeLivePage {
	bool live = false; // a live stream with its chat was found
	std::string videoId;
	std::string apiKey;        // INNERTUBE_API_KEY
	std::string clientVersion; // INNERTUBE_CLIENT_VERSION
	std::string continuation;  // the chat's first continuation
	int64_t viewers = -1;      // watching now, when the page says
};

// The live page of the channel with this handle (as stored: Setup checks
// the same "/@<handle>" page).
std::string youTubeLivePath(const std::string &handle);

// Reads the live page. A page without a live chat (the channel's own page,
// where YouTube sends visitors of a channel that is not live) gives live ==
// false. Never fails.
YouTubeLivePage readYouTubeLivePage(const std::string &html);

// A moderator's removal: one message (id) or every message of one author
// (userId, the author's channel id).
struct YouTubeRemoval {
	std::string id;
	std::string userId;
};

struct YouTubeChatAnswer {
	bool ok = false;          // the answer was a live chat continuation
	bool ended = false;       // ok, but no continuation follows: the chat is over
	std::string continuation; // for the next poll
	int timeoutMs = 0;        // how long YouTube asks us to wait (0: not said)
	std::vector<ChatMessage> records;
	std::vector<YouTubeRemoval> removals;
};

// The answers this reader takes at most; a longer body is refused unread.
constexpr size_t kMaxYouTubeChatAnswer = 4 * 1024 * 1024;
// Actions read from one answer at most; the rest are dropped.
constexpr size_t kMaxYouTubeActions = 500;

// The path and JSON body of one get_live_chat poll.
std::string youTubeChatPath(const std::string &apiKey);
std::string youTubeChatRequest(const std::string &clientVersion, const std::string &continuation);

// Reads one get_live_chat answer body. Never fails: junk gives ok == false.
YouTubeChatAnswer readYouTubeChatAnswer(const std::string &body);

} // namespace vanteo
