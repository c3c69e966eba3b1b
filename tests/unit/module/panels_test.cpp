#include "hub/chat_dock.h"
#include "module/browser_panels.h"
#include "platform/tcp.h"
#include "support/test_host.h"
#include "webview/qcef.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>

#include <memory>

using namespace vanteo;
using namespace vanteo::test;

namespace {

constexpr uint16_t kFirstPort = 32763;

// An embedded browser standing in for obs-browser: its views are plain
// widgets, and every call lands in one log ("init", "create <url>",
// "setURL <url>", "close <url>").
using BrowserLog = std::vector<std::string>;

class FakeCefWidget : public QCefWidget {
public:
	FakeCefWidget(QWidget *parent, std::string url, std::shared_ptr<BrowserLog> log)
		: QCefWidget(parent), m_url(std::move(url)), m_log(std::move(log))
	{
	}
	void setURL(const std::string &url) override
	{
		m_url = url;
		m_log->push_back("setURL " + url);
	}
	void setStartupScript(const std::string &) override {}
	void allowAllPopups(bool) override {}
	void closeBrowser() override { m_log->push_back("close " + m_url); }

private:
	std::string m_url;
	std::shared_ptr<BrowserLog> m_log;
};

class FakeCef : public QCef {
public:
	explicit FakeCef(std::shared_ptr<BrowserLog> log) : m_log(std::move(log)) {}
	bool init_browser() override
	{
		m_log->push_back("init");
		return true;
	}
	bool initialized() override { return true; }
	bool wait_for_browser_init() override { return true; }
	QCefWidget *create_widget(QWidget *parent, const std::string &url, QCefCookieManager *) override
	{
		m_log->push_back("create " + url);
		return new FakeCefWidget(parent, url, m_log);
	}

private:
	std::shared_ptr<BrowserLog> m_log;
};

class PanelsTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		m_host.setMainWindow(&m_window);
		m_window.setGeometry(100, 100, 1600, 1000);
	}
	void TearDown() override
	{
		m_panels.reset();
		m_hub.reset();
		if (m_blocker != platform::kInvalidSocket)
			platform::closeSocket(m_blocker);
	}

	void useFakeBrowser()
	{
		auto log = m_log;
		m_host.setBrowserFactoryMaker([log] { return new FakeCef(log); });
	}
	// The first port of the range is taken, so the hub binds the next one:
	// every address must carry the port actually bound.
	void startHub()
	{
		uint16_t taken = 0;
		m_blocker = platform::listenLoopback(kFirstPort, 1, 1, &taken);
		ChatDock::Options options;
		options.firstPort = kFirstPort;
		m_hub = std::make_unique<ChatDock>(options);
		m_panels = std::make_unique<BrowserPanels>(*m_hub);
		ASSERT_NE(m_hub->port(), 0);
		if (m_blocker != platform::kInvalidSocket)
			ASSERT_NE(m_hub->port(), kFirstPort);
		m_base = std::to_string(m_hub->port());
	}
	std::string url(const std::string &view, const std::string &path)
	{
		return "http://" + view + ".localhost:" + m_base + path;
	}
	std::string tokenQuery() { return "?t=" + m_hub->token(); }

	QMainWindow m_window;
	TestHost m_host;
	std::shared_ptr<BrowserLog> m_log = std::make_shared<BrowserLog>();
	std::unique_ptr<ChatDock> m_hub;
	std::unique_ptr<BrowserPanels> m_panels;
	platform::SocketHandle m_blocker = platform::kInvalidSocket;
	std::string m_base;
};

} // namespace

