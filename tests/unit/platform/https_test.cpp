#include "common/endpoints.h"
#include "platform/https.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::platform;
using namespace vanteo::test;

namespace {

class HttpsTest : public FakesTest {
protected:
	void route(const std::string &args) { m_fakes.command("web", "route", args); }
	JsonValue requests() { return m_fakes.command("web", "requests")["requests"]; }
};

// Status, body and header lines of a GET show in the lookups' requests
// (ProfileCheckTest); here what they do not reach.
TEST_F(HttpsTest, FailuresBeforeAResponseGiveFalseStatusZeroAndNoBody)
{
	route(R"({"path":"/","body":"never seen"})");
	struct Case {
		const char *name;
		std::string host;
	};
	const std::vector<Case> cases = {
	    {"nobody listening", "127.0.0.1:1"},
	    {"certificate from an unknown CA", m_fakes.address("untrusted")},
	    {"certificate for another name", m_fakes.address("wrong-name")},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		std::string body = "junk";
		uint32_t status = 99;
		EXPECT_FALSE(httpsGet(c.host, "/", body, status));
		EXPECT_EQ(status, 0u);
		EXPECT_TRUE(body.empty());
		EXPECT_FALSE(httpsRequest("POST", c.host, "/", "", "{}", body, status));
		EXPECT_EQ(status, 0u);
	}

	// Without the extra CA the fake's own certificate is not trusted.
	setEndpointOverrides(m_fakes.endpointsText(), "");
	std::string body;
	uint32_t status = 0;
	EXPECT_FALSE(httpsGet(m_fakes.address("web"), "/", body, status));
	m_fakes.applyEndpoints();
	EXPECT_TRUE(httpsGet(m_fakes.address("web"), "/", body, status));
	EXPECT_EQ(body, "never seen");
}

TEST_F(HttpsTest, GetBodyStopsJustPastSixteenMebibytes)
{
	const size_t cap = 0x1000000;
	route(R"({"path":"/huge","size":25165824,"fill":"h"})");
	std::string body;
	uint32_t status = 0;
	ASSERT_TRUE(httpsGet(m_fakes.address("web"), "/huge", body, status));
	EXPECT_EQ(status, 200u);
	EXPECT_GT(body.size(), cap);
	EXPECT_LE(body.size(), cap + 8192);

	// httpsRequest has no cap.
	ASSERT_TRUE(httpsRequest("GET", m_fakes.address("web"), "/huge", "", "", body, status));
	EXPECT_EQ(body.size(), 25165824u);
}

TEST_F(HttpsTest, ResponseHeaderPlainPortRedirectsAndBrokenBodies)
{
	route(R"({"path":"/sign","body":"x","headers":{"X-Set-TT-Cookie":"ttwid=abc; path=/"}})");
	route(R"({"path":"/releases/latest","status":302,"headers":{"Location":"/releases/v2"}})");
	route(R"({"path":"/releases/v2","body":"v2"})");
	route(R"({"path":"/cut","size":100000,"dropAfter":5000})");
	std::string body;
	uint32_t status = 0;
	// A response header by name in any case; an absent one leaves the output.
	std::string value = "untouched";
	ASSERT_TRUE(httpsGet(m_fakes.address("web"), "/sign", body, status, "", 443, "x-missing", &value));
	EXPECT_EQ(value, "untouched");
	ASSERT_TRUE(httpsGet(m_fakes.address("web"), "/sign", body, status, "", 443, "x-set-tt-cookie", &value));
	EXPECT_EQ(value, "ttwid=abc; path=/");

	// Port 80 means plain HTTP.
	ASSERT_TRUE(httpsGet(m_fakes.address("web-plain"), "/sign", body, status, "", 80));
	EXPECT_EQ(body, "x");
	EXPECT_EQ(requests()[2]["listener"].str(), "web-plain");

	ASSERT_TRUE(httpsGet(m_fakes.address("web"), "/releases/latest", body, status));
	EXPECT_EQ(status, 200u);
	EXPECT_EQ(body, "v2");

	// A body broken off after the headers keeps what arrived.
	EXPECT_TRUE(httpsGet(m_fakes.address("web"), "/cut", body, status));
	EXPECT_EQ(status, 200u);
	EXPECT_EQ(body.size(), 5000u);
}

TEST_F(HttpsTest, RequestSendsMethodHeadersAndBodyExactly)
{
	route(R"({"path":"/helix/chat/messages","status":200,"body":"{\"data\":[]}"})");
	struct Case {
		const char *method;
		std::string body;
		bool withJson;
		const char *contentLength;
	};
	const std::vector<Case> cases = {
	    {"POST", R"({"broadcaster_id":"1","message":"hi"})", true, "37"},
	    {"PATCH", "", true, "0"},
	    {"DELETE", "", false, "(none)"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.method);
		m_fakes.command("web", "requests", R"({"clear":true})");
		std::string reply;
		uint32_t status = 0;
		ASSERT_TRUE(httpsRequest(c.method, m_fakes.address("web"), "/helix/chat/messages",
					 helixHeaders("tok123", "cid456", c.withJson), c.body, reply, status));
		EXPECT_EQ(status, 200u);
		EXPECT_EQ(reply, "{\"data\":[]}");
		JsonValue seen = requests();
		ASSERT_EQ(seen.size(), 1u);
		EXPECT_EQ(seen[0]["method"].str(), c.method);
		EXPECT_EQ(seen[0]["body"].str(), c.body);
		EXPECT_EQ(headerOf(seen[0], "Authorization"), "Bearer tok123");
		EXPECT_EQ(headerOf(seen[0], "Client-Id"), "cid456");
		EXPECT_EQ(headerOf(seen[0], "Content-Type"), c.withJson ? "application/json" : "(none)");
		EXPECT_EQ(headerOf(seen[0], "Content-Length"), c.contentLength);
		EXPECT_EQ(headerOf(seen[0], "Expect"), "(none)");
	}
}

} // namespace

