#include "common/persisted_switch.h"
#include "lookup/channel_name.h"
#include "support/hub_fixture.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace vanteo;
using namespace vanteo::test;

namespace {

class RouterTest : public HubTest {
protected:
	RouterTest() : HubTest(30763) {}
	void SetUp() override
	{
		HubTest::SetUp();
		startHub();
	}
};

} // namespace

// Saving and publishing the channels and "setup-done" are the setup browser
// test's; here the rules of the routes.
TEST_F(RouterTest, ConfigFeedConfigAndSwitchRules)
{
	EXPECT_EQ(post("/api/config", "{\"twitch\":\"https://twitch.tv/Alice\",\"tiktok\":\"@Bob.b\","
				      "\"youtube\":\"\",\"kick\":\"Kick_1\"}"),
		  "{\"ok\":true}");
	Settings s = m_hub->settings();
	EXPECT_EQ(std::make_tuple(s.twitch, s.tiktok, s.youtube, s.kick),
		  std::make_tuple("alice", "bob.b", "", "kick_1"));
	// One bad name changes nothing.
	EXPECT_EQ(post("/api/config", "{\"twitch\":\"carol\",\"tiktok\":\"bad name\"}"),
		  "{\"error\":\"Invalid name\"}");
	EXPECT_EQ(m_hub->settings().twitch, "alice");
	// A body that is not JSON clears every channel (empty names are allowed).
	EXPECT_EQ(post("/api/config", "garbage"), "{\"ok\":true}");
	EXPECT_EQ(m_hub->settings().twitch, "");

	EXPECT_EQ(post("/api/feed-config", "{\"seToken\":\"jwt\",\"adLength\":\"90\"}"), "{\"ok\":true}");
	EXPECT_EQ(m_hub->settings().seToken, "jwt");
	EXPECT_EQ(m_hub->settings().adLength, 90);
	// A missing token clears it; a length that is not above 0 keeps the old one.
	EXPECT_EQ(post("/api/feed-config", "{\"adLength\":\"0\"}"), "{\"ok\":true}");
	EXPECT_EQ(m_hub->settings().seToken, "");
	EXPECT_EQ(m_hub->settings().adLength, 90);
	EXPECT_EQ(post("/api/feed-config", "{\"adLength\":120}"), "{\"ok\":true}"); // a number reads as ""
	EXPECT_EQ(m_hub->settings().adLength, 90);

	// Switches change only on exactly "on":true.
	EXPECT_EQ(post("/api/game", "{\"on\":false}"), "{\"ok\":true}");
	EXPECT_FALSE(gameCaptureSwitch().on());
	EXPECT_EQ(post("/api/replay-notify", "{\"on\": true}"), "{\"ok\":true}");
	EXPECT_FALSE(replayNotifySwitch().on());
	EXPECT_EQ(post("/api/game", "{\"on\":true}"), "{\"ok\":true}");
	EXPECT_TRUE(gameCaptureSwitch().on());
}

TEST_F(RouterTest, UnknownKindsAndAccountRoutesAnswerThroughTheGate)
{
	EXPECT_EQ(post("/api/demo", "{\"kind\":\"nope\"}"), "{\"error\":\"Unknown test type\"}");
	EXPECT_EQ(post("/api/demo", "{}"), "{\"error\":\"Unknown test type\"}");
	for (const char *path : {"/api/send", "/api/emotes", "/api/user", "/api/open", "/api/feed-history", "/api/ads",
				 "/api/chatters", "/api/automod", "/api/moderate", "/api/nothing", "/api/update/"})
		EXPECT_EQ(post(path, "{}"), "{\"error\":\"Connect the Twitch account first\"}") << path;
}
