#include "support/fake_services.h"
#include "twitch/helix.h"
#include "twitch/moderation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

// Bodies made by libobs' JSON writer: its key order is its own business.
#define EXPECT_JSON(actual, expected) EXPECT_EQ(JsonValue::canonical(actual), JsonValue::canonical(expected))

namespace {

const char kClientId[] = "q3vd8kz0rj5mxw2nb7ty4hc9pl6sa1";

// One request as the fake Helix received it.
struct Sent {
	std::string method;
	std::string path;
	std::string body;
	std::string contentType;
	std::string authorization;
};

class HelixTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(m_fakes.ok()) << m_fakes.error();
		ASSERT_TRUE(m_fakes.reset());
		m_account.token = "tok-streamer";
		m_account.userId = "1001";
		m_account.login = "streamer";
	}

	std::vector<Sent> sent()
	{
		std::vector<Sent> out;
		JsonValue records = m_fakes.command("twitch-api", "requests", "{\"clear\":true}");
		for (const JsonValue &r : records["requests"].items()) {
			Sent s{r["method"].str(), r["path"].str(), r["body"].str(), "(none)", "(none)"};
			for (const JsonValue &pair : r["headers"].items()) {
				if (pair[0].str() == "Content-Type")
					s.contentType = pair[1].str();
				if (pair[0].str() == "Authorization")
					s.authorization = pair[1].str();
			}
			out.push_back(s);
		}
		return out;
	}
	// "METHOD path" of every request since the last look.
	std::vector<std::string> calls()
	{
		std::vector<std::string> out;
		for (const Sent &s : sent())
			out.push_back(s.method + " " + s.path);
		return out;
	}
	void script(const std::string &method, const std::string &path, int status, const std::string &bodyJson)
	{
		m_fakes.command("twitch-api", "script",
				"{\"method\":" + quoted(method) + ",\"path\":" + quoted(path) +
				    ",\"status\":" + std::to_string(status) + ",\"body\":" + bodyJson + "}");
	}
	std::string run(const std::string &text) { return runChatCommand(helix(), text); }

	FakeServices &m_fakes = FakeServices::instance();
	TwitchAccount m_account;
	// The account acting on the channel with id `bid`.
	HelixContext helix(const std::string &bid = "1001") const { return {m_account, kClientId, bid}; }
};

} // namespace

TEST(HelixText, EncodingErrorsScopesAndTheSignInAddress)
{
	EXPECT_EQ(urlEncode("a b/c~"), "a%20b%2Fc~");
	EXPECT_EQ(urlEncode("x&y=1#\xC3\xA9"), "x%26y%3D1%23%C3%A9");
	EXPECT_EQ(urlEncode("Az09-._~"), "Az09-._~");

	EXPECT_EQ(helixError("{\"status\":401,\"message\":\"Invalid OAuth token\"}", 401), "Invalid OAuth token");
	EXPECT_EQ(helixError("", 500), "Twitch replied 500");
	EXPECT_EQ(helixError("{\"message\":\"\"}", 403), "Twitch replied 403");
	EXPECT_EQ(helixError("<html>", -1), "Twitch replied -1");

	EXPECT_EQ(joinNames("{\"data\":[{\"user_name\":\"A\"},{\"user_name\":\"\"},{\"user_name\":\"B\"}]}"), "A, B");
	EXPECT_EQ(joinNames("[]"), "");
	EXPECT_EQ(quoteSimple("say \"hi\" \\o/"), "\"say hi o/\"");

	const std::string scopes = requestedScopes();
	EXPECT_EQ(scopes.substr(0, 46), "user:read:chat+user:write:chat+chat:read+chat:");
	EXPECT_EQ(std::count(scopes.begin(), scopes.end(), '+'), 29);
	EXPECT_EQ(scopes.substr(scopes.size() - 24), "+channel:read:hype_train");

	TwitchAccount account;
	EXPECT_FALSE(hasAllScopes(account));
	for (size_t start = 0; start < scopes.size();) {
		size_t end = scopes.find('+', start);
		if (end == std::string::npos)
			end = scopes.size();
		account.scopes.push_back(scopes.substr(start, end - start));
		start = end + 1;
	}
	EXPECT_TRUE(hasAllScopes(account));
	account.scopes.pop_back(); // channel:read:hype_train
	EXPECT_FALSE(hasAllScopes(account));
	account.scopes.push_back("CHANNEL:READ:HYPE_TRAIN");
	EXPECT_FALSE(hasAllScopes(account));
	// The three chat scopes only the anonymous reader needs are not required.
	account.scopes.back() = "channel:read:hype_train";
	account.scopes.erase(account.scopes.begin());
	EXPECT_TRUE(hasAllScopes(account));
}

