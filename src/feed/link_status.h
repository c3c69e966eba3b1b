#pragma once

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

// {"twitch":T,"tiktok":K} with null for a negative count.
std::string viewersObjectJson(int64_t twitch, int64_t tiktok);

// The highlight kind of an EventSub type: "channel.poll.begin" gives "poll";
// "" for a type shorter than 8 characters.
std::string highlightKind(const std::string &type);

} // namespace vanteo
