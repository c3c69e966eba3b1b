// TikTokClient against the fake web host, signing service and push socket.
#include "hub/chat_dock.h"
#include "support/fake_services.h"
#include "support/http_client.h"
#include "support/test_host.h"
#include "tiktok/tiktok_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;
using Clock = std::chrono::steady_clock;

namespace {

struct Report {
	LinkState state;
	std::string detail;
	Clock::time_point at;
};

// What the client reported, in order.
struct Recorder {
	std::mutex lock; // guards everything below
	std::vector<Report> statuses;
	std::vector<ChatMessage> messages;
	std::vector<int64_t> viewers;
	std::function<void(const ChatMessage &)> onMessage;

	std::unique_ptr<TikTokClient> make(const TikTokClient::Timings &timings)
	{
		return std::make_unique<TikTokClient>(
		    [this](const ChatMessage &m) {
			    if (onMessage)
				    onMessage(m);
			    std::lock_guard<std::mutex> g(lock);
			    messages.push_back(m);
		    },
		    [this](Platform p, const LinkStatus &s) {
			    EXPECT_EQ(p, Platform::TikTok);
			    std::lock_guard<std::mutex> g(lock);
			    statuses.push_back({s.state, s.detail, Clock::now()});
		    },
		    [this](int64_t n) {
			    std::lock_guard<std::mutex> g(lock);
			    viewers.push_back(n);
		    },
		    timings);
	}
	size_t count(const std::string &detail)
	{
		std::lock_guard<std::mutex> g(lock);
		size_t n = 0;
		for (const Report &r : statuses)
			n += r.detail == detail;
		return n;
	}
	std::vector<std::string> details()
	{
		std::lock_guard<std::mutex> g(lock);
		std::vector<std::string> out;
		for (const Report &r : statuses)
			out.push_back(r.detail);
		return out;
	}
	// Time from the n-th report with `from` to the next report with `to`.
	std::chrono::milliseconds gap(const std::string &from, const std::string &to, size_t n = 0)
	{
		std::lock_guard<std::mutex> g(lock);
		for (size_t i = 0; i < statuses.size(); ++i) {
			if (statuses[i].detail != from || n-- != 0)
				continue;
			for (size_t j = i + 1; j < statuses.size(); ++j) {
				if (statuses[j].detail == to)
					return std::chrono::duration_cast<std::chrono::milliseconds>(statuses[j].at -
												     statuses[i].at);
			}
		}
		return std::chrono::milliseconds(-1);
	}
};

const char kChecking[] = "Checking live status";
const char kOffline[] = "Channel offline · checking every 2 minutes";
const char kClosed[] = "TikTok connection closed · retrying";

class TikTokClientTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		FakeServices &fakes = FakeServices::instance();
		ASSERT_TRUE(fakes.ok()) << fakes.error();
		ASSERT_TRUE(fakes.reset());
	}
	// Pauses of 1 s (for 2 min) and 0.1 s (for 5 s), heartbeats every 0.2 s.
	static TikTokClient::Timings fast()
	{
		TikTokClient::Timings t;
		t.tickMs = 20;
		t.recheckTicks = 50;
		t.afterLiveTicks = 5;
		t.heartbeatTicks = 10;
		t.socket.receiveMs = 200;
		return t;
	}
	JsonValue web(const std::string &command, const std::string &args = "{}")
	{
		return FakeServices::instance().command("tiktok-web", command, args);
	}
	JsonValue signer(const std::string &command, const std::string &args = "{}")
	{
		return FakeServices::instance().command("tiktok-signer", command, args);
	}
	JsonValue push(const std::string &command, const std::string &args = "{}")
	{
		return FakeServices::instance().command("tiktok-push", command, args);
	}
	JsonValue session(size_t i = 0) { return push("state")["sessions"][i]; }
	void live(const std::string &name) { web("room", "{\"uniqueId\":\"" + name + "\",\"roomId\":\"7301\"}"); }
	bool listening(size_t n = 1) { return rec.count("Listening · @host.one") >= n; }

	Recorder rec;
};

} // namespace

