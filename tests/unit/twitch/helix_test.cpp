#include "twitch/helix.h"
#include "twitch/helix_fixture.h"
#include "twitch/moderation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

const char kOk[] = R"({"ok":true})";

// One row: a chat command or a page's moderation body, the answer, and the
// requests Twitch receives for it.
struct Case {
	std::string input;
	std::string reply;
	std::vector<std::string> requests;
};

class HelixTest : public HelixFixture {
protected:
	template <typename Run> void expectRows(const std::vector<Case> &cases, Run run)
	{
		for (const Case &c : cases) {
			EXPECT_EQ(run(c.input), c.reply) << c.input;
			std::vector<std::string> expected;
			for (const std::string &r : c.requests)
				expected.push_back(normalRequest(r));
			EXPECT_EQ(calls(), expected) << c.input;
		}
	}
};

} // namespace

TEST(HelixText, EncodingErrorsAndScopes)
{
	EXPECT_EQ(urlEncode("Az09-._~ /&=#\xC3\xA9"), "Az09-._~%20%2F%26%3D%23%C3%A9");

	EXPECT_EQ(helixError("{\"status\":401,\"message\":\"Invalid OAuth token\"}", 401), "Invalid OAuth token");

	EXPECT_EQ(joinNames("{\"data\":[{\"user_name\":\"A\"},{\"user_name\":\"\"},{\"user_name\":\"B\"}]}"), "A, B");
	EXPECT_EQ(quoteSimple("say \"hi\" \\o/"), "\"say hi o/\"");

	// 30 scopes asked for; the three chat scopes only the anonymous reader
	// needs are not required; letter case counts.
	const std::string scopes = requestedScopes();
	EXPECT_EQ(std::count(scopes.begin(), scopes.end(), '+'), 29);
	TwitchAccount account;
	EXPECT_FALSE(hasAllScopes(account));
	for (size_t start = 0, end = 0; end != std::string::npos; start = end + 1) {
		end = scopes.find('+', start);
		account.scopes.push_back(scopes.substr(start, end - start));
	}
	account.scopes.erase(account.scopes.begin());
	EXPECT_TRUE(hasAllScopes(account));
	account.scopes.back() = "CHANNEL:READ:HYPE_TRAIN";
	EXPECT_FALSE(hasAllScopes(account));
}

