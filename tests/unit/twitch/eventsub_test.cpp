#include "twitch/eventsub.h"
#include "twitch/helix_fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// Everything the four sinks received, in order, as "kind json" lines.
struct Outputs {
	EventSubSession::TextSink text(const std::string &kind)
	{
		return [this, kind](const std::string &t) {
			std::lock_guard<std::mutex> guard(lock);
			items.push_back(kind + " " + t);
		};
	}
	EventSubSession::HeldSink held()
	{
		return [sink = text("held")](const HeldMessage &h) {
			sink(heldMessageJson(h));
		};
	}
	std::vector<std::string> all()
	{
		std::lock_guard<std::mutex> guard(lock);
		return items;
	}
	size_t count(const std::string &line)
	{
		const std::vector<std::string> copy = all();
		return std::count(copy.begin(), copy.end(), line);
	}

	std::mutex lock;
	std::vector<std::string> items;
};

EventSubSession::Timings fast()
{
	EventSubSession::Timings t;
	t.tickMs = 10; // pauses of 0.5 s and 3 s
	t.keepaliveGraceMs = 300;
	t.socket.receiveMs = 100;
	return t;
}

class EventSubTest : public HelixFixture {
protected:
	void start(EventSubSession &session, const TwitchAccount &account, const std::string &bid = "1001")
	{
		session.start(HelixContext{account, kClientId, bid}, out.held(), out.text("automod"),
			      out.text("activity"), out.text("highlight"));
	}
	// Subscription requests since the last look: "type vversion".
	std::vector<std::string> subscriptions()
	{
		std::vector<std::string> out;
		m_last = m_fakes.command("twitch-api", "requests", "{\"clear\":true}")["requests"];
		for (const JsonValue &r : m_last.items()) {
			if (r["path"].str() != "/helix/eventsub/subscriptions")
				continue;
			JsonValue body = JsonValue::parse(r["body"].str());
			out.push_back(body["type"].str() + " v" + body["version"].str());
		}
		return out;
	}
	JsonValue sessions() { return m_fakes.command("twitch-eventsub", "sessions")["sessions"]; }
	void notify(const std::string &args) { m_fakes.command("twitch-eventsub", "notify", args); }

	Outputs out;
	JsonValue m_last;
};

} // namespace

TEST(EventSubDispatch, EachNotificationGivesItsOutput)
{
	auto note = [](const std::string &type, const std::string &event) {
		return "{\"metadata\":{\"message_type\":\"notification\",\"subscription_type\":\"" + type +
		       "\"},\"payload\":{\"subscription\":{},\"event\":" + event + "}}";
	};
	const struct {
		std::string message;
		std::string expected; // "sink json", or "" for nothing
	} cases[] = {
	    {note("automod.message.hold", R"({"message_id":"m1","user_id":"7","user_name":"Ann","reason":"automod",
		"message":{"text":"bad \"word\""},"automod":{"category":"swearing","level":4}})"),
	     R"(held {"id":"m1","userId":"7","name":"Ann","text":"bad \"word\"","reason":"automod","category":"swearing","resolved":false,"approved":false})"},
	    {note("automod.message.update", R"({"message_id":"m2","status":"Denied","message":{"text":"x"}})"),
	     R"(held {"id":"m2","userId":"","name":"","text":"x","reason":"","category":"","resolved":true,"approved":false})"},
	    {note("automod.message.hold", R"({"message_id":"","user_name":"Nobody"})"), ""},
	    // The type goes into the highlight as a JSON string, whatever it holds.
	    {note("channel.poll.\\\"}x", R"({"id":"p2"})"),
	     R"(highlight {"type":"channel.poll.\"}x","event":{"id":"p2"}})"},
	    // Filled follows, redemptions and cards as the docks show them are
	    // account.test.mjs's.
	    {note("channel.channel_points_custom_reward_redemption.add", R"({"id":"r2"})"),
	     R"(activity {"platform":"twitch","type":"redeem","id":"r2","userId":"","name":"",
		"login":"","input":"","reward":"","cost":0,"time":""})"},
	    // No event object, junk, other types: nothing.
	    {"not json", ""},
	    {note("channel.raid", R"({"from_broadcaster_user_id":"1"})"), ""},
	};
	for (const auto &c : cases) {
		Outputs out;
		dispatchNotification(c.message, out.held(), out.text("activity"), out.text("highlight"));
		const std::vector<std::string> all = out.all();
		ASSERT_LE(all.size(), 1u) << c.message;
		EXPECT_EQ(normalRequest(all.empty() ? "" : all[0]), normalRequest(c.expected)) << c.message;
	}
}

