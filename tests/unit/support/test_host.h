#pragma once

#include "common/host.h"

#include <functional>
#include <mutex>
#include <string>
#include <vector>

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
	bool outputsActive() const override { return false; }
	std::string locale() const override { return m_locale; }
	QCef *createBrowserFactory() const override { return m_factoryMaker ? m_factoryMaker() : nullptr; }
	// Records the address instead of starting a browser.
	bool openUrl(const std::string &url) const override;

	const std::string &configDir() const { return m_configDir; }
	void setMainWindow(QWidget *window) { m_mainWindow = window; }
	void setLocale(const std::string &locale) { m_locale = locale; }
	// What createBrowserFactory returns (a new factory per call).
	void setBrowserFactoryMaker(std::function<QCef *()> maker) { m_factoryMaker = std::move(maker); }
	std::vector<std::string> openedUrls() const;

	std::string readConfigFile(const std::string &name) const;
	void writeConfigFile(const std::string &name, const std::string &text) const;

private:
	std::string m_root;
	std::string m_configDir;
	std::string m_webDir;
	QWidget *m_mainWindow = nullptr;
	std::string m_locale = "en-US";
	std::function<QCef *()> m_factoryMaker;
	mutable std::mutex m_openedLock; // guards m_opened
	mutable std::vector<std::string> m_opened;
};

// A fresh empty temporary folder (not removed automatically).
std::string makeTempDir();

} // namespace vanteo::test
