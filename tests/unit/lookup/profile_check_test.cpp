// Channel lookups against the fake TikTok, Kick, YouTube and Twitch sites:
// the exact requests and header lines, and the replies for each answer; then
// "/api/check" through the hub's control API.
#include "common/endpoints.h"
#include "lookup/profile_check.h"
#include "support/hub_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace vanteo;
using namespace vanteo::test;

namespace {

const char kAgent[] = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
		      "Gecko) Chrome/128.0.0.0 Safari/537.36";

std::string ok(const std::string &name, const std::string &display, const std::string &avatar, bool live)
{
	return "{\"ok\":true,\"name\":\"" + name + "\",\"display\":\"" + display + "\",\"avatar\":\"" + avatar +
	       "\",\"live\":" + (live ? "true" : "false") + "}";
}

// A fake's command arguments: {"<key>":"<name>", ...the members of args}.
std::string named(const char *key, const std::string &name, const std::string &args)
{
	const std::string head = std::string("{\"") + key + "\":\"" + name + "\"";
	return args == "{}" ? head + "}" : head + "," + args.substr(1);
}

std::string fail(const std::string &error)
{
	return "{\"ok\":false,\"error\":\"" + error + "\"}";
}

// The request's header lines other than the ones the HTTP client adds by
// itself, in the order sent, as "Name: value".
std::vector<std::string> ownHeaders(const JsonValue &request)
{
	std::vector<std::string> lines;
	for (const JsonValue &h : request["headers"].items()) {
		const std::string name = h[0].str();
		if (name == "Host" || name == "Accept" || name == "Connection" || name == "Accept-Encoding")
			continue;
		lines.push_back(name + ": " + h[1].str());
	}
	return lines;
}

class ProfileCheckTest : public FakesTest {
protected:
	std::string check(const std::string &platform, const std::string &name)
	{
		return checkChannel(platform, name, HelixContext());
	}
	void sites(const std::string &command, const std::string &args) { m_fakes.command("sites", command, args); }
	JsonValue siteRequests() { return m_fakes.command("sites", "requests", "{\"clear\":true}")["requests"]; }
	JsonValue tiktokRequests() { return m_fakes.command("tiktok-web", "requests", "{\"clear\":true}")["requests"]; }
	std::string root(const std::string &endpoint) { return "https://" + m_fakes.address(endpoint); }
};

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

TEST(OgMeta, ReadsTheExactTagOnly)
{
	struct Case {
		const char *html;
		const char *property;
		const char *value;
	} cases[] = {
	    {R"(<meta property="og:title" content="Foo">)", "og:title", "Foo"},
	    {R"(<meta property="og:title" content="A"><meta property="og:title" content="B">)", "og:title", "A"},
	    {R"(<meta property="og:image:width" content="300"><meta property="og:image" content="x.png">)", "og:image",
	     "x.png"},
	    {R"(<meta property="og:title" content="no end)", "og:title", ""},
	    {R"(<meta content="Foo" property="og:title">)", "og:title", ""},
	    {R"(<meta name="og:title" content="Foo">)", "og:title", ""},
	};
	for (const Case &c : cases)
		EXPECT_EQ(ogMeta(c.html, c.property), c.value) << c.html;
}

TEST_F(ProfileCheckTest, UnknownPlatformsAndUnsafeNamesAskNobody)
{
	EXPECT_EQ(check("facebook", "someone"), fail("Unknown platform"));
	for (const char *name : {"a/../b", "x\r\nHost: y"})
		EXPECT_EQ(check("kick", name), fail("Invalid name")) << name;
	EXPECT_EQ(siteRequests().size(), 0u);
}

TEST_F(ProfileCheckTest, TikTokRoomAnswerAndProfileCardFallback)
{
	struct Case {
		const char *name;
		const char *room; // room command arguments, or null for none
		const char *card; // oembed command arguments, or null for none
		std::string reply;
		bool asksCard;
	} cases[] = {
	    {"tt.live", R"({"nickname":"Live One","avatar":"https://p16.example/a.jpeg"})", nullptr,
	     ok("tt.live", "Live One", "https://p16.example/a.jpeg", true), false},
	    {"tt.off", R"({"mode":"offline","nickname":"Off \"Quote\" \\ ✨"})", nullptr,
	     ok("tt.off", "Off \\\"Quote\\\" \\\\ ✨", "", false), false},
	    // No nickname: the profile card names the account.
	    {"tt.card", R"({"nickname":"","avatar":"https://p16.example/c.jpeg"})", R"({"authorName":"Card Name"})",
	     ok("tt.card", "Card Name", "https://p16.example/c.jpeg", true), true},
	    {"tt.nouser", nullptr, R"({"authorName":"Hidden"})", ok("tt.nouser", "Hidden", "", false), true},
	    {"tt.nocard", R"({"nickname":""})", nullptr, fail("No TikTok profile matches this name"), true},
	    {"tt.junk", R"({"mode":"raw","body":"<html>"})", nullptr, fail("No TikTok profile matches this name"),
	     true},
	    {"tt.down", R"({"mode":"status","status":503})", R"({"authorName":"X"})", fail("TikTok is unreachable"),
	     false},
	};
	for (const auto &c : cases) {
		if (c.room)
			m_fakes.command("tiktok-web", "room", named("uniqueId", c.name, c.room));
		if (c.card)
			m_fakes.command("tiktok-web", "oembed", named("uniqueId", c.name, c.card));
		EXPECT_EQ(check("tiktok", c.name), c.reply) << c.name;

		JsonValue requests = tiktokRequests();
		ASSERT_EQ(requests.size(), c.asksCard ? 2u : 1u) << c.name;
		EXPECT_EQ(requests[0]["path"].str(),
			  std::string("/api-live/user/room/?aid=1988&app_language=en-US&app_name=tiktok_web"
				      "&device_platform=web&sourceType=54&uniqueId=") +
			      c.name);
		EXPECT_EQ(ownHeaders(requests[0]), (std::vector<std::string>{"Referer: " + root("tiktok-web") + "/",
									     std::string("User-Agent: ") + kAgent}))
		    << c.name;
		if (c.asksCard) {
			EXPECT_EQ(requests[1]["path"].str(), "/oembed?url=" + root("tiktok-web") + "/@" + c.name);
			EXPECT_EQ(ownHeaders(requests[1]),
				  std::vector<std::string>{std::string("User-Agent: ") + kAgent});
		}
	}
}

