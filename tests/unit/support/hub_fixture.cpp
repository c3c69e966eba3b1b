#include "support/hub_fixture.h"

#include "server/router.h"

#include <QApplication>

namespace vanteo::test {

void HubTest::startHub(const std::string &configJson, ChatDock::Options options)
{
	if (!configJson.empty())
		m_host.writeConfigFile("config.json", configJson);
	options.controlApi = handleApiRequest;
	options.firstPort = m_firstPort;
	m_hub = std::make_unique<ChatDock>(options);
	m_hub->setThirdPartyEmotes(false);
	ASSERT_NE(m_hub->port(), 0);
}

std::string HubTest::post(const std::string &path, const std::string &body, int timeoutMs)
{
	return bodyOf(httpPost(m_hub->port(), path + "?t=" + m_hub->token(), body, "", timeoutMs));
}

bool HubTest::guiUntil(const std::function<bool()> &condition)
{
	return waitUntil([&] {
		QApplication::processEvents();
		return condition();
	});
}

std::vector<std::string> HubTest::calls(const std::string &service, const std::string &prefix, bool clear)
{
	m_last = m_fakes.command(service, "requests", clear ? "{\"clear\":true}" : "{}")["requests"];
	std::vector<std::string> out;
	for (const JsonValue &r : m_last.items()) {
		const std::string call = r["method"].str() + " " + r["path"].str();
		if (call.rfind(prefix, 0) == 0)
			out.push_back(call);
	}
	return out;
}

} // namespace vanteo::test