TEST_F(TikTokClientTest, EmptyNameOnlyReportsNotConfigured)
{
	auto client = rec.make(fast());
	client->start("");
	client->stop();
	EXPECT_EQ(rec.details(), std::vector<std::string>{"Not configured"});
	EXPECT_EQ(web("requests")["requests"].size(), 0u);
}

TEST_F(TikTokClientTest, LookupAnswersAndTheirPauses)
{
	struct Case {
		const char *answer;
		LinkState state;
		const char *detail;
	};
	const Case cases[] = {
	    {R"("mode":"offline")", LinkState::Offline, kOffline},
	    {R"("mode":"user_not_found")", LinkState::Offline, kOffline},
	    {R"("mode":"numeric","roomId":7123,"liveStatus":4)", LinkState::Offline, kOffline},
	    {R"("mode":"noroom")", LinkState::Retry, "TikTok user not found · checking again in 2 min"},
	    {R"("mode":"nodata")", LinkState::Retry, "TikTok user not found · checking again in 2 min"},
	    {R"("mode":"status","status":403)", LinkState::Retry, "TikTok replied 403 · checking again in 2 min"},
	    {R"("mode":"status","status":500)", LinkState::Retry, "TikTok replied 500 · checking again in 2 min"},
	    {R"("mode":"raw","body":"<html>")", LinkState::Retry,
	     "Unable to read the TikTok response · checking again in 2 min"},
	};
	auto client = rec.make(fast());
	for (const Case &c : cases) {
		web("room", std::string("{\"uniqueId\":\"some.one\",") + c.answer + "}");
		rec.statuses.clear();
		client->start("some.one");
		// Checked twice: the answer is repeated after the long pause.
		ASSERT_TRUE(waitUntil([&] { return rec.count(c.detail) >= 2; })) << c.answer;
		client->stop();
		std::lock_guard<std::mutex> g(rec.lock);
		ASSERT_GE(rec.statuses.size(), 5u);
		EXPECT_EQ(rec.statuses[0].detail, kChecking);
		EXPECT_EQ(rec.statuses[0].state, LinkState::Connecting);
		EXPECT_EQ(rec.statuses[1].state, c.state) << c.answer;
		EXPECT_GE(rec.statuses[2].at - rec.statuses[1].at, std::chrono::milliseconds(950)) << c.answer;
		EXPECT_EQ(rec.statuses.back().detail, "Disconnected");
		EXPECT_EQ(rec.statuses.back().state, LinkState::Disabled);
	}
	JsonValue request = web("requests")["requests"][0];
	EXPECT_EQ(request["path"].str(), "/api-live/user/room/?aid=1988&app_language=en-US&app_name=tiktok_web"
					 "&device_platform=web&sourceType=54&uniqueId=some.one");
	bool referer = false;
	for (const JsonValue &h : request["headers"].items())
		referer |= h[0].str() == "Referer" &&
			   h[1].str() == "https://" + FakeServices::instance().address("tiktok-web") + "/";
	EXPECT_TRUE(referer);
	// Nothing was live: the signing service was never asked.
	EXPECT_EQ(signer("requests")["requests"].size(), 0u);
}

