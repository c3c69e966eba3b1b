#include "common/endpoints.h"
#include "platform/https.h"
#include "platform/websocket.h"
#include "support/fake_services.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

using namespace vanteo;
using namespace vanteo::platform;
using namespace vanteo::test;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

namespace {

class WebSocketClientTest : public FakesTest {
protected:
	JsonValue chat(const std::string &command, const std::string &args = "{}")
	{
		return m_fakes.command("twitch-chat", command, args);
	}
	JsonValue session(size_t index) { return chat("state")["sessions"][index]; }

	// Receives until something other than a Timeout arrives or the time is up.
	static ReceiveResult receiveWithin(WebSocketClient &client, std::string &message, bool &binary,
					   milliseconds limit = milliseconds(5000))
	{
		auto deadline = Clock::now() + limit;
		ReceiveResult result = ReceiveResult::Timeout;
		while (result == ReceiveResult::Timeout && Clock::now() < deadline)
			result = client.receive(message, binary);
		return result;
	}
};

TEST_F(WebSocketClientTest, DeliversWholeFragmentedAndBinaryMessages)
{
	WebSocketClient client;
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/", "X-Test: one\r\nX-Other: two\r\n"));
	ASSERT_TRUE(waitUntil([&] { return session(0)["open"].boolean(); }));
	JsonValue opened = session(0);
	EXPECT_EQ(opened["path"].str(), "/");
	EXPECT_EQ(headerOf(opened, "User-Agent"), BrowserUserAgent);
	EXPECT_EQ(headerOf(opened, "X-Test") + headerOf(opened, "X-Other"), "onetwo");

	struct Case {
		const char *name;
		std::string args;
		std::vector<std::string> expected;
		bool binary;
	};
	const std::vector<Case> cases = {
	    {"three lines in one message", R"({"lines":["a 1","b 2","c 3"]})", {"a 1\r\nb 2\r\nc 3\r\n"}, false},
	    {"one text message in seven fragments",
	     R"({"text":"@badge-info=;color=#FF0000 :x!x@x.tmi.twitch.tv PRIVMSG #c :hello there","fragments":7})",
	     {"@badge-info=;color=#FF0000 :x!x@x.tmi.twitch.tv PRIVMSG #c :hello there"},
	     false},
	    {"binary in fragments",
	     R"({"base64":"AAECAwQFBgcICQ==","binary":true,"fragments":3})",
	     {std::string("\0\1\2\3\4\5\6\7\x08\x09", 10)},
	     true},
	};
	for (const Case &c : cases) {
		SCOPED_TRACE(c.name);
		chat("send", c.args);
		for (const std::string &expected : c.expected) {
			std::string message = "left over";
			bool binary = !c.binary;
			ASSERT_EQ(receiveWithin(client, message, binary), ReceiveResult::Message);
			EXPECT_EQ(message, expected);
			EXPECT_EQ(binary, c.binary);
		}
	}

	// What the client sends arrives as exactly one message each.
	ASSERT_TRUE(client.sendText("CAP REQ :twitch.tv/tags twitch.tv/commands\r\n"));
	ASSERT_TRUE(client.sendBinary(std::string("\x00\xff", 2)));
	ASSERT_TRUE(waitUntil([&] { return session(0)["received"].size() == 2; }));
	JsonValue received = session(0)["received"];
	EXPECT_EQ(received[0]["data"].str(), "CAP REQ :twitch.tv/tags twitch.tv/commands\r\n");
	EXPECT_FALSE(received[0]["binary"].boolean());
	EXPECT_EQ(received[1]["base64"].str(), "AP8=");
	EXPECT_TRUE(received[1]["binary"].boolean());
	client.close();
}

TEST_F(WebSocketClientTest, MessageOverEightMebibytesEndsTheConnection)
{
	WebSocketClient client;
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	std::string message;
	bool binary = false;
	chat("send", R"({"size":8388609,"fill":"b"})");
	EXPECT_EQ(receiveWithin(client, message, binary), ReceiveResult::Failed);
	EXPECT_EQ(client.receive(message, binary), ReceiveResult::Failed);
	EXPECT_FALSE(client.sendText("PING"));
}

TEST_F(WebSocketClientTest, EndOfConnectionIsFailed)
{
	struct Case {
		const char *name;
		const char *command;
	};
	for (const Case &c : {Case{"close frame", "close"}, Case{"TCP drop", "drop"}}) {
		SCOPED_TRACE(c.name);
		ASSERT_TRUE(m_fakes.reset());
		WebSocketClient client;
		ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
		// A message sent just before the end is still delivered.
		chat("send", R"({"lines":["last words"]})");
		chat(c.command);
		std::string message;
		bool binary = false;
		ASSERT_EQ(receiveWithin(client, message, binary), ReceiveResult::Message);
		EXPECT_EQ(message, "last words\r\n");
		EXPECT_EQ(receiveWithin(client, message, binary), ReceiveResult::Failed);
		EXPECT_TRUE(message.empty());
		EXPECT_FALSE(client.sendText("x"));
		client.close();
		client.close();
	}
}

TEST_F(WebSocketClientTest, ReceiveTimesOutAndStaysConnected)
{
	WebSocketTimings timings;
	timings.receiveMs = 300;
	WebSocketClient client(timings);
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	std::string message = "stale";
	bool binary = true;
	auto started = Clock::now();
	EXPECT_EQ(client.receive(message, binary), ReceiveResult::Timeout);
	auto waited = Clock::now() - started;
	EXPECT_GE(waited, milliseconds(250));
	EXPECT_TRUE(message.empty());
	EXPECT_FALSE(binary);
	// Nothing was read: the buffered receive answers at once.
	started = Clock::now();
	EXPECT_EQ(client.receiveBuffered(message, binary), ReceiveResult::Timeout);
	EXPECT_LT(Clock::now() - started, milliseconds(250));

	chat("send", R"({"lines":["PING :tmi.twitch.tv"]})");
	ASSERT_EQ(receiveWithin(client, message, binary), ReceiveResult::Message);
	EXPECT_EQ(message, "PING :tmi.twitch.tv\r\n");
}

TEST_F(WebSocketClientTest, ReconnectsOnTheSameObject)
{
	WebSocketClient client;
	EXPECT_FALSE(client.sendText("before any connect"));
	std::string message;
	bool binary = false;
	EXPECT_EQ(client.receive(message, binary), ReceiveResult::Failed);

	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	// A second connect closes the first connection with a close frame.
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	ASSERT_TRUE(waitUntil([&] { return !session(0)["closed"].isNull(); }));
	EXPECT_EQ(session(0)["closed"]["code"].integer(), 1000);

	client.abort();
	EXPECT_EQ(client.receive(message, binary), ReceiveResult::Failed);
	client.close();
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	ASSERT_TRUE(client.sendText("JOIN #third\r\n"));
	ASSERT_TRUE(waitUntil([&] { return session(2)["lines"].size() == 1; }));
	EXPECT_EQ(session(2)["lines"][0].str(), "JOIN #third");
}

TEST_F(WebSocketClientTest, StalledPeerCannotHoldTheClient)
{
	WebSocketTimings timings;
	timings.sendMs = 1000;
	timings.closeMs = 500;
	WebSocketClient client(timings);
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	chat("stall");

	// Once the socket buffers are full a send gives up after its time-out
	// and the connection counts as broken.
	const std::string chunk(1 << 20, 'x');
	auto started = Clock::now();
	bool sent = true;
	for (int i = 0; i < 64 && sent; ++i)
		sent = client.sendText(chunk);
	EXPECT_FALSE(sent);
	EXPECT_LT(Clock::now() - started, milliseconds(10000));
	std::string message;
	bool binary = false;
	EXPECT_EQ(client.receive(message, binary), ReceiveResult::Failed);

	// close waits for the peer's close reply no longer than closeMs.
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	chat("stall");
	started = Clock::now();
	client.close();
	EXPECT_LT(Clock::now() - started, milliseconds(5000));
}

TEST_F(WebSocketClientTest, SendsFromOtherThreadsWhileTheOwnerReceives)
{
	WebSocketClient client;
	ASSERT_TRUE(client.connect("twitch-chat", 443, "/"));
	// The owner waits in receive the whole time, answering the peer's ping.
	std::atomic<bool> sendersDone{false};
	std::string last;
	std::thread owner([&] {
		std::string message;
		bool binary = false;
		while (!sendersDone || last != "done\r\n") {
			const ReceiveResult result = client.receive(message, binary);
			if (result == ReceiveResult::Failed)
				return;
			if (result == ReceiveResult::Message)
				last = message;
		}
	});
	chat("ping", R"({"websocket":true,"token":"are you there"})");
	constexpr int kThreads = 4;
	constexpr int kEach = 25;
	std::atomic<int> failures{0};
	std::vector<std::thread> senders;
	for (int t = 0; t < kThreads; ++t) {
		senders.emplace_back([&client, &failures, t] {
			for (int i = 0; i < kEach; ++i) {
				// Large enough to need several socket writes each.
				std::string payload(50000 + 1000 * i, static_cast<char>('A' + t));
				if (!client.sendText(payload))
					++failures;
			}
		});
	}
	for (std::thread &sender : senders)
		sender.join();
	sendersDone = true;
	chat("send", R"({"lines":["done"]})");
	owner.join();
	EXPECT_EQ(last, "done\r\n");
	EXPECT_EQ(failures.load(), 0);
	ASSERT_TRUE(waitUntil([&] { return session(0)["received"].size() == kThreads * kEach; }));
	JsonValue received = session(0)["received"];
	for (const JsonValue &item : received.items()) {
		const std::string &data = item["data"].str();
		ASSERT_FALSE(data.empty());
		EXPECT_EQ(data.find_first_not_of(data[0]), std::string::npos);
	}
	ASSERT_TRUE(waitUntil([&] { return session(0)["wsPongs"].size() == 1; }));
	EXPECT_EQ(session(0)["wsPongs"][0].str(), "are you there");
}

TEST_F(WebSocketClientTest, ConnectFailsInTimeOnUntrustedUnreachableOrStalledPeers)
{
	WebSocketTimings quick;
	quick.connectMs = 1000;
	WebSocketClient client(quick);
	const struct {
		const char *name;
		std::string host;
		const char *handshake; // the chat fake's, for its own address
	} cases[] = {
	    {"nobody listening", "127.0.0.1:1", nullptr},
	    {"stalled TLS handshake", "twitch-chat", "stall-tls"},
	    {"stalled upgrade", "twitch-chat", "stall-upgrade"},
	    {"upgrade refused", "twitch-chat", "reject"},
	};
	for (const auto &c : cases) {
		SCOPED_TRACE(c.name);
		if (c.handshake)
			chat("configure", std::string(R"({"handshake":")") + c.handshake + "\"}");
		const auto started = Clock::now();
		EXPECT_FALSE(client.connect(c.host, 443, "/"));
		EXPECT_LT(Clock::now() - started, milliseconds(10000));
		EXPECT_FALSE(client.sendText("x"));
	}
	chat("configure", R"({"handshake":"normal"})");

	// "127.1" leads to the fake as a name its certificate does not carry.
	setEndpointOverrides("twitch-chat=127.1:" + std::to_string(m_fakes.port("twitch-chat")), m_fakes.caFile());
	EXPECT_FALSE(client.connect("twitch-chat", 443, "/"));
	// Without the extra CA the fake's own certificate is not trusted. (The
	// web fake's untrusted listeners speak no WebSocket: a connect there
	// fails whether or not the certificate is checked.)
	setEndpointOverrides(m_fakes.endpointsText(), "");
	EXPECT_FALSE(client.connect("twitch-chat", 443, "/"));
	m_fakes.applyEndpoints();
	EXPECT_TRUE(client.connect("twitch-chat", 443, "/"));
	client.close();

	// An abort from another thread cuts a connect short.
	chat("configure", R"({"handshake":"stall-tls"})");
	WebSocketClient slow; // product time-outs: 20 seconds per step
	std::thread aborter([&slow] {
		std::this_thread::sleep_for(milliseconds(300));
		slow.abort();
	});
	auto started = Clock::now();
	EXPECT_FALSE(slow.connect("twitch-chat", 443, "/"));
	EXPECT_LT(Clock::now() - started, milliseconds(10000));
	aborter.join();
	chat("configure", R"({"handshake":"normal"})");
}

} // namespace