namespace {

// Tests in this binary that use the fakes re-apply their own overrides in
// SetUp, so these may leave the table as they like.
class EndpointsTest : public ::testing::Test {
protected:
	void TearDown() override { setEndpointOverrides("", ""); }
};

TEST_F(EndpointsTest, OverridesAndResolution)
{
	setEndpointOverrides(" twitch-chat=127.0.0.1:4000 , kick = example.org,bogus, =1.2.3.4:5,"
			     "github-web=[::1]:8443,tiktok-web=127.0.0.1:99999",
			     " /tmp/ca.pem ");
	EXPECT_EQ(extraCaFile(), "/tmp/ca.pem");

	struct Case {
		std::string hostOrName;
		uint16_t port;
		std::string host;
		uint16_t expectedPort;
		std::string authority;
	};
	const std::vector<Case> cases = {
	    // Overridden names: host and port replaced.
	    {"twitch-chat", 443, "127.0.0.1", 4000, "127.0.0.1:4000"},
	    {"kick", 443, "example.org", 443, "example.org"},
	    {"github-web", 443, "::1", 8443, "[::1]:8443"},
	    // Malformed overrides are skipped: the public host stays.
	    {"tiktok-web", 443, "www.tiktok.com", 443, "www.tiktok.com"},
	    // A name without override keeps the caller's port.
	    {"twitch-helix", 80, "api.twitch.tv", 80, "api.twitch.tv:80"},
	    // The public host of an overridden name goes to the override too.
	    {"irc-ws.chat.twitch.tv", 443, "127.0.0.1", 4000, "127.0.0.1:4000"},
	    // Literal hosts, with an explicit port taking precedence.
	    {"irc-ws.chat.twitch.tv:7000", 443, "irc-ws.chat.twitch.tv", 7000, "irc-ws.chat.twitch.tv:7000"},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.hostOrName);
		Endpoint e = resolveRemote(c.hostOrName, c.port);
		EXPECT_EQ(e.host, c.host);
		EXPECT_EQ(e.port, c.expectedPort);
		EXPECT_EQ(e.authority(), c.authority);
	}
	EXPECT_EQ(endpoint("twitch-chat").httpsRoot(), "https://127.0.0.1:4000/");
	EXPECT_EQ(endpoint("not-a-name").host, "not-a-name");
}

} // namespace
