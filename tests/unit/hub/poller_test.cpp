#include "support/hub_fixture.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;
using namespace std::chrono_literals;

namespace {

using Clock = std::chrono::steady_clock;

const char kAccountConfig[] = R"({"twitch":"streamer","token":"tok-streamer","setupDone":true})";

class PollerTest : public HubTest {
protected:
	PollerTest() : HubTest(31763) {}
	void startHub(bool withAccount, ChatDock::Options options = ChatDock::Options())
	{
		HubTest::startHub(withAccount ? kAccountConfig : "", options);
		m_page = std::make_unique<EventStreamClient>(m_hub->port());
	}
	// Data of every event of that name the page has received so far.
	std::vector<std::string> events(const std::string &name)
	{
		m_page->readEvents(1000, 20);
		const std::string all = m_page->events();
		const std::string head = "event: " + name + "\ndata: ";
		std::vector<std::string> out;
		for (size_t at = all.find(head); at != std::string::npos; at = all.find(head, at + 1)) {
			const size_t begin = at + head.size();
			out.push_back(all.substr(begin, all.find("\n\n", begin) - begin));
		}
		return out;
	}
	bool eventArrives(const std::string &name, const std::string &data)
	{
		return waitUntil([&] {
			const auto list = events(name);
			return std::find(list.begin(), list.end(), data) != list.end();
		});
	}
	// Helix requests whose "METHOD path" starts with prefix.
	std::vector<std::string> requests(const std::string &prefix) { return calls("twitch-api", prefix, false); }

	std::unique_ptr<EventStreamClient> m_page;
};

// The catalogue requests themselves are the Twitch suite's (ChannelStateTest)
// and what the picker shows is account.test.mjs's; here
// when the worker loads and what the route serves.
class AccountWorkerTest : public HubTest {
protected:
	AccountWorkerTest() : HubTest(33763) {}
	void startHub(const std::string &channel)
	{
		HubTest::startHub("{\"twitch\":" + jsonQuote(channel) +
				  ",\"token\":\"tok-streamer\",\"setupDone\":true}");
	}
	// How many emote requests Twitch received since the last look.
	size_t emoteCalls() { return calls("twitch-api", "GET /helix/chat/emotes").size(); }
};

} // namespace

TEST_F(PollerTest, TwitchCountFollowsTheStreamAndFailuresWarnOncePerRun)
{
	ChatDock::Options options;
	options.twitchPolls.viewerPoll = 300ms;
	clearLog();
	startHub(true, options);
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":42,\"tiktok\":null,\"kick\":null,\"youtube\":null}"));
	// By login until the channel's id is known, by id afterwards.
	ASSERT_TRUE(waitUntil([&] { return !requests("GET /helix/streams?user_id=1001").empty(); }));
	for (const std::string &call : requests("GET /helix/streams"))
		EXPECT_TRUE(call == "GET /helix/streams?user_id=1001" ||
			    call == "GET /helix/streams?user_login=streamer")
		    << call;

	// Offline is a count of 0, not an unknown one.
	m_fakes.command("twitch-api", "configure", "{\"streams\":{}}");
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":0,\"tiktok\":null,\"kick\":null,\"youtube\":null}"));

	// A run of failures keeps the count and logs once.
	const std::string warning = "[vanteo] Twitch viewers unavailable: Twitch is down";
	m_fakes.command("twitch-api", "script",
			R"({"path":"/helix/streams","status":503,"body":{"status":503,"message":"Twitch is down"}})");
	calls("twitch-api");
	ASSERT_TRUE(waitUntil([&] { return requests("GET /helix/streams").size() >= 3; }));
	EXPECT_EQ(logCount(warning), 1u);
	EXPECT_EQ(events("viewers").back(), "{\"twitch\":0,\"tiktok\":null,\"kick\":null,\"youtube\":null}");

	// A success ends the run; the next failure warns again.
	m_fakes.command("twitch-api", "clearScripts");
	m_fakes.command("twitch-api", "configure", R"({"streams":{"1001":{"viewer_count":7}}})");
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":7,\"tiktok\":null,\"kick\":null,\"youtube\":null}"));
	m_fakes.command("twitch-api", "script",
			R"({"path":"/helix/streams","status":503,"body":{"status":503,"message":"Twitch is down"}})");
	ASSERT_TRUE(waitUntil([&] { return logCount(warning) == 2; }));

	// Without an account the count is unknown again, without asking Twitch.
	m_fakes.command("twitch-api", "clearScripts");
	m_hub->connectAccount(TwitchAccount());
	m_hub->refreshAccount();
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":null,\"tiktok\":null,\"kick\":null,\"youtube\":null}"));
}

