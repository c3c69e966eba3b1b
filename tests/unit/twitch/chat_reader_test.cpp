#include "common/endpoints.h"
#include "feed/sink_log.h"
#include "support/fake_services.h"
#include "twitch/chat_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <regex>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

class ChatReaderTest : public FakesTest {
protected:
	// Short waits so a test does not sit through the product's pauses.
	static TwitchChatReader::Timings fast()
	{
		TwitchChatReader::Timings t;
		t.joinTicks = 10; // 1 s
		t.retryTicks = 3; // 0.3 s
		return t;
	}
	std::unique_ptr<TwitchChatReader> make(TwitchChatReader::Timings timings = fast())
	{
		const ChatSinks sinks = rec.sinks();
		return std::make_unique<TwitchChatReader>(sinks.message, sinks.status, sinks.clear, timings);
	}
	JsonValue chat(const std::string &command, const std::string &args = "{}")
	{
		return m_fakes.command("twitch-chat", command, args);
	}
	bool joined() { return rec.count("Listening · @somechannel") > 0; }

	SinkLog rec;
};

} // namespace

TEST_F(ChatReaderTest, JoinsAnonymouslyAndReportsListeningOnce)
{
	auto reader = make();
	reader->start("");
	reader->stop();
	EXPECT_EQ(rec.details(), std::vector<std::string>{"Not configured"});
	rec.statuses.clear();

	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return joined(); }));
	const JsonValue session = chat("state")["sessions"][0];
	const JsonValue &received = session["received"];
	ASSERT_GE(received.size(), 3u);
	EXPECT_EQ(received[0]["data"].str(), "CAP REQ :twitch.tv/tags twitch.tv/commands\r\n");
	const std::string nick = received[1]["data"].str();
	EXPECT_TRUE(std::regex_match(nick, std::regex("NICK justinfan[1-9][0-9]{5}\r\n"))) << nick;
	EXPECT_EQ(received[2]["data"].str(), "JOIN #somechannel\r\n");

	// JOIN echo, 366 and ROOMSTATE: Connected only once; a later NOTICE
	// changes nothing.
	chat("send", R"({"lines":["@msg-id=x :tmi.twitch.tv NOTICE #somechannel :slow mode"],"flush":true})");
	reader->stop();
	EXPECT_EQ(rec.details(), (std::vector<std::string>{"Connecting", "Listening · @somechannel", "Disconnected"}));
	EXPECT_EQ(rec.statuses.back().state, LinkState::Disabled);
	EXPECT_TRUE(guestNickLine() != nick || guestNickLine() != nick); // drawn anew each time
}

TEST_F(ChatReaderTest, SplitLinesPingAndRemovals)
{
	auto reader = make();
	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return joined(); }));
	// Three and a half lines in one message, the rest in a second one that
	// arrives in fragments.
	const std::vector<std::string> lines = {"@display-name=Ann;id=m1 :ann!a@a PRIVMSG #somechannel :one",
						"@display-name=Bob;id=m2 :bob!b@b PRIVMSG #somechannel :two ✓",
						"@display-name=Cy;id=m3 :cy!c@c PRIVMSG #somechannel :three",
						"@display-name=Di;id=m4 :di!d@d PRIVMSG #somechannel :four"};
	std::string args = "{\"lines\":[";
	size_t cut = 20;
	for (size_t i = 0; i < lines.size(); ++i) {
		args += (i ? "," : "") + jsonQuote(lines[i]);
		cut += i < 3 ? lines[i].size() + 2 : 0;
	}
	chat("send", args + "],\"splitAt\":[" + std::to_string(cut) + "],\"fragments\":3,\"flush\":true}");
	ASSERT_TRUE(waitUntil([&] { return rec.size(rec.messages) == 4; }));

	chat("ping", R"({"token":"abc:def 123"})");
	ASSERT_TRUE(waitUntil([&] { return chat("state")["sessions"][0]["pongs"].size() == 1; }));
	const JsonValue state = chat("state")["sessions"][0];
	EXPECT_EQ(state["pongs"][0]["line"].str(), "PONG :abc:def 123");
	EXPECT_TRUE(state["pongs"][0]["matches"].boolean());
	EXPECT_EQ(state["received"][state["received"].size() - 1]["data"].str(), "PONG :abc:def 123\r\n");

	// Removals of a line, a timeout and a cleared chat as the page shows
	// them are pages.test.mjs's; a ban has no duration.
	chat("send", R"({"lines":[
		"@msg-id=sub;display-name=Sub;user-id=9;msg-param-sub-plan=1000 :tmi.twitch.tv USERNOTICE #somechannel",
		"@display-name=NoKind;user-id=8 :tmi.twitch.tv USERNOTICE #somechannel :no msg-id",
		"@display-name=Empty;user-id=5 :e!e@e PRIVMSG #somechannel :",
		"@room-id=1;target-user-id=78 :tmi.twitch.tv CLEARCHAT #somechannel :banned"]})");
	ASSERT_TRUE(waitUntil([&] { return rec.size(rec.clears) == 1; }));
	reader->stop();
	std::lock_guard<std::mutex> g(rec.lock);
	std::vector<std::string> texts;
	for (const ChatMessage &message : rec.messages)
		texts.push_back(message.name + ":" + message.text + message.eventId);
	// Lines are handled in order, so all were read before the ban. Only the
	// sub follows the four lines: a notice without a kind and an empty line
	// have nothing to show.
	EXPECT_EQ(texts, (std::vector<std::string>{"Ann:one", "Bob:two ✓", "Cy:three", "Di:four", "Sub:sub"}));
	EXPECT_EQ(rec.clears, (std::vector<std::vector<std::string>>{{"", "78", "banned", ""}}));
}

