// The real hub and server over loopback, as a hostile web page, a careless
// client or a dead network would treat them. Nothing may end the process,
// hold a thread or a slot for good, stall the other pages, or lose the
// stored account.

#include "common/endpoints.h"
#include "http/http_request.h"
#include "support/hub_fixture.h"
#include "support/log_capture.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <thread>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

const char kOk[] = "{\"ok\":true}";
const char kExpired[] = "{\"error\":\"Sign-in expired; connect again\"}";
const char kRoom[] = "/api-live/user/room/";

class AbuseTest : public HubTest {
protected:
	AbuseTest() : HubTest(36763) {}
	void SetUp() override
	{
		HubTest::SetUp();
		clearLog();
	}
	void TearDown() override
	{
		m_hub.reset();
		m_fakes.applyEndpoints();
	}
	void startHub(ChatDock::Options options = ChatDock::Options()) { HubTest::startHub("", options); }
	uint16_t port() const { return m_hub->port(); }
	// What the oauth page posts: no page token, a token and a state.
	std::string postToken(const std::string &state)
	{
		return bodyOf(httpPost(port(), "/api/token", "{\"token\":\"tok-streamer\"" + state + "}"));
	}
	// Requests for `path` reach the fake and are never answered.
	void stall(const char *service, const char *path)
	{
		m_fakes.command(service, "script", std::string("{\"path\":\"") + path + "\",\"stall\":true}");
	}
	bool arrived(const char *service, const std::string &path)
	{
		return !calls(service, "GET " + path, false).empty();
	}
};

} // namespace

TEST_F(AbuseTest, RacingConfigurationChangesAllAnswerAndTheLastOneStands)
{
	// TikTok's lookups hang, so every restart has to cut one short; the chat
	// fake shows which channel was joined.
	stall("tiktok-web", kRoom);
	startHub();
	for (int round = 0; round < 3; ++round) {
		std::vector<std::string> replies(8);
		std::vector<std::thread> pages;
		for (int i = 0; i < 8; ++i)
			pages.emplace_back([&, i] {
				const std::string n = std::to_string(round) + std::to_string(i);
				// Each waits for the changes before it: patience under sanitizers.
				replies[i] = post("/api/config",
						  "{\"twitch\":\"chan" + n + "\",\"tiktok\":\"tt" + n + "\"}", 20000);
			});
		for (std::thread &page : pages)
			page.join();
		for (const std::string &reply : replies)
			EXPECT_EQ(reply, kOk);
	}
	const Settings last = m_hub->settings();
	EXPECT_NE(m_host.readConfigFile("config.json").find("\"twitch\":\"" + last.twitch + "\""), std::string::npos);
	ASSERT_TRUE(waitUntil([&] {
		const JsonValue sessions = m_fakes.command("twitch-chat", "state")["sessions"];
		std::string joined;
		for (const JsonValue &session : sessions.items())
			for (const JsonValue &line : session["received"].items())
				if (line["data"].str().rfind("JOIN ", 0) == 0)
					joined = line["data"].str();
		return joined == "JOIN #" + last.twitch + "\r\n";
	}));
	EXPECT_EQ(logCount("unable to save config.json"), 0u);
	const auto began = Clock::now();
	m_hub->shutdown();
	EXPECT_LT(Clock::now() - began, 3s);
}

TEST_F(AbuseTest, EventStreamsAreCappedAndPagesThatLeftMakeRoom)
{
	startHub();
	std::vector<std::unique_ptr<EventStreamClient>> pages;
	// Each page is in once its snapshot (config, status, viewers) arrived.
	for (int i = 0; i < 32; ++i) {
		pages.push_back(std::make_unique<EventStreamClient>(port()));
		ASSERT_GE(pages.back()->readEvents(3).size(), 101u);
	}
	EXPECT_EQ(rawExchange(port(), "GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n"),
		  httpResponse("503 Service Unavailable", "text/plain", "too many event streams"));
	// Reloaded docks leave closed streams behind; the next page still gets in.
	pages.clear();
	EventStreamClient next(port());
	EXPECT_EQ(next.readEvents(1).substr(0, 15), "HTTP/1.1 200 OK");
}

