#pragma once

#include "module/host.h"

#include <string>

// A host for tests: a fresh configuration folder per instance (removed at
// the end) and the project's web folder. Installs itself as the current
// host for its lifetime.
namespace vanteo::test {

class TestHost : public Host {
public:
	TestHost();
	~TestHost() override;
	std::string configPath(const std::string &file) const override;
	std::string dataPath(const std::string &file) const override;
	QWidget *mainWindow() const override { return m_mainWindow; }
	bool outputsActive() const override { return m_outputsActive; }
	std::string locale() const override { return "en-US"; }

	const std::string &configDir() const { return m_configDir; }
	void setWebDir(const std::string &dir) { m_webDir = dir; }
	void setMainWindow(QWidget *window) { m_mainWindow = window; }
	void setOutputsActive(bool active) { m_outputsActive = active; }
	void setNoConfigFolder() { m_noConfig = true; }

	std::string readConfigFile(const std::string &name) const;
	void writeConfigFile(const std::string &name, const std::string &text) const;

private:
	std::string m_root;
	std::string m_configDir;
	std::string m_webDir;
	QWidget *m_mainWindow = nullptr;
	bool m_outputsActive = false;
	bool m_noConfig = false;
};

// A fresh empty temporary folder (not removed automatically).
std::string makeTempDir();

} // namespace vanteo::test