TEST_F(TikTokClientTest, LiveRoomEndToEnd)
{
	live("host.one");
	auto client = rec.make(fast());
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening() && session()["entered"].has("roomId"); }));

	JsonValue sign = signer("requests")["requests"][0];
	EXPECT_EQ(sign["roomId"].str(), "7301");
	EXPECT_EQ(sign["query"]["client"].str(), "ttlive-node");
	EXPECT_EQ(sign["query"]["user_agent"].str().substr(0, 12), "Mozilla/5.0 ");
	JsonValue s = session();
	EXPECT_EQ(s["path"].str(), "/webcast/im/push/v2/");
	const std::string query = s["query"].str();
	EXPECT_NE(query.find("&compress=gzip&room_id=7301&cursor=1700000000000_7300000000000000001_1_1_0_0"
			     "&internal_ext=internal_src%3Adim%7Cwss_push_room_id%3A7300000000000000001%7C"
			     "fetch_time%3A1700000000000&wrss=aBc-123_x&im_path=%2Fwebcast%2Fim%2Ffetch%2F"
			     "&region=us%20east&version_code=270000"),
		  std::string::npos)
	    << query;
	std::string cookie;
	for (const JsonValue &h : s["headers"].items())
		if (h[0].str() == "Cookie")
			cookie = h[1].str();
	EXPECT_EQ(cookie, "ttwid=1%7Cfake; tt-target-idc=useast2a");
	JsonValue entered = s["entered"];
	EXPECT_EQ(entered["roomId"].str(), "7301");
	EXPECT_EQ(entered["field4"].integer(), 12);
	EXPECT_EQ(entered["role"].str(), "audience");
	EXPECT_EQ(entered["field9"].str(), "0");
	EXPECT_NE(entered["randomId"].str(), "0");
	EXPECT_EQ(entered["fieldOrder"].size(), 9u);

	// Everything the room sends, gzip and plain, with the rubbish a live
	// socket also carries.
	push("send", R"({"frames":[
		{"gzip":true,"logId":"901","needAck":true,"internalExt":"ext-901","messages":[
			{"method":"WebcastChatMessage","msgId":11,"user":{"id":5,"nickname":"Ann","uniqueId":"ann","idText":"5"},
			 "text":"hello","identity":{"moderator":true}},
			{"method":"WebcastEmoteChatMessage","msgId":12,"user":{"nickname":"Em"},"emotes":["https://e/1","https://e/2"]},
			{"method":"WebcastMemberMessage","msgId":13,"user":{"nickname":"Jo"},"viewers":120,"action":1},
			{"method":"WebcastLikeMessage","msgId":14,"user":{"nickname":"Li"},"count":15,"total":1200},
			{"method":"WebcastSocialMessage","msgId":15,"user":{"nickname":"Fo"},"displayKey":"pm_mt_msg_viewer_follow"},
			{"method":"WebcastGiftMessage","msgId":16,"user":{"nickname":"Gi"},"repeat":1,"repeatEnd":0,
			 "gift":{"name":"Rose","type":1,"diamonds":5,"image":"https://img/rose.png"}},
			{"method":"WebcastGiftMessage","msgId":16,"user":{"nickname":"Gi"},"repeat":2,"repeatEnd":1,
			 "gift":{"name":"Rose","type":1,"diamonds":5,"image":"https://img/rose.png"}}]},
		{"encoding":"json","messages":[{"method":"WebcastChatMessage","text":"never"}]},
		{"logId":"902","needAck":false,"messages":[
			{"method":"WebcastRankUpdateMessage","viewers":1},
			{"method":"WebcastRoomUserSeqMessage","viewers":250}]},
		{"gzip":true,"payload":"AAAA"}]})");
	push("send", R"({"base64":"CP////////////8B"})");
	push("send", R"({"text":"not a frame"})");
	push("send",
	     R"({"frames":[{"messages":[{"method":"WebcastChatMessage","user":{"nickname":"Z"},"text":"last"}]}]})");
	ASSERT_TRUE(waitUntil([&] {
		std::lock_guard<std::mutex> g(rec.lock);
		return rec.messages.size() == 7;
	}));
	ASSERT_TRUE(waitUntil([&] { return session()["heartbeats"].size() >= 3; }));
	s = session();
	ASSERT_EQ(s["acks"].size(), 1u);
	EXPECT_EQ(s["acks"][0]["logId"].str(), "901");
	EXPECT_TRUE(s["acks"][0]["matches"].boolean());
	for (int i = 0; i < 3; ++i) {
		EXPECT_EQ(s["heartbeats"][i]["counter"].integer(), i + 1);
		EXPECT_EQ(s["heartbeats"][i]["roomId"].str(), "7301");
		EXPECT_EQ(s["heartbeats"][i]["fieldOrder"].size(), 2u);
	}
	EXPECT_EQ(s["problems"].size(), 0u) << s["problems"][0].str();
	client->stop();
	// A stop is not a failure.
	EXPECT_EQ(rec.count(kClosed), 0u);
	EXPECT_EQ(rec.details().back(), "Disconnected");

	std::lock_guard<std::mutex> g(rec.lock);
	std::vector<std::string> got;
	for (const ChatMessage &m : rec.messages)
		got.push_back(m.id + " " + m.name + " " + m.text + m.eventId + " " + m.eventCount + "/" + m.eventTotal);
	EXPECT_EQ(got,
		  (std::vector<std::string>{"11 Ann hello /", "12 Em [emote] [emote] /", "13 Jo join /",
					    "14 Li like 15/1200", "15 Fo follow /", "16 Gi gift 2/10", " Z last /"}));
	EXPECT_EQ(rec.messages[0].badges.size(), 1u);
	EXPECT_EQ(rec.messages[5].eventImage, "https://img/rose.png");
	EXPECT_EQ(rec.viewers, (std::vector<int64_t>{120, 250}));
}

