#include "feed/badges.h"
#include "support/hub_fixture.h"
#include "twitch/emotes.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// Generous: under ThreadSanitizer every request to the fakes is slow.
constexpr std::chrono::seconds kPatience(20);

class AccountWorkerTest : public HubTest {
protected:
	AccountWorkerTest() : HubTest(33763) {}
	void startHub(const std::string &channel)
	{
		HubTest::startHub("{\"twitch\":" + quoted(channel) + ",\"token\":\"tok-streamer\",\"setupDone\":true}");
	}
	// "METHOD path" of the emote and badge requests since the last look.
	std::vector<std::string> catalogueCalls()
	{
		std::vector<std::string> out;
		for (const std::string &call : calls("twitch-api")) {
			if (call.rfind("GET /helix/chat/emotes", 0) == 0 ||
			    call.rfind("GET /helix/chat/badges", 0) == 0)
				out.push_back(call);
		}
		return out;
	}
	void script(const std::string &path, int status)
	{
		m_fakes.command("twitch-api", "script",
				"{\"path\":" + quoted(path) + ",\"status\":" + std::to_string(status) +
				    ",\"body\":{\"status\":" + std::to_string(status) + ",\"message\":\"no\"}}");
	}
};

} // namespace

TEST_F(AccountWorkerTest, LoadsBadgesThenEmotesAndTheRouteServesThem)
{
	startHub("streamer");
	ASSERT_TRUE(waitUntil([&] { return !m_hub->emoteCache().empty(); }, kPatience));
	EXPECT_EQ(catalogueCalls(), (std::vector<std::string>{"GET /helix/chat/badges/global",
							      "GET /helix/chat/badges?broadcaster_id=1001",
							      "GET /helix/chat/emotes?broadcaster_id=1001",
							      "GET /helix/chat/emotes/user?first=100&user_id=1001",
							      "GET /helix/chat/emotes/global"}));
	EXPECT_EQ(catalogBadgeTitle("subscriber", "12"), "Streamer Year");
	const std::string cached = m_hub->emoteCache();
	EXPECT_EQ(JsonValue::parse(cached)["groups"][1]["name"].str(), "Friend");

	// Served from the cache, without asking Twitch again.
	EXPECT_EQ(post("/api/emotes"), cached);
	EXPECT_TRUE(catalogueCalls().empty());
}

TEST_F(AccountWorkerTest, EmoteRouteLoadsWhenTheWorkerFoundNothing)
{
	script("/helix/chat/emotes", 500);
	script("/helix/chat/emotes/user", 401);
	script("/helix/chat/emotes/global", 500);
	startHub("streamer");
	std::vector<std::string> seen; // badges twice, emotes three times
	ASSERT_TRUE(waitUntil(
	    [&] {
		    for (const std::string &call : catalogueCalls())
			    seen.push_back(call);
		    return seen.size() == 5;
	    },
	    kPatience));
	EXPECT_EQ(m_hub->emoteCache(), "");
	EXPECT_EQ(post("/api/emotes"), "{\"error\":\"Authorization is required again; click Connect Twitch Account\"}");

	// Once Twitch answers, the route's own load is kept.
	m_fakes.command("twitch-api", "clearScripts");
	const std::string loaded = post("/api/emotes");
	EXPECT_EQ(JsonValue::parse(loaded)["emotes"].size(), 6u) << loaded;
	EXPECT_EQ(m_hub->emoteCache(), loaded);
}

TEST_F(AccountWorkerTest, UnknownChannelStillLoadsGlobalBadgesAndOwnEmotes)
{
	startHub("nosuchchannel");
	ASSERT_TRUE(waitUntil([&] { return !m_hub->emoteCache().empty(); }, kPatience));
	EXPECT_EQ(catalogueCalls(), (std::vector<std::string>{"GET /helix/chat/badges/global",
							      "GET /helix/chat/emotes/user?first=100&user_id=1001",
							      "GET /helix/chat/emotes/global"}));
	EXPECT_EQ(JsonValue::parse(m_hub->emoteCache())["groups"][0]["name"].str(), "Friend");
}
