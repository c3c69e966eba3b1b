#pragma once

#include "hub/chat_dock.h"
#include "support/fake_services.h"
#include "support/http_client.h"
#include "support/test_host.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// A hub on loopback answering the pages' requests, with a configuration
// folder of its own and the fakes reset: the base of the hub and route
// suites. Each suite starts looking for a port at its own `firstPort`, so
// suites running side by side do not crowd one range.
namespace vanteo::test {

class HubTest : public FakesTest {
protected:
	explicit HubTest(uint16_t firstPort) : m_firstPort(firstPort) {}
	void TearDown() override { m_hub.reset(); }

	// Writes `configJson` (when given) and starts the hub. Third-party
	// emotes stay off: their requests would crowd the fakes' records.
	void startHub(const std::string &configJson = std::string(), ChatDock::Options options = ChatDock::Options());
	std::string post(const std::string &path, const std::string &body = "{}", int timeoutMs = 5000);
	// Runs the GUI thread's queue until `condition` holds: routes post their
	// widget work there and answer before it runs.
	bool guiUntil(const std::function<bool()> &condition);
	// "METHOD path" of the requests `service` received since the last look
	// (or since it last cleared) that start with `prefix`; every record in
	// m_last.
	std::vector<std::string> calls(const std::string &service, const std::string &prefix = "", bool clear = true);

	TestHost m_host;
	std::unique_ptr<ChatDock> m_hub;
	JsonValue m_last;

private:
	uint16_t m_firstPort;
};

} // namespace vanteo::test
