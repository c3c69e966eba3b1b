// The requests sent to TikTok and the judgement of their answers.
#include "tiktok/protobuf_wire.h"
#include "tiktok/room_lookup.h"
#include "tiktok/signing.h"

#include <gtest/gtest.h>

#include <string>

using namespace vanteo;

TEST(TikTokRequests, RoomLookupJudgement)
{
	struct Case {
		const char *what;
		bool completed;
		uint32_t status;
		std::string body;
		bool ok;
		const char *roomId;
		int32_t live;
		const char *error;
	};
	const Case cases[] = {
	    {"live", true, 200, R"({"data":{"user":{"roomId":"7300000000000000001"},"liveRoom":{"status":2}}})", true,
	     "7300000000000000001", 2, ""},
	    {"offline", true, 200, R"({"data":{"user":{"roomId":"73"},"liveRoom":{"status":4}}})", true, "73", 4, ""},
	    {"no liveRoom", true, 200, R"({"data":{"user":{"roomId":"73"}}})", true, "73", 0, ""},
	    {"numeric room id", true, 200, R"({"data":{"user":{"roomId":7123},"liveRoom":{"status":2}}})", true, "7123",
	     2, ""},
	    {"numeric 0", true, 200, R"({"data":{"user":{"roomId":0},"liveRoom":{"status":2}}})", false, "", 2,
	     "TikTok user not found"},
	    {"no user", true, 200, R"({"data":{"liveRoom":{"status":2}}})", false, "", 2, "TikTok user not found"},
	    {"user_not_found", true, 200, R"({"message":"user_not_found","statusCode":19881007})", true, "", 0, ""},
	    {"other message", true, 200, R"({"message":"params_error"})", false, "", 0, "TikTok user not found"},
	    {"data not an object", true, 200, R"({"data":"x","message":"user_not_found"})", true, "", 0, ""},
	    {"room id that is not a number", true, 200, R"({"data":{"user":{"roomId":"1/../x?y"}}})", false, "", 0,
	     "TikTok user not found"},
	    {"not JSON", true, 200, "<html>blocked</html>", false, "", 0, "Unable to read the TikTok response"},
	    {"403", true, 403, "{}", false, "", 0, "TikTok replied 403"},
	    {"unreachable", false, 0, "", false, "", 0, "TikTok is unreachable"},
	};
	for (const Case &c : cases) {
		RoomLookup r = judgeRoomLookup(c.completed, c.status, c.body);
		EXPECT_EQ(r.ok, c.ok) << c.what;
		EXPECT_EQ(r.roomId, c.roomId) << c.what;
		EXPECT_EQ(r.liveStatus, c.live) << c.what;
		EXPECT_EQ(r.error, c.error) << c.what;
	}
	EXPECT_EQ(roomLookupPath("some.one_~x y/é"),
		  "/api-live/user/room/?aid=1988&app_language=en-US&app_name=tiktok_web&device_platform=web"
		  "&sourceType=54&uniqueId=some.one_~x%20y%2F%C3%A9");
}

TEST(TikTokRequests, SigningJudgement)
{
	SigningAnswer good;
	good.pushAddress = "wss://push.example/webcast/im/";
	SigningAnswer none;
	SigningAnswer lineBreak;
	lineBreak.pushAddress = "wss://push.example/x\r\nHost: evil";

	struct Case {
		const char *what;
		bool completed;
		uint32_t status;
		const SigningAnswer &answer;
		bool ok;
		LinkState state;
		const char *detail;
	};
	const Case cases[] = {
	    {"good", true, 200, good, true, LinkState::Connecting, ""},
	    {"unreachable", false, 0, good, false, LinkState::Retry, "Signing service unreachable"},
	    {"429", true, 429, good, false, LinkState::Retry, "Too many connections to the signing service · retrying"},
	    {"401", true, 401, good, false, LinkState::Error, "The signing service requires a paid plan"},
	    {"402", true, 402, none, false, LinkState::Error, "The signing service requires a paid plan"},
	    {"403", true, 403, good, false, LinkState::Retry, "Signing failed (403)"},
	    {"no push address", true, 200, none, false, LinkState::Retry, "Incomplete signing response"},
	    {"line break in the address", true, 200, lineBreak, false, LinkState::Retry, "Incomplete signing response"},
	};
	for (const Case &c : cases) {
		SigningVerdict v = judgeSigning(c.completed, c.status, c.answer);
		EXPECT_EQ(v.ok, c.ok) << c.what;
		if (!c.ok)
			EXPECT_EQ(v.state, c.state) << c.what;
		EXPECT_EQ(v.detail, c.detail) << c.what;
	}
	EXPECT_EQ(signingPath("73"),
		  "/webcast/rooms/73/connect?client=ttlive-node&client_enter=true&platform=web&user_agent="
		  "Mozilla%2F5.0%20%28Windows%20NT%2010.0%3B%20Win64%3B%20x64%29%20AppleWebKit%2F537.36%20%28KHTML%2C"
		  "%20like%20Gecko%29%20Chrome%2F131.0.0.0%20Safari%2F537.36");
}

