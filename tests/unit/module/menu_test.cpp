#include "module/lifecycle.h"
#include "module/plugin_menu.h"
#include "support/log_capture.h"
#include "support/test_host.h"
#include "common/persisted_switch.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

using namespace vanteo;
using namespace vanteo::test;

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
