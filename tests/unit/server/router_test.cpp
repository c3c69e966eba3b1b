#include "common/endpoints.h"
#include "common/persisted_switch.h"
#include "server/profile_check_cache.h"
#include "support/hub_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// "setup-open", "setup-done" and "close" acting on the dialogs inside OBS
// are the OBS smoke test's.
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

// Saving and publishing the channels and "setup-done" are pages.test.mjs's
// (the setup); here the rules of the routes.
TEST_F(RouterTest, ConfigFeedConfigAndSwitchRules)
{
	EXPECT_EQ(post("/api/config", "{\"twitch\":\"https://twitch.tv/Alice\"}"), "{\"ok\":true}");
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
	// Every account route, and any unknown one, meets the gate first.
	for (const char *path : {"/api/send", "/api/nothing"})
		EXPECT_EQ(post(path, "{}"), "{\"error\":\"Connect the Twitch account first\"}") << path;
}

TEST_F(RouterTest, UpdateStateAndReleasePages)
{
	EXPECT_EQ(post("/api/update", "{\"action\":\"state\"}"), "{}"); // no updater yet

	std::vector<std::string> actions;
	bool onGuiThread = true;
	m_hub->setUpdateHooks([] { return std::string("{\"state\":\"idle\",\"latest\":\"0.3.12\"}"); },
			      [&](const std::string &action) {
				      onGuiThread = onGuiThread && QThread::currentThread() == qApp->thread();
				      actions.push_back(action);
			      });
	EXPECT_EQ(post("/api/update", "{\"action\":\"state\"}"), "{\"state\":\"idle\",\"latest\":\"0.3.12\"}");

	// The release pages open on the GitHub web host of the endpoint table
	// (a closed loopback port, or the fakes when another test started them).
	EXPECT_EQ(post("/api/update", "{\"action\":\"download\"}"), "{\"ok\":true}");
	EXPECT_EQ(post("/api/update", "{\"action\":\"releases\"}"), "{\"ok\":true}");
	ASSERT_TRUE(guiUntil([&] { return m_host.openedUrls().size() == 2; }));
	const std::string github = endpoint(endpoint_names::kGitHubWeb).httpsRoot();
	EXPECT_EQ(m_host.openedUrls(), (std::vector<std::string>{
					   github + "Pellorra/vanteo-releases/releases/latest",
					   github + "Pellorra/vanteo-releases/releases",
				       }));

	// Every other word goes to the updater's handler, on the GUI thread;
	// "close" only hides the Updates dialog.
	for (const char *body : {"{\"action\":\"restart\"}", "{\"action\":\"close\"}"})
		EXPECT_EQ(post("/api/update", body), "{\"ok\":true}") << body;
	ASSERT_TRUE(guiUntil([&] { return actions.size() == 1; }));
	EXPECT_EQ(actions, (std::vector<std::string>{"restart"}));
	EXPECT_TRUE(onGuiThread);
	EXPECT_EQ(m_host.openedUrls().size(), 2u);
}

TEST(ProfileCheckCache, KeepsSuccessesForTenMinutesAndRetriesFailures)
{
	uint64_t now = 5'000'000'000;
	ProfileCheckCache cache([&] { return now; });
	std::vector<std::string> asked;
	std::string next;
	auto checker = [&](const std::string &platform, const std::string &name) {
		asked.push_back(platform + ":" + name);
		return next;
	};
	const uint64_t second = 1'000'000'000;
	struct Step {
		uint64_t advance;
		const char *platform;
		const char *name;
		const char *checkerReply;
		const char *reply;
		bool asks;
	} steps[] = {
	    {0, "kick", "abc", "{\"ok\":true,\"name\":\"abc\"}", "{\"ok\":true,\"name\":\"abc\"}", true},
	    {599 * second, "kick", "abc", "{\"ok\":false}", "{\"ok\":true,\"name\":\"abc\"}", false},
	    {0, "twitch", "abc", "{\"ok\":true,\"name\":\"t\"}", "{\"ok\":true,\"name\":\"t\"}", true}, // own key
	    {1 * second, "kick", "abc", "{\"ok\":true,\"name\":\"new\"}", "{\"ok\":true,\"name\":\"new\"}", true},
	    {0, "kick", "abc", "{\"ok\":false}", "{\"ok\":true,\"name\":\"new\"}", false},
	    // Failures are asked every time and never replace a kept success.
	    {0, "youtube", "x", "{\"ok\":false}", "{\"ok\":false}", true},
	    {0, "youtube", "x", "{\"ok\":false}", "{\"ok\":false}", true},
	    {0, "youtube", "y", "{\"ok\" :true}", "{\"ok\" :true}", true},
	    {0, "youtube", "y", "{\"ok\":true}", "{\"ok\":true}", true}, // the spaced one was not kept
	    {600 * second, "youtube", "y", "{\"ok\":true,\"v\":2}", "{\"ok\":true,\"v\":2}", true},
	};
	for (const Step &s : steps) {
		now += s.advance;
		next = s.checkerReply;
		size_t before = asked.size();
		EXPECT_EQ(cache.check(s.platform, s.name, checker), s.reply) << s.platform << ":" << s.name;
		EXPECT_EQ(asked.size() > before, s.asks) << s.platform << ":" << s.name;
	}
}
