#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One chat line or activity item of either platform, and its JSON form.
namespace vanteo {

enum class Platform : int32_t { Twitch = 0, TikTok = 1, Kick = 2, YouTube = 3 };

// How many platforms there are; their values index arrays of this size.
constexpr size_t kPlatformCount = 4;

struct BadgeRef {
	std::string setId;
	std::string version;
};

struct EmoteSpan {
	int32_t start = 0;
	int32_t end = 0;
	std::string url;
	bool zeroWidth = false; // drawn over the emote before it
};

struct ChatMessage {
	Platform platform = Platform::Twitch;
	std::string id;
	std::string userId;
	std::string name;
	std::string text;
	std::string color;
	std::vector<BadgeRef> badges;
	std::vector<EmoteSpan> emotes;
	std::string replyTo;
	std::string replyText;
	std::string replyParentId;
	std::string replyThreadId;
	int64_t time = 0;
	bool action = false;
	std::string eventId;
	std::string eventText;
	std::string eventColor;
	std::string eventPlan;
	std::string eventMonths;
	std::string eventRecipient;
	std::string eventCount;
	std::string eventTotal;
	std::string eventViewers;
	std::string eventImage;
	int32_t bits = 0;
	int32_t subMonths = 0;
	bool firstMessage = false;
	bool returningChatter = false;
	std::string rewardId;
};

// "twitch", "kick" or "youtube"; "tiktok" for TikTok and any other value.
const char *platformWord(Platform platform);
// The name as people read it: "Twitch", "TikTok", "Kick" or "YouTube"
// (TikTok's for any other value, as platformWord).
const char *platformLabel(Platform platform);

// Colour of a name that has none: the byte sum of the name picks one of 15.
const std::string &defaultNameColor(const std::string &name);

// Appends `code` to the message's text with an emote span over it that
// draws `url` (spans count code points, as the pages do).
void appendEmote(ChatMessage &message, const std::string &code, const std::string &url);

// Milliseconds since 1970 by the wall clock.
int64_t nowMillis();

// The compact JSON object the pages receive as "message-in". Never fails.
std::string messageToJson(const ChatMessage &message);
// The same JSON written over `out`, whose storage is reused: a caller that
// keeps one buffer for every line allocates nothing per line.
void messageToJson(const ChatMessage &message, std::string &out);

} // namespace vanteo