TEST_F(TikTokClientTest, AcknowledgesBeforeHandingOnMessages)
{
	live("host.one");
	auto client = rec.make(fast());
	bool ackSeenFirst = false;
	// The sink waits for the fake to have the acknowledgement; sent after
	// the messages, it could never arrive in time.
	rec.onMessage = [&](const ChatMessage &) {
		ackSeenFirst =
		    waitUntil([&] { return session()["acks"].size() == 1; }, std::chrono::milliseconds(3000));
	};
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening() && session()["entered"].has("roomId"); }));
	push("send", R"({"frames":[{"logId":"77","needAck":true,"internalExt":"e\u0001","messages":[
		{"method":"WebcastChatMessage","text":"hi"}]}]})");
	ASSERT_TRUE(waitUntil([&] {
		std::lock_guard<std::mutex> g(rec.lock);
		return rec.messages.size() == 1;
	}));
	EXPECT_TRUE(ackSeenFirst);
}

TEST_F(TikTokClientTest, EndedSessionsRetryAfterTheShortPause)
{
	live("host.one");
	TikTokClient::Timings t = fast();
	t.silenceLimitMs = 1000;
	auto client = rec.make(t);
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening(1); }));
	push("close", R"({"code":1000})");
	ASSERT_TRUE(waitUntil([&] { return listening(2); }));
	push("drop");
	ASSERT_TRUE(waitUntil([&] { return listening(3); }));
	// The third session falls silent: heartbeats still go out, nothing comes in.
	ASSERT_TRUE(waitUntil([&] { return listening(4); }, std::chrono::seconds(6)));
	client->stop();
	EXPECT_EQ(rec.count(kClosed), 3u);
	for (size_t i = 0; i < 3; ++i) {
		auto pause = rec.gap(kClosed, kChecking, i);
		EXPECT_GE(pause, std::chrono::milliseconds(90));
		EXPECT_LT(pause, std::chrono::milliseconds(900));
	}
	EXPECT_GE(rec.gap("Listening · @host.one", kClosed, 2), std::chrono::milliseconds(950));
	JsonValue third = session(2);
	EXPECT_GE(third["heartbeats"].size(), 2u);
	EXPECT_EQ(third["problems"].size(), 0u);
}

TEST_F(TikTokClientTest, FailedSetUpsWaitTheLongPause)
{
	struct Case {
		const char *service;
		const char *args;
		LinkState state;
		const char *detail;
	};
	const Case cases[] = {
	    {"tiktok-signer", R"({"status":402})", LinkState::Error, "The signing service requires a paid plan"},
	    {"tiktok-signer", R"({"status":401})", LinkState::Error, "The signing service requires a paid plan"},
	    {"tiktok-signer", R"({"status":403})", LinkState::Retry, "Signing failed (403)"},
	    {"tiktok-signer", R"({"status":500})", LinkState::Retry, "Signing failed (500)"},
	    {"tiktok-signer", R"({"status":429})", LinkState::Retry,
	     "Too many connections to the signing service · retrying"},
	    {"tiktok-signer", R"({"omitPush":true})", LinkState::Retry, "Incomplete signing response"},
	    {"tiktok-push", R"({"handshake":"reject"})", LinkState::Retry, "TikTok WebSocket rejected"},
	};
	auto client = rec.make(fast());
	for (const Case &c : cases) {
		ASSERT_TRUE(FakeServices::instance().reset());
		live("host.one");
		FakeServices::instance().command(c.service, "configure", c.args);
		rec.statuses.clear();
		client->start("host.one");
		ASSERT_TRUE(waitUntil([&] { return rec.count(c.detail) >= 2; })) << c.args;
		client->stop();
		auto details = rec.details();
		EXPECT_EQ(details[1], c.detail);
		EXPECT_EQ(rec.statuses[1].state, c.state) << c.args;
		EXPECT_GE(rec.gap(c.detail, kChecking), std::chrono::milliseconds(950)) << c.args;
		EXPECT_EQ(push("state")["accepted"].integer(), 0) << c.args;
	}
}

