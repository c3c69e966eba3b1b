#include "feed/chat_message.h"

#include "feed/badges.h"
#include "hub/json.h"

#include <chrono>

namespace vanteo {

namespace {

const std::string kNameColorPalette[15] = {
	"#ff0000", "#0000ff", "#008000", "#b22222", "#ff7f50", "#9acd32", "#ff4500", "#2e8b57",
	"#daa520", "#d2691e", "#5f9ea0", "#1e90ff", "#ff69b4", "#8a2be2", "#00ff7f",
};

void addString(std::string &out, const char *key, const std::string &value)
{
	out += ",\"";
	out += key;
	out += "\":";
	out += jsonQuote(value);
}

void addBool(std::string &out, const char *key, bool value)
{
	out += ",\"";
	out += key;
	out += value ? "\":true" : "\":false";
}

void addInt(std::string &out, const char *key, long long value)
{
	out += ",\"";
	out += key;
	out += "\":";
	out += std::to_string(value);
}

} // namespace

const char *platformWord(Platform platform)
{
	return platform == Platform::Twitch ? "twitch" : "tiktok";
}

const std::string &defaultNameColor(const std::string &name)
{
	uint32_t sum = 0;
	for (unsigned char c : name)
		sum += c;
	return kNameColorPalette[sum % 15];
}

int64_t nowMillis()
{
	using namespace std::chrono;
	return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

std::string messageToJson(const ChatMessage &m)
{
	std::string out;
	out.reserve(512 + m.text.size() + m.badges.size() * 64 + m.emotes.size() * 96);
	out += "{\"id\":";
	out += jsonQuote(m.id);
	out += ",\"platform\":\"";
	out += platformWord(m.platform);
	out += '"';
	addString(out, "userId", m.userId);
	addString(out, "name", m.name);
	addString(out, "color", m.color.empty() ? defaultNameColor(m.name) : m.color);
	addString(out, "text", m.text);
	addBool(out, "action", m.action);
	addString(out, "eventId", m.eventId);
	addString(out, "rewardId", m.rewardId);
	addString(out, "eventText", m.eventText);
	addString(out, "eventColor", m.eventColor);
	addString(out, "eventPlan", m.eventPlan);
	addString(out, "eventMonths", m.eventMonths);
	addString(out, "eventRecipient", m.eventRecipient);
	addString(out, "eventCount", m.eventCount);
	addString(out, "eventTotal", m.eventTotal);
	addString(out, "eventViewers", m.eventViewers);
	addString(out, "eventImage", m.eventImage);
	addString(out, "replyParentId", m.replyParentId);
	addString(out, "replyThreadId", m.replyThreadId);
	addInt(out, "subMonths", m.subMonths);
	addInt(out, "bits", m.bits);
	addBool(out, "firstMessage", m.firstMessage);
	addBool(out, "returningChatter", m.returningChatter);
	addInt(out, "time", m.time >= 1 ? m.time : nowMillis());
	addString(out, "replyTo", m.replyTo);
	addString(out, "replyText", m.replyText);

	out += ",\"badges\":[";
	bool first = true;
	for (const BadgeRef &badge : m.badges) {
		std::string url = catalogBadgeUrl(badge.setId, badge.version);
		if (url.empty()) {
			if (!hasBuiltInBadge(badge.setId))
				continue;
			url = "/badge/" + badge.setId + ".png";
		}
		std::string title = catalogBadgeTitle(badge.setId, badge.version);
		if (title.empty())
			title = badgeTitle(badge.setId);
		if (!first)
			out += ',';
		first = false;
		out += "{\"url\":";
		out += jsonQuote(url);
		out += ",\"title\":";
		out += jsonQuote(title);
		out += '}';
	}
	out += "],\"emotes\":[";
	first = true;
	for (const EmoteSpan &emote : m.emotes) {
		if (!first)
			out += ',';
		first = false;
		out += "{\"start\":";
		out += std::to_string(emote.start);
		out += ",\"end\":";
		out += std::to_string(emote.end);
		out += ",\"url\":";
		out += jsonQuote(emote.url);
		out += '}';
	}
	out += "]}";
	return out;
}

} // namespace vanteo
