#include "hub/chat_dock.h"
#include "module/browser_panels.h"
#include "module/docks.h"
#include "module/lifecycle.h"
#include "support/log_capture.h"
#include "support/test_host.h"
#include "module/update_menu.h"

#include <obs-frontend-api.h>

#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QPushButton>

#include <algorithm>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// Stand-ins for the two generations of the host's dock functions.
QMainWindow *g_window = nullptr;
bool g_failAdd = false;
int g_added = 0;
int g_removed = 0;

bool addDockById(const char *id, const char *title, void *widget)
{
	if (g_failAdd)
		return false;
	auto *dock = new QDockWidget(QString::fromUtf8(title), g_window);
	dock->setObjectName(QString::fromUtf8(id));
	dock->setWidget(static_cast<QWidget *>(widget));
	g_window->addDockWidget(Qt::LeftDockWidgetArea, dock);
	dock->setFloating(true);
	++g_added;
	return true;
}

void removeDock(const char *id)
{
	++g_removed;
	delete g_window->findChild<QDockWidget *>(QString::fromUtf8(id));
}

void *addDock(void *dock)
{
	if (g_failAdd)
		return nullptr;
	// Like the real host: a floating child of the main window that is in
	// no dock area yet.
	auto *d = static_cast<QDockWidget *>(dock);
	d->setParent(g_window);
	d->setFloating(true);
	d->hide();
	++g_added;
	return d; // the host returns its menu action; only non-null matters
}

struct Generation {
	const char *name;
	DockApi api;
};

DockApi obs30()
{
	DockApi api;
	api.addDockById = addDockById;
	api.removeDock = removeDock;
	api.addDock = addDock;
	return api;
}

DockApi obs29()
{
	DockApi api;
	api.addDock = addDock;
	return api;
}

class PluginTest : public ::testing::TestWithParam<Generation> {
protected:
	void SetUp() override
	{
		g_window = &m_window;
		g_failAdd = false;
		g_added = g_removed = 0;
		m_host.setMainWindow(&m_window);
		clearLog();
	}
	void TearDown() override
	{
		pluginShutdown();
		g_window = nullptr;
	}
	QDockWidget *dock(const char *id) { return m_window.findChild<QDockWidget *>(id); }
	int count(const std::string &line)
	{
		auto lines = logLines();
		return static_cast<int>(std::count(lines.begin(), lines.end(), line));
	}

	QMainWindow m_window;
	TestHost m_host;
};

} // namespace

TEST_P(PluginTest, LoadRegistersBothDocksAndShowsThemOnce)
{
	ASSERT_TRUE(pluginLoad(GetParam().api));
	EXPECT_EQ(count("[vanteo] dock registered"), 1);
	ASSERT_NE(dock(kChatDockId), nullptr);
	ASSERT_NE(dock(kActivityDockId), nullptr);
	EXPECT_EQ(dock(kChatDockId)->windowTitle(), "Vanteo Chat");
	EXPECT_EQ(dock(kActivityDockId)->windowTitle(), "Vanteo Activity");
	EXPECT_NE(dynamic_cast<ChatDock *>(dock(kChatDockId)->widget()), nullptr);
	EXPECT_EQ(pluginHub(), dock(kChatDockId)->widget());

	// The chat dock was shown before; only the activity dock is forced.
	m_host.writeConfigFile("shown.txt", "1");
	pluginFrontendEvent(OBS_FRONTEND_EVENT_FINISHED_LOADING);
	EXPECT_TRUE(dock(kChatDockId)->isFloating());
	EXPECT_FALSE(dock(kActivityDockId)->isFloating());
	EXPECT_EQ(m_window.dockWidgetArea(dock(kActivityDockId)), Qt::RightDockWidgetArea);
	EXPECT_FALSE(dock(kActivityDockId)->isHidden());
	EXPECT_EQ(m_host.readConfigFile("shown-activity.txt"), "1");
	// Nothing is set up yet and the test host shows no pages: no browser
	// window opens by itself; both docks offer the Setup page instead. So
	// does an update the updater finds on its own, while a check the user
	// asked for opens its page.
	ChatDock &hub = *pluginHub();
	onUpdateStatus(updater::Status::Ready, false);
	EXPECT_TRUE(m_host.openedUrls().empty());
	for (const char *id : {kChatDockId, kActivityDockId}) {
		for (auto [key, why] : {std::pair{"setup", "Setup needed"}, {"updates", "Update ready"}}) {
			auto *row = dock(id)->widget()->findChild<QWidget *>(QString("vanteoOffer-") + key);
			ASSERT_NE(row, nullptr) << id << " " << key;
			EXPECT_EQ(row->findChild<QLabel *>()->text(), why);
		}
	}
	dock(kChatDockId)->widget()->findChild<QWidget *>("vanteoOffer-setup")->findChild<QPushButton *>()->click();
	onUpdateStatus(updater::Status::Latest, true);
	const std::string port = std::to_string(hub.port());
	const std::string base = "?t=" + hub.token();
	EXPECT_EQ(m_host.openedUrls(), (std::vector<std::string>{
					   "http://setup.localhost:" + port + "/setup.html" + base,
					   "http://updates.localhost:" + port + "/update.html" + base + "&mode=update",
				       }));
	pluginPanels()->hideSetup(); // setup done: the offer goes
	EXPECT_EQ(dock(kActivityDockId)->widget()->findChild<QWidget *>("vanteoOffer-setup"), nullptr);

	// Closing the main window stops the pages, not the connections.
	QCloseEvent close;
	QApplication::sendEvent(&m_window, &close);
	EXPECT_EQ(count("[vanteo] browsers closed"), 1);
	EXPECT_EQ(count("[vanteo] shutdown: connections"), 0);

	// Exit, then unload: the second run does nothing.
	pluginFrontendEvent(OBS_FRONTEND_EVENT_EXIT);
	pluginUnload();
	EXPECT_EQ(count("[vanteo] shutdown complete"), 1);
	EXPECT_EQ(count("[vanteo] docks closed"), 1);
	EXPECT_EQ(dock(kChatDockId), nullptr);
	EXPECT_EQ(dock(kActivityDockId), nullptr);
	EXPECT_EQ(pluginHub(), nullptr);
}

