// "/api/check" and "/api/config" through the hub's control API, against the
// fake sites.
#include "hub/chat_dock.h"
#include "server/router.h"
#include "support/fake_services.h"
#include "support/http_client.h"
#include "support/test_host.h"

#include <gtest/gtest.h>

using namespace vanteo;
using namespace vanteo::test;

namespace {

class CheckRouteTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(m_fakes.ok()) << m_fakes.error();
		ASSERT_TRUE(m_fakes.reset());
		ChatDock::Options options;
		options.controlApi = handleApiRequest;
		options.firstPort = 35763;
		m_hub = std::make_unique<ChatDock>(options);
		ASSERT_NE(m_hub->port(), 0);
	}
	void TearDown() override { m_hub.reset(); }

	std::string post(const std::string &path, const std::string &body)
	{
		return bodyOf(httpPost(m_hub->port(), path + "?t=" + m_hub->token(), body));
	}
	std::string check(const std::string &platform, const std::string &name)
	{
		return post("/api/check", "{\"platform\":\"" + platform + "\",\"name\":\"" + name + "\"}");
	}
	size_t siteRequests() { return m_fakes.command("sites", "requests", "{\"clear\":true}")["requests"].size(); }

	TestHost m_host;
	FakeServices &m_fakes = FakeServices::instance();
	std::unique_ptr<ChatDock> m_hub;
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
	// Another platform is another key.
	check("youtube", "cached_kick");
	EXPECT_EQ(siteRequests(), 1u);

	// Names the rule refuses never reach a site.
	EXPECT_EQ(check("kick", "https://kick.com/"), "{\"ok\":false,\"error\":\"Invalid name\"}");
	EXPECT_EQ(siteRequests(), 0u);
}

TEST_F(CheckRouteTest, TwitchChecksUseTheConnectedAccount)
{
	// Without an account the public page decides: Twitch's generic page.
	EXPECT_EQ(check("twitch", "friend"), "{\"ok\":false,\"error\":\"No Twitch channel matches this name\"}");
	ASSERT_EQ(post("/api/token", R"({"token":"tok-streamer","state":")" + m_hub->signIns().issue() + "\"}"),
		  "{\"login\":\"streamer\"}");
	m_fakes.command("twitch-api", "requests", "{\"clear\":true}");
	EXPECT_EQ(JsonValue::parse(check("twitch", "friend"))["display"].str(), "Friend");
	JsonValue requests = m_fakes.command("twitch-api", "requests", "{}")["requests"];
	ASSERT_GE(requests.size(), 1u);
	bool asked = false;
	for (const JsonValue &r : requests.items())
		asked |= r["path"].str() == "/helix/users?login=friend";
	EXPECT_TRUE(asked);
}
