#include "common/burst.h"
#include "http/http_request.h"
#include "http/local_server.h"
#include "support/fake_services.h"
#include "support/http_client.h"
#include "support/log_capture.h"
#include "support/test_host.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

using namespace vanteo;
using namespace vanteo::test;

namespace {

constexpr uint16_t kFirstPort = 28763;

class ServerTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		m_root = makeTempDir();
		write("index.html", "<html>chat</html>");
		write("f.woff2", "w2");
		write("empty.txt", "");
		write("data.bin", "raw");
		mkfifo((m_root + "/pipe").c_str(), 0600);
	}
	void TearDown() override
	{
		m_server.reset();
		std::filesystem::remove_all(m_root);
	}
	void write(const std::string &name, const std::string &text)
	{
		std::ofstream(m_root + "/" + name, std::ios::binary) << text;
	}
	uint16_t start(LocalServer::Limits limits = LocalServer::Limits())
	{
		m_server = std::make_unique<LocalServer>(limits);
		m_server->addResource("/badge/vip.png", "image/png", "PNGDATA");
		uint16_t port =
		    m_server->start(m_root, kFirstPort, [this](const std::string &path, const std::string &body) {
			    m_calls++;
			    m_lastPath = path;
			    m_lastBody = body;
			    if (path == "/api/throw")
				    throw std::runtime_error("boom");
			    return std::string("{\"ok\":true}");
		    });
		EXPECT_NE(port, 0);
		return port;
	}
	std::string tokenQuery() const { return "?t=" + m_server->token(); }

	std::string m_root;
	std::unique_ptr<LocalServer> m_server;
	std::atomic<int> m_calls{0};
	std::string m_lastPath;
	std::string m_lastBody;
};

} // namespace

TEST_F(ServerTest, ServesFilesResourcesAndFixedErrors)
{
	uint16_t port = start();
	struct Case {
		std::string target, code, type, body;
	} cases[] = {
	    // The pages, scripts, styles and pictures the browser suites load
	    // (with "/oauth" and a token in the query) are theirs.
	    {"/", "200", "text/html; charset=utf-8", "<html>chat</html>"},
	    {"/f.woff2", "200", "font/woff2", "w2"},
	    {"/data.bin", "200", "application/octet-stream", "raw"},
	    {"/badge/vip.png", "200", "image/png", "PNGDATA"},
	    {"/empty.txt", "404", "text/plain", "not found"},
	    // A pipe (like a folder or a device) is nothing to serve; opening it
	    // would wait for a writer.
	    {"/pipe", "404", "text/plain", "not found"},
	    {"/../etc/passwd", "400", "text/plain", "no"},
	    {"/c:/x", "400", "text/plain", "no"},
	};
	for (const Case &c : cases) {
		EXPECT_EQ(httpGet(port, c.target),
			  httpResponse(c.code + (c.code == "200"   ? std::string(" OK")
						 : c.code == "404" ? std::string(" Not Found")
								   : std::string(" Bad Request")),
				       c.type, c.body))
		    << c.target;
	}
	// A file added after start is read from disk; a changed one stays cached.
	write("late.html", "late");
	write("index.html", "changed");
	EXPECT_EQ(bodyOf(httpGet(port, "/late.html")), "late");
	EXPECT_EQ(bodyOf(httpGet(port, "/")), "<html>chat</html>");

	EXPECT_EQ(rawExchange(port, "PUT / HTTP/1.1\r\nHost: localhost\r\n\r\n"),
		  httpResponse("405 Method Not Allowed", "text/plain", "no"));
}

