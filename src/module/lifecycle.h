#pragma once

#include "module/docks.h"

// Start-up and shutdown of the plug-in inside a host. Everything here runs
// on the GUI thread.
namespace vanteo {

class BrowserPanels;
class ChatDock;

extern const char kChatDockId[];
extern const char kActivityDockId[];

// Creates the hub and registers both docks. False when the chat dock could
// not be registered (the hub is destroyed again then).
bool pluginLoad(const DockApi &docks);
// Handles the host's front-end events (finished loading, exit).
void pluginFrontendEvent(int event);
// Module unload: removes the front-end event handler, then shuts down.
void pluginUnload();
// Shared by unload and host exit; a second run only repeats the cheap stops.
void pluginShutdown();

// The hub while the plug-in runs, nullptr otherwise.
ChatDock *pluginHub();
// The page views of the running plug-in, nullptr otherwise.
BrowserPanels *pluginPanels();

} // namespace vanteo