TEST_F(AbuseTest, OutOfDescriptorsTheAcceptLoopWaitsInsteadOfSpinning)
{
	startHub();
	const int waiting = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	rlimit before{};
	ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &before), 0);
	// Every descriptor number below the new limit is taken.
	int highest = 0;
	for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
		highest = std::max(highest, std::stoi(entry.path().filename().string()));
	rlimit low = before;
	low.rlim_cur = static_cast<rlim_t>(highest + 1);
	ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &low), 0);
	std::vector<int> fillers;
	for (int fd; (fd = open("/dev/null", O_RDONLY | O_CLOEXEC)) >= 0;)
		fillers.push_back(fd);
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_port = htons(port());
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	ASSERT_EQ(connect(waiting, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);

	const bool said = waitUntil([] { return logCount("local server: accept failed") > 0; }, 3000ms);
	rusage start{};
	getrusage(RUSAGE_SELF, &start);
	std::this_thread::sleep_for(1s); // the window in which CPU time is measured
	rusage end{};
	getrusage(RUSAGE_SELF, &end);
	for (int fd : fillers)
		close(fd);
	setrlimit(RLIMIT_NOFILE, &before);

	EXPECT_TRUE(said);
	const auto cpu = [](const rusage &r) {
		return std::chrono::seconds(r.ru_utime.tv_sec + r.ru_stime.tv_sec) +
		       std::chrono::microseconds(r.ru_utime.tv_usec + r.ru_stime.tv_usec);
	};
	EXPECT_LT(cpu(end) - cpu(start), 300ms);
	// Once descriptors are free, the connection that waited is served, and
	// the shortage was said once.
	const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
	platform::sendAll(waiting, request.data(), request.size());
	char reply[16] = {};
	platform::setReceiveTimeout(waiting, 5000);
	EXPECT_EQ(platform::receiveSome(waiting, reply, 15), 15);
	EXPECT_STREQ(reply, "HTTP/1.1 200 OK");
	close(waiting);
	EXPECT_EQ(logCount("local server: accept failed"), 1u);
}

TEST_F(AbuseTest, DrippingRequestsHoldTheirSlotsOnlyUntilTheDeadline)
{
	ChatDock::Options options;
	options.server.requestDeadlineMs = 1000;
	options.server.maxConnections = 4;
	startHub(options);
	// One per connection slot, each sending a byte now and then but never
	// finishing its head.
	std::vector<platform::SocketHandle> drips;
	for (size_t i = 0; i < options.server.maxConnections; ++i) {
		drips.push_back(platform::connectLoopback(port()));
		platform::sendAll(drips.back(), "GET / HTTP/1.1\r\n", 16);
	}
	std::atomic<bool> dripping{true};
	std::thread dripper([&] {
		while (dripping) {
			for (platform::SocketHandle s : drips)
				platform::sendAllWithin(s, "X", 1, 0);
			std::this_thread::sleep_for(100ms);
		}
	});
	const std::string page = "GET / HTTP/1.1\r\nHost: localhost\r\n\r\n";
	EXPECT_TRUE(waitUntil([&] { return rawExchange(port(), page, 500).empty(); }, 1000ms)) << "a slot was free";
	for (platform::SocketHandle s : drips)
		EXPECT_TRUE(waitUntil([&] { return platform::peerClosed(s); }, 5000ms)) << "a dripping request held on";
	dripping = false;
	dripper.join();
	EXPECT_EQ(statusCode(rawExchange(port(), page)), "200");
	for (platform::SocketHandle s : drips)
		platform::closeSocket(s);
}

TEST_F(AbuseTest, ATokenCountsOnlyWithTheStateOfASignInWeStarted)
{
	startHub();
	// Without any state it is account.test.mjs's.
	for (const std::string &forged :
	     {std::string(",\"state\":\"\""), std::string(",\"state\":\"0123456789abcdef0123456789abcdef\"")})
		EXPECT_EQ(postToken(forged), kExpired) << forged;
	EXPECT_TRUE(m_hub->account().token.empty());

	const std::string state = ",\"state\":\"" + m_hub->signIns().issue() + "\"";
	EXPECT_EQ(postToken(state), "{\"login\":\"streamer\"}");
	EXPECT_EQ(postToken(state), kExpired); // once only

	SignInStates lapsed(-1ms);
	EXPECT_FALSE(lapsed.redeem(lapsed.issue()));
}

