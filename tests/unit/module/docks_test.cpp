#include "common/persisted_switch.h"
#include "gamecapture/game_capture.h"
#include "hub/chat_dock.h"
#include "module/browser_panels.h"
#include "module/docks.h"
#include "module/lifecycle.h"
#include "module/plugin_menu.h"
#include "module/update_menu.h"
#include "replaynotify/replay_notify.h"
#include "support/log_capture.h"
#include "support/test_host.h"

#include <obs-frontend-api.h>

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>

#include <algorithm>

using namespace vanteo;
using namespace vanteo::test;

namespace {

// Stand-ins for the host's dock functions (OBS 30); the OBS smoke test
// drives OBS 29's, where the module wraps the docks itself.
QMainWindow *g_window = nullptr;
bool g_failAdd = false;

bool addDockById(const char *id, const char *title, void *widget)
{
	if (g_failAdd)
		return false;
	auto *dock = new QDockWidget(QString::fromUtf8(title), g_window);
	dock->setObjectName(QString::fromUtf8(id));
	dock->setWidget(static_cast<QWidget *>(widget));
	g_window->addDockWidget(Qt::LeftDockWidgetArea, dock);
	dock->setFloating(true);
	return true;
}

void removeDock(const char *id)
{
	delete g_window->findChild<QDockWidget *>(QString::fromUtf8(id));
}

DockApi hostDockApi()
{
	DockApi api;
	api.addDockById = addDockById;
	api.removeDock = removeDock;
	return api;
}

class PluginTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		g_window = &m_window;
		g_failAdd = false;
		m_host.setMainWindow(&m_window);
		clearLog();
	}
	void TearDown() override
	{
		pluginShutdown();
		g_window = nullptr;
	}
	QDockWidget *dock(const char *id) { return m_window.findChild<QDockWidget *>(id); }

	QMainWindow m_window;
	TestHost m_host;
};

} // namespace

TEST_F(PluginTest, LoadRegistersBothDocksAndShowsThemOnce)
{
	// Registration, the show-once markers and the log lines of loading and
	// closing in OBS itself are the OBS smoke test's.
	ASSERT_TRUE(pluginLoad(hostDockApi()));
	ASSERT_NE(dock(kChatDockId), nullptr);
	ASSERT_NE(dock(kActivityDockId), nullptr);
	EXPECT_EQ(pluginHub(), dock(kChatDockId)->widget());

	// The chat dock was shown before; only the activity dock is forced. The
	// menu comes when the host has finished loading.
	m_host.writeConfigFile("shown.txt", "1");
	EXPECT_TRUE(isGameCaptureRunning());
	EXPECT_EQ(pluginMenu(), nullptr);
	pluginFrontendEvent(OBS_FRONTEND_EVENT_FINISHED_LOADING);
	EXPECT_NE(pluginMenu(), nullptr);
	EXPECT_TRUE(dock(kChatDockId)->isFloating());
	EXPECT_EQ(m_window.dockWidgetArea(dock(kActivityDockId)), Qt::RightDockWidgetArea);
	EXPECT_FALSE(dock(kActivityDockId)->isHidden());
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

	// Closing the main window stops game capture (the pages before the
	// connections: the OBS smoke test).
	QCloseEvent close;
	QApplication::sendEvent(&m_window, &close);
	EXPECT_FALSE(isGameCaptureRunning());

	// Exit takes the menu and a showing banner; unload then does nothing.
	showBanner(replaynotify::BannerKind::Saved);
	pluginFrontendEvent(OBS_FRONTEND_EVENT_EXIT);
	EXPECT_EQ(pluginMenu(), nullptr);
	EXPECT_EQ(currentBanner(), nullptr);
	pluginUnload();
	EXPECT_EQ(logCount("[vanteo] shutdown complete"), 1u);
	EXPECT_EQ(dock(kChatDockId), nullptr);
	EXPECT_EQ(pluginHub(), nullptr);
}

TEST_F(PluginTest, NoSetupOfferOnceAChannelIsSetOrSetupDone)
{
	for (const char *config : {"{\"kick\":\"someone\"}", "{\"setupDone\":true}"}) {
		m_host.writeConfigFile("config.json", config);
		ASSERT_TRUE(pluginLoad(hostDockApi()));
		pluginFrontendEvent(OBS_FRONTEND_EVENT_FINISHED_LOADING);
		EXPECT_EQ(dock(kChatDockId)->widget()->findChild<QWidget *>("vanteoOffer-setup"), nullptr) << config;
		pluginShutdown();
	}
}

TEST_F(PluginTest, FailedRegistrationDestroysTheHub)
{
	g_failAdd = true;
	EXPECT_FALSE(pluginLoad(hostDockApi()));
	EXPECT_EQ(logCount("[vanteo] unable to register dock"), 1u);
	EXPECT_EQ(pluginHub(), nullptr);
	EXPECT_EQ(logCount("[vanteo] shutdown complete"), 1u); // the hub stopped its server
	pluginShutdown();
	EXPECT_EQ(logCount("[vanteo] docks closed"), 0u);
}

TEST_F(PluginTest, HostDestroyingTheDockFirstIsHarmless)
{
	ASSERT_TRUE(pluginLoad(hostDockApi()));
	delete dock(kChatDockId); // the host tore its docks down before exit
	EXPECT_EQ(pluginHub(), nullptr);
	pluginShutdown();
	EXPECT_EQ(logCount("[vanteo] docks closed"), 1u);
	EXPECT_EQ(logCount("[vanteo] shutdown complete"), 1u);
}