TEST_F(ServerTest, PostNeedsTokenExceptForTokenRoute)
{
	uint16_t port = start();
	std::string token = m_server->token();
	ASSERT_EQ(token.size(), 24u);
	EXPECT_EQ(token.find_first_not_of("0123456789abcdef"), std::string::npos);

	std::string ok = httpPost(port, "/api/x?a=1&t=" + token, "{\"k\":\"v\"}");
	EXPECT_EQ(ok, httpResponse("200 OK", "application/json", "{\"ok\":true}"));
	EXPECT_EQ(m_lastPath, "/api/x");
	EXPECT_EQ(m_lastBody, "{\"k\":\"v\"}");

	std::string wrong = token;
	wrong[5] = wrong[5] == 'a' ? 'b' : 'a';
	EXPECT_EQ(httpPost(port, "/api/x?t=" + wrong, "{}"),
		  httpResponse("403 Forbidden", "application/json", "{\"error\":\"token\"}"));
	EXPECT_EQ(statusCode(httpPost(port, "/api/x", "{}")), "403");

	int before = m_calls;
	EXPECT_EQ(bodyOf(httpPost(port, "/api/token", "{\"token\":\"abc\"}")), "{\"ok\":true}");
	EXPECT_EQ(m_calls, before + 1);
	EXPECT_EQ(m_lastPath, "/api/token");

	EXPECT_EQ(bodyOf(httpPost(port, "/api/throw" + tokenQuery(), "{}")), "{\"error\":\"Request failed\"}");
	EXPECT_EQ(logCount("[vanteo] request /api/throw failed: boom"), 1u);

	// Another server gets another token. Without a handler it answers "{}";
	// without a web folder it never reads outside one.
	LocalServer other;
	ASSERT_NE(other.start("", kFirstPort, nullptr), 0);
	EXPECT_NE(other.token(), token);
	EXPECT_EQ(bodyOf(httpPost(other.port(), "/api/x?t=" + other.token(), "{}")), "{}");
	for (const char *path : {"/etc/hostname", "/"})
		EXPECT_EQ(statusCode(httpGet(other.port(), path)), "404") << path;
}

TEST_F(ServerTest, HostAndOriginChecks)
{
	uint16_t port = start();
	std::string p = std::to_string(port);
	auto get = [&](const std::string &host) {
		return statusCode(rawExchange(port, "GET / HTTP/1.1\r\nHost: " + host + "\r\n\r\n"));
	};
	for (std::string host : std::vector<std::string>{"127.0.0.1", "LOCALHOST:" + p, "chat.localhost:" + p})
		EXPECT_EQ(get(host), "200") << host;
	for (std::string host : std::vector<std::string>{"localhost.evil.com:" + p, "localhost:abc", "xlocalhost"})
		EXPECT_EQ(get(host), "403") << host;
	std::string noHost = rawExchange(port, "GET / HTTP/1.1\r\n\r\n");
	EXPECT_EQ(noHost, httpResponse("403 Forbidden", "application/json", "{\"error\":\"host\"}"));

	auto post = [&](const std::string &origin) {
		return bodyOf(httpPost(port, "/api/x" + tokenQuery(), "{}", "Origin: " + origin + "\r\n"));
	};
	// Pages' own origins are the browser suites'.
	for (std::string origin :
	     std::vector<std::string>{"http://evil.com:" + p, "http://chat.localhost:1", "https://chat.localhost:" + p})
		EXPECT_EQ(post(origin), "{\"error\":\"origin\"}") << origin;
	// The token route is guarded by the origin rule as well.
	int before = m_calls;
	EXPECT_EQ(bodyOf(httpPost(port, "/api/token", "{}", "Origin: http://evil.com\r\n")), "{\"error\":\"origin\"}");
	EXPECT_EQ(m_calls, before);
}

TEST_F(ServerTest, BodyLimitsAndLengths)
{
	uint16_t port = start();
	std::string head = "POST /api/x" + tokenQuery() + " HTTP/1.1\r\nHost: localhost\r\n";
	EXPECT_EQ(rawExchange(port, head + "Content-Length: 1048577\r\n\r\n{}"),
		  httpResponse("413 Payload Too Large", "text/plain", "too large"));
	EXPECT_EQ(rawExchange(port, head + "Content-Length: 12x\r\n\r\n{}"),
		  httpResponse("400 Bad Request", "text/plain", "no"));
	// An oversized head, even a complete one, is closed without an answer.
	EXPECT_EQ(rawExchange(port, head + "X: " + std::string(70000, 'a') + "\r\n\r\n"), "");

	// A body sent in pieces is assembled up to its length.
	std::string big(1024 * 1024, 'a');
	std::string r = rawExchange(port, head + "content-length: " + std::to_string(big.size()) + "\r\n\r\n" + big);
	EXPECT_EQ(bodyOf(r), "{\"ok\":true}");
	EXPECT_EQ(m_lastBody.size(), big.size());

	// A client that stops before its announced body ends gets no answer
	// and the handler never sees half a body.
	int before = m_calls;
	platform::SocketHandle s = platform::connectLoopback(port);
	std::string partial = head + "Content-Length: 100\r\n\r\n{\"twitch\":";
	platform::sendAll(s, partial.data(), partial.size());
	platform::shutdownSocket(s);
	char buf[64];
	platform::setReceiveTimeout(s, 3000);
	EXPECT_EQ(platform::receiveSome(s, buf, sizeof(buf)), 0);
	platform::closeSocket(s);
	EXPECT_EQ(m_calls, before);
}

