#include "feed/link_status.h"

#include "common/json.h"

namespace vanteo {

const char *linkStateWord(LinkState state)
{
	switch (state) {
	case LinkState::Connecting:
		return "connecting";
	case LinkState::Connected:
		return "connected";
	case LinkState::Offline:
		return "offline";
	case LinkState::Retry:
		return "retry";
	case LinkState::Error:
		return "error";
	default:
		return "disabled";
	}
}

std::string statusObjectJson(const LinkStatus &twitch, const LinkStatus &tiktok)
{
	std::string out = "{\"twitch\":{\"state\":\"";
	out += linkStateWord(twitch.state);
	out += "\",\"detail\":";
	out += jsonQuote(twitch.detail);
	out += "},\"tiktok\":{\"state\":\"";
	out += linkStateWord(tiktok.state);
	out += "\",\"detail\":";
	out += jsonQuote(tiktok.detail);
	out += "}}";
	return out;
}

std::string viewersObjectJson(int64_t twitch, int64_t tiktok)
{
	auto count = [](int64_t n) {
		return n < 0 ? std::string("null") : std::to_string(n);
	};
	return "{\"twitch\":" + count(twitch) + ",\"tiktok\":" + count(tiktok) + "}";
}

std::string highlightKind(const std::string &type)
{
	if (type.size() < 8)
		return std::string();
	size_t dot = type.find('.', 8);
	return type.substr(8, dot == std::string::npos ? std::string::npos : dot - 8);
}

} // namespace vanteo