TEST_F(HelixTest, CallErrorsComeFromTwitchsReply)
{
	std::string reply;
	std::string error;
	TwitchAccount stranger;
	stranger.token = "tok-unknown";
	EXPECT_FALSE(
	    helixCall(HelixContext{stranger, kClientId, ""}, "GET", "/helix/users?login=streamer", "", reply, error));
	EXPECT_EQ(error, "Invalid OAuth token");

	script("GET", "/helix/users", 500, "\"\"");
	EXPECT_FALSE(helixCall(helix(), "GET", "/helix/users?login=x", "", reply, error));
	EXPECT_EQ(error, "Twitch replied 500");

	m_fakes.command("twitch-api", "script", R"({"path":"/helix/raids","drop":true})");
	EXPECT_FALSE(helixCall(helix(), "DELETE", "/helix/raids?broadcaster_id=1001", "", reply, error));
	EXPECT_EQ(error, "Twitch unreachable");
}

TEST_F(HelixTest, TokenValidationReadsLoginIdAndScopes)
{
	TwitchAccount account;
	account.refreshToken = "kept";
	ASSERT_EQ(validateToken("tok-streamer", account), TokenCheck::Valid);
	EXPECT_EQ(account.token, "tok-streamer");
	EXPECT_EQ(account.login, "streamer");
	EXPECT_EQ(account.userId, "1001");
	EXPECT_EQ(account.refreshToken, "kept");
	EXPECT_EQ(account.scopes.size(), 30u);
	EXPECT_TRUE(hasAllScopes(account));
	std::vector<Sent> requests = sent();
	ASSERT_EQ(requests.size(), 1u);
	EXPECT_EQ(requests[0].path, "/oauth2/validate");
	EXPECT_EQ(requests[0].authorization, "OAuth tok-streamer");

	// Fewer scopes: valid, but the account needs a new sign-in.
	m_fakes.command(
	    "twitch-api", "configure",
	    R"({"tokens":{"tok-few":{"login":"someone","user_id":"2002","scopes":["chat:read","user:write:chat"]}}})");
	TwitchAccount few;
	ASSERT_EQ(validateToken("tok-few", few), TokenCheck::Valid);
	EXPECT_EQ(few.scopes, (std::vector<std::string>{"chat:read", "user:write:chat"}));
	EXPECT_FALSE(hasAllScopes(few));

	// Refused: unknown (401), empty user id, and text that would add header
	// lines. Without an answer from Twitch (trouble on its side, a cut
	// connection) the token is in doubt, not refused.
	TwitchAccount untouched;
	untouched.login = "before";
	EXPECT_EQ(validateToken("tok-unknown", untouched), TokenCheck::Rejected);
	m_fakes.command("twitch-api", "configure",
			R"({"tokens":{"tok-odd":{"body":"{\"login\":\"odd\",\"user_id\":\"\",\"scopes\":[]}"},)"
			R"("tok-busy":{"status":503,"body":""}}})");
	EXPECT_EQ(validateToken("tok-odd", untouched), TokenCheck::Rejected);
	EXPECT_EQ(validateToken("tok-busy", untouched), TokenCheck::Unanswered);
	m_fakes.command("twitch-api", "script", R"({"path":"/oauth2/validate","drop":true})");
	EXPECT_EQ(validateToken("tok-streamer", untouched), TokenCheck::Unanswered);
	EXPECT_EQ(untouched.login, "before");
	sent();
	EXPECT_EQ(validateToken("tok-streamer\r\nX-Evil: 1", untouched), TokenCheck::Rejected);
	EXPECT_TRUE(calls().empty());
}

