#pragma once

#include "webview/qcef.h"

#include <memory>
#include <string>
#include <vector>

// An embedded-browser factory for tests, standing in for obs-browser: its
// views are plain widgets that remember their address, and every operation
// is written to a shared log ("init", "create <url>", "setURL <url>",
// "close <url>") so tests can check what was asked and in which order.
namespace vanteo::test {

struct BrowserLog {
	std::vector<std::string> events;
};

class FakeCefWidget : public QCefWidget {
public:
	FakeCefWidget(QWidget *parent, std::string url, std::shared_ptr<BrowserLog> log);
	void setURL(const std::string &url) override;
	void setStartupScript(const std::string &) override {}
	void allowAllPopups(bool) override {}
	void closeBrowser() override;

private:
	std::string m_url;
	std::shared_ptr<BrowserLog> m_log;
};

class FakeCef : public QCef {
public:
	explicit FakeCef(std::shared_ptr<BrowserLog> log) : m_log(std::move(log)) {}
	bool init_browser() override;
	bool initialized() override { return true; }
	bool wait_for_browser_init() override { return true; }
	QCefWidget *create_widget(QWidget *parent, const std::string &url, QCefCookieManager *) override;

private:
	std::shared_ptr<BrowserLog> m_log;
};

} // namespace vanteo::test
