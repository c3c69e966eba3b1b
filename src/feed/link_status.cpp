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

namespace {

void appendLink(std::string &out, const char *key, const LinkStatus &link)
{
	out += out.empty() ? "{\"" : ",\"";
	out += key;
	out += "\":{\"state\":\"";
	out += linkStateWord(link.state);
	out += "\",\"detail\":";
	out += jsonQuote(link.detail);
	out += '}';
}

void appendCount(std::string &out, const char *key, int64_t n)
{
	out += out.empty() ? "{\"" : ",\"";
	out += key;
	out += "\":";
	out += n < 0 ? std::string("null") : std::to_string(n);
}

} // namespace

std::string statusObjectJson(const LinkStatus &twitch, const LinkStatus &tiktok)
{
	std::string out;
	appendLink(out, "twitch", twitch);
	appendLink(out, "tiktok", tiktok);
	return out + "}";
}

std::string statusObjectJson(const LinkStatus (&links)[kPlatformCount])
{
	std::string out;
	for (size_t i = 0; i < kPlatformCount; ++i)
		appendLink(out, platformWord(static_cast<Platform>(i)), links[i]);
	return out + "}";
}

std::string viewersObjectJson(int64_t twitch, int64_t tiktok)
{
	std::string out;
	appendCount(out, "twitch", twitch);
	appendCount(out, "tiktok", tiktok);
	return out + "}";
}

std::string viewersObjectJson(const int64_t (&counts)[kPlatformCount])
{
	std::string out;
	for (size_t i = 0; i < kPlatformCount; ++i)
		appendCount(out, platformWord(static_cast<Platform>(i)), counts[i]);
	return out + "}";
}

std::string highlightKind(const std::string &type)
{
	if (type.size() < 8)
		return std::string();
	size_t dot = type.find('.', 8);
	return type.substr(8, dot == std::string::npos ? std::string::npos : dot - 8);
}

} // namespace vanteo
