#include "server/demo_events.h"

#include "hub/chat_dock.h"
#include "common/json.h"

#include <atomic>

namespace vanteo {

bool demoMessage(const std::string &kind, const std::string &name, int64_t nowMs, ChatMessage &m)
{
	m = ChatMessage();
	m.id = "demo-" + std::to_string(nowMs);
	m.userId = "0";
	m.name = name;
	m.color = "#a970ff";
	m.platform = kind.compare(0, 2, "tt") == 0 ? Platform::TikTok : Platform::Twitch;

	if (kind == "sub") {
		m.eventId = "sub";
		m.eventPlan = "1000";
	} else if (kind == "resub") {
		m.eventId = "resub";
		m.eventPlan = "Prime";
		m.eventMonths = "12";
		m.text = "twelve months!";
	} else if (kind == "subgift") {
		m.eventId = "subgift";
		m.eventPlan = "1000";
		m.eventRecipient = "Doravoviz";
	} else if (kind == "submysterygift") {
		m.eventId = "submysterygift";
		m.eventPlan = "1000";
		m.eventCount = "5";
		m.eventTotal = "5";
	} else if (kind == "raid") {
		m.eventId = "raid";
		m.eventViewers = "42";
	} else if (kind == "cheer") {
		m.bits = 100;
		m.text = "Cheer100 great stream";
	} else if (kind == "ttgift") {
		m.eventId = "gift";
		m.eventText = "Rose";
		m.eventCount = "5";
		m.eventTotal = "5";
	} else if (kind == "ttfollow") {
		m.eventId = "follow";
	} else if (kind == "ttshare") {
		m.eventId = "share";
	} else {
		return false;
	}
	return true;
}

std::string demoFollowJson(const std::string &name)
{
	return "{\"platform\":\"twitch\",\"type\":\"follow\",\"userId\":\"0\",\"name\":" + jsonQuote(name) +
	       ",\"login\":" + jsonQuote(name) + ",\"time\":\"\"}";
}

std::string runDemo(ChatDock &hub, const std::string &kind, const std::string &nameIn)
{
	const std::string name = nameIn.empty() ? std::string("Test_User") : nameIn;
	if (kind == "follow") {
		hub.onActivity(demoFollowJson(name));
		return "{\"ok\":true}";
	}
	if (kind == "viewers") {
		hub.requestDemoViewers();
		hub.broadcast("viewers", "{\"twitch\":35,\"tiktok\":14}");
		return "{\"ok\":true}";
	}
	ChatMessage message;
	if (!demoMessage(kind, name, nowMillis(), message))
		return errorReply("Unknown test type");
	// Items sent within one millisecond must not share an id: the pages
	// know what they already show by it.
	static std::atomic<uint64_t> sent{0};
	message.id += "-" + std::to_string(++sent);
	hub.onMessage(message);
	return "{\"ok\":true}";
}

} // namespace vanteo