TEST_F(HelixTest, ChatMessagesAndReplies)
{
	std::string error = "untouched";
	EXPECT_FALSE(sendChat(helix(), "", error, ""));
	EXPECT_EQ(error, "untouched");
	EXPECT_TRUE(calls().empty());

	EXPECT_TRUE(sendChat(helix(), "hello \"chat\"", error, ""));
	EXPECT_TRUE(sendChat(helix(), "sure", error, "msg-7"));
	std::vector<Sent> requests = sent();
	ASSERT_EQ(requests.size(), 2u);
	EXPECT_EQ(requests[0].method + " " + requests[0].path, "POST /helix/chat/messages");
	EXPECT_EQ(requests[0].contentType, "application/json");
	EXPECT_JSON(requests[0].body, R"({"broadcaster_id":"1001","sender_id":"1001","message":"hello \"chat\""})");
	EXPECT_JSON(
	    requests[1].body,
	    R"({"broadcaster_id":"1001","sender_id":"1001","message":"sure","reply_parent_message_id":"msg-7"})");

	m_fakes.command("twitch-api", "configure",
			R"({"dropNext":{"code":"msg_duplicate","message":"Duplicate message"}})");
	EXPECT_FALSE(sendChat(helix(), "again", error, ""));
	EXPECT_EQ(error, "Duplicate message");
	script("POST", "/helix/chat/messages", 200, R"({"data":[{"message_id":"","is_sent":false}]})");
	EXPECT_FALSE(sendChat(helix(), "again", error, ""));
	EXPECT_EQ(error, "Message denied by Twitch");
	script("POST", "/helix/chat/messages", 200, "\"\"");
	EXPECT_TRUE(sendChat(helix(), "odd reply", error, ""));
}

