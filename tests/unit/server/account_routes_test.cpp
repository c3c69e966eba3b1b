#include "common/endpoints.h"
#include "support/hub_fixture.h"
#include "twitch/helix.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <thread>

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
		return post("/api/token", "{\"token\":" + jsonQuote(token) +
					      ",\"state\":" + jsonQuote(m_hub->signIns().issue()) + "}");
	}
	// The Helix requests under `prefix` since the last look, leaving out
	// what the hub asks by itself; the body of the first one in m_body.
	std::vector<std::string> calls(const std::string &prefix)
	{
		std::vector<std::string> out;
		for (const std::string &call : HubTest::calls("twitch-api")) {
			if (call.find(" " + prefix) != std::string::npos)
				out.push_back(call);
		}
		m_body.clear();
		for (const JsonValue &r : m_last.items()) {
			if (m_body.empty() && r["path"].str().rfind(prefix, 0) == 0)
				m_body = r["body"].str();
		}
		return out;
	}
	std::string m_body;
};

} // namespace

// What the pages show of the sign-in (the address's redirect, the login, the
// channel the chat joins, a re-authorise hint) is account.test.mjs's;
// here the bytes Twitch gets and what is stored.
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
	EXPECT_EQ(postToken("tok-streamer"), R"({"login":"streamer"})");
	EXPECT_EQ(m_hub->account().userId, "1001");
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
	// A confirmed token keeps the account: AbuseTest (stalled hosts). A
	// rejected token clears the account in memory; the file stays as it was.
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