TEST_F(PollerTest, ChangesWithinASecondMakeOneEventAndDemoNumbersHold)
{
	ChatDock::Options options;
	options.viewerEvents.demoHold = 1500ms;
	startHub(false, options);
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":null,\"tiktok\":null,\"kick\":null,\"youtube\":null}"));

	m_hub->onTikTokViewers(1);
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":null,\"tiktok\":1,\"kick\":null,\"youtube\":null}"));
	// Just after an event: the next one is a second away, and carries only
	// the last of two changes.
	const size_t before = events("viewers").size();
	const auto changed = Clock::now();
	m_hub->onTikTokViewers(2);
	m_hub->onTikTokViewers(3);
	ASSERT_TRUE(eventArrives("viewers", "{\"twitch\":null,\"tiktok\":3,\"kick\":null,\"youtube\":null}"));
	EXPECT_GE(Clock::now() - changed, 700ms);
	EXPECT_EQ(events("viewers").size(), before + 1);

	// Demo numbers stay for the hold; then the real counts come back even
	// though none changed.
	const size_t settled = events("viewers").size();
	const auto demo = Clock::now();
	m_hub->requestDemoViewers();
	m_hub->broadcast("viewers", "{\"twitch\":35,\"tiktok\":14}");
	ASSERT_TRUE(waitUntil([&] { return events("viewers").size() == settled + 2; }));
	EXPECT_GE(Clock::now() - demo, 1300ms);
	EXPECT_EQ(events("viewers").back(), "{\"twitch\":null,\"tiktok\":3,\"kick\":null,\"youtube\":null}");
}

TEST_F(PollerTest, PinsAreSentOncePerDistinctAnswer)
{
	ChatDock::Options options;
	options.twitchPolls.pinsPoll = 150ms;
	startHub(true, options);
	ASSERT_TRUE(eventArrives("pins", "{\"data\":[]}"));
	ASSERT_TRUE(waitUntil([&] { return requests("GET /helix/chat/pins").size() >= 4; }));
	EXPECT_EQ(events("pins").size(), 1u);
	for (const std::string &call : requests("GET /helix/chat/pins"))
		EXPECT_EQ(call, "GET /helix/chat/pins?broadcaster_id=1001&moderator_id=1001");

	const std::string pinned = R"({"data":[{"id":"p1","message":{"text":"Be nice"}}]})";
	m_fakes.command("twitch-api", "configure", "{\"pins\":" + pinned + "}");
	ASSERT_TRUE(eventArrives("pins", pinned));

	// Line breaks in the answer would end the event early.
	m_fakes.command("twitch-api", "configure", "{\"pins\":" + jsonQuote("{\n  \"data\": []\r\n}") + "}");
	ASSERT_TRUE(eventArrives("pins", "{   \"data\": []  }"));

	// Failures keep the last pins. A page opened later gets them with its
	// snapshot; what the page shows of them is account.test.mjs's.
	m_fakes.command("twitch-api", "script", R"({"path":"/helix/chat/pins","status":500})");
	calls("twitch-api");
	ASSERT_TRUE(waitUntil([&] { return requests("GET /helix/chat/pins").size() >= 3; }));
	EXPECT_EQ(events("pins").size(), 3u);
}

TEST_F(AccountWorkerTest, RouteServesTheWorkersLoadWithoutAskingAgain)
{
	startHub("streamer");
	ASSERT_TRUE(waitUntil([&] { return !m_hub->emoteCache().empty(); }));
	emoteCalls();
	EXPECT_EQ(post("/api/emotes"), m_hub->emoteCache());
	EXPECT_EQ(emoteCalls(), 0u);

	// A channel Twitch does not know still gets the account's own emotes.
	m_hub.reset();
	startHub("nosuchchannel");
	EXPECT_TRUE(waitUntil([&] { return !m_hub->emoteCache().empty(); }));
}

TEST_F(AccountWorkerTest, EmoteRouteLoadsWhenTheWorkerFoundNothing)
{
	for (const char *path : {"/helix/chat/emotes", "/helix/chat/emotes/global"})
		m_fakes.command("twitch-api", "script", "{\"path\":" + jsonQuote(path) + ",\"status\":500}");
	m_fakes.command("twitch-api", "script",
			R"({"path":"/helix/chat/emotes/user","status":401,"body":{"status":401,"message":"no"}})");
	startHub("streamer");
	size_t seen = 0; // the worker's three emote requests
	ASSERT_TRUE(waitUntil([&] { return (seen += emoteCalls()) == 3; }));
	EXPECT_EQ(m_hub->emoteCache(), "");
	EXPECT_EQ(post("/api/emotes"), "{\"error\":\"Authorization is required again; click Connect Twitch Account\"}");

	// Once Twitch answers, the route's own load is kept.
	m_fakes.command("twitch-api", "clearScripts");
	const std::string loaded = post("/api/emotes");
	EXPECT_EQ(JsonValue::parse(loaded)["emotes"].size(), 6u) << loaded;
	EXPECT_EQ(m_hub->emoteCache(), loaded);
}