TEST_P(PluginTest, SetupStaysClosedOnceAChannelIsSet)
{
	m_host.writeConfigFile("config.json", "{\"kick\":\"someone\"}");
	ASSERT_TRUE(pluginLoad(GetParam().api));
	pluginFrontendEvent(OBS_FRONTEND_EVENT_FINISHED_LOADING);
	EXPECT_TRUE(m_host.openedUrls().empty());
}

TEST_P(PluginTest, FailedRegistrationDestroysTheHub)
{
	g_failAdd = true;
	EXPECT_FALSE(pluginLoad(GetParam().api));
	EXPECT_EQ(count("[vanteo] unable to register dock"), 1);
	EXPECT_EQ(pluginHub(), nullptr);
	EXPECT_EQ(count("[vanteo] shutdown complete"), 1); // the hub stopped its server
	pluginShutdown();
	EXPECT_EQ(count("[vanteo] docks closed"), 0);
}

TEST_P(PluginTest, HostDestroyingTheDockFirstIsHarmless)
{
	ASSERT_TRUE(pluginLoad(GetParam().api));
	delete dock(kChatDockId); // the host tore its docks down before exit
	EXPECT_EQ(pluginHub(), nullptr);
	pluginShutdown();
	EXPECT_EQ(count("[vanteo] docks closed"), 1);
	EXPECT_EQ(count("[vanteo] shutdown complete"), 1);
}

INSTANTIATE_TEST_SUITE_P(Hosts, PluginTest,
			 ::testing::Values(Generation{"obs30", obs30()}, Generation{"obs29", obs29()}),
			 [](const auto &info) { return std::string(info.param.name); });

TEST(ShowOnce, NeedsAConfigPathAndTheDock)
{
	QMainWindow window;
	TestHost host;
	showDockOnce(&window, "missing", "m.txt");
	EXPECT_EQ(host.readConfigFile("m.txt"), ""); // no dock: no marker
	auto *dock = new QDockWidget(&window);
	dock->setObjectName("d");
	window.addDockWidget(Qt::LeftDockWidgetArea, dock);
	host.setNoConfigFolder();
	showDockOnce(&window, "d", "m.txt");
	EXPECT_EQ(window.dockWidgetArea(dock), Qt::LeftDockWidgetArea);
}

TEST(DockApi, ResolvesTheRunningHostsFunctions)
{
	// Debian's OBS 29 library has only the old entry point.
	DockApi api = resolveDockApi();
	EXPECT_NE(api.addDock, nullptr);
}
