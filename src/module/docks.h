#pragma once

#include <QPointer>

#include <map>
#include <string>

class QDockWidget;
class QMainWindow;
class QWidget;

// Dock registration across host versions. OBS Studio 30 and newer register
// a widget by id and remove it again; OBS 29 only adds a ready QDockWidget.
// The entry points are looked up at run time so that one binary loads in
// both.
namespace vanteo {

struct DockApi {
	bool (*addDockById)(const char *id, const char *title, void *widget) = nullptr;
	void (*removeDock)(const char *id) = nullptr;
	void *(*addDock)(void *dock) = nullptr;
};

// The functions the loaded obs-frontend-api library offers.
DockApi resolveDockApi();

class DockRegistry {
public:
	DockRegistry(DockApi api, QMainWindow *mainWindow) : m_api(api), m_main(mainWindow) {}

	// Hands `widget` to the host as a dock. On failure the widget is still
	// ours (the caller deletes it).
	bool add(const std::string &id, const std::string &title, QWidget *widget);
	// Removes the dock; the host (or we, on OBS 29) delete the widget.
	void remove(const std::string &id);
	bool usesIdApi() const { return m_api.addDockById && m_api.removeDock; }

private:
	DockApi m_api;
	QMainWindow *m_main;
	std::map<std::string, QPointer<QDockWidget>> m_wrapped; // OBS 29 docks we own
};

// Shows a dock the first time the plug-in runs: docked on the right and
// visible, then writes the marker so the user's later layout is kept.
void showDockOnce(QMainWindow *mainWindow, const std::string &dockId, const std::string &marker);

} // namespace vanteo
