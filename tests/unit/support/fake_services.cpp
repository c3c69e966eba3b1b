#include "support/fake_services.h"

#include "common/endpoints.h"
#include "support/http_client.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <strings.h>
#include <thread>

namespace vanteo::test {

namespace {

// CTest sets VANTEO_SOURCE_DIR; by hand, run from the source folder.
std::string sourceDir()
{
	const char *dir = std::getenv("VANTEO_SOURCE_DIR");
	return dir ? dir : ".";
}

} // namespace

FakeServices &FakeServices::instance()
{
	static FakeServices services;
	return services;
}

FakeServices::FakeServices()
{
	start();
}

FakeServices::~FakeServices()
{
	stop();
}

void FakeServices::start()
{
	const std::string script = sourceDir() + "/tests/fakes/server.js";
	const char *node = std::getenv("VANTEO_NODE");
	m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
	m_process.start(node && *node ? node : "node", {QString::fromStdString(script)});
	// The fake's first line says where it listens (nothing else comes on
	// standard output); each wait gives up after 30 s of silence.
	while (!m_process.canReadLine() && m_process.waitForReadyRead(30000)) {
	}
	const std::string line = m_process.readLine().trimmed().toStdString();
	m_process.closeReadChannel(QProcess::StandardOutput);
	bool parsed = false;
	JsonValue info = JsonValue::parse(line, &parsed);
	if (!parsed || !info["ready"].boolean()) {
		m_error = "the fake services did not start (" + script +
			  "; is node installed and `npm ci` run in tests/?): " + line;
		stop();
		return;
	}
	m_controlPort = static_cast<uint16_t>(info["control"].integer());
	m_caFile = info["ca"].str();
	m_endpointsText = info["env"]["VANTEO_ENDPOINTS"].str();
	for (const auto &member : info["ports"].members())
		m_ports[member.first] = static_cast<uint16_t>(member.second.integer());
	applyEndpoints();
	m_ok = true;
}

void FakeServices::stop()
{
	if (m_process.state() == QProcess::NotRunning)
		return;
	// The fake ends when its standard input closes.
	m_process.closeWriteChannel();
	if (!m_process.waitForFinished(3000)) {
		m_process.kill();
		m_process.waitForFinished();
	}
}

void FakeServices::applyEndpoints() const
{
	setenv("VANTEO_ENDPOINTS", m_endpointsText.c_str(), 1);
	setenv("VANTEO_CA_FILE", m_caFile.c_str(), 1);
	setEndpointOverrides(m_endpointsText, m_caFile);
}

uint16_t FakeServices::port(const std::string &name) const
{
	auto found = m_ports.find(name);
	return found == m_ports.end() ? 0 : found->second;
}

std::string FakeServices::address(const std::string &name) const
{
	return "127.0.0.1:" + std::to_string(port(name));
}

bool FakeServices::request(const std::string &path, const std::string &body, int *status, std::string *reply)
{
	const std::string response =
	    rawExchange(m_controlPort,
			"POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: " +
			    std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" + body,
			30000);
	if (response.compare(0, 9, "HTTP/1.1 ") != 0 || response.find("\r\n\r\n") == std::string::npos)
		return false;
	*status = std::atoi(response.c_str() + 9);
	*reply = bodyOf(response);
	return true;
}

JsonValue FakeServices::command(const std::string &service, const std::string &name, const std::string &jsonArgs)
{
	if (!m_ok) {
		ADD_FAILURE() << "fake services not running: " << m_error;
		return JsonValue();
	}
	int status = 0;
	std::string reply;
	if (!request("/" + service + "/" + name, jsonArgs, &status, &reply)) {
		ADD_FAILURE() << "fake services: no answer to " << service << "/" << name;
		return JsonValue();
	}
	if (status != 200) {
		ADD_FAILURE() << "fake services: " << service << "/" << name << " -> " << status << " " << reply;
		return JsonValue();
	}
	return JsonValue::parse(reply);
}

bool FakeServices::reset()
{
	if (!m_ok)
		return false;
	int status = 0;
	std::string reply;
	applyEndpoints();
	return request("/reset", "{}", &status, &reply) && status == 200;
}

bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
{
	auto deadline = std::chrono::steady_clock::now() + timeout;
	for (;;) {
		if (condition())
			return true;
		if (std::chrono::steady_clock::now() >= deadline)
			return false;
		std::this_thread::sleep_for(std::chrono::milliseconds(10));
	}
}

std::string headerOf(const JsonValue &request, const std::string &name)
{
	for (const JsonValue &pair : request["headers"].items()) {
		if (strcasecmp(pair[0].str().c_str(), name.c_str()) == 0)
			return pair[1].str();
	}
	return "(none)";
}

} // namespace vanteo::test
