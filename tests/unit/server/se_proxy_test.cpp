#include "common/endpoints.h"
#include "support/hub_fixture.h"

#include <gtest/gtest.h>

#include <memory>
#include <thread>

using namespace vanteo;
using namespace vanteo::test;

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
		ASSERT_EQ(post("/api/feed-config", "{\"seToken\":" + quoted(token) + "}"), "{\"ok\":true}");
	}
	std::vector<std::string> calls() { return HubTest::calls("streamelements"); }
	std::string header(size_t index, const std::string &name)
	{
		for (const JsonValue &pair : m_last[index]["headers"].items()) {
			if (pair[0].str() == name)
				return pair[1].str();
		}
		return "(none)";
	}
};

} // namespace

// What the page makes of the answers (the history in words, the feedback
// texts) is the pages browser test's; here the requests StreamElements gets.
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
	EXPECT_EQ(se("{\"action\":\"replay\",\"activity\":" + quoted(activity) + "}"), "{\"ok\":true}");
	EXPECT_EQ(JsonValue::parse(se("{\"action\":\"history\"}")).size(), 5u);
	EXPECT_EQ(se("{\"action\":\"stop\"}"), "{\"error\":\"Unknown action\"}");
	EXPECT_EQ(se("{}"), "{\"error\":\"Unknown action\"}");
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "GET /kappa/v2/channels/me",
			       std::string("POST /kappa/v2/activities/") + kChannel + "/mock",
			       std::string("GET /kappa/v2/activities/") + kChannel + "?limit=100&types=" + kTypes,
			   }));
	EXPECT_EQ(m_last[1]["body"].str(), activity);
	for (size_t i = 0; i < 3; ++i) {
		EXPECT_EQ(header(i, "Authorization"), "Bearer se-token-1");
		EXPECT_EQ(header(i, "Content-Type"), "application/json");
		EXPECT_EQ(header(i, "Accept"), "application/json");
	}

	for (const char *action : {"pause", "unpause", "mute", "unmute", "skip", "playNext", "reload"}) {
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
	    {"history", 500, "{\"action\":\"history\"}", "{\"error\":\"StreamElements returned 500\"}"},
	    // History wants exactly 200; the other calls take any 2xx.
	    {"history", 204, "{\"action\":\"history\"}", "{\"error\":\"StreamElements returned 204\"}"},
	    {"replay", 404, activity, "{\"error\":\"StreamElements returned 404\"}"},
	    {"replay", 202, activity, "{\"ok\":true}"},
	    {"action", 503, "{\"action\":\"skip\"}", "{\"error\":\"StreamElements returned 503\"}"},
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
