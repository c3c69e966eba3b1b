#pragma once

#include "feed/chat_message.h"

#include <cstdint>
#include <string>

// Connection state of one platform link as the pages see it.
namespace vanteo {

enum class LinkState : int32_t {
	Disabled = 0,
	Connecting = 1,
	Connected = 2,
	Offline = 3,
	Retry = 4,
	Error = 5,
};

struct LinkStatus {
	LinkState state = LinkState::Disabled;
	std::string detail = "Not configured";
};

// "disabled", "connecting", ... ; any unknown value reads "disabled".
const char *linkStateWord(LinkState state);

// {"twitch":{"state":..,"detail":..},"tiktok":{...}}
std::string statusObjectJson(const LinkStatus &twitch, const LinkStatus &tiktok);
// The same with every platform, keyed by platformWord, in Platform order:
// {"twitch":{..},"tiktok":{..},"kick":{..},"youtube":{..}}.
std::string statusObjectJson(const LinkStatus (&links)[kPlatformCount]);

// {"twitch":T,"tiktok":K} with null for a negative count.
std::string viewersObjectJson(int64_t twitch, int64_t tiktok);
// {"twitch":..,"tiktok":..,"kick":..,"youtube":..}, null for a negative count.
std::string viewersObjectJson(const int64_t (&counts)[kPlatformCount]);

// The highlight kind of an EventSub type: "channel.poll.begin" gives "poll";
// "" for a type shorter than 8 characters.
std::string highlightKind(const std::string &type);

} // namespace vanteo
