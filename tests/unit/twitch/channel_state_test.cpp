#include "feed/badges.h"
#include "feed/chat_message.h"
#include "twitch/helix_fixture.h"
#include "twitch/chatters.h"
#include "twitch/emotes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// One emote element of a Helix emote page.
std::string emote(const std::string &id, const std::string &name, const std::string &type, const std::string &owner)
{
	return "{\"id\":" + jsonQuote(id) + ",\"name\":" + jsonQuote(name) + ",\"emote_type\":" + jsonQuote(type) +
	       ",\"owner_id\":" + jsonQuote(owner) + "}";
}

std::string page(const std::string &items)
{
	return "{\"data\":[" + items + "],\"template\":\"T/{{id}}/{{format}}/{{theme_mode}}/{{scale}}/{{id}}\"}";
}

// "name@group" of each emote, then "|" and "name(avatar)" of each group.
std::string outline(const std::string &json)
{
	const JsonValue v = JsonValue::parse(json);
	std::string out;
	for (const JsonValue &e : v["emotes"].items())
		out += e["name"].str() + "@" + e["group"].str() + " ";
	out += "|";
	for (const JsonValue &g : v["groups"].items())
		out += " " + g["name"].str() + "(" + g["avatar"].str() + ")";
	return out;
}

using ChannelStateTest = HelixFixture;

} // namespace

TEST(EmoteCatalogRules, GroupsDuplicatesOwnersAndOrder)
{
	EmoteCatalog c;
	// The channel's page: fixed group, the template's first placeholders.
	EXPECT_EQ(c.addPage(page(emote("c1", "chanHi", "subscriptions", "1001") + "," +
				 emote("", "noId", "globals", "") + "," + emote("c2", "", "globals", "")),
			    "channel"),
		  "");
	// The account's pages: owners only for the three owned types.
	c.addPage(page(emote("x1", "chanHi", "subscriptions", "2002") + "," +
		       emote("b1", "bobWave", "subscriptions", "2002") + "," +
		       emote("z1", "zedPog", "follower", "3003") + "," + emote("a1", "amyBits", "bitstier", "4004") +
		       "," + emote("g0", "zeroOwner", "subscriptions", "0") + "," +
		       emote("s1", "smileSet", "smilies", "5005") + "," +
		       emote("u1", "unknownOwner", "follower", "9999") + "," +
		       emote("b2", "bobLove", "subscriptions", "2002")),
		  "");
	c.addPage(page(emote("k", "Kappa", "globals", "") + "," + emote("zz", "zedPog", "globals", "")), "globali");
	// 9999 is not among the users Twitch returned; "amy" sorts before
	// "Bob" and "Other Channels" with case ignored, the first avatar wins.
	c.addOwners("{\"data\":[{\"id\":\"2002\",\"display_name\":\"Bob\",\"profile_image_url\":\"p2\"},"
		    "{\"id\":\"3003\",\"display_name\":\"zed\",\"profile_image_url\":\"p3\"},"
		    "{\"id\":\"4004\",\"display_name\":\"amy\",\"profile_image_url\":\"p4\"}]}");
	EXPECT_EQ(outline(c.json()), "chanHi@channel bobWave@Bob zedPog@zed amyBits@amy zeroOwner@globali "
				     "smileSet@globali unknownOwner@Other Channels bobLove@Bob Kappa@globali | "
				     "channel() amy(p4) Bob(p2) Other Channels() zed(p3) globali()");
	EXPECT_EQ(JsonValue::parse(c.json())["emotes"][0]["url"].str(), "T/c1/default/dark/2.0/{{id}}");

	// Without a template the Twitch emote host is used; junk pages add nothing.
	EmoteCatalog d;
	EXPECT_EQ(d.addPage("{\"data\":[" + emote("25", "K", "globals", "") + "],\"pagination\":{\"cursor\":\"n\"}}",
			    ""),
		  "n");
	EXPECT_EQ(d.addPage("not json", ""), "");
	const std::string path = "/emoticons/v2/{{id}}/{{format}}/{{theme_mode}}/{{scale}}";
	std::string url = defaultEmoteTemplate();
	ASSERT_NE(url.find(path), std::string::npos);
	url.replace(url.find(path), path.size(), "/emoticons/v2/25/default/dark/2.0");
	EXPECT_EQ(JsonValue::parse(d.json())["emotes"][0]["url"].str(), url);
}