TEST_F(HelixTest, CommandParsingAndTheirLocalAnswers)
{
	EXPECT_EQ(run("   "), R"({"error":"Empty command"})");
	EXPECT_EQ(run("/ME waves"), R"({"error":"The Twitch API does not accept /me; send a normal message instead"})");
	EXPECT_EQ(run("/Dance now"), R"({"error":"Unknown command: /dance"})");
	EXPECT_EQ(run("/color"), R"({"error":"Usage: /color <color>, for example /color blue or /color #FF0000"})");
	EXPECT_EQ(run("/announceorange   "), R"({"error":"Usage: /announce <message>"})");
	EXPECT_EQ(run("/help").substr(0, 52), R"({"ok":true,"notice":"Available commands: /ban /unban)");
	EXPECT_TRUE(calls().empty());

	// An unknown user is reported before anything else is called.
	EXPECT_EQ(run("/raid @nobody"), R"({"error":"User not found: @nobody"})");
	EXPECT_EQ(run("/ban"), R"({"error":"User not found: "})");
	EXPECT_EQ(run("/timeout @"), R"({"error":"User not found: @"})");
	EXPECT_EQ(calls(), (std::vector<std::string>{"GET /helix/users?login=nobody"}));
}

TEST_F(HelixTest, BansTimeoutsAndChatModesSendTheirRequests)
{
	const std::string bans = "POST /helix/moderation/bans?broadcaster_id=1001&moderator_id=1001";
	EXPECT_EQ(run("/TIMEOUT @someone 0 spam"), R"({"ok":true})");
	std::vector<Sent> r = sent();
	ASSERT_EQ(r.size(), 2u);
	EXPECT_EQ(r[0].method + " " + r[0].path, "GET /helix/users?login=someone");
	EXPECT_EQ(r[1].method + " " + r[1].path, bans);
	EXPECT_JSON(r[1].body, R"({"data":{"user_id":"2002","duration":600}})");

	EXPECT_EQ(run("/untimeout someone"), R"({"ok":true})");
	EXPECT_EQ(run("/timeout someone 45 calm down"), R"({"ok":true})");
	EXPECT_EQ(run("/unban someone"), R"({"ok":true})");
	EXPECT_EQ(run("/ban raider"), R"({"ok":true})");
	r = sent();
	ASSERT_EQ(r.size(), 8u);
	EXPECT_EQ(r[1].method + " " + r[1].path,
		  "DELETE /helix/moderation/bans?broadcaster_id=1001&moderator_id=1001&user_id=2002");
	EXPECT_JSON(r[3].body, R"({"data":{"user_id":"2002","duration":45}})");
	EXPECT_JSON(r[7].body, R"({"data":{"user_id":"3003"}})");

	// A second ban: Twitch's refusal comes back as its text.
	EXPECT_EQ(run("/ban raider"), R"({"error":"The user specified in the user_id field is already banned."})");
	sent();

	EXPECT_EQ(run("/slow"), R"({"ok":true})");
	EXPECT_EQ(run("/slow -5"), R"({"ok":true})");
	run("/followers");
	run("/followers -5");
	run("/followers 10");
	run("/emoteonly");
	run("/uniquechatoff");
	run("/clear");
	r = sent();
	ASSERT_EQ(r.size(), 8u);
	const std::string settings = "PATCH /helix/chat/settings?broadcaster_id=1001&moderator_id=1001";
	EXPECT_EQ(r[0].method + " " + r[0].path, settings);
	EXPECT_EQ(r[0].contentType, "application/json");
	EXPECT_EQ(r[0].body, R"({"slow_mode":true,"slow_mode_wait_time":30})");
	EXPECT_EQ(r[1].body, R"({"slow_mode":true,"slow_mode_wait_time":30})");
	EXPECT_EQ(r[2].body, R"({"follower_mode":true,"follower_mode_duration":0})");
	EXPECT_EQ(r[3].body, R"({"follower_mode":true,"follower_mode_duration":-5})");
	EXPECT_EQ(r[4].body, R"({"follower_mode":true,"follower_mode_duration":10})");
	EXPECT_EQ(r[5].body, R"({"emote_mode":true})");
	EXPECT_EQ(r[6].body, R"({"unique_chat_mode":false})");
	EXPECT_EQ(r[7].method + " " + r[7].path + " " + r[7].body,
		  "DELETE /helix/moderation/chat?broadcaster_id=1001&moderator_id=1001 ");
}

TEST_F(HelixTest, RolesListsAndChannelCommands)
{
	EXPECT_EQ(run("/mods"), R"({"ok":true,"notice":"Channel moderators: Helper, Nightbot"})");
	EXPECT_EQ(run("/vips"), R"({"ok":true,"notice":"Channel VIPs: Friend"})");
	m_fakes.command("twitch-api", "configure", R"({"moderators":[]})");
	EXPECT_EQ(run("/mods"), R"({"ok":true,"notice":"This channel has no moderators."})");
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "GET /helix/moderation/moderators?first=100&broadcaster_id=1001",
			       "GET /helix/channels/vips?first=100&broadcaster_id=1001",
			       "GET /helix/moderation/moderators?first=100&broadcaster_id=1001",
			   }));

	EXPECT_EQ(run("/mod @someone"), R"({"ok":true,"notice":"@someone is now a moderator."})");
	EXPECT_EQ(run("/unvip friend"), R"({"ok":true,"notice":"friend is no longer a VIP."})");
	EXPECT_EQ(run("/color #1E90FF"), R"({"ok":true,"notice":"Name color changed to #1E90FF."})");
	EXPECT_EQ(run("/block raider"), R"({"ok":true,"notice":"raider blocked."})");
	EXPECT_EQ(run("/raid raider"), R"({"ok":true,"notice":"Raid to raider started: it goes out in 90 seconds."})");
	EXPECT_EQ(run("/unraid"), R"({"ok":true,"notice":"Raid cancelled."})");
	std::vector<std::string> expected = {
	    "GET /helix/users?login=someone",
	    "POST /helix/moderation/moderators?broadcaster_id=1001&user_id=2002",
	    "GET /helix/users?login=friend",
	    "DELETE /helix/channels/vips?broadcaster_id=1001&user_id=4004",
	    "PUT /helix/chat/color?user_id=1001&color=%231E90FF",
	    "GET /helix/users?login=raider",
	    "PUT /helix/users/blocks?target_user_id=3003",
	    "GET /helix/users?login=raider",
	    "POST /helix/raids?from_broadcaster_id=1001&to_broadcaster_id=3003",
	    "DELETE /helix/raids?broadcaster_id=1001",
	};
	std::vector<Sent> r = sent();
	std::vector<std::string> got;
	for (const Sent &s : r) {
		got.push_back(s.method + " " + s.path);
		if (s.method != "GET")
			EXPECT_EQ(s.body, "") << s.path;
	}
	EXPECT_EQ(got, expected);

	EXPECT_EQ(run("/announcepurple  Stream  \"ends\" \\soon "), R"({"ok":true})");
	EXPECT_EQ(run("/shoutout @raider"), R"({"ok":true,"notice":"Shoutout a @raider sent."})");
	EXPECT_EQ(run("/marker"), R"({"ok":true,"notice":"Stream marker added."})");
	EXPECT_EQ(run("/commercial 0"), R"({"ok":true,"notice":"Ad started."})");
	r = sent();
	ASSERT_EQ(r.size(), 5u);
	EXPECT_EQ(r[0].method + " " + r[0].path,
		  "POST /helix/chat/announcements?broadcaster_id=1001&moderator_id=1001");
	EXPECT_EQ(r[0].body, R"({"message":"Stream ends soon","color":"purple"})");
	EXPECT_EQ(r[2].path, "/helix/chat/shoutouts?from_broadcaster_id=1001&to_broadcaster_id=3003&moderator_id=1001");
	EXPECT_EQ(r[3].body, R"({"user_id":"1001","description":""})");
	EXPECT_EQ(r[4].body, R"({"broadcaster_id":"1001","length":30})");

	// An offline channel cannot take a marker: Twitch's reason is shown.
	m_fakes.command("twitch-api", "configure", R"({"streams":{}})");
	const std::string reply = run("/marker good bit");
	EXPECT_EQ(reply.substr(0, 10), "{\"error\":\"");
	EXPECT_NE(reply, R"({"error":""})");
}

