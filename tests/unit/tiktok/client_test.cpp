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
	// Pauses of 2 s (for 2 min) and 0.1 s (for 5 s), heartbeats every 0.2 s.
	static TikTokClient::Timings fast()
	{
		TikTokClient::Timings t;
		t.tickMs = 20;
		t.recheckTicks = 100;
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
	    {R"("mode":"status","status":500)", LinkState::Retry, "TikTok replied 500 · checking again in 2 min"},
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
		EXPECT_GE(rec.statuses[2].at - rec.statuses[1].at, std::chrono::milliseconds(1950)) << c.answer;
		EXPECT_EQ(rec.statuses.back().detail, "Disconnected");
		EXPECT_EQ(rec.statuses.back().state, LinkState::Disabled);
	}
	bool referer = false;
	for (const JsonValue &h : web("requests")["requests"][0]["headers"].items())
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
	JsonValue s = session();
	EXPECT_EQ(s["path"].str(), "/webcast/im/push/v2/");
	std::string cookie;
	for (const JsonValue &h : s["headers"].items())
		if (h[0].str() == "Cookie")
			cookie = h[1].str();
	EXPECT_EQ(cookie, "ttwid=1%7Cfake; tt-target-idc=useast2a");
	EXPECT_EQ(s["entered"]["roomId"].str(), "7301");

	// Everything the room sends, gzip and plain, with the rubbish a live
	// socket also carries.
	push("send", R"({"frames":[
		{"gzip":true,"logId":"901","needAck":true,"internalExt":"ext-901","messages":[
			{"method":"WebcastChatMessage","msgId":11,"user":{"id":5,"nickname":"Ann","uniqueId":"ann","idText":"5"},
			 "text":"hello","identity":{"moderator":true}},
			{"method":"WebcastMemberMessage","msgId":13,"user":{"nickname":"Jo"},"viewers":120,"action":1}]},
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
		return rec.messages.size() == 3;
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
	EXPECT_EQ(got, (std::vector<std::string>{"11 Ann hello /", "13 Jo join /", " Z last /"}));
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
		EXPECT_LT(pause, std::chrono::milliseconds(1800));
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
		EXPECT_GE(rec.gap(c.detail, kChecking), std::chrono::milliseconds(1950)) << c.args;
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
	EXPECT_LT(Clock::now() - began, std::chrono::seconds(5));
	ASSERT_TRUE(waitUntil([&] { return rec.count(kOffline) == 1; }));
	began = Clock::now();
	client->stop(); // in the 2-minute pause
	EXPECT_LT(Clock::now() - began, std::chrono::seconds(5));
	EXPECT_EQ(rec.details(), (std::vector<std::string>{kChecking, "Listening · @host.one", "Disconnected",
							   kChecking, kOffline, "Disconnected"}));
	EXPECT_TRUE(waitUntil([&] { return !session()["open"].boolean(); }));
}