TEST_F(ChannelStateTest, EmotesOfTheChannelTheAccountAndTwitch)
{
	std::string json;
	std::string error;
	ASSERT_TRUE(loadEmotes(helix(), json, error));
	EXPECT_EQ(error, "");
	EXPECT_EQ(calls(),
		  (std::vector<std::string>{"GET /helix/chat/emotes?broadcaster_id=1001",
					    "GET /helix/chat/emotes/user?first=100&user_id=1001",
					    "GET /helix/chat/emotes/global", "GET /helix/users?id=3003&id=4004"}));
	// What the picker shows of it is account.test.mjs's.

	// The account's pages refused: the global emotes and the sign-in text.
	script("GET", "/helix/chat/emotes/user", 401, "{\"status\":401,\"message\":\"Invalid OAuth token\"}");
	ASSERT_TRUE(loadEmotes(helix(""), json, error));
	EXPECT_EQ(error, "Authorization is required again; click Connect Twitch Account");
	EXPECT_EQ(calls(), (std::vector<std::string>{"GET /helix/chat/emotes/user?first=100&user_id=1001",
						     "GET /helix/chat/emotes/global"}));
	EXPECT_EQ(outline(json), "Kappa@globali 4Head@globali | globali()");

	// Nothing at all: the generic text; a 401 keeps its own.
	script("GET", "/helix/chat/emotes/global", 503, "\"\"");
	error.clear();
	EXPECT_FALSE(loadEmotes(helix(""), json, error));
	EXPECT_EQ(error, "Authorization is required again; click Connect Twitch Account");
	script("GET", "/helix/chat/emotes/user", 500, "\"\"");
	error.clear();
	EXPECT_FALSE(loadEmotes(helix(""), json, error));
	EXPECT_EQ(error, "Twitch returned no emotes");
}

TEST_F(ChannelStateTest, EmotePagesStopAtFortyAndOwnersGoInHundreds)
{
	std::string list;
	for (int i = 0; i < 170; ++i)
		list += (i ? "," : "") +
			emote("e" + std::to_string(i), "em" + std::to_string(i), "follower", std::to_string(9000 + i));
	configure("{\"userEmotes\":[" + list + "],\"pageSize\":{\"GET /helix/chat/emotes/user\":4}}");
	std::string json;
	std::string error;
	ASSERT_TRUE(loadEmotes(helix(""), json, error));
	std::vector<std::string> users;
	size_t pages = 0;
	for (const std::string &call : calls()) {
		pages += call.rfind("GET /helix/chat/emotes/user?first=100&user_id=1001", 0) == 0;
		if (call.rfind("GET /helix/users?", 0) == 0)
			users.push_back(call);
	}
	EXPECT_EQ(pages, 40u);
	ASSERT_EQ(users.size(), 2u);
	EXPECT_EQ(std::count(users[0].begin(), users[0].end(), '='), 100);
	EXPECT_EQ(users[1].rfind("GET /helix/users?id=9100&id=9101&", 0), 0u);
	const JsonValue v = JsonValue::parse(json);
	EXPECT_EQ(v["emotes"].size(), 160u + 2u); // 40 pages of 4, then the two global ones
	EXPECT_EQ(v["emotes"][159]["name"].str(), "em159");
}

TEST_F(ChannelStateTest, ChannelBadgesReplaceGlobalOnesInChatLines)
{
	EXPECT_FALSE(loadBadges(HelixContext{TwitchAccount(), kClientId, "1001"}));
	EXPECT_FALSE(loadBadges(HelixContext{m_account, "", "1001"}));
	EXPECT_TRUE(calls().empty());

	const std::string base = "https://" + m_fakes.address("twitch-helix");
	// A version without an image is left out. (The catalogue lives as long
	// as the process: the keys here are ones no other test relies on.)
	configure("{\"globalBadges\":[{\"set_id\":\"subscriber\",\"versions\":["
		  "{\"id\":\"12\",\"image_url_2x\":\"" +
		  base +
		  "/static/g12\",\"title\":\"1-Year Subscriber\"}]},"
		  "{\"set_id\":\"bits\",\"versions\":[{\"id\":\"1\",\"image_url_2x\":\"\",\"title\":\"cheer 1\"},"
		  "{\"id\":\"100\",\"image_url_2x\":\"" +
		  base + "/static/b100\",\"title\":\"cheer 100\"}]}]}");
	EXPECT_TRUE(loadBadges(helix("")));
	EXPECT_EQ(calls(), std::vector<std::string>{"GET /helix/chat/badges/global"});
	EXPECT_EQ(catalogBadgeTitle("subscriber", "12"), "1-Year Subscriber");

	EXPECT_TRUE(loadBadges(helix()));
	EXPECT_EQ(calls(), (std::vector<std::string>{"GET /helix/chat/badges/global",
						     "GET /helix/chat/badges?broadcaster_id=1001"}));
	EXPECT_EQ(catalogBroadcaster(), "1001");

	ChatMessage line;
	line.name = "viewer";
	line.badges = {{"subscriber", "12"}, {"bits", "1"}, {"bits", "100"}, {"turbo", "1"}};
	std::string shown;
	for (const JsonValue &b : JsonValue::parse(messageToJson(line))["badges"].items())
		shown += b["title"].str() + "=" + b["url"].str() + " ";
	EXPECT_EQ(shown, "Streamer Year=" + base + "/static/badges/v1/subscriber-12/2 cheer 100=" + base +
			     "/static/b100 turbo=/badge/turbo.png ");

	// A failed channel request is the outcome; the global version stays.
	script("GET", "/helix/chat/badges", 500, "\"\"");
	EXPECT_FALSE(loadBadges(helix()));
	EXPECT_EQ(catalogBadgeTitle("subscriber", "12"), "1-Year Subscriber");
}

