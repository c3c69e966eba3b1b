#pragma once

// A chat record as one line, for the mapping tables of each platform: the
// fields it filled in, in a fixed order, empty ones left out.
#include "feed/chat_message.h"

#include <string>

namespace vanteo::test {

inline std::string recordSummary(const ChatMessage &m)
{
	std::string out;
	auto add = [&](const char *key, const std::string &value) {
		if (!value.empty())
			out += (out.empty() ? "" : " ") + std::string(key) + "=" + value;
	};
	add("id", m.id);
	add("user", m.userId);
	add("name", m.name);
	add("color", m.color);
	add("text", m.text);
	add("event", m.eventId);
	add("what", m.eventText);
	add("plan", m.eventPlan);
	add("months", m.eventMonths);
	add("to", m.eventRecipient);
	add("count", m.eventCount);
	add("total", m.eventTotal);
	add("viewers", m.eventViewers);
	add("eventColor", m.eventColor);
	add("image", m.eventImage);
	add("replyTo", m.replyTo);
	add("replyText", m.replyText);
	for (const BadgeRef &b : m.badges)
		add("badge", b.setId + "/" + b.version);
	for (const EmoteSpan &e : m.emotes)
		add("emote", std::to_string(e.start) + "-" + std::to_string(e.end) + ":" + e.url);
	return out;
}

} // namespace vanteo::test
