#include "common/endpoints.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;

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
			     "github-web=[::1]:8443,tiktok-web=127.0.0.1:99999,youtube=h:x",
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
	    {"youtube", 443, "www.youtube.com", 443, "www.youtube.com"},
	    // A name without override keeps the caller's port.
	    {"twitch-helix", 80, "api.twitch.tv", 80, "api.twitch.tv:80"},
	    // The public host of an overridden name goes to the override too.
	    {"irc-ws.chat.twitch.tv", 443, "127.0.0.1", 4000, "127.0.0.1:4000"},
	    {"github.com", 443, "::1", 8443, "[::1]:8443"},
	    // Literal hosts, with an explicit port taking precedence.
	    {"push.example.net", 443, "push.example.net", 443, "push.example.net"},
	    {"127.0.0.1:5555", 443, "127.0.0.1", 5555, "127.0.0.1:5555"},
	    {"[::1]:6000", 443, "::1", 6000, "[::1]:6000"},
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
