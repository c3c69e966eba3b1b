#include "module/lifecycle.h"

#include "gamecapture/game_capture.h"
#include "hub/chat_dock.h"
#include "common/log.h"
#include "module/browser_panels.h"
#include "common/host.h"
#include "server/router.h"
#include "module/plugin_menu.h"
#include "replaynotify/replay_notify.h"
#include "updater/pending_install.h"
#include "module/update_menu.h"
#include "updater/updater.h"

#include <obs-frontend-api.h>
#include <util/base.h>

#include <QEvent>
#include <QMainWindow>
#include <QPointer>

#include <memory>

namespace vanteo {

const char kChatDockId[] = "vanteo_chat_dock";
const char kActivityDockId[] = "vanteo_activity_dock";

namespace {

// Notices the main window closing, so the pages stop before the host tears
// its widgets down. The connections stop later, at exit or unload.
class CloseWatcher : public QObject {
public:
	~CloseWatcher() override = default;
	bool eventFilter(QObject *watched, QEvent *event) override;
};

struct PluginState {
	QPointer<ChatDock> hub;
	std::unique_ptr<BrowserPanels> panels;
	QPointer<CloseWatcher> closeWatcher;
	std::unique_ptr<DockRegistry> docks;
	bool running = false; // between a successful load and the shutdown
};

PluginState &state()
{
	static PluginState s;
	return s;
}

QMainWindow *mainWindow()
{
	Host *h = host();
	return h ? qobject_cast<QMainWindow *>(h->mainWindow()) : nullptr;
}

void frontendEventThunk(enum obs_frontend_event event, void *)
{
	pluginFrontendEvent(static_cast<int>(event));
}

bool CloseWatcher::eventFilter(QObject *watched, QEvent *event)
{
	if (event->type() == QEvent::Close) {
		stopGameCapture();
		if (BrowserPanels *panels = pluginPanels())
			panels->closeBrowsers();
	}
	return QObject::eventFilter(watched, event);
}

} // namespace

ChatDock *pluginHub()
{
	return state().hub;
}

BrowserPanels *pluginPanels()
{
	PluginState &s = state();
	return s.hub ? s.panels.get() : nullptr;
}

bool pluginLoad(const DockApi &api)
{
	// Staged files of the last update go in before any of them is in use.
	installPendingUpdate();

	PluginState &s = state();
	s.docks = std::make_unique<DockRegistry>(api, mainWindow());

	ChatDock::Options options;
	options.controlApi = handleApiRequest;
	auto *hub = new ChatDock(options);
	s.panels = std::make_unique<BrowserPanels>(*hub);
	hub->setUpdateHooks(updateStatusJson, handleUpdateAction);
	if (!s.docks->add(kChatDockId, "Vanteo Chat", hub)) {
		logLine(LOG_WARNING, "unable to register dock");
		s.panels.reset();
		delete hub;
		return false;
	}
	s.hub = hub;
	s.running = true;

	QWidget *activity = s.panels->createPanel("feed.html");
	if (!s.docks->add(kActivityDockId, "Vanteo Activity", activity))
		delete activity;

	obs_frontend_add_event_callback(frontendEventThunk, nullptr);
	startGameCapture();
	startReplayNotify();
	installUpdateMenu();
	startUpdater(postUpdateStatus);

	if (QMainWindow *main = mainWindow()) {
		auto *watcher = new CloseWatcher();
		s.closeWatcher = watcher;
		main->installEventFilter(watcher);
	}
	logLine(LOG_INFO, "dock registered");
	return true;
}

void pluginFrontendEvent(int event)
{
	if (event == OBS_FRONTEND_EVENT_FINISHED_LOADING) {
		buildPluginMenu();
		QMainWindow *main = mainWindow();
		showDockOnce(main, kChatDockId, "shown.txt");
		showDockOnce(main, kActivityDockId, "shown-activity.txt");
		ChatDock *hub = pluginHub();
		if (hub && hub->needsSetup())
			pluginPanels()->offerSetup();
	} else if (event == OBS_FRONTEND_EVENT_EXIT) {
		pluginShutdown();
	}
}

void pluginUnload()
{
	obs_frontend_remove_event_callback(frontendEventThunk, nullptr);
	pluginShutdown();
}

void pluginShutdown()
{
	// The side features first: their threads and handlers must be gone
	// before the hub and the docks are. These stops are safe to repeat.
	stopGameCapture();
	stopReplayNotify();
	stopUpdater();
	PluginState &s = state();
	if (!s.running)
		return;
	s.running = false;
	if (s.hub)
		s.hub->shutdown();
	destroyPluginMenu();
	if (s.closeWatcher) {
		if (QMainWindow *main = mainWindow())
			main->removeEventFilter(s.closeWatcher);
		delete s.closeWatcher.data();
	}
	if (s.docks) {
		s.docks->remove(kActivityDockId);
		s.docks->remove(kChatDockId);
	}
	s.hub = nullptr;
	s.docks.reset();
	s.panels.reset();
	logLine(LOG_INFO, "docks closed");
}

} // namespace vanteo