TEST_F(TikTokClientTest, StopAndRestartWithAnotherName)
{
	live("host.one");
	web("room", R"({"uniqueId":"other","mode":"offline"})");
	auto client = rec.make(TikTokClient::Timings()); // the product's waits
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening(); }));
	auto began = Clock::now();
	client->start("other"); // aborts the socket blocked in receive
	EXPECT_LT(Clock::now() - began, std::chrono::milliseconds(1000));
	ASSERT_TRUE(waitUntil([&] { return rec.count(kOffline) == 1; }));
	began = Clock::now();
	client->stop(); // in the 2-minute pause
	EXPECT_LT(Clock::now() - began, std::chrono::milliseconds(1000));
	EXPECT_EQ(rec.details(), (std::vector<std::string>{kChecking, "Listening · @host.one", "Disconnected",
							   kChecking, kOffline, "Disconnected"}));
	EXPECT_TRUE(waitUntil([&] { return !session()["open"].boolean(); }));
}

TEST_F(TikTokClientTest, ProductTimings)
{
	live("host.one");
	auto client = rec.make(TikTokClient::Timings());
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening() && session()["entered"].has("roomId"); }));
	const double entered = session()["received"][0]["at"].number();
	ASSERT_TRUE(waitUntil([&] { return session()["heartbeats"].size() == 1; }, std::chrono::seconds(12)));
	const double beat = session()["heartbeats"][0]["at"].number() - entered;
	EXPECT_GE(beat, 9800);
	EXPECT_LT(beat, 11500);
	push("drop");
	ASSERT_TRUE(waitUntil([&] { return listening(2); }, std::chrono::seconds(8)));
	auto pause = rec.gap(kClosed, kChecking);
	EXPECT_GE(pause, std::chrono::milliseconds(4900));
	EXPECT_LT(pause, std::chrono::milliseconds(6500));
}

TEST_F(TikTokClientTest, HubShowsTheRoom)
{
	live("host.one");
	TestHost host;
	host.writeConfigFile("config.json", "{\"tiktok\":\"host.one\"}");
	ChatDock::Options options;
	options.firstPort = 31863;
	ChatDock hub(options);
	EventStreamClient page(hub.port());
	ASSERT_TRUE(waitUntil([&] { return session()["entered"].has("roomId"); }));
	push("send", R"({"frames":[{"gzip":true,"messages":[
		{"method":"WebcastChatMessage","msgId":21,"user":{"nickname":"Ann","idText":"5"},"text":"hi there"},
		{"method":"WebcastRoomUserSeqMessage","viewers":250}]}]})");
	ASSERT_TRUE(waitUntil([&] {
		page.readEvents(100, 20);
		return page.events().find("\"text\":\"hi there\"") != std::string::npos;
	}));
	// The hub's poller sends the room's count, and its reset when the live
	// ends, as "viewers" events.
	const std::string counted = "event: viewers\ndata: {\"twitch\":null,\"tiktok\":250,";
	ASSERT_TRUE(waitUntil([&] {
		page.readEvents(100, 20);
		return page.events().find(counted) != std::string::npos;
	}));
	push("close");
	ASSERT_TRUE(waitUntil([&] {
		page.readEvents(100, 20);
		const std::string e = page.events();
		size_t at = e.find(counted);
		return e.find(kClosed) != std::string::npos &&
		       e.find("event: viewers\ndata: {\"twitch\":null,\"tiktok\":null,", at) != std::string::npos;
	}));
	const std::string events = page.events();
	EXPECT_NE(events.find("event: message-in\ndata: {\"id\":\"21\",\"platform\":\"tiktok\",\"userId\":\"5\","
			      "\"name\":\"Ann\""),
		  std::string::npos)
	    << events;
	EXPECT_NE(events.find("\"tiktok\":{\"state\":\"connected\",\"detail\":\"Listening · @host.one\"}"),
		  std::string::npos);
}
