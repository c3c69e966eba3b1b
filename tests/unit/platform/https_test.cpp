#include "common/endpoints.h"
#include "platform/https.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

#include <string>
#include <strings.h>
#include <vector>

using namespace vanteo;
using namespace vanteo::platform;
using namespace vanteo::test;

namespace {

class HttpsTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(fakes().ok()) << fakes().error();
		ASSERT_TRUE(fakes().reset());
	}

	static FakeServices &fakes() { return FakeServices::instance(); }

	static void route(const std::string &args) { fakes().command("web", "route", args); }

	static JsonValue requests() { return fakes().command("web", "requests")["requests"]; }

	// Values of a header in a recorded request, in order (names compared
	// without regard to case).
	static std::vector<std::string> header(const JsonValue &request, const std::string &name)
	{
		std::vector<std::string> values;
		for (const JsonValue &pair : request["headers"].items()) {
			if (strcasecmp(pair[0].str().c_str(), name.c_str()) == 0)
				values.push_back(pair[1].str());
		}
		return values;
	}
};

TEST_F(HttpsTest, GetReturnsAnyStatusWithItsBody)
{
	route(R"({"path":"/missing?x=1","status":404,"body":"{\"error\":\"Not Found\"}"})");
	std::string body = "old";
	uint32_t status = 7;
	// Endpoint names resolve through the table.
	setEndpointOverrides("twitch-helix=" + fakes().address("web"), fakes().caFile());
	bool got = httpsGet("twitch-helix", "/missing?x=1", body, status, "Accept: application/json\r\nX-Extra: 1\r\n");
	fakes().applyEndpoints();
	ASSERT_TRUE(got);
	EXPECT_EQ(status, 404u);
	EXPECT_EQ(body, "{\"error\":\"Not Found\"}");

	JsonValue seen = requests();
	ASSERT_EQ(seen.size(), 1u);
	EXPECT_EQ(seen[0]["listener"].str(), "web");
	EXPECT_EQ(seen[0]["method"].str(), "GET");
	EXPECT_EQ(seen[0]["path"].str(), "/missing?x=1");
	EXPECT_EQ(header(seen[0], "User-Agent"), std::vector<std::string>{BrowserUserAgent});
	EXPECT_EQ(header(seen[0], "Accept"), std::vector<std::string>{"application/json"});
	EXPECT_EQ(header(seen[0], "X-Extra"), std::vector<std::string>{"1"});
}

TEST_F(HttpsTest, FailuresBeforeAResponseGiveFalseStatusZeroAndNoBody)
{
	route(R"({"path":"/","body":"never seen"})");
	struct Case {
		const char *name;
		std::string host;
	};
	const std::vector<Case> cases = {
	    {"nobody listening", "127.0.0.1:1"},
	    {"certificate from an unknown CA", fakes().address("untrusted")},
	    {"certificate for another name", fakes().address("wrong-name")},
	    {"plain HTTP server", fakes().address("web-plain")},
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
	setEndpointOverrides(fakes().endpointsText(), "");
	std::string body;
	uint32_t status = 0;
	EXPECT_FALSE(httpsGet(fakes().address("web"), "/", body, status));
	fakes().applyEndpoints();
	EXPECT_TRUE(httpsGet(fakes().address("web"), "/", body, status));
	EXPECT_EQ(body, "never seen");
}

TEST_F(HttpsTest, GetBodyStopsJustPastSixteenMebibytes)
{
	const size_t cap = 0x1000000;
	route(R"({"path":"/exact","size":16777216,"fill":"e"})");
	route(R"({"path":"/huge","size":25165824,"fill":"h"})");
	route(R"({"path":"/huge-chunked","size":25165824,"fill":"c","chunked":true})");
	std::string body;
	uint32_t status = 0;
	ASSERT_TRUE(httpsGet(fakes().address("web"), "/exact", body, status));
	EXPECT_EQ(status, 200u);
	EXPECT_EQ(body.size(), cap);

	for (const char *path : {"/huge", "/huge-chunked"}) {
		SCOPED_TRACE(path);
		ASSERT_TRUE(httpsGet(fakes().address("web"), path, body, status));
		EXPECT_EQ(status, 200u);
		EXPECT_GT(body.size(), cap);
		EXPECT_LE(body.size(), cap + 8192);
	}

	// httpsRequest has no cap.
	ASSERT_TRUE(httpsRequest("GET", fakes().address("web"), "/huge", "", "", body, status));
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
	ASSERT_TRUE(httpsGet(fakes().address("web"), "/sign", body, status, "", 443, "x-missing", &value));
	EXPECT_EQ(value, "untouched");
	ASSERT_TRUE(httpsGet(fakes().address("web"), "/sign", body, status, "", 443, "x-set-tt-cookie", &value));
	EXPECT_EQ(value, "ttwid=abc; path=/");

	// Port 80 means plain HTTP.
	ASSERT_TRUE(httpsGet(fakes().address("web-plain"), "/sign", body, status, "", 80));
	EXPECT_EQ(body, "x");
	EXPECT_EQ(requests()[2]["listener"].str(), "web-plain");

	ASSERT_TRUE(httpsGet(fakes().address("web"), "/releases/latest", body, status));
	EXPECT_EQ(status, 200u);
	EXPECT_EQ(body, "v2");

	// A body broken off after the headers keeps what arrived.
	EXPECT_TRUE(httpsGet(fakes().address("web"), "/cut", body, status));
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
		const char *contentLength; // "" when none is expected
	};
	const std::vector<Case> cases = {
	    {"POST", R"({"broadcaster_id":"1","message":"hi"})", true, "37"},
	    {"PATCH", "", true, "0"},
	    {"DELETE", "", false, ""},
	    {"GET", "", false, ""},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.method);
		fakes().command("web", "requests", R"({"clear":true})");
		std::string reply;
		uint32_t status = 0;
		ASSERT_TRUE(httpsRequest(c.method, fakes().address("web"), "/helix/chat/messages",
					 helixHeaders("tok123", "cid456", c.withJson), c.body, reply, status));
		EXPECT_EQ(status, 200u);
		EXPECT_EQ(reply, "{\"data\":[]}");
		JsonValue seen = requests();
		ASSERT_EQ(seen.size(), 1u);
		EXPECT_EQ(seen[0]["method"].str(), c.method);
		EXPECT_EQ(seen[0]["body"].str(), c.body);
		EXPECT_EQ(header(seen[0], "Authorization"), std::vector<std::string>{"Bearer tok123"});
		EXPECT_EQ(header(seen[0], "Client-Id"), std::vector<std::string>{"cid456"});
		std::vector<std::string> type;
		if (c.withJson)
			type.push_back("application/json");
		EXPECT_EQ(header(seen[0], "Content-Type"), type);
		std::vector<std::string> length;
		if (*c.contentLength)
			length.push_back(c.contentLength);
		EXPECT_EQ(header(seen[0], "Content-Length"), length);
		EXPECT_TRUE(header(seen[0], "Expect").empty());
	}
}

} // namespace