TEST_F(ProfileCheckTest, KickChannelApi)
{
	const std::string avatar = root("kick") + "/avatar/";
	sites("kick", R"({"name":"kick.live","username":"KickLive"})");
	sites("kick", R"({"name":"kick-off","mode":"offline","avatar":"https://files.example/p.webp"})");
	struct Case {
		const char *name;
		std::string reply;
	} cases[] = {
	    {"kick.live", ok("kick.live", "KickLive", avatar + "kick.live.svg", true)},
	    {"kick-off", ok("kick-off", "kick-off", "https://files.example/p.webp", false)},
	    {"unknown", fail("No Kick channel matches this name")},
	};
	for (const auto &c : cases) {
		EXPECT_EQ(check("kick", c.name), c.reply) << c.name;
		JsonValue requests = siteRequests();
		ASSERT_EQ(requests.size(), 1u) << c.name;
		EXPECT_EQ(requests[0]["site"].str(), "kick");
		EXPECT_EQ(requests[0]["path"].str(), std::string("/api/v2/channels/") + c.name);
		EXPECT_EQ(ownHeaders(requests[0]), std::vector<std::string>{std::string("User-Agent: ") + kAgent});
	}
}

TEST_F(ProfileCheckTest, YouTubeChannelPageWithTheConsentCookies)
{
	sites("youtube", R"({"name":"chan-nel","title":"Chan &amp; Nel","image":"https://yt3.example/p.jpg"})");
	sites("youtube", R"({"name":"bare","mode":"noog"})");
	EXPECT_EQ(check("youtube", "chan-nel"), ok("chan-nel", "Chan &amp; Nel", "https://yt3.example/p.jpg", false));
	EXPECT_EQ(check("youtube", "bare"), fail("No YouTube channel matches this name"));
	EXPECT_EQ(check("youtube", "nobody"), fail("No YouTube channel matches this name"));

	JsonValue requests = siteRequests();
	ASSERT_EQ(requests.size(), 3u);
	EXPECT_EQ(requests[0]["site"].str(), "youtube");
	EXPECT_EQ(requests[0]["path"].str(), "/@chan-nel?ucbcb=1");
	EXPECT_EQ(requests[2]["path"].str(), "/@nobody?ucbcb=1");
	EXPECT_EQ(ownHeaders(requests[0]),
		  (std::vector<std::string>{std::string("User-Agent: ") + kAgent, "Cookie: SOCS=CAI; CONSENT=YES+cb"}));
}

TEST_F(ProfileCheckTest, TwitchChannelPageWithoutAccount)
{
	const std::string avatar = root("twitch-web") + "/avatar/";
	struct Case {
		const char *name;
		const char *answers[2]; // twitch command arguments, "once" when two
		std::string reply;
		size_t requests;
	} cases[] = {
	    {"foo", {R"({"title":"Foo - Twitch"})"}, ok("foo", "Foo", avatar + "foo.svg", false), 1},
	    // Exactly the suffix is not cut: nothing would be left.
	    {"suffix", {R"({"title":" - Twitch","image":""})"}, ok("suffix", " - Twitch", "", false), 1},
	    // The generic page twice: no such channel.
	    {"missing", {}, fail("No Twitch channel matches this name"), 2},
	    // The generic page once, then the channel.
	    {"late",
	     {R"({"mode":"generic","once":true})", R"({"title":"Late - Twitch","image":"https://cdn.example/l.png"})"},
	     ok("late", "Late", "https://cdn.example/l.png", false),
	     2},
	    // An error page (like a page without a title): the typed name
	    // stands in.
	    {"error", {R"({"mode":"status","status":500})"}, ok("error", "error", "", false), 2},
	};
	for (const auto &c : cases) {
		for (const char *answer : c.answers) {
			if (answer)
				sites("twitch", named("name", c.name, answer));
		}
		EXPECT_EQ(check("twitch", c.name), c.reply) << c.name;
		JsonValue requests = siteRequests();
		ASSERT_EQ(requests.size(), c.requests) << c.name;
		for (const JsonValue &r : requests.items()) {
			EXPECT_EQ(r["site"].str(), "twitch-web");
			EXPECT_EQ(r["path"].str(), std::string("/") + c.name);
			EXPECT_EQ(ownHeaders(r), std::vector<std::string>{std::string("User-Agent: ") + kAgent});
		}
	}
	// Unreachable: success with the typed name and no picture.
	sites("down", R"({"site":"twitch-web"})");
	EXPECT_EQ(check("twitch", "foo"), ok("foo", "foo", "", false));
}

TEST_F(ProfileCheckTest, TwitchUsersThroughHelixWithAnAccount)
{
	HelixContext access;
	access.account.token = "tok-streamer";
	access.clientId = effectiveClientId("");
	const std::string base = root("twitch-helix");
	m_fakes.command("twitch-api", "requests", "{\"clear\":true}");

	EXPECT_EQ(checkChannel("twitch", "someone", access),
		  ok("someone", "Someone", base + "/static/profile/someone.png", false));
	EXPECT_EQ(checkChannel("twitch", "nobody_here", access), fail("No Twitch channel matches this name"));
	JsonValue requests = m_fakes.command("twitch-api", "requests", "{\"clear\":true}")["requests"];
	ASSERT_EQ(requests.size(), 2u);
	EXPECT_EQ(requests[0]["method"].str(), "GET");
	EXPECT_EQ(requests[0]["path"].str(), "/helix/users?login=someone");
	EXPECT_EQ(headerOf(requests[0], "Authorization"), "Bearer tok-streamer");
	EXPECT_EQ(headerOf(requests[0], "Client-Id"), access.clientId);

	// A user without a display name is no channel to show.
	m_fakes.command(
	    "twitch-api", "script",
	    R"({"path":"/helix/users","body":{"data":[{"id":"9","login":"blank","display_name":""}]},"once":true})");
	EXPECT_EQ(checkChannel("twitch", "blank", access), fail("No Twitch channel matches this name"));

	// Helix's own words come back as the error; the public page is not
	// asked instead.
	access.account.token = "tok-expired";
	EXPECT_EQ(checkChannel("twitch", "someone", access), fail("Invalid OAuth token"));
	setEndpointOverrides("twitch-helix=127.0.0.1:9", m_fakes.caFile());
	EXPECT_EQ(checkChannel("twitch", "someone", access), fail("Twitch unreachable"));
	m_fakes.applyEndpoints();
	EXPECT_EQ(siteRequests().size(), 0u);
}

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