TEST_F(EventSubTest, BroadcasterSubscribesToEverythingAtTheWelcome)
{
	m_fakes.command(
	    "twitch-api", "configure",
	    R"({"refuseSubscriptions":[{"type":"channel.hype_train.begin","version":"2","status":400,"message":"version 2 not here"},
			{"type":"channel.hype_train.progress","version":"2","status":400,"message":"version 2 not here"},
			{"type":"channel.hype_train.end","version":"2","status":400,"message":"version 2 not here"}]})");
	EventSubSession session(fast());
	start(session, m_account);
	ASSERT_TRUE(waitUntil([&] { return out.count("automod AutoMod connected") == 1; }));
	EXPECT_EQ(subscriptions(), (std::vector<std::string>{
				       "automod.message.hold v2",
				       "automod.message.update v2",
				       "channel.follow v2",
				       "channel.channel_points_custom_reward_redemption.add v1",
				       "channel.poll.begin v1",
				       "channel.poll.progress v1",
				       "channel.poll.end v1",
				       "channel.prediction.begin v1",
				       "channel.prediction.progress v1",
				       "channel.prediction.lock v1",
				       "channel.prediction.end v1",
				       "channel.hype_train.begin v2",
				       "channel.hype_train.begin v1",
				       "channel.hype_train.progress v2",
				       "channel.hype_train.progress v1",
				       "channel.hype_train.end v2",
				       "channel.hype_train.end v1",
				   }));
	const std::string sessionId = sessions()[0]["id"].str();
	EXPECT_EQ(sessions()[0]["path"].str(), "/ws?keepalive_timeout_seconds=30");
	EXPECT_EQ(JsonValue::canonical(m_last[0]["body"].str()),
		  JsonValue::canonical(R"({"type":"automod.message.hold","version":"2",
		"condition":{"broadcaster_user_id":"1001","moderator_user_id":"1001"},
		"transport":{"method":"websocket","session_id":")" +
				       sessionId + "\"}}"));
	// Types a broadcaster alone may read carry no moderator in their condition.
	const JsonValue condition = JsonValue::parse(m_last[3]["body"].str())["condition"];
	EXPECT_EQ(condition.size(), 1u);
	EXPECT_EQ(condition["broadcaster_user_id"].str(), "1001");

	// A second welcome on the same socket changes nothing.
	m_fakes.command(
	    "twitch-eventsub", "send",
	    R"({"text":"{\"metadata\":{\"message_type\":\"session_welcome\"},\"payload\":{\"session\":{\"id\":\"other\"}}}"})");
	notify(
	    R"({"type":"channel.follow","event":{"user_id":"9","user_name":"Fan","user_login":"fan","followed_at":"t","broadcaster_user_id":"1001"}})");
	ASSERT_TRUE(waitUntil([&] { return out.all().size() == 2; }));
	EXPECT_TRUE(subscriptions().empty());
	EXPECT_EQ(out.count("automod AutoMod connected"), 1u);
}

TEST_F(EventSubTest, ModeratorGetsTheThreeModeratorTypesAndRefusalsAreReported)
{
	TwitchAccount moderator;
	moderator.token = "tok-mod";
	moderator.userId = "5005";
	m_fakes.command(
	    "twitch-api", "configure",
	    R"({"refuseSubscriptions":[{"type":"automod.message.hold","status":403,"message":"subscription missing proper authorization"}]})");
	EventSubSession session(fast());
	start(session, moderator);
	ASSERT_TRUE(waitUntil([&] { return !out.all().empty(); }));
	EXPECT_EQ(out.all()[0], "automod AutoMod inactive: subscription missing proper authorization");
	EXPECT_EQ(subscriptions(), (std::vector<std::string>{"automod.message.hold v2", "automod.message.update v2",
							     "channel.follow v2"}));
	EXPECT_EQ(JsonValue::parse(m_last[2]["body"].str())["condition"]["moderator_user_id"].str(), "5005");
}