TEST(ChatterRoles, EachChatterInOneRoleSorted)
{
	// Channel name in other letter case; mod + VIP is a moderator; a bot that
	// moderates is a moderator; sorted with case ignored.
	EXPECT_EQ(chattersJson({"zed", "Nightbot", "StreamER", "both", "amy", "StreamElements", "Bob"},
			       {"nightbot", "BOTH"}, {"both", "Zed"}, "streamer"),
		  "{\"broadcaster\":\"StreamER\",\"moderators\":[\"both\",\"Nightbot\"],\"vips\":[\"zed\"],"
		  "\"bots\":[\"StreamElements\"],\"viewers\":[\"amy\",\"Bob\"],\"total\":7}");
	// The broadcaster away: null; names stay valid JSON whatever they hold.
	EXPECT_EQ(chattersJson({"q\"t", "b\\s", "c\x01"}, {}, {}, "x"),
		  "{\"broadcaster\":null,\"moderators\":[],\"vips\":[],\"bots\":[],"
		  "\"viewers\":[\"b\\\\s\",\"c\\u0001\",\"q\\\"t\"],\"total\":3}");
}

TEST_F(ChannelStateTest, ChattersAcrossPagesAndFailures)
{
	std::string json;
	std::string error;
	// The list as the chatter panel shows it, and a refused one, are the
	// account.test.mjs's; here the requests and partial pages.
	ASSERT_TRUE(loadChatters(helix(), "streamer", json, error));
	EXPECT_EQ(calls(),
		  (std::vector<std::string>{"GET /helix/chat/chatters?first=1000&broadcaster_id=1001&moderator_id=1001",
					    "GET /helix/moderation/moderators?first=100&broadcaster_id=1001",
					    "GET /helix/channels/vips?first=100&broadcaster_id=1001"}));

	// Two chatters a page, the third page fails: the first two pages count.
	// Moderators unreadable: Nightbot is then only a bot.
	configure("{\"pageSize\":{\"GET /helix/chat/chatters\":2},\"fail\":{"
		  "\"GET /helix/chat/chatters\":{\"status\":500,\"page\":3},"
		  "\"GET /helix/moderation/moderators\":{\"status\":403}},"
		  "\"chatters\":[\"1001\",\"6006\",\"3003\",\"4004\",\"5005\",\"2002\"]}");
	ASSERT_TRUE(loadChatters(helix(), "streamer", json, error));
	EXPECT_EQ(json, "{\"broadcaster\":\"Streamer\",\"moderators\":[],\"vips\":[\"Friend\"],"
			"\"bots\":[\"Nightbot\"],\"viewers\":[\"Raider\"],\"total\":4}");
	const std::vector<std::string> sent = calls();
	EXPECT_EQ(
	    std::count_if(sent.begin(), sent.end(),
			  [](const std::string &call) { return call.rfind("GET /helix/chat/chatters?", 0) == 0; }),
	    3);
}

TEST_F(ChannelStateTest, CursorsTravelEncoded)
{
	// Base64 cursors hold "+", "/" and "="; a raw "+" would reach Twitch
	// as a space.
	script("GET", "/helix/chat/chatters", 200,
	       jsonQuote("{\"data\":[{\"user_name\":\"\",\"user_login\":\"low\"},{\"user_name\":\"\"}],"
			 "\"pagination\":{\"cursor\":\"a+b/c=\"}}"),
	       true);
	std::vector<std::string> names;
	EXPECT_TRUE(
	    fetchPaged(helix(), "/helix/chat/chatters?first=1000&broadcaster_id=1001&moderator_id=1001", names));
	EXPECT_EQ(names, std::vector<std::string>{"low"}); // the login stands in; empty names are skipped
	const std::vector<std::string> sent = calls();
	ASSERT_EQ(sent.size(), 2u);
	EXPECT_EQ(sent[1],
		  "GET /helix/chat/chatters?first=1000&broadcaster_id=1001&moderator_id=1001&after=a%2Bb%2Fc%3D");
}