TEST_F(AbuseTest, AStalledPageCostsOneFrameTimeOutAndTheOthersGetEverything)
{
	ChatDock::Options options;
	options.server.sendTimeoutMs = 500;
	startHub(options);
	// A page that stopped reading, with a small window that fills at once.
	const int stalled = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
	const int small = 4096;
	setsockopt(stalled, SOL_SOCKET, SO_RCVBUF, &small, sizeof(small));
	sockaddr_in addr{};
	addr.sin_family = AF_INET;
	addr.sin_port = htons(port());
	addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
	ASSERT_EQ(connect(stalled, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)), 0);
	const std::string request = "GET /api/events HTTP/1.1\r\nHost: localhost\r\n\r\n";
	platform::sendAll(stalled, request.data(), request.size());
	const platform::SocketHandle reader = platform::connectLoopback(port());
	platform::sendAll(reader, request.data(), request.size());
	// Both streams are open once their snapshots arrived (peeked: the
	// stalled page reads nothing).
	auto snapshotIn = [](int s) {
		char buffer[4096];
		const ssize_t n = recv(s, buffer, sizeof(buffer), MSG_PEEK | MSG_DONTWAIT);
		return n > 0 &&
		       std::string(buffer, static_cast<size_t>(n)).find("event: viewers\n") != std::string::npos;
	};
	ASSERT_TRUE(waitUntil([&] { return snapshotIn(stalled) && snapshotIn(reader); }));

	// The reading page counts the frames as they come.
	const std::string marker = "event: big\n";
	std::atomic<size_t> frames{0};
	std::atomic<bool> reading{true};
	std::thread readerThread([&] {
		std::string tail;
		char buffer[65536];
		while (reading) {
			const long n = platform::receiveWithin(reader, buffer, sizeof(buffer), 50);
			if (n <= 0)
				continue;
			tail.append(buffer, static_cast<size_t>(n));
			for (size_t at = tail.find(marker); at != std::string::npos; at = tail.find(marker, at + 1))
				++frames;
			tail.erase(0, tail.size() > marker.size() ? tail.size() - marker.size() + 1 : 0);
		}
	});
	// Frames until the stalled page's buffers are full and it is dropped.
	const std::string data = "\"" + std::string(60000, 'x') + "\"";
	Clock::duration longest{};
	size_t sent = 0;
	size_t waited = 0;  // broadcasts that had to wait for the stalled page
	size_t dropped = 0; // frames sent when the stalled page was dropped
	// Until the stalled page is dropped, then 20 more: each would wait again
	// were it still there.
	while (sent < (dropped ? dropped + 20 : 1000)) {
		const auto began = Clock::now();
		m_hub->broadcast("big", data);
		const auto took = Clock::now() - began;
		longest = std::max(longest, took);
		waited += took > 250ms;
		++sent;
		if (waited && !dropped)
			dropped = sent;
	}
	EXPECT_TRUE(waitUntil([&] { return frames == sent; }));
	reading = false;
	readerThread.join();
	platform::closeSocket(reader);
	close(stalled);
	// One time-out of 500 ms, once: not one per partial send, nor per frame.
	EXPECT_LT(longest, 900ms);
	EXPECT_EQ(waited, 1u);
}

TEST_F(AbuseTest, ShutdownWaitsForARunningRequestButNotForTwitch)
{
	stall("twitch-api", "/oauth2/validate");
	startHub();
	const std::string state = ",\"state\":\"" + m_hub->signIns().issue() + "\"";
	std::thread page([&] { postToken(state); });
	// The token's validation now waits for Twitch.
	ASSERT_TRUE(waitUntil([&] { return arrived("twitch-api", "/oauth2/validate"); }));
	const auto began = Clock::now();
	m_hub->shutdown();
	EXPECT_LT(Clock::now() - began, 3s);
	page.join();
	EXPECT_TRUE(m_hub->account().token.empty());
}

TEST_F(AbuseTest, StalledRemoteHostsNeitherSlowTheStartNorCostTheStoredAccount)
{
	const std::string stored = "{\"twitch\":\"streamer\",\"tiktok\":\"someone\",\"setupDone\":true,"
				   "\"token\":\"tok-streamer\",\"refreshToken\":\"r-1\"}";
	{
		m_fakes.command("twitch-chat", "configure", R"({"handshake":"stall-tls"})");
		stall("twitch-api", "/oauth2/validate");
		stall("tiktok-web", kRoom);
		m_host.writeConfigFile("config.json", stored);
		auto began = Clock::now();
		startHub();
		EXPECT_LT(Clock::now() - began, 1s);
		// Chat, TikTok and the token's validation all wait for their hosts.
		ASSERT_TRUE(waitUntil(
		    [&] { return arrived("twitch-api", "/oauth2/validate") && arrived("tiktok-web", kRoom); }));
		EXPECT_EQ(post("/api/feed-config", "{\"adLength\":\"90\"}"), kOk);
		EXPECT_NE(m_host.readConfigFile("config.json").find("\"token\":\"tok-streamer\""), std::string::npos);
		began = Clock::now();
		m_hub->shutdown();
		EXPECT_LT(Clock::now() - began, 3s);
		EXPECT_EQ(m_hub->account().token, "tok-streamer");
		m_hub.reset();
	}

	// Twitch does not answer at all: the account stays, the pages say why,
	// and Twitch is asked again until it answers.
	m_fakes.reset();
	m_host.writeConfigFile("config.json", stored);
	setEndpointOverrides(m_fakes.endpointsText() + ",twitch-id=127.0.0.1:9", m_fakes.caFile());
	ChatDock::Options options;
	options.accountRetry = 200ms;
	startHub(options);
	EventStreamClient page(port());
	ASSERT_TRUE(waitUntil([&] {
		page.readEvents(100, 20);
		return page.events().find("\"pending\":\"Twitch unreachable · account kept\"") != std::string::npos;
	}));
	EXPECT_EQ(logCount("stored Twitch token not confirmed (Twitch unreachable · account kept)"), 1u);
	m_fakes.applyEndpoints();
	ASSERT_TRUE(waitUntil([&] { return m_hub->account().login == "streamer"; }));
	EXPECT_EQ(m_hub->account().refreshToken, "r-1");
}
