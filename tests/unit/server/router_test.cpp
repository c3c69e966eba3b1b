#include "common/persisted_switch.h"
#include "lookup/channel_name.h"
#include "support/hub_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST_F(RouterTest, ConfigNormalisesSavesAndPublishes)
{
	EventStreamClient page(m_hub->port());
	page.readEvents(3);
	EXPECT_EQ(post("/api/config", "{\"twitch\":\"https://twitch.tv/Alice\",\"tiktok\":\"@Bob.b\","
				      "\"youtube\":\"\",\"kick\":\"Kick_1\"}"),
		  "{\"ok\":true}");
	Settings s = m_hub->settings();
	EXPECT_EQ(s.twitch, "alice");
	EXPECT_EQ(s.tiktok, "bob.b");
	EXPECT_EQ(s.youtube, "");
	EXPECT_EQ(s.kick, "kick_1");
	EXPECT_NE(m_host.readConfigFile("config.json").find("\"twitch\":\"alice\""), std::string::npos);
	page.readEvents(5);
	EXPECT_NE(page.events().find("event: config\ndata: {\"twitch\":\"alice\",\"tiktok\":\"bob.b\""),
		  std::string::npos);
	EXPECT_NE(page.events().rfind("event: status\n"), std::string::npos);

	// One bad name changes nothing.
	EXPECT_EQ(post("/api/config", "{\"twitch\":\"carol\",\"tiktok\":\"bad name\"}"),
		  "{\"error\":\"Invalid name\"}");
	EXPECT_EQ(m_hub->settings().twitch, "alice");
	// A body that is not JSON clears every channel (empty names are allowed).
	EXPECT_EQ(post("/api/config", "garbage"), "{\"ok\":true}");
	EXPECT_EQ(m_hub->settings().twitch, "");
}

TEST_F(RouterTest, SetupDoneFeedConfigAndSwitches)
{
	EXPECT_EQ(post("/api/setup-done", "{}"), "{\"ok\":true}");
	EXPECT_TRUE(m_hub->settings().setupDone);
	EXPECT_NE(m_host.readConfigFile("config.json").find("\"setupDone\":true"), std::string::npos);

	EXPECT_EQ(post("/api/feed-config", "{\"seToken\":\"jwt\",\"adLength\":\"90\"}"), "{\"ok\":true}");
	EXPECT_EQ(m_hub->settings().seToken, "jwt");
	EXPECT_EQ(m_hub->settings().adLength, 90);
	// A missing token clears it; a length that is not above 0 keeps the old one.
	EXPECT_EQ(post("/api/feed-config", "{\"adLength\":\"0\"}"), "{\"ok\":true}");
	EXPECT_EQ(m_hub->settings().seToken, "");
	EXPECT_EQ(m_hub->settings().adLength, 90);
	EXPECT_EQ(post("/api/feed-config", "{\"adLength\":90}"), "{\"ok\":true}"); // a number reads as ""
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