TEST_F(HelixTest, PageModerationActions)
{
	auto moderate = [&](const std::string &body) {
		return moderateAction(helix(), body);
	};
	const std::string tiktok = R"({"error":"TikTok moderation is available only in the app; no API exists"})";
	EXPECT_EQ(moderate(R"({"platform":"tiktok","action":"delete","id":"x"})"), tiktok);
	EXPECT_EQ(moderate(R"({"action":"ban","userId":"2002"})"), tiktok);
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"mute","userId":"2002"})"),
		  R"({"error":"Unknown moderation action"})");
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"ban"})"), R"({"error":"Unknown user"})");
	// Twitch clears the whole chat for a delete without a message id.
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"delete","id":""})"), R"({"error":"Unknown message"})");
	EXPECT_TRUE(calls().empty());

	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"timeout","userId":"2002","duration":"0"})"),
		  R"({"ok":true})");
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"unban","userId":"2002"})"), R"({"ok":true})");
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"timeout","userId":"2002","duration":90})"),
		  R"({"ok":true})");
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"warn","userId":"3003"})"), R"({"ok":true})");
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"delete","id":"a b&c"})"), R"({"ok":true})");
	std::vector<Sent> r = sent();
	ASSERT_EQ(r.size(), 5u);
	EXPECT_JSON(r[0].body, R"({"data":{"user_id":"2002","duration":600}})");
	EXPECT_JSON(r[2].body, R"({"data":{"user_id":"2002","duration":90}})");
	EXPECT_EQ(r[3].method + " " + r[3].path,
		  "POST /helix/moderation/warnings?broadcaster_id=1001&moderator_id=1001");
	EXPECT_JSON(r[3].body, R"({"data":{"user_id":"3003","reason":"Please follow the chat rules"}})");
	EXPECT_EQ(r[4].method + " " + r[4].path,
		  "DELETE /helix/moderation/chat?broadcaster_id=1001&moderator_id=1001&message_id=a%20b%26c");

	// A moderator acts on the channel under its own id.
	m_account.token = "tok-mod";
	m_account.userId = "5005";
	EXPECT_EQ(moderate(R"({"platform":"twitch","action":"unban","userId":"2002"})"), R"({"ok":true})");
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "DELETE /helix/moderation/bans?broadcaster_id=1001&moderator_id=5005&user_id=2002"}));
	m_account.token = "tok-streamer";
	m_account.userId = "1001";

	std::string error;
	EXPECT_TRUE(automodDecide(helix(), "held-1", false, error));
	r = sent();
	ASSERT_EQ(r.size(), 1u);
	EXPECT_EQ(r[0].method + " " + r[0].path, "POST /helix/moderation/automod/message");
	EXPECT_JSON(r[0].body, R"({"user_id":"1001","msg_id":"held-1","action":"DENY"})");
}
