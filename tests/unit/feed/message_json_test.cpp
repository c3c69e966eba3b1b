#include "feed/badges.h"
#include "feed/chat_message.h"
#include "feed/link_status.h"
#include "common/json.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>

using namespace vanteo;

TEST(Json, EscapesEveryControlByteAndLeavesUtf8Alone)
{
	EXPECT_EQ(jsonEscape("a\"b\\c\nd"), "a\\\"b\\\\c\\nd");
	EXPECT_EQ(jsonEscape("\t\r"), "\\t\\r");
	for (int c = 1; c < 32; ++c) {
		if (c == '\t' || c == '\n' || c == '\r')
			continue;
		char expected[8];
		snprintf(expected, sizeof(expected), "\\u%04x", c);
		EXPECT_EQ(jsonEscape(std::string(1, static_cast<char>(c))), expected) << c;
	}
	EXPECT_EQ(jsonEscape(std::string("\0", 1)), "\\u0000");
	EXPECT_EQ(jsonEscape("héllo ✓ /\x7f"), "héllo ✓ /\x7f");
}

TEST(MessageJson, FilledRecordKeepsValuesAndEscapes)
{
	ChatMessage m;
	m.platform = static_cast<Platform>(7); // any non-Twitch value reads as TikTok
	m.id = "id1";
	m.userId = "42";
	m.name = "Zoë \"Z\"";
	m.text = "line1\nline2 \\ ✓";
	m.color = "red-ish";
	m.action = true;
	m.eventId = "resub";
	m.rewardId = "r";
	m.eventMonths = "12";
	m.replyParentId = "p";
	m.replyThreadId = "t";
	m.subMonths = -1;
	m.bits = 100;
	m.firstMessage = true;
	m.returningChatter = true;
	m.time = 1700000000123;
	m.replyTo = "Ann";
	m.replyText = "hi";
	m.emotes = {{0, 4, "https://e/1"}, {-1, 2147483647, "u\"rl"}};
	std::string json = messageToJson(m);
	EXPECT_EQ(json, "{\"id\":\"id1\",\"platform\":\"tiktok\",\"userId\":\"42\",\"name\":\"Zoë \\\"Z\\\"\","
			"\"color\":\"red-ish\",\"text\":\"line1\\nline2 \\\\ ✓\",\"action\":true,\"eventId\":\"resub\","
			"\"rewardId\":\"r\",\"eventText\":\"\",\"eventColor\":\"\",\"eventPlan\":\"\","
			"\"eventMonths\":\"12\",\"eventRecipient\":\"\",\"eventCount\":\"\",\"eventTotal\":\"\","
			"\"eventViewers\":\"\",\"eventImage\":\"\",\"replyParentId\":\"p\",\"replyThreadId\":\"t\","
			"\"subMonths\":-1,\"bits\":100,\"firstMessage\":true,\"returningChatter\":true,"
			"\"time\":1700000000123,\"replyTo\":\"Ann\",\"replyText\":\"hi\",\"badges\":[],"
			"\"emotes\":[{\"start\":0,\"end\":4,\"url\":\"https://e/1\"},"
			"{\"start\":-1,\"end\":2147483647,\"url\":\"u\\\"rl\"}]}");

	// No time of its own: the moment it is written.
	m.time = -5;
	json = messageToJson(m);
	EXPECT_GT(std::stoll(json.substr(json.find("\"time\":") + 7)), 1700000000123);
}

TEST(MessageJson, DefaultColourFromByteSum)
{
	EXPECT_EQ(defaultNameColor(""), "#ff0000");
	// Every byte of a multi-byte character counts: 0xC3 + 0xA9 = 364, 364 % 15 = 4.
	EXPECT_EQ(defaultNameColor("é"), "#ff7f50");
	ChatMessage m;
	m.name = "abc";
	EXPECT_NE(messageToJson(m).find("\"color\":\"#d2691e\""), std::string::npos);
}

TEST(LinkStatus, StatusViewersAndHighlightKinds)
{
	// The defaults are the hub's (Hub.SnapshotOfANewPage).
	LinkStatus odd{static_cast<LinkState>(9), "a\"b\nc"};
	LinkStatus live{LinkState::Connected, "Listening · @x"};
	EXPECT_EQ(statusObjectJson(live, odd), "{\"twitch\":{\"state\":\"connected\",\"detail\":\"Listening · @x\"},"
					       "\"tiktok\":{\"state\":\"disabled\",\"detail\":\"a\\\"b\\nc\"}}");

	EXPECT_EQ(viewersObjectJson(0, 1234567890123), "{\"twitch\":0,\"tiktok\":1234567890123}");

	EXPECT_EQ(highlightKind("channel.hype_train.end"), "hype_train");
	EXPECT_EQ(highlightKind("short"), "");
}

TEST(MessageJson, WorstCaseEscapingStaysWellFormed)
{
	// Every string byte becomes a six-byte escape and every number takes
	// its widest form; the output must still be complete JSON.
	ChatMessage m;
	const std::string nasty(300, '\x01');
	for (std::string *field :
	     {&m.id, &m.userId, &m.name, &m.text, &m.eventId, &m.rewardId, &m.eventText, &m.eventColor, &m.eventPlan,
	      &m.eventMonths, &m.eventRecipient, &m.eventCount, &m.eventTotal, &m.eventViewers, &m.eventImage,
	      &m.replyParentId, &m.replyThreadId, &m.replyTo, &m.replyText})
		*field = nasty;
	m.subMonths = INT32_MIN;
	m.bits = INT32_MIN;
	m.time = INT64_MAX;
	m.badges = {{"vip", nasty}, {"moderator", "1"}};
	catalogSetBadge("vip", nasty, nasty, nasty);
	m.emotes = {{INT32_MIN, INT32_MIN, nasty}, {INT32_MAX, INT32_MAX, ""}};
	std::string json = messageToJson(m);
	EXPECT_EQ(jsonField(json, "text"), nasty);
	EXPECT_NE(json.find("\"time\":9223372036854775807,"), std::string::npos);
	EXPECT_NE(json.find("\"subMonths\":-2147483648,\"bits\":-2147483648,"), std::string::npos);
	EXPECT_NE(json.find("{\"start\":2147483647,\"end\":2147483647,\"url\":\"\"}]}"), std::string::npos);
}