// Moving on to the next free port is PanelsTest's (its pages' addresses
// carry the port bound).
TEST_F(ServerTest, NoFreePortInTheRangeFailsTheStart)
{
	uint16_t first = start();
	LocalServer::Limits one;
	one.firstPortCount = 1;
	LocalServer other(one);
	EXPECT_EQ(other.start(m_root, first, nullptr), 0);
}

TEST_F(ServerTest, EventStreamFramesAreIdenticalForEveryClient)
{
	uint16_t port = start();
	std::atomic<int> hooks{0};
	m_server->setStreamClientHook([&] { hooks++; });
	EventStreamClient a(port), b(port);
	// The hook runs once a page's stream is open.
	ASSERT_TRUE(waitUntil([&] { return hooks == 2; }));
	m_server->broadcast("message-in", "{\"a\":\"ü\"}");
	m_server->broadcast("status", "");
	a.readEvents(2);
	b.readEvents(2);
	const std::string expected =
	    kEventStreamHead + "event: message-in\ndata: {\"a\":\"ü\"}\n\nevent: status\ndata: \n\n";
	EXPECT_EQ(kEventStreamHead.size(), 101u);
	EXPECT_EQ(a.raw(), expected);
	EXPECT_EQ(b.raw(), expected);

	// A closed page is dropped at the next broadcast; the others still get it.
	a.close();
	m_server->broadcast("x", "1");
	m_server->broadcast("x", "2");
	b.readEvents(4);
	const std::string earlier = "event: message-in\ndata: {\"a\":\"ü\"}\n\nevent: status\ndata: \n\n"
				    "event: x\ndata: 1\n\nevent: x\ndata: 2\n\n";
	EXPECT_EQ(b.events(), earlier);

	// A thread's events inside a burst (nested too) wait for its end and
	// then arrive in order; another thread's event leaves at once.
	{
		Burst outer;
		m_server->broadcast("y", "1");
		{
			Burst inner;
			m_server->broadcast("y", "2");
		}
		std::thread([this] { m_server->broadcast("z", "0"); }).join();
		b.readEvents(5);
		EXPECT_EQ(b.events(), earlier + "event: z\ndata: 0\n\n");
		m_server->broadcast("y", "3");
	}
	b.readEvents(8);
	EXPECT_EQ(b.events(), earlier + "event: z\ndata: 0\n\nevent: y\ndata: 1\n\nevent: y\ndata: "
					"2\n\nevent: y\ndata: 3\n\n");
}

TEST_F(ServerTest, StopEndsIdleConnectionsAndStreams)
{
	uint16_t port = start();
	std::atomic<bool> opened{false};
	m_server->setStreamClientHook([&] { opened = true; });
	EventStreamClient stream(port);
	platform::SocketHandle idle = platform::connectLoopback(port);
	ASSERT_TRUE(waitUntil([&] { return opened.load(); }));
	auto began = std::chrono::steady_clock::now();
	m_server->stop();
	EXPECT_LT(std::chrono::steady_clock::now() - began, std::chrono::seconds(2));
	char buf[16];
	platform::setReceiveTimeout(idle, 2000);
	EXPECT_LE(platform::receiveSome(idle, buf, sizeof(buf)), 0);
	platform::closeSocket(idle);
	m_server->stop(); // a second stop does nothing
}

// Heads as the server tests send them, and cut anywhere (the HTTP fuzz
// target), are read elsewhere; here the token in a query.
TEST(HttpRequest, QueryToken)
{
	EXPECT_TRUE(queryHasToken("a=1&t=abc", "abc"));
	EXPECT_FALSE(queryHasToken("t=ab", "abc"));
	EXPECT_FALSE(queryHasToken("t=", ""));
}