TEST_F(PanelsTest, EveryViewLoadsItsPageOnTheBoundPortAndDialogsAreReused)
{
	useFakeBrowser();
	startHub();
	const std::string t = tokenQuery();

	std::unique_ptr<QWidget> activity(m_panels->createPanel("feed.html"));
	std::unique_ptr<QWidget> other(m_panels->createPanel("notes.html"));
	m_panels->showSetup();
	m_panels->showUpdates("news&since=");

	// Where each view lives.
	const BrowserViews &views = m_panels->views();
	ASSERT_TRUE(views.chat && views.activity && views.setup && views.updates);
	EXPECT_EQ(views.chat->parentWidget(), m_hub.get());
	EXPECT_EQ(views.activity->parentWidget(), other.get()); // the last panel made
	EXPECT_EQ(activity->minimumSize(), QSize(240, 200));
	EXPECT_EQ(views.setup->parentWidget(), views.setupDialog.data());
	EXPECT_EQ(views.updates->parentWidget(), views.updatesDialog.data());
	// Both dialogs showing inside OBS, and hidden again, are the OBS smoke
	// test's.
	EXPECT_TRUE(views.updatesDialog->testAttribute(Qt::WA_ShowWithoutActivating));

	// The window's close button only hides a dialog; the next request shows
	// the same one, the Updates view pointed at the new mode.
	QDialog *setup = views.setupDialog;
	QDialog *updates = views.updatesDialog;
	setup->close();
	EXPECT_FALSE(setup->isVisible());
	m_panels->showSetup();
	EXPECT_EQ(views.setupDialog.data(), setup);
	EXPECT_TRUE(setup->isVisible());
	m_panels->hideUpdates();
	m_panels->showUpdates("history");
	EXPECT_EQ(views.updatesDialog.data(), updates);
	EXPECT_TRUE(updates->isVisible());

	EXPECT_EQ(*m_log, (std::vector<std::string>{
			      "init",
			      "create " + url("chat", "/" + t),
			      "create " + url("activity", "/feed.html" + t),
			      "create " + url("panel", "/notes.html" + t),
			      "create " + url("setup", "/setup.html" + t),
			      "create " + url("updates", "/update.html" + t + "&mode=news&since="),
			      "setURL " + url("updates", "/update.html" + t + "&mode=history"),
			  }));
	EXPECT_TRUE(m_host.openedUrls().empty());
}

TEST_F(PanelsTest, CloseBrowsersStopsEveryViewInOrderAndDialogsComeBackNew)
{
	useFakeBrowser();
	startHub();
	const std::string t = tokenQuery();
	std::unique_ptr<QWidget> activity(m_panels->createPanel("feed.html"));
	m_panels->showSetup();
	m_panels->showUpdates("update");
	QPointer<QDialog> oldSetup = m_panels->views().setupDialog;
	QPointer<QDialog> oldUpdates = m_panels->views().updatesDialog;
	m_log->clear();

	m_panels->closeBrowsers();
	EXPECT_EQ(*m_log, (std::vector<std::string>{
			      "close " + url("chat", "/" + t),
			      "close " + url("activity", "/feed.html" + t),
			      "close " + url("setup", "/setup.html" + t),
			      "close " + url("updates", "/update.html" + t + "&mode=update"),
			  }));
	ASSERT_TRUE(oldSetup && oldUpdates); // deletion is scheduled, not done
	EXPECT_FALSE(oldSetup->isVisible());
	EXPECT_FALSE(oldUpdates->isVisible());

	// Before the scheduled deletion runs, a new request must not raise the
	// dying dialog; afterwards the old ones are gone.
	m_panels->showSetup();
	EXPECT_NE(m_panels->views().setupDialog.data(), oldSetup.data());
	QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
	EXPECT_FALSE(oldSetup);
	EXPECT_FALSE(oldUpdates);
	ASSERT_TRUE(m_panels->views().setupDialog);
	EXPECT_TRUE(m_panels->views().setupDialog->isVisible());
	EXPECT_EQ(m_log->back(), "create " + url("setup", "/setup.html" + t));

	// A second close with no chat or activity view left closes only what
	// exists.
	m_log->clear();
	m_panels->closeBrowsers();
	EXPECT_EQ(*m_log, (std::vector<std::string>{"close " + url("setup", "/setup.html" + t)}));
}
