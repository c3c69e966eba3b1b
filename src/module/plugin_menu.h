#pragma once

#include <functional>

class QAction;
class QMenu;

// The "Vanteo" menu in the host's menu bar: the two docks, the switches of
// the side features, the update entries and the setup wizard. Built once
// when the host has finished loading, destroyed at shutdown. GUI thread
// only.
namespace vanteo {

// Where the updater plugs its badge and check into the menu. Each hook may
// be empty.
struct UpdateMenuHooks {
	// "Check for Updates (...)" was chosen. Empty: the hub's "update"
	// action runs instead.
	std::function<void()> checkForUpdates;
	// Runs once right after the menu is filled.
	std::function<void()> menuBuilt;
	// Posted (queued) each time the menu is about to show, when its item
	// geometry is final.
	std::function<void()> menuLaidOut;
};
void setUpdateMenuHooks(UpdateMenuHooks hooks);

// Adds the menu to the main window's menu bar; nothing without a main
// window or when the menu exists already.
void buildPluginMenu();
// Removes the menu again (shutdown).
void destroyPluginMenu();

// The menu and its "Check for Updates (...)" entry, nullptr when absent.
QMenu *pluginMenu();
QAction *updateMenuAction();

// "Check for Updates (<version>)"
extern const char kCheckForUpdatesText[];

// Docked on the right and visible: the chat dock, then the activity dock.
void moveDocksToTheRight();

} // namespace vanteo
