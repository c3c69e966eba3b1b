#include "module/plugin_menu.h"

#include "common/persisted_switch.h"
#include "hub/chat_dock.h"
#include "common/log.h"
#include "module/browser_panels.h"
#include "common/host.h"
#include "module/lifecycle.h"

#include <util/base.h>

#include <QAction>
#include <QDockWidget>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>

#include <string>

namespace vanteo {

const char kCheckForUpdatesText[] = "Check for Updates (" VANTEO_VERSION ")";

namespace {

struct MenuState {
	QPointer<QMenu> menu;
	QPointer<QAction> updateAction;
	UpdateMenuHooks hooks;
};

MenuState &menuState()
{
	static MenuState s;
	return s;
}

QMainWindow *mainWindow()
{
	Host *h = host();
	return h ? qobject_cast<QMainWindow *>(h->mainWindow()) : nullptr;
}

QDockWidget *findDock(const char *id)
{
	QMainWindow *main = mainWindow();
	return main ? main->findChild<QDockWidget *>(QString::fromUtf8(id)) : nullptr;
}

void setDockShown(const char *id, bool shown)
{
	QDockWidget *dock = findDock(id);
	if (!dock)
		return;
	dock->setVisible(shown);
	if (!shown)
		return;
	dock->raise();
	if (dock->isFloating())
		dock->activateWindow();
}

// Adds an entry and returns it; `checkable` entries report their new state.
QAction *addEntry(QMenu *menu, const char *text, bool checkable, std::function<void(bool)> onTrigger)
{
	QAction *action = menu->addAction(QString::fromUtf8(text));
	action->setCheckable(checkable);
	QObject::connect(action, &QAction::triggered, action, [onTrigger](bool checked) { onTrigger(checked); });
	return action;
}

void checkForUpdates()
{
	const UpdateMenuHooks &hooks = menuState().hooks;
	if (hooks.checkForUpdates) {
		hooks.checkForUpdates();
		return;
	}
	if (ChatDock *hub = pluginHub())
		hub->runUpdateAction("update");
}

// One line listing the entries, so the menu can be checked from the log.
void logEntries(QMenu *menu)
{
	std::string line;
	for (QAction *action : menu->actions()) {
		if (!line.empty())
			line += " | ";
		line += action->isSeparator() ? std::string("-") : action->text().toStdString();
	}
	logLine(LOG_INFO, "menu: %s", line.c_str());
}

} // namespace

void setUpdateMenuHooks(UpdateMenuHooks hooks)
{
	menuState().hooks = std::move(hooks);
}

QMenu *pluginMenu()
{
	return menuState().menu;
}

QAction *updateMenuAction()
{
	return menuState().updateAction;
}

void moveDocksToTheRight()
{
	QMainWindow *main = mainWindow();
	if (!main)
		return;
	for (const char *id : {kChatDockId, kActivityDockId}) {
		QDockWidget *dock = findDock(id);
		if (!dock)
			continue;
		// Qt re-docks a floating dock only once it has an area.
		main->addDockWidget(Qt::RightDockWidgetArea, dock);
		dock->setFloating(false);
		dock->setVisible(true);
		dock->raise();
	}
}

void buildPluginMenu()
{
	MenuState &s = menuState();
	QMainWindow *main = mainWindow();
	if (!main || s.menu)
		return;
	QMenu *menu = main->menuBar()->addMenu(QStringLiteral("Vanteo"));
	menu->setToolTipsVisible(true);
	s.menu = menu;

	QAction *chat = addEntry(menu, "Chat Dock", true, [](bool on) { setDockShown(kChatDockId, on); });
	QAction *activity = addEntry(menu, "Activity Dock", true, [](bool on) { setDockShown(kActivityDockId, on); });
	menu->addSeparator();
	QAction *game = addEntry(menu, "Automatic Game Capture", true, [](bool on) { gameCaptureSwitch().set(on); });
	game->setChecked(gameCaptureSwitch().on());
	game->setToolTip(QStringLiteral("Points Game Capture and Window Capture sources at the foreground "
					"game, including its audio."));
	QAction *replay =
	    addEntry(menu, "Replay Buffer Notifications", true, [](bool on) { replayNotifySwitch().set(on); });
	replay->setChecked(replayNotifySwitch().on());
	replay->setToolTip(
	    QStringLiteral("Shows a notification when the replay buffer starts, saves a replay or stops."));
	menu->addSeparator();
	addEntry(menu, "Move Docks to the Right", false, [](bool) { moveDocksToTheRight(); });
	menu->addSeparator();
	QAction *autoUpdate = addEntry(menu, "Automatic Updates", true, [](bool on) { autoUpdateSwitch().set(on); });
	autoUpdate->setChecked(autoUpdateSwitch().on());
	s.updateAction = addEntry(menu, kCheckForUpdatesText, false, [](bool) { checkForUpdates(); });
	addEntry(menu, "What's New", false, [](bool) {
		if (BrowserPanels *panels = pluginPanels())
			panels->showUpdates("history");
	});
	menu->addSeparator();
	addEntry(menu, "Setup Wizard", false, [](bool) {
		if (BrowserPanels *panels = pluginPanels())
			panels->showSetup();
	});

	// The check marks follow changes made elsewhere (a dock closed by its
	// title bar, a switch flipped from a page).
	QObject::connect(menu, &QMenu::aboutToShow, menu, [menu, chat, activity, game, replay] {
		QDockWidget *chatDock = findDock(kChatDockId);
		QDockWidget *activityDock = findDock(kActivityDockId);
		chat->setChecked(chatDock && chatDock->isVisible());
		activity->setChecked(activityDock && activityDock->isVisible());
		game->setChecked(gameCaptureSwitch().on());
		replay->setChecked(replayNotifySwitch().on());
		QMetaObject::invokeMethod(
		    menu,
		    [] {
			    if (menuState().hooks.menuLaidOut)
				    menuState().hooks.menuLaidOut();
		    },
		    Qt::QueuedConnection);
	});

	logEntries(menu);
	if (s.hooks.menuBuilt)
		s.hooks.menuBuilt();
}

void destroyPluginMenu()
{
	MenuState &s = menuState();
	delete s.menu.data(); // takes its actions, and its entry in the menu bar, along
	s.menu = nullptr;
	s.updateAction = nullptr;
}

} // namespace vanteo
