#include "support/hub_fixture.h"
#include "twitch/helix.h"

#include <algorithm>

using namespace vanteo;
using namespace vanteo::test;

namespace {

class AccountRoutesTest : public HubTest {
protected:
	AccountRoutesTest() : HubTest(35763) {}
	// The token as the oauth page hands it on, with the state of a sign-in
	// the hub started.
	std::string postToken(const std::string &token)
	{
		return post("/api/token",
			    "{\"token\":" + quoted(token) + ",\"state\":" + quoted(m_hub->signIns().issue()) + "}");
	}
	// What the hub asks by itself: EventSub subscriptions, the account
	// worker's token check, channel lookup, badges and emotes (with the
	// owners of the fake's emotes), the poller's viewer count and pins.
	static bool background(const std::string &call)
	{
		for (const char *prefix : {"GET /helix/chat/badges", "GET /helix/chat/emotes", "GET /helix/streams?",
					   "GET /helix/chat/pins?"}) {
			if (call.rfind(prefix, 0) == 0)
				return true;
		}
		return call == "POST /helix/eventsub/subscriptions" || call == "GET /helix/users?login=streamer" ||
		       call == "GET /oauth2/validate" || call == "GET /helix/users?id=3003&id=4004";
	}
	// "METHOD path" of every Helix and identity request since the last look,
	// leaving out what the hub does by itself in the background.
	std::vector<std::string> calls()
	{
		std::vector<std::string> out;
		JsonValue records = m_fakes.command("twitch-api", "requests", "{\"clear\":true}")["requests"];
		m_last = JsonValue();
		std::string kept = "[";
		for (const JsonValue &r : records.items()) {
			const std::string call = r["method"].str() + " " + r["path"].str();
			if (background(call))
				continue;
			out.push_back(call);
			kept +=
			    (kept.size() > 1 ? "," : "") + std::string("{\"body\":") + quoted(r["body"].str()) + "}";
		}
		m_last = JsonValue::parse(kept + "]");
		return out;
	}
	// Chat sessions of the fake that joined `channel`.
	size_t joins(const std::string &channel)
	{
		size_t count = 0;
		for (const JsonValue &session : m_fakes.command("twitch-chat", "state")["sessions"].items()) {
			for (const JsonValue &line : session["received"].items())
				count += line["data"].str() == "JOIN #" + channel + "\r\n";
		}
		return count;
	}
};

} // namespace

// What the pages show of the sign-in (the address's redirect, the login, a
// re-authorise hint) is the account browser test's; here the bytes Twitch
// gets and what is stored.
TEST_F(AccountRoutesTest, SignInAddressTokenAndStoredAccount)
{
	startHub();
	// The built-in client id wins over whatever the page sends.
	EXPECT_EQ(post("/api/account", R"({"clientId":"typed-by-user"})").rfind("{\"opened\":true,", 0), 0u);
	ASSERT_TRUE(guiUntil([&] { return m_host.openedUrls().size() == 1; }));
	const std::string expected =
	    "https://" + m_fakes.address("twitch-id") +
	    "/oauth2/authorize?client_id=q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1&redirect_uri=http%3A%2F%2F"
	    "localhost%3A" +
	    std::to_string(m_hub->port()) +
	    "%2Foauth&response_type=token&force_verify=true&scope=" + requestedScopes() + "&state=";
	const std::string opened = m_host.openedUrls()[0];
	ASSERT_EQ(opened.substr(0, expected.size()), expected);
	EXPECT_EQ(opened.find_first_not_of("0123456789abcdef", expected.size()), std::string::npos);
	EXPECT_EQ(opened.size() - expected.size(), 32u);

	EXPECT_EQ(postToken("tok-nobody"), R"({"error":"Invalid token"})");
	// No channel yet: the login becomes the channel and the chat joins it.
	EXPECT_EQ(postToken("tok-streamer"), R"({"login":"streamer"})");
	EXPECT_EQ(m_hub->account().userId, "1001");
	ASSERT_TRUE(waitUntil([&] { return joins("streamer") == 1; }));
	const std::string file = m_host.readConfigFile("config.json");
	for (const char *stored : {"\"token\":\"tok-streamer\"", "\"twitch\":\"streamer\"",
				   "\"clientId\":\"q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1\""})
		EXPECT_NE(file.find(stored), std::string::npos) << stored;
	EXPECT_EQ(post("/api/whatever", "{}"), R"({"error":"Unknown request"})");

	// A token of another account leaves a configured channel alone.
	m_hub.reset();
	startHub(R"({"twitch":"raider"})");
	m_fakes.command("twitch-api", "configure",
			R"({"tokens":{"tok-few":{"login":"someone","user_id":"2002","scopes":["chat:read"]}}})");
	EXPECT_EQ(postToken("tok-few"), R"({"login":"someone"})");
	EXPECT_EQ(m_hub->settings().twitch, "raider");
}

