#pragma once

#include "common/json.h"
#include "support/json_value.h"

#include <gtest/gtest.h>

#include <QProcess>

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>

// The fake remote services (tests/fakes/server.js) for a test binary: one node
// process, started on first use and stopped when the binary exits. Starting
// it also points the module's endpoint table and extra CA at the fakes for
// this process (and exports VANTEO_ENDPOINTS / VANTEO_CA_FILE for children).
//
// Needs node on PATH (or VANTEO_NODE) and `npm ci` run in tests/.
//
// Typical use: a fixture derived from FakesTest (below), then
//   m_fakes.command("twitch-chat", "send", R"({"lines":["PING :tmi.twitch.tv"]})");
//
// Threads: any test thread may call command(); the process is shared.
namespace vanteo::test {

class FakeServices {
public:
	static FakeServices &instance();

	bool ok() const { return m_ok; }
	const std::string &error() const { return m_error; }

	// Ports by name: every endpoint name ("twitch-chat", ...) and the web
	// service's listeners ("web", "web-plain", "untrusted", "wrong-name");
	// 0 when unknown.
	uint16_t port(const std::string &name) const;
	// "127.0.0.1:<port>" of a port name.
	std::string address(const std::string &name) const;
	const std::string &caFile() const { return m_caFile; }
	const std::string &endpointsText() const { return m_endpointsText; }

	// Points the endpoint table and the extra CA at the fakes again (after a
	// test changed them).
	void applyEndpoints() const;

	// POST /<service>/<name> with a JSON body. A transport error or a
	// non-200 answer records a test failure and returns null.
	JsonValue command(const std::string &service, const std::string &name, const std::string &jsonArgs = "{}");
	// Every service back to its start state; also re-applies the endpoints.
	bool reset();

	~FakeServices();
	FakeServices(const FakeServices &) = delete;
	FakeServices &operator=(const FakeServices &) = delete;

private:
	FakeServices();
	void start();
	void stop();
	bool request(const std::string &path, const std::string &body, int *status, std::string *reply);

	bool m_ok = false;
	std::string m_error;
	QProcess m_process;
	uint16_t m_controlPort = 0;
	std::string m_caFile;
	std::string m_endpointsText;
	std::map<std::string, uint16_t> m_ports;
};

// The base of every fixture that talks to the fakes: each test starts with
// them running and reset.
class FakesTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		ASSERT_TRUE(m_fakes.ok()) << m_fakes.error();
		ASSERT_TRUE(m_fakes.reset());
	}

	FakeServices &m_fakes = FakeServices::instance();
};

// Polls condition every 10 ms until it holds or the time is up; true when it
// held. For waiting on a fake's records or a module's state.
bool waitUntil(const std::function<bool()> &condition,
	       std::chrono::milliseconds timeout = std::chrono::milliseconds(20000));

// The first value of a header in a fake's record of a request (its
// "headers" as [name, value] pairs), the name compared without regard to
// case; "(none)" when there is none.
std::string headerOf(const JsonValue &request, const std::string &name);

} // namespace vanteo::test