TEST_F(EventSubTest, ReconnectRequestsAndSilenceMoveToANewSessionOnce)
{
	EventSubSession session(fast());
	start(session, m_account);
	ASSERT_TRUE(waitUntil([&] { return out.count("automod AutoMod connected") == 1; }));
	subscriptions();

	// Twitch moves the session: we follow at once and keep the old socket
	// until the new one is welcomed, so what the old one still carries
	// arrives; then we subscribe once on the new session and events keep
	// coming.
	const std::string oldId = sessions()[0]["id"].str();
	m_fakes.command("twitch-eventsub", "configure", R"({"welcome":false})");
	JsonValue moved = m_fakes.command("twitch-eventsub", "reconnect");
	ASSERT_TRUE(waitUntil([&] { return sessions().size() == 2; }));
	notify(R"({"type":"channel.poll.end","event":{"id":"p0"},"session":")" + oldId + "\"}");
	m_fakes.command("twitch-eventsub", "send",
			R"({"session":")" + moved["id"].str() +
			    R"(","text":"{\"metadata\":{\"message_type\":)"
			    R"(\"session_welcome\"},\"payload\":{\"session\":{\"id\":\")" +
			    moved["id"].str() + R"(\",\"keepalive_timeout_seconds\":10}}}"})");
	m_fakes.command("twitch-eventsub", "configure", R"({"welcome":true})");
	ASSERT_TRUE(waitUntil([&] { return out.count("automod AutoMod connected") == 2; }));
	EXPECT_EQ(out.all()[1].substr(0, 39), R"(highlight {"type":"channel.poll.end","e)");
	EXPECT_EQ(subscriptions().size(), 14u);
	EXPECT_EQ(JsonValue::parse(m_last[0]["body"].str())["transport"]["session_id"].str(), moved["id"].str());
	notify(R"({"type":"channel.poll.begin","event":{"id":"p1","broadcaster_user_id":"1001"}})");
	ASSERT_TRUE(waitUntil([&] { return out.all().size() == 4; }));
	ASSERT_TRUE(waitUntil([&] { return sessions()[0]["closed"]["code"].integer() == 1000; }));
	// An event read after the old socket closed: the worker subscribed no
	// more before reading it.
	notify(R"({"type":"channel.poll.begin","event":{"id":"p2","broadcaster_user_id":"1001"}})");
	ASSERT_TRUE(waitUntil([&] { return out.all().size() == 5; }));
	EXPECT_TRUE(subscriptions().empty());

	// A socket that stays silent past its keep-alive time is replaced.
	m_fakes.command("twitch-eventsub", "configure", R"({"keepaliveSeconds":1})");
	m_fakes.command("twitch-eventsub", "drop");
	ASSERT_TRUE(waitUntil([&] { return out.count("automod AutoMod connected") == 3; }));
	const auto silentSince = std::chrono::steady_clock::now();
	ASSERT_TRUE(waitUntil([&] { return out.count("automod AutoMod connected") == 4; }));
	const auto replacedAfter = std::chrono::steady_clock::now() - silentSince;
	EXPECT_GE(replacedAfter, std::chrono::milliseconds(1300)); // 1 s + grace, then the pause
	EXPECT_LT(replacedAfter, std::chrono::milliseconds(15000));
}

// Stopping in a pause is the chat reader's test (same socket worker).
TEST_F(EventSubTest, UnreachableHostIsReportedOnceAPause)
{
	m_fakes.command("twitch-eventsub", "configure", R"({"handshake":"reject"})");
	EventSubSession::Timings slow = fast();
	slow.tickMs = 100; // the real 30-second pause
	EventSubSession session(slow);
	start(session, m_account);
	ASSERT_TRUE(waitUntil([&] { return out.count("automod Event channel unreachable") == 1; }));
	session.stop();
	EXPECT_EQ(out.count("automod Event channel unreachable"), 1u);
}