TEST_F(HelixTest, CallErrorsAndTokenValidation)
{
	std::string reply;
	std::string error;
	script("GET", "/helix/users", 500, "\"\"");
	EXPECT_FALSE(helixCall(helix(), "GET", "/helix/users?login=x", "", reply, error));
	EXPECT_EQ(error, "Twitch replied 500");
	m_fakes.command("twitch-api", "script", R"({"path":"/helix/raids","drop":true})");
	EXPECT_FALSE(helixCall(helix(), "DELETE", "/helix/raids?broadcaster_id=1001", "", reply, error));
	EXPECT_EQ(error, "Twitch unreachable");
	calls();

	TwitchAccount account;
	account.refreshToken = "kept";
	ASSERT_EQ(validateToken("tok-streamer", account), TokenCheck::Valid);
	EXPECT_EQ(account.token + " " + account.login + " " + account.userId + " " + account.refreshToken,
		  "tok-streamer streamer 1001 kept");
	EXPECT_TRUE(hasAllScopes(account));
	std::string authorization;
	EXPECT_EQ(calls("Authorization", &authorization), std::vector<std::string>{"GET /oauth2/validate"});
	EXPECT_EQ(authorization, "OAuth tok-streamer");

	// Refused: unknown (401), empty user id, and text that would add header
	// lines. Without an answer from Twitch the token is in doubt, not refused.
	TwitchAccount untouched;
	untouched.login = "before";
	EXPECT_EQ(validateToken("tok-unknown", untouched), TokenCheck::Rejected);
	m_fakes.command("twitch-api", "configure",
			R"({"tokens":{"tok-odd":{"body":"{\"login\":\"odd\",\"user_id\":\"\",\"scopes\":[]}"}}})");
	EXPECT_EQ(validateToken("tok-odd", untouched), TokenCheck::Rejected);
	m_fakes.command("twitch-api", "script", R"({"path":"/oauth2/validate","drop":true})");
	EXPECT_EQ(validateToken("tok-streamer", untouched), TokenCheck::Unanswered);
	EXPECT_EQ(untouched.login, "before");
	calls();
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
	std::string contentType;
	EXPECT_EQ(
	    calls("Content-Type", &contentType),
	    std::vector<std::string>{normalRequest(
		R"(POST /helix/chat/messages {"broadcaster_id":"1001","sender_id":"1001","message":"hello \"chat\""})")});
	EXPECT_EQ(contentType, "application/json");
	EXPECT_TRUE(sendChat(helix(), "sure", error, "msg-7"));
	EXPECT_EQ(calls(), std::vector<std::string>{normalRequest(
			       R"(POST /helix/chat/messages {"broadcaster_id":"1001",)"
			       R"("sender_id":"1001","message":"sure","reply_parent_message_id":"msg-7"})")});

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

TEST_F(HelixTest, CommandsAndTheirRequests)
{
	const std::string user = "GET /helix/users?login=";
	const std::string bans = "/helix/moderation/bans?broadcaster_id=1001&moderator_id=1001";
	const std::string settings = "PATCH /helix/chat/settings?broadcaster_id=1001&moderator_id=1001 ";
	const std::string notice = R"({"ok":true,"notice":")";
	expectRows(
	    {
		// Answered here; an unknown user is reported before anything else is called.
		{"   ", R"({"error":"Empty command"})", {}},
		{"/ME waves", R"({"error":"The Twitch API does not accept /me; send a normal message instead"})", {}},
		{"/Dance now", R"({"error":"Unknown command: /dance"})", {}},
		{"/color", R"({"error":"Usage: /color <color>, for example /color blue or /color #FF0000"})", {}},
		{"/announceorange   ", R"({"error":"Usage: /announce <message>"})", {}},
		{"/ban", R"({"error":"User not found: "})", {}},
		// Moderation and chat modes.
		{"/TIMEOUT @someone 0 spam",
		 kOk,
		 {user + "someone", "POST " + bans + R"( {"data":{"user_id":"2002","duration":600}})"}},
		{"/untimeout someone", kOk, {user + "someone", "DELETE " + bans + "&user_id=2002"}},
		{"/ban raider", kOk, {user + "raider", "POST " + bans + R"( {"data":{"user_id":"3003"}})"}},
		{"/slow", kOk, {settings + R"({"slow_mode":true,"slow_mode_wait_time":30})"}},
		{"/slow -5", kOk, {settings + R"({"slow_mode":true,"slow_mode_wait_time":30})"}},
		{"/followers", kOk, {settings + R"({"follower_mode":true,"follower_mode_duration":0})"}},
		{"/clear", kOk, {"DELETE /helix/moderation/chat?broadcaster_id=1001&moderator_id=1001"}},
		// Roles, lists and the channel.
		{"/mods",
		 notice + "Channel moderators: Helper, Nightbot\"}",
		 {"GET /helix/moderation/moderators?first=100&broadcaster_id=1001"}},
		{"/mod @someone",
		 notice + "@someone is now a moderator.\"}",
		 {user + "someone", "POST /helix/moderation/moderators?broadcaster_id=1001&user_id=2002"}},
		{"/unvip friend",
		 notice + "friend is no longer a VIP.\"}",
		 {user + "friend", "DELETE /helix/channels/vips?broadcaster_id=1001&user_id=4004"}},
		{"/color #1E90FF",
		 notice + "Name color changed to #1E90FF.\"}",
		 {"PUT /helix/chat/color?user_id=1001&color=%231E90FF"}},
		{"/block raider",
		 notice + "raider blocked.\"}",
		 {user + "raider", "PUT /helix/users/blocks?target_user_id=3003"}},
		{"/raid raider",
		 notice + "Raid to raider started: it goes out in 90 seconds.\"}",
		 {user + "raider", "POST /helix/raids?from_broadcaster_id=1001&to_broadcaster_id=3003"}},
		{"/unraid", notice + "Raid cancelled.\"}", {"DELETE /helix/raids?broadcaster_id=1001"}},
		{"/announcepurple  Stream  \"ends\" \\soon ",
		 kOk,
		 {R"(POST /helix/chat/announcements?broadcaster_id=1001&moderator_id=1001 )"
		  R"({"message":"Stream ends soon","color":"purple"})"}},
		{"/shoutout @raider",
		 notice + "Shoutout a @raider sent.\"}",
		 {user + "raider",
		  "POST /helix/chat/shoutouts?from_broadcaster_id=1001&to_broadcaster_id=3003&moderator_id=1001"}},
		{"/marker",
		 notice + "Stream marker added.\"}",
		 {R"(POST /helix/streams/markers {"user_id":"1001","description":""})"}},
		{"/commercial 0",
		 notice + "Ad started.\"}",
		 {R"(POST /helix/channels/commercial {"broadcaster_id":"1001","length":30})"}},
	    },
	    [&](const std::string &text) { return runChatCommand(helix(), text); });

	// Empty lists and refusals: Twitch's reason is shown.
	m_fakes.command("twitch-api", "configure", R"({"moderators":[],"streams":{}})");
	EXPECT_EQ(runChatCommand(helix(), "/mods"), notice + "This channel has no moderators.\"}");
	const std::string reply = runChatCommand(helix(), "/marker good bit");
	EXPECT_EQ(reply.substr(0, 10), "{\"error\":\"");
	EXPECT_NE(reply, R"({"error":""})");
}

TEST_F(HelixTest, PageModerationActions)
{
	const std::string tiktok = R"({"error":"TikTok moderation is available only in the app; no API exists"})";
	const std::string bans = "/helix/moderation/bans?broadcaster_id=1001&moderator_id=1001";
	expectRows(
	    {
		{R"({"action":"ban","userId":"2002"})", tiktok, {}},
		{R"({"platform":"twitch","action":"mute","userId":"2002"})",
		 R"({"error":"Unknown moderation action"})",
		 {}},
		{R"({"platform":"twitch","action":"ban"})", R"({"error":"Unknown user"})", {}},
		// Twitch clears the whole chat for a delete without a message id.
		{R"({"platform":"twitch","action":"delete","id":""})", R"({"error":"Unknown message"})", {}},
		{R"({"platform":"twitch","action":"timeout","userId":"2002","duration":"0"})",
		 kOk,
		 {"POST " + bans + R"( {"data":{"user_id":"2002","duration":600}})"}},
		{R"({"platform":"twitch","action":"warn","userId":"3003"})",
		 kOk,
		 {R"(POST /helix/moderation/warnings?broadcaster_id=1001&moderator_id=1001 )"
		  R"({"data":{"user_id":"3003","reason":"Please follow the chat rules"}})"}},
		{R"({"platform":"twitch","action":"delete","id":"a b&c"})",
		 kOk,
		 {"DELETE /helix/moderation/chat?broadcaster_id=1001&moderator_id=1001&message_id=a%20b%26c"}},
	    },
	    [&](const std::string &body) { return moderateAction(helix(), body); });

	// A moderator acts on the channel under its own id.
	m_account.token = "tok-mod";
	m_account.userId = "5005";
	EXPECT_EQ(moderateAction(helix(), R"({"platform":"twitch","action":"unban","userId":"2002"})"), kOk);
	EXPECT_EQ(calls(), (std::vector<std::string>{
			       "DELETE /helix/moderation/bans?broadcaster_id=1001&moderator_id=5005&user_id=2002"}));

	std::string error;
	EXPECT_TRUE(automodDecide(helix(), "held-1", false, error));
	EXPECT_EQ(
	    calls(),
	    std::vector<std::string>{normalRequest(
		R"(POST /helix/moderation/automod/message {"user_id":"5005","msg_id":"held-1","action":"DENY"})")});
}
