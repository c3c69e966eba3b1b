// TikTokClient against the fake web host, signing service and push socket.
#include "feed/sink_log.h"
#include "support/fake_services.h"
#include "tiktok/tiktok_client.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

const char kChecking[] = "Checking live status";
const char kOffline[] = "Channel offline · checking every 2 minutes";
const char kClosed[] = "TikTok connection closed · retrying";

class TikTokClientTest : public FakesTest {
protected:
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
	// A command to the fake TikTok web host, signing service or push socket.
	JsonValue fake(const char *service, const std::string &command, const std::string &args = "{}")
	{
		return m_fakes.command(std::string("tiktok-") + service, command, args);
	}
	JsonValue session(size_t i = 0) { return fake("push", "state")["sessions"][i]; }
	void live(const std::string &name)
	{
		fake("web", "room", "{\"uniqueId\":\"" + name + "\",\"roomId\":\"7301\"}");
	}
	bool listening(size_t n = 1) { return rec.count("Listening · @host.one") >= n; }
	std::unique_ptr<TikTokClient> make(const TikTokClient::Timings &timings)
	{
		const ChatSinks sinks = rec.sinks();
		return std::make_unique<TikTokClient>(sinks.message, sinks.status, sinks.viewers, timings);
	}

	SinkLog rec;
};

} // namespace

// What a chat line in a live room looks like is multi.test.mjs's;
// here the requests, the acknowledgement before the line is handed on, the
// heartbeats and the rubbish a live socket also carries.
TEST_F(TikTokClientTest, LiveRoomEndToEnd)
{
	live("host.one");
	auto client = make(fast());
	bool ackSeenFirst = false;
	// The sink waits for the fake to have the acknowledgement; sent after
	// the messages, it could never arrive in time.
	rec.onMessage = [&](const ChatMessage &m) {
		if (m.text == "hi")
			ackSeenFirst =
			    waitUntil([&] { return session()["acks"].size() == 1; }, std::chrono::milliseconds(3000));
	};
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening() && !session()["entered"]["roomId"].isNull(); }));
	EXPECT_EQ(fake("signer", "requests")["requests"][0]["roomId"].str(), "7301");
	JsonValue s = session();
	EXPECT_EQ(headerOf(s, "Cookie"), "ttwid=1%7Cfake; tt-target-idc=useast2a");
	EXPECT_EQ(s["entered"]["roomId"].str(), "7301");

	fake("push", "send", R"({"frames":[{"logId":"77","needAck":true,"internalExt":"e\u0001","messages":[
		{"method":"WebcastChatMessage","text":"hi"}]},
		{"encoding":"json","messages":[{"method":"WebcastChatMessage","text":"never"}]},
		{"gzip":true,"payload":"AAAA"}]})");
	fake("push", "send", R"({"frames":[{"messages":[{"method":"WebcastChatMessage","text":"last"}]}]})");
	ASSERT_TRUE(waitUntil([&] { return rec.size(rec.messages) == 2; }));
	EXPECT_TRUE(ackSeenFirst);
	ASSERT_TRUE(waitUntil([&] { return session()["heartbeats"].size() >= 3; }));
	s = session();
	for (int i = 0; i < 3; ++i) {
		EXPECT_EQ(s["heartbeats"][i]["counter"].integer(), i + 1);
		EXPECT_EQ(s["heartbeats"][i]["roomId"].str(), "7301");
	}
	EXPECT_EQ(s["problems"].size(), 0u) << s["problems"][0].str();
	client->stop();
	// A stop is not a failure.
	EXPECT_EQ(rec.count(kClosed), 0u);
	EXPECT_EQ(rec.details().back(), "Disconnected");
	std::lock_guard<std::mutex> g(rec.lock);
	EXPECT_EQ(rec.messages[1].text, "last");
}

TEST_F(TikTokClientTest, EndedSessionsRetryAfterTheShortPause)
{
	live("host.one");
	TikTokClient::Timings t = fast();
	t.silenceLimitMs = 1000;
	auto client = make(t);
	client->start("host.one");
	ASSERT_TRUE(waitUntil([&] { return listening(1); }));
	fake("push", "drop");
	ASSERT_TRUE(waitUntil([&] { return listening(2); }));
	// The second session falls silent: heartbeats still go out, nothing comes in.
	ASSERT_TRUE(waitUntil([&] { return listening(3); }, std::chrono::seconds(6)));
	client->stop();
	EXPECT_EQ(rec.count(kClosed), 2u);
	for (size_t i = 0; i < 2; ++i) {
		auto pause = rec.gap(kClosed, kChecking, i);
		EXPECT_GE(pause, std::chrono::milliseconds(90));
		EXPECT_LT(pause, std::chrono::milliseconds(1800));
	}
	EXPECT_GE(rec.gap("Listening · @host.one", kClosed, 1), std::chrono::milliseconds(950));
	EXPECT_GE(session(1)["heartbeats"].size(), 2u);
}

// An offline room, a refused signing and a refused socket: each is reported
// and checked again after the long pause. (Stopping in a receive or a pause is
// ChatReaderTest.StopIsPromptDuringReceiveAndPause: the same socket worker.)
TEST_F(TikTokClientTest, FailedSetUpsWaitTheLongPause)
{
	struct Case {
		const char *service;
		const char *command;
		const char *args;
		LinkState state;
		const char *detail;
	};
	const Case cases[] = {
	    {"tiktok-web", "room", R"({"uniqueId":"host.one","mode":"offline"})", LinkState::Offline, kOffline},
	    {"tiktok-signer", "configure", R"({"status":402})", LinkState::Error,
	     "The signing service requires a paid plan"},
	    {"tiktok-push", "configure", R"({"handshake":"reject"})", LinkState::Retry, "TikTok WebSocket rejected"},
	};
	auto client = make(fast());
	for (const Case &c : cases) {
		ASSERT_TRUE(m_fakes.reset());
		live("host.one");
		m_fakes.command(c.service, c.command, c.args);
		rec.statuses.clear();
		client->start("host.one");
		ASSERT_TRUE(waitUntil([&] { return rec.count(c.detail) >= 2; })) << c.args;
		client->stop();
		std::lock_guard<std::mutex> g(rec.lock);
		EXPECT_EQ(rec.statuses[1].detail, c.detail);
		EXPECT_EQ(rec.statuses[1].state, c.state) << c.args;
		EXPECT_GE(rec.statuses[2].at - rec.statuses[1].at, std::chrono::milliseconds(1950)) << c.args;
		EXPECT_EQ(fake("push", "state")["accepted"].integer(), 0) << c.args;
		if (c.state == LinkState::Offline)
			EXPECT_EQ(fake("signer", "requests")["requests"].size(), 0u);
	}
	EXPECT_EQ(headerOf(fake("web", "requests")["requests"][0], "Referer"),
		  "https://" + m_fakes.address("tiktok-web") + "/");
}