TEST(TikTokRequests, SigningAnswerToPushRequest)
{
	// A signing body written field by field: route parameters with and
	// without key or value, a repeated push address (the first counts).
	std::string body;
	auto param = [](const std::string &key, const std::string &value) {
		std::string p;
		if (!key.empty())
			writeBytesField(p, 1, key);
		if (!value.empty())
			writeBytesField(p, 2, value);
		return p;
	};
	writeBytesField(body, 2, "c/1");
	writeBytesField(body, 5, "ext|a:b");
	writeBytesField(body, 7, param("wrss", "x_1"));
	writeBytesField(body, 7, param("nokey_value", ""));
	writeBytesField(body, 7, param("", "novalue_key"));
	writeBytesField(body, 7, param("z z", "a&b"));
	writeVarintField(body, 8, 1000);
	writeBytesField(body, 10, "wss://push.example:8443/webcast/im/push/v2/");
	writeBytesField(body, 10, "wss://second/");

	SigningAnswer a = readSigningAnswer(body);
	EXPECT_EQ(a.pushAddress, "wss://push.example:8443/webcast/im/push/v2/");
	EXPECT_EQ(a.cursor, "c/1");
	EXPECT_EQ(a.internalExt, "ext|a:b");
	ASSERT_EQ(a.routeParams.size(), 4u);

	EXPECT_EQ(pushQuery("73", a),
		  "version_code=180800&aid=1988&app_language=en-US&app_name=tiktok_web&browser_platform=Win32"
		  "&browser_language=en-US&browser_name=Mozilla&browser_online=true&cookie_enabled=true"
		  "&device_platform=web&identity=audience&live_id=12&webcast_language=en-US&ws_direct=0"
		  "&sup_ws_ds_opt=1&update_version_code=2.0.0&did_rule=3&screen_height=1080&screen_width=1920"
		  "&heartbeat_duration=0&resp_content_type=protobuf&history_comment_count=6&client_enter=1"
		  "&last_rtt=150&compress=gzip&room_id=73&cursor=c%2F1&internal_ext=ext%7Ca%3Ab&wrss=x_1"
		  "&z%20z=a%26b&version_code=270000");

	struct Split {
		const char *address;
		const char *host;
		const char *path;
	};
	const Split splits[] = {
	    {"wss://push.example/webcast/im/", "push.example", "/webcast/im/?q"},
	    {"wss://push.example:8443/a?b=c", "push.example:8443", "/a?b=c?q"},
	    {"push.example", "push.example", "/?q"},
	    {"https://h/", "h", "/?q"},
	    {"a://b://c/d", "b:", "//c/d?q"},
	};
	for (const Split &s : splits) {
		PushTarget t = pushTarget(s.address, "q");
		EXPECT_EQ(t.host, s.host) << s.address;
		EXPECT_EQ(t.path, s.path) << s.address;
	}

	const std::string agent =
	    "User-Agent: Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like "
	    "Gecko) Chrome/131.0.0.0 Safari/537.36\r\n";
	EXPECT_EQ(pushHeaders(""), agent);
	EXPECT_EQ(pushHeaders("ttwid=1%7Cx; a=b"), agent + "Cookie: ttwid=1%7Cx; a=b\r\n");
	EXPECT_EQ(pushHeaders("a=b\rX-Evil: 1"), agent);
}
