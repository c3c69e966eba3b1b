// "/api/check" and "/api/config" through the hub's control API, against the
// fake sites.
#include "support/hub_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vanteo;
using namespace vanteo::test;

namespace {

class CheckRouteTest : public HubTest {
protected:
	CheckRouteTest() : HubTest(35763) {}
	void SetUp() override
	{
		HubTest::SetUp();
		startHub();
	}
	std::string check(const std::string &platform, const std::string &name)
	{
		return post("/api/check", "{\"platform\":\"" + platform + "\",\"name\":\"" + name + "\"}");
	}
	size_t siteRequests() { return calls("sites").size(); }
};

} // namespace

// The cache lives as long as the process, so every test here uses names of
// its own.
TEST_F(CheckRouteTest, SuccessesAreKeptUnderTheNormalisedName)
{
	m_fakes.command("sites", "kick", R"({"name":"cached_kick","mode":"offline"})");
	const std::string reply = check("kick", "cached_kick");
	EXPECT_EQ(JsonValue::parse(reply)["display"].str(), "cached_kick") << reply;
	EXPECT_EQ(siteRequests(), 1u);

	// The same channel, however it is written, comes from the cache, even
	// after the site changed its answer.
	m_fakes.command("sites", "kick", R"({"name":"cached_kick","mode":"live"})");
	for (const char *name : {"cached_kick", "@Cached_Kick", "https://kick.com/cached_kick/", " CACHED_KICK "})
		EXPECT_EQ(check("kick", name), reply) << name;
	EXPECT_EQ(siteRequests(), 0u);
}

TEST_F(CheckRouteTest, TwitchChecksUseTheConnectedAccount)
{
	// Without an account the public page decides: Twitch's generic page.
	EXPECT_EQ(check("twitch", "friend"), "{\"ok\":false,\"error\":\"No Twitch channel matches this name\"}");
	ASSERT_EQ(post("/api/token", R"({"token":"tok-streamer","state":")" + m_hub->signIns().issue() + "\"}"),
		  "{\"login\":\"streamer\"}");
	calls("twitch-api");
	EXPECT_EQ(JsonValue::parse(check("twitch", "friend"))["display"].str(), "Friend");
	const std::vector<std::string> asked = calls("twitch-api");
	EXPECT_NE(std::find(asked.begin(), asked.end(), "GET /helix/users?login=friend"), asked.end());
}