namespace {

QMenu *vanteoMenuIn(QMainWindow &window)
{
	for (QAction *a : window.menuBar()->actions()) {
		if (a->text() == "Vanteo")
			return a->menu();
	}
	return nullptr;
}

QAction *entry(const char *text)
{
	for (QAction *a : pluginMenu()->actions()) {
		if (a->text() == text)
			return a;
	}
	return nullptr;
}

class MenuTest : public ::testing::Test {
protected:
	void SetUp() override
	{
		m_host.setMainWindow(&m_window);
		gameCaptureSwitch().set(true);
		replayNotifySwitch().set(true);
		autoUpdateSwitch().set(true);
		setUpdateMenuHooks({});
		for (const char *id : {kChatDockId, kActivityDockId}) {
			auto *dock = new QDockWidget(&m_window);
			dock->setObjectName(id);
			m_window.addDockWidget(Qt::LeftDockWidgetArea, dock);
		}
		clearLog();
	}
	void TearDown() override
	{
		destroyPluginMenu();
		setUpdateMenuHooks({});
	}
	QDockWidget *dock(const char *id) { return m_window.findChild<QDockWidget *>(id); }
	void aboutToShow() { emit pluginMenu()->aboutToShow(); }

	QMainWindow m_window;
	TestHost m_host;
};

} // namespace

TEST_F(MenuTest, EntriesInOrderWithTheirKinds)
{
	buildPluginMenu();
	buildPluginMenu(); // once only
	ASSERT_NE(pluginMenu(), nullptr);
	EXPECT_EQ(vanteoMenuIn(m_window), pluginMenu());
	EXPECT_EQ(m_window.menuBar()->actions().size(), 1);

	// Order, separators ("-") and which entries are switches ("[ ]").
	std::string layout;
	for (QAction *a : pluginMenu()->actions())
		layout += a->isSeparator() ? "-|" : a->text().toStdString() + (a->isCheckable() ? "[ ]|" : "|");
	EXPECT_EQ(layout, "Chat Dock[ ]|Activity Dock[ ]|-|Automatic Game Capture[ ]|Replay Buffer Notifications[ ]|-|"
			  "Move Docks to the Right|-|Automatic Updates[ ]|Check for Updates (0.3.11)|What's New|-|"
			  "Setup Wizard|");
	EXPECT_EQ(updateMenuAction(), pluginMenu()->actions()[9]);

	destroyPluginMenu();
	EXPECT_EQ(pluginMenu(), nullptr);
	EXPECT_EQ(vanteoMenuIn(m_window), nullptr);
	m_host.setMainWindow(nullptr);
	buildPluginMenu();
	EXPECT_EQ(pluginMenu(), nullptr);
}

TEST_F(MenuTest, SwitchEntriesWriteTheirMarkersAndFollowChanges)
{
	gameCaptureSwitch().set(false);
	buildPluginMenu();
	EXPECT_FALSE(entry("Automatic Game Capture")->isChecked());
	EXPECT_TRUE(entry("Replay Buffer Notifications")->isChecked());

	const struct {
		const char *text;
		PersistedSwitch &value;
	} switches[] = {
	    {"Automatic Game Capture", gameCaptureSwitch()},
	    {"Replay Buffer Notifications", replayNotifySwitch()},
	    {"Automatic Updates", autoUpdateSwitch()},
	};
	for (const auto &s : switches) {
		QAction *a = entry(s.text);
		const bool before = a->isChecked();
		a->trigger();
		EXPECT_EQ(s.value.on(), !before) << s.text;
	}

	// A page flips the switches meanwhile; opening the menu shows it.
	gameCaptureSwitch().set(true);
	replayNotifySwitch().set(false);
	aboutToShow();
	EXPECT_TRUE(entry("Automatic Game Capture")->isChecked());
	EXPECT_FALSE(entry("Replay Buffer Notifications")->isChecked());
}

TEST_F(MenuTest, DockEntriesMoveToTheRightAndUpdateHooks)
{
	int checks = 0, built = 0, laidOut = 0;
	setUpdateMenuHooks({[&] { ++checks; }, [&] { ++built; },
			    [&] {
				    ++laidOut;
			    }});
	m_window.show();
	buildPluginMenu();
	EXPECT_EQ(built, 1);
	dock(kActivityDockId)->hide();
	aboutToShow();
	EXPECT_TRUE(entry("Chat Dock")->isChecked());
	EXPECT_FALSE(entry("Activity Dock")->isChecked());
	EXPECT_EQ(laidOut, 0); // queued until the menu is laid out
	QCoreApplication::processEvents();
	EXPECT_EQ(laidOut, 1);
	updateMenuAction()->trigger();
	EXPECT_EQ(checks, 1);

	entry("Chat Dock")->trigger();
	EXPECT_TRUE(dock(kChatDockId)->isHidden());
	dock(kChatDockId)->setFloating(true);
	entry("Move Docks to the Right")->trigger();
	for (const char *id : {kChatDockId, kActivityDockId}) {
		EXPECT_FALSE(dock(id)->isFloating()) << id;
		EXPECT_FALSE(dock(id)->isHidden()) << id;
		EXPECT_EQ(m_window.dockWidgetArea(dock(id)), Qt::RightDockWidgetArea) << id;
	}

	// A dock that is gone, no hub, no hooks: the entries do nothing.
	delete dock(kActivityDockId);
	setUpdateMenuHooks({});
	aboutToShow();
	EXPECT_FALSE(entry("Activity Dock")->isChecked());
	for (const char *text :
	     {"Activity Dock", "Move Docks to the Right", "Check for Updates (0.3.11)", "What's New", "Setup Wizard"})
		entry(text)->trigger();
	EXPECT_TRUE(m_host.openedUrls().empty());
}