// The AutoMod decisions' bodies are account.test.mjs's (held messages).
TEST_F(AccountRoutesTest, UserQueryAdsAndOpen)
{
	startHub(R"({"twitch":"streamer","token":"tok-streamer","adLength":90})");

	// Values from the page stay single query values. Each card asks four
	// times, and the fake may record the last asks after the answer.
	post("/api/user", R"({"login":"x&id=1"})");
	post("/api/user", R"({"id":"2002&login=y"})");
	std::vector<std::string> seen;
	ASSERT_TRUE(waitUntil([&] {
		for (const std::string &call : calls("/helix/users?"))
			seen.push_back(call);
		return std::count(seen.begin(), seen.end(), "GET /helix/users?login=x%26id%3D1") == 1 &&
		       std::count(seen.begin(), seen.end(), "GET /helix/users?id=2002%26login%3Dy") == 1;
	}));

	// "0" takes the configured length.
	calls("/helix/channels");
	post("/api/ads", R"({"action":"start","length":"0"})");
	EXPECT_EQ(calls("/helix/channels"), std::vector<std::string>{"POST /helix/channels/commercial"});
	EXPECT_EQ(m_body, R"({"broadcaster_id":"1001","length":90})");
	post("/api/ads", R"({"action":"snooze"})");
	post("/api/ads", R"({"action":"state"})");
	EXPECT_EQ(calls("/helix/channels"), (std::vector<std::string>{
						"POST /helix/channels/ads/schedule/snooze?broadcaster_id=1001",
						"GET /helix/channels/ads?broadcaster_id=1001",
					    }));
	m_fakes.command("twitch-api", "script",
			R"({"path":"/helix/channels/ads/schedule/snooze","status":204,"body":""})");
	EXPECT_EQ(post("/api/ads", R"({"action":"snooze"})"), R"({"ok":true})");

	EXPECT_EQ(post("/api/open", R"({"url":"https://www.twitch.tv/raider"})"), R"({"ok":true})");
	EXPECT_EQ(post("/api/open", R"({"url":"https://www.twitch.tv.evil.example/"})"),
		  R"({"error":"URL not allowed"})");
	EXPECT_EQ(post("/api/open", R"({"url":"file:///etc/passwd"})"), R"({"error":"URL not allowed"})");
	ASSERT_TRUE(guiUntil([&] { return m_host.openedUrls().size() == 1; }));
	EXPECT_EQ(m_host.openedUrls()[0], "https://www.twitch.tv/raider");
}

namespace {

const char kChannel[] = "5e0c4a1b2c3d4e5f60718293"; // the fake's channel of "se-token-1"
const char kTypes[] = "follow,subscriber,tip,cheer,raid,host,communityGiftPurchase,redemption,merch,superchat,sponsor";

class StreamElementsTest : public HubTest {
protected:
	StreamElementsTest() : HubTest(34763) {}
	void SetUp() override
	{
		HubTest::SetUp();
		startHub();
	}
	void TearDown() override
	{
		m_hub.reset();
		m_fakes.applyEndpoints();
	}

	std::string se(const std::string &body) { return post("/api/se", body); }
	void useToken(const std::string &token)
	{
		ASSERT_EQ(post("/api/feed-config", "{\"seToken\":" + jsonQuote(token) + "}"), "{\"ok\":true}");
	}
	std::vector<std::string> calls() { return HubTest::calls("streamelements"); }
};

} // namespace

// What the page makes of the answers (the history in words, the feedback
// texts) is pages.test.mjs's; here the requests StreamElements gets.
TEST_F(StreamElementsTest, TokenRulesLookupAndRequests)
{
	// No token: a fixed answer and no call at all.
	EXPECT_EQ(se("{\"action\":\"history\"}"), "{\"error\":\"Connect StreamElements from the dock settings\"}");
	EXPECT_TRUE(calls().empty());

	// A token that would add header lines is never sent.
	useToken("se\r\nX-Evil: 1");
	EXPECT_EQ(se("{\"action\":\"skip\"}"), "{\"error\":\"StreamElements rejected the token (response 0)\"}");
	EXPECT_TRUE(calls().empty());

	// A refused token is looked up again at every request.
	useToken("wrong");
	se("{\"action\":\"skip\"}");
	se("{\"action\":\"skip\"}");
	EXPECT_EQ(calls(), (std::vector<std::string>{"GET /kappa/v2/channels/me", "GET /kappa/v2/channels/me"}));

	// A good token: one lookup, then the calls go to its channel with the
	// token, JSON content type and accept headers.
	useToken("se-token-1");
	const std::string activity = "{\"type\":\"tip\",\"data\":{\"username\":\"kind_viewer\",\"amount\":5}}";
	EXPECT_EQ(se("{\"action\":\"replay\"}"), "{\"error\":\"Missing activity\"}");
	EXPECT_EQ(se("{\"action\":\"replay\",\"activity\":" + jsonQuote(activity) + "}"), "{\"ok\":true}");
	EXPECT_EQ(JsonValue::parse(se("{\"action\":\"history\"}")).size(), 5u);
	EXPECT_EQ(se("{\"action\":\"stop\"}"), "{\"error\":\"Unknown action\"}");
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "GET /kappa/v2/channels/me",
			       std::string("POST /kappa/v2/activities/") + kChannel + "/mock",
			       std::string("GET /kappa/v2/activities/") + kChannel + "?limit=100&types=" + kTypes,
			   }));
	EXPECT_EQ(m_last[1]["body"].str(), activity);
	for (size_t i = 0; i < 3; ++i) {
		EXPECT_EQ(headerOf(m_last[i], "Authorization"), "Bearer se-token-1");
		EXPECT_EQ(headerOf(m_last[i], "Content-Type"), "application/json");
		EXPECT_EQ(headerOf(m_last[i], "Accept"), "application/json");
	}

	for (const char *action : {"pause", "playNext"}) {
		EXPECT_EQ(se(std::string("{\"action\":\"") + action + "\"}"), "{\"ok\":true}") << action;
		ASSERT_EQ(calls(),
			  std::vector<std::string>{std::string("PUT /kappa/v2/overlays/") + kChannel + "/action"});
		EXPECT_EQ(m_last[0]["body"].str(), std::string("{\"action\":\"") + action + "\"}");
	}
}

TEST_F(StreamElementsTest, FailuresReportTheStatus)
{
	useToken("se-token-1");
	const std::string activity = "{\"action\":\"replay\",\"activity\":\"{}\"}";
	struct Case {
		const char *call;
		int status;
		std::string body;
		const char *reply;
	} cases[] = {
	    // History wants exactly 200; the other calls take any 2xx.
	    {"history", 204, "{\"action\":\"history\"}", "{\"error\":\"StreamElements returned 204\"}"},
	    {"replay", 404, activity, "{\"error\":\"StreamElements returned 404\"}"},
	    {"action", 204, "{\"action\":\"skip\"}", "{\"ok\":true}"},
	};
	for (const Case &c : cases) {
		m_fakes.command("streamelements", "configure",
				std::string("{\"status\":{\"") + c.call + "\":" + std::to_string(c.status) + "}}");
		EXPECT_EQ(se(c.body), c.reply) << c.call << " " << c.status;
	}

	// A lookup that gets no answer at all reports status 0.
	m_hub = nullptr;
	m_fakes.command("streamelements", "configure", "{\"status\":{}}");
	setEndpointOverrides(m_fakes.endpointsText() + ",streamelements=127.0.0.1:9", m_fakes.caFile());
	startHub();
	useToken("se-token-1");
	EXPECT_EQ(se("{\"action\":\"history\"}"), "{\"error\":\"StreamElements rejected the token (response 0)\"}");
}

TEST_F(StreamElementsTest, LookupThatOutlivesItsTokenIsNotKept)
{
	m_fakes.command("streamelements", "configure",
			"{\"tokens\":{\"se-token-1\":\"5e0c4a1b2c3d4e5f60718293\",\"se-token-2\":\"other-channel\"},"
			"\"hold\":{\"me\":true}}");
	useToken("se-token-1");
	std::string first;
	std::thread page([&] { first = se("{\"action\":\"skip\"}"); });
	// The lookup has reached StreamElements; the token changes before its
	// answer comes back.
	ASSERT_TRUE(waitUntil([&] { return m_fakes.command("streamelements", "requests")["requests"].size() == 1; }));
	useToken("se-token-2");
	m_fakes.command("streamelements", "configure", "{\"hold\":{}}");
	m_fakes.command("streamelements", "release");
	page.join();
	EXPECT_EQ(first, "{\"ok\":true}");

	// The old token's channel was not kept for the new token.
	EXPECT_EQ(se("{\"action\":\"skip\"}"), "{\"ok\":true}");
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "GET /kappa/v2/channels/me",
			       std::string("PUT /kappa/v2/overlays/") + kChannel + "/action",
			       "GET /kappa/v2/channels/me",
			       "PUT /kappa/v2/overlays/other-channel/action",
			   }));
}