TEST_F(ChatReaderTest, ReconnectsAfterReconnectAndNotice)
{
	auto reader = make();
	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return joined(); }));
	const std::string interrupted = "Connection interrupted · retrying in 10 seconds";

	// RECONNECT ends the session; lines after it in the same message are not handled.
	chat("send", R"({"lines":[":tmi.twitch.tv RECONNECT",
		"@display-name=Late;user-id=1 :late!late@late PRIVMSG #somechannel :after"]})");
	ASSERT_TRUE(waitUntil([&] { return rec.count("Listening · @somechannel") == 2; }));
	EXPECT_EQ(rec.count(interrupted), 1u);
	EXPECT_EQ(rec.size(rec.messages), 0u);

	// A refused channel: the NOTICE shows, the watchdog ends the session.
	chat("configure", R"({"join":"notice"})");
	chat("drop");
	ASSERT_TRUE(waitUntil([&] { return rec.count("No response from Twitch · retrying") >= 1; }));
	ASSERT_TRUE(waitUntil([&] { return rec.count(interrupted) >= 3; }));
	reader->stop();
	auto details = rec.details();
	auto notice = std::find(details.begin(), details.end(),
				"Twitch rejected the connection: This channel does not exist or has been suspended.");
	ASSERT_NE(notice, details.end());
	EXPECT_EQ(*(notice + 1), "No response from Twitch · retrying");
	EXPECT_EQ(*(notice + 2), interrupted);
	EXPECT_EQ(details.back(), "Disconnected");
}

TEST_F(ChatReaderTest, UnreachableAndOversizedBuffer)
{
	auto reader = make();
	// Nothing listens on the chat port for a moment: connect fails.
	setEndpointOverrides("twitch-chat=127.0.0.1:9", m_fakes.caFile());
	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return rec.count("Twitch unreachable · retrying in 10 s") >= 1; }));
	m_fakes.applyEndpoints();
	ASSERT_TRUE(waitUntil([&] { return joined(); }));
	// More than 200000 bytes without a line end ends the session.
	chat("send", R"({"size":210000,"fill":"x"})");
	ASSERT_TRUE(waitUntil([&] { return rec.count("Listening · @somechannel") == 2; }));
	EXPECT_EQ(rec.count("Connection interrupted · retrying in 10 seconds"), 1u);
}

// Kept apart from the test above: a silence limit would end that session too.
TEST_F(ChatReaderTest, SilentConnectionIsAbandoned)
{
	TwitchChatReader::Timings t = fast();
	t.idleLimitMs = 1000;
	t.socket.receiveMs = 200;
	auto reader = make(t);
	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return joined(); }));
	chat("stall", R"({"on":true})");
	ASSERT_TRUE(waitUntil([&] { return rec.count("Connection interrupted · retrying in 10 seconds") == 1; },
			      std::chrono::seconds(10)));
}

TEST_F(ChatReaderTest, StopIsPromptDuringReceiveAndPause)
{
	auto reader = make(TwitchChatReader::Timings()); // the product's waits
	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return joined(); }));
	auto began = std::chrono::steady_clock::now();
	reader->stop(); // blocked in receive
	EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1500));
	EXPECT_EQ(rec.details().back(), "Disconnected");

	reader->start("somechannel");
	ASSERT_TRUE(waitUntil([&] { return rec.count("Listening · @somechannel") == 2; }));
	chat("drop");
	ASSERT_TRUE(waitUntil([&] { return rec.count("Connection interrupted · retrying in 10 seconds") == 1; }));
	began = std::chrono::steady_clock::now();
	reader->stop(); // in the 10-second pause
	EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::milliseconds(1500));
	EXPECT_EQ(rec.details().back(), "Disconnected");
}