TEST_F(AccountRoutesTest, StoredTokenIsValidatedAtLoad)
{
	startHub(R"({"twitch":"streamer","token":"tok-streamer","refreshToken":"r-1"})");
	ASSERT_TRUE(waitUntil([&] { return !m_hub->account().login.empty(); }));
	EXPECT_EQ(m_hub->account().userId, "1001");
	EXPECT_EQ(m_hub->account().refreshToken, "r-1");
	m_hub.reset();

	// A rejected token clears the account in memory; the file stays as it was.
	const std::string stored = R"({"twitch":"streamer","token":"tok-revoked","refreshToken":"r-2"})";
	startHub(stored);
	ASSERT_TRUE(waitUntil([&] { return m_hub->account().token.empty(); }));
	EXPECT_TRUE(m_hub->account().refreshToken.empty());
	EXPECT_EQ(m_host.readConfigFile("config.json"), stored);
	EXPECT_EQ(post("/api/send", R"({"text":"hi"})"), R"({"error":"Connect the Twitch account first"})");

	// A channel Twitch does not know stops every account-bound route.
	m_hub.reset();
	startHub(R"({"twitch":"no_such_channel","token":"tok-streamer"})");
	EXPECT_EQ(post("/api/send", R"({"text":"hi"})"), R"({"error":"Twitch channel not found"})");
}

// The AutoMod decisions' bodies are the EventSub browser test's.
TEST_F(AccountRoutesTest, UserQueryAdsAndOpen)
{
	startHub(R"({"twitch":"streamer","token":"tok-streamer","adLength":90})");
	calls();

	// Values from the page stay single query values. Each card asks four
	// times, and the fake may record the last asks after the answer.
	post("/api/user", R"({"login":"x&id=1"})");
	post("/api/user", R"({"id":"2002&login=y"})");
	std::vector<std::string> seen;
	ASSERT_TRUE(waitUntil(
	    [&] {
		    for (const std::string &call : calls())
			    seen.push_back(call);
		    return seen.size() >= 8;
	    },
	    std::chrono::seconds(20)));
	for (const char *call : {"GET /helix/users?login=x%26id%3D1", "GET /helix/users?id=2002%26login%3Dy"})
		EXPECT_NE(std::find(seen.begin(), seen.end(), call), seen.end()) << call;

	// "0" takes the configured length.
	post("/api/ads", R"({"action":"start","length":"0"})");
	post("/api/ads", R"({"action":"snooze"})");
	post("/api/ads", R"({"action":"state"})");
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "POST /helix/channels/commercial",
			       "POST /helix/channels/ads/schedule/snooze?broadcaster_id=1001",
			       "GET /helix/channels/ads?broadcaster_id=1001",
			   }));
	EXPECT_EQ(m_last[0]["body"].str(), R"({"broadcaster_id":"1001","length":90})");
	m_fakes.command("twitch-api", "script",
			R"({"path":"/helix/channels/ads/schedule/snooze","status":204,"body":""})");
	EXPECT_EQ(post("/api/ads", R"({"action":"snooze"})"), R"({"ok":true})");
	calls();

	EXPECT_EQ(post("/api/open", R"({"url":"https://www.twitch.tv/raider"})"), R"({"ok":true})");
	EXPECT_EQ(post("/api/open", R"({"url":"https://www.twitch.tv.evil.example/"})"),
		  R"({"error":"URL not allowed"})");
	EXPECT_EQ(post("/api/open", R"({"url":"file:///etc/passwd"})"), R"({"error":"URL not allowed"})");
	ASSERT_TRUE(guiUntil([&] { return m_host.openedUrls().size() == 1; }));
	EXPECT_EQ(m_host.openedUrls()[0], "https://www.twitch.tv/raider");
}
